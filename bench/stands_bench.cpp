// The stand services at a large park airport: 1,000 stands of 50 options each, every stand
// overlapping its two neighbours in the row, and 300 static parked aircraft. One fit pass
// over 48 offsets, and nearestStandName for a position it has not cached.

#include "big_airport.hpp"

#include "airports/parking/park_airport_state.hpp"
#include "airports/parking/stands.hpp"
#include "airports/traffic_port.hpp"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

namespace {

using namespace rtd;

using bench::spacingDeg;


void BM_SearchStands48Offsets(benchmark::State& state)
{
    bench::bigAirport();
    std::vector<FitCandidate> candidates;
    std::size_t found = 0;
    for (auto _ : state) {
        state.PauseTiming();
        candidates.clear();
        for (ParkingPosition& stand : parkAirport.stands) {
            stand.occupied = stand.keptFree = false;
            stand.neighbourOccupied = stand.standId % 3 == 1;
            for (StandOption& option : stand.options)
                option.suppressed = false;
        }
        state.ResumeTiming();
        for (int offset = 0; offset < 48; ++offset)
            lf_searchStands(makeDaySlot(3, 20), offset % 2 == 0, offset, candidates, candidates);
        found = candidates.size();
    }
    state.counters["candidates"] = static_cast<double>(found);
}
BENCHMARK(BM_SearchStands48Offsets)->Unit(benchmark::kMillisecond);

void BM_NearestStandNameUncached(benchmark::State& state)
{
    bench::bigAirport();
    double nudge = 0.0;
    for (auto _ : state) {
        nudge += 1e-9;
        benchmark::DoNotOptimize(nearestStandName({52.0 + 10 * spacingDeg + nudge, 4.0 + 10 * spacingDeg}));
    }
}
BENCHMARK(BM_NearestStandNameUncached)->Unit(benchmark::kMicrosecond);

} // namespace
