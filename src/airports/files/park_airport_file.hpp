#pragma once
// Reading the park airport's airport file into the park-airport state, merging its learned
// file over it, and writing the learned file back when the airport is left.
//
// Everything here runs on the traffic thread (saving also on the exit thread once the
// traffic thread has stopped) and works on `parkAirport`; only a save from a copy
// (LearnedFileSource) runs on any thread.

#include "airports/database/quality.hpp"
#include "airports/files/airport_file.hpp"

#include <cstdint>
#include <filesystem>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace rtd {

// Reads the airport file at `path` for the park airport `parkAirport.icao` and merges its
// learned file. The caller empties the stands first. Returns the empty text on success,
// "no stands found" when the file has none (the airport is active all the same), or a text
// that says why the file was not read. UserErrorException 65 (no "altitude") and 94 (a stand
// name twice) reach the caller; what was read until then stays. `factors` receives the
// file's quality factors, or those of the merged stands.
std::string gf_readApf(const std::filesystem::path& path, QualityFactors& factors);

// Appends one stand per "parkpos" of the document's "parkpositions", skipping options of
// towing callsigns ("TOW "). UserErrorException 94 when a name appears twice in the document.
void readParkPositions(const pugi::xml_document& document, std::vector<ParkingPosition>& stands);

// Whether the airport file of the code has a stand of exactly that name; false on any error.
bool gf_readApfForGateCheck(std::string_view icao, std::string_view standName);

// The learned file of an airport file: learnedFolderFor's path (of the path without "." and
// "..") when, resolved, it lies inside airports/learned and is not the airport file itself,
// else the learned folder of the publisher ("stock", "simaddon", or thirdparty/<publisher>)
// with "<icao>.xml".
std::filesystem::path learnedPathFor(const std::filesystem::path& airportFile, std::string_view icao,
                                     const std::string& publisher);

// Merges the learned file at `path` into the park airport's stands and applies its settings.
// Never throws: an error is logged and ends the merge where it stands. A file that does not
// load is copied beside itself with "0" before its extension and changes nothing.
void lf_readLearned(const std::filesystem::path& path);

// When the stand is named `name`: applies the learned radius, cargo flag and new options of
// the element to it and returns true.
bool applyLearnedStandAttributes(std::string_view name, pugi::xml_node parkpos, ParkingPosition& stand);

// Whether the options hold one of the same weekday, soft flag, registration, airline and type
// that shares a half hour with `option`.
bool isStandOptionKnown(const std::vector<StandOption>& options, const StandOption& option);

// What a learned file is written from: the park airport's fields and a copy of its stands.
struct LearnedFileSource {
    std::vector<ParkingPosition> stands;
    std::string icao;
    std::string name;
    std::string publisher;
    std::int32_t altitude = 0;
    bool handmade = false;
    std::filesystem::path learnedPath;
    std::int32_t learnedUpdateCount = 0;
    bool changed = false;
    bool notMerged = false; // the file on disk holds more than the stands: kept aside first
};
LearnedFileSource learnedFileSource(); // of `parkAirport`

// Writes the learned file to the source's learned path (creating its folder) and announces
// the outcome on the status line. A learned (not handmade) airport's stands are written
// without their base options. True when the file was written.
bool saveLearnedAirportFile(LearnedFileSource source);

// The same for the park airport, whose learned count and changed flag are reset either way.
bool saveLearnedAirportFile();

} // namespace rtd
