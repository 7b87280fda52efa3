#include "platform/sockets.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace rtd::platform {
namespace {

int fd(Socket socket)
{
    return static_cast<int>(socket);
}

Socket toSocket(int descriptor)
{
    return descriptor < 0 ? invalidSocket : static_cast<Socket>(descriptor);
}

} // namespace

bool startSockets()
{
    return true;
}

void stopSockets() {}

Socket listenOnLoopback(std::uint16_t& port)
{
    const int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0)
        return invalidSocket;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t length = sizeof address;
    if (::bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(descriptor, SOMAXCONN) != 0 ||
        ::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(descriptor);
        return invalidSocket;
    }
    port = ntohs(address.sin_port);
    return toSocket(descriptor);
}

bool waitReadable(Socket socket, int milliseconds)
{
    pollfd entry{fd(socket), POLLIN, 0};
    return ::poll(&entry, 1, milliseconds) > 0;
}

Socket acceptConnection(Socket listener)
{
    return toSocket(::accept4(fd(listener), nullptr, nullptr, SOCK_CLOEXEC));
}

long receiveBytes(Socket socket, char* buffer, std::size_t size)
{
    return static_cast<long>(::recv(fd(socket), buffer, size, 0));
}

bool sendAll(Socket socket, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd(socket), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

void closeSocket(Socket socket)
{
    ::close(fd(socket));
}

} // namespace rtd::platform
