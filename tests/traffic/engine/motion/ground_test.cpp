#include "traffic/ground_support.hpp"

#include "traffic/engine/live_merge.hpp"

#include <gtest/gtest.h>
#include <cmath>

namespace rtd {
namespace {

using test::GroundHarness;
using test::metresBetween;
using test::towards;

class GroundTest : public GroundHarness {};

std::size_t countEvents(std::uint32_t eventId, std::uint32_t data = ~0u)
{
    std::lock_guard lock(simConnectMutex);
    return static_cast<std::size_t>(std::count_if(clientEventQueue.begin(), clientEventQueue.end(), [&](const auto& c) {
        return c.eventId == eventId && (data == ~0u || c.data == data);
    }));
}

// The last queued report seen from the stand, degrees off its heading (90 east): pull out
// below 90 either side, push back from 90.
TEST_F(GroundTest, LeavingPullsOutOrPushesBackByTheLastReport)
{
    struct Row {
        double offDeg;
        Phase phase;
        const char* line;
    };
    for (const Row& row : {Row{89, Phase::groundMoving, "pull out A1"}, {-89, Phase::groundMoving, "pull out A1"},
                          {90, Phase::pushBack, "push back A1"}, {-90, Phase::pushBack, "push back A1"}}) {
        pollCounter = 5000;
        LiveAI& ai = groundAircraft(40001, positionOfStand("A1"), 90, Phase::atStand);
        parkAt(ai, "A1");
        ai.pushBackPending = true;
        ai.updates = {groundUpdate({ai.lat, ai.lon}, 0, 5000, true),
                      groundUpdate(towards({ai.lat, ai.lon}, 90 + row.offDeg, 300), 10, 8000)};
        moveLiveAI(ai);
        EXPECT_EQ(ai.phase, row.phase) << row.offDeg;
        EXPECT_NE(log().find(row.line), std::string::npos) << row.offDeg;
        if (row.phase == Phase::groundMoving) {
            ASSERT_EQ(ai.updates.size(), 1u);
            EXPECT_NEAR(metresBetween(positionOfStand("A1"), positionOf(ai.updates[0])), 2 * test::halfSpanMetres, 0.01);
            EXPECT_NEAR(degrees(initialBearing(positionOfStand("A1"), positionOf(ai.updates[0]))), 90, 0.01);
        } else {
            EXPECT_EQ(ai.pushBackCountdown, 2);
            ASSERT_EQ(ai.updates.size(), 3u) << "the midpoint, P1 and the end point on one side";
        }
        liveAIList.clear();
    }
}

// Push back of a Large aircraft from A1 (heading 90, radius 20 m): the swing decided by a
// report during the straight part, by true heading or else track. The nose turning right
// (heading 100) swings the tail north, as does a motion to the north of west (track 280);
// flags left by an earlier turn decide nothing.
TEST_F(GroundTest, PushBackGeometryAndSwing)
{
    struct Row {
        const char* name;
        std::optional<double> headingDeg;
        double trackDeg;
        double endBehindMetres, endSideMetres; // P1 is 50 m behind (west); + is north of it
        bool oldTurnFlags;
    };
    const Row rows[] = {
        {"no report", std::nullopt, 0, 50, 0, false},
        {"no report, flags of the taxi-in left", std::nullopt, 0, 50, 0, true},
        {"heading right ends north", 100, 0, 50, 17, false},
        {"heading left ends south", 80, 0, 50, -17, false},
        {"track north of west", std::nullopt, 280, 50, 17, false},
        {"track left", std::nullopt, 80, 50, 17, false},
    };
    for (const Row& row : rows) {
        pollCounter = 5000;
        LiveAI& ai = groundAircraft(40002, positionOfStand("A1"), 90, Phase::atStand);
        parkAt(ai, "A1");
        ai.pushBackPending = true;
        ai.turning = ai.turnKnown = ai.turnRight = row.oldTurnFlags;
        ai.updates = {groundUpdate({ai.lat, ai.lon}, 0, 5000, true),
                      groundUpdate(towards({ai.lat, ai.lon}, 270, 300), 10, 9000)};
        const LatLon stand{ai.lat, ai.lon};
        pollAircraft(ai);
        ASSERT_EQ(ai.phase, Phase::pushBack) << row.name;
        if (row.headingDeg || row.trackDeg != 0) {
            PositionUpdate report = groundUpdate(towards(stand, 270, 5), 3, pollCounter + 3000);
            if (row.headingDeg)
                report.trueHeading = radians(*row.headingDeg);
            report.trackDeg = row.trackDeg;
            appendPositionUpdate(ai, report);
        }
        double maxTurn = 0;
        bool curved = false;
        for (int i = 0; i < 20000 && ai.phase == Phase::pushBack; ++i) {
            const double before = ai.heading;
            pollAircraft(ai);
            curved = curved || ai.curveActive();
            if (ai.curveActive())
                maxTurn = std::max(maxTurn, std::fabs(angleDifference(before, ai.heading)) - ai.flight.currentTurnStep);
        }
        EXPECT_EQ(ai.phase, Phase::enginesStarted) << row.name;
        EXPECT_EQ(curved, row.endSideMetres != 0) << row.name;
        EXPECT_LE(maxTurn, 1e-9) << row.name << ": the heading turns at most the turn step a poll";
        const LatLon end = test::offsetMetres(stand, row.endSideMetres, -row.endBehindMetres);
        EXPECT_LT(metresBetween({ai.lat, ai.lon}, end), 1.0) << row.name;
        if (row.endSideMetres != 0) { // nose away from the motion: the tail swung to the end point's side
            EXPECT_GT(std::fabs(degrees(angleDifference(radians(90), ai.heading))), 30) << row.name;
        } else {
            EXPECT_NEAR(degrees(ai.heading), 90, 0.5) << row.name << ": straight back, the nose kept";
        }
        EXPECT_EQ(countEvents(eventEngineStart), 1u) << row.name;
        EXPECT_EQ(countEvents(eventFlapsSet, 3072), 1u) << row.name;
        EXPECT_LE(countEvents(eventThrottleSet), 1u) << row.name << ": sent only when the state changes";
        clearAIQueues();
        liveAIList.clear();
    }
}

// Engines started (phase 1): the aircraft taxis once a report lies beyond 2.75 radii and
// farther than any before, or beyond 6 radii.
TEST_F(GroundTest, EnginesStartedTaxiOnceMovedFarEnough)
{
    struct Row {
        std::vector<double> radii;
        Phase phase;
    };
    for (const Row& row : {Row{{3.0}, Phase::enginesStarted}, {{3.0, 3.5}, Phase::groundMoving},
                          {{3.0, 2.9}, Phase::enginesStarted}, {{6.1}, Phase::groundMoving}}) {
        LiveAI& ai = groundAircraft(40003, positionOfStand("B1"), 0, Phase::enginesStarted);
        ai.farthestSeen = 900;
        ai.updates = {groundUpdate({ai.lat, ai.lon}, 0, pollCounter, true)};
        for (const double r : row.radii)
            appendPositionUpdate(ai, groundUpdate(towards({ai.lat, ai.lon}, 0, r * test::halfSpanMetres), 5,
                                                  ai.updates.back().duePoll + 100));
        EXPECT_EQ(ai.phase, row.phase) << row.radii.size() << " " << row.radii.back();
        liveAIList.clear();
    }
}

// A moving report after stops on the ground: a trailing run of 3 to 7 stops after the last
// move is cut to its first stop when it spans under 15 s or began within 22 m; a run of one
// stop stays. Queues of moves ("m") and stops ("s"), 5 s apart, 30 m apart while moving.
TEST_F(GroundTest, TrailingStopsCompactedBeforeAMove)
{
    struct Row {
        const char* queue;
        int stopSeconds; // between the stops
        std::size_t left; // updates after the new report
    };
    for (const Row& row : {Row{"mmmms", 5, 6}, {"mmsss", 5, 4}, {"mmsss", 8, 6}, {"msssssss", 1, 3},
                          {"msssssssss", 1, 11}}) {
        LiveAI& ai = groundAircraft(40004, positionOfStand("B1"), 0, Phase::groundMoving);
        LatLon at = positionOfStand("B1");
        std::int64_t due = pollCounter;
        for (const char* c = row.queue; *c != '\0'; ++c) {
            const bool stop = *c == 's';
            if (!stop)
                at = towards(at, 0, 30);
            ai.updates.push_back(groundUpdate(at, stop ? 0 : 10, due, stop));
            due += (stop ? row.stopSeconds : 5) * 100;
        }
        appendPositionUpdate(ai, groundUpdate(towards(at, 0, 30), 10, due + 500));
        EXPECT_EQ(ai.updates.size(), row.left) << row.queue << " " << row.stopSeconds;
        liveAIList.clear();
    }
}

// A taxi corner: every poll's position lies on the curve and the heading turns at most the
// current turn step.
TEST_F(GroundTest, CornerFollowsTheCurve)
{
    pollCounter = 10000;
    const LatLon a = test::offsetMetres(test::standBase, -500, 0);
    const LatLon b = test::offsetMetres(a, 100, 0);
    const LatLon c = test::offsetMetres(b, 0, 100);
    LiveAI& ai = groundAircraft(40004, a, 0, Phase::groundMoving);
    ai.updates = {groundUpdate(a, 15, 10000), groundUpdate(b, 15, 10500), groundUpdate(c, 15, 11000),
                  groundUpdate(test::offsetMetres(c, 0, 100), 15, 11500)};
    pollAircraft(ai);
    ASSERT_TRUE(ai.curveActive());
    EXPECT_NEAR(ai.curveTurnAngle, 90.0, 0.1);
    const auto distanceToCurve = [&](LatLon p) {
        double best = 1e9;
        for (int i = 0; i <= 4000; ++i) {
            const double t = i / 4000.0;
            const double north = 2 * (1 - t) * t * 100 + t * t * 100;
            const double east = t * t * 100;
            best = std::min(best, metresBetween(p, test::offsetMetres(a, north, east)));
        }
        return best;
    };
    double worst = 0;
    double maxTurn = 0;
    while (ai.curveActive()) {
        const double before = ai.heading;
        pollAircraft(ai);
        if (!ai.curveActive())
            break;
        worst = std::max(worst, distanceToCurve({ai.lat, ai.lon}));
        maxTurn = std::max(maxTurn, std::fabs(angleDifference(before, ai.heading)) - ai.flight.currentTurnStep);
    }
    EXPECT_LT(worst, 0.5);
    EXPECT_LE(maxTurn, 1e-9);
    EXPECT_LT(metresBetween({ai.lat, ai.lon}, c), 1.0);
}

// Which extra leg a taxi leg gets, by the turn to the leg after it, the leg's length, the
// speed and the reported time.
TEST_F(GroundTest, CurvesMidpointsAndSpeedSplits)
{
    enum Outcome { curve, midpoint, none };
    struct Row {
        const char* name;
        double turnDeg, metres, speedKt, nextSpeedKt;
        std::int64_t reportedPolls;
        bool threeUpdates;
        Outcome outcome;
    };
    const Row rows[] = {
        {"corner", 90, 40, 15, 15, 300, true, curve},
        {"160 deg", 159.9999, 40, 15, 15, 300, true, curve},
        {"161 deg", 161, 40, 15, 15, 300, true, none},
        {"midpoint", 46, 60, 20, 20, 600, true, midpoint},
        {"45 deg", 44.9999, 60, 20, 20, 600, true, curve},
        {"49 m", 46, 49, 20, 20, 600, true, curve},
        {"44 kt", 46, 60, 44, 44, 600, true, curve},
        {"599 polls", 46, 60, 20, 20, 599, true, curve},
        {"straight, speed up", 2, 150, 10, 16, 600, true, midpoint},
        {"two updates, 6 kt over 100 m", 0, 100.5, 10, 16, 600, false, midpoint},
        {"two updates, 5 kt", 0, 100.5, 10, 15, 600, false, none},
        {"two updates, 99 m", 0, 99, 10, 16, 600, false, none},
    };
    for (const Row& row : rows) {
        pollCounter = 20000;
        const LatLon a = test::offsetMetres(test::standBase, -800, 0);
        const LatLon b = towards(a, 0, row.metres);
        LiveAI& ai = groundAircraft(40005, a, 0, Phase::groundMoving);
        ai.updates = {groundUpdate(a, row.speedKt, 20000), groundUpdate(b, row.nextSpeedKt, 20000 + row.reportedPolls)};
        if (row.threeUpdates)
            ai.updates.push_back(groundUpdate(towards(b, row.turnDeg, 80), row.nextSpeedKt, 20000 + 2 * row.reportedPolls));
        const std::size_t before = ai.updates.size();
        prepareGroundLeg(ai);
        const Outcome got = ai.curveActive() ? curve : ai.updates.size() > before ? midpoint : none;
        EXPECT_EQ(got, row.outcome) << row.name;
        liveAIList.clear();
    }
}

// The due poll of a ground leg and the turn step it sets (Large: 0.07 deg a poll), 100 m at
// 10 kt being 1944 polls.
TEST_F(GroundTest, GroundLegTiming)
{
    struct Row {
        const char* name;
        bool stop, turning;
        double turnDeg, metres;
        std::int64_t currentDue, nextDue, expectedDue; // relative to now
        double stepFactor;                            // of the initial turn step; a stop keeps 3
        std::int32_t limits;
    };
    const Row rows[] = {
        {"stop, never before now + 25", true, false, 0, 0, -100, -50, 25, 3, 1000},
        {"stop at its reported time", true, false, 0, 0, 0, 400, 400, 3, 1000},
        {"straight", false, false, 0, 100, 0, 1944, 1944, 1, 1000},
        {"30 deg, r >= 1.2", false, true, 30, 100, 0, 1944, 1944, 1 / std::min(1944.0 / 246 * 0.3, 1944.0 / 246), 1000},
        {"30 deg, r < 1.2", false, true, 30, 10, 0, 194, 194, 246 / 194.0, 1000},
        {"60 deg", false, true, 60, 100, 0, 1944, 1944, 2, 1000},
        {"120 deg raises the limits", false, true, 120, 100, 0, 1944, 1944, 1944.0 / 982, 2000},
        {"late report clamped", false, false, 0, 100, 0, 500, 1500, 1, 1000},
    };
    for (const Row& row : rows) {
        pollCounter = 30000;
        const LatLon a = test::offsetMetres(test::standBase, -800, 0);
        LiveAI& ai = groundAircraft(40006, a, 0, Phase::groundMoving);
        ai.updates = {groundUpdate(a, row.stop ? 0 : 10, 30000 + row.currentDue),
                      groundUpdate(towards(a, 0, row.metres), row.stop ? 0 : 10, 30000 + row.nextDue, row.stop)};
        ai.turning = row.turning;
        ai.turnToNext = row.turnDeg;
        ai.flight.currentTurnStep = 3 * ai.flight.turnStep;
        retimeGroundLeg(ai);
        EXPECT_EQ(ai.updates[1].duePoll - 30000, row.expectedDue) << row.name;
        EXPECT_NEAR(ai.flight.currentTurnStep / ai.flight.turnStep, row.stepFactor, 1e-3) << row.name;
        EXPECT_EQ(ai.earlyLimit, row.limits) << row.name;
        EXPECT_EQ(ai.lateLimit, row.limits) << row.name;
        liveAIList.clear();
    }
}

// The throttle while taxiing, by the current and next ground speeds; a state is sent once.
TEST_F(GroundTest, TaxiThrottle)
{
    struct Row {
        bool departing;
        double g, g2;
        AircraftCategory category;
        std::uint32_t state;
    };
    const Row rows[] = {
        {true, 25, 0, Large, 4},  {true, 0, 30, Large, 4},  {true, 20, 0, Large, 2},     {true, 0, 25, Large, 2},
        {true, 15, 0, Large, 1},  {true, 0, 20, Large, 1},  {true, 14, 19, Large, 0},    {true, 0, 0, Rotorcraft, 4},
        {false, 30, 30, Large, 0}, {false, 0, 0, Rotorcraft, 4},
    };
    for (const Row& row : rows) {
        const LatLon a = test::offsetMetres(test::standBase, -800, 0);
        LiveAI& ai = groundAircraft(40007, a, 0, Phase::groundMoving);
        ai.flight.category = row.category;
        ai.takeOffRun = row.departing;
        ai.updates = {groundUpdate(a, row.g, pollCounter), groundUpdate(towards(a, 0, 100), row.g2, pollCounter + 500)};
        moveLiveAIOnGround(ai);
        moveLiveAIOnGround(ai);
        EXPECT_EQ(ai.throttleState, row.state) << row.g << " " << row.g2;
        EXPECT_EQ(countEvents(eventThrottleSet), 1u) << row.g << " " << row.g2;
        clearAIQueues();
        liveAIList.clear();
    }
}

} // namespace
} // namespace rtd
