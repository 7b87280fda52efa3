#pragma once
// The short text of a livery record's airline and model.

#include "liveries/aircraft_cfg.hpp"

#include <fmt/format.h>
#include <string>
#include <string_view>

namespace rtd {

// "{:3} {:4}" of the airline and the model; longer codes are not cut. The one layout of
// every record's type text (livery records here, aircraft records in the traffic code).
inline std::string typeText(std::string_view airline, std::string_view model)
{
    return fmt::format("{:3} {:4}", airline, model);
}

inline std::string typeText(const LiveryData& record)
{
    return typeText(record.airline, record.model);
}

} // namespace rtd
