#pragma once
// The AI aircraft lists of the traffic thread and the queues between them and the simulator
// link. Only the traffic thread touches these (pendingSetups also holds simEventMutex).

#include "core/block_pool.hpp"
#include "traffic/engine/ai_objects.hpp"
#include "traffic/simulator_link/ai_commands.hpp"
#include "traffic/simulator_link/sim_events.hpp"

#include <atomic>
#include <cstdint>
#include <deque>
#include <list>
#include <vector>

namespace rtd {

extern std::vector<LiveAI> liveAIList;
extern std::vector<ParkedAI> parkedAIList;
extern std::deque<std::uint32_t> removalBacklog;          // object ids, one per 10th poll on
extern std::deque<CreationRequest> liveCreationBacklog;
extern std::deque<CreationRequest> parkedCreationBacklog;
// Hexids; the nodes are recycled, as an approach set-up adds one in the middle of a poll.
extern std::list<std::uint32_t, RecyclingAllocator<std::uint32_t>> coupledCheckList;
extern std::atomic<std::uint32_t> followedObjectId;       // shown for CALLSIGN_2_OBJECTID
// Created aircraft waiting for their delayed set-up, also the created parked objects
// waiting for theirs.
extern std::vector<SimEvent> pendingSetups;

// The window's nav-lights-while-parked check box changed: the traffic thread applies it.
extern std::atomic<bool> navLightsRequest;

void reserveAIContainers();
// What a restart empties of these (coupledCheckList stays).
void clearAIContainers();

// The traffic thread's answer to navLightsRequest at its next second: the nav lights of
// the static parked aircraft and the live ones at a stand that are in the simulator.
void applyNavLightsRequest();

// The parked-aircraft id counter: 1..9999, wrapping to 1, skipping ids still parked.
std::uint32_t nextParkedAircraftId();
void resetParkedAircraftId();

} // namespace rtd
