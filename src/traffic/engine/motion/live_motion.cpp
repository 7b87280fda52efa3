#include "traffic/engine/motion/live_motion.hpp"

#include "core/parameters.hpp"
#include "traffic/engine/motion/live_air.hpp"
#include "traffic/engine/motion/live_ground.hpp"
#include "traffic/engine/motion/live_takeoff_landing.hpp"
#include "traffic/engine/motion/motion_math.hpp"
#include "traffic/link/service_link.hpp"
#include "traffic/simulator_link/ai_commands.hpp"
#include "traffic/simulator_link/sim_client.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace rtd {
namespace {

constexpr std::int32_t limitFloorPolls = 1000;
constexpr std::int32_t limitStepPolls = 100;
constexpr int groundExtrapolationSteps = 10;
constexpr int airExtrapolationSteps = 8;
constexpr double rangeMarginNm = 0.5;

// The ground speed of an invented update accelerating along the runway: by the current one,
// the next speed and its vertical speed.
struct SpeedStep {
    double upToKt, speedKt, verticalSpeed;
};
constexpr SpeedStep takeOffSpeeds[] = {{30, 40, 0}, {60, 80, 0}, {100, 110, 0}, {140, 150, 600}, {160, 170, 1200}};
constexpr SpeedStep takeOffTopSpeed{0, 180, 2400};
// Slowing on the landing roll: from this speed on, the next.
constexpr SpeedStep landingRollSpeeds[] = {{140, 100, 0}, {100, 80, 0}, {80, 60, 0}, {60, 30, 0}};
constexpr double landingRollLastKt = 20.0;

bool categoryExtrapolates(AircraftCategory category)
{
    switch (category) {
    case Light: return LIGHT_AIRCRAFT.value();
    case HighPerf: return HIGH_PERF_AIRCRAFT.value();
    case Rotorcraft: return HELICOPTERS.value();
    default: return true;
    }
}

std::int64_t extrapolationIntervalS(const LiveAI& ai)
{
    if (ai.phase == Phase::atStand)
        return 604800;
    if (ai.phase == Phase::enginesStarted)
        return 300;
    return ai.onGround ? 3 : 8;
}

// Speed and vertical speed of an invented update; false when it stands.
bool inventSpeed(const LiveAI& ai, PositionUpdate& copy, int count)
{
    const double g = copy.groundSpeedKt;
    if (ai.onGround && !ai.landingRoll && !ai.takeOffRun) {
        copy.groundSpeedKt = 0.0;
        copy.stationary = true;
        return false;
    }
    if (ai.onGround && !ai.landingRoll) {
        SpeedStep step = takeOffTopSpeed;
        for (const SpeedStep& s : takeOffSpeeds)
            if (g <= s.upToKt) {
                step = s;
                break;
            }
        copy.groundSpeedKt = step.speedKt;
        if (step.verticalSpeed != 0.0)
            copy.verticalSpeed = step.verticalSpeed;
    } else if (ai.onGround) {
        copy.groundSpeedKt = landingRollLastKt;
        for (const SpeedStep& s : landingRollSpeeds)
            if (g >= s.upToKt) {
                copy.groundSpeedKt = s.speedKt;
                break;
            }
        copy.verticalSpeed = 0.0;
    } else if (!(ai.landing && count < 4)) {
        copy.groundSpeedKt = std::max(g * (ai.landing ? 0.90 : 0.95), 1.0);
    }
    return copy.groundSpeedKt > 0.0;
}

double retimeSpeed(const LiveAI& ai, bool landingSpeed)
{
    const PositionUpdate& current = ai.updates[0];
    if (landingSpeed && ai.landing && !ai.updates[1].airborne)
        return current.groundSpeedKt > 0.0 ? current.groundSpeedKt : 100.0;
    return legSpeed(ai);
}

} // namespace

std::int64_t legPolls(const PositionUpdate& next)
{
    return std::max(next.duePoll - pollCounter.load(), minLegPolls);
}

void setPositionSteps(LiveAI& ai, std::int64_t polls)
{
    const PositionUpdate& next = ai.updates[1];
    ai.latStep = (next.lat - ai.lat) / static_cast<double>(polls);
    ai.lonStep = foldLongitude(next.lon - ai.lon) / static_cast<double>(polls);
}

void lowerRetimeLimits(LiveAI& ai)
{
    ai.earlyLimit = std::max(ai.earlyLimit - limitStepPolls, limitFloorPolls);
    ai.lateLimit = std::max(ai.lateLimit - limitStepPolls, limitFloorPolls);
}

void clearCurve(LiveAI& ai)
{
    constexpr double none = std::numeric_limits<double>::quiet_NaN();
    ai.curve.t0 = 0.0;
    ai.curve.t1 = 1.0;
    ai.curve.controlEast = none;
    ai.curve.controlNorth = none;
    ai.curveParameter = 0.0;
}

void turnHeadingTowards(LiveAI& ai, double target)
{
    const double turn = angleDifference(ai.heading, target);
    if (std::fabs(turn) <= radians(0.5))
        return;
    const double step = std::min(ai.flight.currentTurnStep, std::fabs(turn));
    ai.heading = wrapTwoPi(ai.heading + (turn > 0.0 ? step : -step));
}

void advanceLiveAI(LiveAI& ai)
{
    for (;;) {
        while (ai.updates.size() >= 2) {
            if (!ai.onGround && ai.flight.category != Rotorcraft && ai.updates[1].stationary) {
                ai.updates.erase(ai.updates.begin() + 1);
                continue;
            }
            moveLiveAI(ai);
            return;
        }
        if (!extrapolateLiveAI(ai))
            break;
    }
    if (ai.phase != Phase::atStand)
        learnStandSoft(ai);
    markAIRemoved(ai);
}

bool extrapolateLiveAI(LiveAI& ai)
{
    if (ai.phase == Phase::taxiToStand)
        checkArrival(ai);
    if (ai.updates.empty() || ai.simStatus != SimStatus::inSim)
        return false;
    const std::int32_t countdown = ai.extrapolationCountdown;
    if (countdown < 0)
        return false;
    if (countdown == 1) {
        ai.extrapolationCountdown = -1;
        return false;
    }
    if (countdown > 1) {
        appendExtrapolatedUpdate(ai, countdown - 1);
        return true;
    }
    if (!categoryExtrapolates(ai.flight.category))
        return false;
    int count = airExtrapolationSteps;
    if (ai.onGround) {
        count = ai.phase == Phase::atStand || ai.phase == Phase::enginesStarted ? 1 : groundExtrapolationSteps;
    } else {
        // The traffic thread's own copy of the user state: the client thread's may change meanwhile.
        const LatLon user = userStateCache.position();
        if (isValidPosition(user) && distanceNm({ai.lat, ai.lon}, user) >= lateralRangeNm.load() - rangeMarginNm)
            return false;
    }
    appendExtrapolatedUpdate(ai, count);
    return true;
}

void appendExtrapolatedUpdate(LiveAI& ai, int count)
{
    ai.extrapolationCountdown = count;
    PositionUpdate copy = ai.updates.front();
    const std::int64_t intervalS = extrapolationIntervalS(ai);
    if (copy.stationary || ai.phase == Phase::atStand) {
        copy.stationary = true;
        copy.groundSpeedKt = 0.0;
    } else if (inventSpeed(ai, copy, count)) {
        const double intervalGround = ai.onGround ? 3.0 : 8.0;
        const LatLon from = positionOf(copy);
        const LatLon to = destinationPoint(from, ai.heading, intervalGround * copy.groundSpeedKt * feetPerNm / 3600.0);
        copy.lat = to.lat;
        copy.lon = to.lon;
        copy.stationary = to.lat == from.lat && to.lon == from.lon;
        bool altitudeChanged = false;
        if (ai.landing && ai.flareStage == 0) {
            copy.altitudeFt -= intervalGround * 10.005;
            copy.verticalSpeed = -667.0;
            altitudeChanged = true;
        } else if (!ai.landing && ai.phase == Phase::takeOffRoll) {
            copy.altitudeFt += intervalGround * 25.0;
            copy.verticalSpeed = 1500.0;
            altitudeChanged = true;
        }
        if (altitudeChanged) {
            copy.airborne = copy.altitudeFt > 0.0;
            if (!copy.airborne)
                copy.altitudeFt = 0.0;
        }
    }
    copy.duePoll += 100 * intervalS;
    ai.updates.push_back(copy);
}

void moveLiveAI(LiveAI& ai)
{
    clearCurve(ai);
    {
        const PositionUpdate& current = ai.updates[0];
        PositionUpdate& next = ai.updates[1];
        if (!next.stationary && next.lat == current.lat && next.lon == current.lon)
            next.stationary = true;
        if (!next.stationary)
            ai.bearingToNext = initialBearing(positionOf(current), positionOf(next));
    }
    if (ai.onGround)
        prepareGroundLeg(ai);
    else
        retimeNextUpdate(ai);
    if (ai.updates.size() < 2)
        return;
    if (ai.updates[1].stationary) {
        ai.latStep = 0.0;
        ai.lonStep = 0.0;
        if (!ai.landingRoll && !ai.takeOffRun)
            lowerRetimeLimits(ai);
    } else {
        const std::int64_t polls = legPolls(ai.updates[1]);
        setPositionSteps(ai, polls);
        if (ai.onGround)
            moveLiveAIOnGround(ai);
        else
            moveLiveAIInAir(ai, polls);
    }
    ai.updates.pop_front();
}

double legSpeed(const LiveAI& ai)
{
    const PositionUpdate& current = ai.updates[0];
    const PositionUpdate& next = ai.updates[1];
    if (current.groundSpeedKt != 0.0 || next.groundSpeedKt != 0.0)
        return (current.groundSpeedKt + next.groundSpeedKt) / 2.0;
    const double span = static_cast<double>(std::max(next.duePoll - current.duePoll, minLegPolls));
    return std::max(distanceNm(positionOf(current), positionOf(next)) * pollsPerHourOverNm / span, 1.0);
}

void retimeNextUpdateBy(LiveAI& ai, std::int64_t polls)
{
    PositionUpdate& next = ai.updates[1];
    const std::int64_t now = pollCounter.load();
    std::int64_t due = now + polls;
    if (ai.extrapolationCountdown < 1)
        due = std::clamp(due, next.duePoll - ai.earlyLimit, next.duePoll + ai.lateLimit);
    next.duePoll = std::max(due, now);
}

void retimeAirLeg(LiveAI& ai, bool landingSpeed)
{
    const double d = distanceNm(positionOf(ai.updates[0]), positionOf(ai.updates[1]));
    const double speed = retimeSpeed(ai, landingSpeed);
    retimeNextUpdateBy(ai, clampedPolls(d * pollsPerHourOverNm / speed));
}

void retimeNextUpdate(LiveAI& ai)
{
    if (ai.updates[1].stationary) {
        if (ai.flight.category == Rotorcraft)
            retimeGroundLeg(ai);
        return;
    }
    retimeAirLeg(ai, true);
}

void stepLiveAI(LiveAI& ai)
{
    if (ai.curveActive()) {
        followCurve(ai);
    } else {
        switch (ai.phase) {
        case Phase::pushBack:
        case Phase::enginesStarted:
        case Phase::groundMoving:
            if (ai.turning)
                turnHeadingTowards(ai, ai.bearingToNext);
            break;
        case Phase::taxiToStand: turnHeadingTowards(ai, ai.bearingToNext); break;
        default: ai.heading = wrapTwoPi(ai.heading + ai.headingStep); break;
        }
        if (ai.phase != Phase::enginesStarted) {
            ai.lat += ai.latStep;
            ai.lon += ai.lonStep;
        }
    }
    if (ai.phase == Phase::takeOffRoll) {
        stepTakeOffRoll(ai);
    } else {
        stepFlare(ai);
        if (ai.derotating) {
            stepDerotation(ai);
        } else if (ai.flareStage == 0 && ai.onGround) {
            ai.pitch = ai.flight.staticPitch;
            ai.bank = 0.0;
        } else {
            double pitch = ai.pitch + ai.pitchStep;
            if (ai.flareStage != 0) {
                // Never further nose up than the flare's pitch, nor a jump back to it.
                pitch = std::max(pitch, std::min(ai.pitch, radians(flarePitchDeg)));
            }
            ai.pitch = pitch;
            ai.bank += ai.bankStep;
            ai.altitude += ai.verticalStep;
        }
    }
    if (ai.lon > 180.0)
        ai.lon -= 360.0;
    else if (ai.lon < -180.0)
        ai.lon += 360.0;
}

void endExtrapolation(LiveAI& ai)
{
    ai.extrapolationCountdown = 0;
    ai.earlyLimit = resumedLimitPolls;
    ai.lateLimit = ai.takeOffRun ? departingLateLimitPolls : resumedLimitPolls;
}

} // namespace rtd
