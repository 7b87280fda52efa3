#pragma once
// The add-on airport scan: its in-memory scan log, the cheap test that picks the scenery
// files worth reading, and the two calls each airport found in them is handed to.

#include "airports/airport_file.hpp"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace rtd {

// The scan log: lines under their own mutex, written to "AirportsScanLog.txt" at the end of
// a scan. pushScanLogLine is its only writer and may be called from any scan task.
void pushScanLogLine(std::string text);
// Empties the log and reserves room for the lines of a new scan.
void startScanLog();
// The lines so far, leaving the log empty.
std::vector<std::string> takeScanLog();

// True when the file's section table holds an airport section (type 3). False when the file
// cannot be opened, is shorter than its 56-byte header, or its section table does not fit.
bool hasAirportSection(const std::filesystem::path& path);

// Where the scenery reader hands each airport it has read: the scan's own calls below, or
// whatever a test records.
class AirportSink {
public:
    virtual ~AirportSink() = default;
    // Fills the airport's BGLpath and publisher fields; true when an archived airport file
    // was found and linked, with its stand count in archivedCount (0 otherwise).
    virtual bool linkAirport(AirportFileData& airport, std::int32_t& archivedCount, const std::string& bglPath) = 0;
    // Writes the generated airport file; nothing for an airport without stands. The number
    // of helipads kept is the number of stands marked heli.
    virtual void generateAirportFile(AirportFileData& airport) = 0;
};

// The scan's own linking and generating of airport files.
bool linkAirport(AirportFileData& airport, std::int32_t& archivedCount, const std::string& bglPath);
void generateAirportFile(AirportFileData& airport);

} // namespace rtd
