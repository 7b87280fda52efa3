#include "traffic/engine/parked_static.hpp"

#include "airports/services.hpp"
#include "core/display.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "liveries/services.hpp"
#include "traffic/engine/ai_state.hpp"
#include "traffic/engine/flight_matching.hpp"
#include "traffic/engine/traffic_clock.hpp"
#include "traffic/engine/traffic_thread.hpp"
#include "traffic/simulator_link/ai_commands.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <unordered_set>

namespace rtd {

namespace {

constexpr std::int64_t ticksPerSecond = 10'000'000;
constexpr double degreesPerRadian = 57.29577951308232;
constexpr int halfHoursPerDay = 48;

bool standsInSim(const LiveAI& ai)
{
    return ai.phase == Phase::atStand && ai.simStatus == SimStatus::inSim;
}

// The slot `halfHours` back from `now`, into the previous weekdays when needed.
DaySlot slotBefore(DaySlot now, std::int32_t halfHours)
{
    int weekday = static_cast<int>(slotWeekday(now));
    int halfHour = static_cast<int>(slotHalfHour(now)) - std::max(halfHours, 0);
    while (halfHour < 0) {
        halfHour += halfHoursPerDay;
        weekday = weekday <= 1 ? 7 : weekday - 1;
    }
    return makeDaySlot(static_cast<unsigned>(weekday), static_cast<unsigned>(halfHour));
}

// "AB12__" -> "AB12*"; none: airline, id and "*".
std::string parkedCallsign(std::string callsign, const std::string& airline, std::uint32_t id)
{
    if (callsign.empty())
        return fmt::format("{}{}{}", airline, id, "*");
    while (!callsign.empty() && callsign.back() == '_')
        callsign.pop_back();
    if (callsign.empty() || callsign.back() != '*')
        callsign += '*';
    return callsign;
}

// A live aircraft at the stand or taxiing to it, or at one of the stands overlapping it.
bool liveAircraftBlocks(std::uint32_t standId, const ParkingPosition* stand)
{
    return std::any_of(liveAIList.begin(), liveAIList.end(), [&](const LiveAI& ai) {
        if (ai.phase != Phase::atStand && ai.phase != Phase::taxiToStand)
            return false;
        return ai.standId == standId ||
               (stand != nullptr && std::find(stand->neighbours.begin(), stand->neighbours.end(), ai.standId) !=
                                        stand->neighbours.end());
    });
}

} // namespace

void collectParkedLive(std::vector<LiveParked>& parked)
{
    parked.clear();
    const std::int64_t now = trafficClock().now();
    for (const LiveAI& ai : liveAIList)
        if (standsInSim(ai))
            parked.emplace_back(ai.id(), static_cast<std::uint64_t>(std::max<std::int64_t>(now - ai.parkedSince, 0) /
                                                                     ticksPerSecond));
    std::stable_sort(parked.begin(), parked.end(),
                     [](const LiveParked& a, const LiveParked& b) { return a.second > b.second; });
}

bool removeLiveMaxPark(std::uint64_t hexid, LiveAI& ai)
{
    if (ai.id() != hexid || ai.simStatus != SimStatus::inSim)
        return false;
    logLine(fmt::format("{:}: {:8} max park exceeded, removed", standNameOf(ai.standId), ai.flight.callsign));
    markAIRemoved(ai);
    return true;
}

void enforceMaxParked(int extra)
{
    const int wanted = mainWindowGlobals.maxParkFigure;
    const int live = static_cast<int>(std::count_if(liveAIList.begin(), liveAIList.end(), standsInSim)) + extra;
    if (!INITIAL_LOAD_ONLY.value() && wanted >= 1 && live > wanted) {
        std::vector<LiveParked> parked;
        collectParkedLive(parked);
        if (!parked.empty())
            for (LiveAI& ai : liveAIList)
                if (removeLiveMaxPark(parked.front().first, ai))
                    break;
    }
    // Those being removed count until the simulator confirms it, so a second call does not
    // take one more; one whose creation is still queued has no object to remove.
    ParkedAI* oldest = nullptr;
    int present = 0;
    for (ParkedAI& p : parkedAIList) {
        if (p.simStatus != SimStatus::inSim && p.simStatus != SimStatus::removed)
            continue;
        ++present;
        // Of equal ones the last in the list, as after a stable sort newest first.
        if (oldest == nullptr ||
            isLaterSlot(static_cast<DaySlot>(oldest->arrivalDayHalfHour), static_cast<DaySlot>(p.arrivalDayHalfHour)))
            oldest = &p;
    }
    if (live + present > wanted && oldest != nullptr && oldest->simStatus == SimStatus::inSim)
        markAIRemoved(*oldest);
}

void removeLiveParked(int count)
{
    std::vector<LiveParked> parked;
    collectParkedLive(parked);
    parked.resize(std::min(parked.size(), static_cast<std::size_t>(std::max(count, 0))));
    std::unordered_set<std::uint64_t> chosen;
    for (const LiveParked& entry : parked)
        chosen.insert(entry.first);
    for (LiveAI& ai : liveAIList)
        if (chosen.contains(ai.id())) {
            logLine(fmt::format("live parked {} at {} removed", aircraftLine(ai.flight), standNameOf(ai.standId)));
            markAIRemoved(ai);
        }
}

bool staticFitPending()
{
    return !fitList.empty();
}

void placeStaticParked()
{
    if (parkAirport.stands.empty() || fitList.empty())
        return;
    const FitEntry entry = std::move(fitList.back());
    fitList.pop_back();
    const ParkingPosition* stand = standById(entry.standId);
    if (liveAircraftBlocks(entry.standId, stand)) {
        if (LOG.value())
            logLine(fmt::format("{:8}: no static parking, live aircraft standing here", standNameOf(entry.standId)));
        return;
    }
    if (stand == nullptr) {
        logArrow(fmt::format("stand with id {} not found", entry.standId));
        return;
    }
    const std::uint32_t id = nextParkedAircraftId();
    TrafficRecord record;
    record.airline = entry.airline;
    record.icaoType = entry.type;
    record.registration = entry.registration;
    record.callsign = parkedCallsign(entry.callsign, entry.airline, id);
    FlightRecord flight;
    constructFlightRecord(flight, record);
    flight.category = sizeCategory(entry.type);
    flight.hexid = id;
    if (!matchStaticLivery(flight, stand->name, stand->cargo))
        return; // the matching logs its own line
    ParkedAI parked = constructParkedAI(flight, stand->standId, stand->latitude, stand->longitude, stand->heading,
                                        stand->cargo);
    parked.softFit = entry.soft != 0;
    parked.arrivalDayHalfHour = static_cast<std::int64_t>(slotBefore(dayHalfHour, entry.offset));
    parked.fitValue = entry.state;
    parked.simStatus = SimStatus::requested;
    CreationRequest request;
    request.position = {stand->latitude, stand->longitude, 0.0, 0.0, 0.0,
                        stand->heading * degreesPerRadian, 1, 0};
    request.callsign = parked.flight.callsign;
    request.title = parked.flight.liveryTitle;
    request.aircraftId = id;
    parkedAIList.push_back(std::move(parked));
    parkedCreationBacklog.push_back(std::move(request));
}


} // namespace rtd
