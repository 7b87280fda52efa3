#pragma once
// What the readers of aircraft.cfg files share: the livery record, the readers of single key
// lines, the check of the [fltsim.N] numbering and the model code of a file.
//
// A key line is "key = value" as a whole line, the key in any letter case, blanks allowed
// around the key and the '='; the value runs to the line's last non-blank character and is
// then taken out of double quotes (extractQuoted). The matchers are plain scanners, linear in
// the line, and a line longer than maxMatchedLineLength is never a key line or a numbered
// header. Everything here is safe to call from many scan tasks at once: shared data is only
// touched through the scan tables (scan_tables.hpp).

#include <cstdint>
#include <filesystem>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace rtd {

inline constexpr std::string_view defaultAirlineCode = "ZZZ";

// Longer lines are not matched as key lines or numbered headers.
inline constexpr std::size_t maxMatchedLineLength = 4096;

// One livery of an aircraft.cfg file. The record with four empty strings means no livery.
struct LiveryData {
    std::string airline; // ICAO airline code, "ZZZ" for a generic livery, "PVT" for a private one
    std::string model;   // ICAO type designator
    std::string title;   // the livery's title, as the simulator names it
    std::string regcode; // the registration painted on it, or empty
    std::int32_t priority = 0; // of the livery folder; the lower number wins
    bool cargo = false;

    bool empty() const { return airline.empty() && model.empty() && title.empty() && regcode.empty(); }
    bool operator==(const LiveryData&) const = default;
};

// The order of livery lists: airline, then model, then regcode, then title, byte by byte.
bool liveryLess(const LiveryData& a, const LiveryData& b);

// The records of one aircraft.cfg file.
using LiveryList = std::list<LiveryData>;

// Folder names of the simulator's default aircraft with their type designators.
extern const std::unordered_map<std::string, std::string> defaultAircraftTypes;

// Reads the lines of an aircraft.cfg file (readTextFileLines); a UTF-16 file that does not
// convert to its end is listed among the invalid aircraft.cfg files. False when not read.
enum FileEncoding : int; // core/files.hpp
bool readAircraftCfgLines(FileEncoding encoding, const std::filesystem::path& file, std::vector<std::string>& lines);

// ---- single lines --------------------------------------------------------------------------

// The value (before extractQuoted) of the key line `key = value`, else empty.
std::string regexValue(std::string_view line, std::string_view key);

// True for a title line; the title is set only from a non-empty value.
bool readTitle(std::string_view line, std::string& title);
// True, with the output set, when the value is non-empty.
bool readTexture(std::string_view line, std::string& texture);
bool readAtcParkingTypes(std::string_view line, std::string& types);
// True, with the regcode set, when the value has at least 5 bytes.
bool readAtcId(std::string_view line, std::string& regcode);
// True for an icao_airline line; the airline becomes "ZZZ" for an empty value or one that
// begins with "ZZZZ", else the value upper-cased.
bool readIcaoAirline(std::string_view line, std::string& airline);
// The first four characters of the value, upper-cased; empty for other lines.
std::string readIcaoTypeDesignator(std::string_view line);
// The type of the default aircraft named by a base_container reference such as
// ..\Asobo_A320_NEO, upper-cased; empty for other lines and unknown folders.
std::string readBaseContainer(std::string_view line);

// What a line is as a section header.
struct FltsimHeader {
    enum Kind { none, numbered, unnumbered } kind = none;
    std::string digits; // of a numbered header
};
FltsimHeader classifyFltsimHeader(std::string_view line);
// The digits of a header line, "10000" for a header without a number, else empty.
std::string readFltsimHeader(std::string_view line);

bool isAtcIdLine(std::string_view line);           // contains "atc_id="
bool isAtcParkingTypesLine(std::string_view line); // contains "atc_parking_types"

// The three word characters (letters, digits, '_') that follow `prefix` (any letter case) and
// any blanks at the start of the title, in the title's letter case; none when the title
// does not begin so.
std::optional<std::string> airlineAfterPrefix(std::string_view title, std::string_view prefix);

// ---- whole files ---------------------------------------------------------------------------

// Checks that the [fltsim.N] numbers are exactly 0..n-1; false (with a log or an invalid-file
// line) when the file must be skipped. A file without headers is listed as empty and usable.
bool splitFltsimSections(const std::vector<std::string>& lines, const std::filesystem::path& file);

// The model code of an ordinary file from its icao_type_designator, else through
// fixPackageSection from its base_container; empty (reported) when there is none.
std::string fixGeneralSection(const std::filesystem::path& file, const std::vector<std::string>& lines);
std::string fixPackageSection(const std::filesystem::path& file, const std::vector<std::string>& lines);

// The model code of an IVAO file from the folder name in a path ending in
// IVAO_MTL/SimObjects/Airplanes/IVAO_<model>/aircraft.cfg, or the same in ivao_x-csl (any
// letter case; '\' or '/' as separators); empty (reported) when there is none.
std::string fixIvaoModel(const std::filesystem::path& file);

// Drops the section's trailing lines while the last one is empty or begins with "//".
void dropTrailingCommentLines(std::vector<std::string>& section);

// The text up to the last '\' or '/' of the file's path, as a path; empty without one.
std::filesystem::path liveryFolderOf(const std::filesystem::path& file);

// Gives back the worker slot its scan task was started with when the task ends, however
// it ends.
struct WorkerSlotReturn {
    WorkerSlotReturn() = default;
    WorkerSlotReturn(const WorkerSlotReturn&) = delete;
    WorkerSlotReturn& operator=(const WorkerSlotReturn&) = delete;
    ~WorkerSlotReturn();
};

// ---- records -------------------------------------------------------------------------------

// The text with a..z raised to A..Z.
std::string upperAscii(std::string text);

// BOE, AIB, EMB, BBA, AED: a maker's own livery.
bool isHouseAirlineCode(std::string_view code);

// The record; with dedupe on, the empty record when the title was already turned into one
// in this scan (the title is remembered either way).
LiveryData makeLiveryData(std::int32_t priority, std::string airline, std::string model, bool cargo,
                          std::string title, std::string regcode, bool dedupe);

// The text split at ',' with each item trimmed; inner empty items kept, no trailing one.
std::vector<std::string> splitCommaList(const std::string& text);

} // namespace rtd
