// Reading the park airport's file with its learned file merged: 1,000 stands of 50 options
// each, a learned file that repeats half of every stand's options and adds 25 new ones, and
// the neighbours of every stand. The files are made in a temporary folder, which is the
// current folder while the benchmark runs (learned files are found relative to it).

#include "airports/files/park_airport_file.hpp"
#include "airports/parking/park_airport_state.hpp"
#include "fixtures/airport_fixture.hpp"

#include <benchmark/benchmark.h>
#include <cmath>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using rtd::fixtures::FixtureAirportFile;
using rtd::fixtures::FixtureStand;

constexpr int standCount = 1000;
constexpr int optionsPerStand = 50;
constexpr int standsPerRow = 40;
constexpr double spacingDeg = 50.0 / 1852.0 / 60.0; // 50 m; radii of 30 m overlap the next stands

std::string option(int stand, int index)
{
    return fmt::format(R"(reg="R{}-{}" airl="A{}" type="B738" day="{}" hh="{},{}" cs="C{}")", stand, index,
                       index % 13, 1 + index % 7, index % 48, (index + 1) % 48, index);
}

void writeFile(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

class ApfFiles {
public:
    ApfFiles() : folder_(fs::temp_directory_path() / "ramptide_apf_bench"), previous_(fs::current_path())
    {
        FixtureAirportFile base{{{"airport_name", "Bench"}, {"publisher", "stock"}, {"altitude", "10"}}, {}};
        FixtureAirportFile learned{{{"airport_name", "Bench"}, {"LATERAL_RANGE", "40"}}, {}};
        for (int s = 0; s < standCount; ++s) {
            const std::string id = fmt::format("S{}", s);
            FixtureStand stand{id, 52.0 + (s / standsPerRow) * spacingDeg, 4.0 + (s % standsPerRow) * spacingDeg * 1.6,
                               90.0, 30.0, {}, {}};
            FixtureStand named{id, std::nan(""), 0.0, 0.0, 0.0, {}, {}};
            for (int o = 0; o < optionsPerStand; ++o) {
                stand.options.push_back(option(s, o));
                if (o % 2 == 0)
                    named.options.push_back(option(s, o));
            }
            for (int o = optionsPerStand; o < optionsPerStand + optionsPerStand / 2; ++o)
                named.options.push_back(option(s, o));
            base.stands.push_back(std::move(stand));
            learned.stands.push_back(std::move(named));
        }
        writeFile(folder_ / "airports" / "archive" / "stock" / "BNCH.xml", rtd::fixtures::airportFileXml(base));
        writeFile(folder_ / "airports" / "learned" / "stock" / "BNCH.xml", rtd::fixtures::airportFileXml(learned));
        fs::current_path(folder_);
    }
    ~ApfFiles()
    {
        std::error_code error;
        fs::current_path(previous_, error);
        fs::remove_all(folder_, error);
    }
    ApfFiles(const ApfFiles&) = delete;
    ApfFiles& operator=(const ApfFiles&) = delete;

private:
    fs::path folder_;
    fs::path previous_;
};

void BM_ReadApfWithLearnedMerge(benchmark::State& state)
{
    const ApfFiles files;
    const fs::path path = fs::path("airports") / "archive" / "stock" / "BNCH.xml";
    rtd::parkAirport.icao = "BNCH";
    std::size_t options = 0;
    for (auto _ : state) {
        state.PauseTiming(); // emptying the stands is the caller's work
        rtd::parkAirport.stands.clear();
        state.ResumeTiming();
        rtd::QualityFactors factors;
        const std::string result = rtd::gf_readApf(path, factors);
        if (!result.empty())
            state.SkipWithError(result.c_str());
        options = 0;
        for (const rtd::ParkingPosition& stand : rtd::parkAirport.stands)
            options += stand.options.size();
        benchmark::DoNotOptimize(options);
    }
    state.counters["stands"] = static_cast<double>(rtd::parkAirport.stands.size());
    state.counters["options"] = static_cast<double>(options);
    rtd::parkAirport.stands.clear();
    rtd::parkAirport.icao.clear();
    rtd::parkAirport.active = false;
}
BENCHMARK(BM_ReadApfWithLearnedMerge)->Unit(benchmark::kMillisecond);

} // namespace
