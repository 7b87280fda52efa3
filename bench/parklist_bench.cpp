// Reading my_park_airports.txt against an airport database of 44,000 airports: 3,000 lines
// of airports alone, and 3,000 lines of which 1,000 name stands at 50 airports whose files
// hold 40 stands each. The files are made in a temporary folder, which is the current folder
// while the benchmark runs.

#include "airports/database/airport_database.hpp"
#include "airports/database/airport_folders.hpp"
#include "airports/parking/park_airports.hpp"
#include "fixtures/airport_fixture.hpp"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace rtd;

constexpr int airportCount = 44000;
constexpr int lineCount = 3000;
constexpr int standAirports = 50;
constexpr int namedStands = 1000;
constexpr int standsPerFile = 40;

std::string code(int i)
{
    return fmt::format("{}{}{}{}", static_cast<char>('A' + i / 17576 % 26), static_cast<char>('A' + i / 676 % 26),
                       static_cast<char>('A' + i / 26 % 26), static_cast<char>('A' + i % 26));
}

void writeFile(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

class ParkListWorld {
public:
    ParkListWorld() : folder_(fs::temp_directory_path() / "ramptide_parklist_bench"), previous_(fs::current_path())
    {
        fs::remove_all(folder_);
        fs::create_directories(folder_ / "input");
        fs::current_path(folder_);
        std::string database = "<airports>\n";
        for (int i = 0; i < airportCount; ++i)
            database += fmt::format("<airport code=\"{}\" lat=\"{}\" lon=\"{}\" alt=\"0\"/>\n", code(i),
                                    -60 + (i % 1200) * 0.1, -180 + (i / 1200) * 9.0);
        writeFile("input/airports_msfs.xml", database + "</airports>\n");
        resetAirports();
        readAirports();
        for (int a = 0; a < standAirports; ++a) {
            fixtures::FixtureAirportFile file{{{"airport_name", "Bench"}, {"publisher", "stock"}, {"altitude", "0"}}, {}};
            for (int s = 0; s < standsPerFile; ++s)
                file.stands.push_back({fmt::format("G{}", s), 1.0, 1.0 + s * 0.001, 0.0, 30.0, {}, {}});
            writeFile(archiveStockFolder / xmlFileName(code(a)), fixtures::airportFileXml(file));
        }
        for (int i = 0; i < lineCount; ++i)
            plain_ += code(i) + "\n";
        for (int i = 0; i < lineCount; ++i)
            withStands_ += i < namedStands ? fmt::format("{},G{}\n", code(i % standAirports), i % standsPerFile)
                                           : code(i) + "\n";
    }
    ~ParkListWorld()
    {
        fs::current_path(previous_);
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    void useList(const std::string& text) { writeFile(parkAirportsPath(), text); }

    std::string plain_;
    std::string withStands_;

private:
    fs::path folder_;
    fs::path previous_;
};

ParkListWorld& world()
{
    static ParkListWorld made;
    return made;
}

void BM_ReadParkAirports3000Lines(benchmark::State& state)
{
    world().useList(world().plain_);
    for (auto _ : state)
        benchmark::DoNotOptimize(readParkAirports(true));
}
BENCHMARK(BM_ReadParkAirports3000Lines)->Unit(benchmark::kMillisecond);

void BM_ReadParkAirportsWithNamedStands(benchmark::State& state)
{
    world().useList(world().withStands_);
    for (auto _ : state)
        benchmark::DoNotOptimize(readParkAirports(true));
}
BENCHMARK(BM_ReadParkAirportsWithNamedStands)->Unit(benchmark::kMillisecond);

} // namespace
