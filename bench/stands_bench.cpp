// The stand services at a large park airport: 1,000 stands of 50 options each, every stand
// overlapping its two neighbours in the row, and 300 static parked aircraft. One fit pass
// over 48 offsets, and nearestStandName for a position it has not cached.

#include "airports/park_airport_state.hpp"
#include "airports/stands.hpp"
#include "airports/traffic_port.hpp"

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <random>

namespace {

using namespace rtd;

constexpr int standCount = 1000;
constexpr int optionsPerStand = 50;
constexpr int parkedCount = 300;
constexpr int standsPerRow = 40;
constexpr double spacingDeg = 50.0 / 1852.0 / 60.0; // 50 m

class BenchPort : public TrafficPort {
public:
    UserStateView userState() override { return {{52.0, 4.0}, 0.0, true, true}; }
    std::vector<ParkedAircraftView> parkedAircraft() override { return parked; }
    std::vector<ParkedAircraftView> parked;
};

BenchPort& benchAirport()
{
    static BenchPort port;
    static bool made = false;
    if (made)
        return port;
    made = true;
    std::mt19937 random(5);
    auto& stands = parkAirport.stands;
    stands.clear();
    for (int s = 0; s < standCount; ++s) {
        std::vector<StandOption> options;
        for (int o = 0; o < optionsPerStand; ++o) {
            StandOption option{fmt::format("A{}", o % 13), "B738", fmt::format("R{}-{}", s, o), fmt::format("C{}-{}", s, o), ""};
            option.halfHours = (std::uint64_t{1} << (random() % 48)) | (std::uint64_t{1} << (random() % 48));
            option.number = static_cast<std::uint32_t>(o + 1);
            option.day = 1 + random() % 7;
            option.learned = true;
            option.soft = o % 5 == 0;
            options.push_back(std::move(option));
        }
        stands.emplace_back(fmt::format("S{}", s), std::move(options), 52.0 + (s / standsPerRow) * spacingDeg,
                            4.0 + (s % standsPerRow) * spacingDeg * 1.6, 0.0, 30.0, false, s % 3 == 0, false);
        stands.back().standId = static_cast<std::uint32_t>(s + 1);
        if (s % standsPerRow != 0)
            stands.back().neighbours.push_back(static_cast<std::uint32_t>(s));
        if (s % standsPerRow != standsPerRow - 1)
            stands.back().neighbours.push_back(static_cast<std::uint32_t>(s + 2));
    }
    for (int p = 0; p < parkedCount; ++p) {
        const ParkingPosition& stand = stands[static_cast<std::size_t>(p * 3)];
        port.parked.push_back({stand.standId, {stand.latitude, stand.longitude}, 0.009, fmt::format("C{}-0*", p * 3),
                               "A0", "B738"});
    }
    installTrafficPort(&port);
    publishStandSnapshot();
    return port;
}

void BM_SearchStands48Offsets(benchmark::State& state)
{
    benchAirport();
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
    benchAirport();
    double nudge = 0.0;
    for (auto _ : state) {
        nudge += 1e-9;
        benchmark::DoNotOptimize(nearestStandName({52.0 + 10 * spacingDeg + nudge, 4.0 + 10 * spacingDeg}));
    }
}
BENCHMARK(BM_NearestStandNameUncached)->Unit(benchmark::kMicrosecond);

} // namespace
