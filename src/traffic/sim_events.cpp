#include "traffic/sim_events.hpp"

#include <algorithm>

namespace rtd {

std::mutex simEventMutex;
std::vector<SimEvent> simEventQueue;
std::vector<PendingCreation> pendingCreations;

namespace {

template <typename Match>
bool takePending(Match match, PendingCreation& taken)
{
    const auto found = std::find_if(pendingCreations.begin(), pendingCreations.end(), match);
    if (found == pendingCreations.end())
        return false;
    taken = std::move(*found);
    *found = std::move(pendingCreations.back());
    pendingCreations.pop_back();
    return true;
}

} // namespace

void pushSimEvent(const SimEvent& event)
{
    std::lock_guard lock(simEventMutex);
    simEventQueue.push_back(event);
}

std::uint32_t takePendingCreationByCallsign(std::string_view callsign)
{
    PendingCreation taken;
    return takePending([callsign](const PendingCreation& p) { return p.callsign == callsign; }, taken)
               ? taken.aircraftId
               : 0;
}

bool takePendingCreationByPacketId(std::uint32_t packetId, PendingCreation& taken)
{
    return takePending([packetId](const PendingCreation& p) { return p.packetId == packetId; }, taken);
}

} // namespace rtd
