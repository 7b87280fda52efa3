#include "core/time.hpp"

#include "core/log.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <fmt/format.h>
#include <stdexcept>

namespace rtd {

namespace {

using namespace std::chrono;

std::atomic<WallClockSource> wallClock{nullptr};
std::atomic<FeedClockSource> feedClock{nullptr};
std::atomic<StampScrambler> stampScrambler{nullptr};

// Positions in the asctime text "Tue Nov 14 22:13:20 2023".
constexpr std::size_t monthAt = 4;
constexpr std::size_t dayFieldAt = 8;
constexpr std::size_t clockAt = 11;
constexpr std::size_t clockLength = 8;
constexpr std::size_t yearAt = 20;

constexpr int halfHoursPerDay = 48;
constexpr std::int64_t secondsPerDay = 86400;
constexpr std::int64_t secondsPerHalfHour = 1800;

sys_seconds instantOf(std::int64_t t) { return sys_seconds{seconds{t}}; }

std::string clockTextAt(std::int64_t t) { return utcTimeString(t).substr(clockAt, clockLength); }

int halfHourAt(std::int64_t t)
{
    const std::int64_t secondOfDay = ((t % secondsPerDay) + secondsPerDay) % secondsPerDay;
    return static_cast<int>(secondOfDay / secondsPerHalfHour);
}

unsigned weekdayAt(std::int64_t t) { return weekday{floor<days>(instantOf(t))}.iso_encoding(); }

} // namespace

bool isLaterSlot(DaySlot a, DaySlot b)
{
    const unsigned dayA = slotWeekday(a);
    const unsigned dayB = slotWeekday(b);
    if (dayA == 1 && dayB == 7)
        return true;
    if (dayA == 7 && dayB == 1)
        return false;
    return dayA > dayB || (dayA == dayB && slotHalfHour(a) >= slotHalfHour(b));
}

namespace {

// std::stoi with fixed error texts, the same on every build.
int toInt(std::string_view piece)
{
    try {
        return std::stoi(std::string(piece));
    } catch (const std::invalid_argument&) {
        throw std::invalid_argument("invalid stoi argument");
    } catch (const std::out_of_range&) {
        throw std::out_of_range("stoi argument out of range");
    }
}

} // namespace

std::string utcTimeString(std::time_t t)
{
    static constexpr std::array<const char*, 7> weekdays{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr std::array<const char*, 12> months{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const sys_seconds instant = instantOf(static_cast<std::int64_t>(t));
    const sys_days day = floor<days>(instant);
    const year_month_day date{day};
    const hh_mm_ss clock{instant - day};
    return fmt::format("{} {} {:2} {:02}:{:02}:{:02} {}", weekdays[weekday{day}.c_encoding()],
                       months[static_cast<unsigned>(date.month()) - 1], static_cast<unsigned>(date.day()),
                       clock.hours().count(), clock.minutes().count(), clock.seconds().count(),
                       static_cast<int>(date.year()));
}

void setWallClock(WallClockSource source) { wallClock.store(source); }

void setFeedClock(FeedClockSource source) { feedClock.store(source); }

std::int64_t wallClockSeconds()
{
    if (const WallClockSource source = wallClock.load())
        return source();
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

std::int64_t programClockSeconds()
{
    if (const FeedClockSource source = feedClock.load()) {
        const double recordTime = std::trunc(source());
        // Far beyond any calendar the texts can show; also keeps the conversion defined.
        constexpr double limit = 1e15;
        if (recordTime != 0 && std::isfinite(recordTime) && std::abs(recordTime) < limit)
            return static_cast<std::int64_t>(recordTime);
    }
    return wallClockSeconds();
}

std::string currentUtcClock() { return clockTextAt(wallClockSeconds()); }

std::string currentUtcTimeText()
{
    const std::string text = utcTimeString(wallClockSeconds());
    return text.substr(monthAt, 6) + ", " + text.substr(yearAt, 4);
}

std::string currentTimeText() { return clockTextAt(programClockSeconds()); }

int currentHalfHour() { return halfHourAt(programClockSeconds()); }

DaySlot currentDayAndHalfHour()
{
    const std::int64_t now = programClockSeconds();
    return makeDaySlot(weekdayAt(now), static_cast<unsigned>(halfHourAt(now)));
}

int lf_decodeDay(std::string_view text)
{
    static constexpr std::array<std::string_view, 7> names{"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    const auto found = std::find(names.begin(), names.end(), text);
    if (found != names.end())
        return static_cast<int>(found - names.begin()) + 1;
    logLine(fmt::format("lf_decodeDay ?  {}", text));
    return 0;
}

std::string_view dayName(int weekday)
{
    static constexpr std::array<std::string_view, 7> names{"Monday", "Tuesday",  "Wednesday", "Thursday",
                                                           "Friday", "Saturday", "Sunday"};
    if (weekday < 1 || weekday > 7)
        return "wrong day";
    return names[static_cast<std::size_t>(weekday - 1)];
}

unsigned compareDayHalfHour(DaySlot a, DaySlot b)
{
    if (!isLaterSlot(a, b))
        std::swap(a, b);
    const auto dayA = static_cast<std::int64_t>(slotWeekday(a));
    const auto dayB = static_cast<std::int64_t>(slotWeekday(b));
    std::int64_t result = (dayA - dayB) * halfHoursPerDay + slotHalfHour(a) - slotHalfHour(b);
    if (dayA == 1 && dayB == 7)
        result += 7 * halfHoursPerDay;
    return static_cast<unsigned>(result);
}

HalfHourSet lf_hours2bitset(std::string_view text)
{
    HalfHourSet bits;
    try {
        while (!text.empty()) {
            const std::size_t comma = text.find(',');
            // A negative number becomes a huge position, which set() refuses like 48.
            bits.set(static_cast<std::size_t>(toInt(text.substr(0, comma))));
            text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
        }
    } catch (const std::exception& e) {
        logArrow(fmt::format("exception {} in lf_hours2bitset", e.what()));
    }
    return bits;
}

std::string halfHourSetToString(const HalfHourSet& set)
{
    std::string text;
    for (std::size_t i = 0; i < set.size(); ++i) {
        if (set.test(i))
            text += fmt::format("{},", i);
    }
    if (!text.empty())
        text.pop_back();
    return text;
}

void setStampScrambler(StampScrambler scrambler) { stampScrambler.store(scrambler); }

std::string todayStamp()
{
    const std::string text = utcTimeString(wallClockSeconds());
    std::string month = text.substr(monthAt, 3);
    std::transform(month.begin(), month.end(), month.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const std::string stamp = month + text.substr(dayFieldAt, 2) + text.substr(yearAt, 4);
    const StampScrambler scrambler = stampScrambler.load();
    return scrambler ? scrambler(stamp) : stamp;
}

} // namespace rtd
