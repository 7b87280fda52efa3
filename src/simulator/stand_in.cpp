#include "simulator/stand_in.hpp"

#include "simulator/stand_in_internal.hpp"

#include <atomic>
#include <mutex>

namespace rtd::sim {

using namespace stand_in;

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

void StandInSim::helicopterTitle(std::string title)
{
    std::lock_guard lock(mutex_);
    helicopterTitles_.insert(std::move(title));
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
    object.type = objectTypeOf(title);
    object.title = std::move(title);
    object.tail = std::move(tail);
    object.lat = lat;
    object.lon = lon;
    object.alt = altFt;
    object.onGround = onGround;
    object.foreign = true;
    objects_[object.id] = object;
    queueSystemEvent("OBJECTADDED", object.id, object.type);
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
