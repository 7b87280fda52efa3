#include "cfg_support.hpp"
#include "liveries/aircraft_cfg.hpp"
#include "liveries/scan_tables.hpp"
#include "platform/platform.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace rtd {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

TEST(KeyLines, TitleLines)
{
    struct Case {
        std::string line;
        bool isTitle;
        std::string title; // "-" when left unset
    };
    const Case cases[] = {
        {"Title = Boeing 737", true, "Boeing 737"},
        {"  title=\"Boeing 737\" // our livery ", true, "Boeing 737"},
        {"title= A  B ;c\t", true, "A  B ;c"},
        {"title=", false, "-"},
        {"title =   ", false, "-"},
        {"ui_title=abc", false, "-"},
        {"title=\"one quote", true, "-"},
        {"title=\"\"", true, "-"},
        {"titles=abc", false, "-"},
        {"title=a\rb", false, "-"},
        {"title=" + std::string(maxMatchedLineLength, 'x'), false, "-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.substr(0, 40));
        std::string title = "-";
        EXPECT_EQ(readTitle(c.line, title), c.isTitle);
        EXPECT_EQ(title, c.title);
    }
}

TEST(KeyLines, ValueReaders)
{
    std::string out;
    EXPECT_FALSE(readAtcId("atc_id=N123", out));
    EXPECT_TRUE(readAtcId("atc_id = D-ABCD", out));
    EXPECT_EQ(out, "D-ABCD");

    const std::pair<std::string, std::string> airlines[] = {
        {"icao_airline=klm", "KLM"},           {"icao_airline=\"\"", "ZZZ"},
        {"icao_airline=ZZZZecorder", "ZZZ"},   {"icao_airline=zzzzecorder", "ZZZZECORDER"},
        {"ICAO_AIRLINE = dlh, baw", "DLH, BAW"},
    };
    for (const auto& [line, airline] : airlines) {
        EXPECT_TRUE(readIcaoAirline(line, out)) << line;
        EXPECT_EQ(out, airline) << line;
    }
    EXPECT_TRUE(readAtcParkingTypes("atc_parking_types = Gate,Cargo", out));
    EXPECT_EQ(out, "Gate,Cargo");
    EXPECT_FALSE(readTexture("texture=\"\"", out));
    EXPECT_TRUE(readTexture("texture=KLM", out));
    EXPECT_EQ(out, "KLM");

    EXPECT_EQ(readIcaoTypeDesignator("icao_type_designator = \"b7378\""), "B737");
    EXPECT_EQ(readIcaoTypeDesignator("icao_manufacturer=Boeing"), "");
    EXPECT_TRUE(isAtcIdLine("// atc_id=X"));
    EXPECT_FALSE(isAtcIdLine("atc_id =X"));
    EXPECT_TRUE(isAtcParkingTypesLine("x atc_parking_types"));
}

TEST(KeyLines, BaseContainer)
{
    test::InstallationFolder installation;
    EXPECT_EQ(readBaseContainer("base_container = ..\\Asobo_A320_NEO"), "A20N");
    EXPECT_EQ(readBaseContainer("base_container = \"../FlyByWire_A320_NEO\""), "A20N");
    EXPECT_EQ(readBaseContainer("base_container = ..\\asobo_a320_neo"), "");
    EXPECT_EQ(readBaseContainer("base_container = .."), "");
    EXPECT_THAT(installation.logText(), HasSubstr("base_container value \"..\" names no default aircraft"));
}

TEST(KeyLines, FltsimHeaders)
{
    const std::pair<std::string, std::string> cases[] = {
        {"[FltSim.3]", "3"},      {"  [fltsim.3]\t", "3"},   {"[fltsim.3] ; x", "10000"},
        {"[fltsim.x]", "10000"},  {"// [fltsim.3]", ""},     {"[FltSim.]", ""},
        {"[General]", ""},        {"[fltsim.10000]", "10000"},
    };
    for (const auto& [line, header] : cases)
        EXPECT_EQ(readFltsimHeader(line), header) << line;
    EXPECT_EQ(classifyFltsimHeader("[fltsim.10000]").kind, FltsimHeader::numbered);
    EXPECT_EQ(classifyFltsimHeader("[fltsim.1]x").kind, FltsimHeader::unnumbered);
}

TEST(KeyLines, HouseCodesAndCommaLists)
{
    for (const char* code : {"BOE", "AIB", "EMB", "BBA", "AED"})
        EXPECT_TRUE(isHouseAirlineCode(code));
    EXPECT_FALSE(isHouseAirlineCode("boe"));
    EXPECT_FALSE(isHouseAirlineCode("BOEX"));
    EXPECT_THAT(splitCommaList(" a ,, b,"), ElementsAre("a", "", "b"));
    EXPECT_TRUE(splitCommaList("").empty());
}

TEST(SectionNumbering, Table)
{
    struct Case {
        std::vector<std::string> lines;
        bool usable;
        std::vector<std::string> issues;
    };
    const std::vector<Case> cases = {
        {{"[fltsim.2]", "[fltsim.0]", "[fltsim.1]"}, true, {}},
        {{"[fltsim.0]", "[fltsim.2]"}, false, {"invalid cfg: {file} contains non-consecutive [fltsim.x] numbers at .x=2"}},
        {{"[fltsim.1]", "[fltsim.2]"}, false, {"invalid cfg: {file} contains non-consecutive [fltsim.x] numbers at .x=1"}},
        {{"[fltsim.0]", "[fltsim.0]"}, false, {"invalid cfg: {file} contains non-consecutive [fltsim.x] numbers at .x=0"}},
        {{"[fltsim.0]", "[fltsim.x]"}, false, {"invalid cfg: {file} contains a [fltsim.] section without a number"}},
        {{"[fltsim.x]", "[fltsim.1]"}, false, {"invalid cfg: {file} contains non-consecutive [fltsim.x] numbers at .x=1"}},
        // A real section 10000 is not taken for a header without a number.
        {{"[fltsim.0]", "[fltsim.10000]"}, false,
         {"invalid cfg: {file} contains non-consecutive [fltsim.x] numbers at .x=10000"}},
        {{"[General]", "title=x"}, true, {"empty: {file}"}},
        {{"[fltsim.0]", "[fltsim.99999999999]"}, false, {}},
    };
    const std::filesystem::path file = "Pkg/aircraft.cfg";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines.back());
        test::CfgWorld world;
        EXPECT_EQ(splitFltsimSections(c.lines, file), c.usable);
        EXPECT_THAT(test::issueTexts(), ElementsAreArray(test::CfgWorld::expand(c.issues, file)));
    }
    test::CfgWorld world;
    splitFltsimSections({"[fltsim.99999999999]"}, file);
    EXPECT_THAT(world.logText(), HasSubstr("===> fltsim num [fltsim.99999999999] incorrect"));
}

TEST(ModelCodes, GeneralAndIvaoFiles)
{
    struct Case {
        std::string path;
        std::vector<std::string> lines;
        std::string model;
        std::vector<std::string> issues;
    };
    const std::string ivao = "C:\\Traffic\\IVAO_MTL\\SimObjects\\Airplanes\\";
    const std::vector<Case> cases = {
        {"a/aircraft.cfg", {"icao_type_designator=b738", "base_container=..\\Asobo_B747_8i"}, "B738", {}},
        {"a/aircraft.cfg", {"icao_type_designator=737"}, "B738", {"fix: Fix: 737 found in {file} changed into B738"}},
        {"a/aircraft.cfg", {"icao_type_designator=ZZ99"}, "", {"model: ZZ99             in {file}"}},
        {"a/aircraft.cfg", {"base_container=\"..\\Asobo_B747_8i\""}, "B748", {}},
        {"a/aircraft.cfg", {"base_container=..\\Asobo_CJ4"}, "", {"model: C25C             in {file}"}},
        {"a/aircraft.cfg", {"base_container=x"}, "",
         {"invalid cfg: Line icao_type_designator= is missing in [General] section of {file}"}},
        {"pmdg-aircraft-738/x/aircraft.cfg", {}, "", {}},
        {"fnx-aircraft-320/x/aircraft.cfg", {}, "", {}},
        {ivao + "IVAO_A320wCFM\\aircraft.cfg", {}, "A320", {}},
        {"/t/ivao_x-csl/SimObjects/Airplanes/ivao_B77W_GE/AIRCRAFT.CFG", {}, "B77W", {}},
        {ivao + "IVAO_b738\\aircraft.cfg", {}, "", {"model: b738             in {file}"}},
        {ivao + "IVAO_737\\aircraft.cfg", {}, "B738", {"fix: Fix: 737 found in {file} changed into B738"}},
        {ivao + "IVAO_A320\\texture\\aircraft.cfg", {}, "", {"model:                  in {file}"}},
        {"IVAO_MTL\\SimObjects\\Airplanes\\IVAO_A320\\aircraft.cfg", {}, "", {"model:                  in {file}"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        test::CfgWorld world;
        const std::filesystem::path file = platform::pathFromUtf8(c.path);
        const bool isIvao = c.path.find("IVAO_") != std::string::npos || c.path.find("ivao_") != std::string::npos;
        EXPECT_EQ(isIvao ? fixIvaoModel(file) : fixGeneralSection(file, c.lines), c.model);
        EXPECT_THAT(test::issueTexts(), ElementsAreArray(test::CfgWorld::expand(c.issues, file)));
    }
}

TEST(LiveryRecords, TitlesAreDeduplicatedOnRequest)
{
    test::CfgWorld world;
    const LiveryData first = makeLiveryData(3, "KLM", "B738", true, "T", "PH-ABC", true);
    EXPECT_EQ(first, (LiveryData{"KLM", "B738", "T", "PH-ABC", 3, true}));
    EXPECT_TRUE(makeLiveryData(3, "DLH", "B738", false, "T", "", true).empty());
    EXPECT_FALSE(makeLiveryData(3, "DLH", "B738", false, "T", "", false).empty());
    EXPECT_EQ(seenTitles.titles.size(), 1u);

    addInvalidAirlineCode("AB", "x.cfg", "[fltsim.0]");
    EXPECT_THAT(invalidAirlineCodes.lines, ElementsAre("AB           in x.cfg [fltsim.0]"));
    dontUseTitles.push_back("x");
    resetScanTables();
    EXPECT_TRUE(seenTitles.titles.empty());
    EXPECT_TRUE(invalidAirlineCodes.lines.empty());
    EXPECT_TRUE(dontUseTitles.empty());
}

} // namespace
} // namespace rtd
