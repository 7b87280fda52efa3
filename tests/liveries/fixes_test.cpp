#include "core/display.hpp"
#include "core/exceptions.hpp"
#include "dbase_support.hpp"
#include "fixtures/fixes_fixture.hpp"
#include "liveries/dbase.hpp"
#include "liveries/fixes.hpp"
#include "platform/platform.hpp"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace rtd {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class FixesTest : public ::testing::Test {
protected:
    FixesTest()
    {
        installation.writeInput("dbase.xml", test::requiredSections());
        readDbase();
    }

    test::InstallationFolder installation;
};

TEST_F(FixesTest, ModelAndAirlineFixes)
{
    installation.writeInput("fixes.xml", R"(<fixes>
  <fix wrong="B737-800" correct="B738"/>
  <fix wrong="A320-200" correct="A320"/>
  <fix wrong="B737-800" correct="A320"/>
  <fix wrong="A350" correct="A35K"/>
  <fix wrong="C-172" correct=""/>
  <PVT_fixes><fix wrong="NESTED"/></PVT_fixes>
</fixes>
<GOV_fixes><fix wrong="GOV"/><fix wrong="KLM"/><fix wrong="GOV"/><fix/></GOV_fixes>
<PVT_fixes><fix wrong="PVT"/></PVT_fixes>
<PVT_fixes><fix wrong="SECOND"/></PVT_fixes>
)");
    readFixes();

    EXPECT_EQ(modelFixes, (std::unordered_map<std::string, std::string>{{"B737-800", "B738"}, {"A320-200", "A320"}}));
    EXPECT_THAT(pvtFixes, ElementsAre("PVT"));
    EXPECT_THAT(govFixes, ElementsAre("", "GOV"));
    const std::string log = installation.logText();
    EXPECT_THAT(log, HasSubstr("wrong part of fix: B737-800, already exists, skipped"));
    EXPECT_THAT(log, HasSubstr("wrong fix A350->A35K, the latter is not a valid model"));
    EXPECT_THAT(log, HasSubstr("wrong fix C-172->, the latter is not a valid model"));
    EXPECT_THAT(log, HasSubstr("GOV fix KLM is an ICAO airline code? \n"));
    EXPECT_THAT(log, HasSubstr("wrong: GOV, already exists, skipped"));
    EXPECT_THAT(log, HasSubstr(fmt::format("\"{}\" read", platform::pathToUtf8(std::filesystem::path("input") / "fixes.xml"))));
}

TEST_F(FixesTest, GeneratedFixesOnlyModelSection)
{
    fixtures::writeFixesFile(installation.input("fixes.xml"));
    readFixes();
    EXPECT_EQ(modelFixes.at("B777-300ER"), "B77W");
    EXPECT_EQ(pvtFixes.count("DLH"), 0u); // an airline code of the database

    installation.writeInput("fixes.xml", R"(<fixes><fix wrong="X" correct="B748"/></fixes>)");
    readFixes();
    EXPECT_EQ(modelFixes.size(), 1u);
    EXPECT_TRUE(pvtFixes.empty());
    EXPECT_TRUE(govFixes.empty());
}

TEST_F(FixesTest, MissingFileIsUserError3)
{
    try {
        readFixes();
        FAIL() << "no exception";
    } catch (const UserErrorException& e) {
        EXPECT_EQ(std::string(e.what()),
                  fmt::format("3: {} (or sections of it) not found?",
                              platform::pathToUtf8(std::filesystem::path("input") / "fixes.xml")));
    }
}

class RefusedLiveriesTest : public ::testing::Test {
protected:
    RefusedLiveriesTest()
    {
        excludedTitles.clear();
        failedTitles.clear();
    }
    ~RefusedLiveriesTest() override
    {
        excludedTitles.clear();
        failedTitles.clear();
    }

    test::InstallationFolder installation;
    std::vector<std::string> titles = makeTitles();

    static std::vector<std::string> makeTitles()
    {
        std::vector<std::string> made;
        for (int i = 0; i < 20; ++i)
            made.push_back(fmt::format("Livery {}", i));
        return made;
    }
};

TEST_F(RefusedLiveriesTest, SummaryLinesSortedWithoutRepeats)
{
    reportLiveryNotCreated("DLH123", "A320", "DLH", titles[0]);
    reportLiveryNotCreated("KLM45", "B738", "KLM", titles[1]);
    reportLiveryNotCreated("DLH9", "A320", "DLH", titles[0]);
    EXPECT_EQ(excludedTitles.size(), 3u);
    EXPECT_THAT(failedTitles, ElementsAre("A320 DLH", "B738 KLM", "A320 DLH"));
    EXPECT_THAT(failedLiveryLines(), ElementsAre("  A320 DLH", "  B738 KLM"));
    EXPECT_THAT(installation.logText(), HasSubstr("KLM45 \"Livery 1\" could not be created by your Sim!"));
    EXPECT_EQ(mainWindowGlobals.statusLine().statusText, "DLH9 \"Livery 0\" could not be created by your Sim!");

    reportLiveryNotCreated("AFR1", "A20N", "AFR", titles[2]);
    EXPECT_THAT(failedTitles, ElementsAre("A20N AFR", "A320 DLH", "B738 KLM"));
}

TEST_F(RefusedLiveriesTest, TwentiethDistinctTitleEndsTheRun)
{
    for (int i = 0; i < 19; ++i)
        reportLiveryNotCreated("CS", "A320", "DLH", titles[static_cast<std::size_t>(i)]);
    for (int i = 0; i < 5; ++i)
        reportLiveryNotCreated("CS", "A320", "DLH", titles[0]); // repeats do not count
    try {
        reportLiveryNotCreated("CS", "A320", "DLH", titles[19]);
        FAIL() << "no exception";
    } catch (const UserErrorException& e) {
        EXPECT_STREQ(e.what(), "81: there are too many liveries that could not be created by MSFS!, see Log.txt");
    }
    EXPECT_EQ(excludedTitles.size(), 25u);
    EXPECT_THAT(installation.logText(),
                HasSubstr("\n===> Error 81, there are too many liveries that could not be created by MSFS!\n"));
}

} // namespace
} // namespace rtd
