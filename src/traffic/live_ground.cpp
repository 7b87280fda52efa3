#include "traffic/live_ground.hpp"

#include "traffic/live_takeoff_landing.hpp"
#include "traffic/motion_math.hpp"
#include "traffic/service_link.hpp"

#include <algorithm>
#include <cmath>

namespace rtd {
namespace {

constexpr double turningAboveDeg = 3.0;

} // namespace

void prepareGroundLeg(LiveAI& ai)
{
    if (!ai.updates[1].stationary) {
        ai.turnToNext = std::fabs(degrees(foldPi(ai.bearingToNext - ai.heading)));
        ai.turning = ai.turnToNext > turningAboveDeg;
    }
    retimeGroundLeg(ai);
}

void moveLiveAIOnGround(LiveAI& ai)
{
    if (ai.phase == Phase::airborne || ai.phase == Phase::atStand)
        ai.setPhase(Phase::groundMoving);
    if (!ai.takeOffRun && ai.landingRoll)
        handleLandingRoll(ai);
    if (ai.flareStage == 0 && ai.phase != Phase::takeOffRoll) {
        ai.pitch = ai.flight.staticPitch;
        ai.bank = 0.0;
        ai.pitchStep = 0.0;
        ai.bankStep = 0.0;
    }
    if (ai.updates.size() >= 2)
        ai.targetAirspeed = ai.phase == Phase::pushBack ? -ai.updates[1].groundSpeedKt : ai.updates[1].groundSpeedKt;
    decideTakeOff(ai);
}

void retimeGroundLeg(LiveAI& ai)
{
    if (ai.updates.size() < 2)
        return;
    PositionUpdate& next = ai.updates[1];
    next.duePoll = std::max(next.duePoll, pollCounter.load());
}

void followCurve(LiveAI&) {}

void checkArrival(LiveAI&) {}

void learnStandSoft(LiveAI&) {}

} // namespace rtd
