#pragma once
// The rules that keep live and parked aircraft out of the user aircraft's way, read against
// the traffic thread's cached user state (userStateCache). Traffic thread only.

#include "traffic/engine/ai_objects.hpp"

namespace rtd {

// True when the flying aircraft's current update lies in the user aircraft's path: within
// 6 nm, 3,000 ft and 4,000 ft of its line. Holds back its creation.
bool isInUserPath(const LiveAI& ai);
// The user flies: true when the live aircraft was in its way and was removed.
bool avoidCollisionUserAir(LiveAI& ai);
// The user is on the ground: at most one live aircraft close to it is removed; when none
// is and the user has moved, one static parked aircraft close to it.
void avoidCollisionUserGround();
// Distance in feet from a line through a point along `lineBearing` of another point
// `distanceNm` away from it on `bearing` (radians).
double offsetFromLineFt(double lineBearing, double bearing, double distanceNm);
// Forgets the user position the ground check saw last.
void resetUserCollisionState();

} // namespace rtd
