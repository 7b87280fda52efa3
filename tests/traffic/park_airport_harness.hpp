#pragma once
// The traffic harness with a park airport at the user aircraft's position: "TEST", 10 stands
// each used by KLM in every half hour of the week (fixtures::writeParkAirport). The traffic
// cycle finds it in sight at its 16th second, reads its stands and places static parked
// aircraft.

#include "traffic_harness.hpp"

#include "fixtures/airport_fixture.hpp"
#include "traffic/engine/airport_port.hpp"

#include <algorithm>
#include <cstddef>

namespace rtd::test {

class ParkAirportHarness : public TrafficHarness {
protected:
    static constexpr int pollsPerSecond = 100;

    ParkAirportHarness()
    {
        fixtures::writeParkAirport(folder.path(), "TEST", userPosition, 10);
        readAirports();
        resetParkAirportSight();
        installReaderTrafficPort();
    }
    ~ParkAirportHarness() override
    {
        resetParkingState();
        resetParkAirportSight();
        installTrafficPort(nullptr);
    }

    void seconds(int count) { step(count * pollsPerSecond); }

    static std::size_t parkedWith(SimStatus status)
    {
        return static_cast<std::size_t>(std::count_if(parkedAIList.begin(), parkedAIList.end(),
                                                      [status](const ParkedAI& p) { return p.simStatus == status; }));
    }
};

} // namespace rtd::test
