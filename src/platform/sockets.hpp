#pragma once
// Sockets over the BSD calls both systems share. What differs (Windows Sockets start-up,
// closing, error numbers, the socket type) stays in the posix and win32 bodies.
//
// Error numbers are Windows Sockets numbers on both systems (10048 for an address in use,
// 10061 for a refused connection, ...), so messages and tests read the same everywhere.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace rtd::platform {

// A socket as the system hands it out: SOCKET on Windows, a file descriptor elsewhere.
using Socket = std::uintptr_t;
inline constexpr Socket invalidSocket = ~Socket{0};

// Windows Sockets 2.2 start-up and its matching clean-up; counted, so every successful
// startSockets() needs one stopSockets(). Nothing to do elsewhere. False when unavailable.
bool startSockets();
void stopSockets();
// As startSockets, with the start-up's own result: 0 on success.
int startSocketsResult();

// The error of the last failed socket call on this thread, as a Windows Sockets number.
int lastSocketError();

// A TCP socket listening on 127.0.0.1 at `port`; with port 0 the system picks one, and
// `port` receives the port in use. invalidSocket on failure.
Socket listenOnLoopback(std::uint16_t& port);

// A blocking TCP server socket on every IPv4 address of this PC (the peer may reach it by
// the PC's network address), made step by step (the address step sets SO_REUSEADDR except on
// Windows, where a port in use fails with 10048 as elsewhere only without it); the first step that fails is named with its
// error (the start-up's or the name resolution's result, else lastSocketError), everything
// made before it is released, and the socket is invalid. A started socket layer is left
// started on success: stopSockets() belongs to the caller.
enum class ListenStep { startup, resolve, socket, blocking, reuseAddress, bind, listen, done };
struct ListenOutcome {
    Socket socket = invalidSocket;
    ListenStep failedStep = ListenStep::done;
    int error = 0;
};
ListenOutcome listenOnAllAddresses(const std::string& port);

// The port a bound socket uses; 0 when unknown.
std::uint16_t localPort(Socket socket);

// Whether the socket becomes readable (data, a closed peer or a waiting connection)
// within the given time.
bool waitReadable(Socket socket, int milliseconds);

// The next waiting connection; invalidSocket on failure.
Socket acceptConnection(Socket listener);

// Sends each write at once (TCP_NODELAY); false on failure.
bool setNoDelay(Socket socket);

// The number of bytes received: 0 when the peer closed the connection, negative on error.
long receiveBytes(Socket socket, char* buffer, std::size_t size);

// Sends all the bytes, as many writes as the system needs; false when the connection failed
// or no byte could be written for 5 s. Never raises a signal.
bool sendAll(Socket socket, std::string_view bytes);

// Ends every blocked or later receive and accept on the socket (shutdown) without closing
// it: the thread that owns the socket closes it once its wait has returned.
void wakeSocket(Socket socket);

void closeSocket(Socket socket);

// Ends the sending side only: the peer reads every byte sent, then the end of the stream.
void endSending(Socket socket);

// Closes a connection without losing what was sent last: ends the sending side, then reads
// and drops what the peer still sends until it closes, nothing arrives for `quietMs` or 1 s
// has passed, and closes. (Closing with unread bytes resets the connection, and the peer may
// lose what it had not read yet.)
void closeGracefully(Socket socket, int quietMs);

// ---- UDP --------------------------------------------------------------------------------

Socket openUdpSocket();
// Binds to 127.0.0.1 (loopbackOnly) or to every address, at `port`. False on failure.
bool bindUdp(Socket socket, bool loopbackOnly, std::uint16_t port);
// Asks the system to hold up to `bytes` of received datagrams not yet read (it may hold less).
bool setReceiveBufferSize(Socket socket, int bytes);
// A blocking receive on the socket gives up after the time (an error of 10035 or 10060).
bool setReceiveTimeout(Socket socket, int milliseconds);
// Whether the error number is a receive that gave up after its time.
inline bool isTimeout(int error)
{
    return error == 10035 || error == 10060;
}
// One datagram into the buffer; the result is the datagram's true length, which exceeds
// `size` when it did not fit (the rest is lost), 0 for an empty datagram or a woken socket,
// negative on error.
long receiveDatagram(Socket socket, char* buffer, std::size_t size);
// One datagram to an IPv4 address given as text ("127.0.0.1"). False on failure.
bool sendDatagram(Socket socket, const std::string& host, std::uint16_t port, std::string_view bytes);

// ---- TCP client ---------------------------------------------------------------------------

// A connection to an IPv4 address given as text; invalidSocket on failure.
Socket connectTcp(const std::string& host, std::uint16_t port);

} // namespace rtd::platform
