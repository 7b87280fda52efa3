// The simulator client on its own thread against a free-running stand-in.

#include "traffic/sim_harness.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <functional>

namespace rtd {
namespace {

using namespace std::chrono_literals;

class SimThreadTest : public test::SimHarness {
protected:
    SimThreadTest()
    {
        sim = std::make_shared<sim::StandInSim>(sim::StandInSim::Mode::freeRunning);
        sim::installStandIn(sim);
    }

    std::size_t successfulOpens() const
    {
        const auto calls = sim->calls();
        return std::count_if(calls.begin(), calls.end(), [](const sim::CallRecord& call) {
            return call.name == "SimConnect_Open" && call.result == sim::ok;
        });
    }

    static bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(5ms);
        }
        return true;
    }
};

TEST_F(SimThreadTest, ConnectsAfterFailedOpensAndAStopLeavesNoConnection)
{
    sim->failOpen(2);
    sim->setUserTitle("Thread Jet");
    const std::int32_t threadsBefore = activeThreadCount;
    std::jthread client(SimClient);
    EXPECT_TRUE(waitFor([] { return simRunning && mainWindowGlobals.simConnected; }, 5s));
    EXPECT_EQ(activeThreadCount, threadsBefore + 1);
    EXPECT_TRUE(requestUserOnGround()) << "the run phase's wait for the user aircraft";
    EXPECT_TRUE(waitFor([] { return userTitle() == "Thread Jet"; }, 2s));
    EXPECT_EQ(sim->openConnections(), 1);
    client.request_stop();
    client.join();
    EXPECT_EQ(sim->openConnections(), 0);
    EXPECT_EQ(activeThreadCount, threadsBefore);
    EXPECT_TRUE(waitForExits(0).empty()) << "a stop starts no exit";
}

// Meant for the thread sanitizer build: the traffic thread's queues filled while the client
// drains them at every frame.
TEST_F(SimThreadTest, CommandsOf300AircraftArriveInOrder)
{
    std::vector<std::uint32_t> objects;
    for (int i = 0; i < 300; ++i)
        objects.push_back(sim->addForeignAircraft("Other", fmt::format("X{}", i), 52.3, 4.76 + i * 0.001, 0, true));
    std::jthread client(SimClient);
    ASSERT_TRUE(waitFor([] { return simRunning.load(); }, 5s));
    std::uint32_t sent = 0;
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (std::chrono::steady_clock::now() < end) {
        ++sent;
        for (const std::uint32_t id : objects) {
            queueCabinLightsSet(id, sent);
            appendPosition({.latitude = 52.3, .longitude = 4.76, .objectId = id});
        }
        processSimEvents();
        handOverPositions();
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(waitFor([] {
        std::lock_guard lock(simConnectMutex);
        return clientEventQueue.empty();
    }, 5s));
    client.request_stop();
    client.join();
    for (const std::uint32_t id : objects) {
        std::vector<std::uint32_t> values;
        for (const sim::ClientEventRecord& e : sim->eventsTo(id))
            values.push_back(e.data);
        ASSERT_EQ(values.size(), sent) << id;
        ASSERT_TRUE(std::is_sorted(values.begin(), values.end())) << id;
    }
}

TEST_F(SimThreadTest, RestartsNeverHoldTwoConnections)
{
    struct Row {
        const char* application;
        int openWhileRunning;
        int openAfterStop; // a user error leaves its connection open until the next start
    };
    const std::vector<Row> rows{{"KittyHawk", 1, 0}, {"Other", 1, 1}, {"KittyHawk", 1, 0}, {"KittyHawk", 1, 0}};
    for (const Row& row : rows) {
        sim->setApplication(row.application, {1, 2, 3, 4});
        // The connection a user error left open counts too: wait for this run's own open.
        const auto opensBefore = successfulOpens();
        std::jthread client(SimClient);
        EXPECT_TRUE(waitFor([&] { return successfulOpens() > opensBefore; }, 2s));
        // The simulator runs for the right application; another one gets a user error.
        EXPECT_TRUE(waitFor([&] {
            return row.openAfterStop == 0 ? simRunning.load() : !mainWindowGlobals.statusLine().errorText.empty();
        }, 5s)) << row.application;
        EXPECT_EQ(sim->openConnections(), row.openWhileRunning) << row.application;
        client.request_stop();
        client.join();
        EXPECT_EQ(sim->openConnections(), row.openAfterStop) << row.application;
        clearErrorText();
    }
}

TEST_F(SimThreadTest, QuitEndsTheThreadWithSimWasClosed)
{
    std::jthread client(SimClient);
    ASSERT_TRUE(waitFor([] { return simRunning.load(); }, 2s));
    sim->quit();
    const auto exits = waitForExits(1);
    ASSERT_EQ(exits.size(), 1u);
    EXPECT_EQ(exits[0].reason, ExitReason::simWasClosed);
    client.join();
    EXPECT_EQ(sim->openConnections(), 0);
    EXPECT_FALSE(simRunning);
}

} // namespace
} // namespace rtd
