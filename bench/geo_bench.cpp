// Great-circle helpers run for every live aircraft on every poll and for every stand.

#include "core/geo.hpp"

#include <benchmark/benchmark.h>
#include <vector>

namespace {

std::vector<rtd::LatLon> samplePositions()
{
    std::vector<rtd::LatLon> positions;
    for (int i = 0; i < 1024; ++i)
        positions.push_back({-80.0 + (i * 37 % 160), -179.0 + (i * 53 % 358)});
    return positions;
}

void BM_distanceNm(benchmark::State& state)
{
    const auto positions = samplePositions();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(rtd::distanceNm(positions[i], positions[(i + 1) % positions.size()]));
        i = (i + 1) % positions.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_distanceNm);

void BM_destinationPoint(benchmark::State& state)
{
    const auto positions = samplePositions();
    std::size_t i = 0;
    for (auto _ : state) {
        const double course = static_cast<double>(i % 628) / 100.0;
        benchmark::DoNotOptimize(rtd::destinationPoint(positions[i], course, 6076.0 * static_cast<double>(i % 500)));
        i = (i + 1) % positions.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_destinationPoint);

} // namespace
