// Livery matching of live aircraft: 1,000,000 made-up flight records against the tables
// of 30,000 liveries, with RANDOM on (Arg 1) and off (Arg 0). The records mix registered
// liveries, airlines with their own fleets, registrations of the model database, airlines
// flying models they have no livery of, and private aircraft.

#include "core/parameters.hpp"
#include "fixtures/catalogue.hpp"
#include "fixtures/dbase_fixture.hpp"
#include "fixtures/regcode_fixture.hpp"
#include "liveries/dbase.hpp"
#include "liveries/lookup_tables.hpp"
#include "liveries/matching.hpp"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t benchLiveries = 30'000;
constexpr std::size_t benchFlights = 1'000'000;
constexpr std::size_t dbaseRows = 20'000;

struct Flight {
    std::string airline;
    std::string model;
    std::string registration;
};

// The model database, the regcode files and the tables of the fixture liveries, built in a
// temporary installation folder that is removed again.
class MatchingWorld {
public:
    MatchingWorld()
        : folder_(std::filesystem::temp_directory_path() / ("ramptide-matching-bench-" + std::to_string(::getpid())))
    {
        rtd::fixtures::writeRegcodeFiles(folder_, benchLiveries);
        std::vector<Flight> dbaseFlights;
        rtd::fixtures::writeDbaseFile(folder_ / "input" / "dbase.xml", {dbaseRows, 1},
                                      [&](const std::string& registration, const rtd::DbaseRecord& record) {
                                          dbaseFlights.push_back({record.airl, record.type, registration});
                                      });
        const std::filesystem::path previous = std::filesystem::current_path();
        std::filesystem::current_path(folder_);
        rtd::readDbase();
        for (rtd::GuiBoolParameter* option : {&rtd::LIGHT_AIRCRAFT, &rtd::HELICOPTERS, &rtd::HIGH_PERF_AIRCRAFT})
            option->set(false);
        rtd::clearLookupTables();
        rtd::LiveryList liveries = rtd::fixtures::fixtureLiveries(benchLiveries);
        rtd::processScannedLiveries(liveries);
        std::filesystem::current_path(previous);
        makeFlights(liveries, dbaseFlights);
    }
    ~MatchingWorld()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    MatchingWorld(const MatchingWorld&) = delete;
    MatchingWorld& operator=(const MatchingWorld&) = delete;

    std::vector<Flight> flights;

private:
    void makeFlights(const rtd::LiveryList& liveries, const std::vector<Flight>& dbaseFlights)
    {
        const std::vector<rtd::LiveryData> installed(liveries.begin(), liveries.end());
        const auto models = rtd::fixtures::models();
        const auto airlines = rtd::fixtures::airlines();
        const auto privateModels = rtd::fixtures::privateModels();
        std::mt19937 engine(1);
        auto pick = [&engine](std::size_t size) { return std::uniform_int_distribution<std::size_t>(0, size - 1)(engine); };
        flights.reserve(benchFlights);
        while (flights.size() < benchFlights) {
            const rtd::LiveryData& livery = installed[pick(installed.size())];
            switch (pick(5)) {
            case 0: // a registered livery, or the airline's own fleet
                flights.push_back({livery.airline, livery.model, livery.regcode});
                break;
            case 1:
                flights.push_back({livery.airline, livery.model, ""});
                break;
            case 2:
                flights.push_back(dbaseFlights[pick(dbaseFlights.size())]);
                break;
            case 3: // any airline with any model
                flights.push_back({std::string(airlines[pick(airlines.size())].code),
                                   std::string(models[pick(models.size())].code), ""});
                break;
            default:
                flights.push_back({"PVT", std::string(privateModels[pick(privateModels.size())]), ""});
            }
        }
    }

    std::filesystem::path folder_;
};

const MatchingWorld& world()
{
    static const MatchingWorld built;
    return built;
}

void BM_MatchLivery(benchmark::State& state)
{
    const std::vector<Flight>& flights = world().flights;
    std::vector<rtd::AircraftCategory> categories;
    for (const Flight& flight : flights)
        categories.push_back(rtd::sizeCategory(flight.model));
    rtd::RANDOM.set(state.range(0) != 0);
    rtd::LOG.set(false);
    std::size_t next = 0;
    std::size_t matched = 0;
    for (auto _ : state) {
        const Flight& flight = flights[next];
        rtd::MatchRecord record;
        record.airline = flight.airline;
        record.model = flight.model;
        record.registration = flight.registration;
        record.category = categories[next];
        rtd::matchLivery(record);
        matched += record.livery.empty() ? 0 : 1;
        benchmark::DoNotOptimize(record.livery);
        next = next + 1 == flights.size() ? 0 : next + 1;
    }
    state.counters["matched %"] = 100.0 * static_cast<double>(matched) / static_cast<double>(state.iterations());
    state.counters["flights"] = static_cast<double>(flights.size());
}
BENCHMARK(BM_MatchLivery)->Arg(0)->Arg(1);

} // namespace
