// The program as the traffic service's position source, end to end: the built program and
// the test peer rt_peer with its link scenario, over loopback. The UDP ports are fixed, so
// runs take turns through a lock file (and a CTest resource lock within one run).

#include "fixtures/install_fixture.hpp"
#include "support/temp_folder.hpp"
#include "wait_for_exit.hpp"

#include <chrono>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sstream>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace rtd {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;

constexpr const char* portsLockFile = "/tmp/ramptide-reader-ports.lock";
constexpr const char* serverPort = "10747";

// Holds the lock on the fixed ports for its lifetime.
class PortsLock {
public:
    PortsLock() : fd_(::open(portsLockFile, O_RDWR | O_CREAT | O_CLOEXEC, 0666)) { ::flock(fd_, LOCK_EX); }
    ~PortsLock() { ::close(fd_); }

private:
    int fd_;
};

pid_t spawn(const std::vector<std::string>& arguments, const std::filesystem::path& output)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

struct Line {
    double at;
    std::string text;
};

std::vector<Line> recordLines(const std::filesystem::path& record)
{
    std::vector<Line> lines;
    std::istringstream in(test::readFile(record));
    std::string line;
    while (std::getline(in, line)) {
        const auto tab = line.find('\t');
        if (tab != std::string::npos)
            lines.push_back({std::stod(line.substr(0, tab)), line.substr(tab + 1)});
    }
    return lines;
}

std::vector<Line> linesOf(const std::vector<Line>& lines, std::string_view prefix)
{
    std::vector<Line> found;
    for (const Line& line : lines)
        if (line.text.starts_with(prefix))
            found.push_back(line);
    return found;
}

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
    pid_t program = 0;
    {
        test::ScopedCurrentFolder cwd(install);
        test::ScopedEnv appData("APPDATA", roaming.string());
        test::ScopedEnv local("LOCALAPPDATA", (folder / "Local").string());
        test::ScopedEnv server("RAMPTIDE_UPDATE_URL", "http://127.0.0.1:1/");
        program = spawn({RAMPTIDE_EXE}, folder / "program.txt");
    }
    // The scenario closes the program once the position stream has resumed after the return.
    bool resumed = false;
    for (int i = 0; i < 900 && !resumed; ++i) {
        for (const Line& line : linesOf(recordLines(record), "Qs121="))
            resumed = resumed || line.at >= 36;
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_TRUE(resumed) << test::readFile(record);
    kill(program, SIGTERM);
    EXPECT_EQ(test::waitForExit(program, 30s), 0);
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
