#pragma once
// The link to the traffic service: a TCP server the service connects to (commands and the
// user's position go out, the version reply comes back) and two UDP readers, one for
// traffic and one for weather datagrams.
//
// The readers' threads here only idle until they are stopped; the traffic reader's
// datagram handling is built (traffic_reader.hpp), its receive loop comes next.

#include "traffic/records.hpp"
#include "traffic/traffic_reader.hpp"
#include "traffic/udp_reader.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

namespace rtd {

// ---- TCP server --------------------------------------------------------------------------

extern std::atomic<bool> clientConnected;

// Opens the listening socket on `port` (decimal text; "0" lets the system choose, see
// serverPort). Throws SysErrorException when the port is not a number or the socket cannot
// be opened.
void startServer(const std::string& port);
std::uint16_t serverPort();

// Waits until the service connects; true when a client is connected, false when the server
// was stopped or accepting failed.
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

// The user's position to the service, when it runs on this PC and the position is known.
void sendUserPosition();

// ---- UDP readers ------------------------------------------------------------------------

extern UdpReader weatherReader;
extern TrafficReader trafficReader;

// Detached bodies; each counts itself in activeThreadCount.
void weatherReaderThread();
void trafficReaderThread();

// Sets the reader's stop flag, closes its socket (ending a blocked receive) and marks it
// invalid.
void stopReader(UdpReader& reader);

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
