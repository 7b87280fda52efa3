#include "airports/airport_support.hpp"
#include "airports/fake_traffic_port.hpp"

#include "airports/parking/fake_parking.hpp"
#include "airports/parking/park_airport_state.hpp"
#include "airports/parking/static_parking.hpp"
#include "core/display.hpp"
#include "core/parameters.hpp"
#include "core/random.hpp"
#include "core/requests.hpp"
#include "fixtures/dbase_fixture.hpp"
#include "liveries/dbase.hpp"

#include <gmock/gmock.h>
#include <fmt/format.h>
#include <fmt/ranges.h>

namespace rtd {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr double degPerMetre = 1.0 / 1852.0 / 60.0; // of latitude
constexpr std::int64_t wednesday10Utc = 1796810400; // Wed Dec  9 10:00:00 2026

std::int64_t pinnedClock()
{
    return wednesday10Utc;
}

// A use of a stand: weekday and half hour, aircraft, callsign.
struct Use {
    std::size_t stand; // 1-based
    unsigned day = 3;
    int hh = 20;
    std::string airline = "KLM";
    std::string type = "B738";
    std::string callsign = "KLM1";
    std::string registration = "PH-BXA";
    bool soft = false;
};

// The fit as "stand:offset" from front to back.
std::string fitText()
{
    std::vector<std::string> parts;
    for (const FitEntry& e : fitList)
        parts.push_back(fmt::format("{}:{}", e.standId, e.offset));
    return fmt::format("{}", fmt::join(parts, ","));
}

class StaticParkingTest : public test::AirportFolderTest {
protected:
    StaticParkingTest()
    {
        fixtures::writeDbaseFile(install / "input" / "dbase.xml", {.rows = 5});
        readDbase();
        installTrafficPort(&port);
        setWallClock(&pinnedClock);
        RANDOM.set(false);
    }
    ~StaticParkingTest() override
    {
        parkAirport.stands.clear();
        parkAirport.icao.clear();
        fitList.clear();
        liveStayers.clear();
        parkedStayers.clear();
        parkedRemovals.clear();
        liveCallsignsSnapshot.clear();
        realFitOffset = softFitOffset = -1;
        for (BoolParameter* flag : {static_cast<BoolParameter*>(&RANDOM), static_cast<BoolParameter*>(&WEEK),
                                    static_cast<BoolParameter*>(&PARK_FAKE), static_cast<BoolParameter*>(&PARK_SOFT),
                                    static_cast<BoolParameter*>(&INITIAL_LOAD_ONLY)})
            flag->set(flag->defaultValue());
        for (IntParameter* number : {static_cast<IntParameter*>(&parking_percentage),
                                     static_cast<IntParameter*>(&MAX_LIVE), static_cast<IntParameter*>(&MAX_FIT)})
            number->set(number->defaultValue());
        liveLimit = MAX_LIVE.defaultValue();
        setWallClock(nullptr);
        installTrafficPort(nullptr);
    }

    // `count` gates 100 m apart, numbered 1.., with the uses.
    void setStands(std::size_t count, const std::vector<Use>& uses, double radiusMetres = 20.0)
    {
        parkAirport.stands.clear();
        for (std::size_t i = 0; i < count; ++i) {
            parkAirport.stands.emplace_back(fmt::format("G{}", i + 1), std::vector<StandOption>{},
                                            52.0 + static_cast<double>(i) * 100 * degPerMetre, 4.0, 0.0, radiusMetres,
                                            false, false, false);
            parkAirport.stands.back().standId = static_cast<std::uint32_t>(i + 1);
        }
        for (const Use& use : uses) {
            std::vector<StandOption>& options = parkAirport.stands.at(use.stand - 1).options;
            StandOption o{use.airline, use.type, use.registration, use.callsign, ""};
            o.halfHours = halfHourBit(use.hh);
            o.number = static_cast<std::uint32_t>(options.size() + 1);
            o.day = use.day;
            o.learned = true;
            o.soft = use.soft;
            options.push_back(o);
        }
    }

    test::FakeTrafficPort port;
};

TEST_F(StaticParkingTest, WantedNumber)
{
    struct Row {
        std::size_t stands;
        int percentage;
        int wanted;
    };
    for (const Row& row : {Row{3, 30, 1}, {4, 30, 1}, {10, 30, 3}, {2, 50, 1}, {1, 0, 1}, {1, 100, 1}, {5, 0, 0}}) {
        setStands(row.stands, {});
        parking_percentage.set(row.percentage);
        EXPECT_EQ(computeMaxParked(), row.wanted) << row.stands << " at " << row.percentage;
        EXPECT_EQ(mainWindowGlobals.maxParkFigure.load(), row.wanted);
    }
}

TEST_F(StaticParkingTest, Generation)
{
    struct Row {
        const char* name;
        std::size_t stands; // at 50 %
        std::vector<Use> uses;
        int maxFit = 47;
        bool week = false;
        bool parkSoft = true;
        bool parkFake = false;
        std::string fit;
        std::vector<std::string> logged;
        std::vector<std::string> notLogged = {};
        std::size_t suppressed = 0;
    };
    const std::vector<Row> rows{
        {"max fit 0: this half hour only", 4, {{1}, {2, 3, 19}}, 0, false, true, false, "1:0",
         {"1 real position found, Max fit=0.5 hours, day 3 fit: 0.5 hour", "1 positions (25% vs wanted 50%"}},
        {"max fit 1: one half hour back, best fit last", 4, {{1}, {2, 3, 19, "DLH", "A320", "DLH1", "D-AIAB"}}, 1,
         false, true, false, "2:1,1:0",
         {"2 real positions found, Max fit=1 hours, day 3 fit: 1 hour",
          "2 positions (50% vs wanted 50%, with Max fit=1 hours)\n"}},
        {"another weekday never fits", 4, {{1, 2}}, 47, false, true, false, "", {"no parking positions found"}},
        {"unless every weekday counts", 4, {{1, 2}}, 47, true, true, false, "1:0",
         {"1 real position found, Max fit=24 hours, week fit: 24 hour"}},
        {"no soft pass once the real one filled", 2, {{1}, {2, 3, 20, "DLH", "A320", "DLH1", "D-AIAB", true}}, 47,
         false, true, false, "1:0", {"1 real position found"}, {"soft position"}},
        {"invented aircraft open the soft pass", 2, {{1, 3, 20, "KLM", "B738", "KLM1", "PH-BXA", true}}, 47, false,
         false, true, "1:0", {"1 soft position found, Max fit=24 hours, day 3 fit: 0.5 hour"}},
        {"no soft pass without PARK_SOFT", 2, {{1, 3, 20, "KLM", "B738", "KLM1", "PH-BXA", true}}, 47, false, false,
         false, "", {"no parking positions found"}},
        {"a repeated registration is suppressed", 4, {{1}, {2, 3, 19, "KLM", "B738", "KLM2"}}, 47, false, true, false,
         "1:0", {"1 real position found"}, {}, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        setStands(row.stands, row.uses);
        parking_percentage.set(50);
        MAX_FIT.set(row.maxFit);
        WEEK.set(row.week);
        PARK_SOFT.set(row.parkSoft);
        PARK_FAKE.set(row.parkFake);
        port.busy = true;
        const int unlocks = port.unlocks;
        generateStaticParking();
        EXPECT_EQ(fitText(), row.fit);
        EXPECT_EQ(port.unlocks - unlocks, row.fit.empty() ? 1 : 0);
        EXPECT_EQ(port.busy.load(), !row.fit.empty());
        const std::string log = logText();
        for (const std::string& text : row.logged)
            EXPECT_THAT(log, HasSubstr(text));
        for (const std::string& text : row.notLogged)
            EXPECT_THAT(log, Not(HasSubstr(text)));
        EXPECT_EQ(mainWindowGlobals.fitMarker.load(), row.parkFake);
        std::size_t suppressed = 0;
        std::size_t options = 0;
        for (const ParkingPosition& stand : parkAirport.stands)
            for (const StandOption& o : stand.options) {
                suppressed += o.suppressed ? 1 : 0;
                ++options;
            }
        EXPECT_EQ(suppressed, row.suppressed);
        EXPECT_EQ(options, row.uses.size()); // nothing is erased
    }
    EXPECT_THAT(logText(), HasSubstr("(utc) It is day 3 (Wednesday), 10.5 hours"));
}

TEST_F(StaticParkingTest, Adjustment)
{
    const DaySlot wed = makeDaySlot(3, 20);
    struct Row {
        const char* name;
        int percentage; // of 5 stands
        std::vector<Use> uses;
        std::vector<ParkedAircraftView> parked;
        std::string removed;
        std::string stayers;
        std::string fit;
        DaySlot now = makeDaySlot(3, 20);
        std::vector<LiveStayer> live = {};
        std::set<std::string, std::less<>> liveCallsigns = {};
        bool initialLoadOnly = false;
    };
    const auto parked = [](std::uint32_t stand, std::string callsign, DaySlot since, std::string airline = "KLM",
                           std::string type = "B738", std::string coupled = {}) {
        ParkedAircraftView view{stand, {52.0 + (stand - 1) * 100 * degPerMetre, 4.0}, 17.9 / 1852, callsign, airline,
                                type};
        view.parkedSince = since;
        view.coupledCallsign1 = std::move(coupled);
        return view;
    };
    const std::vector<Row> rows{
        {"the same aircraft stays and its entry goes", 20, {{1}}, {parked(1, "KLM1*", makeDaySlot(3, 18))}, "",
         "KLM1*@1", ""},
        {"a later entry of another aircraft removes it", 20, {{1, 3, 20, "DLH", "A320", "DLH5", "D-AIAB"}},
         {parked(1, "KLM1*", makeDaySlot(3, 18))}, "parked KLM1*@1", "", "1:0"},
        {"an earlier entry of another aircraft keeps it", 20, {{1, 3, 18, "DLH", "A320", "DLH5", "D-AIAB"}},
         {parked(1, "KLM1*", makeDaySlot(3, 19))}, "", "KLM1*@1", ""},
        {"Monday is later than Sunday", 20, {{1, 1, 0, "DLH", "A320", "DLH5", "D-AIAB"}},
         {parked(1, "KLM1*", makeDaySlot(7, 47))}, "parked KLM1*@1", "", "1:0", makeDaySlot(1, 0)},
        {"Sunday is earlier than Monday", 20, {{1, 7, 47, "DLH", "A320", "DLH5", "D-AIAB"}},
         {parked(1, "KLM1*", makeDaySlot(1, 0))}, "", "KLM1*@1", "", makeDaySlot(7, 47)},
        {"its flight is live", 20, {}, {parked(3, "KLM1*", wed, "KLM", "B738", "KLM1")}, "parked KLM1*@3", "", "",
         wed, {}, {"KLM1"}},
        {"an entry next door that it would touch", 20, {{2, 3, 20, "UAL", "B77W", "UAL1", "N1"}},
         {parked(1, "KLM1*", wed)}, "parked KLM1*@1", "", "2:0"},
        {"its stand was used by its type in the window", 20, {{1, 3, 20, "DLH", "A320", "DLH5", "D-AIAB"}, {3}},
         {parked(3, "KLM9*", wed)}, "", "KLM9*@3", ""},
        {"its stand was not", 20, {{1, 3, 20, "DLH", "A320", "DLH5", "D-AIAB"}}, {parked(3, "KLM9*", wed)},
         "parked KLM9*@3", "", "1:0"},
        {"excess: the oldest parked stayers, then live ones", 0, {{1}, {2}},
         {parked(1, "KLM1*", makeDaySlot(3, 12)), parked(2, "P2*", makeDaySlot(3, 10))},
         "live LIVE1@5|parked P2*@2|parked KLM1*@1", "", "", wed, {{"LIVE1", 5}}},
        {"excess with INITIAL_LOAD_ONLY keeps the live ones", 0, {{1}, {2}},
         {parked(1, "KLM1*", makeDaySlot(3, 12)), parked(2, "P2*", makeDaySlot(3, 10))},
         "parked P2*@2|parked KLM1*@1", "", "", wed, {{"LIVE1", 5}}, {}, true},
        {"excess of one goes to the oldest", 40, {{1}, {2}},
         {parked(1, "KLM1*", makeDaySlot(3, 12)), parked(2, "P2*", makeDaySlot(3, 10))}, "parked P2*@2", "KLM1*@1", "",
         wed, {{"LIVE1", 5}}},
        {"more live aircraft at stands than wanted", 20, {}, {}, "longest 2", "", "", wed,
         {{"L1", 3}, {"L2", 4}, {"L3", 5}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        setStands(5, row.uses);
        parkAirport.stands[0].neighbours = {2};
        parkAirport.stands[1].neighbours = {1};
        parkAirport.stands[1].latitude = parkAirport.stands[0].latitude + 20 * degPerMetre;
        parking_percentage.set(row.percentage);
        INITIAL_LOAD_ONLY.set(row.initialLoadOnly);
        port.now = row.now;
        port.parked = row.parked;
        port.live = row.live;
        port.liveCallsigns = row.liveCallsigns;
        port.removals.clear();
        realFitOffset = softFitOffset = -1;
        adjustParking();
        EXPECT_EQ(fmt::format("{}", fmt::join(port.removals, "|")), row.removed);
        std::vector<std::string> stayers;
        for (const ParkedStayer& s : parkedStayers)
            stayers.push_back(fmt::format("{}@{}", s.callsign, s.standId));
        EXPECT_EQ(fmt::format("{}", fmt::join(stayers, "|")), row.stayers);
        EXPECT_EQ(fitText(), row.fit);
        EXPECT_TRUE(parkedRemovals.empty());
    }
    const std::string log = logText();
    EXPECT_THAT(log, HasSubstr("Parking adjustments: 2 more live ac than wanted\n"));
    EXPECT_THAT(log, HasSubstr("Parking adjustments: 1 to be removed, 1 to be added\n"));
    EXPECT_THAT(log, HasSubstr("Parking adjustments: 0 to be removed, 0 to be added\n"));
}

TEST_F(StaticParkingTest, AdjustmentTakesSuppressedOptionsBack)
{
    setStands(4, {{1}, {2, 3, 19, "KLM", "B738", "KLM2"}});
    parking_percentage.set(50);
    generateStaticParking();
    ASSERT_EQ(fitText(), "1:0"); // the second use of PH-BXA is suppressed
    fitList.clear();
    parkAirport.stands[0].options.clear();
    adjustParking();
    EXPECT_EQ(fitText(), "2:1");
}

TEST_F(StaticParkingTest, RemoveAllParked)
{
    for (const bool ownMaxLive : {false, true}) {
        setStands(3, {{1}});
        parkAirport.icao = "EHAM";
        fitList.push_back({});
        liveLimit = 250;
        MAX_LIVE.set(ownMaxLive ? 40 : 250);
        port.removals.clear();
        removeAllParked();
        EXPECT_EQ(fmt::format("{}", fmt::join(port.removals, "|")),
                  ownMaxLive ? "all parked|live at stands|max live" : "all parked|live at stands");
        EXPECT_EQ(MAX_LIVE.value(), 250);
        EXPECT_TRUE(parkAirport.icao.empty());
        EXPECT_TRUE(parkAirport.stands.empty());
        EXPECT_TRUE(fitList.empty());
    }
}

TEST_F(StaticParkingTest, InventedAircraft)
{
    struct Stand {
        double radiusMetres;
        bool cargo = false;
        bool ramp = false;
        bool heli = false;
    };
    struct Row {
        const char* name;
        std::string icao;
        std::vector<Stand> stands;
        std::string options; // "airline type callsign registration" per stand, "-" for none
    };
    const std::vector<Row> rows{
        {"too small for every type of the table", "EHAM", {{2}, {18}}, "-|SAS A320 FAKE1 REGFAKE1"},
        {"the default pair on any gate", "LEMD", {{2}, {60}}, "ZZZ B738 FAKE1 REGFAKE1|ZZZ B738 FAKE2 REGFAKE2"},
        {"a helipad", "LEMD", {{30, false, false, true}}, "PVT EC35 FAKE1 REGFAKE1"},
        {"the first cargo pair that fits", "KJFK", {{8, true}}, "FDX C208 FAKE1 REGFAKE1"},
        {"numbers skip stands that got none", "KJFK", {{18}, {2}, {2, true}, {18}},
         "DAL B739 FAKE1 REGFAKE1|-|-|DAL B739 FAKE2 REGFAKE2"},
        {"a ramp gets general aviation", "EGLL", {{6, false, true}}, "PVT C172 FAKE1 REGFAKE1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<ParkingPosition> stands;
        for (const Stand& s : row.stands)
            stands.emplace_back("S", std::vector<StandOption>{}, 52.0, 4.0, 0.0, s.radiusMetres, s.cargo, s.ramp,
                                s.heli);
        buildFakeAircraftTables(row.icao, stands);
        std::vector<std::string> texts;
        for (const ParkingPosition& stand : stands) {
            if (stand.options.empty()) {
                texts.push_back("-");
                continue;
            }
            ASSERT_EQ(stand.options.size(), 1u);
            const StandOption& o = stand.options.front();
            texts.push_back(fmt::format("{} {} {} {}", o.airline, o.type, o.callsign, o.registration));
            EXPECT_EQ(std::tuple(o.number, o.day, o.halfHours, o.learned, o.soft, o.fake),
                      std::tuple(1u, 3u, halfHourBit(20), true, false, true));
        }
        EXPECT_EQ(fmt::format("{}", fmt::join(texts, "|")), row.options);
    }
}

} // namespace
} // namespace rtd
