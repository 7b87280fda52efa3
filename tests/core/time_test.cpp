#include "core/log.hpp"
#include "core/time.hpp"
#include "support/temp_folder.hpp"

#include <atomic>
#include <gtest/gtest.h>
#include <limits>

namespace rtd {
namespace {

constexpr std::int64_t tuesdayMidnight = 1699920000; // Tue Nov 14 2023 00:00:00 UTC
constexpr std::int64_t sundayMidnight = tuesdayMidnight + 5 * 86400;

std::atomic<std::int64_t> pinnedTime{0};
std::atomic<double> feedTime{0};

std::int64_t pinnedClock() { return pinnedTime.load(); }
std::int64_t tickingClock() { return pinnedTime++; } // one second later at every reading
double feedClock() { return feedTime.load(); }

class ClockTest : public ::testing::Test {
protected:
    void SetUp() override { setWallClock(pinnedClock); }
    void TearDown() override
    {
        setWallClock(nullptr);
        setFeedClock(nullptr);
        setStampScrambler(nullptr);
        closeLogFile();
    }

    std::string logText() const
    {
        flushLog();
        return test::readText(log);
    }

    test::TempFolder folder;
    std::filesystem::path log = folder / "Log.txt";
};

TEST_F(ClockTest, WallClockTexts)
{
    pinnedTime = 1700000000;
    EXPECT_EQ(currentUtcClock(), "22:13:20");
    EXPECT_EQ(currentUtcTimeText(), "Nov 14, 2023");
    EXPECT_EQ(currentTimeText(), "22:13:20");
    pinnedTime = 0;
    EXPECT_EQ(currentUtcTimeText(), "Jan  1, 1970");
}

TEST_F(ClockTest, HalfHoursOfTheDay)
{
    const struct {
        std::int64_t secondOfDay;
        int halfHour;
    } cases[] = {{0, 0}, {29 * 60 + 59, 0}, {30 * 60, 1}, {12 * 3600 + 30 * 60, 25},
                 {23 * 3600 + 45 * 60, 47}, {86399, 47}};
    for (const auto& c : cases) {
        pinnedTime = tuesdayMidnight + c.secondOfDay;
        EXPECT_EQ(currentHalfHour(), c.halfHour) << c.secondOfDay;
    }
    pinnedTime = -1; // before 1970 still counts from midnight
    EXPECT_EQ(currentHalfHour(), 47);
}

TEST_F(ClockTest, DayAndHalfHourComeFromOneReading)
{
    pinnedTime = sundayMidnight + 86399; // Sunday 23:59:59; the next reading is Monday
    setWallClock(tickingClock);
    const DaySlot slot = currentDayAndHalfHour();
    EXPECT_EQ(slotWeekday(slot), 7U);
    EXPECT_EQ(slotHalfHour(slot), 47U);
    EXPECT_EQ(currentDayAndHalfHour(), makeDaySlot(1, 0));
}

TEST_F(ClockTest, ProgramClockFollowsTheFeedWhileItHasATime)
{
    pinnedTime = tuesdayMidnight;
    setFeedClock(feedClock);
    feedTime = static_cast<double>(tuesdayMidnight + 45 * 60) + 0.9; // truncated, not rounded
    EXPECT_EQ(programClockSeconds(), tuesdayMidnight + 45 * 60);
    EXPECT_EQ(currentTimeText(), "00:45:00");
    EXPECT_EQ(currentDayAndHalfHour(), makeDaySlot(2, 1));
    EXPECT_EQ(currentUtcClock(), "00:00:00"); // the wall-clock texts ignore the feed

    feedTime = 0;
    EXPECT_EQ(programClockSeconds(), tuesdayMidnight);
    feedTime = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(programClockSeconds(), tuesdayMidnight);
}

TEST_F(ClockTest, TodayStampGoesThroughTheScrambler)
{
    pinnedTime = 0;
    EXPECT_EQ(todayStamp(), "JAN 11970");
    pinnedTime = 1700000000;
    EXPECT_EQ(todayStamp(), "NOV142023");
    setStampScrambler([](const std::string& text) { return std::string(text.rbegin(), text.rend()); });
    EXPECT_EQ(todayStamp(), "320241VON");
}

TEST_F(ClockTest, DayNamesAndUnknownDays)
{
    openLogFile(log);
    EXPECT_EQ(lf_decodeDay("Mon"), 1);
    EXPECT_EQ(lf_decodeDay("Sun"), 7);
    EXPECT_EQ(lf_decodeDay("mon"), 0);
    EXPECT_EQ(lf_decodeDay("Monday"), 0);
    EXPECT_NE(logText().find("lf_decodeDay ?  mon\n"), std::string::npos);

    EXPECT_EQ(dayName(1), "Monday");
    EXPECT_EQ(dayName(7), "Sunday");
    EXPECT_EQ(dayName(0), "wrong day");
    EXPECT_EQ(dayName(8), "wrong day");
    for (int day = 1; day <= 7; ++day)
        EXPECT_EQ(lf_decodeDay(dayName(day).substr(0, 3)), day);
}

TEST(CompareDayHalfHour, HalfHoursAcrossTheWeek)
{
    const struct {
        DaySlot a, b;
        unsigned expected;
    } cases[] = {
        {makeDaySlot(1, 0), makeDaySlot(7, 47), 1},    // Monday follows Sunday
        {makeDaySlot(1, 0), makeDaySlot(7, 0), 48},
        {makeDaySlot(2, 0), makeDaySlot(7, 0), 240},   // no wrap: Sunday is the later day
        {makeDaySlot(3, 10), makeDaySlot(1, 4), 102},
        {makeDaySlot(5, 3), makeDaySlot(5, 40), 37},
        {makeDaySlot(4, 20), makeDaySlot(4, 20), 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(compareDayHalfHour(c.a, c.b), c.expected) << c.a << " " << c.b;
        EXPECT_EQ(compareDayHalfHour(c.b, c.a), c.expected) << c.b << " " << c.a;
    }
}

TEST_F(ClockTest, HalfHourLists)
{
    openLogFile(log);
    const HalfHourSet bits = lf_hours2bitset("1,5,47");
    EXPECT_EQ(bits.count(), 3U);
    EXPECT_EQ(halfHourSetToString(bits), "1,5,47");
    EXPECT_EQ(halfHourSetToString(lf_hours2bitset(" 7,0")), "0,7");
    EXPECT_EQ(halfHourSetToString(lf_hours2bitset("3,")), "3");
    EXPECT_EQ(halfHourSetToString(lf_hours2bitset("")), "");
    EXPECT_EQ(logText().find("===> "), std::string::npos);

    EXPECT_EQ(halfHourSetToString(lf_hours2bitset("1,48,3")), "1");
    EXPECT_EQ(halfHourSetToString(lf_hours2bitset("-1")), "");
    EXPECT_EQ(halfHourSetToString(lf_hours2bitset("2,x,3")), "2");
    EXPECT_EQ(halfHourSetToString(lf_hours2bitset("4,99999999999")), "4");
    const std::string text = logText();
    EXPECT_NE(text.find("===> exception invalid stoi argument in lf_hours2bitset\n"), std::string::npos);
    EXPECT_NE(text.find("===> exception stoi argument out of range in lf_hours2bitset\n"), std::string::npos);
    EXPECT_EQ(halfHourSetToString(HalfHourSet{}), "");
}

} // namespace
} // namespace rtd
