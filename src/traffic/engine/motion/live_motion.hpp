#pragma once
// The motion of live aircraft in the simulator, 30 s behind the reports: when an update falls
// due the leg to the next one starts (its per-poll steps computed once), further updates are
// invented when the reports run out, and every poll applies the steps once.
//
// A leg lasts from the due poll of its current update to the (possibly re-timed) due poll of
// the next, never under 25 polls; a re-timed due poll stays within the aircraft's early and
// late limits of the reported one except while extrapolating, and never lies before now.

#include "traffic/engine/ai_objects.hpp"

#include <cstdint>

namespace rtd {

// The early and late limits while a real report is followed again, on a departure and an
// approach: 3000 polls each, the late one 5000 with the departing flag.
inline constexpr std::int32_t resumedLimitPolls = 3000;
inline constexpr std::int32_t departingLateLimitPolls = 5000;

// The front update fell due: the leg to the next starts; with none left the aircraft
// extrapolates or is removed.
void advanceLiveAI(LiveAI& ai);
// Starts the leg from the front (current) update to the one behind it and pops the front.
void moveLiveAI(LiveAI& ai);
// True when an update was invented, false when the aircraft is to go.
bool extrapolateLiveAI(LiveAI& ai);
// Sets the extrapolation countdown to `count` and appends one invented update.
void appendExtrapolatedUpdate(LiveAI& ai, int count);
// Moves the next update's due poll to when the aircraft will get there (air legs).
void retimeNextUpdate(LiveAI& ai);
// The speed of the leg from the current to the next update, knots.
double legSpeed(const LiveAI& ai);
// One poll: the steps applied once. Allocates nothing.
void stepLiveAI(LiveAI& ai);
// A real report ended the extrapolation.
void endExtrapolation(LiveAI& ai);

// Polls left of the leg to `next`: max(due - now, 25).
std::int64_t legPolls(const PositionUpdate& next);
// The latitude and longitude steps towards the next update (the front's follower) over `polls`.
void setPositionSteps(LiveAI& ai, std::int64_t polls);
// The next update's due poll: now + `polls`, clamped to the limits unless extrapolating, and
// never before now.
void retimeNextUpdateBy(LiveAI& ai, std::int64_t polls);
// Re-times the next update of an air leg by its distance and speed; `landingSpeed` flies
// a touch-down ahead at the current ground speed.
void retimeAirLeg(LiveAI& ai, bool landingSpeed);
// Lowers the early and late limits by 100 polls, not below 1000.
void lowerRetimeLimits(LiveAI& ai);
// The ground curve is dropped.
void clearCurve(LiveAI& ai);
// Turns the heading towards `target` by the current turn step, the shorter way round, never
// past it; nothing within half a degree.
void turnHeadingTowards(LiveAI& ai, double target);

} // namespace rtd
