#pragma once
// What the traffic thread makes of the simulator's results: a created object gets its id
// and its set-up, a refused or lost creation and a removed object leave their list, and
// ground contact becomes a live aircraft's touchdown.

#include "traffic/engine/ai_objects.hpp"
#include "traffic/simulator_link/sim_events.hpp"

#include <cstdint>

namespace rtd {

// Every poll: the queued events in order (taken out under simEventMutex and handled without
// it, so the simulator client never waits on this work), then one step of each waiting set-up.
void processSimEvents();

void handleSimEvent(const SimEvent& event);
// False when the aircraft cannot take the object (a bad object id); it is then erased.
bool liveAIAdded(LiveAI& ai, const SimEvent& event);
void createFlightPlanForAI(LiveAI& ai);
void onAIRemovedFromSim(std::uint32_t objectId);
void touchdownLiveAI(LiveAI& ai);
// One poll of a created aircraft's delayed set-up; `done` is set when it finished.
void gf_allLightsToggle(bool& done, SimEvent& entry);
bool createdParkedAI(SimEvent& entry, bool& done, ParkedAI& ai);

inline constexpr std::int32_t setupPolls = 200;

} // namespace rtd
