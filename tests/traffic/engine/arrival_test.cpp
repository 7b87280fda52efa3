#include "traffic/ground_support.hpp"

#include "traffic/engine/live_arrival.hpp"
#include "traffic/engine/live_merge.hpp"

#include <gtest/gtest.h>

namespace rtd {
namespace {

using test::GroundHarness;
using test::metresBetween;
using test::towards;

class ArrivalTest : public GroundHarness {
protected:
    // A landed aircraft stopping `metres` south of the stand: its last report stands there.
    LiveAI& stoppingNear(std::uint32_t hexid, const std::string& stand, double metres, bool landed = true)
    {
        const LatLon stop = towards(positionOfStand(stand), 180, metres);
        const LatLon from = towards(stop, 180, 5);
        LiveAI& ai = groundAircraft(hexid, from, 0, Phase::groundMoving);
        ai.landed = landed;
        ai.updates = {groundUpdate(from, 5, pollCounter), groundUpdate(stop, 0, pollCounter + 300, true)};
        return ai;
    }
};

TEST_F(ArrivalTest, StoppingNearAFreeStandTaxisToItAndParks)
{
    struct Row {
        const char* name;
        std::string stand;
        double metres;
        bool landed, reserved, userThere;
        Phase atStop, after;
    };
    // Once its reports run out a landed aircraft searches 55 m around it.
    const Row rows[] = {
        {"free stand", "A1", 15, true, false, false, Phase::taxiToStand, Phase::atStand},
        {"21 m away, not landed", "A1", 21, false, false, false, Phase::groundMoving, Phase::groundMoving},
        {"21 m away, landed: when the reports end", "A1", 21, true, false, false, Phase::groundMoving, Phase::atStand},
        {"the user's reserved stand", "A1", 15, true, true, false, Phase::groundMoving, Phase::groundMoving},
        {"the stand nearest the user", "A1", 15, true, false, true, Phase::groundMoving, Phase::groundMoving},
    };
    for (const Row& row : rows) {
        reservedStandName = row.reserved ? row.stand : "";
        port.setUser({positionOfStand(row.stand), 0.0, row.userThere, true});
        userStateCache.latitude = row.userThere ? positionOfStand(row.stand).lat : test::userPosition.lat;
        userStateCache.longitude = row.userThere ? positionOfStand(row.stand).lon : test::userPosition.lon;
        resetArrivalStandSearch();
        pollCounter = 50000;
        standAt(row.stand).options.clear();
        standAt(row.stand).realSightings.clear();
        LiveAI& ai = stoppingNear(41000, row.stand, row.metres, row.landed);
        pollAircraft(ai);
        EXPECT_EQ(ai.phase, row.atStop) << row.name;
        if (row.atStop == Phase::taxiToStand) {
            ASSERT_EQ(ai.phase, Phase::taxiToStand) << row.name;
            ASSERT_EQ(ai.updates.size(), 2u) << row.name;
            EXPECT_LT(metresBetween(positionOf(ai.updates[0]), positionOfStand(row.stand)), 0.01) << row.name;
            EXPECT_TRUE(ai.updates[1].stationary) << row.name;
            EXPECT_EQ(ai.updates[1].duePoll - ai.updates[0].duePoll, 50) << row.name;
        }
        for (int i = 0; i < 6000 && ai.phase != Phase::atStand; ++i)
            pollAircraft(ai);
        EXPECT_EQ(ai.phase, row.after) << row.name;
        if (row.after == Phase::atStand) {
            EXPECT_EQ(ai.standId, standAt(row.stand).standId);
            EXPECT_NE(log().find("arrived " + row.stand), std::string::npos);
            EXPECT_EQ(standAt(row.stand).options.size(), 1u) << "a stand-use option learned";
            EXPECT_TRUE(standReservations.contains(ai.id()));
            EXPECT_NE(std::find(coupledCheckList.begin(), coupledCheckList.end(), ai.id()), coupledCheckList.end());
            std::lock_guard lock(simConnectMutex);
            EXPECT_TRUE(std::any_of(clientEventQueue.begin(), clientEventQueue.end(),
                                    [](const ClientEventCommand& c) { return c.eventId == eventEngineShutdown; }));
        }
        clearAIQueues();
        liveAIList.clear();
        standReservations.clear();
        coupledCheckList.clear();
    }
}

TEST_F(ArrivalTest, ParksWithinTwoMetresElseTaxisOn)
{
    for (const auto& [metres, phase] : {std::pair{1.999, Phase::atStand}, {2.1, Phase::groundMoving}}) {
        LiveAI& ai = groundAircraft(41001, towards(positionOfStand("B1"), 0, metres), 0, Phase::taxiToStand);
        parkAt(ai, "B1");
        ai.phase = Phase::taxiToStand;
        const LatLon at = towards(positionOfStand("B1"), 0, metres);
        ai.lat = at.lat;
        ai.lon = at.lon;
        checkArrival(ai);
        EXPECT_EQ(ai.phase, phase) << metres;
        liveAIList.clear();
    }
}

TEST_F(ArrivalTest, CargoAircraftMarksItsStandCargoOnce)
{
    const std::int32_t before = parkAirport.learnedUpdateCount;
    for (std::uint32_t hexid : {41002u, 41003u}) {
        resetArrivalStandSearch();
        LiveAI& ai = groundAircraft(hexid, towards(positionOfStand("A2"), 0, hexid - 41000.0), 0, Phase::groundMoving);
        ai.flight.cargo = 1;
        ai.updates = {groundUpdate({ai.lat, ai.lon}, 0, pollCounter, true)};
        ASSERT_TRUE(assignArrivalStand(ai, true));
        ai.lat = ai.standLat;
        ai.lon = ai.standLon;
        checkArrival(ai);
        ASSERT_EQ(ai.phase, Phase::atStand);
    }
    EXPECT_TRUE(standAt("A2").cargo);
    EXPECT_TRUE(standAt("A2").cargoChange);
    EXPECT_EQ(parkAirport.learnedUpdateCount - before, 2) << "the cargo mark, then the second aircraft's option";
    const std::string text = log();
    const std::string line = "EHAM stand: A2, cargo attribute set to true";
    EXPECT_NE(text.find(line), std::string::npos);
    EXPECT_EQ(text.find(line, text.find(line) + 1), std::string::npos) << "marked once";
}

// What an aircraft without a stand teaches when its reports end near the park airport.
TEST_F(ArrivalTest, SoftLearning)
{
    struct Row {
        const char* name;
        bool learnSoft;
        double nmFromAirport;
        bool hasStand, reservedNow;
        int sighting; // half hours before now; 0: none
        bool taught, atSighted;
    };
    const Row rows[] = {
        {"earlier sighting", true, 1, false, false, 2, true, true},
        {"no sighting: a free stand", true, 1, false, false, 0, true, false},
        {"LEARN_SOFT off", false, 1, false, false, 2, false, false},
        {"beyond 5 nm", true, 5.2, false, false, 2, false, false},
        {"with a stand", true, 1, true, false, 2, false, false},
        {"reserved this half hour", true, 1, false, true, 0, false, false},
        {"reserved, an earlier sighting still teaches", true, 1, false, true, 2, true, true},
    };
    for (const Row& row : rows) {
        LEARN_SOFT.set(row.learnSoft);
        learnSoftAllowed = true;
        const DaySlot now = currentDayAndHalfHour();
        LiveAI& ai = groundAircraft(41004, towards(parkAirport.position, 90, row.nmFromAirport * nmToMetres), 0,
                                    Phase::groundMoving);
        if (row.hasStand)
            ai.standId = standAt("B1").standId;
        if (row.reservedNow)
            standReservations[ai.id()] = slotHalfHour(now);
        for (ParkingPosition& s : parkAirport.stands) {
            s.options.clear();
            s.softSightings.clear();
        }
        if (row.sighting != 0)
            standAt("A2").softSightings[ai.id()] = {
                makeDaySlot(slotWeekday(now), (slotHalfHour(now) + 48 - row.sighting) % 48), 0};
        const std::int32_t before = parkAirport.learnedUpdateCount;
        learnStandSoft(ai);
        EXPECT_EQ(parkAirport.learnedUpdateCount - before, row.taught ? 1 : 0) << row.name;
        EXPECT_EQ(standAt("A2").options.size(), row.atSighted ? 1u : 0u) << row.name;
        liveAIList.clear();
        standReservations.clear();
    }
}

// Issue 20's rules for an aircraft at its stand (radius 17 m), fed reports at distances from it.
TEST_F(ArrivalTest, ReportsAtTheStand)
{
    struct Row {
        const char* name;
        std::vector<double> metres;
        bool landedShortStay; // it arrived by taxi 1000 polls ago: the stand's limit is 170 m
        bool leaving, removed, towed;
    };
    const Row rows[] = {
        {"three 3 m creeps, half a radius", {0.5, 3.6, 6.7, 9.8}, false, true, false, false},
        {"two creeps", {0.5, 3.6, 6.7}, false, false, false, false},
        {"a jump beyond 200 m", {250}, false, false, true, false},
        {"150 m: leaves", {150}, false, true, false, false},
        {"short stay after landing: towed", {180}, true, true, false, true},
        {"within 170 m after landing", {150}, true, false, false, false},
    };
    for (const Row& row : rows) {
        pollCounter = 60000;
        LiveAI& ai = groundAircraft(41005, positionOfStand("B1"), 180, Phase::atStand);
        parkAt(ai, "B1");
        ai.previousPhase = row.landedShortStay ? Phase::taxiToStand : Phase::fresh;
        ai.updates = {groundUpdate({ai.lat, ai.lon}, 0, pollCounter, true)};
        if (row.landedShortStay) {
            ai.landed = true;
            ai.extrapolationCountdown = 1;
            ai.updates.front().duePoll = pollCounter + 60'480'000 - 1000;
        }
        for (const double m : row.metres) {
            PositionUpdate u = groundUpdate(towards(positionOfStand("B1"), 0, m), 2, ai.updates.back().duePoll + 500);
            appendPositionUpdate(ai, u);
        }
        EXPECT_EQ(ai.pushBackPending, row.leaving) << row.name;
        EXPECT_EQ(ai.simStatus == SimStatus::removed, row.removed) << row.name;
        EXPECT_EQ(ai.towed, row.towed) << row.name;
        clearAIQueues();
        liveAIList.clear();
    }
}

// The livery of a parked aircraft changes: it is held, removed and created again in place.
TEST_F(ArrivalTest, LiveryChangeAtTheStand)
{
    const std::uint32_t objectId = createLive(41006, "KLM1006", "KLM B738", Phase::atStand, 0);
    ASSERT_NE(objectId, 0u);
    LiveAI* ai = live(41006);
    ASSERT_NE(ai, nullptr);
    parkAt(*ai, "B1");
    ai->onGround = true;
    const std::int64_t due = pollCounter + 100;
    ai->updates = {groundUpdate({ai->lat, ai->lon}, 0, due, true), groundUpdate({ai->lat, ai->lon}, 0, due + 500, true),
                   groundUpdate({ai->lat, ai->lon}, 0, due + 1000, true)};
    freezeForLiveryChange(*ai);
    EXPECT_NE(log().find("B1      : KLM1006 "), std::string::npos);
    EXPECT_NE(log().find("livery change stream.size: 3 !"), std::string::npos);
    EXPECT_EQ(ai->updates.size(), 2u) << "the front kept, a copy due at the next poll before it";
    EXPECT_EQ(ai->simStatus, SimStatus::liveryChange);
    ai->headingOverride = ai->heading;
    ai->headingOverrideSet = true;
    removalBacklog.push_back(objectId);
    step(400);
    EXPECT_FALSE(sim->object(objectId).has_value()) << "removed";
    const std::vector<sim::AiState> objects = sim->objects();
    ASSERT_EQ(objects.size(), 1u) << "created again";
    EXPECT_NEAR(objects[0].lat, positionOfStand("B1").lat, 1e-7);
    EXPECT_NEAR(objects[0].lon, positionOfStand("B1").lon, 1e-7);
    EXPECT_NEAR(objects[0].heading, standAt("B1").heading, 1e-6);
}

// Static parked aircraft in the simulator or being removed are counted; the window shows their
// average age in hours, Monday counting as after Sunday.
TEST_F(ArrivalTest, ParkedCountAndAverageAge)
{
    const std::uint64_t savedNow = dayHalfHour;
    dayHalfHour = makeDaySlot(1, 10);
    mainWindowGlobals.staticAverageFit = -1.0f; // an earlier recount may have set it
    struct Row {
        SimStatus status;
        DaySlot since;
    };
    for (const Row& row : {Row{SimStatus::inSim, makeDaySlot(1, 6)}, {SimStatus::removed, makeDaySlot(7, 46)},
                          {SimStatus::requested, makeDaySlot(1, 0)}, {SimStatus::inSim, makeDaySlot(1, 12)}}) {
        ParkedAI& p = parkedAIList.emplace_back(constructParkedAI({}, 1, 0, 0, 0, false));
        p.simStatus = row.status;
        p.arrivalDayHalfHour = static_cast<std::int64_t>(row.since);
    }
    EXPECT_EQ(countParkedAIInSim(false), 3);
    EXPECT_EQ(mainWindowGlobals.staticAverageFit, -1.0f) << "the window's figure only when asked";
    EXPECT_EQ(countParkedAIInSim(true), 3);
    EXPECT_FLOAT_EQ(mainWindowGlobals.staticAverageFit, 16.0f / 6.0f + 0.5f) << "4 and 12 half hours, the later one 0";
    mainWindowGlobals.staticAverageFit = -1.0f;
    dayHalfHour = savedNow;
}

} // namespace
} // namespace rtd
