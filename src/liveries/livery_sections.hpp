#pragma once
// The scan task of one ordinary aircraft.cfg file (any file outside the IVAO packages): the
// file's model code, then one record per airline code of each complete [fltsim.N] section.
// What is wrong goes to the scan tables (scan_tables.hpp).

#include "liveries/aircraft_cfg.hpp"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace rtd {

// The task of one file, run on a worker thread after the starter took a worker slot; gives
// the slot back however it ends. Its records are ordered by liveryLess. An exception is
// logged and passes on to the caller.
LiveryList lf_searchLiveriesinFile(std::int32_t priority, const std::filesystem::path& file);

// The state of one file's task.
struct CfgScanState {
    bool pending = false;              // a [fltsim.N] section is open
    std::int32_t priority = 0;
    std::vector<std::string> section;  // the open section's lines, header first
    LiveryList result;                 // ordered by liveryLess
    std::string model;
    std::filesystem::path file;
    std::filesystem::path folder;      // liveryFolderOf(file)
};

// One line of the file: opens, fills or closes a section.
void parseCfgSections(CfgScanState& state, const std::string& line);

// The records of one section; drops the section's trailing empty and "//" lines.
LiveryList lf_procesFltSimSection(std::int32_t priority, std::vector<std::string>& section, const std::string& model,
                                  const std::filesystem::path& file, const std::filesystem::path& folder);

// What one section gives its airline codes.
struct SectionState {
    std::int32_t priority = 0;
    std::filesystem::path file;
    std::string regcode;
    std::string model;
    std::string parkingTypes;
    std::string title;
    std::filesystem::path folder;
    LiveryList result;
    bool dedupe = true; // until the section gave its first record
    std::string header; // the section's header line
};

// One airline code of a section: at most one record appended to state.result.
void applySectionFixes(SectionState& state, std::string code);

} // namespace rtd
