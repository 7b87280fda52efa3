#include "airports/parking/fake_parking.hpp"

#include "airports/files/stand_option.hpp"
#include "core/random.hpp"
#include "liveries/dbase.hpp"

#include <fmt/format.h>
#include <array>

namespace rtd {

namespace {

const std::vector<FakePair> kPairs{{"UAL", "B77W"}, {"DAL", "B739"}, {"JBU", "BCS3"}, {"FFT", "A320"},
                                   {"UAL", "B78X"}, {"UAL", "B738"}, {"AAL", "B738"}, {"SKW", "E75L"},
                                   {"SWA", "B737"}, {"FFT", "A320"}};
const std::vector<FakePair> cPairs{{"ACA", "B789"}, {"ACA", "B38M"}, {"ROU", "A321"}, {"JZA", "CRJ9"}};
const std::vector<FakePair> ePairs{{"KLM", "B77W"}, {"SAS", "A320"}, {"EZY", "A320"}, {"RYR", "B738"},
                                   {"DLH", "A320"}, {"KLM", "B738"}, {"BAW", "A21N"}};
const std::vector<FakePair> zPairs{{"CSA", "A320"}, {"CES", "A333"}, {"CES", "A321"}};
const std::vector<FakePair> rPairs{{"ANA", "A20N"}, {"JAL", "A35K"}, {"JAL", "B738"}};
const std::vector<FakePair> noPairs;

const std::vector<FakePair> cargoPairs{
    {"FDX", "C208"}, {"FDX", "B752"}, {"FDX", "B763"}, {"UPS", "A306"}, {"DHK", "B763"}};
constexpr std::string_view privateAirline = "PVT";
constexpr std::array<std::string_view, 19> generalAviationTypes{
    "C172", "C206", "P28A", "PC12", "C550", "TBM9", "LJ25", "GLF6", "FA6X", "FA8X",
    "GLF4", "GLF5", "LJ60", "DHC7", "DH8A", "DH8C", "E550", "CL30", "GA6C"};
constexpr FakePair helipadPair{privateAirline, "EC35"};
constexpr FakePair defaultPair{"ZZZ", "B738"};

bool fits(const ParkingPosition& stand, std::string_view type)
{
    return slotCheck(stand.radius, wingspanOf(type));
}

std::vector<FakePair> candidatesFor(const FakeContext& context, const ParkingPosition& stand)
{
    std::vector<FakePair> candidates;
    const auto addFitting = [&](const std::vector<FakePair>& pairs) {
        for (const FakePair& pair : pairs)
            if (fits(stand, pair.type))
                candidates.push_back(pair);
    };
    if (stand.heli) {
        candidates.push_back(helipadPair);
    } else if (stand.cargo) {
        addFitting(cargoPairs);
    } else if (stand.ramp) {
        for (const std::string_view type : generalAviationTypes)
            if (fits(stand, type))
                candidates.push_back({privateAirline, type});
    } else if (const std::vector<FakePair>& regional = regionalFakePairs(context.icao.empty() ? '\0' : context.icao[0]);
               !regional.empty()) {
        addFitting(regional);
    } else {
        candidates.push_back(defaultPair);
    }
    return candidates;
}

} // namespace

const std::vector<FakePair>& regionalFakePairs(char letter)
{
    switch (letter) {
    case 'K':
        return kPairs;
    case 'C':
        return cPairs;
    case 'E':
        return ePairs;
    case 'Z':
        return zPairs;
    case 'R':
        return rPairs;
    default:
        return noPairs;
    }
}

void buildFakeAircraftTables(std::string_view icao, std::vector<ParkingPosition>& stands)
{
    const DaySlot now = currentDayAndHalfHour();
    FakeContext context{icao, slotWeekday(now), halfHourBit(static_cast<int>(slotHalfHour(now))), 1};
    for (ParkingPosition& stand : stands)
        assignFakeParkedAircraft(context, stand);
}

void assignFakeParkedAircraft(FakeContext& context, ParkingPosition& stand)
{
    const std::vector<FakePair> candidates = candidatesFor(context, stand);
    if (candidates.empty())
        return;
    const FakePair& pair = candidates[static_cast<std::size_t>(randomIndex(static_cast<std::int64_t>(candidates.size())))];
    if (pair.airline.empty())
        return;
    StandOption option;
    option.airline = pair.airline;
    option.type = pair.type;
    option.registration = fmt::format("REGFAKE{}", context.next);
    option.callsign = fmt::format("FAKE{}", context.next);
    option.halfHours = context.halfHours;
    option.number = stand.options.empty() ? 1 : stand.options.back().number + 1;
    option.day = context.day;
    option.learned = true;
    option.fake = true;
    stand.options.push_back(std::move(option));
    ++context.next;
}

} // namespace rtd
