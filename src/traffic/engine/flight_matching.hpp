#pragma once
// Livery matching of an aircraft record: the record's texts, flags and livery handed to the
// matcher of the livery subsystem and its results copied back.

#include "liveries/matching.hpp"
#include "traffic/records.hpp"

#include <string_view>

namespace rtd {

// A matching record that points at the flight's own texts; valid while `flight` lives.
MatchRecord matchRecordOf(const FlightRecord& flight);

// The live chain on the flight: its livery, cargo and FSLTL flags come back into it.
void matchLivery(FlightRecord& flight);

// The parked chain at a stand; true when a livery is set.
bool matchStaticLivery(FlightRecord& flight, std::string_view standName, bool cargoStand);

} // namespace rtd
