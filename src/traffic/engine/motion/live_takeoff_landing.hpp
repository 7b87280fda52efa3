#pragma once
// Take-off and landing of live aircraft: the decision to start the take-off roll, the roll
// with rotation and initial climb, the configuration by height and vertical speed, the
// approach set-up near the park airport, the four-stage flare, the de-rotation after
// touch-down and the landing roll.

#include "traffic/engine/ai_objects.hpp"
#include "traffic/records.hpp"

namespace rtd {

// Every later report must reach this before the roll starts (0: a rotorcraft lifts off at once).
inline constexpr CategoryTable<double> liftOffSpeedKtTable{90, 110, 140, 150, 220, 0};
inline constexpr double takeOffDecisionSpeedKt = 43.0;
inline constexpr double flareStartHeightFt = 400.0;
inline constexpr double flarePitchDeg = -4.0;     // the most nose-up pitch of a flare
inline constexpr double approachRangeNm = 10.0;   // of the park airport
inline constexpr double climbOutHeightFt = 800.0; // the roll ends this high above ground
inline constexpr std::int32_t gearUpCountdown = -300;

// Last step of a ground leg's set-up: starts the roll when the reports allow.
void decideTakeOff(LiveAI& ai);
void startTakeOffRoll(LiveAI& ai);
void prepareTakeOff(LiveAI& ai);
bool allLaterUpdatesAirborne(const LiveAI& ai);
bool allLaterUpdatesAtSpeed(const LiveAI& ai);

// Air legs below 10000 ft, above / at or below the gate height.
void configureAboveGate(LiveAI& ai);
void configureBelowGate(LiveAI& ai);

// The poll branches: the take-off roll (phase 3), the flare stages and the de-rotation.
void stepTakeOffRoll(LiveAI& ai);
void stepFlare(LiveAI& ai);
void stepDerotation(LiveAI& ai);

// A ground leg with the landing-roll flag: the turn off the runway and the slowing down.
void handleLandingRoll(LiveAI& ai);

// Whether a park airport is chosen, and its position and altitude.
bool parkAirportSet();
LatLon parkAirportPosition();
double parkAirportAltitudeFt();

} // namespace rtd
