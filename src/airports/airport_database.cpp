#include "airports/airport_database.hpp"

#include <filesystem>

namespace rtd {

std::atomic<std::int32_t> tbloAirportCount{0};
std::atomic<std::int32_t> airportLateralRange{0};

void readAirports() {}

void readAirportNames() {}

void clearAirportNames() {}

bool archiveFolderMissing()
{
    const std::filesystem::path archive = std::filesystem::path("airports") / "archive";
    for (const char* folder : {"stock", "simaddon", "thirdparty"})
        if (!std::filesystem::is_directory(archive / folder))
            return true;
    return false;
}

bool updateArchive()
{
    return false;
}

bool runAirportsScan(bool, const std::vector<std::string>&)
{
    return false;
}

} // namespace rtd
