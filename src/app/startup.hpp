#pragma once
// The start-up worker: runs on its own thread at every WM_APP+1 (the first start and each
// restart), checks the installation folder, prepares the environment, runs the scans the
// options ask for and hands over to the run phase. Its failures stop it on the error line.

#include "core/time.hpp"
#include "traffic/link/udp_reader.hpp" // realTrafficOnThisPc: "InsideSystems\RealTraffic.jar" in roaming app data

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace rtd {

extern std::atomic<std::int32_t> archiveWeek; // major of ARCHIVE_VERSION
extern std::atomic<DaySlot> currentDaySlot;
// The model database and the fixes were read; never reset, so a restart does not read
// them again.
extern std::atomic<bool> dbaseLoaded;

// The worker body.
void lf_startUpRMTD();

// Folders, settings, daily updates, model database, Community folder, traffic service.
void detectEnvironment();

// output, output\info, output\errors, airports, airports\learned and its stock, simaddon
// and thirdparty, each created when missing.
void ensureAirportsFolder();

// The non-empty afolder0..9 in order; UserErrorException 42 for one that points into the
// simulator's stock airports.
void checkStockAirportFolders(std::vector<std::string>& folders);

// Removes every entry directly in the folder; one that cannot be removed is logged and left.
// Other failures throw UserErrorException 5.
void removePreviousFiles(const std::filesystem::path& folder);

void scanLiveriesIfNeeded(bool doScan);
void scanAirportsIfNeeded();

// The log line for the time since the last run (32-bit arithmetic), or nothing when a
// minute is under 1 or 364 days and more have passed.
std::optional<std::string> sinceLastRunText(std::int32_t now, std::int32_t lastRun);

} // namespace rtd
