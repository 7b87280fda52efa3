// The airport database: reading 44,000 airports, and a million lookups by code.

#include "airports/database/airport_database.hpp"
#include "fixtures/airport_fixture.hpp"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t benchAirports = 44'000;

// A temporary installation folder with a generated airport database, made once, removed at
// exit. Each benchmark makes it the current folder before it runs.
class AirportInstallation {
public:
    AirportInstallation()
        : folder_(std::filesystem::temp_directory_path() / ("ramptide-airport-bench-" + std::to_string(::getpid())))
    {
        rtd::fixtures::writeAirportDatabase(folder_, {.seededCodes = benchAirports, .seed = 1});
    }
    ~AirportInstallation()
    {
        std::error_code ignored;
        std::filesystem::current_path(folder_.parent_path(), ignored);
        std::filesystem::remove_all(folder_, ignored);
    }
    AirportInstallation(const AirportInstallation&) = delete;
    AirportInstallation& operator=(const AirportInstallation&) = delete;

    void enter() const { std::filesystem::current_path(folder_); }

private:
    std::filesystem::path folder_;
};

AirportInstallation& installation()
{
    static AirportInstallation folder;
    folder.enter();
    return folder;
}

void BM_ReadAirports44000(benchmark::State& state)
{
    installation();
    for (auto _ : state) {
        rtd::resetAirports();
        benchmark::DoNotOptimize(rtd::readAirports());
    }
    state.counters["airports"] = static_cast<double>(rtd::airportRecords.size());
}
BENCHMARK(BM_ReadAirports44000)->Unit(benchmark::kMillisecond);

void BM_FindAirportMillion(benchmark::State& state)
{
    installation();
    rtd::resetAirports();
    rtd::readAirports();
    // Every tenth code is one the database does not hold.
    std::vector<std::string> codes;
    for (std::size_t i = 0; i < 1000; ++i)
        codes.push_back(i % 10 == 0 ? "Q" + std::to_string(i) : rtd::airportRecords[i * 41 % rtd::airportRecords.size()].code);
    for (auto _ : state) {
        for (int call = 0; call < 1'000'000; ++call)
            benchmark::DoNotOptimize(rtd::findAirport(codes[static_cast<std::size_t>(call) % codes.size()]));
    }
}
BENCHMARK(BM_FindAirportMillion)->Unit(benchmark::kMillisecond);

} // namespace
