#include "airports/traffic_port.hpp"
#include "traffic/traffic_thread.hpp"

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
    for (std::int64_t poll = 1; poll <= 100 * 33; ++poll)
        trafficCycle(poll);
    EXPECT_EQ(port.checks, 2);
    installTrafficPort(nullptr);
    resetTrafficState();
}

} // namespace
} // namespace rtd
