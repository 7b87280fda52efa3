#pragma once
// The stand of a live aircraft that landed at the park airport: chosen where it stops, and
// cleared of the live aircraft that stand at it or too close beside it (removeLiveAtStand and
// removeAdjacentLive, with the other stand rules in live_rules.hpp).
//
// All on the traffic thread.

#include "traffic/engine/ai_objects.hpp"

#include <cstdint>
#include <string>

namespace rtd {

// A landed aircraft on the ground looks for its stand where its front update lies (within
// 55 m when `stationary`, else 20 m); true when a stand was assigned and the taxi to it set.
// The user's reserved stand and the stand nearest to the user are never assigned.
bool assignArrivalStand(LiveAI& ai, bool stationary);
// A newcomer takes the stand: a live aircraft still taxiing to it loses it, and taxis to
// another free stand within 55 m or on without one.
void releaseStandOfTaxiing(std::uint32_t standId, const LiveAI& newcomer);
// Forgets the last position searched (a new run).
void resetArrivalStandSearch();

} // namespace rtd
