#include "traffic/engine/live_creation.hpp"

#include "airports/services.hpp"
#include "core/geo.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "liveries/services.hpp"
#include "traffic/engine/ai_state.hpp"
#include "traffic/engine/arrival_stand.hpp"
#include "traffic/engine/live_arrival.hpp"
#include "traffic/engine/live_rules.hpp"
#include "traffic/engine/motion/live_air.hpp"
#include "traffic/engine/motion/live_motion.hpp"
#include "traffic/engine/parked_static.hpp"
#include "traffic/engine/traffic_clock.hpp"
#include "traffic/engine/traffic_thread.hpp"
#include "traffic/engine/user_collisions.hpp"
#include "traffic/link/service_link.hpp"
#include "traffic/simulator_link/ai_commands.hpp"
#include "traffic/simulator_link/sim_client.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <cmath>

namespace rtd {

namespace {

constexpr std::int64_t airborneLeadPolls = 100;
constexpr std::int64_t groundLeadPolls = 300;
constexpr double userMovingKt = 8.0;
constexpr double userHoldNm = 500.0 / 1852.0;
constexpr double userGroundClearNm = 0.08099352051835854; // 150 m
constexpr double approachHoldNm = 1.5;
constexpr double approachHoldAglFt = 1000.0;
constexpr double approachLateralFt = 500.0;
constexpr std::size_t maxWaitingCreations = 10;
constexpr std::string_view noCallsign = "@@@@@@@@";
constexpr std::size_t maxCallsignLength = 8;
constexpr double parkAirportRangeNm = 5.0;
constexpr double slowSecondKt = 5.0;
constexpr double standSnapNm = 0.018898488120950324;   // 35 m
constexpr double groundPitchRad = 0.010471975511965976;  // 0.6 degrees
constexpr double twoPi = 6.283185307179586;

double distanceToUser(const PositionUpdate& u)
{
    return distanceNm(userStateCache.position(), positionOf(u));
}

bool endsWithGhostMark(const std::string& callsign)
{
    return !callsign.empty() && callsign.back() == '_';
}

bool mixesAirAndGround(const UpdateQueue& updates)
{
    const bool first = updates.front().airborne;
    return std::any_of(updates.begin(), updates.end(), [first](const PositionUpdate& u) { return u.airborne != first; });
}

// The holds for the user aircraft; true when the oldest update was dropped.
bool holdForUser(LiveAI& a)
{
    const PositionUpdate& front = a.updates.front();
    const UserAircraftState& user = userStateCache;
    if (userOnGround) {
        if (a.heldForUser &&
            (user.groundSpeedKt > userMovingKt ||
             (!front.airborne && (front.groundSpeedKt > userMovingKt || distanceToUser(front) < userHoldNm))))
            return true;
        return !front.airborne && COLLISION_USER_GND.value() && distanceToUser(front) <= userGroundClearNm;
    }
    if (!COLLISION_USER_AIR.value())
        return false;
    if (!front.airborne) {
        if (a.heldForUser)
            return true;
        const double distance = distanceToUser(front);
        if (distance <= approachHoldNm && user.altitudeAglFt < approachHoldAglFt &&
            offsetFromLineFt(user.heading, initialBearing(user.position(), positionOf(front)), distance) <=
                approachLateralFt) {
            a.heldForUser = true;
            return true;
        }
        return false;
    }
    if (isInUserPath(a)) {
        a.heldForUser = true;
        return true;
    }
    return false;
}

bool overLiveLimit()
{
    if (MAX_LIVE.value() == MAX_LIVE.defaultValue())
        return false;
    const auto inSim = std::count_if(liveAIList.begin(), liveAIList.end(),
                                     [](const LiveAI& ai) { return ai.simStatus == SimStatus::inSim; });
    return static_cast<std::int64_t>(inSim + readyForCreation.size() + liveCreationBacklog.size()) >= MAX_LIVE.value();
}

void takeRegistrationRecord(LiveAI& a)
{
    FlightRecord& f = a.flight;
    if (f.registration.empty())
        return;
    if (const auto found = lookupRegcode(f.registration)) {
        if (!found->airl.empty())
            f.airline = found->airl;
        if (!found->type.empty())
            f.icaoType = found->type;
        if (!found->opr.empty())
            f.airline = found->opr;
        f.cargo = found->cargo ? 1 : 0;
    }
    if (f.callsign.empty() || f.callsign == noCallsign)
        f.callsign = f.registration;
}

std::string noMatchKey(const FlightRecord& f)
{
    std::string key = typeText(f);
    if (!f.registration.empty())
        key += " " + f.registration;
    return key;
}

double initialPitch(const PositionUpdate& front)
{
    if (!front.airborne)
        return groundPitchRad;
    return airPitchFor(front.verticalSpeed);
}

// Placement at a stand of the park airport; false when the aircraft is erased or waits.
bool placeAtStand(LiveAI& a, LatLon position)
{
    const auto found = findStandForAircraft(position, a.flight, nearStandNm, a.updates.front().stationary);
    if (found == parkAirport.stands.end()) {
        if (a.updates.size() >= 2 && a.updates[1].stationary) {
            a.updates.pop_front();
            return false;
        }
        a.setPhase(Phase::groundMoving);
        return true;
    }
    const ParkingPosition* stand = &*found;
    const std::uint32_t standId = stand->standId;
    const std::string nearest = nearestStandName(userStateCache.position());
    if ((!reservedStandName.empty() && stand->name == reservedStandName) || (!nearest.empty() && stand->name == nearest)) {
        a.erase = true;
        return false;
    }
    bool keep = true;
    for (LiveAI& other : liveAIList)
        if (&other != &a && applyStandCallsignRules(keep, standId, a.flight.callsign, other))
            break;
    if (!keep) {
        a.erase = true;
        return false;
    }
    releaseStandOfTaxiing(standId, a);
    for (const std::uint32_t adjacent : stand->neighbours)
        for (LiveAI& other : liveAIList)
            if (&other != &a && removeAdjacentLive(adjacent, stand->latitude, stand->longitude, a, other))
                break;
    clearStandForLive(a, standId, !stand->neighbours.empty());
    PositionUpdate& front = a.updates.front();
    front.stationary = true;
    front.groundSpeedKt = 0.0;
    front.lat = stand->latitude;
    front.lon = stand->longitude;
    front.trackDeg = stand->heading / radiansPerDegree;
    a.updates.erase(a.updates.begin() + 1, a.updates.end());
    a.standLat = stand->latitude;
    a.standLon = stand->longitude;
    a.standHeading = stand->heading;
    a.standId = standId;
    a.cabinLightsOff = stand->cargo;
    a.setPhase(Phase::atStand);
    a.parkedSince = trafficClock().now();
    a.creepStart = a.creepLast = 0.0;
    a.creepCount = 0;
    markCargoStand(a);
    if (addRealOption(standId, a.flight, false, dayHalfHour, false))
        reserveStandForAircraft(dayHalfHour, a.id(), true);
    enforceMaxParked(1);
    return true;
}

// First placement: livery, then air, taxiing or a stand. False when the aircraft is not
// placed at this poll.
bool placeFirstTime(LiveAI& a)
{
    if (!matchLiveryCached(a)) {
        noMatchSet.insert(noMatchKey(a.flight));
        return false;
    }
    const PositionUpdate& front = a.updates.front();
    if (front.airborne) {
        a.setPhase(Phase::airborne);
        return true;
    }
    LatLon position = positionOf(front);
    bool nearStand = false;
    if (!parkAirport.stands.empty() && !parkAirport.icao.empty() &&
        distanceNm(position, parkAirport.position) <= parkAirportRangeNm) {
        if (front.stationary) {
            nearStand = true;
        } else if (a.updates.size() >= 2 && a.updates[1].groundSpeedKt <= slowSecondKt &&
                   distanceNm(positionOf(a.updates.back()), position) <= standSnapNm) {
            nearStand = true;
            position = positionOf(a.updates.back());
        }
    }
    if (!nearStand) {
        a.setPhase(Phase::groundMoving);
        return true;
    }
    return placeAtStand(a, position);
}

} // namespace

void advanceAllLiveAI()
{
    bool anyErased = false;
    for (LiveAI& a : liveAIList) {
        if (a.simStatus == SimStatus::inSim) {
            if (!a.updates.empty() && pollCounter >= a.updates.front().duePoll) {
                advanceLiveAI(a);
                const bool stationary = !a.updates.empty() && a.updates.front().stationary;
                a.simVerticalSpeed = a.targetVerticalSpeed / 60.0;
                a.simAirspeed = stationary ? 0.0 : a.targetAirspeed;
            }
            if (a.simStatus == SimStatus::inSim) {
                if (a.updates.empty() || !a.updates.front().stationary)
                    stepLiveAI(a);
                appendPosition({a.lat, a.lon, a.pitch, a.bank, a.heading, a.altitude, a.simVerticalSpeed,
                                a.simAirspeed, a.objectId});
            }
        } else if (a.simStatus == SimStatus::waiting && !a.erase) {
            prepareLiveAICreation(a);
        }
    }
    for (const LiveAI& a : liveAIList)
        anyErased = anyErased || a.erase;
    if (anyErased)
        liveAIList.erase(std::remove_if(liveAIList.begin(), liveAIList.end(), [](const LiveAI& a) { return a.erase; }),
                         liveAIList.end());
    handOverPositions();
}

void prepareLiveAICreation(LiveAI& a)
{
    if (a.updates.empty()) {
        a.erase = true;
        return;
    }
    const PositionUpdate& front = a.updates.front();
    const std::int64_t lead = front.airborne || front.groundSpeedKt == 0.0 ? airborneLeadPolls : groundLeadPolls;
    if (pollCounter < front.duePoll - lead)
        return;
    FlightRecord& f = a.flight;
    if (a.updates.size() == 1 ||
        (endsWithGhostMark(f.callsign) &&
         std::find(heldCallsigns.begin(), heldCallsigns.end(), f.callsign) != heldCallsigns.end())) {
        a.erase = true;
        return;
    }
    if (mixesAirAndGround(a.updates) || holdForUser(a) ||
        (liveCreationBacklog.size() > maxWaitingCreations && a.phase == Phase::fresh)) {
        a.updates.pop_front();
        return;
    }
    // A blocked aircraft is dropped before the live limit, so it never pushes another out.
    const std::string blocked = BLOCK_CALLSIGN.value();
    if (!blocked.empty() && blocked == f.callsign) {
        a.erase = true;
        return;
    }
    if (overLiveLimit() && removeFarthestLive(distanceToUser(a.updates.front()))) {
        a.erase = true;
        return;
    }
    takeRegistrationRecord(a);
    if (f.callsign.empty() || f.callsign == noCallsign || f.callsign.size() > maxCallsignLength) {
        a.erase = true;
        return;
    }
    if (f.airline.empty() && !isAirlineCallsign(f))
        f.airline = "PVT";
    // Both keys: an aircraft with a registration that found no livery is not matched again.
    if (noMatchSet.contains(typeText(f)) || noMatchSet.contains(noMatchKey(f))) {
        a.erase = true;
        return;
    }
    if (endsWithGhostMark(f.callsign) && hasGhostOwner(f.callsign)) {
        a.erase = true;
        return;
    }
    placeNewLiveAI(a);
}

void placeNewLiveAI(LiveAI& a)
{
    auto& q = a.updates;
    if (q.size() >= 2 && q[1].stationary) {
        q[0].stationary = true;
        q[0].groundSpeedKt = 0.0;
        q[1].groundSpeedKt = 0.0;
        if (q.size() >= 3 && q[2].stationary)
            q[2].groundSpeedKt = 0.0;
    } else {
        q[0].stationary = false;
    }
    if (a.phase == Phase::fresh && !placeFirstTime(a))
        return;
    if (a.erase)
        return;
    coupledCheckList.push_back(a.id());
    const PositionUpdate& front = q.front();
    a.lat = front.lat;
    a.lon = front.lon;
    a.altitude = front.altitudeFt;
    a.onGround = !front.airborne;
    a.bank = front.bank.value_or(0.0);
    a.targetVerticalSpeed = front.verticalSpeed;
    a.targetAirspeed = front.trueAirspeedKt;
    a.pitch = initialPitch(front);
    double heading = 0.0;
    if (a.headingOverrideSet)
        heading = a.headingOverride;
    else if (a.phase == Phase::atStand)
        heading = a.standHeading;
    else if (q.size() >= 2 && !q[1].stationary)
        heading = initialBearing(positionOf(front), positionOf(q[1]));
    else
        heading = front.trackDeg * radiansPerDegree;
    heading = std::fmod(heading, twoPi);
    if (heading < 0.0)
        heading += twoPi;
    a.heading = heading;
    a.groundHeading = a.onGround ? heading : 0.0;
    a.simStatus = SimStatus::requested;
    a.heldForUser = false;
    readyForCreation.push_back(a.id());
    if (!endsWithGhostMark(a.flight.callsign))
        removeGhostOfCallsign(a.flight.callsign);
}

bool makePlaceAtStand(const LiveAI& a, std::uint32_t standId, ParkedAI& p)
{
    if (p.standId != standId)
        return false;
    if (p.simStatus == SimStatus::requested) {
        if (LOG.value())
            logLine(fmt::format("queued {:8}: {:8} makes place for {}", standNameOf(standId), p.flight.callsign,
                                a.flight.callsign));
        // A withdrawn creation erases p from the list; otherwise p is still there.
        if (const std::string callsign = p.flight.callsign; !dropQueuedCreationsByCallsign(callsign))
            p.removeWhenCreated = true;
    } else if (p.simStatus == SimStatus::inSim) {
        if (LOG.value())
            logLine(fmt::format("{:8}: {:8} makes place for {}", standNameOf(standId), p.flight.callsign,
                                a.flight.callsign));
        markAIRemoved(p);
    }
    return true;
}

bool removeAdjacentParked(const LiveAI& a, std::uint32_t adjacentStandId, ParkedAI& p)
{
    if (p.standId != adjacentStandId || p.simStatus != SimStatus::inSim)
        return false;
    const ParkingPosition* own = standById(a.standId);
    const ParkingPosition* adjacent = standById(adjacentStandId);
    if (own == nullptr || adjacent == nullptr)
        return true;
    const double apart = distanceNm({own->latitude, own->longitude}, {adjacent->latitude, adjacent->longitude});
    if (a.flight.halfSpan + p.flight.halfSpan > apart + adjacentMarginNm) {
        if (LOG.value())
            logLine(fmt::format("{:8}: {:8} removed by adjacent parking {} at {:8}", standNameOf(adjacentStandId),
                                p.flight.callsign, a.flight.callsign, standNameOf(a.standId)));
        markAIRemoved(p);
    }
    return true;
}

void clearStandForLive(LiveAI& a, std::uint32_t standId, bool hasAdjacentStands)
{
    for (ParkedAI& parked : parkedAIList)
        if (makePlaceAtStand(a, standId, parked))
            break; // the list may have lost the entry: stop before the next
    if (!hasAdjacentStands)
        return;
    const ParkingPosition* stand = standById(standId);
    if (stand == nullptr)
        return;
    const std::uint32_t ownStand = a.standId;
    a.standId = standId; // the distances are taken from this stand
    for (const std::uint32_t adjacent : stand->neighbours)
        for (ParkedAI& parked : parkedAIList)
            if (removeAdjacentParked(a, adjacent, parked))
                break;
    a.standId = ownStand;
}

} // namespace rtd
