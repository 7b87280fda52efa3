#include "traffic/sim_client.hpp"

#include "core/display.hpp"
#include "core/exit.hpp"

#include <chrono>
#include <thread>

namespace rtd {

std::mutex simConnectMutex;
std::atomic<bool> simConnectFailed{false};
std::atomic<bool> simRunning{false};
std::atomic<bool> userOnGround{true};
std::atomic<std::int64_t> simUtcSeconds{0};

namespace {

using namespace std::chrono_literals;

UserAircraftState userState; // under simConnectMutex
constexpr LatLon standInPosition{52.3086, 4.7639};

bool positionKnown()
{
    std::lock_guard lock(simConnectMutex);
    return isValidPosition(userState.position);
}

} // namespace

UserAircraftState userAircraftState()
{
    std::lock_guard lock(simConnectMutex);
    return userState;
}

void setUserAircraftState(const UserAircraftState& state)
{
    std::lock_guard lock(simConnectMutex);
    userState = state;
}

void SimClient(std::stop_token stop)
{
    setUserAircraftState({standInPosition, 0.0});
    simUtcSeconds = std::chrono::duration_cast<std::chrono::seconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    simRunning = true;
    mainWindowGlobals.simConnected = true;
    mainWindowGlobals.simRunningFlag = true;
    windowDisplay().invalidate(headerBand);
    while (!stop.stop_requested())
        std::this_thread::sleep_for(1ms);
}

bool requestUserOnGround()
{
    while (!simRunning) {
        if (exitBegan())
            return false;
        std::this_thread::sleep_for(100ms);
    }
    while (!positionKnown()) {
        if (exitBegan())
            return false;
        std::this_thread::sleep_for(200ms);
    }
    return !exitBegan();
}

void reserveSimLinkQueues(std::size_t) {}

void clearUserAircraft()
{
    setUserAircraftState({});
}

void resetSimLink()
{
    simRunning = false;
    simConnectFailed = false;
}

} // namespace rtd
