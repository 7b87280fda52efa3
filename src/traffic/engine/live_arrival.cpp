#include "traffic/engine/live_arrival.hpp"

#include "airports/services.hpp"
#include "core/display.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "traffic/engine/ai_state.hpp"
#include "traffic/engine/motion/live_takeoff_landing.hpp"
#include "traffic/engine/motion/motion_math.hpp"
#include "traffic/engine/parked_static.hpp"
#include "traffic/engine/traffic_clock.hpp"
#include "traffic/engine/traffic_thread.hpp"
#include "traffic/link/service_link.hpp"
#include "traffic/simulator_link/ai_commands.hpp"

#include <fmt/format.h>
#include <cmath>

namespace rtd {
namespace {

constexpr double softLearningRangeNm = 5.0;

void recordStandUse(std::uint32_t hexid, DaySlot now)
{
    standReservations[hexid] = slotHalfHour(now);
}

// Step 2 of soft learning: the aircraft was sighted at a stand in another half hour.
bool learnFromSighting(const LiveAI& ai, DaySlot now)
{
    for (const ParkingPosition& stand : parkAirport.stands) {
        const auto sighting = stand.softSightings.find(ai.id());
        if (sighting == stand.softSightings.end())
            continue;
        if (sighting->second.daySlot == now || !addSoftOption(stand.standId, ai.flight, true, now))
            return false;
        recordStandUse(ai.id(), now);
        return true;
    }
    return false;
}

} // namespace

void checkArrival(LiveAI& ai)
{
    if (distanceNm({ai.lat, ai.lon}, {ai.standLat, ai.standLon}) > arrivedAtStandNm) {
        ai.setPhase(Phase::groundMoving);
        return;
    }
    ai.setPhase(Phase::atStand);
    const DaySlot now = dayHalfHour.load();
    ai.arrivalDayHalfHour = static_cast<std::int64_t>(now);
    if (ai.towed && LOG.value())
        logLine(fmt::format("          towed aircraft {} parks:", aircraftLine(ai.flight)));
    if (!ai.updates.empty())
        ai.updates.front().stationary = true;
    ai.parkedSince = trafficClock().now();
    ai.creepCount = 0;
    ai.creepStart = 0.0;
    ai.creepLast = 0.0;
    markCargoStand(ai);
    initParkedAISystems(ai);
    if (LOG.value())
        logLine(fmt::format("{:8}: {:8} arrived {}", currentTimeText(), ai.flight.callsign, standNameOf(ai.standId)));
    coupledCheckList.push_back(ai.id());
    if (!ai.flight.airline.empty() && (ai.flight.cargo != 0) == ai.cabinLightsOff &&
        addRealOption(ai.standId, ai.flight, false, now, false)) {
        recordStandUse(ai.id(), now);
        enforceMaxParked(0);
    }
}

void learnStandSoft(LiveAI& ai)
{
    if (!LEARN_SOFT.value() || !learnSoftAllowed || !parkAirportSet() || ai.standId != 0 ||
        distanceNm({ai.lat, ai.lon}, parkAirportPosition()) > softLearningRangeNm)
        return;
    const DaySlot now = currentDayAndHalfHour();
    if (learnFromSighting(ai, now))
        return;
    if (!reserveStandForAircraft(now, ai.id(), false))
        return;
    std::vector<ParkingPosition>& stands = parkAirport.stands;
    if (findStandByRegistrationSlot(stands.begin(), stands.end(), ai.flight, now) != stands.end())
        return;
    const StandIterator chosen = chooseFreeStand(now, ai.flight, true);
    if (chosen == stands.end())
        return;
    if (!addSoftOption(chosen->standId, ai.flight, false, now))
        standReservations.erase(ai.id());
}

void markCargoStand(LiveAI& ai)
{
    if (ai.flight.cargo == 0 || ai.cabinLightsOff)
        return;
    for (ParkingPosition& stand : parkAirport.stands)
        if (markCargoAtStand(ai, stand))
            return;
}

bool markCargoAtStand(const LiveAI& ai, ParkingPosition& stand)
{
    if (stand.standId == 0 || stand.standId != ai.standId)
        return false;
    stand.cargo = true;
    stand.cargoChange = true;
    countLearnedChange();
    logArrow(fmt::format("{} stand: {}, cargo attribute set to true, {} parked here", parkAirport.icao, stand.name,
                         aircraftLine(ai.flight)));
    return true;
}

void freezeForLiveryChange(LiveAI& ai)
{
    if (!ai.updates.empty()) {
        if (ai.phase != Phase::atStand) {
            PositionUpdate& front = ai.updates.front();
            if (front.lat == ai.lat && front.lon == ai.lon)
                front.stationary = true;
            PositionUpdate held = front;
            held.lat = ai.lat;
            held.lon = ai.lon;
            held.bank = ai.bank;
            held.altitudeFt = ai.altitude;
            held.duePoll = pollCounter.load() + 1;
            ai.updates.push_front(held);
        } else {
            if (ai.updates.size() >= 2) {
                logLine(fmt::format("{:8}: {} {} livery change stream.size: {} !", standNameOf(ai.standId),
                                    ai.flight.callsign, currentTimeText(), ai.updates.size()));
                ai.updates.erase(ai.updates.begin() + 1, ai.updates.end());
            }
            PositionUpdate& front = ai.updates.front();
            front.stationary = true;
            front.trackDeg = degrees(ai.heading);
            PositionUpdate held = front;
            held.duePoll = pollCounter.load() + 1;
            ai.updates.push_front(held);
        }
    }
    ai.simStatus = SimStatus::liveryChange;
}

void addParkedAge(const ParkedAI& parked, DaySlot now, std::int32_t& count, std::uint64_t& halfHours)
{
    if (parked.simStatus != SimStatus::inSim && parked.simStatus != SimStatus::removed)
        return;
    ++count;
    const auto since = static_cast<DaySlot>(parked.arrivalDayHalfHour);
    if (since != now && isLaterSlot(now, since))
        halfHours += compareDayHalfHour(now, since);
}

std::int32_t countParkedAIInSim(bool updateWindow)
{
    const DaySlot now = dayHalfHour.load();
    std::int32_t count = 0;
    std::uint64_t halfHours = 0;
    for (const ParkedAI& parked : parkedAIList)
        addParkedAge(parked, now, count, halfHours);
    if (updateWindow && !WEEK.value()) {
        const float figure =
            count == 0 ? 0.0f : static_cast<float>(static_cast<double>(halfHours) / (2.0 * count) + 0.5);
        if (mainWindowGlobals.staticAverageFit.exchange(figure) != figure)
            windowDisplay().invalidate(countersBand);
    }
    return count;
}

} // namespace rtd
