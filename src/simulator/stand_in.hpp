#pragma once
// The in-process stand-in simulator that serves the calls of simconnect.hpp: a user aircraft
// and AI objects a script sets up and reads back, answering like the simulator does.
//
// Thread-safe: every call and script function takes the stand-in's lock; the dispatch
// callback runs outside it, so a handler may call back in. Replies are built by walking the
// definition as the client registered it, so a field in the wrong order or unit reads wrong
// bytes. Replies wait for the next dispatch; a created object is added one frame after its
// call; per-second requests are answered every simulated second.
//
// Time moves by frames. A deterministic stand-in moves only when a script calls frames() or
// seconds(); a free-running one also adds, at each dispatch, the frames its clock owes since
// the last one (at most one second's worth).

#include "simulator/simconnect.hpp"

#include <fmt/format.h>
#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace rtd::sim {

struct UserSetup {
    double lat = 52.3086;
    double lon = 4.7639;
    double altFt = 0.0;
    double pitch = 0.0;   // radians
    double bank = 0.0;    // radians
    double heading = 0.0; // radians, true
    double gsKt = 0.0;
    bool onGround = true;
};

struct UserState : UserSetup {
    std::uint32_t id = 1;
    std::string title;
    std::string atcModel;
    std::string tail;
    std::int64_t lights = 0;
};

struct AiState {
    std::uint32_t id = 0;
    std::uint32_t type = objectTypeAircraft; // objectTypeHelicopter for a helicopter's title
    std::string title;
    std::string tail; // as kept at creation; its "ATC ID" reads back at most maxAtcIdChars
    double lat = 0.0;
    double lon = 0.0;
    double alt = 0.0;     // feet
    double pitch = 0.0;   // radians
    double bank = 0.0;    // radians
    double heading = 0.0; // radians, true
    double verticalSpeedFps = 0.0;
    double airspeedKt = 0.0;
    bool onGround = false;
    bool foreign = false; // added by another program, not by a connection
    bool released = false;
    bool freezeLatLon = false;
    bool freezeAltitude = false;
    bool freezeAttitude = false;
    bool gear = false;
    bool engines = false;
    std::uint32_t flaps = 0;
    std::uint32_t throttle = 0;
    std::uint32_t spoilers = 0;
    std::uint32_t lights = 0;               // bit per light event, see lightBit
    std::array<double, 3> def401Values{};   // spoilers handle, throttle levers 1 and 2 (percent)
    std::string flightPlan;
    std::uint32_t positionWrites = 0;
    std::uint32_t ownerConnection = 0;
};

// Light bits of AiState::lights, by the light event that sets them.
enum LightBit : std::uint32_t {
    lightNav = 1, lightBeacon = 2, lightLanding = 4, lightTaxi = 8, lightStrobe = 16, lightLogo = 32, lightCabin = 64
};

struct CallRecord {
    std::int64_t frame = 0;
    std::string name;
    std::string args;
    Result result = ok;
};

struct ClientEventRecord {
    std::string name;
    std::uint32_t data = 0;
};

class StandInSim {
public:
    enum class Mode { deterministic, freeRunning };
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    explicit StandInSim(Mode mode = Mode::deterministic, Clock clock = {});
    ~StandInSim();
    StandInSim(const StandInSim&) = delete;
    StandInSim& operator=(const StandInSim&) = delete;

    // Script.
    void setUser(const UserSetup& user);
    void setUserTitle(std::string title);
    void setUserAtcModel(std::string model);
    void setUserTail(std::string tail);
    void setRunning(bool running); // the "Sim" system event follows
    void frames(int count);
    void seconds(int count);
    void setFrameRate(float framesPerSecond);
    void setGround(double elevationFt);
    void setZulu(std::int64_t year, std::int64_t dayOfYear, std::int64_t secondsOfDay);
    void setApplication(std::string name, std::array<std::uint32_t, 4> version);
    void setStaticCg(std::string title, double heightFt, double pitchDegrees);
    void refuseTitle(std::string title);         // its creations fail with exception 22
    void helicopterTitle(std::string title);     // objects of this title are helicopters
    void swallowCreations(int count);            // the next creations are never answered
    void hideFromRangeScan(std::uint32_t objectId);
    void failNext(std::string call, int count);  // the next calls of that name return `failed`
    void failOpen(int count);
    // Keeps (the default) or stops keeping the records of calls and client events read back
    // by calls() and eventsTo(). What the calls do to the simulated state is the same either
    // way; without records a long run costs no memory per call.
    void recordCalls(bool on);
    std::uint32_t addForeignAircraft(std::string title, std::string tail, double lat, double lon, double altFt,
                                     bool onGround);
    void loadFlight();
    void newFlightFile(std::string path);
    void quit(); // QUIT to every connection; from then on nothing connects

    // Read back.
    UserState user() const;
    std::vector<AiState> objects() const;
    std::optional<AiState> object(std::uint32_t id) const;
    std::vector<CallRecord> calls() const; // every call but dispatches and position writes
    std::vector<ClientEventRecord> eventsTo(std::uint32_t objectId) const;
    int openConnections() const;
    std::vector<std::string> violations() const;
    std::int64_t frameCount() const;
    std::int64_t simulatedSeconds() const;

    // Reads a scenario: lines "[at <seconds>] <call> key=value ..." (a value with blanks in
    // double quotes; '#' starts a comment). Lines without "at" run at once, the others when
    // the simulated seconds reach theirs. Returns one text per bad line, naming its number;
    // bad lines are skipped. The calls are the script's, with these keys:
    //   setUser lat lon altFt pitch bank heading gsKt onGround; setUserTitle title;
    //   setUserAtcModel model; setRunning running; frames n; seconds n; setFrameRate fps;
    //   setGround ft; setZulu year day seconds; setApplication name version (a.b.c.d);
    //   setStaticCg title ft deg; refuseTitle title; helicopterTitle title;
    //   swallowCreations n; hideFromRangeScan id; failNext call n; failOpen n;
    //   addForeignAircraft title tail lat lon altFt onGround; loadFlight;
    //   newFlightFile path; quit.
    std::vector<std::string> loadScenario(const std::string& text);

    // Records calls.log and state.json into `folder` every simulated second and at each close,
    // and appends each second's AI objects to track.csv: simulated second, Unix time, id, tail,
    // latitude, longitude, altitude in feet, on the ground (0 or 1).
    void recordTo(std::filesystem::path folder);
    void writeRecord() const;

    // The calls of simconnect.hpp.
    Result open(Handle* handle, const char* name);
    Result close(Handle handle);
    Result callDispatch(Handle handle, DispatchProc proc, void* context);
    Result subscribe(Handle handle, std::uint32_t eventId, const char* name);
    Result unsubscribe(Handle handle, std::uint32_t eventId);
    Result addToDefinition(Handle handle, std::uint32_t defineId, const char* name, const char* unit,
                           std::uint32_t type);
    Result clearDefinition(Handle handle, std::uint32_t defineId);
    Result mapClientEvent(Handle handle, std::uint32_t eventId, const char* name);
    Result addToGroup(Handle handle, std::uint32_t groupId, std::uint32_t eventId, bool maskable);
    Result setGroupPriority(Handle handle, std::uint32_t groupId, std::uint32_t priority);
    Result requestData(Handle handle, std::uint32_t requestId, std::uint32_t defineId, std::uint32_t objectId,
                       std::uint32_t period);
    Result requestDataByType(Handle handle, std::uint32_t requestId, std::uint32_t defineId, std::uint32_t radiusMetres,
                             std::uint32_t objectType);
    Result setData(Handle handle, std::uint32_t defineId, std::uint32_t objectId, std::uint32_t unitSize,
                   const void* data);
    Result transmitClientEvent(Handle handle, std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data,
                               std::uint32_t groupId);
    Result releaseControl(Handle handle, std::uint32_t objectId, std::uint32_t requestId);
    Result createAircraft(Handle handle, const char* title, const char* tail, const InitPosition& position,
                          std::uint32_t requestId);
    Result removeObject(Handle handle, std::uint32_t objectId, std::uint32_t requestId);
    Result setFlightPlan(Handle handle, std::uint32_t objectId, const char* path, std::uint32_t requestId);
    Result lastSentPacketId(Handle handle, std::uint32_t* packetId);

    enum class Variable {
        unknown, title, atcModel, atcId, latitude, longitude, pitch, bank, heading, altitude, aboveGround,
        groundAltitude, staticCgHeight, staticPitch, groundVelocity, airspeed, verticalSpeed, zuluTime, zuluDay,
        zuluYear, lights, onGround, spoilersHandle, throttle1, throttle2
    };
    // One entry of a definition, its variable and unit looked up once.
    struct Datum {
        Datum(std::string name, std::string unit, std::uint32_t type);
        std::string name; // upper case
        std::string unit; // lower case
        std::uint32_t type = dataFloat64;
        Variable variable = Variable::unknown;
        bool known = false;   // a variable the stand-in answers, in a unit that fits it
        double factor = 1.0;  // the stand-in's value times this is the value in `unit`
    };
    using Message = std::vector<std::byte>;

private:
    struct DataRequest {
        std::uint32_t requestId = 0;
        std::uint32_t defineId = 0;
        std::uint32_t objectId = 0;
        std::uint32_t period = periodOnce;
    };
    struct RangeScan {
        std::uint32_t requestId = 0;
        std::uint32_t defineId = 0;
        std::uint32_t radiusMetres = 0;
        std::uint32_t objectType = objectTypeAircraft;
    };
    struct PendingCreation {
        std::int64_t dueFrame = 0;
        std::uint32_t connection = 0;
        AiState object;
    };
    struct ConnectionState {
        std::uint32_t number = 0;
        std::string name;
        bool open = true;
        bool ended = false; // the simulator quit: only the queued messages are left
        std::uint32_t packetId = 0;
        std::map<std::uint32_t, std::vector<Datum>> definitions;
        std::map<std::uint32_t, std::string> clientEvents;  // client event id -> simulator event
        std::map<std::uint32_t, std::string> systemEvents;  // event id -> upper-case name
        std::map<std::uint32_t, std::vector<std::uint32_t>> groups;
        std::map<std::uint32_t, std::uint32_t> groupPriorities;
        std::vector<DataRequest> onceRequests;
        std::vector<DataRequest> perSecondRequests;
        std::vector<RangeScan> rangeScans;
        std::vector<Message> outbox;
    };

    ConnectionState* connection(Handle handle, const char* call);
    Result finish(ConnectionState* state, const char* call, std::string args, Result result, bool log = true);
    bool failing(std::string_view call);
    // A call's arguments as calls() shows them; empty while calls are not recorded.
    template <typename... Args>
    std::string argsText(fmt::format_string<Args...> format, Args&&... args) const
    {
        return recordCalls_ ? fmt::format(format, std::forward<Args>(args)...) : std::string{};
    }
    void queueException(ConnectionState& state, std::uint32_t exception, std::uint32_t index);
    void queueSystemEvent(const std::string& name, std::uint32_t data, std::uint32_t objectType = 0);
    void advanceFrame();
    void catchUpClock();
    void buildReplies(ConnectionState& state);
    bool sameObjectExists(std::uint32_t objectId) const;
    std::uint32_t objectTypeOf(const std::string& title) const;
    Message dataReply(ConnectionState& state, std::uint32_t recvId, const DataRequest& request, std::uint32_t objectId,
                      std::uint32_t entry, std::uint32_t outOf);
    void closeLocked(ConnectionState& state);
    void writeRecordLocked() const;
    void appendTrackLocked() const;

    struct ValueSource;

    mutable std::recursive_mutex mutex_; // recursive: scenario lines run while time advances
    Mode mode_;
    Clock clock_;
    std::chrono::steady_clock::time_point lastTick_;
    std::vector<ConnectionState> connections_; // by number - 1
    UserState user_;
    std::map<std::uint32_t, AiState> objects_;
    std::vector<PendingCreation> pendingCreations_;
    std::map<std::string, std::pair<double, double>> staticCg_; // title -> feet, radians
    std::set<std::string> refusedTitles_;
    std::set<std::string> helicopterTitles_;
    std::set<std::uint32_t> hidden_;
    std::map<std::string, int, std::less<>> failures_;
    bool recordCalls_ = true;
    std::map<std::uint32_t, std::vector<ClientEventRecord>> events_;
    std::vector<CallRecord> calls_;
    std::vector<std::string> violations_;
    std::string applicationName_ = "KittyHawk";
    std::array<std::uint32_t, 4> applicationVersion_{1, 2, 3, 4};
    std::uint32_t nextObjectId_ = 100;
    int swallowed_ = 0;
    bool running_ = true;
    bool quit_ = false;
    float frameRate_ = 30.0f;
    double groundFt_ = 0.0;
    std::int64_t frame_ = 0;
    std::int64_t framesThisSecond_ = 0;
    std::int64_t seconds_ = 0;
    std::int64_t zuluYear_ = 2024;
    std::int64_t zuluDay_ = 1;
    std::int64_t zuluSeconds_ = 12 * 3600;
    std::optional<std::filesystem::path> recordFolder_;
    std::vector<std::pair<std::int64_t, std::function<void(StandInSim&)>>> scheduled_; // by second
};

// The stand-in the calls go to. Installing one replaces the previous (tests install a fresh
// deterministic one); without one, the first call installs the program's own: free-running,
// scripted by $RAMPTIDE_SIM_SCENARIO and recording to $RAMPTIDE_SIM_RECORD when set.
void installStandIn(std::shared_ptr<StandInSim> standIn);
StandInSim& standIn();
// Whether a test has installed a stand-in: the calls then go to it on every platform.
bool standInInstalled();

} // namespace rtd::sim
