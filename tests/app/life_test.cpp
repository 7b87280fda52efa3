#include "life_fixture.hpp"

#include "airports/database/airport_database.hpp"
#include "airports/parking/park_airport_state.hpp"
#include "airports/parking/static_parking.hpp"
#include "core/exceptions.hpp"
#include "app/life_services.hpp"
#include "core/requests.hpp"
#include "core/time.hpp"
#include "fixtures/airport_fixture.hpp"
#include "fixtures/dbase_fixture.hpp"
#include "fixtures/fixes_fixture.hpp"
#include "fixtures/livery_fixture.hpp"
#include "traffic/simulator_link/sim_client.hpp"
#include "traffic/engine/traffic_thread.hpp"
#include "ui/headless/headless_window.hpp"
#include "ui/main_window.hpp"

#include <algorithm>

namespace rtd {
namespace {

using namespace std::chrono_literals;
using test::LifeTest;

bool contains(const std::vector<std::string>& texts, const std::string& text)
{
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

TEST(StartUpTexts, TimeSinceLastRun)
{
    EXPECT_EQ(sinceLastRunText(1000, 939), "1 minute and 1 second since last run");
    EXPECT_EQ(sinceLastRunText(1000, 941), "59 seconds since last run");
    EXPECT_EQ(sinceLastRunText(1000, 999), "1 second since last run");
    EXPECT_EQ(sinceLastRunText(1000, 1005), "-5 second since last run") << "a clock set back: no plural";
    EXPECT_EQ(sinceLastRunText(1000, 1001), "-1 second since last run");
    EXPECT_EQ(sinceLastRunText(1000 + 524159 * 60, 1000), "524159 minutes and 0 seconds since last run");
    EXPECT_EQ(sinceLastRunText(1000 + 524160 * 60, 1000), std::nullopt);
    EXPECT_EQ(sinceLastRunText(1700000000, 0), std::nullopt) << "the usual stored 0";
}

TEST(VersionReply, CompleteOnlyOnceTheObjectCloses)
{
    EXPECT_FALSE(jsonObjectComplete(""));
    EXPECT_FALSE(jsonObjectComplete(" \r\n"));
    EXPECT_FALSE(jsonObjectComplete("{\"version\":\"9.0"));
    EXPECT_FALSE(jsonObjectComplete("{\"version\":\"}\", \"a\":{\"b\":1}"));
    EXPECT_FALSE(jsonObjectComplete("{\"v\":\"\\\"}\""));
    EXPECT_TRUE(jsonObjectComplete("{\"version\":\"}\", \"a\":{\"b\":1}}"));
    EXPECT_TRUE(jsonObjectComplete(" {\"level\":2}\r\n"));
    EXPECT_TRUE(jsonObjectComplete("not json")) << "handed to the parser as it is";
}

TEST_F(LifeTest, VersionReplySetsLevelAndEdition)
{
    archiveWeek = 42;
    checkRealTrafficVersion("{\"version\":\"10.0.254\",\"level\":1}");
    EXPECT_FALSE(professionalLevel);
    EXPECT_EQ(mainWindowGlobals.texts().editionText, "RT stnd edition: 10.0.254, archive: week 42");
    checkRealTrafficVersion("{\"version\":null}");
    EXPECT_TRUE(professionalLevel) << "no level counts as professional";
    EXPECT_EQ(mainWindowGlobals.texts().editionText, "RT prof edition: ?, archive: week 42");
    checkRealTrafficVersion("");
    EXPECT_FALSE(professionalLevel);
    EXPECT_TRUE(contains(display.statuses(), "No RealTraffic version received?"));
    EXPECT_ANY_THROW(checkRealTrafficVersion("version 10"));
}

TEST_F(LifeTest, AirportFoldersMustNotBeTheStockAirports)
{
    std::vector<std::string> folders{"stale"};
    afolder0.set("D:\\scenery\\one");
    afolder3.set("D:\\scenery\\two");
    checkStockAirportFolders(folders);
    EXPECT_EQ(folders, (std::vector<std::string>{"D:\\scenery\\one", "D:\\scenery\\two"}));
    afolder5.set("C:\\Official\\fs-base-genericairports");
    try {
        checkStockAirportFolders(folders);
        ADD_FAILURE() << "no user error";
    } catch (const UserErrorException& e) {
        EXPECT_STREQ(e.what(), "42: parameter afolder5 points to stock airports instead of add-on airports!");
    }
    for (StringParameter* folder : {&afolder0, &afolder3, &afolder5})
        folder->set("");
}

TEST_F(LifeTest, PreviousFilesAreRemovedButNotSubFolders)
{
    const std::filesystem::path folder = install / "airports" / "my_simaddon";
    std::filesystem::create_directories(folder / "kept" / "deeper");
    test::writeFile(folder / "a.xml", "a");
    test::writeFile(folder / "kept" / "deeper" / "b.xml", "b");
    removePreviousFiles(folder);
    EXPECT_FALSE(std::filesystem::exists(folder / "a.xml"));
    EXPECT_TRUE(std::filesystem::exists(folder / "kept" / "deeper" / "b.xml"));
    EXPECT_NE(log().find("kept could not be removed"), std::string::npos);
    removePreviousFiles(install / "missing"); // nothing to do
}

TEST_F(LifeTest, StartUpOutsideTheInstallFolderWaitsOnError41)
{
    std::filesystem::remove(install / "docs");
    lf_startUpRMTD();
    EXPECT_EQ(mainWindowGlobals.statusLine().errorText, "41: Ramptide must be run from the Ramptide folder!");
    EXPECT_FALSE(exiting);
    EXPECT_EQ(activeThreadCount, 0);
    EXPECT_TRUE(display.posted().empty());
}

// The model database, the fixes and the airport database in place, so the start-up reaches
// the Community step.
class StartUpTest : public LifeTest {
protected:
    StartUpTest()
    {
        fixtures::writeDbaseFile(install / "input" / "dbase.xml", {.rows = 20});
        fixtures::writeFixesFile(install / "input" / "fixes.xml");
        fixtures::writeAirportDatabase(install.path(), {.seededCodes = 20});
        resetAirports();
    }
    ~StartUpTest() override { resetAirports(); }
};

TEST_F(StartUpTest, WithoutCommunityFolderTheStartUpWaitsOnError150)
{
    MSFS_INSTALL_PATH.set("");
    lf_startUpRMTD();
    EXPECT_EQ(mainWindowGlobals.statusLine().errorText,
              "150: No Community folder detected, type full path to Community above, and press Enter");
    EXPECT_TRUE(dbaseLoaded);
    EXPECT_FALSE(exiting);
    EXPECT_TRUE(std::filesystem::is_directory(install / "airports" / "learned" / "thirdparty"));
    EXPECT_NE(settingsFile().find("DATA_CHECKED_AT_DATE"), std::string::npos);
}

TEST_F(StartUpTest, WithoutAirportDatabaseTheStartUpWaitsOnError88)
{
    const std::filesystem::path packages = install / "Packages";
    std::filesystem::create_directories(packages / "Community");
    test::writeFile(paths().parametersPath,
                    "<parameters><parameter name=\"MSFS_INSTALL_PATH\" value=\"" + packages.string() + "\"/></parameters>");
    std::filesystem::remove(install / "input" / "airports_msfs.xml");
    lf_startUpRMTD();
    EXPECT_EQ(mainWindowGlobals.statusLine().errorText,
              "88: " + (std::filesystem::path("input") / "airports_msfs.xml").string() + " not loaded File was not found");
    EXPECT_TRUE(display.posted().empty());
}

TEST_F(StartUpTest, RunReachesTheTrafficThreadAndACloseEndsIt)
{
    // A Community folder with a generated livery package for the automatic livery scan.
    const std::filesystem::path packages = install / "Packages";
    fixtures::writeLiveryPackage(packages / "Community" / "synthetic-liveries");
    test::writeFile(paths().parametersPath,
                    "<parameters><parameter name=\"MSFS_INSTALL_PATH\" value=\"" + packages.string() + "\"/>"
                    "<parameter name=\"BLOCK_CALLSIGN\" value=\"KLM123\"/></parameters>");
    trafficTimestamp = 1.0; // traffic already arrives: no 15 s wait for the first record
    lf_startUpRMTD();
    const std::string started = log();
    EXPECT_NE(started.find("RealTraffic not detected at this PC"), std::string::npos) << started;
    EXPECT_NE(started.find("liveries scan automatic starts"), std::string::npos);
    EXPECT_NE(started.find("28 airports read from"), std::string::npos);
    EXPECT_NE(started.find("Warning: Scan has not found any add-on airports"), std::string::npos);
    EXPECT_EQ(started.find("No traffic in this region?"), std::string::npos);
    EXPECT_TRUE(mainWindowGlobals.rtConnected) << "no traffic service to wait for";
    EXPECT_TRUE(mainWindowGlobals.simConnected);
    for (int i = 0; i < 500 && activeThreadCount < 4; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(activeThreadCount, 4) << "both readers, the simulator client and the traffic thread run";
    EXPECT_FALSE(SCAN_LIVERIES.value()) << "the scan ran and switched itself off";

    startFinalExit(ExitReason::userClosedSim, 0);
    startFinalExit(ExitReason::userClosedSim, 0);
    EXPECT_EQ(display.waitForPost(), finalExitMessage);
    waitForNoCountedThreads();
    EXPECT_EQ(activeThreadCount, 0);
    EXPECT_EQ(display.posted().size(), 1u);
    const std::string ended = log();
    for (const char* line : {"Exiting: USER CLOSED SIM\n", "\nTraffic Reader has stopped\n", "\nQNH Reader has stopped\n",
                             "\nUser closed Ramptide\n"})
        EXPECT_NE(ended.find(line), std::string::npos) << line << ended;
    EXPECT_EQ(ended.find("Exiting: USER CLOSED SIM", ended.find("Exiting:") + 1), std::string::npos);
    EXPECT_NE(settingsFile().find("name=\"BLOCK_CALLSIGN\" value=\"\""), std::string::npos) << settingsFile();
    EXPECT_TRUE(userClosed);
    EXPECT_FALSE(exiting);
    trafficTimestamp = 0.0;
}

TEST_F(LifeTest, RestartTurnsTheScansOffAndCountsDown)
{
    SCAN_LIVERIES.set(true);
    SCAN_AIRPORTS.set(true);
    saveBoolParameter(SCAN_LIVERIES);
    BLOCK_CALLSIGN.set("KLM123");
    saveStringParameter(BLOCK_CALLSIGN);
    startFinalExit(ExitReason::restart, 2);
    EXPECT_EQ(display.waitForPost(), startUpMessage);
    const std::vector<std::string> statuses = display.statuses();
    EXPECT_TRUE(contains(statuses, "Prepare for a restart ..."));
    EXPECT_TRUE(contains(statuses, "Restarting after 2 seconds"));
    EXPECT_TRUE(contains(statuses, "Restarting after 1 second"));
    EXPECT_FALSE(SCAN_LIVERIES.value());
    EXPECT_FALSE(SCAN_AIRPORTS.value());
    const std::string settings = settingsFile();
    EXPECT_NE(settings.find("name=\"SCAN_LIVERIES\" value=\"false\""), std::string::npos) << settings;
    EXPECT_NE(settings.find("name=\"BLOCK_CALLSIGN\" value=\"KLM123\""), std::string::npos) << "a restart keeps it";
    EXPECT_NE(log().find("Exiting: RESTART\n"), std::string::npos);
    EXPECT_NE(log().find("Restarting after 2 seconds\n"), std::string::npos);
    EXPECT_EQ(exitReason, ExitReason::notYetSet);
    waitForNoCountedThreads();
    BLOCK_CALLSIGN.set("");
}

TEST_F(LifeTest, CloseDuringTheRestartCountdownEndsTheProgramInstead)
{
    SCAN_LIVERIES.set(true);
    SCAN_AIRPORTS.set(true);
    startFinalExit(ExitReason::restartIpp, 3);
    for (int i = 0; i < 500 && !contains(display.statuses(), "Restarting after 3 seconds"); ++i)
        std::this_thread::sleep_for(10ms);
    startFinalExit(ExitReason::userClosedSim, 0);
    EXPECT_EQ(display.waitForPost(), finalExitMessage);
    waitForNoCountedThreads();
    EXPECT_EQ(display.posted(), std::vector<std::uint32_t>{finalExitMessage}) << "no restart beside the close";
    EXPECT_FALSE(contains(display.statuses(), "Restarting after 1 second"));
    EXPECT_TRUE(SCAN_LIVERIES.value()) << "RESTART_IPP keeps the scan options";
    EXPECT_TRUE(SCAN_AIRPORTS.value());
    const std::string text = log();
    EXPECT_LT(text.find("Exiting: RESTART_IPP"), text.find("Exiting: USER CLOSED SIM")) << text;
}

// A close while a restart waits for a thread that has not ended yet: no restart follows,
// the program ends.
TEST_F(LifeTest, CloseDuringARestartsWaitEndsTheProgram)
{
    std::atomic<bool> release{false};
    std::thread held([&release] {
        const CountedThread counted; // a start-up worker stuck in a slow step
        while (!release)
            std::this_thread::sleep_for(10ms);
    });
    startFinalExit(ExitReason::restart, 1);
    for (int i = 0; i < 200 && log().find("Exiting: RESTART") == std::string::npos; ++i)
        std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(500ms); // past the procedure's first steps, into its wait
    startFinalExit(ExitReason::userClosedSim, 0);
    release = true;
    held.join();
    EXPECT_EQ(display.waitForPost(), finalExitMessage);
    waitForNoCountedThreads();
    EXPECT_EQ(display.posted(), std::vector<std::uint32_t>{finalExitMessage});
    const std::string text = log();
    EXPECT_LT(text.find("Exiting: RESTART\n"), text.find("Exiting: USER CLOSED SIM\nUser closed Ramptide")) << text;
    EXPECT_EQ(text.find("Restarting after"), std::string::npos) << text;
}

std::atomic<bool> releaseTrafficThread{false};

// A traffic thread that does not stop: the exit waits for it once, within its one bound,
// leaves its stands alone and saves the learned file from the copy it handed over.
TEST_F(LifeTest, HungTrafficThreadIsWaitedForOnceAndItsLearnedCopySaved)
{
    StandOption base;
    base.registration = "PH-BXB";
    base.number = 1;
    StandOption learned = base;
    learned.number = 2;
    learned.day = 3;
    learned.halfHours = 1;
    learned.learned = true;
    parkAirport.stands = {ParkingPosition("A1", {base, learned}, 0.1, 0, 0, 30, false, false, false)};
    parkAirport.icao = "AAAA";
    parkAirport.learnedPath = install / "AAAA.xml";
    parkAirport.active = true;
    parkAirport.learnedUpdateCount = 1;
    publishParkAirportState(); // the traffic thread's last second
    ASSERT_TRUE(startRunThread(RunThread::mainLoop, [](std::stop_token) {
        const CountedThread counted;
        while (!releaseTrafficThread)
            std::this_thread::sleep_for(10ms);
    }));
    const auto start = std::chrono::steady_clock::now();
    startFinalExit(ExitReason::userClosedSim, 0);
    EXPECT_EQ(display.waitForPost(), finalExitMessage);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 11s);
    EXPECT_EQ(parkAirport.stands[0].options.size(), 2u) << "the traffic thread's stands are not touched";
    EXPECT_TRUE(std::filesystem::exists(parkAirport.learnedPath));
    EXPECT_NE(log().find("\nsaved the learned file of AAAA with 1 update, from the traffic thread's copy\n"), std::string::npos) << log();
    releaseTrafficThread = true;
    waitForNoCountedThreads();
    parkAirport.stands.clear();
    parkAirport.icao.clear();
    parkAirport.active = false;
    parkAirport.learnedUpdateCount = 0;
    publishParkAirportState();
}

// The window with the program's own services: the park airport the traffic thread published
// is painted with its reserved stand, and the automatic range follows the nearest park airport.
TEST_F(LifeTest, WindowShowsTheParkAirportThroughTheProgramsServices)
{
    test::writeFile(install / "input" / "airports_msfs.xml",
                    "<airports><airport code=\"AAAA\" iata=\"AAA\" lat=\"0.1\" lon=\"0\" alt=\"0\"/></airports>");
    resetAirports();
    ASSERT_TRUE(readAirports());
    std::filesystem::create_directories(install / parkAirportsPath().parent_path());
    test::writeFile(install / parkAirportsPath(), "AAAA\n");
    ASSERT_TRUE(readParkAirports(true));
    ASSERT_TRUE(logParkAirport("AAAA"));
    reservedStandName = "B12";
    mainWindowGlobals.parkFiguresValid = true;
    publishParkAirportState();
    app::LifeServices services;
    ui::HeadlessWindow host{400, 20};
    {
        ui::MainWindow window{host, services};
        host.create(window);
        ASSERT_TRUE(host.pumpPending());
        EXPECT_NE(host.lastPaint().findText("AAAA (AAA)"), nullptr);
        EXPECT_NE(host.lastPaint().findText("reserved stand: B12"), nullptr);
        userOnGround = false; // in flight at 0 ft, 6 nm from AAAA
        window.showRange();
        EXPECT_EQ(LATERAL_RANGE.value(), 9);
    }
    setWindowDisplay(&display);
    resetParkingState();
    publishParkAirportState();
    setLateralRange(LATERAL_RANGE.defaultValue());
    mainWindowGlobals.parkFiguresValid = false;
    resetAirports();
}

// At the professional level the half-hour slots follow the traffic records' time, which
// can differ from the PC's clock; otherwise the PC's clock counts.
TEST_F(LifeTest, ProgramClockFollowsTheTrafficRecordsAtTheProfessionalLevel)
{
    app::installLifeCycle();
    setWallClock([]() -> std::int64_t { return 1704289500; }); // Wednesday 3 January 2024 13:45:00 UTC
    struct Case {
        const char* name;
        bool professional;
        double recordTime;
        DaySlot slot;
        const char* clock;
    };
    const Case cases[] = {
        {"records of Monday 00:15", true, 1704068100.9, makeDaySlot(1, 0), "00:15:00"},
        {"records of Sunday 23:59", true, 1704067199.0, makeDaySlot(7, 47), "23:59:59"},
        {"no record yet", true, 0.0, makeDaySlot(3, 27), "13:45:00"},
        {"standard level", false, 1704068100.0, makeDaySlot(3, 27), "13:45:00"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        professionalLevel = test.professional;
        trafficTimestamp = test.recordTime;
        EXPECT_EQ(currentDayAndHalfHour(), test.slot);
        EXPECT_EQ(currentTimeText(), test.clock);
    }
    professionalLevel = false;
    trafficTimestamp = 0.0;
    setWallClock(nullptr);
    setFeedClock(nullptr);
}

TEST_F(LifeTest, ReReadWaitsWhileParkingIsBusy)
{
    reReadRequested = true;
    parkingBusy = true;
    handleReReadRequest();
    EXPECT_TRUE(reReadRequested);
    parkingBusy = false;
    handleReReadRequest();
    EXPECT_FALSE(reReadRequested);
    EXPECT_TRUE(contains(display.statuses(), "park airports and stands are okay"));
}

} // namespace
} // namespace rtd
