// Starts the built program as a user would, in a fresh installation folder with its own
// application-data folders, and drives it with signals.

#include "fixtures/airport_fixture.hpp"
#include "fixtures/dbase_fixture.hpp"
#include "fixtures/fixes_fixture.hpp"
#include "fixtures/livery_fixture.hpp"
#include "support/http_server.hpp"
#include "support/temp_folder.hpp"
#include "wait_for_exit.hpp"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <regex>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace rtd {
namespace {

using namespace std::chrono_literals;

class ProgramTest : public ::testing::Test {
protected:
    ProgramTest()
    {
        std::filesystem::create_directory(install / "docs");
        std::filesystem::create_directory(install / "input");
        fixtures::writeAirportDatabase(install.path(), {.seededCodes = 20});
    }

    ~ProgramTest() override
    {
        // A failed assertion must not leave a copy running.
        for (const pid_t pid : started)
            if (waitpid(pid, nullptr, WNOHANG) == 0) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
    }

    pid_t start()
    {
        test::ScopedCurrentFolder cwd(install.path());
        test::ScopedEnv roaming("APPDATA", (appData / "Roaming").string());
        test::ScopedEnv local("LOCALAPPDATA", (appData / "Local").string());
        test::ScopedEnv server("RAMPTIDE_UPDATE_URL", updateUrl);
        char* argv[] = {const_cast<char*>(RAMPTIDE_EXE), nullptr};
        pid_t pid = 0;
        EXPECT_EQ(posix_spawn(&pid, RAMPTIDE_EXE, nullptr, nullptr, argv, environ), 0);
        started.push_back(pid);
        return pid;
    }

    static int waitForExit(pid_t pid) { return test::waitForExit(pid, std::chrono::seconds(10)); }

    // Waits until the running copy's log holds the text.
    bool waitForLog(const std::string& text)
    {
        for (int i = 0; i < 1000; ++i) {
            if (test::readFile(install / "Log.txt").find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    // The start-up stops on its error line (here: no model database) and the program waits.
    bool waitForRunningLog() { return waitForLog("\nError "); }

    test::TempFolder install;
    test::TempFolder appData;
    std::string updateUrl = "http://127.0.0.1:1/"; // unreachable
    std::vector<pid_t> started;
};

TEST_F(ProgramTest, OneInstanceRunsAndClosesCleanly)
{
    const pid_t first = start();
    ASSERT_TRUE(waitForRunningLog()) << "no header line";
    // The log's header is written before the window exists; the lock is already held.
    EXPECT_EQ(waitForExit(start()), 255) << "a second copy must return -1";
    EXPECT_TRUE(std::filesystem::is_directory(appData / "Roaming" / "Ramptide"));

    kill(first, SIGTERM);
    EXPECT_EQ(waitForExit(first), 0);
    const std::string log = test::readFile(install / "Log.txt");
    // The close is announced, the window's position saved, and the closing time line is the
    // last one, so the log was flushed and closed.
    // The close's status text is not logged while the error line shows.
    EXPECT_NE(log.find("\nExiting: USER CLOSED SIM\nUser closed Ramptide\nBLOCK_CALLSIGN=\n"), std::string::npos)
        << log;
    EXPECT_NE(log.find("\nMAIN_WINDOW_X=400\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\nMAIN_WINDOW_Y=20\n"), std::string::npos) << log;
    EXPECT_NE(test::readFile(appData / "Roaming" / "Ramptide" / "parameters.xml").find("MAIN_WINDOW_Y"),
              std::string::npos);
    const auto lastLine = log.substr(log.rfind('\n', log.size() - 2) + 1);
    EXPECT_TRUE(std::regex_match(lastLine, std::regex("[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9:]{8} [0-9]{4}\n")))
        << lastLine;

    // The next start keeps this run's log as Log0.txt.
    const pid_t again = start();
    for (int i = 0; i < 1000 && !std::filesystem::exists(install / "Log0.txt"); ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(waitForRunningLog());
    kill(again, SIGINT);
    EXPECT_EQ(waitForExit(again), 0);
    EXPECT_EQ(test::readFile(install / "Log0.txt"), log);
}

// The user closes the program while its start-up waits for an update server that never
// answers: the download gives up and the program ends at once.
TEST_F(ProgramTest, CloseDuringAStalledDownloadEndsTheProgram)
{
    test::TempFolder served;
    test::HttpServer server(served.path());
    server.neverAnswer("/downloads/dbase/version.json");
    updateUrl = server.baseUrl();
    const pid_t pid = start();
    for (int i = 0; i < 1000 && server.requests().empty(); ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_FALSE(server.requests().empty()) << test::readFile(install / "Log.txt");
    const auto closed = std::chrono::steady_clock::now();
    kill(pid, SIGTERM);
    EXPECT_EQ(waitForExit(pid), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - closed, 15s);
    const std::string log = test::readFile(install / "Log.txt");
    EXPECT_LT(log.find("\nExiting: USER CLOSED SIM\n"), log.find("\nUser closed Ramptide\nBLOCK_CALLSIGN=\n")) << log;
    EXPECT_NE(log.find("\nUser closed Ramptide\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("still running"), std::string::npos) << log;
    EXPECT_EQ(log.find("dbase records"), std::string::npos) << "the start-up ended with the download";
}

TEST_F(ProgramTest, OutsideTheInstallFolderTheProgramWaitsOnError41)
{
    std::filesystem::remove(install / "docs");
    const pid_t pid = start();
    ASSERT_TRUE(waitForLog("Error 41: Ramptide must be run from the Ramptide folder!\n"))
        << test::readFile(install / "Log.txt");
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0) << "the program waits for the user";
    kill(pid, SIGTERM);
    EXPECT_EQ(waitForExit(pid), 0);
}

TEST_F(ProgramTest, UnwritableLogIsReportedAndEndsTheProgram)
{
    std::filesystem::create_directory(install / "Log.txt"); // a folder where the log belongs
    EXPECT_EQ(waitForExit(start()), 1);
}

} // namespace
} // namespace rtd

namespace rtd {
namespace {

// The demo: with the model database and a Community folder the run reaches the simulator,
// which a scenario scripts and then quits.
TEST_F(ProgramTest, ScenarioSimulatorConnectsAndItsQuitEndsTheProgram)
{
    fixtures::writeDbaseFile(install / "input" / "dbase.xml", {.rows = 20});
    fixtures::writeFixesFile(install / "input" / "fixes.xml");
    const std::filesystem::path packages = install / "Packages";
    fixtures::writeLiveryPackage(packages / "Community" / "synthetic-liveries");
    std::filesystem::create_directories(appData / "Roaming" / "Ramptide");
    test::writeFile(appData / "Roaming" / "Ramptide" / "parameters.xml",
                    "<parameters><parameter name=\"MSFS_INSTALL_PATH\" value=\"" + packages.string() +
                        "\"/></parameters>");
    test::writeFile(install / "scenario.txt", "setUserTitle title=\"Demo Jet 738\"\n"
                                              "setUserAtcModel model=\"ATCCOM.AC_MODEL B738.0.text\"\n"
                                              "bad line\n"
                                              "at 6 quit\n");
    test::ScopedEnv scenario("RAMPTIDE_SIM_SCENARIO", (install / "scenario.txt").string());
    test::ScopedEnv record("RAMPTIDE_SIM_RECORD", (install / "sim-record").string());
    const pid_t pid = start();
    EXPECT_EQ(waitForExit(pid), 0);
    const std::string log = test::readFile(install / "Log.txt");
    for (const char* line : {"MSFS (1.2.3.4) connected", "SimConnect: User aircraft title: Demo Jet 738",
                             "SimConnect: User aircraft model: B738", "Exiting: SIM WAS CLOSED",
                             "scenario.txt\", line 3: arguments are key=value"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    const std::string state = test::readFile(install / "sim-record" / "state.json");
    EXPECT_NE(state.find("\"connections\": 0"), std::string::npos) << state;
    EXPECT_NE(test::readFile(install / "sim-record" / "calls.log").find("SimConnect_Close() -> 0"), std::string::npos);
}

} // namespace
} // namespace rtd
