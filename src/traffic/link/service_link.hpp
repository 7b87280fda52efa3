#pragma once
// The link to the traffic service: a TCP server the service connects to (the user's
// position every second, the simulator's time every 5 s, the version request and "exit" go
// out as CR LF lines; the version reply comes back) and two UDP readers, one for traffic and
// one for weather datagrams.
//
// The server accepts one client at a time. A failed send takes the link down; the next
// position tick then waits in waitForClient until the service connects again. A stop
// (stopServer) wakes a thread blocked in accept.

#include "traffic/link/traffic_reader.hpp"
#include "traffic/link/udp_reader.hpp"
#include "traffic/link/weather_reader.hpp"
#include "traffic/records.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

namespace rtd {

struct UserAircraftState;

// The service reported its professional level: it gets the simulator's time.
extern std::atomic<bool> professionalLevel;

// ---- TCP server --------------------------------------------------------------------------

extern std::atomic<bool> clientConnected;

// Opens the listening socket on every IPv4 address at `port` (decimal text; "0" lets the
// system choose, see serverPort). Throws SysErrorException 0 to 6 naming the failed step.
void startServer(const std::string& port);
std::uint16_t serverPort();

// One wait for the service to connect. False at once when a client is connected; false when
// the server stopped or accepting failed; true when a client was accepted now.
bool waitForClient();

// Sends the text to the client; on failure drops the client and returns false.
bool sendDataPacket(const std::string& text);

// One receive of at most 8192 bytes; empty when the connection closed or failed.
std::string receive();

// Whether the client has sent something (or closed) within the time.
bool clientReadable(std::chrono::milliseconds timeout);

// Tells a connected client "exit", closes both sockets. Safe to call when no server runs.
void stopServer();

// "Qs123={milliseconds}" with seconds x 1000, when the client is connected and seconds >= 1.
void sendQs123(std::int64_t seconds);

// The position line for a user state: "Qs121=pitch;bank;heading;altitude;speed;lat;lon".
std::string qs121Line(const UserAircraftState& user);

// The user's position to the service once per second, when it runs on this PC and the
// position is known. While the service is away it waits for it to connect again; when a send
// fails it withdraws the live aircraft and resets the feed state.
void sendUserPosition();

// ---- UDP readers ------------------------------------------------------------------------

extern WeatherReader weatherReader;
extern TrafficReader trafficReader;

// Thread bodies, started detached; each counts itself in activeThreadCount, and a failed
// open or bind ends in readerStopped.
void weatherReaderThread(std::uint16_t port);
void trafficReaderThread(std::uint16_t port);
// Runs one reader on the calling thread until it is stopped.
void runReader(UdpReader& reader, std::uint16_t port);

// Ends the reader's receive loop (its thread closes the socket).
void stopReader(UdpReader& reader);

// "The {} has stopped with an error: {}" on the status line and in the log; readerFailed.
void readerStopped(const UdpReader& reader, const std::string& error);

// Once per check of the traffic thread, while the service is connected: a reader that
// received nothing since the previous check shows its light 2, one that received again 1.
void feedStatusTick();

// ---- feed state -------------------------------------------------------------------------

// Record time (seconds) of the traffic reader's latest datagram with a readable time; 0
// until the first one after resetFeedState.
extern std::atomic<double> trafficTimestamp;

// Guards the flight-running flag and the report queue.
extern std::mutex trafficMutex;
extern bool flightRunning; // the traffic reader queues records only while set
// Reports from the traffic reader, oldest first, drained by the traffic thread.
extern std::deque<TrafficReport> trafficReportQueue;
// Polls of the traffic cycle, never reset; a report is due at the count + 3000.
extern std::atomic<std::int64_t> pollCounter;

// Sets flightRunning under trafficMutex.
void setFlightRunning(bool running);

// Clears the feed's record time, the live callsigns seen, reader counters and stop flags;
// QNH back to 1013.
void resetFeedState();

} // namespace rtd
