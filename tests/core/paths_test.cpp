#include "core/paths.hpp"
#include "core/time.hpp"
#include "core/version.hpp"
#include "platform/platform.hpp"

#include <gtest/gtest.h>

namespace rtd {
namespace {

TEST(ProgramPaths, DataFolderUnderTheRoamingFolder)
{
    initProgramPaths();
    const auto roaming = platform::appDataFolder();
    EXPECT_EQ(paths().programDataFolder, roaming / "Ramptide");
    EXPECT_EQ(paths().parametersPath, roaming / "Ramptide" / "parameters.xml");
}

TEST(ProgramPaths, InstallationFolderEntriesAreRelative)
{
    initProgramPaths();
    const ProgramPaths& p = paths();
    EXPECT_EQ(p.aigRegcodesPath, std::filesystem::path("input") / "regcodesAIG" / "AIG-regcodes.xml");
    EXPECT_EQ(p.myRegcodesFolder, std::filesystem::path("input") / "my_regcodes");
    EXPECT_EQ(p.outputErrorsFolder, std::filesystem::path("output") / "errors");
    EXPECT_EQ(p.liveriesScannedPath, std::filesystem::path("output") / "LiveriesScanned.xml");
    for (const auto* relative : {&p.docsFolder, &p.inputFolder, &p.outputInfoFolder, &p.installerPath})
        EXPECT_TRUE(relative->is_relative()) << *relative;
}

TEST(UtcTimeString, AsctimeLayout)
{
    EXPECT_EQ(utcTimeString(0), "Thu Jan  1 00:00:00 1970");
    EXPECT_EQ(utcTimeString(1700000000), "Tue Nov 14 22:13:20 2023");
    EXPECT_EQ(utcTimeString(951782400), "Tue Feb 29 00:00:00 2000"); // leap day
    EXPECT_EQ(utcTimeString(4102444799), "Thu Dec 31 23:59:59 2099"); // past 2038
    EXPECT_EQ(utcTimeString(-1), "Wed Dec 31 23:59:59 1969");
}

TEST(VersionText, ProgramVersion)
{
    EXPECT_EQ(versionToString(programVersion), "8.7.0");
    EXPECT_EQ(versionToString(Version{}), "0.0.0");
    EXPECT_TRUE(isNewer(Version{8, 10, 0}, Version{8, 9, 5}));
    EXPECT_TRUE(isNewer(Version{9, 0, 0}, Version{8, 99, 99}));
    EXPECT_FALSE(isNewer(programVersion, Version{8, 7, 0}));
}

} // namespace
} // namespace rtd
