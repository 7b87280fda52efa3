#pragma once
// What the simulator link asks of the stands: the stand nearest to the user aircraft, and the
// park-airport list's remembered stand.

#include "airports/parking/park_airports.hpp"
#include "airports/parking/stands.hpp"
