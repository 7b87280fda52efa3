#pragma once
// The hand-over of AI commands between the traffic thread and the simulator client: a
// double-buffered position queue and the client-event, creation and removal queues under
// simConnectMutex, filled by the traffic thread and drained by onSimFrame at every simulator
// frame; the commands themselves, the creation and removal calls, and the removal of an AI
// aircraft by any rule (markAIRemoved).
//
// The queue helpers take simConnectMutex for their own push; none may be called with it held.

#include "liveries/livery_ref.hpp"
#include "simulator/simconnect.hpp"
#include "traffic/engine/ai_objects.hpp"

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace rtd {

// The 64-byte position block of the position definition, then its object.
struct PositionEntry {
    double latitude = 0.0;  // degrees
    double longitude = 0.0; // degrees
    double pitch = 0.0;     // radians
    double bank = 0.0;
    double heading = 0.0;   // radians, true
    double altitude = 0.0;  // feet
    double verticalSpeed = 0.0; // feet per second
    double airspeed = 0.0;      // knots, true
    std::uint32_t objectId = 0;
};
inline constexpr std::uint32_t positionBlockSize = 64;

struct ClientEventCommand {
    std::uint32_t objectId = 0;
    std::uint32_t eventId = 0;
    std::uint32_t data = 0;
};

struct CreationRequest {
    sim::InitPosition position{};
    std::string callsign;
    LiveryRef title;
    std::uint32_t aircraftId = 0; // a live hexid, or a parked aircraft's id below 10000
};

// Flags 0 or 1.
struct LightsRecord {
    std::uint32_t nav = 0;
    std::uint32_t beacon = 0;
    std::uint32_t landing = 0;
    std::uint32_t taxi = 0;
    std::uint32_t strobes = 0;
    std::uint32_t logo = 0;
    std::uint32_t cabin = 0;
};

// The client events the program maps.
enum AIClientEvent : std::uint32_t {
    eventBeacon = 206,
    eventNavLights = 207,
    eventTaxiLights = 208,
    eventStrobes = 209,
    eventLandingLights = 210,
    eventCabinLights = 211,
    eventLogoLights = 212,
    eventAllLightsToggle = 213,
    eventFreezeLatLon = 214,
    eventFreezeAltitude = 215,
    eventFreezeAttitude = 216,
    eventFlapsSet = 217,
    eventSpoilersSet = 218,
    eventGearSet = 219,
    eventEngineStart = 220,
    eventEngineShutdown = 221,
    eventThrottleSet = 222,
};

// The queues, under simConnectMutex. The traffic thread fills the back position buffer
// without the lock (it alone touches it); the front is drained by onSimFrame.
struct PositionQueue {
    std::vector<PositionEntry> buffers[2];
    std::vector<PositionEntry>* front = &buffers[0];
    std::vector<PositionEntry>* back = &buffers[1];
};
extern PositionQueue positionQueue;
extern std::vector<ClientEventCommand> clientEventQueue;
extern std::vector<CreationRequest> creationQueue;
extern std::vector<std::uint32_t> removalQueue;

// Room in every queue (once per run before the threads start) / all emptied.
void reserveAIQueues(std::size_t capacity);
void clearAIQueues();

void queueAICreation(const CreationRequest& request);
void queueEngineShutdown(std::uint32_t objectId);
void queueEngineStart(std::uint32_t objectId);
void queueLightsSet(std::uint32_t objectId, const LightsRecord& lights);
void queueNavLightsSet(std::uint32_t objectId, std::uint32_t value);
void queueCabinLightsSet(std::uint32_t objectId, std::uint32_t value);
void queueSpoilers(const ParkedAI& ai, bool extended);          // nothing for a rotorcraft
void queueGear(const ParkedAI& ai, bool down);                  // nothing for a rotorcraft
void queueFlaps(ParkedAI& ai, std::uint32_t state);             // 0..4, only a change
void queueThrottle(ParkedAI& ai, std::uint32_t state);          // 0..5, only a change; 5 sends nothing
// An object removed from the simulator on the next frame (an id at or below the user's is
// refused there).
void queueRemoval(std::uint32_t objectId);

// Simulator client thread, when a created object is identified: released from the
// simulator's control at once, then frozen in position, altitude and attitude.
void releaseAndFreezeAI(std::uint32_t objectId);

// Simulator client thread, for every Frame event: sends the queues, in order positions,
// client events, creations and removals; a busy mutex skips the frame.
void onSimFrame();
void createAIInSim(const CreationRequest& request); // under simConnectMutex
void removeAIFromSim(std::uint32_t objectId);       // under simConnectMutex

// The traffic thread, at the end of a poll: this poll's positions become the front buffer.
// When the mutex is busy they are dropped at 50 frames per second or less; above that the
// hand-over waits for it.
void appendPosition(const PositionEntry& entry);
void handOverPositions();

// Set-up of a static parked aircraft just created: throttle and flaps 0, engines off, lights.
void initParkedAISystems(ParkedAI& ai);

// The one way a rule removes an AI aircraft: status removed, the followed aircraft
// forgotten, and its object queued for removal once. Without an object yet, it is removed
// as soon as the simulator reports it.
void markAIRemoved(ParkedAI& ai);

// Drops every queued parked creation with this callsign and erases its aircraft; the other
// entries keep their order.
bool dropQueuedCreationsByCallsign(std::string_view callsign);
void pushQueuedCreation(std::deque<CreationRequest>& backlog, const CreationRequest& request);

// While a static parking calculation runs, its window controls are disabled.
void lockParkingControls();
void unlockParkingControls();

} // namespace rtd
