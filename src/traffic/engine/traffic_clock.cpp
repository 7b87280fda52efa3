#include "traffic/engine/traffic_clock.hpp"

#include <atomic>
#include <chrono>
#include <thread>

namespace rtd {

namespace {

using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;

class SteadyTrafficClock : public TrafficClock {
public:
    std::int64_t now() override
    {
        return std::chrono::duration_cast<Ticks>(std::chrono::steady_clock::now().time_since_epoch()).count();
    }
    void sleepUntil(std::int64_t ticks) override
    {
        std::this_thread::sleep_until(std::chrono::steady_clock::time_point(
            std::chrono::duration_cast<std::chrono::steady_clock::duration>(Ticks(ticks))));
    }
};

SteadyTrafficClock steadyClock;
std::atomic<TrafficClock*> installedClock{nullptr};

} // namespace

TrafficClock& trafficClock()
{
    TrafficClock* clock = installedClock.load();
    return clock != nullptr ? *clock : steadyClock;
}

void setTrafficClock(TrafficClock* clock)
{
    installedClock = clock;
}

} // namespace rtd
