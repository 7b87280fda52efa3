#include "airports/services.hpp"
#include "airports/traffic_port.hpp"
#include "traffic/engine/ai_state.hpp"
#include "traffic/engine/traffic_thread.hpp"
#include "traffic/simulator_link/sim_client.hpp"

#include <gtest/gtest.h>

namespace rtd {
namespace {

// Counts the park-airport sight checks: each one asks first whether parking is busy.
class CountingPort : public TrafficPort {
public:
    bool parkingBusy() override
    {
        ++checks;
        return false;
    }
    int checks = 0;
};

TEST(TrafficCycle, ParkAirportSightEverySixteenSeconds)
{
    CountingPort port;
    installTrafficPort(&port);
    resetTrafficState();
    simRunning = true;
    for (int second = 1; second <= 33; ++second) {
        simSecondTick = true;
        trafficCycle();
    }
    simRunning = false;
    EXPECT_EQ(port.checks, 2);
    installTrafficPort(nullptr);
    resetTrafficState();
}

// Room for the lists, the stands and the fit list from the start.
TEST(TrafficCycle, ContainersReservedAtStart)
{
    initTrafficContainers();
    EXPECT_GE(liveAIList.capacity(), 512u);
    EXPECT_GE(parkedAIList.capacity(), 256u);
    EXPECT_GE(parkAirport.stands.capacity(), 512u);
    EXPECT_GE(fitList.capacity(), 256u);
}

} // namespace
} // namespace rtd
