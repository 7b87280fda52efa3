#include "core/time.hpp"

#include <array>
#include <chrono>
#include <fmt/format.h>

namespace rtd {

std::string utcTimeString(std::time_t t)
{
    using namespace std::chrono;
    static constexpr std::array<const char*, 7> weekdays{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr std::array<const char*, 12> months{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const sys_seconds instant{seconds{static_cast<std::int64_t>(t)}};
    const sys_days day = floor<days>(instant);
    const year_month_day date{day};
    const hh_mm_ss clock{instant - day};
    return fmt::format("{} {} {:2} {:02}:{:02}:{:02} {}", weekdays[weekday{day}.c_encoding()],
                       months[static_cast<unsigned>(date.month()) - 1], static_cast<unsigned>(date.day()),
                       clock.hours().count(), clock.minutes().count(), clock.seconds().count(),
                       static_cast<int>(date.year()));
}

} // namespace rtd
