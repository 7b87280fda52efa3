#include "datagram_support.hpp"

#include "traffic/link/traffic_reader.hpp"

#include <fmt/format.h>
#include <fmt/ranges.h>

namespace rtd {

void PrintTo(const TrafficReport& r, std::ostream* out)
{
    const TrafficRecord& t = r.record;
    const PositionUpdate& u = r.update;
    *out << fmt::format("{{[{}|{}|{}|{}|{}|{}|{}|{}|{}] {},{} bank {} hdg {} alt {} gs {} trk {} vs {} tas {} due {} "
                        "air {} stat {} adsb {} ts {} hex {} sum {}}}",
                        t.airline, t.icaoType, t.origin, t.destination, t.callsign, t.firstCallsign, t.spareText,
                        t.registration, t.spareFlag, u.lat, u.lon, u.bank.value_or(-999), u.trueHeading.value_or(-999),
                        u.altitudeFt, u.groundSpeedKt, u.trackDeg, u.verticalSpeed, u.trueAirspeedKt, u.duePoll,
                        u.airborne, u.stationary, u.adsbHeading, r.timestamp, r.hexid, r.checksum);
}

} // namespace rtd

namespace rtd::test {

std::vector<std::string> airborneFields()
{
    return {"RTD", "4840201", "52.31", "4.77", "3000", "-640", "", "184.5", "160", "KLM1234", "B738", "PH-BXA", "EHAM",
            "LEMD", "1700000000.5", "X", "", "adsb_icao", "", "", "170", "", "", "5", "", "183", "", "", "A3", "4711"};
}

std::string trafficDatagram(FieldChanges changes, std::size_t count)
{
    std::vector<std::string> fields = airborneFields();
    fields.resize(count);
    if (count > 0)
        fields.back() = "4711";
    for (const auto& [index, text] : changes)
        fields.at(index) = text;
    return fmt::format("{}", fmt::join(fields, ","));
}

TrafficReport airborneReport()
{
    TrafficReport report;
    report.record.icaoType = "B738";
    report.record.origin = "EHAM";
    report.record.destination = "LEMD";
    report.record.callsign = "KLM1234";
    report.record.registration = "PH-BXA";
    PositionUpdate& u = report.update;
    u.lat = 52.31;
    u.lon = 4.77;
    u.bank = -5 * radiansPerDegree;
    u.trueHeading = 183 * radiansPerDegree;
    u.altitudeFt = 3000;
    u.groundSpeedKt = 160;
    u.trackDeg = 184.5;
    u.verticalSpeed = -640;
    u.trueAirspeedKt = 170;
    u.duePoll = testPoll + 3000;
    u.airborne = true;
    u.adsbHeading = true;
    report.timestamp = 1700000000.5;
    report.hexid = 4840201;
    report.checksum = 4711;
    return report;
}

} // namespace rtd::test
