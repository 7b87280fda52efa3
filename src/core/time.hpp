#pragma once
// Clock texts and the program's weekday and half-hour slots. Every text uses the asctime
// layout of a UTC time, formatted here from std::chrono so both builds give the same
// characters: "Wed Dec  9 04:28:47 2026". All time arithmetic is in 64-bit seconds.
//
// Two clocks drive them: the wall clock (Unix seconds now) and the program clock, which
// follows the traffic feed's record time while a feed clock is installed and reports a time,
// and the wall clock otherwise.

#include <bitset>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace rtd {

// The 24-character asctime text of `t` as UTC, without a line end.
std::string utcTimeString(std::time_t t);

// ---- clocks ----------------------------------------------------------------------------

// A clock read: Unix seconds, or for the feed clock its record time (0 when it has none).
using WallClockSource = std::int64_t (*)();
using FeedClockSource = double (*)();

// Replaces the wall clock (tests pin the time with it); nullptr restores the system clock.
void setWallClock(WallClockSource source);

// Installs the traffic feed's clock: it returns the feed's latest record time in seconds
// while the program clock should follow the feed, else 0. nullptr removes it.
void setFeedClock(FeedClockSource source);

std::int64_t wallClockSeconds();
// The feed's record time truncated to whole seconds when it is not 0, else the wall clock.
std::int64_t programClockSeconds();

// ---- clock texts -----------------------------------------------------------------------

std::string currentUtcClock();    // "hh:mm:ss" of the wall clock
std::string currentUtcTimeText(); // "Nov 14, 2023" of the wall clock
std::string currentTimeText();    // "hh:mm:ss" of the program clock

// ---- weekday and half-hour slots -------------------------------------------------------

// A day slot: half hour 0..47 in the upper 32 bits, weekday 1 (Monday) .. 7 (Sunday) in the
// lower 32 bits; weekday 0 means unknown.
using DaySlot = std::uint64_t;
using HalfHourSet = std::bitset<48>; // bit i for half hour i

constexpr DaySlot makeDaySlot(unsigned weekday, unsigned halfHour)
{
    return (static_cast<DaySlot>(halfHour) << 32) | weekday;
}
constexpr unsigned slotWeekday(DaySlot slot) { return static_cast<std::uint32_t>(slot); }
constexpr unsigned slotHalfHour(DaySlot slot) { return static_cast<std::uint32_t>(slot >> 32); }

// The half hour 0..47 of the program clock: slot 0 is 00:00-00:29, 47 is 23:30-23:59.
int currentHalfHour();
// The weekday and half hour of one reading of the program clock.
DaySlot currentDayAndHalfHour();

// "Mon" 1 .. "Sun" 7 (exact match); anything else is logged and gives 0.
int lf_decodeDay(std::string_view text);
// "Monday" .. "Sunday" for 1..7, else "wrong day".
std::string_view dayName(int weekday);

// Whether slot a comes at or after slot b within the week; a Monday comes after a Sunday.
bool isLaterSlot(DaySlot a, DaySlot b);
// Half hours from the earlier to the later slot; only Monday after Sunday wraps the week.
unsigned compareDayHalfHour(DaySlot a, DaySlot b);

// The set of a comma list of half hours ("1,5,47"). The first piece that is not a number or
// not in 0..47 is logged and ends the parsing; the bits set before it are kept.
HalfHourSet lf_hours2bitset(std::string_view text);
// The set's half hours in ascending order, joined by commas ("1,5,47"); empty for none.
std::string halfHourSetToString(const HalfHourSet& set);

// ---- daily stamp -----------------------------------------------------------------------

using StampScrambler = std::string (*)(const std::string& text);

// Installs the scrambling applied to the daily stamp; nullptr leaves the text as it is.
void setStampScrambler(StampScrambler scrambler);

// Today's UTC date as "NOV142023" (upper-case month, two-character day field, year),
// passed through the stamp scrambler. Only ever compared with an earlier stamp.
std::string todayStamp();

} // namespace rtd
