#pragma once
// The traffic thread: the 10 ms traffic cycle and its loop, the once-per-second duties on the
// simulator's seconds, and the state of the live traffic engine it owns.
//
// Everything here belongs to the traffic thread unless a comment says otherwise. The report
// queue and the flight-running flag sit with the traffic reader (service_link.hpp) under
// trafficMutex.

#include "core/time.hpp"
#include "liveries/livery_ref.hpp"
#include "traffic/engine/ai_objects.hpp"

#include <atomic>
#include <cstdint>
#include <set>
#include <stop_token>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace rtd {

extern std::atomic<bool> parkingBusy;             // static parking is being renewed
extern std::atomic<std::int32_t> cycleTick;       // simulator seconds, 0..86399
extern std::atomic<std::uint64_t> dayHalfHour;    // currentDayAndHalfHour at the last second
extern std::int32_t notRunningCountdown;          // polls to the next second while stopped
extern bool flightStoppedLogged;
extern std::atomic<bool> staticRecalcRunning;

extern std::vector<std::uint32_t> readyForCreation; // hexids of placed aircraft
extern std::vector<std::string> heldCallsigns;      // ghost callsigns whose aircraft were removed
extern std::set<std::string, std::less<>> noMatchSet;
extern std::unordered_map<std::uint32_t, LiveryRef> liveryMatchCache;

// MAX_LIVE changed in its edit box: the traffic thread applies it at its next second.
extern std::atomic<bool> maxLiveRequest;

// Reports that waited longer than this in the report queue are dropped unmerged.
inline constexpr std::int64_t staleReportPolls = 1000;
extern std::int64_t staleReportCount; // since the last log line about them


// Body of the traffic thread: the traffic cycle every 10 ms on trafficClock() until a stop.
// Counts itself in activeThreadCount; an exception goes to reportFatal("mainLoop").
void mainLoop(std::stop_token stop);

// One poll: pollTraffic while the simulator runs, the duties of a simulator second when one
// arrived; while it is stopped, the sim events and one step per 100 polls.
void trafficCycle();
void pollTraffic();

// Which per-second steps ran, named by their period ("5", "15", "30", "60", "1200",
// "86400", "16", "59", "61"); tests install a recorder, null removes it.
using CycleStepTrace = void (*)(std::string_view step);
void setCycleStepTrace(CycleStepTrace trace);

// A pending "Re-read" request, unless static parking is being renewed: re-reads the park
// airports, shows what changed, enables the button again and clears the request.
void handleReReadRequest();

// Once per run before the threads start / by a restart or exit once they ended.
void initTrafficContainers();
void resetTrafficState();

// The traffic service went away: every live aircraft in the simulator is removed and every
// queued creation withdrawn (an aircraft whose creation already went out is removed once the
// simulator reports it). Withdrawn aircraft leave liveAIList at the next compaction.
void withdrawLiveAircraft();

// "\nNo match found for: " and the type texts that found no livery, when any.
void logNoMatches();
// The live aircraft with CALLSIGN_2_OBJECTID's callsign shown by its object id.
void followCallsign();
// Removes the live aircraft in the simulator farthest from the user when it is more than
// 0.1 nm farther than `distanceNm`; true when none is (the caller's aircraft is farthest).
bool removeFarthestLive(double distanceNm);
// Removes the farthest live aircraft while more than MAX_LIVE are in the simulator.
void applyMaxLive();
// Each live aircraft on the ground removes its static parked twin.
void removeParkedTwinsOfLive();
// The live counts into the window's figures.
void refreshLiveCounters();

void clearLiveryMatchCache();
void clearCallsignTexts(); // the list kept across restarts; emptied at a final exit

} // namespace rtd
