#include "airports/park_airports.hpp"

#include "airports/park_airport_file.hpp"
#include "airports/park_airport_state.hpp"
#include "airports/traffic_port.hpp"
#include "core/display.hpp"
#include "core/parameters.hpp"

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
    ParkAirportState& airport = parkAirport;
    if (airport.active && (airport.changed || airport.learnedUpdateCount >= 1)) {
        saveLearnedAirportFile();
        airport.learnedUpdateCount = 0;
    }
    airport.handmade = false;
    airport.active = false;
    windowDisplay().enableControl(flushStaticButton.controlId(), false);
    airport.filePath.clear();
    windowDisplay().enableControl(parking_percentage.controlId(), false);
    trafficPort().setParkElevation(std::nullopt);
    trafficPort().setParkAirport({}, {});
}

} // namespace rtd
