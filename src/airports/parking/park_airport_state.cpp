#include "airports/parking/park_airport_state.hpp"

namespace rtd {

ParkAirportState parkAirport;

} // namespace rtd
