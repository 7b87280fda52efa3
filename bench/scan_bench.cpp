// The livery scan over a generated tree of 20,000 aircraft.cfg files (one or four [fltsim.N]
// sections, one in five in UTF-16, one in ten with a UTF-8 byte-order mark), with one worker
// and with one per hardware thread; reports files per second. The tree is written once; the
// timed runs read it from a warm cache.

#include "core/workers.hpp"
#include "fixtures/catalogue.hpp"
#include "fixtures/dbase_fixture.hpp"
#include "fixtures/fixes_fixture.hpp"
#include "fixtures/livery_fixture.hpp"
#include "liveries/dbase.hpp"
#include "liveries/fixes.hpp"
#include "liveries/scan.hpp"
#include "liveries/scan_tables.hpp"

#include <benchmark/benchmark.h>
#include <chrono>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;
namespace fixtures = rtd::fixtures;

constexpr std::size_t benchFiles = 20'000;
constexpr std::size_t filesPerPackage = 100;

fixtures::CfgEncoding encodingOf(std::size_t index)
{
    if (index % 5 == 0)
        return fixtures::CfgEncoding::utf16LittleEndian;
    return index % 10 == 1 ? fixtures::CfgEncoding::utf8WithBom : fixtures::CfgEncoding::utf8;
}

fixtures::CfgFile benchFile(std::size_t index)
{
    const auto airlines = fixtures::airlines();
    const auto models = fixtures::models();
    const std::string_view model = models[index % models.size()].code;
    fixtures::CfgFile file{"", {}, encodingOf(index), index % 2 == 1};
    const std::size_t sections = index % 3 == 0 ? 4 : 1;
    for (std::size_t number = 0; number < sections; ++number) {
        const std::string_view airline = airlines[(index + number) % airlines.size()].code;
        file.lines.insert(file.lines.end(),
                          {fmt::format("[fltsim.{}]", number), fmt::format("title = \"Bench {} {} {}\"", index, number, airline),
                           fmt::format("texture = {}", airline), fmt::format("atc_id = {}", fixtures::registrationOf(index)),
                           fmt::format("icao_airline = {}", airline), "atc_parking_types = GATE", ""});
    }
    file.lines.insert(file.lines.end(), {"[General]", fmt::format("icao_type_designator = \"{}\"", model), ""});
    return file;
}

// A temporary installation folder with a generated model database and fixes and the tree
// below "Community", made once and removed at exit.
class BenchTree {
public:
    BenchTree()
        : folder_(fs::temp_directory_path() /
                  fmt::format("ramptide-scan-bench-{}", std::chrono::steady_clock::now().time_since_epoch().count()))
    {
        fs::create_directories(folder_ / "input");
        fixtures::writeDbaseFile(folder_ / "input" / "dbase.xml", {.rows = 0, .seed = 1});
        fixtures::writeFixesFile(folder_ / "input" / "fixes.xml");
        fs::current_path(folder_);
        rtd::readDbase();
        rtd::readFixes();
        for (std::size_t index = 0; index < benchFiles; ++index)
            writeFile(index);
    }
    ~BenchTree()
    {
        std::error_code ignored;
        fs::current_path(folder_.parent_path(), ignored);
        fs::remove_all(folder_, ignored);
    }
    BenchTree(const BenchTree&) = delete;
    BenchTree& operator=(const BenchTree&) = delete;

    fs::path root() const { return folder_ / "Community"; }

private:
    void writeFile(std::size_t index) const
    {
        const fs::path folder =
            root() / fmt::format("package_{:03}", index / filesPerPackage) / fmt::format("Aircraft_{:05}", index);
        fs::create_directories(folder);
        std::ofstream out(folder / "aircraft.cfg", std::ios::binary);
        out << fixtures::encodeCfgFile(benchFile(index));
        if (!out)
            throw std::runtime_error("cannot write the bench tree");
    }

    fs::path folder_;
};

void BM_ScanTree(benchmark::State& state)
{
    static const BenchTree tree;
    const unsigned workers = state.range(0) == 0 ? std::thread::hardware_concurrency() : static_cast<unsigned>(state.range(0));
    rtd::setMaxWorkers(workers);
    std::size_t records = 0;
    for (auto _ : state) {
        rtd::resetScanTables();
        rtd::startScanProgress();
        rtd::LiveryList list;
        rtd::scanFolderTree(1, tree.root(), list);
        records = list.size();
        benchmark::DoNotOptimize(list);
    }
    rtd::resetScanTables();
    rtd::setMaxWorkers(std::thread::hardware_concurrency());
    state.counters["workers"] = workers;
    state.counters["records"] = static_cast<double>(records);
    state.counters["files/s"] =
        benchmark::Counter(static_cast<double>(benchFiles * state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ScanTree)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
