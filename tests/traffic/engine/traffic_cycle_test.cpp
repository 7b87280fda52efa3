#include "traffic/traffic_harness.hpp"

#include "core/geo.hpp"
#include "traffic/engine/traffic_clock.hpp"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stop_token>
#include <vector>

namespace rtd {
namespace {

using test::TrafficHarness;
using ::testing::ElementsAreArray;

std::vector<std::string> tracedSteps;
void recordStep(std::string_view step)
{
    tracedSteps.emplace_back(step);
}

CreationRequest creationFor(std::uint32_t id, const std::string& callsign)
{
    return {.position = {}, .callsign = callsign, .title = "KLM B738", .aircraftId = id};
}

std::size_t countOf(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

class TrafficCycleTest : public TrafficHarness {
protected:
    ~TrafficCycleTest() override { setCycleStepTrace(nullptr); }

    std::size_t callCount(const std::string& name, const std::string& argsPart = "") const
    {
        const auto calls = sim->calls();
        return static_cast<std::size_t>(std::count_if(calls.begin(), calls.end(), [&](const sim::CallRecord& c) {
            return c.name == name && c.args.find(argsPart) != std::string::npos;
        }));
    }
};

TEST_F(TrafficCycleTest, PacingOfCreationsRemovalsMergesAndRequests)
{
    pollCounter = 12341; // never reset at a restart: the first creation still waits for a multiple of 50
    liveCreationBacklog = {creationFor(20001, "LIVE1"), creationFor(20002, "LIVE2")};
    parkedCreationBacklog = {creationFor(7, "PARK1*")};
    removalBacklog = {901, 902, 903};
    for (int i = 0; i < 5; ++i)
        trafficReportQueue.push_back(test::airborneReport());
    const std::size_t rangeBefore = callCount("SimConnect_RequestDataOnSimObjectType");
    struct Row {
        std::int64_t afterPoll;
        std::size_t live, parked, removals;
    };
    const Row rows[] = {
        {12349, 2, 1, 3}, {12350, 1, 1, 2}, {12359, 1, 1, 2}, {12360, 1, 1, 1},
        {12399, 1, 1, 0}, {12400, 0, 1, 0}, {12450, 0, 0, 0},
    };
    for (const Row& row : rows) {
        while (pollCounter <= row.afterPoll)
            pollTraffic();
        EXPECT_EQ(liveCreationBacklog.size(), row.live) << row.afterPoll;
        EXPECT_EQ(parkedCreationBacklog.size(), row.parked) << row.afterPoll;
        EXPECT_EQ(removalBacklog.size(), row.removals) << row.afterPoll;
    }
    EXPECT_TRUE(trafficReportQueue.empty());
    EXPECT_EQ(callCount("SimConnect_RequestDataOnSimObjectType") - rangeBefore, 110u / 20 * 2)
        << "a range request for airplanes and one for helicopters every 20 polls over polls 12341..12450";
}

TEST_F(TrafficCycleTest, TwoMergesPerPollAndStaleReportsDropped)
{
    for (int i = 0; i < 5; ++i) {
        TrafficReport report = test::airborneReport();
        report.hexid = 30000 + static_cast<std::uint32_t>(i);
        report.record.callsign = fmt::format("KLM{}", i);
        report.update.duePoll = pollCounter + replayDelayPolls - (i == 0 ? 1001 : 0); // the first waited 10 s
        trafficReportQueue.push_back(report);
    }
    pollTraffic();
    EXPECT_EQ(trafficReportQueue.size(), 2u) << "the stale one is dropped, two are merged";
    EXPECT_EQ(liveAIList.size(), 2u);
    EXPECT_EQ(staleReportCount, 1);
}

TEST_F(TrafficCycleTest, UserPositionEverySecond)
{
    const std::size_t before = callCount("SimConnect_RequestDataOnSimObject", "109");
    pollCounter = 1000;
    for (int i = 0; i < 300; ++i)
        pollTraffic();
    EXPECT_EQ(callCount("SimConnect_RequestDataOnSimObject", "109") - before, 3u);
}

TEST_F(TrafficCycleTest, ScheduleOfTheSecondsSteps)
{
    parkedAIList.push_back(constructParkedAI({}, 1, 0, 0, 0, false)); // the 61st second needs one
    setCycleStepTrace(&recordStep);
    struct Row {
        std::int32_t tick;
        std::vector<std::string> steps;
        std::int32_t after;
    };
    const Row rows[] = {
        {1, {}, 1},
        {5, {"5"}, 5},
        {15, {"5", "15"}, 15},
        {16, {"16"}, 16},
        {30, {"5", "15", "30"}, 30},
        {59, {"59"}, 59},
        {60, {"5", "15", "30", "60"}, 60},
        {61, {"61"}, 61},
        {1200, {"5", "15", "30", "60", "1200", "16"}, 1200},
        {86400, {"5", "15", "30", "60", "1200", "86400", "16", "59", "61"}, 0},
    };
    for (const Row& row : rows) {
        cycleTick = row.tick - 1;
        tracedSteps.clear();
        simSecondTick = true;
        simSecondTick = true; // two seconds within one poll count once
        trafficCycle();
        EXPECT_THAT(tracedSteps, ElementsAreArray(row.steps)) << row.tick;
        EXPECT_EQ(cycleTick, row.after) << row.tick;
    }
}

TEST_F(TrafficCycleTest, FlightNotRunningLoggedOnceAndResumed)
{
    simRunning = false;
    for (int i = 0; i < 250; ++i)
        trafficCycle();
    EXPECT_FALSE(flightRunning);
    simRunning = true;
    trafficCycle();
    EXPECT_FALSE(flightRunning) << "resumed only at the simulator's next second";
    simSecondTick = true;
    trafficCycle();
    EXPECT_TRUE(flightRunning);
    const std::string text = log();
    EXPECT_EQ(countOf(text, "Flight not running"), 1u);
    EXPECT_EQ(countOf(text, "Flight resumed"), 1u);
}

TEST_F(TrafficCycleTest, FarthestLiveAircraftGivesWay)
{
    struct Row {
        const char* name;
        double beyondNm; // how much farther than the caller's distance the aircraft is
        bool callerFarthest;
    };
    const Row rows[] = {{"0.05 nm farther", 0.05, true}, {"0.2 nm farther", 0.2, false}, {"no aircraft", 0, true}};
    for (const Row& row : rows) {
        liveAIList.clear();
        removalBacklog.clear();
        double distance = 3.0;
        if (row.beyondNm > 0) {
            const LiveAI& a = present(30001, "KLM1", SimStatus::inSim);
            distance = rtd::distanceNm(userStateCache.position(), {a.lat, a.lon}) - row.beyondNm;
        }
        EXPECT_EQ(removeFarthestLive(distance), row.callerFarthest) << row.name;
        EXPECT_EQ(removalBacklog.empty(), row.callerFarthest) << row.name;
    }
}

TEST_F(TrafficCycleTest, LiveLimitRemovesTheFarthest)
{
    struct Row {
        std::int32_t maxLive;
        std::deque<std::uint32_t> removed; // object ids
    };
    const Row rows[] = {{10, {12, 11}}, {MAX_LIVE.defaultValue(), {}}};
    for (const Row& row : rows) {
        liveAIList.clear();
        removalBacklog.clear();
        for (std::uint32_t i = 1; i <= 12; ++i)
            present(30000 + i, fmt::format("KLM{}", i), SimStatus::inSim, i);
        MAX_LIVE.set(row.maxLive);
        maxLiveRequest = true; // the edit box's change reaches the traffic thread at its next second
        simSecondTick = true;
        trafficCycle();
        EXPECT_EQ(removalBacklog, row.removed) << row.maxLive;
    }
}

TEST_F(TrafficCycleTest, WindowRequestsAtTheNextSecond)
{
    present(30001, "KLM1", SimStatus::inSim);
    present(30002, "KLM2", SimStatus::inSim);
    struct Row {
        const char* name;
        std::atomic<bool>* request;
        const char* follow;
        const char* block;
        const char* oidText;
        const char* status;
        std::uint32_t removedObject;
    };
    const Row rows[] = {
        {"follow a live callsign", &followCallsignRequest, "KLM2", "", "= 2", "", 0},
        {"follow an unknown callsign", &followCallsignRequest, "XYZ9", "", "", "callsign \"XYZ9\" is unknown", 0},
        {"block a live callsign", &blockCallsignRequest, "", "KLM1", "", "", 1},
        {"block without a callsign", &blockCallsignRequest, "", "", "", "", 0},
    };
    for (const Row& row : rows) {
        removalBacklog.clear();
        clearStatus();
        mainWindowGlobals.editTexts([](DisplayTexts& t) { t.oidText.clear(); });
        CALLSIGN_2_OBJECTID.set(row.follow);
        BLOCK_CALLSIGN.set(row.block);
        *row.request = true;
        simSecondTick = true;
        trafficCycle();
        EXPECT_FALSE(*row.request) << row.name;
        EXPECT_EQ(mainWindowGlobals.texts().oidText, row.oidText) << row.name;
        EXPECT_EQ(mainWindowGlobals.statusLine().statusText, row.status) << row.name;
        EXPECT_EQ(removalBacklog, std::deque<std::uint32_t>(row.removedObject ? 1 : 0, row.removedObject)) << row.name;
    }
    CALLSIGN_2_OBJECTID.set("");
}

TEST_F(TrafficCycleTest, FlushStaticAndMatchingChange)
{
    struct Row {
        bool initialLoadOnly;
    };
    for (const Row row : {Row{false}, Row{true}}) {
        INITIAL_LOAD_ONLY.set(row.initialLoadOnly);
        flushStaticRequest = true;
        simSecondTick = true;
        trafficCycle();
        EXPECT_FALSE(flushStaticRequest);
        EXPECT_TRUE(INITIAL_LOAD_ONLY.value()) << row.initialLoadOnly;
    }
    INITIAL_LOAD_ONLY.set(false);
    cycleTick = 29;
    matchingChangedRequest = true;
    const std::size_t before = log().size();
    simSecondTick = true;
    trafficCycle();
    EXPECT_FALSE(matchingChangedRequest);
    EXPECT_EQ(log().find("No-matches cleared", before), std::string::npos) << "nothing to clear";
}

TEST_F(TrafficCycleTest, LiveAircraftOnTheGroundRemovesItsParkedTwin)
{
    struct Row {
        const char* name;
        const char* parkedCallsign;
        const char* parkedRegistration;
        const char* liveRegistration;
        bool removed;
    };
    const Row rows[] = {
        {"same callsign", "KLM1*", "PH-AAA", "", true},
        {"same registration", "DLH9*", "PH-BXA", "PH-BXA", true},
        {"neither", "DLH9*", "PH-AAA", "PH-BXA", false},
        {"no live registration", "DLH9*", "", "", false},
    };
    for (const Row& row : rows) {
        liveAIList.clear();
        parkedAIList.clear();
        removalBacklog.clear();
        LiveAI& live = present(30001, "KLM1", SimStatus::inSim);
        live.onGround = true;
        live.flight.registration = row.liveRegistration;
        FlightRecord parked;
        parked.callsign = row.parkedCallsign;
        parked.registration = row.parkedRegistration;
        parked.hexid = 7;
        parkedAIList.push_back(constructParkedAI(parked, 1, 0, 0, 0, false));
        parkedAIList.back().simStatus = SimStatus::inSim;
        parkedAIList.back().objectId = 77;
        removeParkedTwinsOfLive();
        EXPECT_EQ(removalBacklog.size(), row.removed ? 1u : 0u) << row.name;
    }
    parkedAIList.clear();
}

// A clock that moves only when the loop sleeps; the test stalls it and stops the loop.
class VirtualClock : public TrafficClock {
public:
    std::int64_t now() override { return now_; }
    void sleepUntil(std::int64_t ticks) override
    {
        deadlines.push_back(ticks);
        now_ = std::max(now_, ticks);
        const std::size_t n = deadlines.size();
        if (n == 3)
            now_ += 3 * ticksPerMs, simSecondTick = true; // late wake-up with a simulator second
        if (n == 4)
            simSecondTick = false;
        if (n == 6)
            now_ += 5000 * ticksPerMs; // a 5 s stall in the next poll
        if (n == 12)
            stop.request_stop();
    }
    std::int64_t now_ = 1'000'000'000;
    std::vector<std::int64_t> deadlines;
    std::stop_source stop;
};

TEST_F(TrafficCycleTest, MainLoopKeepsTenMillisecondDeadlines)
{
    simRunning = false;
    VirtualClock clock;
    const std::int64_t start = clock.now_;
    setTrafficClock(&clock);
    mainLoop(clock.stop.get_token());
    setTrafficClock(nullptr);
    const std::int64_t p = pollPeriodTicks;
    const std::int64_t late = start + 3 * p + 3 * ticksPerMs;
    const std::int64_t stalled = start + 3 * p + 3 * ticksPerMs + 3 * p + 5000 * ticksPerMs;
    const std::vector<std::int64_t> expected{
        start + p, start + 2 * p, start + 3 * p,          // on time
        late + p, late + 2 * p, late + 3 * p,             // resynced 10 ms after the second
        stalled + p, stalled + 2 * p, stalled + 3 * p,    // after the stall: no burst of missed polls
        stalled + 4 * p, stalled + 5 * p, stalled + 6 * p,
    };
    EXPECT_EQ(clock.deadlines, expected);
}

} // namespace
} // namespace rtd
