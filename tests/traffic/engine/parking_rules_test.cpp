// The rules at the park airport's stands, against static parked twins, the limits on parked
// aircraft and the collision rules, on the traffic harness with a small park airport: stands
// A1 and A2 overlap 40 m apart, A3 and A4 stand alone farther east.

#include "traffic/traffic_harness.hpp"

#include "core/display.hpp"
#include "traffic/engine/ai_state.hpp"
#include "traffic/engine/live_arrival.hpp"
#include "traffic/engine/parked_static.hpp"
#include "traffic/engine/traffic_clock.hpp"
#include "traffic/engine/user_collisions.hpp"
#include "traffic/simulator_link/ai_commands.hpp"
#include "traffic/simulator_link/sim_client.hpp"

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
        // The tests keep references to the aircraft they add.
        liveAIList.reserve(16);
        parkedAIList.reserve(16);
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

    static FlightRecord klmB738(std::uint32_t id, const std::string& callsign)
    {
        FlightRecord flight;
        flight.callsign = callsign;
        flight.airline = "KLM";
        flight.icaoType = "B738";
        flight.hexid = id;
        flight.halfSpan = 17 * metre;
        return flight;
    }

    // A live KLM B738 standing at the stand, in the simulator unless told otherwise.
    LiveAI& atStand(std::uint32_t hexid, const std::string& callsign, std::uint32_t standId,
                    SimStatus status = SimStatus::inSim, Phase phase = Phase::atStand)
    {
        PositionUpdate first;
        first.lat = stand(standId).latitude;
        first.lon = stand(standId).longitude;
        LiveAI a = constructLiveAI(first, klmB738(hexid, callsign), 1.0);
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

    // A live KLM B738 that taxied to the stand and arrived there `minutesAgo` on the clock.
    LiveAI& arrivedAt(std::uint32_t hexid, const std::string& callsign, std::uint32_t standId, int minutesAgo)
    {
        clock.now_ -= minutesAgo * ticksPerMinute;
        LiveAI& a = atStand(hexid, callsign, standId, SimStatus::inSim, Phase::taxiToStand);
        checkArrival(a);
        clock.now_ += minutesAgo * ticksPerMinute;
        EXPECT_EQ(a.phase, Phase::atStand);
        return a;
    }

    // A static parked aircraft at the stand, placed at the weekday and half hour.
    static ParkedAI& parkedAt(std::uint32_t id, const std::string& callsign, std::uint32_t standId,
                              SimStatus status = SimStatus::inSim, DaySlot placed = makeDaySlot(1, 10))
    {
        const ParkingPosition& s = stand(standId);
        ParkedAI p = constructParkedAI(klmB738(id, callsign), standId, s.latitude, s.longitude, s.heading, false);
        p.simStatus = status;
        p.objectId = status == SimStatus::requested ? 0 : 500 + id;
        p.arrivalDayHalfHour = static_cast<std::int64_t>(placed);
        parkedAIList.push_back(std::move(p));
        return parkedAIList.back();
    }

    static bool removed(const ParkedAI& ai) { return ai.simStatus == SimStatus::removed; }

    // A new KLM B738 standing at `at`, its lead time reached, through the rules of its creation.
    static void newcomer(const std::string& callsign, LatLon at)
    {
        FlightRecord flight;
        flight.callsign = callsign;
        flight.icaoType = "B738";
        flight.registration = "PH-BXA";
        flight.hexid = 4840201;
        PositionUpdate u;
        u.lat = at.lat;
        u.lon = at.lon;
        u.duePoll = pollCounter;
        LiveAI a = constructLiveAI(u, flight, 1.0);
        a.updates.push_back(u);
        prepareLiveAICreation(liveAIList.emplace_back(std::move(a)));
    }

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
        newcomer(row.callsign, eastOf({stand(3).latitude, stand(3).longitude}, -row.metresAway));
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

// A newcomer placed at A3 where another live aircraft stands, still to be created, or taxis
// to: the one at the stand goes; the taxiing one taxis to a free stand within 55 m of it
// (A4, 200 m east of A3) or on without a stand.
TEST_F(ParkingRulesTest, OneLiveAircraftPerStand)
{
    struct Row {
        const char* name;
        Phase phase;
        double metresEast; // of A3
        bool a4Parked;
        bool removed;
        std::uint32_t standAfter;
    };
    const Row rows[] = {
        {"at the stand, not created yet", Phase::atStand, 0, false, true, 3},
        {"taxiing to it near A4", Phase::taxiToStand, 170, false, false, 4},
        {"taxiing to it near A4, A4 taken", Phase::taxiToStand, 170, true, false, 0},
        {"taxiing to it, no other stand near", Phase::taxiToStand, 30, false, false, 0},
    };
    for (const Row& row : rows) {
        clearLists();
        LiveAI& other = atStand(30001, "DLH4", 3, SimStatus::requested, row.phase);
        other.objectId = 0;
        if (row.phase == Phase::taxiToStand) {
            other.simStatus = SimStatus::inSim;
            other.objectId = 1;
            const LatLon at = eastOf({stand(3).latitude, stand(3).longitude}, row.metresEast);
            other.lat = other.updates.front().lat = at.lat;
            other.lon = other.updates.front().lon = at.lon;
        }
        if (row.a4Parked)
            parkedAt(1, "KLM8*", 4);
        newcomer("KLM123", {stand(3).latitude, stand(3).longitude});
        const LiveAI& taxiing = liveAIList.front();
        ASSERT_EQ(live(4840201)->standId, 3u) << row.name;
        EXPECT_EQ(removed(taxiing), row.removed) << row.name;
        if (row.phase == Phase::taxiToStand) {
            EXPECT_EQ(taxiing.standId, row.standAfter) << row.name;
            EXPECT_EQ(taxiing.phase, row.standAfter != 0 ? Phase::taxiToStand : Phase::groundMoving) << row.name;
            EXPECT_EQ(taxiing.updates.size(), row.standAfter != 0 ? 3u : 1u) << row.name;
        }
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
        bool recalcMark, initialLoadOnly, removed, arrived = false;
    };
    const Row rows[] = {
        {"91 minutes", 91, Large, false, false, true},
        {"91 minutes after its arrival", 91, Large, false, false, true, true},
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
        LiveAI& old = row.arrived ? arrivedAt(30001, "KLM1", 4, row.minutes) : atStand(30001, "KLM1", 4);
        old.flight.category = row.category;
        old.recalcMark = row.recalcMark;
        if (!row.arrived)
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

TEST_F(ParkingRulesTest, ParkedLimit)
{
    const DaySlot sunday = makeDaySlot(7, 47);
    const DaySlot monday = makeDaySlot(1, 1);
    struct Parked {
        SimStatus status;
        DaySlot placed;
    };
    struct Row {
        const char* name;
        int wanted, liveAtStands, extra, calls;
        std::vector<Parked> parked;
        const char* liveRemoved; // the live callsigns removed, in list order
        const char* parkedRemoved;
    };
    const Row rows[] = {
        {"three live at three wanted: the static one goes", 3, 3, 0, 1, {{SimStatus::inSim, monday}}, "", "0"},
        {"within the wanted number", 3, 2, 0, 1, {{SimStatus::inSim, monday}}, "", ""},
        {"the extra one counts", 3, 2, 1, 1, {{SimStatus::inSim, monday}}, "", "0"},
        {"Sunday before Monday", 1, 0, 0, 1, {{SimStatus::inSim, monday}, {SimStatus::inSim, sunday}}, "", "1"},
        {"a second call removes no more", 1, 0, 0, 2, {{SimStatus::inSim, monday}, {SimStatus::inSim, sunday}}, "",
         "1"},
        {"a queued one is never taken", 0, 0, 0, 1, {{SimStatus::requested, sunday}, {SimStatus::inSim, monday}}, "",
         "1"},
        {"one live and one parked per call", 1, 3, 0, 1, {{SimStatus::inSim, monday}, {SimStatus::inSim, sunday}},
         "KLM1", "1"},
    };
    for (const Row& row : rows) {
        clearLists();
        mainWindowGlobals.maxParkFigure = row.wanted;
        for (int i = 0; i < row.liveAtStands; ++i)
            atStand(30001 + i, fmt::format("KLM{}", i + 1), 1 + i).parkedSince -= (10 - i) * ticksPerMinute;
        for (std::size_t i = 0; i < row.parked.size(); ++i)
            parkedAt(static_cast<std::uint32_t>(i + 1), fmt::format("KLM{}*", i), 4, row.parked[i].status,
                     row.parked[i].placed);
        for (int call = 0; call < row.calls; ++call)
            enforceMaxParked(row.extra);
        std::string live;
        for (const LiveAI& ai : liveAIList)
            if (removed(ai))
                live += ai.flight.callsign;
        std::string parked;
        for (std::size_t i = 0; i < parkedAIList.size(); ++i)
            if (removed(parkedAIList[i]))
                parked += std::to_string(i);
        EXPECT_EQ(live, row.liveRemoved) << row.name;
        EXPECT_EQ(parked, row.parkedRemoved) << row.name;
    }
    EXPECT_TRUE(contains(log(), "A1: KLM1     max park exceeded, removed\n"));
}

TEST_F(ParkingRulesTest, LongestParkedLiveAircraftRemovedFirst)
{
    for (int minutes : {5, 30, 20, 10}) {
        if (minutes == 30) // it arrived through the arrival check
            arrivedAt(30030, "KLM30", 1, 30);
        else
            atStand(30000 + minutes, fmt::format("KLM{}", minutes), 1).parkedSince -= minutes * ticksPerMinute;
    }
    removeLiveParked(2);
    std::string gone;
    for (const LiveAI& ai : liveAIList)
        if (removed(ai))
            gone += ai.flight.callsign + " ";
    EXPECT_EQ(gone, "KLM30 KLM20 ");
    EXPECT_TRUE(contains(log(), "live parked KLM30    "));
}

TEST_F(ParkingRulesTest, StaticParkedAircraftPlacedFromTheFitList)
{
    struct Row {
        const char* name;
        FitEntry entry;
        const char* blocking; // a live aircraft at this stand, or ""
        Phase blockingPhase;
        bool noStands;
        const char* placed; // the parked aircraft and its creation request, or ""
        const char* line;
    };
    const FitEntry klm1{0, 0, "KLM", "B738", 1, "KLM1", "", "", 0};
    const Row rows[] = {
        {"trailing underscores", {7, 3, "KLM", "B738", 3, "KLM12__", "", "PH-BXA", 1}, "", Phase::atStand, false,
         "KLM12* id 1 at A3 since 7:46 value 7 soft 1; request KLM12* id 1 at A3 heading 28.6 on ground 1", ""},
        {"no callsign", {0, 0, "KLM", "B738", 4, "", "", "", 0}, "", Phase::atStand, false,
         "KLM1* id 1 at A4 since 1:1 value 0 soft 0; request KLM1* id 1 at A4 heading 28.6 on ground 1", ""},
        {"an asterisk already", {0, 0, "DLH", "B738", 4, "DLH5*", "", "", 0}, "", Phase::atStand, false,
         "DLH5* id 1 at A4 since 1:1 value 0 soft 0; request DLH5* id 1 at A4 heading 28.6 on ground 1", ""},
        {"no livery", {0, 0, "XYZ", "C172", 4, "XYZ1", "", "", 0}, "", Phase::atStand, false, "", ""},
        {"no stands", klm1, "", Phase::atStand, true, "", ""},
        {"a live aircraft at the stand", klm1, "A1", Phase::atStand, false, "",
         "A1      : no static parking, live aircraft standing here\n"},
        {"one taxiing to an overlapping stand", klm1, "A2", Phase::taxiToStand, false, "",
         "A1      : no static parking, live aircraft standing here\n"},
        {"one taxiing elsewhere", klm1, "A2", Phase::groundMoving, false,
         "KLM1* id 1 at A1 since 1:1 value 0 soft 0; request KLM1* id 1 at A1 heading 28.6 on ground 1", ""},
        {"unknown stand", {0, 0, "KLM", "B738", 99, "KLM1", "", "", 0}, "", Phase::atStand, false, "",
         "===> stand with id 99 not found\n"},
    };
    dayHalfHour = makeDaySlot(1, 1); // Monday 00:30
    for (const Row& row : rows) {
        clearLists();
        resetParkedAircraftId();
        if (*row.blocking)
            atStand(30001, "DLH9", row.blocking[1] - '0', SimStatus::inSim, row.blockingPhase);
        std::vector<ParkingPosition> stands;
        if (row.noStands)
            stands.swap(parkAirport.stands);
        fitList = {row.entry};
        placeStaticParked();
        if (row.noStands)
            stands.swap(parkAirport.stands);
        EXPECT_EQ(fitList.size(), row.noStands ? 1u : 0u) << row.name;
        EXPECT_TRUE(contains(log(), row.line)) << row.name;
        std::string placed;
        if (!parkedAIList.empty() && parkedAIList.front().simStatus == SimStatus::requested &&
            parkedCreationBacklog.size() == 1) {
            const ParkedAI& p = parkedAIList.front();
            const CreationRequest& r = parkedCreationBacklog.front();
            const auto since = static_cast<DaySlot>(p.arrivalDayHalfHour);
            const std::string requestStand = standNameOf(p.standId);
            const bool requestAtStand = r.position.latitude == stand(p.standId).latitude &&
                                 r.position.longitude == stand(p.standId).longitude && r.title == p.flight.liveryTitle &&
                                 !r.title.empty();
            placed = fmt::format("{} id {} at {} since {}:{} value {} soft {:d}; request {} id {} at {} heading {:.1f} "
                                 "on ground {}",
                                 p.flight.callsign, p.id(), standNameOf(p.standId), slotWeekday(since),
                                 slotHalfHour(since), p.fitValue, p.softFit, r.callsign, r.aircraftId,
                                 requestAtStand ? requestStand : "?", r.position.heading, r.position.onGround);
        }
        EXPECT_EQ(placed, row.placed) << row.name;
    }
}

TEST_F(ParkingRulesTest, ParkedIdsWrapToOne)
{
    for (int i = 0; i < 9998; ++i)
        nextParkedAircraftId();
    for (std::uint32_t standId : {3, 4}) {
        fitList = {{0, 0, "KLM", "B738", standId, "", "", "", 0}};
        placeStaticParked();
    }
    ASSERT_EQ(parkedAIList.size(), 2u);
    EXPECT_EQ(parkedAIList[0].flight.callsign, "KLM9999*");
    EXPECT_EQ(parkedAIList[1].flight.callsign, "KLM1*");
}

// The user flies north at 3,000 ft from userPosition; an aircraft 2 nm east.
TEST_F(ParkingRulesTest, LiveAircraftInTheFlyingUsersWay)
{
    struct Row {
        const char* name;
        bool aircraftOnGround;
        double distanceNm, userAglFt, altitudeFt, lateralFt;
        bool removed;
    };
    const Row rows[] = {
        {"flying, its line 700 ft from the user", false, 2, 3000, 3500, 699.99, true},
        {"flying, its line 701 ft from the user", false, 2, 3000, 3500, 701, false},
        {"flying, 1,000 ft above", false, 2, 3000, 4000, 0, false},
        {"flying, beyond 4 nm", false, 4.01, 3000, 3000, 0, false},
        {"on the ground ahead at 1 nm", true, 0.99, 499, 0, 45, true},
        {"on the ground beyond 1 nm", true, 1.01, 499, 0, 0, false},
        {"on the ground 55 ft off the user's line", true, 0.99, 499, 0, 55, false},
        {"on the ground, the user 500 ft up", true, 0.99, 500, 0, 0, false},
    };
    for (const Row& row : rows) {
        clearLists();
        userStateCache.latitude = test::userPosition.lat;
        userStateCache.longitude = test::userPosition.lon;
        userStateCache.heading = 0.0;
        userStateCache.altitudeFt = 3000;
        userStateCache.altitudeAglFt = row.userAglFt;
        LiveAI& ai = atStand(4840201, "KLM1", 1, SimStatus::inSim, row.aircraftOnGround ? Phase::groundMoving
                                                                                          : Phase::airborne);
        ai.onGround = row.aircraftOnGround;
        ai.altitude = row.altitudeFt;
        const double distanceFt = row.distanceNm * 6076.11549;
        if (row.aircraftOnGround) {
            // Ahead of the user, `lateralFt` to the side of its heading line.
            const double offBearing = std::asin(row.lateralFt / distanceFt);
            const LatLon at = destinationPoint(test::userPosition, offBearing, distanceFt);
            ai.lat = at.lat;
            ai.lon = at.lon;
        } else {
            const LatLon at = destinationPoint(test::userPosition, east, distanceFt);
            ai.lat = at.lat;
            ai.lon = at.lon;
            const double bearing = initialBearing(test::userPosition, at);
            ai.heading = bearing + std::asin(row.lateralFt / distanceFt);
        }
        EXPECT_EQ(avoidCollisionUserAir(ai), row.removed) << row.name;
        EXPECT_EQ(removed(ai), row.removed) << row.name;
    }
}

TEST_F(ParkingRulesTest, UserOnTheGroundClearsItsSurroundings)
{
    userHalfWingspanNm = 17 * metre;
    const LatLon user{stand(3).latitude, stand(3).longitude};
    userStateCache.latitude = user.lat;
    userStateCache.longitude = user.lon;
    LiveAI& first = atStand(30001, "KLM1", 3, SimStatus::inSim, Phase::groundMoving);
    LiveAI& second = atStand(30002, "KLM2", 3, SimStatus::inSim, Phase::groundMoving);
    parkedAt(1, "KLM8*", 4);
    avoidCollisionUserGround();
    EXPECT_TRUE(removed(first));
    EXPECT_FALSE(removed(second));
    avoidCollisionUserGround();
    EXPECT_TRUE(removed(second));
    avoidCollisionUserGround(); // no live one left: the parked ones are checked from here
    // The user has not moved since that check: the parked aircraft at A3 is not looked at.
    ParkedAI& near = parkedAt(2, "KLM9*", 3);
    avoidCollisionUserGround();
    EXPECT_FALSE(removed(near));
    const LatLon moved = eastOf(user, 1);
    userStateCache.longitude = moved.lon;
    avoidCollisionUserGround();
    EXPECT_TRUE(removed(near));
    EXPECT_FALSE(removed(parkedAIList.front()));
}

// An aircraft not yet placed, its front update 2 nm east of the user at 3,000 ft.
TEST_F(ParkingRulesTest, CreationHeldInTheUsersPath)
{
    struct Row {
        const char* name;
        double distanceNm, altitudeFt, lateralFt;
        bool secondUpdate; // else its track tells the line
        bool inPath;
    };
    const Row rows[] = {
        {"at 6 nm on its line", 5.99, 3000, 0, true, true},
        {"beyond 6 nm", 6.01, 3000, 0, true, false},
        {"2,999 ft above", 2, 5999, 0, true, true},
        {"3,000 ft above", 2, 6000, 0, true, false},
        {"its line 3,990 ft from the user", 2, 3000, 3990, true, true},
        {"its line 4,010 ft from the user", 2, 3000, 4010, true, false},
        {"by its track, 3,990 ft", 2, 3000, 3990, false, true},
        {"by its track, 4,010 ft", 2, 3000, 4010, false, false},
    };
    userStateCache.latitude = test::userPosition.lat;
    userStateCache.longitude = test::userPosition.lon;
    userStateCache.altitudeFt = 3000;
    for (const Row& row : rows) {
        const double distanceFt = row.distanceNm * 6076.11549;
        const LatLon at = destinationPoint(test::userPosition, east, distanceFt);
        const double course = initialBearing(test::userPosition, at) + std::asin(row.lateralFt / distanceFt);
        PositionUpdate front;
        front.lat = at.lat;
        front.lon = at.lon;
        front.altitudeFt = row.altitudeFt;
        front.airborne = true;
        front.trackDeg = course / radiansPerDegree;
        FlightRecord flight;
        flight.hexid = 4840201;
        LiveAI ai = constructLiveAI(front, flight, 1.0);
        if (row.secondUpdate) {
            PositionUpdate next = front;
            const LatLon ahead = destinationPoint(at, course, 3000);
            next.lat = ahead.lat;
            next.lon = ahead.lon;
            next.trackDeg = 0; // the line comes from the two positions
            ai.updates.push_back(next);
        }
        EXPECT_EQ(isInUserPath(ai), row.inPath) << row.name;
    }
}

// The traffic cycle from here on: one poll per simulator frame, a second every 100 polls.
class ParkingCycleTest : public ParkingRulesTest {
protected:
    ~ParkingCycleTest() override { flushStaticRequest = false; }

    // Polls until the condition holds, at most `limit`; the polls taken.
    template <typename Condition>
    int pollUntil(Condition condition, int limit = 1000)
    {
        int polls = 0;
        for (; polls < limit && !condition(); ++polls)
            step(1);
        return polls;
    }

    static std::size_t parkedInSim()
    {
        return static_cast<std::size_t>(std::count_if(parkedAIList.begin(), parkedAIList.end(), [](const ParkedAI& p) {
            return p.simStatus == SimStatus::inSim && p.objectId != 0;
        }));
    }

    // The static parked aircraft the simulator holds, by their stand positions.
    std::vector<std::uint32_t> simStands() const
    {
        std::vector<std::uint32_t> found;
        for (const sim::AiState& o : sim->objects())
            for (const ParkingPosition& s : parkAirport.stands)
                if (o.tail.ends_with('*') && std::fabs(o.lat - s.latitude) < 1e-9 && std::fabs(o.lon - s.longitude) < 1e-9)
                    found.push_back(s.standId);
        std::sort(found.begin(), found.end());
        return found;
    }
};

TEST_F(ParkingCycleTest, FitEntriesBecomeParkedAircraftAfterTheLiveBacklog)
{
    fitList = {{0, 0, "KLM", "B738", 4, "KLM4", "", "", 0}, {0, 0, "DLH", "B738", 3, "DLH3", "", "", 0}};
    const LiveAI& waiting = atStand(4840201, "KLM1", 1, SimStatus::requested, Phase::groundMoving);
    CreationRequest request;
    request.position = {waiting.lat, waiting.lon, 0, 0, 0, 0, 1, 0};
    request.callsign = "KLM1";
    request.aircraftId = waiting.id();
    liveCreationBacklog.push_back(request);
    pollUntil([] { return pollCounter % 50 == 1; });
    EXPECT_TRUE(liveCreationBacklog.empty());
    EXPECT_TRUE(parkedAIList.empty());
    EXPECT_EQ(pollUntil([] { return !parkedAIList.empty(); }), 50);
    EXPECT_EQ(parkedAIList.front().flight.callsign, "DLH3*");
    EXPECT_EQ(pollUntil([] { return parkedAIList.size() == 2; }), 50);
    pollUntil([] { return parkedInSim() == 2; });
    EXPECT_EQ(simStands(), (std::vector<std::uint32_t>{3, 4}));
}

TEST_F(ParkingCycleTest, FlushStaticRemovesTheParkedAircraftAndPlacesTheRestLater)
{
    fitList = {{0, 0, "DLH", "B738", 3, "DLH3", "", "", 0}};
    pollUntil([] { return parkedInSim() == 1; });
    // Seconds fall on every other 50th poll, after its placement: the entry placed then is
    // flushed at once, the one behind it is left in the fit list.
    pollUntil([] { return pollCounter % 100 == 60; });
    fitList.push_back({0, 0, "KLM", "B738", 2, "KLM2", "", "", 0});
    fitList.push_back({0, 0, "KLM", "B738", 4, "KLM4", "", "", 0});
    INITIAL_LOAD_ONLY.set(false);
    flushStaticRequest = true;
    pollUntil([] { return !flushStaticRequest; });
    EXPECT_TRUE(INITIAL_LOAD_ONLY.value());
    EXPECT_TRUE(removed(parkedAIList.front()));
    EXPECT_EQ(fitList.size(), 1u);
    pollUntil([] { return parkedInSim() == 1 && fitList.empty(); });
    EXPECT_EQ(simStands(), (std::vector<std::uint32_t>{2}));
}

TEST_F(ParkingCycleTest, LiveFlightRemovesItsStaticTwinAtItsCoupledCheck)
{
    fitList = {{0, 0, "KLM", "B738", 3, "KLM1234", "", "", 0}};
    pollUntil([] { return parkedInSim() == 1; });
    const std::uint32_t twin = parkedAIList.front().objectId;
    const LiveryRef title = parkedAIList.front().flight.liveryTitle;
    ASSERT_NE(createLive(4840201, "KLM1234", title, Phase::groundMoving, 0), 0u);
    coupledCheckList.push_back(4840201);
    pollUntil([this, twin] { return !sim->object(twin).has_value(); }, 400);
    EXPECT_FALSE(sim->object(twin).has_value());
    EXPECT_TRUE(contains(log(), "A3      : KLM1234* [\"\" \"\" ] removed, because live KLM1234 [\"\"]\n"));
}

} // namespace
} // namespace rtd
