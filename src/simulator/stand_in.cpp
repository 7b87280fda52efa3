#include "simulator/stand_in.hpp"

#include "core/geo.hpp"
#include "platform/platform.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstring>
#include <numbers>

namespace rtd::sim {

namespace {

using Variable = StandInSim::Variable;

constexpr double degreesPerRadian = 180.0 / std::numbers::pi;
constexpr double defaultStaticCgFt = 8.0;
constexpr double defaultStaticPitchDeg = 0.7;
constexpr double groundContactFt = 1.0; // how far above its CG height an object still touches the ground
constexpr std::uint32_t messageVersion = 1;
constexpr std::size_t maxAiObjects = 1000;
constexpr std::int64_t secondsPerDay = 86400;

std::string upper(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

std::string lower(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

std::uint32_t handleNumber(Handle handle)
{
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(handle));
}

Handle handleOf(std::uint32_t number)
{
    return reinterpret_cast<Handle>(static_cast<std::uintptr_t>(number));
}

std::size_t fieldSize(std::uint32_t type)
{
    return type == dataString32 ? 32 : 8; // a STRINGV has no fixed size
}

template <typename Record>
StandInSim::Message messageOf(const Record& record, std::uint32_t id)
{
    StandInSim::Message message(sizeof(Record));
    std::memcpy(message.data(), &record, sizeof(Record));
    const RecvHeader header{static_cast<std::uint32_t>(sizeof(Record)), messageVersion, id};
    std::memcpy(message.data(), &header, sizeof(header));
    return message;
}

void appendBytes(StandInSim::Message& message, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::byte*>(data);
    message.insert(message.end(), bytes, bytes + size);
}

// A variable's value: a number or a text.
struct Value {
    double number = 0.0;
    std::string_view text;
};

bool isAngleUnit(const std::string& unit, double& factor)
{
    if (unit == "radians" || unit == "radian") {
        factor = 1.0;
        return true;
    }
    if (unit == "degrees" || unit == "degree") {
        factor = degreesPerRadian;
        return true;
    }
    return false;
}

enum class Kind { text, position, angle, length, vspeed, speed, percent, number };

struct VariableInfo {
    const char* name;
    Variable variable;
    Kind kind;
};

constexpr std::array<VariableInfo, 25> knownVariables{{
    {"TITLE", Variable::title, Kind::text},
    {"ATC MODEL", Variable::atcModel, Kind::text},
    {"ATC ID", Variable::atcId, Kind::text},
    {"PLANE LATITUDE", Variable::latitude, Kind::position},
    {"PLANE LONGITUDE", Variable::longitude, Kind::position},
    {"PLANE PITCH DEGREES", Variable::pitch, Kind::angle},
    {"PLANE BANK DEGREES", Variable::bank, Kind::angle},
    {"PLANE HEADING DEGREES TRUE", Variable::heading, Kind::angle},
    {"PLANE ALTITUDE", Variable::altitude, Kind::length},
    {"PLANE ALT ABOVE GROUND", Variable::aboveGround, Kind::length},
    {"GROUND ALTITUDE", Variable::groundAltitude, Kind::length},
    {"STATIC CG TO GROUND", Variable::staticCgHeight, Kind::length},
    {"STATIC PITCH", Variable::staticPitch, Kind::angle},
    {"GROUND VELOCITY", Variable::groundVelocity, Kind::speed},
    {"AIRSPEED TRUE", Variable::airspeed, Kind::speed},
    {"VERTICAL SPEED", Variable::verticalSpeed, Kind::vspeed},
    {"ZULU TIME", Variable::zuluTime, Kind::number},
    {"ZULU DAY OF YEAR", Variable::zuluDay, Kind::number},
    {"ZULU YEAR", Variable::zuluYear, Kind::number},
    {"LIGHT STATES", Variable::lights, Kind::number},
    {"LIGHT ON STATES", Variable::lights, Kind::number},
    {"SIM ON GROUND", Variable::onGround, Kind::number},
    {"SPOILERS HANDLE POSITION", Variable::spoilersHandle, Kind::percent},
    {"GENERAL ENG THROTTLE LEVER POSITION:1", Variable::throttle1, Kind::percent},
    {"GENERAL ENG THROTTLE LEVER POSITION:2", Variable::throttle2, Kind::percent},
}};

// The factor from the stand-in's unit of a kind (degrees of position, radians, feet, feet
// per second, knots, percent, plain numbers) to `unit`; false when the unit does not fit.
bool unitFactor(Kind kind, const std::string& unit, double& factor)
{
    factor = 1.0;
    switch (kind) {
    case Kind::text:
        return unit.empty();
    case Kind::angle:
        return isAngleUnit(unit, factor);
    case Kind::position:
        if (isAngleUnit(unit, factor)) {
            factor = factor == 1.0 ? 1.0 / degreesPerRadian : 1.0;
            return true;
        }
        return false;
    case Kind::length:
        if (unit == "meters" || unit == "metres" || unit == "meter")
            factor = 0.3048;
        return factor != 1.0 || unit == "feet" || unit == "foot";
    case Kind::vspeed:
        if (unit == "feet per minute")
            factor = 60.0;
        return factor != 1.0 || unit == "feet per second";
    case Kind::speed:
        return unit == "knots" || unit == "knot";
    case Kind::percent:
        return unit == "percent";
    case Kind::number:
        return unit == "number" || unit == "seconds" || unit == "mask" || unit == "bool";
    }
    return false;
}

} // namespace

StandInSim::Datum::Datum(std::string datumName, std::string datumUnit, std::uint32_t datumType)
    : name(upper(datumName)), unit(lower(datumUnit)), type(datumType)
{
    for (const VariableInfo& info : knownVariables) {
        if (name == info.name) {
            variable = info.variable;
            known = info.variable != Variable::unknown && unitFactor(info.kind, unit, factor);
            return;
        }
    }
}

// The variables one aircraft (the user or an AI object) answers, in the client's unit.
struct StandInSim::ValueSource {
    const StandInSim& sim;
    const UserState* user = nullptr;
    const AiState* ai = nullptr;

    // False for a variable or unit the stand-in does not know.
    bool get(const Datum& datum, Value& value) const
    {
        if (!datum.known)
            return false;
        double internal = 0.0;
        switch (datum.variable) {
        case Variable::title:
            value.text = user ? user->title : ai->title;
            return true;
        case Variable::atcModel:
            value.text = user ? std::string_view(user->atcModel) : std::string_view();
            return true;
        case Variable::atcId:
            value.text = user ? user->tail : ai->tail;
            return true;
        case Variable::latitude: internal = user ? user->lat : ai->lat; break;
        case Variable::longitude: internal = user ? user->lon : ai->lon; break;
        case Variable::pitch: internal = user ? user->pitch : ai->pitch; break;
        case Variable::bank: internal = user ? user->bank : ai->bank; break;
        case Variable::heading: internal = user ? user->heading : ai->heading; break;
        case Variable::altitude: internal = user ? user->altFt : ai->alt; break;
        case Variable::aboveGround: internal = (user ? user->altFt : ai->alt) - sim.groundFt_; break;
        case Variable::groundAltitude: internal = sim.groundFt_; break;
        case Variable::staticCgHeight:
        case Variable::staticPitch: {
            const auto found = sim.staticCg_.find(user ? user->title : ai->title);
            const auto cg = found != sim.staticCg_.end() ? found->second : std::pair{defaultStaticCgFt, defaultStaticPitchDeg / degreesPerRadian};
            internal = datum.variable == Variable::staticCgHeight ? cg.first : cg.second;
            break;
        }
        case Variable::groundVelocity:
        case Variable::airspeed: internal = user ? user->gsKt : ai->airspeedKt; break;
        case Variable::verticalSpeed: internal = user ? 0.0 : ai->verticalSpeedFps; break;
        case Variable::zuluTime: internal = static_cast<double>(sim.zuluSeconds_); break;
        case Variable::zuluDay: internal = static_cast<double>(sim.zuluDay_); break;
        case Variable::zuluYear: internal = static_cast<double>(sim.zuluYear_); break;
        case Variable::lights: internal = static_cast<double>(user ? user->lights : ai->lights); break;
        case Variable::onGround: internal = (user ? user->onGround : ai->onGround) ? 1.0 : 0.0; break;
        case Variable::spoilersHandle: internal = ai ? ai->def401Values[0] : 0.0; break;
        case Variable::throttle1: internal = ai ? ai->def401Values[1] : 0.0; break;
        case Variable::throttle2: internal = ai ? ai->def401Values[2] : 0.0; break;
        case Variable::unknown: return false;
        }
        value.number = internal * datum.factor;
        return true;
    }
};

StandInSim::StandInSim(Mode mode, Clock clock) : mode_(mode), clock_(std::move(clock))
{
    if (!clock_)
        clock_ = [] { return std::chrono::steady_clock::now(); };
    lastTick_ = clock_();
    user_.title = "Stand-in Airliner";
    user_.atcModel = "ATCCOM.AC_MODEL B738.0.text";
    user_.tail = "N738RT";
}

StandInSim::~StandInSim() = default;

// ---- script ----

void StandInSim::setUser(const UserSetup& user)
{
    std::lock_guard lock(mutex_);
    static_cast<UserSetup&>(user_) = user;
}

void StandInSim::setUserTitle(std::string title)
{
    std::lock_guard lock(mutex_);
    user_.title = std::move(title);
}

void StandInSim::setUserAtcModel(std::string model)
{
    std::lock_guard lock(mutex_);
    user_.atcModel = std::move(model);
}

void StandInSim::setUserTail(std::string tail)
{
    std::lock_guard lock(mutex_);
    user_.tail = std::move(tail);
}

void StandInSim::setRunning(bool running)
{
    std::lock_guard lock(mutex_);
    running_ = running;
    queueSystemEvent("SIM", running ? 1 : 0);
}

void StandInSim::frames(int count)
{
    std::lock_guard lock(mutex_);
    for (int i = 0; i < count; ++i)
        advanceFrame();
}

void StandInSim::seconds(int count)
{
    std::lock_guard lock(mutex_);
    const std::int64_t target = seconds_ + count;
    while (seconds_ < target)
        advanceFrame();
}

void StandInSim::setFrameRate(float framesPerSecond)
{
    std::lock_guard lock(mutex_);
    frameRate_ = std::max(framesPerSecond, 1.0f);
}

void StandInSim::setGround(double elevationFt)
{
    std::lock_guard lock(mutex_);
    groundFt_ = elevationFt;
}

void StandInSim::setZulu(std::int64_t year, std::int64_t dayOfYear, std::int64_t secondsOfDay)
{
    std::lock_guard lock(mutex_);
    zuluYear_ = year;
    zuluDay_ = dayOfYear;
    zuluSeconds_ = secondsOfDay;
}

void StandInSim::setApplication(std::string name, std::array<std::uint32_t, 4> version)
{
    std::lock_guard lock(mutex_);
    applicationName_ = std::move(name);
    applicationVersion_ = version;
}

void StandInSim::setStaticCg(std::string title, double heightFt, double pitchDegrees)
{
    std::lock_guard lock(mutex_);
    staticCg_[std::move(title)] = {heightFt, pitchDegrees / degreesPerRadian};
}

void StandInSim::refuseTitle(std::string title)
{
    std::lock_guard lock(mutex_);
    refusedTitles_.insert(std::move(title));
}

void StandInSim::swallowCreations(int count)
{
    std::lock_guard lock(mutex_);
    swallowed_ += count;
}

void StandInSim::hideFromRangeScan(std::uint32_t objectId)
{
    std::lock_guard lock(mutex_);
    hidden_.insert(objectId);
}

void StandInSim::failNext(std::string call, int count)
{
    std::lock_guard lock(mutex_);
    failures_[std::move(call)] += count;
}

void StandInSim::recordCalls(bool on)
{
    std::lock_guard lock(mutex_);
    recordCalls_ = on;
}

void StandInSim::failOpen(int count)
{
    failNext("SimConnect_Open", count);
}

std::uint32_t StandInSim::addForeignAircraft(std::string title, std::string tail, double lat, double lon,
                                             double altFt, bool onGround)
{
    std::lock_guard lock(mutex_);
    AiState object;
    object.id = nextObjectId_++;
    object.title = std::move(title);
    object.tail = std::move(tail);
    object.lat = lat;
    object.lon = lon;
    object.alt = altFt;
    object.onGround = onGround;
    object.foreign = true;
    objects_[object.id] = object;
    queueSystemEvent("OBJECTADDED", object.id, objectTypeAircraft);
    return object.id;
}

void StandInSim::loadFlight()
{
    std::lock_guard lock(mutex_);
    queueSystemEvent("FLIGHTLOADED", 0);
}

void StandInSim::newFlightFile(std::string path)
{
    std::lock_guard lock(mutex_);
    for (ConnectionState& state : connections_) {
        for (const auto& [eventId, name] : state.systemEvents) {
            if (!state.open || name != "FLIGHTLOADED")
                continue;
            RecvEventFilename event{};
            event.event.eventId = eventId;
            event.event.groupId = unusedId;
            std::strncpy(event.fileName, path.c_str(), sizeof(event.fileName) - 1);
            state.outbox.push_back(messageOf(event, recvEventFilename));
        }
    }
}

void StandInSim::quit()
{
    std::lock_guard lock(mutex_);
    quit_ = true;
    running_ = false;
    for (ConnectionState& state : connections_) {
        if (!state.open || state.ended)
            continue;
        state.outbox.push_back(messageOf(RecvHeader{}, recvQuit));
        state.ended = true;
    }
}

// ---- read back ----

UserState StandInSim::user() const
{
    std::lock_guard lock(mutex_);
    return user_;
}

std::vector<AiState> StandInSim::objects() const
{
    std::lock_guard lock(mutex_);
    std::vector<AiState> result;
    for (const auto& [id, object] : objects_)
        result.push_back(object);
    return result;
}

std::optional<AiState> StandInSim::object(std::uint32_t id) const
{
    std::lock_guard lock(mutex_);
    const auto found = objects_.find(id);
    return found == objects_.end() ? std::nullopt : std::optional(found->second);
}

std::vector<CallRecord> StandInSim::calls() const
{
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<ClientEventRecord> StandInSim::eventsTo(std::uint32_t objectId) const
{
    std::lock_guard lock(mutex_);
    const auto found = events_.find(objectId);
    return found == events_.end() ? std::vector<ClientEventRecord>{} : found->second;
}

int StandInSim::openConnections() const
{
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(connections_.begin(), connections_.end(),
                                          [](const ConnectionState& state) { return state.open; }));
}

std::vector<std::string> StandInSim::violations() const
{
    std::lock_guard lock(mutex_);
    return violations_;
}

std::int64_t StandInSim::frameCount() const
{
    std::lock_guard lock(mutex_);
    return frame_;
}

std::int64_t StandInSim::simulatedSeconds() const
{
    std::lock_guard lock(mutex_);
    return seconds_;
}

// ---- inner workings (lock held) ----

StandInSim::ConnectionState* StandInSim::connection(Handle handle, const char* call)
{
    const std::uint32_t number = handleNumber(handle);
    if (number == 0 || number > connections_.size() || !connections_[number - 1].open) {
        violations_.push_back(fmt::format("{} on a {} handle", call, number == 0 ? "null" : "closed"));
        return nullptr;
    }
    return &connections_[number - 1];
}

bool StandInSim::failing(std::string_view call)
{
    if (failures_.empty())
        return false;
    const auto found = failures_.find(call);
    if (found == failures_.end() || found->second == 0)
        return false;
    --found->second;
    return true;
}

Result StandInSim::finish(ConnectionState* state, const char* call, std::string args, Result result, bool log)
{
    if (state != nullptr && result == ok)
        ++state->packetId;
    if (log && recordCalls_)
        calls_.push_back({frame_, call, std::move(args), result});
    return result;
}

void StandInSim::queueException(ConnectionState& state, std::uint32_t exception, std::uint32_t index)
{
    RecvException message{};
    message.exception = exception;
    message.sendId = state.packetId;
    message.index = index;
    state.outbox.push_back(messageOf(message, recvException));
}

void StandInSim::queueSystemEvent(const std::string& name, std::uint32_t data, std::uint32_t objectType)
{
    for (ConnectionState& state : connections_) {
        if (!state.open || state.ended)
            continue;
        for (const auto& [eventId, subscribed] : state.systemEvents) {
            if (subscribed != name)
                continue;
            if (name == "OBJECTADDED" || name == "OBJECTREMOVED") {
                RecvEventObjectAddRemove event{};
                event.event.groupId = unusedId;
                event.event.eventId = eventId;
                event.event.data = data;
                event.objectType = objectType;
                state.outbox.push_back(messageOf(event, recvEventObjectAddRemove));
            } else {
                RecvEvent event{};
                event.groupId = unusedId;
                event.eventId = eventId;
                event.data = data;
                state.outbox.push_back(messageOf(event, recvEvent));
            }
        }
    }
}

void StandInSim::advanceFrame()
{
    ++frame_;
    for (auto it = pendingCreations_.begin(); it != pendingCreations_.end();) {
        if (it->dueFrame > frame_) {
            ++it;
            continue;
        }
        if (it->connection == 0 || connections_[it->connection - 1].open) {
            objects_[it->object.id] = it->object;
            queueSystemEvent("OBJECTADDED", it->object.id, objectTypeAircraft);
        }
        it = pendingCreations_.erase(it);
    }
    if (running_) {
        for (ConnectionState& state : connections_) {
            if (!state.open || state.ended)
                continue;
            for (const auto& [eventId, name] : state.systemEvents) {
                if (name != "FRAME")
                    continue;
                RecvEventFrame event{};
                event.event.groupId = unusedId;
                event.event.eventId = eventId;
                event.frameRate = frameRate_;
                event.simSpeed = 1.0f;
                state.outbox.push_back(messageOf(event, recvEventFrame));
            }
        }
    }
    if (++framesThisSecond_ < static_cast<std::int64_t>(std::lround(frameRate_)))
        return;
    framesThisSecond_ = 0;
    ++seconds_;
    if (++zuluSeconds_ >= secondsPerDay) {
        zuluSeconds_ = 0;
        ++zuluDay_;
    }
    if (running_) {
        for (ConnectionState& state : connections_) {
            if (!state.open || state.ended)
                continue;
            for (const DataRequest& request : state.perSecondRequests)
                if (sameObjectExists(request.objectId))
                    state.outbox.push_back(dataReply(state, recvSimObjectData, request, request.objectId, 1, 1));
        }
    }
    if (recordFolder_) {
        appendTrackLocked();
        writeRecordLocked();
    }
    while (!scheduled_.empty() && scheduled_.front().first <= seconds_) {
        const auto action = std::move(scheduled_.front().second);
        scheduled_.erase(scheduled_.begin());
        action(*this);
    }
}

void StandInSim::catchUpClock()
{
    if (mode_ != Mode::freeRunning)
        return;
    const auto now = clock_();
    const auto framePeriod = std::chrono::duration<double>(1.0 / frameRate_);
    const auto elapsed = std::chrono::duration<double>(now - lastTick_);
    const auto owed = static_cast<std::int64_t>(elapsed / framePeriod);
    const std::int64_t capped = std::min<std::int64_t>(owed, std::lround(frameRate_));
    for (std::int64_t i = 0; i < capped; ++i)
        advanceFrame();
    if (owed > capped)
        lastTick_ = now;
    else
        lastTick_ += std::chrono::duration_cast<std::chrono::steady_clock::duration>(framePeriod * static_cast<double>(owed));
}

bool StandInSim::sameObjectExists(std::uint32_t objectId) const
{
    return objectId == userObject || objectId == user_.id || objects_.contains(objectId);
}

StandInSim::Message StandInSim::dataReply(ConnectionState& state, std::uint32_t recvId, const DataRequest& request,
                                          std::uint32_t objectId, std::uint32_t entry, std::uint32_t outOf)
{
    RecvSimObjectData header{};
    header.requestId = request.requestId;
    header.objectId = objectId == userObject ? user_.id : objectId;
    header.defineId = request.defineId;
    header.entryNumber = entry;
    header.outOf = outOf;
    const std::vector<Datum>& definition = state.definitions[request.defineId];
    header.defineCount = static_cast<std::uint32_t>(definition.size());
    Message message = messageOf(header, recvId);
    message.resize(offsetof(RecvSimObjectData, data));
    const bool isUser = header.objectId == user_.id;
    const ValueSource source{*this, isUser ? &user_ : nullptr, isUser ? nullptr : &objects_.at(header.objectId)};
    for (const Datum& datum : definition) {
        Value value;
        if (!source.get(datum, value))
            violations_.push_back(fmt::format("definition {} asks for \"{}\" in \"{}\"", request.defineId, datum.name, datum.unit));
        if (datum.type == dataFloat64) {
            appendBytes(message, &value.number, 8);
        } else if (datum.type == dataInt64) {
            const auto integer = static_cast<std::int64_t>(std::llround(value.number));
            appendBytes(message, &integer, 8);
        } else if (datum.type == dataString32) {
            char text[32]{};
            value.text.copy(text, sizeof(text) - 1);
            appendBytes(message, text, sizeof(text));
        } else {
            std::string text(value.text);
            text.resize((text.size() + 4) / 4 * 4, '\0');
            appendBytes(message, text.data(), text.size());
        }
    }
    const auto size = static_cast<std::uint32_t>(message.size());
    std::memcpy(message.data(), &size, sizeof(size));
    return message;
}

void StandInSim::buildReplies(ConnectionState& state)
{
    for (const DataRequest& request : state.onceRequests)
        if (sameObjectExists(request.objectId))
            state.outbox.push_back(dataReply(state, recvSimObjectData, request, request.objectId, 1, 1));
    state.onceRequests.clear();
    for (const RangeScan& scan : state.rangeScans) {
        std::vector<std::uint32_t> inRange{user_.id};
        const LatLon centre{user_.lat, user_.lon};
        for (const auto& [id, object] : objects_)
            if (!hidden_.contains(id) && distanceNm(centre, {object.lat, object.lon}) * 1852.0 <= scan.radiusMetres)
                inRange.push_back(id);
        const DataRequest request{scan.requestId, scan.defineId, 0, periodOnce};
        for (std::size_t i = 0; i < inRange.size(); ++i)
            state.outbox.push_back(dataReply(state, recvSimObjectDataByType, request, inRange[i],
                                             static_cast<std::uint32_t>(i + 1), static_cast<std::uint32_t>(inRange.size())));
    }
    state.rangeScans.clear();
}

void StandInSim::closeLocked(ConnectionState& state)
{
    state.open = false;
    state.outbox.clear();
    for (auto it = objects_.begin(); it != objects_.end();) {
        if (it->second.ownerConnection == state.number)
            it = objects_.erase(it);
        else
            ++it;
    }
    std::erase_if(pendingCreations_, [&state](const PendingCreation& p) { return p.connection == state.number; });
}

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
        state->rangeScans.push_back({requestId, defineId, radiusMetres});
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
    if (!objects_.erase(objectId)) {
        queueException(*state, exceptionUnrecognizedId, 1);
        return result;
    }
    events_.erase(objectId);
    queueSystemEvent("OBJECTREMOVED", objectId, objectTypeAircraft);
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

// ---- installation ----

namespace {

std::mutex installMutex;
std::shared_ptr<StandInSim> installedOwner; // under installMutex
std::atomic<StandInSim*> installed{nullptr};
std::atomic<bool> installedByTest{false};

} // namespace

void installStandIn(std::shared_ptr<StandInSim> standIn)
{
    std::lock_guard lock(installMutex);
    installed = standIn.get();
    installedByTest = standIn != nullptr;
    installedOwner = std::move(standIn);
}

bool standInInstalled()
{
    return installedByTest.load(std::memory_order_acquire);
}

std::shared_ptr<StandInSim> makeProgramStandIn(); // stand_in_program.cpp

StandInSim& standIn()
{
    if (StandInSim* current = installed.load(std::memory_order_acquire))
        return *current;
    std::lock_guard lock(installMutex);
    if (!installedOwner) {
        installedOwner = makeProgramStandIn();
        installed = installedOwner.get();
    }
    return *installedOwner;
}

} // namespace rtd::sim
