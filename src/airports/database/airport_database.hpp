#pragma once
// The airport database ("airports_msfs.xml", every airport of the simulator with its
// position) and the airport names ("airports_msfs_names.xml"), both in the input folder;
// and the airport archive and the add-on airport scan, as the start-up uses them
// (archive.hpp and airport_scan.hpp hold the rest of those two).

#include <atomic>
#include <cstdint>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace rtd {

struct AirportRecord {
    std::string code; // ICAO, as the file gives it; empty when absent
    std::string iata; // empty when absent
    double lat = 0.0; // degrees
    double lon = 0.0; // degrees
    double alt = 0.0; // read as a float, feet
};

// Every airport of the database, ascending by code (byte order); duplicates stay. Written
// once by readAirports() on the start-up worker, read-only afterwards.
extern std::vector<AirportRecord> airportRecords;

// ICAO code -> name, filled by readAirportNames() for the add-on airport scan only.
extern std::unordered_map<std::string, std::string> airportNames;

// Airports found by the add-on airport scan ("{} airport{} in TBLO folder").
extern std::atomic<std::int32_t> tbloAirportCount;

// LATERAL_RANGE as the airport-file code reads it; refreshed by the start-up.
extern std::atomic<std::int32_t> airportLateralRange;

// Reads "airports_msfs.xml" on the first call that succeeds; every call returns whether any
// airport is known. Throws UserErrorException 88 (87 for an XML query error) when the file
// is missing, malformed, has no "airports" root, or an airport's lat, lon or alt is not a
// number; the database then stays unread.
bool readAirports();
// Forgets the database so the next readAirports() reads again (tests).
void resetAirports();

// Adds the names of "airports_msfs_names.xml" to airportNames (the first name of a code
// wins) and logs their count; a missing or broken file adds none. True when the map is not
// empty.
bool readAirportNames();
void clearAirportNames();

// The first record whose code equals `code` exactly (case-sensitive).
std::optional<AirportRecord> findAirport(std::string_view code);

// "EHAM (AMS)", "EHAM", "? (XYZ)" or "?".
std::string airportDisplayName(const AirportRecord& record);

// True when airports\archive, ...\stock, ...\simaddon or ...\thirdparty is missing.
bool archiveFolderMissing();

// Installs a newer airport archive from the update server; true when it did.
bool updateArchive();

// The add-on airport scan over the folders (or found automatically); false when it found
// no add-on airport.
bool runAirportsScan(bool automatic, const std::vector<std::string>& folders);

} // namespace rtd
