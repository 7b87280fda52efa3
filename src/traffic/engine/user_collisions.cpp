#include "traffic/engine/user_collisions.hpp"

#include "core/geo.hpp"
#include "traffic/engine/ai_state.hpp"
#include "traffic/simulator_link/ai_commands.hpp"
#include "traffic/simulator_link/sim_client.hpp"

#include <cmath>

namespace rtd {

namespace {

constexpr double feetPerNm = 6076.11549;
constexpr double groundApproachAglFt = 500.0;
constexpr double groundRangeNm = 1.0;
constexpr double groundLateralFt = 50.0;
constexpr double airRangeNm = 4.0;
constexpr double airVerticalFt = 1000.0;
constexpr double airLateralFt = 700.0;
constexpr double pathRangeNm = 6.0;
constexpr double pathVerticalFt = 3000.0;
constexpr double pathLateralFt = 4000.0;
constexpr double clearanceFactor = 1.1;

LatLon lastGroundCheckPosition{};

// The course the aircraft's current update flies: towards its second update when that one
// moves elsewhere, else the update's own track.
double courseOfFront(const LiveAI& ai)
{
    const PositionUpdate& front = ai.updates.front();
    if (ai.updates.size() >= 2) {
        const PositionUpdate& next = ai.updates[1];
        if (!next.stationary && (next.lat != front.lat || next.lon != front.lon))
            return initialBearing({front.lat, front.lon}, {next.lat, next.lon});
    }
    return front.trackDeg * radiansPerDegree;
}

} // namespace

double offsetFromLineFt(double lineBearing, double bearing, double distanceNm)
{
    return std::fabs(std::sin(lineBearing - bearing)) * distanceNm * feetPerNm;
}

bool isInUserPath(const LiveAI& ai)
{
    if (ai.updates.empty())
        return false;
    const PositionUpdate& front = ai.updates.front();
    const UserAircraftState& user = userStateCache;
    const LatLon position{front.lat, front.lon};
    const double distance = distanceNm(user.position(), position);
    return distance <= pathRangeNm && std::fabs(front.altitudeFt - user.altitudeFt) < pathVerticalFt &&
           offsetFromLineFt(courseOfFront(ai), initialBearing(user.position(), position), distance) <= pathLateralFt;
}

bool avoidCollisionUserAir(LiveAI& ai)
{
    if (ai.simStatus != SimStatus::inSim)
        return false;
    const UserAircraftState& user = userStateCache;
    const LatLon position{ai.lat, ai.lon};
    const double distance = distanceNm(user.position(), position);
    const double bearing = initialBearing(user.position(), position);
    bool inWay = false;
    if (ai.onGround)
        inWay = user.altitudeAglFt < groundApproachAglFt && distance <= groundRangeNm &&
                offsetFromLineFt(user.heading, bearing, distance) <= groundLateralFt;
    else
        inWay = distance <= airRangeNm && std::fabs(ai.altitude - user.altitudeFt) < airVerticalFt &&
                offsetFromLineFt(ai.heading, bearing, distance) <= airLateralFt;
    if (inWay)
        markAIRemoved(ai);
    return inWay;
}

void avoidCollisionUserGround()
{
    const LatLon user = userStateCache.position();
    const double userHalfSpan = userHalfWingspanNm;
    for (LiveAI& ai : liveAIList)
        if (ai.onGround && ai.simStatus == SimStatus::inSim &&
            distanceNm(user, {ai.lat, ai.lon}) <= (userHalfSpan + ai.flight.halfSpan) * clearanceFactor) {
            markAIRemoved(ai);
            return;
        }
    if (user.lat == lastGroundCheckPosition.lat && user.lon == lastGroundCheckPosition.lon)
        return;
    lastGroundCheckPosition = user;
    for (ParkedAI& parked : parkedAIList)
        if (parked.simStatus == SimStatus::inSim &&
            distanceNm(user, {parked.standLat, parked.standLon}) <=
                (userHalfSpan + parked.flight.halfSpan) * clearanceFactor) {
            markAIRemoved(parked);
            return;
        }
}

void resetUserCollisionState()
{
    lastGroundCheckPosition = {};
}

} // namespace rtd
