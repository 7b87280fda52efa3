#include "airports/stand_services.hpp"

#include <mutex>

namespace rtd {

namespace {

std::mutex standMutex;
std::string standInName; // under standMutex

} // namespace

std::string nearestStandName(LatLon)
{
    std::lock_guard lock(standMutex);
    return standInName;
}

void setNearestStandNameForTests(std::string name)
{
    std::lock_guard lock(standMutex);
    standInName = std::move(name);
}

bool rememberParkAirportStand(std::string_view)
{
    return false;
}

} // namespace rtd
