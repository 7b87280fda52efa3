#include "traffic/engine/ai_objects.hpp"

#include <limits>

namespace rtd {

ParkedAI constructParkedAI(const FlightRecord& flight, std::uint32_t standId, double standLat, double standLon,
                           double standHeading, bool cabinLightsOff)
{
    ParkedAI ai;
    ai.flight = flight;
    ai.standLat = standLat;
    ai.standLon = standLon;
    ai.standHeading = standHeading;
    ai.standId = standId;
    ai.cabinLightsOff = cabinLightsOff;
    return ai;
}

LiveAI constructLiveAI(const PositionUpdate& first, const FlightRecord& flight, double timestamp)
{
    LiveAI ai;
    ai.flight = flight;
    ai.lastFeedTimestamp = timestamp;
    ai.updates.push_back(first);
    return ai;
}

LiveAI copyLiveAI(const LiveAI& ai)
{
    return ai;
}

FlightRecord copyFlightRecordBase(const ParkedAI& ai)
{
    return ai.flight;
}

} // namespace rtd
