#include "airports/airport_support.hpp"

#include "airports/files/park_airport_file.hpp"
#include "airports/parking/park_airport_state.hpp"
#include "airports/traffic_port.hpp"
#include "core/display.hpp"
#include "core/exceptions.hpp"
#include "core/parameters.hpp"
#include "core/settings_file.hpp"
#include "dbase_support.hpp"
#include "fixtures/airport_fixture.hpp"
#include "liveries/dbase.hpp"

#include <gmock/gmock.h>
#include <atomic>
#include <cmath>
#include <map>
#include <optional>
#include <thread>

namespace rtd {
namespace {

namespace fs = std::filesystem;
using fixtures::FixtureAirportFile;
using fixtures::FixtureStand;
using ::testing::HasSubstr;
using ::testing::Not;

class RecordingDisplay : public WindowDisplay {
public:
    void enableControl(std::uint16_t id, bool on) override { enabled[id] = on; }
    std::int32_t savedLateralRange() override { return saved; }
    void setSavedLateralRange(std::int32_t nm) override { saved = nm; }

    std::map<std::uint16_t, bool> enabled;
    std::int32_t saved = 0;
};

class RecordingPort : public TrafficPort {
public:
    void setParkAirport(std::string_view code, LatLon) override { icao = code; }
    void setParkElevation(std::optional<double> feet) override { elevation = feet; }

    std::string icao;
    std::optional<double> elevation;
};

FixtureStand stand(std::string id, double lat, double lon, std::vector<std::string> options = {},
                   std::string attributes = {}, double radiusMetres = 40.0)
{
    return FixtureStand{std::move(id), lat, lon, 90.0, radiusMetres, std::move(options), std::move(attributes)};
}

// A learned file's stand of the base file: its name, attributes and options only.
FixtureStand named(std::string id, std::vector<std::string> options, std::string attributes = {})
{
    return stand(std::move(id), std::nan(""), 0, std::move(options), std::move(attributes));
}

FixtureAirportFile baseFile(std::vector<FixtureStand> stands, std::string publisher = "stock")
{
    return {{{"airport_name", "Schiphol"}, {"publisher", std::move(publisher)}, {"altitude", "-11"}},
            std::move(stands)};
}

// A learned file: the airport's name and the given parameters and stands.
FixtureAirportFile learnedFile(std::vector<FixtureStand> stands,
                               std::vector<std::pair<std::string, std::string>> parameters = {})
{
    parameters.insert(parameters.begin(), {"airport_name", "Schiphol"});
    return {std::move(parameters), std::move(stands)};
}

// The park airport EHAM; the model database knows PH-BXA (KLM's, operated by TRA).
class ParkAirportFileTest : public test::AirportFolderTest {
protected:
    ParkAirportFileTest()
    {
        test::writeFile(install / "input" / "dbase.xml",
                        test::requiredSections() + "<dbase>" + test::dbRow("PH-BXA", "KLM", "B738", "TRA") +
                            "</dbase>\n");
        readDbase();
        setWindowDisplay(&display);
        installTrafficPort(&port);
        resetPark("EHAM");
    }
    ~ParkAirportFileTest() override
    {
        resetPark("");
        installTrafficPort(nullptr);
        setWindowDisplay(nullptr);
        setLateralRange(LATERAL_RANGE.defaultValue());
        for (GuiBoolParameter* flag : {&AUTO_RANGE, &PARK_FAKE, &WEEK, &PARK_SOFT, &LEARN_SOFT, &INITIAL_LOAD_ONLY})
            flag->set(flag->defaultValue());
        for (IntParameter* number : {static_cast<IntParameter*>(&parking_percentage),
                                     static_cast<IntParameter*>(&MAX_LIVE), static_cast<IntParameter*>(&MAX_FIT),
                                     &CUSTOM_PARKING_PERCENTAGE})
            number->set(number->defaultValue());
    }

    static void resetPark(std::string icao)
    {
        parkAirport.stands.clear();
        parkAirport.icao = std::move(icao);
        parkAirport.learnedPath.clear();
        parkAirport.filePath.clear();
        parkAirport.handmade = false;
        parkAirport.learnedUpdateCount = 0;
        parkAirport.active = false;
        parkAirport.changed = false;
    }

    void write(const fs::path& relative, const FixtureAirportFile& file)
    {
        writeText(relative, fixtures::airportFileXml(file));
    }
    void writeText(const fs::path& relative, const std::string& text)
    {
        fs::create_directories((install / relative).parent_path());
        test::writeFile(install / relative, text);
    }

    std::string read(const fs::path& path = base)
    {
        parkAirport.stands.clear();
        QualityFactors factors;
        return gf_readApf(path, factors);
    }

    const ParkingPosition* find(std::string_view name) const
    {
        for (const ParkingPosition& s : parkAirport.stands)
            if (s.name == name)
                return &s;
        return nullptr;
    }

    static inline const fs::path base = fs::path("airports") / "archive" / "stock" / "EHAM.xml";
    static inline const fs::path learned = fs::path("airports") / "learned" / "stock" / "EHAM.xml";
    RecordingDisplay display;
    RecordingPort port;
};

// ---- reading --------------------------------------------------------------------------------

TEST_F(ParkAirportFileTest, ReadOutcomes)
{
    FixtureAirportFile noAltitude = baseFile({stand("A1", 52.3, 4.76)});
    noAltitude.parameters.pop_back();
    const std::string good = fixtures::airportFileXml(baseFile({stand("A1", 52.3, 4.76)}));
    const std::string withoutMeta = good.substr(0, good.find("<meta>")) + good.substr(good.find("</meta>") + 8);
    const std::string path = base.string();
    struct Row {
        const char* name;
        std::string text;
        std::string result; // or the user error's text
        bool throws;
        std::size_t stands;
        bool active;
    };
    const Row rows[] = {
        {"no altitude", fixtures::airportFileXml(noAltitude), "65: Parameter altitude not found", true, 0, false},
        {"name twice", fixtures::airportFileXml(baseFile({stand("A1", 52.3, 4.76), stand("A1", 52.31, 4.76)})),
         "94: Parking position A1 appears more than once?", true, 1, false},
        {"nameless twice", fixtures::airportFileXml(baseFile({stand("", 52.3, 4.76), stand("", 52.31, 4.76)})),
         "94: Parking position  appears more than once?", true, 1, false},
        {"no stands", fixtures::airportFileXml(baseFile({})), "no stands found", false, 0, true},
        {"no meta", withoutMeta, path + " found but refused to load, copyright problem", false, 0, false},
        {"not well-formed", good.substr(0, 200), path + " found, but could not be loaded: ", false, 0, false},
        {"good", good, "", false, 1, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        resetPark("EHAM");
        writeText(base, row.text);
        std::string outcome;
        try {
            outcome = read();
            EXPECT_FALSE(row.throws);
        } catch (const UserErrorException& error) {
            outcome = error.what();
            EXPECT_TRUE(row.throws);
        }
        EXPECT_THAT(outcome, ::testing::StartsWith(row.result));
        EXPECT_EQ(parkAirport.stands.size(), row.stands);
        EXPECT_EQ(parkAirport.active.load(), row.active);
        EXPECT_EQ(port.elevation, row.active ? std::optional<double>(-11.0) : std::nullopt);
        port.elevation.reset();
    }
    EXPECT_TRUE(display.enabled[flushStaticButton.controlId()]);
    EXPECT_EQ(read(fs::path("airports") / "none.xml").find("airports"), 0u);
    resetPark("");
    EXPECT_EQ(read(), "gf_readApf, no park airport set");
}

TEST_F(ParkAirportFileTest, OptionsSkipTowingAndTakeTheOperator)
{
    write(base, baseFile({stand("A1", 52.3, 4.76,
                                {R"(reg="G-ABCD" airl="BAW" type="A320" day="1" hh="2" cs="BAW1:BAW2")",
                                 R"(reg="X" cs="TOW 12")", R"(reg="PH-BXA" airl="EZY" type="A319" cs="A:B:C")",
                                 R"(reg="Y" airl="DLH" soft="yes" day="7" hh="0,47")"})}));
    ASSERT_EQ(read(), "");
    struct Row {
        const char* airline;
        const char* type;
        const char* callsign;
        const char* coupled;
        std::uint32_t number;
        std::uint32_t day;
        std::uint64_t halfHours;
        bool soft;
    };
    const Row rows[] = {
        {"BAW", "A320", "BAW1", "BAW2", 1, 1, 1u << 2, false},
        {"TRA", "B738", "A", "", 2, 0, 0, false},
        {"DLH", "", "", "", 3, 7, 1 | (1ull << 47), true},
    };
    const std::vector<StandOption>& options = parkAirport.stands.at(0).options;
    ASSERT_EQ(options.size(), std::size(rows));
    for (std::size_t i = 0; i < options.size(); ++i) {
        const Row& row = rows[i];
        const StandOption& o = options[i];
        EXPECT_EQ(std::tie(o.airline, o.type, o.callsign, o.coupledCallsign),
                  std::make_tuple(row.airline, row.type, row.callsign, row.coupled));
        EXPECT_EQ(std::tie(o.number, o.day, o.halfHours, o.soft, o.learned),
                  std::make_tuple(row.number, row.day, row.halfHours, row.soft, false));
    }
}

TEST_F(ParkAirportFileTest, NeighboursOverlapBothWays)
{
    const double apart = 60.0 / 1852.0 / 60.0; // degrees of latitude
    struct Row {
        double radiusMetres;
        std::vector<std::uint32_t> ofFirst;
        std::vector<std::uint32_t> ofSecond;
    };
    const Row rows[] = {{30.0, {}, {}}, {35.0, {2}, {1}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.radiusMetres);
        write(base, baseFile({stand("A1", 52.3, 4.76, {}, {}, row.radiusMetres),
                              stand("A2", 52.3 + apart, 4.76, {}, {}, row.radiusMetres),
                              stand("F1", 52.4, 4.76, {}, {}, row.radiusMetres)}));
        ASSERT_EQ(read(), "");
        EXPECT_EQ(parkAirport.stands[0].neighbours, row.ofFirst);
        EXPECT_EQ(parkAirport.stands[1].neighbours, row.ofSecond);
        EXPECT_EQ(parkAirport.stands[2].standId, 3u);
        EXPECT_TRUE(parkAirport.stands[2].neighbours.empty());
    }
}

TEST_F(ParkAirportFileTest, ParkingPercentageWithoutLearnedFile)
{
    write(base, baseFile({stand("A1", 52.3, 4.76)}));
    const std::pair<std::int32_t, std::int32_t> rows[] = {{-1, 30}, {55, 55}};
    for (const auto& [custom, expected] : rows) {
        parking_percentage.set(70);
        CUSTOM_PARKING_PERCENTAGE.set(custom);
        ASSERT_EQ(read(), "");
        EXPECT_EQ(parking_percentage.value(), expected);
        EXPECT_FALSE(display.enabled.at(parking_percentage.controlId()));
    }
}

TEST_F(ParkAirportFileTest, GateCheck)
{
    write(base, baseFile({stand("A1", 52.3, 4.76)}));
    EXPECT_TRUE(gf_readApfForGateCheck("EHAM", "A1"));
    EXPECT_FALSE(gf_readApfForGateCheck("EHAM", "A"));
    EXPECT_FALSE(gf_readApfForGateCheck("ZZZZ", "A1"));
}

// ---- merging --------------------------------------------------------------------------------

constexpr const char* baseOption = R"(reg="D-ABCD" airl="DLH" type="A320" day="1" hh="16,17")";

TEST_F(ParkAirportFileTest, MergeRules)
{
    write(base, baseFile({stand("A1", 52.3, 4.76, {baseOption}), stand("B1", 52.301, 4.76)}));
    write(learned,
          learnedFile({named("A1",
                             {R"(reg="D-ABCD" airl="DLH" type="A320" day="1" hh="17,30")",
                              R"(reg="D-ABCD" airl="DLH" type="A320" day="2" hh="17")"}),
                       stand("B1", 52.301, 4.76, {}, R"(manual="true")"),
                       stand("M0", 0.0005, 0.01, {}, R"(manual="true")"),
                       stand("M1", 52.302, 4.76, {R"(reg="Q" day="3" hh="1")", R"(cs="TOW 1" day="3")"},
                             R"(manual="true")"),
                       stand("M1", 52.303, 4.76, {}, R"(manual="true")"), stand("Z9", 52.3, 4.76),
                       named("B1", {}, R"(radius_change="true")")}));
    ASSERT_EQ(read(), "");
    struct Row {
        const char* name;
        std::size_t options;
        std::uint32_t lastNumber;
        double radius;
        bool manual;
    };
    const Row rows[] = {{"A1", 2, 2, 40.0 * metresToNm, false}, {"B1", 0, 0, 0.0, false}, {"M1", 2, 2, 40.0 * metresToNm, true}};
    ASSERT_EQ(parkAirport.stands.size(), std::size(rows));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const ParkingPosition* s = find(row.name);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->options.size(), row.options);
        EXPECT_EQ(s->options.empty() ? 0u : s->options.back().number, row.lastNumber);
        EXPECT_NEAR(s->radius, row.radius, 1e-9);
        EXPECT_EQ(s->manual, row.manual);
    }
    EXPECT_FALSE(find("A1")->options[0].learned);
    EXPECT_TRUE(find("A1")->options[1].learned);
    EXPECT_TRUE(find("B1")->radiusChange);
    EXPECT_EQ(find("M1")->latitude, 52.302);
    const std::string log = logText();
    for (const char* line : {"manually created standid B1 already exists in", "manually created standid M0 misses "
                                                                                "correct attributes in",
                             "manually created standid M1 already exists in", "learned stand Z9 in "})
        EXPECT_THAT(log, HasSubstr(line));
}

TEST_F(ParkAirportFileTest, HandmadeReplacesTheStandsWhateverItsValue)
{
    write(base, baseFile({stand("A1", 52.3, 4.76, {baseOption})}));
    write(learned, learnedFile({stand("H1", 52.31, 4.77, {baseOption})}, {{"handmade", "false"}}));
    ASSERT_EQ(read(), "");
    ASSERT_EQ(parkAirport.stands.size(), 1u);
    EXPECT_EQ(parkAirport.stands[0].name, "H1");
    EXPECT_TRUE(parkAirport.handmade);
    EXPECT_TRUE(mainWindowGlobals.handmadeFlag);
    EXPECT_THAT(logText(), HasSubstr("Airport file read from \"" + learned.string()));
}

TEST_F(ParkAirportFileTest, SettingsStayButParkingPercentageIsSetAnew)
{
    write(base, baseFile({stand("A1", 52.3, 4.76)}));
    write(learned, learnedFile({}, {{"LATERAL_RANGE", "20"}, {"parking_percentage", "150"}, {"MAX_LIVE", "50"}}));
    ASSERT_EQ(read(), "");
    EXPECT_EQ(std::make_tuple(LATERAL_RANGE.value(), parking_percentage.value(), MAX_LIVE.value()),
              std::make_tuple(20, 150, 50));
    closeParkAirport();

    parkAirport.icao = "EGLL";
    const fs::path other = fs::path("airports") / "archive" / "stock" / "EGLL.xml";
    write(other, baseFile({stand("A1", 52.3, 4.76)}));
    ASSERT_EQ(read(other), "");
    EXPECT_EQ(std::make_tuple(LATERAL_RANGE.value(), parking_percentage.value()), std::make_tuple(20, 30));
}

TEST_F(ParkAirportFileTest, AutoRangeKeepsTheSavedRange)
{
    write(base, baseFile({stand("A1", 52.3, 4.76)}));
    const std::tuple<const char*, std::int32_t, std::int32_t> rows[] = {{"true", 25, 25}, {"false", 25, 12}};
    for (const auto& [autoRange, range, expected] : rows) {
        display.saved = 12;
        write(learned, learnedFile({}, {{"LATERAL_RANGE", std::to_string(range)}, {"AUTO_RANGE", autoRange}}));
        ASSERT_EQ(read(), "");
        EXPECT_EQ(LATERAL_RANGE.value(), expected);
        EXPECT_EQ(display.enabled.at(LATERAL_RANGE.controlId()), std::string_view(autoRange) == "false");
    }
    EXPECT_EQ(display.saved, 12); // taken from the last "true" row and kept since
}

TEST_F(ParkAirportFileTest, BrokenLearnedFileIsCopiedAndTheBaseKept)
{
    write(base, baseFile({stand("A1", 52.3, 4.76, {baseOption})}));
    const std::string broken = "<parameters><parameter name=\"LATERAL_RANGE\" value=\"20\"";
    writeText(learned, broken);
    ASSERT_EQ(read(), "");
    EXPECT_EQ(test::readFile(install / learned.parent_path() / "EHAM0.xml"), broken);
    EXPECT_EQ(parkAirport.stands.at(0).options.size(), 1u);
    EXPECT_EQ(LATERAL_RANGE.value(), LATERAL_RANGE.defaultValue());
    EXPECT_THAT(logText(), HasSubstr("found, but could not be loaded, saved as *.0.xml: "));
}

TEST_F(ParkAirportFileTest, UnmergedLearnedFileIsKeptBeforeASaveReplacesIt)
{
    write(base, baseFile({stand("A1", 52.3, 4.76, {baseOption})}));
    const std::string dateLine = "\t<info name=\"date\" value=\"2026-01-01\" />\n";
    std::string noDate = fixtures::airportFileXml(learnedFile({named("A1", {baseOption})}));
    noDate.erase(noDate.find(dateLine), dateLine.size());
    const std::string twice = fixtures::airportFileXml(
        learnedFile({stand("H1", 52.31, 4.77), stand("H2", 52.32, 4.77), stand("H1", 52.33, 4.77),
                     stand("H3", 52.34, 4.77), stand("H4", 52.35, 4.77)},
                    {{"handmade", "true"}}));
    const std::string unknownStand = fixtures::airportFileXml(learnedFile({named("Z9", {baseOption})}));
    const fs::path aside = install / learned.parent_path() / "EHAM0.xml";
    const std::tuple<const char*, std::string, bool> rows[] = {
        {"meta without date", noDate, true}, {"handmade name twice", twice, true}, {"unknown stand", unknownStand, false}};
    for (const auto& [name, text, kept] : rows) {
        SCOPED_TRACE(name);
        fs::remove(aside);
        writeText(learned, text);
        ASSERT_EQ(read(), "");
        for (int save = 0; save < 2; ++save) { // the second save keeps the first copy
            parkAirport.changed = true;
            EXPECT_TRUE(saveLearnedAirportFile());
        }
        EXPECT_EQ(fs::exists(aside), kept);
        if (kept) {
            EXPECT_EQ(test::readFile(aside), text);
        }
    }
    EXPECT_THAT(logText(), HasSubstr(learned.string() + " was not merged whole, saved as "));
}

// ---- saving ---------------------------------------------------------------------------------

TEST_F(ParkAirportFileTest, SaveWritesOnlyWhatWasLearned)
{
    write(base, baseFile({stand("A1", 52.3, 4.76, {baseOption}), stand("B1", 52.301, 4.76),
                          stand("C1", 52.302, 4.76), stand("D1", 52.303, 4.76)}));
    write(learned, learnedFile({named("A1", {R"(reg="N1" airl="UAL" type="B77W" day="3" hh="5")"}),
                                stand("M1", 52.31, 4.76, {}, R"(manual="true")"),
                                named("B1", {}, R"(radius_change="true" radius="20")")}));
    ASSERT_EQ(read(), "");
    StandOption invented{"KLM", "B738", "PH-X", "", "", 1, 1, 1, true};
    invented.fake = true;
    parkAirport.stands[2].options.push_back(invented);
    StandOption suppressed = invented;
    suppressed.fake = false;
    suppressed.suppressed = true;
    parkAirport.stands[3].options.push_back(suppressed);
    ASSERT_TRUE(saveLearnedAirportFile());

    const std::string file = test::readText(install / learned);
    struct Row {
        const char* text;
        bool present;
    };
    const Row rows[] = {{R"(<parkpos id="A1">)", true},   {R"(reg="N1")", true},
                        {R"(reg="D-ABCD")", false},       {R"(id="M1")", true},
                        {R"(<parkpos id="B1" radius_change="true" radius="20.0")", true},
                        {R"(id="C1")", false},            {R"(reg="PH-X")", true},
                        {R"(id="D1")", true},             {R"(name="num_parkpos" value="4")", true}};
    for (const Row& row : rows)
        EXPECT_EQ(file.find(row.text) != std::string::npos, row.present) << row.text;
    EXPECT_EQ(file.find(R"(reg="PH-X")"), file.rfind(R"(reg="PH-X")")); // the suppressed one only
}

TEST_F(ParkAirportFileTest, InventedAircraftAreNeitherSavedNorRated)
{
    // Without wingspans every type fits a stand of 5 m.
    write(base, baseFile({stand("A1", 52.3, 4.76, {baseOption}, {}, 5), stand("B1", 52.301, 4.76, {}, {}, 5)}));
    write(learned, learnedFile({named("A1", {R"(reg="N1" airl="UAL" type="B77W" day="3" hh="5")"})}));
    QualityFactors factors[2];
    std::size_t invented[2] = {};
    for (const bool fake : {false, true}) {
        PARK_FAKE.set(fake);
        parkAirport.stands.clear();
        ASSERT_EQ(gf_readApf(base, factors[fake]), "");
        for (const ParkingPosition& s : parkAirport.stands)
            invented[fake] += static_cast<std::size_t>(std::count_if(
                s.options.begin(), s.options.end(), [](const StandOption& o) { return o.registration.starts_with("REGFAKE"); }));
    }
    EXPECT_EQ(invented[0], 0u);
    EXPECT_EQ(invented[1], 2u);
    EXPECT_EQ(factors[1], factors[0]);
    EXPECT_EQ(computeQualityFactors(parkAirport.stands), factors[0]);
    ASSERT_TRUE(saveLearnedAirportFile());
    const std::string file = test::readText(install / learned);
    EXPECT_THAT(file, HasSubstr(R"(reg="N1")"));
    EXPECT_THAT(file, Not(HasSubstr("REGFAKE")));
}

TEST_F(ParkAirportFileTest, SavedMessage)
{
    write(base, baseFile({stand("A1", 52.3, 4.76)}));
    struct Row {
        std::int32_t count;
        bool changed;
        const char* tail;
    };
    const Row rows[] = {{1, false, " saved with 1 update \n"},
                        {0, true, " saved with 0 updates and one or more parameter changes\n"},
                        {2, false, " saved with 2 updates \n"}};
    for (const Row& row : rows) {
        ASSERT_EQ(read(), "");
        parkAirport.learnedUpdateCount = row.count;
        parkAirport.changed = row.changed;
        EXPECT_TRUE(saveLearnedAirportFile());
        EXPECT_THAT(logText(), HasSubstr("\"" + learned.string() + "\"" + row.tail));
        EXPECT_EQ(parkAirport.learnedUpdateCount, 0);
        EXPECT_FALSE(parkAirport.changed);
    }
}

TEST_F(ParkAirportFileTest, LearnedFileFolders)
{
    const fs::path thirdparty = fs::path("airports") / "my_thirdparty" / "EHAM.xml";
    const fs::path elsewhere = fs::path("elsewhere") / "EHAM.xml";
    struct Row {
        fs::path base;
        const char* publisher;
        fs::path learned;
    };
    const Row rows[] = {
        {thirdparty, "NewPub", fs::path("airports") / "learned" / "thirdparty" / "NewPub" / "EHAM.xml"},
        {elsewhere, "stock", learned}, // never beside or over the base file
        {elsewhere, "Other", fs::path("airports") / "learned" / "thirdparty" / "Other" / "EHAM.xml"},
        // A link's target: climbing back into the tree, or in another tree.
        {fs::path("airports") / "archive" / ".." / "archive" / "stock" / "EHAM.xml", "stock", learned},
        {install / "other" / "airports" / "archive" / "stock" / "EHAM.xml", "stock", learned},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.publisher);
        write(row.base, baseFile({stand("A1", 52.3, 4.76)}, row.publisher));
        const std::string before = test::readFile(install / row.base);
        ASSERT_EQ(read(row.base), "");
        EXPECT_EQ(parkAirport.learnedPath, row.learned);
        parkAirport.changed = true;
        EXPECT_TRUE(saveLearnedAirportFile());
        EXPECT_TRUE(fs::exists(install / row.learned));
        EXPECT_EQ(test::readFile(install / row.base), before);
        fs::remove(install / row.learned);
    }
}

TEST_F(ParkAirportFileTest, ReadSaveReadGivesTheSameStands)
{
    write(base, baseFile({stand("A1", 52.3, 4.76, {baseOption}), stand("B1", 52.301, 4.76)}));
    write(learned, learnedFile({named("A1", {R"(reg="N1" airl="UAL" type="B77W" day="3" hh="5,6" cs="U1:U2")"}),
                                stand("M1", 52.31, 4.76, {R"(reg="PH-BXA" day="2" soft="true" hh="9")"},
                                      R"(manual="true")"),
                                named("B1", {}, R"(radius_change="true" radius="20")")}));
    ASSERT_EQ(read(), "");
    const std::vector<ParkingPosition> first = parkAirport.stands;
    ASSERT_TRUE(saveLearnedAirportFile());
    ASSERT_EQ(read(), "");
    ASSERT_EQ(parkAirport.stands.size(), first.size());
    for (std::size_t i = 0; i < first.size(); ++i) {
        const ParkingPosition& a = first[i];
        const ParkingPosition& b = parkAirport.stands[i];
        EXPECT_EQ(std::tie(a.name, a.options, a.manual, a.radiusChange, a.neighbours),
                  std::tie(b.name, b.options, b.manual, b.radiusChange, b.neighbours));
        EXPECT_NEAR(a.radius, b.radius, 1e-6);
    }
}

TEST_F(ParkAirportFileTest, ASaveRemovesTheTemporariesAKilledSaveLeftOfItsFile)
{
    write(base, baseFile({stand("A1", 52.3, 4.76)}));
    ASSERT_EQ(read(), "");
    const fs::path folder = install / learned.parent_path();
    for (const char* name : {"EHAM.xml.0.tmp", "EHAM.xml.41.tmp", "EHAM0.xml.1.tmp", "EHAM.xml.a1.tmp"})
        writeText(learned.parent_path() / name, "<parameters/>");
    parkAirport.changed = true;
    ASSERT_TRUE(saveLearnedAirportFile());
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(folder))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"EHAM.xml", "EHAM.xml.a1.tmp", "EHAM0.xml.1.tmp"}));
    EXPECT_THAT(logText(), HasSubstr("2 leftover temporary files of " + learned.string() + " removed\n"));
}

TEST_F(ParkAirportFileTest, SavesOfOneFileOnTwoThreadsLeaveEachOthersTemporaries)
{
    write(base, baseFile({stand("A1", 52.3, 4.76)}));
    ASSERT_EQ(read(), "");
    const fs::path leftover = learned.parent_path() / "EHAM.xml.7.tmp";
    writeText(leftover, "<parameters/>");
    const LearnedFileSource source = learnedFileSource();
    std::atomic<int> saved{0};
    const auto saveInLoop = [&] {
        for (int i = 0; i < 40; ++i)
            saved += saveLearnedAirportFile(source) ? 1 : 0;
    };
    {
        const std::jthread first(saveInLoop);
        const std::jthread second(saveInLoop);
    }
    EXPECT_EQ(saved, 80);
    EXPECT_FALSE(fs::exists(install / leftover));
    const std::string log = logText();
    EXPECT_THAT(log, HasSubstr("1 leftover temporary file of " + learned.string() + " removed\n"));
    EXPECT_EQ(log.find("leftover temporary"), log.rfind("leftover temporary")) << "only the leftover goes";
}

TEST_F(ParkAirportFileTest, FailedSaveKeepsTheOldFile)
{
    write(base, baseFile({stand("A1", 52.3, 4.76)}));
    ASSERT_EQ(read(), "");
    // A name so long that no temporary file can be made beside it.
    parkAirport.learnedPath = learned.parent_path() / (std::string(248, 'L') + ".xml");
    writeText(parkAirport.learnedPath, "old");
    if (!fs::exists(install / parkAirport.learnedPath))
        GTEST_SKIP() << "the file system takes no name of 252 characters";
    parkAirport.learnedUpdateCount = 3;
    EXPECT_FALSE(saveLearnedAirportFile());
    EXPECT_EQ(test::readFile(install / parkAirport.learnedPath), "old");
    EXPECT_EQ(parkAirport.learnedUpdateCount, 0);
    EXPECT_THAT(logText(), HasSubstr("\" did not succeed"));
}

TEST_F(ParkAirportFileTest, CloseSavesOnlyWhatChanged)
{
    write(base, baseFile({stand("A1", 52.3, 4.76)}));
    struct Row {
        bool active;
        bool changed;
        std::int32_t count;
        bool saved;
    };
    const Row rows[] = {{false, true, 1, false}, {true, false, 0, false}, {true, true, 0, true}, {true, false, 1, true}};
    for (const Row& row : rows) {
        ASSERT_EQ(read(), "");
        parkAirport.active = row.active;
        parkAirport.changed = row.changed;
        parkAirport.learnedUpdateCount = row.count;
        fs::remove(install / learned);
        closeParkAirport();
        EXPECT_EQ(fs::exists(install / learned), row.saved);
        EXPECT_FALSE(parkAirport.active);
        EXPECT_TRUE(parkAirport.filePath.empty());
        EXPECT_EQ(port.elevation, std::nullopt);
        EXPECT_FALSE(display.enabled.at(flushStaticButton.controlId()));
    }
}

} // namespace
} // namespace rtd
