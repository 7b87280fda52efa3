#include "traffic/engine/arrival_stand.hpp"

#include "airports/services.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "traffic/engine/ai_state.hpp"
#include "traffic/engine/live_creation.hpp"
#include "traffic/engine/live_rules.hpp"
#include "traffic/engine/motion/live_ground.hpp"
#include "traffic/simulator_link/ai_commands.hpp"
#include "traffic/simulator_link/sim_client.hpp"

#include <fmt/format.h>
#include <algorithm>
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

// A live aircraft stands at it or taxis to it, or a static parked one stands at it.
bool standTaken(std::uint32_t standId, const LiveAI& besides)
{
    return std::any_of(liveAIList.begin(), liveAIList.end(),
                       [&](const LiveAI& e) {
                           return &e != &besides && e.standId == standId && !e.erase &&
                                  e.simStatus != SimStatus::removed &&
                                  (e.phase == Phase::atStand || e.phase == Phase::taxiToStand);
                       }) ||
           std::any_of(parkedAIList.begin(), parkedAIList.end(), [standId](const ParkedAI& p) {
               return p.standId == standId && p.simStatus != SimStatus::removed;
           });
}

// The nearest stand within 55 m of the aircraft, other than `lost`, that fits it and that
// nobody holds; null when none.
const ParkingPosition* freeStandNear(const LiveAI& a, std::uint32_t lost)
{
    const ParkingPosition* best = nullptr;
    double bestNm = nearStandNm;
    for (const ParkingPosition& stand : parkAirport.stands) {
        const double d = distanceNm({a.lat, a.lon}, {stand.latitude, stand.longitude});
        if (stand.standId == lost || d > bestNm || stand.heli != (a.flight.category == Rotorcraft) ||
            !aircraftFitsStand(a.flight.halfSpan, stand.radius) || keptForUser(stand) ||
            standTaken(stand.standId, a))
            continue;
        best = &stand;
        bestNm = d;
    }
    return best;
}

// The aircraft taxis to the stand, cleared of the live and parked aircraft in its way.
void bindToStand(LiveAI& a, const ParkingPosition& stand)
{
    const std::uint32_t standId = stand.standId;
    for (LiveAI& e : liveAIList)
        if (&e != &a && removeLiveAtStand(standId, a.flight.callsign, e))
            break;
    releaseStandOfTaxiing(standId, a);
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
    bindToStand(a, *found);
    return true;
}

void releaseStandOfTaxiing(std::uint32_t standId, const LiveAI& newcomer)
{
    for (LiveAI& e : liveAIList) {
        if (&e == &newcomer || e.phase != Phase::taxiToStand || e.standId != standId || e.erase ||
            e.simStatus == SimStatus::removed)
            continue;
        if (const ParkingPosition* other = freeStandNear(e, standId)) {
            bindToStand(e, *other);
            continue;
        }
        // No stand: the leg under way ends, the taxi to the stand is dropped.
        e.standId = 0;
        e.standLat = e.standLon = e.standHeading = 0.0;
        if (!e.updates.empty())
            e.updates.erase(e.updates.begin() + 1, e.updates.end());
        e.setPhase(Phase::groundMoving);
    }
}

void resetArrivalStandSearch()
{
    lastSearched.reset();
}

} // namespace rtd
