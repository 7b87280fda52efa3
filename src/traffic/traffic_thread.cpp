#include "traffic/traffic_thread.hpp"

#include "airports/services.hpp"
#include "core/display.hpp"
#include "core/exit.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "core/paths.hpp"
#include "core/requests.hpp"
#include "traffic/ai_results.hpp"
#include "traffic/ai_state.hpp"
#include "traffic/service_link.hpp"
#include "traffic/sim_client.hpp"

#include <fmt/format.h>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

namespace rtd {

std::atomic<bool> parkingBusy{false};
std::atomic<std::int64_t> tickCounter{0};

namespace {

constexpr std::int64_t pollsPerSecond = 100;
constexpr std::int64_t parkAirportSightSeconds = 16;

} // namespace

void mainLoop(std::stop_token stop)
{
    const CountedThread counted;
    try {
        feedStatusTick();
        for (std::int64_t poll = 1; !stop.stop_requested(); ++poll) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            trafficCycle(poll);
        }
    } catch (...) {
        reportFatal("mainLoop");
    }
}

void trafficCycle(std::int64_t poll)
{
    processSimEvents();
    if (poll % pollsPerSecond != 0)
        return;
    ++tickCounter;
    advanceStatusCycle();
    if (tickCounter % parkAirportSightSeconds == 0)
        onUserPositionChange(false);
    handleReReadRequest();
    applyNavLightsRequest();
    serviceLinkSecond(tickCounter);
}

void serviceLinkSecond(std::int64_t second)
{
    sendUserPosition();
    userStateCache = requestUserAircraftPosition();
    if (second % 59 == 0)
        feedStatusTick();
    if (second % 5 != 0)
        return;
    trafficReader.setUserPosition(userStateCache.position());
    if (professionalLevel)
        sendQs123(simUtcSeconds);
    if (second % 15 == 0 &&
        (mainWindowGlobals.trafficReaderState == 2 || mainWindowGlobals.weatherReaderState == 2))
        feedStatusTick();
    if (second % 30 == 0 && readerFailed) {
        showError("1001: RT error");
        startFinalExit(ExitReason::systemError, 0);
    }
}

void handleReReadRequest()
{
    if (!reReadRequested || parkingBusy)
        return;
    std::string text;
    if (checkReservedStand(1, text))
        setStatus(text, true);
    windowDisplay().enableControl(reReadButton.controlId(), true);
    reReadRequested = false;
}

void withdrawLiveAircraft() {}

void initTrafficContainers()
{
    reserveAIContainers();
}

void resetTrafficState()
{
    tickCounter = 0;
    clearAIContainers();
}

void logNoMatches()
{
    logLine("\nNo match found for: ");
}

void clearLiveryMatchCache() {}

void clearCallsignTexts() {}

} // namespace rtd
