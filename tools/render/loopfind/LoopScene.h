// The scene that renders a loop the search found, through this effect: the
// scene the search read (its composition's size, depth and mode, its source),
// its loop set to play the candidate's stretch (PlayStretch) at the source's
// own rate, the composition two turns long. A Cycle [a, b) plays the range
// a / fps to b / fps a turn, b - a frames: it shows a .. b - 1, a .. b - 1.
// A Pingpong plays a / fps to (b - 1) / fps, b - a - 1 frames a turn: it
// shows a .. b - 1 and back to a + 1, each end once, so that the composition
// played in a loop goes on to a.
#pragma once

#include "Candidates.h"
#include "Json.h"
#include "Scene.h"

namespace zelvan::render {

// The resolved scene, every field written, the source's path absolute.
Json LoopScene(Scene searched, const Candidate& loop, bool pingpong);

// The composition frames of a turn of that loop.
int64_t TurnFrames(const Candidate& loop, bool pingpong);

}  // namespace zelvan::render
