#include "airports/files/stand_option.hpp"

#include "core/log.hpp"
#include "liveries/dbase.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <cmath>
#include <exception>
#include <stdexcept>

namespace rtd {

namespace {

constexpr int maxRemainder = 46;
constexpr double slotTolerance = 0.0009719222462203025; // 1.8 m in nautical miles
constexpr double smallSizeLimit = 0.009611230689557531; // 17.8 m
constexpr double smallSizeStep = 0.00755939524838013;   // 14 m
constexpr double largeSizeStep = 0.011339092872570195;  // 21 m

void cutTrailingUnderscore(std::string& callsign)
{
    if (!callsign.empty() && callsign.back() == '_')
        callsign.pop_back();
}

} // namespace

std::uint64_t halfHourBit(int slot)
{
    if (slot < 0 || slot >= halfHoursPerDay)
        throw std::out_of_range(fmt::format("half hour {} outside 0..47", slot));
    return std::uint64_t{1} << slot;
}

bool testRange(const StandOption& option, int start, int offset, int& remainder)
{
    remainder = -1;
    try {
        const int lowest = std::max(start - offset, 0);
        int slot = start;
        do {
            if ((option.halfHours & halfHourBit(slot)) != 0)
                return true;
        } while (--slot >= lowest);
        if (start - offset < 0)
            remainder = std::min(offset - start, maxRemainder);
    } catch (const std::exception& error) {
        logLine(fmt::format("{}exception {} in testRange, start: {}, offset: {}", "===> ", error.what(), start,
                            offset));
    }
    return false;
}

bool matchesAirlineType(std::string_view text, const TrafficRecord& record, const StandOption& option)
{
    if (!isOptionUsable(option) || option.soft)
        return false;
    if (text == option.callsign || text == option.coupledCallsign)
        return true;
    return option.airline == record.airline && option.type == record.icaoType;
}

bool matchesAirlineTypeView(const std::vector<StandOption>& options, std::string_view text,
                            const TrafficRecord& record)
{
    if (text.empty())
        return false;
    return std::any_of(options.begin(), options.end(),
                       [&](const StandOption& option) { return matchesAirlineType(text, record, option); });
}

bool slotCheck(double radiusNm, double sizeNm)
{
    const double d = sizeNm - radiusNm;
    if (d > slotTolerance)
        return false;
    const double step = sizeNm <= smallSizeLimit ? smallSizeStep : largeSizeStep;
    return std::round(-d / step) == 0;
}

std::uint32_t buildStandOption(std::vector<StandOption>& options, const TrafficRecord& record, bool soft,
                               std::uint32_t day, std::string callsign, std::string registration, int halfHour)
{
    cutTrailingUnderscore(callsign);
    StandOption option;
    option.halfHours = halfHourBit(halfHour);
    while (!options.empty() && options.back().number == 0)
        options.pop_back();
    option.number = options.empty() ? 1 : options.back().number + 1;
    if (const std::optional<DbaseRecord> known = lookupRegcode(registration)) {
        option.airline = known->opr.empty() ? known->airl : known->opr;
        option.type = known->type;
    } else {
        option.airline = record.airline;
        option.type = record.icaoType;
    }
    option.registration = std::move(registration);
    option.callsign = std::move(callsign);
    option.day = day;
    option.learned = true;
    option.soft = soft;
    options.push_back(std::move(option));
    return options.back().number;
}

bool buildStandOptionWithHour(std::vector<StandOption>& options, std::uint32_t day, int halfHour,
                              std::uint32_t number, std::string callsign)
{
    try {
        cutTrailingUnderscore(callsign);
        const auto found = std::find_if(options.begin(), options.end(), [number](const StandOption& option) {
            return option.number != 0 && option.number == number;
        });
        if (found == options.end())
            return false;
        found->halfHours |= halfHourBit(halfHour);
        if (callsign.empty())
            return true;
        if (found->callsign.empty())
            found->callsign = std::move(callsign);
        else if (callsign != found->callsign && callsign != found->coupledCallsign)
            found->coupledCallsign = std::move(callsign);
        return true;
    } catch (const std::exception& error) {
        logLine(fmt::format("Update Option exception {} {}", error.what(), fmt::format("day={} hh={}", day, halfHour)));
        return false;
    }
}

} // namespace rtd
