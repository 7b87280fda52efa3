#pragma once
// The simulator client driven step by step on the test's thread against a fresh
// deterministic stand-in: the link reset, exits recorded instead of run, and no violation of
// the simulator's rules allowed at the end.

#include "core/display.hpp"
#include "core/exit.hpp"
#include "core/log.hpp"
#include "simulator/stand_in.hpp"
#include "support/temp_folder.hpp"
#include "traffic/sim_client.hpp"
#include "traffic/sim_events.hpp"

#include <gtest/gtest.h>
#include <chrono>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace rtd::test {

struct RecordedExit {
    ExitReason reason;
    int delay;
};

inline std::mutex recordedExitsMutex;
inline std::vector<RecordedExit> recordedExits; // under recordedExitsMutex

inline void recordExit(int delay)
{
    {
        std::lock_guard lock(recordedExitsMutex);
        recordedExits.push_back({exitReason.load(), delay});
    }
    releaseExiting();
}

class SimHarness : public ::testing::Test {
protected:
    SimHarness()
    {
        sim::installStandIn(sim);
        openLogFile(folder / "Log.txt");
        exiting = false;
        userClosed = false;
        exitReason = ExitReason::notYetSet;
        clearErrorText();
        clearStatus();
        {
            std::lock_guard lock(recordedExitsMutex);
            recordedExits.clear();
        }
        setExitProcedure(&recordExit);
        resetSimLink();
        frameRate = 0.0f; // a sample survives a reset; under Wine the tests share one process
    }

    ~SimHarness() override
    {
        resetSimLink();
        waitForExits(0);
        setExitProcedure(nullptr);
        closeLogFile();
        exiting = false;
        clearErrorText();
        EXPECT_EQ(sim->violations(), std::vector<std::string>{});
        EXPECT_EQ(sim->openConnections(), 0);
        sim::installStandIn(nullptr);
    }

    // Opens the connection and takes its first messages (OPEN, the "Sim" event).
    bool connect() { return openSimConnect() == OpenOutcome::connected && dispatchSimConnect(); }

    // `frames` simulator frames, each followed by one dispatch; false once the client ended.
    bool step(int frames = 1)
    {
        for (int i = 0; i < frames; ++i) {
            sim->frames(1);
            if (!dispatchSimConnect())
                return false;
        }
        return dispatchSimConnect();
    }

    // The exits requested so far, once at least `count` arrived (they run on their own thread).
    static std::vector<RecordedExit> waitForExits(std::size_t count)
    {
        for (int i = 0; i < 200; ++i) {
            {
                std::lock_guard lock(recordedExitsMutex);
                if (recordedExits.size() >= count && !exiting)
                    return recordedExits;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::lock_guard lock(recordedExitsMutex);
        return recordedExits;
    }

    static std::vector<SimEvent> takeSimEvents()
    {
        std::lock_guard lock(simEventMutex);
        return std::exchange(simEventQueue, {});
    }

    std::string log()
    {
        flushLog();
        return readText(folder / "Log.txt");
    }

    TempFolder folder;
    std::shared_ptr<sim::StandInSim> sim = std::make_shared<sim::StandInSim>();
};

} // namespace rtd::test
