#include "airports/airport_support.hpp"
#include "airports/fake_traffic_port.hpp"

#include "airports/database/airport_folders.hpp"
#include "airports/parking/park_airport_state.hpp"
#include "airports/parking/park_airports.hpp"
#include "airports/parking/static_parking.hpp"
#include "airports/parking/stands.hpp"
#include "core/display.hpp"
#include "fixtures/airport_fixture.hpp"
#include "platform/platform.hpp"

#include <gtest/gtest.h>
#include <fmt/format.h>
#include <atomic>
#include <optional>
#include <thread>

namespace rtd {
namespace {

namespace fs = std::filesystem;
using fixtures::FixtureAirportFile;
using fixtures::FixtureStand;

FixtureAirportFile airportFile(std::vector<FixtureStand> stands, bool withAltitude = true)
{
    FixtureAirportFile file{{{"airport_name", "Test field"}, {"publisher", "stock"}}, std::move(stands)};
    if (withAltitude)
        file.parameters.emplace_back("altitude", "100");
    return file;
}

FixtureStand stand(std::string id, double lat, double lon)
{
    return FixtureStand{std::move(id), lat, lon, 90.0, 30.0, {}, {}};
}

// A small airport world: AAAA and BBBB 11.6 nm apart with files, CCCC without a file, DDDD
// with a file that lacks its altitude; my_thirdparty holds BBBB and an unknown ZZZZ.
class ParkAirportsTest : public test::AirportFolderTest {
protected:
    ParkAirportsTest()
    {
        test::writeFile(install / "input" / "airports_msfs.xml",
                        "<airports>\n"
                        "<airport code=\"AAAA\" iata=\"AAA\" lat=\"50.0\" lon=\"8.0\" alt=\"100\"/>\n"
                        "<airport code=\"BBBB\" lat=\"50.0\" lon=\"8.3\" alt=\"100\"/>\n"
                        "<airport code=\"CCCC\" lat=\"10.0\" lon=\"10.0\" alt=\"0\"/>\n"
                        "<airport code=\"DDDD\" lat=\"30.0\" lon=\"30.0\" alt=\"0\"/>\n"
                        "</airports>\n");
        readAirports();
        writeFileAt(archiveStockFolder / "AAAA.xml",
                    fixtures::airportFileXml(airportFile({stand("S1", 50.0, 8.0), stand("S2", 50.0003, 8.0)})));
        writeFileAt(myThirdpartyFolder / "BBBB.xml", fixtures::airportFileXml(airportFile({stand("T1", 50.0, 8.3)})));
        writeFileAt(myThirdpartyFolder / "ZZZZ.xml", fixtures::airportFileXml(airportFile({})));
        writeFileAt(archiveStockFolder / "DDDD.xml", fixtures::airportFileXml(airportFile({stand("U1", 30, 30)}, false)));
        installTrafficPort(&port);
        resetParkAirportSight();
    }
    ~ParkAirportsTest() override
    {
        resetParkingState();
        resetParkAirportSight();
        reservedStandName.clear();
        installTrafficPort(nullptr);
    }

    void writeFileAt(const fs::path& relative, const std::string& text)
    {
        fs::create_directories((install / relative).parent_path());
        test::writeFile(install / relative, text);
    }
    void setList(const std::optional<std::string>& text)
    {
        if (text)
            writeFileAt(parkAirportsPath(), *text);
        else
            fs::remove(install / parkAirportsPath());
    }
    std::string listText()
    {
        std::string text;
        for (const ParkAirportEntry& entry : parkAirportList())
            text += entry.code + (entry.stand.empty() ? "" : "," + entry.stand) + " ";
        return text;
    }
    void fly(double lat, double lon, double altitudeFt, bool onGround)
    {
        port.setUser({{lat, lon}, altitudeFt, onGround, true});
    }

    test::FakeTrafficPort port;
};

TEST_F(ParkAirportsTest, ReadingTheList)
{
    struct Row {
        const char* name;
        std::optional<std::string> file;
        bool ok;
        std::string list; // nearest to AAAA first
        std::string logged;
    };
    const std::vector<Row> rows{
        {"airport and stand", "AAAA,S2\n", true, "AAAA,S2 BBBB ", "1 park airport read from \"my_park_airports.txt\""},
        {"unknown airport", "XXXX\nAAAA\n", false, "AAAA BBBB ", "airport XXXX is unknown"},
        {"double", "AAAA\nAAAA,S1\n", true, "AAAA BBBB ", "my_park_airports.txt:AAAA,S1 double, skipped"},
        {"wrong syntax", "AAAA,S1,x\n", true, "BBBB ", "===> my_park_airports.txt:AAAA,S1,x wrong syntax, skipped"},
        {"unknown stand still added", "AAAA,S9\n", false, "AAAA,S9 BBBB ", "AAAA stand S9 is unknown"},
        {"CR LF and empty lines", "BBBB,T1\r\n\r\n\nAAAA\r\n", true, "AAAA BBBB,T1 ", "2 park airports read"},
        {"missing file", std::nullopt, true, "BBBB ", "my_park_airports.txt not found"},
        {"folder airports", "CCCC\n", true, "BBBB CCCC ", "1 park airport added from \"airports/my_thirdparty\""},
    };
    fly(50.0, 8.0, 0, true);
    for (const Row& row : rows) {
        setList(row.file);
        EXPECT_EQ(readParkAirports(true), row.ok) << row.name;
        EXPECT_EQ(listText(), row.list) << row.name;
        EXPECT_NE(logText().find(row.logged), std::string::npos) << row.name;
        EXPECT_EQ(isParkAirportListed("AAAA"), row.list.starts_with("AAAA")) << row.name;
    }
}

TEST_F(ParkAirportsTest, InstallFolderAndFileNamesBeyondTheCodePage)
{
    const fs::path folder = install / platform::pathFromUtf8("Ramptide \xD0\x96\xE6\x97\xA5");
    fs::create_directory(folder);
    fs::copy(install / airportsFolder, folder / airportsFolder, fs::copy_options::recursive);
    const test::ScopedCurrentFolder inside(folder);
    test::writeFile(parkAirportsPath(), "AAAA,S2\n");
    test::writeFile(myThirdpartyFolder / platform::pathFromUtf8("\xD0\x96\xD0\x96\xD0\x96\xD0\x96.xml"), "");
    fly(50.0, 8.0, 0, true);
    EXPECT_TRUE(readParkAirports(true));
    EXPECT_EQ(listText(), "AAAA,S2 BBBB ");
}

TEST_F(ParkAirportsTest, ManyLinesAreReadWithAWarning)
{
    std::string text;
    for (int i = 0; i < 3001; ++i)
        text += i % 2 == 0 ? "AAAA\n" : "BBBB\n";
    setList(text);
    EXPECT_TRUE(readParkAirports(true));
    EXPECT_EQ(listText(), "AAAA BBBB ");
    std::string many = "<airports>\n";
    for (int i = 0; i < 3001; ++i)
        many += fmt::format("<airport code=\"Q{:03}\" lat=\"1\" lon=\"{}\" alt=\"0\"/>\n", i, i * 0.01);
    test::writeFile(install / "input" / "airports_msfs.xml", many + "</airports>\n");
    resetAirports();
    readAirports();
    text.clear();
    for (int i = 0; i < 3001; ++i)
        text += fmt::format("Q{:03}\n", i);
    setList(text);
    EXPECT_TRUE(readParkAirports(true));
    EXPECT_EQ(parkAirportList().size(), 3001u);
    EXPECT_NE(logText().find("Warning: There are a lot of airports (3001) in my_park_airports.txt"),
              std::string::npos);
}

TEST_F(ParkAirportsTest, WritingTheParkAirportsEntry)
{
    struct Row {
        const char* name;
        std::optional<std::string> before;
        std::string after;
        std::string logged;
        bool reserved; // the list's nearest entry is the park airport's
    };
    const std::vector<Row> rows{
        {"in place", "BBBB\nAAAA,S1\n", "AAAA,S2\nBBBB\n", "my_park_airports.txt:AAAA,S2 updated stand", true},
        {"appended: the park airport's entry, not the nearest", "CCCC\n", "AAAA,S2\nCCCC\n",
         "my_park_airports.txt:AAAA,S2 new entry", false},
        {"new", std::nullopt, "AAAA,S2\n", "my_park_airports.txt created with AAAA,S2", false},
        {"sorted, no duplicates", "CCCC\r\nBBBB\nBBBB\n\n", "AAAA,S2\nBBBB\nCCCC\n", "new entry", false},
    };
    for (const Row& row : rows) {
        setList(row.before);
        fly(50.0003, 8.0, 0, true); // at S2
        readParkAirports(true);
        ASSERT_TRUE(logParkAirport("AAAA"));
        EXPECT_EQ(refreshParkAirportControls(), "") << row.name;
        EXPECT_EQ(test::readText(install / parkAirportsPath()), row.after) << row.name;
        EXPECT_NE(logText().find(row.logged), std::string::npos) << row.name;
        EXPECT_EQ(mainWindowGlobals.reservedStandFound.load(), row.reserved) << row.name;
        resetParkingState();
    }
    EXPECT_FALSE(rememberParkAirportStand("S1")); // no park airport
}

TEST_F(ParkAirportsTest, ScriptedFlight)
{
    setList("AAAA\nBBBB\nDDDD\n");
    readParkAirports(true);
    constexpr double nm = 1.0 / 60.0; // of latitude
    struct Row {
        const char* name;
        double lat;
        double lon;
        double altitudeFt;
        bool onGround;
        std::string park;
        bool active;
        std::string logged;
    };
    const std::vector<Row> rows{
        {"not yet a position", 0, 0, 3000, false, "", false, ""},
        {"not yet a position either", 0.0005, 0.01, 3000, false, "", false, ""},
        {"20.0 nm: in sight", 50 + 19.9999999 * nm, 8, 3000, false, "AAAA", false, "AAAA in sight at 20.0 nm"},
        {"the file is read", 50 + 19.9999999 * nm, 8, 3000, false, "AAAA", true, "Airport file read"},
        {"still in sight", 50 + 19.9999999 * nm, 8, 3000, false, "AAAA", true, ""},
        {"20.1 nm: out of sight", 50 + 20.1 * nm, 8, 3000, false, "", false, "AAA) is out of sight (20.1 nm)"},
        {"1 nm but too high", 50 + nm, 8, 22001, false, "", false, ""},
        {"1 nm, low", 50 + nm, 8, 22000, false, "AAAA", false, ""},
        {"read again", 50 + nm, 8, 22000, false, "AAAA", true, ""},
        {"climbing out of sight", 50 + nm, 8, 22001, false, "", false, "is out of sight (1.0 nm)"},
        {"between the two", 50, 8.1, 3000, false, "AAAA", false, ""},
        {"read", 50, 8.1, 3000, false, "AAAA", true, ""},
        {"nearer to the second", 50, 8.2, 3000, false, "", false,
         "BBBB is in sight (3.9 nm), parked aircraft at AAAA (AAA) will be removed first"},
        {"the second is taken", 50, 8.2, 3000, false, "BBBB", false, "BBBB in sight at 3.9 nm"},
        {"and read", 50, 8.2, 3000, false, "BBBB", true, ""},
        {"away", 40, 8, 3000, false, "", false, ""},
        {"on the ground by an airport without a file", 10 + 4.9 * nm, 10, 0, true, "", false,
         "User aircraft on the ground at CCCC, no airport file found"},
        {"on the ground far away", 20, 20, 0, true, "", false, "User aircraft on the ground, no airport in sight"},
        {"on the ground at an airport with a file", 30, 30, 0, true, "DDDD", false, "User aircraft on the ground at DDDD"},
        {"its file lacks the altitude", 30, 30, 0, true, "", false, "65: Parameter altitude not found"},
    };
    for (const Row& row : rows) {
        fly(row.lat, row.lon, row.altitudeFt, row.onGround);
        onUserPositionChange(true);
        EXPECT_EQ(parkAirport.icao, row.park) << row.name;
        EXPECT_EQ(parkAirportActive.load(), row.active) << row.name;
        if (!row.logged.empty()) {
            EXPECT_NE(logText().find(row.logged), std::string::npos) << row.name;
        }
    }
    EXPECT_FALSE(port.busy);
    EXPECT_GE(port.collections, 4);
}

TEST_F(ParkAirportsTest, ReservedStandChangesOnReRead)
{
    setList("AAAA,S1\n");
    fly(50.01, 8.0, 0, true);
    readParkAirports(true);
    logParkAirport("AAAA");
    ASSERT_EQ(refreshParkAirportControls(), "");
    EXPECT_EQ(reservedStandName, "S1");
    setList("AAAA,S2\n");
    std::string text;
    EXPECT_TRUE(checkReservedStand(true, text));
    EXPECT_EQ(text, "reserved stand changed from \"S1\" to \"S2\"");
    EXPECT_EQ(port.removedAt, std::vector<std::string>{"S2"});
    EXPECT_TRUE(findStandByName("S2")->keptFree);
    EXPECT_FALSE(findStandByName("S1")->keptFree);
    text.clear();
    EXPECT_TRUE(checkReservedStand(true, text));
    EXPECT_EQ(text, "park airports and stands are okay");
    logParkAirport("BBBB");
    EXPECT_EQ(reservedStandName, "") << "the stand was AAAA's";
    setList("XXXX\n");
    EXPECT_FALSE(checkReservedStand(true, text));
}

TEST_F(ParkAirportsTest, StandNamesAndTheListAreSafeFromAnotherThread)
{
    setList("AAAA,S1\nBBBB\n");
    fly(50.0, 8.0, 0, true);
    readParkAirports(true);
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop) {
            static_cast<void>(nearestStandName({50.0003, 8.0}));
            static_cast<void>(nearestStandName({50.0, 8.0}));
            writeParkAirport();
            rememberParkAirportStand("S2");
        }
    });
    for (int i = 0; i < 20; ++i) {
        logParkAirport("AAAA");
        refreshParkAirportControls();
        resetParkingState();
    }
    stop = true;
    reader.join();
    EXPECT_TRUE(fs::exists(install / parkAirportsPath()));
}

} // namespace
} // namespace rtd
