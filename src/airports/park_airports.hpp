#pragma once
// The park airports of "my_park_airports.txt": the one in sight of the user aircraft, its
// reserved stand, and its learned airport file.
//
// Until the park-airport code is built here, the list stays empty and no park airport ever
// becomes active.

#include <atomic>
#include <string>

namespace rtd {

extern std::atomic<bool> parkAirportActive;

// Reads "my_park_airports.txt" into the park-airport list.
void readParkAirports(int flag);

// A new user position against the park airports.
void onUserPositionChange(int flag);

// Re-reads the list and takes a changed reserved stand; fills `text` and returns true when
// a text is to be shown.
bool checkReservedStand(int flag, std::string& text);

// Leaves the park airport, saving its learned airport file when anything changed.
void closeParkAirport();

} // namespace rtd
