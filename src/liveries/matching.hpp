#pragma once
// Chooses the installed livery an aircraft wears. One chain of up to six steps runs from the
// most specific choice to the least specific; the first step that yields a title ends it and
// its number is the quality of the match:
//   1 the registration's own livery (regcodeMap)
//   2 the airline (or the model database's airline of the registration) and the model
//   3 that airline and a similar model it has liveries of
//   4 the generic airline "ZZZ" and the model
//   5 any livery of the model
//   6 any livery of a similar model
// MATCHING_DEPTH bounds how far the chain goes. Special titles are never picked at random,
// and titles the simulator refused are never handed out again: a refused pick is passed
// over and the chain goes on with the next candidate.
//
// Matching runs on the traffic thread and only reads tables built before it started; it
// takes no lock. The result is a view into the title store, so no title is copied.

#include "liveries/dbase.hpp"
#include "liveries/livery_ref.hpp"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace rtd {

inline constexpr std::string_view privateAirlineCode = "PVT";
inline constexpr int matchStepCount = 6;

// The fields of an aircraft record that matching reads and writes. The record itself
// belongs to the traffic code, which sits above this subsystem: it points the texts at its
// record's own (they must outlive the call), hands in its aircraftLine and pairText, and
// copies cargo, fsltl and livery back afterwards.
struct MatchRecord {
    std::string_view airline;      // ICAO airline code; "PVT" for a private aircraft
    std::string_view model;        // ICAO type designator
    std::string_view registration;
    AircraftCategory category = Large;
    std::uint8_t cargo = 0;        // read by the lookups; matchStaticLivery sets it from the stand
    std::uint8_t fsltl = 0;        // set by matchLivery for an "FSLTL_" title
    LiveryRef livery;              // read on entry; the result (empty: no livery)
    // The record's aircraftLine and pairText; asked for only when a detail line is logged.
    std::function<std::string()> aircraftLine;
    std::function<std::string()> pairText;
};

// Live matches per step (index = step - 1): zero at program start, never reset.
extern std::array<std::uint32_t, matchStepCount> matchStepCounters;

// Step 1: the registration's livery from regcodeMap, unless refused. True when the livery
// is set afterwards, also when it was set on entry.
bool matchByRegistration(MatchRecord& record);

// One usable entry of the list (neither special nor refused), drawn with randomIndex, into
// the livery; the empty view when the list has none.
void pickRandomLivery(MatchRecord& record, const std::vector<LiveryRef>& list);

// The liveries of the airline and model (cargo first for a cargo aircraft, then passenger).
// True when the livery is set afterwards.
bool lookupAirlineModel(MatchRecord& record, std::string_view airline, std::string_view model);

// The liveries of the model of any airline: cargo ones only for a cargo aircraft. True when
// the livery is set afterwards.
bool lookupGenericModel(MatchRecord& record, std::string_view model);

// The live chain; the livery stays empty without a match. A match is counted, logged with
// LOG on, and sets the fsltl flag when its title contains "FSLTL_".
void matchLivery(MatchRecord& record);

// The chain for a parked aircraft at a stand: after step 1 the stand's cargo flag becomes
// the record's; the airline steps run also without an airline. A preset livery is kept
// unless it was refused. Nothing is counted. True when a livery is set.
bool matchStaticLivery(MatchRecord& record, std::string_view standName, bool cargoStand);

// The summary block: the matches per step and the aircraft the simulator refused.
std::vector<std::string> matchingSummaryLines();
void logMatchingSummary();

// Logs the summary once per whole day of traffic-cycle seconds; the cycle calls it every tick.
inline constexpr std::int64_t secondsPerDay = 24 * 60 * 60;
void logDailyMatchingSummary(std::int64_t tick);

} // namespace rtd
