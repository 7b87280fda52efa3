#pragma once
// Live aircraft arriving at their stands, what they teach the park airport's stands, the
// freezing of an aircraft whose livery changes, and the count of static parked aircraft
// for the window.
//
// All on the traffic thread.

#include "airports/services.hpp"
#include "core/time.hpp"
#include "traffic/engine/ai_objects.hpp"

#include <cstdint>

namespace rtd {

// Stand arrival within this distance of the stand position.
inline constexpr double arrivedAtStandNm = 0.0010799136069114472; // 2 m

// An aircraft taxiing to its stand ran out of updates: it parks there (phase 6) when it is
// within 2 m, otherwise it taxis on (phase 2).
void checkArrival(LiveAI& ai);
// What an aircraft without a stand teaches the park airport's stands as a soft option when
// it leaves or its reports end near the park airport.
void learnStandSoft(LiveAI& ai);
// A cargo aircraft at a stand not known as cargo marks its stand cargo.
void markCargoStand(LiveAI& ai);
// True when the stand is the aircraft's (a non-zero id): the stand is marked cargo.
bool markCargoAtStand(const LiveAI& ai, ParkingPosition& stand);
// The aircraft is held where it is, to be removed and created again with another livery.
void freezeForLiveryChange(LiveAI& ai);

// Adds one static parked aircraft that is in the simulator (or being removed) to `count`,
// and its age in half hours to `halfHours` when it was parked before `now`.
void addParkedAge(const ParkedAI& parked, DaySlot now, std::int32_t& count, std::uint64_t& halfHours);
// The static parked aircraft in the simulator (sim status 2 or 4). With `updateWindow` and
// WEEK off the window's average age of them is set too.
std::int32_t countParkedAIInSim(bool updateWindow);

} // namespace rtd
