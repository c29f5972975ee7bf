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

// Sets the loop to play the stretch of the source from `start` to `end`
// seconds: linear, no hold, one turn as long as the stretch. A Cycle never
// reaches the end of its turn: each frame that begins in [start, end) shows
// once a turn at the source's rate. A Pingpong goes there in one turn and
// back in the next, showing the frames at both ends once.
void PlayStretch(Scene& s, LoopType type, double start, double end);

// Sets the loop's parameters to the source's time: the whole source as one
// Cycle.
void PlayOnceLoop(Scene& s);

// What the composition the scene set does to the source played once: it
// starts the source again past its end, and at another rate repeats or
// skips source frames. Empty when frame k shows source frame k throughout.
std::vector<std::string> PlayOnceNotes(const Scene& s);

}  // namespace zelvan::render
