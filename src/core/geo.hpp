#pragma once
// Great-circle geometry on one spherical earth of radius 10800/pi nautical miles. Positions
// are degrees, headings and courses radians. The functions that run for every aircraft on
// every poll allocate nothing.

#include <string>
#include <string_view>

namespace rtd {

struct LatLon {
    double lat = 0; // degrees
    double lon = 0; // degrees
};

// A quadratic curve from an origin to an end point over a time span. The members keep the
// stored order of the segment's eight values. Offsets are metres from the origin.
struct CurveSegment {
    double originLat = 0; // degrees
    double originLon = 0; // degrees
    double t0 = 0;        // start time, seconds
    double endNorth = 0;
    double endEast = 0;
    double t1 = 0; // end time, seconds
    double controlEast = 0;
    double controlNorth = 0;
};

// Haversine distance in nautical miles.
double distanceNm(LatLon a, LatLon b);

// The point `distanceFt` feet from `start` along the great circle of true course `course`.
LatLon destinationPoint(LatLon start, double course, double distanceFt);

// The initial great-circle course from `from` to `to`, in [0, 2 pi).
double initialBearing(LatLon from, LatLon to);

// The signed turn from heading a to heading b, the short way round.
double angleDifference(double a, double b);

// The position and heading (radians, [0, 2 pi)) at time t on the segment. False, with the
// outputs untouched, when t is outside [t0, t1], t1 <= t0, or a value is not finite.
bool positionOnCurve(const CurveSegment& segment, LatLon& position, double& heading, double t);

// "{:.6f},{:.6f}" of latitude and longitude.
std::string latLonText(LatLon position);

// False for the null position the simulator reports before a flight is loaded.
bool isValidPosition(LatLon position);

// Whether candidate is name followed by one "*".
bool isStarredName(std::string_view name, std::string_view candidate);

} // namespace rtd
