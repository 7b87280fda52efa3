// The traffic thread's poll (trafficCycle) with 50, 300 and 1,000 live aircraft in the
// stand-in simulator, in steady state (poll_world.hpp): 60 % cruising, 20 % taking off or
// landing, 20 % taxiing round corners, each with 10 to 20 queued updates. Only the cycle is
// timed; the frame, its dispatch and the feeding between polls are not. Counters: the poll's
// p50 and p99 in microseconds, and the allocations per poll, counted by a replaced global
// operator new while the cycle runs (goal 0). The shares say what the aircraft were doing.
// Goal: p99 under 1 ms at 300 aircraft.
#include "poll_world.hpp"

#include "allocation_count/allocation_count.hpp"
#include "core/block_pool.hpp"

#include <benchmark/benchmark.h>
#include <algorithm>
#include <chrono>

namespace {

constexpr int measuredPolls = 2000;     // 20 s of traffic
constexpr int mixSamplePeriodPolls = 100;

double percentile(std::vector<double>& samples, double share)
{
    if (samples.empty())
        return 0.0;
    const auto at = static_cast<std::size_t>(share * static_cast<double>(samples.size() - 1));
    std::nth_element(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(at), samples.end());
    return samples[at];
}

void BM_TrafficPoll(benchmark::State& state)
{
    const auto count = static_cast<int>(state.range(0));
    const rtd::block_pool::ThreadScope pooled; // as on the traffic thread
    std::unique_ptr<rtd::bench::PollWorld> world;
    try {
        world = std::make_unique<rtd::bench::PollWorld>(count);
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return;
    }
    std::vector<double> pollUs;
    pollUs.reserve(static_cast<std::size_t>(state.max_iterations));
    rtd::bench::PollWorld::Mix mix;
    int mixSamples = 0;
    std::int64_t allocations = 0;
    for (auto _ : state) {
        world->frame();
        world->feed();
        rtd::allocation_count::start();
        const auto start = std::chrono::steady_clock::now();
        rtd::trafficCycle();
        const auto end = std::chrono::steady_clock::now();
        allocations += rtd::allocation_count::stop();
        const std::chrono::duration<double> took = end - start;
        state.SetIterationTime(took.count());
        pollUs.push_back(took.count() * 1e6);
        if (pollUs.size() % mixSamplePeriodPolls == 0) {
            mix += world->mix();
            ++mixSamples;
        }
    }
    if (world->inSimCount() != static_cast<std::size_t>(count))
        state.SkipWithError("aircraft left the simulator");
    const auto polls = static_cast<double>(pollUs.size());
    state.counters["p50_us"] = percentile(pollUs, 0.50);
    state.counters["p99_us"] = percentile(pollUs, 0.99);
    state.counters["allocsPerPoll"] = polls > 0 ? static_cast<double>(allocations) / polls : 0.0;
    if (mixSamples > 0) {
        const double n = mixSamples;
        state.counters["airborne"] = mix.airborne / n;
        state.counters["onGround"] = mix.onGround / n;
        state.counters["takeOffOrLanding"] = mix.takeOffOrLanding / n;
        state.counters["runway"] = mix.runway / n;
        state.counters["curving"] = mix.curving / n;
        state.counters["depth"] = mix.depth / n;
    }
}
// A fixed count of polls: the same steady state whatever the minimum time; --benchmark_repetitions for spreads.
BENCHMARK(BM_TrafficPoll)->ArgName("live")->Arg(50)->Arg(300)->Arg(1000)->Iterations(measuredPolls)->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

} // namespace
