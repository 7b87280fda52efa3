#pragma once
// The rules between aircraft that belong to one flight or one stand: the cached livery of a
// live aircraft, withdrawn queued creations, ghosts (a callsign followed by "_"), and the
// twins and neighbours at stands.
//
// Every rule ends in markAIRemoved for an aircraft in the simulator or the erase flag for
// one that is not. All on the traffic thread.

#include "traffic/ai_objects.hpp"

#include <string>
#include <string_view>

namespace rtd {

// True when the aircraft has a livery title afterwards, from the cache or a new match.
bool matchLiveryCached(LiveAI& ai);
// Withdraws the queued live creations with this callsign; their aircraft are flagged for
// erasing and leave liveAIList at the next compaction, so a caller may run this inside a
// loop over the list. True when any entry was withdrawn.
bool dropQueuedCreationsByCallsign2(std::string_view callsign);
// The ghost of the callsign (the callsign followed by "_") is removed and held.
void removeGhostOfCallsign(const std::string& callsign);
// True when a live aircraft not removed carries the callsign without its last character.
bool hasGhostOwner(std::string_view ghostCallsign);

// Every static parked aircraft is removed; one whose creation is queued is withdrawn, and
// one whose creation was already sent is removed once created.
void removeOrRetryParked();
// The rules at stands and against parked twins; they remove nothing until the stand rules
// are built here.
void removeParkedWithSameHexid(LiveAI& ai);
void removeParkedAtStand();
// True: stop the search. `keep` false: the new aircraft is not placed.
bool applyStandCallsignRules(bool& keep, std::uint32_t standId, const std::string& newCallsign, LiveAI& existing);
bool removeAdjacentLive(std::uint32_t adjacentStandId, double standLat, double standLon, const LiveAI& newAI,
                        LiveAI& existing);
bool removeForCollisionAvoidance(const LiveAI& live, ParkedAI& parked);

} // namespace rtd
