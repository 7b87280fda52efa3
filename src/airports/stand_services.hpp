#pragma once
// What the simulator link asks of the stands: the stand nearest to the user aircraft, and the
// park-airport list's remembered stand.
//
// Until the stand services are built here, no stand is known: the nearest stand is a name
// that tests set (empty by default), and the park-airport list has no entry to update.

#include "core/geo.hpp"

#include <string>
#include <string_view>

namespace rtd {

// The name of the stand at the position; empty when none. Safe on any thread.
std::string nearestStandName(LatLon position);
void setNearestStandNameForTests(std::string name);

// When the park-airport list's first entry is the current park airport, it takes the stand
// and the list is written back. False when nothing changed.
bool rememberParkAirportStand(std::string_view standName);

} // namespace rtd
