#include "traffic/simulator_link/ai_commands.hpp"

#include "core/display.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "core/random.hpp"
#include "core/time.hpp"
#include "traffic/engine/ai_state.hpp"
#include "traffic/engine/traffic_thread.hpp"
#include "traffic/simulator_link/sim_client.hpp"
#include "traffic/simulator_link/sim_events.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <array>
#include <mutex>
#include <string>

namespace rtd {

PositionQueue positionQueue;
std::vector<ClientEventCommand> clientEventQueue;
std::vector<CreationRequest> creationQueue;
std::vector<std::uint32_t> removalQueue;

namespace {

using sim::ok;

constexpr std::array<std::uint32_t, 5> flapsValues{0, 3072, 10240, 16383, 0};
constexpr std::array<std::uint32_t, 5> throttleValues{0, 4914, 8191, 11468, 16383};
constexpr std::uint32_t spoilersExtended = 16383;

void queueEvent(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data)
{
    std::lock_guard lock(simConnectMutex);
    clientEventQueue.push_back({objectId, eventId, data});
}

bool rotorcraft(const ParkedAI& ai)
{
    return ai.flight.category == Rotorcraft;
}

} // namespace

void reserveAIQueues(std::size_t capacity)
{
    std::lock_guard lock(simConnectMutex);
    positionQueue.buffers[0].reserve(capacity);
    positionQueue.buffers[1].reserve(capacity);
    clientEventQueue.reserve(capacity * 4);
    creationQueue.reserve(capacity);
    removalQueue.reserve(capacity);
}

void clearAIQueues()
{
    std::lock_guard lock(simConnectMutex);
    positionQueue.buffers[0].clear();
    positionQueue.buffers[1].clear();
    clientEventQueue.clear();
    creationQueue.clear();
    removalQueue.clear();
}

void queueAICreation(const CreationRequest& request)
{
    std::lock_guard lock(simConnectMutex);
    creationQueue.push_back(request);
}

void queueEngineShutdown(std::uint32_t objectId)
{
    queueEvent(objectId, eventEngineShutdown, 0);
}

void queueEngineStart(std::uint32_t objectId)
{
    queueEvent(objectId, eventEngineStart, 0);
}

void queueLightsSet(std::uint32_t objectId, const LightsRecord& lights)
{
    std::lock_guard lock(simConnectMutex);
    for (const auto& [event, flag] : {std::pair{eventNavLights, lights.nav}, std::pair{eventBeacon, lights.beacon},
                                     std::pair{eventLandingLights, lights.landing},
                                     std::pair{eventTaxiLights, lights.taxi}, std::pair{eventStrobes, lights.strobes},
                                     std::pair{eventLogoLights, lights.logo},
                                     std::pair{eventCabinLights, lights.cabin}})
        clientEventQueue.push_back({objectId, event, flag});
}

void queueNavLightsSet(std::uint32_t objectId, std::uint32_t value)
{
    queueEvent(objectId, eventNavLights, value);
}

void queueCabinLightsSet(std::uint32_t objectId, std::uint32_t value)
{
    queueEvent(objectId, eventCabinLights, value);
}

void queueSpoilers(const ParkedAI& ai, bool extended)
{
    if (!rotorcraft(ai))
        queueEvent(ai.objectId, eventSpoilersSet, extended ? spoilersExtended : 0);
}

void queueGear(const ParkedAI& ai, bool down)
{
    if (!rotorcraft(ai))
        queueEvent(ai.objectId, eventGearSet, down ? 1 : 0);
}

void queueFlaps(ParkedAI& ai, std::uint32_t state)
{
    if (state >= flapsValues.size() || state == ai.flapsState || rotorcraft(ai))
        return;
    queueEvent(ai.objectId, eventFlapsSet, flapsValues[state]);
    ai.flapsState = state;
}

void queueThrottle(ParkedAI& ai, std::uint32_t state)
{
    if (state > throttleNoneSent || state == ai.throttleState)
        return;
    if (state != throttleNoneSent)
        queueEvent(ai.objectId, eventThrottleSet, throttleValues[state]);
    ai.throttleState = state;
}

void queueRemoval(std::uint32_t objectId)
{
    std::lock_guard lock(simConnectMutex);
    removalQueue.push_back(objectId);
}

void releaseAndFreezeAI(std::uint32_t objectId)
{
    std::lock_guard lock(simConnectMutex);
    if (simConnectHandle != nullptr)
        sim::SimConnect_AIReleaseControl(simConnectHandle, objectId, releaseControlRequest);
    for (const std::uint32_t event : {eventFreezeLatLon, eventFreezeAltitude, eventFreezeAttitude})
        clientEventQueue.push_back({objectId, event, 1});
}

void onSimFrame()
{
    if (simConnectFailed) {
        std::lock_guard lock(simConnectMutex);
        positionQueue.front->clear();
        clientEventQueue.clear();
        creationQueue.clear();
        removalQueue.clear();
        return;
    }
    std::unique_lock lock(simConnectMutex, std::try_to_lock);
    if (!lock.owns_lock())
        return;
    const sim::Handle h = simConnectHandle;
    if (h == nullptr)
        return;
    for (const PositionEntry& entry : *positionQueue.front)
        sim::SimConnect_SetDataOnSimObject(h, definePosition, entry.objectId, 0, 0, positionBlockSize, &entry);
    positionQueue.front->clear();
    for (const ClientEventCommand& command : clientEventQueue) {
        if (command.eventId == eventFlapsSet)
            sim::SimConnect_AIReleaseControl(h, command.objectId, releaseControlRequest);
        if (sim::SimConnect_TransmitClientEvent(h, command.objectId, command.eventId, command.data, simNotificationGroup,
                                           0) != ok)
            setStatus(fmt::format("SimConnect TransmitClientEvent: {} fails", command.eventId), true);
        else if (command.eventId == eventFlapsSet)
            sim::SimConnect_AIReleaseControl(h, command.objectId, releaseControlRequest);
    }
    clientEventQueue.clear();
    for (const CreationRequest& request : creationQueue)
        createAIInSim(request);
    creationQueue.clear();
    for (const std::uint32_t objectId : removalQueue)
        removeAIFromSim(objectId);
    removalQueue.clear();
}

void createAIInSim(const CreationRequest& request)
{
    const std::string title(request.title);
    const std::string tail = simTailNumber(request.callsign);
    if (sim::SimConnect_AICreateNonATCAircraft(simConnectHandle, title.c_str(), tail.c_str(), request.position,
                                          createRequest) != ok) {
        logLine(fmt::format("! Simcon call to create ac in sim failed, hexid:{}, liv: \"{}\", callsign: {}",
                            request.aircraftId, title, request.callsign));
        countSimConnectRequestError();
        return;
    }
    std::uint32_t packetId = 0;
    if (sim::SimConnect_GetLastSentPacketID(simConnectHandle, &packetId) != ok) {
        logArrow("GetLastSentPacketID");
        packetId = 0;
    }
    pendingCreations.push_back({.packetId = packetId, .aircraftId = request.aircraftId, .callsign = tail});
}

void removeAIFromSim(std::uint32_t objectId)
{
    if (objectId <= userObjectId) {
        logLine(fmt::format("{}!Simconnect call to remove AI ac with objectId {}", currentUtcClock(), objectId));
        return;
    }
    if (sim::SimConnect_AIRemoveObject(simConnectHandle, objectId, removeRequest) != ok) {
        logLine(fmt::format("{}!Simconnect call to remove AI ac from sim failed, id {}?", currentUtcClock(), objectId));
        countSimConnectRequestError();
    }
}

void appendPosition(const PositionEntry& entry)
{
    positionQueue.back->push_back(entry);
}

void handOverPositions()
{
    std::unique_lock lock(simConnectMutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        if (frameRate <= 50.0f) {
            positionQueue.back->clear();
            return;
        }
        lock.lock();
    }
    std::swap(positionQueue.front, positionQueue.back);
    positionQueue.back->clear();
}

void initParkedAISystems(ParkedAI& ai)
{
    queueThrottle(ai, 0);
    queueFlaps(ai, 0);
    queueEngineShutdown(ai.objectId);
    const bool cabin = !ai.cabinLightsOff && randomIndex(10) != 9;
    queueLightsSet(ai.objectId, {.nav = NAV_LIGHTS_WHILE_PARKED.value() ? 1u : 0u,
                                 .logo = 1,
                                 .cabin = cabin ? 1u : 0u});
}

void markAIRemoved(ParkedAI& ai)
{
    const SimStatus before = ai.simStatus;
    if (before == SimStatus::removed)
        return; // already queued, or removed as soon as it is created
    ai.simStatus = SimStatus::removed;
    if (ai.objectId != 0 && ai.objectId == followedObjectId) {
        followedObjectId = 0;
        mainWindowGlobals.editTexts([](DisplayTexts& t) { t.oidText.clear(); });
        windowDisplay().invalidate(countersBand);
        if (!CALLSIGN_2_OBJECTID.value().empty()) {
            CALLSIGN_2_OBJECTID.set({});
            windowDisplay().showEditText(CALLSIGN_2_OBJECTID.controlId());
        }
    }
    if (ai.objectId == 0)
        ai.removeWhenCreated = true;
    else if (before != SimStatus::liveryChange) // a livery change has sent its removal already
        removalBacklog.push_back(ai.objectId);
}

bool dropQueuedCreationsByCallsign(std::string_view callsign)
{
    bool dropped = false;
    for (auto entry = parkedCreationBacklog.begin(); entry != parkedCreationBacklog.end();) {
        if (entry->callsign != callsign) {
            ++entry;
            continue;
        }
        const std::uint32_t id = entry->aircraftId;
        const auto parked = std::find_if(parkedAIList.begin(), parkedAIList.end(),
                                         [id](const ParkedAI& p) { return p.id() == id; });
        if (parked != parkedAIList.end())
            eraseBySwap(parkedAIList, static_cast<std::size_t>(parked - parkedAIList.begin()));
        entry = parkedCreationBacklog.erase(entry);
        dropped = true;
    }
    return dropped;
}

void pushQueuedCreation(std::deque<CreationRequest>& backlog, const CreationRequest& request)
{
    backlog.push_back(request);
}

namespace {

void enableParkingControls(bool enable)
{
    WindowDisplay& display = windowDisplay();
    for (const std::uint16_t id :
         {parking_percentage.controlId(), INITIAL_LOAD_ONLY.controlId(), PARK_FAKE.controlId(), PARK_SOFT.controlId(),
          MAX_FIT_FL.controlId(), WEEK.controlId(), flushStaticButton.controlId(), reReadButton.controlId()})
        display.enableControl(id, enable);
}

} // namespace

void lockParkingControls()
{
    parkingBusy = true;
    enableParkingControls(false);
    clearStatus();
    windowDisplay().invalidate(controlsBand);
}

void unlockParkingControls()
{
    parkingBusy = false;
    enableParkingControls(true);
    clearStatus();
    windowDisplay().invalidate(controlsBand);
}

} // namespace rtd
