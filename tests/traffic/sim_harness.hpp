#pragma once
// The simulator client driven step by step on the test's thread against a fresh
// deterministic stand-in: the link reset, exits recorded instead of run, and no violation of
// the simulator's rules allowed at the end.

#include "core/display.hpp"
#include "core/exit.hpp"
#include "core/log.hpp"
#include "simulator/stand_in.hpp"
#include "support/temp_folder.hpp"
#include "traffic/engine/ai_state.hpp"
#include "traffic/engine/flight_plans.hpp"
#include "traffic/simulator_link/ai_commands.hpp"
#include "traffic/simulator_link/ai_results.hpp"
#include "traffic/simulator_link/sim_client.hpp"
#include "traffic/simulator_link/sim_events.hpp"

#include <gtest/gtest.h>
#include <chrono>
#include <filesystem>
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
        clearAIContainers();
        frameRate = 0.0f; // a sample survives a reset; under Wine the tests share one process
        flightPlanFolder = folder / "orig_dest";
        std::filesystem::create_directories(flightPlanFolder);
    }

    ~SimHarness() override
    {
        resetSimLink();
        clearAIContainers();
        flightPlanFolder.clear();
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

    // The traffic thread's poll as far as the simulator link goes: the sim events, then the
    // hand-over of this poll's positions.
    static void poll(int count = 1)
    {
        for (int i = 0; i < count; ++i) {
            processSimEvents();
            handOverPositions();
        }
    }

    // A live aircraft placed (status 1) and its creation queued, as the traffic cycle does.
    static LiveAI& placeLive(std::uint32_t hexid, const std::string& callsign, LiveryRef title, Phase phase,
                             double altitudeFt, AircraftCategory category = Large)
    {
        FlightRecord flight;
        flight.callsign = callsign;
        flight.hexid = hexid;
        flight.category = category;
        flight.liveryTitle = title;
        flight.origin = "EHAM";
        flight.destination = "LEMD";
        flight.onGroundPolls = 300;
        PositionUpdate first;
        first.lat = 52.3;
        first.lon = 4.76;
        first.altitudeFt = altitudeFt;
        first.airborne = altitudeFt != 0.0;
        LiveAI& ai = liveAIList.emplace_back(constructLiveAI(first, flight, 1.0));
        ai.lat = first.lat;
        ai.lon = first.lon;
        ai.altitude = altitudeFt;
        ai.setPhase(phase);
        ai.simStatus = SimStatus::requested;
        CreationRequest request{.position = {ai.lat, ai.lon, altitudeFt, 0, 0, 0, 0, 0},
                                .callsign = callsign, .title = title, .aircraftId = hexid};
        queueAICreation(request);
        return ai;
    }

    // The range scan as the traffic cycle requests it every 200 ms.
    static void rangeScan()
    {
        requestAircraftInRange(40 * 1852);
    }

    // Placed and its creation queued, then frames until the simulator made it and a range
    // scan identified it: its object id (0 when it was not).
    std::uint32_t createLive(std::uint32_t hexid, const std::string& callsign, LiveryRef title, Phase phase,
                             double altitudeFt, AircraftCategory category = Large)
    {
        placeLive(hexid, callsign, title, phase, altitudeFt, category);
        step(2);
        rangeScan();
        step(0);
        poll();
        for (const LiveAI& ai : liveAIList)
            if (ai.id() == hexid)
                return ai.objectId;
        return 0;
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
