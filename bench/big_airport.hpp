#pragma once
// The large park airport of the stand and fit benchmarks: 1,000 stands of 50 options each in
// rows of 40, every stand overlapping its two neighbours in the row, and 300 static parked
// aircraft on every third stand.

#include "airports/parking/park_airport_state.hpp"
#include "airports/parking/stands.hpp"
#include "airports/traffic_port.hpp"

#include <fmt/format.h>
#include <random>

namespace rtd::bench {

inline constexpr int standCount = 1000;
inline constexpr int optionsPerStand = 50;
inline constexpr int parkedCount = 300;
inline constexpr int standsPerRow = 40;
inline constexpr double spacingDeg = 50.0 / 1852.0 / 60.0; // 50 m

// Fills parkAirport.stands and returns the parked aircraft.
inline std::vector<ParkedAircraftView> makeBigParkAirport(std::uint32_t seed)
{
    std::mt19937 random(seed);
    auto& stands = parkAirport.stands;
    stands.clear();
    for (int s = 0; s < standCount; ++s) {
        std::vector<StandOption> options;
        for (int o = 0; o < optionsPerStand; ++o) {
            StandOption option{fmt::format("A{}", o % 13), "B738", fmt::format("R{}-{}", s, o), fmt::format("C{}-{}", s, o), ""};
            option.halfHours = (std::uint64_t{1} << (random() % 48)) | (std::uint64_t{1} << (random() % 48));
            option.number = static_cast<std::uint32_t>(o + 1);
            option.day = 1 + random() % 7;
            option.learned = true;
            option.soft = o % 5 == 0;
            options.push_back(std::move(option));
        }
        stands.emplace_back(fmt::format("S{}", s), std::move(options), 52.0 + (s / standsPerRow) * spacingDeg,
                            4.0 + (s % standsPerRow) * spacingDeg * 1.6, 0.0, 30.0, false, s % 3 == 0, false);
        stands.back().standId = static_cast<std::uint32_t>(s + 1);
        if (s % standsPerRow != 0)
            stands.back().neighbours.push_back(static_cast<std::uint32_t>(s));
        if (s % standsPerRow != standsPerRow - 1)
            stands.back().neighbours.push_back(static_cast<std::uint32_t>(s + 2));
    }
    std::vector<ParkedAircraftView> parked;
    for (int p = 0; p < parkedCount; ++p) {
        const ParkingPosition& stand = stands[static_cast<std::size_t>(p * 3)];
        ParkedAircraftView view{stand.standId, {stand.latitude, stand.longitude}, 0.009, fmt::format("C{}-0*", p * 3),
                                "A0", "B738"};
        view.parkedSince = makeDaySlot(3, static_cast<unsigned>(p % 20));
        view.coupledCallsign1 = fmt::format("C{}-0", p * 3);
        parked.push_back(std::move(view));
    }
    return parked;
}

// Shows the large airport's parked aircraft to a user standing at it, on a fixed half hour.
class BigAirportPort : public TrafficPort {
public:
    UserStateView userState() override { return {{52.0, 4.0}, 0.0, true, true}; }
    std::vector<ParkedAircraftView> parkedAircraft() override { return parked; }
    DaySlot dayHalfHour() override { return now; }
    std::vector<ParkedAircraftView> parked;
    DaySlot now = makeDaySlot(3, 20);
};

// Installs the port (other benchmarks install theirs) over the airport, made on first use.
inline BigAirportPort& bigAirport()
{
    static BigAirportPort port;
    static bool made = false;
    installTrafficPort(&port);
    if (!made) {
        made = true;
        port.parked = makeBigParkAirport(5);
        publishStandSnapshot();
    }
    return port;
}

} // namespace rtd::bench
