// The rules at the park airport's stands, against static parked twins, the limits on parked
// aircraft and the collision rules, on the traffic harness with a small park airport: stands
// A1 and A2 overlap 40 m apart, A3 and A4 stand alone farther east.

#include "traffic_harness.hpp"

#include "core/display.hpp"
#include "traffic/ai_commands.hpp"
#include "traffic/ai_state.hpp"
#include "traffic/parked_static.hpp"
#include "traffic/sim_client.hpp"
#include "traffic/traffic_clock.hpp"
#include "traffic/user_collisions.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace rtd {
namespace {

using test::TrafficHarness;

constexpr double metre = 1.0 / 1852.0; // nm
constexpr double feetPerMetre = 1.0 / 0.3048;
constexpr double east = std::numbers::pi / 2;
constexpr std::int64_t ticksPerMinute = 60 * 10'000'000LL;

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

LatLon eastOf(LatLon from, double metres)
{
    return destinationPoint(from, east, metres * feetPerMetre);
}

class FixedClock : public TrafficClock {
public:
    std::int64_t now() override { return now_; }
    void sleepUntil(std::int64_t ticks) override { now_ = std::max(now_, ticks); }
    std::int64_t now_ = 5'000'000'000'000;
};

class ParkingRulesTest : public TrafficHarness {
protected:
    ParkingRulesTest()
    {
        parkAirport.icao = "EHAM";
        parkAirport.position = test::parkAirportPosition;
        const LatLon a1 = test::parkAirportPosition;
        const LatLon positions[] = {a1, eastOf(a1, 40), eastOf(a1, 200), eastOf(a1, 400)};
        for (int i = 0; i < 4; ++i) {
            ParkingPosition& s = parkAirport.stands.emplace_back(fmt::format("A{}", i + 1), std::vector<StandOption>{},
                                                                 positions[i].lat, positions[i].lon, 0.5, 40.0,
                                                                 false, false, false);
            s.standId = static_cast<std::uint32_t>(i + 1);
        }
        parkAirport.stands[0].neighbours = {2};
        parkAirport.stands[1].neighbours = {1};
        publishStandSnapshot();
        setTrafficClock(&clock);
        resetParkedAircraftId();
    }

    ~ParkingRulesTest() override
    {
        setTrafficClock(nullptr);
        fitList.clear();
        heldCallsigns.clear();
        reservedStandName.clear();
        INITIAL_LOAD_ONLY.set(INITIAL_LOAD_ONLY.defaultValue());
        mainWindowGlobals.maxParkFigure = 0;
        parkAirport.stands.clear();
        publishStandSnapshot();
    }

    static const ParkingPosition& stand(std::uint32_t id) { return parkAirport.stands.at(id - 1); }

    // A live KLM B738 standing at the stand, in the simulator unless told otherwise.
    LiveAI& atStand(std::uint32_t hexid, const std::string& callsign, std::uint32_t standId,
                    SimStatus status = SimStatus::inSim, Phase phase = Phase::atStand)
    {
        FlightRecord flight;
        flight.callsign = callsign;
        flight.airline = "KLM";
        flight.icaoType = "B738";
        flight.hexid = hexid;
        flight.halfSpan = 17 * metre;
        PositionUpdate first;
        first.lat = stand(standId).latitude;
        first.lon = stand(standId).longitude;
        LiveAI a = constructLiveAI(first, flight, 1.0);
        a.lat = first.lat;
        a.lon = first.lon;
        a.standLat = first.lat;
        a.standLon = first.lon;
        a.standId = standId;
        a.simStatus = status;
        a.objectId = status == SimStatus::waiting ? 0 : hexid % 1000;
        a.phase = phase;
        a.onGround = true;
        a.parkedSince = clock.now_;
        liveAIList.push_back(std::move(a));
        return liveAIList.back();
    }

    // A static parked aircraft at the stand, placed at the weekday and half hour.
    static ParkedAI& parkedAt(std::uint32_t id, const std::string& callsign, std::uint32_t standId,
                              SimStatus status = SimStatus::inSim, DaySlot placed = makeDaySlot(1, 10))
    {
        FlightRecord flight;
        flight.callsign = callsign;
        flight.airline = "KLM";
        flight.icaoType = "B738";
        flight.hexid = id;
        flight.halfSpan = 17 * metre;
        const ParkingPosition& s = stand(standId);
        ParkedAI p = constructParkedAI(flight, standId, s.latitude, s.longitude, s.heading, false);
        p.simStatus = status;
        p.objectId = status == SimStatus::requested ? 0 : 500 + id;
        p.arrivalDayHalfHour = static_cast<std::int64_t>(placed);
        parkedAIList.push_back(std::move(p));
        return parkedAIList.back();
    }

    static bool removed(const ParkedAI& ai) { return ai.simStatus == SimStatus::removed; }

    static void clearLists()
    {
        liveAIList.clear();
        parkedAIList.clear();
        removalBacklog.clear();
        parkedCreationBacklog.clear();
        liveCreationBacklog.clear();
    }

    FixedClock clock;
};

TEST_F(ParkingRulesTest, StandCallsignRules)
{
    struct Row {
        const char* existing;
        bool recalcMark;
        std::uint32_t standId;
        const char* newCallsign;
        bool stop, keep, existingRemoved;
        const char* line;
    };
    const Row rows[] = {
        {"KLM123", false, 1, "KLM123", true, true, true,
         "A1      : KLM123   ac with same callsign KLM123 wants it, remove existing ... "},
        {"KLM123", false, 1, "KLM123_", true, false, false,
         "A1      : KLM123   ghost KLM123_ wants it, but don't do it ... "},
        {"KLM123_", false, 1, "KLM123", true, true, true, "A1      : KLM123_  ghost, replace by KLM123"},
        {"KLM77", true, 1, "DLH4", true, false, false,
         "A1      : KLM77    other live DLH4 wants it, but I'm just here ... "},
        {"KLM77", false, 1, "DLH4", true, true, true, "A1      : KLM77    removed because of new DLH4"},
        {"KLM77", false, 2, "DLH4", false, true, false, ""},
    };
    for (const Row& row : rows) {
        clearLists();
        LiveAI& e = atStand(30001, row.existing, 1);
        e.recalcMark = row.recalcMark;
        bool keep = true;
        EXPECT_EQ(applyStandCallsignRules(keep, row.standId, row.newCallsign, e), row.stop) << row.line;
        EXPECT_EQ(keep, row.keep) << row.line;
        EXPECT_EQ(removed(e), row.existingRemoved) << row.line;
        EXPECT_TRUE(contains(log(), std::string(row.line) + "\n")) << row.line;
    }
}

// A new KLM B738 on the ground `metres` west of stand A3 (its last update standing), its lead
// time reached; then the rules of its creation.
TEST_F(ParkingRulesTest, PlacementAtAStand)
{
    struct Row {
        const char* name;
        double metresAway;
        const char* callsign;
        const char* standing; // live at A3, or ""
        const char* reserved;
        Phase phase;
        bool erased, standingRemoved;
    };
    const Row rows[] = {
        {"50 m away: placed at the stand", 50, "KLM123", "", "", Phase::atStand, false, false},
        {"60 m away: taxis", 60, "KLM123", "", "", Phase::groundMoving, false, false},
        {"owner replaces its ghost", 0, "KLM123", "KLM123_", "", Phase::atStand, false, true},
        {"ghost of an owner at the stand", 0, "KLM123_", "KLM123", "", Phase::fresh, true, false},
        {"the user's reserved stand", 0, "KLM123", "", "A3", Phase::fresh, true, false},
    };
    for (const Row& row : rows) {
        clearLists();
        heldCallsigns.clear();
        reservedStandName = row.reserved;
        if (*row.standing)
            atStand(30001, row.standing, 3);
        const LatLon at = eastOf({stand(3).latitude, stand(3).longitude}, -row.metresAway);
        FlightRecord flight;
        flight.callsign = row.callsign;
        flight.icaoType = "B738";
        flight.registration = "PH-BXA";
        flight.hexid = 4840201;
        PositionUpdate u;
        u.lat = at.lat;
        u.lon = at.lon;
        u.duePoll = pollCounter;
        LiveAI a = constructLiveAI(u, flight, 1.0);
        a.updates.push_back(u);
        LiveAI& added = liveAIList.emplace_back(std::move(a));
        prepareLiveAICreation(added);
        const LiveAI& placed = *live(4840201);
        EXPECT_EQ(placed.phase, row.phase) << row.name;
        EXPECT_EQ(placed.erase, row.erased) << row.name;
        EXPECT_EQ(placed.standId, row.phase == Phase::atStand ? 3u : 0u) << row.name;
        if (*row.standing) {
            EXPECT_EQ(removed(liveAIList.front()), row.standingRemoved) << row.name;
        }
        EXPECT_EQ(heldCallsigns.size(), row.standingRemoved ? 1u : 0u) << row.name;
    }
}

TEST_F(ParkingRulesTest, AdjacentLiveAircraftGoWhenTheirSpansOverlap)
{
    // A new aircraft for A1 with a 20 m half span; the live one at A2, 40 m away.
    const double apart = distanceNm({stand(1).latitude, stand(1).longitude}, {stand(2).latitude, stand(2).longitude});
    const double touching = apart + 3.6 * metre - 20 * metre; // the A2 aircraft's half span at the limit
    struct Row {
        const char* name;
        double halfSpan;
        const char* callsign;
        bool removed;
    };
    const Row rows[] = {
        {"just inside", touching + 0.01 * metre, "DLH4", true},
        {"just outside", touching - 0.01 * metre, "DLH4", false},
        {"same callsign", touching + 1 * metre, "KLM1", false},
    };
    for (const Row& row : rows) {
        clearLists();
        LiveAI& newAI = atStand(4840201, "KLM1", 1, SimStatus::waiting, Phase::fresh);
        newAI.flight.halfSpan = 20 * metre;
        const LiveAI copy = newAI;
        LiveAI& existing = atStand(30001, row.callsign, 2);
        existing.flight.halfSpan = row.halfSpan;
        EXPECT_EQ(removeAdjacentLive(2, stand(1).latitude, stand(1).longitude, copy, existing), row.removed) << row.name;
        EXPECT_EQ(removed(existing), row.removed) << row.name;
    }
    EXPECT_TRUE(contains(log(), "A2      : DLH4     removed by adjacent parking KLM1 KLM B738\n"));
}

TEST_F(ParkingRulesTest, ParkedTwins)
{
    struct Row {
        const char* name;
        const char* live;
        const char* liveSeventh;
        const char* parked;
        const char* sixth;
        const char* seventh;
        bool hexidKnown;
        SimStatus status;
        bool twin;
    };
    const Row rows[] = {
        {"option hexid", "DLH4", "", "KLM9*", "", "", true, SimStatus::inSim, true},
        {"callsign with asterisk", "KLM123", "", "KLM123*", "", "", false, SimStatus::inSim, true},
        {"its sixth string", "KLM123", "", "KLM9*", "KLM123", "", false, SimStatus::inSim, true},
        {"its seventh string", "KLM123", "", "KLM9*", "", "KLM123", false, SimStatus::inSim, true},
        {"the live seventh string", "KLM5", "KL123", "KLM9*", "KL123", "", false, SimStatus::inSim, true},
        {"a ghost's owner", "KLM123_", "", "KLM123*", "", "", false, SimStatus::inSim, true},
        {"a ghost's owner as sixth", "KLM123_", "", "KLM9*", "KLM123", "", false, SimStatus::inSim, true},
        {"not in the simulator", "KLM123", "", "KLM123*", "", "", false, SimStatus::requested, false},
        {"another flight", "KLM123", "", "KLM124*", "KLM12", "", false, SimStatus::inSim, false},
        {"empty coupled strings", "KLM123", "", "KLM9*", "", "", false, SimStatus::inSim, false},
    };
    for (const Row& row : rows) {
        clearLists();
        LiveAI& a = atStand(4840201, row.live, 1, SimStatus::inSim, Phase::groundMoving);
        a.flight.spareText = row.liveSeventh;
        ParkedAI& p = parkedAt(7, row.parked, 3, row.status);
        p.flight.firstCallsign = row.sixth;
        p.flight.spareText = row.seventh;
        p.optionHexidKnown = row.hexidKnown;
        p.optionHexid = row.hexidKnown ? 4840201 : 0;
        EXPECT_EQ(isParkedTwin(a, p), row.twin) << row.name;
    }
    clearLists();
    const LiveAI& a = atStand(4840201, "KLM123", 1, SimStatus::inSim, Phase::groundMoving);
    parkedAt(7, "KLM9*", 3).optionHexidKnown = true;
    parkedAIList.back().optionHexid = 4840201;
    parkedAt(8, "KLM123*", 4);
    removeParkedWithSameHexid(a);
    removeParkedWithSameHexid(a);
    EXPECT_TRUE(removed(parkedAIList[0]) && removed(parkedAIList[1]));
    const std::string text = log();
    EXPECT_TRUE(contains(text, "A3      : KLM9*    [PT] removed, because live KLM123 has same hexid \n"));
    EXPECT_TRUE(contains(text, "A4      : KLM123*  [\"\" \"\" ] removed, because live KLM123 [\"\"]\n"));
}

TEST_F(ParkingRulesTest, FlushWithdrawsEveryQueuedCreation)
{
    for (std::uint32_t id = 1; id <= 3; ++id) {
        parkedAt(id, fmt::format("KLM{}*", id), id, SimStatus::requested);
        CreationRequest request;
        request.callsign = fmt::format("KLM{}*", id);
        request.aircraftId = id;
        parkedCreationBacklog.push_back(request);
    }
    parkedAt(4, "KLM4*", 4, SimStatus::requested); // its creation went out already
    parkedAt(5, "KLM5*", 4);
    removeOrRetryParked();
    EXPECT_TRUE(parkedCreationBacklog.empty());
    ASSERT_EQ(parkedAIList.size(), 2u);
    for (const ParkedAI& p : parkedAIList)
        EXPECT_EQ(p.id() == 4 ? p.removeWhenCreated : removed(p), true) << p.id();
}

TEST_F(ParkingRulesTest, ReservedStandClearedParkedFirst)
{
    struct Row {
        const char* name;
        SimStatus parked; // waiting: none
        bool parkedRemoved, liveRemoved;
    };
    const Row rows[] = {
        {"the parked one first", SimStatus::inSim, true, false},
        {"no parked one: the live one", SimStatus::waiting, false, true},
        {"a parked one still queued: the live one", SimStatus::requested, false, true},
    };
    for (const Row& row : rows) {
        clearLists();
        reservedStandName = "A2";
        const LiveAI& standing = atStand(30001, "KLM1", 2);
        atStand(30002, "KLM2", 3);
        if (row.parked != SimStatus::waiting)
            parkedAt(1, "KLM8*", 2, row.parked);
        removeParkedAtStand();
        EXPECT_EQ(removed(standing), row.liveRemoved) << row.name;
        EXPECT_FALSE(removed(liveAIList[1])) << row.name;
        if (!parkedAIList.empty()) {
            EXPECT_EQ(removed(parkedAIList[0]), row.parkedRemoved) << row.name;
        }
    }
}

TEST_F(ParkingRulesTest, AverageStayOfLiveAircraftAtStands)
{
    dayHalfHour = makeDaySlot(1, 1); // Monday 00:30
    EXPECT_EQ(countLiveAIAtStands(), 0);
    EXPECT_EQ(mainWindowGlobals.liveAverageFit, 0.0f);
    atStand(30001, "KLM1", 1).arrivalDayHalfHour = static_cast<std::int64_t>(makeDaySlot(7, 47)); // 2 half hours
    atStand(30002, "KLM2", 2).arrivalDayHalfHour = static_cast<std::int64_t>(makeDaySlot(1, 0));  // 1 half hour
    atStand(30003, "KLM3", 3).arrivalDayHalfHour = static_cast<std::int64_t>(makeDaySlot(7, 44)); // 5 half hours
    atStand(30004, "KLM4", 4, SimStatus::requested);
    EXPECT_EQ(countLiveAIAtStands(), 3);
    EXPECT_FLOAT_EQ(mainWindowGlobals.liveAverageFit, 8.0f / 6.0f + 0.5f);
}

TEST_F(ParkingRulesTest, OldLiveRecordsPurgedOnTheTrafficClock)
{
    struct Row {
        const char* name;
        int minutes;
        AircraftCategory category;
        bool recalcMark, initialLoadOnly, removed;
    };
    const Row rows[] = {
        {"91 minutes", 91, Large, false, false, true},
        {"89 minutes", 89, Large, false, false, false},
        {"Heavy at 179 minutes", 179, Heavy, false, false, false},
        {"Heavy at 181 minutes", 181, Heavy, false, false, true},
        {"INITIAL_LOAD_ONLY", 300, Large, false, true, false},
        {"part of the current parking", 300, Large, true, false, false},
    };
    for (const Row& row : rows) {
        clearLists();
        INITIAL_LOAD_ONLY.set(row.initialLoadOnly);
        atStand(30003, "KLM3", 3);
        LiveAI& old = atStand(30001, "KLM1", 4);
        old.flight.category = row.category;
        old.recalcMark = row.recalcMark;
        old.parkedSince -= row.minutes * ticksPerMinute;
        atStand(30002, "KLM2", 2);
        atStand(30005, "KLM5", 1, SimStatus::requested);
        const std::vector<LiveStayer> stayers = purgeOldLiveRecords();
        EXPECT_EQ(removed(old), row.removed) << row.name;
        std::vector<std::uint32_t> stands;
        for (const LiveStayer& s : stayers)
            stands.push_back(s.standId);
        const std::vector<std::uint32_t> expected =
            row.removed ? std::vector<std::uint32_t>{2, 3} : std::vector<std::uint32_t>{2, 3, 4};
        EXPECT_EQ(stands, expected) << row.name;
    }
}

TEST_F(ParkingRulesTest, LiveAircraftTooCloseToAParkedOneRemovesIt)
{
    const LiveAI& taxiing = atStand(30001, "KLM1", 3, SimStatus::inSim, Phase::groundMoving);
    ParkedAI& near = parkedAt(1, "KLM8*", 3);
    ParkedAI& queued = parkedAt(2, "KLM9*", 3, SimStatus::requested);
    EXPECT_FALSE(removeForCollisionAvoidance(taxiing, queued));
    EXPECT_TRUE(removeForCollisionAvoidance(taxiing, near));
    EXPECT_TRUE(contains(log(), "A3      : KLM8*    removed for collision avoidance with live KLM1\n"));
}

} // namespace
} // namespace rtd
