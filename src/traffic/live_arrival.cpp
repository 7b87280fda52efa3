#include "traffic/live_arrival.hpp"

namespace rtd {

void freezeForLiveryChange(LiveAI& ai)
{
    ai.simStatus = SimStatus::liveryChange;
}

void markCargoStand(LiveAI&) {}

} // namespace rtd
