#include "traffic/airport_port.hpp"

#include "airports/stands.hpp"
#include "core/display.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "traffic/ai_commands.hpp"
#include "traffic/ai_state.hpp"
#include "traffic/live_rules.hpp"
#include "traffic/service_link.hpp"
#include "traffic/sim_client.hpp"
#include "traffic/traffic_thread.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <unordered_set>

namespace rtd {

namespace {

constexpr std::int64_t ticksPerSecond = 10'000'000;
constexpr std::int64_t longStaySeconds = 90 * 60;
constexpr std::int64_t heavyLongStaySeconds = 180 * 60;

bool atStandInSim(const LiveAI& ai)
{
    return ai.phase == Phase::atStand && ai.simStatus == SimStatus::inSim;
}

// The live aircraft at stands in the simulator, longest parked first.
std::vector<std::uint32_t> liveParkedLongestFirst()
{
    std::vector<const LiveAI*> parked;
    for (const LiveAI& ai : liveAIList)
        if (atStandInSim(ai))
            parked.push_back(&ai);
    std::stable_sort(parked.begin(), parked.end(),
                     [](const LiveAI* a, const LiveAI* b) { return a->parkedSince < b->parkedSince; });
    std::vector<std::uint32_t> hexids;
    for (const LiveAI* ai : parked)
        hexids.push_back(ai->id());
    return hexids;
}

} // namespace

std::int64_t wallClockTicks()
{
    return wallClockSeconds() * ticksPerSecond;
}

void ReaderTrafficPort::setParkAirport(std::string_view icao, LatLon position)
{
    trafficReader.setParkAirport(icao, position);
}

void ReaderTrafficPort::setParkElevation(std::optional<double> elevationFt)
{
    trafficReader.setParkElevation(elevationFt);
}

UserStateView ReaderTrafficPort::userState()
{
    const UserAircraftState state = userAircraftState();
    return {state.position(), state.altitudeFt, userOnGround, userOnGroundKnown};
}

std::vector<ParkedAircraftView> ReaderTrafficPort::parkedAircraft()
{
    std::vector<ParkedAircraftView> views;
    views.reserve(parkedAIList.size());
    for (const ParkedAI& ai : parkedAIList)
        views.push_back({ai.standId, {ai.standLat, ai.standLon}, ai.flight.halfSpan, ai.flight.callsign,
                         ai.flight.airline, ai.flight.icaoType, static_cast<std::uint32_t>(ai.simStatus),
                         ai.removeWhenCreated, ai.flight.firstCallsign, ai.flight.spareText,
                         static_cast<DaySlot>(ai.arrivalDayHalfHour)});
    return views;
}

void ReaderTrafficPort::lockParkingControls()
{
    rtd::parkingBusy = true;
}

void ReaderTrafficPort::unlockParkingControls()
{
    rtd::parkingBusy = false;
}

bool ReaderTrafficPort::parkingBusy()
{
    return rtd::parkingBusy;
}

void ReaderTrafficPort::startLiveCallsignCollection()
{
    trafficReader.clearLiveCallsignsSeen();
    trafficReader.staticCalculation = true;
}

void ReaderTrafficPort::clearRecalcMarks()
{
    for (LiveAI& ai : liveAIList)
        ai.recalcMark = false;
}

DaySlot ReaderTrafficPort::dayHalfHour()
{
    return rtd::dayHalfHour;
}

std::set<std::string, std::less<>> ReaderTrafficPort::takeLiveCallsigns()
{
    trafficReader.staticCalculation = false;
    std::set<std::string, std::less<>> seen = trafficReader.liveCallsignsSeen();
    trafficReader.clearLiveCallsignsSeen();
    return seen;
}

std::vector<LiveStayer> ReaderTrafficPort::purgeOldLiveRecords()
{
    std::vector<LiveStayer> stayers;
    const std::int64_t now = wallClockTicks();
    const bool mayRemove = !INITIAL_LOAD_ONLY.value();
    for (LiveAI& ai : liveAIList) {
        if (!atStandInSim(ai))
            continue;
        if (!ai.recalcMark && mayRemove) {
            const std::int64_t limit = ai.flight.category == Heavy ? heavyLongStaySeconds : longStaySeconds;
            if ((now - ai.parkedSince) / ticksPerSecond > limit) {
                markAIRemoved(ai);
                continue;
            }
        }
        stayers.push_back({ai.flight.callsign, ai.standId});
    }
    std::stable_sort(stayers.begin(), stayers.end(),
                     [](const LiveStayer& a, const LiveStayer& b) { return a.standId < b.standId; });
    return stayers;
}

void ReaderTrafficPort::removeLiveParked(int count)
{
    std::vector<std::uint32_t> hexids = liveParkedLongestFirst();
    hexids.resize(std::min(hexids.size(), static_cast<std::size_t>(std::max(count, 0))));
    const std::unordered_set<std::uint32_t> chosen(hexids.begin(), hexids.end());
    for (LiveAI& ai : liveAIList)
        if (chosen.contains(ai.id())) {
            logLine(fmt::format("live parked {} at {} removed", aircraftLine(ai.flight), standNameOf(ai.standId)));
            markAIRemoved(ai);
        }
}

void ReaderTrafficPort::removeLiveStayer(const LiveStayer& stayer)
{
    for (LiveAI& ai : liveAIList)
        if (atStandInSim(ai) && ai.standId == stayer.standId && ai.flight.callsign == stayer.callsign) {
            markAIRemoved(ai);
            return;
        }
}

void ReaderTrafficPort::removeParked(std::string_view callsign, std::uint32_t standId)
{
    for (ParkedAI& ai : parkedAIList)
        if (ai.standId == standId && ai.flight.callsign == callsign &&
            (ai.simStatus == SimStatus::inSim || ai.simStatus == SimStatus::removed))
            markAIRemoved(ai);
}

void ReaderTrafficPort::removeOrRetryParked()
{
    rtd::removeOrRetryParked();
}

void ReaderTrafficPort::removeLiveAtStands()
{
    std::vector<std::string> queued;
    for (LiveAI& ai : liveAIList) {
        if (ai.phase != Phase::atStand)
            continue;
        if (ai.simStatus == SimStatus::inSim)
            markAIRemoved(ai);
        else if (ai.simStatus == SimStatus::requested)
            queued.push_back(ai.flight.callsign);
    }
    for (const std::string& callsign : queued)
        if (!dropQueuedCreationsByCallsign2(callsign))
            for (LiveAI& ai : liveAIList)
                if (ai.flight.callsign == callsign && ai.simStatus == SimStatus::requested)
                    ai.removeWhenCreated = true;
    for (LiveAI& ai : liveAIList)
        if (ai.simStatus == SimStatus::inSim) {
            ai.standLat = ai.standLon = ai.standHeading = 0.0;
            ai.standId = 0;
        }
}

void ReaderTrafficPort::applyMaxLive()
{
    rtd::applyMaxLive();
}

void installReaderTrafficPort()
{
    static ReaderTrafficPort port;
    installTrafficPort(&port);
}

} // namespace rtd
