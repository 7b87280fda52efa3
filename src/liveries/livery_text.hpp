#pragma once
// The short text of a livery record's airline and model.

#include "liveries/aircraft_cfg.hpp"

#include <fmt/format.h>
#include <string>

namespace rtd {

// "{:3} {:4}" of the airline and the model; longer codes are not cut.
inline std::string typeText(const LiveryData& record)
{
    return fmt::format("{:3} {:4}", record.airline, record.model);
}

} // namespace rtd
