// The motion of live aircraft: leg timing, extrapolation, the vertical steps of air legs, the
// configuration gates and the rules of the per-poll step, on aircraft set up by hand; and
// whole flights through the traffic harness and the stand-in simulator.

#include "traffic/traffic_harness.hpp"

#include "traffic/engine/live_merge.hpp"
#include "traffic/engine/motion/live_air.hpp"
#include "traffic/engine/motion/live_motion.hpp"
#include "traffic/engine/motion/live_takeoff_landing.hpp"
#include "traffic/engine/motion/motion_math.hpp"
#include "traffic/link/traffic_reader.hpp"

#include <fmt/format.h>

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

// The pitch in the air, at creation and as an air leg's target: -3 degrees and 2.2 degrees
// per 600 fpm, nose up climbing (at most 2400 fpm), half that nose down descending.
TEST_F(LiveMotionTest, AirPitchByVerticalSpeed)
{
    for (const auto& [fpm, pitchDeg] : {std::pair{1200.0, -7.4}, {3000.0, -11.8}, {-1200.0, -0.8}, {-4000.0, 2.5}})
        EXPECT_NEAR(degrees(airPitchFor(fpm)), pitchDeg, 1e-9) << fpm;
}

// A report while landing, heading east: refused, or taken after the last queued update goes,
// when the bearing to it lies 90 degrees or more off the heading.
TEST_F(LiveMotionTest, ReportsWhileLandingOffTheHeading)
{
    struct Row {
        std::size_t queued;
        double offDeg;
        bool taken;
        std::size_t left;
    };
    for (const Row row : {Row{1, 80, true, 1}, {1, 100, false, 1}, {2, 100, true, 1}, {2, 80, true, 2}}) {
        LiveAI a = aircraft(Large, {{.altitudeFt = 300}});
        if (row.queued == 2)
            a.updates.push_back(update({.lon = 0.01, .altitudeFt = 200, .due = now + 400}));
        a.landing = true;
        const LatLon at = destinationPoint(positionOf(a.updates.back()), radians(90 + row.offDeg), 300.0);
        PositionUpdate u = update({.lon = at.lon, .altitudeFt = 100, .due = now + 800, .lat = at.lat});
        EXPECT_EQ(checkUpdateWhileLanding(a, u), row.taken) << row.queued << " " << row.offDeg;
        EXPECT_EQ(a.updates.size(), row.left) << row.queued << " " << row.offDeg;
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


// ---- whole flights: reports fed through the traffic reader, flown in the stand-in ----

constexpr std::uint32_t flightHexid = 4840201;

// One report of the flight, `seconds` after its first.
struct Fix {
    double seconds;
    LatLon at;
    double altitudeFt, verticalSpeed, speedKt, trackDeg;
};

std::string fixDatagram(const Fix& f)
{
    const bool ground = f.altitudeFt == 0.0;
    return test::trafficDatagram({{hexidField, "4840201"},
                                  {latitudeField, fmt::format("{:.7f}", f.at.lat)},
                                  {longitudeField, fmt::format("{:.7f}", f.at.lon)},
                                  {altitudeField, fmt::format("{}", f.altitudeFt)},
                                  {verticalSpeedField, fmt::format("{}", f.verticalSpeed)},
                                  {trackField, fmt::format("{}", f.trackDeg)},
                                  {groundSpeedField, fmt::format("{}", f.speedKt)},
                                  {timestampField, fmt::format("{:.1f}", 1700000000.0 + f.seconds)},
                                  {trueAirspeedField, ground ? "0" : fmt::format("{}", f.speedKt)},
                                  {rollField, "0"},
                                  {trueHeadingField, fmt::format("{}", f.trackDeg)}});
}

// Reports every 4 s along a straight track from `start`, each leg flown at the mean of its
// two speeds: (speed kt, altitude ft, vertical speed fpm) per report.
std::vector<Fix> straightFlight(LatLon start, double trackDeg, const std::vector<std::array<double, 3>>& reports)
{
    std::vector<Fix> fixes;
    LatLon at = start;
    double lastSpeed = 0.0;
    for (const auto& [speed, altitude, verticalSpeed] : reports) {
        if (!fixes.empty())
            at = destinationPoint(at, radians(trackDeg), (lastSpeed + speed) / 2.0 * 4.0 / 3600.0 * feetPerNm);
        fixes.push_back({4.0 * static_cast<double>(fixes.size()), at, altitude, verticalSpeed, speed, trackDeg});
        lastSpeed = speed;
    }
    return fixes;
}

class LiveFlightTest : public TrafficHarness {
protected:
    ~LiveFlightTest() override
    {
        parkAirport.icao.clear();
        trafficReader.setParkAirport("", {});
    }

    // Feeds each fix at its second and polls until `pollsAfter` polls after the last one or the
    // aircraft's removal; `watch` sees the aircraft after every poll it spends in the simulator.
    template <typename Watch>
    void fly(const std::vector<Fix>& fixes, std::int64_t pollsAfter, Watch watch)
    {
        const std::int64_t start = pollCounter.load();
        const std::int64_t end = start + static_cast<std::int64_t>(fixes.back().seconds * 100.0) + pollsAfter;
        std::size_t next = 0;
        while (pollCounter.load() < end) {
            while (next < fixes.size() && start + static_cast<std::int64_t>(fixes[next].seconds * 100.0) <= pollCounter.load())
                feed(fixDatagram(fixes[next++]));
            step(1);
            const LiveAI* a = live(flightHexid);
            if (a != nullptr && a->simStatus == SimStatus::inSim)
                watch(*a);
            else if (a != nullptr && a->simStatus == SimStatus::removed)
                break;
        }
    }

    std::size_t eventCount(std::uint32_t objectId, const std::string& name, std::uint32_t data) const
    {
        const auto events = sim->eventsTo(objectId);
        return static_cast<std::size_t>(std::count_if(events.begin(), events.end(), [&](const sim::ClientEventRecord& e) {
            return e.name == name && e.data == data;
        }));
    }

    std::size_t callCount(const std::string& name, const std::string& argsPart = "") const
    {
        const auto calls = sim->calls();
        return static_cast<std::size_t>(std::count_if(calls.begin(), calls.end(), [&](const sim::CallRecord& c) {
            return c.name == name && c.args.find(argsPart) != std::string::npos;
        }));
    }
};

TEST_F(LiveFlightTest, CruiseFollowsTheReportsThenExtrapolatesAndLeaves)
{
    std::vector<Fix> fixes;
    LatLon at{52.30, 4.60};
    for (int i = 0; i < 14; ++i) {
        fixes.push_back({4.0 * i, at, 30000.0, 0.0, 450.0, 90.0});
        at = destinationPoint(at, initialBearing(fixes.size() > 1 ? fixes[fixes.size() - 2].at : LatLon{52.30, 4.59}, at),
                              450.0 * 4.0 / 3600.0 * feetPerNm);
    }
    std::vector<std::int64_t> legStarts;
    std::vector<double> extrapolatedSpeeds;
    double worstOffLineM = 0.0;
    std::int64_t lastDue = 0;
    std::int64_t removedAt = 0;
    std::uint32_t objectId = 0;
    double lastPitch = 0.0, lastHeadingOff = 0.0;
    fly(fixes, 3000 + 9 * 800, [&](const LiveAI& a) {
        objectId = a.objectId;
        const PositionUpdate& target = a.updates.front();
        if (target.duePoll != lastDue) {
            legStarts.push_back(pollCounter.load() - 1);
            lastDue = target.duePoll;
            if (a.extrapolationCountdown > 0)
                extrapolatedSpeeds.push_back(target.groundSpeedKt);
        }
        if (a.extrapolationCountdown == 0) {
            lastPitch = a.pitch;
            lastHeadingOff = angleDifference(a.heading, a.bearingToNext);
            // On the chord between the two reports around it.
            for (std::size_t i = 0; i + 1 < fixes.size(); ++i)
                if (a.lon >= fixes[i].at.lon && a.lon <= fixes[i + 1].at.lon) {
                    const double f = (a.lon - fixes[i].at.lon) / (fixes[i + 1].at.lon - fixes[i].at.lon);
                    const double lat = fixes[i].at.lat + f * (fixes[i + 1].at.lat - fixes[i].at.lat);
                    worstOffLineM = std::max(worstOffLineM, std::fabs(a.lat - lat) * 111120.0);
                }
        }
        removedAt = pollCounter.load();
    });
    EXPECT_LT(worstOffLineM, 1.0);
    EXPECT_NEAR(degrees(lastPitch), -3.0, 1e-6);
    EXPECT_NEAR(degrees(lastHeadingOff), 0.0, 0.01);
    ASSERT_EQ(legStarts.size(), 13u + 8u) << "13 legs between the reports, 8 invented";
    for (std::size_t i = 2; i < 13; ++i)
        EXPECT_EQ(legStarts[i] - legStarts[i - 1], 400) << "leg " << i << " keeps the reported spacing";
    ASSERT_EQ(extrapolatedSpeeds.size(), 8u) << "eight invented 8 s steps";
    double speed = 450.0;
    for (const double v : extrapolatedSpeeds)
        EXPECT_NEAR(v, speed *= 0.95, 1e-9);
    const std::size_t removals = callCount("SimConnect_AIRemoveObject");
    for (int i = 0; i < 10 && callCount("SimConnect_AIRemoveObject") == removals; ++i)
        step(1);
    EXPECT_EQ(callCount("SimConnect_AIRemoveObject", fmt::format("{}", objectId)), 1u) << "removed within 10 polls";
    EXPECT_LE(pollCounter.load() - removedAt, 11);
    EXPECT_TRUE(sim->violations().empty());
}


TEST_F(LiveFlightTest, TakeOffRollRotationAndClimb)
{
    trafficReader.setParkAirport("EHAM", test::parkAirportPosition);
    std::vector<std::array<double, 3>> reports(10, {15.0, 0.0, 0.0}); // taxiing
    for (const double speed : {30.0, 60.0, 90.0, 120.0, 140.0})
        reports.push_back({speed, 0.0, 0.0});
    for (int i = 0; i < 25; ++i)
        reports.push_back({i == 0 ? 155.0 : 160.0, 150.0 + 33.0 * i, 500.0});
    const std::vector<Fix> fixes = straightFlight({52.315, 4.7639}, 0.0, reports);
    struct Poll {
        std::int32_t countdown;
        double pitch, altitude, verticalStep, heightFt, simHeightFt;
        std::size_t gearUps;
        Phase phase;
        double targetSpeedKt;
        bool targetAirborne;
    };
    std::vector<Poll> polls;
    double rotationPitch = 0.0, climbPitch = 0.0, groundPitch = 0.0;
    fly(fixes, 3000, [&](const LiveAI& a) {
        rotationPitch = a.flight.rotationPitch;
        climbPitch = a.flight.climbPitch;
        if (a.phase != Phase::takeOffRoll && a.phase != Phase::airborne)
            groundPitch = a.pitch;
        const auto object = sim->object(a.objectId);
        polls.push_back({a.takeOffCountdown, a.pitch, a.altitude, a.verticalStep, a.heightAboveGround,
                         object ? object->alt : 0.0, eventCount(a.objectId, "GEAR_SET", 0), a.phase,
                         a.updates.front().groundSpeedKt, a.updates.front().airborne});
    });
    const auto roll = std::find_if(polls.begin(), polls.end(), [](const Poll& p) { return p.phase == Phase::takeOffRoll; });
    ASSERT_NE(roll, polls.end());
    EXPECT_TRUE(roll->targetAirborne) << "the roll waits for the last report below the lift-off speed";
    EXPECT_EQ((roll - 1)->targetSpeedKt, 140.0) << "it starts at the last report on the ground";
    const auto first = static_cast<std::size_t>(roll - polls.begin());
    const double rotationStep = (rotationPitch - groundPitch) / 200.0;
    std::size_t gearUpAt = 0;
    for (std::size_t i = first; i < polls.size() && polls[i].phase == Phase::takeOffRoll; ++i) {
        const Poll& p = polls[i];
        const Poll& before = polls[i - 1];
        EXPECT_LT(p.heightFt, climbOutHeightFt) << i;
        const double rise = p.altitude - before.altitude;
        if (p.countdown >= 1) {
            EXPECT_NEAR(p.pitch - before.pitch, rotationStep, 1e-12) << i;
            EXPECT_EQ(rise, 0.0) << i;
            continue;
        }
        const double share = p.countdown == 0 ? 0.0 : p.countdown > -100 ? 0.1 : p.countdown > -200 ? 0.2
                             : p.countdown > -300 ? 0.5 : 1.0;
        EXPECT_NEAR(rise, p.verticalStep * share, 1e-9) << i;
        if (p.countdown == gearUpCountdown)
            gearUpAt = i;
        EXPECT_GE(p.pitch, climbPitch - 1e-12) << i;
    }
    EXPECT_EQ(first + 200, first + static_cast<std::size_t>(polls[first].countdown) + 1);
    ASSERT_NE(gearUpAt, 0u);
    EXPECT_EQ(gearUpAt - first + 1, 500u) << "the gear comes up 500 polls into the roll";
    EXPECT_EQ(polls[gearUpAt].gearUps, 0u);
    EXPECT_EQ(polls[gearUpAt + 1].gearUps, 1u) << "sent at the next frame";
    const auto climbing = std::find_if(polls.begin(), polls.end(), [](const Poll& p) { return p.phase == Phase::airborne; });
    ASSERT_NE(climbing, polls.end());
    EXPECT_GE(climbing->heightFt, climbOutHeightFt);
    EXPECT_GE(climbing->simHeightFt, climbOutHeightFt);
    EXPECT_TRUE(sim->violations().empty());
}


TEST_F(LiveFlightTest, ApproachFlareTouchDownAndLandingRoll)
{
    trafficReader.setParkAirport("EHAM", test::parkAirportPosition);
    parkAirport.icao = "EHAM";
    parkAirport.position = test::parkAirportPosition;
    parkAirport.elevationFt = 0.0;
    const LatLon touchDown{test::parkAirportPosition.lat + 0.005, test::parkAirportPosition.lon};
    std::vector<Fix> fixes;
    for (double t = 0; t <= 168; t += 8) // 140 kt at 700 fpm, every 8 s
        fixes.push_back({t, destinationPoint(touchDown, pi, 140.0 * (172 - t) / 3600.0 * feetPerNm),
                         700.0 * (172 - t) / 60.0, -700.0, 140.0, 0.0});
    LatLon at = touchDown;
    double t = 172, speed = 130;
    for (const double next : {130.0, 110.0, 90.0, 70.0, 50.0, 35.0}) {
        fixes.push_back({t, at, 0.0, 0.0, next, 0.0});
        at = destinationPoint(at, 0.0, (speed + next) / 2.0 * 4.0 / 3600.0 * feetPerNm);
        t += 4;
        speed = next;
    }
    for (int i = 0; i < 8; ++i) { // turning off the runway
        fixes.push_back({t, at, 0.0, 0.0, 15.0, 40.0});
        at = destinationPoint(at, radians(40.0), 15.0 * 4.0 / 3600.0 * feetPerNm);
        t += 4;
    }
    struct Poll {
        int stage;
        double pitch, verticalStep, reportedHeightFt, simHeightFt;
        std::uint32_t throttle, flaps;
        bool derotating, landing, landingRoll;
        double targetSpeedKt;
        std::int32_t earlyLimit, lateLimit;
    };
    std::vector<Poll> polls;
    double cg = 0.0, groundPitch = 0.0;
    std::uint32_t objectId = 0;
    fly(fixes, 1500, [&](const LiveAI& a) {
        cg = a.flight.staticCgHeight;
        groundPitch = a.flight.staticPitch;
        objectId = a.objectId;
        const auto object = sim->object(a.objectId);
        polls.push_back({a.flareStage, a.pitch, a.verticalStep, a.heightAboveGround, object ? object->alt : 0.0,
                         a.throttleState, a.flapsState, a.derotating, a.landing, a.landingRoll,
                         a.updates.front().groundSpeedKt, a.earlyLimit, a.lateLimit});
    });
    ASSERT_FALSE(polls.empty());
    const auto setUp = std::find_if(polls.begin(), polls.end(), [](const Poll& p) { return p.landing; });
    ASSERT_NE(setUp, polls.end()) << "approach set up below the gate near the park airport";
    EXPECT_EQ(setUp->throttle, 1u);
    EXPECT_EQ(setUp->flaps, 3u);
    EXPECT_EQ(setUp->earlyLimit, 3000);
    EXPECT_EQ(setUp->lateLimit, 3000);
    EXPECT_EQ(eventCount(objectId, "GEAR_SET", 1) > 0, true);
    struct Stage {
        double aboveCgFt, stepFt;
    };
    const Stage stages[] = {{30, -0.1}, {20, -0.075}, {10, -0.05}, {3, -0.025}};
    std::size_t touchDownAt = 0;
    for (std::size_t i = 1; i < polls.size(); ++i) {
        const Poll& p = polls[i];
        if (p.stage != 0) {
            EXPECT_GE(p.pitch, radians(flarePitchDeg) - 1e-12) << i;
        }
        if (p.stage > polls[i - 1].stage) {
            const Stage& s = stages[p.stage - 1];
            EXPECT_LE(std::min(p.reportedHeightFt, p.simHeightFt + s.stepFt), cg + s.aboveCgFt) << "stage " << p.stage;
            EXPECT_GT(p.simHeightFt, cg + s.aboveCgFt - 2.5) << "stage " << p.stage;
            EXPECT_EQ(p.verticalStep, s.stepFt) << "stage " << p.stage;
            EXPECT_EQ(p.throttle == 0, p.stage >= 3) << "stage " << p.stage;
        }
        if (p.derotating && !polls[i - 1].derotating)
            touchDownAt = i;
    }
    ASSERT_NE(touchDownAt, 0u) << "touched down";
    EXPECT_EQ(polls[touchDownAt - 1].stage, 4);
    EXPECT_EQ(eventCount(objectId, "SPOILERS_SET", 16383), 1u);
    EXPECT_GE(callCount("SimConnect_SetDataOnSimObject", fmt::format("401, {}", objectId)), 1u + 2u)
        << "set at touch-down, cleared from 90 kt on and at the turn-off";
    const auto level = std::find_if(polls.begin() + static_cast<std::ptrdiff_t>(touchDownAt), polls.end(),
                                    [&](const Poll& p) { return !p.derotating; });
    ASSERT_NE(level, polls.end());
    EXPECT_LE(level - polls.begin() - static_cast<std::ptrdiff_t>(touchDownAt), 350) << "the nose is down within onGroundPolls";
    EXPECT_EQ(level->pitch, groundPitch);
    const auto flaps1 = std::find_if(polls.begin() + static_cast<std::ptrdiff_t>(touchDownAt), polls.end(),
                                     [](const Poll& p) { return p.flaps == 1; });
    ASSERT_NE(flaps1, polls.end());
    EXPECT_EQ(flaps1->targetSpeedKt, 80.0) << "flaps 1 on the leg from the 90 kt report to the midpoint of its speed change";
    const auto turnedOff = std::find_if(flaps1, polls.end(), [](const Poll& p) { return !p.landingRoll; });
    ASSERT_NE(turnedOff, polls.end()) << "the landing roll ends with the turn off the runway";
    EXPECT_EQ(turnedOff->flaps, 0u);
    const auto object = sim->object(objectId);
    ASSERT_TRUE(object.has_value());
    EXPECT_EQ(object->def401Values, (std::array<double, 3>{0, 0, 0}));
    EXPECT_TRUE(sim->violations().empty());
}

} // namespace
} // namespace rtd
