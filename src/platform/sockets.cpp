// The socket calls that read the same on both systems; the rest is in the posix and win32
// bodies.

#include "platform/sockets.hpp"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <array>
#include <chrono>

namespace rtd::platform {
namespace {

#ifdef _WIN32
using Native = SOCKET;
using AddressLength = int;
using ByteCount = int;
constexpr int closeOnExec = 0;
constexpr int noSignal = 0; // Windows raises no signal for a closed connection
#else
using Native = int;
using AddressLength = socklen_t;
using ByteCount = std::size_t;
constexpr int closeOnExec = SOCK_CLOEXEC;
constexpr int noSignal = MSG_NOSIGNAL;
#endif

Native native(Socket socket)
{
    return static_cast<Native>(socket);
}

// A new socket of the type, or invalidSocket.
Socket openSocket(int type, int protocol)
{
    const Native made = ::socket(AF_INET, type | closeOnExec, protocol);
    return made == static_cast<Native>(-1) ? invalidSocket : static_cast<Socket>(made);
}

bool ipv4Address(const std::string& host, std::uint16_t port, sockaddr_in& address)
{
    address = sockaddr_in{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    return ::inet_pton(AF_INET, host.c_str(), &address.sin_addr) == 1;
}

} // namespace

Socket listenOnLoopback(std::uint16_t& port)
{
    const Socket listener = openSocket(SOCK_STREAM, IPPROTO_TCP);
    if (listener == invalidSocket)
        return invalidSocket;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    AddressLength length = sizeof address;
    if (::bind(native(listener), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(native(listener), SOMAXCONN) != 0 ||
        ::getsockname(native(listener), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closeSocket(listener);
        return invalidSocket;
    }
    port = ntohs(address.sin_port);
    return listener;
}

std::uint16_t localPort(Socket socket)
{
    sockaddr_in address{};
    AddressLength length = sizeof address;
    if (::getsockname(native(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

void closeGracefully(Socket socket, int quietMs)
{
    endSending(socket);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    std::array<char, 512> unread{};
    while (std::chrono::steady_clock::now() < deadline && waitReadable(socket, quietMs) &&
           receiveBytes(socket, unread.data(), unread.size()) > 0) {
    }
    closeSocket(socket);
}

Socket openUdpSocket()
{
    return openSocket(SOCK_DGRAM, IPPROTO_UDP);
}

bool bindUdp(Socket socket, bool loopbackOnly, std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(loopbackOnly ? INADDR_LOOPBACK : INADDR_ANY);
    address.sin_port = htons(port);
    return ::bind(native(socket), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

bool setReceiveBufferSize(Socket socket, int bytes)
{
    return ::setsockopt(native(socket), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes) == 0;
}

bool sendDatagram(Socket socket, const std::string& host, std::uint16_t port, std::string_view bytes)
{
    sockaddr_in address{};
    if (!ipv4Address(host, port, address))
        return false;
    const auto sent = ::sendto(native(socket), bytes.data(), static_cast<ByteCount>(bytes.size()), noSignal,
                               reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return sent >= 0 && static_cast<std::size_t>(sent) == bytes.size();
}

Socket connectTcp(const std::string& host, std::uint16_t port)
{
    sockaddr_in address{};
    if (!ipv4Address(host, port, address))
        return invalidSocket;
    const Socket connection = openSocket(SOCK_STREAM, IPPROTO_TCP);
    if (connection == invalidSocket)
        return invalidSocket;
    if (::connect(native(connection), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        closeSocket(connection);
        return invalidSocket;
    }
    return connection;
}

} // namespace rtd::platform
