// One live aircraft end to end: the built program with the stand-in simulator recording its
// calls and state, and rt_peer playing an airborne KLM B738 under two hexids over loopback.
// The test watches the stand-in's state (written every simulated second) and the flight-plan
// folder while the program runs.

#include "fixtures/install_fixture.hpp"
#include "process_support.hpp"
#include "support/temp_folder.hpp"

#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <optional>
#include <thread>

namespace rtd {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr double firstReportSeconds = 20; // the scenario's first datagram
constexpr double pathLatitude = 52.475;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The stand-in's AI objects, or nothing while its state file is missing or being written.
std::optional<nlohmann::json> objectsIn(const std::filesystem::path& state)
{
    std::ifstream in(state);
    if (!in)
        return std::nullopt;
    try {
        return nlohmann::json::parse(in).at("objects");
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

struct Sample {
    double at;
    double lat, lon;
    std::int64_t positionWrites;
};

TEST(LiveCreationTest, OneAircraftThirtySecondsBehindItsFirstReport)
{
    const test::PortsLock lock;
    test::TempFolder folder;
    const std::filesystem::path install = folder / "install";
    const std::filesystem::path roaming = folder / "Roaming";
    const std::filesystem::path record = folder / "sim";
    fixtures::writeInstall(install, roaming, {.port = 10747});
    // The automatic range is 8 nm while the user aircraft stands on the ground: the aircraft
    // 10 nm away needs the configured 40 nm.
    const std::filesystem::path settings = roaming / "Ramptide" / "parameters.xml";
    std::string text = test::readFile(settings);
    text.insert(text.find("</parameters>"), "<parameter name=\"AUTO_RANGE\" value=\"false\"/>\n");
    test::writeFile(settings, text);

    const Clock::time_point start = Clock::now();
    const pid_t peer = test::spawn({RT_PEER_EXE, "--tcp", "127.0.0.1:10747", "--scenario",
                                    RT_PEER_SCENARIOS "/live_creation.scn"},
                                   folder / "peer.txt");
    const pid_t program = test::spawnProgram(install, folder.path(), {{"RAMPTIDE_SIM_RECORD", record.string()}});

    std::optional<double> created, planned;
    std::vector<Sample> samples;
    std::string planFile;
    for (bool more = true; more && secondsSince(start) < 90;) {
        std::this_thread::sleep_for(100ms);
        const std::optional<nlohmann::json> objects = objectsIn(record / "state.json");
        if (!objects || objects->empty())
            continue;
        EXPECT_EQ(objects->size(), 1u) << "two hexids of one flight: " << objects->dump();
        const nlohmann::json& object = objects->front();
        if (!created) {
            created = secondsSince(start);
            EXPECT_EQ(object.at("title"), "B738 KLM");
            EXPECT_EQ(object.at("tail"), "KLM1702");
            planFile = std::to_string(object.at("id").get<std::uint32_t>()) + ".pln";
        }
        if (!planned && std::filesystem::exists(roaming / "Ramptide" / "orig_dest" / planFile))
            planned = secondsSince(start);
        const Sample sample{secondsSince(start), object.at("lat"), object.at("lon"), object.at("positionWrites")};
        if (samples.empty() || sample.positionWrites != samples.back().positionWrites)
            samples.push_back(sample);
        more = secondsSince(start) < *created + 12;
    }
    kill(program, SIGTERM);
    EXPECT_EQ(test::waitForExit(program, 30s), 0);
    kill(peer, SIGTERM);
    test::waitForExit(peer, 10s);

    ASSERT_TRUE(created) << test::readFile(install / "Log.txt");
    EXPECT_GE(*created - firstReportSeconds, 28.0);
    EXPECT_LE(*created - firstReportSeconds, 34.0);
    EXPECT_TRUE(planned) << planFile;
    // Positions go to the aircraft all along, and it follows its reports eastwards: never
    // back, never off the path, at most one report's step (2 s at 250 kt) at a time.
    ASSERT_GE(samples.size(), 5u);
    EXPECT_GT(samples.back().lon, samples.front().lon) << "it moves";
    for (std::size_t i = 1; i < samples.size(); ++i) {
        EXPECT_NEAR(samples[i].lat, pathLatitude, 0.002) << samples[i].at;
        EXPECT_GE(samples[i].lon, samples[i - 1].lon) << samples[i].at;
        EXPECT_LE(samples[i].lon - samples[i - 1].lon, 0.02) << samples[i].at;
    }

    const std::string calls = test::readFile(record / "calls.log");
    std::size_t creations = 0;
    for (auto at = calls.find("SimConnect_AICreateNonATCAircraft("); at != std::string::npos;
         at = calls.find("SimConnect_AICreateNonATCAircraft(", at + 1))
        ++creations;
    EXPECT_EQ(creations, 1u) << calls;
    EXPECT_THAT(calls, ::testing::HasSubstr("SimConnect_AICreateNonATCAircraft(\"B738 KLM\", \"KLM1702\", 52.47"));
}

} // namespace
} // namespace rtd
