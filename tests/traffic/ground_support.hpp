#pragma once
// A park airport for the ground tests, read from an airport file of the fixture generator:
// stands of several radii and headings, a cargo stand (marked after reading) and two
// adjacent stands; and a live aircraft on its ground, in the simulator or only in the list.

#include "traffic_harness.hpp"

#include "airports/fake_traffic_port.hpp"
#include "fixtures/airport_fixture.hpp"
#include "traffic/engine/arrival_stand.hpp"
#include "traffic/engine/motion/live_ground.hpp"
#include "traffic/engine/motion/live_motion.hpp"
#include "traffic/engine/motion/motion_math.hpp"

#include <string>
#include <vector>

namespace rtd::test {

inline constexpr LatLon standBase{52.3086, 4.7639};
inline constexpr double halfSpanMetres = 17.0;

// North and east metres from standBase.
inline LatLon offsetMetres(LatLon from, double north, double east)
{
    return {from.lat + north / curveMetresPerDegree,
            from.lon + east / (curveMetresPerDegree * std::cos(radians(from.lat)))};
}

inline LatLon towards(LatLon from, double bearingDeg, double metres)
{
    return destinationPoint(from, radians(bearingDeg), metres * metresToNm * feetPerNm);
}

inline double metresBetween(LatLon a, LatLon b)
{
    return distanceNm(a, b) * nmToMetres;
}

class GroundHarness : public TrafficHarness {
protected:
    struct Stand {
        std::string name;
        double north, east, headingDeg, radiusMetres;
    };

    GroundHarness()
    {
        const std::vector<Stand> stands{{"A1", 0, 0, 90, 20},   {"A2", 0, 30, 90, 20},  {"C1", 200, 0, 0, 30},
                                        {"B1", -200, 0, 180, 40}, {"R1", 0, 300, 0, 20}};
        fixtures::FixtureAirportFile file{{{"altitude", "-11"}, {"airport_name", "Test Field"}}, {}};
        for (const Stand& s : stands) {
            const LatLon at = offsetMetres(standBase, s.north, s.east);
            file.stands.push_back({s.name, at.lat, at.lon, s.headingDeg, s.radiusMetres, {}, {}});
        }
        writeFile(folder / "EHAM.xml", fixtures::airportFileXml(file));
        parkAirport.icao = "EHAM";
        parkAirport.position = parkAirportPosition;
        QualityFactors factors;
        EXPECT_EQ(gf_readApf(folder / "EHAM.xml", factors), "");
        standAt("C1").cargo = true;
        installTrafficPort(&port);
        port.setUser({userPosition, 0.0, false, true});
        publishStandSnapshot();
        resetArrivalStandSearch();
    }

    ~GroundHarness() override
    {
        clearAIQueues();
        installTrafficPort(nullptr);
        parkAirport.stands.clear();
        parkAirport.icao.clear();
        publishStandSnapshot();
        standReservations.clear();
        reservedStandName.clear();
        parking_percentage.set(parking_percentage.defaultValue());
        LEARN_SOFT.set(LEARN_SOFT.defaultValue());
    }

    static ParkingPosition& standAt(const std::string& name) { return *findStandByName(name); }
    static LatLon positionOfStand(const std::string& name)
    {
        const ParkingPosition& s = standAt(name);
        return {s.latitude, s.longitude};
    }

    // A ground update at a position, due at `due`.
    static PositionUpdate groundUpdate(LatLon at, double speedKt, std::int64_t due, bool stationary = false)
    {
        PositionUpdate u;
        u.lat = at.lat;
        u.lon = at.lon;
        u.groundSpeedKt = speedKt;
        u.duePoll = due;
        u.stationary = stationary;
        return u;
    }

    // A Large KLM aircraft on the ground in the list only (no object), at `at` heading `headingDeg`.
    static LiveAI& groundAircraft(std::uint32_t hexid, LatLon at, double headingDeg, Phase phase)
    {
        FlightRecord f;
        f.callsign = "KLM" + std::to_string(hexid % 1000);
        f.airline = "KLM";
        f.icaoType = "B738";
        f.registration = "PH-BXA";
        f.hexid = hexid;
        f.category = Large;
        f.halfSpan = halfSpanMetres * metresToNm;
        f.turnStep = radians(0.07);
        f.currentTurnStep = f.turnStep;
        f.pushBackSpeedKt = 4.0;
        LiveAI& ai = liveAIList.emplace_back(constructLiveAI(groundUpdate(at, 0, pollCounter, true), f, 1.0));
        ai.lat = at.lat;
        ai.lon = at.lon;
        ai.heading = radians(headingDeg);
        ai.onGround = true;
        ai.previousPhase = Phase::airborne;
        ai.phase = phase;
        ai.simStatus = SimStatus::inSim;
        ai.updates.clear();
        return ai;
    }

    // Places the aircraft at the stand as parked.
    static void parkAt(LiveAI& ai, const std::string& name)
    {
        const ParkingPosition& s = standAt(name);
        ai.standId = s.standId;
        ai.standLat = s.latitude;
        ai.standLon = s.longitude;
        ai.standHeading = s.heading;
        ai.lat = s.latitude;
        ai.lon = s.longitude;
        ai.heading = s.heading;
        ai.phase = Phase::atStand;
    }

    // The traffic thread's per-aircraft work of one poll, on one aircraft without the simulator.
    static void pollAircraft(LiveAI& ai)
    {
        if (!ai.updates.empty() && pollCounter >= ai.updates.front().duePoll)
            advanceLiveAI(ai);
        if (!ai.updates.empty() && !ai.updates.front().stationary)
            stepLiveAI(ai);
        ++pollCounter;
    }

    FakeTrafficPort port;
};

} // namespace rtd::test
