#include "traffic/engine/flight_matching.hpp"

namespace rtd {

namespace {

void takeMatchResult(FlightRecord& flight, const MatchRecord& match)
{
    flight.cargo = match.cargo;
    flight.fsltlLivery = match.fsltl;
    flight.liveryTitle = match.livery;
}

} // namespace

MatchRecord matchRecordOf(const FlightRecord& flight)
{
    MatchRecord match;
    match.airline = flight.airline;
    match.model = flight.icaoType;
    match.registration = flight.registration;
    match.category = flight.category;
    match.cargo = flight.cargo;
    match.fsltl = flight.fsltlLivery;
    match.livery = flight.liveryTitle;
    match.aircraftLine = [&flight] { return aircraftLine(flight); };
    match.pairText = [&flight] { return pairText(flight); };
    return match;
}

void matchLivery(FlightRecord& flight)
{
    MatchRecord match = matchRecordOf(flight);
    matchLivery(match);
    takeMatchResult(flight, match);
}

bool matchStaticLivery(FlightRecord& flight, std::string_view standName, bool cargoStand)
{
    MatchRecord match = matchRecordOf(flight);
    const bool found = matchStaticLivery(match, standName, cargoStand);
    takeMatchResult(flight, match);
    return found;
}

} // namespace rtd
