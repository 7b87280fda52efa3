#include "cfg_support.hpp"
#include "core/workers.hpp"
#include "liveries/ivao.hpp"
#include "liveries/scan_tables.hpp"
#include "platform/platform.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace rtd {
namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

const std::string airplanes = "Traffic/IVAO_MTL/SimObjects/Airplanes/";

struct IvaoCase {
    std::string name;
    std::string modelFolder; // below airplanes
    std::vector<std::string> lines;
    std::vector<std::string> textures; // texture folder names beside the file
    std::vector<std::string> records;
    std::vector<std::string> issues; // with {file}, {folder} and {texture}
    std::vector<std::string> logs = {};
};

TEST(IvaoSections, FilesAndSections)
{
    const std::vector<IvaoCase> cases = {
        {"model at the start of the title",
         "IVAO_B738",
         {"[fltsim.0]", "title=B738 KLM", "texture=KLM", "atc_id=PH-BXA", "[fltsim.1]", "title=Boeing B738 KLM",
          "texture=KLM", "[fltsim.2]", "title=B738 klm", "texture=KLM", "[fltsim.3]", "title=B738 BOE",
          "atc_id=N12345", "texture=KLM", "[fltsim.4]", "title=B738 KLM", "texture=KLM"},
         {"KLM"},
         {"KLM|B738|PH-BXA|0|B738 KLM", "ZZZ|B738||0|B738 BOE"},
         {"incomplete: {folder} [fltsim.1] misses airlinecode in title",
          "incomplete: {folder} [fltsim.4] title already exists: B738 KLM",
          "airline: klm          in {file} [fltsim.2]"}},
        {"special folders carry a W after the model",
         "IVAO_A320wCFM",
         {"[fltsim.0]", "title=A320W DLH", "texture=DLH", "[fltsim.1]", "title=A320 BAW", "texture=DLH"},
         {"DLH"},
         {"DLH|A320||0|A320W DLH"},
         {"incomplete: {folder} [fltsim.1] misses airlinecode in title"}},
        {"registrations",
         "IVAO_B738",
         {"[fltsim.0]", "title=B738 KLM 12", "atc_id=PH-ABCDEFGHI", "texture=K", "[fltsim.1]", "title=B738 KLM 13",
          "atc_id=PH-ABCDEFGHIJ", "texture=K", "[fltsim.2]", "title=B738 KLM two", "atc_id=PH-ABC,PH-ABD", "texture=K",
          "[fltsim.3]", "title=B738 DLH", "atc_id=G-BAFM", "atc_id=D-ABCD", "texture=K", "[fltsim.4]",
          "title=B738 FDX", "atc_id=N1*234", "texture=K", "// atc_id=N55555"},
         {"K"},
         {"KLM|B738|PH-ABCDEFGHI|0|B738 KLM 12", "KLM|B738||0|B738 KLM 13", "KLM|B738||0|B738 KLM two",
          "DLH|B738|D-ABCD|0|B738 DLH", "FDX|B738||0|B738 FDX"},
         {},
         {"regcode: 13, has more than 12 chars in title: B738 KLM 13",
          "===> B738 FDX N1*234 wild cards no longer supported, atc_id skipped "}},
        {"repeated keys and missing parts",
         "IVAO_B738",
         {"[fltsim.0]", "title=B738 KLM a", "title=B738 KLM b", "[fltsim.1]", "title=B738 KLM c", "atc_id=PH-ABC",
          "atc_id=PH-ABD", "[fltsim.2]", "title=B738 KLM d", "atc_parking_types=GATE", "atc_parking_types=RAMP",
          "[fltsim.3]", "title=B738 KLM e", "texture=GONE", "[fltsim.4]", "texture=K", "[General]",
          "title=B738 KLM f", "[fltsim.5]", "title=\" B738 KLM g \"", "texture=K"},
         {"K"},
         {"KLM|B738||0|B738 KLM g"},
         {"incomplete: {folder} [fltsim.0] has more than one title key",
          "incomplete: {folder}, [fltsim.1], has more than one atc_id key",
          "incomplete: {folder} [fltsim.2] has more than one atc_parking_types key",
          "incomplete: {texture}GONE [fltsim.3] does not exist", "incomplete: {folder} [fltsim.4] misses title"},
         {"removed spaces around title \" B738 KLM g \" --> \"B738 KLM g\""}},
        {"file checks", "IVAO_B738", {"[General]", "title=B738 KLM"}, {}, {}, {"empty: {file}"}},
        {"unknown model folder", "IVAO_b738", {"[fltsim.0]", "title=b738 KLM"}, {""}, {}, {"model: b738             in {file}"}},
    };
    for (const IvaoCase& c : cases) {
        SCOPED_TRACE(c.name);
        test::CfgWorld world;
        std::string text;
        for (const std::string& line : c.lines)
            text += line + "\r\n";
        const auto file = world.write(airplanes + c.modelFolder + "/aircraft.cfg", text);
        for (const std::string& texture : c.textures)
            std::filesystem::create_directory(file.parent_path() / ("texture." + texture));
        EXPECT_THAT(test::recordTexts(test::CfgWorld::scanIvao(file)), ElementsAreArray(c.records));
        EXPECT_EQ(activeWorkers(), 0);
        EXPECT_THAT(test::issueTexts(), ElementsAreArray(test::CfgWorld::expand(c.issues, file)));
        const std::string log = world.logText();
        for (const std::string& line : c.logs)
            EXPECT_THAT(log, HasSubstr(line));
    }
}

TEST(IvaoSections, MissingFileIsLogged)
{
    test::CfgWorld world;
    const auto file = world.path(airplanes + "IVAO_B738/aircraft.cfg");
    EXPECT_TRUE(test::CfgWorld::scanIvao(file).empty());
    EXPECT_THAT(world.logText(), HasSubstr("===> no character set found for " + platform::pathToUtf8(file)));
}

} // namespace
} // namespace rtd
