#include "core/version.hpp"

#include <fmt/format.h>

namespace rtd {

std::string versionToString(const Version& version)
{
    return fmt::format("{}.{}.{}", version.major, version.minor, version.patch);
}

} // namespace rtd
