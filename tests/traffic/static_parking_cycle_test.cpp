// Static parking through the traffic cycle on the stand-in simulator: an airport of 10 stands,
// each used by KLM in every half hour of the week, at the user aircraft's position.

#include "traffic_harness.hpp"

#include "fixtures/airport_fixture.hpp"
#include "traffic/airport_port.hpp"

#include <fmt/format.h>
#include <gmock/gmock.h>

namespace rtd {
namespace {

using ::testing::HasSubstr;

constexpr int pollsPerSecond = 100;
constexpr double degPerMetre = 1.0 / 1852.0 / 60.0;

class StaticParkingCycleTest : public test::TrafficHarness {
protected:
    StaticParkingCycleTest()
    {
        test::writeFile(folder / "input" / "airports_msfs.xml",
                        fmt::format("<airports>\n<airport code=\"TEST\" lat=\"{}\" lon=\"{}\" alt=\"0\"/>\n</airports>\n",
                                    test::userPosition.lat, test::userPosition.lon));
        readAirports();
        std::string hours;
        for (int hh = 0; hh < 48; ++hh)
            hours += fmt::format("{}{}", hh == 0 ? "" : ",", hh);
        fixtures::FixtureAirportFile file{{{"airport_name", "Test field"}, {"publisher", "stock"}, {"altitude", "0"}},
                                          {}};
        for (int s = 1; s <= 10; ++s) {
            std::vector<std::string> options;
            for (int day = 1; day <= 7; ++day)
                options.push_back(fmt::format(R"(reg="PH-T{0:02}" airl="KLM" type="B738" day="{1}" hh="{2}" cs="KLM{0}")",
                                              s, day, hours));
            // 200 m east of the user and 100 m apart: none is the user's stand.
            file.stands.push_back({fmt::format("G{}", s), test::userPosition.lat + s * 100 * degPerMetre,
                                   test::userPosition.lon + 0.003, 90.0, 30.0, options, {}});
        }
        std::filesystem::create_directories(folder / archiveStockFolder);
        test::writeFile(folder / archiveStockFolder / "TEST.xml", fixtures::airportFileXml(file));
        resetParkAirportSight();
        installReaderTrafficPort();
    }
    ~StaticParkingCycleTest() override
    {
        resetParkingState();
        resetParkAirportSight();
        installTrafficPort(nullptr);
    }

    void seconds(int count) { step(count * pollsPerSecond); }

    static std::size_t parkedWith(SimStatus status)
    {
        return static_cast<std::size_t>(std::count_if(parkedAIList.begin(), parkedAIList.end(),
                                                      [status](const ParkedAI& p) { return p.simStatus == status; }));
    }
};

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
