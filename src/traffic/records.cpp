#include "traffic/records.hpp"

#include "core/random.hpp"
#include "liveries/livery_text.hpp"

#include <fmt/format.h>

namespace rtd {

namespace {

bool isAsciiUpper(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 'A' && byte <= 'Z';
}

bool isAsciiDigit(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte >= '0' && byte <= '9';
}

} // namespace

void constructFlightRecord(FlightRecord& flight, const TrafficRecord& record)
{
    flight = FlightRecord{};
    static_cast<TrafficRecord&>(flight) = record;
    flight.halfSpan = wingspanOf(record.icaoType);
    const auto category = static_cast<std::size_t>(sizeCategory(record.icaoType));
    flight.flarePolls = flarePollsTable.at(category);
    flight.onGroundPolls = onGroundPollsTable.at(category);
    flight.rotationPolls = rotationPollsTable.at(category);
    flight.climbPitchPolls = climbPitchPollsTable.at(category);
    flight.rotationPitch =
        jitterPercent(rotationPitchDegTable.at(category), rotationPitchJitterPercent) * radiansPerDegree;
    flight.climbPitch = jitterPercent(climbPitchDegTable.at(category), climbPitchJitterPercent) * radiansPerDegree;
}

bool isAirlineCallsign(TrafficRecord& record)
{
    const std::string& callsign = record.callsign;
    if (callsign.size() < 4 || !isAsciiUpper(callsign[0]) || !isAsciiUpper(callsign[1]) ||
        !isAsciiUpper(callsign[2]) || !isAsciiDigit(callsign[3]))
        return false;
    record.airline = callsign.substr(0, 3);
    return true;
}

bool sameAircraft(const TrafficRecord& a, const TrafficRecord& b)
{
    return a.airline == b.airline && a.icaoType == b.icaoType;
}

std::string typeText(const TrafficRecord& record)
{
    return typeText(record.airline, record.icaoType);
}

std::string field8Text(const TrafficRecord& record)
{
    return fmt::format("{:8}", record.callsign);
}

std::string routeText(const TrafficRecord& record)
{
    if (record.origin.empty() && record.destination.empty())
        return std::string(8, ' ');
    return fmt::format("{:3}->{:3}", record.origin, record.destination);
}

std::string pairText(const TrafficRecord& record)
{
    return fmt::format("{} {} {}", field8Text(record), record.registration, typeText(record));
}

std::string aircraftLine(const TrafficRecord& record)
{
    return fmt::format("{} {:8} {} {}", field8Text(record), record.registration, routeText(record), typeText(record));
}

} // namespace rtd
