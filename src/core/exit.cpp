#include "core/exit.hpp"

#include "core/display.hpp"
#include "core/exceptions.hpp"

#include <fmt/format.h>
#include <map>
#include <mutex>
#include <thread>

namespace rtd {

namespace {

std::mutex exitMutex;
ExitProcedure installedProcedure = nullptr;
bool procedureThreadRunning = false;
bool queued = false;
ExitReason queuedReason = ExitReason::notYetSet;
int queuedDelay = 0;

void queueExit(ExitReason reason, int delay)
{
    queued = true;
    queuedReason = reason;
    queuedDelay = delay;
}

void runExitProcedures(ExitProcedure procedure, int delay)
{
    for (;;) {
        procedure(delay);
        std::lock_guard lock(exitMutex);
        if (!queued) {
            procedureThreadRunning = false;
            return;
        }
        queued = false;
        exiting = true;
        exitReason = queuedReason;
        delay = queuedDelay;
    }
}

} // namespace

std::string_view exitReasonName(ExitReason reason)
{
    static const std::map<ExitReason, std::string_view> names{
        {ExitReason::notYetSet, "NOT_YET_SET"},     {ExitReason::simWasClosed, "SIM WAS CLOSED"},
        {ExitReason::restart, "RESTART"},           {ExitReason::restartIpp, "RESTART_IPP"},
        {ExitReason::userClosedSim, "USER CLOSED SIM"}, {ExitReason::systemError, "SYSTEM ERROR"},
    };
    return names.at(reason);
}

void setExitProcedure(ExitProcedure procedure)
{
    std::lock_guard lock(exitMutex);
    installedProcedure = procedure;
}

void startFinalExit(ExitReason reason, int restartDelaySeconds)
{
    std::lock_guard lock(exitMutex);
    if (exiting.exchange(true)) {
        // The running procedure reads exitReason, so the close waits with a reason of its own.
        if (reason == ExitReason::userClosedSim && procedureThreadRunning && isRestart(exitReason))
            queueExit(reason, 0);
        return;
    }
    if (!installedProcedure) {
        exitReason = reason;
        return;
    }
    if (procedureThreadRunning) {
        queueExit(reason, restartDelaySeconds);
        return;
    }
    exitReason = reason;
    std::thread(runExitProcedures, installedProcedure, restartDelaySeconds).detach();
    procedureThreadRunning = true;
}

bool exitQueued()
{
    std::lock_guard lock(exitMutex);
    return queued;
}

bool releaseExiting()
{
    std::lock_guard lock(exitMutex);
    if (queued)
        return false;
    exiting = false;
    return true;
}

void dropQueuedExit()
{
    std::lock_guard lock(exitMutex);
    queued = false;
}

void reportFatal(std::string_view functionName)
{
    try {
        throw;
    } catch (const UserErrorException& e) {
        showError(e.what());
    } catch (const fmt::format_error& e) {
        showError(fmt::format("std::format error: {}", e.what()));
    } catch (const std::exception& e) {
        // Memory, range, runtime and every other standard error alike.
        showError(fmt::format("{}: {}", functionName, e.what()));
        startFinalExit(ExitReason::systemError, 0);
    } catch (...) {
        showError("Unknown exception");
    }
}

} // namespace rtd
