#include "core/parameters.hpp"
#include "core/utf.hpp"
#include "dbase_support.hpp"
#include "traffic/datagram_support.hpp"
#include "traffic/link/service_link.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <cmath>
#include <random>

namespace rtd {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int fuzzDatagrams = 1000000; // the sanitizer builds run the same count, only slower
#else
constexpr int fuzzDatagrams = 1000000;
#endif

// Random, cut and mutated datagrams: bytes, numbers near and beyond their ranges, texts that
// are not UTF-8, runs of commas, and the longest datagram a receive takes.
class DatagramFuzzer {
public:
    std::string next()
    {
        switch (pick(8)) {
        case 0: return randomBytes(pick(1000) == 0 ? TrafficReader::receiveBufferSize - 1 : pick(300));
        case 1: return fields().substr(0, pick(200));
        default: return fields();
        }
    }

private:
    std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(engine_); }
    std::string number(double low, double high)
    {
        return fmt::format("{}", std::uniform_real_distribution<double>(low, high)(engine_));
    }
    std::string randomBytes(std::size_t size)
    {
        std::string bytes(size, '\0');
        for (char& c : bytes)
            c = static_cast<char>(pick(256));
        return bytes;
    }
    std::string oddValue()
    {
        static const char* const values[] = {"", "inf", "-inf", "nan", "1e400", "-1e308", "1e-400", "99999999999999999999",
                                             "\xC3(", "\xFF\xFE", "K\x01M", "\x7F", ",,,,", "null", "+1", " 1", "-0",
                                             "adsb_icao", "B2", "F", "TOW 1", "0", "-1", "361", "0x10"};
        if (pick(6) == 0)
            return randomBytes(pick(20));
        return values[pick(std::size(values))];
    }
    std::string fields()
    {
        std::vector<std::string> fields = test::airborneFields();
        fields[1] = fmt::format("{}", 9000 + pick(100000));
        fields[2] = number(51.5, 53.1);
        fields[3] = number(3.9, 5.6);
        fields[4] = pick(3) == 0 ? "0" : number(-100, 45000);
        fields[8] = number(-10, 600);
        fields[20] = pick(4) == 0 ? "-1" : number(0, 600);
        fields[23] = number(-60, 60);
        fields[25] = number(-10, 370);
        for (std::size_t k = pick(4); k > 0; --k)
            fields[pick(fields.size())] = oddValue();
        fields.resize(pick(4) == 0 ? 20 + pick(20) : 30);
        if (fields.size() >= minTrafficFields && pick(10) != 0)
            fields.back() = fmt::format("{}", pick(100000));
        std::string datagram = fmt::format("{}", fmt::join(fields, ","));
        if (pick(10) == 0)
            datagram.insert(pick(datagram.size()), std::string(pick(40), ','));
        if (pick(10) == 0)
            datagram[pick(datagram.size())] = static_cast<char>(pick(256));
        if (pick(1000) == 0)
            datagram.resize(TrafficReader::receiveBufferSize - 1, pick(2) == 0 ? ',' : '9');
        return datagram;
    }

    std::mt19937_64 engine_{20261209};
};

void expectSound(const TrafficReport& r)
{
    const PositionUpdate& u = r.update;
    for (const double value : {u.lat, u.lon, u.bank.value_or(0), u.trueHeading.value_or(1), u.altitudeFt,
                               u.groundSpeedKt, u.trackDeg, u.verticalSpeed, u.trueAirspeedKt, r.timestamp})
        ASSERT_TRUE(std::isfinite(value));
    ASSERT_TRUE(u.lat >= -90 && u.lat <= 90 && u.lon >= -180 && u.lon <= 180);
    ASSERT_TRUE(u.altitudeFt >= 0 && u.groundSpeedKt >= 0);
    ASSERT_EQ(u.airborne, u.altitudeFt != 0);
    ASSERT_TRUE(!u.trueHeading || (*u.trueHeading > 0 && *u.trueHeading <= 6.283185307179586 + 1e-12));
    ASSERT_GT(r.hexid, 10000U);
    ASSERT_LT(r.record.registration.size(), 13U);
    ASSERT_FALSE(r.record.callsign.empty() && r.record.registration.empty());
    for (const std::string* text : {&r.record.callsign, &r.record.icaoType, &r.record.registration,
                                    &r.record.origin, &r.record.destination})
        ASSERT_TRUE(isValidUtf8(*text));
}

TEST(TrafficFuzz, MillionDatagramsLeaveSoundReportsOnly)
{
    test::InstallationFolder installation;
    auto reader = std::make_unique<TrafficReader>();
    reader->setUserPosition(test::userPosition);
    reader->setParkElevation(test::parkElevationFt);
    reader->setParkAirport("EHAM", test::parkAirportPosition);
    reader->staticCalculation = true;
    lateralRangeNm = 100;
    setFlightRunning(true);
    DatagramFuzzer fuzzer;
    int queued = 0;
    for (int i = 0; i < fuzzDatagrams; ++i) {
        reader->handleDatagram(fuzzer.next());
        ASSERT_NE(reader->lastDrop(), TrafficDrop::failed);
        for (const TrafficReport& report : trafficReportQueue)
            expectSound(report);
        queued += static_cast<int>(trafficReportQueue.size());
        trafficReportQueue.clear();
        if (i % 1000 == 0)
            reader->clearLiveCallsignsSeen();
    }
    setFlightRunning(false);
    lateralRangeNm = LATERAL_RANGE.defaultValue();
    EXPECT_GT(queued, fuzzDatagrams / 20); // the generator reaches the queue often enough to count
    EXPECT_EQ(installation.logText().find("exception in processLine"), std::string::npos);
}

} // namespace
} // namespace rtd
