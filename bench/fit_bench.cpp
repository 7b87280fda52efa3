// Static parking at a large park airport: 1,000 stands of 50 options each, every stand
// overlapping its two neighbours in the row, 300 static parked aircraft in the simulator,
// MAX_FIT 47. A generation of the fit list from scratch, and an adjustment that sorts the
// parked aircraft against a new fit. Both run inside one poll of the traffic thread. The
// argument is parking_percentage: at 30 % the search stops after a few half hours, at 100 %
// it walks all 48 of the real and of the soft pass.

#include "airports/park_airport_state.hpp"
#include "airports/static_parking.hpp"
#include "core/parameters.hpp"

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
constexpr DaySlot benchNow = makeDaySlot(3, 20);

class FitBenchPort : public TrafficPort {
public:
    UserStateView userState() override { return {{52.0, 4.0}, 0.0, true, true}; }
    std::vector<ParkedAircraftView> parkedAircraft() override { return parked; }
    DaySlot dayHalfHour() override { return benchNow; }
    std::vector<ParkedAircraftView> parked;
};

FitBenchPort& fitAirport()
{
    static FitBenchPort port;
    static bool made = false;
    if (made)
        return port;
    made = true;
    std::mt19937 random(7);
    auto& stands = parkAirport.stands;
    stands.clear();
    for (int s = 0; s < standCount; ++s) {
        std::vector<StandOption> options;
        for (int o = 0; o < optionsPerStand; ++o) {
            const std::string airline = fmt::format("A{}", o % 13);
            StandOption option{airline, "B738", fmt::format("R{}-{}", s, o), fmt::format("C{}-{}", s, o), ""};
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
        ParkedAircraftView view{stand.standId, {stand.latitude, stand.longitude}, 0.009, fmt::format("C{}-0*", p * 3),
                                "A0", "B738"};
        view.parkedSince = makeDaySlot(3, static_cast<unsigned>(p % 20));
        view.coupledCallsign1 = fmt::format("C{}-0", p * 3);
        port.parked.push_back(std::move(view));
    }
    installTrafficPort(&port);
    publishStandSnapshot();
    MAX_FIT.set(47);
    return port;
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
