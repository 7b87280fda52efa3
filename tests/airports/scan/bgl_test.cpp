#include "airports/airport_support.hpp"
#include "airports/database/airport_folders.hpp"
#include "bgl_support.hpp"

#include "core/exit.hpp"
#include "fixtures/bgl_fixture.hpp"
#include "platform/platform.hpp"

#include <cmath>
#include <cstring>
#include <fmt/format.h>
#include <functional>
#include <limits>
#include <random>

namespace rtd {
namespace {

using fixtures::BglBuilder;
using fixtures::BglParking;
using test::readBgl;

constexpr double twoPi = 6.283185307179586;
constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr float inf = std::numeric_limits<float>::infinity();

// The position a packed value reads back as.
double latitudeOf(double latitude)
{
    return unpackLatitude(fixtures::packBglLatitude(latitude));
}
double longitudeOf(double longitude)
{
    return unpackLongitude(fixtures::packBglLongitude(longitude));
}

BglParking parking(std::uint32_t nameCode, std::uint32_t number, std::uint32_t type, float radius, float heading,
                   double latitude, std::uint32_t airlineCodes = 0)
{
    return BglParking{nameCode, number, type, radius, heading, latitude, 4.3, airlineCodes};
}

std::string describe(const ParkingPosition& s)
{
    return fmt::format("{} {} {} {} {} c{} r{} h{} d{}", s.name, s.latitude, s.longitude, s.heading, s.radius, s.cargo,
                       s.ramp, s.heli, s.duplicate);
}

std::vector<std::string> describe(const std::vector<ParkingPosition>& stands)
{
    std::vector<std::string> lines;
    for (const ParkingPosition& stand : stands)
        lines.push_back(describe(stand));
    return lines;
}

// One airport with every kind of helipad and parking entry the reader tells apart.
std::string goldenAirport(std::uint64_t seed)
{
    BglBuilder builder(seed);
    builder.addSection();
    builder.addAirport("ZZAB", 100000);
    builder.addHelipad(52.1, 4.1, 30.0f);
    builder.addHelipad(52.1, 4.1, 30.0f);
    builder.addFiller(0x1C, 24);
    builder.addHelipad(52.2, 4.2, 10.0f);
    builder.addParkingList({
        parking(10, 12, 1, 20.0f, 90.0f, 52.300),
        parking(10, 12, 2, 40.0f, 90.0f, 52.301),
        parking(10, 12, 3, 30.0f, 90.0f, 52.302),
        parking(10, 13, 1, 1.0f, 90.0f, 52.303),
        parking(10, 14, 1, 200.0f, 90.0f, 52.304),
        parking(12, 5, 4, 1.01f, 90.0f, 52.305),
        parking(0, 7, 6, 199.9f, 90.0f, 52.306),
        parking(2, 1, 7, 20.0f, 0.0f, 52.307),
        parking(2, 2, 14, 20.0f, 360.0f, 52.308),
        parking(10, 30, 0, 20.0f, 90.0f, 52.309),
        parking(10, 31, 12, 20.0f, 90.0f, 52.310),
        parking(10, 32, 13, 20.0f, 90.0f, 52.311),
        parking(10, 20, 5, 20.0f, 90.0f, 52.312),
        parking(10, 21, 8, 20.0f, 90.0f, 52.313),
        parking(10, 22, 11, 20.0f, 90.0f, 52.314),
        parking(10, 23, 15, 20.0f, 90.0f, 52.315),
        parking(10, 24, 1, 20.0f, 90.0f, 52.316, 3),
        parking(10, 25, 1, 20.0f, 90.0f, 52.317),
    });
    builder.addParkingList({parking(10, 99, 1, 20.0f, 90.0f, 52.4)});
    return builder.bytes();
}

class BglGoldenTest : public test::AirportFolderTest {};
class BglFolderTest : public test::AirportFolderTest {};

TEST_F(BglGoldenTest, OneAirportGivesTheExpectedAirportFile)
{
    airportNames["ZZAB"] = "Test Field";
    const auto file = install / "scenery.bgl";
    test::writeFile(file, goldenAirport(1));
    test::RecordingSink sink;
    startScanLog();
    lf_toParkingPositions(file, sink);
    const std::string path = platform::pathToUtf8(file);

    const auto stand = [](std::string name, double latitude, double heading, double radius, int type) {
        return ParkingPosition(std::move(name), {}, latitudeOf(latitude), longitudeOf(4.3), heading, radius, type == 5,
                               (type >= 1 && type <= 7) || type == 14, false);
    };
    const double east = 90.0 * 0.017453292519943295;
    AirportFileData expected;
    expected.icao = "ZZAB";
    expected.airportName = "Test Field";
    expected.bglPath = path;
    expected.altitude = 328;
    expected.stands = {
        ParkingPosition("helipad1", {}, latitudeOf(52.1), longitudeOf(4.1), 0.0, 15.0, false, false, true),
        ParkingPosition("helipad2", {}, latitudeOf(52.2), longitudeOf(4.2), 0.0, 5.0, false, false, true),
        stand("g12b", 52.300, east, 20.0, 1),
        stand("g12", 52.301, east, 40.0, 2),
        stand("g12a", 52.302, east, 30.0, 3),
        stand("A5", 52.305, east, 1.01f, 4),
        stand("7", 52.306, east, 199.9f, 6),
        stand("p1", 52.307, twoPi, 20.0, 7),
        stand("p2", 52.308, twoPi, 20.0, 14),
        stand("g20", 52.312, east, 20.0, 5),
        stand("g21", 52.313, east, 20.0, 8),
        stand("g22", 52.314, east, 20.0, 11),
        stand("g23", 52.315, east, 20.0, 15),
        stand("g24", 52.316, east, 20.0, 1),
        stand("g25", 52.317, east, 20.0, 1),
    };

    ASSERT_EQ(sink.generated.size(), 1u);
    const AirportFileData& got = sink.generated[0];
    EXPECT_EQ(got.icao, expected.icao);
    EXPECT_EQ(got.airportName, expected.airportName);
    EXPECT_EQ(got.bglPath, expected.bglPath);
    EXPECT_EQ(got.altitude, expected.altitude);
    EXPECT_EQ(describe(got.stands), describe(expected.stands));
    EXPECT_EQ(takeScanLog(), (std::vector<std::string>{
                                 "double helipad Test Field (skipped) 52.100000,4.100000",
                                 "skipped position with radius 1.0 meters, in " + path,
                                 "skipped position with radius 200.0 meters, in " + path,
                                 "===> ZZAB has 15 parkpos while archived one has 0",
                             }));

    ASSERT_TRUE(saveAirportFile(got, install / "got.xml", false, false));
    ASSERT_TRUE(saveAirportFile(expected, install / "expected.xml", false, false));
    EXPECT_EQ(test::readFile(install / "got.xml"), test::readFile(install / "expected.xml"));
}

TEST(Bgl, UnreadBytesDoNotChangeTheResult)
{
    const test::BglRun first = readBgl(goldenAirport(1));
    for (std::uint64_t seed : {2, 3, 4, 5}) {
        const test::BglRun other = readBgl(goldenAirport(seed));
        EXPECT_EQ(other.summary(), first.summary()) << seed;
        EXPECT_EQ(other.log, first.log) << seed;
        ASSERT_EQ(other.sink.generated.size(), 1u);
        EXPECT_EQ(describe(other.sink.generated[0].stands), describe(first.sink.generated[0].stands)) << seed;
    }
}

// One airport with two stands, behind `before` (which may add records or change the file).
std::string airportFile(const std::function<void(BglBuilder&)>& before = {})
{
    BglBuilder builder(7);
    builder.addSection();
    if (before)
        before(builder);
    builder.addAirport("ZZAA", 0);
    builder.addParkingList({parking(10, 1, 1, 20.0f, 90.0f, 52.0), parking(10, 2, 1, 20.0f, 90.0f, 52.001)});
    return builder.bytes();
}

std::string airportWith(const std::function<void(BglBuilder&)>& children)
{
    BglBuilder builder(7);
    builder.addSection();
    builder.addAirport("ZZAA", 0);
    children(builder);
    return builder.bytes();
}

struct RobustnessRow {
    const char* name;
    std::function<std::string()> bytes;
    std::string summary;
    std::vector<std::string> log;
    bool failed = false;
};

TEST(Bgl, RobustnessTable)
{
    const std::string ok = "ZZAA:2";
    const std::string arrow = "===> ZZAA has 2 parkpos while archived one has 0";
    const std::vector<RobustnessRow> rows = {
        {"plain airport", [] { return airportFile(); }, ok, {arrow}},
        {"header size 55",
         [] { return airportFile([](BglBuilder& b) { b.overrideHeaderSize(55); }); }, "", {}},
        {"header size 57",
         [] { return airportFile([](BglBuilder& b) { b.overrideHeaderSize(57); }); }, "", {}},
        {"56-byte file", [] { return airportFile().substr(0, 56); }, "", {}},
        {"4-byte file", [] { return airportFile().substr(0, 4); }, "", {}, true},
        {"flag bit 16",
         [] {
             BglBuilder b(7);
             b.addSection(3, true);
             b.addAirport("ZZAA", 0);
             b.addParkingList({parking(10, 1, 1, 20.0f, 90.0f, 52.0)});
             return b.bytes();
         },
         "", {}},
        {"identifier 0",
         [] {
             BglBuilder b;
             b.addAirportPacked(0, 0);
             b.addParkingList({parking(10, 1, 1, 20.0f, 90.0f, 52.0)});
             return b.bytes();
         },
         "", {}},
        {"identifier below 38*32",
         [] {
             BglBuilder b;
             b.addAirportPacked(38 * 32 - 1, 0);
             b.addParkingList({parking(10, 1, 1, 20.0f, 90.0f, 52.0)});
             return b.bytes();
         },
         "", {}},
        {"blank digit",
         [] {
             BglBuilder b;
             b.addAirport("K LA", 0);
             b.addParkingList({parking(10, 1, 1, 20.0f, 90.0f, 52.0)});
             return b.bytes();
         },
         "", {}},
        {"truncated entry after a good airport",
         [] {
             BglBuilder b;
             b.addAirport("ZZAA", 0);
             b.addParkingList({parking(10, 1, 1, 20.0f, 90.0f, 52.0), parking(10, 2, 1, 20.0f, 90.0f, 52.001)});
             b.addAirport("ZZAB", 0);
             b.addParkingList({parking(10, 1, 1, 20.0f, 90.0f, 52.0)});
             const std::string bytes = b.bytes();
             return bytes.substr(0, bytes.size() - 24); // into the latitude
         },
         ok, {arrow}, true},
        {"two airport sections read each airport once",
         [] {
             BglBuilder b;
             b.addAirport("ZZAA", 0);
             b.addParkingList({parking(10, 1, 1, 20.0f, 90.0f, 52.0)});
             b.addSection();
             b.addAirport("ZZAB", 0);
             b.addParkingList({parking(10, 1, 1, 20.0f, 90.0f, 52.0)});
             return b.bytes();
         },
         "ZZAA:1 ZZAB:1",
         {"===> ZZAA has 1 parkpos while archived one has 0", "===> ZZAB has 1 parkpos while archived one has 0"}},
        {"a list claiming more entries than its airport holds",
         [] {
             BglBuilder b;
             b.addAirport("ZZAA", 0);
             b.addParkingList({parking(10, 1, 1, 20.0f, 90.0f, 52.0)}, 3);
             b.addAirport("ZZAB", 0);
             b.addParkingList({parking(10, 1, 1, 20.0f, 90.0f, 52.0), parking(10, 2, 1, 20.0f, 90.0f, 52.001)});
             return b.bytes();
         },
         "ZZAA:1 ZZAB:2",
         {"===> parking list of ZZAA holds 1 of the 3 entries it claims, in scenery.bgl",
          "===> ZZAA has 1 parkpos while archived one has 0", "===> ZZAB has 2 parkpos while archived one has 0"}},
        {"size 0x80000000 ends the walk",
         [] { return airportFile([](BglBuilder& b) { b.addFiller(0x10, 40); b.overrideLastSize(0x80000000u); }); },
         "", {}},
        {"size 3 ends the walk",
         [] { return airportFile([](BglBuilder& b) { b.addFiller(0x10, 40); b.overrideLastSize(3); }); }, "", {}},
        {"size 43 steps 40 bytes",
         [] { return airportFile([](BglBuilder& b) { b.addFiller(0x10, 40); b.overrideLastSize(43); }); }, ok,
         {arrow}},
        {"size-0 child keeps the stands so far",
         [] {
             return airportWith([](BglBuilder& b) {
                 b.addHelipad(52.0, 4.0, 20.0f);
                 b.addFiller(0x1C, 16);
                 b.overrideLastSize(0);
                 b.addParkingList({parking(10, 1, 1, 20.0f, 90.0f, 52.0)});
             });
         },
         "ZZAA:1", {"===> ZZAA has 1 parkpos while archived one has 0"}},
        {"eight equal names",
         [] {
             return airportWith([](BglBuilder& b) {
                 std::vector<BglParking> entries;
                 for (int i = 0; i < 8; ++i)
                     entries.push_back(parking(10, 12, 1, 20.0f, 90.0f, 52.0 + i * 0.001));
                 b.addParkingList(entries);
             });
         },
         "ZZAA:7",
         {"===> ===> Warning more then 6 the same ids g12, in scenery.bgl",
          "===> ZZAA has 7 parkpos while archived one has 0"}},
        {"null and outside positions",
         [] {
             return airportWith([](BglBuilder& b) {
                 b.addHelipad(0.0, 0.0, 20.0f);
                 b.addHelipad(-100.0, 4.0, 20.0f);
                 b.addParkingList({BglParking{10, 1, 1, 20.0f, 90.0f, 0.0, 0.0, 0},
                                   BglParking{10, 2, 1, 20.0f, 90.0f, 52.0, 190.0, 0}});
             });
         },
         "ZZAA:0",
         {"lat/lon helipad incorrect (skipped): 0.000000,0.000000",
          "lat/lon helipad incorrect (skipped): -100.000000,4.000000",
          "lat/lon: 0.000000,0.000000, incorrect (skipped) ", "lat/lon: 52.000000,190.000000, incorrect (skipped) "}},
        {"non-finite radius, heading and width",
         [] {
             return airportWith([](BglBuilder& b) {
                 b.addHelipad(52.0, 4.0, nan);
                 b.addParkingList({parking(10, 1, 1, nan, 90.0f, 52.0), parking(10, 2, 1, inf, 90.0f, 52.001),
                                   parking(10, 3, 1, 20.0f, nan, 52.002), parking(10, 3, 1, 20.0f, 90.0f, 52.003)});
             });
         },
         "ZZAA:1",
         {"helipad width nan incorrect (skipped): 52.000000,4.000000",
          "skipped position with radius NAN meters, in scenery.bgl",
          "skipped position with radius INF meters, in scenery.bgl",
          "skipped position with heading NAN degrees, in scenery.bgl",
          "===> ZZAA has 1 parkpos while archived one has 0"}},
        {"helipads of zero and negative width",
         [] {
             return airportWith([](BglBuilder& b) {
                 b.addHelipad(52.0, 4.0, 0.0f);
                 b.addHelipad(52.1, 4.0, -8.0f);
             });
         },
         "ZZAA:0",
         {"helipad width 0 incorrect (skipped): 52.000000,4.000000",
          "helipad width -8 incorrect (skipped): 52.100000,4.000000"}},
    };
    for (const RobustnessRow& row : rows) {
        const test::BglRun run = readBgl(row.bytes());
        EXPECT_EQ(run.summary(), row.summary) << row.name;
        EXPECT_EQ(run.log, row.log) << row.name;
        EXPECT_EQ(run.failed, row.failed) << row.name;
    }
}

TEST(Bgl, HostileFilesAreReadOnceWithABoundedLog)
{
    using fixtures::HostileBgl;
    using fixtures::hostileBglScenery;
    struct Row {
        std::string bytes;
        std::size_t linked;    // airports begun
        std::size_t generated; // and handed on
        std::size_t stands;
        std::size_t logLines;
        std::string lastLine;
    };
    const std::string spent = "===> scenery.bgl reads more items than its {} bytes hold: {} and the airports after it "
                              "skipped";
    const Row rows[] = {
        {fixtures::bglScenery({1200, 2, 0, 1}), 1200, 1200, 3600, 1200,
         "===> ZBUD has 3 parkpos while archived one has 0"},
        // Well-formed files of the smallest children are read whole.
        {fixtures::bglScenery({.airports = 200, .smallChildren = 300, .smallChildBytes = 8}), 200, 200, 8200, 200,
         "===> ZAHR has 41 parkpos while archived one has 0"},
        {fixtures::bglScenery(
             {.airports = 100, .smallChildren = 200, .smallChildBytes = 12, .standlessAirports = 1000}),
         1100, 1100, 4100, 100, "===> ZBQH has 41 parkpos while archived one has 0"},
        {airportWith([](BglBuilder& b) {
             b.addParkingList(std::vector<BglParking>(250, parking(10, 1, 1, 0.5f, 90.0f, 52.0)));
         }),
         1, 1, 0, 201, "===> 50 more \"skipped position with radius\" lines of ZZAA left out"},
        {hostileBglScenery(HostileBgl::overlongParkingLists), 1001, 1001, 0, 3001,
         "===> 113535 more lines about skipped items in scenery.bgl left out"},
        {hostileBglScenery(HostileBgl::skippedParkingLists), 20001, 20001, 0, 2001,
         "===> the lines of 18000 more airports in scenery.bgl left out"},
        {hostileBglScenery(HostileBgl::sharedAirport), 1, 1, 2000, 1,
         "===> ZHAA has 2000 parkpos while archived one has 0"},
        {hostileBglScenery(HostileBgl::overlappingHelipads), 1, 1, 65535, 2,
         "===> ZHAA has 65535 parkpos while archived one has 0"},
        {hostileBglScenery(HostileBgl::pairedStandNames), 1, 1, 65535, 1,
         "===> ZHAA has 65535 parkpos while archived one has 0"},
        {hostileBglScenery(HostileBgl::sharedHelipadChain), 2, 1, 65535, 3,
         fmt::format(fmt::runtime(spent), 4192400, "ZHAA")},
        {hostileBglScenery(HostileBgl::sharedHelipadChainCodes), 2, 1, 65535, 3,
         fmt::format(fmt::runtime(spent), 4194304, "ZHAB")},
    };
    for (const Row& row : rows) {
        const test::BglRun run = readBgl(row.bytes);
        std::size_t stands = 0;
        for (const AirportFileData& airport : run.sink.generated)
            stands += airport.stands.size();
        EXPECT_FALSE(run.failed);
        EXPECT_EQ(run.sink.linked.size(), row.linked);
        EXPECT_EQ(run.sink.generated.size(), row.generated);
        EXPECT_EQ(stands, row.stands);
        EXPECT_EQ(run.log.size(), row.logLines);
        EXPECT_EQ(run.log.back(), row.lastLine);
    }
    // Once an exit has begun no further section or airport is read.
    userClosed = true;
    const test::BglRun closed = readBgl(fixtures::hostileBglScenery(HostileBgl::sharedAirport));
    userClosed = false;
    EXPECT_TRUE(closed.sink.linked.empty());
}

TEST(Bgl, ACloseStopsALongListWithinAFewThousandEntries)
{
    // The close comes as the airport is begun; its list claims 65,535 entries and the file
    // ends after 6,000 of them, so reading on to the end would fail the file.
    struct ClosingSink : test::RecordingSink {
        bool linkAirport(AirportFileData& airport, std::int32_t& archivedCount, const std::string& bglPath) override
        {
            userClosed = true;
            return RecordingSink::linkAirport(airport, archivedCount, bglPath);
        }
    } sink;
    BglBuilder b;
    b.addAirport("ZZAA", 0);
    std::vector<BglParking> entries;
    for (std::uint32_t i = 0; i < 65535; ++i)
        entries.push_back(parking(10 + i / 4095, i % 4095 + 1, 1, 20.0f, 90.0f, 52.0));
    b.addParkingList(entries);
    const std::string bytes = b.bytes().substr(0, 56 + 20 + 16 + 68 + 8 + 6000 * 56);
    EXPECT_NO_THROW(readBglAirports(BglWords::fromBytes(bytes.data(), bytes.size()), "scenery.bgl", sink));
    userClosed = false;
    EXPECT_EQ(sink.linked, std::vector<std::string>{"ZZAA"});
    EXPECT_TRUE(sink.generated.empty()); // not handed on in part
    takeScanLog();
}

TEST_F(BglFolderTest, ACloseWhileAnAirportFileIsWrittenLeavesNoFile)
{
    namespace fs = std::filesystem;
    // The one airport of the 16 MiB file gives 65,535 stands. The close comes at the second
    // look while its file is built, or at the first look once its temporary is being written.
    struct ClosingSink : test::RecordingSink {
        bool whileWritten = false;
        int looks = 0;
        int closedAt = 0;
        bool temporaryAtClose = false;
        void generateAirportFile(AirportFileData& airport) override
        {
            rtd::generateAirportFile(airport, [this] {
                ++looks;
                const bool temporary = !fs::is_empty(myThirdpartyFolder);
                if (closedAt == 0 && (whileWritten ? temporary : looks == 2)) {
                    closedAt = looks;
                    temporaryAtClose = temporary;
                }
                return closedAt > 0;
            });
        }
    };
    const std::string bytes = fixtures::hostileBglScenery(fixtures::HostileBgl::overlappingHelipads16MiB);
    fs::create_directories(myThirdpartyFolder);
    for (const bool whileWritten : {false, true}) {
        ClosingSink sink;
        sink.whileWritten = whileWritten;
        startScanLog();
        readBglAirports(BglWords::fromBytes(bytes.data(), bytes.size()), "scenery.bgl", sink);
        EXPECT_EQ(sink.temporaryAtClose, whileWritten);
        EXPECT_EQ(sink.looks, sink.closedAt) << whileWritten; // honoured at the first look after it
        EXPECT_TRUE(fs::is_empty(myThirdpartyFolder)) << whileWritten; // no file, no temporary
        EXPECT_EQ(takeScanLog().back(),
                  "===> Generating " + platform::pathToUtf8(myThirdpartyFolder / "ZHAA.xml") + " did not succeed");
    }
}

TEST_F(BglFolderTest, EveryAirportFileNotWrittenIsLoggedUpTo2000)
{
    // 500 airports without stands, then 2,100 whose files cannot be written: their folder is a
    // file.
    struct WritingSink : test::RecordingSink {
        void generateAirportFile(AirportFileData& airport) override { rtd::generateAirportFile(airport); }
    } sink;
    std::filesystem::create_directories(myThirdpartyFolder.parent_path());
    test::writeFile(myThirdpartyFolder, "");
    const std::string bytes = fixtures::bglScenery({.airports = 2100, .stands = 0, .standlessAirports = 500});
    startScanLog();
    readBglAirports(BglWords::fromBytes(bytes.data(), bytes.size()), "scenery.bgl", sink);
    const std::vector<std::string> log = takeScanLog();
    std::vector<std::string> failures;
    std::copy_if(log.begin(), log.end(), std::back_inserter(failures),
                 [](const std::string& line) { return line.ends_with(" did not succeed"); });
    std::vector<std::string> expected;
    for (std::size_t a = 500; a < 2500; ++a)
        expected.push_back("===> Generating " + platform::pathToUtf8(myThirdpartyFolder / (sink.linked[a] + ".xml")) +
                           " did not succeed");
    EXPECT_EQ(failures, expected);
    EXPECT_EQ(log.back(), "===> 100 more airport files of scenery.bgl could not be written");
}

TEST(Bgl, AFileLogStaysUnder1MBAtTheLongestPath)
{
    // 2,000 airports of two skipped entries each and a list that claims more than it holds.
    BglBuilder b;
    for (int a = 0; a < 2000; ++a) {
        b.addAirport(fmt::format("{}{:03}", a < 1000 ? 'X' : 'Y', a % 1000), 0);
        b.addParkingList(std::vector<BglParking>(2, parking(10, 1, 1, 0.5f, 90.0f, 52.0)), 65535);
        b.endAirport();
    }
    const std::string bytes = b.bytes();
    const std::string path = std::string(245, 'd') + ".bgl";
    test::RecordingSink sink;
    startScanLog();
    readBglAirports(BglWords::fromBytes(bytes.data(), bytes.size()), path, sink);
    const std::vector<std::string> log = takeScanLog();
    std::size_t logBytes = 0;
    for (const std::string& line : log)
        logBytes += line.size() + 1;
    EXPECT_LT(logBytes, 1'000'000u);
    EXPECT_EQ(log.back(), "===> 3487 more lines about " + path + " left out, its log being full");
}

TEST(Bgl, AnAirportKeepsAtMost65535HelipadsAndReadsOnToItsParkingList)
{
    const test::BglRun run = readBgl(airportWith([](BglBuilder& b) {
        for (int i = 0; i < 65537; ++i)
            b.addHelipad(52.0 + (i % 200) * 0.0001, 4.0 + (i / 200) * 0.0001, 20.0f);
        b.addParkingList({parking(10, 1, 1, 20.0f, 90.0f, 52.0), parking(10, 2, 1, 20.0f, 90.0f, 52.001)});
    }));
    EXPECT_EQ(run.summary(), "ZZAA:65537");
    EXPECT_EQ(run.log, (std::vector<std::string>{"===> ZZAA has more than 65535 helipads: 2 more skipped",
                                                 "===> ZZAA has 65537 parkpos while archived one has 0"}));
}

TEST(Bgl, EachGroupOfDuplicateNamesGoesByRadiusEqualRadiiInListOrder)
{
    const test::BglRun run = readBgl(airportWith([](BglBuilder& b) {
        b.addParkingList({
            parking(10, 1, 1, 20.0f, 90.0f, 52.000),
            parking(10, 1, 1, 30.0f, 90.0f, 52.001),
            parking(10, 2, 1, 25.0f, 90.0f, 52.002),
            parking(10, 2, 1, 25.0f, 90.0f, 52.003),
            parking(10, 2, 1, 40.0f, 90.0f, 52.004),
            parking(10, 2, 1, 25.0f, 90.0f, 52.005),
        });
    }));
    ASSERT_EQ(run.sink.generated.size(), 1u);
    std::vector<std::string> names;
    for (const ParkingPosition& stand : run.sink.generated[0].stands)
        names.push_back(stand.name);
    EXPECT_EQ(names, (std::vector<std::string>{"g1a", "g1", "g2a", "g2b", "g2", "g2c"}));
}

TEST(Bgl, NonFiniteHeadingLeavesTheNameFree)
{
    const test::BglRun run = readBgl(airportWith([](BglBuilder& b) {
        b.addParkingList({parking(10, 3, 1, 20.0f, nan, 52.0), parking(10, 3, 1, 20.0f, 90.0f, 52.001)});
    }));
    ASSERT_EQ(run.sink.generated.size(), 1u);
    ASSERT_EQ(run.sink.generated[0].stands.size(), 1u);
    EXPECT_EQ(run.sink.generated[0].stands[0].name, "g3");
}

TEST(Bgl, AltitudesAndArchivedCounts)
{
    struct Row {
        std::int32_t millimetres;
        std::int32_t feet;
    };
    for (const Row row : {Row{-3000, -10}, Row{-6096, -20}, Row{-6250, 0}, Row{3048000, 10000}, Row{3048200, 0},
                          Row{std::numeric_limits<std::int32_t>::min(), 0}}) {
        BglBuilder b;
        b.addAirport("ZZAA", row.millimetres);
        b.addParkingList({parking(10, 1, 1, 20.0f, 90.0f, 52.0)});
        const test::BglRun run = readBgl(b.bytes());
        ASSERT_EQ(run.sink.generated.size(), 1u) << row.millimetres;
        EXPECT_EQ(run.sink.generated[0].altitude, row.feet) << row.millimetres;
    }

    struct LinkRow {
        std::int32_t archived;
        std::string summary;
        std::size_t logLines;
    };
    for (const LinkRow& row : {LinkRow{2, "", 0}, LinkRow{5, "", 0}, LinkRow{1, "ZZAA:2", 1}}) {
        const test::BglRun run = readBgl(airportFile(), {{"ZZAA", row.archived}});
        EXPECT_EQ(run.sink.linked, std::vector<std::string>{"ZZAA"});
        EXPECT_EQ(run.summary(), row.summary) << row.archived;
        EXPECT_EQ(run.log.size(), row.logLines) << row.archived;
    }
}

TEST(Bgl, IdentifierCodec)
{
    struct Row {
        std::uint32_t packed;
        std::string text;
        bool valid;
    };
    const std::uint32_t zzzz = (38u * 38 * 38 * 38 - 1) << 5;
    for (const Row& row : {Row{0, "", false}, Row{38 * 32 - 1, "", false}, Row{38 * 32, "6 ", false},
                           Row{fixtures::packBglIdentifier("KSEA") | 31, "KSEA", true}, Row{zzzz, "ZZZZ", true},
                           Row{((((1u * 38 + 12) * 38) + 12) * 38 + 12) << 5, "6AAA", true},
                           Row{0xFFFFFFFF, "6OC JF", false}, Row{fixtures::packBglIdentifier("EGL"), "EGL", false}}) {
        const DecodedIdentifier decoded = lf_decodeIdentifierOrRegionCode(row.packed);
        EXPECT_EQ(decoded.text, row.text) << row.packed;
        EXPECT_EQ(decoded.valid, row.valid) << row.packed;
    }
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::mt19937 random(38);
    for (int i = 0; i < 5000; ++i) {
        std::string code(4, ' ');
        for (char& c : code)
            c = alphabet[random() % alphabet.size()];
        const DecodedIdentifier decoded = lf_decodeIdentifierOrRegionCode(fixtures::packBglIdentifier(code));
        ASSERT_TRUE(decoded.valid) << code;
        ASSERT_EQ(decoded.text, code);
    }
}

TEST(Bgl, StandNamesAndPositions)
{
    struct Row {
        std::uint32_t code, number;
        std::string name;
    };
    for (const Row& row : {Row{10, 12, "g12"}, Row{12, 5, "A5"}, Row{0, 7, "7"}, Row{11, 3, "3"}, Row{9, 0, "nwp0"},
                           Row{38, 1, "[1"}, Row{63, 4095, "t4095"}})
        EXPECT_EQ(standName(row.code, row.number), row.name);
    for (const double latitude : {-90.0, -33.9461, 0.0, 52.3086, 90.0})
        EXPECT_NEAR(latitudeOf(latitude), latitude, 2e-7);
    for (const double longitude : {-180.0, -122.309, 0.0, 4.7639, 180.0})
        EXPECT_NEAR(longitudeOf(longitude), longitude, 3e-7);
}

TEST_F(BglGoldenTest, AirportSectionTest)
{
    const std::string file = airportFile();
    const auto withCount = [&](std::uint32_t count) {
        std::string bytes = file;
        std::memcpy(bytes.data() + 20, &count, 4);
        return bytes;
    };
    BglBuilder other;
    other.addSection(5);
    other.addSection(3, true);
    other.addFiller(0x10, 40);
    BglBuilder none;
    none.addSection(5);
    none.addFiller(0x10, 40);
    const std::vector<std::pair<std::string, bool>> rows = {
        {file, true},
        {other.bytes(), true},
        {none.bytes(), false},
        {file.substr(0, 55), false},
        {file.substr(0, 56), false},
        {file.substr(0, 76), false}, // the table fits, the file ends with it
        {withCount(0), false},
        {withCount(0x0CCCCCCD), false}, // 20 * n + 56 wraps to 60 in 32 bits
        {withCount(50), false},
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto path = install / fmt::format("s{}.bgl", i);
        test::writeFile(path, rows[i].first);
        EXPECT_EQ(hasAirportSection(path), rows[i].second) << i;
    }
    EXPECT_FALSE(hasAirportSection(install / "missing.bgl"));
    test::RecordingSink sink;
    lf_toParkingPositions(install / "missing.bgl", sink);
    EXPECT_TRUE(sink.linked.empty());
}

} // namespace
} // namespace rtd
