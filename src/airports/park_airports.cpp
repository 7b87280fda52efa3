#include "airports/park_airports.hpp"

namespace rtd {

std::atomic<bool> parkAirportActive{false};

void readParkAirports(int) {}

void onUserPositionChange(int) {}

bool checkReservedStand(int, std::string& text)
{
    text = "park airports and stands are okay";
    return true;
}

void closeParkAirport()
{
    parkAirportActive = false;
}

} // namespace rtd
