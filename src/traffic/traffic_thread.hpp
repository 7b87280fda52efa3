#pragma once
// The traffic thread and the state of a run it keeps: its containers, the per-aircraft
// livery cache and the callsign list kept across restarts.
//
// The thread body here only keeps the once-per-second duties the window relies on (the
// status line's cycle and the "Re-read" request); the traffic cycle proper replaces it.

#include <atomic>
#include <cstdint>
#include <stop_token>

namespace rtd {

extern std::atomic<bool> parkingBusy;          // static parking is being renewed
extern std::atomic<std::int64_t> tickCounter;  // per-second tick of the traffic cycle

// Body of the traffic thread: the traffic cycle every 10 ms until a stop. Counts itself in
// activeThreadCount; an exception goes to reportFatal("mainLoop").
void mainLoop(std::stop_token stop);

// One poll of the traffic cycle; `poll` counts the 10 ms polls since the thread started.
void trafficCycle(std::int64_t poll);

// The traffic service link's duties of second `second`: the position every second, the
// reader's reference position and the simulator's time every 5th, the reader lights and the
// reader check.
void serviceLinkSecond(std::int64_t second);

// A pending "Re-read" request, unless static parking is being renewed: re-reads the park
// airports, shows what changed, enables the button again and clears the request.
void handleReReadRequest();

// Once per run before the simulator client starts / by a restart once the threads ended.
void initTrafficContainers();
void resetTrafficState();

// The traffic service went away: every live aircraft in the simulator is removed and every
// pending creation withdrawn.
void withdrawLiveAircraft();

// "\nNo match found for: " and the aircraft that found no livery.
void logNoMatches();

void clearLiveryMatchCache();
void clearCallsignTexts(); // the list kept across restarts; emptied at a final exit

} // namespace rtd
