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
#include "traffic/engine/flight_plans.hpp"
#include "traffic/engine/traffic_thread.hpp"
#include "traffic/link/service_link.hpp"
#include "traffic/simulator_link/sim_client.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <string>
#include <thread>
#include <vector>

namespace rtd {

namespace {

using namespace std::chrono_literals;

using Clock = std::chrono::steady_clock;

constexpr auto settleBound = 10s; // of an exit's wait for other threads, all of it
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

// Waits until `done` or the deadline; a restart also stops waiting when another exit was
// requested. True when done.
template <typename Done>
bool waitUntil(Done done, bool restart, Clock::time_point deadline)
{
    for (;;) {
        if (done())
            return true;
        if ((restart && exitQueued()) || Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(settleRound);
    }
}

// Until the exit procedure is the only counted thread and both run threads have ended.
bool settle(bool restart, Clock::time_point deadline)
{
    return waitUntil([] { return activeThreadCount <= 1 && runningRunThreads().empty(); }, restart, deadline);
}

// The traffic thread owns the flight plans, the matching counts and the park airport's state.
bool trafficThreadRunning()
{
    const std::vector<std::string> running = runningRunThreads();
    return std::find(running.begin(), running.end(), "mainLoopThread") != running.end();
}

// What the exit saves and clears of the traffic thread's state, once that thread has ended.
void closeTrafficState(bool restart)
{
    clearLiveryMatchCache();
    gf_removeFlightPlanFolder();
    if (!restart) {
        logMatchingSummary();
        logNoMatches();
    }
    closeParkAirport();
}

// A final exit waits for the other threads until the exit's deadline, then goes on without
// them. A traffic thread that still runs keeps its state: only the learned file is saved, from
// the copy that thread handed over at its last second.
void settleForExit(bool trafficEnded, Clock::time_point deadline)
{
    if (!settle(false, deadline))
        logLineFlushed(fmt::format("still running at exit: {}", stillRunning()));
    if (!trafficEnded && !trafficThreadRunning()) {
        closeTrafficState(false);
    } else if (!trafficEnded) {
        logLine("the traffic thread still runs: its flight plans, matching summary and no-match list are left, "
                "and its park airport is not closed");
        logLineFlushed(saveHandedOverLearnedFile());
    }
    endRunThreads();
}

// The run's state is reset only after every thread that uses it has ended: a restart waits
// on past the exit's deadline in steps of the bound, until they have or another exit (the
// user's close) is requested. True when the restart may go on.
bool settleForRestart(bool trafficEnded, Clock::time_point deadline)
{
    while (!settle(true, deadline)) {
        if (exitQueued())
            return false;
        logLineFlushed(fmt::format("the restart waits for: {}", stillRunning()));
        deadline = Clock::now() + settleBound;
    }
    if (!trafficEnded)
        closeTrafficState(true);
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
    // One bound for every wait of this exit for other threads.
    const Clock::time_point deadline = Clock::now() + settleBound;
    const bool trafficEnded = waitUntil([] { return !trafficThreadRunning(); }, restart, deadline);
    if (!restart) {
        BLOCK_CALLSIGN.set("");
        saveStringParameter(BLOCK_CALLSIGN);
    }
    if (trafficEnded)
        closeTrafficState(restart);
    if (restart) {
        if (settleForRestart(trafficEnded, deadline))
            prepareRestart(reason, delay);
    } else {
        settleForExit(trafficEnded, deadline);
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
