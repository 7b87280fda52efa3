#pragma once
// Live aircraft on the ground: the preparation and the set-up of a ground leg, its timing,
// the curve follower, the arrival check and soft stand learning.
//
// Until the ground movement is built here, a ground leg is straight and keeps its reported
// timing, no curve is ever started, and neither the arrival check nor soft stand learning
// does anything. The set-up of a ground leg holds what take-off and landing need: a landed or
// parked aircraft that moves taxis, its ground attitude, the landing roll and the take-off
// decision.

#include "traffic/ai_objects.hpp"

namespace rtd {

// Before the latitude and longitude steps of a ground leg are set.
void prepareGroundLeg(LiveAI& ai);
// After they are set: phase, attitude, landing roll and the take-off decision.
void moveLiveAIOnGround(LiveAI& ai);
// The due poll of the next update for a ground leg (and a hovering rotorcraft's stop).
void retimeGroundLeg(LiveAI& ai);
// One poll along the active curve.
void followCurve(LiveAI& ai);
// Whether an aircraft taxiing to its stand has arrived there.
void checkArrival(LiveAI& ai);
// What the aircraft teaches the park airport's stands when it leaves or its reports end.
void learnStandSoft(LiveAI& ai);

} // namespace rtd
