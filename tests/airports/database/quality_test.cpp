#include "airports/airport_support.hpp"

#include "airports/database/quality.hpp"
#include "core/parameters.hpp"

#include <gmock/gmock.h>

namespace rtd {
namespace {

StandOption use(std::uint32_t day, std::uint64_t halfHours, bool soft = false, std::uint32_t number = 1)
{
    StandOption option;
    option.day = day;
    option.halfHours = halfHours;
    option.soft = soft;
    option.number = number;
    return option;
}

// `learned` stands with the options, then `empty` stands without any; radius 30 m.
std::vector<ParkingPosition> stands(int learned, std::vector<StandOption> options, int empty)
{
    std::vector<ParkingPosition> result;
    for (int i = 0; i < learned + empty; ++i)
        result.emplace_back("S" + std::to_string(i), i < learned ? options : std::vector<StandOption>{}, 0.0, 0.0, 0.0,
                            30.0, false, false, false);
    return result;
}

TEST(QualityTest, FactorsAndTheirText)
{
    StandOption fake = use(1, 1);
    fake.fake = true;
    struct Row {
        const char* name;
        std::vector<ParkingPosition> stands;
        QualityFactors factors;
        const char* text;
    };
    const Row rows[] = {
        {"no stands", {}, {-1, -1}, "  "},
        {"stands without options", stands(0, {}, 3), {-1, -1}, "  "},
        {"one learned of ten", stands(1, {use(1, 1)}, 9), {6, 0}, " 6/ 0"},
        {"only soft", stands(1, {use(1, 1, true)}, 0), {0, 63}, " 0/63"},
        {"all learned", stands(4, {use(1, 1)}, 0), {63, 0}, "63"},
        {"the most a stand can score",
         stands(1, std::vector<StandOption>(200, use(1, ~0ull)), 0) /* 200 options, 9600 half hours */, {96, 0}, "96"},
        {"seven days", stands(1, {use(1, 1), use(2, 1), use(3, 1), use(4, 1), use(5, 1), use(6, 1), use(7, 1), use(9, 1)}, 0),
         {68, 0}, "68"},
        {"void options count nowhere", stands(1, {use(1, 1, false, 0)}, 1), {0, 0}, " 0/ 0"},
        {"fake options count nowhere", stands(1, {fake}, 0), {0, 0}, " 0/ 0"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(computeQualityFactors(row.stands), row.factors) << row.name;
        EXPECT_EQ(qualityFactorText(row.factors), row.text) << row.name;
    }
}

TEST(QualityTest, RadiusWeights)
{
    // A stand of more than 7 nm (never a real one) weighs 1.5, above 10 nm 1.0, else 0.3.
    for (const auto& [radiusMetres, factor] : {std::pair{30.0, 32}, {7.5 * 1852, 53}, {11.0 * 1852, 49}}) {
        std::vector<ParkingPosition> list = stands(1, {use(1, 1)}, 1);
        list[0].radius = radiusMetres * metresToNm;
        EXPECT_EQ(computeQualityFactors(list).first, factor) << radiusMetres;
    }
}

class FitWindowTest : public test::AirportFolderTest {
protected:
    ~FitWindowTest() override
    {
        MAX_FIT.set(MAX_FIT.defaultValue());
        MAX_FIT_FL.set(MAX_FIT_FL.defaultValue());
    }
};

TEST_F(FitWindowTest, ClampedAndShownInHours)
{
    const std::tuple<int, int, float, const char*> rows[] = {
        {60, 47, 24.0f, "    MAX_FIT                 : 47 (max number of half hours, is 24 hrs decimal)"},
        {20, 20, 10.5f, "    MAX_FIT                 : 20 (max number of half hours, is 10.5 hrs decimal)"},
        {-3, 0, 0.5f, "    MAX_FIT                 : 0 (max number of half hours, is 0.5 hrs decimal)"},
    };
    for (const auto& [halfHours, clamped, hours, line] : rows) {
        logMaxFitHalfHours(halfHours);
        EXPECT_EQ(MAX_FIT.value(), clamped);
        EXPECT_EQ(MAX_FIT_FL.value(), hours);
        EXPECT_THAT(logText(), ::testing::HasSubstr(line));
    }
}

} // namespace
} // namespace rtd
