#pragma once
// The airport database, the airport archive and the add-on airport scan, as the start-up
// uses them.
//
// Until the airport code is built here, the database and the names are not read, the
// archive is never updated and the scan finds no airport.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace rtd {

// Airports found by the add-on airport scan ("{} airport{} in TBLO folder").
extern std::atomic<std::int32_t> tbloAirportCount;

// LATERAL_RANGE as the airport-file code reads it; refreshed by the start-up.
extern std::atomic<std::int32_t> airportLateralRange;

// "airports_msfs.xml", once per process.
void readAirports();

// "airports_msfs_names.xml" into the airport-names map, and the map emptied again.
void readAirportNames();
void clearAirportNames();

// True when airports\archive\stock, ...\simaddon or ...\thirdparty is missing.
bool archiveFolderMissing();

// Installs a newer airport archive from the update server; true when it did.
bool updateArchive();

// The add-on airport scan over the folders (or found automatically); false when it found
// no add-on airport.
bool runAirportsScan(bool automatic, const std::vector<std::string>& folders);

} // namespace rtd
