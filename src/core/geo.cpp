#include "core/geo.hpp"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>
#include <numbers>

namespace rtd {

namespace {

constexpr double pi = std::numbers::pi;
constexpr double twoPi = 2 * std::numbers::pi;
constexpr double radiansPerDegree = 0.017453292519943295;
constexpr double degreesPerRadian = 57.29577951308232;
constexpr double earthDiameterNm = 6875.493541569878; // 21600 / pi
constexpr double radiansPerFoot = 4.787404208238998e-8; // 1 / 20,888,146.4 ft
constexpr double metresPerDegreeLat = 111132.95;

double square(double x) { return x * x; }

// Brings an angle that lies just outside [0, 2 pi) into it.
double intoFullCircle(double angle)
{
    if (angle < 0)
        angle += twoPi;
    return angle >= twoPi ? 0.0 : angle;
}

} // namespace

double distanceNm(LatLon a, LatLon b)
{
    const double latA = a.lat * radiansPerDegree;
    const double latB = b.lat * radiansPerDegree;
    const double dLat = latB - latA;
    const double dLon = (b.lon - a.lon) * radiansPerDegree;
    const double h = square(std::sin(dLat / 2)) + std::cos(latA) * std::cos(latB) * square(std::sin(dLon / 2));
    // Rounding can lift h of nearly antipodal points just above 1, outside asin's domain.
    return std::asin(std::sqrt(std::min(h, 1.0))) * earthDiameterNm;
}

LatLon destinationPoint(LatLon start, double course, double distanceFt)
{
    const double d = distanceFt * radiansPerFoot;
    const double lat1 = start.lat * radiansPerDegree;
    const double lon1 = start.lon * radiansPerDegree;
    const double lat2 = std::asin(std::sin(lat1) * std::cos(d) + std::cos(lat1) * std::sin(d) * std::cos(course));
    const double dLon = std::atan2(std::sin(course) * std::sin(d) * std::cos(lat1),
                                   std::cos(d) - std::sin(lat1) * std::sin(lat2));
    double lon2 = std::fmod(lon1 + dLon, twoPi);
    if (lon2 < -pi)
        lon2 += twoPi;
    else if (lon2 > pi)
        lon2 -= twoPi;
    return {lat2 * degreesPerRadian, lon2 * degreesPerRadian};
}

double initialBearing(LatLon from, LatLon to)
{
    const double latFrom = from.lat * radiansPerDegree;
    const double latTo = to.lat * radiansPerDegree;
    const double dLon = (to.lon - from.lon) * radiansPerDegree;
    return intoFullCircle(std::atan2(std::sin(dLon) * std::cos(latTo),
                                     std::cos(latFrom) * std::sin(latTo) -
                                         std::sin(latFrom) * std::cos(latTo) * std::cos(dLon)));
}

double angleDifference(double a, double b)
{
    if (a > b)
        return -angleDifference(b, a);
    const double d = b - a;
    return d > pi ? d - twoPi : d;
}

bool positionOnCurve(const CurveSegment& s, LatLon& position, double& heading, double t)
{
    if (!(s.t1 > s.t0) || !(t >= s.t0 && t <= s.t1))
        return false;
    const double u = (t - s.t0) / (s.t1 - s.t0);
    const double w = 1 - u;
    const double north = 2 * w * u * s.controlNorth + u * u * s.endNorth;
    const double east = 2 * w * u * s.controlEast + u * u * s.endEast;
    const double lat = s.originLat + north / metresPerDegreeLat;
    const double lon = s.originLon + east / (metresPerDegreeLat * std::cos(s.originLat * radiansPerDegree));
    const double course = std::atan2(2 * w * s.controlEast + 2 * u * (s.endEast - s.controlEast),
                                      2 * w * s.controlNorth + 2 * u * (s.endNorth - s.controlNorth));
    if (!std::isfinite(lat) || !std::isfinite(lon) || !std::isfinite(course))
        return false;
    position = {lat, lon};
    heading = intoFullCircle(course);
    return true;
}

std::string latLonText(LatLon position) { return fmt::format("{:.6f},{:.6f}", position.lat, position.lon); }

bool isValidPosition(LatLon position)
{
    const bool nullLat = position.lat >= 0 && position.lat <= 0.0009;
    const bool nullLon = position.lon >= 0 && position.lon <= 0.05;
    return !(nullLat && nullLon);
}

bool isStarredName(std::string_view name, std::string_view candidate)
{
    return candidate.size() == name.size() + 1 && candidate.back() == '*' && candidate.starts_with(name);
}

} // namespace rtd
