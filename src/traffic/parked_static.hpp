#pragma once
// Static parked aircraft at the park airport and the collision rules between them, the live
// aircraft and the user aircraft.
//
// Until static parking is built here, no parked aircraft is placed and no collision rule
// removes anything.

#include "traffic/ai_objects.hpp"

namespace rtd {

// True when the airborne aircraft lies in the user aircraft's path.
bool isInUserPath(const LiveAI& ai);
// Removes parked aircraft while more than the park airport allows stand there.
void enforceMaxParked(int added);
// Places the next aircraft of the static fit list; staticFitPending tells whether one waits.
void placeStaticParked();
bool staticFitPending();
void avoidCollisionUserGround();
// True when the live aircraft was removed.
bool avoidCollisionUserAir(LiveAI& ai);

} // namespace rtd
