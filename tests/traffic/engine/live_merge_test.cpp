// Report merge, creation rules, ghosts and the traffic service's leaving, on the traffic
// harness: a KLM B738 world whose model database knows PH-BXA.

#include "traffic/traffic_harness.hpp"

#include "traffic/engine/flight_matching.hpp"

#include <gtest/gtest.h>

namespace rtd {
namespace {

using test::TrafficHarness;

constexpr std::uint32_t firstHexid = 4840201;

// The airborne report of the datagram helper, `seconds` later and `northNm` farther north.
TrafficReport reportAt(double seconds, double northNm = 0.0)
{
    TrafficReport r = test::airborneReport();
    r.timestamp += seconds;
    r.update.lat += northNm / 60.0;
    r.update.duePoll += static_cast<std::int64_t>(seconds * 100);
    return r;
}

TrafficReport groundReport(TrafficReport r)
{
    r.update.altitudeFt = 0;
    r.update.airborne = false;
    r.update.bank.reset();
    return r;
}

class LiveMergeTest : public TrafficHarness {
protected:
    ~LiveMergeTest() override
    {
        heldCallsigns.clear();
        noMatchSet.clear();
        liveryMatchCache.clear();
    }

    // A new aircraft with two queued updates, its lead time reached.
    LiveAI& waiting(std::uint32_t hexid, const std::string& callsign, const std::string& registration = "PH-BXA")
    {
        for (int i = 0; i < 2; ++i) {
            TrafficReport r = reportAt(6.0 * i, 0.5 * i);
            r.hexid = hexid;
            r.record.callsign = callsign;
            r.record.registration = registration;
            mergeTrafficRecord(r);
        }
        LiveAI* a = live(hexid);
        EXPECT_NE(a, nullptr);
        pollCounter = static_cast<std::int32_t>(a->updates.front().duePoll);
        return *a;
    }

    static LiveryRef anyTitle(const std::string& airline)
    {
        FlightRecord f;
        f.airline = airline;
        f.icaoType = "B738";
        f.category = Large;
        matchLivery(f);
        return f.liveryTitle;
    }
};

TEST_F(LiveMergeTest, FiltersAgainstFeedNoise)
{
    struct Row {
        const char* name;
        double firstKt;
        bool ground;
        double seconds, nextKt, turnDeg;
        std::size_t queued;
    };
    const Row rows[] = {
        {"0.8 s newer", 160, false, 0.8, 160, 10, 1},
        {"1.2 s newer", 160, false, 1.2, 160, 10, 2},
        {"4 kt to 85 kt", 4, false, 5, 85, 10, 1},
        {"100 kt to 5 kt", 100, false, 5, 5, 10, 1},
        {"240 kt same track 3.6 s", 240, false, 3.6, 240, 0.5, 1},
        {"240 kt same track 4 s", 240, false, 4.0, 240, 0.5, 2},
        {"ground 0 kt same track 14 s", 0, true, 14, 0, 1, 1},
        {"ground 0 kt same track 16 s", 0, true, 16, 0, 1, 2},
    };
    for (const Row& row : rows) {
        liveAIList.clear();
        TrafficReport first = reportAt(0);
        TrafficReport next = reportAt(row.seconds, 0.3);
        if (row.ground) {
            first = groundReport(first);
            next = groundReport(next);
        }
        first.update.groundSpeedKt = row.firstKt;
        next.update.groundSpeedKt = row.nextKt;
        next.update.trackDeg = first.update.trackDeg + row.turnDeg;
        mergeTrafficRecord(first);
        mergeTrafficRecord(next);
        ASSERT_EQ(liveAIList.size(), 1u) << row.name;
        EXPECT_EQ(liveAIList.front().updates.size(), row.queued) << row.name;
    }
}

TEST_F(LiveMergeTest, NewAircraftOnlyOutsideTheParkAirportWindowAndInAllowedCategories)
{
    struct Row {
        const char* name;
        bool parkAirport;
        double altitudeFt;
        const char* type;
        bool created;
    };
    const Row rows[] = {
        {"200 ft over a 150 ft park airport", true, 200, "B738", false},
        {"300 ft over a 150 ft park airport", true, 300, "B738", true},
        {"on the ground at a 150 ft park airport", true, 0, "B738", true},
        {"100 ft without a park airport", false, 100, "B738", true},
        {"an unknown type with a known registration", false, 3000, "ZZ99", true},
    };
    for (const Row& row : rows) {
        liveAIList.clear();
        parkAirport.icao = row.parkAirport ? "EHAM" : "";
        parkAirport.elevationFt = 150;
        TrafficReport r = reportAt(0);
        r.update.altitudeFt = row.altitudeFt;
        r.record.icaoType = row.type;
        mergeTrafficRecord(r);
        EXPECT_EQ(liveAIList.size(), row.created ? 1u : 0u) << row.name;
        if (row.created) {
            EXPECT_EQ(liveAIList.front().flight.icaoType, "B738") << row.name;
            EXPECT_EQ(liveAIList.front().flight.firstCallsign, "KLM1234") << row.name;
        }
    }
    parkAirport.icao.clear();
}

// A new aircraft flies, and is matched, as the size category of its type.
TEST_F(LiveMergeTest, NewAircraftTakesTheSizeCategoryOfItsType)
{
    const std::vector<std::pair<const char*, AircraftCategory>> rows{{"B738", Large}, {"B77W", Heavy}, {"EC35", Rotorcraft}};
    const bool helicopters = HELICOPTERS.value();
    HELICOPTERS.set(true);
    for (const auto& [type, category] : rows) {
        liveAIList.clear();
        TrafficReport r = reportAt(0);
        r.record.icaoType = type;
        mergeTrafficRecord(r);
        ASSERT_EQ(liveAIList.size(), 1u) << type;
        EXPECT_EQ(liveAIList.front().flight.category, category) << type;
        EXPECT_EQ(liveAIList.front().flight.pushBackSpeedKt, pushBackSpeedKtTable.at(category)) << type;
    }
    HELICOPTERS.set(helicopters);
}

TEST_F(LiveMergeTest, SecondHexidOfTheSameFlightMakesNoAircraft)
{
    mergeTrafficRecord(reportAt(0));
    TrafficReport twin = reportAt(2, 0.1);
    twin.hexid = firstHexid + 1;
    mergeTrafficRecord(twin);
    twin.record.icaoType = "A320"; // another type under the callsign is another aircraft
    twin.hexid = firstHexid + 2;
    mergeTrafficRecord(twin);
    ASSERT_EQ(liveAIList.size(), 2u);
    EXPECT_EQ(liveAIList.front().updates.size(), 1u);
    EXPECT_EQ(liveAIList.back().flight.icaoType, "A320");
}

TEST_F(LiveMergeTest, CreationRules)
{
    struct Row {
        const char* name;
        const char* callsign;
        const char* registration;
        std::size_t backlog;
        const char* blocked;
        int noMatch; // 0 none, 1 the type text, 2 the type text with the registration
        const char* held;
        const char* outcome; // "placed", "erased" or "waits"
        const char* flownAs;
    };
    const Row rows[] = {
        {"a callsign of 9 characters", "KLM123456", "PH-BXA", 0, "", 0, "", "erased", ""},
        {"no callsign and no registration", "", "", 0, "", 0, "", "erased", ""},
        {"@@@@@@@@ without registration", "@@@@@@@@", "", 0, "", 0, "", "erased", ""},
        {"@@@@@@@@ with registration", "@@@@@@@@", "PH-BXA", 0, "", 0, "", "placed", "PH-BXA"},
        {"10 creations waiting", "KLM1234", "PH-BXA", 10, "", 0, "", "placed", "KLM1234"},
        {"11 creations waiting", "KLM1234", "PH-BXA", 11, "", 0, "", "waits", ""},
        {"blocked callsign", "KLM1234", "PH-BXA", 0, "KLM1234", 0, "", "erased", ""},
        {"another callsign blocked", "KLM1234", "PH-BXA", 0, "KLM999", 0, "", "placed", "KLM1234"},
        {"no match for the type", "KLM1234", "PH-BXA", 0, "", 1, "", "erased", ""},
        {"no match for type and registration", "KLM1234", "PH-BXA", 0, "", 2, "", "erased", ""},
        {"ghost whose ghost was removed before", "KLM1234_", "PH-BXA", 0, "", 0, "KLM1234_", "erased", ""},
        {"ghost without owner", "KLM1234_", "PH-BXA", 0, "", 0, "", "placed", "KLM1234_"},
    };
    for (const Row& row : rows) {
        liveAIList.clear();
        readyForCreation.clear();
        liveCreationBacklog.assign(row.backlog, CreationRequest{});
        BLOCK_CALLSIGN.set(row.blocked);
        noMatchSet.clear();
        if (row.noMatch != 0)
            noMatchSet.insert(row.noMatch == 1 ? "KLM B738" : "KLM B738 PH-BXA");
        heldCallsigns.assign(*row.held ? 1 : 0, row.held);
        LiveAI& a = waiting(firstHexid, row.callsign, row.registration);
        prepareLiveAICreation(a);
        const std::string outcome = a.erase                           ? "erased"
                                    : a.simStatus == SimStatus::requested ? "placed"
                                    : a.updates.size() == 1           ? "waits"
                                                                      : "unchanged";
        EXPECT_EQ(outcome, row.outcome) << row.name;
        if (outcome == "placed") {
            EXPECT_EQ(a.flight.callsign, row.flownAs) << row.name;
            EXPECT_EQ(readyForCreation, std::vector<std::uint32_t>{firstHexid}) << row.name;
        }
    }
    liveCreationBacklog.clear();
}

// The lead time before a creation: 300 polls for an aircraft moving on the ground, 100 for
// one in the air; reports that mix air and ground lose their oldest first.
TEST_F(LiveMergeTest, LeadTimeAndMixedReports)
{
    struct Row {
        const char* name;
        bool firstGround, secondGround;
        int pollsBeforeDue;
        const char* outcome;
    };
    const Row rows[] = {
        {"moving on the ground, 200 polls before", true, true, 200, "placed"},
        {"moving on the ground, 301 polls before", true, true, 301, "unchanged"},
        {"airborne, 200 polls before", false, false, 200, "unchanged"},
        {"air then ground", false, true, 0, "drops the oldest"},
    };
    for (const Row& row : rows) {
        liveAIList.clear();
        readyForCreation.clear();
        for (int i = 0; i < 2; ++i) {
            const TrafficReport r = reportAt(6.0 * i, 0.5 * i);
            mergeTrafficRecord((i == 0 ? row.firstGround : row.secondGround) ? groundReport(r) : r);
        }
        ASSERT_EQ(liveAIList.size(), 1u) << row.name;
        LiveAI& a = liveAIList.front();
        ASSERT_EQ(a.updates.size(), 2u) << row.name;
        pollCounter = static_cast<std::int32_t>(a.updates.front().duePoll - row.pollsBeforeDue);
        prepareLiveAICreation(a);
        const std::string outcome = a.simStatus == SimStatus::requested ? "placed"
                                    : a.updates.size() == 1             ? "drops the oldest"
                                                                        : "unchanged";
        EXPECT_EQ(outcome, row.outcome) << row.name;
    }
}

TEST_F(LiveMergeTest, BlockedAircraftPushesNobodyOutUnderTheLiveLimit)
{
    MAX_LIVE.set(6);
    for (std::uint32_t i = 0; i < 6; ++i)
        present(20001 + i, fmt::format("DLH{}", i), SimStatus::inSim, 5.0 + i);
    BLOCK_CALLSIGN.set("KLM1234");
    LiveAI& blocked = waiting(firstHexid, "KLM1234");
    prepareLiveAICreation(blocked);
    EXPECT_TRUE(blocked.erase);
    EXPECT_TRUE(removalBacklog.empty());
    BLOCK_CALLSIGN.set("");
    LiveAI& nearer = waiting(firstHexid + 1, "KLM1235");
    prepareLiveAICreation(nearer);
    EXPECT_EQ(nearer.simStatus, SimStatus::requested) << "nearer than the farthest: that one goes";
    EXPECT_EQ(removalBacklog, std::deque<std::uint32_t>{20006 % 1000});
}

TEST_F(LiveMergeTest, UnmatchedAircraftIsKeyedOnceAndErasedAtItsNextPoll)
{
    for (const char* airline : {"KLM", "DLH", "KLM"})
        if (const LiveryRef title = anyTitle(airline); !title.empty())
            excludedTitles.push_back(title);
    ASSERT_TRUE(anyTitle("KLM").empty());
    LiveAI& a = waiting(firstHexid, "KLM1234");
    prepareLiveAICreation(a);
    EXPECT_EQ(a.simStatus, SimStatus::waiting);
    EXPECT_FALSE(a.erase);
    EXPECT_EQ(noMatchSet, (std::set<std::string, std::less<>>{"KLM B738 PH-BXA"}));
    prepareLiveAICreation(a);
    EXPECT_TRUE(a.erase) << "not matched again at every poll";
}

TEST_F(LiveMergeTest, CachedLivery)
{
    const LiveryRef klm = anyTitle("KLM");
    const LiveryRef dlh = anyTitle("DLH");
    ASSERT_FALSE(klm.empty());
    struct Row {
        const char* name;
        LiveryRef cached;
        bool excluded, overrideSet;
        LiveryRef title;
        bool cLine;
    };
    const Row rows[] = {
        {"cached title taken", dlh, false, false, dlh, true},
        {"re-creation takes it silently", dlh, false, true, dlh, false},
        {"refused title matched anew", dlh, true, false, klm, false},
        {"nothing cached", {}, false, false, klm, false},
    };
    for (const Row& row : rows) {
        liveryMatchCache.clear();
        excludedTitles.assign(row.excluded ? 1 : 0, row.cached);
        if (!row.cached.empty())
            liveryMatchCache[firstHexid] = row.cached;
        LiveAI a;
        a.flight.hexid = firstHexid;
        a.flight.airline = "KLM";
        a.flight.icaoType = "B738";
        a.flight.callsign = "KLM1234";
        a.headingOverrideSet = row.overrideSet;
        const std::size_t before = log().size();
        EXPECT_TRUE(matchLiveryCached(a)) << row.name;
        EXPECT_EQ(a.flight.liveryTitle, row.title) << row.name;
        EXPECT_EQ(liveryMatchCache[firstHexid], row.title) << row.name;
        EXPECT_EQ(log().substr(before).find(" =c= ") != std::string::npos, row.cLine) << row.name;
    }
    excludedTitles.clear();
}

TEST_F(LiveMergeTest, CreationRequestInDegreesOnTheNextPoll)
{
    LiveAI& a = waiting(firstHexid, "KLM1234");
    prepareLiveAICreation(a);
    const double heading = a.heading;
    const double pitch = a.pitch;
    pollTraffic();
    ASSERT_EQ(liveCreationBacklog.size(), 1u);
    const CreationRequest& request = liveCreationBacklog.front();
    EXPECT_NEAR(request.position.heading, heading * 57.29577951308232, 1e-9);
    EXPECT_NEAR(request.position.pitch, pitch * 57.29577951308232, 1e-9);
    EXPECT_EQ(request.callsign, "KLM1234");
    EXPECT_EQ(request.aircraftId, firstHexid);
    EXPECT_EQ(request.position.onGround, 0u);
    EXPECT_EQ(request.position.airspeed, 0u);

    // One marked to leave before its request is built gets none and leaves the list.
    LiveAI& leaving = waiting(firstHexid + 1, "KLM1235");
    prepareLiveAICreation(leaving);
    markAIRemoved(leaving);
    pollTraffic();
    pollTraffic();
    EXPECT_EQ(live(firstHexid + 1), nullptr);
    EXPECT_TRUE(std::none_of(liveCreationBacklog.begin(), liveCreationBacklog.end(),
                             [](const CreationRequest& r) { return r.aircraftId == firstHexid + 1; }));
}

TEST_F(LiveMergeTest, GhostRules)
{
    struct Row {
        const char* name;
        const char* existing;
        SimStatus existingStatus;
        const char* newCallsign;
        bool newPlaced, existingGone;
        const char* held;
        bool heldBefore;
    };
    const Row rows[] = {
        {"owner placed removes its ghost", "AB123_", SimStatus::inSim, "AB123", true, true, "AB123_", false},
        {"owner placed erases a ghost not created", "AB123_", SimStatus::waiting, "AB123", true, true, "AB123_", false},
        {"a ghost removed before is held once", "AB123_", SimStatus::inSim, "AB123", true, true, "AB123_", true},
        {"ghost of a flying owner", "AB123", SimStatus::inSim, "AB123_", false, false, "", false},
        {"ghost of a removed owner", "AB123", SimStatus::removed, "AB123_", true, false, "", false},
    };
    for (const Row& row : rows) {
        liveAIList.clear();
        removalBacklog.clear();
        heldCallsigns.assign(row.heldBefore ? 1 : 0, "AB123_");
        present(30001, row.existing, row.existingStatus);
        LiveAI& a = waiting(firstHexid, row.newCallsign);
        prepareLiveAICreation(a);
        EXPECT_EQ(a.simStatus == SimStatus::requested, row.newPlaced) << row.name;
        const LiveAI& existing = liveAIList.front();
        const bool gone = existing.erase || removalBacklog == std::deque<std::uint32_t>{1};
        EXPECT_EQ(gone, row.existingGone) << row.name;
        EXPECT_EQ(heldCallsigns, std::vector<std::string>(*row.held ? 1 : 0, row.held)) << row.name;
    }
}

TEST_F(LiveMergeTest, CallsignChangeInFlight)
{
    struct Row {
        const char* name;
        bool guidChanges;
        const char* callsign;
        SimStatus status;
        std::size_t queued;
    };
    const Row rows[] = {
        {"same callsign", true, "KLM1234", SimStatus::inSim, 2},
        {"new callsign, kept", false, "KLM77", SimStatus::inSim, 2},
        {"new callsign, re-created", true, "KLM77", SimStatus::liveryChange, 2}, // held where it is
    };
    for (const Row& row : rows) {
        liveAIList.clear();
        removalBacklog.clear();
        GUID_CHANGES.set(row.guidChanges);
        LiveAI& a = present(firstHexid, "KLM1234", SimStatus::inSim);
        a.heading = 1.25;
        TrafficReport r = reportAt(8, 1.3);
        r.record.callsign = row.callsign;
        mergeTrafficRecord(r);
        EXPECT_EQ(a.flight.callsign, row.callsign) << row.name;
        EXPECT_EQ(a.simStatus, row.status) << row.name;
        EXPECT_EQ(a.updates.size(), row.queued) << row.name;
        const bool recreated = row.status == SimStatus::liveryChange;
        EXPECT_EQ(a.headingOverrideSet, recreated) << row.name;
        if (recreated) {
            EXPECT_EQ(a.headingOverride, 1.25);
            EXPECT_EQ(removalBacklog, std::deque<std::uint32_t>{a.objectId});
        }
    }
}

TEST_F(LiveMergeTest, TrafficServiceLeavingWithdrawsEveryLiveAircraft)
{
    present(30001, "INSIM", SimStatus::inSim);
    present(30002, "QUEUED1", SimStatus::requested);
    present(30003, "QUEUED2", SimStatus::requested);
    present(30004, "SENT", SimStatus::requested);
    present(30005, "NEW", SimStatus::waiting);
    liveCreationBacklog = {{.position = {}, .callsign = "QUEUED1", .title = {}, .aircraftId = 30002},
                           {.position = {}, .callsign = "QUEUED2", .title = {}, .aircraftId = 30003}};
    withdrawLiveAircraft();
    EXPECT_TRUE(liveCreationBacklog.empty());
    EXPECT_TRUE(removalBacklog.empty()) << "sent at once, not paced";
    EXPECT_EQ(removalQueue, std::vector<std::uint32_t>{1});
    struct Row {
        std::uint32_t hexid;
        bool erase, removeWhenCreated;
    };
    const Row rows[] = {{30001, false, false}, {30002, true, false}, {30003, true, false}, {30004, false, true},
                        {30005, false, false}};
    for (const Row& row : rows) {
        EXPECT_EQ(live(row.hexid)->erase, row.erase) << row.hexid;
        EXPECT_EQ(live(row.hexid)->removeWhenCreated, row.removeWhenCreated) << row.hexid;
    }
    advanceAllLiveAI();
    EXPECT_EQ(live(30002), nullptr);
    EXPECT_EQ(live(30003), nullptr);
    EXPECT_NE(live(30001), nullptr);
    EXPECT_NE(live(30004), nullptr);
}

} // namespace
} // namespace rtd
