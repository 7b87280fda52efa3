#include "traffic/service_link.hpp"

#include "core/display.hpp"
#include "core/exceptions.hpp"
#include "core/exit.hpp"
#include "core/log.hpp"

#include <fmt/format.h>
#include <charconv>
#include <thread>

namespace rtd {

std::atomic<bool> clientConnected{false};
UdpReader weatherReader;
TrafficReader trafficReader;
std::atomic<double> trafficTimestamp{0.0};
std::mutex trafficMutex;
bool flightRunning = false;
std::deque<TrafficReport> trafficReportQueue;
std::atomic<std::int64_t> pollCounter{0};

void setFlightRunning(bool running)
{
    std::lock_guard lock(trafficMutex);
    flightRunning = running;
}

namespace {

using platform::Socket;
using platform::invalidSocket;

// The sockets change only under serverMutex; a blocked wait polls and looks again.
std::mutex serverMutex;
Socket listener = invalidSocket;
Socket client = invalidSocket;
std::uint16_t listeningPort = 0;
bool socketsStarted = false;

constexpr int acceptPollMs = 100;

void closeClient()
{
    if (client != invalidSocket)
        platform::closeSocket(client);
    client = invalidSocket;
    clientConnected = false;
}

bool sendLine(const std::string& text)
{
    return sendDataPacket(text + "\r\n");
}

void idleUntilStopped(UdpReader& reader)
{
    const CountedThread counted;
    while (!reader.stop)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

} // namespace

void startServer(const std::string& port)
{
    std::uint16_t number = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (error != std::errc() || end != port.data() + port.size())
        throw SysErrorException(30, fmt::format("invalid port number \"{}\"", port));
    std::lock_guard lock(serverMutex);
    if (!socketsStarted && !platform::startSockets())
        throw SysErrorException(31, "WSAStartup failed");
    socketsStarted = true;
    listener = platform::listenOnLoopback(number);
    if (listener == invalidSocket)
        throw SysErrorException(32, fmt::format("cannot listen on port {}", port));
    listeningPort = number;
}

std::uint16_t serverPort()
{
    std::lock_guard lock(serverMutex);
    return listeningPort;
}

bool waitForClient()
{
    for (;;) {
        Socket waiting = invalidSocket;
        {
            std::lock_guard lock(serverMutex);
            if (client != invalidSocket)
                return true;
            if (listener == invalidSocket)
                return false;
            waiting = listener;
        }
        if (!platform::waitReadable(waiting, acceptPollMs))
            continue;
        std::lock_guard lock(serverMutex);
        if (listener != waiting)
            return false;
        client = platform::acceptConnection(listener);
        if (client == invalidSocket) {
            logLine("waitForClient interrupted: accept failed");
            return false;
        }
        clientConnected = true;
        return true;
    }
}

bool sendDataPacket(const std::string& text)
{
    std::lock_guard lock(serverMutex);
    if (client != invalidSocket && platform::sendAll(client, text))
        return true;
    logLine("sendDataPacket to RealTraffic failed: connection lost");
    closeClient();
    logLine("RealTraffic client socket closed");
    return false;
}

std::string receive()
{
    Socket from = invalidSocket;
    {
        std::lock_guard lock(serverMutex);
        from = client;
    }
    if (from == invalidSocket)
        return {};
    char buffer[8192];
    const long received = platform::receiveBytes(from, buffer, sizeof buffer);
    return received > 0 ? std::string(buffer, static_cast<std::size_t>(received)) : std::string();
}

bool clientReadable(std::chrono::milliseconds timeout)
{
    Socket from = invalidSocket;
    {
        std::lock_guard lock(serverMutex);
        from = client;
    }
    return from != invalidSocket && platform::waitReadable(from, static_cast<int>(timeout.count()));
}

void stopServer()
{
    if (clientConnected)
        sendLine("exit");
    std::lock_guard lock(serverMutex);
    closeClient();
    if (listener != invalidSocket)
        platform::closeSocket(listener);
    listener = invalidSocket;
    listeningPort = 0;
    if (socketsStarted)
        platform::stopSockets();
    socketsStarted = false;
}

void sendQs123(std::int64_t seconds)
{
    if (clientConnected && seconds >= 1)
        sendLine(fmt::format("Qs123={}", seconds * 1000));
}

// The position line needs the simulator client's user aircraft, which is not linked yet.
void sendUserPosition() {}

void weatherReaderThread()
{
    idleUntilStopped(weatherReader);
}

void trafficReaderThread()
{
    idleUntilStopped(trafficReader);
}

void stopReader(UdpReader& reader)
{
    reader.stop = true;
    const Socket socket = reader.socket.exchange(invalidSocket);
    if (socket != invalidSocket)
        platform::closeSocket(socket);
}

void resetFeedState()
{
    trafficTimestamp = 0.0;
    trafficReader.clearLiveCallsignsSeen();
    mainWindowGlobals.qnhFigure = 1013;
    weatherReader.stop = false;
    trafficReader.stop = false;
    mainWindowGlobals.trafficReaderState = 3;
    mainWindowGlobals.weatherReaderState = 3;
    windowDisplay().invalidate(headerBand);
}

} // namespace rtd
