#include "airports/airport_support.hpp"
#include "airports/fake_traffic_port.hpp"

#include "airports/parking/park_airport_state.hpp"
#include "airports/parking/park_airports.hpp"
#include "airports/parking/stands.hpp"
#include "core/display.hpp"
#include "core/parameters.hpp"
#include "core/random.hpp"

#include <gtest/gtest.h>
#include <fmt/format.h>

namespace rtd {
namespace {

constexpr double metre = metresToNm;
constexpr double degPerMetre = 1.0 / 1852.0 / 60.0; // of latitude
constexpr double baseLat = 52.0;
constexpr double baseLon = 4.0;

struct StandSpec {
    std::string name;
    double northMetres = 0;
    double radiusMetres = 20;
    bool cargo = false;
    bool ramp = false;
    bool heli = false;
};

StandOption option(std::uint32_t number, unsigned day, std::initializer_list<int> hours, std::string callsign = "KLM1",
                   std::string coupled = {}, std::string registration = "PH-BXA", std::string airline = "KLM",
                   std::string type = "B738", bool soft = false)
{
    StandOption o{airline, type, registration, callsign, coupled};
    for (const int hh : hours)
        o.halfHours |= halfHourBit(hh);
    o.number = number;
    o.day = day;
    o.learned = true;
    o.soft = soft;
    return o;
}

// The options of a stand as "day:hh,hh" for each usable option, joined by "|".
std::string summary(const ParkingPosition& stand)
{
    std::string text;
    for (const StandOption& o : stand.options) {
        if (!isOptionUsable(o))
            continue;
        std::string hours;
        for (int hh = 0; hh < halfHoursPerDay; ++hh)
            if ((o.halfHours & halfHourBit(hh)) != 0)
                hours += (hours.empty() ? "" : ",") + std::to_string(hh);
        text += fmt::format("{}{}{}:{}", text.empty() ? "" : "|", o.soft ? "s" : "", o.day, hours);
    }
    return text;
}

class StandsTest : public test::AirportFolderTest {
protected:
    StandsTest()
    {
        installTrafficPort(&port);
        aircraft.airline = "KLM";
        aircraft.icaoType = "B738";
        aircraft.callsign = "KLM1";
        aircraft.registration = "PH-BXA";
        aircraft.hexid = 0x4840D6;
        aircraft.halfSpan = 17 * metre;
        aircraft.category = Large;
    }
    ~StandsTest() override
    {
        parkAirport.stands.clear();
        parkAirport.icao.clear();
        parkAirport.learnedUpdateCount = 0;
        standReservations.clear();
        fitList.clear();
        liveStayers.clear();
        liveCallsignsSnapshot.clear();
        realFitOffset = softFitOffset = -1;
        RANDOM.set(RANDOM.defaultValue());
        installTrafficPort(nullptr);
    }

    void setStands(const std::vector<StandSpec>& rows)
    {
        parkAirport.stands.clear();
        for (const StandSpec& s : rows) {
            parkAirport.stands.emplace_back(s.name, std::vector<StandOption>{}, baseLat + s.northMetres * degPerMetre,
                                            baseLon, 0.0, s.radiusMetres, s.cargo, s.ramp, s.heli);
            parkAirport.stands.back().standId = static_cast<std::uint32_t>(parkAirport.stands.size());
        }
    }
    ParkingPosition& stand(std::size_t index) { return parkAirport.stands.at(index); }
    std::string found(StandIterator it) { return it == parkAirport.stands.end() ? "-" : it->name; }

    test::FakeTrafficPort port;
    FlightRecord aircraft;
};

TEST_F(StandsTest, ReservationWaitsThreeHalfHoursUnlessForced)
{
    struct Row {
        unsigned hh;
        bool force;
        bool allowed;
    };
    for (const Row& row : {Row{47, false, true}, {47, false, false}, {0, false, false}, {1, false, false},
                          {2, false, true}, {3, false, false}, {3, true, true}, {5, false, false}, {6, false, true}})
        EXPECT_EQ(reserveStandForAircraft(makeDaySlot(1, row.hh), 7, row.force), row.allowed) << row.hh;
}

TEST_F(StandsTest, SightingsLearnHalfHours)
{
    struct Step {
        unsigned day;
        unsigned hh;
        bool soft;
        bool forget;
        bool learned;
    };
    struct Row {
        const char* name;
        std::vector<StandOption> before;
        std::vector<Step> steps;
        std::string after;
        bool sightingKept;
    };
    const std::vector<Row> rows{
        {"10:00 then 11:30", {}, {{1, 20, false, false, true}, {1, 23, false, false, true}}, "1:20,21,22,23", true},
        {"same half hour again", {}, {{1, 20, false, false, true}, {1, 20, false, false, false}}, "1:20", true},
        {"six half hours later: no fill", {}, {{1, 20, false, false, true}, {1, 26, false, false, true}}, "1:20,26", true},
        {"23:30 then 00:30 next day",
         {option(1, 2, {30})},
         {{1, 47, false, false, true}, {2, 1, false, false, true}},
         "2:1,30|1:47|2:0,1",
         true},
        {"forget drops the sighting", {}, {{1, 20, false, false, true}, {1, 21, false, true, true}}, "1:20,21", false},
        {"soft learns alike", {}, {{1, 20, true, false, true}, {1, 22, true, false, true}}, "s1:20,21,22", true},
        {"soft counts even without a fill", {}, {{1, 20, true, false, true}, {1, 30, true, false, true}}, "s1:20,30", true},
    };
    for (const Row& row : rows) {
        setStands({{"A1"}});
        stand(0).options = row.before;
        for (const Step& step : row.steps) {
            const DaySlot now = makeDaySlot(step.day, step.hh);
            const bool learned = step.soft ? addSoftOption(1, aircraft, true, now)
                                           : addRealOption(1, aircraft, true, now, step.forget);
            EXPECT_EQ(learned, step.learned) << row.name << " at " << step.hh;
        }
        EXPECT_EQ(summary(stand(0)), row.after) << row.name;
        const auto& sightings = row.steps[0].soft ? stand(0).softSightings : stand(0).realSightings;
        EXPECT_EQ(sightings.contains(aircraft.hexid), row.sightingKept) << row.name;
    }
    EXPECT_EQ(mainWindowGlobals.updatesFigure, parkAirport.learnedUpdateCount);
}

TEST_F(StandsTest, RealSightingNeedsRegistrationCallsignAndStand)
{
    setStands({{"A1"}});
    FlightRecord anonymous = aircraft;
    anonymous.registration.clear();
    EXPECT_FALSE(addRealOption(1, anonymous, true, makeDaySlot(1, 1), false));
    EXPECT_FALSE(addRealOption(9, aircraft, true, makeDaySlot(1, 1), false));
    EXPECT_FALSE(addRealOption(1, aircraft, true, makeDaySlot(1, 48), false)); // logged, not thrown
    EXPECT_TRUE(addSoftOption(1, anonymous, true, makeDaySlot(1, 1)));
}

TEST_F(StandsTest, StandOfAnAircraft)
{
    struct Row {
        const char* name;
        double metres;
        double radiusMetres;
        bool heli;
        AircraftCategory category;
        double maxMetres;
        bool matchingOption;
        bool found;
        double radiusAfterMetres;
    };
    const std::vector<Row> rows{
        {"10 m away, 5 m small: learns r - 1 m", 10, 12, false, Large, 55, false, true, 16},
        {"30 m away, 5 m small", 30, 12, false, Large, 55, true, false, 12},
        {"fits within the limit", 30, 20, false, Large, 55, false, true, 20},
        {"near rule with a matching option", 30, 20, false, Large, 20, true, true, 20},
        {"near rule without one", 30, 20, false, Large, 20, false, false, 20},
        {"helipad for a rotorcraft", 5, 20, true, Rotorcraft, 55, false, true, 20},
        {"helipad for an aeroplane", 5, 20, true, Large, 55, false, false, 20},
        {"ramp for a rotorcraft", 5, 20, false, Rotorcraft, 55, false, false, 20},
    };
    for (const Row& row : rows) {
        setStands({{"A1", row.metres, row.radiusMetres, false, false, row.heli}});
        if (row.matchingOption)
            stand(0).options.push_back(option(1, 1, {3}));
        aircraft.category = row.category;
        const StandIterator it =
            findStandForAircraft({baseLat, baseLon}, aircraft, row.maxMetres * metre, true);
        EXPECT_EQ(it != parkAirport.stands.end(), row.found) << row.name;
        EXPECT_NEAR(stand(0).radius / metre, row.radiusAfterMetres, 1e-9) << row.name;
        EXPECT_EQ(stand(0).radiusChange, row.radiusAfterMetres != row.radiusMetres) << row.name;
    }
}

TEST_F(StandsTest, FreeStandChoice)
{
    RANDOM.set(false);
    struct Row {
        const char* name;
        std::string icao;
        std::vector<StandSpec> stands;
        AircraftCategory category;
        bool cargo;
        std::string airline;
        std::string chosen;
    };
    const std::vector<Row> rows{
        {"K airport: gate first", "KSEA", {{"R1", 0, 20, false, true}, {"G1", 0, 20}}, Large, false, "DAL", "G1"},
        {"light aircraft: ramp", "KSEA", {{"G1", 0, 20}, {"R1", 0, 20, false, true}}, Light, false, "DAL", "R1"},
        {"private: ramp", "KSEA", {{"G1", 0, 20}, {"R1", 0, 20, false, true}}, Large, false, "PVT", "R1"},
        {"K airport without gates: ramp", "KSEA", {{"R1", 0, 20, false, true}}, Large, false, "DAL", "R1"},
        {"cargo stand too small beats a gate", "KSEA", {{"G1", 0, 20}, {"C1", 0, 5, true}}, Large, true, "FDX", "C1"},
        {"no cargo stand: any that fits", "KSEA", {{"H1", 0, 20, false, false, true}, {"G1", 0, 20}}, Large, true,
         "FDX", "G1"},
        {"closest size first", "KSEA", {{"G1", 0, 60}, {"G2", 0, 20}}, Large, false, "DAL", "G2"},
        {"rotorcraft: helipad", "KSEA", {{"R1", 0, 20, false, true}, {"H1", 0, 20, false, false, true}}, Rotorcraft,
         false, "PVT", "H1"},
    };
    for (const Row& row : rows) {
        parkAirport.icao = row.icao;
        setStands(row.stands);
        aircraft.category = row.category;
        aircraft.cargo = row.cargo ? 1 : 0;
        aircraft.airline = row.airline;
        EXPECT_EQ(found(chooseFreeStand(makeDaySlot(1, 10), aircraft, false)), row.chosen) << row.name;
    }
}

TEST_F(StandsTest, FreeStandRetriesTheNextHalfHourAtSmallAirports)
{
    struct Row {
        unsigned day;
        unsigned hh;
        bool retry;
        std::string chosen;
    };
    parkAirport.icao = "KSEA";
    // The stand is in use now and free in the next half hour.
    for (const Row& row : {Row{1, 47, true, "G1"}, {7, 47, true, "G1"}, {1, 47, false, "-"}, {1, 7, true, "G1"}}) {
        setStands({{"G1"}});
        StandOption busy = option(1, row.day, {static_cast<int>(row.hh)});
        stand(0).options = {busy};
        EXPECT_EQ(found(chooseFreeStand(makeDaySlot(row.day, row.hh), aircraft, row.retry)), row.chosen)
            << row.day << " " << row.hh;
    }
}

TEST_F(StandsTest, CoupledCallsignWindow)
{
    struct Row {
        unsigned day;
        int hh;
        AircraftCategory category;
        bool found;
    };
    for (const Row& row : {Row{1, 7, Large, true}, {1, 8, Large, false}, {1, 10, Heavy, true}, {1, 11, Heavy, false},
                          {1, 0, Large, true}, {7, 47, Large, false}}) {
        setStands({{"A1"}});
        stand(0).options = {option(1, row.day, {row.hh}, "KLM1", "KLM2")};
        aircraft.category = row.category;
        aircraft.callsign = "KLM2_";
        std::string first, second;
        lf_searchForCoupledCsAroundThisTime(makeDaySlot(1, 2), aircraft, first, second);
        EXPECT_EQ(first, row.found ? "KLM1" : "") << row.hh;
        EXPECT_EQ(second, row.found ? "KLM2" : "") << row.hh;
    }
}

TEST_F(StandsTest, StandFitsHourReachesThePreviousWeekday)
{
    struct Row {
        unsigned day;
        int hh;
        std::string type;
        bool fits;
    };
    realFitOffset = 3;
    for (const Row& row : {Row{1, 0, "B738", true}, {7, 47, "B738", true}, {7, 46, "B738", true},
                           {7, 45, "B738", false}, {1, 2, "B738", false}, {7, 47, "A320", false}}) {
        setStands({{"A1"}});
        stand(0).options = {option(1, row.day, {row.hh}, "KLM1", "", "PH-BXA", "KLM", row.type)};
        EXPECT_EQ(standFitsHour(makeDaySlot(1, 1), 1, aircraft), row.fits) << row.day << ":" << row.hh;
    }
    EXPECT_FALSE(standFitsHour(makeDaySlot(1, 1), 9, aircraft));
}

TEST_F(StandsTest, SearchStandsPicksOneOptionPerFreeStand)
{
    struct Row {
        const char* name;
        double parkedRadiusMetres; // a parked aircraft at the neighbour A2, 40 m away
        std::string parkedOwnCallsign;
        std::string fitCallsign;
        std::string liveCallsign;
        std::string candidate; // callsign of the candidate at A1, "-" for none
        bool suppressed;
    };
    const std::vector<Row> rows{
        {"narrow neighbour", 20, "", "", "", "KLM1", false},
        {"wide neighbour", 50, "", "", "", "-", false},
        {"the parked aircraft's own option first", 0, "KLM2*", "", "", "KLM2", false},
        {"already to be placed: suppressed", 0, "KLM1*", "KLM1", "", "-", true},
        {"flying live as KLM1_: skipped", 0, "KLM1*", "", "KLM1_", "-", false},
    };
    for (const Row& row : rows) {
        setStands({{"A1", 0}, {"A2", 40}});
        stand(0).options = {option(1, 1, {10}, "KLM1"), option(2, 1, {10}, "KLM2", "", "PH-BXB")};
        stand(0).neighbours = {2};
        port.parked.clear();
        if (row.parkedRadiusMetres > 0) {
            stand(0).neighbourOccupied = true;
            port.parked.push_back({2, {baseLat + 40 * degPerMetre, baseLon}, row.parkedRadiusMetres * metre, "", "", ""});
        }
        if (!row.parkedOwnCallsign.empty())
            port.parked.push_back({1, {baseLat, baseLon}, 17 * metre, row.parkedOwnCallsign, "KLM", "B738"});
        fitList.clear();
        if (!row.fitCallsign.empty())
            fitList.push_back({0, 0, "KLM", "B738", 9, row.fitCallsign, "", "X"});
        liveCallsignsSnapshot.clear();
        if (!row.liveCallsign.empty())
            liveCallsignsSnapshot.insert(row.liveCallsign);
        RANDOM.set(row.parkedRadiusMetres > 0 ? false : true);

        std::vector<FitCandidate> candidates;
        lf_searchStands(makeDaySlot(1, 12), false, 2, candidates, {});
        EXPECT_EQ(candidates.empty() ? "-" : candidates.front().callsign, row.candidate) << row.name;
        const bool suppressed = stand(0).options[0].suppressed || stand(0).options[1].suppressed;
        EXPECT_EQ(suppressed, row.suppressed) << row.name;
        EXPECT_EQ(stand(0).options[0].number, 1u) << row.name;
        EXPECT_EQ(stand(0).occupied, row.candidate != "-") << row.name;
    }
}

TEST_F(StandsTest, SuppressedOptionsAreSkippedAndKeptByNewOptions)
{
    setStands({{"A1"}});
    stand(0).options = {option(1, 1, {10}), option(2, 1, {10}, "KLM2", "", "PH-BXB")};
    stand(0).options[1].suppressed = true;
    std::vector<FitCandidate> candidates;
    lf_searchStands(makeDaySlot(1, 10), false, 0, candidates, {});
    ASSERT_EQ(candidates.size(), 1u);
    EXPECT_EQ(candidates[0].callsign, "KLM1");
    FlightRecord other = aircraft;
    other.registration = "PH-BXC";
    ASSERT_TRUE(addRealOption(1, other, false, makeDaySlot(1, 20), false));
    EXPECT_EQ(stand(0).options.size(), 3u);
    EXPECT_EQ(stand(0).options[2].number, 3u);
}

TEST_F(StandsTest, NearestStandNameReadsThePublishedStands)
{
    setStands({{"A1", 0}, {"A2", 30}, {"A3", 100}});
    publishStandSnapshot();
    struct Row {
        double northMetres;
        bool onGround;
        std::string name;
    };
    for (const Row& row : {Row{1, true, "A1"}, {1, true, "A1"}, {20, true, "A2"}, {14, true, "A1"},
                           {100, true, "A3"}, {170, true, ""}, {0, false, ""}}) {
        port.setUser({{}, 0, row.onGround, true});
        EXPECT_EQ(nearestStandName({baseLat + row.northMetres * degPerMetre, baseLon}), row.name) << row.northMetres;
    }
    port.setUser({{}, 0, true, true});
    parkAirport.stands.clear();
    publishStandSnapshot();
    EXPECT_EQ(nearestStandName({baseLat, baseLon}), "");
}

} // namespace
} // namespace rtd

namespace rtd {
namespace {

TEST_F(StandsTest, RegistrationSlotAndUserStandsKeptFree)
{
    struct Row {
        unsigned day;
        int hh;
        bool soft;
        std::string found;
    };
    for (const Row& row : {Row{1, 0, false, "A2"}, {1, 47, false, "A2"}, {1, 1, false, "A2"}, {1, 2, false, "-"},
                           {2, 0, false, "-"}, {1, 0, true, "-"}}) {
        setStands({{"A1"}, {"A2", 30}});
        stand(1).options = {option(1, row.day, {row.hh}, "KLM1", "", "PH-BXA", "KLM", "B738", row.soft)};
        EXPECT_EQ(found(findStandByRegistrationSlot(parkAirport.stands.begin(), parkAirport.stands.end(), aircraft,
                                                    makeDaySlot(1, 0))),
                  row.found)
            << row.hh;
    }
    publishStandSnapshot();
    port.setUser({{baseLat + 29 * degPerMetre, baseLon}, 0, true, true});
    reservedStandName = "A1";
    keepUserStandsFree();
    EXPECT_TRUE(stand(0).keptFree);
    EXPECT_TRUE(stand(1).keptFree);
    reservedStandName.clear();
}

} // namespace
} // namespace rtd
