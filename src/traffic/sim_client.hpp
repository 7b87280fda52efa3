#pragma once
// The simulator client: the thread that keeps the link to the simulator, the user
// aircraft's state it caches, and the link state a restart resets.
//
// Until the simulator binding is built here, the client is a stand-in that reports a
// running simulator with the user aircraft at a fixed position.

#include "core/geo.hpp"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <stop_token>

namespace rtd {

struct UserAircraftState {
    LatLon position; // the null position (isValidPosition false) until the simulator reports one
    double altitudeFt = 0.0;
};

extern std::mutex simConnectMutex;
extern std::atomic<bool> simConnectFailed;
extern std::atomic<bool> simRunning;
extern std::atomic<bool> userOnGround;
extern std::atomic<std::int64_t> simUtcSeconds; // the simulator's UTC time, Unix seconds

UserAircraftState userAircraftState();
void setUserAircraftState(const UserAircraftState& state);

// Body of the simulator client thread: connects and serves the simulator until a stop.
void SimClient(std::stop_token stop);

// Waits until the simulator runs and the user position is known; false only when an exit
// began (exiting or userClosed) meanwhile.
bool requestUserOnGround();

// Room for `capacity` entries in each simulator-link queue that has less.
void reserveSimLinkQueues(std::size_t capacity);

// The user aircraft forgotten: state, position-known flag, once-per-second reply flag.
void clearUserAircraft();

// The link state a restart starts from: no simulator, empty queues, user object id 2.
void resetSimLink();

} // namespace rtd
