#pragma once
// The value types that carry one live aircraft from the traffic reader to the traffic thread
// and into its AI object, the per-category flight profiles, and the text and comparison
// helpers the traffic, parking and log code share.
//
// The types are plain values (copy, assignment and destruction are the defaulted ones), so
// code below the traffic subsystem (the stand options of the airport code) may read them
// from this header alone.

#include "liveries/dbase.hpp"
#include "liveries/livery_ref.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace rtd {

// The texts of an aircraft.
struct TrafficRecord {
    std::string airline;       // three-letter airline code; empty from the parser
    std::string icaoType;      // ICAO type designator
    std::string origin;        // airport codes
    std::string destination;
    std::string callsign;
    std::string firstCallsign; // empty from the parser; the callsign when the aircraft is made
    std::string spareText;     // empty from the parser and when the aircraft is made
    std::string registration;  // fewer than 13 characters, or empty
    bool spareFlag = false;    // false in every record the parser makes

    bool operator==(const TrafficRecord&) const = default;
};

// One reported position.
struct PositionUpdate {
    double lat = 0;                   // degrees
    double lon = 0;                   // degrees
    std::optional<double> bank;       // radians
    std::optional<double> trueHeading; // radians
    double altitudeFt = 0;            // exactly 0 means on the ground
    double groundSpeedKt = 0;
    double trackDeg = 0;
    double verticalSpeed = 0;         // as the traffic service sends it
    double trueAirspeedKt = 0;
    std::int64_t duePoll = 0;         // the poll at which the traffic thread plays it
    bool airborne = false;            // altitude not 0
    bool stationary = false;          // same position as the aircraft's previous update
    bool adsbHeading = false;         // the true heading came from an ADS-B source

    bool operator==(const PositionUpdate&) const = default;
};

// What the traffic reader queues for the traffic thread: a plain value, copied whole.
struct TrafficReport {
    TrafficRecord record;
    PositionUpdate update;
    double timestamp = 0; // seconds
    std::uint32_t hexid = 0;
    std::uint32_t checksum = 0;

    bool operator==(const TrafficReport&) const = default;
};

// An aircraft's record once it becomes a live or parked AI aircraft, with its flight profile.
struct FlightRecord : TrafficRecord {
    AircraftCategory category = Large;
    std::uint8_t cargo = 0;
    std::uint8_t fsltlLivery = 0;
    double halfSpan = 0;        // half the wingspan, nautical miles
    double staticCgHeight = 0;  // feet, 0 until the simulator reports it
    double staticPitch = 0;     // radians, 0 until the simulator reports it
    double rotationPitch = 0;   // radians, pitch of the take-off rotation (negative: nose up)
    double climbPitch = 0;      // radians, pitch after the rotation
    double turnStep = 0;        // radians per poll
    double currentTurnStep = 0; // radians per poll
    double verticalStepCap = 0; // largest altitude step per poll
    double pushBackSpeedKt = 0; // push-back and pull-out speed
    double curveFactor = 0;
    std::uint32_t hexid = 0;    // a live aircraft's hexid (above 10000) or a parked aircraft's id
    std::uint32_t flarePolls = 0;
    std::uint32_t onGroundPolls = 0;
    std::uint32_t rotationPolls = 0;
    std::uint32_t climbPitchPolls = 0;
    LiveryRef liveryTitle;      // empty: no livery matched
};

// ---- per-category flight profiles, indexed by AircraftCategory (Light .. Rotorcraft) ----

template <typename T>
using CategoryTable = std::array<T, aircraftCategoryCount>;

inline constexpr CategoryTable<std::uint32_t> flarePollsTable{250, 300, 400, 450, 150, 100};
inline constexpr CategoryTable<std::uint32_t> onGroundPollsTable{250, 300, 350, 450, 150, 100};
inline constexpr CategoryTable<std::uint32_t> rotationPollsTable{100, 200, 200, 250, 100, 100};
inline constexpr CategoryTable<std::uint32_t> climbPitchPollsTable{200, 250, 300, 400, 200, 100};
inline constexpr CategoryTable<double> rotationPitchDegTable{-9, -8, -6, -5, -6, -20};
inline constexpr CategoryTable<double> climbPitchDegTable{-15, -18, -16.5, -12.5, -20, -30};

inline constexpr double radiansPerDegree = 0.017453292519943295;
inline constexpr double rotationPitchJitterPercent = 2.5;
inline constexpr double climbPitchJitterPercent = 5.0;

// Fills `flight` from `record`: the texts copied, category Large, every number 0 and no
// livery; then the half wingspan and the profile of the type's size category, the two
// pitches jittered (one draw each from the thread's engine). Throws std::out_of_range for
// a category outside the tables.
void constructFlightRecord(FlightRecord& flight, const TrafficRecord& record);

// True when the callsign has at least four characters, three upper-case ASCII letters and
// then a digit; it then sets the airline to those letters. Otherwise false, airline unchanged.
bool isAirlineCallsign(TrafficRecord& record);

// Same airline and ICAO type.
bool sameAircraft(const TrafficRecord& a, const TrafficRecord& b);

// Log texts; padded fields ("{:8}", "{:4}", "{:3}") are filled with blanks and never cut.
std::string typeText(const TrafficRecord& record);   // "{:3} {:4}" of airline and type
std::string field8Text(const TrafficRecord& record); // "{:8}" of the callsign
std::string routeText(const TrafficRecord& record);  // "EHAM->LEMD"; eight blanks without both
std::string pairText(const TrafficRecord& record);   // callsign, registration, type text
// Callsign, registration ("{:8}"), route and type text, joined by blanks.
std::string aircraftLine(const TrafficRecord& record);

} // namespace rtd
