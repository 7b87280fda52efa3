#include "traffic/engine/airport_port.hpp"

#include "airports/services.hpp"
#include "core/display.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "traffic/engine/ai_state.hpp"
#include "traffic/engine/live_arrival.hpp"
#include "traffic/engine/live_rules.hpp"
#include "traffic/engine/parked_static.hpp"
#include "traffic/engine/traffic_thread.hpp"
#include "traffic/link/service_link.hpp"
#include "traffic/simulator_link/ai_commands.hpp"
#include "traffic/simulator_link/sim_client.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <unordered_set>

namespace rtd {

namespace {

bool atStandInSim(const LiveAI& ai)
{
    return ai.phase == Phase::atStand && ai.simStatus == SimStatus::inSim;
}

} // namespace

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

void ReaderTrafficPort::countParkedAIInSim()
{
    rtd::countParkedAIInSim(true);
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
    return rtd::purgeOldLiveRecords();
}

void ReaderTrafficPort::removeLiveParked(int count)
{
    rtd::removeLiveParked(count);
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

void ReaderTrafficPort::countLiveAIAtStands()
{
    rtd::countLiveAIAtStands();
}

void ReaderTrafficPort::removeParkedAtStand(std::string_view standName)
{
    rtd::removeParkedAtStand(standName);
}

void installReaderTrafficPort()
{
    static ReaderTrafficPort port;
    installTrafficPort(&port);
}

} // namespace rtd
