// The whole traffic road in one run of the built program: rt_peer plays tools/rt_peer/
// scenarios/road.scn over loopback against an install whose EHAM is the park apron, and the
// stand-in simulator records its state every simulated second. The test samples that state
// while the program runs and judges each aircraft's life from the samples, the peer's record,
// the log and the files the program leaves. The windows preset runs it against the Windows
// build under Wine. Both runs install the program in a folder, and keep its settings under a
// user name, that the ANSI code page cannot write.

#include "fixtures/install_fixture.hpp"
#include "process_support.hpp"
#include "support/temp_folder.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cmath>
#include <csignal>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <thread>

namespace rtd {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;
using Clock = std::chrono::steady_clock;

// The scenario's times, in seconds from the peer's start.
constexpr double overflightFirstReport = 20;
constexpr double overflightLastReport = 47;
constexpr double helicopterFirstReport = 22;
constexpr double serviceLeaves = 150;
constexpr double serviceReturns = 156;
constexpr double runBound = 240;

// The overflight's reports lie on the meridian between its two hexids' tracks, southbound
// from 52.50 at 8,000 ft.
constexpr double overflightLon = 4.95005;
constexpr double overflightStartLat = 52.50;
constexpr double overflightAltFt = 8000;
constexpr double metresPerDegree = 1852.0 * 60.0;

// The stand-in simulator's helicopter livery: the fixtures' rotorcraft.
constexpr const char* helicopterTitle = "EC45 DLH Rescue";
constexpr std::uint32_t helicopterObjectType = 3;

struct Object {
    std::uint32_t id;
    std::uint32_t type;
    std::string tail;
    double lat, lon, alt;
    bool released;
    std::uint64_t positionWrites;
};

struct Sample {
    double at;
    std::vector<Object> objects;
};

// The stand-in's AI objects, or nothing while its state file is missing or being written.
std::optional<std::vector<Object>> objectsIn(const std::filesystem::path& state)
{
    std::ifstream in(state);
    if (!in)
        return std::nullopt;
    try {
        const nlohmann::json state = nlohmann::json::parse(in);
        std::vector<Object> objects;
        for (const nlohmann::json& o : state.at("objects"))
            objects.push_back({o.at("id"), o.at("type"), o.at("tail"), o.at("lat"), o.at("lon"), o.at("alt"), o.at("released"),
                               o.at("positionWrites")});
        return objects;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

bool isStatic(const Object& o)
{
    return o.tail.ends_with('*');
}

const Object* withTail(const Sample& s, std::string_view tail)
{
    for (const Object& o : s.objects)
        if (o.tail == tail)
            return &o;
    return nullptr;
}

std::size_t countIf(const Sample& s, bool wantStatic)
{
    return static_cast<std::size_t>(
        std::count_if(s.objects.begin(), s.objects.end(), [wantStatic](const Object& o) { return isStatic(o) == wantStatic; }));
}

// First and last sample times an aircraft was in the simulator, within [from, to).
struct Presence {
    std::optional<double> first, last;
};
Presence presenceOf(const std::vector<Sample>& samples, std::string_view tail, double from = 0, double to = runBound)
{
    Presence p;
    for (const Sample& s : samples)
        if (s.at >= from && s.at < to && withTail(s, tail) != nullptr) {
            p.first = p.first.value_or(s.at);
            p.last = s.at;
        }
    return p;
}

// The first stand of the park apron that holds two live aircraft in a sample, with the time.
std::string sharedStand(const std::vector<Sample>& samples)
{
    constexpr double metresPerDegree = 1852.0 * 60.0;
    for (const Sample& s : samples)
        for (const fixtures::ApronStand& stand : fixtures::apronStands) {
            const fixtures::ApronPoint at = fixtures::apronPoint(stand.northMetres, stand.eastMetres);
            const auto atStand = std::count_if(s.objects.begin(), s.objects.end(), [&](const Object& o) {
                const double north = (o.lat - at.lat) * metresPerDegree;
                const double east = (o.lon - at.lon) * metresPerDegree * std::cos(at.lat * M_PI / 180);
                return !isStatic(o) && std::hypot(north, east) <= fixtures::apronStandRadiusMetres;
            });
            if (atStand > 1)
                return fmt::format("{} at {:.1f} s", stand.id, s.at);
        }
    return "";
}

// The options that the stand `id` holds in an airport file, as text.
std::string standText(const std::string& file, const std::string& id)
{
    const std::size_t at = file.find("<parkpos id=\"" + id + "\"");
    return at == std::string::npos ? std::string() : file.substr(at, file.find("</parkpos>", at) - at);
}

TEST(TrafficRoadTest, FromTheFirstDatagramToTheCloseWhileTheServiceLeavesAndReturns)
{
    const test::PortsLock lock;
    test::TempFolder folder;
    const std::filesystem::path install = folder / "Ramptide \u0141\u00f3d\u017a \u03a9";
    const std::filesystem::path appData = folder / "Zo\u00eb \u0141ukasiewicz \u03a9";
    const std::filesystem::path roaming = appData / "Roaming";
    const std::filesystem::path sim = folder / "sim";
    const std::filesystem::path plans = roaming / "Ramptide" / "orig_dest";
    fixtures::writeInstall(install, roaming, {.port = 10747, .autoRange = false, .parkApron = true});
    const std::filesystem::path simScenario = folder / "sim-scenario.txt";
    std::ofstream(simScenario) << fmt::format("helicopterTitle title=\"{}\"\n", helicopterTitle);
    const std::unique_ptr<test::Wine> wine = test::Wine::fromEnvironment(folder / "prefix", roaming);

    const Clock::time_point start = Clock::now();
    const auto now = [start] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    const pid_t peer = test::spawn({RT_PEER_EXE, "--tcp", "127.0.0.1:10747", "--scenario", RT_PEER_SCENARIOS "/road.scn",
                                    "--record", (folder / "record.txt").string()},
                                   folder / "peer.txt");
    const std::vector<std::pair<std::string, std::string>> environment{{"RAMPTIDE_SIM_RECORD", sim.string()},
                                                                       {"RAMPTIDE_SIM_SCENARIO", simScenario.string()}};
    const pid_t program = wine ? wine->spawnProgram(install, appData, environment) : test::spawnProgram(install, appData, environment);

    // Samples until the last aircraft is back after the service's return.
    std::vector<Sample> samples;
    std::string overflightPlan;
    bool planWritten = false, planLeft = false;
    while (now() < runBound && !presenceOf(samples, "RYR2001", serviceReturns).first) {
        std::this_thread::sleep_for(100ms);
        std::optional<std::vector<Object>> objects = objectsIn(sim / "state.json");
        if (!objects)
            continue;
        samples.push_back({now(), std::move(*objects)});
        if (const Object* a = withTail(samples.back(), "KLM1702"); a != nullptr && overflightPlan.empty())
            overflightPlan = std::to_string(a->id) + ".pln";
        if (!overflightPlan.empty()) {
            const bool exists = std::filesystem::exists(plans / overflightPlan);
            planWritten = planWritten || exists;
            planLeft = planWritten && exists;
        }
    }
    if (wine) {
        EXPECT_TRUE(wine->close()) << "no window to close";
    } else {
        kill(program, SIGTERM);
    }
    EXPECT_EQ(test::waitForExit(program, 30s), 0) << test::readFile(appData / "program.txt");
    EXPECT_EQ(test::waitForExit(peer, 90s), 0) << test::readFile(folder / "peer.txt");
    const std::string log = test::readText(install / "Log.txt");
    ASSERT_FALSE(samples.empty()) << log;
    if (wine) {
        EXPECT_THAT(log, HasSubstr("SimConnect.dll loaded"));
    }
    // The log ends with the closing time line.
    EXPECT_TRUE(std::regex_search(log, std::regex("\n[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9:]{8} [0-9]{4}\n$"))) << log;

    // Every object belongs to an aircraft of the program: identified (released from the
    // simulator's control) within 60 s, and a live one moved (its position written) all along.
    std::map<std::uint32_t, double> firstSeen;
    std::map<std::uint32_t, std::pair<double, std::uint64_t>> lastWrite;
    std::string unowned;
    for (const Sample& s : samples)
        for (const Object& o : s.objects) {
            const double since = firstSeen.emplace(o.id, s.at).first->second;
            auto& [at, writes] = lastWrite.emplace(o.id, std::pair{s.at, o.positionWrites}).first->second;
            if (o.positionWrites != writes) {
                at = s.at;
                writes = o.positionWrites;
            }
            if (unowned.empty() && ((!o.released && s.at - since > 60) || (!isStatic(o) && s.at - at > 60)))
                unowned = fmt::format("{} (object {}) at {:.1f} s", o.tail, o.id, s.at);
        }
    EXPECT_EQ(unowned, "") << "an object without an aircraft";
    EXPECT_EQ(sharedStand(samples), "") << "a stand with two live aircraft";

    // The helicopter: the simulator's helicopter type, created about 30 s behind its first
    // report, one object all along, taken over and flown south along its reports, and
    // removed before the service leaves.
    const Presence helicopter = presenceOf(samples, "CHX12");
    ASSERT_TRUE(helicopter.first) << log;
    EXPECT_GE(*helicopter.first - helicopterFirstReport, 28.0);
    EXPECT_LE(*helicopter.first - helicopterFirstReport, 34.0);
    EXPECT_LT(*helicopter.last, serviceLeaves) << "removed after its invented steps";
    std::set<std::uint32_t> helicopterObjects;
    std::optional<Object> firstFlown, lastFlown;
    for (const Sample& s : samples)
        for (const Object& o : s.objects)
            if (o.tail == "CHX12") {
                EXPECT_EQ(o.type, helicopterObjectType) << s.at;
                helicopterObjects.insert(o.id);
                if (o.released && o.positionWrites > 0) {
                    firstFlown = firstFlown.value_or(o);
                    lastFlown = o;
                }
            }
    EXPECT_EQ(helicopterObjects.size(), 1u) << "created once";
    ASSERT_TRUE(firstFlown) << "never taken over and moved";
    EXPECT_LT(lastFlown->lat, firstFlown->lat - 0.005) << "flown south along its reports";

    // The overflight: one aircraft for its two hexids, created 28-34 s after its first report,
    // on the reports' track and altitude all along, removed after its invented steps with its
    // flight plan.
    const Presence overflight = presenceOf(samples, "KLM1702");
    ASSERT_TRUE(overflight.first) << log;
    EXPECT_GE(*overflight.first - overflightFirstReport, 28.0);
    EXPECT_LE(*overflight.first - overflightFirstReport, 34.0);
    double worstMetres = 0;
    for (const Sample& s : samples)
        if (const Object* a = withTail(s, "KLM1702")) {
            worstMetres = std::max(worstMetres, std::abs(a->lon - overflightLon) * metresPerDegree * std::cos(a->lat * M_PI / 180));
            EXPECT_LE(a->lat, overflightStartLat + 1e-4) << s.at;
            EXPECT_NEAR(a->alt, overflightAltFt, 1.0) << s.at;
            EXPECT_EQ(std::count_if(s.objects.begin(), s.objects.end(), [](const Object& o) { return o.tail == "KLM1702"; }), 1)
                << s.at;
        }
    EXPECT_LT(worstMetres, 30.0);
    const double invented = *overflight.last - (overflightLastReport + 30);
    EXPECT_GT(invented, 50.0) << "eight invented steps of about 8 s";
    EXPECT_LT(invented, 75.0);
    EXPECT_TRUE(planWritten) << overflightPlan;
    EXPECT_FALSE(planLeft) << overflightPlan;
    const std::string calls = test::readText(sim / "calls.log");
    EXPECT_THAT(calls, HasSubstr("SimConnect_AICreateNonATCAircraft(\"B738 KLM\", \"KLM1702\""));
    // The simulator opened every flight plan it was given.
    EXPECT_THAT(calls, HasSubstr("SimConnect_AISetAircraftFlightPlan("));
    EXPECT_THAT(log, Not(HasSubstr("load flight plan failed")));

    // The arrival parks at the free stand; static parked aircraft stand on the apron.
    EXPECT_THAT(log, HasSubstr("KLM1801  arrived F1"));
    const auto staticSample = std::find_if(samples.begin(), samples.end(), [](const Sample& s) { return countIf(s, true) > 0; });
    ASSERT_NE(staticSample, samples.end()) << "static parked aircraft, their tails ending in *";

    // The service leaves: every live aircraft goes, the static parked ones stay; after its
    // return aircraft are created again.
    const auto before = std::find_if(samples.rbegin(), samples.rend(), [](const Sample& s) { return s.at < serviceLeaves; });
    ASSERT_NE(before, samples.rend());
    EXPECT_NE(withTail(*before, "KLM1801"), nullptr) << "parked at its stand";
    EXPECT_NE(withTail(*before, "RYR2001"), nullptr);
    const auto away = std::find_if(samples.begin(), samples.end(),
                                   [](const Sample& s) { return s.at > serviceLeaves && countIf(s, false) == 0; });
    ASSERT_NE(away, samples.end());
    EXPECT_LT(away->at, serviceLeaves + 8);
    EXPECT_EQ(countIf(*away, true), countIf(*before, true));
    EXPECT_THAT(log, HasSubstr("RealTraffic gone? Wait for RealTraffic to re-connect ..."));
    EXPECT_THAT(log, HasSubstr("RealTraffic re-connected"));
    const std::vector<test::Line> positions = test::linesOf(test::recordLines(folder / "record.txt"), "Qs121=");
    EXPECT_TRUE(std::any_of(positions.begin(), positions.end(), [](const test::Line& l) { return l.at > serviceReturns; }));
    EXPECT_TRUE(presenceOf(samples, "RYR2001", serviceReturns).first) << "created again";

    // What the arrival taught is in the learned file written at the close.
    const std::string learned = test::readText(install / "airports" / "learned" / "stock" / "EHAM.xml");
    EXPECT_THAT(standText(learned, "F1"), HasSubstr("PH-BXC")) << learned;
}

} // namespace
} // namespace rtd
