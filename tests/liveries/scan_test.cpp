#include "dbase_support.hpp"
#include "scan_support.hpp"

#include "core/display.hpp"
#include "core/exceptions.hpp"
#include "core/exit.hpp"
#include "core/parameters.hpp"
#include "core/paths.hpp"
#include "core/workers.hpp"
#include "liveries/dbase.hpp"
#include "liveries/scan.hpp"
#include "liveries/scan_tables.hpp"
#include "platform/platform.hpp"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace rtd {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;

const fs::path scannedXml{"output/LiveriesScanned.xml"};

// The status texts shown while it lives.
class StatusRecorder : public WindowDisplay {
public:
    StatusRecorder() { setWindowDisplay(this); }
    ~StatusRecorder() { setWindowDisplay(nullptr); }
    StatusRecorder(const StatusRecorder&) = delete;
    StatusRecorder& operator=(const StatusRecorder&) = delete;

    void invalidate(const Rect& band) override
    {
        if (band == statusBand)
            texts.push_back(mainWindowGlobals.statusLine().statusText);
    }

    std::vector<std::string> texts;
};

std::string withoutMeta(std::string text)
{
    const std::size_t begin = text.find("<meta>");
    const std::size_t end = text.find("</meta>");
    if (begin != std::string::npos && end != std::string::npos)
        text.erase(begin, end + 8 - begin);
    return text;
}

std::map<std::string, std::string> scanOutput()
{
    std::map<std::string, std::string> files = test::resultFiles();
    if (files.count(scannedXml.generic_string()) != 0)
        files[scannedXml.generic_string()] = withoutMeta(files[scannedXml.generic_string()]);
    return files;
}

// Forty files in "Shared/f00".."Shared/f39" with one title, each with another airline.
void writeSharedTitles(const test::ScanWorld& world)
{
    const std::array airlines{"DLH", "KLM", "BAW", "AFR", "UAL"};
    for (int i = 0; i < 40; ++i)
        world.writeCfg(fmt::format("Shared/f{:02}", i), "Shared Title Livery", airlines[i % airlines.size()]);
}

// The scanned list of the generated package, sorted.
const char* const packageLiveries[] = {
    R"(<liv airl="AAL" type="B738" title="B738 AAL Synthetic" atcid="G-AGHE" />)",
    R"(<liv airl="AAL" type="B77W" title="B77W AAL Synthetic" atcid="N340OS" />)",
    R"(<liv airl="ACA" type="A320" title="A320 ACA Synthetic" atcid="VH-TKY" />)",
    R"(<liv airl="ACA" type="B77W" title="B77W ACA Synthetic" atcid="D-JSHH" />)",
    R"(<liv airl="AFR" type="A320" title="A320 AFR Synthetic" atcid="F-ETKY" />)",
    R"(<liv airl="AFR" type="B77W" title="B77W AFR Synthetic" atcid="F-JGOS" />)",
    R"(<liv airl="AUA" type="A320" title="A320 AUA Synthetic" atcid="EI-TKY" />)",
    R"(<liv airl="AUA" type="B763" title="B763 AUA Synthetic" atcid="F-SGWG" />)",
    R"(<liv airl="BAW" type="A320" title="A320 BAW Synthetic" atcid="G-ETKY" />)",
    R"(<liv airl="BAW" type="B77W" title="B77W BAW Synthetic" atcid="G-JGOS" />)",
    R"(<liv airl="CFE" type="E190" title="E190 CFE Synthetic" atcid="C-NTSM" />)",
    R"(<liv airl="CLH" type="E190" title="E190 CLH Synthetic" atcid="D-NTSM" />)",
    R"(<liv airl="DAL" type="B763" title="B763 DAL Synthetic" atcid="G-SGWG" />)",
    R"(<liv airl="DLH" type="A320" title="A320W DLH" atcid="" />)",
    R"(<liv airl="DLH" type="A320" title="A320 DLH Synthetic" atcid="D-ETKY" />)",
    R"(<liv airl="DLH" type="EC45" title="EC45 DLH Rescue" atcid="D-HDLR" />)",
    R"(<liv airl="EZY" type="A20N" title="A20N EZY Based" atcid="G-EZSY" />)",
    R"(<liv airl="EZY" type="A320" title="A320 EZY Synthetic" atcid="N223KY" />)",
    R"(<liv airl="FDX" type="B763" cargo="true" title="B763 FDX Synthetic" atcid="N574WG" />)",
    R"(<liv airl="FIN" type="A320" title="A320 FIN Synthetic" atcid="D-FFDN" />)",
    R"(<liv airl="GTI" type="B763" cargo="true" title="B763 GTI Synthetic" atcid="EI-GWG" />)",
    R"(<liv airl="HOP" type="E190" title="E190 HOP Synthetic" atcid="N457SM" />)",
    R"(<liv airl="IBE" type="A320" title="A320 IBE Synthetic" atcid="9V-TKY" />)",
    R"(<liv airl="JAL" type="B738" title="B738 JAL Synthetic" atcid="C-AGHE" />)",
    R"(<liv airl="JAL" type="B763" title="B763 JAL Synthetic" atcid="C-SGWG" />)",
    R"(<liv airl="KLC" type="E190" title="E190 KLC Synthetic" atcid="F-NTSM" />)",
    R"(<liv airl="KLM" type="B738" title="B738 KLM Synthetic" atcid="D-AGHE" />)",
    R"(<liv airl="KLM" type="B738" title="B738 KLM" atcid="PH-BXA" />)",
    R"(<liv airl="KLM" type="B77W" title="B77W KLM Synthetic" atcid="D-JGOS" />)",
    R"(<liv airl="KLM" type="E190" title="E190 KLM Synthetic" atcid="G-NTSM" />)",
    R"(<liv airl="PVT" type="C172" title="C172 Synthetic Private" atcid="N123SY" />)",
    R"(<liv airl="PVT" type="EC35" title="EC35 Synthetic Private" atcid="N123SY" />)",
    R"(<liv airl="QFA" type="B738" title="B738 QFA Synthetic" atcid="N106HE" />)",
    R"(<liv airl="QTR" type="A320" title="A320 QTR Synthetic" atcid="HB-TKY" />)",
    R"(<liv airl="QTR" type="B77W" title="B77W QTR Synthetic" atcid="VH-GOS" />)",
    R"(<liv airl="RYR" type="B738" title="B738RYR" atcid="" />)",
    R"(<liv airl="RYR" type="B738" title="B738 RYR Synthetic" atcid="F-AGHE" />)",
    R"(<liv airl="SIA" type="B77W" title="B77W SIA Synthetic" atcid="9V-GOS" />)",
    R"(<liv airl="SWA" type="B738" title="B738 SWA Synthetic" atcid="PH-GHE" />)",
    R"(<liv airl="SWR" type="A320" title="A320 SWR Synthetic" atcid="PH-TKY" />)",
    R"(<liv airl="SWR" type="B77W" title="B77W SWR Synthetic" atcid="PH-GOS" />)",
    R"(<liv airl="THY" type="B77W" title="B77W THY Synthetic" atcid="EI-GOS" />)",
    R"(<liv airl="UAE" type="B77W" title="B77W UAE Synthetic" atcid="HB-GOS" />)",
    R"(<liv airl="UAL" type="A320" title="A320 UAL Synthetic" atcid="C-ETKY" />)",
    R"(<liv airl="UAL" type="B763" title="B763 UAL Synthetic" atcid="D-SGWG" />)",
    R"(<liv airl="UAL" type="B77W" title="B77W UAL Synthetic" atcid="C-JGOS" />)",
    R"(<liv airl="UPS" type="B763" cargo="true" title="B763 UPS Synthetic" atcid="PH-GWG" />)",
    R"(<liv airl="WZZ" type="A320" title="A320 WZZ Synthetic" atcid="G-FFDN" />)",
};

TEST(LiveryScan, GeneratedPackageGivesTheExpectedFiles)
{
    test::ScanWorld world;
    world.writePackage("Community/synthetic");
    ASSERT_TRUE(test::runScan({"Community/synthetic"}));
    const std::string folder = "Community/synthetic/synthetic-traffic/SimObjects/Airplanes/";
    const std::string ivao = "Community/synthetic/IVAO_MTL/SimObjects/Airplanes/";
    const std::map<std::string, std::string> files = scanOutput();
    // "PVT" is an airline of the database, so it is no fix: private liveries are offered as they are.
    EXPECT_EQ(files.size(), 6U);
    EXPECT_EQ(files.count("output/errors/Fixes.txt"), 0U);
    EXPECT_EQ(files.at("output/errors/InvalidAircraftCodes.txt"),
              fmt::format("ZZ99             in {}Synthetic_Unknown_Model/aircraft.cfg\n", folder));
    EXPECT_EQ(files.at("output/info/AircraftCfgWithNoFltsimSection.txt"),
              fmt::format("{}Synthetic_No_Sections/aircraft.cfg\n", folder));
    EXPECT_EQ(files.at("output/errors/InvalidAircraftCfgFiles.txt"),
              fmt::format("{0}Synthetic_Gap/aircraft.cfg contains non-consecutive [fltsim.x] numbers at .x=2\n"
                          "{0}Synthetic_Unnumbered/aircraft.cfg contains a [fltsim.] section without a number\n"
                          "Line icao_type_designator= is missing in [General] section of "
                          "{0}Synthetic_Short_Base/aircraft.cfg\n",
                          folder));
    EXPECT_EQ(files.at("output/errors/IncompleFltsimSections.txt"),
              fmt::format("{1}IVAO_A320wCFM [fltsim.1] misses airlinecode in title\n"
                          "{1}IVAO_B738 [fltsim.2] misses airlinecode in title\n"
                          "{1}IVAO_B738/texture.SWA [fltsim.3] does not exist\n"
                          "{0}Synthetic_Bad_Keys [fltsim.0] has more than one title key\n"
                          "{0}Synthetic_Bad_Keys [fltsim.1] empty icao_airline=\n"
                          "{0}Synthetic_Bad_Keys [fltsim.3] has more than one atc_parking_types key\n"
                          "{0}Synthetic_Bad_Keys [fltsim.5] misses title\n"
                          "{0}Synthetic_Bad_Keys, [fltsim.2], has more than one atc_id key\n",
                          folder, ivao));
    EXPECT_EQ(files.at("output/errors/InvalidAirlineCodes.txt"),
              fmt::format("ZZZ          in {0}Synthetic_A20N_Base/aircraft.cfg [fltsim.1]\n", folder));
    std::string xml = "<?xml version=\"1.0\"?>\n<liveries>\n";
    for (const char* liv : packageLiveries)
        xml += fmt::format("\t{}\n", liv);
    EXPECT_EQ(files.at(scannedXml.generic_string()), xml + "</liveries>\n");
    const std::string log = world.logText();
    EXPECT_THAT(log, HasSubstr("\nErrors:\n1 invalid airline code, see output"));
    EXPECT_THAT(log, HasSubstr("PVT fix PVT is an ICAO airline code? "));
    EXPECT_THAT(log, HasSubstr("\nInformation:\n1 empty aircraft.cfg files, see output"));
}

TEST(LiveryScan, SameOutputWithAnyWorkerCountAndTheFirstFileKeepsATitle)
{
    test::ScanWorld world;
    world.writePackage("Community/a");
    world.writePackage("Community/b");
    writeSharedTitles(world);
    std::map<std::string, std::string> first;
    for (const unsigned workers : {1U, 4U, 16U}) {
        ASSERT_TRUE(test::runScan({"Community/a", "Community/b", "Shared"}, workers));
        EXPECT_EQ(activeWorkers(), 0);
        const std::map<std::string, std::string> files = scanOutput();
        if (first.empty())
            first = files;
        EXPECT_EQ(files, first) << workers << " workers";
    }
    const std::string& xml = first.at(scannedXml.generic_string());
    EXPECT_THAT(xml, HasSubstr(R"(<liv airl="DLH" type="B738" title="Shared Title Livery" atcid="" />)"));
    EXPECT_THAT(xml, Not(HasSubstr(R"(<liv airl="KLM" type="B738" title="Shared Title Livery")")));
    const std::string& sections = first.at("output/errors/IncompleFltsimSections.txt");
    EXPECT_THAT(sections, Not(HasSubstr("Shared/f00 [fltsim.0]")));
    EXPECT_THAT(sections, HasSubstr("Shared/f39 [fltsim.0] title \"Shared Title Livery\" already exists"));
    // The second package only repeats titles of the first.
    EXPECT_THAT(sections, HasSubstr("Community/b/synthetic-traffic/SimObjects/Airplanes/Synthetic_A320 [fltsim.0] "
                                    "title \"A320 DLH Synthetic\" already exists"));
    EXPECT_THAT(sections, Not(HasSubstr("Community/a/synthetic-traffic/SimObjects/Airplanes/Synthetic_A320 [fltsim.0]")));
}

TEST(LiveryScan, FolderCountsPrioritiesAndSkippedFolders)
{
    test::ScanWorld world;
    world.writeCfg("f1/a", "Boeing 738 One", "DLH");
    world.writeCfg("f1/b", "Boeing 738 Two", "KLM");
    world.writeCfg("f1/c", "Boeing 738 Three", "BAW");
    fs::create_directories(world.path("f2"));
    world.writeCfg("f3/a", "Boeing 738 Four", "DLH");
    world.writeCfg("f3/b", "Boeing 738 Five", "AFR");
    test::writeFile(world.path("plain"), "not a folder");
    ASSERT_TRUE(test::runScan({"f1", "f2", "missing", "plain", "f3"}, 4, true));
    const std::string log = world.logText();
    EXPECT_THAT(log, HasSubstr("3 liveries found in f1\n0 liverie found in f2\nmissing does not exist, skipped!\n"
                               "plain is not a folder name, skipped!\n2 liveries found in f3\n5 in total\n"));
    EXPECT_THAT(log, HasSubstr("1 liverie skipped on priority, see output"));
    EXPECT_EQ(test::readText("output/info/LiveriesSkippedOnPriority.txt"), "DLH B738 \"Boeing 738 Four\"\n");
    const std::string xml = test::readText(scannedXml);
    EXPECT_THAT(xml, HasSubstr("Boeing 738 One"));
    EXPECT_THAT(xml, HasSubstr("Boeing 738 Five"));
    EXPECT_THAT(xml, Not(HasSubstr("Boeing 738 Four")));
}

TEST(LiveryScan, TheFirstTenExistingFoldersGetTheirOwnPriority)
{
    test::ScanWorld world;
    std::vector<std::int32_t> priorities;
    FolderScanState state;
    for (int i = 1; i <= 12; ++i) {
        if (i != 11)
            fs::create_directories(world.path(fmt::format("p{}", i)));
        scanOneFolder(state, fmt::format("p{}", i));
        priorities.push_back(state.priority);
    }
    EXPECT_THAT(priorities, ElementsAre(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10, 10));
    EXPECT_THAT(world.logText(), HasSubstr("p11 does not exist, skipped!"));
}

TEST(LiveryScan, WalkFilters)
{
    EXPECT_FALSE(skipsDescent(std::string(249, 'a')));
    EXPECT_TRUE(skipsDescent(std::string(250, 'a')));
    EXPECT_TRUE(skipsDescent("Community/my-airport-addons/x"));
    EXPECT_TRUE(skipsDescent("Community/x_CVT_y"));
    EXPECT_FALSE(skipsDescent("Community/x_cvt_y"));
    // Characters count, as Windows counts them: not the bytes of their UTF-8 text.
    std::string accented;
    for (int i = 0; i < 200; ++i)
        accented += "\xC3\xA9"; // 200 characters, 400 bytes
    EXPECT_FALSE(skipsDescent(accented));
    std::string beyondTheBasicPlane;
    for (int i = 0; i < 125; ++i)
        beyondTheBasicPlane += "\xF0\x9F\x98\x80"; // two units each
    EXPECT_TRUE(skipsDescent(beyondTheBasicPlane));

    test::ScanWorld world;
    std::vector<std::string> found;
    // Each in a folder of its own: the names are one file on a case-blind file system.
    for (const char* name : {"Aircraft.CFG", "AIRCRAFT.cfg", "aircraft.cfg.bak", "aircraft_1.cfg"}) {
        const fs::path file = world.write(fmt::format("names/{0}/{0}", name), "");
        if (isAircraftCfgFile(fs::directory_entry(file)))
            found.push_back(name);
    }
    fs::create_directories(world.path("names/dir/aircraft.cfg"));
    EXPECT_FALSE(isAircraftCfgFile(fs::directory_entry(world.path("names/dir/aircraft.cfg"))));
    EXPECT_THAT(found, ElementsAre("Aircraft.CFG", "AIRCRAFT.cfg"));
}

TEST(LiveryScan, AFolderInsideASkippedFolderGivesOnlyItsOwnFiles)
{
    test::ScanWorld world;
    world.writeCfg("airport-addons/liveries", "Boeing 738 Direct", "DLH");
    world.writeCfg("airport-addons/liveries/deeper", "Boeing 738 Deeper", "KLM");
    ASSERT_TRUE(test::runScan({platform::pathToUtf8(world.path("airport-addons/liveries"))}));
    const std::string xml = test::readText(scannedXml);
    EXPECT_THAT(xml, HasSubstr("Boeing 738 Direct"));
    EXPECT_THAT(xml, Not(HasSubstr("Boeing 738 Deeper")));
}

TEST(LiveryScan, ProgressOnTheStatusLine)
{
    test::ScanWorld world;
    for (int i = 0; i < 20; ++i)
        world.writeCfg(fmt::format("many/f{:02}", i), fmt::format("Boeing 738 Number {}", i), "DLH");
    StatusRecorder status;
    ASSERT_TRUE(test::runScan({"many"}));
    EXPECT_THAT(status.texts, ::testing::Contains(scanProgressText(20, 20)));
    ASSERT_FALSE(status.texts.empty());
    EXPECT_EQ(status.texts.back(), "");
    EXPECT_EQ(scanProgressText(3, 7), "Scanning liveries: 3 of 7 aircraft.cfg files read");
}

TEST(LiveryScan, StopRequestWritesNothingAndTheNextScanStartsClean)
{
    test::ScanWorld world;
    world.writePackage("Community/synthetic");
    ASSERT_TRUE(test::runScan({"Community/synthetic"}));
    const std::map<std::string, std::string> before = scanOutput();
    userClosed = true;
    EXPECT_TRUE(test::runScan({"Community/synthetic"}));
    EXPECT_FALSE(fs::exists(scannedXml));
    EXPECT_FALSE(fs::exists("output/errors"));
    userClosed = false;
    // A stop after the walk leaves the lists filled; the next scan must not add to them.
    world.writeCfg("late", "Boeing 738 Late", "DLH");
    ASSERT_TRUE(test::runScan({"late"}));
    exiting = true;
    ASSERT_TRUE(test::runScan({"Community/synthetic"}));
    exiting = false;
    ASSERT_TRUE(test::runScan({"Community/synthetic"}));
    EXPECT_EQ(scanOutput(), before);
}

// A task that runs again (an earlier file took its title meanwhile) does not repeat its log
// lines; an exit stops the walk between two files.
TEST(LiveryScan, RerunTasksLogOnceAndAnExitStopsTheWalk)
{
    test::ScanWorld world;
    for (int i = 0; i < 40; ++i)
        world.writeCfg(fmt::format("Shared/f{:02}", i), "Shared Title Livery", "DLH", "B738", "ABCDEFGHIJKLMNOP");
    ASSERT_TRUE(test::runScan({"Shared"}, 16));
    const std::string log = world.logText();
    std::size_t lines = 0;
    for (std::size_t at = log.find("regcode: ABCDEFGHIJKLMNOP,"); at != std::string::npos;
         at = log.find("regcode: ABCDEFGHIJKLMNOP,", at + 1))
        ++lines;
    EXPECT_EQ(lines, 40u);

    LiveryList found;
    exiting = true;
    scanFolderTree(1, world.path("Shared"), found);
    exiting = false;
    EXPECT_TRUE(found.empty());
}

TEST(LiveryScan, NoLiveriesIsAUserError)
{
    test::ScanWorld world;
    fs::create_directories(world.path("empty"));
    mainWindowGlobals.liveryCount = 5;
    struct Bands : WindowDisplay {
        void invalidate(const Rect& band) override { invalidated.push_back(band); }
        std::vector<Rect> invalidated;
    } bands;
    setWindowDisplay(&bands);
    try {
        test::runScan({"empty"});
        FAIL() << "no error";
    } catch (const UserErrorException& e) {
        EXPECT_STREQ(e.what(), "53: no liveries found");
    }
    setWindowDisplay(nullptr);
    EXPECT_EQ(mainWindowGlobals.liveryCount.load(), 0);
    EXPECT_THAT(bands.invalidated, ::testing::Contains(headerBand)) << "where the count is drawn";
    EXPECT_TRUE(seenTitles.titles.empty());
}

TEST(LiveryScan, AutomaticScanTakesTheTrafficPackages)
{
    test::ScanWorld world;
    const test::ScopedEnv unused("RAMPTIDE_UNUSED", "");
    MSFS_INSTALL_PATH.set(platform::pathToUtf8(world.path("sim")));
    world.writeCfg("sim/Community/aig-aitraffic-oci-beta/a", "Boeing 738 Beta", "DLH");
    world.writeCfg("sim/Community/aig-aitraffic-oci-beta_CVT_x/a", "Boeing 738 Converted", "KLM");
    world.writeCfg("sim/Community/other/a", "Boeing 738 Other", "BAW");
    std::vector<std::string> folders;
    setMaxWorkers(4);
    ASSERT_TRUE(scanLiveries(true, true, false, folders));
    ASSERT_EQ(folders.size(), 1U);
    EXPECT_THAT(folders[0], HasSubstr("aig-aitraffic-oci-beta"));
    const std::string xml = test::readText(scannedXml);
    EXPECT_THAT(xml, HasSubstr("Boeing 738 Beta"));
    EXPECT_THAT(xml, Not(HasSubstr("Converted")));
    EXPECT_THAT(xml, Not(HasSubstr("Other")));

    fs::remove_all(world.path("sim/Community/aig-aitraffic-oci-beta"));
    fs::remove_all(world.path("sim/Community/aig-aitraffic-oci-beta_CVT_x"));
    folders.clear();
    ASSERT_TRUE(scanLiveries(true, true, false, folders));
    EXPECT_THAT(world.logText(), HasSubstr("Automatic scan found folder: \""));
    EXPECT_THAT(test::readText(scannedXml), HasSubstr("Boeing 738 Other"));

    MSFS_INSTALL_PATH.set(platform::pathToUtf8(world.path("nowhere")));
    folders.clear();
    EXPECT_THROW(scanLiveries(true, true, false, folders), fs::filesystem_error);
    MSFS_INSTALL_PATH.set("");
}

TEST(LiveryScan, DontUseTitlesAreSkipped)
{
    test::ScanWorld world;
    fs::create_directories(world.path("input/regcodesAIG"));
    test::writeFile(world.path("input/regcodesAIG/AIG-regcodes.xml"),
                    R"(<AIG-regcodes><livery title="Boeing 738 Xml"/><livery title="Boeing 738 Xml" reg=""/>)"
                    R"(<livery title="Boeing 738 Coded" reg="D-ABCD"/></AIG-regcodes>)");
    fs::create_directories(world.path("input/my_regcodes"));
    test::writeFile(world.path("input/my_regcodes/mine.txt"),
                    "\xEF\xBB\xBF" "Boeing 738 Text\nShort738\nBoeing 738 Coded;D-ABCD\nBoeing 738 Coded;D-ABCE\n");
    test::writeFile(world.path("input/my_regcodes/other.csv"), "Boeing 738 Other\n");
    for (const char* title : {"Boeing 738 Xml", "Boeing 738 Text", "Short738", "Boeing 738 Coded", "Boeing 738 Other"})
        world.writeCfg(fmt::format("dont/{}", title), title, "DLH");
    ASSERT_TRUE(test::runScan({"dont"}));
    const std::string xml = test::readText(scannedXml);
    EXPECT_THAT(xml, Not(HasSubstr("Boeing 738 Xml")));
    EXPECT_THAT(xml, Not(HasSubstr("Boeing 738 Text")));
    EXPECT_THAT(xml, HasSubstr("Short738"));
    EXPECT_THAT(xml, HasSubstr("Boeing 738 Coded"));
    EXPECT_THAT(xml, HasSubstr("Boeing 738 Other"));
    const std::string log = world.logText();
    EXPECT_THAT(log, HasSubstr("===> don't use title \"Boeing 738 Xml\" not unique in file"));
    EXPECT_THAT(log, HasSubstr("1 don't use title read from files in input"));
    EXPECT_THAT(log, HasSubstr("===> title \"Boeing 738 Coded\" not unique in file"));
    EXPECT_TRUE(dontUseTitles.empty());
}

class DbaseCorrections : public ::testing::Test {
protected:
    DbaseCorrections()
    {
        installation.writeInput("dbase.xml", test::requiredSections() + "<dbase>" + test::dbRow("D-AIBC", "DLH", "A320") +
                                                 test::dbRow("PH-BXA", "KLM", "B738", "", true) +
                                                 test::dbRow("G-OPER", "KLM", "B738", "DLH") +
                                                 test::dbRow("N-EMPTY", "", "") + "</dbase>");
        readDbase();
        resetScanTables();
    }
    ~DbaseCorrections() override { resetScanTables(); }

    test::InstallationFolder installation;
};

TEST_F(DbaseCorrections, CargoAirlineAndModelFromTheDatabase)
{
    LiveryData record{"KLM", "A320", "Wrong one", "PH-BXA", 1, false};
    applyDbaseCorrections(record);
    EXPECT_EQ(record, (LiveryData{"KLM", "B738", "Wrong one", "PH-BXA", 1, true}));
    EXPECT_THAT(dbaseCorrections, ElementsAre(fmt::format("{:80} PH-BXA cargo false => true", "Wrong one"),
                                              fmt::format("{:80} PH-BXA model A320 => B738", "Wrong one")));
}

TEST_F(DbaseCorrections, OperatorWinsAndEmptyValuesAreNotApplied)
{
    LiveryData operated{"KLM", "B738", "Operated", "G-OPER", 1, false};
    applyDbaseCorrections(operated);
    EXPECT_EQ(operated.airline, "DLH");
    LiveryData blank{"BAW", "A320", "Blank", "N-EMPTY", 1, false};
    applyDbaseCorrections(blank);
    EXPECT_EQ(blank, (LiveryData{"BAW", "A320", "Blank", "N-EMPTY", 1, false}));
    LiveryData same{"DLH", "A320", "Same", "D-AIBC", 1, false};
    applyDbaseCorrections(same);
    EXPECT_THAT(dbaseCorrections, ElementsAre(fmt::format("{:80} G-OPER airl KLM => DLH", "Operated")));
}

} // namespace
} // namespace rtd
