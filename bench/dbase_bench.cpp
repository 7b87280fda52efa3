// Reading a model database of a million registrations: load time, peak memory of the process
// after the first load, and the bytes the registration table holds.

#include "fixtures/dbase_fixture.hpp"
#include "liveries/dbase.hpp"
#include "peak_memory.hpp"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

constexpr std::size_t benchRows = 1'000'000;

// A temporary installation folder with a generated input/dbase.xml, made once and made the
// current folder, removed at exit.
class BenchInstallation {
public:
    BenchInstallation()
        : folder_(std::filesystem::temp_directory_path() / ("ramptide-dbase-bench-" + std::to_string(::getpid())))
    {
        std::filesystem::create_directories(folder_ / "input");
        rtd::fixtures::writeDbaseFile(folder_ / "input" / "dbase.xml", {.rows = benchRows, .seed = 1});
        std::filesystem::current_path(folder_);
    }
    ~BenchInstallation()
    {
        std::error_code ignored;
        std::filesystem::current_path(folder_.parent_path(), ignored);
        std::filesystem::remove_all(folder_, ignored);
    }
    BenchInstallation(const BenchInstallation&) = delete;
    BenchInstallation& operator=(const BenchInstallation&) = delete;

    std::uintmax_t fileBytes() const { return std::filesystem::file_size(folder_ / "input" / "dbase.xml"); }

private:
    std::filesystem::path folder_;
};

void BM_ReadDbaseMillionRows(benchmark::State& state)
{
    static BenchInstallation installation;
    static double firstLoadPeak = 0.0;
    for (auto _ : state) {
        rtd::readDbase();
        if (firstLoadPeak == 0.0)
            firstLoadPeak = rtd::bench::peakResidentMegabytes();
    }
    const auto& records = rtd::modelDatabase().dbaseRecords;
    state.counters["rows"] = static_cast<double>(records.size());
    state.counters["file_MB"] = static_cast<double>(installation.fileBytes()) / (1024.0 * 1024.0);
    state.counters["table_MB"] = static_cast<double>(records.bytesHeld()) / (1024.0 * 1024.0);
    state.counters["peak_rss_first_load_MB"] = firstLoadPeak;
}
BENCHMARK(BM_ReadDbaseMillionRows)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_LookupRegcodeWithRetries(benchmark::State& state)
{
    // Runs after the load above; GABCD-style codes need the retries.
    std::size_t index = 0;
    for (auto _ : state) {
        std::string registration = rtd::fixtures::registrationOf(index++ % benchRows);
        std::erase(registration, '-');
        benchmark::DoNotOptimize(rtd::lookupRegcode(registration));
    }
}
BENCHMARK(BM_LookupRegcodeWithRetries);

} // namespace
