#include "core/paths.hpp"
#include "fixtures/livery_fixture.hpp"
#include "fixtures/regcode_fixture.hpp"
#include "liveries/lookup_tables.hpp"
#include "liveries/regcodes.hpp"
#include "liveries/title_table.hpp"
#include "platform/platform.hpp"
#include "support/temp_folder.hpp"
#include "tables_support.hpp"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace rtd {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using test::livery;

constexpr std::string_view titleA = "Airline A320 one";
constexpr std::string_view titleB = "Airline A320 two";
constexpr std::string_view titleC = "Airline B738 three";

class RegcodesTest : public test::LiveryTablesTest {
protected:
    static void writeInstalled(const fs::path& path, const std::string& bytes)
    {
        fs::create_directories(path.parent_path());
        test::writeFile(path, bytes);
    }

    void writeAig(const std::string& liveries) const
    {
        writeInstalled(paths().aigRegcodesPath, "<?xml version=\"1.0\"?>\n<AIG-regcodes>\n" + liveries + "</AIG-regcodes>\n");
    }

    void writeTxt(std::string_view name, const std::vector<std::string>& lines,
                  fixtures::CfgEncoding encoding = fixtures::CfgEncoding::utf8) const
    {
        writeInstalled(paths().myRegcodesFolder / name, fixtures::encodeCfgFile({std::string(name), lines, encoding, false}));
    }

    // Three scanned liveries, the first with an atc_id.
    void processThree(std::string inlineCode = "D-AAAA")
    {
        process({livery("ABC", "A320", std::string(titleA), inlineCode), livery("ABC", "A320", std::string(titleB)),
                 livery("ABC", "B738", std::string(titleC))});
    }

    std::string offlineFile() const { return test::readText(installed("output/info/OfflineRegcodes.txt")); }

    static std::string text(const fs::path& path) { return platform::pathToUtf8(path); }
    std::string aigPath() const { return text(paths().aigRegcodesPath); }
    std::string txtPath(std::string_view name) const { return text(paths().myRegcodesFolder / name); }

    static LiveryRef codeTitle(const std::string& code)
    {
        const auto found = regcodeMap.find(code);
        return found == regcodeMap.end() ? LiveryRef{} : found->second;
    }
};

TEST_F(RegcodesTest, LaterSourcesTakeCodesOver)
{
    fs::create_directories("output/info");
    writeAig(fmt::format(R"(<livery title="{}" reg="D-AAAA,D-BBBB" special="yes"/>
<livery title="{}" reg="D-BBBB"/>
<livery title="Never scanned" reg="D-CCCC"/>
<livery title="{}" reg=""/>
<other title="{}" reg="D-EEEE"/>
)",
                         titleB, titleC, titleA, titleA));
    writeTxt("mine.txt", {fmt::format("{};D-AAAA,D-FFFF", titleC), "", "too;many;fields;here"});
    processThree();

    EXPECT_EQ(codeTitle("D-AAAA"), titleC);
    EXPECT_EQ(codeTitle("D-BBBB"), titleC);
    EXPECT_EQ(codeTitle("D-FFFF"), titleC);
    EXPECT_TRUE(codeTitle("D-CCCC").empty());
    EXPECT_TRUE(codeTitle("D-EEEE").empty());
    EXPECT_THAT(specialTitles, ElementsAre(titleB, titleB));
    EXPECT_EQ(offlineFile(), fmt::format(R"(Processing {0}
   regcode D-AAAA for "{2}", instead of for "{3}"
   regcode D-BBBB for "{4}", instead of for "{2}"
{0}: 1 new regcode added, 2 regcodes replaced, 2 regcodes defined as special
Processing files in {1}
   regcode D-AAAA for "{4}", instead of for "{2}"
===> {5} wrong format: too;many;fields;here
{5}: 1 new regcode added, 1 regcode replaced
)",
                                         aigPath(), text(paths().myRegcodesFolder), titleB, titleA, titleC,
                                         txtPath("mine.txt")));
    EXPECT_TRUE(logHas("3 registration codes"));
    EXPECT_TRUE(logHas(fmt::format("===> {} wrong format: too;many;fields;here", txtPath("mine.txt"))));
    EXPECT_TRUE(logHas(fmt::format("Offline regcode files processed, results can be found in \"{}\"",
                                   text(paths().outputInfoFolder / "OfflineRegcodes.txt"))));
    EXPECT_TRUE(logHas("2 special liveries"));
}

TEST_F(RegcodesTest, TxtLinesMarkSpecialTitles)
{
    writeTxt("codes.TXT", {fmt::format("{};D-ONE", titleA), fmt::format("{};D-TWO1,D-TWO2", titleB),
                           fmt::format("{};D-HASH1,D-HASH2;#", titleC), fmt::format("{};D-BAD1,D-BAD2;x", titleC),
                           fmt::format("Unknown title;D-UNKN")});
    processThree("");

    EXPECT_THAT(specialTitles, ElementsAre(titleA, titleC, titleC));
    EXPECT_EQ(codeTitle("D-TWO2"), titleB);
    EXPECT_TRUE(codeTitle("D-BAD1").empty());
    EXPECT_TRUE(codeTitle("D-UNKN").empty());
    EXPECT_THAT(offlineRegcodeReport(),
                ElementsAre("Processing files in " + text(paths().myRegcodesFolder),
                            txtPath("codes.TXT") + ": 5 new regcodes added, 3 regcodes defined as special"));
}

TEST_F(RegcodesTest, CodesOfAWrongLengthAreReported)
{
    writeAig(fmt::format(R"(<livery title="{}" reg="D-ABCDEFGHIJ,D-ABCDEFGHIJK,,D-OK"/>)", titleA));
    writeTxt("codes.txt", {fmt::format("{};D-ABCDEFGHIJK, ,D-FINE", titleB)});
    processThree("");

    EXPECT_EQ(codeTitle("D-ABCDEFGHIJ"), titleA);
    EXPECT_TRUE(codeTitle("D-ABCDEFGHIJK").empty());
    EXPECT_EQ(codeTitle("D-OK"), titleA);
    EXPECT_EQ(codeTitle("D-FINE"), titleB);
    const std::vector<std::string>& report = offlineRegcodeReport();
    EXPECT_THAT(report, Contains(fmt::format("===> wrong regcode length \"D-ABCDEFGHIJK\" in {}", titleA)));
    EXPECT_THAT(report, Contains(fmt::format("===> wrong regcode length \"\" in {}", titleA)));
    EXPECT_THAT(report, Contains(fmt::format("===> wrong regcode length \"D-ABCDEFGHIJK\" in {}", txtPath("codes.txt"))));
    EXPECT_THAT(report, Contains(fmt::format("===> wrong regcode length \"\" in {}", txtPath("codes.txt"))));
    EXPECT_THAT(report, Contains(aigPath() + ": 2 new regcodes added"));
}

TEST_F(RegcodesTest, InlineClashesGoToTheirFile)
{
    fs::create_directories("output/errors");
    process({livery("ABC", "A320", std::string(titleA), "D-SAME"), livery("ABC", "A320", std::string(titleB), "D-SAME"),
             livery("ABC", "B738", std::string(titleC), "D-SAME"), livery("ABC", "B738", "Fourth title", "D-OTHER")});

    EXPECT_EQ(codeTitle("D-SAME"), titleA);
    EXPECT_EQ(codeTitle("D-OTHER"), "Fourth title");
    const fs::path file = installed("output/errors/InlineRegcodes.txt");
    EXPECT_EQ(test::readText(file), fmt::format(R"([ABC B738] D-SAME "{}" => in use by "{}"
[ABC A320] D-SAME "{}" => in use by "{}"
)",
                                                titleC, titleA, titleB, titleA));
    EXPECT_TRUE(logHas(fmt::format("===> 2 in-line regcode clashes, see \"{}\"",
                                   text(paths().outputErrorsFolder / "InlineRegcodes.txt"))));
}

TEST_F(RegcodesTest, ClearsTheCodeOfTheLaterRecord)
{
    LiveryList list{livery("ABC", "A320", "Title one", "D-SAME"), livery("ABC", "A320", "Title two", "D-SAME")};
    groupScannedLiveries(list);
    checkInlineRegcodes(list);

    EXPECT_EQ(list.front().regcode, "D-SAME");
    EXPECT_EQ(list.back().regcode, "");
}

TEST_F(RegcodesTest, OnlyTxtFilesOfAnyCaseAreRead)
{
    writeTxt("lower.txt", {fmt::format("{};D-LOW", titleA)});
    writeTxt("Mixed.TxT", {fmt::format("{};D-MIX", titleB)});
    writeTxt("other.csv", {fmt::format("{};D-CSV", titleC)});
    // Read in byte order of the names, Mixed.TxT < after.txt < lower.txt: a later file's code wins.
    writeTxt("after.txt", {fmt::format("{};D-LOW,D-MIX", titleC)});
    processThree("");

    EXPECT_EQ(codeTitle("D-LOW"), titleA);
    EXPECT_EQ(codeTitle("D-MIX"), titleC);
    EXPECT_TRUE(codeTitle("D-CSV").empty());

    fs::remove(paths().myRegcodesFolder / "lower.txt");
    fs::remove(paths().myRegcodesFolder / "Mixed.TxT");
    fs::remove(paths().myRegcodesFolder / "after.txt");
    clearLookupTables();
    processThree("");
    EXPECT_THAT(offlineRegcodeReport(), ElementsAre("Processing files in " + text(paths().myRegcodesFolder)));
}

TEST_F(RegcodesTest, TxtFilesInEveryEncoding)
{
    const std::string accented = "Lufthansa D\xC3\xBCsseldorf A320";
    process({livery("DLH", "A320", accented), livery("DLH", "A320", std::string(titleA)),
             livery("DLH", "A320", std::string(titleB))});
    writeTxt("bom.txt", {accented + ";D-BOM"}, fixtures::CfgEncoding::utf8WithBom);
    writeTxt("little.txt", {fmt::format("{};D-LE", titleA), accented + ";D-LE2,D-LE3"},
             fixtures::CfgEncoding::utf16LittleEndian);
    writeTxt("big.txt", {fmt::format("{};D-BE", titleB)}, fixtures::CfgEncoding::utf16BigEndian);
    processOfflineRegcodes();

    EXPECT_EQ(codeTitle("D-BOM"), accented);
    EXPECT_EQ(codeTitle("D-LE"), titleA);
    EXPECT_EQ(codeTitle("D-LE3"), accented);
    EXPECT_EQ(codeTitle("D-BE"), titleB);
}

TEST_F(RegcodesTest, WithoutSourcesTheOldReportGoes)
{
    const fs::path old = installed("output/info/OfflineRegcodes.txt");
    writeInstalled(old, "old report\n");
    processThree("");

    EXPECT_FALSE(fs::exists(old));
    EXPECT_THAT(offlineRegcodeReport(), IsEmpty());
    EXPECT_THAT(log(), Not(HasSubstr("Offline regcode files processed")));
}

TEST_F(RegcodesTest, AnUnreadableAigFileIsReported)
{
    writeInstalled(paths().aigRegcodesPath, "<AIG-regcodes><livery");
    processThree("");

    EXPECT_THAT(offlineRegcodeReport(),
                ElementsAre("Processing " + aigPath(), "===>  Failed to load regcode file " + aigPath()));
}

TEST_F(RegcodesTest, ARestartEntersTheCodesAgain)
{
    writeAig(fmt::format(R"(<livery title="{}" reg="D-AIG1" special="1"/>)", titleA));
    processThree("");
    processThree("");

    EXPECT_EQ(codeTitle("D-AIG1"), titleA);
    EXPECT_THAT(specialTitles, ElementsAre(titleA, titleA));
    EXPECT_THAT(offlineRegcodeReport(), Contains(aigPath() + ": 1 new regcode added, 1 regcode defined as special"));
}

TEST_F(RegcodesTest, FixtureFilesCoverEverySource)
{
    const LiveryList liveries = fixtures::fixtureLiveries(300);
    fixtures::writeRegcodeFiles(fs::current_path(), 300);
    process(liveries);

    const std::vector<std::string>& report = offlineRegcodeReport();
    EXPECT_THAT(report, Contains(HasSubstr("regcodes replaced")));
    for (const char* name : {"plain.TXT", "with-bom.txt", "wide.Txt"})
        EXPECT_THAT(report, Contains(HasSubstr(txtPath(name) + ": "))) << name;
    EXPECT_FALSE(specialTitles.empty());
    EXPECT_TRUE(codeTitle("N-NOSCAN").empty());
    EXPECT_EQ(codeTitle("B-00000"), liveries.front().title);
}

} // namespace
} // namespace rtd
