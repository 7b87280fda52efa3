#pragma once
// The traffic reader: one live aircraft record per UDP datagram, comma-separated fields, no
// quoting. Each datagram is split into views of its receive buffer, checked field by field
// and, when it passes every check while a flight runs, copied onto trafficReportQueue with
// the poll at which the traffic thread replays it (the poll counter + 3000, 30 s later).
//
// A record that fails a check is dropped without a message; the check is kept as lastDrop()
// so tests and diagnostics can tell which one. Checking allocates nothing: numbers are read
// straight from the buffer and the texts are copied into the reused parse record only once
// the record is accepted.
//
// The datagram, the field views and the parse record belong to the reader's thread. The
// inputs other threads write (user position, park airport) are read as one snapshot per
// datagram under their own mutex; the callsign set has a mutex of its own.

#include "core/geo.hpp"
#include "traffic/link/udp_reader.hpp"
#include "traffic/records.hpp"

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace rtd {

// The fields of a traffic datagram that the reader reads, by number (from 0). The checksum
// is the last field, whatever its number.
enum TrafficField : std::size_t {
    hexidField = 1,
    latitudeField = 2,
    longitudeField = 3,
    altitudeField = 4,
    verticalSpeedField = 5,
    trackField = 7,
    groundSpeedField = 8,
    callsignField = 9,
    typeField = 10,
    registrationField = 11,
    originField = 12,
    destinationField = 13,
    timestampField = 14,
    registrationMarkerField = 15,
    headingSourceField = 17,
    trueAirspeedField = 20,
    rollField = 23,
    trueHeadingField = 25,
    aircraftClassField = 28,
};
inline constexpr std::size_t minTrafficFields = 29;

// Why a datagram was not queued. The checks of a malformed field carry the number of their
// error (640 hexid, 741 timestamp, ...); the rules that drop a well-formed record are small.
enum class TrafficDrop : int {
    none = 0,              // queued
    vehicle = 1,           // " VEH" in the datagram
    tooFewFields = 2,      // fewer than 29 fields
    registrationMarker = 3, // no registration and field 15 "F"
    outOfRange = 4,        // beyond LATERAL_RANGE of the user aircraft
    badText = 5,           // fields 9 to 13: not UTF-8, or control characters
    aircraftClass = 6,     // class B1, B2, B4, C1 or C2
    typeTooLong = 7,
    excludedType = 8,      // GRND, GLID, SERV, BALL, PARA, SHIP
    lowHexid = 9,          // ids up to 10000 are static parked aircraft
    towCallsign = 10,
    excludedCallsign = 11, // "ERARMTR0"
    noIdentity = 12,       // neither registration nor callsign
    groundAway = 13,       // on the ground and not within 5 nm of the park airport
    notRunning = 14,       // accepted while no flight runs
    failed = 15,           // an unexpected error, logged
    hexid = 640,
    altitude = 641,
    track = 648,
    trueAirspeed = 691,
    timestamp = 741,
    latitude = 742,
    longitude = 743,
    position = 744,
    trueHeading = 745,
    trueHeadingRange = 746,
    groundSpeed = 747,
    verticalSpeed = 748,
    checksum = 749,
    roll = 750,
};

inline constexpr std::int64_t replayDelayPolls = 3000;
// The report queue holds at most this many reports, 10 s of datagrams at 1,000 a second (five
// times what the traffic cycle merges): a flood of datagrams cannot grow it without end. When
// it is full the oldest report, the next to go stale, makes room; the log says so at once and
// then at most once a minute, with the count.
inline constexpr std::size_t maxQueuedReports = 10000;
inline constexpr double groundRangeNm = 5.0;
inline constexpr std::string_view towPrefix = "TOW ";

class TrafficReader : public UdpReader {
public:
    static constexpr std::size_t fieldCapacity = 64;

    TrafficReader();

    // One datagram: ignored when it contains " VEH", else split and processed.
    void onData() override;
    // The traffic light shows "stopped"; logged.
    void onStopped() override;
    // The views of the current datagram's fields: two adjacent commas give an empty field,
    // a trailing comma none. A datagram of more than 64 fields keeps its first 63 and its
    // last, so the vector never grows past its reserved capacity.
    void splitFields();
    std::string_view fieldAt(std::size_t index) const { return fields_[index]; }
    std::size_t fieldCount() const { return fields_.size(); }
    // Checks the fields and queues the record; never throws.
    TrafficDrop processLine();
    // The outcome of the last datagram handed to onData.
    TrafficDrop lastDrop() const { return lastDrop_; }
    const TrafficReport& parseRecord() const { return record_; }

    // Inputs written by other threads.
    void setUserPosition(LatLon position);
    void setParkElevation(std::optional<double> elevationFt);
    // An empty code: no park airport.
    void setParkAirport(std::string_view icao, LatLon position);
    std::atomic<bool> staticCalculation{false}; // set while static parking recalculates
    std::atomic<std::int32_t> currentQnh{1013};  // hPa, from the weather reader

    // The callsigns seen in range while staticCalculation was set.
    std::set<std::string, std::less<>> liveCallsignsSeen() const;
    void clearLiveCallsignsSeen();

private:
    struct Inputs {
        LatLon user;
        std::optional<double> parkElevationFt;
        bool parkAirportKnown = false;
        LatLon parkAirport;
    };
    // Field texts kept as views until the record is accepted.
    struct TextViews {
        std::string_view callsign, type, registration, origin, destination;
    };

    Inputs inputs() const;
    TrafficDrop checkRecord(TextViews& texts);
    TrafficDrop parseRegistration(TextViews& texts);
    TrafficDrop acceptCategoryAndType(const TextViews& texts) const;
    TrafficDrop parseHeading();
    void snapAltitude(const Inputs& inputs);
    TrafficDrop acceptCallsign(TextViews& texts) const;
    void noteLiveCallsign(std::string_view field);
    void fillTexts(const TextViews& texts);
    TrafficDrop handOver();
    void logFullQueue();

    TrafficReport record_;
    std::vector<std::string_view> fields_;
    TrafficDrop lastDrop_ = TrafficDrop::none;
    std::int64_t droppedForFullQueue_ = 0; // since the last log line about them
    std::optional<std::chrono::steady_clock::time_point> lastFullQueueLog_;

    mutable std::mutex inputsMutex_;
    Inputs inputs_;

    mutable std::mutex callsignsMutex_;
    std::set<std::string, std::less<>> liveCallsignsSeen_;
};

} // namespace rtd
