#include "traffic/engine/ai_state.hpp"

#include "core/parameters.hpp"

#include <algorithm>
#include <mutex>

namespace rtd {

std::vector<LiveAI> liveAIList;
std::vector<ParkedAI> parkedAIList;
std::deque<std::uint32_t> removalBacklog;
std::deque<CreationRequest> liveCreationBacklog;
std::deque<CreationRequest> parkedCreationBacklog;
std::list<std::uint32_t, RecyclingAllocator<std::uint32_t>> coupledCheckList;
std::atomic<std::uint32_t> followedObjectId{0};
std::vector<SimEvent> pendingSetups;
std::atomic<bool> navLightsRequest{false};

namespace {

constexpr std::uint32_t lastParkedId = 9999;
std::uint32_t parkedIdCounter = 0;

} // namespace

void reserveAIContainers()
{
    liveAIList.reserve(512);
    parkedAIList.reserve(256);
    {
        std::lock_guard lock(simEventMutex);
        simEventQueue.reserve(256);
        pendingSetups.reserve(128);
    }
    reserveAIQueues(512);
}

void clearAIContainers()
{
    {
        std::lock_guard lock(simEventMutex);
        simEventQueue.clear();
        pendingSetups.clear();
    }
    removalBacklog.clear();
    liveCreationBacklog.clear();
    parkedCreationBacklog.clear();
    parkedAIList.clear();
    liveAIList.clear();
}

void applyNavLightsRequest()
{
    if (!navLightsRequest.exchange(false))
        return;
    const std::uint32_t value = NAV_LIGHTS_WHILE_PARKED.value() ? 1 : 0;
    for (const ParkedAI& parked : parkedAIList)
        if (parked.simStatus == SimStatus::inSim && parked.objectId != 0)
            queueNavLightsSet(parked.objectId, value);
    for (const LiveAI& live : liveAIList)
        if (live.simStatus == SimStatus::inSim && live.objectId != 0 && live.phase == Phase::atStand)
            queueNavLightsSet(live.objectId, value);
}

std::uint32_t nextParkedAircraftId()
{
    for (std::uint32_t tries = 0; tries < lastParkedId; ++tries) {
        parkedIdCounter = parkedIdCounter >= lastParkedId ? 1 : parkedIdCounter + 1;
        const std::uint32_t id = parkedIdCounter;
        if (std::none_of(parkedAIList.begin(), parkedAIList.end(), [id](const ParkedAI& p) { return p.id() == id; }))
            return id;
    }
    return parkedIdCounter;
}

void resetParkedAircraftId()
{
    parkedIdCounter = 0;
}

} // namespace rtd
