#pragma once
// The clock of the traffic thread's 10 ms loop: a steady "now" in 100 ns ticks and a sleep
// until a point on it. The program uses the steady clock; tests install a virtual one that
// moves only when they move it.

#include <cstdint>

namespace rtd {

inline constexpr std::int64_t ticksPerMs = 10'000; // 100 ns ticks
inline constexpr std::int64_t pollPeriodTicks = 10 * ticksPerMs;

class TrafficClock {
public:
    virtual ~TrafficClock() = default;
    virtual std::int64_t now() = 0;                 // 100 ns ticks, never going back
    virtual void sleepUntil(std::int64_t ticks) = 0; // returns at or after `ticks`
};

// The steady clock unless a test installed its own; null restores the steady clock. The
// clock must outlive its use by mainLoop.
TrafficClock& trafficClock();
void setTrafficClock(TrafficClock* clock);

} // namespace rtd
