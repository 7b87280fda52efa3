#include "core/parameters.hpp"
#include "dbase_support.hpp"
#include "traffic/datagram_support.hpp"
#include "traffic/link/service_link.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <cmath>
#include <fmt/format.h>
#include <functional>
#include <memory>

namespace rtd {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using test::trafficDatagram;

class ParserTest : public ::testing::Test {
protected:
    ParserTest() { reset(); }
    ~ParserTest() override
    {
        setFlightRunning(false);
        trafficReportQueue.clear();
        lateralRangeNm = LATERAL_RANGE.defaultValue();
        pollCounter = 0;
        trafficTimestamp = 0.0;
    }
    void reset()
    {
        reader = std::make_unique<TrafficReader>();
        reader->setUserPosition(test::userPosition);
        reader->setParkElevation(test::parkElevationFt);
        reader->setParkAirport("EHAM", test::parkAirportPosition);
        lateralRangeNm = 40;
        pollCounter = test::testPoll;
        setFlightRunning(true);
        trafficReportQueue.clear();
    }

    test::InstallationFolder installation; // the log
    std::unique_ptr<TrafficReader> reader;
};

TEST_F(ParserTest, SplitsFieldsIntoViews)
{
    std::string many;
    for (int i = 0; i < 70; ++i)
        many += fmt::format("{},", i);
    struct Row { std::string datagram; std::vector<std::string> fields; };
    for (const Row& row : {Row{"a,,b", {"a", "", "b"}}, Row{"a,b,", {"a", "b"}}, Row{",", {""}},
                           Row{",,x", {"", "", "x"}}, Row{std::string("a,b\0c,d", 7), {"a", "b"}}}) {
        reader->handleDatagram(row.datagram);
        std::vector<std::string> fields;
        for (std::size_t i = 0; i < reader->fieldCount(); ++i)
            fields.emplace_back(reader->fieldAt(i));
        EXPECT_EQ(fields, row.fields) << row.datagram;
    }
    reader->handleDatagram(many);
    EXPECT_EQ(reader->fieldCount(), 64U);
    EXPECT_EQ(reader->fieldAt(62), "62");
    EXPECT_EQ(reader->fieldAt(63), "69");
}

// One datagram per row: which check dropped it, or the whole report it queued (the report
// of test::airborneFields() with the row's changes).
TEST_F(ParserTest, ChecksEveryField)
{
    using Patch = std::function<void(TrafficReport&)>;
    using Setup = std::function<void(TrafficReader&)>;
    const auto none = [](TrafficReport&) {};
    const auto ground = [](TrafficReport& r) {
        r.update.altitudeFt = 0;
        r.update.airborne = false;
        r.update.bank.reset();
    };
    const double deg = radiansPerDegree;
    const LatLon position{52.31, 4.77};
    struct Row { const char* name; test::FieldChanges changes; TrafficDrop drop; Patch patch; Setup setup = {}; std::size_t count = 30; };
    const Row rows[] = {
        {"valid airborne", {}, TrafficDrop::none, none},
        {"vehicle", {{9, "KLM VEH"}}, TrafficDrop::vehicle, none},
        {"28 fields", {}, TrafficDrop::tooFewFields, none, {}, 28},
        {"29 fields: class is checksum", {{28, "815"}}, TrafficDrop::none, [](TrafficReport& r) { r.checksum = 815; }, {}, 29},
        {"milliseconds", {{14, "1700000000500"}}, TrafficDrop::none, none},
        {"at threshold", {{14, "171644617100.79"}}, TrafficDrop::none, [](TrafficReport& r) { r.timestamp = 171644617100.79; }},
        {"above threshold", {{14, "171644617100.8"}}, TrafficDrop::none, [](TrafficReport& r) { r.timestamp = 171644617100.8 / 1000; }},
        {"timestamp", {{14, "x"}}, TrafficDrop::timestamp, none},
        {"null island", {{2, "0.0005"}, {3, "0.01"}}, TrafficDrop::position, none},
        {"beside null island", {{2, "0.0005"}, {3, "0.06"}}, TrafficDrop::outOfRange, none},
        {"latitude 91", {{2, "91"}}, TrafficDrop::position, none},
        {"latitude inf", {{2, "inf"}}, TrafficDrop::latitude, none},
        {"latitude plus", {{2, "+52.31"}}, TrafficDrop::latitude, none},
        {"longitude blank", {{3, " 4.77"}}, TrafficDrop::longitude, none},
        {"at range", {}, TrafficDrop::none, none, [&](TrafficReader&) { lateralRangeNm = distanceNm(test::userPosition, position); }},
        {"beyond range", {}, TrafficDrop::outOfRange, none, [&](TrafficReader&) { lateralRangeNm = distanceNm(test::userPosition, position) * (1 - 1e-12); }},
        {"class B2", {{28, "B2"}}, TrafficDrop::aircraftClass, none},
        {"glider without class", {{10, "GLID"}, {28, ""}}, TrafficDrop::none, [](TrafficReport& r) { r.record.icaoType = "GLID"; }},
        {"glider", {{10, "GLID"}}, TrafficDrop::excludedType, none},
        {"five-letter type", {{10, "B7380"}}, TrafficDrop::typeTooLong, none},
        {"five-letter type without class", {{10, "B7380"}, {28, ""}}, TrafficDrop::none, [](TrafficReport& r) { r.record.icaoType = "B7380"; }},
        {"ZZZZ", {{10, "ZZZZ"}}, TrafficDrop::none, [](TrafficReport& r) { r.record.icaoType = ""; }},
        {"type null", {{10, "null"}}, TrafficDrop::none, [](TrafficReport& r) { r.record.icaoType = ""; }},
        {"hexid 10000", {{1, "10000"}}, TrafficDrop::lowHexid, none},
        {"hexid 10001", {{1, "10001"}}, TrafficDrop::none, [](TrafficReport& r) { r.hexid = 10001; }},
        {"hexid 12a", {{1, "12a"}}, TrafficDrop::lowHexid, none},
        {"hexid a12", {{1, "a12"}}, TrafficDrop::hexid, none},
        {"hexid 2^32", {{1, "4294967296"}}, TrafficDrop::hexid, none},
        {"no registration, F", {{11, "null"}, {15, "F"}}, TrafficDrop::registrationMarker, none},
        {"no registration", {{11, ""}}, TrafficDrop::none, [](TrafficReport& r) { r.record.registration = ""; }},
        {"13-character registration", {{11, "ABCDEFGHIJKLM"}}, TrafficDrop::none, [](TrafficReport& r) { r.record.registration = ""; }},
        {"no identity", {{11, ""}, {9, "null"}}, TrafficDrop::noIdentity, none},
        {"tow", {{9, "TOW 12"}}, TrafficDrop::towCallsign, none},
        {"at sign", {{9, "KLM@1"}}, TrafficDrop::none, [](TrafficReport& r) { r.record.callsign = ""; }},
        {"at sign, no registration", {{9, "KLM@1"}, {11, "null"}}, TrafficDrop::noIdentity, none},
        {"ERARMTR0", {{9, "ERARMTR0"}}, TrafficDrop::excludedCallsign, none},
        {"1000 ft, no elevation", {{4, "1000"}}, TrafficDrop::none, [](TrafficReport& r) { r.update.altitudeFt = 1000; },
         [](TrafficReader& t) { t.setParkElevation(std::nullopt); }},
        {"30 ft at 100 kt", {{4, "30"}, {8, "100"}}, TrafficDrop::none, [&](TrafficReport& r) { ground(r); r.update.groundSpeedKt = 100; },
         [](TrafficReader& t) { t.setParkElevation(0); }},
        {"60 ft at 100 kt", {{4, "60"}, {8, "100"}}, TrafficDrop::none, [](TrafficReport& r) { r.update.altitudeFt = 60; r.update.groundSpeedKt = 100; },
         [](TrafficReader& t) { t.setParkElevation(0); }},
        {"below the airport", {{4, "100"}}, TrafficDrop::none, ground, [](TrafficReader& t) { t.setParkElevation(200); }},
        {"15000 ft at 30 kt", {{4, "15000"}, {8, "30"}}, TrafficDrop::none, [&](TrafficReport& r) { ground(r); r.update.groundSpeedKt = 30; }},
        {"negative ground speed", {{8, "-20"}}, TrafficDrop::none, [&](TrafficReport& r) { ground(r); r.update.groundSpeedKt = 0; }},
        {"ground speed nan", {{8, "nan"}}, TrafficDrop::groundSpeed, none},
        {"altitude huge", {{4, "1e400"}}, TrafficDrop::altitude, none},
        {"ground without park airport", {{4, "0"}}, TrafficDrop::groundAway, none, [](TrafficReader& t) { t.setParkAirport("", {}); }},
        {"ground far from park airport", {{4, "0"}}, TrafficDrop::groundAway, none, [](TrafficReader& t) { t.setParkAirport("EHAM", {52.4, 4.77}); }},
        {"ground, roll not read", {{4, "0"}, {23, "x"}}, TrafficDrop::none, ground},
        {"heading 0", {{25, "0"}}, TrafficDrop::none, [](TrafficReport& r) { r.update.trueHeading = 6.283185307179586; }},
        {"heading 361", {{25, "361"}}, TrafficDrop::trueHeadingRange, none},
        {"heading x", {{25, "x"}}, TrafficDrop::trueHeading, none},
        {"heading negative", {{25, "-4"}}, TrafficDrop::none, [](TrafficReport& r) { r.update.trueHeading.reset(); r.update.adsbHeading = false; }},
        {"heading not ADS-B", {{17, "mlat"}, {25, "x"}}, TrafficDrop::none, [](TrafficReport& r) { r.update.trueHeading.reset(); r.update.adsbHeading = false; }},
        {"track from heading", {{7, ""}}, TrafficDrop::none, [&](TrafficReport& r) { r.update.trackDeg = 183 * deg * 57.29577951308232; }},
        {"track x", {{7, "x"}}, TrafficDrop::track, none},
        {"vertical speed -inf", {{5, "-inf"}}, TrafficDrop::verticalSpeed, none},
        {"null route", {{12, "null"}, {13, "null"}}, TrafficDrop::none, [](TrafficReport& r) { r.record.origin = r.record.destination = ""; }},
        {"checksum", {{29, "sum"}}, TrafficDrop::checksum, none},
        {"roll 10", {{23, "10"}}, TrafficDrop::none, [](TrafficReport& r) { r.update.bank = -0.17453292519943295; }},
        {"roll -1", {{23, "-1"}}, TrafficDrop::none, [](TrafficReport& r) { r.update.bank.reset(); }},
        {"roll empty", {{23, ""}}, TrafficDrop::roll, none},
        {"TAS -1 at 3000 ft", {{20, "-1"}}, TrafficDrop::none, [](TrafficReport& r) { r.update.trueAirspeedKt = 220; }},
        {"TAS -1 at 2000 ft", {{20, "-1"}, {4, "2000"}}, TrafficDrop::none, [](TrafficReport& r) { r.update.trueAirspeedKt = 180; r.update.altitudeFt = 2000; }},
        {"TAS -1 at 25000 ft", {{20, "-1"}, {4, "25000"}}, TrafficDrop::none, [](TrafficReport& r) { r.update.trueAirspeedKt = 430; r.update.altitudeFt = 25000; }},
        {"TAS nan", {{20, "nan"}}, TrafficDrop::trueAirspeed, none},
        {"invalid UTF-8", {{9, "KL\xC3("}}, TrafficDrop::badText, none},
        {"control character", {{13, "LE\x01MD"}}, TrafficDrop::badText, none},
        {"DEL", {{10, "B7\x7F"}}, TrafficDrop::badText, none},
        {"UTF-8 origin", {{12, "Z\xC3\xBCrich"}}, TrafficDrop::none, [](TrafficReport& r) { r.record.origin = "Z\xC3\xBCrich"; }},
        {"no flight running", {}, TrafficDrop::notRunning, none, [](TrafficReader&) { setFlightRunning(false); }},
    };
    for (const Row& row : rows) {
        reset();
        if (row.setup)
            row.setup(*reader);
        reader->handleDatagram(trafficDatagram(row.changes, row.count));
        EXPECT_EQ(reader->lastDrop(), row.drop) << row.name;
        if (row.drop != TrafficDrop::none) {
            EXPECT_TRUE(trafficReportQueue.empty()) << row.name;
            continue;
        }
        TrafficReport expected = test::airborneReport();
        row.patch(expected);
        EXPECT_THAT(trafficReportQueue, ElementsAre(expected)) << row.name;
    }
    EXPECT_EQ(trafficTimestamp.load(), 1700000000.5);
}

// The feed clock, one record after the other: records dropped by range or a filter move it,
// records that did not parse and implausible times (before 2000, a day behind it, a day
// ahead of the system clock) do not.
TEST_F(ParserTest, FeedClockTakesOnlyPlausibleTimes)
{
    struct Row {
        const char* name;
        test::FieldChanges changes;
        double clock;
    };
    const Row rows[] = {
        {"queued", {{14, "1700000100"}}, 1700000100},
        {"out of range", {{2, "60"}, {14, "1700000200"}}, 1700000200},
        {"out of range at 86400", {{2, "60"}, {14, "86400"}}, 1700000200},
        {"malformed hexid at 1", {{1, "x"}, {14, "1"}}, 1700000200},
        {"malformed hexid, a later time", {{1, "x"}, {14, "1700000300"}}, 1700000200},
        {"before 2000", {{14, "946684799"}}, 1700000200},
        {"two days behind", {{14, "1699827400"}}, 1700000200},
        {"in the year 7409", {{14, "171644617100"}}, 1700000200},
        {"a low hexid, an hour behind", {{1, "77"}, {14, "1699996600"}}, 1699996600},
    };
    for (const Row& row : rows) {
        reader->handleDatagram(trafficDatagram(row.changes));
        EXPECT_EQ(trafficTimestamp.load(), row.clock) << row.name;
    }
}

TEST_F(ParserTest, CollectsCallsignsInRangeDuringStaticCalculation)
{
    reader->staticCalculation = true;
    for (const test::FieldChanges changes : {
             test::FieldChanges{}, {{9, "LOW1"}, {1, "77"}}, {{9, "FAR1"}, {2, "60"}}, {{9, "null"}},
             {{9, "A@B"}}, {{9, "BAD\x01"}}, {{9, "KLM1234"}}, {{9, "TOW 1"}}}) {
        reader->handleDatagram(trafficDatagram(changes));
    }
    reader->staticCalculation = false;
    reader->handleDatagram(trafficDatagram({{9, "LATE1"}}));
    EXPECT_THAT(reader->liveCallsignsSeen(), ElementsAre("KLM1234", "LOW1", "TOW 1"));
    reader->clearLiveCallsignsSeen();
    EXPECT_TRUE(reader->liveCallsignsSeen().empty());
}

TEST_F(ParserTest, OverlongDatagramIsLoggedAndDropped)
{
    reader->handleDatagram(std::string(TrafficReader::receiveBufferSize - 1, ','));
    EXPECT_EQ(reader->lastDrop(), TrafficDrop::timestamp); // 16383 empty fields
    const std::string overlong = trafficDatagram() + std::string(TrafficReader::receiveBufferSize, ' ');
    reader->handleDatagram(overlong);
    EXPECT_EQ(reader->lastDrop(), TrafficDrop::timestamp);
    EXPECT_TRUE(trafficReportQueue.empty());
    EXPECT_THAT(installation.logText(), ::testing::HasSubstr(fmt::format("buffer overrun: {} bytes", overlong.size())));
}

TEST_F(ParserTest, FullReportQueueDropsItsOldestAndSaysSoOnce)
{
    for (std::size_t i = 0; i < maxQueuedReports + 3; ++i)
        reader->handleDatagram(trafficDatagram({{hexidField, std::to_string(4850000 + i)}}));
    ASSERT_EQ(trafficReportQueue.size(), maxQueuedReports);
    EXPECT_EQ(trafficReportQueue.front().hexid, 4850003u);
    EXPECT_EQ(trafficReportQueue.back().hexid, 4850000u + maxQueuedReports + 2);
    const std::string log = installation.logText();
    EXPECT_THAT(log, ::testing::HasSubstr("report queue full (10000 reports): 1 of the oldest dropped"));
    EXPECT_EQ(log.find("report queue full"), log.rfind("report queue full")); // the next line waits a minute
}

} // namespace
} // namespace rtd
