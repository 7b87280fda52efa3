#include "airports/airport_support.hpp"

#include "core/exceptions.hpp"
#include "fixtures/airport_fixture.hpp"

#include <fmt/format.h>
#include <gmock/gmock.h>

namespace rtd {
namespace {

using test::writeFile;
using ::testing::HasSubstr;

class AirportDatabaseTest : public test::AirportFolderTest {
protected:
    void writeDatabase(const std::string& text) { writeFile(install / "input" / "airports_msfs.xml", text); }
    // The text of the error readAirports() throws, or "none".
    std::string readError()
    {
        try {
            readAirports();
        } catch (const UserErrorException& e) {
            return e.what();
        }
        return "none";
    }
};

std::string airportsWith(const std::string& attributes)
{
    return fmt::format("<airports><airport code=\"EHAM\" {}/></airports>", attributes);
}

TEST_F(AirportDatabaseTest, BrokenFilesEndTheReadWithUserError)
{
    const std::string path = (std::filesystem::path("input") / "airports_msfs.xml").string();
    struct Row {
        const char* file; // nullptr: no file
        std::string error;
    };
    const Row rows[] = {
        {nullptr, "88: " + path + " not loaded File was not found"},
        {"<other/>", "88: " + path + " not found"},
        {"<airports><airport", "88: " + path + " not loaded Error parsing start element tag"},
        {"<airports><airport code='A' lon='1' alt='1'/></airports>", "88: invalid stod argument"},
        {"<airports><airport code='A' lat='' lon='1' alt='1'/></airports>", "88: invalid stod argument"},
        {"<airports><airport code='A' lat='1' lon='1e999' alt='1'/></airports>", "88: stod argument out of range"},
        {"<airports><airport code='A' lat='1' lon='1' alt='x'/></airports>", "88: invalid stof argument"},
        {"<airports><airport code='A' lat='1' lon='1' alt='1e40'/></airports>", "88: stof argument out of range"},
    };
    for (const Row& row : rows) {
        std::filesystem::remove(install / "input" / "airports_msfs.xml");
        if (row.file)
            writeDatabase(row.file);
        EXPECT_EQ(readError(), row.error) << (row.file ? row.file : "no file");
        EXPECT_TRUE(airportRecords.empty());
    }
    // A failed read is tried again.
    writeDatabase(airportsWith("lat='1' lon='2' alt='3'"));
    EXPECT_TRUE(readAirports());
}

TEST_F(AirportDatabaseTest, NumbersReadLikeStod)
{
    writeDatabase(airportsWith("iata='AMS' lat=' 52.3abc' lon='-4.5' alt='12.75'"));
    ASSERT_TRUE(readAirports());
    ASSERT_EQ(airportRecords.size(), 1u);
    EXPECT_DOUBLE_EQ(airportRecords[0].lat, 52.3);
    EXPECT_DOUBLE_EQ(airportRecords[0].lon, -4.5);
    EXPECT_DOUBLE_EQ(airportRecords[0].alt, 12.75);
    EXPECT_EQ(airportRecords[0].iata, "AMS");
}

TEST_F(AirportDatabaseTest, EmptyRootReadsOnceAndStaysFalse)
{
    writeDatabase("<airports/>");
    EXPECT_FALSE(readAirports());
    writeDatabase(airportsWith("lat='1' lon='2' alt='3'"));
    EXPECT_FALSE(readAirports());
    const std::string log = logText();
    EXPECT_THAT(log, HasSubstr("0 airports read from"));
    EXPECT_EQ(log.find("airports read from"), log.rfind("airports read from"));
}

TEST_F(AirportDatabaseTest, GeneratedDatabaseSortedAndSearchable)
{
    fixtures::writeAirportDatabase(install.path(), {.seededCodes = 500, .seed = 7});
    ASSERT_TRUE(readAirports());
    EXPECT_EQ(airportRecords.size(), 500u + fixtures::namedAirportCodes().size() + 2);
    EXPECT_TRUE(std::is_sorted(airportRecords.begin(), airportRecords.end(),
                               [](const auto& a, const auto& b) { return a.code < b.code; }));
    EXPECT_THAT(logText(), HasSubstr(fmt::format("{} airports read from \"{}\"", airportRecords.size(),
                                                 (std::filesystem::path("input") / "airports_msfs.xml").string())));
    struct Row {
        const char* code;
        bool found;
        const char* display;
    };
    const Row rows[] = {
        {"LFPG", true, "LFPG (CDG)"},
        {"eham", false, ""},
        {"EHA", false, ""},
        {"EDDF", true, "EDDF"},
        {"ZZZZZ", false, ""},
        {"", false, ""},
    };
    for (const Row& row : rows) {
        const std::optional<AirportRecord> found = findAirport(row.code);
        EXPECT_EQ(found.has_value(), row.found) << row.code;
        EXPECT_EQ(found ? airportDisplayName(*found) : "", row.display);
    }
    for (const std::string& code : fixtures::namedAirportCodes())
        EXPECT_EQ(findAirport(code)->code, code);
}

TEST_F(AirportDatabaseTest, FindAirportTakesTheFirstOfEqualCodes)
{
    writeDatabase("<airports><airport code='B' lat='1' lon='1' alt='1'/><airport code='A' iata='X' lat='2' lon='2' "
                  "alt='2'/><airport code='A' lat='3' lon='3' alt='3'/></airports>");
    ASSERT_TRUE(readAirports());
    const auto first = std::find_if(airportRecords.begin(), airportRecords.end(), [](auto& r) { return r.code == "A"; });
    EXPECT_EQ(findAirport("A")->lat, first->lat);
}

TEST_F(AirportDatabaseTest, DisplayNames)
{
    const std::pair<AirportRecord, const char*> rows[] = {
        {{"EHAM", "AMS"}, "EHAM (AMS)"},
        {{"EHAM", ""}, "EHAM"},
        {{"", "XYZ"}, "? (XYZ)"},
        {{"", ""}, "?"},
    };
    for (const auto& [record, text] : rows)
        EXPECT_EQ(airportDisplayName(record), text);
}

TEST_F(AirportDatabaseTest, AirportNames)
{
    struct Row {
        const char* file; // nullptr: no file
        std::size_t count;
    };
    const Row rows[] = {
        {nullptr, 0},
        {"<AirportNames><airport ICAO='EHAM' name='First'", 0},
        {"<Other><airport ICAO='EHAM' name='First'/></Other>", 0},
        {"<AirportNames><airport ICAO='EHAM' name='First'/><airport ICAO='EHAM' name='Second'/>"
         "<airport name='No code'/></AirportNames>",
         2},
    };
    for (const Row& row : rows) {
        clearAirportNames();
        std::filesystem::remove(install / "input" / "airports_msfs_names.xml");
        if (row.file)
            writeFile(install / "input" / "airports_msfs_names.xml", row.file);
        EXPECT_EQ(readAirportNames(), row.count > 0);
        EXPECT_EQ(airportNames.size(), row.count);
        EXPECT_THAT(logText(), HasSubstr(fmt::format("{} airport names read from", row.count)));
    }
    EXPECT_EQ(airportNames["EHAM"], "First");
    EXPECT_EQ(airportNames[""], "No code");

    clearAirportNames();
    fixtures::writeAirportDatabase(install.path(), {});
    EXPECT_TRUE(readAirportNames());
    EXPECT_EQ(airportNames["EHAM"], "Amsterdam Schiphol");
}

} // namespace
} // namespace rtd
