// The motion of live aircraft: leg timing, extrapolation, the vertical steps of air legs, the
// configuration gates and the rules of the per-poll step, on aircraft set up by hand; and
// whole flights through the traffic harness and the stand-in simulator.

#include "traffic_harness.hpp"

#include "traffic/live_air.hpp"
#include "traffic/live_motion.hpp"
#include "traffic/live_takeoff_landing.hpp"
#include "traffic/motion_math.hpp"

#include <gtest/gtest.h>
#include <cmath>
#include <optional>
#include <vector>

namespace rtd {
namespace {

using test::TrafficHarness;

constexpr std::int64_t now = 100000;
constexpr double nmDeg = 1.0 / 60.0; // one nautical mile of longitude on the equator
constexpr double leg400 = 0.4 * nmDeg; // 400 polls at 360 kt

struct Report {
    double lon = 0.0;
    double altitudeFt = 0.0; // 0: on the ground
    double speedKt = 360.0;
    double verticalSpeed = 0.0;
    std::int64_t due = now;
    bool stationary = false;
    double lat = 0.0;
};

PositionUpdate update(const Report& r)
{
    PositionUpdate u;
    u.lat = r.lat;
    u.lon = r.lon;
    u.altitudeFt = r.altitudeFt;
    u.airborne = r.altitudeFt > 0.0;
    u.groundSpeedKt = r.speedKt;
    u.trueAirspeedKt = r.speedKt;
    u.verticalSpeed = r.verticalSpeed;
    u.duePoll = r.due;
    u.stationary = r.stationary;
    return u;
}

// An aircraft in the simulator at the first report, heading east.
LiveAI aircraft(AircraftCategory category, std::initializer_list<Report> reports)
{
    LiveAI a;
    a.flight.category = category;
    a.flight.hexid = 20001;
    const auto c = static_cast<std::size_t>(category);
    a.flight.verticalStepCap = verticalStepCapFtTable.at(c);
    a.flight.turnStep = a.flight.currentTurnStep = radians(turnStepDegTable.at(c));
    a.flight.flarePolls = flarePollsTable.at(c);
    a.flight.rotationPolls = rotationPollsTable.at(c);
    a.flight.climbPitchPolls = climbPitchPollsTable.at(c);
    a.flight.rotationPitch = radians(rotationPitchDegTable.at(c));
    a.flight.climbPitch = radians(climbPitchDegTable.at(c));
    a.simStatus = SimStatus::inSim;
    a.objectId = 9999;
    for (const Report& r : reports)
        a.updates.push_back(update(r));
    const PositionUpdate& first = a.updates.front();
    a.lat = first.lat;
    a.lon = first.lon;
    a.altitude = first.altitudeFt;
    a.onGround = !first.airborne;
    a.heading = pi / 2;
    a.phase = a.onGround ? Phase::groundMoving : Phase::airborne;
    return a;
}

class LiveMotionTest : public TrafficHarness {
protected:
    LiveMotionTest()
    {
        pollCounter = now;
        userStateCache.latitude = 0.0;
        userStateCache.longitude = 0.5; // 30 nm east of the aircraft set up by hand
    }
    ~LiveMotionTest() override
    {
        parkAirport.icao.clear();
        trafficReader.currentQnh = 1013;
        for (GuiBoolParameter* option : {&LIGHT_AIRCRAFT, &HELICOPTERS, &HIGH_PERF_AIRCRAFT})
            option->set(option->defaultValue());
        clearAIQueues();
    }

    static void setParkAirport(LatLon position, double elevationFt)
    {
        parkAirport.icao = "EHAM";
        parkAirport.position = position;
        parkAirport.elevationFt = elevationFt;
    }
};

TEST_F(LiveMotionTest, RetimedLegsStayWithinTheirLimits)
{
    struct Row {
        const char* what;
        double distanceNm, speedKt;
        std::int64_t reportedDue; // polls from now
        bool extrapolating;
        std::int64_t due;
    };
    const Row rows[] = {
        {"on time", 1.0, 360.0, 1000, false, 1000},
        {"reports three times slower than the speed", 1.0, 360.0, 3000, false, 2000},
        {"reported due long passed: the late limit", 1.0, 360.0, -500, false, 500},
        {"extrapolating: never clamped", 1.0, 360.0, 3000, true, 1000},
        {"a leg lasts 25 polls at least", 0.001, 360.0, 10, false, 25},
        {"never before now", 1.0, 360.0, -5000, false, 0},
        {"standing speeds: the reported span", 1.0, 0.0, 2000, false, 2000},
        {"a crawl lasts one week at most", 1.0, 1e-6, 60'480'000, true, 60'480'000},
    };
    for (const Row& row : rows) {
        LiveAI a = aircraft(Large, {{.altitudeFt = 5000, .speedKt = row.speedKt},
                                    {.lon = row.distanceNm * nmDeg, .altitudeFt = 5000, .speedKt = row.speedKt,
                                     .due = now + row.reportedDue}});
        a.extrapolationCountdown = row.extrapolating ? 5 : 0;
        retimeNextUpdate(a);
        EXPECT_EQ(a.updates[1].duePoll - now, row.due) << row.what;
    }
}

TEST_F(LiveMotionTest, ReportsRunningOut)
{
    struct Row {
        const char* what;
        AircraftCategory category;
        bool ground;
        Phase phase;
        double userNm; // east of the aircraft; 0: the user position is unknown
        bool lightAircraft;
        int invented;
        std::int64_t spacing; // polls between invented updates
    };
    const double range = lateralRangeNm.load();
    const Row rows[] = {
        {"in the air near the user", Large, false, Phase::airborne, 10.0, false, 8, 800},
        {"in the air, user unknown", Large, false, Phase::airborne, 0.0, false, 8, 800},
        {"in the air at range - 0.6 nm", Large, false, Phase::airborne, range - 0.6, false, 8, 800},
        {"in the air at range - 0.4 nm", Large, false, Phase::airborne, range - 0.4, false, 0, 0},
        {"Light with LIGHT_AIRCRAFT off", Light, false, Phase::airborne, 10.0, false, 0, 0},
        {"Light with LIGHT_AIRCRAFT on", Light, false, Phase::airborne, 10.0, true, 8, 800},
        {"taxiing", Large, true, Phase::groundMoving, 10.0, false, 10, 300},
        {"engines started", Large, true, Phase::enginesStarted, 10.0, false, 1, 30000},
        {"parked: a week ahead", Large, true, Phase::atStand, 10.0, false, 1, 60'480'000},
    };
    for (const Row& row : rows) {
        LIGHT_AIRCRAFT.set(row.lightAircraft);
        userStateCache.longitude = row.userNm * nmDeg;
        LiveAI a = aircraft(row.category, {{.altitudeFt = row.ground ? 0.0 : 5000.0, .speedKt = 200.0}});
        a.phase = row.phase;
        std::vector<PositionUpdate> invented;
        while (extrapolateLiveAI(a)) {
            invented.push_back(a.updates.back());
            a.updates.pop_front();
        }
        ASSERT_EQ(invented.size(), static_cast<std::size_t>(row.invented)) << row.what;
        EXPECT_EQ(a.extrapolationCountdown, row.invented == 0 ? 0 : -1) << row.what;
        double speed = 200.0;
        for (std::size_t k = 0; k < invented.size(); ++k) {
            EXPECT_EQ(invented[k].duePoll, now + row.spacing * static_cast<std::int64_t>(k + 1)) << row.what << k;
            speed = row.ground ? 0.0 : speed * 0.95;
            EXPECT_NEAR(invented[k].groundSpeedKt, speed, 1e-9) << row.what << k;
            EXPECT_EQ(invented[k].stationary, row.ground) << row.what << k;
        }
    }
}

TEST_F(LiveMotionTest, VerticalStepOfAnAirLeg)
{
    struct Row {
        const char* what;
        double heightFt; // above the ground
        bool landing, park;
        int qnh;
        Report current, next;
        double cap; // 0: the category's
        double step; // feet per poll
    };
    constexpr std::int64_t leg = now + 400;
    const Row rows[] = {
        {"high: follows the reports", 3000, false, false, 1013, {.altitudeFt = 5000}, {.lon = leg400, .altitudeFt = 4900, .due = leg}, 0, -0.25},
        {"climb capped", 3000, false, false, 1013, {.altitudeFt = 5000}, {.lon = leg400, .altitudeFt = 6000, .due = leg}, 0, 0.6},
        {"low: a departure never sinks", 500, false, false, 1013, {.altitudeFt = 1000}, {.lon = leg400, .altitudeFt = 900, .due = leg}, 0, 0.2},
        {"low: or the cap when smaller", 500, false, false, 1013, {.altitudeFt = 1000}, {.lon = leg400, .altitudeFt = 900, .due = leg}, 0.1, 0.1},
        {"landing: uncapped descent", 500, true, true, 1013, {.altitudeFt = 1000}, {.lon = leg400, .altitudeFt = 600, .due = leg}, 0, -1.0},
        {"landing, level reports low: approach rate", 500, true, true, 1013, {.altitudeFt = 1000, .verticalSpeed = -700}, {.lon = leg400, .altitudeFt = 1000, .verticalSpeed = -100, .due = leg}, 0, -601.0 / 6000},
        {"touch-down ahead at the park airport", 300, true, true, 1013, {.altitudeFt = 500}, {.lon = leg400, .due = leg}, 0, (100.0 - 500.0) / 400},
        {"touch-down ahead, no park airport", 300, false, false, 1013, {.altitudeFt = 500}, {.lon = leg400, .due = leg}, 0, -601.0 / 6000},
        {"touch-down ahead, high QNH", 300, false, true, 1020, {.altitudeFt = 500, .verticalSpeed = -700}, {.lon = leg400, .verticalSpeed = -700, .due = leg}, 0, -742.0 / 6000},
        {"lifting off: towards the next", 0, false, false, 1013, {.altitudeFt = 0}, {.lon = leg400, .altitudeFt = 100, .due = leg}, 0, 0.25},
        {"ground reports aloft, sinking", 300, false, false, 1013, {.altitudeFt = 0}, {.lon = leg400, .due = leg}, 0, -601.0 / 6000},
        {"ground reports aloft, climbing", 300, false, false, 1013, {.altitudeFt = 0, .verticalSpeed = 300}, {.lon = leg400, .verticalSpeed = 300, .due = leg}, 0, 601.0 / 6000},
    };
    for (const Row& row : rows) {
        parkAirport.icao.clear();
        if (row.park)
            setParkAirport({0.0, 0.5}, 100.0);
        trafficReader.currentQnh = row.qnh;
        LiveAI a = aircraft(Large, {row.current, row.next});
        a.onGround = false;
        a.altitude = row.current.altitudeFt;
        a.heightAboveGround = row.heightFt;
        a.landing = row.landing;
        if (row.cap > 0)
            a.flight.verticalStepCap = row.cap;
        moveLiveAI(a);
        EXPECT_NEAR(a.verticalStep, row.step, 1e-9) << row.what;
    }
}

TEST_F(LiveMotionTest, GroundReportsAloftSkipToTheFirstAirborneOne)
{
    constexpr double step = leg400;
    LiveAI a = aircraft(Large, {{.altitudeFt = 0, .verticalSpeed = 1500},
                                {.lon = step, .verticalSpeed = 1500, .due = now + 400},
                                {.lon = 2 * step, .verticalSpeed = 1500, .due = now + 800},
                                {.lon = 3 * step, .altitudeFt = 300, .verticalSpeed = 1500, .due = now + 1200},
                                {.lon = 4 * step, .altitudeFt = 600, .verticalSpeed = 1500, .due = now + 1600}});
    a.onGround = false;
    a.altitude = 50.0;
    moveLiveAI(a);
    ASSERT_EQ(a.updates.size(), 2u) << "the two ground reports between were dropped";
    EXPECT_DOUBLE_EQ(a.updates[0].altitudeFt, 300.0);
    const double polls = static_cast<double>(a.updates[0].duePoll - now);
    EXPECT_NEAR(a.verticalStep, std::min(250.0 / polls, a.flight.verticalStepCap), 1e-9);
    EXPECT_NEAR(a.lonStep * polls, 3 * step, 1e-12) << "the position steps aim at the new next update";
}

TEST_F(LiveMotionTest, GatesByHeightAndVerticalSpeed)
{
    struct Row {
        const char* what;
        AircraftCategory category;
        double heightFt, verticalSpeed;
        bool landing, nearPark;
        bool approachSetUp, climbOut;
    };
    const Row rows[] = {
        {"Heavy descending at its 2050 ft gate", Heavy, 2050, -600, false, true, true, false},
        {"Heavy descending above its gate", Heavy, 2060, -600, false, true, false, false},
        {"Light descending at its 625 ft gate", Light, 625, -600, false, true, true, false},
        {"Light descending above its gate", Light, 630, -600, false, true, false, false},
        {"descending far from the park airport", Large, 1500, -600, false, false, false, false},
        {"climbing above 600 fpm undoes the approach anywhere", Large, 1500, 700, true, true, false, true},
        {"gentle climb near the park airport: still landing", Large, 1500, 300, true, true, false, false},
        {"gentle climb away from it: a landing elsewhere", Large, 1500, 300, true, false, false, true},
        {"gentle climb without the landing flag", Large, 1500, 300, false, false, false, false},
    };
    for (const Row& row : rows) {
        setParkAirport({0.0, row.nearPark ? 0.1 : 0.5}, 0.0);
        LiveAI a = aircraft(row.category, {{.altitudeFt = 3000, .verticalSpeed = row.verticalSpeed},
                                           {.lon = leg400, .altitudeFt = 2900, .due = now + 400}});
        a.heightAboveGround = row.heightFt;
        a.landing = a.approach = row.landing;
        a.lightsBelow10000 = true;
        a.throttleState = 3;
        a.flapsState = 0;
        moveLiveAI(a);
        EXPECT_EQ(a.landing && !row.landing, row.approachSetUp) << row.what;
        EXPECT_EQ(a.climbOut, row.climbOut) << row.what;
        if (row.approachSetUp) {
            EXPECT_EQ(a.throttleState, row.category == Rotorcraft ? 4u : 1u) << row.what;
            EXPECT_EQ(a.flapsState, 3u) << row.what;
            EXPECT_EQ(a.earlyLimit, 3000) << row.what;
            EXPECT_EQ(a.lateLimit, 3000) << row.what;
            EXPECT_EQ(a.takeOffCountdown, 1) << row.what;
        }
    }
}

TEST_F(LiveMotionTest, RulesOfLegsAndPolls)
{
    // Stationary updates: dropped in the air, flown as a hover by a rotorcraft.
    for (const AircraftCategory category : {Large, Rotorcraft}) {
        LiveAI a = aircraft(category, {{.altitudeFt = 500},
                                       {.altitudeFt = 500, .due = now, .stationary = true},
                                       {.lon = 0.01, .altitudeFt = 500, .due = now + 400}});
        advanceLiveAI(a);
        ASSERT_EQ(a.updates.size(), category == Rotorcraft ? 2u : 1u) << category;
        EXPECT_EQ(a.updates.front().stationary, category == Rotorcraft) << category;
    }
    // Across the antimeridian a leg goes the short way and the longitude wraps.
    LiveAI a = aircraft(Large, {{.lon = 179.95, .altitudeFt = 30000, .speedKt = 450},
                                {.lon = -179.95, .altitudeFt = 30000, .speedKt = 450, .due = now + 800}});
    moveLiveAI(a);
    const std::int64_t polls = a.updates.front().duePoll - now;
    EXPECT_GT(a.lonStep, 0.0);
    for (std::int64_t i = 0; i < polls; ++i)
        stepLiveAI(a);
    EXPECT_NEAR(a.lon, -179.95, 1e-9);
    // A turn step several times its size never carries the heading past the bearing.
    struct Turn {
        double heading, bearing, stepDeg, after;
    };
    for (const Turn t : {Turn{90, 92, 5, 92}, Turn{359, 2, 5, 2}, Turn{10, 350, 5, 5}, Turn{90, 90.4, 5, 90}}) {
        LiveAI b = aircraft(Large, {{}});
        b.heading = radians(t.heading);
        b.flight.currentTurnStep = radians(t.stepDeg);
        turnHeadingTowards(b, radians(t.bearing));
        EXPECT_NEAR(degrees(b.heading), t.after, 1e-9) << t.heading << " to " << t.bearing;
    }
}

TEST_F(LiveMotionTest, FlareStagesAndDerotation)
{
    setParkAirport({0.0, 0.1}, 0.0);
    LiveAI a = aircraft(Large, {{.altitudeFt = 400, .verticalSpeed = -700}});
    a.flight.staticCgHeight = 8.0;
    a.flight.staticPitch = radians(1.0);
    a.landing = true;
    a.pitch = radians(-2.0);
    struct Row {
        double heightFt;
        int stage;
        double step, verticalSpeed;
    };
    const Row rows[] = {
        {39, 0, 0.0, -700}, {38, 1, -0.1, -601}, {29, 1, -0.1, -601}, {28, 2, -0.075, -450},
        {18, 3, -0.05, -300}, {11, 4, -0.025, -150}, {5, 4, -0.025, -150},
    };
    for (const Row& row : rows) {
        a.heightAboveGround = row.heightFt;
        a.altitude = row.heightFt;
        stepLiveAI(a);
        EXPECT_EQ(a.flareStage, row.stage) << row.heightFt;
        EXPECT_DOUBLE_EQ(a.verticalStep, row.step) << row.heightFt;
        EXPECT_DOUBLE_EQ(a.updates.front().verticalSpeed, row.verticalSpeed) << row.heightFt;
        EXPECT_GE(a.pitch, radians(flarePitchDeg) - 1e-12) << row.heightFt;
    }
    EXPECT_EQ(a.throttleState, 0u);
    for (int i = 0; i < 2000; ++i)
        stepLiveAI(a);
    EXPECT_NEAR(a.pitch, radians(flarePitchDeg), 1e-12) << "the flare holds the nose at -4 degrees";
    // Touch-down: the nose comes down to the ground pitch and stays.
    a.derotating = true;
    a.pitchStep = (a.flight.staticPitch - a.pitch) / 350.0;
    for (int i = 0; i < 350; ++i)
        stepLiveAI(a);
    // within onGroundPolls polls
    EXPECT_FALSE(a.derotating);
    EXPECT_DOUBLE_EQ(a.pitch, a.flight.staticPitch);
    EXPECT_EQ(a.flareStage, 0);
}

} // namespace
} // namespace rtd
