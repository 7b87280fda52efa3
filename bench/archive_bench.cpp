// Extracting an airport archive of 40,000 airport files into the archive folders, each
// file written whole, then one sync. Target: under 10 s.

#include "airports/database/airport_folders.hpp"
#include "airports/database/archive.hpp"
#include "core/zip_archive.hpp"
#include "fixtures/airport_packages_fixture.hpp"
#include "platform/platform.hpp"

#include <benchmark/benchmark.h>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

void BM_ArchiveExtract40000(benchmark::State& state)
{
    const fs::path folder = fs::temp_directory_path() / "ramptide_archive_bench";
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::current_path(folder);
    const fs::path zipPath = folder / "bench_archive.zip";
    rtd::fixtures::writeArchiveZip(zipPath, 40'000, 39'950);
    for (const fs::path* folder : {&rtd::archiveFolder, &rtd::archiveStockFolder, &rtd::archiveSimaddonFolder,
                                   &rtd::archiveThirdpartyFolder})
        fs::create_directories(*folder);
    rtd::ArchiveExtraction counts;
    for (auto _ : state) {
        counts = {};
        rtd::ZipArchive archive(zipPath);
        archive.open();
        rtd::ArchiveWriter writer(8);
        counts.writer = &writer;
        for (const rtd::ZipEntry& entry : archive.getEntries())
            rtd::extractArchiveEntry(counts, entry);
        counts.failed += writer.finish();
        rtd::platform::syncFileSystems();
    }
    state.counters["entries"] = counts.extracted;
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(folder);
}
BENCHMARK(BM_ArchiveExtract40000)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

} // namespace
