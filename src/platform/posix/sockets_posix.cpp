#include "platform/sockets.hpp"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace rtd::platform {
namespace {

constexpr int sendStuckMs = 5000;

int fd(Socket socket)
{
    return static_cast<int>(socket);
}

Socket toSocket(int descriptor)
{
    return descriptor < 0 ? invalidSocket : static_cast<Socket>(descriptor);
}

// errno as the Windows Sockets number of the same meaning.
int windowsNumber(int error)
{
    switch (error) {
    case EINTR: return 10004;
    case EBADF: return 10009;
    case EACCES: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE: return 10024;
    case EAGAIN: return 10035;
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case ENOTSOCK: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case EOPNOTSUPP: return 10045;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ECONNABORTED: return 10053;
    case ECONNRESET: return 10054;
    case ENOBUFS: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case EPIPE: return 10054; // the peer closed: Windows reports a reset
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case EHOSTUNREACH: return 10065;
    default: return error;
    }
}

} // namespace

bool startSockets()
{
    return true;
}

void stopSockets() {}

int startSocketsResult()
{
    return 0;
}

int lastSocketError()
{
    return windowsNumber(errno);
}

ListenOutcome listenOnAllAddresses(const std::string& port)
{
    addrinfo hints{};
    hints.ai_flags = AI_PASSIVE;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    if (const int result = ::getaddrinfo(nullptr, port.c_str(), &hints, &found); result != 0)
        return {invalidSocket, ListenStep::resolve, result};
    const int descriptor = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
    auto fail = [&](ListenStep step) {
        const int error = lastSocketError();
        if (found)
            ::freeaddrinfo(found);
        if (descriptor >= 0)
            ::close(descriptor);
        return ListenOutcome{invalidSocket, step, error};
    };
    if (descriptor < 0)
        return fail(ListenStep::socket);
    int blocking = 0;
    if (::ioctl(descriptor, FIONBIO, &blocking) != 0)
        return fail(ListenStep::blocking);
    const int one = 1;
    if (::setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0)
        return fail(ListenStep::reuseAddress);
    if (::bind(descriptor, found->ai_addr, found->ai_addrlen) != 0)
        return fail(ListenStep::bind);
    ::freeaddrinfo(found);
    found = nullptr;
    if (::listen(descriptor, SOMAXCONN) != 0)
        return fail(ListenStep::listen);
    return {toSocket(descriptor), ListenStep::done, 0};
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

bool setNoDelay(Socket socket)
{
    const int one = 1;
    return ::setsockopt(fd(socket), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) == 0;
}

long receiveBytes(Socket socket, char* buffer, std::size_t size)
{
    return static_cast<long>(::recv(fd(socket), buffer, size, 0));
}

bool sendAll(Socket socket, std::string_view bytes)
{
    while (!bytes.empty()) {
        pollfd entry{fd(socket), POLLOUT, 0};
        if (::poll(&entry, 1, sendStuckMs) <= 0) {
            errno = ETIMEDOUT;
            return false;
        }
        const ssize_t sent = ::send(fd(socket), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (sent <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

void wakeSocket(Socket socket)
{
    ::shutdown(fd(socket), SHUT_RDWR);
}

void closeSocket(Socket socket)
{
    ::close(fd(socket));
}

void endSending(Socket socket)
{
    ::shutdown(fd(socket), SHUT_WR);
}

bool setReceiveTimeout(Socket socket, int milliseconds)
{
    timeval time{milliseconds / 1000, (milliseconds % 1000) * 1000};
    return ::setsockopt(fd(socket), SOL_SOCKET, SO_RCVTIMEO, &time, sizeof time) == 0;
}

long receiveDatagram(Socket socket, char* buffer, std::size_t size)
{
    return static_cast<long>(::recvfrom(fd(socket), buffer, size, MSG_TRUNC, nullptr, nullptr));
}

} // namespace rtd::platform
