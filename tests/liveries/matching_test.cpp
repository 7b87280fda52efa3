#include "core/log.hpp"
#include "core/parameters.hpp"
#include "core/random.hpp"
#include "liveries/dbase.hpp"
#include "liveries/fixes.hpp"
#include "liveries/matching.hpp"
#include "liveries/regcodes.hpp"
#include "liveries/title_table.hpp"
#include "tables_support.hpp"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <set>

namespace rtd {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using test::livery;

// Light models P001/Q001 and the large A319/A320 are similar; registrations of the model
// database: PH-BXA (KLM, operator known), PH-BXB (KLM, operator unknown).
std::string matchingDbase()
{
    return test::requiredSections() + test::similarSection({{"P001", "Q001"}, {"A319", "A320"}}) + "<dbase>" +
           test::dbRow("PH-BXA", "KLM", "B738", "KLM") + test::dbRow("PH-BXB", "KLM", "B738") + "</dbase>\n";
}

LiveryList matchingLiveries()
{
    return {
        livery("DLH", "A320", "DLH A320 registered", "D-AIAA"),
        livery("DLH", "A320", "DLH A320 plain"),
        livery("DLH", "B738", "DLH B738 FSLTL_ livery"),
        livery("KLM", "B738", "KLM B738"),
        livery("KLM", "A320", "KLM A320"),
        livery("FDX", "A320", "FDX A320 freighter", "", true),
        livery("FDX", "A320", "FDX A320 passenger"),
        livery("ZZZ", "B748", "Generic B748"),
        livery("ZZZ", "C172", "Generic C172"),
        livery("KLM", "C172", "KLM C172"),
        livery("ZZZ", "GLF6", "Generic GLF6"),
        livery("PVT", "GLF6", "Private GLF6"),
        livery("KLM", "Q001", "KLM Q001"),
        livery("KLM", "EC35", "KLM EC35"),
        livery("KLM", "EC35", "KLM EC35 freighter", "", true),
    };
}

struct Aircraft {
    std::string airline;
    std::string model;
    std::string registration;
    AircraftCategory category = Large;
    bool cargo = false;
};

class MatchingTest : public test::LiveryTablesTest {
protected:
    MatchingTest()
    {
        installation.writeInput("dbase.xml", matchingDbase());
        readDbase();
        process(matchingLiveries());
        excludedTitles.clear();
        failedTitles.clear();
        matchStepCounters = {};
        MATCHING_DEPTH.set(4);
        LOG.set(true);
    }
    ~MatchingTest() override
    {
        excludedTitles.clear();
        failedTitles.clear();
        specialTitles.clear();
        matchStepCounters = {};
        MATCHING_DEPTH.set(MATCHING_DEPTH.defaultValue());
        LOG.set(LOG.defaultValue());
    }

    // A record over the aircraft's texts, which must outlive it.
    static MatchRecord recordOf(const Aircraft& aircraft)
    {
        MatchRecord record;
        record.airline = aircraft.airline;
        record.model = aircraft.model;
        record.registration = aircraft.registration;
        record.category = aircraft.category;
        record.cargo = aircraft.cargo ? 1 : 0;
        record.aircraftLine = [&aircraft] { return fmt::format("{}/{}/{}", aircraft.airline, aircraft.model, aircraft.registration); };
        record.pairText = [&aircraft] { return fmt::format("pair {} {}", aircraft.airline, aircraft.model); };
        return record;
    }

    // The live match: the title and the step it was counted at (0 when none was).
    std::pair<std::string, int> matchLive(const Aircraft& aircraft)
    {
        MatchRecord record = recordOf(aircraft);
        const auto before = matchStepCounters;
        matchLivery(record);
        for (std::size_t index = 0; index < before.size(); ++index)
            if (matchStepCounters[index] != before[index])
                return {std::string(record.livery), static_cast<int>(index) + 1};
        return {std::string(record.livery), 0};
    }

    static void refuse(std::string_view title, std::string_view model = "A320", std::string_view airline = "DLH")
    {
        reportLiveryNotCreated("TEST1", model, airline, LiveryRef(title));
    }
};

struct ChainCase {
    const char* name;
    Aircraft aircraft;
    int depth;
    const char* title;
    int step;
};

TEST_F(MatchingTest, EachStepOfTheChainWithRandomOff)
{
    const ChainCase cases[] = {
        {"registration", {"KLM", "B738", "D-AIAA"}, 4, "DLH A320 registered", 1},
        {"registration at depth 1", {"KLM", "B738", "D-AIAA"}, 1, "DLH A320 registered", 1},
        {"nothing else at depth 1", {"DLH", "A320", ""}, 1, "", 0},
        {"airline and model", {"DLH", "A320", ""}, 4, "DLH A320 plain", 2},
        {"database airline", {"XXX", "B738", "PH-BXA"}, 2, "KLM B738", 2},
        {"database airline needs its operator", {"XXX", "B738", "PH-BXB"}, 4, "", 0},
        {"similar model of the airline", {"DLH", "A319", ""}, 3, "DLH A320 plain", 3},
        {"similar model stops at depth 2", {"DLH", "A319", ""}, 2, "", 0},
        {"similar model of the database airline", {"XXX", "A319", "PH-BXA"}, 3, "KLM A320", 3},
        {"generic airline at depth 4", {"DLH", "B748", "", Heavy}, 4, "Generic B748", 4},
        {"heavy gets no generic livery at depth 3", {"DLH", "B748", "", Heavy}, 3, "", 0},
        {"private tries the generic airline first", {"PVT", "GLF6", "", Buzjets}, 4, "Generic GLF6", 4},
        {"private heavy at depth 2", {"PVT", "B748", "", Heavy}, 2, "Generic B748", 4},
        {"light aircraft, generic airline at depth 3", {"DLH", "C172", "", Light}, 3, "Generic C172", 4},
        {"any livery of the model", {"DLH", "EC35", "", Rotorcraft}, 4, "KLM EC35", 5},
        {"any livery of a similar model", {"DLH", "P001", "", Light}, 4, "KLM Q001", 6},
        {"large aircraft never reach the model steps", {"DLH", "EC35", "", Large}, 4, "", 0},
        {"no airline skips the airline steps", {"", "B738", "PH-BXA"}, 4, "", 0},
        {"nothing installed", {"DLH", "B77W", "", Heavy}, 4, "", 0},
    };
    for (const ChainCase& test : cases) {
        SCOPED_TRACE(test.name);
        MATCHING_DEPTH.set(test.depth);
        EXPECT_EQ(matchLive(test.aircraft), std::make_pair(std::string(test.title), test.step));
    }
}

TEST_F(MatchingTest, CargoAircraftPreferCargoLiveriesButNotAtTheModelSteps)
{
    const ChainCase cases[] = {
        {"cargo livery of the airline", {"FDX", "A320", "", Large, true}, 4, "FDX A320 freighter", 2},
        {"passenger livery of the airline", {"FDX", "A320", "", Large, false}, 4, "FDX A320 passenger", 2},
        {"cargo falls back to passenger", {"KLM", "B738", "", Large, true}, 4, "KLM B738", 2},
        {"cargo livery of the model", {"DLH", "EC35", "", Rotorcraft, true}, 4, "KLM EC35 freighter", 5},
        {"no passenger livery of a similar model", {"DLH", "P001", "", Light, true}, 4, "", 0},
    };
    for (const ChainCase& test : cases) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(matchLive(test.aircraft), std::make_pair(std::string(test.title), test.step));
    }
}

TEST_F(MatchingTest, RandomPicksSpreadOverTheListButNeverTakeSpecialTitles)
{
    RANDOM.set(true);
    seedRandomEngine(7);
    std::set<std::string> picked;
    for (int draw = 0; draw < 100; ++draw)
        picked.insert(matchLive({"DLH", "A320", ""}).first);
    EXPECT_THAT(picked, ElementsAre("DLH A320 plain", "DLH A320 registered"));

    specialTitles.push_back(findLiveryTitle("DLH A320 plain"));
    picked.clear();
    for (int draw = 0; draw < 100; ++draw)
        picked.insert(matchLive({"DLH", "A320", ""}).first);
    EXPECT_THAT(picked, ElementsAre("DLH A320 registered"));
}

TEST_F(MatchingTest, SpecialTitlesMatchOnlyTheirRegistrations)
{
    specialTitles.push_back(findLiveryTitle("DLH A320 plain"));
    EXPECT_EQ(matchLive({"DLH", "A320", ""}).first, "DLH A320 registered"); // the first usable entry
    specialTitles.assign(1, findLiveryTitle("DLH A320 registered"));        // emptied and filled again
    EXPECT_EQ(matchLive({"DLH", "A320", ""}).first, "DLH A320 plain");
    specialTitles.push_back(findLiveryTitle("DLH A320 plain"));
    EXPECT_EQ(matchLive({"DLH", "A320", ""}), std::make_pair(std::string(), 0));
    EXPECT_EQ(matchLive({"DLH", "A320", "D-AIAA"}), std::make_pair(std::string("DLH A320 registered"), 1));
}

TEST_F(MatchingTest, RefusedTitlesArePassedOverAndTheChainGoesOn)
{
    refuse("DLH A320 plain");
    EXPECT_EQ(matchLive({"DLH", "A320", ""}), std::make_pair(std::string("DLH A320 registered"), 2));
    refuse("DLH A320 registered");
    EXPECT_EQ(matchLive({"KLM", "B738", "D-AIAA"}), std::make_pair(std::string("KLM B738"), 2));
    EXPECT_EQ(matchLive({"DLH", "A320", ""}), std::make_pair(std::string(), 0));
    refuse("Generic C172", "C172", "ZZZ");
    EXPECT_EQ(matchLive({"DLH", "C172", "", Light}), std::make_pair(std::string("KLM C172"), 5));
    refuse("Generic GLF6", "GLF6", "ZZZ");
    EXPECT_EQ(matchLive({"PVT", "GLF6", "", Buzjets}), std::make_pair(std::string("Private GLF6"), 2));
}

TEST_F(MatchingTest, LiveMatchesAreCountedLoggedAndMarkFsltlTitles)
{
    const Aircraft fsltl{"DLH", "B738", ""};
    MatchRecord record = recordOf(fsltl);
    matchLivery(record);
    EXPECT_EQ(record.fsltl, 1);
    EXPECT_TRUE(logHas("          DLH/B738/ =2= DLH B738 FSLTL_ livery"));

    const Aircraft plain{"KLM", "B738", ""};
    record = recordOf(plain);
    record.fsltl = 1;
    matchLivery(record);
    EXPECT_EQ(record.fsltl, 0);
    matchLive({"DLH", "B77W", "", Heavy});
    EXPECT_THAT(matchStepCounters, ElementsAre(0, 2, 0, 0, 0, 0));

    LOG.set(false);
    matchLive({"FDX", "A320", ""});
    EXPECT_THAT(log(), Not(HasSubstr("FDX A320 passenger")));
}

TEST_F(MatchingTest, ParkedAircraftTakeTheStandsCargoFlagAndAreNotCounted)
{
    const Aircraft passenger{"FDX", "A320", ""};
    MatchRecord record = recordOf(passenger);
    EXPECT_TRUE(matchStaticLivery(record, "GATE 1", true));
    EXPECT_EQ(record.livery, "FDX A320 freighter");
    EXPECT_EQ(record.cargo, 1);
    EXPECT_TRUE(logHas("          FDX/A320/ =2= FDX A320 freighter"));

    const Aircraft registered{"KLM", "B738", "D-AIAA", Large, false};
    record = recordOf(registered);
    EXPECT_TRUE(matchStaticLivery(record, "CARGO 2", true));
    EXPECT_EQ(record.livery, "DLH A320 registered");
    EXPECT_EQ(record.cargo, 0); // the registration matched before the stand was looked at

    const Aircraft noAirline{"", "B738", "PH-BXA"};
    record = recordOf(noAirline);
    EXPECT_TRUE(matchStaticLivery(record, "A1", false));
    EXPECT_EQ(record.livery, "KLM B738");

    const Aircraft similarOfTheDatabaseAirline{"", "A319", "PH-BXA"};
    record = recordOf(similarOfTheDatabaseAirline);
    EXPECT_TRUE(matchStaticLivery(record, "A3", false));
    EXPECT_EQ(record.livery, "KLM A320");

    const Aircraft nothing{"DLH", "B77W", "", Heavy};
    record = recordOf(nothing);
    EXPECT_FALSE(matchStaticLivery(record, "A2", false));
    EXPECT_TRUE(logHas("A2      : pair DLH B77W no livery match ..."));

    EXPECT_THAT(matchStepCounters, ElementsAre(0, 0, 0, 0, 0, 0));
    EXPECT_EQ(record.fsltl, 0);
}

TEST_F(MatchingTest, ParkedAircraftKeepAPresetLiveryUnlessItWasRefused)
{
    const Aircraft parked{"DLH", "A320", ""};
    MatchRecord record = recordOf(parked);
    record.livery = findLiveryTitle("DLH A320 registered");
    EXPECT_TRUE(matchStaticLivery(record, "B1", false));
    EXPECT_EQ(record.livery, "DLH A320 registered");
    EXPECT_TRUE(logHas("          DLH/A320/ =s= DLH A320 registered"));

    refuse("DLH A320 registered");
    EXPECT_TRUE(matchStaticLivery(record, "B1", false));
    EXPECT_EQ(record.livery, "DLH A320 plain");

    refuse("DLH A320 plain");
    record.livery = findLiveryTitle("DLH A320 plain");
    EXPECT_FALSE(matchStaticLivery(record, "B1", false));
    EXPECT_TRUE(record.livery.empty());
}

TEST_F(MatchingTest, SummaryListsEveryStepAndTheRefusedAircraft)
{
    const std::string opening = "\n" + std::string(31, '*') + " live traffic livery matching summary " + std::string(31, '*');
    const std::string closing = std::string(100, '*') + "\n";
    matchLive({"DLH", "A320", ""});
    matchLive({"DLH", "EC35", "", Rotorcraft});
    EXPECT_THAT(matchingSummaryLines(), ElementsAre(opening, "Matches at step: ", "  1: 0", "  2: 1", "  3: 0", "  4: 0",
                                                    "  5: 1", "  6: 0", closing));

    refuse("DLH A320 plain");
    refuse("Generic C172", "C172", "ZZZ");
    refuse("DLH A320 plain");
    EXPECT_THAT(matchingSummaryLines(),
                ElementsAre(opening, "Matches at step: ", "  1: 0", "  2: 1", "  3: 0", "  4: 0", "  5: 1", "  6: 0",
                            "\nCould not be created by MSFS:", "  A320 DLH", "  C172 ZZZ", closing));
}

TEST_F(MatchingTest, TheSummaryIsLoggedOnceADay)
{
    logDailyMatchingSummary(secondsPerDay - 1);
    EXPECT_THAT(log(), Not(HasSubstr("livery matching summary")));
    logDailyMatchingSummary(secondsPerDay);
    EXPECT_THAT(log(), HasSubstr("live traffic livery matching summary"));
    EXPECT_TRUE(logHas("  6: 0"));
}

} // namespace
} // namespace rtd
