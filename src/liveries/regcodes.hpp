#pragma once
// Registration codes: which installed livery carries a registration. Three sources fill
// regcodeMap after every build of the livery tables, each later one taking precedence: the
// atc_id of the scanned liveries, "AIG-regcodes.xml", and the user's ".TXT" files in
// "my_regcodes". The two files also mark liveries as special (matched only through their
// own registrations).
//
// Everything here runs on the start-up worker; the matcher reads regcodeMap and
// specialTitles afterwards without locks. Neither is emptied while the process runs: a
// restart enters the codes again on top.

#include "liveries/aircraft_cfg.hpp"
#include "liveries/livery_ref.hpp"
#include "liveries/lookup_tables.hpp"

#include <cstddef>
#include <deque>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace rtd {

// Registration code (1 to 12 bytes, exact) -> livery.
extern TextMap<LiveryRef> regcodeMap;
// One entry per code defined as special.
extern std::vector<LiveryRef> specialTitles;

inline constexpr std::size_t maxRegcodeLength = 12;

// The codes of one offline file: added, replaced, defined as special.
struct RegcodeCounts {
    std::size_t added = 0;
    std::size_t replaced = 0;
    std::size_t special = 0;
};

// ---- in-line codes ---------------------------------------------------------------------

// Enters the atc_id codes of the scan list; a code already taken by another title is taken
// from the later record and listed in "InlineRegcodes.txt" in the errors folder, the
// newest clash first. Throws std::filesystem::filesystem_error when that folder cannot be
// made.
void checkInlineRegcodes(LiveryList& scanList);
void addInlineRegcode(std::deque<std::string>& clashes, LiveryData& record);

// ---- offline files ---------------------------------------------------------------------

// Reads "AIG-regcodes.xml" and the ".TXT" files when present and writes what they did to
// "OfflineRegcodes.txt" in the info folder (an old one is removed first). File-system
// failures of the status queries, the folder walk and the removal throw
// std::filesystem::filesystem_error.
void processOfflineRegcodes();

// The lines of "OfflineRegcodes.txt" of the last processOfflineRegcodes.
const std::vector<std::string>& offlineRegcodeReport();

void readAigRegcodesFile();
void readRegcodeFolder();

// One code of "AIG-regcodes.xml" for a scanned title.
void applyAigRegcode(std::string_view code, LiveryRef title, bool special, RegcodeCounts& counts);
// One code of a ".TXT" file; the title is special when the line says so or has one code.
void applyTxtRegcode(std::string_view code, LiveryRef title, bool special, bool single, const std::string& pathText,
                     RegcodeCounts& counts);

// One line of a ".TXT" file: "title;codes" or "title;codes;#".
void readRegcodeTxtFile(const std::string& pathText, const std::string& line, RegcodeCounts& counts);

// Empties regcodeMap and specialTitles (tests).
void clearRegcodes();

} // namespace rtd
