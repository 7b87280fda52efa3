#pragma once
// Live aircraft arriving at their stands and changing their livery.
//
// Until the arrival is built here, a livery change only freezes the aircraft (sim status 3)
// and a stand's cargo mark changes nothing.

#include "traffic/ai_objects.hpp"

namespace rtd {

// The aircraft leaves the simulator to be created again with another livery.
void freezeForLiveryChange(LiveAI& ai);
// The aircraft stands at a cargo stand.
void markCargoStand(LiveAI& ai);

} // namespace rtd
