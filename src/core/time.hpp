#pragma once
// Clock texts. Every text uses the asctime layout of a UTC time, formatted here from
// std::chrono so both builds give the same characters: "Wed Dec  9 04:28:47 2026".

#include <ctime>
#include <string>

namespace rtd {

// The 24-character asctime text of `t` as UTC, without a line end.
std::string utcTimeString(std::time_t t);

} // namespace rtd
