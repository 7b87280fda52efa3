#pragma once
// Static parking at the park airport: which learned stand options become static parked
// aircraft for the current weekday and half hour. generateStaticParking builds the fit list
// from scratch when the park airport comes into sight; adjustParking renews it while the
// airport stays in sight, keeping the parked aircraft that still fit and removing the
// others; removeAllParked ends it when the airport leaves sight.
//
// The placement takes fitList's entries from its back, best fits (offset 0) first. All of
// this runs on the traffic thread; live and parked aircraft are reached through the traffic
// port.

#include "airports/parking/stands.hpp"
#include "airports/traffic_port.hpp"
#include "core/time.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace rtd {

// A static parked aircraft that adjustParking removes.
struct ParkedRemoval {
    std::string callsign;
    std::uint32_t standId = 0;
};

// A static parked aircraft that adjustParking keeps.
struct ParkedStayer {
    std::string callsign;
    DaySlot parkedSince = 0;
    std::uint32_t standId = 0;
    std::uint32_t state = 0;
};

extern std::vector<ParkedRemoval> parkedRemovals;
extern std::vector<ParkedStayer> parkedStayers;

// The number of parked aircraft wanted: parking_percentage of the stands, at least one
// where the share would round below it; shown as the window's wanted figure.
int computeMaxParked();

// Logs the current time, weekday and hour and returns the current weekday and half hour.
DaySlot logDayAndHour();

// Searches the free stands from now back, half hour by half hour up to MAX_FIT, until
// `wanted` stands are occupied. The earlier half hours' candidates end in `accumulated`, the
// last one's in `batch`. True when the wanted number was reached.
bool countFittingPositions(DaySlot now, bool soft, int wanted, std::vector<FitCandidate>& batch,
                           std::vector<FitCandidate>& accumulated);

// Appends fit entries for up to wanted - present aircraft: learned options first, soft ones
// when those were not enough and PARK_SOFT or PARK_FAKE allows them.
void fillFitList(DaySlot now, int wanted, int present);

void generateStaticParking();
void adjustParking();

// Sorts each parked aircraft in the simulator into the stayers or the removals against the
// fit list, and drops the fit entries a stayer takes the place of.
void selectFitPositions(DaySlot now, const std::vector<ParkedAircraftView>& parked);

// Takes the live callsigns collected since the calculation started into
// liveCallsignsSnapshot.
void clearParkedSets();

// Leaving the park airport: its file closed, its stands and the fit dropped.
void resetParkingState();
// The park airport left sight: every static parked aircraft and every live one at a stand
// removed, the user's MAX_LIVE restored, and the park airport left.
void removeAllParked();

} // namespace rtd
