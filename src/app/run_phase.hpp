#pragma once
// The run phase and the exit procedure. runPhase starts the long-lived threads of a run in
// order: the simulator client, the traffic service link and its handshake, the UDP readers
// and last the traffic thread. FinalExit (installed with setExitProcedure, started by
// startFinalExit) stops them all, saves what must be saved and then either restarts the
// start-up (WM_APP+1) or lets the window close the program (WM_APP+2).

#include "traffic/link/service_link.hpp" // professionalLevel

#include <atomic>
#include <chrono>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace rtd {

// Called by the start-up worker once the environment is ready. Returns once the traffic
// thread runs, or early when an exit began; its errors end the run with SYSTEM ERROR.
void runPhase();

// Waits for the traffic service's connection and exchanges versions (only when the service
// runs on this PC).
void waitForRealTraffic();

// The handshake's "Qs123" line, with the simulator's time of a user state asked for now (at
// most 1 s is waited for the reply).
void sendHandshakeTime();

// The reply to "Qs999=version": a JSON object with "version" and "level". Sets
// professionalLevel and the edition text; an empty reply is standard level. Throws the JSON
// parser's error for a reply that is not JSON.
void checkRealTrafficVersion(const std::string& reply);

// True when the text holds one whole JSON object (braces balanced outside strings), or
// cannot be the start of one; false while more of an object is to come.
bool jsonObjectComplete(std::string_view text);

// Receives from the service's client until one whole JSON object arrived, the connection
// closed or the time ran out; returns what arrived.
std::string receiveVersionReply(std::chrono::milliseconds timeout);

// The two stoppable threads of a run: the simulator client and the traffic thread.
enum class RunThread { simClient, mainLoop };

// Starts the body on the slot's thread once the thread there before has stopped; starts
// nothing and returns false when an exit began, so no thread outlives the exit's stop.
bool startRunThread(RunThread slot, void (*body)(std::stop_token));

// Requests a stop of the traffic thread, then of the simulator client.
void requestRunThreadsStop();

// The names of the run threads that have not ended yet ("simClientThread", "mainLoopThread").
std::vector<std::string> runningRunThreads();

// Joins the run threads that have ended and lets go of the others, so that nothing waits
// for them any more; called by the exit procedure after its bounded wait.
void endRunThreads();

// The exit procedure; see core/exit.hpp for how it is started.
void FinalExit(int restartDelaySeconds);

// Counts the seconds down on the status line; returns early when an exit begins.
void restartCountdown(int seconds);

} // namespace rtd
