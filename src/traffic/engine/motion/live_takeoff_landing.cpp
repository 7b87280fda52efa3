#include "traffic/engine/motion/live_takeoff_landing.hpp"

#include "airports/services.hpp"
#include "core/log.hpp"
#include "traffic/engine/ai_state.hpp"
#include "traffic/engine/motion/live_ground.hpp"
#include "traffic/engine/motion/live_motion.hpp"
#include "traffic/engine/motion/motion_math.hpp"
#include "traffic/link/service_link.hpp"
#include "traffic/simulator_link/ai_commands.hpp"
#include "traffic/simulator_link/sim_client.hpp"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace rtd {
namespace {

constexpr double liftOffClimbFpm = 256.0;
constexpr double minTakeOffClimbFt = 0.1;
constexpr double turnedOffRunwayDeg = 15.0;
constexpr double landingRollSlowKt = 90.0;
constexpr double gearAndFlapsUpHeightFt = 2400.0;
constexpr double firstFlapsHeightFt = 2000.0;

// The ground CG height plus this marks the start of each flare stage; its step and the
// vertical speed it reports.
struct FlareStage {
    double aboveCgFt, verticalStepFt, verticalSpeed;
};
constexpr FlareStage flareStages[] = {{30, -0.1, -601}, {20, -0.075, -450}, {10, -0.05, -300}, {3, -0.025, -150}};

std::uint32_t climbThrottle(const LiveAI& ai)
{
    return ai.flight.category == Rotorcraft ? 4 : 3;
}

bool rotorcraft(const LiveAI& ai)
{
    return ai.flight.category == Rotorcraft;
}

// Spoilers handle and both throttle levers back to 0 (the touch-down set them).
void clearTouchdownValues(const LiveAI& ai)
{
    if (ai.flight.category == Light)
        return;
    const double values[3] = {0.0, 0.0, 0.0};
    std::lock_guard lock(simConnectMutex);
    if (simConnectHandle != nullptr)
        sim::SimConnect_SetDataOnSimObject(simConnectHandle, defineTouchdown, ai.objectId, 0, 0, sizeof values, values);
}

bool nearParkAirport(const LiveAI& ai)
{
    return parkAirportSet() && distanceNm({ai.lat, ai.lon}, parkAirportPosition()) <= approachRangeNm;
}

void setUpApproach(LiveAI& ai)
{
    queueThrottle(ai, rotorcraft(ai) ? 4 : 1);
    queueFlaps(ai, 3);
    queueGear(ai, true);
    coupledCheckList.push_back(ai.id());
    ai.landing = true;
    ai.approach = true;
    ai.climbOut = false;
    ai.standLat = 0.0;
    ai.standLon = 0.0;
    ai.standHeading = 0.0;
    ai.standId = 0;
    ai.cabinLightsOff = false;
    ai.takeOffCountdown = 1;
    ai.lateLimit = ai.takeOffRun ? departingLateLimitPolls : resumedLimitPolls;
    ai.earlyLimit = resumedLimitPolls;
}

void climbOut(LiveAI& ai)
{
    if (ai.climbOut)
        return;
    lowerRetimeLimits(ai);
    queueThrottle(ai, 4);
    queueGear(ai, false);
    ai.climbOut = true;
    ai.landing = false;
    ai.approach = false;
    queueFlaps(ai, 0);
    ai.flareStage = 0;
}

} // namespace

bool parkAirportSet()
{
    return !parkAirport.icao.empty();
}

LatLon parkAirportPosition()
{
    return parkAirport.position;
}

double parkAirportAltitudeFt()
{
    return parkAirport.elevationFt;
}

bool allLaterUpdatesAirborne(const LiveAI& ai)
{
    return std::all_of(ai.updates.begin() + 1, ai.updates.end(), [](const PositionUpdate& u) { return u.airborne; });
}

bool allLaterUpdatesAtSpeed(const LiveAI& ai)
{
    const double liftOff = liftOffSpeedKtTable.at(static_cast<std::size_t>(ai.flight.category));
    return std::all_of(ai.updates.begin() + 1, ai.updates.end(),
                       [liftOff](const PositionUpdate& u) { return u.groundSpeedKt >= liftOff; });
}

void decideTakeOff(LiveAI& ai)
{
    if (!ai.takeOffRun || ai.phase == Phase::takeOffRoll || ai.updates.size() < 2 ||
        ai.updates[0].groundSpeedKt < takeOffDecisionSpeedKt)
        return;
    const auto slow = std::find_if(ai.updates.begin() + 1, ai.updates.end(),
                                   [](const PositionUpdate& u) { return u.verticalSpeed <= liftOffClimbFpm; });
    if (slow != ai.updates.end()) {
        if (!allLaterUpdatesAtSpeed(ai) || !allLaterUpdatesAirborne(ai))
            return;
        ai.verticalStep = ai.flight.verticalStepCap;
    } else if (allLaterUpdatesAirborne(ai)) {
        const PositionUpdate& next = ai.updates[1];
        ai.verticalStep = std::max(next.altitudeFt - ai.altitude, minTakeOffClimbFt) / static_cast<double>(legPolls(next));
    } else {
        ai.verticalStep = ai.flight.verticalStepCap;
    }
    startTakeOffRoll(ai);
}

void startTakeOffRoll(LiveAI& ai)
{
    const std::int32_t rotationPolls = static_cast<std::int32_t>(std::max(ai.flight.rotationPolls, 1u));
    ai.takeOffCountdown = rotationPolls;
    ai.bank = 0.0;
    ai.bankStep = 0.0;
    ai.pitchStep = (ai.flight.rotationPitch - ai.pitch) / rotationPolls;
    if (!ai.takeOffRun)
        prepareTakeOff(ai);
    ai.setPhase(Phase::takeOffRoll);
    ai.headingStep = 0.0;
    clearCurve(ai);
    if (ai.landingRoll) { // touch and go
        ai.landingRoll = false;
        ai.landing = false;
        ai.approach = false;
        ai.landed = false;
        queueThrottle(ai, 4);
        queueSpoilers(ai, false);
        queueFlaps(ai, 1);
    }
}

void prepareTakeOff(LiveAI& ai)
{
    if (ai.towed)
        logArrow("towed aircraft takes-off?");
    ai.takeOffRun = true;
    queueThrottle(ai, 0);
    queueSpoilers(ai, false);
    queueFlaps(ai, 1);
    ai.landing = false;
    ai.approach = false;
    ai.landed = false;
    ai.climbOut = false;
    queueLightsSet(ai.objectId, {.nav = 1, .beacon = 1, .landing = 1, .taxi = 1, .strobes = 1, .logo = 1, .cabin = 0});
    ai.lateLimit = departingLateLimitPolls;
    ai.earlyLimit = resumedLimitPolls;
    if (!ai.flight.airline.empty())
        learnStandSoft(ai);
}

void stepTakeOffRoll(LiveAI& ai)
{
    const std::int32_t c = --ai.takeOffCountdown;
    const FlightRecord& f = ai.flight;
    if (c >= 1) {
        ai.onGround = false;
        if (ai.pitch > f.rotationPitch)
            ai.pitch = std::max(ai.pitch + ai.pitchStep, f.rotationPitch);
        return;
    }
    ai.bank += ai.bankStep;
    if (ai.pitch > f.climbPitch) {
        const double step = (f.climbPitch - f.rotationPitch) / static_cast<double>(std::max(f.climbPitchPolls, 1u));
        ai.pitch = std::max(ai.pitch + step, f.climbPitch);
    }
    if (c == 0)
        return;
    if (c > -100) {
        ai.altitude += ai.verticalStep / 10.0;
    } else if (c > -200) {
        ai.altitude += ai.verticalStep / 5.0;
    } else if (c > gearUpCountdown) {
        ai.altitude += ai.verticalStep / 2.0;
    } else {
        if (c == gearUpCountdown)
            queueGear(ai, false);
        ai.altitude += ai.verticalStep;
        if (c < gearUpCountdown) {
            if (ai.pitch <= f.climbPitch)
                ai.pitchStep = 0.0;
            if (ai.heightAboveGround >= climbOutHeightFt) {
                queueThrottle(ai, climbThrottle(ai));
                ai.setPhase(Phase::airborne);
                ai.takeOffCountdown = 1;
            }
        }
    }
}

void configureAboveGate(LiveAI& ai)
{
    lowerRetimeLimits(ai);
    queueCabinLightsSet(ai.objectId, 1);
    ai.takeOffRun = false;
    ai.landing = false;
    ai.approach = false;
    const double v = ai.updates[0].verticalSpeed;
    if (v <= -250.0 && ai.throttleState == 3)
        queueThrottle(ai, rotorcraft(ai) ? 4 : 2);
    else if (v > 400.0 && ai.throttleState == 4)
        queueThrottle(ai, climbThrottle(ai));
    const double h = ai.heightAboveGround;
    if (h >= gearAndFlapsUpHeightFt) {
        queueGear(ai, false);
        queueFlaps(ai, 0);
    } else if (v <= 100.0) {
        if (ai.flapsState == 0)
            queueFlaps(ai, 1);
        else if (ai.flapsState == 1 && h < firstFlapsHeightFt)
            queueFlaps(ai, 2);
    }
}

void configureBelowGate(LiveAI& ai)
{
    queueCabinLightsSet(ai.objectId, 0);
    const double v = ai.updates[0].verticalSpeed;
    if (v <= -250.0) {
        if (!ai.landing && nearParkAirport(ai))
            setUpApproach(ai);
        return;
    }
    // A go-around, or a landing somewhere other than the park airport.
    if (v <= 600.0 && !(ai.landing && !nearParkAirport(ai)))
        return;
    climbOut(ai);
}

void stepFlare(LiveAI& ai)
{
    const double h = ai.heightAboveGround;
    if (h > flareStartHeightFt || !ai.landing || ai.onGround || ai.flareStage >= 4)
        return;
    const double cg = ai.flight.staticCgHeight;
    const std::size_t stage = static_cast<std::size_t>(ai.flareStage);
    double height = h;
    if (stage == 0) {
        if (!ai.flareReferenceValid && parkAirportSet()) {
            ai.flareReference = parkAirportAltitudeFt();
            ai.flareReferenceValid = true;
        }
        if (ai.flareReferenceValid) {
            ai.heightAboveReference = ai.altitude - ai.flareReference;
            height = std::min(h, ai.heightAboveReference);
        } else {
            ai.heightAboveReference = h;
        }
    }
    const FlareStage& s = flareStages[stage];
    if (height > cg + s.aboveCgFt)
        return;
    if (stage == 0)
        ai.pitchStep = (radians(flarePitchDeg) - ai.pitch) / static_cast<double>(std::max(ai.flight.flarePolls, 1u));
    else
        ai.flareReferenceValid = false;
    if (stage == 2)
        queueThrottle(ai, 0);
    ai.verticalStep = s.verticalStepFt;
    if (!ai.updates.empty())
        ai.updates.front().verticalSpeed = s.verticalSpeed;
    ai.flareStage = static_cast<std::int32_t>(stage) + 1;
}

void stepDerotation(LiveAI& ai)
{
    const double ground = ai.flight.staticPitch;
    ai.pitch += ai.pitchStep;
    // Passed, or short of it by rounding only: the steps were sized to end on it.
    const double left = ai.pitchStep >= 0.0 ? ground - ai.pitch : ai.pitch - ground;
    if (left <= std::fabs(ai.pitchStep) * 1e-6) {
        ai.pitch = ground;
        ai.pitchStep = 0.0;
        ai.bank = 0.0;
        ai.bankStep = 0.0;
        ai.derotating = false;
        ai.flareStage = 0;
    }
    ai.bank += ai.bankStep;
}

void handleLandingRoll(LiveAI& ai)
{
    const double turned = std::fabs(degrees(foldPi(ai.heading - ai.landingHeading)));
    if (turned >= turnedOffRunwayDeg) {
        queueFlaps(ai, 0);
        ai.landingRoll = false;
        ai.landingHeading = 0.0;
        queueThrottle(ai, rotorcraft(ai) ? 4 : 0);
        queueSpoilers(ai, false);
        clearTouchdownValues(ai);
        queueLightsSet(ai.objectId, {.nav = 1, .beacon = 1, .landing = 0, .taxi = 1, .strobes = 0, .logo = 1, .cabin = 1});
    } else if (!ai.updates.empty() && ai.updates[0].groundSpeedKt <= landingRollSlowKt) {
        queueSpoilers(ai, false);
        clearTouchdownValues(ai);
        queueFlaps(ai, 1);
    }
}

} // namespace rtd
