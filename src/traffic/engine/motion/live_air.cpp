#include "traffic/engine/motion/live_air.hpp"

#include "traffic/engine/motion/live_motion.hpp"
#include "traffic/engine/motion/live_takeoff_landing.hpp"
#include "traffic/engine/motion/motion_math.hpp"
#include "traffic/link/service_link.hpp"
#include "traffic/link/weather_reader.hpp"
#include "traffic/simulator_link/ai_commands.hpp"

#include <algorithm>
#include <cmath>

namespace rtd {
namespace {

constexpr double standardQnhHpa = standardQnh;
constexpr double pollsPerMinute = 6000.0;
constexpr double lowHeightFt = 1000.0;
constexpr double landingLowHeightFt = 2000.0;
constexpr double minLowClimbStepFt = 0.2;
constexpr double minClimbFromGroundFpm = 601.0;
constexpr double defaultDescentFpm = -601.0;
constexpr double maxClimbPitchFpm = 2400.0;
constexpr double maxDescentPitchFpm = -3000.0;
constexpr std::size_t firstSkipIndex = 3;
constexpr std::size_t lastSkipIndex = 10;

double currentQnhHpa()
{
    return static_cast<double>(trafficReader.currentQnh.load());
}

double category(const CategoryTable<double>& table, const LiveAI& ai)
{
    return table.at(static_cast<std::size_t>(ai.flight.category));
}

// An approach rate written into the next update and flown from now on.
void flyDescentRate(LiveAI& ai, double rateFpm)
{
    ai.updates[1].verticalSpeed = rateFpm;
    ai.targetVerticalSpeed = rateFpm;
    ai.verticalStep = rateFpm / pollsPerMinute;
}

double climbStepTo(const LiveAI& ai, const PositionUpdate& next, std::int64_t polls)
{
    if (!(next.altitudeFt > ai.altitude))
        return 0.0;
    return std::min((next.altitudeFt - ai.altitude) / static_cast<double>(polls), ai.flight.verticalStepCap);
}

void setVerticalStep(LiveAI& ai, std::int64_t& polls)
{
    const PositionUpdate& current = ai.updates[0];
    if (!current.airborne && !ai.updates[1].airborne) {
        if (handleGroundReportsAloft(ai)) {
            polls = legPolls(ai.updates[1]);
            setPositionSteps(ai, polls);
        }
        return;
    }
    PositionUpdate& next = ai.updates[1];
    const double n = static_cast<double>(polls);
    if (!current.airborne) {
        ai.verticalStep = climbStepTo(ai, next, polls);
    } else if (!next.airborne) {
        if (currentQnhHpa() <= standardQnhHpa && parkAirportSet())
            ai.verticalStep = (parkAirportAltitudeFt() - ai.altitude) / n;
        else
            flyDescentRate(ai, currentQnhHpa() <= standardQnhHpa ? defaultDescentFpm : approachDescentRate(ai));
        queueGear(ai, true);
    } else if (!ai.landing) {
        double s = (next.altitudeFt - ai.altitude) / n;
        if (ai.heightAboveGround <= lowHeightFt)
            s = std::max(s, minLowClimbStepFt); // low down a departure never sinks
        ai.verticalStep = std::min(s, ai.flight.verticalStepCap);
    } else if (next.altitudeFt == current.altitudeFt && ai.heightAboveGround <= lowHeightFt &&
               current.verticalSpeed + next.verticalSpeed <= 100.0) {
        flyDescentRate(ai, approachDescentRate(ai));
    } else {
        ai.verticalStep = (next.altitudeFt - ai.altitude) / n;
    }
}

void setPitchTarget(LiveAI& ai, const PositionUpdate& next, double n)
{
    const double target = airPitchFor(next.verticalSpeed);
    const double limit = radians(category(maxPitchStepDegTable, ai));
    ai.pitchStep = std::clamp((target - ai.pitch) / n, -limit, limit);
}

void setLightsAndConfiguration(LiveAI& ai)
{
    if (ai.updates[0].altitudeFt >= lightsAltitudeFt) {
        if (ai.lightsAbove10000)
            return;
        ai.lightsAbove10000 = true;
        ai.lightsBelow10000 = false;
        queueLightsSet(ai.objectId, {.nav = 1, .beacon = 1, .landing = 0, .taxi = 0, .strobes = 0, .logo = 0, .cabin = 1});
        queueThrottle(ai, ai.flight.category == Rotorcraft ? 4 : 3);
        queueGear(ai, false);
        queueFlaps(ai, 0);
        return;
    }
    if (!ai.lightsBelow10000) {
        ai.lightsBelow10000 = true;
        ai.lightsAbove10000 = false;
        queueLightsSet(ai.objectId, {.nav = 1, .beacon = 1, .landing = 1, .taxi = 1, .strobes = 1, .logo = 1, .cabin = 1});
    }
    const AircraftCategory c = ai.flight.category;
    const double gate = c == Buzjets || c == Large || c == Heavy ? largeGateHeightFt : smallGateHeightFt;
    if (ai.heightAboveGround > gate)
        configureAboveGate(ai);
    else
        configureBelowGate(ai);
}

} // namespace

double airPitchFor(double verticalSpeedFpm)
{
    double v = verticalSpeedFpm;
    if (v > 0.0)
        v = std::min(v, maxClimbPitchFpm);
    else
        v = std::max(v, maxDescentPitchFpm) / 2.0;
    return radians(-3.0) - (v / 600.0) * radians(2.2);
}

void moveLiveAIInAir(LiveAI& ai, std::int64_t polls)
{
    if (ai.phase != Phase::takeOffRoll && ai.phase != Phase::airborne)
        ai.setPhase(Phase::airborne);
    ai.targetVerticalSpeed = ai.updates[1].verticalSpeed;
    ai.targetAirspeed = ai.updates[1].trueAirspeedKt;
    if (ai.flareStage == 0)
        setVerticalStep(ai, polls);
    const PositionUpdate& next = ai.updates[1];
    const double n = static_cast<double>(polls);
    if (ai.phase != Phase::takeOffRoll)
        setPitchTarget(ai, next, n);
    const double lowHeight = ai.landing ? landingLowHeightFt : lowHeightFt;
    double turn = 0.0;
    if (next.adsbHeading && next.bank && next.trueHeading && ai.heightAboveGround < lowHeight)
        turn = foldPi(*next.trueHeading - ai.heading);
    else
        turn = turnToFollowingLeg(ai);
    ai.headingStep = turn / n;
    if (next.bank)
        ai.bankStep = (*next.bank - ai.bank) / n;
    else
        bankForTurn(ai, turn, polls);
    setLightsAndConfiguration(ai);
}

double turnToFollowingLeg(const LiveAI& ai)
{
    if (ai.updates.size() < 3)
        return 0.0;
    return foldPi(initialBearing(positionOf(ai.updates[1]), positionOf(ai.updates[2])) - ai.heading);
}

void bankForTurn(LiveAI& ai, double turn, std::int64_t polls)
{
    const double maxBank = radians(category(maxBankDegTable, ai));
    const double maxStep = radians(category(maxBankStepDegTable, ai));
    const double target = -std::clamp(turn, -maxBank, maxBank);
    ai.bankStep = std::clamp((target - ai.bank) / static_cast<double>(polls), -maxStep, maxStep);
}

bool handleGroundReportsAloft(LiveAI& ai)
{
    if (!ai.landing) {
        double sum = 0.0;
        for (const PositionUpdate& u : ai.updates)
            sum += u.verticalSpeed;
        if (sum > 100.0) {
            const std::size_t last = std::min(ai.updates.size() - 1, lastSkipIndex);
            for (std::size_t k = firstSkipIndex; k <= last; ++k)
                if (skipToAirborneUpdate(ai, k)) {
                    queueGear(ai, true);
                    return true;
                }
            PositionUpdate& next = ai.updates[1];
            next.verticalSpeed = std::max(next.verticalSpeed, minClimbFromGroundFpm);
            ai.targetVerticalSpeed = next.verticalSpeed;
            ai.verticalStep = next.verticalSpeed / pollsPerMinute;
            queueGear(ai, true);
            return false;
        }
    }
    flyDescentRate(ai, approachDescentRate(ai));
    queueGear(ai, true);
    return false;
}

bool skipToAirborneUpdate(LiveAI& ai, std::size_t k)
{
    if (k < 2 || ai.updates.size() < k || !ai.updates[k - 1].airborne)
        return false;
    ai.updates.erase(ai.updates.begin() + 1, ai.updates.begin() + static_cast<std::ptrdiff_t>(k - 1));
    retimeAirLeg(ai, false);
    ai.verticalStep = climbStepTo(ai, ai.updates[1], legPolls(ai.updates[1]));
    return true;
}

double approachDescentRate(const LiveAI& ai)
{
    if (ai.heightAboveGround <= 100.0)
        return -600.0;
    const double mean = (ai.updates[0].verticalSpeed + ai.updates[1].verticalSpeed) / 2.0;
    return std::min(mean - (currentQnhHpa() - standardQnhHpa) * 6.0, defaultDescentFpm);
}

} // namespace rtd
