#include "traffic/engine/motion/live_ground.hpp"

#include "airports/services.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "traffic/engine/arrival_stand.hpp"
#include "traffic/engine/motion/live_air.hpp"
#include "traffic/engine/motion/live_motion.hpp"
#include "traffic/engine/motion/live_takeoff_landing.hpp"
#include "traffic/engine/motion/motion_math.hpp"
#include "traffic/link/service_link.hpp"
#include "traffic/simulator_link/ai_commands.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <cmath>

namespace rtd {
namespace {

constexpr double curveMaxDeg = 160.0;
constexpr double straightDeg = 3.0;
constexpr double midpointTurnDeg = 45.0;
constexpr double midpointDistanceNm = 0.02699784017278618; // 50 m
constexpr double midpointMaxSpeedKt = 43.0;
constexpr std::int64_t midpointMinPolls = 600;
constexpr double speedSplitKt = 5.0;
constexpr double speedSplitMetres = 100.0;
constexpr double arrivalSlowKt = 5.0;
constexpr double arrivalNearNm = 0.018898488120950324; // 35 m
constexpr double pushBackRadii = 2.5;
constexpr double pullOutRadii = 2.0;
constexpr double pushBackSwingDeg = 90.0;
constexpr std::int64_t taxiTargetMinPolls = 100;
constexpr std::int64_t taxiStopPolls = 50;
constexpr double curveParameterMax = 0.999999;
constexpr std::int32_t wideTurnLimitPolls = 2000;
constexpr double movementTrackerStart = 900.0;

// Throttle states while departing, by the current and next ground speeds.
struct ThrottleRow {
    double currentKt, nextKt;
    std::uint32_t state;
};
constexpr ThrottleRow departingThrottle[] = {{20, 25, 2}, {15, 20, 1}};

// Taxi lights for leaving a stand.
constexpr LightsRecord leavingLights{.nav = 1, .beacon = 1, .landing = 0, .taxi = 1, .strobes = 0, .logo = 1, .cabin = 0};

// A poll count computed in floating point: rounded and kept within [minimum, one week].
std::int64_t pollsAtLeast(double polls, std::int64_t minimum)
{
    if (!(polls >= static_cast<double>(minimum)))
        return minimum;
    return static_cast<std::int64_t>(std::llround(std::min(polls, oneWeekPolls)));
}

// Polls to cover `nm` at `kt`.
double pollsFor(double nm, double kt)
{
    return nm / kt * pollsPerHourOverNm;
}

bool extrapolating(const LiveAI& ai)
{
    return ai.extrapolationCountdown >= 1;
}

LatLon aircraftPosition(const LiveAI& ai)
{
    return {ai.lat, ai.lon};
}

// A bare update at a point: not airborne, not stationary, all values 0 but the speed.
PositionUpdate updateAt(LatLon at, double groundSpeedKt, std::int64_t duePoll)
{
    PositionUpdate u;
    u.lat = at.lat;
    u.lon = at.lon;
    u.groundSpeedKt = groundSpeedKt;
    u.duePoll = duePoll;
    return u;
}

void dropAllButCurrent(LiveAI& ai)
{
    ai.updates.erase(ai.updates.begin() + 1, ai.updates.end());
}

// The curve's offsets of a point in metres north and east of the origin.
void curveOffsets(const LiveAI& ai, const PositionUpdate& u, double& north, double& east)
{
    north = (u.lat - ai.curve.originLat) * curveMetresPerDegree;
    east = std::cos(radians(ai.curve.originLat)) * curveMetresPerDegree * foldLongitude(u.lon - ai.curve.originLon);
}

void logStandLine(const LiveAI& ai, std::string_view what)
{
    if (LOG.value())
        logLine(fmt::format("{:8}: {:8} {} {}", currentTimeText(), ai.flight.callsign, what, standNameOf(ai.standId)));
}

// Phase 0: the push back's legs.
void preparePushBackLeg(LiveAI& ai)
{
    --ai.pushBackCountdown;
    if (ai.pushBackCountdown == 1) {
        if (!ai.turnKnown) {
            if (ai.updates.size() >= 3)
                ai.updates.pop_back(); // no swing: the push back ends straight behind
        } else if (ai.updates.size() >= 3) {
            if (!ai.turnRight)
                ai.updates.back() = ai.savedUpdate;
            startCurve(ai);
            ai.curveTurnAngle = pushBackSwingDeg;
            // Degrees over radians per poll, as the swing's timing has it; the leg's own
            // timing sets the step again once its steps are known.
            ai.curveParameterStep = 1.0 / static_cast<double>(pollsAtLeast(
                                              std::round(pushBackSwingDeg / ai.flight.turnStep / 100.0), 1));
        }
    } else if (ai.pushBackCountdown <= 0) {
        ai.bearingToNext = ai.heading;
        queueEngineStart(ai.objectId);
        queueThrottle(ai, 0);
        queueFlaps(ai, 1);
        ai.setPhase(Phase::enginesStarted);
        ai.pushBackCountdown = 1;
        ai.farthestSeen = movementTrackerStart;
        ai.extrapolationCountdown = 0;
        ai.pushBackPending = false;
    }
}

// Phase 6: leaving the stand when the aircraft is to.
void prepareLeavingStand(LiveAI& ai)
{
    ai.earlyLimit = 3000;
    ai.lateLimit = ai.takeOffRun ? 5000 : 3000;
    if (!ai.pushBackPending)
        return;
    const double b = initialBearing({ai.standLat, ai.standLon}, positionOf(ai.updates.back()));
    const double d = std::round(degrees(foldPi(b - ai.standHeading)));
    if (std::fabs(d) < 90.0)
        pullOut(ai);
    else
        pushBack(ai);
}

// Phases 2 to 5 and 7: curves, midpoints and speed splits of a taxi leg.
void prepareTaxiLeg(LiveAI& ai)
{
    if (ai.updates[1].stationary)
        return;
    if (ai.updates.size() >= 3) {
        if (ai.updates[2].stationary) {
            splitSpeedChange(ai);
        } else {
            const double a = std::fabs(degrees(turnToFollowingLeg(ai)));
            const PositionUpdate& current = ai.updates[0];
            const PositionUpdate& next = ai.updates[1];
            const std::int64_t reported = std::max(next.duePoll - current.duePoll, minLegPolls);
            if (a <= straightDeg) {
                splitSpeedChange(ai);
            } else if (a > midpointTurnDeg && distanceNm(positionOf(current), positionOf(next)) > midpointDistanceNm &&
                       current.groundSpeedKt <= midpointMaxSpeedKt && reported >= midpointMinPolls) {
                insertMidpointUpdate(ai);
            } else if (a <= curveMaxDeg) {
                const PositionUpdate& following = ai.updates[2];
                if (following.lat != current.lat || following.lon != current.lon) {
                    startCurve(ai);
                    ai.curveTurnAngle = a;
                } else {
                    splitSpeedChange(ai);
                }
            } else {
                splitSpeedChange(ai);
            }
        }
    } else if (!extrapolating(ai)) {
        splitSpeedChange(ai);
    }
    if (ai.curveActive()) {
        ai.turning = false;
    } else {
        ai.turnToNext = std::fabs(degrees(foldPi(ai.bearingToNext - ai.heading)));
        ai.turning = ai.turnToNext > straightDeg;
    }
}

bool parkAirportInSight()
{
    return parkAirportSet() && !parkAirport.stands.empty();
}

// A taxiing aircraft that stops near the park airport looks for its stand.
void checkArrivalTrigger(LiveAI& ai)
{
    if (ai.updates.size() < 2 || !ai.updates.back().stationary || ai.phase != Phase::groundMoving ||
        !parkAirportInSight())
        return;
    const Phase before = ai.previousPhase;
    if (!ai.towed && (before == Phase::atStand || before == Phase::pushBack || before == Phase::enginesStarted))
        return;
    if (!extrapolating(ai) && (ai.updates[1].groundSpeedKt > arrivalSlowKt ||
                               distanceNm(aircraftPosition(ai), positionOf(ai.updates.back())) > arrivalNearNm))
        return;
    assignArrivalStand(ai, extrapolating(ai) && ai.landed);
}

std::uint32_t departingThrottleState(const LiveAI& ai)
{
    if (ai.flight.category == Rotorcraft)
        return 4;
    const double g = ai.updates[0].groundSpeedKt;
    const double g2 = ai.updates[1].groundSpeedKt;
    if (g >= 25.0 || g2 >= 30.0)
        return 4;
    for (const ThrottleRow& row : departingThrottle)
        if (g >= row.currentKt || g2 >= row.nextKt)
            return row.state;
    return 0;
}

} // namespace

void prepareGroundLeg(LiveAI& ai)
{
    switch (ai.phase) {
    case Phase::pushBack:
        preparePushBackLeg(ai);
        break;
    case Phase::enginesStarted: break;
    case Phase::atStand: prepareLeavingStand(ai); break;
    default:
        prepareTaxiLeg(ai);
        checkArrivalTrigger(ai);
        break;
    }
    retimeGroundLeg(ai);
}

void pullOut(LiveAI& ai)
{
    ai.pushBackPending = false;
    ai.extrapolationCountdown = 0;
    const LatLon target = destinationPoint({ai.standLat, ai.standLon}, ai.standHeading,
                                           pullOutRadii * ai.flight.halfSpan * feetPerNm);
    const double speed = ai.flight.pushBackSpeedKt;
    ai.updates.front().groundSpeedKt = speed;
    const std::int64_t polls = pollsAtLeast(pollsFor(distanceNm(aircraftPosition(ai), target), speed), 0);
    dropAllButCurrent(ai);
    ai.updates.push_back(updateAt(target, speed, pollCounter.load() + polls));
    ai.setPhase(Phase::groundMoving);
    ai.bearingToNext = ai.heading;
    queueLightsSet(ai.objectId, leavingLights);
    queueEngineStart(ai.objectId);
    queueThrottle(ai, 0);
    queueFlaps(ai, 1);
    logStandLine(ai, "pull out");
}

void pushBack(LiveAI& ai)
{
    ai.extrapolationCountdown = 0;
    // The swing is decided afresh by this push back's own report; the nose stays put until then.
    ai.turning = false;
    ai.turnKnown = false;
    ai.turnRight = false;
    const double h = wrapTwoPi(ai.standHeading + pi);
    const ParkingPosition* stand = standById(ai.standId);
    if (stand == nullptr)
        return;
    const double speed = ai.flight.pushBackSpeedKt;
    const std::int64_t now = pollCounter.load();
    const LatLon p1 = destinationPoint(aircraftPosition(ai), h, pushBackRadii * stand->radius * feetPerNm);
    ai.updates.front().groundSpeedKt = speed;
    ai.bearingToNext = ai.heading;
    const std::int64_t t1 = pollsAtLeast(pollsFor(distanceNm(aircraftPosition(ai), p1), speed), 0);
    dropAllButCurrent(ai);
    ai.updates.push_back(updateAt(p1, speed, now + t1));
    insertMidpointUpdate(ai);
    const LatLon mid = positionOf(ai.updates[1]);
    const double side = ai.flight.halfSpan * feetPerNm;
    const LatLon p2 = destinationPoint(p1, h + pi / 2.0, side);
    const LatLon p3 = destinationPoint(p1, h - pi / 2.0, side);
    const auto swingDue = [&](LatLon end) {
        return now + t1 / 2 + pollsAtLeast(pollsFor(distanceNm(mid, end), speed), 0);
    };
    ai.savedUpdate = updateAt(p2, speed, swingDue(p2));
    ai.updates.push_back(updateAt(p3, speed, swingDue(p3)));
    queueLightsSet(ai.objectId, leavingLights);
    ai.setPhase(Phase::pushBack);
    ai.pushBackCountdown = 2;
    logStandLine(ai, "push back");
}

void startCurve(LiveAI& ai)
{
    if (ai.updates.size() < 3)
        return;
    const PositionUpdate& current = ai.updates[0];
    const PositionUpdate& next = ai.updates[1];
    PositionUpdate& following = ai.updates[2];
    if (following.groundSpeedKt == 0.0)
        following.groundSpeedKt = (current.groundSpeedKt + next.groundSpeedKt) / 2.0;
    double originLat = ai.lat;
    if (originLat > 180.0)
        originLat -= 360.0;
    ai.curve.originLat = originLat;
    ai.curve.originLon = ai.lon;
    ai.curve.t0 = 0.0;
    ai.curve.t1 = 1.0;
    curveOffsets(ai, next, ai.curve.controlNorth, ai.curve.controlEast);
    curveOffsets(ai, following, ai.curve.endNorth, ai.curve.endEast);
    ai.curveParameter = 0.0;
    ai.updates.erase(ai.updates.begin() + 1);
}

void followCurve(LiveAI& ai)
{
    ai.curveParameter = std::min(ai.curveParameter + ai.curveParameterStep, curveParameterMax);
    LatLon position;
    double tangent = 0.0;
    if (!positionOnCurve(ai.curve, position, tangent, ai.curveParameter)) {
        logLine(fmt::format("{} error in curve at index: {:.2F}", ai.flight.callsign, ai.curveParameter));
        return;
    }
    ai.lat = position.lat;
    ai.lon = position.lon;
    if (ai.phase == Phase::pushBack)
        tangent = wrapTwoPi(tangent + pi); // the nose points away from the motion
    turnHeadingTowards(ai, tangent);
}

void insertMidpointUpdate(LiveAI& ai)
{
    if (ai.updates.size() < 2)
        return;
    const PositionUpdate& current = ai.updates[0];
    const PositionUpdate& next = ai.updates[1];
    PositionUpdate mid = current;
    mid.lat = (current.lat + next.lat) / 2.0;
    double lon = current.lon + foldLongitude(next.lon - current.lon) / 2.0;
    if (lon > 180.0)
        lon -= 360.0;
    else if (lon <= -180.0)
        lon += 360.0;
    mid.lon = lon;
    mid.groundSpeedKt = (current.groundSpeedKt + next.groundSpeedKt) / 2.0;
    mid.altitudeFt = (current.altitudeFt + next.altitudeFt) / 2.0;
    mid.duePoll = (current.duePoll + next.duePoll) / 2;
    mid.airborne = mid.altitudeFt > 0.0;
    if (!mid.airborne)
        mid.altitudeFt = 0.0;
    mid.stationary = false;
    ai.updates.insert(ai.updates.begin() + 1, mid);
}

void splitSpeedChange(LiveAI& ai)
{
    if (ai.updates.size() < 2)
        return;
    const PositionUpdate& current = ai.updates[0];
    const PositionUpdate& next = ai.updates[1];
    if ((current.groundSpeedKt > 0.0 || next.groundSpeedKt > 0.0) &&
        std::fabs(current.groundSpeedKt - next.groundSpeedKt) > speedSplitKt &&
        distanceNm(positionOf(current), positionOf(next)) * nmToMetres >= speedSplitMetres)
        insertMidpointUpdate(ai);
}

void appendTaxiTarget(LiveAI& ai, const TaxiPoint& point)
{
    PositionUpdate& last = ai.updates.back();
    const double speed = ai.flight.pushBackSpeedKt;
    const LatLon at{point.lat, point.lon};
    const std::int64_t polls = pollsAtLeast(pollsFor(distanceNm(positionOf(last), at), speed), taxiTargetMinPolls);
    last.groundSpeedKt = speed;
    PositionUpdate target;
    target.lat = point.lat;
    target.lon = point.lon;
    target.bank = ai.bank;
    target.trueHeading.reset();
    target.altitudeFt = ai.altitude;
    target.duePoll = ai.updates.front().duePoll + polls;
    target.groundSpeedKt = speed;
    target.trueAirspeedKt = speed;
    target.trackDeg = degrees(point.heading);
    target.verticalSpeed = 0.0;
    target.airborne = false;
    target.stationary = point.lat == last.lat && point.lon == last.lon;
    target.adsbHeading = ai.updates.front().adsbHeading;
    PositionUpdate stop = target;
    stop.groundSpeedKt = 0.0;
    stop.trueAirspeedKt = 0.0;
    stop.stationary = true;
    stop.duePoll += taxiStopPolls;
    ai.updates.push_back(target);
    ai.updates.push_back(stop);
    ai.bearingToNext = point.heading;
    if (extrapolating(ai))
        endExtrapolation(ai);
}

void retimeGroundLeg(LiveAI& ai)
{
    if (ai.updates.size() < 2)
        return;
    const PositionUpdate& current = ai.updates[0];
    const PositionUpdate& next = ai.updates[1];
    const std::int64_t now = pollCounter.load();
    if (next.stationary) {
        const std::int64_t reported = std::max(next.duePoll - current.duePoll, minLegPolls);
        retimeNextUpdateBy(ai, std::max(current.duePoll + reported - now, minLegPolls));
        return;
    }
    FlightRecord& f = ai.flight;
    f.currentTurnStep = f.turnStep;
    const double d = distanceNm(positionOf(current), positionOf(next));
    const std::int64_t n = clampedPolls(pollsFor(d, legSpeed(ai)));
    if (!ai.curveActive() && !ai.turning) {
        retimeNextUpdateBy(ai, n);
        return;
    }
    const double a = ai.turning ? ai.turnToNext : ai.curveTurnAngle; // degrees
    // The pace of the turn: its angle in degrees over the turn step in radians per poll, over
    // 100, rounded. The units mix on purpose and the result is not the turn's count of polls;
    // at least 1, and at most a week of polls so that it stays finite.
    const double t = std::clamp(std::round(a / f.turnStep / 100.0), 1.0, oneWeekPolls);
    if (a != 0.0 && d > 0.0) {
        const double r = static_cast<double>(n) / t;
        if (a <= midpointTurnDeg) {
            const double k = r >= 1.2 ? std::min({r * 10.0 / a, r * 30.0 * metresToNm / d, r}) : r;
            if (k != 0.0)
                f.currentTurnStep = f.turnStep / k;
        } else {
            f.currentTurnStep = f.turnStep * std::min(r, std::min(a, 90.0) / 30.0);
            if (a >= 90.0) {
                ai.earlyLimit = std::max(ai.earlyLimit, wideTurnLimitPolls);
                ai.lateLimit = std::max(ai.lateLimit, wideTurnLimitPolls);
            }
        }
    }
    retimeNextUpdateBy(ai, n);
}

void moveLiveAIOnGround(LiveAI& ai)
{
    if (ai.phase == Phase::airborne || ai.phase == Phase::atStand)
        ai.setPhase(Phase::groundMoving);
    if (!ai.takeOffRun) {
        if (ai.landingRoll)
            handleLandingRoll(ai);
        else
            queueThrottle(ai, ai.flight.category == Rotorcraft ? 4 : 0);
    } else {
        queueThrottle(ai, departingThrottleState(ai));
    }
    if (!ai.landingRoll && !ai.takeOffRun)
        lowerRetimeLimits(ai);
    if (ai.flareStage == 0 && ai.phase != Phase::takeOffRoll) {
        ai.pitch = ai.flight.staticPitch;
        ai.bank = 0.0;
        ai.pitchStep = 0.0;
        ai.bankStep = 0.0;
    }
    if (ai.curveActive())
        ai.curveParameterStep = 1.0 / static_cast<double>(legPolls(ai.updates[1]));
    const double nextSpeed = ai.updates[1].groundSpeedKt;
    ai.targetAirspeed = ai.phase == Phase::pushBack ? -nextSpeed : nextSpeed;
    decideTakeOff(ai);
}

} // namespace rtd
