#include "traffic/live_rules.hpp"

#include "airports/services.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "liveries/services.hpp"
#include "traffic/ai_commands.hpp"
#include "traffic/ai_state.hpp"
#include "traffic/flight_matching.hpp"
#include "traffic/traffic_thread.hpp"

#include <fmt/format.h>
#include <algorithm>

namespace rtd {

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
    heldCallsigns.push_back(ghost);
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

void removeParkedWithSameHexid(LiveAI&) {}

void removeOrRetryParked() {}

void removeParkedAtStand() {}

bool applyStandCallsignRules(bool&, std::uint32_t, const std::string&, LiveAI&)
{
    return false;
}

bool removeForCollisionAvoidance(const LiveAI&, ParkedAI&)
{
    return false;
}

} // namespace rtd
