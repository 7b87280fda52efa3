// The lookups of the livery tables as the matcher makes them: liveries of an airline and a
// model, of a model, whether an airline has a model, a title by its text, a registration's
// livery and an airline's similar models; and the build of the tables from a scan list of
// 50,000 liveries with regcode files.

#include "core/parameters.hpp"
#include "fixtures/regcode_fixture.hpp"
#include "liveries/lookup_tables.hpp"
#include "liveries/regcodes.hpp"
#include "liveries/similar_models.hpp"
#include "liveries/title_table.hpp"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t benchLiveries = 50'000;

// A temporary installation folder with the regcode files of the fixture liveries; the
// current folder while tables are built.
class RegcodeInstallation {
public:
    RegcodeInstallation()
        : folder_(std::filesystem::temp_directory_path() / ("ramptide-lookup-bench-" + std::to_string(::getpid())))
    {
        rtd::fixtures::writeRegcodeFiles(folder_, benchLiveries);
    }
    ~RegcodeInstallation()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    RegcodeInstallation(const RegcodeInstallation&) = delete;
    RegcodeInstallation& operator=(const RegcodeInstallation&) = delete;

    // Builds the tables afresh from the liveries, inside the folder.
    void build(rtd::LiveryList liveries) const
    {
        const std::filesystem::path previous = std::filesystem::current_path();
        std::filesystem::current_path(folder_);
        // Options already off are neither switched nor saved.
        for (rtd::GuiBoolParameter* option : {&rtd::LIGHT_AIRCRAFT, &rtd::HELICOPTERS, &rtd::HIGH_PERF_AIRCRAFT})
            option->set(false);
        rtd::clearLookupTables();
        rtd::processScannedLiveries(liveries);
        std::filesystem::current_path(previous);
    }

private:
    std::filesystem::path folder_;
};

// The fixture liveries with the tables built from them once.
struct BuiltTables {
    BuiltTables() : liveries(rtd::fixtures::fixtureLiveries(benchLiveries))
    {
        installation.build(liveries);
        for (const rtd::LiveryData& livery : liveries)
            if (!livery.regcode.empty())
                regcodes.push_back(livery.regcode);
    }

    RegcodeInstallation installation;
    rtd::LiveryList liveries;
    std::vector<std::string> regcodes;
};

const BuiltTables& tables()
{
    static const BuiltTables built;
    return built;
}

// Walks the fixture liveries round and round, one per iteration.
template <typename Lookup>
void eachLivery(benchmark::State& state, Lookup lookup)
{
    const rtd::LiveryList& liveries = tables().liveries;
    auto livery = liveries.begin();
    for (auto _ : state) {
        benchmark::DoNotOptimize(lookup(*livery));
        if (++livery == liveries.end())
            livery = liveries.begin();
    }
}

void BM_AirlineModelLiveries(benchmark::State& state)
{
    eachLivery(state, [](const rtd::LiveryData& livery) {
        const auto& table = livery.cargo ? rtd::airlineCargoLiveries : rtd::airlinePaxLiveries;
        const auto airline = table.find(livery.airline);
        return airline->second.find(livery.model)->second.size();
    });
}
BENCHMARK(BM_AirlineModelLiveries);

void BM_ModelLiveries(benchmark::State& state)
{
    eachLivery(state, [](const rtd::LiveryData& livery) {
        const auto& table = livery.cargo ? rtd::modelCargoLiveries : rtd::modelPaxLiveries;
        return table.find(livery.model)->second.size();
    });
}
BENCHMARK(BM_ModelLiveries);

void BM_HasAirlineModel(benchmark::State& state)
{
    eachLivery(state, [](const rtd::LiveryData& livery) { return rtd::hasAirlineModel(livery.airline, livery.model); });
}
BENCHMARK(BM_HasAirlineModel);

void BM_FindLiveryTitle(benchmark::State& state)
{
    eachLivery(state, [](const rtd::LiveryData& livery) { return rtd::findLiveryTitle(livery.title).size(); });
}
BENCHMARK(BM_FindLiveryTitle);

void BM_SimilarAirlineModels(benchmark::State& state)
{
    rtd::RANDOM.set(true);
    eachLivery(state, [](const rtd::LiveryData& livery) {
        return rtd::similarAirlineModels(livery.airline, livery.model).size();
    });
}
BENCHMARK(BM_SimilarAirlineModels);

void BM_RegcodeLivery(benchmark::State& state)
{
    const std::vector<std::string>& codes = tables().regcodes;
    std::size_t next = 0;
    for (auto _ : state) {
        const auto found = rtd::regcodeMap.find(codes[next]);
        benchmark::DoNotOptimize(found);
        next = next + 1 == codes.size() ? 0 : next + 1;
    }
    state.counters["codes"] = static_cast<double>(rtd::regcodeMap.size());
}
BENCHMARK(BM_RegcodeLivery);

void BM_BuildTables(benchmark::State& state)
{
    const BuiltTables& built = tables();
    for (auto _ : state)
        built.installation.build(built.liveries);
    state.counters["titles"] = static_cast<double>(rtd::titleIndex().size());
}
BENCHMARK(BM_BuildTables)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
