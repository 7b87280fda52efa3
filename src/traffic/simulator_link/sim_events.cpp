#include "traffic/simulator_link/sim_events.hpp"

#include "simulator/simconnect.hpp"

#include <fmt/format.h>
#include <algorithm>

namespace rtd {

std::mutex simEventMutex;
std::vector<SimEvent> simEventQueue;
std::vector<PendingCreation> pendingCreations;
std::vector<std::string> givenUpTails;

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

bool tailTaken(std::string_view tail)
{
    return std::any_of(pendingCreations.begin(), pendingCreations.end(),
                       [tail](const PendingCreation& p) { return p.callsign == tail; }) ||
           std::find(givenUpTails.begin(), givenUpTails.end(), tail) != givenUpTails.end();
}

} // namespace

std::string simTailNumber(std::string_view callsign)
{
    const bool isStatic = callsign.ends_with('*');
    const std::string_view body = isStatic ? callsign.substr(0, callsign.size() - 1) : callsign;
    // The range scan finds an object by its "ATC ID", which keeps fewer characters than a
    // creation's tail number: the tail sent fits both.
    constexpr std::size_t limit = std::min(sim::maxTailNumberChars, sim::maxAtcIdChars);
    const std::size_t room = limit - (isStatic ? 1 : 0);
    const std::string_view suffix = isStatic ? "*" : "";
    std::string tail = fmt::format("{}{}", body.substr(0, room), suffix);
    for (unsigned n = 1; tailTaken(tail) && n < 100000; ++n) {
        const std::string number = std::to_string(n);
        tail = fmt::format("{}{}{}", body.substr(0, room - number.size()), number, suffix);
    }
    return tail;
}

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
