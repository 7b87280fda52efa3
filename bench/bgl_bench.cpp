// Reading scenery files from a warm cache and walking them into a sink:
// - a 64 MiB file of 20 airports of 600 stands among filler records, and one of 16 airports
//   of 65,535 stands and nothing else, into a sink that only counts. Target: 500 MB/s or more;
// - the crafted files of hostileBglScenery, read alone and with the airport files the scan
//   writes for them (into a temporary folder). Target: well under a second each, and for the
//   16 MiB file of overlapping helipads under 2 s and 400 MB peak memory with its writes (the
//   peak is the process's: run that row alone).

#include "airports/scan/airport_scan.hpp"
#include "airports/scan/bgl.hpp"
#include "fixtures/bgl_fixture.hpp"
#include "peak_memory.hpp"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

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

// The scan's own writer, for airports of no known publisher.
struct WritingSink : CountingSink {
    bool linkAirport(rtd::AirportFileData& airport, std::int32_t& archivedCount, const std::string& bglPath) override
    {
        airport.bglPath = bglPath;
        airport.publisher = "unknown";
        return CountingSink::linkAirport(airport, archivedCount, bglPath);
    }
    void generateAirportFile(rtd::AirportFileData& airport) override
    {
        CountingSink::generateAirportFile(airport);
        rtd::generateAirportFile(airport);
    }
};

void readScenery(benchmark::State& state, const rtd::fixtures::BglSceneryOptions& options)
{
    const auto path = fs::temp_directory_path() / "ramptide_bgl_bench.bgl";
    rtd::fixtures::writeBglScenery(path, options);
    const auto size = fs::file_size(path);
    CountingSink sink;
    for (auto _ : state) {
        rtd::lf_toParkingPositions(path, sink);
        rtd::takeScanLog();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(size) * state.iterations());
    state.counters["airports"] = static_cast<double>(sink.airports) / static_cast<double>(state.iterations());
    state.counters["stands"] = static_cast<double>(sink.stands) / static_cast<double>(state.iterations());
    fs::remove(path);
}

void BM_BglRead64MiB(benchmark::State& state)
{
    constexpr std::uint64_t fileBytes = 64ull << 20;
    readScenery(state, {20, 600, fileBytes - 20 * 600 * 60, 1});
}
BENCHMARK(BM_BglRead64MiB)->Unit(benchmark::kMillisecond);

void BM_BglReadStandDense(benchmark::State& state)
{
    readScenery(state, {16, 65535, 0, 1});
}
BENCHMARK(BM_BglReadStandDense)->Unit(benchmark::kMillisecond);

// Arguments: the HostileBgl kind; 1 to write the airport files.
void BM_BglHostileScan(benchmark::State& state)
{
    const auto kind = static_cast<rtd::fixtures::HostileBgl>(state.range(0));
    const fs::path before = fs::current_path();
    const fs::path folder = fs::temp_directory_path() / "ramptide_bgl_hostile";
    fs::remove_all(folder);
    fs::create_directories(folder / "airports");
    fs::current_path(folder); // the airport-file folders are relative to the installation folder
    const std::string bytes = rtd::fixtures::hostileBglScenery(kind);
    std::ofstream(folder / "scenery.bgl", std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    CountingSink counting;
    WritingSink writing;
    CountingSink& sink = state.range(1) == 1 ? writing : counting;
    std::size_t logBytes = 0;
    for (auto _ : state) {
        rtd::startScanLog();
        rtd::lf_toParkingPositions(folder / "scenery.bgl", sink);
        for (const std::string& line : rtd::takeScanLog())
            logBytes += line.size() + 1;
    }
    std::uintmax_t written = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder / "airports"))
        if (entry.is_regular_file())
            written += entry.file_size();
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["fileMB"] = static_cast<double>(bytes.size()) / 1e6;
    state.counters["airports"] = static_cast<double>(sink.airports) / iterations;
    state.counters["stands"] = static_cast<double>(sink.stands) / iterations;
    state.counters["writtenMB"] = static_cast<double>(written) / 1e6;
    state.counters["logKB"] = static_cast<double>(logBytes) / 1e3 / iterations;
    state.counters["peakMB"] = rtd::bench::peakResidentMegabytes();
    fs::current_path(before);
    fs::remove_all(folder);
}
BENCHMARK(BM_BglHostileScan)
    ->ArgsProduct({benchmark::CreateDenseRange(0, 7, 1), {0, 1}})
    ->Unit(benchmark::kMillisecond);

} // namespace
