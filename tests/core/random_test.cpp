#include "core/parameters.hpp"
#include "core/random.hpp"

#include <algorithm>
#include <gtest/gtest.h>
#include <set>
#include <thread>

namespace rtd {
namespace {

class RandomTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        seedRandomEngine(12345);
        before = randomEngine();
    }
    void TearDown() override { RANDOM.set(RANDOM.defaultValue()); }

    // The engine's state before a call, to see whether the call drew from it.
    std::mt19937 before;
    bool engineUnused() const { return randomEngine() == before; }
};

TEST_F(RandomTest, RandomOffPicksTheFirstAndKeepsTheOrder)
{
    RANDOM.set(false);
    EXPECT_EQ(randomIndex(10), 0);
    std::vector<std::string> list{"a", "b", "c", "d"};
    shuffleStrings(list);
    EXPECT_EQ(list, (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_TRUE(engineUnused());
}

TEST_F(RandomTest, FewerThanTwoChoicesNeedNoDraw)
{
    EXPECT_EQ(randomIndex(1), 0);
    EXPECT_EQ(randomIndex(0), 0);
    EXPECT_EQ(randomIndex(-7), 0);
    std::vector<std::string> one{"only"};
    shuffleStrings(one);
    EXPECT_EQ(one, std::vector<std::string>{"only"});
    EXPECT_TRUE(engineUnused());
}

TEST_F(RandomTest, IndexesCoverTheRangeAndRepeatFromASeed)
{
    std::set<std::int64_t> seen;
    std::vector<std::int64_t> first;
    for (int i = 0; i < 200; ++i) {
        const std::int64_t index = randomIndex(3);
        ASSERT_GE(index, 0);
        ASSERT_LT(index, 3);
        seen.insert(index);
        first.push_back(index);
    }
    EXPECT_EQ(seen.size(), 3U);

    seedRandomEngine(12345);
    for (const std::int64_t expected : first)
        ASSERT_EQ(randomIndex(3), expected);

    // One 32-bit draw, so an index above 2^32 never comes up.
    EXPECT_LT(randomIndex(std::int64_t{1} << 40), std::int64_t{1} << 32);
}

TEST_F(RandomTest, ShuffleKeepsTheEntries)
{
    const std::vector<std::string> original{"a", "b", "c", "d", "e", "f", "g", "h"};
    bool moved = false;
    for (int round = 0; round < 5; ++round) {
        std::vector<std::string> list = original;
        shuffleStrings(list);
        EXPECT_TRUE(std::is_permutation(list.begin(), list.end(), original.begin()));
        moved = moved || list != original;
    }
    EXPECT_TRUE(moved);
}

TEST_F(RandomTest, EachThreadHasItsOwnEngine)
{
    std::uint32_t otherDraw = 0;
    std::thread([&] {
        seedRandomEngine(12345);
        otherDraw = randomEngine()();
    }).join();
    EXPECT_TRUE(engineUnused());
    EXPECT_EQ(randomEngine()(), otherDraw);
}

TEST_F(RandomTest, JitterDirectionFollowsOneDraw)
{
    RANDOM.set(false); // does not switch jitter off
    for (int i = 0; i < 20; ++i) {
        std::mt19937 copy = randomEngine();
        const double expected = (copy() & 1U) == 0 ? 110.0 : 90.0;
        EXPECT_DOUBLE_EQ(jitterPercent(100, 10), expected);
    }

    std::mt19937 copy = randomEngine();
    copy.discard(1);
    EXPECT_EQ(jitterPercent(100, 0), 100);
    EXPECT_EQ(jitterPercent(100, -5), 100);
    copy.discard(1);
    EXPECT_EQ(randomEngine(), copy); // each call still drew once
}

} // namespace
} // namespace rtd
