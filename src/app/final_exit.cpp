// The exit procedure and the restart countdown.

#include "airports/services.hpp"
#include "app/run_phase.hpp"
#include "core/display.hpp"
#include "core/exit.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "core/requests.hpp"
#include "core/settings_file.hpp"
#include "core/version.hpp"
#include "liveries/matching.hpp"
#include "traffic/flight_plans.hpp"
#include "traffic/service_link.hpp"
#include "traffic/sim_client.hpp"
#include "traffic/traffic_thread.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <string>
#include <thread>
#include <vector>

namespace rtd {

namespace {

using namespace std::chrono_literals;

constexpr auto settleBound = 10s; // of every wait for other threads
constexpr auto settleRound = 100ms;
constexpr Rect wholeWindow{0, 0, 880, 488};

const char* plural(std::int32_t count)
{
    return count == 1 ? "" : "s";
}

// What still runs besides the exit procedure: counted threads and the run's two threads.
std::string stillRunning()
{
    const std::int32_t counted = activeThreadCount - 1;
    std::string text = counted > 0 ? fmt::format("{} counted thread{}", counted, plural(counted)) : "";
    for (const std::string& name : runningRunThreads())
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

// Waits up to the bound until `done`; a restart also stops waiting when another exit was
// requested. True when done.
template <typename Done>
bool waitUntil(Done done, bool restart)
{
    const auto deadline = std::chrono::steady_clock::now() + settleBound;
    for (;;) {
        if (done())
            return true;
        if ((restart && exitQueued()) || std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(settleRound);
    }
}

// Until the exit procedure is the only counted thread and both run threads have ended.
bool settle(bool restart)
{
    return waitUntil([] { return activeThreadCount <= 1 && runningRunThreads().empty(); }, restart);
}

// Until the traffic thread, which owns the flight plans and the park airport's state, has
// ended.
bool trafficThreadEnded(bool restart)
{
    return waitUntil(
        [] {
            const std::vector<std::string> running = runningRunThreads();
            return std::find(running.begin(), running.end(), "mainLoopThread") == running.end();
        },
        restart);
}

// A final exit waits for the other threads at most the bound, then goes on without them.
void settleForExit()
{
    if (!settle(false))
        logLineFlushed(fmt::format("still running at exit: {}", stillRunning()));
    endRunThreads();
}

// The run's state is reset only after every thread that uses it has ended: a restart waits
// on in steps of the bound, until they have or another exit (the user's close) is requested.
// True when the restart may go on.
bool settleForRestart()
{
    while (!settle(true)) {
        if (exitQueued())
            return false;
        logLineFlushed(fmt::format("the restart waits for: {}", stillRunning()));
    }
    endRunThreads();
    return !exitQueued();
}

void prepareRestart(ExitReason reason, int delay)
{
    clearErrorText();
    clearStatus();
    resetFeedState();
    if (reason != ExitReason::restartIpp) {
        SCAN_LIVERIES.set(false);
        saveBoolParameter(SCAN_LIVERIES);
        SCAN_AIRPORTS.set(false);
        saveBoolParameter(SCAN_AIRPORTS);
    }
    readerFailed = false;
    userClosed = false;
    exiting = false; // from here a new exit request ends the countdown
    clearUserAircraft();
    professionalLevel = false;
    staticRecalcRequest = false;
    blockCallsignRequest = false;
    followCallsignRequest = false;
    setLateralRange(LATERAL_RANGE.value());
    resetSimLink();
    resetTrafficState();
    resetDisplayForRestart();
    windowDisplay().invalidate(wholeWindow);
    exitReason = ExitReason::notYetSet;
    restartCountdown(delay);
}

void runExitSteps(int delay)
{
    exiting = true;
    const ExitReason reason = exitReason;
    const bool restart = isRestart(reason);
    logLine(fmt::format("Exiting: {}", exitReasonName(reason)));
    if (reason == ExitReason::restart)
        setStatus("Prepare for a restart ...", true);
    std::this_thread::sleep_for(300ms);
    stopReader(weatherReader);
    stopReader(trafficReader);
    stopServer();
    if (reason == ExitReason::systemError) {
        std::this_thread::sleep_for(5s);
    } else if (reason == ExitReason::userClosedSim) {
        logLine(fmt::format("User closed {}", productName));
        userClosed = true;
    }
    requestRunThreadsStop();
    if (!trafficThreadEnded(restart))
        logLineFlushed(fmt::format("still running at exit: {}", stillRunning()));
    clearLiveryMatchCache();
    gf_removeFlightPlanFolder();
    if (!restart) {
        BLOCK_CALLSIGN.set("");
        saveStringParameter(BLOCK_CALLSIGN);
        logMatchingSummary();
        logNoMatches();
    }
    closeParkAirport();
    if (restart) {
        if (settleForRestart())
            prepareRestart(reason, delay);
    } else {
        settleForExit();
        clearCallsignTexts();
    }
    // The window may end the program at once on the message: nothing is logged after it.
    flushLog();
    if (releaseExiting())
        windowDisplay().postMessage(restart ? startUpMessage : finalExitMessage);
}

} // namespace

void FinalExit(int restartDelaySeconds)
{
    const CountedThread counted;
    try {
        runExitSteps(restartDelaySeconds);
    } catch (...) {
        reportFatal("FinalExit");
        // The window can always close: a failed exit ends as a final one, with `exiting` left
        // set so that nothing starts another.
        dropQueuedExit();
        flushLog();
        windowDisplay().postMessage(finalExitMessage);
    }
}

void restartCountdown(int seconds)
{
    if (seconds < 1)
        return;
    logLineFlushed(fmt::format("Restarting after {} seconds\n\n", seconds));
    for (int remaining = seconds; remaining >= 1; --remaining) {
        if (exitBegan() || exitQueued())
            return;
        setStatus(fmt::format("Restarting after {} second{}", remaining, remaining == 1 ? "" : "s"), false);
        std::this_thread::sleep_until(std::chrono::steady_clock::now() + 1s);
    }
}

} // namespace rtd
