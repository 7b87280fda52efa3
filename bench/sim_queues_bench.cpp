// The AI command hand-over: a frame drain of 300 positions and 600 client events through
// the stand-in, the end-of-poll position hand-over, and the traffic thread's handling of a
// poll's ground reports.

#include "simulator/stand_in.hpp"
#include "traffic/engine/ai_state.hpp"
#include "traffic/simulator_link/ai_commands.hpp"
#include "traffic/simulator_link/ai_results.hpp"
#include "traffic/simulator_link/sim_client.hpp"
#include "traffic/simulator_link/sim_events.hpp"

#include <benchmark/benchmark.h>
#include <mutex>
#include <string>

namespace {

using namespace rtd;

void BM_FrameDrain300Positions600Events(benchmark::State& state)
{
    auto standIn = std::make_shared<sim::StandInSim>();
    standIn->recordCalls(false); // the drain, not the stand-in's call log
    sim::installStandIn(standIn);
    resetSimLink();
    openSimConnect();
    dispatchSimConnect();
    std::vector<std::uint32_t> objects;
    for (int i = 0; i < 300; ++i)
        objects.push_back(standIn->addForeignAircraft("Foreign", "F" + std::to_string(i), 52.0, 4.0 + 0.001 * i, 0, true));
    dispatchSimConnect();
    for (auto _ : state) {
        state.PauseTiming();
        {
            std::lock_guard lock(simConnectMutex);
            for (const std::uint32_t id : objects) {
                positionQueue.front->push_back({.latitude = 52.0, .longitude = 4.0, .objectId = id});
                clientEventQueue.push_back({id, eventCabinLights, 1});
                clientEventQueue.push_back({id, eventNavLights, 0});
            }
        }
        state.ResumeTiming();
        onSimFrame();
    }
    resetSimLink();
    sim::installStandIn(nullptr);
}
BENCHMARK(BM_FrameDrain300Positions600Events)->Unit(benchmark::kMicrosecond);

void BM_PositionHandOver(benchmark::State& state)
{
    frameRate = 30.0f;
    for (auto _ : state) {
        state.PauseTiming();
        positionQueue.back->resize(300);
        state.ResumeTiming();
        handOverPositions();
    }
    clearAIQueues();
}
BENCHMARK(BM_PositionHandOver);

void BM_ProcessGroundData(benchmark::State& state)
{
    const auto count = static_cast<std::uint32_t>(state.range(0));
    liveAIList.clear();
    for (std::uint32_t i = 0; i < count; ++i) {
        FlightRecord flight;
        flight.hexid = 20000 + i * 7;
        LiveAI& ai = liveAIList.emplace_back(constructLiveAI({}, flight, 0));
        ai.objectId = 1000 + ((i * 7919) % count); // object ids in another order than the list
        ai.onGround = true;
        ai.simStatus = SimStatus::inSim;
    }
    for (auto _ : state) {
        state.PauseTiming();
        {
            std::lock_guard lock(simEventMutex);
            for (std::uint32_t i = 0; i < count; ++i)
                simEventQueue.push_back({.objectId = 1000 + i, .aircraftId = 1, .kind = GroundData, .value1 = 10,
                                         .value2 = 0.5});
        }
        state.ResumeTiming();
        processSimEvents();
    }
    liveAIList.clear();
}
BENCHMARK(BM_ProcessGroundData)->Arg(300)->Arg(1000)->Unit(benchmark::kMicrosecond);

} // namespace
