// Static parking at a large park airport: 1,000 stands of 50 options each, every stand
// overlapping its two neighbours in the row, 300 static parked aircraft in the simulator,
// MAX_FIT 47. A generation of the fit list from scratch, and an adjustment that sorts the
// parked aircraft against a new fit. Both run inside one poll of the traffic thread. The
// argument is parking_percentage: at 30 % the search stops after a few half hours, at 100 %
// it walks all 48 of the real and of the soft pass.

#include "big_airport.hpp"

#include "airports/parking/park_airport_state.hpp"
#include "airports/parking/static_parking.hpp"
#include "core/parameters.hpp"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

namespace {

using namespace rtd;

void fitAirport()
{
    bench::bigAirport();
    MAX_FIT.set(47);
}

void BM_GenerateStaticParking(benchmark::State& state)
{
    fitAirport();
    parking_percentage.set(static_cast<std::int32_t>(state.range(0)));
    std::size_t fits = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (ParkingPosition& stand : parkAirport.stands)
            for (StandOption& option : stand.options)
                option.suppressed = false;
        state.ResumeTiming();
        generateStaticParking();
        fits = fitList.size();
    }
    state.counters["fit"] = static_cast<double>(fits);
}
BENCHMARK(BM_GenerateStaticParking)->Arg(30)->Arg(100)->Unit(benchmark::kMillisecond);

void BM_AdjustParking(benchmark::State& state)
{
    fitAirport();
    parking_percentage.set(static_cast<std::int32_t>(state.range(0)));
    std::size_t fits = 0;
    std::size_t stayers = 0;
    for (auto _ : state) {
        adjustParking();
        fits = fitList.size();
        stayers = parkedStayers.size();
    }
    state.counters["fit"] = static_cast<double>(fits);
    state.counters["stayers"] = static_cast<double>(stayers);
}
BENCHMARK(BM_AdjustParking)->Arg(30)->Arg(100)->Unit(benchmark::kMillisecond);

} // namespace
