#pragma once
// The simulator link: the client thread that keeps the one connection to the simulator and
// dispatches its messages, the definitions, events and requests the program registers, and
// what the program knows of the user aircraft.
//
// Results the traffic thread acts on leave the client thread as SimEvents (sim_events.hpp).
// Every simulator call made outside the client thread holds simConnectMutex and skips a null
// simConnectHandle: closing the connection nulls it under that mutex.

#include "core/geo.hpp"
#include "simulator/simconnect.hpp"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <string>
#include <string_view>

namespace rtd {

// The simulator's definition 403 in its order.
struct UserAircraftState {
    double latitude = 0.0;  // degrees
    double longitude = 0.0; // degrees
    double pitch = 0.0;     // radians
    double bank = 0.0;      // radians
    double heading = 0.0;   // radians, true
    double altitudeFt = 0.0;    // never below 0
    double altitudeAglFt = 0.0;
    double groundSpeedKt = 0.0;
    std::int64_t zuluTime = 0;      // seconds of the UTC day
    std::int64_t zuluDayOfYear = 0; // 1-based
    std::int64_t zuluYear = 0;
    std::int64_t lightStates = 0;

    LatLon position() const { return {latitude, longitude}; }
};
static_assert(sizeof(UserAircraftState) == 96);

// Ids the program registers with the simulator.
enum SimDefinition : std::uint32_t {
    defineTouchdown = 401,
    definePosition = 402,
    defineUserState = 403,
    defineRangeScan = 404,
    defineStaticCg = 405,
    defineLights = 406,
    defineUserTitle = 407,
    defineUserModel = 408,
    defineUserOnGround = 409,
};

enum SimRequest : std::uint32_t {
    rangeScanRequest = 101,
    staticCgRequest = 102,
    releaseControlRequest = 103,
    createRequest = 104,
    removeRequest = 105,
    userTitleRequest = 106,
    userModelRequest = 107,
    userOnGroundRequest = 108,
    userStateRequest = 109,
    flightPlanRequest = 110,
    helicopterScanRequest = 111, // the range scan's request for helicopters; 101 asks for airplanes
};

enum SimSystemEvent : std::uint32_t {
    eventSim = 201, eventObjectAdded = 202, eventObjectRemoved = 203, eventFrame = 204, eventFlightLoaded = 205
};

inline constexpr std::uint32_t simNotificationGroup = 301;

extern std::mutex simConnectMutex;
extern sim::Handle simConnectHandle; // closed (nulled) only under simConnectMutex
extern std::atomic<bool> simRunning;
extern std::atomic<bool> simConnectFailed;
extern std::atomic<std::int32_t> requestErrorCount;
extern std::atomic<float> frameRate;
extern std::atomic<std::uint32_t> userObjectId;
extern std::atomic<bool> userOnGround;
extern std::atomic<bool> userOnGroundKnown;
extern std::atomic<bool> simSecondTick;
extern std::atomic<std::int64_t> simUtcSeconds; // the simulator's UTC time, Unix seconds
extern std::atomic<double> userHalfWingspanNm;  // 0 until the user model is known
extern std::atomic<std::int32_t> userCategory;
extern UserAircraftState userStateCache;        // the traffic thread's copy

// A copy of the user state the client thread keeps, taken whole under its own mutex.
UserAircraftState userAircraftState();
std::string userTitle();     // at most 48 characters
std::string userStandName();

// Body of the simulator client thread (counted in activeThreadCount).
void SimClient(std::stop_token stop);

// The client thread's steps, also called by tests on their own thread. Each runs under the
// thread's exception handling; false means the client ends (the error is shown, and the
// connection closed unless it was a user error).
enum class OpenOutcome { connected, notConnected, ended };
OpenOutcome openSimConnect(); // one open attempt and, when it succeeds, the set-up
bool dispatchSimConnect();    // one dispatch of the waiting messages
// Closes the connection when one is open. With `announce` and no exit running, the run ends
// with SIM WAS CLOSED.
void closeSimConnect(bool announce = true);

void dispatchProc(const sim::RecvHeader* message, std::uint32_t size, void* context);
void onSimConnectOpen(const sim::RecvOpen& message);
void onSimConnectException(const sim::RecvException& message);
void countSimConnectRequestError();
void rememberUserStand();
void setupSimConnect();

void onSimObjectData(const sim::RecvSimObjectData& message, std::uint32_t size);
void onSimObjectDataByType(const sim::RecvSimObjectData& message, std::uint32_t size);
// The range scan: the data of every airplane and every helicopter within `radiusMetres` of the
// user aircraft, in two requests (the simulator keeps the two types apart). Each failed
// request is logged and counted. Nothing is asked once the link has failed or is closed.
void requestAircraftInRange(std::uint32_t radiusMetres);
void onUserTitle(std::string_view title);
void onUserModel(std::string_view model);

// Run phase: waits until the simulator runs and the user aircraft is known; false when an
// exit began meanwhile.
bool requestUserOnGround();
UserAircraftState requestUserAircraftPosition();
void requestUserAircraftTitleAndModel();

// Unix time of a zulu year, 1-based day of year and seconds of the day.
std::int64_t unixTimeOfZulu(std::int64_t year, std::int64_t dayOfYear, std::int64_t secondsOfDay);

// Room for `capacity` entries in each simulator-link queue that has less.
void reserveSimLinkQueues(std::size_t capacity);

// The user aircraft forgotten: its state, title, stand, previous position, wingspan and
// on-ground flags.
void clearUserAircraft();

// The link state a restart starts from: a connection still open is closed, no simulator,
// empty queues, user object id 2, no failed requests.
void resetSimLink();

} // namespace rtd
