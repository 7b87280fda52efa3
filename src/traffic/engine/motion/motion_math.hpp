#pragma once
// Angle, unit and poll-count helpers of the live aircraft's motion. All inline and free of
// allocation: they run for every aircraft on every poll.

#include <cmath>
#include <cstdint>

namespace rtd {

inline constexpr double pi = 3.141592653589793;
inline constexpr double twoPi = 6.283185307179586;
inline constexpr double feetPerNm = 6076.11549;
inline constexpr double pollsPerHourOverNm = 360000.0; // polls per hour: nm / kt x this = polls
inline constexpr std::int64_t minLegPolls = 25;
inline constexpr double oneWeekPolls = 60'480'000.0;

inline constexpr double degrees(double radians)
{
    return radians * 57.29577951308232;
}
inline constexpr double radians(double degrees)
{
    return degrees * 0.017453292519943295;
}

// An angle in radians folded into (-pi, pi].
inline double foldPi(double a)
{
    a = std::remainder(a, twoPi);
    return a <= -pi ? a + twoPi : a;
}

// An angle in radians wrapped into [0, 2 pi).
inline double wrapTwoPi(double a)
{
    a = std::fmod(a, twoPi);
    if (a < 0.0)
        a += twoPi;
    return a >= twoPi ? 0.0 : a;
}

// A difference of longitudes in degrees folded into (-180, 180].
inline double foldLongitude(double d)
{
    d = std::remainder(d, 360.0);
    return d <= -180.0 ? d + 360.0 : d;
}

// A count of polls computed in floating point: rounded, and kept within [25, one week] before it
// becomes an integer (a NaN counts as the shortest leg).
inline std::int64_t clampedPolls(double polls)
{
    if (!(polls >= static_cast<double>(minLegPolls)))
        return minLegPolls;
    if (polls > oneWeekPolls)
        polls = oneWeekPolls;
    return static_cast<std::int64_t>(std::llround(polls));
}

} // namespace rtd
