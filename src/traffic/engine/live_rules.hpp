#pragma once
// The rules between aircraft that belong to one flight or one stand: the cached livery of a
// live aircraft, withdrawn queued creations, ghosts (a callsign followed by "_"), and the
// twins and neighbours at stands.
//
// Every rule ends in markAIRemoved for an aircraft in the simulator or the erase flag for
// one that is not. All on the traffic thread.

#include "airports/services.hpp"
#include "traffic/engine/ai_objects.hpp"

#include <string>
#include <string_view>
#include <vector>

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

// The live aircraft's first static parked twin in the simulator is removed.
void removeParkedWithSameHexid(const LiveAI& ai);
// The parked aircraft is the live one's twin: same option hexid, its callsign followed by
// "*", or one of the flight's coupled callsigns (also those of a ghost's owner).
bool isParkedTwin(const LiveAI& ai, const ParkedAI& parked);
// "Flush static": every static parked aircraft in the simulator is removed, every queued one
// withdrawn, and one whose creation went out is removed as soon as it is created.
void removeOrRetryParked();
// Clears the stand of that name (the user's reserved stand when none is given): its static
// parked aircraft in the simulator, else its live one standing there.
void removeParkedAtStand();
void removeParkedAtStand(std::string_view standName);
// The live aircraft standing at stands in the simulator; their average stay (hours) goes to
// the window's live fit figure.
int countLiveAIAtStands();
// Live aircraft that have stood more than 90 minutes (180 for Heavy) are removed, unless
// INITIAL_LOAD_ONLY is on or they belong to the current static parking; the rest are
// returned by stand id.
std::vector<LiveStayer> purgeOldLiveRecords();

// Aircraft at overlapping stands are apart when their half spans add up to no more than
// the stands' distance plus this margin (3.6 m).
inline constexpr double adjacentMarginNm = 0.001943844492440605;

// Called for each existing live aircraft in list order; true: stop the search.
// `keep` false: the new aircraft is not placed.
bool applyStandCallsignRules(bool& keep, std::uint32_t standId, const std::string& newCallsign, LiveAI& existing);
bool removeAdjacentLive(std::uint32_t adjacentStandId, double standLat, double standLon, const LiveAI& newAI,
                        LiveAI& existing);
bool removeLiveAtStand(std::uint32_t standId, const std::string& newCallsign, LiveAI& existing);
// The parked aircraft in the simulator is removed when the live one comes too close to its
// stand; true when it was.
bool removeForCollisionAvoidance(const LiveAI& live, ParkedAI& parked);

} // namespace rtd
