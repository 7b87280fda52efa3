#pragma once
// How a run ends: the reasons, the flags every long loop tests, the count of threads an exit
// waits for, and the one way in (startFinalExit). The exit procedure itself stops threads of
// every subsystem, so it lives with the program and is installed here with setExitProcedure.
//
// One exit procedure runs at a time. A request made while one runs with `exiting` set is
// ignored, except the user's close during a restart, which is remembered; a request made
// during a restart countdown (`exiting` cleared) is queued too. A queued request ends the
// restart's waits and countdown, and runs on the same thread once the procedure returns, so
// two exits never run side by side and a user's close is never lost.

#include <atomic>
#include <cstdint>
#include <string_view>

namespace rtd {

enum class ExitReason : std::int32_t {
    notYetSet = 0,
    simWasClosed = 1,
    restart = 2,
    restartIpp = 3, // after a new Community path: keeps the scan options
    userClosedSim = 4,
    systemError = 5,
};

// "NOT_YET_SET", "SIM WAS CLOSED", "RESTART", "RESTART_IPP", "USER CLOSED SIM",
// "SYSTEM ERROR". Throws std::out_of_range for any other value.
std::string_view exitReasonName(ExitReason reason);

inline bool isRestart(ExitReason reason)
{
    return reason == ExitReason::restart || reason == ExitReason::restartIpp;
}

inline std::atomic<ExitReason> exitReason{ExitReason::notYetSet};
inline std::atomic<bool> exiting{false};      // an exit procedure runs
inline std::atomic<bool> userClosed{false};   // the user closed the main window
inline std::atomic<bool> readerFailed{false}; // a UDP reader stopped with an error
// Threads an exit waits for: the start-up worker, the readers, the traffic thread and the
// exit procedure itself.
inline std::atomic<std::int32_t> activeThreadCount{0};

// What every long loop tests: an exit began or the user closed the window.
inline bool exitBegan()
{
    return exiting.load() || userClosed.load();
}

// Counts the current thread in activeThreadCount for its lifetime.
class CountedThread {
public:
    CountedThread() { ++activeThreadCount; }
    ~CountedThread() { --activeThreadCount; }
    CountedThread(const CountedThread&) = delete;
    CountedThread& operator=(const CountedThread&) = delete;
};

using ExitProcedure = void (*)(int restartDelaySeconds);

// The procedure startFinalExit runs; without one an exit only sets its reason and `exiting`.
void setExitProcedure(ExitProcedure procedure);

// Any thread. Ignored while `exiting` is set, except a close (USER CLOSED SIM) while a
// restart's procedure runs, which is queued behind it. Otherwise sets `exiting` and
// `exitReason` and runs the exit procedure on a detached thread (or queues it behind the
// running one). Throws std::system_error when the thread cannot be started.
void startFinalExit(ExitReason reason, int restartDelaySeconds);

// Whether another exit waits to run once the running procedure returns: a restart then
// stops waiting and counting down.
bool exitQueued();

// The exit procedure's last step before it posts its window message. False when another
// exit was requested meanwhile: `exiting` stays set, nothing is to be posted, and the queued
// exit runs next. Otherwise clears `exiting`.
bool releaseExiting();

// After a failed exit procedure: a queued exit is dropped and `exiting` stays set, so
// nothing starts another one.
void dropQueuedExit();

// Inside a catch block: sorts the current exception. A user error and a formatting error are
// shown on the error line only; any other standard exception is shown as
// "{functionName}: {text}" and ends the run with SYSTEM ERROR; anything else shows
// "Unknown exception".
void reportFatal(std::string_view functionName);

} // namespace rtd
