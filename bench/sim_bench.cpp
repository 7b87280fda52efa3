// The simulator link's dispatch: an empty one (every millisecond of a run), and one that
// answers a range scan over 1000 aircraft and decodes every reply.

#include "simulator/stand_in.hpp"
#include "traffic/simulator_link/sim_client.hpp"
#include "traffic/simulator_link/sim_events.hpp"

#include <benchmark/benchmark.h>

namespace {

using namespace rtd;

std::shared_ptr<sim::StandInSim> connectedStandIn()
{
    auto standIn = std::make_shared<sim::StandInSim>();
    sim::installStandIn(standIn);
    resetSimLink();
    openSimConnect();
    dispatchSimConnect();
    return standIn;
}

void BM_EmptyDispatch(benchmark::State& state)
{
    const auto standIn = connectedStandIn();
    for (auto _ : state)
        benchmark::DoNotOptimize(dispatchSimConnect());
    resetSimLink();
}
BENCHMARK(BM_EmptyDispatch);

void BM_RangeScanOf1000Aircraft(benchmark::State& state)
{
    const auto standIn = connectedStandIn();
    standIn->setUser({.lat = 52.0, .lon = 4.0});
    for (int i = 0; i < 1000; ++i)
        standIn->addForeignAircraft("Foreign", "F" + std::to_string(i), 52.0 + 0.001 * (i % 100), 4.0 + 0.001 * (i / 100),
                                    100.0, true);
    dispatchSimConnect(); // their ObjectAdded events
    const auto scan = [] {
        std::lock_guard lock(simConnectMutex);
        sim::SimConnect_RequestDataOnSimObjectType(simConnectHandle, rangeScanRequest, defineRangeScan, 40 * 1852,
                                              sim::objectTypeAircraft);
    };
    scan();
    dispatchSimConnect(); // identifies them once (none is ours)
    {
        // Only the most recently added ids are remembered; the rest already report ground data.
        std::lock_guard lock(simEventMutex);
        simEventQueue.clear();
    }
    for (auto _ : state) {
        scan();
        dispatchSimConnect();
        std::lock_guard lock(simEventMutex);
        if (simEventQueue.size() != 1000)
            state.SkipWithError("not every aircraft reported");
        simEventQueue.clear();
    }
    resetSimLink();
}
BENCHMARK(BM_RangeScanOf1000Aircraft)->Unit(benchmark::kMicrosecond);

} // namespace
