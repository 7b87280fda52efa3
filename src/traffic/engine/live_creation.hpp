#pragma once
// The live aircraft every poll: those in the simulator move and fill the position batch, and
// each new one is prepared for its creation (lead time, holds for the user aircraft, limits,
// callsign rules, livery) and placed in the air, taxiing or at a stand. A placed aircraft's
// hexid goes to readyForCreation.

#include "traffic/engine/ai_objects.hpp"

#include <cstdint>

namespace rtd {

void advanceAllLiveAI();
void prepareLiveAICreation(LiveAI& ai);
void placeNewLiveAI(LiveAI& ai);
void clearStandForLive(LiveAI& ai, std::uint32_t standId, bool hasAdjacentStands);
// True: stop the search.
bool makePlaceAtStand(const LiveAI& ai, std::uint32_t standId, ParkedAI& parked);
bool removeAdjacentParked(const LiveAI& ai, std::uint32_t adjacentStandId, ParkedAI& parked);

} // namespace rtd
