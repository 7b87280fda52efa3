// The program as the traffic service's position source, end to end: the built program and
// the test peer rt_peer with its link scenario, over loopback. The UDP ports are fixed, so
// runs take turns through a lock file (and a CTest resource lock within one run).

#include "fixtures/install_fixture.hpp"
#include "process_support.hpp"
#include "support/temp_folder.hpp"

#include <chrono>
#include <cmath>
#include <csignal>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <thread>

namespace rtd {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;

using test::Line;
using test::linesOf;
using test::PortsLock;
using test::recordLines;
using test::spawn;
using test::waitForExit;

constexpr const char* serverPort = "10747";

TEST(LinkTest, ProgramFeedsThePeerThroughLeaveReturnAndClose)
{
    const PortsLock lock;
    test::TempFolder folder;
    const std::filesystem::path install = folder / "install";
    const std::filesystem::path roaming = folder / "Roaming";
    fixtures::writeInstall(install, roaming, {.port = 10747});
    const std::filesystem::path record = folder / "record.txt";

    const pid_t peer = spawn({RT_PEER_EXE, "--tcp", std::string("127.0.0.1:") + serverPort, "--scenario",
                              RT_PEER_SCENARIOS "/link.scn", "--record", record.string()},
                             folder / "peer.txt");
    const pid_t program = test::spawnProgram(install, folder.path());
    // The scenario closes the program once the position stream has resumed after the return.
    bool resumed = false;
    for (int i = 0; i < 900 && !resumed; ++i) {
        for (const Line& line : linesOf(recordLines(record), "Qs121="))
            resumed = resumed || line.at >= 36;
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_TRUE(resumed) << test::readFile(record);
    kill(program, SIGTERM);
    EXPECT_EQ(test::waitForExit(program, 30s), 0) << test::readFile(folder / "program.txt");
    EXPECT_EQ(test::waitForExit(peer, 90s), 0) << test::readFile(folder / "peer.txt");

    const std::vector<Line> lines = recordLines(record);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().text, "Qs999=version");
    EXPECT_EQ(lines.back().text, "exit");
    EXPECT_EQ(linesOf(lines, "Qs999=").size(), 1u) << "no second version request after the return";

    // Positions about a second apart once the traffic thread runs, except across the
    // service's absence (25 to 30 s), at the stand-in simulator's user aircraft (52.3086,
    // 4.7639). The run phase sends the first one before it waits for the first traffic.
    const std::vector<Line> positions = linesOf(lines, "Qs121=");
    ASSERT_GE(positions.size(), 20u);
    for (std::size_t i = 2; i < positions.size(); ++i) {
        const double gap = positions[i].at - positions[i - 1].at;
        if (positions[i].at < 25 || positions[i - 1].at > 32) {
            EXPECT_NEAR(gap, 1.0, 0.6) << positions[i].at;
        }
    }
    double lat = 0, lon = 0;
    ASSERT_EQ(std::sscanf(positions.back().text.c_str(), "Qs121=%*[^;];%*[^;];%*[^;];%*[^;];%*[^;];%lf;%lf", &lat, &lon), 2);
    EXPECT_NEAR(lat, 52.3086 * M_PI / 180, 1e-6);
    EXPECT_NEAR(lon, 4.7639 * M_PI / 180, 1e-6);
    const std::vector<Line> times = linesOf(lines, "Qs123=");
    ASSERT_GE(times.size(), 4u);
    for (std::size_t i = 2; i < times.size(); ++i)
        if (times[i].at < 25 || times[i - 1].at > 32) {
            EXPECT_NEAR(times[i].at - times[i - 1].at, 5.0, 1.5) << times[i].at;
        }

    const std::string log = test::readFile(install / "Log.txt");
    for (const char* text : {"RealTraffic connected\n", "    QNH Reader connected\n", "    Traffic Reader connected\n",
                             "? Strange QNH 30 found in {\"QNH\":29.92}\n", "no QNH {}\n",
                             "Exception [json.exception.parse_error.101]", ", in not json\n", "buffer overrun: 20000 bytes\n",
                             "sendDataPacket to RealTraffic failed: ", "RealTraffic gone? Wait for RealTraffic to re-connect ...\n",
                             " RealTraffic re-connected\n", "Exiting: USER CLOSED SIM\n", "Traffic Reader has stopped\n"})
        EXPECT_THAT(log, HasSubstr(text));
    EXPECT_THAT(log, ::testing::Not(HasSubstr("No traffic in this region?")));
}

} // namespace
} // namespace rtd
