#pragma once
// Traffic datagrams for the reader's tests, built field by field in the layout the traffic
// service sends (the checksum last), and the reader's surroundings they expect.

#include "core/geo.hpp"
#include "traffic/records.hpp"

#include <cstddef>
#include <initializer_list>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rtd {
void PrintTo(const TrafficReport& report, std::ostream* out);
}

namespace rtd::test {

inline constexpr LatLon userPosition{52.30, 4.76};
inline constexpr LatLon parkAirportPosition{52.3086, 4.7639};
inline constexpr double parkElevationFt = -11;
inline constexpr std::int64_t testPoll = 1000;

using FieldChanges = std::initializer_list<std::pair<std::size_t, std::string_view>>;

// The 30 fields of an airborne KLM1234 B738 PH-BXA at 52.31, 4.77, 3000 ft, 160 kt, within
// range of userPosition, with an ADS-B heading; checksum 4711.
std::vector<std::string> airborneFields();

// The fields with the changes applied, cut or padded (with empty fields) to `count`, the
// last one the checksum "4711", joined by commas.
std::string trafficDatagram(FieldChanges changes = {}, std::size_t count = 30);

// The report queued for airborneFields() at poll testPoll.
TrafficReport airborneReport();

} // namespace rtd::test
