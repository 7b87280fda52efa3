#pragma once
// Corrections from "input/fixes.xml" (wrong model codes of aircraft.cfg files, and airline
// codes that stand for private and government aircraft), and the bookkeeping of liveries
// the simulator refused to create.
//
// The fixes are read once on the start-up worker and only read afterwards. The refusals
// are recorded and read on the traffic thread only (and at the final exit after it ended),
// so they take no lock.

#include "liveries/livery_ref.hpp"

#include <list>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace rtd {

extern std::unordered_map<std::string, std::string> modelFixes; // wrong model -> correct model
extern std::set<std::string> pvtFixes;                          // airline codes of private aircraft
extern std::set<std::string> govFixes;                          // airline codes of government aircraft

// Refused titles in the order of refusal; a title may appear more than once.
extern std::vector<LiveryRef> excludedTitles;
// "model airline" per refusal, the latest first.
extern std::list<std::string> failedTitles;

// How many distinct refused titles end the run.
inline constexpr std::size_t maxRefusedTitles = 20;

// Reads "fixes.xml" from the input folder; entries that do not fit the model database are
// logged and skipped. Throws UserErrorException 3 when the file cannot be loaded. Call
// after readDbase.
void readFixes();

// Records that the simulator refused to create an aircraft with its livery: shown in the
// log, the title excluded from matching from now on, "model airline" put on the failed
// list. Throws UserErrorException 81 once maxRefusedTitles distinct titles were refused.
void reportLiveryNotCreated(std::string_view callsign, std::string_view model, std::string_view airline,
                            LiveryRef livery);

// Sorts failedTitles and drops repeats in place; one line per entry, indented by two blanks.
std::vector<std::string> failedLiveryLines();

} // namespace rtd
