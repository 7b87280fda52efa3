#include "simulator/stand_in.hpp"

#include "core/geo.hpp"
#include "simulator/stand_in_internal.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace rtd::sim {

using namespace stand_in;

namespace {

using Variable = StandInSim::Variable;

constexpr std::int64_t secondsPerDay = 86400;

std::string lower(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
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
            value.text = std::string_view(user ? user->tail : ai->tail).substr(0, maxAtcIdChars);
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
            queueSystemEvent("OBJECTADDED", it->object.id, it->object.type);
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

std::uint32_t StandInSim::objectTypeOf(const std::string& title) const
{
    return helicopterTitles_.contains(title) ? objectTypeHelicopter : objectTypeAircraft;
}

namespace {

// Whether a by-type request for `requested` answers an object of `type`; the user aircraft
// is an airplane, and the only object of a user request.
bool answersType(std::uint32_t requested, std::uint32_t type)
{
    return requested == objectTypeAll || requested == type;
}

} // namespace

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
        std::vector<std::uint32_t> inRange;
        if (scan.objectType == objectTypeUser || answersType(scan.objectType, objectTypeAircraft))
            inRange.push_back(user_.id);
        const LatLon centre{user_.lat, user_.lon};
        for (const auto& [id, object] : objects_)
            if (!hidden_.contains(id) && answersType(scan.objectType, object.type) &&
                distanceNm(centre, {object.lat, object.lon}) * 1852.0 <= scan.radiusMetres)
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

} // namespace rtd::sim
