#pragma once
// The link to the traffic service: a TCP server the service connects to (commands and the
// user's position go out, the version reply comes back) and two UDP readers, one for
// traffic and one for weather datagrams.
//
// The readers here only idle until they are stopped; the datagram parsing replaces them.

#include "platform/sockets.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
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

inline constexpr std::uint16_t weatherReaderPort = 49004;
inline constexpr std::uint16_t trafficReaderPort = 49005;

struct UdpReader {
    std::atomic<bool> stop{false};
    std::atomic<platform::Socket> socket{platform::invalidSocket};
};

extern UdpReader weatherReader;
extern UdpReader trafficReader;

// Detached bodies; each counts itself in activeThreadCount.
void weatherReaderThread();
void trafficReaderThread();

// Sets the reader's stop flag, closes its socket (ending a blocked receive) and marks it
// invalid.
void stopReader(UdpReader& reader);

// ---- feed state -------------------------------------------------------------------------

// Record time (seconds) of the traffic reader's latest record; 0 until the first one after
// resetFeedState.
extern std::atomic<double> trafficTimestamp;

// Guards the flight-running flag and the traffic queues.
extern std::mutex trafficMutex;
extern bool flightRunning; // the traffic reader queues records only while set

// Clears the feed's record time and reader counters and stop flags; QNH back to 1013.
void resetFeedState();

} // namespace rtd
