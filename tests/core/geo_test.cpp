#include "core/geo.hpp"

#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <numbers>

namespace rtd {
namespace {

constexpr double pi = std::numbers::pi;
constexpr double earthRadiusNm = 10800 / pi;
constexpr double feetPerNm = 20888146.4 / earthRadiusNm;

// Reference geometry on unit vectors, independent of the haversine and atan2 forms.
using Vec = std::array<double, 3>;

Vec unitVector(LatLon p)
{
    const double lat = p.lat * pi / 180;
    const double lon = p.lon * pi / 180;
    return {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
}

double dot(const Vec& a, const Vec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

double referenceDistanceNm(LatLon a, LatLon b)
{
    const Vec u = unitVector(a);
    const Vec v = unitVector(b);
    const Vec cross{u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    return std::atan2(std::sqrt(dot(cross, cross)), dot(u, v)) * earthRadiusNm;
}

// The direction to b in the tangent plane at a: east and north components.
double referenceBearing(LatLon a, LatLon b)
{
    const double lat = a.lat * pi / 180;
    const double lon = a.lon * pi / 180;
    const Vec east{-std::sin(lon), std::cos(lon), 0};
    const Vec north{-std::sin(lat) * std::cos(lon), -std::sin(lat) * std::sin(lon), std::cos(lat)};
    const Vec v = unitVector(b);
    const double bearing = std::atan2(dot(v, east), dot(v, north));
    return bearing < 0 ? bearing + 2 * pi : bearing;
}

struct CityPair {
    const char* name;
    LatLon from, to;
};

const CityPair cityPairs[] = {
    {"London-New York", {51.4700, -0.4543}, {40.6413, -73.7781}},
    {"Sydney-Los Angeles", {-33.9399, 151.1753}, {33.9416, -118.4085}},
    {"Paris-Tokyo", {48.8566, 2.3522}, {35.6762, 139.6503}},
    {"Quito-Singapore", {-0.1807, -78.4678}, {1.3521, 103.8198}},
    {"Reykjavik-Cape Town", {64.1466, -21.9426}, {-33.9249, 18.4241}},
    {"Anchorage-Helsinki", {61.2181, -149.9003}, {60.1699, 24.9384}},
};

TEST(Geo, DistancesAndBearingsOfCityPairs)
{
    for (const auto& c : cityPairs) {
        EXPECT_NEAR(distanceNm(c.from, c.to), referenceDistanceNm(c.from, c.to), 1e-6) << c.name;
        EXPECT_NEAR(distanceNm(c.to, c.from), referenceDistanceNm(c.from, c.to), 1e-6) << c.name;
        EXPECT_NEAR(initialBearing(c.from, c.to), referenceBearing(c.from, c.to), 1e-6) << c.name;
        EXPECT_NEAR(initialBearing(c.to, c.from), referenceBearing(c.to, c.from), 1e-6) << c.name;
    }
    EXPECT_NEAR(distanceNm({10, 20}, {11, 20}), 60.0, 1e-9);
    EXPECT_EQ(distanceNm({10, 20}, {10, 20}), 0.0);
}

TEST(Geo, AntipodalPointsAreHalfTheCircumference)
{
    for (const auto& c : cityPairs) {
        const LatLon antipode{-c.from.lat, c.from.lon > 0 ? c.from.lon - 180 : c.from.lon + 180};
        EXPECT_NEAR(distanceNm(c.from, antipode), 10800.0, 1e-3) << c.name;
    }
    // A pair whose haversine term rounds to just above 1.
    const LatLon a{-82.499999999999915, -179.3};
    EXPECT_NEAR(distanceNm(a, {-a.lat, a.lon + 180}), 10800.0, 1e-3);
}

TEST(Geo, BearingsLieInTheFullCircle)
{
    EXPECT_DOUBLE_EQ(initialBearing({0, 0}, {1, 0}), 0.0);
    EXPECT_DOUBLE_EQ(initialBearing({0, 0}, {0, 1}), pi / 2);
    EXPECT_DOUBLE_EQ(initialBearing({0, 0}, {-1, 0}), pi);
    EXPECT_DOUBLE_EQ(initialBearing({0, 0}, {0, -1}), 3 * pi / 2);
    EXPECT_DOUBLE_EQ(initialBearing({0, 179.5}, {0, -179.5}), pi / 2); // across the date line
}

TEST(Geo, DestinationPointRoundTrips)
{
    for (const auto& c : cityPairs) {
        const double feet = distanceNm(c.from, c.to) * feetPerNm;
        const LatLon end = destinationPoint(c.from, initialBearing(c.from, c.to), feet);
        EXPECT_NEAR(end.lat, c.to.lat, 1e-6) << c.name;
        EXPECT_NEAR(end.lon, c.to.lon, 1e-6) << c.name;
    }
    const LatLon north = destinationPoint({0, 30}, 0, 60 * feetPerNm);
    EXPECT_NEAR(north.lat, 1.0, 1e-9);
    EXPECT_NEAR(north.lon, 30.0, 1e-9);
    const LatLon east = destinationPoint({0, 179.5}, pi / 2, 60 * feetPerNm); // folds past 180
    EXPECT_NEAR(east.lat, 0.0, 1e-9);
    EXPECT_NEAR(east.lon, -179.5, 1e-9);
    const LatLon west = destinationPoint({0, -179.5}, 3 * pi / 2, 60 * feetPerNm);
    EXPECT_NEAR(west.lon, 179.5, 1e-9);
}

TEST(Geo, AngleDifferenceTakesTheShortWay)
{
    const struct {
        double a, b, expected;
    } cases[] = {
        {0.1, 6.2, 6.2 - 0.1 - 2 * pi}, {6.2, 0.1, 0.1 - 6.2 + 2 * pi}, {2 * pi - 0.05, 0.05, 0.1},
        {0, pi / 2, pi / 2},            {pi / 2, 0, -pi / 2},           {3, 3, 0},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(angleDifference(c.a, c.b), c.expected, 1e-12) << c.a << " " << c.b;
    EXPECT_NEAR(angleDifference(0.1, 6.2), -0.183, 1e-3);
}

class CurveTest : public ::testing::Test {
protected:
    static constexpr double metresPerDegree = 111132.95;
    // Origin 50N 8E from t 100 s to 120 s; end 1000 m north, 2000 m east; control 500 m east, 800 m north.
    CurveSegment segment{50, 8, 100, 1000, 2000, 120, 500, 800};
    LatLon position{-1, -1};
    double heading = -1;
};

TEST_F(CurveTest, EndsAndMiddle)
{
    ASSERT_TRUE(positionOnCurve(segment, position, heading, 100));
    EXPECT_DOUBLE_EQ(position.lat, 50);
    EXPECT_DOUBLE_EQ(position.lon, 8);
    EXPECT_DOUBLE_EQ(heading, std::atan2(500, 800));

    ASSERT_TRUE(positionOnCurve(segment, position, heading, 120));
    EXPECT_NEAR(position.lat, 50 + 1000 / metresPerDegree, 1e-12);
    EXPECT_NEAR(position.lon, 8 + 2000 / (metresPerDegree * std::cos(50 * pi / 180)), 1e-12);
    EXPECT_DOUBLE_EQ(heading, std::atan2(1500, 200));

    ASSERT_TRUE(positionOnCurve(segment, position, heading, 110));
    EXPECT_NEAR(position.lat, 50 + (0.5 * 800 + 0.25 * 1000) / metresPerDegree, 1e-12);
}

TEST_F(CurveTest, HeadingWestOfNorthIsAboveAPi)
{
    segment.controlEast = -500;
    ASSERT_TRUE(positionOnCurve(segment, position, heading, 100));
    EXPECT_DOUBLE_EQ(heading, std::atan2(-500, 800) + 2 * pi);

    CurveSegment still{50, 8, 0, 0, 0, 10, 0, 0};
    ASSERT_TRUE(positionOnCurve(still, position, heading, 5));
    EXPECT_EQ(heading, 0.0);
}

TEST_F(CurveTest, FailsWithoutTouchingTheOutputs)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const auto fails = [&](const CurveSegment& s, double t) {
        return !positionOnCurve(s, position, heading, t) && position.lat == -1 && heading == -1;
    };
    EXPECT_TRUE(fails(segment, 99.9));
    EXPECT_TRUE(fails(segment, 120.1));
    EXPECT_TRUE(fails(segment, nan));
    EXPECT_TRUE(fails({50, 8, 100, 1000, 2000, 100, 500, 800}, 100)); // t1 == t0
    EXPECT_TRUE(fails({50, 8, 120, 1000, 2000, 100, 500, 800}, 110)); // t1 < t0
    EXPECT_TRUE(fails({50, 8, 100, 1000, 2000, 120, nan, 800}, 110));
    EXPECT_TRUE(fails({50, 8, 100, 1000, 2000, 120, 500, nan}, 110));
    EXPECT_TRUE(fails({50, 8, 100, nan, 2000, 120, 500, 800}, 110));
    EXPECT_TRUE(fails({nan, 8, 100, 1000, 2000, 120, 500, 800}, 110));
    EXPECT_TRUE(fails({50, 8, -std::numeric_limits<double>::infinity(), 1000, 2000, 120, 500, 800}, 110));
}

TEST(Geo, PositionTextsAndChecks)
{
    EXPECT_EQ(latLonText({51.47, -0.4543}), "51.470000,-0.454300");
    EXPECT_EQ(latLonText({0, 0}), "0.000000,0.000000");

    EXPECT_FALSE(isValidPosition({0.0005, 0.01}));
    EXPECT_FALSE(isValidPosition({0, 0}));
    EXPECT_FALSE(isValidPosition({0.0009, 0.05}));
    EXPECT_TRUE(isValidPosition({0.001, 0.01}));
    EXPECT_TRUE(isValidPosition({-0.0005, 0.01}));
    EXPECT_TRUE(isValidPosition({0.0005, 0.051}));

    EXPECT_TRUE(isStarredName("B738", "B738*"));
    EXPECT_TRUE(isStarredName("", "*"));
    EXPECT_FALSE(isStarredName("B738", "B738"));
    EXPECT_FALSE(isStarredName("B738", "B738**"));
    EXPECT_FALSE(isStarredName("B738", "B739*"));
    EXPECT_FALSE(isStarredName("B738", "B73*"));
}

} // namespace
} // namespace rtd
