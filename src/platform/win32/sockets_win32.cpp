#include "platform/sockets.hpp"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <type_traits>

namespace rtd::platform {
namespace {

constexpr int sendStuckMs = 5000;
constexpr std::size_t largestDatagram = 65536;

SOCKET handle(Socket socket)
{
    return static_cast<SOCKET>(socket);
}

Socket toSocket(SOCKET socket)
{
    return socket == INVALID_SOCKET ? invalidSocket : static_cast<Socket>(socket);
}

int chunkOf(std::size_t size)
{
    return size > INT_MAX ? INT_MAX : static_cast<int>(size);
}

} // namespace

bool startSockets()
{
    return startSocketsResult() == 0;
}

int startSocketsResult()
{
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data);
}

void stopSockets()
{
    WSACleanup();
}

int lastSocketError()
{
    return WSAGetLastError();
}

ListenOutcome listenOnAllAddresses(const std::string& port)
{
    if (const int result = startSocketsResult(); result != 0)
        return {invalidSocket, ListenStep::startup, result};
    addrinfo hints{};
    hints.ai_flags = AI_PASSIVE;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    if (const int result = ::getaddrinfo(nullptr, port.c_str(), &hints, &found); result != 0) {
        WSACleanup();
        return {invalidSocket, ListenStep::resolve, result};
    }
    const SOCKET listener = ::socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    auto fail = [&](ListenStep step) {
        const int error = WSAGetLastError();
        if (found)
            ::freeaddrinfo(found);
        if (listener != INVALID_SOCKET)
            ::closesocket(listener);
        WSACleanup();
        return ListenOutcome{invalidSocket, step, error};
    };
    if (listener == INVALID_SOCKET)
        return fail(ListenStep::socket);
    u_long blocking = 0;
    if (::ioctlsocket(listener, FIONBIO, &blocking) != 0)
        return fail(ListenStep::blocking);
    // The address step sets no option here. Windows lets a listening socket bind its port
    // again while old connections wait out their close without one, and its SO_REUSEADDR means
    // something else: this socket could share a port another program holds (or be refused
    // with 10013 instead of 10048), and others could bind on top of it.
    if (::bind(listener, found->ai_addr, static_cast<int>(found->ai_addrlen)) != 0)
        return fail(ListenStep::bind);
    ::freeaddrinfo(found);
    found = nullptr;
    if (::listen(listener, SOMAXCONN) != 0)
        return fail(ListenStep::listen);
    return {toSocket(listener), ListenStep::done, 0};
}

bool waitReadable(Socket socket, int milliseconds)
{
    WSAPOLLFD entry{handle(socket), POLLRDNORM, 0};
    return WSAPoll(&entry, 1, milliseconds) > 0;
}

Socket acceptConnection(Socket listener)
{
    return toSocket(::accept(handle(listener), nullptr, nullptr));
}

bool setNoDelay(Socket socket)
{
    const BOOL one = TRUE;
    return ::setsockopt(handle(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one) == 0;
}

long receiveBytes(Socket socket, char* buffer, std::size_t size)
{
    return ::recv(handle(socket), buffer, chunkOf(size), 0);
}

bool sendAll(Socket socket, std::string_view bytes)
{
    while (!bytes.empty()) {
        WSAPOLLFD entry{handle(socket), POLLWRNORM, 0};
        if (WSAPoll(&entry, 1, sendStuckMs) <= 0) {
            WSASetLastError(WSAETIMEDOUT);
            return false;
        }
        const int sent = ::send(handle(socket), bytes.data(), chunkOf(bytes.size()), 0);
        if (sent <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

void wakeSocket(Socket socket)
{
    ::shutdown(handle(socket), SD_BOTH);
}

void closeSocket(Socket socket)
{
    ::closesocket(handle(socket));
}

void endSending(Socket socket)
{
    ::shutdown(handle(socket), SD_SEND);
}

bool setReceiveTimeout(Socket socket, int milliseconds)
{
    const DWORD time = static_cast<DWORD>(milliseconds);
    return ::setsockopt(handle(socket), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&time), sizeof time) == 0;
}

// Windows reports a datagram too long for the buffer only as an error, so each one is taken
// into a buffer that holds any datagram and copied, which also gives its true length.
long receiveDatagram(Socket socket, char* buffer, std::size_t size)
{
    thread_local std::array<char, largestDatagram> whole;
    static_assert(std::is_trivially_destructible_v<decltype(whole)>);
    const int received = ::recvfrom(handle(socket), whole.data(), static_cast<int>(whole.size()), 0, nullptr, nullptr);
    if (received > 0)
        std::memcpy(buffer, whole.data(), std::min(size, static_cast<std::size_t>(received)));
    return received;
}

} // namespace rtd::platform
