#include "simulator/stand_in.hpp"

#include "core/geo.hpp"
#include "platform/platform.hpp"
#include "simulator/stand_in_internal.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace rtd::sim {

using namespace stand_in;

namespace {

constexpr double groundContactFt = 1.0; // how far above its CG height an object still touches the ground
constexpr std::size_t maxAiObjects = 1000;

} // namespace

// ---- the calls ----

Result StandInSim::open(Handle* handle, const char* name)
{
    std::lock_guard lock(mutex_);
    const std::string args = argsText("\"{}\"", name ? name : "");
    if (handle == nullptr || quit_ || failing("SimConnect_Open"))
        return finish(nullptr, "SimConnect_Open", args, failed);
    ConnectionState state;
    state.number = static_cast<std::uint32_t>(connections_.size() + 1);
    state.name = name ? name : "";
    RecvOpen message{};
    std::strncpy(message.applicationName, applicationName_.c_str(), sizeof(message.applicationName) - 1);
    message.applicationVersionMajor = applicationVersion_[0];
    message.applicationVersionMinor = applicationVersion_[1];
    message.applicationBuildMajor = applicationVersion_[2];
    message.applicationBuildMinor = applicationVersion_[3];
    state.outbox.push_back(messageOf(message, recvOpen));
    connections_.push_back(std::move(state));
    *handle = handleOf(connections_.back().number);
    lastTick_ = clock_();
    return finish(&connections_.back(), "SimConnect_Open", args, ok);
}

Result StandInSim::close(Handle handle)
{
    std::lock_guard lock(mutex_);
    ConnectionState* state = connection(handle, "SimConnect_Close");
    if (state == nullptr)
        return finish(nullptr, "SimConnect_Close", "", failed);
    if (failing("SimConnect_Close"))
        return finish(state, "SimConnect_Close", "", failed);
    closeLocked(*state);
    const Result result = finish(nullptr, "SimConnect_Close", "", ok);
    if (recordFolder_)
        writeRecordLocked();
    return result;
}

Result StandInSim::callDispatch(Handle handle, DispatchProc proc, void* context)
{
    std::vector<Message> messages;
    {
        std::lock_guard lock(mutex_);
        ConnectionState* state = connection(handle, "SimConnect_CallDispatch");
        if (state == nullptr || failing("SimConnect_CallDispatch"))
            return failed;
        catchUpClock();
        buildReplies(*state);
        if (state->outbox.empty())
            return state->ended ? failed : ok;
        messages.swap(state->outbox);
    }
    for (const Message& message : messages) {
        try {
            proc(reinterpret_cast<const RecvHeader*>(message.data()), static_cast<std::uint32_t>(message.size()), context);
        } catch (...) {
            std::lock_guard lock(mutex_);
            violations_.push_back("an exception escaped the dispatch callback");
            return failed;
        }
    }
    return ok;
}

Result StandInSim::subscribe(Handle handle, std::uint32_t eventId, const char* name)
{
    std::lock_guard lock(mutex_);
    ConnectionState* state = connection(handle, "SimConnect_SubscribeToSystemEvent");
    const std::string args = argsText("{}, \"{}\"", eventId, name);
    if (state == nullptr || failing("SimConnect_SubscribeToSystemEvent"))
        return finish(state, "SimConnect_SubscribeToSystemEvent", args, failed);
    state->systemEvents[eventId] = upper(name);
    if (upper(name) == "SIM") {
        RecvEvent event{};
        event.groupId = unusedId;
        event.eventId = eventId;
        event.data = running_ ? 1 : 0;
        state->outbox.push_back(messageOf(event, recvEvent));
    }
    return finish(state, "SimConnect_SubscribeToSystemEvent", args, ok);
}

Result StandInSim::unsubscribe(Handle handle, std::uint32_t eventId)
{
    std::lock_guard lock(mutex_);
    ConnectionState* state = connection(handle, "SimConnect_UnsubscribeFromSystemEvent");
    if (state == nullptr)
        return finish(state, "SimConnect_UnsubscribeFromSystemEvent", argsText("{}", eventId), failed);
    state->systemEvents.erase(eventId);
    return finish(state, "SimConnect_UnsubscribeFromSystemEvent", argsText("{}", eventId), ok);
}

Result StandInSim::addToDefinition(Handle handle, std::uint32_t defineId, const char* name, const char* unit,
                                   std::uint32_t type)
{
    std::lock_guard lock(mutex_);
    ConnectionState* state = connection(handle, "SimConnect_AddToDataDefinition");
    const std::string args = argsText("{}, \"{}\", \"{}\", {}", defineId, name, unit ? unit : "", type);
    if (state == nullptr || failing("SimConnect_AddToDataDefinition"))
        return finish(state, "SimConnect_AddToDataDefinition", args, failed);
    state->definitions[defineId].emplace_back(name, unit ? unit : "", type);
    return finish(state, "SimConnect_AddToDataDefinition", args, ok);
}

Result StandInSim::clearDefinition(Handle handle, std::uint32_t defineId)
{
    std::lock_guard lock(mutex_);
    ConnectionState* state = connection(handle, "SimConnect_ClearDataDefinition");
    if (state == nullptr)
        return finish(state, "SimConnect_ClearDataDefinition", argsText("{}", defineId), failed);
    state->definitions.erase(defineId);
    return finish(state, "SimConnect_ClearDataDefinition", argsText("{}", defineId), ok);
}

Result StandInSim::mapClientEvent(Handle handle, std::uint32_t eventId, const char* name)
{
    std::lock_guard lock(mutex_);
    ConnectionState* state = connection(handle, "SimConnect_MapClientEventToSimEvent");
    const std::string args = argsText("{}, \"{}\"", eventId, name);
    if (state == nullptr || failing("SimConnect_MapClientEventToSimEvent"))
        return finish(state, "SimConnect_MapClientEventToSimEvent", args, failed);
    state->clientEvents[eventId] = upper(name);
    return finish(state, "SimConnect_MapClientEventToSimEvent", args, ok);
}

Result StandInSim::addToGroup(Handle handle, std::uint32_t groupId, std::uint32_t eventId, bool maskable)
{
    std::lock_guard lock(mutex_);
    ConnectionState* state = connection(handle, "SimConnect_AddClientEventToNotificationGroup");
    const std::string args = argsText("{}, {}, {}", groupId, eventId, maskable);
    if (state == nullptr)
        return finish(state, "SimConnect_AddClientEventToNotificationGroup", args, failed);
    if (!state->clientEvents.contains(eventId)) {
        const Result result = finish(state, "SimConnect_AddClientEventToNotificationGroup", args, ok);
        queueException(*state, exceptionUnrecognizedId, 2);
        return result;
    }
    state->groups[groupId].push_back(eventId);
    return finish(state, "SimConnect_AddClientEventToNotificationGroup", args, ok);
}

Result StandInSim::setGroupPriority(Handle handle, std::uint32_t groupId, std::uint32_t priority)
{
    std::lock_guard lock(mutex_);
    ConnectionState* state = connection(handle, "SimConnect_SetNotificationGroupPriority");
    const std::string args = argsText("{}, {}", groupId, priority);
    if (state == nullptr)
        return finish(state, "SimConnect_SetNotificationGroupPriority", args, failed);
    state->groupPriorities[groupId] = priority;
    return finish(state, "SimConnect_SetNotificationGroupPriority", args, ok);
}

Result StandInSim::requestData(Handle handle, std::uint32_t requestId, std::uint32_t defineId, std::uint32_t objectId,
                               std::uint32_t period)
{
    std::lock_guard lock(mutex_);
    ConnectionState* state = connection(handle, "SimConnect_RequestDataOnSimObject");
    const std::string args = argsText("{}, {}, {}, {}", requestId, defineId, objectId, period);
    if (state == nullptr || failing("SimConnect_RequestDataOnSimObject"))
        return finish(state, "SimConnect_RequestDataOnSimObject", args, failed);
    const Result result = finish(state, "SimConnect_RequestDataOnSimObject", args, ok);
    if (!sameObjectExists(objectId) || !state->definitions.contains(defineId)) {
        queueException(*state, exceptionUnrecognizedId, !state->definitions.contains(defineId) ? 2 : 3);
        return result;
    }
    const DataRequest request{requestId, defineId, objectId, period};
    std::erase_if(state->perSecondRequests, [requestId](const DataRequest& r) { return r.requestId == requestId; });
    if (period == periodOnce)
        state->onceRequests.push_back(request);
    else if (period != periodNever)
        state->perSecondRequests.push_back(request);
    return result;
}

Result StandInSim::requestDataByType(Handle handle, std::uint32_t requestId, std::uint32_t defineId,
                                     std::uint32_t radiusMetres, std::uint32_t objectType)
{
    std::lock_guard lock(mutex_);
    ConnectionState* state = connection(handle, "SimConnect_RequestDataOnSimObjectType");
    const std::string args = argsText("{}, {}, {}, {}", requestId, defineId, radiusMetres, objectType);
    if (state == nullptr || failing("SimConnect_RequestDataOnSimObjectType"))
        return finish(state, "SimConnect_RequestDataOnSimObjectType", args, failed);
    const Result result = finish(state, "SimConnect_RequestDataOnSimObjectType", args, ok);
    if (!state->definitions.contains(defineId))
        queueException(*state, exceptionUnrecognizedId, 2);
    else
        state->rangeScans.push_back({requestId, defineId, radiusMetres, objectType});
    return result;
}

Result StandInSim::setData(Handle handle, std::uint32_t defineId, std::uint32_t objectId, std::uint32_t unitSize,
                           const void* data)
{
    std::lock_guard lock(mutex_);
    ConnectionState* state = connection(handle, "SimConnect_SetDataOnSimObject");
    const std::string args = argsText("{}, {}, {}", defineId, objectId, unitSize);
    if (state == nullptr || failing("SimConnect_SetDataOnSimObject"))
        return finish(state, "SimConnect_SetDataOnSimObject", args, failed);
    const auto definition = state->definitions.find(defineId);
    const bool position = definition != state->definitions.end() &&
                          std::any_of(definition->second.begin(), definition->second.end(),
                                      [](const Datum& d) { return d.variable == Variable::latitude; });
    const Result result = finish(state, "SimConnect_SetDataOnSimObject", args, ok, !position);
    if (objectId == userObject || objectId == user_.id) {
        violations_.push_back(fmt::format("definition {} written to the user aircraft", defineId));
        return result;
    }
    const auto object = objects_.find(objectId);
    if (object == objects_.end() || definition == state->definitions.end()) {
        queueException(*state, exceptionUnrecognizedId, object == objects_.end() ? 2 : 1);
        return result;
    }
    std::size_t size = 0;
    for (const Datum& datum : definition->second)
        size += fieldSize(datum.type);
    if (size != unitSize) {
        queueException(*state, exceptionInvalidDataSize, 6);
        return result;
    }
    AiState& ai = object->second;
    const auto* bytes = static_cast<const std::byte*>(data);
    for (const Datum& datum : definition->second) {
        double number = 0.0;
        if (datum.type == dataFloat64)
            std::memcpy(&number, bytes, 8);
        bytes += fieldSize(datum.type);
        if (!datum.known)
            continue;
        const double internal = number / datum.factor;
        switch (datum.variable) {
        case Variable::latitude: ai.lat = internal; break;
        case Variable::longitude: ai.lon = internal; break;
        case Variable::pitch: ai.pitch = internal; break;
        case Variable::bank: ai.bank = internal; break;
        case Variable::heading: ai.heading = internal; break;
        case Variable::altitude: ai.alt = internal; break;
        case Variable::verticalSpeed: ai.verticalSpeedFps = internal; break;
        case Variable::airspeed: ai.airspeedKt = internal; break;
        case Variable::spoilersHandle: ai.def401Values[0] = internal; break;
        case Variable::throttle1: ai.def401Values[1] = internal; break;
        case Variable::throttle2: ai.def401Values[2] = internal; break;
        default: break;
        }
    }
    if (position) {
        ++ai.positionWrites;
        // An object written down to its static CG height above the ground stands on it.
        const auto found = staticCg_.find(ai.title);
        const double cgFt = found != staticCg_.end() ? found->second.first : defaultStaticCgFt;
        ai.onGround = ai.alt - groundFt_ <= cgFt + groundContactFt;
    }
    return result;
}

Result StandInSim::transmitClientEvent(Handle handle, std::uint32_t objectId, std::uint32_t eventId,
                                       std::uint32_t data, std::uint32_t groupId)
{
    std::lock_guard lock(mutex_);
    ConnectionState* state = connection(handle, "SimConnect_TransmitClientEvent");
    const std::string args = argsText("{}, {}, {}, {}", objectId, eventId, data, groupId);
    if (state == nullptr || failing("SimConnect_TransmitClientEvent"))
        return finish(state, "SimConnect_TransmitClientEvent", args, failed);
    const Result result = finish(state, "SimConnect_TransmitClientEvent", args, ok);
    const auto mapped = state->clientEvents.find(eventId);
    const auto object = objects_.find(objectId);
    if (mapped == state->clientEvents.end() || object == objects_.end()) {
        queueException(*state, exceptionUnrecognizedId, object == objects_.end() ? 1 : 2);
        return result;
    }
    const std::string& name = mapped->second;
    if (recordCalls_)
        events_[objectId].push_back({name, data});
    AiState& ai = object->second;
    static const std::map<std::string, std::uint32_t, std::less<>> lightEvents{
        {"NAV_LIGHTS_SET", lightNav},   {"BEACON_LIGHTS_SET", lightBeacon}, {"LANDING_LIGHTS_SET", lightLanding},
        {"TAXI_LIGHTS_SET", lightTaxi}, {"STROBES_SET", lightStrobe},       {"LOGO_LIGHTS_SET", lightLogo},
        {"CABIN_LIGHTS_SET", lightCabin}};
    if (const auto light = lightEvents.find(name); light != lightEvents.end())
        ai.lights = data != 0 ? ai.lights | light->second : ai.lights & ~light->second;
    else if (name == "ALL_LIGHTS_TOGGLE")
        ai.lights ^= 0x7Fu;
    else if (name == "GEAR_SET")
        ai.gear = data != 0;
    else if (name == "FLAPS_SET")
        ai.flaps = data;
    else if (name == "THROTTLE_SET")
        ai.throttle = data;
    else if (name == "SPOILERS_SET")
        ai.spoilers = data;
    else if (name == "ENGINE_AUTO_START" || name == "ENGINE_AUTO_SHUTDOWN")
        ai.engines = name == "ENGINE_AUTO_START";
    else if (name == "FREEZE_LATITUDE_LONGITUDE_SET")
        ai.freezeLatLon = data != 0;
    else if (name == "FREEZE_ALTITUDE_SET")
        ai.freezeAltitude = data != 0;
    else if (name == "FREEZE_ATTITUDE_SET")
        ai.freezeAttitude = data != 0;
    return result;
}

Result StandInSim::releaseControl(Handle handle, std::uint32_t objectId, std::uint32_t requestId)
{
    std::lock_guard lock(mutex_);
    ConnectionState* state = connection(handle, "SimConnect_AIReleaseControl");
    const std::string args = argsText("{}, {}", objectId, requestId);
    if (state == nullptr || failing("SimConnect_AIReleaseControl"))
        return finish(state, "SimConnect_AIReleaseControl", args, failed);
    const Result result = finish(state, "SimConnect_AIReleaseControl", args, ok);
    const auto object = objects_.find(objectId);
    if (object == objects_.end())
        queueException(*state, exceptionUnrecognizedId, 1);
    else
        object->second.released = true;
    return result;
}

Result StandInSim::createAircraft(Handle handle, const char* title, const char* tail, const InitPosition& position,
                                  std::uint32_t requestId)
{
    std::lock_guard lock(mutex_);
    ConnectionState* state = connection(handle, "SimConnect_AICreateNonATCAircraft");
    const std::string args = argsText("\"{}\", \"{}\", {:.6f}, {:.6f}, {:.0f}, {}", title, tail, position.latitude,
                                         position.longitude, position.altitude, requestId);
    if (state == nullptr || failing("SimConnect_AICreateNonATCAircraft"))
        return finish(state, "SimConnect_AICreateNonATCAircraft", args, failed);
    const Result result = finish(state, "SimConnect_AICreateNonATCAircraft", args, ok);
    if (refusedTitles_.contains(title)) {
        queueException(*state, exceptionCreateObjectFailed, 1);
        return result;
    }
    if (objects_.size() + pendingCreations_.size() >= maxAiObjects) {
        queueException(*state, exceptionTooManyObjects, 0);
        return result;
    }
    if (swallowed_ > 0) {
        --swallowed_;
        return result;
    }
    AiState object;
    object.id = nextObjectId_++;
    object.type = objectTypeOf(title);
    object.title = title;
    object.tail = std::string(tail).substr(0, maxTailNumberChars); // as the simulator keeps it
    object.lat = position.latitude;
    object.lon = position.longitude;
    object.alt = position.altitude;
    object.pitch = position.pitch / degreesPerRadian;
    object.bank = position.bank / degreesPerRadian;
    object.heading = position.heading / degreesPerRadian;
    object.airspeedKt = position.airspeed;
    object.onGround = position.onGround != 0;
    object.ownerConnection = state->number;
    pendingCreations_.push_back({frame_ + 1, state->number, std::move(object)});
    return result;
}

Result StandInSim::removeObject(Handle handle, std::uint32_t objectId, std::uint32_t requestId)
{
    std::lock_guard lock(mutex_);
    ConnectionState* state = connection(handle, "SimConnect_AIRemoveObject");
    const std::string args = argsText("{}, {}", objectId, requestId);
    if (state == nullptr || failing("SimConnect_AIRemoveObject"))
        return finish(state, "SimConnect_AIRemoveObject", args, failed);
    const Result result = finish(state, "SimConnect_AIRemoveObject", args, ok);
    const auto object = objects_.find(objectId);
    if (object == objects_.end()) {
        queueException(*state, exceptionUnrecognizedId, 1);
        return result;
    }
    const std::uint32_t type = object->second.type;
    objects_.erase(object);
    events_.erase(objectId);
    queueSystemEvent("OBJECTREMOVED", objectId, type);
    return result;
}

Result StandInSim::setFlightPlan(Handle handle, std::uint32_t objectId, const char* path, std::uint32_t requestId)
{
    std::lock_guard lock(mutex_);
    ConnectionState* state = connection(handle, "SimConnect_AISetAircraftFlightPlan");
    const std::string args = argsText("{}, \"{}\", {}", objectId, path, requestId);
    if (state == nullptr || failing("SimConnect_AISetAircraftFlightPlan"))
        return finish(state, "SimConnect_AISetAircraftFlightPlan", args, failed);
    const Result result = finish(state, "SimConnect_AISetAircraftFlightPlan", args, ok);
    const auto object = objects_.find(objectId);
    // The path comes as the library takes it: narrow, and the ".pln" extension optional.
    std::error_code error;
    std::filesystem::path file = platform::pathFromNarrow(path);
    if (!std::filesystem::is_regular_file(file, error))
        file += ".pln";
    if (object == objects_.end())
        queueException(*state, exceptionUnrecognizedId, 1);
    else if (!std::filesystem::is_regular_file(file, error))
        queueException(*state, exceptionLoadFlightplanFailed, 2);
    else
        object->second.flightPlan = platform::pathToUtf8(file);
    return result;
}

Result StandInSim::lastSentPacketId(Handle handle, std::uint32_t* packetId)
{
    std::lock_guard lock(mutex_);
    ConnectionState* state = connection(handle, "SimConnect_GetLastSentPacketID");
    if (state == nullptr || packetId == nullptr || failing("SimConnect_GetLastSentPacketID"))
        return finish(nullptr, "SimConnect_GetLastSentPacketID", "", failed);
    *packetId = state->packetId;
    return finish(nullptr, "SimConnect_GetLastSentPacketID", "", ok);
}

} // namespace rtd::sim
