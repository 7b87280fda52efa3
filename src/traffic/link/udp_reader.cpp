#include "traffic/link/udp_reader.hpp"

#include "core/exceptions.hpp"
#include "core/exit.hpp"
#include "core/log.hpp"
#include "core/text.hpp"

#include <fmt/format.h>
#include <chrono>
#include <cstring>
#include <thread>

namespace rtd {

namespace {
constexpr auto failedReceivePause = std::chrono::milliseconds(10);
constexpr int queuedBytes = 4 << 20;
}

UdpReader::UdpReader(std::string_view name, std::atomic<std::int32_t>& light) : name_(name), light_(light) {}

UdpReader::~UdpReader()
{
    closeAndCleanUp();
}

void UdpReader::open()
{
    if (const int result = platform::startSocketsResult(); result != 0)
        throw SysErrorException(30, fmt::format("WSA startup error: {}", result));
    socketsStarted_ = true;
    const platform::Socket socket = platform::openUdpSocket();
    if (socket == platform::invalidSocket)
        throw SysErrorException(31, "failed to create the socket");
    // Room for a burst of datagrams while the thread is busy: the system's default holds a
    // few hundred small ones at most (the system may grant less than asked).
    platform::setReceiveBufferSize(socket, queuedBytes);
    std::lock_guard lock(socketMutex_);
    socket_ = socket;
}

void UdpReader::bind(std::uint16_t port)
{
    std::lock_guard lock(socketMutex_);
    if (!platform::bindUdp(socket_, realTrafficOnThisPc, port))
        throw SysErrorException(32, "bind to stream socket failed with error: " +
                                        winsockErrorText(platform::lastSocketError()));
}

void UdpReader::receiveLoop()
{
    platform::Socket socket = platform::invalidSocket;
    {
        std::lock_guard lock(socketMutex_);
        socket = socket_;
    }
    // A receive gives up after stopCheckMs, so the loop sees the stop flag even when the
    // wake-up is missed.
    if (socket != platform::invalidSocket)
        platform::setReceiveTimeout(socket, stopCheckMs);
    while (!stop && !exitBegan() && socket != platform::invalidSocket) {
        const long received = platform::receiveDatagram(socket, buffer_.data(), receiveBufferSize);
        if (stop)
            break;
        if (received >= 0)
            takeReceived(static_cast<std::size_t>(received));
        else if (!platform::isTimeout(platform::lastSocketError()))
            std::this_thread::sleep_for(failedReceivePause); // a failing receive does not spin
    }
    {
        std::lock_guard lock(socketMutex_);
        if (socket_ != platform::invalidSocket)
            platform::closeSocket(socket_);
        socket_ = platform::invalidSocket;
    }
    onStopped();
}

void UdpReader::closeAndCleanUp()
{
    {
        std::lock_guard lock(socketMutex_);
        if (socket_ != platform::invalidSocket)
            platform::closeSocket(socket_);
        socket_ = platform::invalidSocket;
    }
    if (socketsStarted_)
        platform::stopSockets();
    socketsStarted_ = false;
}

void UdpReader::takeReceived(std::size_t received)
{
    if (received == 0)
        return;
    if (received >= receiveBufferSize) {
        logLine(fmt::format("buffer overrun: {} bytes", received));
        return;
    }
    buffer_[received] = '\0';
    datagram_ = std::string_view(buffer_.data(), std::strlen(buffer_.data()));
    ++datagramCount;
    if (!realTrafficOnThisPc) {
        if (datagram_ == lastDatagram_)
            return;
        lastDatagram_.assign(datagram_);
    }
    onData();
}

void UdpReader::handleDatagram(std::string_view bytes)
{
    if (bytes.size() < receiveBufferSize)
        std::memcpy(buffer_.data(), bytes.data(), bytes.size());
    takeReceived(bytes.size());
}

std::uint16_t UdpReader::boundPort()
{
    std::lock_guard lock(socketMutex_);
    return socket_ == platform::invalidSocket ? 0 : platform::localPort(socket_);
}

void UdpReader::requestStop()
{
    stop = true;
    std::lock_guard lock(socketMutex_);
    if (socket_ != platform::invalidSocket)
        platform::wakeSocket(socket_);
}

} // namespace rtd
