#include "core/version.hpp"

#include <climits>
#include <fmt/format.h>
#include <nlohmann/json.hpp>
#include <regex>
#include <stdexcept>

namespace rtd {
namespace {

// Throws when the member is missing, not a number or outside the int range.
std::int32_t jsonInt(const nlohmann::json& object, const char* member)
{
    const double value = object.at(member).get<double>();
    if (!(value >= INT_MIN && value <= INT_MAX))
        throw std::out_of_range(member);
    return static_cast<std::int32_t>(value);
}

void readVersion(std::string_view text, Version& version)
{
    // The dots are deliberately unescaped: any separator character is accepted.
    static const std::regex pattern(R"((\d+).(\d+).(\d+))", std::regex::ECMAScript);
    std::match_results<std::string_view::const_iterator> groups;
    if (std::regex_search(text.begin(), text.end(), groups, pattern)) {
        version.major = std::stoi(groups.str(1));
        version.minor = std::stoi(groups.str(2));
        version.patch = std::stoi(groups.str(3));
        return;
    }
    const auto object = nlohmann::json::parse(text);
    version.major = jsonInt(object, "major");
    version.minor = jsonInt(object, "minor");
    version.patch = jsonInt(object, "patch");
}

} // namespace

Version parseVersion(std::string_view text)
{
    Version version;
    if (text.empty())
        return version;
    try {
        readVersion(text, version);
    } catch (const std::exception&) {
        // What was read before the failure stands.
    }
    return version;
}

std::string versionToString(const Version& version)
{
    return fmt::format("{}.{}.{}", version.major, version.minor, version.patch);
}

} // namespace rtd
