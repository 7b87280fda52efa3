#pragma once
// The park airports: the airports of "my_park_airports.txt" (in the airports folder) and of
// the my_thirdparty folder, at which static parking may take place, each with an optional
// stand reserved for the user; and the sight of them from the user aircraft, which starts
// and ends a park airport.
//
// The traffic thread owns all of it (the start-up reads the list and makes the first
// position call before the traffic thread starts). The simulator link also writes the
// user's stand into the list: the list and its file are guarded by one mutex.

#include "core/geo.hpp"

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rtd {

struct ParkAirportEntry {
    std::string code;
    std::string stand; // empty: none reserved
    LatLon position;   // from the airport database
    double distanceNm = 0.0; // to the user aircraft
};

extern std::atomic<bool> parkAirportActive;
// Soft learning is worth its cost at the park airport (few stands or a low quality factor).
extern std::atomic<bool> learnSoftAllowed;
// The stand kept free for the user at the park airport; traffic thread only.
extern std::string reservedStandName;

inline constexpr std::string_view parkAirportsFileName = "my_park_airports.txt";
inline constexpr std::size_t manyParkAirports = 3000;

// airports/my_park_airports.txt.
std::filesystem::path parkAirportsPath();

// A copy of the list, nearest first.
std::vector<ParkAirportEntry> parkAirportList();

// Rebuilds the list from the file and the my_thirdparty folder and sorts it by distance
// (`force`: even when the user has not moved). False when a line named an unknown airport or
// a stand its airport file does not have.
bool readParkAirports(bool force);
bool isParkAirportListed(std::string_view code);

// Stores the park airport's entry in the file: its line replaced, or appended; the file is
// written whole, sorted and without duplicate lines.
void writeParkAirport();

// The simulator link's stand of the user: when the list's nearest entry is the park airport,
// it takes the stand and is written. False when nothing changed.
bool rememberParkAirportStand(std::string_view standName);

// Loads the park airport's stands and sets what depends on them; the empty text on success,
// else what went wrong (the caller shows it and resets the park airport).
std::string refreshParkAirportControls();

// One user position against the park airports (every 16 simulator seconds, and once at the
// start of a run).
void onUserPositionChange(bool showStatus);
bool logParkAirport(std::string_view icao);
void startStaticParkingCalculation(bool showStatus);

// Re-reads the list (`apply`: and takes a changed reserved stand). Fills `text` and returns
// true unless the list named an unknown airport or stand.
bool checkReservedStand(bool apply, std::string& text);

// What the window shows of the park airport (any thread): as the traffic thread published
// it last.
struct ParkAirportFigures {
    std::string code; // empty: no park airport
    std::string displayName;
    std::string reservedStandName;
};
ParkAirportFigures parkAirportFigures();

// The position of the list's nearest park airport (any thread); none while the list is empty.
std::optional<LatLon> nearestParkAirportPosition();

// Traffic thread, every second and after a reset: publishes the window's figures (repainting
// them when they changed) and, while the park airport has something to save, a copy of what
// closeParkAirport would save, for an exit whose wait for the traffic thread ran out.
void publishParkAirportState();

// The exit, when the traffic thread has not ended: saves the learned file from the last copy
// the traffic thread handed over. Says what was saved, or not.
std::string saveHandedOverLearnedFile();

// Leaves the park airport, saving its learned airport file when anything changed.
void closeParkAirport();

// The list no longer knows a park airport (its stand is not written back any more).
void forgetParkAirportCode();

// Forgets the last user position and a pending recalculation (tests and a new run).
void resetParkAirportSight();

} // namespace rtd
