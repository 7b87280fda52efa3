// Reading a 64 MiB scenery file (20 airports of 600 stands among filler records) from a warm
// cache and walking it into a sink that only counts. Target: 500 MB/s or more.

#include "airports/scan/airport_scan.hpp"
#include "airports/scan/bgl.hpp"
#include "fixtures/bgl_fixture.hpp"

#include <benchmark/benchmark.h>
#include <filesystem>

namespace {

struct CountingSink : rtd::AirportSink {
    std::size_t airports = 0;
    std::size_t stands = 0;
    bool linkAirport(rtd::AirportFileData&, std::int32_t& archivedCount, const std::string&) override
    {
        archivedCount = 0;
        return false;
    }
    void generateAirportFile(rtd::AirportFileData& airport) override
    {
        ++airports;
        stands += airport.stands.size();
    }
};

void BM_BglRead64MiB(benchmark::State& state)
{
    constexpr std::uint64_t fileBytes = 64ull << 20;
    const auto path = std::filesystem::temp_directory_path() / "ramptide_bgl_bench.bgl";
    rtd::fixtures::writeBglScenery(path, {20, 600, fileBytes - 20 * 600 * 60, 1});
    const auto size = std::filesystem::file_size(path);
    CountingSink sink;
    for (auto _ : state) {
        rtd::lf_toParkingPositions(path, sink);
        rtd::takeScanLog();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(size) * state.iterations());
    state.counters["airports"] = static_cast<double>(sink.airports) / static_cast<double>(state.iterations());
    state.counters["stands"] = static_cast<double>(sink.stands) / static_cast<double>(state.iterations());
    std::filesystem::remove(path);
}
BENCHMARK(BM_BglRead64MiB)->Unit(benchmark::kMillisecond);

} // namespace
