#pragma once
// The tables through which the program finds installed liveries: by airline and model, by
// model alone, passenger and cargo apart; the per-category model lists; and the build that
// fills them, with the registration codes and similar models, after every scan.
//
// All tables are keyed by exact codes. They are built on the start-up worker while no
// traffic thread runs and only read afterwards, without locks. They are never emptied: a
// later build in the same process (after a restart) adds only airlines and models new to
// the process, and existing keys keep their entries. Titles live in the title store
// (title_table.hpp), so every LiveryRef stays valid for the whole process.

#include "liveries/aircraft_cfg.hpp"
#include "liveries/dbase.hpp"
#include "liveries/livery_ref.hpp"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace rtd {

// Hashes std::string keys and std::string_view probes alike, so lookups copy nothing.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

template <typename Value>
using TextMap = std::unordered_map<std::string, Value, TextHash, std::equal_to<>>;

struct LiveryTitleEntry {
    LiveryRef title;
    bool cargo = false;
};

using ModelTitles = TextMap<std::vector<LiveryTitleEntry>>; // model -> its liveries
using ModelLiveries = TextMap<std::vector<LiveryRef>>;      // model -> its liveries

// Every scanned livery by airline and model, in scan-list order within a model.
extern TextMap<ModelTitles> liveryTitleTable;
// The non-cargo and the cargo liveries by airline and model.
extern TextMap<ModelLiveries> airlinePaxLiveries;
extern TextMap<ModelLiveries> airlineCargoLiveries;
// The non-cargo and the cargo liveries by model, of every airline ("ZZZ" included).
extern ModelLiveries modelPaxLiveries;
extern ModelLiveries modelCargoLiveries;
// Models of the categories Light, Buzjets and Rotorcraft with a livery, ascending; refilled
// by every build.
extern std::vector<std::string> lightLiveryModels;
extern std::vector<std::string> buzjetLiveryModels;
extern std::vector<std::string> rotorcraftLiveryModels;

// The list of Light, Buzjets or Rotorcraft; null for the other categories.
std::vector<std::string>* categoryLiveryModels(AircraftCategory category);

// ---- building (start-up worker) --------------------------------------------------------

// Builds every table from the sorted, de-duplicated scan list and logs what was found.
// The in-line registration check clears the codes that clash (regcodes.hpp).
void processScannedLiveries(LiveryList& scanList);

void groupScannedLiveries(const LiveryList& scanList);
void buildAirlineTables();
void buildModelTables();

// "N models have a generic livery" with the models of airline "ZZZ", or "No generic liveries".
void logGenericLiveries();
// The category's livery counts and models. A category without liveries switches its option
// off (Light, HighPerf, Rotorcraft) and disables its check box.
void logCategories(AircraftCategory category);

// ---- lookups (any thread after the build) ----------------------------------------------

bool hasAirlineModel(std::string_view airline, std::string_view model);
bool hasModelLivery(std::string_view model);
// The airline codes of the title table, each cut to three characters, in the table's order.
std::vector<std::string> listAirlineCodes();

// "Light", "Buzjets", "Large", "Heavy", "HighPerf" or "Rotorcraft"; throws std::out_of_range
// for other values.
std::string_view categoryName(AircraftCategory category);

// "s" for every count but 1.
inline const char* plural(std::size_t count)
{
    return count == 1 ? "" : "s";
}

// Empties every livery, registration and similar-model table so a test starts afresh. The
// stored titles stay where they are, so views taken before still read their titles.
void clearLookupTables();

} // namespace rtd
