#include "traffic/simulator_link/ai_results.hpp"

#include "airports/services.hpp"
#include "core/display.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "core/time.hpp"
#include "liveries/fixes.hpp"
#include "platform/platform.hpp"
#include "traffic/engine/ai_state.hpp"
#include "traffic/engine/flight_plans.hpp"
#include "traffic/simulator_link/ai_commands.hpp"
#include "traffic/simulator_link/sim_client.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <filesystem>
#include <mutex>
#include <utility>

namespace rtd {

namespace {

using sim::ok;

constexpr std::uint32_t lastParkedId = 10000;
constexpr double minStaticCgFt = 1.0;
constexpr double maxStaticCgFt = 35.0;
constexpr double minStaticPitch = -0.017453292519943295; // -1 degree
constexpr double maxStaticPitch = 0.04363323129985824;   // 2.5 degrees
constexpr double defaultStaticPitch = 0.012217304763960306; // 0.7 degrees

// Live aircraft by hexid and by object id while one batch of events is handled: built at
// its first lookup and again after a change of the list or of an object id.
class LiveIndex {
public:
    void begin() { active_ = true; valid_ = false; }
    void end() { active_ = false; }
    void invalidate() { valid_ = false; }

    LiveAI* byHexid(std::uint32_t hexid) { return find(byHexid_, hexid, [](const LiveAI& a) { return a.id(); }); }
    LiveAI* byObjectId(std::uint32_t objectId)
    {
        if (objectId == 0)
            return nullptr;
        return find(byObject_, objectId, [](const LiveAI& a) { return a.objectId; });
    }

private:
    using Keys = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

    template <typename Key>
    LiveAI* find(const Keys& keys, std::uint32_t key, Key keyOf)
    {
        if (!active_) {
            const auto found = std::find_if(liveAIList.begin(), liveAIList.end(),
                                            [&](const LiveAI& a) { return keyOf(a) == key; });
            return found == liveAIList.end() ? nullptr : &*found;
        }
        if (!valid_)
            build();
        const auto found = std::lower_bound(keys.begin(), keys.end(), std::pair{key, 0u});
        return found != keys.end() && found->first == key ? &liveAIList[found->second] : nullptr;
    }

    void build()
    {
        byHexid_.clear();
        byObject_.clear();
        for (std::uint32_t i = 0; i < liveAIList.size(); ++i) {
            byHexid_.emplace_back(liveAIList[i].id(), i);
            if (liveAIList[i].objectId != 0)
                byObject_.emplace_back(liveAIList[i].objectId, i);
        }
        std::sort(byHexid_.begin(), byHexid_.end());
        std::sort(byObject_.begin(), byObject_.end());
        valid_ = true;
    }

    Keys byHexid_;
    Keys byObject_;
    bool active_ = false;
    bool valid_ = false;
};

LiveIndex liveIndex;
std::vector<SimEvent> handledEvents; // the batch being handled; its storage is reused

template <typename T>
bool eraseWhere(std::vector<T>& list, auto match)
{
    const auto found = std::find_if(list.begin(), list.end(), match);
    if (found == list.end())
        return false;
    eraseBySwap(list, static_cast<std::size_t>(found - list.begin()));
    liveIndex.invalidate();
    return true;
}

void eraseLive(const LiveAI& ai)
{
    const std::size_t index = static_cast<std::size_t>(&ai - liveAIList.data());
    eraseBySwap(liveAIList, index);
    liveIndex.invalidate();
}

ParkedAI* parkedById(std::uint32_t id)
{
    const auto found =
        std::find_if(parkedAIList.begin(), parkedAIList.end(), [id](const ParkedAI& p) { return p.id() == id; });
    return found == parkedAIList.end() ? nullptr : &*found;
}

bool removalPending(const ParkedAI& ai)
{
    return ai.simStatus == SimStatus::removed || ai.removeWhenCreated;
}

// An object reported for an aircraft that is to go: removed at once, never set up.
void removeOnArrival(ParkedAI& ai, std::uint32_t objectId)
{
    ai.objectId = objectId;
    ai.simStatus = SimStatus::removed;
    ai.removeWhenCreated = false;
    liveIndex.invalidate();
    queueRemoval(objectId);
}

bool firstUpdateAirborne(const LiveAI& ai)
{
    return !ai.updates.empty() && ai.updates.front().airborne;
}

void logParked(const ParkedAI& ai)
{
    logLine(fmt::format("{:8}: {:8} parked {}", currentUtcClock(), ai.flight.callsign, standNameOf(ai.standId)));
}

void transmitUnderLock(std::uint32_t objectId, std::uint32_t eventId, std::string_view failure)
{
    std::lock_guard lock(simConnectMutex);
    if (simConnectHandle != nullptr &&
        sim::SimConnect_TransmitClientEvent(simConnectHandle, objectId, eventId, 0, simNotificationGroup, 0) != ok)
        logArrow(failure);
}

void handleCreatedLive(const SimEvent& event)
{
    LiveAI* ai = liveIndex.byHexid(event.aircraftId);
    if (ai == nullptr) {
        if (event.objectId > userObjectId)
            queueRemoval(event.objectId); // its aircraft has gone: no frozen object stays
        return;
    }
    if (removalPending(*ai) && event.objectId > userObjectId) {
        removeOnArrival(*ai, event.objectId);
        return;
    }
    if (liveAIAdded(*ai, event))
        pendingSetups.push_back(event);
}

void handleCreatedParked(const SimEvent& event)
{
    ParkedAI* ai = parkedById(event.aircraftId);
    if (ai == nullptr) {
        queueRemoval(event.objectId);
        return;
    }
    if (removalPending(*ai)) {
        removeOnArrival(*ai, event.objectId);
        return;
    }
    pendingSetups.push_back(event);
}

void handleGroundData(const SimEvent& event)
{
    LiveAI* ai = liveIndex.byObjectId(event.objectId);
    if (ai == nullptr)
        return;
    if (event.aircraftId == 1 && !ai->onGround && ai->takeOffCountdown <= 1)
        touchdownLiveAI(*ai);
    ai->heightAboveGround = event.value2;
    if (ai->onGround || ai->takeOffCountdown >= 2)
        ai->altitude = ai->flight.staticCgHeight + event.value1;
}

void handleStaticCg(const SimEvent& event)
{
    LiveAI* ai = liveIndex.byObjectId(event.objectId);
    if (ai == nullptr)
        return;
    if (event.value1 < minStaticCgFt || event.value1 > maxStaticCgFt)
        logArrow(fmt::format("{}: static CG {:.1F}ft wrong?", aircraftLine(ai->flight), event.value1));
    else
        ai->flight.staticCgHeight = event.value1;
    ai->flight.staticPitch = event.value2;
    if (event.value2 <= minStaticPitch || event.value2 > maxStaticPitch)
        ai->flight.staticPitch = defaultStaticPitch;
}

void handleCreateFailed(const SimEvent& event)
{
    const std::uint32_t id = event.aircraftId;
    if (id > lastParkedId) {
        if (LiveAI* ai = liveIndex.byHexid(id)) {
            reportLiveryNotCreated(ai->flight.callsign, ai->flight.icaoType, ai->flight.airline,
                                   ai->flight.liveryTitle);
            eraseLive(*ai);
        }
        return;
    }
    if (ParkedAI* ai = parkedById(id)) {
        const FlightRecord flight = ai->flight;
        eraseWhere(parkedAIList, [id](const ParkedAI& p) { return p.id() == id; });
        reportLiveryNotCreated(flight.callsign, flight.icaoType, flight.airline, flight.liveryTitle);
    }
}

void handleCreateLost(const SimEvent& event)
{
    const std::uint32_t id = event.aircraftId;
    const auto matches = [id](const ParkedAI& p) { return p.id() == id; };
    if (id > lastParkedId ? eraseWhere(liveAIList, matches) : eraseWhere(parkedAIList, matches))
        logArrow(fmt::format("creation of aircraft {} never reported by the Sim, dropped", id));
}

// The object of a creation given up: it stays frozen in the simulator for good unless it is
// removed, so it goes when none of the aircraft has taken it since. A parked aircraft still
// in its set-up holds its object only in its set-up entry.
void handleFoundGivenUp(const SimEvent& event)
{
    const std::uint32_t objectId = event.objectId;
    const auto owns = [objectId](const ParkedAI& p) { return p.objectId == objectId; };
    const auto setsUp = [objectId](const SimEvent& e) { return e.objectId == objectId; };
    if (objectId <= userObjectId || liveIndex.byObjectId(objectId) != nullptr ||
        std::any_of(parkedAIList.begin(), parkedAIList.end(), owns) ||
        std::any_of(pendingSetups.begin(), pendingSetups.end(), setsUp))
        return;
    logArrow(fmt::format("object {} of a creation given up found, removed", objectId));
    queueRemoval(objectId);
}

void setUpCreatedLive(LiveAI& ai, SimEvent& entry, bool& done)
{
    ai.simStatus = SimStatus::inSim;
    const std::uint32_t objectId = ai.objectId;
    if (!firstUpdateAirborne(ai)) {
        const bool atStand = ai.phase == Phase::atStand;
        queueSpoilers(ai, false);
        if (atStand)
            queueEngineShutdown(objectId);
        else
            queueEngineStart(objectId);
        const std::uint32_t nav = atStand ? (NAV_LIGHTS_WHILE_PARKED.value() ? 1 : 0) : 1;
        queueLightsSet(objectId, {.nav = nav,
                                  .beacon = atStand ? 0u : 1u,
                                  .landing = 0,
                                  .taxi = ai.phase == Phase::groundMoving ? 1u : 0u,
                                  .strobes = 0,
                                  .logo = 1,
                                  .cabin = 1});
        queueThrottle(ai, ai.flight.category == Rotorcraft ? 4 : 0);
        queueFlaps(ai, ai.phase == Phase::groundMoving ? 1 : 0);
    } else {
        queueEngineStart(objectId);
        queueSpoilers(ai, false);
        const std::uint32_t low = ai.altitude <= 10000.0 ? 1 : 0;
        queueLightsSet(objectId, {.nav = 1,
                                  .beacon = 1,
                                  .landing = low,
                                  .taxi = 0,
                                  .strobes = 1,
                                  .logo = low,
                                  .cabin = ai.heightAboveGround >= 2000.0 ? 1u : 0u});
    }
    entry.setupCounter = -1;
    done = true;
}

} // namespace

void processSimEvents()
{
    {
        std::lock_guard lock(simEventMutex);
        handledEvents.swap(simEventQueue);
    }
    {
        struct BatchEnd {
            ~BatchEnd()
            {
                liveIndex.end();
                handledEvents.clear();
            }
        } batchEnd;
        liveIndex.begin();
        for (const SimEvent& event : handledEvents)
            handleSimEvent(event);
    }

    bool anyDone = false;
    for (SimEvent& entry : pendingSetups)
        gf_allLightsToggle(anyDone, entry);
    if (anyDone)
        std::erase_if(pendingSetups, [](const SimEvent& e) { return e.setupCounter == -1; });
}

void handleSimEvent(const SimEvent& event)
{
    switch (event.kind) {
    case CreatedLive: handleCreatedLive(event); break;
    case CreatedParked: handleCreatedParked(event); break;
    case Removed: onAIRemovedFromSim(event.objectId); break;
    case GroundData: handleGroundData(event); break;
    case StaticCg: handleStaticCg(event); break;
    case CreateFailed: handleCreateFailed(event); break;
    case CreateLost: handleCreateLost(event); break;
    case FoundGivenUp: handleFoundGivenUp(event); break;
    default: break;
    }
}

bool liveAIAdded(LiveAI& ai, const SimEvent& event)
{
    if (event.objectId < 3 || event.objectId <= userObjectId) {
        logLine(fmt::format("{} objectId in liveAIAdded {}", ai.flight.callsign, event.objectId));
        eraseLive(ai);
        return false;
    }
    ai.objectId = event.objectId;
    liveIndex.invalidate();
    ai.heightAboveGround = event.value2;
    if (!firstUpdateAirborne(ai)) {
        ai.onGround = true;
        queueGear(ai, true);
        ai.verticalStep = 0.0;
        if (ai.phase == Phase::atStand) {
            ai.arrivalDayHalfHour = static_cast<std::int64_t>(currentDayAndHalfHour());
            if (LOG.value() && !ai.recreate)
                logParked(ai);
        }
        ai.recreate = false;
        ai.takeOffCountdown = 1;
    }
    createFlightPlanForAI(ai);
    std::lock_guard lock(simConnectMutex);
    if (simConnectHandle != nullptr &&
        sim::SimConnect_RequestDataOnSimObject(simConnectHandle, staticCgRequest, defineStaticCg, ai.objectId,
                                          sim::periodOnce) != ok) {
        logArrow("SimConnect request StaticCG fails");
        countSimConnectRequestError();
    }
    return true;
}

void createFlightPlanForAI(LiveAI& ai)
{
    if (ai.flight.origin.empty() || ai.flight.destination.empty())
        return;
    const std::filesystem::path path = flightPlanFolder / flightPlanFileName(ai.objectId);
    if (writeFlightPlan(path, ai.flight) == 1) {
        // The library takes a narrow path and adds the extension itself.
        const std::string libraryPath = platform::narrowPath(std::filesystem::path(path).replace_extension());
        std::lock_guard lock(simConnectMutex);
        if (simConnectHandle != nullptr &&
            sim::SimConnect_AISetAircraftFlightPlan(simConnectHandle, ai.objectId, libraryPath.c_str(),
                                                    flightPlanRequest) == ok) {
            ai.flightPlanSet = true;
            return;
        }
    }
    setStatus(pairText(ai.flight) + " creating a flight plan failed !", true);
    ai.flightPlanSet = false;
}

void onAIRemovedFromSim(std::uint32_t objectId)
{
    if (LiveAI* ai = liveIndex.byObjectId(objectId)) {
        if (ai->simStatus == SimStatus::liveryChange) {
            ai->simStatus = SimStatus::waiting;
            ai->recreate = true;
            ai->throttleState = throttleNoneSent;
            ai->flapsState = flapsNoneSent;
            ai->objectId = 0;
            liveIndex.invalidate();
            return;
        }
        if (ai->flightPlanSet) {
            std::error_code ignored;
            std::filesystem::remove(flightPlanFolder / flightPlanFileName(objectId), ignored);
        }
        eraseLive(*ai);
        return;
    }
    if (objectId != 0)
        eraseWhere(parkedAIList, [objectId](const ParkedAI& p) { return p.objectId == objectId; });
}

void touchdownLiveAI(LiveAI& ai)
{
    if (ai.simStatus == SimStatus::removed || ai.phase == Phase::takeOffRoll)
        return;
    if (ai.flareStage != 0 || ai.approach) {
        ai.derotating = true;
        ai.landingRoll = true;
        ai.landed = true;
        ai.approach = false;
        ai.landingHeading = ai.heading;
        queueSpoilers(ai, true);
        if (ai.flight.category != Light) {
            const double levers = ai.flight.fsltlLivery != 0 ? -100.0 : 100.0;
            const double values[3] = {100.0, levers, levers};
            std::lock_guard lock(simConnectMutex);
            if (simConnectHandle != nullptr)
                sim::SimConnect_SetDataOnSimObject(simConnectHandle, defineTouchdown, ai.objectId, 0, 0, sizeof values,
                                              values);
        }
        const double polls = ai.flight.onGroundPolls;
        if (polls > 0.0) {
            ai.pitchStep = (ai.flight.staticPitch - ai.pitch) / polls;
            ai.bankStep = -ai.bank / polls;
        } else {
            logLine(fmt::format("{} ! onGround slots {:.1F}", ai.flight.callsign, polls));
            ai.pitchStep = ai.flight.staticPitch;
            ai.bankStep = 0.0;
        }
        coupledCheckList.push_back(ai.id());
    }
    ai.onGround = true;
    ai.verticalStep = 0.0;
    ai.takeOffCountdown = 1;
}

void gf_allLightsToggle(bool& done, SimEvent& entry)
{
    if (entry.setupCounter < 0)
        return;
    if (entry.setupCounter < setupPolls) {
        ++entry.setupCounter;
        if (entry.kind == CreatedLive && (entry.setupCounter == 50 || entry.setupCounter == 100))
            transmitUnderLock(entry.objectId, eventAllLightsToggle, "SimConnect gf_allLightsToggle fails");
        if (entry.setupCounter < setupPolls)
            return;
    }
    if (entry.kind == CreatedParked) {
        for (ParkedAI& ai : parkedAIList)
            if (createdParkedAI(entry, done, ai))
                return;
    } else {
        const auto found = std::find_if(liveAIList.begin(), liveAIList.end(),
                                        [&](const LiveAI& a) { return a.id() == entry.aircraftId; });
        if (found != liveAIList.end() && found->objectId == entry.objectId) {
            if (removalPending(*found)) { // its removal was queued when it was marked
                entry.setupCounter = -1;
                done = true;
                return;
            }
            setUpCreatedLive(*found, entry, done);
            return;
        }
    }
    // Its aircraft has left its list: the object goes too, rather than stay frozen.
    queueRemoval(entry.objectId);
    entry.setupCounter = -1;
    done = true;
}

bool createdParkedAI(SimEvent& entry, bool& done, ParkedAI& ai)
{
    if (ai.id() != entry.aircraftId)
        return false;
    entry.setupCounter = -1;
    done = true;
    if (removalPending(ai)) {
        removeOnArrival(ai, entry.objectId);
        return true;
    }
    ai.simStatus = SimStatus::inSim;
    ai.objectId = entry.objectId;
    initParkedAISystems(ai);
    if (LOG.value())
        logParked(ai);
    return true;
}

} // namespace rtd
