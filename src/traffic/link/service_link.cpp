#include "traffic/link/service_link.hpp"

#include "core/display.hpp"
#include "core/exceptions.hpp"
#include "core/exit.hpp"
#include "core/log.hpp"
#include "core/text.hpp"
#include "core/time.hpp"
#include "traffic/engine/traffic_thread.hpp"
#include "traffic/simulator_link/sim_client.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <array>
#include <charconv>
#include <condition_variable>
#include <thread>
#include <vector>

namespace rtd {

std::atomic<bool> realTrafficOnThisPc{true};
std::atomic<bool> professionalLevel{false};
std::atomic<bool> clientConnected{false};
WeatherReader weatherReader;
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
using namespace std::chrono_literals;

constexpr std::size_t receiveBufferSize = 8192;
constexpr int acceptCheckMs = 200;
constexpr auto leaveBound = 2s;
constexpr int exitQuietMs = 100;

// The sockets change only under serverMutex. A blocking call (poll, accept, receive) is made
// outside it on a socket lent for the call: a lent socket is never closed under the call.
// Taking a lent socket down shuts it down, which ends the call, and the last borrower to give
// it back closes it.
std::mutex serverMutex;
std::condition_variable socketReturned;
Socket listener = invalidSocket;
Socket client = invalidSocket;
bool socketsStarted = false;
bool serverStopping = false;
struct Loan {
    Socket socket;
    int borrowers;
    bool retired; // taken down while lent: closed when the last borrower gives it back
};
std::vector<Loan> loans;

Loan* loanOfLocked(Socket socket)
{
    const auto found =
        std::find_if(loans.begin(), loans.end(), [socket](const Loan& loan) { return loan.socket == socket; });
    return found == loans.end() ? nullptr : &*found;
}

// Closes the socket now, or, while it is lent, ends the calls on it and leaves the close to
// the last borrower.
void retireLocked(Socket socket)
{
    if (socket == invalidSocket)
        return;
    if (Loan* loan = loanOfLocked(socket)) {
        platform::wakeSocket(socket);
        loan->retired = true;
    } else {
        platform::closeSocket(socket);
    }
}

void closeClientLocked()
{
    retireLocked(client);
    client = invalidSocket;
    clientConnected = false;
}

// The socket in a slot, lent for one call outside serverMutex; invalid while the server stops.
class LentSocket {
public:
    explicit LentSocket(const Socket& slot)
    {
        std::lock_guard lock(serverMutex);
        if (serverStopping || slot == invalidSocket)
            return;
        socket_ = slot;
        if (Loan* loan = loanOfLocked(socket_))
            ++loan->borrowers;
        else
            loans.push_back({socket_, 1, false});
    }
    ~LentSocket()
    {
        if (socket_ == invalidSocket)
            return;
        std::lock_guard lock(serverMutex);
        Loan* loan = loanOfLocked(socket_);
        if (--loan->borrowers > 0)
            return;
        if (loan->retired)
            platform::closeSocket(socket_);
        std::erase_if(loans, [this](const Loan& l) { return l.socket == socket_; });
        socketReturned.notify_all();
    }
    LentSocket(const LentSocket&) = delete;
    LentSocket& operator=(const LentSocket&) = delete;
    Socket get() const { return socket_; }

private:
    Socket socket_ = invalidSocket;
};

// Accepts the waiting connection and sets it up; the accepted socket is closed again when
// the set-up fails, the server stops meanwhile or another wait took the client's place.
bool acceptWaiting(const LentSocket& from)
{
    const Socket accepted = platform::acceptConnection(from.get());
    if (accepted == invalidSocket)
        return false;
    try {
        if (!platform::setNoDelay(accepted))
            throw SysErrorException(7, fmt::format("{} setsockopt failed with error {}", currentUtcClock(),
                                                   winsockErrorText(platform::lastSocketError())));
    } catch (const std::exception& e) {
        platform::closeSocket(accepted);
        logLine(fmt::format("waitForClient interrupted: {}", e.what()));
        return false;
    }
    std::lock_guard lock(serverMutex);
    if (serverStopping || client != invalidSocket) {
        platform::closeSocket(accepted);
        return false;
    }
    client = accepted;
    clientConnected = true;
    return true;
}

std::string shortest(double value)
{
    std::array<char, 32> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
    return std::string(text.data(), result.ptr);
}

// The user position lies in the box near 0,0 that stands for "not known yet".
bool inNullBox(double latitude, double longitude)
{
    return latitude >= 0 && latitude <= 0.0009 && longitude >= 0 && longitude <= 0.05;
}

void linkGone()
{
    mainWindowGlobals.rtConnected = false;
    windowDisplay().invalidate(headerBand);
    withdrawLiveAircraft();
    resetFeedState();
    setStatus(fmt::format("{} RealTraffic gone? Wait for RealTraffic to re-connect ...", currentUtcClock()), true);
}

} // namespace

void startServer(const std::string& port)
{
    std::lock_guard lock(serverMutex);
    const platform::ListenOutcome outcome = platform::listenOnAllAddresses(port);
    const std::string error = winsockErrorText(outcome.error);
    switch (outcome.failedStep) {
    case platform::ListenStep::startup:
        throw SysErrorException(0, fmt::format("WSAStartup failed with error {}", outcome.error));
    case platform::ListenStep::resolve:
        throw SysErrorException(1, fmt::format("getaddrinfo failed with error {}", outcome.error));
    case platform::ListenStep::socket:
        throw SysErrorException(2, "socket failed with error " + error);
    case platform::ListenStep::blocking:
        throw SysErrorException(3, "ioctlsocket failed with error " + error);
    case platform::ListenStep::reuseAddress:
        throw SysErrorException(4, "setsockopt(SO_REUSEADDR) failed");
    case platform::ListenStep::bind:
        throw SysErrorException(5, fmt::format("Bind failed at port {} with error {}", port, error));
    case platform::ListenStep::listen:
        throw SysErrorException(6, "listen failed with error " + error);
    case platform::ListenStep::done:
        break;
    }
    retireLocked(listener);
    if (socketsStarted)
        platform::stopSockets();
    listener = outcome.socket;
    socketsStarted = true;
    serverStopping = false;
}

std::uint16_t serverPort()
{
    std::lock_guard lock(serverMutex);
    return listener == invalidSocket ? 0 : platform::localPort(listener);
}

bool waitForClient()
{
    while (!clientConnected && !exitBegan()) {
        const LentSocket from(listener);
        if (from.get() == invalidSocket)
            return false;
        if (platform::waitReadable(from.get(), acceptCheckMs))
            return acceptWaiting(from);
    }
    return false;
}

bool sendDataPacket(const std::string& text)
{
    std::lock_guard lock(serverMutex);
    if (client != invalidSocket && platform::sendAll(client, text))
        return true;
    const int error = client == invalidSocket ? 10057 : platform::lastSocketError(); // not connected
    logLine(fmt::format("sendDataPacket to RealTraffic failed: {}", winsockErrorText(error)));
    closeClientLocked();
    logLine("RealTraffic client socket closed");
    return false;
}

std::string receive()
{
    const LentSocket from(client);
    if (from.get() == invalidSocket)
        return {};
    std::array<char, receiveBufferSize + 1> buffer{};
    const long received = platform::receiveBytes(from.get(), buffer.data(), receiveBufferSize);
    if (received < 0) {
        logLine(fmt::format("receive: {}", winsockErrorText(platform::lastSocketError())));
        return {};
    }
    buffer[static_cast<std::size_t>(received)] = '\0';
    return std::string(buffer.data());
}

bool clientReadable(std::chrono::milliseconds timeout)
{
    const LentSocket from(client);
    return from.get() != invalidSocket && platform::waitReadable(from.get(), static_cast<int>(timeout.count()));
}

void stopServer()
{
    const bool toldToExit = clientConnected && sendDataPacket("exit\r\n");
    std::unique_lock lock(serverMutex);
    serverStopping = true;
    retireLocked(listener);
    listener = invalidSocket;
    if (loanOfLocked(client) != nullptr)
        closeClientLocked(); // a receive runs: "exit" is not waited for
    // The calls on the sockets taken down end at once; a socket still lent after the bound
    // is closed by its borrower.
    socketReturned.wait_for(lock, leaveBound, [] { return loans.empty(); });
    if (toldToExit && client != invalidSocket) {
        platform::closeGracefully(client, exitQuietMs); // "exit" is read before the end
        client = invalidSocket;
    }
    closeClientLocked();
    if (socketsStarted)
        platform::stopSockets();
    socketsStarted = false;
}

void sendQs123(std::int64_t seconds)
{
    // A service that left is noticed by whichever send fails first.
    if (clientConnected && seconds >= 1 && !sendDataPacket(fmt::format("Qs123={}\r\n", seconds * 1000)))
        linkGone();
}

std::string qs121Line(const UserAircraftState& user)
{
    return fmt::format("Qs121={:.0f};{:.0f};{:.6f};{:.0f};{};{:.6f};{:.6f}\r\n", user.pitch * 100000,
                       user.bank * 100000, user.heading, user.altitudeFt * 1000, shortest(user.groundSpeedKt * 1000),
                       user.latitude * radiansPerDegree, user.longitude * radiansPerDegree);
}

void sendUserPosition()
{
    if (!realTrafficOnThisPc)
        return;
    const UserAircraftState user = userAircraftState();
    if (inNullBox(user.latitude, user.longitude))
        return;
    if (!clientConnected) {
        if (exitReason != ExitReason::notYetSet)
            return;
        if (waitForClient()) {
            mainWindowGlobals.rtConnected = true;
            windowDisplay().invalidate(headerBand);
            setStatus(fmt::format("{} RealTraffic re-connected", currentUtcClock()), true);
            clearStatus();
        }
        return;
    }
    if (!sendDataPacket(qs121Line(user)))
        linkGone();
}

// ---- UDP readers --------------------------------------------------------------------------

void runReader(UdpReader& reader, std::uint16_t port)
{
    const CountedThread counted;
    try {
        reader.open();
        reader.bind(port);
        reader.light() = 1;
        if (&reader == &trafficReader)
            mainWindowGlobals.weatherReaderState = 1;
        windowDisplay().invalidate(headerBand);
        logLine(fmt::format("    {} connected", reader.name()));
        reader.receiveLoop();
        reader.closeAndCleanUp();
    } catch (const std::exception& e) {
        reader.closeAndCleanUp();
        logLine(fmt::format("    {} disconnected", reader.name()));
        readerStopped(reader, e.what());
    }
}

void weatherReaderThread(std::uint16_t port)
{
    runReader(weatherReader, port);
}

void trafficReaderThread(std::uint16_t port)
{
    runReader(trafficReader, port);
}

void stopReader(UdpReader& reader)
{
    reader.requestStop();
}

void readerStopped(const UdpReader& reader, const std::string& error)
{
    const char* name = &reader == &trafficReader ? "TrafficReader " : "WeatherReader";
    setStatus(fmt::format("The {} has stopped with an error: {}", name, error), true);
    readerFailed = true;
}

void feedStatusTick()
{
    if (!mainWindowGlobals.rtConnected)
        return;
    for (UdpReader* reader : {static_cast<UdpReader*>(&weatherReader), static_cast<UdpReader*>(&trafficReader)}) {
        const std::uint32_t count = reader->datagramCount;
        const std::uint32_t previous = reader->lastSeenCount.exchange(count);
        if (count == previous) {
            reader->light() = 2;
            windowDisplay().invalidate(headerBand);
            reader->lightLatch = false;
        } else if (!reader->lightLatch) {
            reader->lightLatch = true;
            reader->light() = 1;
            windowDisplay().invalidate(headerBand);
        }
    }
}

void resetFeedState()
{
    trafficTimestamp = 0.0;
    trafficReader.currentQnh.exchange(standardQnh);
    trafficReader.clearLiveCallsignsSeen();
    trafficReader.stop = false;
    weatherReader.stop = false;
    weatherReader.datagramCount = 0;
    weatherReader.lastSeenCount = 0;
    trafficReader.lightLatch = true;
    weatherReader.lightLatch = true;
    weatherReader.lastAcceptedQnh = standardQnh;
    mainWindowGlobals.qnhFigure = standardQnh;
    windowDisplay().invalidate(headerBand);
}

} // namespace rtd
