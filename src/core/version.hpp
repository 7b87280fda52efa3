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

// The first three digit groups found anywhere in the text, each pair separated by any one
// character ("8.7.0", "v8-7-0 beta"); without such groups the text is read as a JSON
// object with the members "major", "minor" and "patch". Reading stops at the first number
// that does not fit an int, non-JSON text or a missing or non-numeric member: the fields
// read so far keep their values, the rest stay 0.
Version parseVersion(std::string_view text);

// "{major}.{minor}.{patch}"
std::string versionToString(const Version& version);

// True when `a` is greater than `b` field by field: major, then minor, then patch.
inline bool isNewer(const Version& a, const Version& b)
{
    return a > b;
}

} // namespace rtd
