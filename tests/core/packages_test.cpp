#include "core/log.hpp"
#include "core/packages.hpp"
#include "platform/platform.hpp"
#include "support/temp_folder.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>

namespace rtd {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

// Writes the file, making its folders first.
void writeFile(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    test::writeFile(path, text);
}

class PackagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(appData.local);
        fs::create_directories(appData.roaming);
        openLogFile(folder / "Log.txt");
    }
    void TearDown() override { closeLogFile(); }

    // The log's lines after its header line.
    std::vector<std::string> logLines()
    {
        flushLog();
        std::istringstream text(test::readText(folder / "Log.txt"));
        std::vector<std::string> lines;
        for (std::string line; std::getline(text, line);)
            lines.push_back(line);
        lines.erase(lines.begin());
        return lines;
    }

    std::string utf8(const fs::path& path) { return platform::pathToUtf8(path); }

    fs::path makePackagesFolder(const fs::path& path, bool withOfficial = true)
    {
        fs::create_directories(path / "Community");
        if (withOfficial)
            fs::create_directories(path / "Official");
        return path;
    }

    test::TempFolder folder;
    AppDataFolders appData{folder / "Local", folder / "Roaming"};
    fs::path store = appData.local / "Packages" / "Microsoft.FlightSimulator_8wekyb3d8bbwe" / "LocalCache" / "UserCfg.opt";
    fs::path steam1 = appData.roaming / "Microsoft Flight Simulator" / "UserCfg.opt";
    fs::path steam2 = appData.local / "Packages" / "Microsoft.FlightDashboard_8wekyb3d8bbwe" / "LocalCache" / "UserCfg.opt";
    fs::path boxed = appData.local / "MSFSPackages" / "UserCfg.opt";
    fs::path steamPackages = appData.roaming / "Microsoft Flight Simulator" / "Packages";
};

TEST_F(PackagesTest, UserCfgCandidatesAreTriedInOrder)
{
    writeFile(steam2, "");
    EXPECT_EQ(findUserCfg(appData), steam2);
    writeFile(steam1, "");
    EXPECT_EQ(findUserCfg(appData), steam1);
    writeFile(store, "");
    EXPECT_EQ(findUserCfg(appData), store);
    EXPECT_THAT(logLines(), ElementsAre("MSFS detection, no Store:" + utf8(store),
                                        "MSFS detection, no Steam1:" + utf8(steam1),
                                        "MSFS detection, no Store:" + utf8(store)));
}

TEST_F(PackagesTest, NoCandidateLogsAllFourThenNoUserCfg)
{
    EXPECT_EQ(findUserCfg(appData), boxed);
    closeLogFile();
    openLogFile(folder / "Log.txt");

    EXPECT_TRUE(packagesPathFromUserCfg(appData).empty());
    EXPECT_THAT(logLines(), ElementsAre("MSFS detection, no Store:" + utf8(store),
                                        "MSFS detection, no Steam1:" + utf8(steam1),
                                        "MSFS detection, no Steam2:" + utf8(steam2),
                                        "MSFS detection, no Boxed:" + utf8(boxed), "No UserCfg.opt found?"));
}

TEST_F(PackagesTest, ParsesInstalledPackagesPath)
{
    const fs::path packages = makePackagesFolder(folder / "My Packages");
    fs::path path = "unchanged";
    EXPECT_FALSE(parseInstalledPackagesPath(path, "Version 1.2"));
    EXPECT_EQ(path, "unchanged");

    EXPECT_TRUE(parseInstalledPackagesPath(path, "InstalledPackagesPath \"" + utf8(packages) + "\" trailing"));
    EXPECT_EQ(path, packages);
    // The key may sit inside a longer word.
    EXPECT_TRUE(parseInstalledPackagesPath(path, "OldInstalledPackagesPathX \"" + utf8(packages) + "\""));
    EXPECT_EQ(path, packages);

    EXPECT_TRUE(parseInstalledPackagesPath(path, "InstalledPackagesPath \"" + utf8(folder / "missing") + "\""));
    EXPECT_TRUE(path.empty());
    path = "x";
    EXPECT_TRUE(parseInstalledPackagesPath(path, "InstalledPackagesPath \"unclosed"));
    EXPECT_TRUE(path.empty());
    path = "x";
    EXPECT_TRUE(parseInstalledPackagesPath(path, "InstalledPackagesPath"));
    EXPECT_TRUE(path.empty());
}

TEST_F(PackagesTest, FirstKeyLineOfUserCfgDecides)
{
    const fs::path packages = makePackagesFolder(folder / "Packages");
    writeFile(boxed, "Graphics 1\nInstalledPackagesPath \"" + utf8(folder / "gone") + "\"\nInstalledPackagesPath \"" +
                         utf8(packages) + "\"\n");
    EXPECT_TRUE(packagesPathFromUserCfg(appData).empty());
    EXPECT_EQ(logLines().back(), "UserCfg.opt: InstalledPackagesPath=???");

    writeFile(boxed, "Graphics 1\r\nInstalledPackagesPath \"" + utf8(packages) + "\"\r\n");
    EXPECT_EQ(packagesPathFromUserCfg(appData), packages);
    EXPECT_EQ(logLines().back(), "UserCfg.opt: InstalledPackagesPath=" + utf8(packages));
}

TEST_F(PackagesTest, PackagesFolderNeedsCommunityAndOfficial)
{
    EXPECT_FALSE(isPackagesPath(""));
    EXPECT_FALSE(isPackagesPath(folder / "none"));
    EXPECT_FALSE(isPackagesPath(makePackagesFolder(folder / "half", false)));
    EXPECT_TRUE(isPackagesPath(makePackagesFolder(folder / "whole")));
}

TEST_F(PackagesTest, SteamFolderWinsWithoutReadingUserCfg)
{
    EXPECT_EQ(steamPackagesPath(appData), "");
    makePackagesFolder(steamPackages);
    const fs::path other = makePackagesFolder(folder / "Other");
    writeFile(store, "InstalledPackagesPath \"" + utf8(other) + "\"\n");

    EXPECT_EQ(findPackagesPath(appData), steamPackages);
    EXPECT_THAT(logLines(), ElementsAre("Steam packages:" + utf8(steamPackages)));
}

TEST_F(PackagesTest, SteamFolderWithoutOfficialFallsThroughToUserCfg)
{
    makePackagesFolder(steamPackages, false);
    const fs::path other = makePackagesFolder(folder / "Other");
    writeFile(store, "InstalledPackagesPath \"" + utf8(other) + "\"\n");
    EXPECT_EQ(findPackagesPath(appData), other);

    writeFile(store, "InstalledPackagesPath \"" + utf8(makePackagesFolder(folder / "Half", false)) + "\"\n");
    EXPECT_TRUE(findPackagesPath(appData).empty());
}

} // namespace
} // namespace rtd
