#pragma once
// The park airport as the traffic thread holds it: its stands and what its airport file and
// learned file said. Written by the park-airport file reader and the park-airport list,
// read by live traffic and static parking. Only the traffic thread touches it, except
// closeParkAirport at exit, which runs after the traffic thread has stopped; the two flags
// are atomics because the window's thread reads and sets them.

#include "airports/files/airport_file.hpp"
#include "airports/parking/park_airports.hpp"
#include "core/geo.hpp"
#include "core/requests.hpp"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace rtd {

struct ParkAirportState {
    std::vector<ParkingPosition> stands;
    std::string icao; // empty: no park airport chosen
    std::string iata;
    LatLon position;           // degrees
    double elevationFt = 0.0;  // the altitude as live traffic reads it
    std::string name;          // "airport_name"
    std::string publisher;     // "publisher"
    std::int32_t altitude = 0; // "altitude", feet
    bool handmade = false;     // the learned file is handmade and replaced the stands
    std::filesystem::path filePath;    // the airport file read; empty when none is loaded
    std::filesystem::path learnedPath; // where its learned file is read and written
    bool learnedNotMerged = false;     // the learned file loaded but was not merged whole: kept aside before a save
    std::int32_t learnedUpdateCount = 0; // changes learned since the file was read

    std::atomic<bool>& active = parkAirportActive; // a park airport's file is loaded (parkAirportActive)
    std::atomic<bool>& changed = parkParamsChanged; // a per-airport setting changed since (parkParamsChanged)
};

extern ParkAirportState parkAirport;

} // namespace rtd
