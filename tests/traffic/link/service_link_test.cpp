// The traffic service link over real loopback sockets: the UDP readers (stop, repeats,
// overruns, a taken port), the weather datagram, the reader lights, and the position server
// with a peer that leaves and returns.

#include "traffic/sim_harness.hpp"

#include "core/display.hpp"
#include "core/exceptions.hpp"
#include "core/exit.hpp"
#include "traffic/link/service_link.hpp"
#include "traffic/simulator_link/sim_client.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <fmt/format.h>
#include <array>
#include <future>
#include <map>
#include <thread>

namespace rtd {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string loopback = "127.0.0.1";

struct CountingDisplay : WindowDisplay {
    void invalidate(const Rect&) override { ++invalidations; }
    int invalidations = 0;
};

// A reader that keeps what it is handed.
class RecordingReader : public UdpReader {
public:
    RecordingReader() : UdpReader("Test Reader", light_) {}
    std::vector<std::string> received() { std::lock_guard lock(mutex_); return received_; }
    std::atomic<bool> stopped{false};

protected:
    void onData() override { std::lock_guard lock(mutex_); received_.emplace_back(datagram_); }
    void onStopped() override { stopped = true; }

private:
    std::atomic<std::int32_t> light_{3};
    std::mutex mutex_;
    std::vector<std::string> received_;
};

class ServiceLinkTest : public test::SimHarness {
protected:
    ServiceLinkTest()
    {
        realTrafficOnThisPc = true;
        readerFailed = false;
        resetFeedState();
    }
    ~ServiceLinkTest() override
    {
        stopServer();
        realTrafficOnThisPc = true;
        readerFailed = false;
        mainWindowGlobals.rtConnected = false;
    }

    // Runs the reader on its own thread until it is bound; its port.
    std::uint16_t start(UdpReader& reader, std::uint16_t port = 0)
    {
        running[&reader] = std::async(std::launch::async, [&reader, port] { runReader(reader, port); });
        for (int i = 0; i < 200 && reader.boundPort() == 0 && !readerFailed; ++i)
            std::this_thread::sleep_for(5ms);
        return reader.boundPort();
    }
    // Sends each datagram and waits until the reader has counted them all.
    void send(UdpReader& reader, std::uint16_t port, const std::vector<std::string>& datagrams)
    {
        const platform::Socket sender = platform::openUdpSocket();
        const std::uint32_t expected = reader.datagramCount + static_cast<std::uint32_t>(datagrams.size());
        for (const std::string& datagram : datagrams) {
            ASSERT_TRUE(platform::sendDatagram(sender, loopback, port, datagram));
            std::this_thread::sleep_for(2ms);
        }
        platform::closeSocket(sender);
        for (int i = 0; i < 200 && reader.datagramCount < expected; ++i)
            std::this_thread::sleep_for(5ms);
    }
    // Stops the reader; whether it ended within a second.
    bool stop(UdpReader& reader)
    {
        stopReader(reader);
        return running[&reader].wait_for(1s) == std::future_status::ready;
    }

    std::map<UdpReader*, std::future<void>> running;
};

TEST_F(ServiceLinkTest, StopFreesABlockedReceiveAndThePortBindsAgain)
{
    RecordingReader reader;
    const std::uint16_t port = start(reader);
    ASSERT_NE(port, 0);
    std::this_thread::sleep_for(50ms); // blocked in its receive
    EXPECT_TRUE(stop(reader));
    EXPECT_TRUE(reader.stopped);
    RecordingReader again;
    EXPECT_EQ(start(again, port), port);
    EXPECT_FALSE(readerFailed);
    EXPECT_TRUE(stop(again));
    EXPECT_THAT(log(), HasSubstr("    Test Reader connected\n"));
}

TEST_F(ServiceLinkTest, RepeatsAreDroppedOnlyWhenTheServiceRunsElsewhere)
{
    struct Row {
        bool serviceHere;
        std::vector<std::string> passed;
    };
    for (const Row& row : {Row{true, {"a", "a", "b", "a"}}, Row{false, {"a", "b", "a"}}}) {
        realTrafficOnThisPc = row.serviceHere;
        RecordingReader reader;
        const std::uint16_t port = start(reader);
        send(reader, port, {"a", "a", "b", "a"});
        EXPECT_EQ(reader.datagramCount, 4u) << "every datagram is counted";
        EXPECT_EQ(reader.received(), row.passed) << row.serviceHere;
        EXPECT_TRUE(stop(reader));
    }
}

TEST_F(ServiceLinkTest, OverlongDatagramIsLoggedWithItsLengthAndDropped)
{
    RecordingReader reader;
    const std::uint16_t port = start(reader);
    const platform::Socket sender = platform::openUdpSocket();
    ASSERT_TRUE(platform::sendDatagram(sender, loopback, port, std::string(20000, 'x')));
    send(reader, port, {"after"});
    platform::closeSocket(sender);
    EXPECT_TRUE(stop(reader));
    EXPECT_EQ(reader.received(), std::vector<std::string>{"after"});
    EXPECT_THAT(log(), HasSubstr("buffer overrun: 20000 bytes\n"));
}

TEST_F(ServiceLinkTest, TakenPortStopsTheReaderWithAnError)
{
    RecordingReader holder;
    const std::uint16_t port = start(holder);
    RecordingReader second;
    start(second, port);
    running[&second].wait();
    EXPECT_TRUE(readerFailed);
    EXPECT_THAT(mainWindowGlobals.statusLine().statusText,
                HasSubstr("The WeatherReader has stopped with an error: sys error 32: bind to stream socket failed with error: 10048"));
    EXPECT_THAT(log(), HasSubstr("    Test Reader disconnected\n"));
    EXPECT_TRUE(stop(holder));
}

TEST_F(ServiceLinkTest, WeatherDatagramSetsTheQnh)
{
    struct Row {
        std::string datagram;
        std::int32_t qnh; // the traffic reader's currentQnh afterwards, from 1020
        std::string logged;
    };
    const Row rows[] = {
        {R"({"QNH":2992})", 1013, ""},
        {R"({"QNH":29.92})", 1020, "? Strange QNH 30 found in {\"QNH\":29.92}"},
        {R"({"QNH":"1013"})", 1013, ""},
        {R"({"QNH":1005.4})", 1005, ""},
        {R"({"QNH":true})", 1013, "no QNH {\"QNH\":true}"},
        {R"({"temp":3})", 1020, "no QNH {\"temp\":3}"},
        {R"({"QNH":929})", 1020, "? Strange QNH 929 found in"},
        {R"({"QNH":1081})", 1020, "? Strange QNH 366 found in"},
        {R"({"QNH":930})", 930, ""},
        {R"({"QNH":1080})", 1080, ""},
        {R"({"QNH":1e12})", 1020, "? Strange QNH 338653068613 found in"}, // rounded as a float first
        {R"({"QNH":4294968309})", 1020, "? Strange QNH 1454504203 found in"}, // never cut to 32 bits
        {R"({"QNH":"x"})", 1020, "===> QNH string invalid arg: stoi"},
        {R"({"QNH":"99999999999"})", 1020, "===> QNH string out of range: stoi"},
        {"QNH 1013", 1020, "Exception [json.exception.parse_error.101]"},
        {"[1013]", 1020, "Exception [json.exception.type_error.306]"},
    };
    for (const Row& row : rows) {
        weatherReader.handleDatagram(R"({"QNH":1020})");
        ASSERT_EQ(trafficReader.currentQnh, 1020);
        const std::size_t before = log().size();
        weatherReader.handleDatagram(row.datagram);
        EXPECT_EQ(trafficReader.currentQnh, row.qnh) << row.datagram;
        EXPECT_EQ(altitudeQnh, row.qnh) << row.datagram;
        const std::string added = log().substr(before);
        if (row.logged.empty())
            EXPECT_EQ(added, "") << row.datagram;
        else
            EXPECT_THAT(added, HasSubstr(row.logged)) << row.datagram;
    }
}

TEST_F(ServiceLinkTest, StandardQnhIsRepaintedEveryTimeAnotherOnlyWhenItChanges)
{
    CountingDisplay display;
    setWindowDisplay(&display);
    for (const auto& [datagram, repaints] : std::vector<std::pair<std::string, int>>{
             {R"({"QNH":1020})", 1}, {R"({"QNH":1020})", 0}, {R"({"QNH":1013})", 1}, {R"({"QNH":1013})", 1}}) {
        const int before = display.invalidations;
        weatherReader.handleDatagram(datagram);
        EXPECT_EQ(display.invalidations - before, repaints) << datagram;
    }
    setWindowDisplay(nullptr);
}

TEST_F(ServiceLinkTest, LightsFollowTheDatagramsBetweenTicks)
{
    struct Row {
        bool connected;
        std::uint32_t weatherDatagrams, trafficDatagrams;
        std::int32_t weatherLight, trafficLight;
    };
    mainWindowGlobals.weatherReaderState = 1;
    mainWindowGlobals.trafficReaderState = 1;
    const Row rows[] = {
        {true, 1, 1, 1, 1}, {true, 0, 1, 2, 1}, {true, 0, 0, 2, 2},
        {true, 1, 0, 1, 2}, {false, 0, 0, 1, 2}, // without the service on this PC: unchanged
    };
    for (const Row& row : rows) {
        mainWindowGlobals.rtConnected = row.connected;
        weatherReader.datagramCount += row.weatherDatagrams;
        trafficReader.datagramCount += row.trafficDatagrams;
        feedStatusTick();
        EXPECT_EQ(mainWindowGlobals.weatherReaderState, row.weatherLight);
        EXPECT_EQ(mainWindowGlobals.trafficReaderState, row.trafficLight);
    }
}

// ---- position server ---------------------------------------------------------------------

UserAircraftState userAt(double pitch, double bank, double gsKt)
{
    UserAircraftState user;
    user.latitude = 52.3;
    user.longitude = 4.76;
    user.pitch = pitch;
    user.bank = bank;
    user.heading = 1.5;
    user.altitudeFt = 12.5;
    user.groundSpeedKt = gsKt;
    return user;
}

TEST_F(ServiceLinkTest, PositionLineFields)
{
    struct Row {
        UserAircraftState user;
        std::string line;
    };
    const Row rows[] = {
        {userAt(0.05, 0, 250), "Qs121=5000;0;1.500000;12500;250000;0.912807;0.083078\r\n"},
        {userAt(-0.000001, -0.1, 700), "Qs121=-0;-10000;1.500000;12500;7e+05;0.912807;0.083078\r\n"},
        {userAt(0, 0, 100), "Qs121=0;0;1.500000;12500;1e+05;0.912807;0.083078\r\n"},
        {userAt(0, 0, -5), "Qs121=0;0;1.500000;12500;-5000;0.912807;0.083078\r\n"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(qs121Line(row.user), row.line);
}

// The service's side of the TCP link.
class Peer {
public:
    // Holds the socket layer of its own: the server's stop gives back only the server's.
    explicit Peer(std::uint16_t port) : started_(platform::startSockets()), socket_(platform::connectTcp(loopback, port)) {}
    ~Peer()
    {
        close();
        if (started_)
            platform::stopSockets();
    }
    bool connected() const { return socket_ != platform::invalidSocket; }
    platform::Socket socket() const { return socket_; }
    void close()
    {
        if (socket_ != platform::invalidSocket)
            platform::closeSocket(socket_);
        socket_ = platform::invalidSocket;
    }
    // The last read met the end of the stream (not a reset).
    bool endedInOrder() const { return ended_ == 0; }
    void write(std::string_view text) { ASSERT_TRUE(platform::sendAll(socket_, text)); }
    // What arrives within the time.
    std::string read(int milliseconds = 300)
    {
        std::string text;
        char buffer[512];
        while (platform::waitReadable(socket_, milliseconds)) {
            const long got = platform::receiveBytes(socket_, buffer, sizeof buffer);
            ended_ = got;
            if (got <= 0)
                break;
            text.append(buffer, static_cast<std::size_t>(got));
            milliseconds = 50;
        }
        return text;
    }

private:
    bool started_;
    platform::Socket socket_;
    long ended_ = 1;
};

TEST_F(ServiceLinkTest, PositionsGoToTheServiceWhichLeavesAndReturns)
{
    ASSERT_TRUE(connect());
    sim->setUser({.lat = 52.3, .lon = 4.76, .altFt = 12.5, .pitch = 0.05, .heading = 1.5, .gsKt = 250});
    requestUserAircraftPosition();
    ASSERT_TRUE(step(0));
    startServer("0");
    const std::uint16_t port = serverPort();
    auto first = std::make_unique<Peer>(port);
    ASSERT_TRUE(waitForClient());
    EXPECT_FALSE(waitForClient()) << "returns at once while a client is connected";
    Peer second(port);
    ASSERT_TRUE(second.connected());

    sendUserPosition();
    sendQs123(0);
    sendQs123(1700000000);
    EXPECT_EQ(first->read(), "Qs121=5000;0;1.500000;12500;250000;0.912807;0.083078\r\nQs123=1700000000000\r\n");
    EXPECT_EQ(second.read(50), "") << "a second client gets nothing";

    // The service leaves: a send fails at the latest on the second try.
    mainWindowGlobals.rtConnected = true;
    weatherReader.handleDatagram(R"({"QNH":1020})");
    first.reset();
    for (int i = 0; i < 5 && clientConnected; ++i) {
        sendUserPosition();
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_FALSE(clientConnected);
    EXPECT_FALSE(mainWindowGlobals.rtConnected);
    EXPECT_EQ(trafficReader.currentQnh, 1013);
    EXPECT_THAT(mainWindowGlobals.statusLine().statusText, HasSubstr(" RealTraffic gone? Wait for RealTraffic to re-connect ..."));
    std::string text = log();
    EXPECT_THAT(text, HasSubstr("sendDataPacket to RealTraffic failed: "));
    EXPECT_THAT(text, HasSubstr("\nRealTraffic client socket closed\n"));

    // The next second blocks until the service returns (here the waiting second client).
    sendUserPosition();
    EXPECT_TRUE(clientConnected);
    EXPECT_TRUE(mainWindowGlobals.rtConnected);
    EXPECT_EQ(mainWindowGlobals.statusLine().statusText, "");
    EXPECT_THAT(log(), HasSubstr(" RealTraffic re-connected\n"));
    EXPECT_EQ(second.read(100), "") << "no position and no second version request in that call";
    sendUserPosition();
    EXPECT_THAT(second.read(), HasSubstr("Qs121="));

    second.write(R"({"version":"9.0.1","level":2})"); // left unread: the stop must not reset the link
    std::this_thread::sleep_for(20ms);
    stopServer();
    EXPECT_EQ(second.read(), "exit\r\n");
    EXPECT_TRUE(second.endedInOrder());
    EXPECT_FALSE(clientConnected);
}

TEST_F(ServiceLinkTest, AFailedTimeLineAlsoFindsTheServiceGone)
{
    startServer("0");
    auto peer = std::make_unique<Peer>(serverPort());
    ASSERT_TRUE(waitForClient());
    weatherReader.handleDatagram(R"({"QNH":1020})");
    peer.reset();
    for (int i = 0; i < 5 && clientConnected; ++i) {
        sendQs123(1700000000);
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_FALSE(clientConnected);
    EXPECT_EQ(trafficReader.currentQnh, 1013);
    EXPECT_THAT(mainWindowGlobals.statusLine().statusText, HasSubstr(" RealTraffic gone? Wait for RealTraffic to re-connect ..."));
    stopServer();
}

TEST_F(ServiceLinkTest, NothingIsSentWithoutAKnownPositionOrWhileExiting)
{
    ASSERT_TRUE(connect());
    startServer("0");
    Peer peer(serverPort());
    ASSERT_TRUE(waitForClient());
    struct Row {
        double lat, lon;
        bool serviceHere;
        bool sent;
    };
    for (const Row& row : {Row{0.0005, 0.01, true, false}, Row{0.0005, 0.06, true, true}, Row{52, 4, false, false}}) {
        realTrafficOnThisPc = row.serviceHere;
        sim->setUser({.lat = row.lat, .lon = row.lon});
        requestUserAircraftPosition();
        ASSERT_TRUE(step(0));
        sendUserPosition();
        EXPECT_EQ(peer.read(100).empty(), !row.sent) << row.lat << " " << row.lon;
    }
}

// Two waits for the service (as the handshake and the position tick make them), a service
// that connects and sends without pause, and a stop at any moment: every wait and receive ends,
// and no socket is closed under a call on it (linux-tsan watches the sockets).
TEST_F(ServiceLinkTest, StopWhileTheServiceConnectsAndSends)
{
    for (int round = 0; round < 24; ++round) {
        startServer("0");
        const std::uint16_t port = serverPort();
        const auto serve = [] {
            for (;;) {
                if (!waitForClient() && !clientConnected)
                    return; // the server stopped
                while (clientReadable(20ms) ? !receive().empty() : clientConnected.load()) {
                }
                sendDataPacket("Qs121\r\n"); // a service that left is found gone by a send
            }
        };
        std::atomic<bool> stopped{false};
        std::array waits{std::async(std::launch::async, serve), std::async(std::launch::async, serve)};
        auto service = std::async(std::launch::async, [port, &stopped] {
            Peer peer(port); // one connection: the other wait stays in its accept
            while (!stopped && peer.connected() && platform::sendAll(peer.socket(), "{}"))
                std::this_thread::sleep_for(1ms);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 8 * 3));
        auto stop = std::async(std::launch::async, [] { stopServer(); });
        if (stop.wait_for(5s) != std::future_status::ready) {
            ADD_FAILURE() << "the stop hangs in round " << round;
            std::abort(); // nothing ends a deadlock
        }
        for (const auto& wait : waits)
            EXPECT_EQ(wait.wait_for(1s), std::future_status::ready) << "round " << round;
        stopped = true;
        service.wait();
        EXPECT_FALSE(clientConnected);
    }
}

TEST_F(ServiceLinkTest, StopFreesABlockedAcceptAndThePortBindsAgain)
{
    startServer("0");
    const std::uint16_t port = serverPort();
    auto waiting = std::async(std::launch::async, [] { return waitForClient(); });
    std::this_thread::sleep_for(50ms);
    stopServer();
    ASSERT_EQ(waiting.wait_for(1s), std::future_status::ready);
    EXPECT_FALSE(waiting.get());
    startServer(std::to_string(port));
    EXPECT_EQ(serverPort(), port);
    try {
        startServer(std::to_string(port)); // a second server on the same port
        ADD_FAILURE() << "a port in use binds again";
    } catch (const std::exception& e) {
        EXPECT_THAT(e.what(), HasSubstr(fmt::format("sys error 5: Bind failed at port {} with error 10048", port)));
    }
    EXPECT_THROW(startServer("no-such-service"), SysErrorException);
}

} // namespace
} // namespace rtd
