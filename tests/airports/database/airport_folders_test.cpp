#include "airports/airport_support.hpp"

#include "airports/database/airport_folders.hpp"
#include "airports/files/airport_file_read.hpp"
#include "fixtures/airport_fixture.hpp"

#include <gmock/gmock.h>

namespace rtd {
namespace {

namespace fs = std::filesystem;
using test::writeFile;

class AirportFoldersTest : public test::AirportFolderTest {
protected:
    AirportFoldersTest() { fixtures::writeAirportFiles(install.path()); }
};

TEST_F(AirportFoldersTest, LookupOrderAndLinks)
{
    struct Row {
        const char* code;
        const char* file; // "" for none
        bool exists;
    };
    const Row rows[] = {
        {"EGLL", "airports/archive/thirdparty/Pub/EGLL.xml", true}, // CR LF link before the stock file
        {"LOWI", "airports/archive/simaddon/LOWI.xml", true},       // link written with '\'
        {"KSEA", "airports/archive/stock/KSEA.xml", true},          // dead link passed over
        {"EHAM", "airports/archive/stock/EHAM.xml", true},
        {"LFPG", "airports/my_thirdparty/LFPG.xml", true},
        {"XXXX", "", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(findAirportFile(row.code), fs::path(row.file)) << row.code;
        EXPECT_EQ(airportFileExists(row.code), row.exists) << row.code;
    }
    // Archived add-on files are reached only through a link; a dead link still counts as a file.
    fs::remove(install / "airports/my_simaddon/LOWI.txt");
    EXPECT_EQ(findAirportFile("LOWI"), fs::path());
    EXPECT_FALSE(airportFileExists("LOWI"));
    fs::remove(install / "airports/archive/stock/KSEA.xml");
    EXPECT_EQ(findAirportFile("KSEA"), fs::path());
    EXPECT_TRUE(airportFileExists("KSEA"));
    // An empty link file is passed over too.
    writeFile(install / "airports/my_thirdparty/EHAM.txt", "");
    EXPECT_EQ(findAirportFile("EHAM"), fs::path("airports/archive/stock/EHAM.xml"));
}

TEST_F(AirportFoldersTest, LearnedFileReplacesWholeFolderNames)
{
    const fs::path absolute = install / "archive" / "airports";
    const std::pair<fs::path, fs::path> rows[] = {
        {"airports/archive/stock/EGLL.xml", "airports/learned/stock/EGLL.xml"},
        {"airports/archive/thirdparty/Pub/EGLL.xml", "airports/learned/thirdparty/Pub/EGLL.xml"},
        {"airports/my_simaddon/KSEA.xml", "airports/learned/simaddon/KSEA.xml"},
        {"airports/my_thirdparty/LFPG.xml", "airports/learned/thirdparty/Pub/LFPG.xml"},
        {"airports/my_thirdparty/EVIL.xml", "airports/learned/thirdparty/unknown/EVIL.xml"}, // publisher "../x"
        {"airports/my_thirdparty/NONE.xml", "airports/learned/thirdparty/NONE.xml"},         // no publisher
        {absolute / "my_simaddon/KSEA.xml", absolute / "learned/simaddon/KSEA.xml"},
        {"airports/my_simaddon/archive.xml", "airports/learned/simaddon/archive.xml"},
        {"other/archive/EGLL.xml", "other/archive/EGLL.xml"},
        {"EGLL.xml", "EGLL.xml"},
    };
    for (const auto& [file, learned] : rows)
        EXPECT_EQ(learnedFolderFor(file), learned) << file;
    EXPECT_THAT(logText(), ::testing::HasSubstr("publisher \"../x\" cannot name a folder, \"unknown\" taken"));
}

TEST_F(AirportFoldersTest, PublisherFolderNames)
{
    const std::pair<const char*, const char*> rows[] = {
        {"Pub", "Pub"}, {"", ""}, {"My Pub.", "My Pub."}, {".", "unknown"}, {"..", "unknown"},
        {"a/b", "unknown"}, {"a\\b", "unknown"}, {"C:", "unknown"}, {"tab\t", "unknown"},
    };
    for (const auto& [publisher, folder] : rows)
        EXPECT_EQ(publisherFolderName(publisher), folder) << publisher;
}

TEST_F(AirportFoldersTest, OneValueReaders)
{
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(
        "<meta/><parameters><parameter name='hex' value='0x1F'/><parameter name='text' value='abc'/>"
        "<parameter name='neg' value='-12'/><parameter name='bare'/><parameter name='yes' value='Yes'/>"
        "<parameter name='no' value='false'/></parameters><parkpositions/>"));
    struct Row {
        const char* name;
        std::int32_t number;
        bool flag;
        const char* text;
        bool found;
    };
    const Row rows[] = {
        {"hex", 31, false, "0x1F", true}, {"text", 0, false, "abc", true}, {"neg", -12, false, "-12", true},
        {"bare", 0, false, "", true},     {"yes", 0, true, "Yes", true},   {"no", 0, false, "false", true},
        {"missing", 0, false, "", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(getXmlNumber(document, row.name), std::make_pair(row.number, row.found)) << row.name;
        EXPECT_EQ(getXmlBool(document, row.name), std::make_pair(row.flag, row.found)) << row.name;
        EXPECT_EQ(getXmlString(document, row.name), std::make_pair(std::string(row.text), row.found)) << row.name;
    }
}

TEST_F(AirportFoldersTest, FileReaders)
{
    EXPECT_EQ(readNumParkpos("airports/archive/stock/EHAM.xml"), 3);
    EXPECT_EQ(readNumParkpos("airports/archive/stock/BRKN.xml"), 0);
    EXPECT_EQ(readPublisher("airports/my_thirdparty/LFPG.xml"), "Pub");
    EXPECT_EQ(readPublisher("airports/archive/stock/BRKN.xml"), "");
    EXPECT_TRUE(readQualityFactors("EHAM"));
    EXPECT_FALSE(readQualityFactors("BRKN"));
    EXPECT_FALSE(readQualityFactors("LOWI")) << "only the stock archive counts";
    fixtures::FixtureAirportFile noFactors{{{"Qf_real", "-1"}, {"Qf_soft", "-1"}}, {}};
    writeFile(install / "airports/archive/stock/EDDF.xml", fixtures::airportFileXml(noFactors));
    EXPECT_FALSE(readQualityFactors("EDDF"));
}

TEST_F(AirportFoldersTest, DescribePublisher)
{
    using Parameters = std::vector<std::pair<std::string, std::string>>;
    const std::pair<Parameters, const char*> rows[] = {
        {{{"publisher", "unknown"}, {"manufacturer", "Abc"}}, "manufacturer=Abc, creator="},
        {{{"publisher", "unknown"}, {"manufacturer", "Abcd"}}, ""},
        {{{"publisher", "unknown"}, {"manufacturer", "Ab"}, {"creator", "Wxyz"}}, ""},
        {{{"publisher", "unknown"}}, "manufacturer=, creator="},
        {{{"publisher", "Pub"}, {"manufacturer", "A"}}, ""},
        {{}, ""},
    };
    for (const auto& [parameters, text] : rows) {
        writeFile(install / "X.xml", fixtures::airportFileXml({parameters, {}}));
        EXPECT_EQ(describePublisher("X.xml"), text);
    }
    EXPECT_EQ(describePublisher("missing.xml"), "\"missing.xml\" not found");
}

} // namespace
} // namespace rtd
