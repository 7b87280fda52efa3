#include "traffic/arrival_stand.hpp"

#include "airports/services.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "traffic/ai_commands.hpp"
#include "traffic/ai_state.hpp"
#include "traffic/live_creation.hpp"
#include "traffic/live_ground.hpp"
#include "traffic/live_rules.hpp"
#include "traffic/sim_client.hpp"

#include <fmt/format.h>
#include <optional>

namespace rtd {
namespace {

std::optional<LatLon> lastSearched;

bool keptForUser(const ParkingPosition& stand)
{
    if (!reservedStandName.empty() && stand.name == reservedStandName)
        return true;
    const std::string nearest = nearestStandName(userStateCache.position());
    return !nearest.empty() && stand.name == nearest;
}

} // namespace

bool assignArrivalStand(LiveAI& a, bool stationary)
{
    if (a.updates.empty())
        return false;
    const LatLon searched = positionOf(a.updates.front());
    if (lastSearched && lastSearched->lat == searched.lat && lastSearched->lon == searched.lon)
        return false;
    lastSearched = searched;
    const StandIterator found =
        findStandForAircraft(searched, a.flight, stationary ? nearStandNm : closeStandNm, stationary);
    if (found == parkAirport.stands.end() || keptForUser(*found))
        return false;
    const ParkingPosition& stand = *found;
    const std::uint32_t standId = stand.standId;
    for (LiveAI& e : liveAIList)
        if (&e != &a && removeLiveAtStand(standId, a.flight.callsign, e))
            break;
    for (const std::uint32_t adjacent : stand.neighbours)
        for (LiveAI& e : liveAIList)
            if (&e != &a && removeAdjacentLive(adjacent, stand.latitude, stand.longitude, a, e))
                break;
    clearStandForLive(a, standId, !stand.neighbours.empty());
    a.cabinLightsOff = stand.cargo;
    a.standHeading = stand.heading;
    a.standId = standId;
    // The arrival check measures from the stand position, so the aircraft takes it too.
    a.standLat = stand.latitude;
    a.standLon = stand.longitude;
    a.updates.erase(a.updates.begin() + 1, a.updates.end());
    a.setPhase(Phase::taxiToStand);
    appendTaxiTarget(a, {stand.latitude, stand.longitude, stand.heading});
    return true;
}

void resetArrivalStandSearch()
{
    lastSearched.reset();
}

} // namespace rtd
