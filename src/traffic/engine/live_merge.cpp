#include "traffic/engine/live_merge.hpp"

#include "airports/services.hpp"
#include "core/display.hpp"
#include "core/geo.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "liveries/services.hpp"
#include "traffic/simulator_link/ai_commands.hpp"
#include "traffic/engine/ai_state.hpp"
#include "traffic/engine/live_arrival.hpp"
#include "traffic/engine/motion/live_motion.hpp"
#include "traffic/engine/motion/live_takeoff_landing.hpp"
#include "traffic/engine/live_rules.hpp"
#include "traffic/engine/motion/motion_math.hpp"
#include "traffic/link/service_link.hpp"
#include "traffic/engine/traffic_clock.hpp"
#include "traffic/engine/traffic_thread.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <cmath>

namespace rtd {

namespace {

constexpr double secondsPerHour = 3600.0;
constexpr double minFeedIntervalS = 1.0;
constexpr double airborneGapNm = 0.2429805615550756; // 450 m
constexpr double groundGapNm = 0.010799136069114472; // 20 m
constexpr double groundGapMaxS = 15.0;
constexpr double parkWindowFt = 120.0;
constexpr double noParkReferenceFt = -1000.0;
constexpr double windowCeilingFt = 10000.0;
constexpr std::size_t maxQueuedUpdates = 200;
constexpr double standLimitNm = 0.0458963282937365;   // 85 m
constexpr double creepStepNm = 0.0016198704103671706; // 3 m
constexpr double leaveStandNm = 0.10799136069114472;  // 200 m
constexpr double compactNearNm = 0.011879049676025918; // 22 m
constexpr std::int64_t compactSpanPolls = 1500;        // 15 s
constexpr double stationaryBoxDeg = 0.00015;
constexpr double takeOffSpeedKt = 43.0;

// Track difference in degrees, 0..180.
double trackDifferenceDeg(double a, double b)
{
    double d = std::fmod(std::fabs(a - b), 360.0);
    return d > 180.0 ? 360.0 - d : d;
}

double headingDifferenceDeg(double bearing, double heading)
{
    return std::fabs(angleDifference(bearing, heading)) / radiansPerDegree;
}

bool speedJump(double last, double next)
{
    return (last > 5.0 && next >= 10.0 * last) || (next > 5.0 && last >= 10.0 * next) ||
           (last <= 5.0 && next >= 80.0) || (next <= 5.0 && last >= 80.0);
}

bool tooSoon(const LiveAI& a, const TrafficReport& r)
{
    const PositionUpdate& u = a.updates.back();
    const double gap = r.timestamp - a.lastFeedTimestamp;
    if (r.timestamp == a.lastFeedTimestamp || gap <= minFeedIntervalS)
        return true;
    if (speedJump(u.groundSpeedKt, r.update.groundSpeedKt))
        return true;
    if (a.extrapolationCountdown >= 1)
        return false;
    const double speed = r.update.groundSpeedKt;
    const double turn = trackDifferenceDeg(r.update.trackDeg, u.trackDeg);
    if (r.update.airborne && speed > 120.0 && turn <= 1.0)
        return airborneGapNm / speed * secondsPerHour >= gap;
    if (!r.update.airborne && speed <= 30.0 && turn <= 2.0) {
        const double interval = speed == 0.0 ? groundGapMaxS : std::min(groundGapMaxS, groundGapNm / speed * secondsPerHour);
        return interval >= gap;
    }
    return false;
}

bool categoryAllowed(AircraftCategory category)
{
    switch (category) {
    case Buzjets:
    case Large:
    case Heavy: return true;
    case Light: return LIGHT_AIRCRAFT.value();
    case HighPerf: return HIGH_PERF_AIRCRAFT.value();
    case Rotorcraft: return HELICOPTERS.value();
    }
    return false;
}

void makeDueIncreasing(const LiveAI& a, PositionUpdate& u)
{
    if (!a.updates.empty() && a.updates.back().duePoll >= u.duePoll)
        u.duePoll = a.updates.back().duePoll + 1;
}

void frontDueNow(LiveAI& a)
{
    if (!a.updates.empty())
        a.updates.front().duePoll = pollCounter + 1;
}

// Trailing stationary updates on the ground cut down before a new one.
void compactStationaryRun(LiveAI& a, const PositionUpdate& u)
{
    if (u.airborne || a.updates.empty() || !a.updates.back().stationary)
        return;
    auto& q = a.updates;
    if (u.stationary) {
        if (std::all_of(q.begin(), q.end(), [](const PositionUpdate& p) { return p.stationary; }))
            q.erase(q.begin() + 1, q.end());
        return;
    }
    // The last moving update, `back` places before the last one: the stops after it are the
    // trailing run.
    const std::size_t n = q.size();
    std::size_t back = 1;
    while (back < n && q[n - 1 - back].stationary)
        ++back;
    if (back < 3 || back > 7 || back >= n)
        return;
    const std::size_t moving = n - 1 - back;
    const PositionUpdate& first = q[moving + 1];
    if (q.back().duePoll - first.duePoll < compactSpanPolls || distanceNm(positionOf(first), positionOf(u)) <= compactNearNm)
        q.erase(q.begin() + static_cast<std::ptrdiff_t>(moving) + 2, q.end());
}

void appendMoving(LiveAI& a, PositionUpdate& u)
{
    if (a.landing) {
        if (!checkUpdateWhileLanding(a, u))
            return;
    } else {
        if (!checkStationaryUpdate(a, u))
            return;
        if (a.extrapolationCountdown >= 1) {
            if (!a.onGround && !a.updates.empty() &&
                headingDifferenceDeg(initialBearing(positionOf(a.updates.back()), positionOf(u)), a.heading) >= 100.0)
                return;
            endExtrapolation(a);
        }
    }
    compactStationaryRun(a, u);
    makeDueIncreasing(a, u);
    if (!a.takeOffRun && a.onGround && a.simStatus == SimStatus::inSim && a.phase == Phase::groundMoving &&
        (u.airborne || (!a.updates.empty() && u.groundSpeedKt >= takeOffSpeedKt &&
                        a.updates.back().groundSpeedKt >= takeOffSpeedKt)))
        prepareTakeOff(a);
    a.updates.push_back(u);
    if (a.updates.size() == 2 && a.updates.front().stationary && !u.stationary) {
        frontDueNow(a);
        a.updates.front().groundSpeedKt = u.groundSpeedKt;
    }
}

// Phases 5 and 6: whether the aircraft leaves its stand with this update.
bool leavesStand(LiveAI& a, PositionUpdate& u)
{
    a.recalcMark = true;
    const double d = distanceNm({a.standLat, a.standLon}, positionOf(u));
    const double limit = a.previousPhase == Phase::taxiToStand ? 2.0 * standLimitNm : standLimitNm;
    const double radius = a.flight.halfSpan;
    if (d <= limit) {
        a.parkedSince = trafficClock().now();
        if (a.creepCount == 0 && a.creepStart == 0.0 && a.creepLast == 0.0) {
            a.creepStart = d;
            a.creepLast = d;
        } else if (d >= a.creepLast + creepStepNm) {
            ++a.creepCount;
            a.creepLast = d;
        } else if (d <= a.creepLast - creepStepNm) {
            a.creepCount = 0;
        }
        if ((a.creepCount >= 3 && d - a.creepStart >= radius / 2.0) || d - a.creepStart > radius) {
            startLeavingStand(a, u);
            return true;
        }
        a.pushBackPending = false;
        return false;
    }
    if (a.phase == Phase::atStand) {
        if (d <= leaveStandNm) {
            startLeavingStand(a, u);
            return true;
        }
        if (a.simStatus == SimStatus::inSim) {
            markAIRemoved(a);
            return false;
        }
        return true;
    }
    a.setPhase(Phase::groundMoving);
    u.stationary = false;
    return true;
}

} // namespace

void mergeTrafficRecord(const TrafficReport& report)
{
    for (LiveAI& ai : liveAIList)
        if (acceptTrafficUpdate(report, ai))
            return;
    const TrafficRecord& r = report.record;
    if (!r.callsign.empty() && std::any_of(liveAIList.begin(), liveAIList.end(), [&r](const LiveAI& ai) {
            return ai.flight.callsign == r.callsign && ai.flight.icaoType == r.icaoType;
        }))
        return; // a second hexid of the same flight
    createLiveAIFromRecord(report);
}

bool acceptTrafficUpdate(const TrafficReport& r, LiveAI& a)
{
    if (r.hexid != a.id())
        return false;
    if (a.simStatus == SimStatus::liveryChange || a.simStatus == SimStatus::removed)
        return true;
    if (!a.updates.empty() && tooSoon(a, r))
        return true;
    if (a.simStatus == SimStatus::waiting && !inAltitudeWindow(r))
        return true;
    if (!checkLiveAIGhosts(a, r))
        return true;
    a.lastFeedTimestamp = r.timestamp;
    appendPositionUpdate(a, r.update);
    return true;
}

bool inAltitudeWindow(const TrafficReport& r)
{
    const double altitude = r.update.altitudeFt;
    if (altitude >= windowCeilingFt || altitude <= 0.0)
        return true;
    const double reference = parkAirport.icao.empty() ? noParkReferenceFt : parkAirport.elevationFt;
    return std::fabs(altitude - reference) > parkWindowFt;
}

void createLiveAIFromRecord(const TrafficReport& report)
{
    TrafficReport r = report;
    if (r.record.icaoType.empty()) {
        if (const auto found = lookupRegcode(r.record.registration))
            r.record.icaoType = found->type;
    }
    if (!isKnownModel(r.record.icaoType)) {
        std::string model = dbaseModelOf(r.record.registration);
        if (model.empty())
            return;
        r.record.icaoType = std::move(model);
    }
    createLiveAI(std::move(r));
}

void createLiveAI(TrafficReport r)
{
    const AircraftCategory category = sizeCategory(r.record.icaoType);
    if (!categoryAllowed(category) || !inAltitudeWindow(r))
        return;
    r.record.firstCallsign = r.record.callsign;
    r.record.spareText.clear();
    r.record.spareFlag = false;
    FlightRecord flight;
    constructFlightRecord(flight, r.record);
    flight.hexid = r.hexid;
    flight.category = category;
    const auto index = static_cast<std::size_t>(category);
    flight.turnStep = turnStepDegTable.at(index) * radiansPerDegree;
    flight.currentTurnStep = flight.turnStep;
    flight.verticalStepCap = verticalStepCapFtTable.at(index);
    flight.pushBackSpeedKt = pushBackSpeedKtTable.at(index);
    liveAIList.push_back(constructLiveAI(r.update, flight, r.timestamp));
}

bool checkLiveAIGhosts(LiveAI& a, const TrafficReport& r)
{
    if (a.takeOffRun || a.landing)
        return true;
    FlightRecord& f = a.flight;
    const TrafficRecord& n = r.record;
    if (a.simStatus == SimStatus::waiting) {
        updateRoute(a, r);
        if (f.registration.empty() && !n.registration.empty())
            f.registration = n.registration;
        if (f.callsign.empty() && !n.callsign.empty())
            f.callsign = n.callsign;
        return true;
    }
    if (a.simStatus != SimStatus::inSim || a.phase < Phase::groundMoving || a.phase == Phase::fresh)
        return true;
    const bool routeSame = checkRouteChange(a, r);
    if (!n.callsign.empty() && n.callsign != f.callsign && n.callsign != f.registration) {
        f.callsign = n.callsign;
        if (f.callsign.back() != '_')
            removeGhostOfCallsign(f.callsign);
        else if (hasGhostOwner(f.callsign))
            return false;
    } else if (routeSame) {
        return true;
    }
    if (!GUID_CHANGES.value())
        return true;
    if (LOG.value())
        logLine(fmt::format("          {}", aircraftLine(f)));
    freezeForLiveryChange(a);
    a.headingOverride = a.heading;
    a.headingOverrideSet = true;
    if (a.objectId != 0 && a.objectId == followedObjectId) {
        followedObjectId = 0;
        mainWindowGlobals.editTexts([](DisplayTexts& t) { t.oidText.clear(); });
        CALLSIGN_2_OBJECTID.set(f.callsign);
        windowDisplay().showEditText(CALLSIGN_2_OBJECTID.controlId());
        windowDisplay().invalidate(countersBand);
    }
    if (a.objectId != 0)
        removalBacklog.push_back(a.objectId);
    return false;
}

void updateRoute(LiveAI& a, const TrafficReport& r)
{
    if (!r.record.destination.empty() && r.record.destination != a.flight.destination)
        a.flight.destination = r.record.destination;
    if (!r.record.origin.empty() && r.record.origin != a.flight.origin)
        a.flight.origin = r.record.origin;
}

bool checkRouteChange(LiveAI& a, const TrafficReport& r)
{
    bool same = true;
    bool destinationChanged = false;
    bool originChanged = false;
    const TrafficRecord& n = r.record;
    if (!n.destination.empty()) {
        if (a.flight.destination.empty()) {
            a.flight.destination = n.destination;
            same = false;
        } else if (a.flight.destination != n.destination) {
            destinationChanged = true;
        }
    }
    if (!n.origin.empty()) {
        if (a.flight.origin.empty()) {
            a.flight.origin = n.origin;
            same = false;
        } else if (a.flight.origin != n.origin) {
            originChanged = true;
        }
    }
    if (!destinationChanged || !originChanged)
        return same;
    if (!a.flight.origin.empty() && a.flight.origin == parkAirport.icao && n.destination == a.flight.origin)
        return same;
    a.flight.destination = n.destination;
    a.flight.origin = n.origin;
    if (a.onGround && a.phase != Phase::taxiToStand && a.phase != Phase::atStand) {
        a.setPhase(Phase::groundMoving);
        a.bearingToNext = a.heading;
    }
    return false;
}

void appendPositionUpdate(LiveAI& a, PositionUpdate u)
{
    if (a.updates.size() > maxQueuedUpdates) {
        if (a.simStatus == SimStatus::waiting)
            a.erase = true;
        else
            markAIRemoved(a);
        return;
    }
    switch (a.phase) {
    case Phase::fresh:
        if (!checkStationaryUpdate(a, u))
            return;
        makeDueIncreasing(a, u);
        a.updates.push_back(u);
        return;
    case Phase::taxiToStand:
    case Phase::atStand:
        if (a.simStatus != SimStatus::inSim || !leavesStand(a, u))
            return;
        break;
    case Phase::pushBack: {
        if (a.pushBackCountdown != 2)
            return;
        if (!u.trueHeading && u.trackDeg == 0.0)
            return;
        // Pushed tail first, the aircraft moves opposite to its nose: a reported true heading
        // is turned into the direction of motion that a track gives.
        const double motion = u.trueHeading ? wrapTwoPi(*u.trueHeading + pi) : u.trackDeg * radiansPerDegree;
        a.turnRight = angleDifference(a.heading, motion) > 0.0;
        a.turnKnown = true;
        return;
    }
    case Phase::enginesStarted: {
        const double d = distanceNm({a.lat, a.lon}, positionOf(u));
        const double radius = a.flight.halfSpan;
        if ((d > 2.75 * radius && d > a.farthestSeen) || d > 6.0 * radius) {
            u.stationary = false;
            if (a.extrapolationCountdown >= 1) {
                frontDueNow(a);
                endExtrapolation(a);
            }
            a.pushBackCountdown = 0;
            a.setPhase(Phase::groundMoving);
            break;
        }
        a.farthestSeen = d;
        return;
    }
    default: break;
    }
    appendMoving(a, u);
}

bool checkStationaryUpdate(LiveAI& a, PositionUpdate& u)
{
    if (a.flight.category == Rotorcraft || a.updates.empty())
        return true;
    const PositionUpdate& last = a.updates.back();
    const bool inSimAloft = a.simStatus == SimStatus::inSim && !a.onGround;
    u.stationary = u.lat == last.lat && u.lon == last.lon;
    if (!u.stationary) {
        if (std::fabs(u.lat - last.lat) <= stationaryBoxDeg && std::fabs(u.lon - last.lon) <= stationaryBoxDeg) {
            if (u.airborne || inSimAloft || (a.takeOffRun && u.groundSpeedKt > 0.0 && last.groundSpeedKt >= 50.0))
                return false;
            const std::int64_t due = u.duePoll;
            u = last;
            u.duePoll = due;
            u.groundSpeedKt = 0.0;
            u.stationary = true;
            return true;
        }
        if (u.groundSpeedKt != 0.0)
            return true;
        return !((a.takeOffRun || u.airborne) && last.groundSpeedKt >= 50.0);
    }
    if (u.airborne || inSimAloft || (a.takeOffRun && u.groundSpeedKt > 0.0 && last.groundSpeedKt >= 30.0))
        return false;
    u.groundSpeedKt = 0.0;
    return true;
}

void startLeavingStand(LiveAI& a, PositionUpdate& u)
{
    u.stationary = false;
    a.pushBackPending = true;
    if (a.previousPhase != Phase::atStand) {
        if (a.extrapolationCountdown >= 1 && a.phase == Phase::atStand) {
            if (a.landed) {
                const std::int64_t stay = pollCounter - (a.updates.empty() ? 0 : a.updates.front().duePoll) + 60'480'000;
                const std::int64_t shortStay = a.flight.category == Heavy ? 360'000
                                               : a.flight.category == Large ? 150'000
                                               : a.flight.category == Buzjets ? 90'000 : 0;
                a.towed = stay < shortStay;
                a.landed = false;
            }
            frontDueNow(a);
            endExtrapolation(a);
        }
    }
    const ParkingPosition* stand = standById(a.standId);
    const bool cargoMatches = stand != nullptr && stand->cargo == (a.flight.cargo != 0);
    if (!a.flight.callsign.empty() && cargoMatches && addRealOption(a.standId, a.flight, true, dayHalfHour, false))
        reserveStandForAircraft(dayHalfHour, a.id(), true);
    a.setPhase(Phase::atStand);
}

bool checkUpdateWhileLanding(LiveAI& a, PositionUpdate& u)
{
    if (a.updates.empty())
        return true;
    if (u.lat == a.updates.back().lat && u.lon == a.updates.back().lon)
        return false;
    const auto bearingOff = [&a, &u] {
        return headingDifferenceDeg(initialBearing(positionOf(a.updates.back()), positionOf(u)), a.heading) >= 90.0;
    };
    if (a.updates.size() == 1) {
        if (bearingOff())
            return false;
    } else if (bearingOff()) {
        a.updates.pop_back();
        if (bearingOff() && a.updates.size() >= 2)
            a.updates.pop_back();
    }
    if (a.extrapolationCountdown >= 1)
        endExtrapolation(a);
    const PositionUpdate& last = a.updates.back();
    if (u.lat == last.lat && u.lon == last.lon) {
        u.stationary = true;
        return true;
    }
    u.stationary = false;
    if (u.groundSpeedKt > last.groundSpeedKt && u.groundSpeedKt > 40.0)
        u.groundSpeedKt = last.groundSpeedKt;
    return true;
}

} // namespace rtd
