#pragma once
// The motion of live aircraft in the simulator: one step towards the front update when it
// falls due, the per-poll movement, extrapolation, and the take-off roll.
//
// Until the motion is built here, an aircraft only takes its updates one by one and is
// removed when fewer than two remain; it does not move between them.

#include "traffic/ai_objects.hpp"

namespace rtd {

// The front update fell due: the aircraft takes it and heads for the next.
void advanceLiveAI(LiveAI& ai);
// One poll of movement towards the front update.
void stepLiveAI(LiveAI& ai);
// Extrapolation ends: the aircraft follows its queued updates again.
void endExtrapolation(LiveAI& ai);
void startTakeOffRoll(LiveAI& ai);

} // namespace rtd
