#include "platform/sockets.hpp"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>

namespace rtd::platform {
namespace {

SOCKET handle(Socket socket)
{
    return static_cast<SOCKET>(socket);
}

} // namespace

bool startSockets()
{
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void stopSockets()
{
    WSACleanup();
}

Socket listenOnLoopback(std::uint16_t& port)
{
    const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET)
        return invalidSocket;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    int length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, SOMAXCONN) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::closesocket(listener);
        return invalidSocket;
    }
    port = ntohs(address.sin_port);
    return static_cast<Socket>(listener);
}

bool waitReadable(Socket socket, int milliseconds)
{
    WSAPOLLFD entry{handle(socket), POLLRDNORM, 0};
    return WSAPoll(&entry, 1, milliseconds) > 0;
}

Socket acceptConnection(Socket listener)
{
    const SOCKET connection = ::accept(handle(listener), nullptr, nullptr);
    return connection == INVALID_SOCKET ? invalidSocket : static_cast<Socket>(connection);
}

long receiveBytes(Socket socket, char* buffer, std::size_t size)
{
    const int chunk = size > INT_MAX ? INT_MAX : static_cast<int>(size);
    return ::recv(handle(socket), buffer, chunk, 0);
}

bool sendAll(Socket socket, std::string_view bytes)
{
    while (!bytes.empty()) {
        const int chunk = bytes.size() > INT_MAX ? INT_MAX : static_cast<int>(bytes.size());
        const int sent = ::send(handle(socket), bytes.data(), chunk, 0);
        if (sent <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

void closeSocket(Socket socket)
{
    ::closesocket(handle(socket));
}

} // namespace rtd::platform
