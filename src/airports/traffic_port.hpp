#pragma once
// What the airport code asks of live traffic. The traffic code installs its implementation
// at the start of a run; until then, and after uninstalling, calls reach one that does
// nothing. Tests install a recording fake.

#include "core/geo.hpp"

#include <optional>
#include <string_view>

namespace rtd {

class TrafficPort {
public:
    virtual ~TrafficPort() = default;
    // The traffic reader's park airport (an empty code: none) and its elevation in feet
    // (none: no park airport).
    virtual void setParkAirport(std::string_view, LatLon) {}
    virtual void setParkElevation(std::optional<double>) {}
};

// The port must outlive every later call; null restores the one that does nothing.
void installTrafficPort(TrafficPort* port);
TrafficPort& trafficPort();

} // namespace rtd
