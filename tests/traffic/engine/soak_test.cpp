// Thirty simulated minutes of heavy traffic through the traffic cycle on the stand-in at 25
// frames a second: the soak scenario (300 aircraft cruising, approaching, departing and taxiing
// at the park airport, each flight replaced by a new hexid, then a burst at 400 datagrams a
// second) fed to the readers at its own times. The queues and lists between the reader, the
// traffic thread and the simulator stay bounded, no aircraft waits long for its creation or
// removal, and once the reports stop and the park airport is out of sight nothing is left in
// the simulator.

#include "traffic/park_airport_harness.hpp"

#include "fixtures/soak_scenario.hpp"
#include "rt_peer/scenario.hpp"
#include "traffic/simulator_link/ai_commands.hpp"

#include <gtest/gtest.h>
#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace rtd {
namespace {

constexpr double steadyMinutes = 28; // then the burst minute and the run-out
constexpr std::int64_t runOutPolls = 5 * 60 * 100;
constexpr int framesPerSecond = 25;
constexpr int pollsPerFrame = 4;

class SoakTest : public test::ParkAirportHarness {
protected:
    SoakTest()
    {
        sim->recordCalls(false);
        sim->setFrameRate(framesPerSecond);
    }

    // One poll with the simulator at 25 frames a second: a frame every fourth poll, the
    // client's dispatch at every poll as its thread dispatches between frames.
    void pollAtFrameRate(std::int64_t poll)
    {
        if (poll % pollsPerFrame == 0)
            sim->frames(1);
        dispatchSimConnect();
        trafficCycle();
    }

    // The largest size seen of each container, sampled once a second.
    void sample()
    {
        const auto keep = [this](const std::string& name, std::size_t size) {
            peaks[name] = std::max(peaks[name], size);
        };
        keep("liveAIList", liveAIList.size());
        keep("parkedAIList", parkedAIList.size());
        keep("removalBacklog", removalBacklog.size());
        keep("liveCreationBacklog", liveCreationBacklog.size());
        keep("parkedCreationBacklog", parkedCreationBacklog.size());
        keep("pendingSetups", pendingSetups.size());
        keep("readyForCreation", readyForCreation.size());
        keep("heldCallsigns", heldCallsigns.size());
        keep("liveryMatchCache", liveryMatchCache.size());
        keep("noMatchSet", noMatchSet.size());
        keep("simObjects", sim->objects().size());
        std::lock_guard lock(trafficMutex);
        keep("trafficReportQueue", trafficReportQueue.size());
    }

    // How long (polls) any aircraft has been in sim status 1 or 3 without a change.
    void watchWaits()
    {
        std::map<std::uint64_t, std::pair<SimStatus, std::int64_t>> now;
        const std::int64_t poll = pollCounter;
        const auto watch = [&](std::uint64_t key, SimStatus status) {
            if (status != SimStatus::requested && status != SimStatus::liveryChange)
                return;
            const auto before = waitingSince.find(key);
            const std::int64_t since =
                before != waitingSince.end() && before->second.first == status ? before->second.second : poll;
            now[key] = {status, since};
            longestWaitPolls = std::max(longestWaitPolls, poll - since);
        };
        for (const LiveAI& ai : liveAIList)
            watch(ai.id(), ai.simStatus);
        for (const ParkedAI& p : parkedAIList)
            watch((std::uint64_t{1} << 32) | p.flight.hexid, p.simStatus);
        waitingSince = std::move(now);
    }

    // Every object of the simulator belongs to an aircraft of the lists or is being removed;
    // the longest time (seconds) any went without, and stands taken by two live aircraft.
    void watchOwnersAndStands(std::int64_t second)
    {
        std::set<std::uint32_t> owned(removalBacklog.begin(), removalBacklog.end());
        {
            std::lock_guard lock(simConnectMutex);
            owned.insert(removalQueue.begin(), removalQueue.end());
        }
        std::map<std::uint32_t, int> atStand;
        for (const LiveAI& ai : liveAIList) {
            owned.insert(ai.objectId);
            if (ai.standId != 0 && (ai.phase == Phase::atStand || ai.phase == Phase::taxiToStand) &&
                ai.simStatus != SimStatus::removed && ++atStand[ai.standId] == 2)
                sharedStands.insert(ai.standId);
        }
        for (const ParkedAI& p : parkedAIList)
            owned.insert(p.objectId);
        std::map<std::uint32_t, std::int64_t> now;
        for (const sim::AiState& object : sim->objects()) {
            if (owned.contains(object.id))
                continue;
            const auto before = unownedSince.find(object.id);
            now[object.id] = before != unownedSince.end() ? before->second : second;
            longestUnownedSeconds = std::max(longestUnownedSeconds, second - now[object.id]);
        }
        unownedSince = std::move(now);
    }

    // Nothing in the simulator but static parked aircraft and live ones at their stands.
    bool onlyParkedLeft() const
    {
        const bool allAtStands = std::all_of(liveAIList.begin(), liveAIList.end(), [](const LiveAI& ai) {
            return ai.phase == Phase::atStand && ai.simStatus == SimStatus::inSim;
        });
        return allAtStands && sim->objects().size() == liveAIList.size() + parkedWith(SimStatus::inSim);
    }

    std::map<std::string, std::size_t> peaks;
    std::map<std::uint64_t, std::pair<SimStatus, std::int64_t>> waitingSince;
    std::int64_t longestWaitPolls = 0;
    std::map<std::uint32_t, std::int64_t> unownedSince;
    std::int64_t longestUnownedSeconds = 0;
    std::set<std::uint32_t> sharedStands;
};

TEST_F(SoakTest, ThirtyMinutesOfHeavyTrafficStayBoundedAndLeaveNothingBehind)
{
    fixtures::SoakScenarioOptions options;
    options.minutes = steadyMinutes;
    options.airport = test::userPosition;
    const std::vector<peer::Event> events =
        peer::parseScenario(fixtures::soakScenario(options), 1700000000.0, "soak");
    std::set<std::string> ghosts;
    std::set<std::string> hexids;
    for (const peer::Event& e : events) {
        if (e.action != peer::Action::trafficDatagram)
            continue;
        const std::size_t hexidStart = e.data.find(',') + 1;
        hexids.insert(e.data.substr(hexidStart, e.data.find(',', hexidStart) - hexidStart));
        if (const std::size_t ghost = e.data.find("_,"); ghost != std::string::npos)
            ghosts.insert(e.data.substr(e.data.rfind(',', ghost) + 1, ghost - e.data.rfind(',', ghost)));
    }
    ASSERT_GT(ghosts.size(), 20u);

    std::size_t next = 0;
    std::int64_t lastPoll = static_cast<std::int64_t>(events.back().at * pollsPerSecond) + runOutPolls;
    for (std::int64_t p = 0; p < lastPoll; ++p) {
        for (; next < events.size() && events[next].at * pollsPerSecond <= static_cast<double>(p); ++next) {
            if (events[next].action == peer::Action::trafficDatagram)
                feed(events[next].data);
            else if (events[next].action == peer::Action::weatherDatagram)
                weatherReader.handleDatagram(events[next].data);
        }
        pollAtFrameRate(p);
        if (p % pollsPerSecond != 0)
            continue;
        sample();
        watchWaits();
        watchOwnersAndStands(p / pollsPerSecond);
        if (next == events.size() && onlyParkedLeft())
            break;
    }
    // Live aircraft that arrived at a stand stay there; the rest ran out and left.
    EXPECT_TRUE(onlyParkedLeft());
    EXPECT_LE(parkedWith(SimStatus::inSim), 3u);

    // Out of sight of the park airport the parked aircraft, static and live, go too.
    sim->setUser({.lat = test::userPosition.lat, .lon = test::userPosition.lon, .altFt = 30000, .onGround = false});
    for (int p = 0; p < 20 * pollsPerSecond; ++p)
        pollAtFrameRate(p);
    EXPECT_TRUE(sim->objects().empty());
    EXPECT_TRUE(liveAIList.empty());
    EXPECT_TRUE(parkedAIList.empty());

    // The creation paces (two a second, ten removals a second) hold their backlogs to a few
    // seconds' worth; the report queue holds the last 10 s (the stale limit) and one more
    // second at the burst's rate; one held callsign per ghost and one cached match per hexid.
    const auto queueBound = static_cast<std::size_t>((staleReportPolls / pollsPerSecond + 1) * options.burstPerSecond);
    const std::vector<std::pair<std::string, std::size_t>> bounds{
        {"liveAIList", 512},         {"parkedAIList", 10},          {"removalBacklog", 100},
        {"liveCreationBacklog", 40}, {"parkedCreationBacklog", 10}, {"pendingSetups", 40},
        {"readyForCreation", 64},    {"trafficReportQueue", queueBound}, {"heldCallsigns", ghosts.size()},
        {"noMatchSet", 2},           {"liveryMatchCache", hexids.size()}, {"simObjects", 450},
    };
    for (const auto& [name, bound] : bounds)
        EXPECT_LE(peaks[name], bound) << name;
    EXPECT_GT(peaks["simObjects"], 150u) << "the traffic reached the simulator";
    EXPECT_GT(peaks["trafficReportQueue"], 1000u) << "the burst filled the report queue";
    EXPECT_LE(longestWaitPolls, (creationTimeoutSeconds + 10) * pollsPerSecond)
        << "an aircraft stayed in sim status 1 or 3";
    EXPECT_LE(longestUnownedSeconds, 60) << "an object without an aircraft stayed in the simulator";
    EXPECT_TRUE(sharedStands.empty()) << "a stand with two live aircraft, the first " << *sharedStands.begin();
}

} // namespace
} // namespace rtd
