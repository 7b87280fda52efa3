#pragma once
// Static parked aircraft at the park airport: placing the aircraft the static fit chose, and
// keeping the park airport from holding more parked aircraft than wanted. Traffic thread
// only; removals go through markAIRemoved.

#include "traffic/engine/ai_objects.hpp"

#include <cstdint>
#include <utility>
#include <vector>

namespace rtd {

// (hexid, seconds parked) of each live aircraft standing at a stand in the simulator,
// longest parked first; seconds on the traffic clock.
using LiveParked = std::pair<std::uint64_t, std::uint64_t>;
void collectParkedLive(std::vector<LiveParked>& parked);

// Removes at most one live and one static parked aircraft while the live ones at stands
// (plus `extra`) and the parked ones exceed the wanted number the window shows.
void enforceMaxParked(int extra);
// The live aircraft with the hexid, in the simulator, is removed; true when it was.
bool removeLiveMaxPark(std::uint64_t hexid, LiveAI& ai);
// Removes the `count` live aircraft that have stood at their stands longest.
void removeLiveParked(int count);

// Places the fit list's last entry as a static parked aircraft and queues its creation;
// staticFitPending tells whether an entry waits.
void placeStaticParked();
bool staticFitPending();

} // namespace rtd
