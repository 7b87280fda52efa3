#pragma once
// What the airport code asks of live traffic. The traffic code installs its implementation
// at the start of a run; until then, and after uninstalling, calls reach one that does
// nothing. Tests install a recording fake.

#include "core/geo.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rtd {

// The user aircraft as the simulator link last reported it.
struct UserStateView {
    LatLon position;
    double altitudeFt = 0.0;
    bool onGround = false;
    bool onGroundKnown = false; // the simulator has answered whether it is on the ground
};

// A static parked aircraft at a stand of the park airport.
struct ParkedAircraftView {
    std::uint32_t standId = 0;
    LatLon position;
    double radiusNm = 0.0; // half its wingspan
    std::string callsign;
    std::string airline;
    std::string type;
};

class TrafficPort {
public:
    virtual ~TrafficPort() = default;
    // The traffic reader's park airport (an empty code: none) and its elevation in feet
    // (none: no park airport).
    virtual void setParkAirport(std::string_view, LatLon) {}
    virtual void setParkElevation(std::optional<double>) {}

    // Safe on any thread.
    virtual UserStateView userState() { return {}; }

    // The rest is called on the traffic thread only.
    virtual std::vector<ParkedAircraftView> parkedAircraft() { return {}; }
    // The parking controls locked while static parking is renewed (the parking-busy flag).
    virtual void lockParkingControls() {}
    virtual void unlockParkingControls() {}
    virtual bool parkingBusy() { return false; }
    // Empties the live callsigns seen and starts collecting them again.
    virtual void startLiveCallsignCollection() {}
    // Clears the recalculation mark of every live aircraft.
    virtual void clearRecalcMarks() {}
    // Recount for the window's counters.
    virtual void countLiveAIAtStands() {}
    virtual void countParkedAIInSim() {}
    virtual void removeParkedAtStand(std::string_view) {}
};

// The port must outlive every later call; null restores the one that does nothing.
void installTrafficPort(TrafficPort* port);
TrafficPort& trafficPort();

} // namespace rtd
