#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rtd {

inline constexpr std::string_view productName = "Ramptide";

struct Version {
    std::int32_t major = 0;
    std::int32_t minor = 0;
    std::int32_t patch = 0;

    friend bool operator==(const Version&, const Version&) = default;
    friend auto operator<=>(const Version&, const Version&) = default;
};

inline constexpr Version programVersion{8, 7, 0};

// "{major}.{minor}.{patch}"
std::string versionToString(const Version& version);

// True when `a` is greater than `b` field by field: major, then minor, then patch.
inline bool isNewer(const Version& a, const Version& b)
{
    return a > b;
}

} // namespace rtd
