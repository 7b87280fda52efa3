#include "airports/airport_support.hpp"

#include "airports/files/airport_file.hpp"
#include "core/parameters.hpp"
#include "dbase_support.hpp"
#include "liveries/dbase.hpp"

#include <numbers>

namespace rtd {
namespace {

using test::readFile;

StandOption option(std::string reg, std::string airline, std::string type, std::uint32_t number, std::uint32_t day,
                   std::uint64_t halfHours, std::string callsign = "", std::string coupled = "", bool soft = false)
{
    return StandOption{airline, type, reg, callsign, coupled, halfHours, number, day, true, soft};
}

ParkingPosition stand(std::string name, std::vector<StandOption> options = {})
{
    return ParkingPosition(std::move(name), std::move(options), 52.3, 4.76, 0.5, 30.0, false, true, false);
}

// The model database knows PH-BXA; the settings are at their defaults.
class AirportFileTest : public test::AirportFolderTest {
protected:
    AirportFileTest()
    {
        test::writeFile(install / "input" / "dbase.xml",
                        test::requiredSections() + "<dbase>" + test::dbRow("PH-BXA", "KLM", "B738") + "</dbase>\n");
        readDbase();
        data.airportName = "Schiphol";
        data.publisher = "stock";
        data.altitude = -11;
        data.qfReal = 62;
        data.qfSoft = 3;
        ParkingPosition a1("A1",
                           {option("PH-BXA", "KLM", "B738", 1, 1, 0x70000, "KLM1234", "KLM1235"),
                            option("", "EZY", "A320", 2, 5, 1ull << 20, "", "", true),
                            option("D-AIXX", "DLH", "A359", 0, 3, 1), option("G-ABCD", "BAW", "A320", 3, 7, 0, "BAW1")},
                           52.3086, -4.76389, std::numbers::pi, 0.0, false, false, false);
        a1.radius = 0.0216;
        data.stands.push_back(std::move(a1));
        data.stands.push_back(ParkingPosition("H1", {}, 52.31, 4.77, 0.0, 15.0, true, false, true));
        data.stands.push_back(stand("M1", {option("", "", "", 1, 2, 1)}));
        data.stands.back().manual = true;
        data.stands.push_back(stand("R1"));
        data.stands.back().radiusChange = true;
        data.stands.push_back(stand("C1"));
        data.stands.back().cargoChange = true;
        data.stands.back().cargo = true;
    }
    ~AirportFileTest() override { MAX_LIVE.set(MAX_LIVE.defaultValue()); }

    // The file after its meta block, which carries the date.
    std::string saved(bool learned, bool handmade)
    {
        EXPECT_TRUE(saveAirportFile(data, install / "EHAM.xml", learned, handmade));
        const std::string text = readFile(install / "EHAM.xml");
        const std::size_t end = text.find("</meta>\n");
        EXPECT_EQ(text.substr(0, 30), "<?xml version=\"1.0\"?>\n<meta>\n\t");
        return end == std::string::npos ? text : text.substr(end + 8);
    }

    AirportFileData data;
};

const std::string settings = "\t<parameter name=\"LATERAL_RANGE\" value=\"40\" />\n"
                             "\t<parameter name=\"AUTO_RANGE\" value=\"true\" />\n"
                             "\t<parameter name=\"WEEK\" value=\"false\" />\n"
                             "\t<parameter name=\"PARK_FAKE\" value=\"false\" />\n"
                             "\t<parameter name=\"PARK_SOFT\" value=\"true\" />\n"
                             "\t<parameter name=\"parking_percentage\" value=\"30\" />\n"
                             "\t<parameter name=\"INITIAL_LOAD_ONLY\" value=\"false\" />\n"
                             "\t<parameter name=\"MAX_FIT\" value=\"47\" />\n";
const std::string learnSoft = "\t<parameter name=\"LEARN_SOFT\" value=\"true\" />\n";
const std::string a1Options = "\t\t<opt reg=\"PH-BXA\" day=\"1\" hh=\"16,17,18\" cs=\"KLM1234:KLM1235\" />\n"
                              "\t\t<opt reg=\"\" airl=\"EZY\" type=\"A320\" soft=\"true\" day=\"5\" hh=\"20\" />\n"
                              "\t\t<opt reg=\"G-ABCD\" airl=\"BAW\" type=\"A320\" day=\"7\" hh=\"\" cs=\"BAW1\" />\n";
const std::string a1Full = "id=\"A1\" latitude=\"52.308600\" longitude=\"-4.763890\" heading=\"180.0\" "
                           "radius=\"40.0\" cargo=\"false\" ramp=\"false\"";
const std::string h1Full = "id=\"H1\" latitude=\"52.310000\" longitude=\"4.770000\" heading=\"0.0\" radius=\"15.0\" "
                           "heli=\"true\" ramp=\"false\"";
std::string standFull(const char* id, const char* extra = "")
{
    return std::string("id=\"") + id + "\" latitude=\"52.300000\" longitude=\"4.760000\" heading=\"28.6\" " +
           "radius=\"30.0\" cargo=\"" + (id[0] == 'C' ? "true" : "false") + "\" ramp=\"true\"" + extra;
}

TEST_F(AirportFileTest, GoldenFiles)
{
    const std::string generated = "<parameters>\n"
                                  "\t<parameter name=\"airport_name\" value=\"Schiphol\" />\n"
                                  "\t<parameter name=\"publisher\" value=\"stock\" />\n"
                                  "\t<parameter name=\"altitude\" value=\"-11\" />\n"
                                  "\t<parameter name=\"num_parkpos\" value=\"5\" />\n"
                                  "</parameters>\n<parkpositions>\n"
                                  "\t<parkpos " + a1Full + " />\n\t<parkpos " + h1Full + " />\n"
                                  "\t<parkpos " + standFull("M1", " manual=\"true\"") + " />\n"
                                  "\t<parkpos " + standFull("R1") + " />\n\t<parkpos " + standFull("C1") + " />\n"
                                  "</parkpositions>\n";
    EXPECT_EQ(saved(false, false), generated);

    const std::string learned = "<parameters>\n"
                                "\t<parameter name=\"airport_name\" value=\"Schiphol\" />\n"
                                "\t<parameter name=\"publisher\" value=\"stock\" />\n"
                                "\t<parameter name=\"num_parkpos\" value=\"5\" />\n" + settings + learnSoft +
                                "</parameters>\n<parkpositions>\n"
                                "\t<parkpos id=\"A1\">\n" + a1Options + "\t</parkpos>\n"
                                "\t<parkpos id=\"H1\" />\n"
                                "\t<parkpos " + standFull("M1", " manual=\"true\"") + ">\n"
                                "\t\t<opt reg=\"\" airl=\"\" type=\"\" day=\"2\" hh=\"0\" />\n\t</parkpos>\n"
                                "\t<parkpos id=\"R1\" radius_change=\"true\" radius=\"30.0\" />\n"
                                "\t<parkpos id=\"C1\" cargo_change=\"true\" cargo=\"true\" />\n"
                                "</parkpositions>\n";
    EXPECT_EQ(saved(true, false), learned);

    MAX_LIVE.set(250);
    const std::string handmade = "<parameters>\n"
                                 "\t<parameter name=\"airport_name\" value=\"Schiphol\" />\n"
                                 "\t<parameter name=\"publisher\" value=\"stock\" />\n"
                                 "\t<parameter name=\"handmade\" value=\"true\" />\n"
                                 "\t<parameter name=\"altitude\" value=\"-11\" />\n"
                                 "\t<parameter name=\"num_parkpos\" value=\"5\" />\n"
                                 "\t<parameter name=\"Qf_real\" value=\"62\" />\n"
                                 "\t<parameter name=\"Qf_soft\" value=\"3\" />\n" + settings +
                                 "\t<parameter name=\"MAX_LIVE\" value=\"250\" />\n" + learnSoft +
                                 "</parameters>\n<parkpositions>\n"
                                 "\t<parkpos " + a1Full + ">\n" + a1Options + "\t</parkpos>\n"
                                 "\t<parkpos " + h1Full + " />\n"
                                 "\t<parkpos " + standFull("M1", " manual=\"true\"") + ">\n"
                                 "\t\t<opt reg=\"\" airl=\"\" type=\"\" day=\"2\" hh=\"0\" />\n\t</parkpos>\n"
                                 "\t<parkpos " + standFull("R1") + " />\n\t<parkpos " + standFull("C1") + " />\n"
                                 "</parkpositions>\n";
    EXPECT_EQ(saved(true, true), handmade);
}

TEST_F(AirportFileTest, UnknownPublisherCarriesItsSource)
{
    data.publisher = "unknown";
    data.bglPath = "C:\\Community\\x\\scenery.bgl";
    data.manufacturer = "A & B";
    data.stands.clear();
    const std::string unknown = "\t<parameter name=\"BGLpath\" value=\"C:\\Community\\x\\scenery.bgl\" />\n"
                                "\t<parameter name=\"manufacturer\" value=\"A &amp; B\" />\n"
                                "\t<parameter name=\"creator\" value=\"\" />\n";
    EXPECT_EQ(saved(false, false), "<parameters>\n"
                                   "\t<parameter name=\"airport_name\" value=\"Schiphol\" />\n"
                                   "\t<parameter name=\"publisher\" value=\"unknown\" />\n"
                                   "\t<parameter name=\"altitude\" value=\"-11\" />\n"
                                   "\t<parameter name=\"num_parkpos\" value=\"0\" />\n" + unknown +
                                   "</parameters>\n<parkpositions />\n");
    EXPECT_NE(saved(true, false).find("\"num_parkpos\" value=\"0\" />\n" + unknown + settings), std::string::npos);
}

TEST_F(AirportFileTest, FailedSaveKeepsTheOldFile)
{
    // Too long a name for the temporary file beside it, so the save fails.
    const auto path = install / (std::string(246, 'E') + ".xml");
    const std::string old = "old content\r\n\x01";
    test::writeFile(path, old);
    EXPECT_FALSE(saveAirportFile(data, path, true, false));
    EXPECT_EQ(readFile(path), old);
    EXPECT_FALSE(saveAirportFile(data, install / "missing" / "EHAM.xml", false, false));
}

TEST(ParkingPositionTest, ConstructorKeepsNauticalMiles)
{
    const ParkingPosition position("A1", {}, 1.0, 2.0, 3.0, 1852.0, true, false, true);
    EXPECT_DOUBLE_EQ(position.radius, 1.0);
    EXPECT_EQ(position.standId, 0u);
    EXPECT_GE(position.neighbours.capacity(), 8u);
}

} // namespace
} // namespace rtd
