#pragma once
// Stream sockets over the BSD calls both systems share. What differs (Windows Sockets
// start-up, closing, the socket type) stays in the posix and win32 bodies.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace rtd::platform {

// A socket as the system hands it out: SOCKET on Windows, a file descriptor elsewhere.
using Socket = std::uintptr_t;
inline constexpr Socket invalidSocket = ~Socket{0};

// Windows Sockets 2.2 start-up and its matching clean-up; counted, so every successful
// startSockets() needs one stopSockets(). Nothing to do elsewhere. False when unavailable.
bool startSockets();
void stopSockets();

// A TCP socket listening on 127.0.0.1 at `port`; with port 0 the system picks one, and
// `port` receives the port in use. invalidSocket on failure.
Socket listenOnLoopback(std::uint16_t& port);

// Whether the socket becomes readable (data, a closed peer or a waiting connection)
// within the given time.
bool waitReadable(Socket socket, int milliseconds);

// The next waiting connection; invalidSocket on failure.
Socket acceptConnection(Socket listener);

// The number of bytes received: 0 when the peer closed the connection, negative on error.
long receiveBytes(Socket socket, char* buffer, std::size_t size);

// Sends all the bytes; false when the connection failed.
bool sendAll(Socket socket, std::string_view bytes);

void closeSocket(Socket socket);

} // namespace rtd::platform
