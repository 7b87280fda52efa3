#pragma once
// What the simulator client hands to the traffic thread: the results of creations and
// removals as SimEvents, and the creations sent and not yet identified.

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace rtd {

enum SimEventKind : std::uint32_t {
    CreatedLive = 0,
    CreatedParked = 1,
    Removed = 2,
    GroundData = 3,
    StaticCg = 4,
    CreateFailed = 6,
    CreateLost = 7, // a creation the simulator never identified
    FoundGivenUp = 8, // an object found later under the tail number of a creation given up
};

struct SimEvent {
    std::uint32_t objectId = 0;
    std::uint32_t aircraftId = 0; // for GroundData: the simulator's on-ground value
    std::int32_t setupCounter = 0;
    std::uint32_t kind = CreatedLive;
    double value1 = 0.0;
    double value2 = 0.0;
};

extern std::mutex simEventMutex;           // taken before simConnectMutex
extern std::vector<SimEvent> simEventQueue; // under simEventMutex

// Simulator client thread: appends a copy under simEventMutex.
void pushSimEvent(const SimEvent& event);

struct PendingCreation {
    std::uint32_t packetId = 0;
    std::uint32_t aircraftId = 0;
    std::string callsign; // the tail number sent (simTailNumber)
    std::uint32_t ageSeconds = 0; // simulator seconds since it was sent
};

// Simulator seconds after which a creation or an added object still unidentified is given up.
inline constexpr std::uint32_t creationTimeoutSeconds = 30;

// Creations sent and not yet identified; used on the simulator client thread only.
extern std::vector<PendingCreation> pendingCreations;

// The tail numbers of creations given up unidentified, oldest first: the object of one may
// still turn up, and then nobody owns it. Simulator client thread only.
extern std::vector<std::string> givenUpTails;

// The tail number a creation of this callsign sends: the callsign when the simulator keeps
// it whole and neither a pending creation nor one given up has it, else a form of it that it
// keeps whole, with a static aircraft's trailing "*" and unique among both (the last
// characters before the "*" become a number). The range scan finds the creation by this form,
// so an object is never taken for another creation's.
std::string simTailNumber(std::string_view callsign);

// The first pending creation with this tail number is taken out (the last entry takes its
// place) and its aircraft id returned; 0 when there is none.
std::uint32_t takePendingCreationByCallsign(std::string_view callsign);

// The same by the packet id of its creation call; false when there is none.
bool takePendingCreationByPacketId(std::uint32_t packetId, PendingCreation& taken);

} // namespace rtd
