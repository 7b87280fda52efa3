#pragma once
// The merge of the traffic service's reports into the live aircraft: a report either extends
// the queued updates of the aircraft with its hexid (after the filters against feed noise:
// repeats, speed spikes, updates too close together, ghosts and route changes) or makes a
// new live aircraft waiting for its creation.
//
// All on the traffic thread; mergeTrafficRecord runs with trafficMutex held.

#include "traffic/engine/ai_objects.hpp"
#include "traffic/records.hpp"

namespace rtd {

// Per-category values of a new live aircraft, indexed by AircraftCategory.
inline constexpr CategoryTable<double> turnStepDegTable{0.15, 0.10, 0.07, 0.05, 0.10, 0.20};
inline constexpr CategoryTable<double> verticalStepCapFtTable{0.5, 0.75, 0.6, 0.5, 1.0, 0.75};
inline constexpr CategoryTable<double> pushBackSpeedKtTable{5.0, 4.5, 4.0, 3.0, 4.5, 5.0};

void mergeTrafficRecord(const TrafficReport& report);
// True when the report was for this aircraft (used or ignored); false for another hexid.
bool acceptTrafficUpdate(const TrafficReport& report, LiveAI& ai);
// False when a new aircraft must not be made from the report (in the air just above the
// park airport).
bool inAltitudeWindow(const TrafficReport& report);
void createLiveAIFromRecord(const TrafficReport& report);
void createLiveAI(TrafficReport report);
// False when the update must not be appended.
bool checkLiveAIGhosts(LiveAI& ai, const TrafficReport& report);
void updateRoute(LiveAI& ai, const TrafficReport& report);
// True when neither origin nor destination changed.
bool checkRouteChange(LiveAI& ai, const TrafficReport& report);
void appendPositionUpdate(LiveAI& ai, PositionUpdate update);
// Whether the update may be appended; a tiny move becomes a stationary copy of the last one.
bool checkStationaryUpdate(LiveAI& ai, PositionUpdate& update);
void startLeavingStand(LiveAI& ai, PositionUpdate& update);
bool checkUpdateWhileLanding(LiveAI& ai, PositionUpdate& update);

} // namespace rtd
