#include "core/display.hpp"
#include "core/parameters.hpp"
#include "fixtures/regcode_fixture.hpp"
#include "liveries/lookup_tables.hpp"
#include "liveries/title_table.hpp"
#include "support/temp_folder.hpp"
#include "tables_support.hpp"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace rtd {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::Pair;
using ::testing::UnorderedElementsAre;
using test::livery;

class LookupTablesTest : public test::LiveryTablesTest {};

// Light models that the model database does not list: "L000", "L001", ...
LiveryList lightLiveries(std::string_view airline, int count)
{
    LiveryList list;
    for (int i = 0; i < count; ++i)
        list.push_back(livery(std::string(airline), fmt::format("L{:03}", i), fmt::format("Light {}", i)));
    return list;
}

TEST(TitleArenaTest, KeepsEveryTextInPlace)
{
    TitleArena arena;
    const LiveryRef first = arena.store("first title");
    const std::string longText(TitleArena::blockSize + 10, 'x');
    const LiveryRef oversized = arena.store(longText);
    std::vector<LiveryRef> more;
    for (int i = 0; i < 20000; ++i)
        more.push_back(arena.store(fmt::format("title number {}", i)));
    EXPECT_EQ(first, "first title");
    EXPECT_EQ(oversized, longText);
    EXPECT_EQ(more.front(), "title number 0");
    EXPECT_EQ(more.back(), "title number 19999");
    EXPECT_TRUE(arena.store("").empty());
}

TEST(TitleIndexTest, StoresEachTextOnce)
{
    TitleIndex index;
    const LiveryRef stored = index.intern("Airline A320");
    EXPECT_EQ(index.intern(std::string("Airline A320")).data(), stored.data());
    EXPECT_EQ(index.find("Airline A320").data(), stored.data());
    EXPECT_TRUE(index.find("Airline A32").empty());
    EXPECT_TRUE(index.find("airline a320").empty());
    EXPECT_EQ(index.size(), 1u);
}

TEST_F(LookupTablesTest, AirlineAndModelTablesSplitPassengerAndCargo)
{
    process({livery("DLH", "B738", "DLH 2"), livery("DLH", "B738", "DLH 1"), livery("DLH", "B748", "DLH cargo", "", true),
             livery("FDX", "B748", "FDX cargo", "", true), livery("KLMX", "A320", "KLM long code")});

    const auto& dlhTitles = liveryTitleTable.at("DLH").at("B738");
    ASSERT_EQ(dlhTitles.size(), 2u);
    EXPECT_EQ(dlhTitles[0].title, "DLH 1");
    EXPECT_EQ(dlhTitles[1].title, "DLH 2");
    EXPECT_THAT(airlinePaxLiveries.at("DLH").at("B738"), ElementsAre("DLH 1", "DLH 2"));
    EXPECT_EQ(airlinePaxLiveries.at("DLH").count("B748"), 0u);
    EXPECT_THAT(airlineCargoLiveries.at("DLH").at("B748"), ElementsAre("DLH cargo"));
    EXPECT_EQ(airlinePaxLiveries.count("FDX"), 0u);
    EXPECT_THAT(modelCargoLiveries.at("B748"), UnorderedElementsAre("DLH cargo", "FDX cargo"));
    EXPECT_EQ(modelPaxLiveries.count("B748"), 0u);

    EXPECT_TRUE(hasAirlineModel("FDX", "B748"));
    EXPECT_FALSE(hasAirlineModel("FDX", "B738"));
    EXPECT_FALSE(hasAirlineModel("UAL", "B738"));
    EXPECT_TRUE(hasModelLivery("B748"));
    EXPECT_FALSE(hasModelLivery("A388"));
    EXPECT_THAT(listAirlineCodes(), UnorderedElementsAre("DLH", "FDX", "KLM"));

    EXPECT_TRUE(logHas("3 airlines, 2 pax aircraft models and 1 cargo aircraft models"));
    EXPECT_EQ(mainWindowGlobals.liveryCount.load(), 5);
    EXPECT_THAT(display.invalidated, Contains(headerBand));
}

TEST_F(LookupTablesTest, LargeAircraftOnlySwitchOffTheMissingCategories)
{
    HIGH_PERF_AIRCRAFT.set(false);
    process({livery("DLH", "B738", "DLH 1"), livery("DLH", "B738", "DLH 2")});

    for (const char* name : {"Light", "Buzjets", "Heavy", "HighPerf", "Rotorcraft"})
        EXPECT_TRUE(logHas(fmt::format("Category {}: No livery found", name))) << name;
    EXPECT_TRUE(logHas("Category Large: 2 pax liveries"));
    EXPECT_TRUE(logHas("  B738"));
    EXPECT_TRUE(logHas("No generic liveries"));
    EXPECT_TRUE(logHas("LIGHT_AIRCRAFT temporary switched off because you do not have light aircraft installed"));
    EXPECT_TRUE(logHas("HELICOPTERS temporary switched off because you do not have Helicopters installed"));
    EXPECT_THAT(log(), Not(HasSubstr("High Perf")));
    EXPECT_FALSE(LIGHT_AIRCRAFT.value());
    EXPECT_FALSE(HELICOPTERS.value());
    const std::string stored = test::readText(installed("parameters.xml"));
    EXPECT_THAT(stored, HasSubstr("LIGHT_AIRCRAFT"));
    EXPECT_THAT(stored, Not(HasSubstr("HIGH_PERF_AIRCRAFT")));
    EXPECT_THAT(display.enabledControls,
                UnorderedElementsAre(Pair(LIGHT_AIRCRAFT.controlId(), false), Pair(HIGH_PERF_AIRCRAFT.controlId(), false),
                                     Pair(HELICOPTERS.controlId(), false)));
}

TEST_F(LookupTablesTest, GenericLiveriesCountInTheirModel)
{
    process({livery("AAA", "B738", "A 1"), livery("AAA", "B738", "A 2"), livery("ZZZ", "B738", "Z 1"),
             livery("ZZZ", "B738", "Z 2"), livery("ZZZ", "B738", "Z 3")});

    EXPECT_EQ(modelPaxLiveries.at("B738").size(), 5u);
    EXPECT_TRUE(logHas("1 model have a generic livery\n  B738"));
    EXPECT_TRUE(logHas("Category Large: 5 pax liveries"));
}

TEST_F(LookupTablesTest, CategoryLineCountsCargoApart)
{
    process({livery("FDX", "C172", "Cargo Cessna", "", true), livery("DLH", "B738", "DLH 1")});

    EXPECT_TRUE(logHas("Category Light: 0 pax liveries and 1 cargo liverie\n  C172"));
    EXPECT_THAT(lightLiveryModels, ElementsAre("C172"));
    EXPECT_TRUE(LIGHT_AIRCRAFT.value());
}

TEST_F(LookupTablesTest, ModelLinesHoldTwentyModels)
{
    process(lightLiveries("ZZZ", 45));

    const std::string line20 = "  L000,L001,L002,L003,L004,L005,L006,L007,L008,L009,L010,L011,L012,L013,L014,L015,"
                               "L016,L017,L018,L019";
    const std::string line40 = "  L020,L021,L022,L023,L024,L025,L026,L027,L028,L029,L030,L031,L032,L033,L034,L035,"
                               "L036,L037,L038,L039";
    const std::string lines = fmt::format("{}\n{}\n  L040,L041,L042,L043,L044", line20, line40);
    EXPECT_TRUE(logHas("45 models have a generic livery\n" + lines));
    EXPECT_TRUE(logHas("Category Light: 45 pax liveries\n" + lines));
    EXPECT_EQ(lightLiveryModels.size(), 45u);

    clearLookupTables();
    process(lightLiveries("ZZZ", 20));
    EXPECT_TRUE(logHas("20 models have a generic livery\n" + line20 + "\nCategory Light: 20 pax liveries"));
}

TEST_F(LookupTablesTest, ARestartKeepsEveryAirlineThatWasThere)
{
    process({livery("DLH", "B738", "DLH first"), livery("KLM", "A320", "KLM first")});
    const LiveryRef kept = findLiveryTitle("DLH first");

    process({livery("DLH", "B738", "DLH second"), livery("DLH", "A320", "DLH A320"), livery("FDX", "B748", "FDX new")});

    EXPECT_THAT(airlinePaxLiveries.at("DLH").at("B738"), ElementsAre("DLH first"));
    EXPECT_FALSE(hasAirlineModel("DLH", "A320"));
    EXPECT_THAT(modelPaxLiveries.at("B738"), ElementsAre("DLH first"));
    EXPECT_THAT(modelPaxLiveries.at("B748"), ElementsAre("FDX new"));
    EXPECT_TRUE(findLiveryTitle("DLH second").empty());
    EXPECT_EQ(findLiveryTitle("DLH first").data(), kept.data());
    EXPECT_THAT(listAirlineCodes(), UnorderedElementsAre("DLH", "KLM", "FDX"));
    EXPECT_TRUE(logHas("3 airlines, 3 pax aircraft models and 0 cargo aircraft models"));
}

TEST_F(LookupTablesTest, ViewsOutliveALargeSecondLoad)
{
    process({livery("ABC", "B738", "Short"), livery("ABC", "A320", std::string(300, 't'))});
    const LiveryRef shortTitle = findLiveryTitle("Short");
    const LiveryRef longTitle = airlinePaxLiveries.at("ABC").at("A320").front();

    process(fixtures::fixtureLiveries(60000));

    EXPECT_EQ(shortTitle, "Short");
    EXPECT_EQ(longTitle, std::string(300, 't'));
    EXPECT_EQ(findLiveryTitle("Short").data(), shortTitle.data());
    EXPECT_GT(titleIndex().size(), 50000u);
}

} // namespace
} // namespace rtd
