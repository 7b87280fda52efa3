// The soak scenario as the test peer reads it: the datagram rates it promises, positions the
// traffic reader accepts (within the range, on the ground only near the park airport), a new
// hexid for every flight, and a clear error for options it cannot serve.

#include "fixtures/soak_scenario.hpp"
#include "rt_peer/scenario.hpp"
#include "traffic/link/traffic_reader.hpp"

#include <gtest/gtest.h>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace rtd {
namespace {

std::vector<std::string> fieldsOf(const std::string& datagram)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t comma; (comma = datagram.find(',', start)) != std::string::npos; start = comma + 1)
        fields.push_back(datagram.substr(start, comma - start));
    fields.push_back(datagram.substr(start));
    return fields;
}

struct RateRow {
    double minutes;
    std::size_t aircraft;
    double burstSeconds;
    double burstPerSecond;
};

TEST(SoakScenarioTest, KeepsItsRatesAndStaysWhereTheReaderTakesIt)
{
    const std::vector<RateRow> rows{{4, 300, 60, 400}, {3, 40, 30, 100}, {3, 20, 0, 0}};
    for (const RateRow& row : rows) {
        SCOPED_TRACE(testing::Message() << row.aircraft << " aircraft, burst " << row.burstSeconds << " s");
        fixtures::SoakScenarioOptions options;
        options.minutes = row.minutes;
        options.aircraft = row.aircraft;
        options.burstSeconds = row.burstSeconds;
        options.burstPerSecond = row.burstPerSecond;
        const std::vector<peer::Event> events = peer::parseScenario(fixtures::soakScenario(options), 0, "soak");
        const double burstStart = row.minutes * 60;
        const double end = burstStart + row.burstSeconds;
        ASSERT_EQ(events.back().action, peer::Action::end);
        EXPECT_DOUBLE_EQ(events.back().at, end + 1);

        // Steady from the end of the two-minute ramp to the burst; the burst at its own rate.
        std::size_t steady = 0, burst = 0, ground = 0, cruise = 0;
        std::map<std::string, std::set<std::string>> callsignsOfHexid;
        for (const peer::Event& e : events) {
            if (e.action != peer::Action::trafficDatagram)
                continue;
            ASSERT_LT(e.at, end + 1);
            steady += e.at >= 150 && e.at < burstStart;
            burst += e.at >= burstStart;
            const std::vector<std::string> f = fieldsOf(e.data);
            const LatLon at{std::stod(f[latitudeField]), std::stod(f[longitudeField])};
            const double altitudeFt = std::stod(f[altitudeField]);
            ASSERT_LE(distanceNm(at, options.airport), options.rangeNm) << e.data;
            if (altitudeFt <= 0) {
                ++ground;
                ASSERT_LE(distanceNm(at, options.airport), groundRangeNm) << e.data;
            }
            cruise += altitudeFt >= 12000;
            callsignsOfHexid[f[hexidField]].insert(f[callsignField]);
        }
        const double reportsPerSecond = static_cast<double>(row.aircraft) / options.reportSeconds;
        EXPECT_NEAR(static_cast<double>(steady) / (burstStart - 150), reportsPerSecond, 0.1 * reportsPerSecond);
        if (row.burstSeconds > 0) {
            EXPECT_NEAR(static_cast<double>(burst) / row.burstSeconds, row.burstPerSecond, 0.1 * row.burstPerSecond);
        }
        EXPECT_GT(ground, 0u);
        EXPECT_GT(cruise, 0u);
        // Flights end and new hexids take over; a hexid is one flight under one callsign.
        EXPECT_GT(callsignsOfHexid.size(), row.aircraft);
        for (const auto& [hexid, callsigns] : callsignsOfHexid)
            EXPECT_EQ(callsigns.size(), 1u) << hexid;
    }
}

TEST(SoakScenarioTest, OptionsItCannotServeAreRefused)
{
    const auto refused = [](auto change) {
        fixtures::SoakScenarioOptions options;
        options.minutes = 1;
        change(options);
        EXPECT_THROW(fixtures::soakScenario(options), std::invalid_argument);
    };
    refused([](fixtures::SoakScenarioOptions& o) { o.aircraft = 0; });
    refused([](fixtures::SoakScenarioOptions& o) { o.minutes = 0; });
    refused([](fixtures::SoakScenarioOptions& o) { o.burstPerSecond = 100; }); // 300 aircraft send 150 a second
    refused([](fixtures::SoakScenarioOptions& o) { o.rangeNm = 10; });
}

} // namespace
} // namespace rtd
