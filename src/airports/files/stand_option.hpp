#pragma once
// One learned use of a stand and the helpers that read and write the uses of a stand.
//
// A stand's options are numbered from 1 in the order they were made; number 0 marks a void
// option, which is neither used nor saved. The helpers read an aircraft's airline and type
// from its record (traffic/records.hpp holds the plain record types only).

#include "traffic/records.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rtd {

inline constexpr int halfHoursPerDay = 48;

struct StandOption {
    std::string airline;
    std::string type;
    std::string registration;
    std::string callsign;
    std::string coupledCallsign; // a second callsign of the same use of the stand
    std::uint64_t halfHours = 0; // bit i: half hour i of the day, i = 0..47
    std::uint32_t number = 0;    // 1, 2, ... within the stand; 0: void
    std::uint32_t day = 0;       // weekday 1..7, Monday is 1
    bool learned = false;        // from a learned file or learned during the run
    bool soft = false;           // learned for an aircraft not seen at the stand itself
    // Run-time marks, never written to a file.
    bool suppressed = false; // kept out of use for this run
    bool fake = false;       // invented for a fake parked aircraft; no learned use

    bool operator==(const StandOption&) const = default;
};

// Whether the option takes part in fits and matches: valid and not suppressed for this run.
inline bool isOptionUsable(const StandOption& option)
{
    return option.number != 0 && !option.suppressed;
}

// The bit of a half-hour slot; std::out_of_range outside 0..47.
std::uint64_t halfHourBit(int slot);

// Whether a slot from `start` down to `start - offset` (not below 0) is set. `remainder` is
// -1, or, when none is set and the range reaches below 0, the slots left below 0 (at most
// 46) for the caller to test in the previous weekday. A slot outside 0..47 is logged and
// gives false.
bool testRange(const StandOption& option, int start, int offset, int& remainder);

// A usable real option that names `text` as one of its callsigns, or has the record's
// airline and type.
bool matchesAirlineType(std::string_view text, const TrafficRecord& record, const StandOption& option);
// matchesAirlineType on any option of the list; false for an empty text.
bool matchesAirlineTypeView(const std::vector<StandOption>& options, std::string_view text,
                            const TrafficRecord& record);

// Whether an aircraft of half size `sizeNm` fits a stand of radius `radiusNm` (both nautical
// miles): at most 1.8 m larger, and less than half a size step (14 m, or 21 m for sizes
// above 17.8 m) smaller.
bool slotCheck(double radiusNm, double sizeNm);

// Appends a learned option for the record at the weekday and half hour and returns its
// number. Void options at the end of the list are removed first; the new number is one above
// the last one left. Airline and type come from the model database's record of the
// registration (its operator before its airline) when it has one, else from the record.
// A trailing "_" of the callsign is cut. Throws std::out_of_range for a slot outside 0..47.
std::uint32_t buildStandOption(std::vector<StandOption>& options, const TrafficRecord& record, bool soft,
                               std::uint32_t day, std::string callsign, std::string registration, int halfHour);

// Sets the half hour in the valid option `number` and records the callsign (trailing "_"
// cut): as its callsign when that is empty, else as its coupled callsign unless it is one of
// the two already. True when the option was found; an error is logged and gives false.
bool buildStandOptionWithHour(std::vector<StandOption>& options, std::uint32_t day, int halfHour,
                              std::uint32_t number, std::string callsign);

} // namespace rtd
