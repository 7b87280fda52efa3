#pragma once
// Airport files: one XML file per airport (named by its ICAO code) with the airport's
// parameters and its stands, each stand with the options learned for it. The document has
// three top-level elements and no single root: "meta", "parameters", "parkpositions".
//
// Four kinds share the format: archived files (read only), generated files of the add-on
// scan (full stands, no options), learned files (only what was learned on top of the base
// file, plus the airport's own settings) and handmade files (learned files marked
// "handmade", whose stands replace the base file's completely).
//
// Units in memory: degrees, headings in radians, radii in nautical miles, altitude in feet.
// In the file headings are degrees and radii metres.

#include "airports/files/stand_option.hpp"
#include "core/time.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <pugixml.hpp>
#include <string>
#include <unordered_map>
#include <vector>

namespace rtd {

inline constexpr double metresToNm = 0.0005399568034557236; // 1 / 1852
inline constexpr double nmToMetres = 1852.0;
inline constexpr double radiansToDegrees = 57.29577951308232;

// An aircraft's last sighting at a stand: when, and the option that recorded it.
struct StandSighting {
    DaySlot daySlot = 0;
    std::uint32_t optionNumber = 0;
};

struct ParkingPosition {
    ParkingPosition(std::string name, std::vector<StandOption> options, double latitude, double longitude,
                    double heading, double radiusMetres, bool cargo, bool ramp, bool heli);

    std::vector<StandOption> options;
    // By the aircraft's hexid; owned by the stand services, empty after reading.
    std::unordered_map<std::uint32_t, StandSighting> realSightings;
    std::unordered_map<std::uint32_t, StandSighting> softSightings;
    std::string name;                      // the "id" attribute, such as "A12"
    std::vector<std::uint32_t> neighbours; // stand ids of overlapping stands
    double latitude = 0.0;                 // degrees
    double longitude = 0.0;                // degrees
    double heading = 0.0;                  // radians
    double radius = 0.0;                   // nautical miles
    std::uint32_t standId = 0;             // 1-based place after reading, 0 until then
    // Persistent marks.
    bool manual = false;       // created by hand
    bool radiusChange = false; // radius learned
    bool cargoChange = false;  // cargo flag learned
    bool duplicate = false;    // the add-on scan found the name twice
    // Run-time marks of the stand services and static parking, never written.
    bool occupied = false;
    bool keptFree = false;
    bool neighbourOccupied = false;
    // The stand's kind.
    bool cargo = false;
    bool ramp = false;
    bool heli = false;
};

struct AirportFileData {
    std::string icao;
    std::string airportName;
    std::string bglPath;
    std::string publisher; // "stock", "simaddon", a publisher's name or "unknown"
    std::string manufacturer;
    std::string creator;
    std::int32_t rtTrafficWeek = 0;
    std::int32_t qfReal = -1; // -1: no value
    std::int32_t qfSoft = -1;
    std::int32_t altitude = 0; // feet
    std::vector<ParkingPosition> stands;
};

// Writes the file whole or not at all: false, with any previous file at `path` unchanged,
// when the document could not be built or saved. `learned` selects the learned-file rules;
// `handmade` marks a handmade learned file (the park airport's, read by the caller). `stop`,
// when given, is asked after every 4096 stands built and before each mebibyte written; true
// gives up the same way, leaving no temporary file.
bool saveAirportFile(const AirportFileData& data, const std::filesystem::path& path, bool learned, bool handmade,
                     const std::function<bool()>& stop = {});

// Appends "parameters" with the parameters the file kind calls for; false when an element
// could not be appended.
bool writeAirportParameters(pugi::xml_document& document, const AirportFileData& data, bool learned, bool handmade);

struct ParkPositionContext {
    pugi::xml_node parkpositions;
    bool learned = false;
    bool handmade = false;
};

// Appends one "parkpos" in the form its file kind and marks call for, with its options in
// learned files. False when an element or attribute could not be appended.
bool writeParkPosition(const ParkPositionContext& context, const ParkingPosition& stand);

// Appends one "opt" for an option with a non-zero number; does nothing for a void one.
bool writeStandOption(pugi::xml_node parkpos, const StandOption& option);

} // namespace rtd
