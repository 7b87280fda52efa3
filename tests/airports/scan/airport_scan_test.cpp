#include "airports/airport_support.hpp"

#include "airports/database/airport_folders.hpp"
#include "airports/database/publisher_detection.hpp"
#include "airports/scan/airport_scan.hpp"
#include "core/exit.hpp"
#include "core/parameters.hpp"
#include "core/paths.hpp"
#include "core/workers.hpp"
#include "fixtures/airport_packages_fixture.hpp"
#include "fixtures/dbase_fixture.hpp"
#include "liveries/dbase.hpp"
#include "platform/platform.hpp"

#include <algorithm>
#include <gmock/gmock.h>
#include <map>
#include <sstream>
#include <thread>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace rtd {
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        result.push_back(line);
    return result;
}

class AirportScanTest : public test::AirportFolderTest {
protected:
    AirportScanTest()
    {
        fixtures::writeDbaseFile(install / "input" / "dbase.xml", {10, 1, 0});
        readDbase();
        fixtures::writeAirportPackages(install.path());
        MSFS_INSTALL_PATH.set(platform::pathToUtf8(install / "packages"));
    }
    ~AirportScanTest() override { setMaxWorkers(std::thread::hardware_concurrency()); }

    // The scan as the start-up runs it, with emptied output folders.
    bool scan(unsigned workers)
    {
        setMaxWorkers(workers);
        for (const fs::path& folder : {mySimaddonFolder, myThirdpartyFolder}) {
            fs::remove_all(folder);
            fs::create_directories(folder);
        }
        return runAirportsScan(true, {});
    }

    // Every file the scan wrote, by path, with its bytes.
    std::map<std::string, std::string> outputFiles() const
    {
        std::map<std::string, std::string> files;
        for (const fs::path& folder : {mySimaddonFolder, myThirdpartyFolder, paths().toBeLearnedOfflineFolder})
            if (fs::exists(folder))
                for (const auto& entry : fs::directory_iterator(folder))
                    files[platform::pathToUtf8(entry.path())] = test::readText(entry.path());
        return files;
    }

    std::vector<std::string> scanLogLines() const
    {
        std::vector<std::string> result = lines(test::readText(scanLogPath()));
        std::sort(result.begin(), result.end());
        return result;
    }

    std::string publisherOf(const std::string& path, std::vector<std::string>& log)
    {
        startScanLog();
        const std::string publisher = findPublisher(path).publisher;
        log = takeScanLog();
        return publisher;
    }

};

TEST_F(AirportScanTest, PublisherFromNamesAndManifests)
{
    const std::string community = "packages/Community/";
    struct Row {
        std::string path;
        std::string publisher;
        std::string line; // a log line that must be there
        bool manifestSearch;
    };
    const std::vector<Row> rows{
        {"D:/x/Community/microsoft-airport-ksea/scenery/a.bgl", "simaddon", "from filename => publisher simaddon", false},
        {"D:\\x\\Community\\tmc-egll\\scenery\\a.bgl", "Tarmac Craft", "publisher \"Tarmac Craft\" found", false},
        {community + "some-package/scenery/LFPG.bgl", "Polar Pixel",
         "from manifest.json creator \"Polar Pixel\" => publisher \"Polar Pixel\"", true},
        {community + "empty-manifest/scenery/EDDF.bgl", "unknown",
         "no valid info found in manifest about publisher, manufacturer:\"\", creator:\"\"\\n  " + community +
             "empty-manifest/scenery/EDDF.bgl",
         true},
        {community + "case-manifest/scenery/EDDK.bgl", "unknown", "===> No publisher found", true},
        {community + "broken-manifest/scenery/EDDM.bgl", "unknown", "exception in lf_searchManifest: ", true},
        {community + "number-creator/scenery/EDDH.bgl", "unknown", "exception in lf_searchManifest: ", true},
        {"packages/Official/OneStore/vendor-pack/scenery/world/LEMD.bgl", "Skyline Works",
         platform::pathToUtf8(fs::path("packages/Official/OneStore/vendor-pack") / "manifest.json") + " found", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        std::vector<std::string> log;
        EXPECT_EQ(publisherOf(row.path, log), row.publisher);
        EXPECT_EQ(log.front(), "\nTry find publisher in: " + row.path);
        EXPECT_TRUE(std::any_of(log.begin(), log.end(), [&](const std::string& line) { return line.starts_with(row.line); }))
            << ::testing::PrintToString(log);
        EXPECT_EQ(std::count(log.begin(), log.end(), "Searching for the manifest file ... "), row.manifestSearch ? 1 : 0);
    }
}

TEST_F(AirportScanTest, ExcludedPathsAndExtensions)
{
    EXPECT_TRUE(isExcludedFolder("C:/Community/my-aircraft-airport"));
    EXPECT_TRUE(isExcludedFolder(std::string(250, 'x')));
    EXPECT_FALSE(isExcludedFolder(std::string(249, 'x')));
    EXPECT_TRUE(isBglExtension(".BGL"));
    EXPECT_TRUE(isBglExtension(".bgl"));
    EXPECT_FALSE(isBglExtension(".Bgl"));
}

TEST_F(AirportScanTest, SameFilesAndLogWithAnyNumberOfWorkers)
{
    ASSERT_TRUE(scan(1));
    const auto files = outputFiles();
    const auto log = scanLogLines();
    EXPECT_EQ(tbloAirportCount, 1);
    for (const unsigned workers : {2u, 8u}) {
        SCOPED_TRACE(workers);
        ASSERT_TRUE(scan(workers));
        EXPECT_EQ(outputFiles(), files);
        EXPECT_EQ(scanLogLines(), log);
    }

    const auto has = [&](const fs::path& path) { return files.contains(platform::pathToUtf8(path)); };
    const fs::path offline = paths().toBeLearnedOfflineFolder;
    // A simulator-maker airport with no more stands than its archived file: a link only.
    EXPECT_TRUE(has(mySimaddonFolder / "KSEA.txt"));
    EXPECT_FALSE(has(mySimaddonFolder / "KSEA.xml"));
    EXPECT_EQ(lines(files.at(platform::pathToUtf8(mySimaddonFolder / "KSEA.txt"))).front(),
              platform::pathToUtf8(archiveSimaddonFolder / "KSEA.xml"));
    // Another publisher's airport with more stands: the link and a generated file.
    EXPECT_TRUE(has(myThirdpartyFolder / "EGLL.txt"));
    EXPECT_TRUE(has(myThirdpartyFolder / "EGLL.xml"));
    EXPECT_THAT(log, Contains("===> EGLL has 12 parkpos while archived one has 3"));
    EXPECT_THAT(log, Contains("Generated EGLL.xml: 12 positions, of which 1 helipad"));
    EXPECT_THAT(log, Contains("Generated LOWI.xml: 5 positions"));
    EXPECT_THAT(log, Contains("Generated EDDF.xml: 1 position"));
    EXPECT_TRUE(has(mySimaddonFolder / "LFPO.xml"));
    for (const char* icao : {"LOWI", "LFPG", "EDDF", "EDDM", "EDDH", "EDDK", "LEMD"})
        EXPECT_TRUE(has(myThirdpartyFolder / (std::string(icao) + ".xml"))) << icao;
    // Excluded packages, "statics", ".Bgl" and the terrain file give nothing.
    for (const char* icao : {"EHAM", "EHRD", "EHGG", "EHBK"})
        EXPECT_THAT(log, Not(Contains(HasSubstr(icao)))) << icao;
    // The offline step: LFPG has archived quality factors and names its publisher.
    EXPECT_TRUE(has(offline / "LFPG.xml"));
    EXPECT_FALSE(has(offline / "EGLL.xml"));
    EXPECT_THAT(logText(), HasSubstr("LFPG copied to "));
}

TEST_F(AirportScanTest, NothingFoundMissingAndUnreadableFolders)
{
    setMaxWorkers(2);
    fs::create_directories("empty/inner");
    EXPECT_FALSE(runAirportsScan(false, {"empty", "missing", "input/dbase.xml", ""}));
    EXPECT_THAT(logText(), HasSubstr("missing does not exist, skipped!"));
    EXPECT_THAT(logText(), HasSubstr("input/dbase.xml is not a folder name, skipped!"));
    EXPECT_FALSE(fs::exists(paths().toBeLearnedOfflineFolder));

    exiting = true; // no task starts once an exit has begun
    const bool found = runAirportsScan(true, {});
    exiting = false;
    EXPECT_FALSE(found);
    EXPECT_FALSE(fs::exists(myThirdpartyFolder / "EGLL.xml"));

#ifdef _WIN32
    GTEST_SKIP() << "folder permissions are not POSIX ones";
#else
    if (geteuid() == 0)
        GTEST_SKIP() << "every folder can be listed by root";
#endif
    fs::permissions("packages/Community/ngs_lowi", fs::perms::none);
    EXPECT_TRUE(runAirportsScan(false, {"packages/Community"}));
    fs::permissions("packages/Community/ngs_lowi", fs::perms::owner_all);
    EXPECT_THAT(scanLogLines(), Contains(HasSubstr("because of iterator problem")));
    EXPECT_TRUE(fs::exists(myThirdpartyFolder / "EGLL.xml")); // the walk went on
}

} // namespace
} // namespace rtd
