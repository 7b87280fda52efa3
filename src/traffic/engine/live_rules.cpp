#include "traffic/engine/live_rules.hpp"

#include "airports/services.hpp"
#include "core/display.hpp"
#include "core/geo.hpp"
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

namespace rtd {

namespace {

constexpr std::int64_t ticksPerMinute = 60 * 10'000'000LL;
constexpr std::int64_t longStayTicks = 90 * ticksPerMinute;
constexpr std::int64_t heavyStayTicks = 180 * ticksPerMinute;
constexpr double collisionMarginFactor = 1.1;

// A live aircraft standing at the stand: in the simulator, or placed there and still to be
// created, so that no stand gets two.
bool standsAt(const LiveAI& ai, std::uint32_t standId)
{
    return ai.phase == Phase::atStand && ai.standId == standId && !ai.erase && ai.simStatus != SimStatus::removed;
}

// One without an object and none asked for leaves the list; the others are removed.
void removeFromStand(LiveAI& ai)
{
    if (ai.simStatus == SimStatus::waiting)
        ai.erase = true;
    else
        markAIRemoved(ai);
}

std::string_view withoutLast(std::string_view text)
{
    return text.empty() ? text : text.substr(0, text.size() - 1);
}

// Held once, however often its aircraft is removed.
void holdCallsign(const std::string& ghost)
{
    if (std::find(heldCallsigns.begin(), heldCallsigns.end(), ghost) == heldCallsigns.end())
        heldCallsigns.push_back(ghost);
}

} // namespace

bool matchLiveryCached(LiveAI& ai)
{
    if (!ai.flight.liveryTitle.empty())
        return true;
    LiveryRef cached;
    if (const auto entry = liveryMatchCache.find(ai.id()); entry != liveryMatchCache.end()) {
        if (std::find(excludedTitles.begin(), excludedTitles.end(), entry->second) != excludedTitles.end())
            liveryMatchCache.erase(entry);
        else
            cached = entry->second;
    }
    if (cached.empty()) {
        matchLivery(ai.flight);
        if (ai.flight.liveryTitle.empty())
            return false;
        liveryMatchCache[ai.id()] = ai.flight.liveryTitle;
        return true;
    }
    ai.flight.liveryTitle = cached;
    if (LOG.value() && !ai.headingOverrideSet)
        logLine(fmt::format("          {} =c= {}", aircraftLine(ai.flight), cached));
    return true;
}

bool dropQueuedCreationsByCallsign2(std::string_view callsign)
{
    bool dropped = false;
    for (auto entry = liveCreationBacklog.begin(); entry != liveCreationBacklog.end();) {
        if (entry->callsign != callsign) {
            ++entry;
            continue;
        }
        const std::uint32_t id = entry->aircraftId;
        for (LiveAI& ai : liveAIList)
            if (ai.id() == id)
                ai.erase = true;
        entry = liveCreationBacklog.erase(entry);
        dropped = true;
    }
    return dropped;
}

void removeGhostOfCallsign(const std::string& callsign)
{
    const std::string ghost = callsign + "_";
    const auto found = std::find_if(liveAIList.begin(), liveAIList.end(), [&ghost](const LiveAI& ai) {
        return ai.flight.callsign == ghost && ai.simStatus != SimStatus::removed;
    });
    if (found == liveAIList.end())
        return;
    if (LOG.value()) {
        if (found->phase == Phase::atStand)
            logLine(fmt::format("{:8}: {:8} is a ghost and will be removed, continues with {}",
                                standNameOf(found->standId), ghost, callsign));
        else
            logLine(fmt::format("          {:8} is a ghost and will be removed, continues with {}", ghost, callsign));
    }
    holdCallsign(ghost);
    if (found->simStatus == SimStatus::waiting)
        found->erase = true;
    else
        markAIRemoved(*found);
}

bool hasGhostOwner(std::string_view ghostCallsign)
{
    if (ghostCallsign.empty())
        return false;
    const std::string_view owner = ghostCallsign.substr(0, ghostCallsign.size() - 1);
    return std::any_of(liveAIList.begin(), liveAIList.end(), [owner](const LiveAI& ai) {
        return ai.simStatus != SimStatus::removed && ai.flight.callsign == owner;
    });
}

bool isParkedTwin(const LiveAI& ai, const ParkedAI& parked)
{
    if (parked.simStatus != SimStatus::inSim)
        return false;
    const FlightRecord& a = ai.flight;
    const FlightRecord& p = parked.flight;
    if (parked.optionHexidKnown && parked.optionHexid == a.hexid)
        return true;
    const auto namesCoupled = [&p](const std::string& callsign) {
        return !callsign.empty() && (p.firstCallsign == callsign || p.spareText == callsign);
    };
    if (p.callsign == a.callsign + "*" || namesCoupled(a.callsign) || namesCoupled(a.spareText))
        return true;
    if (a.callsign.size() < 2 || a.callsign.back() != '_')
        return false;
    const std::string owner = a.callsign.substr(0, a.callsign.size() - 1);
    return p.callsign == owner + "*" || namesCoupled(owner);
}

void removeParkedWithSameHexid(const LiveAI& ai)
{
    if (ai.flight.callsign.empty())
        return;
    const auto twin = std::find_if(parkedAIList.begin(), parkedAIList.end(),
                                   [&ai](const ParkedAI& p) { return isParkedTwin(ai, p); });
    if (twin == parkedAIList.end())
        return;
    if (LOG.value()) {
        const FlightRecord& p = twin->flight;
        if (twin->optionHexidKnown && twin->optionHexid == ai.flight.hexid)
            logLine(fmt::format("{:8}: {:8} [PT] removed, because live {} has same hexid ", standNameOf(twin->standId),
                                p.callsign, ai.flight.callsign));
        else
            logLine(fmt::format("{:8}: {:8} [\"{}\" \"{}\" ] removed, because live {} [\"{}\"]",
                                standNameOf(twin->standId), p.callsign, p.firstCallsign, p.spareText,
                                ai.flight.callsign, ai.flight.spareText));
    }
    markAIRemoved(*twin);
}

void removeOrRetryParked()
{
    // Withdrawing a queued creation erases its aircraft from parkedAIList: collect first.
    std::vector<std::string> queued;
    for (ParkedAI& parked : parkedAIList) {
        if (parked.simStatus == SimStatus::inSim)
            markAIRemoved(parked);
        else if (parked.simStatus == SimStatus::requested)
            queued.push_back(parked.flight.callsign);
    }
    for (const std::string& callsign : queued) {
        if (dropQueuedCreationsByCallsign(callsign))
            continue;
        for (ParkedAI& parked : parkedAIList)
            if (parked.simStatus == SimStatus::requested && parked.flight.callsign == callsign)
                parked.removeWhenCreated = true;
    }
}

void removeParkedAtStand()
{
    removeParkedAtStand(reservedStandName);
}

void removeParkedAtStand(std::string_view standName)
{
    const auto stand = findStandByName(standName);
    if (standName.empty() || stand == parkAirport.stands.end())
        return;
    const std::uint32_t standId = stand->standId;
    for (ParkedAI& parked : parkedAIList)
        if (parked.standId == standId && parked.simStatus == SimStatus::inSim) {
            markAIRemoved(parked);
            return;
        }
    for (LiveAI& ai : liveAIList)
        if (ai.standId == standId && ai.phase == Phase::atStand && ai.simStatus == SimStatus::inSim) {
            markAIRemoved(ai);
            return;
        }
}

int countLiveAIAtStands()
{
    int count = 0;
    std::uint64_t halfHours = 0;
    const DaySlot now = dayHalfHour;
    for (const LiveAI& ai : liveAIList)
        if (ai.phase == Phase::atStand && ai.simStatus == SimStatus::inSim) {
            ++count;
            halfHours += compareDayHalfHour(static_cast<DaySlot>(ai.arrivalDayHalfHour), now);
        }
    const float hours = count == 0 ? 0.0f : static_cast<float>(static_cast<double>(halfHours) / (2.0 * count) + 0.5);
    if (mainWindowGlobals.liveAverageFit.exchange(hours) != hours)
        windowDisplay().invalidate(countersBand);
    return count;
}

std::vector<LiveStayer> purgeOldLiveRecords()
{
    std::vector<LiveStayer> stayers;
    const std::int64_t now = trafficClock().now();
    const bool mayRemove = !INITIAL_LOAD_ONLY.value();
    for (LiveAI& ai : liveAIList) {
        if (ai.phase != Phase::atStand || ai.simStatus != SimStatus::inSim)
            continue;
        if (!ai.recalcMark && mayRemove) {
            const std::int64_t limit = ai.flight.category == Heavy ? heavyStayTicks : longStayTicks;
            if (now - ai.parkedSince > limit) {
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

bool applyStandCallsignRules(bool& keep, std::uint32_t standId, const std::string& newCallsign, LiveAI& existing)
{
    if (!standsAt(existing, standId))
        return false;
    const std::string& callsign = existing.flight.callsign;
    const std::string stand = standNameOf(standId);
    const auto log = [](std::string line) {
        if (LOG.value())
            logLine(line);
    };
    if (callsign == newCallsign) {
        keep = true;
        log(fmt::format("{:8}: {:8} ac with same callsign {} wants it, remove existing ... ", stand, callsign,
                        newCallsign));
        removeFromStand(existing);
    } else if (withoutLast(newCallsign) == callsign) {
        keep = false;
        log(fmt::format("{:8}: {:8} ghost {} wants it, but don't do it ... ", stand, callsign, newCallsign));
    } else if (withoutLast(callsign) == newCallsign) {
        keep = true;
        log(fmt::format("{:8}: {:8} ghost, replace by {}", stand, callsign, newCallsign));
        // Held like every removed ghost, so that its next report does not bring it back.
        holdCallsign(callsign);
        removeFromStand(existing);
    } else if (existing.recalcMark) {
        keep = false;
        log(fmt::format("{:8}: {:8} other live {} wants it, but I'm just here ... ", stand, callsign, newCallsign));
    } else {
        log(fmt::format("{:8}: {:8} removed because of new {}", stand, callsign, newCallsign));
        removeFromStand(existing);
    }
    return true;
}

bool removeAdjacentLive(std::uint32_t adjacentStandId, double standLat, double standLon, const LiveAI& newAI,
                        LiveAI& existing)
{
    if (!standsAt(existing, adjacentStandId) || existing.flight.callsign == newAI.flight.callsign)
        return false;
    LatLon adjacent{existing.standLat, existing.standLon};
    if (const ParkingPosition* stand = standById(adjacentStandId))
        adjacent = {stand->latitude, stand->longitude};
    if (newAI.flight.halfSpan + existing.flight.halfSpan <=
        distanceNm({standLat, standLon}, adjacent) + adjacentMarginNm)
        return false;
    if (LOG.value())
        logLine(fmt::format("{:8}: {:8} removed by adjacent parking {} {}", standNameOf(adjacentStandId),
                            existing.flight.callsign, newAI.flight.callsign, typeText(newAI.flight)));
    removeFromStand(existing);
    return true;
}

bool removeLiveAtStand(std::uint32_t standId, const std::string& newCallsign, LiveAI& existing)
{
    if (!standsAt(existing, standId) || existing.flight.callsign == newCallsign)
        return false;
    if (LOG.value())
        logLine(fmt::format("{:8}: {:8} removed by parking {} {}", standNameOf(standId), existing.flight.callsign,
                            newCallsign, typeText(existing.flight)));
    removeFromStand(existing);
    return true;
}

bool removeForCollisionAvoidance(const LiveAI& live, ParkedAI& parked)
{
    if (parked.simStatus != SimStatus::inSim ||
        distanceNm({live.lat, live.lon}, {parked.standLat, parked.standLon}) >
            (parked.flight.halfSpan + live.flight.halfSpan) * collisionMarginFactor)
        return false;
    if (LOG.value())
        logLine(fmt::format("{:8}: {:8} removed for collision avoidance with live {}", standNameOf(parked.standId),
                            parked.flight.callsign, live.flight.callsign));
    markAIRemoved(parked);
    return true;
}

} // namespace rtd
