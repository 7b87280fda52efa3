#pragma once
// The "don't use" titles of the registration-code files, which the livery scan skips: in
// AIG-regcodes.xml a <livery> without codes, in the .TXT files of my_regcodes a line that
// holds only a title (of 9 bytes or more). They go to dontUseTitles (scan_tables.hpp) before
// the scan walks its folders.

#include <filesystem>
#include <set>
#include <string>

namespace rtd {

// The titles of AIG-regcodes.xml; a file that cannot be loaded is logged.
void readDontUseTitlesXml();

// The titles of every .TXT file (any letter case) in my_regcodes; a file that fails is
// logged and the next one read.
void readDontUseTitlesFolder();

// One line of a .TXT file; `seen` holds the titles of the file's earlier lines.
void readDontUseTitlesTxt(const std::filesystem::path& file, std::set<std::string>& seen, const std::string& line);

} // namespace rtd
