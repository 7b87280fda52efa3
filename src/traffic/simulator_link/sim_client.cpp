#include "traffic/simulator_link/sim_client.hpp"

#include "airports/parking/stand_services.hpp"
#include "core/display.hpp"
#include "core/exceptions.hpp"
#include "core/exit.hpp"
#include "core/log.hpp"
#include "core/time.hpp"
#include "core/version.hpp"
#include "liveries/dbase.hpp"
#include "liveries/lookup_tables.hpp"
#include "platform/platform.hpp"
#include "simulator/client_library.hpp"
#include "traffic/simulator_link/ai_commands.hpp"
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
#include <vector>

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
using sim::ok;

constexpr std::size_t maxTitleBytes = 48;
constexpr double teleportNm = 10.0;
constexpr int teleportRestartSeconds = 45;
constexpr int failedRequestRestartSeconds = 10;
constexpr int failedRequestLimit = 3;
constexpr int frameRateSamplePeriod = 30;
constexpr double rangeScanGroundFt = 2500.0;
constexpr auto dispatchPeriod = 1ms;
constexpr auto openRetryPeriod = 1s;
constexpr auto failingDispatchLimit = 1s;
constexpr std::uint32_t aircraftObjectType = 2;
constexpr std::uint32_t lastParkedAircraftId = 10000;

// The state the client thread writes and others read whole.
std::mutex userStateMutex;
UserAircraftState userState;      // under userStateMutex
std::string userTitleText;        // under userStateMutex
std::string userStandText;        // under userStateMutex

// Client thread only.
LatLon previousUserPosition{0.0, 0.0};
struct AddedObject {
    std::uint32_t objectId = 0;
    std::uint32_t ageSeconds = 0;
};
std::vector<AddedObject> recentlyAddedIds; // objects added since, not yet seen in a range scan
constexpr std::size_t maxRecentlyAdded = 256;
// The tail numbers of creations given up unidentified: the object of one may still turn up,
// and then nobody owns it. The oldest make room.
std::vector<std::string> givenUpTails;
constexpr std::size_t maxGivenUpTails = 256;
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

void repaintHeader()
{
    windowDisplay().invalidate(headerBand);
}

void setMark(std::atomic<bool>& mark, bool value)
{
    mark = value;
    repaintHeader();
}

bool inNullBox(LatLon position)
{
    return !isValidPosition(position);
}

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

// The data of a reply, or null when it holds fewer than `needed` bytes.
const std::byte* replyData(const sim::RecvSimObjectData& message, std::uint32_t size, std::size_t needed)
{
    constexpr std::size_t dataOffset = offsetof(sim::RecvSimObjectData, data);
    if (size < dataOffset + needed) {
        logLine(fmt::format("! SimConnect reply {} too short: {} bytes", message.requestId, size));
        return nullptr;
    }
    return reinterpret_cast<const std::byte*>(&message) + dataOffset;
}

template <typename T>
T readAt(const std::byte* data, std::size_t offset)
{
    T value;
    std::memcpy(&value, data + offset, sizeof(T));
    return value;
}

// The zero-terminated text at `data`, at most `limit` bytes.
std::string textAt(const std::byte* data, std::size_t limit)
{
    const char* text = reinterpret_cast<const char*>(data);
    return std::string(text, strnlen(text, limit));
}

// At most `limit` bytes of the text, never cutting a UTF-8 character.
std::string cutAtCharacter(std::string text, std::size_t limit)
{
    if (text.size() <= limit)
        return text;
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0u) == 0x80u)
        --cut;
    text.resize(cut);
    return text;
}

void setUserTitleText(const std::string& text)
{
    mainWindowGlobals.editTexts([&text](DisplayTexts& texts) { texts.userTitleText = text; });
    repaintHeader();
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

void onUserState(const sim::RecvSimObjectData& message, std::uint32_t size)
{
    const std::byte* data = replyData(message, size, sizeof(UserAircraftState));
    if (data == nullptr)
        return;
    UserAircraftState state;
    std::memcpy(&state, data, sizeof(state));
    state.altitudeFt = std::max(state.altitudeFt, 0.0);
    {
        std::lock_guard lock(userStateMutex);
        userState = state;
    }
    const LatLon position = state.position();
    if (!inNullBox(previousUserPosition) && distanceNm(previousUserPosition, position) > teleportNm) {
        logLine("Teleport");
        startFinalExit(ExitReason::restart, teleportRestartSeconds);
    }
    previousUserPosition = position;

    const std::string stand = nearestStandName(position);
    std::string previousStand;
    {
        std::lock_guard lock(userStateMutex);
        previousStand = std::exchange(userStandText, stand);
    }
    if (stand != previousStand) {
        mainWindowGlobals.editTexts([&stand](DisplayTexts& texts) { texts.userStandText = stand; });
        repaintHeader();
    }
    simUtcSeconds = unixTimeOfZulu(state.zuluYear, state.zuluDayOfYear, state.zuluTime);
    userObjectId = message.objectId;
}

} // namespace

UserAircraftState userAircraftState()
{
    std::lock_guard lock(userStateMutex);
    return userState;
}

std::string userTitle()
{
    std::lock_guard lock(userStateMutex);
    return userTitleText;
}

std::string userStandName()
{
    std::lock_guard lock(userStateMutex);
    return userStandText;
}

std::int64_t unixTimeOfZulu(std::int64_t year, std::int64_t dayOfYear, std::int64_t secondsOfDay)
{
    using namespace std::chrono;
    const sys_days newYear = std::chrono::year(static_cast<int>(year)) / January / 1;
    return (newYear.time_since_epoch().count() + dayOfYear - 1) * 86400 + secondsOfDay;
}

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
                if (event->objectType != aircraftObjectType)
                    break;
                const std::uint32_t objectId = event->event.data;
                if (event->event.eventId == eventObjectAdded && objectId > userObjectId) {
                    if (recentlyAddedIds.size() >= maxRecentlyAdded)
                        recentlyAddedIds.erase(recentlyAddedIds.begin());
                    recentlyAddedIds.push_back({objectId, 0});
                } else if (event->event.eventId == eventObjectRemoved) {
                    std::erase_if(recentlyAddedIds, [objectId](const AddedObject& a) { return a.objectId == objectId; });
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

void rememberUserStand()
{
    const UserAircraftState state = userAircraftState();
    if (!userOnGroundKnown || state.groundSpeedKt > 2.0)
        return;
    const std::string stand = nearestStandName(state.position());
    if (!stand.empty())
        rememberParkAirportStand(stand);
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

// ---- replies ----

namespace {

// Once per simulator second: creations and added objects that stayed unidentified for
// creationTimeoutSeconds are given up, so that nothing waits for them for ever.
void ageUnidentified()
{
    for (std::size_t i = 0; i < pendingCreations.size();) {
        PendingCreation& pending = pendingCreations[i];
        if (++pending.ageSeconds < creationTimeoutSeconds) {
            ++i;
            continue;
        }
        logArrow(fmt::format("creation of {} (aircraft {}) not reported by the Sim in {} s, dropped",
                             pending.callsign, pending.aircraftId, creationTimeoutSeconds));
        pushSimEvent({.objectId = 0, .aircraftId = pending.aircraftId, .kind = CreateLost});
        if (givenUpTails.size() >= maxGivenUpTails)
            givenUpTails.erase(givenUpTails.begin());
        givenUpTails.push_back(pending.callsign);
        pending = std::move(pendingCreations.back());
        pendingCreations.pop_back();
    }
    std::erase_if(recentlyAddedIds, [](AddedObject& a) { return ++a.ageSeconds >= creationTimeoutSeconds; });
}

// An object under the tail number of a creation given up: handed to the traffic thread,
// which removes it unless one of its aircraft owns it. True when it was one.
bool handOverGivenUp(std::uint32_t objectId, const std::string& atcId)
{
    const auto found = std::find(givenUpTails.begin(), givenUpTails.end(), atcId);
    if (found == givenUpTails.end())
        return false;
    givenUpTails.erase(found);
    pushSimEvent({.objectId = objectId, .aircraftId = 0, .kind = FoundGivenUp});
    return true;
}

} // namespace

void onSimObjectData(const sim::RecvSimObjectData& message, std::uint32_t size)
{
    switch (message.requestId) {
    case staticCgRequest:
        if (const std::byte* data = replyData(message, size, 16))
            pushSimEvent({.objectId = message.objectId, .aircraftId = 0, .kind = StaticCg,
                          .value1 = readAt<double>(data, 0), .value2 = readAt<double>(data, 8)});
        break;
    case userTitleRequest:
        if (const std::byte* data = replyData(message, size, 1))
            onUserTitle(textAt(data, size - offsetof(sim::RecvSimObjectData, data)));
        break;
    case userModelRequest:
        if (const std::byte* data = replyData(message, size, 32))
            onUserModel(textAt(data, 32));
        break;
    case userOnGroundRequest:
        if (const std::byte* data = replyData(message, size, 8)) {
            if (!inNullBox(userAircraftState().position())) {
                userOnGround = static_cast<std::uint32_t>(readAt<std::int64_t>(data, 0)) != 0;
                userOnGroundKnown = true;
            }
            ageUnidentified();
            simSecondTick = true;
        }
        break;
    case userStateRequest:
        onUserState(message, size);
        break;
    default:
        break;
    }
}

void onSimObjectDataByType(const sim::RecvSimObjectData& message, std::uint32_t size)
{
    if (message.requestId != rangeScanRequest || message.objectId <= userObjectId)
        return;
    const std::byte* data = replyData(message, size, 56);
    if (data == nullptr)
        return;
    const double aboveGroundFt = readAt<double>(data, 0);
    const double groundFt = readAt<double>(data, 8);
    const auto onGround = static_cast<std::uint32_t>(readAt<std::int64_t>(data, 16));
    const std::string atcId = textAt(data + 24, 32);
    const auto added = std::find_if(recentlyAddedIds.begin(), recentlyAddedIds.end(),
                                    [&](const AddedObject& a) { return a.objectId == message.objectId; });
    if (added != recentlyAddedIds.end()) {
        *added = recentlyAddedIds.back();
        recentlyAddedIds.pop_back();
        const std::uint32_t aircraftId = takePendingCreationByCallsign(atcId);
        if (aircraftId == 0) {
            if (handOverGivenUp(message.objectId, atcId))
                return;
            logArrow(fmt::format("just created, but not by {}, oid: {}, callsign \"{}\" unknown", productName,
                                 message.objectId, atcId));
            return;
        }
        releaseAndFreezeAI(message.objectId);
        if (aircraftId <= lastParkedAircraftId)
            pushSimEvent({.objectId = message.objectId, .aircraftId = aircraftId, .kind = CreatedParked});
        else
            pushSimEvent({.objectId = message.objectId, .aircraftId = aircraftId, .kind = CreatedLive,
                          .value2 = aboveGroundFt});
        return;
    }
    if (!givenUpTails.empty() && handOverGivenUp(message.objectId, atcId))
        return;
    if (aboveGroundFt <= rangeScanGroundFt && !atcId.ends_with('*'))
        pushSimEvent({.objectId = message.objectId, .aircraftId = onGround, .kind = GroundData, .value1 = groundFt,
                      .value2 = aboveGroundFt});
}

void onUserTitle(std::string_view received)
{
    if (received.empty()) {
        logLine("! title of your ac is empty?");
        return;
    }
    const std::string title = cutAtCharacter(std::string(received), maxTitleBytes);
    {
        std::lock_guard lock(userStateMutex);
        if (title == userTitleText)
            return;
        userTitleText = title;
    }
    setUserTitleText(title);
    logLine("    SimConnect: User aircraft title: " + title);
}

namespace {

double wingspanOrMax(std::string_view model)
{
    const double span = wingspanOf(model);
    return span != 0.0 ? span : maxHalfWingspanNm();
}

void deriveUserModel(std::string model)
{
    const std::string title = userTitle();
    if (model.empty()) {
        setUserTitleText("Unknown (encrypted?) aircraft");
        setStatus("171: No model info from your user aircraft received in SimConnect, CRJ7 is taken instead", true);
        userHalfWingspanNm = wingspanOrMax("CRJ7");
        return;
    }
    if (const std::size_t p = model.find(".0.text"); p != std::string::npos) {
        if (p < 4)
            throw std::out_of_range("fewer than 4 characters before .0.text");
        for (const std::size_t length : {4u, 3u, 2u}) {
            const std::string candidate = model.substr(p - length, length);
            if (wingspanOf(candidate) != 0.0) {
                model = candidate;
                break;
            }
        }
    } else if (model == "737") {
        static constexpr std::array<std::pair<const char*, const char*>, 4> variants{
            {{"DG 737-800", "B738"}, {"DG 737-700", "B737"}, {"DG 737-600", "B736"}, {"DG 737-900", "B739"}}};
        for (const auto& [needle, code] : variants) {
            if (title.find(needle) != std::string::npos) {
                model = code;
                break;
            }
        }
    }
    std::string line = "    SimConnect: User aircraft model: " + model;
    if (model.find("camerapod") != std::string::npos || model.find("Crew Vessel") != std::string::npos) {
        setMark(mainWindowGlobals.userWingspanKnown, true);
        userHalfWingspanNm = wingspanOf("E190");
        userCategory = 0;
        return;
    }
    const double maxSpan = maxHalfWingspanNm();
    double span = model.size() <= 4 ? wingspanOf(model) : maxSpan;
    bool known = span != maxSpan;
    if (span == maxSpan) {
        for (const char* airbus : {"A319", "A320", "A321"}) {
            if (title.size() >= 13 && title.compare(0, 13, std::string("Aerosoft ") + airbus) == 0) {
                model = airbus;
                line = "    SimConnect: User aircraft model deduced from title: " + model;
                known = wingspanOf(model) != 0.0;
                span = wingspanOrMax(model);
                break;
            }
        }
    }
    userHalfWingspanNm = span;
    if (known) {
        setMark(mainWindowGlobals.userWingspanKnown, true);
        line += fmt::format(", half wing span: {:.1F} meter", span * 1852.0);
    } else {
        setMark(mainWindowGlobals.userWingspanKnown, false);
        setStatus("User aircraft wing span unknown, max is taken instead, please report in my Forum!", true);
    }
    userCategory = sizeCategory(model);
    line += fmt::format(", category: {}", categoryName(static_cast<AircraftCategory>(userCategory.load())));
    logLine(line);
}

} // namespace

void onUserModel(std::string_view model)
{
    try {
        deriveUserModel(std::string(model));
    } catch (const UserErrorException&) {
        throw;
    } catch (...) {
        throw UserErrorException(73, "It looks like you have not selected an aircraft as user vehicle");
    }
}

// ---- requests ----

UserAircraftState requestUserAircraftPosition()
{
    if (!simConnectFailed) {
        std::lock_guard lock(simConnectMutex);
        if (simConnectHandle != nullptr &&
            sim::SimConnect_RequestDataOnSimObject(simConnectHandle, userStateRequest, defineUserState, sim::userObject,
                                              sim::periodOnce) != ok) {
            logArrow("SimConnect request user ac position fails");
            countSimConnectRequestError();
        }
    }
    return userAircraftState();
}

void requestUserAircraftTitleAndModel()
{
    std::lock_guard lock(simConnectMutex);
    if (simConnectHandle == nullptr)
        return;
    if (sim::SimConnect_RequestDataOnSimObject(simConnectHandle, userTitleRequest, defineUserTitle, sim::userObject,
                                          sim::periodOnce) != ok) {
        logArrow("SimConnect request user ac title fails");
        countSimConnectRequestError();
    }
    if (sim::SimConnect_RequestDataOnSimObject(simConnectHandle, userModelRequest, defineUserModel, sim::userObject,
                                          sim::periodOnce) != ok) {
        logArrow("SimConnect reques user ac model fails");
        countSimConnectRequestError();
    }
}

bool requestUserOnGround()
{
    while (!simRunning) {
        std::this_thread::sleep_for(100ms);
        if (exitBegan())
            return false;
    }
    {
        std::lock_guard lock(simConnectMutex);
        if (simConnectHandle == nullptr ||
            sim::SimConnect_RequestDataOnSimObject(simConnectHandle, userOnGroundRequest, defineUserOnGround,
                                              sim::userObject, sim::periodSecond) != ok) {
            logArrow("SimConnect request ac gnd/air fails");
            countSimConnectRequestError();
        }
    }
    while (!userOnGroundKnown || inNullBox(userStateCache.position())) {
        userStateCache = requestUserAircraftPosition();
        std::this_thread::sleep_for(500ms);
        if (exitBegan())
            return false;
    }
    requestUserAircraftTitleAndModel();
    while (inNullBox(userStateCache.position())) {
        userStateCache = requestUserAircraftPosition();
        std::this_thread::sleep_for(200ms);
        if (exitBegan())
            return false;
    }
    return !exitBegan();
}

// ---- restart ----

void reserveSimLinkQueues(std::size_t capacity)
{
    pendingCreations.reserve(capacity);
    recentlyAddedIds.reserve(capacity);
}

void clearUserAircraft()
{
    {
        std::lock_guard lock(userStateMutex);
        userState = {};
        userTitleText.clear();
        userStandText.clear();
    }
    userStateCache = {};
    previousUserPosition = {0.0, 0.0};
    userHalfWingspanNm = 0.0;
    userOnGroundKnown = false;
    userOnGround = true;
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
    recentlyAddedIds.clear();
    givenUpTails.clear();
    clearAIQueues();
    {
        std::lock_guard lock(simEventMutex);
        simEventQueue.clear();
    }
    clearUserAircraft();
}

} // namespace rtd
