#pragma once
// Invented parked aircraft: with PARK_FAKE on, every stand of the park airport gets one
// invented option for the current half hour, an airline and type typical of the airport's
// region that fits the stand. The options are learned ones to the fit and carry the fake
// mark, so the learned file and the quality factors leave them out.

#include "airports/files/airport_file.hpp"
#include "core/time.hpp"

#include <cstdint>
#include <string_view>
#include <vector>

namespace rtd {

struct FakePair {
    std::string_view airline;
    std::string_view type;
};

// What the invented options of one airport share.
struct FakeContext {
    std::string_view icao;
    unsigned day = 0;            // weekday 1..7
    std::uint64_t halfHours = 0; // the current half hour's bit
    std::uint32_t next = 1;      // the running number of "FAKE{}" and "REGFAKE{}"
};

// The pairs of an airport whose code begins with `letter` ('K', 'C', 'E', 'Z' or 'R'); empty
// for any other letter.
const std::vector<FakePair>& regionalFakePairs(char letter);

// One invented option for every stand of the airport `icao` at the current weekday and half
// hour. std::out_of_range for a half hour outside 0..47.
void buildFakeAircraftTables(std::string_view icao, std::vector<ParkingPosition>& stands);

// Adds at most one invented option to the stand.
void assignFakeParkedAircraft(FakeContext& context, ParkingPosition& stand);

} // namespace rtd
