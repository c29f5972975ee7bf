// --play-once: every source frame once, in order. The loop is the source's
// time itself (a linear Cycle whose turn lasts the source), so the scene may
// not set it; the composition takes the source's rate and length unless the
// scene sets them, and where it does, the notes say what a viewer will see.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Scene.h"

namespace zelvan::render {

// Throws UsageError naming the first field of the loop the scene sets.
void RefuseLoopFields(const Json& scene);

// The composition as long as the source, unless the scene gives its length.
// Throws UsageError for a still, or a source longer than a render may be.
void PlayOnceLength(const Json& scene, const std::optional<FootageFacts>& footage, Scene& s);

// Sets the loop's parameters to the source's time.
void PlayOnceLoop(Scene& s);

// What the composition the scene set does to the source played once: it
// starts the source again past its end, and at another rate repeats or
// skips source frames. Empty when frame k shows source frame k throughout.
std::vector<std::string> PlayOnceNotes(const Scene& s);

}  // namespace zelvan::render
