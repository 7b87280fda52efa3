// Static parking through the traffic cycle on the stand-in simulator: an airport of 10 stands,
// each used by KLM in every half hour of the week, at the user aircraft's position.

#include "traffic/park_airport_harness.hpp"

#include <gmock/gmock.h>

namespace rtd {
namespace {

using ::testing::HasSubstr;

class StaticParkingCycleTest : public test::ParkAirportHarness {};

TEST_F(StaticParkingCycleTest, ParkedOnArrivalKeptByTheRenewalRemovedOutOfSight)
{
    seconds(33); // sight at second 16, the airport file and the fit at second 32
    EXPECT_EQ(parkAirport.icao, "TEST");
    EXPECT_THAT(log(), HasSubstr("3 positions (30% vs wanted 30%, with Max fit=24 hours)"));

    // The cycle places the fit list's entries on its creation polls.
    seconds(5);
    EXPECT_TRUE(fitList.empty());
    ASSERT_EQ(parkedWith(SimStatus::inSim), 3u);

    // The renewal at second 1200 runs in two steps 15 s apart.
    seconds(1235 - static_cast<int>(cycleTick.load()));
    EXPECT_THAT(log(), HasSubstr("Parking adjustments: 0 to be removed, 0 to be added"));
    EXPECT_EQ(parkedWith(SimStatus::inSim), 3u);
    EXPECT_EQ(parkedStayers.size(), 3u);
    EXPECT_TRUE(fitList.empty());

    // Above AIRPORT_HEIGHT the airport is out of sight (a jump of the user would restart the run).
    sim->setUser({.lat = test::userPosition.lat, .lon = test::userPosition.lon, .altFt = 30000, .onGround = false});
    seconds(20);
    EXPECT_THAT(log(), HasSubstr("TEST is out of sight (0.0 nm), parked aircraft will be removed"));
    EXPECT_TRUE(parkAirport.icao.empty());
    EXPECT_EQ(parkedWith(SimStatus::inSim), 0u);
}

} // namespace
} // namespace rtd
