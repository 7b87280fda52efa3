// The exit procedure and the restart countdown.

#include "airports/park_airports.hpp"
#include "app/run_phase.hpp"
#include "core/display.hpp"
#include "core/exit.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "core/requests.hpp"
#include "core/settings_file.hpp"
#include "core/version.hpp"
#include "liveries/matching.hpp"
#include "traffic/service_link.hpp"
#include "traffic/sim_client.hpp"
#include "traffic/traffic_thread.hpp"

#include <fmt/format.h>
#include <thread>

namespace rtd {

namespace {

using namespace std::chrono_literals;

constexpr int otherThreadsRounds = 101; // of 100 ms
constexpr Rect wholeWindow{0, 0, 880, 488};

// True when the exit procedure is the only counted thread left within the rounds.
bool waitForOtherThreads(int rounds)
{
    for (int round = 0; round < rounds && activeThreadCount > 1; ++round)
        std::this_thread::sleep_for(100ms);
    return activeThreadCount <= 1;
}

// The run's state is reset only after every thread that uses it has ended: a restart waits
// for them beyond the usual rounds.
void waitForCountedThreadsToEnd()
{
    if (waitForOtherThreads(1))
        return;
    logLine(fmt::format("waiting for {} threads to end before the restart", activeThreadCount - 1));
    while (!waitForOtherThreads(otherThreadsRounds)) {
    }
}

void prepareRestart(ExitReason reason, int delay)
{
    waitForCountedThreadsToEnd();
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
    parkingRecalcRequest = false;
    blockRequest = false;
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
    clearLiveryMatchCache();
    gf_removeFlightPlanFolder();
    if (!restart) {
        BLOCK_CALLSIGN.set("");
        saveStringParameter(BLOCK_CALLSIGN);
        logMatchingSummary();
        logNoMatches();
    }
    closeParkAirport();
    waitForOtherThreads(otherThreadsRounds);
    joinRunThreads(); // asked to stop above; nothing of theirs may outlive the exit
    if (restart)
        prepareRestart(reason, delay);
    else
        clearCallsignTexts();
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
        windowDisplay().postMessage(finalExitMessage);
    }
    flushLog();
}

void restartCountdown(int seconds)
{
    if (seconds < 1)
        return;
    logLine(fmt::format("Restarting after {} seconds\n\n", seconds));
    for (int remaining = seconds; remaining >= 1; --remaining) {
        if (exiting || userClosed)
            return;
        setStatus(fmt::format("Restarting after {} second{}", remaining, remaining == 1 ? "" : "s"), false);
        std::this_thread::sleep_until(std::chrono::steady_clock::now() + 1s);
    }
}

} // namespace rtd
