// The version handshake with a traffic service peer over real loopback sockets; the peer
// sends its reply in two writes, as TCP may deliver it.

#include "../life_fixture.hpp"

#include "simulator/stand_in.hpp"
#include "traffic/simulator_link/sim_client.hpp"

#include <fmt/format.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace rtd {
namespace {

using namespace std::chrono_literals;

// Connects to the program's server, reads the version request and answers in pieces.
void servicePeer(std::uint16_t port, std::vector<std::string> pieces, std::string& request)
{
    const int peer = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const int one = 1;
    ::setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(peer, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(peer);
        return;
    }
    char buffer[64];
    const ssize_t got = ::recv(peer, buffer, sizeof buffer, 0);
    request.assign(buffer, got > 0 ? static_cast<std::size_t>(got) : 0);
    for (const std::string& piece : pieces) {
        ::send(peer, piece.data(), piece.size(), MSG_NOSIGNAL);
        std::this_thread::sleep_for(50ms);
    }
    char rest[64];
    while (::recv(peer, rest, sizeof rest, 0) > 0) { // until the program closes: "exit"
    }
    ::close(peer);
}

struct Exchange {
    std::string name; // of the test case
    std::vector<std::string> pieces;
    bool professional;
    std::string edition;
};

class VersionExchangeTest : public test::LifeTest, public ::testing::WithParamInterface<Exchange> {};

TEST_P(VersionExchangeTest, ReplyInPiecesIsReadWhole)
{
    realTrafficOnThisPc = true;
    archiveWeek = 7;
    professionalLevel = !GetParam().professional;
    mainWindowGlobals.editTexts([](DisplayTexts& texts) { texts.editionText.clear(); });
    startServer("0");
    std::string request;
    std::thread peer(servicePeer, serverPort(), GetParam().pieces, std::ref(request));
    waitForRealTraffic();
    EXPECT_TRUE(clientConnected);
    stopServer();
    peer.join();
    EXPECT_EQ(request, "Qs999=version\r\n");
    EXPECT_EQ(professionalLevel, GetParam().professional);
    EXPECT_EQ(mainWindowGlobals.texts().editionText, GetParam().edition);
    EXPECT_TRUE(mainWindowGlobals.rtConnected);
    EXPECT_NE(log().find("RealTraffic connected"), std::string::npos);
    EXPECT_EQ(mainWindowGlobals.statusLine().statusText, "") << "the waiting text is cleared";
}

INSTANTIATE_TEST_SUITE_P(
    Replies, VersionExchangeTest,
    ::testing::Values(Exchange{"ProfessionalSplitInTheVersion", {"{\"version\":\"10.0.2", "54\",\"level\":2}"}, true,
                               "RT prof edition: 10.0.254, archive: week 7"},
                      Exchange{"StandardWithLineEnd", {"{\"version\":\"9.1\",", "\"level\":1}\r\n"}, false,
                               "RT stnd edition: 9.1, archive: week 7"},
                      Exchange{"WithoutVersion", {"{\"lev", "el\":2}"}, true, "RT prof edition: ?, archive: week 7"},
                      Exchange{"NoReply", {}, false, ""}),
    [](const ::testing::TestParamInfo<Exchange>& info) { return info.param.name; });

// The service connected long after the last user state: the time line carries the time of
// a user state asked for then.
TEST_F(VersionExchangeTest, HandshakeTimeIsFresh)
{
    auto sim = std::make_shared<sim::StandInSim>();
    sim::installStandIn(sim);
    ASSERT_TRUE(startRunThread(RunThread::simClient, SimClient));
    for (int i = 0; i < 500 && simUtcSeconds == 0; ++i) {
        requestUserAircraftPosition();
        std::this_thread::sleep_for(10ms);
    }
    sim->setZulu(2024, 100, 3600); // the time moved on while the service was awaited
    startServer("0");
    std::string request;
    std::thread peer(servicePeer, serverPort(), std::vector<std::string>{}, std::ref(request));
    ASSERT_TRUE(waitForClient());
    sendHandshakeTime();
    stopServer();
    peer.join();
    requestRunThreadsStop();
    endRunThreads();
    resetSimLink();
    sim::installStandIn(nullptr);
    const std::string expected = fmt::format("Qs123={}\r\n", unixTimeOfZulu(2024, 100, 3600) * 1000);
    EXPECT_EQ(request.substr(0, request.find('\n') + 1), expected);
}

TEST_F(VersionExchangeTest, NoClientWhenTheServerStops)
{
    startServer("0");
    std::thread stopper([] {
        std::this_thread::sleep_for(100ms);
        stopServer();
    });
    EXPECT_FALSE(waitForClient());
    stopper.join();
    EXPECT_THROW(startServer("port"), std::exception);
}

} // namespace
} // namespace rtd
