#pragma once
// Live aircraft on the ground: leaving a stand by pull out or push back with engine start,
// taxiing along the reports with rounded corners (quadratic curves), extra updates where the
// speed or the direction changes much, the timing of each ground leg by its speed and turn,
// and the throttle while taxiing. The arrival check and soft stand learning are in
// live_arrival.hpp.
//
// All on the traffic thread. Poll counts computed in floating point are clamped before they
// become integers.

#include "traffic/engine/ai_objects.hpp"
#include "traffic/engine/live_arrival.hpp"

namespace rtd {

// A point to taxi to, with the heading to take there (radians).
struct TaxiPoint {
    double lat = 0.0;
    double lon = 0.0;
    double heading = 0.0;
};

// Metres per degree of latitude of the curves' flat frame.
inline constexpr double curveMetresPerDegree = 111132.95;

// Before the latitude and longitude steps of a ground leg are set: the phase logic.
void prepareGroundLeg(LiveAI& ai);
// After they are set: phase, throttle, attitude, curve timing and the take-off decision.
void moveLiveAIOnGround(LiveAI& ai);
// The due poll of the next update for a ground leg (and a hovering rotorcraft's stop); the
// current turn step is adapted to the turn the leg makes.
void retimeGroundLeg(LiveAI& ai);
// One poll along the active curve.
void followCurve(LiveAI& ai);

// Leaving the stand: two radii straight ahead, or a push back straight behind the aircraft
// with a swing to one side at its end.
void pullOut(LiveAI& ai);
void pushBack(LiveAI& ai);
// A curve from the aircraft through the next update (its control point) to the following one;
// the next update is erased. Needs three queued updates.
void startCurve(LiveAI& ai);
// An update halfway between the current and the next, inserted between them.
void insertMidpointUpdate(LiveAI& ai);
// A midpoint where the speed changes by more than 5 kt over at least 100 m.
void splitSpeedChange(LiveAI& ai);
// Appends the leg to the point at the slow taxi speed and a stop there 50 polls later.
void appendTaxiTarget(LiveAI& ai, const TaxiPoint& point);

} // namespace rtd
