#pragma once
// An air leg of a live aircraft: the vertical step by what the current and next updates
// report, the pitch target, heading and bank, and the lights and configuration by altitude
// and height above ground.

#include "traffic/engine/ai_objects.hpp"
#include "traffic/records.hpp"

#include <array>
#include <cstdint>

namespace rtd {

// Per-category limits of the air legs, indexed by AircraftCategory.
inline constexpr CategoryTable<double> maxBankDegTable{40, 35, 30, 20, 90, 75};
inline constexpr CategoryTable<double> maxBankStepDegTable{0.035, 0.0275, 0.02, 0.015, 0.1, 0.06};
inline constexpr CategoryTable<double> maxPitchStepDegTable{0.01, 0.0085, 0.0075, 0.005, 0.03, 0.03};

inline constexpr double lightsAltitudeFt = 10000.0;
inline constexpr double largeGateHeightFt = 2050.0; // Buzjets, Large and Heavy
inline constexpr double smallGateHeightFt = 625.0;

// The pitch in the air for a vertical speed in feet per minute, radians (negative is nose
// up): -3 degrees, then 2.2 degrees more nose up per 600 fpm of climb (up to 2400 fpm) and
// half that nose down per 600 fpm of descent (down to -3000 fpm).
double airPitchFor(double verticalSpeedFpm);
// Sets the air-leg steps towards the next update (the queue's second) over `polls`.
void moveLiveAIInAir(LiveAI& ai, std::int64_t polls);
// The turn, radians in (-pi, pi], from the heading to the bearing of the leg after the next.
double turnToFollowingLeg(const LiveAI& ai);
// The bank step towards the bank of a turn of `turn` radians over `polls`.
void bankForTurn(LiveAI& ai, double turn, std::int64_t polls);
// Both updates report the ground while the aircraft flies. True when a later airborne update
// became the next one (the position steps then need setting again).
bool handleGroundReportsAloft(LiveAI& ai);
// The k-th update (the current counting as first) becomes the next when it is airborne.
bool skipToAirborneUpdate(LiveAI& ai, std::size_t k);
// The descent rate of an approach, feet per minute.
double approachDescentRate(const LiveAI& ai);

} // namespace rtd
