#include "core/display.hpp"
#include "core/exceptions.hpp"
#include "core/exit.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <atomic>
#include <barrier>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace rtd {
namespace {

using namespace std::chrono_literals;

std::atomic<int> procedureRuns{0};
std::atomic<int> procedureDone{0};
std::atomic<int> procedureRunning{0};
std::atomic<int> maxConcurrentProcedures{0};
std::atomic<bool> holdInCountdown{false};
std::atomic<bool> holdUntilReleased{false}; // keeps the procedure running, however slow the callers
std::vector<ExitReason> reasonsSeen; // written by the one procedure thread only

// Stands for FinalExit: counts itself and, when asked, opens the restart countdown
// (`exiting` cleared) until a new request arrives.
void fakeProcedure(int)
{
    const int running = ++procedureRunning;
    maxConcurrentProcedures = std::max(maxConcurrentProcedures.load(), running);
    ++procedureRuns;
    reasonsSeen.push_back(exitReason);
    std::this_thread::sleep_for(20ms);
    while (holdUntilReleased)
        std::this_thread::sleep_for(1ms);
    if (holdInCountdown.exchange(false)) {
        exiting = false;
        while (!exiting)
            std::this_thread::sleep_for(1ms);
    }
    --procedureRunning;
    if (releaseExiting())
        ++procedureDone;
}

class ExitTest : public ::testing::Test {
protected:
    ExitTest()
    {
        exiting = false;
        exitReason = ExitReason::notYetSet;
        procedureRuns = 0;
        procedureDone = 0;
        maxConcurrentProcedures = 0;
        reasonsSeen.clear();
        clearErrorText();
    }
    ~ExitTest() override
    {
        setExitProcedure(nullptr);
        exiting = false;
        clearErrorText();
    }

    static void waitForDone(int count)
    {
        for (int i = 0; i < 500 && procedureDone < count; ++i)
            std::this_thread::sleep_for(10ms);
        std::this_thread::sleep_for(20ms); // the procedure thread leaves its loop
    }
};

TEST_F(ExitTest, ReasonsHaveTheirLoggedNames)
{
    EXPECT_EQ(exitReasonName(ExitReason::notYetSet), "NOT_YET_SET");
    EXPECT_EQ(exitReasonName(ExitReason::simWasClosed), "SIM WAS CLOSED");
    EXPECT_EQ(exitReasonName(ExitReason::restartIpp), "RESTART_IPP");
    EXPECT_EQ(exitReasonName(ExitReason::userClosedSim), "USER CLOSED SIM");
    EXPECT_EQ(exitReasonName(ExitReason::systemError), "SYSTEM ERROR");
    EXPECT_THROW(exitReasonName(static_cast<ExitReason>(6)), std::out_of_range);
}

TEST_F(ExitTest, SimultaneousRequestsStartOneExit)
{
    setExitProcedure(&fakeProcedure);
    holdUntilReleased = true;
    constexpr int callers = 8;
    std::barrier start(callers);
    std::vector<std::jthread> threads;
    for (int i = 0; i < callers; ++i)
        threads.emplace_back([&start, i] {
            start.arrive_and_wait();
            // (A close during a restart would be remembered: see the next test.)
            startFinalExit(i % 2 ? ExitReason::userClosedSim : ExitReason::simWasClosed, 0);
        });
    threads.clear();
    holdUntilReleased = false;
    waitForDone(1);
    EXPECT_EQ(procedureRuns, 1);
    EXPECT_FALSE(exiting);
}

TEST_F(ExitTest, RequestDuringTheCountdownRunsAfterTheRestartNotBesideIt)
{
    setExitProcedure(&fakeProcedure);
    holdInCountdown = true;
    startFinalExit(ExitReason::restart, 3);
    while (exiting) // the countdown has begun
        std::this_thread::sleep_for(1ms);
    startFinalExit(ExitReason::userClosedSim, 0);
    waitForDone(1);
    EXPECT_EQ(procedureRuns, 2);
    EXPECT_EQ(procedureDone, 1) << "only the second exit may post its message";
    EXPECT_EQ(maxConcurrentProcedures, 1);
    EXPECT_EQ(reasonsSeen, (std::vector{ExitReason::restart, ExitReason::userClosedSim}));
}

TEST_F(ExitTest, CloseWhileARestartRunsIsRememberedOtherRequestsAreNot)
{
    setExitProcedure(&fakeProcedure);
    startFinalExit(ExitReason::restart, 3); // its procedure runs with `exiting` set for 20 ms
    startFinalExit(ExitReason::systemError, 0);
    startFinalExit(ExitReason::userClosedSim, 0);
    startFinalExit(ExitReason::userClosedSim, 0);
    EXPECT_TRUE(exitQueued());
    waitForDone(1);
    EXPECT_EQ(reasonsSeen, (std::vector{ExitReason::restart, ExitReason::userClosedSim}));
}

TEST_F(ExitTest, FatalReportsFollowTheExceptionKind)
{
    const auto report = [](auto&& thrower) {
        clearErrorText();
        exiting = false;
        exitReason = ExitReason::notYetSet;
        try {
            thrower();
        } catch (...) {
            reportFatal("mainLoop");
        }
        return mainWindowGlobals.statusLine().errorText;
    };
    EXPECT_EQ(report([] { throw UserErrorException(41, "fix it"); }), "41: fix it");
    EXPECT_EQ(exitReason, ExitReason::notYetSet) << "a user error waits for the user";
    EXPECT_EQ(report([] { throw fmt::format_error("bad pattern"); }), "std::format error: bad pattern");
    EXPECT_FALSE(exiting);
    EXPECT_EQ(report([] { throw std::runtime_error("boom"); }), "mainLoop: boom");
    EXPECT_EQ(exitReason, ExitReason::systemError);
    EXPECT_EQ(report([] { throw std::out_of_range("range"); }), "mainLoop: range");
    EXPECT_TRUE(exiting);
    EXPECT_EQ(report([] { throw 7; }), "Unknown exception");
    EXPECT_FALSE(exiting);
}

} // namespace
} // namespace rtd
