#include "cfg_support.hpp"
#include "core/parameters.hpp"
#include "core/workers.hpp"
#include "fixtures/dbase_fixture.hpp"
#include "fixtures/fixes_fixture.hpp"
#include "fixtures/livery_fixture.hpp"
#include "liveries/dbase.hpp"
#include "liveries/fixes.hpp"
#include "liveries/ivao.hpp"
#include "platform/platform.hpp"
#include "liveries/livery_sections.hpp"
#include "liveries/scan_tables.hpp"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace rtd {
namespace {

using ::testing::Contains;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

struct FileCase {
    std::string name;
    std::vector<std::string> lines;
    std::vector<std::string> records; // recordTexts
    std::vector<std::string> issues;  // issueTexts, with {file} and {folder}
    std::vector<std::string> logs = {};
    std::string path = "Pkg/SimObjects/Airplanes/Test/aircraft.cfg";
};

const std::string b738 = "icao_type_designator=B738";

std::string joinLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

void runCase(const FileCase& c)
{
    SCOPED_TRACE(c.name);
    test::CfgWorld world;
    const std::filesystem::path file = world.write(c.path, joinLines(c.lines));
    const LiveryList records = test::CfgWorld::scanGeneral(file);
    EXPECT_EQ(activeWorkers(), 0);
    EXPECT_THAT(test::recordTexts(records), ElementsAreArray(c.records));
    EXPECT_THAT(test::issueTexts(), ElementsAreArray(test::CfgWorld::expand(c.issues, file)));
    const std::string log = world.logText();
    for (const std::string& line : c.logs)
        EXPECT_THAT(log, HasSubstr(line));
}

TEST(GeneralSections, FilesAndSections)
{
    const std::vector<FileCase> cases = {
        {"sections in any order, records ordered, [General] closes a section",
         {"[fltsim.2]", "title = \"KLM Two\" // ours", "icao_airline=klm", "atc_id=PH-ABC;old", "atc_parking_types=gate, cargo",
          "[General]", b738, "title=ignored", "[fltsim.0]", "title=  DLH Zero  ", "icao_airline=DLH", "[fltsim.1]",
          "title=FDX One", "texture=[abc]", "icao_airline=FDX", "atc_parking_types=cargo"},
         {"DLH|B738||0|DLH Zero", "FDX|B738||1|FDX One", "KLM|B738|PH-ABC|0|KLM Two"},
         {}},
        {"no model: complete sections give nothing",
         {"[fltsim.0]", "title=T", "icao_airline=KLM"},
         {},
         {"invalid cfg: Line icao_type_designator= is missing in [General] section of {file}"}},
        {"too short base_container: no default aircraft, no exception",
         {"base_container=..", "[fltsim.0]", "title=T", "icao_airline=KLM"},
         {},
         {"invalid cfg: Line icao_type_designator= is missing in [General] section of {file}"},
         {"base_container value \"..\" names no default aircraft"}},
        {"base_container names the model",
         {"[General]", "base_container = \"..\\Asobo_A320_NEO\"", "[fltsim.0]", "title=T", "icao_airline=EZY"},
         {"EZY|A20N||0|T"},
         {}},
        {"no sections", {"[General]", b738}, {}, {"empty: {file}"}},
        {"repeated keys reject their sections; trailing comment lines are dropped",
         {b738, "[fltsim.0]", "title=A", "title=B", "icao_airline=KLM", "[fltsim.1]", "title=C", "icao_airline=KLM",
          "// icao_airline=DLH", "atc_id=PH-QQQ", "[fltsim.2]", "title=D", "icao_airline=KLM", "atc_parking_types=GATE",
          "atc_parking_types=RAMP", "[fltsim.3]", "title=E", "icao_airline=KLM", "atc_id=PH-ABC", "// atc_id=PH-XYZ",
          "icao_airline_x", "[fltsim.4]", "title=F", "icao_airline=KLM", "atc_id=PH-ABC", "// atc_id=PH-XYZ", "",
          "// trailing"},
         {"KLM|B738|PH-ABC|0|F"},
         {"incomplete: {folder} [fltsim.0] has more than one title key",
          "incomplete: {folder} [fltsim.1] has more than one icao_airline key",
          "incomplete: {folder} [fltsim.2] has more than one atc_parking_types key",
          "incomplete: {folder}, [fltsim.3], has more than one atc_id key"}},
        {"airline rules by size category",
         {"[fltsim.0]", "title=Big", b738, "[fltsim.1]", "title=\"one quote", "icao_airline=KLM"},
         {},
         {"incomplete: {folder} [fltsim.0] empty icao_airline=", "incomplete: {folder} [fltsim.1] misses title"}},
        {"a light aircraft without airline is private",
         {"icao_type_designator=C172", "[fltsim.0]", "title=Cessna", "atc_id=D-EABC"},
         {"PVT|C172|D-EABC|0|Cessna"},
         {}},
        {"house codes and ZZZ keep no registration",
         {b738, "[fltsim.0]", "title=House", "icao_airline=BOE", "atc_id=N12345", "[fltsim.1]", "title=Generic",
          "icao_airline=\"\"", "atc_id=N12346"},
         {"ZZZ|B738||0|Generic", "ZZZ|B738||0|House"},
         {}},
        {"several airline codes share the title; later sections with it are refused",
         {b738, "[fltsim.0]", "title=Shared", "icao_airline=KLM, DLH,KLM", "[fltsim.1]", "title=Shared",
          "icao_airline=FDX"},
         {"DLH|B738||0|Shared", "KLM|B738||0|Shared"},
         {"incomplete: {folder} [fltsim.1] title \"Shared\" already exists"}},
        {"airline code fixes",
         {b738, "[fltsim.0]", "title=A", "icao_airline=KLMX", "[fltsim.1]", "title=B", "icao_airline=KLMA",
          "[fltsim.2]", "title=C", "icao_airline=NOA,GOV", "atc_id=D-EFGH"},
         {"KLM|B738||0|A", "PVT|B738|D-EFGH|0|C", "PVT|B738|D-EFGH|0|C"},
         {"fix: Fix: GOV found in {file} changed into PVT", "fix: Fix: NOA found in {file} changed into PVT",
          "airline: KLMA         in {file} [fltsim.1]"}},
        {"registrations",
         {b738, "[fltsim.0]", "title=R0", "icao_airline=KLM", "atc_id=N123", "atc_id=PH-ABC, PH-ABD", "[fltsim.1]",
          "title=R1", "icao_airline=KLM", "atc_id=PH-A*C", "[fltsim.2]", "title=R2", "icao_airline=KLM",
          "atc_id=;PH-ABC", "atc_id=PH-XYZ", "[fltsim.3]", "title=R3", "icao_airline=KLM", "atc_id=PH-ABCDEFGHIJK",
          "[fltsim.4]", "title=R4", "icao_airline=KLM", "atc_id=PH-AB,,C"},
         {"KLM|B738||0|R0", "KLM|B738||0|R1", "KLM|B738||0|R3", "KLM|B738||0|R4", "KLM|B738|PH-XYZ|0|R2"},
         {},
         {"===> R1 PH-A*C wild cards no longer supported, atc_id skipped ", "invalid atc_id= ==> in: R2",
          "regcode: PH-ABCDEFGHIJK, has more than 12 chars or contains UTF16 chars in \"R3\"?",
          "empty regcode in R4 PH-AB,,C"}},
        {"skipped titles",
         {b738, "[fltsim.0]", "title=Old-STUB", "icao_airline=KLM", "[fltsim.1]", "title=FenixA320 x",
          "icao_airline=KLM", "[fltsim.2]", "title=PMDG 737 y", "icao_airline=KLM", "title=again"},
         {},
         {}},
    };
    for (const FileCase& c : cases)
        runCase(c);
}

TEST(GeneralSections, StubTitlesOnlySkippedWhileSuppressed)
{
    SUPPRESS_STUB.set(false);
    runCase({"stub kept", {b738, "[fltsim.0]", "title=Old-STUB", "icao_airline=KLM"}, {"KLM|B738||0|Old-STUB"}, {}});
    SUPPRESS_STUB.set(true);
}

TEST(GeneralSections, DontUseTitlesGiveNothing)
{
    test::CfgWorld world;
    dontUseTitles = {"Hidden"};
    const auto file = world.write("P/aircraft.cfg", joinLines({b738, "[fltsim.0]", "title=Hidden", "icao_airline=KLM"}));
    EXPECT_TRUE(test::CfgWorld::scanGeneral(file).empty());
    EXPECT_TRUE(test::issueTexts().empty());
}

TEST(GeneralSections, EveryEncodingAndLineEndReadsAlike)
{
    const std::vector<std::string> lines = {"[General]", "icao_type_designator = B738 ", "[fltsim.0]",
                                            "title = Enc \xC3\xA9t\xC3\xA9", "icao_airline = KLM ", "atc_id = PH-ABC "};
    using fixtures::CfgEncoding;
    for (const CfgEncoding encoding : {CfgEncoding::utf8, CfgEncoding::utf8WithBom, CfgEncoding::utf16LittleEndian,
                                       CfgEncoding::utf16BigEndian}) {
        for (const bool crlf : {false, true}) {
            SCOPED_TRACE(static_cast<int>(encoding) * 2 + crlf);
            test::CfgWorld world;
            const auto file = world.write("P/aircraft.cfg", fixtures::encodeCfgFile({"", lines, encoding, crlf}));
            EXPECT_THAT(test::recordTexts(test::CfgWorld::scanGeneral(file)),
                        ElementsAreArray({"KLM|B738|PH-ABC|0|Enc \xC3\xA9t\xC3\xA9"}));
        }
    }
}

TEST(GeneralSections, Utf16FileWithABadCharacterIsListedAsInvalid)
{
    using fixtures::CfgEncoding;
    test::CfgWorld world;
    std::string bytes = fixtures::encodeCfgFile(
        {"", {"[General]", "icao_type_designator = B738", "[fltsim.0]", "title = Bad X", "icao_airline = KLM"},
         CfgEncoding::utf16LittleEndian, true});
    const std::string x("X\0", 2);
    bytes.replace(bytes.find(x), x.size(), std::string("\0\xDC", 2)); // a lone low surrogate
    const auto file = world.write("P/aircraft.cfg", bytes);
    EXPECT_TRUE(test::CfgWorld::scanGeneral(file).empty());
    EXPECT_THAT(test::issueTexts(),
                ElementsAreArray({test::CfgWorld::expand(
                    "invalid cfg: {file} is not valid UTF-16, all its liveries are left out", file)}));
    EXPECT_THAT(world.logText(), HasSubstr("conversion from error from utf16 to utf8, code: 1113"));
}

TEST(GeneralSections, MissingFileGivesNothingAndReturnsTheSlot)
{
    test::CfgWorld world;
    EXPECT_TRUE(test::CfgWorld::scanGeneral(world.path("none/aircraft.cfg")).empty());
    EXPECT_EQ(activeWorkers(), 0);
}

TEST(GeneralSections, GeneratedPackageAgainstGeneratedDatabase)
{
    test::CfgWorld world;
    fixtures::writeDbaseFile(platform::pathFromUtf8("input/dbase.xml"), {});
    fixtures::writeFixesFile(platform::pathFromUtf8("input/fixes.xml"));
    readDbase();
    readFixes();
    const std::filesystem::path package = world.path("Package");
    fixtures::writeLiveryPackage(package);

    std::vector<std::string> records;
    for (const fixtures::CfgFile& cfg : fixtures::liveryPackageFiles()) {
        const std::filesystem::path file = package / platform::pathFromUtf8(cfg.path);
        const bool ivao = cfg.path.find("IVAO_MTL") != std::string::npos;
        waitForThreadSlot();
        for (const std::string& text : test::recordTexts(ivao ? scanIvaoCfgFile(2, file) : lf_searchLiveriesinFile(2, file)))
            records.push_back(text);
    }
    EXPECT_EQ(activeWorkers(), 0);
    EXPECT_THAT(records, Contains("KLM|B738|D-AGHE|0|B738 KLM Synthetic"));
    EXPECT_THAT(records, Contains("RYR|B738|F-AGHE|0|B738 RYR Synthetic")); // from a lower-case code
    EXPECT_THAT(records, Contains("FDX|B763|N574WG|1|B763 FDX Synthetic"));
    EXPECT_THAT(records, Contains("EZY|A20N|G-EZSY|0|A20N EZY Based"));
    EXPECT_THAT(records, Contains("KLM|B738|PH-BXA|0|B738 KLM"));
    EXPECT_THAT(records, Contains("DLH|A320||0|A320W DLH"));
    const std::vector<std::string> issues = test::issueTexts();
    const auto path = [&](const std::string& relative) {
        return platform::pathToUtf8(package / platform::pathFromUtf8(relative));
    };
    const std::string airplanes = "synthetic-traffic/SimObjects/Airplanes/";
    EXPECT_THAT(issues, Contains(fmt::format("invalid cfg: {} contains non-consecutive [fltsim.x] numbers at .x=2",
                                             path(airplanes + "Synthetic_Gap/aircraft.cfg"))));
    EXPECT_THAT(issues, Contains(fmt::format("invalid cfg: {} contains a [fltsim.] section without a number",
                                             path(airplanes + "Synthetic_Unnumbered/aircraft.cfg"))));
    EXPECT_THAT(issues, Contains("empty: " + path(airplanes + "Synthetic_No_Sections/aircraft.cfg")));
    // The generated database lists "PVT" among its airlines, as a real one does: a private livery is offered.
    EXPECT_THAT(records, Contains("PVT|C172|N123SY|0|C172 Synthetic Private"));
    EXPECT_THAT(issues, Contains(fmt::format("incomplete: {} [fltsim.3] does not exist",
                                             platform::pathToUtf8(liveryFolderOf(package / platform::pathFromUtf8(
                                                 "IVAO_MTL/SimObjects/Airplanes/IVAO_B738/aircraft.cfg")) / "texture.SWA"))));
}

} // namespace
} // namespace rtd
