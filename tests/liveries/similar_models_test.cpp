#include "core/parameters.hpp"
#include "core/random.hpp"
#include "liveries/lookup_tables.hpp"
#include "liveries/similar_models.hpp"
#include "tables_support.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace rtd {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;
using test::livery;

// The database groups P001,Q001,R001 and S001,T001.
class SimilarModelsTest : public test::LiveryTablesTest {};

TEST_F(SimilarModelsTest, OnlyModelsWithALiveryAreSimilar)
{
    process({livery("ABC", "R001", "R one")});

    EXPECT_THAT(similarModels.at("P001"), ElementsAre("R001"));
    EXPECT_THAT(similarModels.at("Q001"), ElementsAre("R001"));
    EXPECT_EQ(similarModels.count("R001"), 0u);
    EXPECT_EQ(similarModels.count("S001"), 0u);
    EXPECT_EQ(similarModels.count("T001"), 0u);
    EXPECT_TRUE(logHas("2 similar model definitions"));
}

TEST_F(SimilarModelsTest, AnAirlineTriesTheSimilarModelsItFlies)
{
    process({livery("XXX", "Q001", "X Q"), livery("YYY", "R001", "Y R", "", true)});

    EXPECT_THAT(similarModels.at("P001"), ElementsAre("Q001", "R001"));
    EXPECT_THAT(similarModels.at("Q001"), ElementsAre("R001"));
    EXPECT_THAT(similarModels.at("R001"), ElementsAre("Q001"));
    const auto& airline = airlineSimilarModels.at("XXX");
    EXPECT_THAT(airline.at("P001"), ElementsAre("Q001"));
    EXPECT_THAT(airline.at("R001"), ElementsAre("Q001"));
    EXPECT_EQ(airline.count("Q001"), 0u);

    EXPECT_THAT(similarAirlineModels("XXX", "P001"), ElementsAre("Q001"));
    EXPECT_THAT(similarAirlineModels("XXX", "Q001"), IsEmpty());
    EXPECT_THAT(similarAirlineModels("ZZZ", "P001"), IsEmpty());
    EXPECT_THAT(similarAirlineModels("YYY", "P001"), ElementsAre("R001"));
}

TEST_F(SimilarModelsTest, GenericChoicesFallBackToTheCategory)
{
    process({livery("XXX", "Q001", "X Q"), livery("XXX", "R001", "X R"), livery("ABC", "C172", "Cessna"),
             livery("ABC", "EC35", "Heli")});

    EXPECT_THAT(similarGenericModels("P001"), ElementsAre("Q001", "R001"));
    // Light: C172, Q001, R001 (the database does not list the P, Q and R models).
    EXPECT_THAT(similarGenericModels("A001"), ElementsAre("C172"));
    EXPECT_THAT(similarGenericModels("EC35"), ElementsAre("EC35"));
    EXPECT_THAT(similarGenericModels("GLF6"), IsEmpty());
    for (const char* model : {"A320", "B77W", "F16"})
        EXPECT_THAT(similarGenericModels(model), IsEmpty()) << model;
}

TEST_F(SimilarModelsTest, NoLightLiveryNoLightChoice)
{
    process({livery("DLH", "B738", "DLH 1")});

    EXPECT_THAT(similarGenericModels("C172"), IsEmpty());
    EXPECT_TRUE(similarModels.empty());
    EXPECT_TRUE(airlineSimilarModels.empty());
}

TEST_F(SimilarModelsTest, RandomChoicesStayAmongTheCandidates)
{
    RANDOM.set(true);
    seedRandomEngine(7);
    process({livery("XXX", "Q001", "X Q"), livery("XXX", "R001", "X R")});

    for (int i = 0; i < 20; ++i) {
        EXPECT_THAT(similarGenericModels("P001"), UnorderedElementsAre("Q001", "R001"));
        const auto& picked = similarGenericModels("L999");
        ASSERT_EQ(picked.size(), 1u);
        EXPECT_TRUE(picked[0] == "Q001" || picked[0] == "R001") << picked[0];
    }
}

TEST_F(SimilarModelsTest, ARestartKeepsEarlierEntries)
{
    process({livery("XXX", "R001", "X R")});
    process({livery("YYY", "Q001", "Y Q"), livery("YYY", "T001", "Y T")});

    EXPECT_THAT(similarModels.at("P001"), ElementsAre("R001"));
    EXPECT_THAT(similarModels.at("R001"), ElementsAre("Q001"));
    EXPECT_THAT(similarModels.at("S001"), ElementsAre("T001"));
    EXPECT_THAT(similarAirlineModels("YYY", "R001"), ElementsAre("Q001"));
}

} // namespace
} // namespace rtd
