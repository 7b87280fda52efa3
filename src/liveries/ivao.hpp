#pragma once
// The scan task of an aircraft.cfg file of the IVAO packages (paths holding "IVAO_MTL" or
// "ivao_x-csl"): one model per aircraft folder, taken from the folder's name, and titles
// that begin with the model code and the airline code. What is wrong goes to the scan
// tables (scan_tables.hpp).

#include "liveries/aircraft_cfg.hpp"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace rtd {

// The task of one file, run on a worker thread after the starter took a worker slot; gives
// the slot back however it ends. Records in file order; an exception passes on.
LiveryList scanIvaoCfgFile(std::int32_t priority, const std::filesystem::path& file);

// The state of one file's task.
struct IvaoScanState {
    bool inSection = false;
    std::int32_t priority = 0;
    std::vector<std::string> section; // header first
    LiveryList result;
    std::string model;
    std::filesystem::path file;
    std::filesystem::path folder; // liveryFolderOf(file)
};

// One line of the file: opens, fills or closes a section.
void parseIvaoSections(IvaoScanState& state, const std::string& line);

// The record of one section; the empty record when it gives none. Drops the section's
// trailing empty and "//" lines.
LiveryData parseIvaoSection(std::int32_t priority, std::vector<std::string>& section, const std::string& model,
                            const std::filesystem::path& file, const std::filesystem::path& folder);

} // namespace rtd
