#include "airports/files/stand_option.hpp"
#include "core/random.hpp"
#include "liveries/dbase.hpp"
#include "liveries/lookup_tables.hpp"
#include "tables_support.hpp"
#include "traffic/engine/flight_matching.hpp"
#include "traffic/records.hpp"

#include <gtest/gtest.h>
#include <cmath>
#include <fmt/format.h>
#include <tuple>

namespace rtd {
namespace {

constexpr double metre = 1.0 / 1852;

// The model database of the livery tests, plus PH-BXA (KLM, operator MPH) and PH-BXB (KLM).
class RecordsTest : public test::LiveryTablesTest {
protected:
    RecordsTest()
    {
        installation.writeInput("dbase.xml", test::requiredSections() + "<dbase>" +
                                                 test::dbRow("PH-BXA", "KLM", "B738", "MPH") +
                                                 test::dbRow("PH-BXB", "KLM", "A320") + "</dbase>\n");
        readDbase();
    }
};

TrafficRecord aircraft(std::string callsign, std::string airline = "", std::string type = "", std::string reg = "",
                       std::string origin = "", std::string destination = "")
{
    TrafficRecord record;
    record.callsign = std::move(callsign);
    record.airline = std::move(airline);
    record.icaoType = std::move(type);
    record.registration = std::move(reg);
    record.origin = std::move(origin);
    record.destination = std::move(destination);
    return record;
}

TEST(RecordText, AirlineCallsign)
{
    struct Row { const char* callsign; bool airline; const char* expected; };
    for (const Row& row : {Row{"KLM1234", true, "KLM"}, Row{"DLH9", true, "DLH"}, Row{"KLm1234", false, "-"},
                           Row{"KLM", false, "-"}, Row{"KLMA12", false, "-"}, Row{"\xC3\x84LM1", false, "-"},
                           Row{"KL\xFF" "1", false, "-"}, Row{"PHBXA", false, "-"}}) {
        TrafficRecord record = aircraft(row.callsign, "-");
        EXPECT_EQ(isAirlineCallsign(record), row.airline) << row.callsign;
        EXPECT_EQ(record.airline, row.expected) << row.callsign;
    }
}

TEST(RecordText, PaddedFieldsNeverCut)
{
    const std::string blanks(8, ' ');
    struct Row { TrafficRecord record; std::string line; std::string pair; };
    for (const Row& row : {
             Row{aircraft("KLM12", "KLM", "B738"), "KLM12    " + blanks + " " + blanks + " KLM B738", "KLM12     KLM B738"},
             Row{aircraft("CALLSIGN10", "PVT", "C172", "PH-ABC", "EHAM", "LEMD"),
                 "CALLSIGN10 PH-ABC   EHAM->LEMD PVT C172", "CALLSIGN10 PH-ABC PVT C172"},
             Row{aircraft("DLH1", "DLHX", "A3", "D-AIABCDEFG", "AB", ""), "DLH1     D-AIABCDEFG AB ->    DLHX A3  ",
                 "DLH1     D-AIABCDEFG DLHX A3  "},
         }) {
        EXPECT_EQ(aircraftLine(row.record), row.line);
        EXPECT_EQ(pairText(row.record), row.pair);
    }
    EXPECT_TRUE(sameAircraft(aircraft("A", "KLM", "B738"), aircraft("B", "KLM", "B738", "PH-X")));
    EXPECT_FALSE(sameAircraft(aircraft("A", "KLM", "B738"), aircraft("A", "KLM", "B739")));
}

TEST_F(RecordsTest, FlightRecordTakesTheProfileOfItsCategory)
{
    struct Row { const char* type; std::uint32_t flare, ground, rotation, climb; double rotationDeg, climbDeg; };
    for (const Row& row : {Row{"C172", 250, 250, 100, 200, -9, -15}, Row{"GLF6", 300, 300, 200, 250, -8, -18},
                           Row{"A320", 400, 350, 200, 300, -6, -16.5}, Row{"B748", 450, 450, 250, 400, -5, -12.5},
                           Row{"F16", 150, 150, 100, 200, -6, -20}, Row{"EC35", 100, 100, 100, 100, -20, -30}}) {
        for (const std::uint32_t seed : {1U, 2U, 3U, 4U}) {
            seedRandomEngine(seed);
            FlightRecord flight;
            flight.hexid = 99;
            constructFlightRecord(flight, aircraft("KLM1", "KLM", row.type, "PH-BXA"));
            EXPECT_EQ(static_cast<const TrafficRecord&>(flight), aircraft("KLM1", "KLM", row.type, "PH-BXA"));
            EXPECT_EQ(flight.category, Large);
            EXPECT_EQ(flight.hexid, 0U);
            EXPECT_EQ(flight.halfSpan, wingspanOf(row.type));
            EXPECT_EQ(std::tuple(flight.flarePolls, flight.onGroundPolls, flight.rotationPolls, flight.climbPitchPolls),
                      std::tuple(row.flare, row.ground, row.rotation, row.climb)) << row.type;
            const double rotation = flight.rotationPitch / radiansPerDegree;
            const double climb = flight.climbPitch / radiansPerDegree;
            EXPECT_TRUE(std::abs(rotation - row.rotationDeg * 1.025) < 1e-9 ||
                        std::abs(rotation - row.rotationDeg * 0.975) < 1e-9) << row.type << " " << rotation;
            EXPECT_TRUE(std::abs(climb - row.climbDeg * 1.05) < 1e-9 || std::abs(climb - row.climbDeg * 0.95) < 1e-9)
                << row.type << " " << climb;
        }
    }
    EXPECT_THROW(static_cast<void>(categoryName(static_cast<AircraftCategory>(6))), std::out_of_range);
}

TEST_F(RecordsTest, MatchesThroughTheFlightRecord)
{
    process({test::livery("KLM", "B738", "KLM B738 FSLTL_ one"), test::livery("ZZZ", "C172", "Generic C172"),
             test::livery("ZZZ", "C172", "Cargo C172", "", true)});
    FlightRecord flight;
    constructFlightRecord(flight, aircraft("KLM1", "KLM", "B738", "PH-BXC"));
    matchLivery(flight);
    EXPECT_EQ(flight.liveryTitle, "KLM B738 FSLTL_ one");
    EXPECT_EQ(flight.fsltlLivery, 1);
    FlightRecord parked;
    constructFlightRecord(parked, aircraft("", "", "C172"));
    EXPECT_TRUE(matchStaticLivery(parked, "A1", true));
    EXPECT_EQ(parked.liveryTitle, "Cargo C172");
    EXPECT_EQ(parked.cargo, 1);
}

// ---- stand options -------------------------------------------------------------------------

StandOption option(std::uint32_t number, std::uint64_t halfHours = 0, std::string callsign = "",
                   std::string coupled = "", bool soft = false)
{
    return {"KLM", "B738", "PH-BXC", std::move(callsign), std::move(coupled), halfHours, number, 3, true, soft};
}

TEST_F(RecordsTest, TestRangeLooksBackIntoThePreviousDay)
{
    struct Row { std::uint64_t halfHours; int start, offset; bool found; int remainder; bool logged; };
    for (const Row& row : {Row{0, 2, 5, false, 3, false}, Row{1U << 1, 2, 5, true, -1, false},
                           Row{1U << 3, 2, 5, false, 3, false}, Row{0, 10, 4, false, -1, false},
                           Row{1U << 6, 10, 4, true, -1, false}, Row{0, 47, 47, false, -1, false},
                           Row{0, 0, 100, false, 46, false}, Row{0, 48, 2, false, -1, true},
                           Row{0, -1, 2, false, -1, true}}) {
        int remainder = 7;
        EXPECT_EQ(testRange(option(1, row.halfHours), row.start, row.offset, remainder), row.found) << row.start;
        EXPECT_EQ(remainder, row.remainder) << row.start << " " << row.offset;
        EXPECT_EQ(logHas(fmt::format("===> exception half hour {} outside 0..47 in testRange, start: {}, offset: {}",
                                     row.start, row.start, row.offset)),
                  row.logged);
    }
}

TEST(StandOptions, SlotCheckAgainstTheRadius)
{
    struct Row { double sizeM, radiusM; bool fits; };
    for (const Row& row : {Row{15, 14, true}, Row{15, 13, false}, Row{15, 21, true}, Row{15, 25, false},
                           Row{15, 15, true}, Row{20, 30, true}, Row{20, 31, false}, Row{20, 18.3, true}}) {
        EXPECT_EQ(slotCheck(row.radiusM * metre, row.sizeM * metre), row.fits) << row.sizeM << " " << row.radiusM;
    }
}

TEST(StandOptions, AirlineTypeOrCallsign)
{
    const TrafficRecord klm = aircraft("KLM1", "KLM", "B738");
    const TrafficRecord dlh = aircraft("DLH1", "DLH", "B738");
    struct Row { StandOption option; std::string_view text; const TrafficRecord& record; bool matches; };
    for (const Row& row : {Row{option(1), "X", klm, true}, Row{option(1), "X", dlh, false},
                           Row{option(1, 0, "DLH1"), "DLH1", dlh, true}, Row{option(1, 0, "", "DLH1"), "DLH1", dlh, true},
                           Row{option(0), "X", klm, false}, Row{option(1, 0, "DLH1", "", true), "DLH1", dlh, false}}) {
        EXPECT_EQ(matchesAirlineType(row.text, row.record, row.option), row.matches);
        EXPECT_EQ(matchesAirlineTypeView({option(0), row.option}, row.text, row.record), row.matches);
    }
    EXPECT_FALSE(matchesAirlineTypeView({option(1)}, "", klm));
}

TEST_F(RecordsTest, BuildStandOption)
{
    std::vector<StandOption> options{option(1), option(4), option(0), option(0)};
    const TrafficRecord record = aircraft("DLH12", "DLH", "A321");
    struct Row { const char* reg; const char* callsign; bool soft; std::uint32_t number; const char* airline, *type, *stored; };
    for (const Row& row : {Row{"PH-BXA", "KLM1_", false, 5, "MPH", "B738", "KLM1"},
                           Row{"PHBXB", "KLM2__", true, 6, "KLM", "A320", "KLM2_"},
                           Row{"D-AIAA", "DLH12", false, 7, "DLH", "A321", "DLH12"}}) {
        EXPECT_EQ(buildStandOption(options, record, row.soft, 2, row.callsign, row.reg, 5), row.number);
        EXPECT_EQ(options.back(), (StandOption{row.airline, row.type, row.reg, row.stored, "", 1U << 5, row.number, 2,
                                               true, row.soft}));
    }
    EXPECT_EQ(options.size(), 5U);
    EXPECT_THROW(buildStandOption(options, record, false, 2, "X", "Y", 48), std::out_of_range);
    EXPECT_EQ(options.size(), 5U);
    std::vector<StandOption> voids{option(0)};
    EXPECT_EQ(buildStandOption(voids, record, false, 1, "", "", 0), 1U);
    EXPECT_EQ(voids.size(), 1U);
}

TEST_F(RecordsTest, BuildStandOptionWithHourRecordsTheCallsigns)
{
    struct Row { StandOption before; std::uint32_t number; const char* callsign; int slot; bool found; StandOption after; };
    for (const Row& row : {
             Row{option(2), 2, "KLM1_", 4, true, option(2, 1U << 4, "KLM1")},
             Row{option(2, 1, "KLM1"), 2, "", 4, true, option(2, 1 | 1U << 4, "KLM1")},
             Row{option(2, 0, "KLM1"), 2, "KLM1", 0, true, option(2, 1, "KLM1")},
             Row{option(2, 0, "KLM1", "KLM9"), 2, "KLM9", 0, true, option(2, 1, "KLM1", "KLM9")},
             Row{option(2, 0, "KLM1"), 2, "KLM7", 0, true, option(2, 1, "KLM1", "KLM7")},
             Row{option(2, 0, "KLM1", "KLM9"), 2, "KLM7", 0, true, option(2, 1, "KLM1", "KLM7")},
             Row{option(2), 3, "KLM1", 0, false, option(2)},
             Row{option(0), 0, "KLM1", 0, false, option(0)},
             Row{option(2), 2, "KLM1", 48, false, option(2)},
         }) {
        std::vector<StandOption> options{option(1), row.before};
        EXPECT_EQ(buildStandOptionWithHour(options, 6, row.slot, row.number, row.callsign), row.found) << row.callsign;
        EXPECT_EQ(options[1], row.after) << row.callsign << " " << row.slot;
    }
    EXPECT_TRUE(logHas("Update Option exception half hour 48 outside 0..47 day=6 hh=48"));
}

} // namespace
} // namespace rtd
