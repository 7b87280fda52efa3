#include "traffic/simulator_link/sim_client.hpp"

#include "core/display.hpp"
#include "core/exceptions.hpp"
#include "core/exit.hpp"
#include "core/log.hpp"
#include "core/time.hpp"
#include "core/version.hpp"
#include "platform/platform.hpp"
#include "simulator/client_library.hpp"
#include "traffic/simulator_link/ai_commands.hpp"
#include "traffic/simulator_link/sim_client_internal.hpp"
#include "traffic/simulator_link/sim_events.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <optional>
#include <thread>
#include <utility>

namespace rtd {

std::mutex simConnectMutex;
sim::Handle simConnectHandle = nullptr;
std::atomic<bool> simRunning{false};
std::atomic<bool> simConnectFailed{false};
std::atomic<std::int32_t> requestErrorCount{0};
std::atomic<float> frameRate{0.0f};
std::atomic<std::uint32_t> userObjectId{2};
std::atomic<bool> userOnGround{true};
std::atomic<bool> userOnGroundKnown{false};
std::atomic<bool> simSecondTick{false};
std::atomic<std::int64_t> simUtcSeconds{0};
std::atomic<double> userHalfWingspanNm{0.0};
std::atomic<std::int32_t> userCategory{0};
UserAircraftState userStateCache;

namespace {

using namespace std::chrono_literals;
using namespace simlink;
using sim::ok;

constexpr int failedRequestRestartSeconds = 10;
constexpr int failedRequestLimit = 3;
constexpr int frameRateSamplePeriod = 30;
constexpr auto dispatchPeriod = 1ms;
constexpr auto openRetryPeriod = 1s;
constexpr auto failingDispatchLimit = 1s;

// Client thread only.
int frameCounter = 0;
std::exception_ptr dispatchError;
bool quitReceived = false;
std::optional<std::chrono::steady_clock::time_point> failingSince;

struct Variable {
    std::uint32_t definition;
    const char* name;
    const char* unit;
    std::uint32_t type;
};

constexpr std::uint32_t f64 = sim::dataFloat64;
constexpr std::uint32_t i64 = sim::dataInt64;

// Every definition, its variables in the order their values arrive.
constexpr std::array variables{
    Variable{401, "SPOILERS HANDLE POSITION", "percent", f64},
    Variable{401, "GENERAL ENG THROTTLE LEVER POSITION:1", "percent", f64},
    Variable{401, "GENERAL ENG THROTTLE LEVER POSITION:2", "percent", f64},
    Variable{402, "Plane Latitude", "degree", f64},
    Variable{402, "Plane Longitude", "degree", f64},
    Variable{402, "Plane Pitch degrees", "radians", f64},
    Variable{402, "Plane Bank degrees", "radians", f64},
    Variable{402, "Plane Heading degrees true", "radians", f64},
    Variable{402, "Plane Altitude", "feet", f64},
    Variable{402, "Vertical Speed", "feet per second", f64},
    Variable{402, "Airspeed True", "knots", f64},
    Variable{403, "Plane Latitude", "degree", f64},
    Variable{403, "Plane Longitude", "degree", f64},
    Variable{403, "Plane Pitch degrees", "radians", f64},
    Variable{403, "Plane Bank degrees", "radians", f64},
    Variable{403, "Plane Heading degrees true", "radians", f64},
    Variable{403, "Plane Altitude", "feet", f64},
    Variable{403, "Plane Alt Above Ground", "feet", f64},
    Variable{403, "Ground Velocity", "knots", f64},
    Variable{403, "ZULU TIME", "Seconds", i64},
    Variable{403, "ZULU DAY OF YEAR", "Number", i64},
    Variable{403, "ZULU YEAR", "Number", i64},
    Variable{403, "LIGHT STATES", "Mask", i64},
    Variable{404, "Plane Alt Above Ground", "feet", f64},
    Variable{404, "Ground Altitude", "feet", f64},
    Variable{404, "SIM ON GROUND", "Bool", i64},
    Variable{404, "ATC ID", nullptr, sim::dataString32},
    Variable{405, "Static CG to Ground", "feet", f64},
    Variable{405, "Static Pitch", "radians", f64},
    Variable{406, "Light On States", "Mask", i64},
    Variable{407, "TITLE", nullptr, sim::dataStringV},
    Variable{408, "ATC MODEL", nullptr, sim::dataString32},
    Variable{409, "SIM ON GROUND", "Bool", i64},
};

struct ClientEvent {
    std::uint32_t id;
    const char* name;
};

constexpr std::array clientEvents{
    ClientEvent{219, "GEAR_SET"},         ClientEvent{220, "ENGINE_AUTO_START"},
    ClientEvent{221, "ENGINE_AUTO_SHUTDOWN"}, ClientEvent{222, "THROTTLE_SET"},
    ClientEvent{217, "FLAPS_SET"},        ClientEvent{218, "SPOILERS_SET"},
    ClientEvent{207, "NAV_LIGHTS_SET"},   ClientEvent{206, "BEACON_LIGHTS_SET"},
    ClientEvent{210, "LANDING_LIGHTS_SET"}, ClientEvent{208, "TAXI_LIGHTS_SET"},
    ClientEvent{209, "STROBES_SET"},      ClientEvent{212, "LOGO_LIGHTS_SET"},
    ClientEvent{211, "CABIN_LIGHTS_SET"}, ClientEvent{213, "ALL_LIGHTS_TOGGLE"},
    ClientEvent{214, "FREEZE_LATITUDE_LONGITUDE_SET"}, ClientEvent{215, "FREEZE_ALTITUDE_SET"},
    ClientEvent{216, "FREEZE_ATTITUDE_SET"},
};

constexpr std::array groupEvents{207u, 206u, 210u, 208u, 209u, 212u, 211u, 213u,
                                 217u, 218u, 219u, 221u, 222u, 214u, 215u, 216u};

constexpr std::array<std::uint32_t, 8> setupDefinitions{407, 408, 409, 402, 403, 405, 406, 404};
constexpr std::array<std::uint32_t, 9> clearedDefinitions{407, 408, 409, 402, 403, 401, 404, 405, 406};

// The record a message holds, or null (and a log line) when the message is too short for it.
template <typename Record>
const Record* recordOf(const sim::RecvHeader* message, std::uint32_t size)
{
    if (size < sizeof(Record)) {
        logLine(fmt::format("! SimConnect message {} too short: {} bytes", message->id, size));
        return nullptr;
    }
    return reinterpret_cast<const Record*>(message);
}

// A data reply whose fields before its data are all there, or null (and a log line). Its
// data is checked against what each request reads.
const sim::RecvSimObjectData* dataReplyOf(const sim::RecvHeader* message, std::uint32_t size)
{
    if (size < offsetof(sim::RecvSimObjectData, data)) {
        logLine(fmt::format("! SimConnect message {} too short: {} bytes", message->id, size));
        return nullptr;
    }
    return reinterpret_cast<const sim::RecvSimObjectData*>(message);
}


// Runs one step of the client under the thread's handling of exceptions; false when the
// client ends.
template <typename Step>
bool guarded(Step step)
{
    try {
        return step();
    } catch (const UserErrorException& e) {
        showError(e.what()); // the connection stays open for the user to see
    } catch (const std::exception& e) {
        showError(e.what());
        simRunning = false;
        closeSimConnect();
    } catch (...) {
        showError(fmt::format("Exception in {}", "SimClient"));
        simRunning = false;
        closeSimConnect();
    }
    return false;
}

} // namespace

// ---- the thread ----

void SimClient(std::stop_token stop)
{
    const CountedThread counted;
    logLine(sim::simulatorChoiceText());
    std::mutex waitMutex;
    std::condition_variable_any waitForStop;
    bool first = true;
    while (!exitBegan() && !stop.stop_requested()) {
        if (first) {
            first = false;
            setStatus(fmt::format("Waiting for {} ...", "MSFS"), true);
            flushLog();
            repaintHeader();
        }
        const OpenOutcome outcome = openSimConnect();
        if (outcome == OpenOutcome::ended)
            break;
        if (outcome == OpenOutcome::notConnected) {
            std::unique_lock lock(waitMutex);
            waitForStop.wait_for(lock, stop, openRetryPeriod, [] { return false; });
            continue;
        }
        platform::raiseTimerResolution();
        bool carryOn = true;
        while (!stop.stop_requested() && (carryOn = dispatchSimConnect()))
            std::this_thread::sleep_until(std::chrono::steady_clock::now() + dispatchPeriod);
        platform::restoreTimerResolution();
        if (!carryOn)
            break;
        closeSimConnect(false); // a stop leaves no connection behind, and starts no exit
    }
    rememberUserStand();
}

OpenOutcome openSimConnect()
{
    bool connected = false;
    const bool carryOn = guarded([&connected] {
        closeSimConnect(false); // one connection at a time
        sim::Handle handle = nullptr;
        if (sim::SimConnect_Open(&handle, productName.data(), nullptr, 0, nullptr, 0) != ok || handle == nullptr)
            return true;
        {
            std::lock_guard lock(simConnectMutex);
            simConnectHandle = handle;
        }
        failingSince.reset();
        setupSimConnect();
        connected = true;
        return true;
    });
    return !carryOn ? OpenOutcome::ended : connected ? OpenOutcome::connected : OpenOutcome::notConnected;
}

bool dispatchSimConnect()
{
    return guarded([] {
        sim::Handle handle = nullptr;
        {
            std::lock_guard lock(simConnectMutex);
            handle = simConnectHandle;
        }
        if (handle == nullptr)
            return false;
        dispatchError = nullptr;
        quitReceived = false;
        const sim::Result result = sim::SimConnect_CallDispatch(handle, dispatchProc, nullptr);
        if (dispatchError)
            std::rethrow_exception(std::exchange(dispatchError, nullptr));
        const auto now = std::chrono::steady_clock::now();
        if (result == ok) {
            failingSince.reset();
        } else if (!failingSince) {
            failingSince = now;
        }
        if (quitReceived || (failingSince && now - *failingSince >= failingDispatchLimit)) {
            simRunning = false;
            closeSimConnect();
            return false;
        }
        return true;
    });
}

void closeSimConnect(bool announce)
{
    std::lock_guard lock(simConnectMutex);
    if (simConnectHandle == nullptr)
        return;
    setMark(mainWindowGlobals.simConnected, false);
    for (const std::uint32_t definition : clearedDefinitions)
        sim::SimConnect_ClearDataDefinition(simConnectHandle, definition);
    for (std::uint32_t event = eventSim; event <= eventFlightLoaded; ++event)
        sim::SimConnect_UnsubscribeFromSystemEvent(simConnectHandle, event);
    if (sim::SimConnect_Close(simConnectHandle) != ok)
        logArrow("SimConnect close failed!");
    simConnectHandle = nullptr;
    if (announce && !exiting) {
        logLine(fmt::format("{} Flight Simulator no longer connected, {} will stop ...", currentUtcClock(), productName));
        startFinalExit(ExitReason::simWasClosed, 0);
    }
}

// ---- dispatch ----

void dispatchProc(const sim::RecvHeader* message, std::uint32_t size, void*)
{
    if (message == nullptr || dispatchError)
        return; // after a handler's error the rest of this dispatch is ignored
    try {
        switch (message->id) {
        case sim::recvException:
            if (const auto* record = recordOf<sim::RecvException>(message, size))
                onSimConnectException(*record);
            break;
        case sim::recvOpen:
            if (const auto* record = recordOf<sim::RecvOpen>(message, size))
                onSimConnectOpen(*record);
            break;
        case sim::recvQuit:
            simRunning = false;
            quitReceived = true;
            break;
        case sim::recvEvent:
            if (const auto* event = recordOf<sim::RecvEvent>(message, size)) {
                if (event->eventId == eventSim) {
                    simRunning = event->data == 1;
                    setMark(mainWindowGlobals.simRunningFlag, event->data == 1);
                } else if (event->eventId == eventFlightLoaded) {
                    logArrow("Flight loaded");
                    rememberUserStand();
                    startFinalExit(ExitReason::restart, teleportRestartSeconds);
                }
            }
            break;
        case sim::recvEventFilename:
            logArrow("New file loaded");
            rememberUserStand();
            startFinalExit(ExitReason::restart, teleportRestartSeconds);
            break;
        case sim::recvEventObjectAddRemove:
            if (const auto* event = recordOf<sim::RecvEventObjectAddRemove>(message, size)) {
                if (event->objectType != sim::objectTypeAircraft && event->objectType != sim::objectTypeHelicopter)
                    break;
                const std::uint32_t objectId = event->event.data;
                if (event->event.eventId == eventObjectAdded && objectId > userObjectId) {
                    noteObjectAdded(objectId);
                } else if (event->event.eventId == eventObjectRemoved) {
                    forgetAddedObject(objectId);
                    pushSimEvent({.objectId = objectId, .aircraftId = 0, .kind = Removed});
                }
            }
            break;
        case sim::recvEventFrame:
            if (const auto* event = recordOf<sim::RecvEventFrame>(message, size)) {
                onSimFrame();
                if (++frameCounter >= frameRateSamplePeriod) {
                    frameCounter = 0;
                    frameRate = event->frameRate;
                }
            }
            break;
        case sim::recvSimObjectData:
            if (const auto* data = dataReplyOf(message, size))
                onSimObjectData(*data, size);
            break;
        case sim::recvSimObjectDataByType:
            if (const auto* data = dataReplyOf(message, size))
                onSimObjectDataByType(*data, size);
            break;
        case sim::recvNull: // nothing: the library has no message for us
        case sim::recvAssignedObjectId:
        case sim::recvClientData:
        case 27:
            break;
        default:
            logLine(fmt::format("! Unknown Dispatch dwID {}", message->id));
        }
    } catch (...) {
        dispatchError = std::current_exception();
    }
}

void onSimConnectOpen(const sim::RecvOpen& message)
{
    const std::string name(message.applicationName, strnlen(message.applicationName, sizeof(message.applicationName)));
    if (name.empty()) {
        logLine("! Simulator name empty?");
        return;
    }
    setMark(mainWindowGlobals.simConnected, true);
    std::string kept;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || std::isspace(u))
            kept += c;
    }
    if (kept != "KittyHawk")
        throw UserErrorException(77, kept + ", not being MSFS connects ... ?");
    const std::string text = fmt::format("{} ({}.{}.{}.{})", "MSFS", message.applicationVersionMajor,
                                         message.applicationVersionMinor, message.applicationBuildMajor,
                                         message.applicationBuildMinor);
    logLine(text + " connected ");
    mainWindowGlobals.editTexts([&text](DisplayTexts& texts) { texts.simLineText = text; });
    repaintHeader();
    clearStatus();
}

void onSimConnectException(const sim::RecvException& message)
{
    switch (message.exception) {
    case sim::exceptionUnrecognizedId:
        if (!inNullBox(userAircraftState().position()))
            logArrow("SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID");
        break;
    case sim::exceptionVersionMismatch:
        throw UserErrorException(95, fmt::format("Simconnect Version Mismatch, dwindex: {} ", message.index));
    case sim::exceptionTooManyObjects:
        setStatus("SimConnect: too many objects (max 1000)", true);
        break;
    case sim::exceptionInvalidDataSize:
        logLine("SIMCON EXCEP 19");
        break;
    case sim::exceptionCreateObjectFailed: {
        PendingCreation taken;
        if (takePendingCreationByPacketId(message.sendId, taken) && taken.aircraftId != 0)
            pushSimEvent({.objectId = 0, .aircraftId = taken.aircraftId, .kind = CreateFailed});
        break;
    }
    case sim::exceptionLoadFlightplanFailed:
        logArrow("Simconnect Exception: load flight plan failed");
        break;
    case sim::exceptionOperationInvalidForObjectType:
        logLine("SIMCON EXCEP 24");
        break;
    default:
        logArrow(fmt::format("SIMCON EXCEP {}", message.exception));
    }
}

void countSimConnectRequestError()
{
    const std::int32_t count = ++requestErrorCount;
    if (count < failedRequestLimit)
        return;
    setStatus(fmt::format("SimConnect request error {}, see Log.txt", count), true);
    simConnectFailed = true;
    startFinalExit(ExitReason::restart, failedRequestRestartSeconds);
}

void setupSimConnect()
{
    std::lock_guard lock(simConnectMutex);
    const sim::Handle h = simConnectHandle;
    sim::SimConnect_SubscribeToSystemEvent(h, eventSim, "Sim");
    sim::SimConnect_SubscribeToSystemEvent(h, eventObjectAdded, "ObjectAdded");
    sim::SimConnect_SubscribeToSystemEvent(h, eventObjectRemoved, "ObjectRemoved");
    sim::SimConnect_SubscribeToSystemEvent(h, eventFlightLoaded, "FlightLoaded");
    sim::SimConnect_SubscribeToSystemEvent(h, eventFrame, "Frame");
    const auto define = [h](std::uint32_t definition) {
        for (const Variable& v : variables)
            if (v.definition == definition)
                sim::SimConnect_AddToDataDefinition(h, definition, v.name, v.unit, v.type, 0.0f, sim::unusedId);
    };
    for (const std::uint32_t definition : setupDefinitions)
        define(definition);
    for (const ClientEvent& event : clientEvents)
        sim::SimConnect_MapClientEventToSimEvent(h, event.id, event.name);
    define(defineTouchdown);
    for (const std::uint32_t event : groupEvents)
        sim::SimConnect_AddClientEventToNotificationGroup(h, simNotificationGroup, event, true);
    sim::SimConnect_SetNotificationGroupPriority(h, simNotificationGroup, sim::priorityHighest);
}

// ---- restart ----

void reserveSimLinkQueues(std::size_t capacity)
{
    pendingCreations.reserve(capacity);
    reserveAddedObjects(capacity);
}

void resetSimLink()
{
    closeSimConnect(false);
    simRunning = false;
    simConnectFailed = false;
    userObjectId = 2;
    requestErrorCount = 0;
    simSecondTick = false;
    frameCounter = 0;
    failingSince.reset();
    pendingCreations.clear();
    clearObjectTracking();
    clearAIQueues();
    {
        std::lock_guard lock(simEventMutex);
        simEventQueue.clear();
    }
    clearUserAircraft();
}

} // namespace rtd
