#pragma once
// What the airport code asks of live traffic. The traffic code installs its implementation
// at the start of a run; until then, and after uninstalling, calls reach one that does
// nothing. Tests install a recording fake.

#include "core/geo.hpp"
#include "core/time.hpp"

#include <cstdint>
#include <optional>
#include <set>
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
    std::uint32_t simStatus = 2; // 1 creation requested, 2 in the simulator, 4 removed
    bool held = false;           // to be removed once the simulator reports it
    std::string coupledCallsign1{}; // the two callsigns of its flight's option
    std::string coupledCallsign2{};
    DaySlot parkedSince = 0; // weekday and half hour it was placed at
};

// A live aircraft that stays at its stand.
struct LiveStayer {
    std::string callsign;
    std::uint32_t standId = 0;
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

    // Static parking.
    // The traffic cycle's current weekday and half hour.
    virtual DaySlot dayHalfHour() { return currentDayAndHalfHour(); }
    // Stops collecting the live callsigns and hands over those seen, emptying the set.
    virtual std::set<std::string, std::less<>> takeLiveCallsigns() { return {}; }
    // The live aircraft standing at stands that stay, by stand id; those standing too long
    // (unless INITIAL_LOAD_ONLY) are removed.
    virtual std::vector<LiveStayer> purgeOldLiveRecords() { return {}; }
    // Removes the `count` live aircraft that have stood at their stands longest.
    virtual void removeLiveParked(int) {}
    // Removes the live aircraft of the stayer.
    virtual void removeLiveStayer(const LiveStayer&) {}
    // Removes the static parked aircraft with the callsign at the stand when it is in the
    // simulator (or already being removed).
    virtual void removeParked(std::string_view, std::uint32_t) {}
    // Removes every static parked aircraft; one whose creation is under way is withdrawn,
    // or removed once created.
    virtual void removeOrRetryParked() {}
    // Removes the live aircraft at stands (withdrawn or removed once created when not yet
    // in the simulator), and every live aircraft forgets its stand.
    virtual void removeLiveAtStands() {}
    // Removes live aircraft while more than MAX_LIVE are in the simulator.
    virtual void applyMaxLive() {}
};

// The port must outlive every later call; null restores the one that does nothing.
void installTrafficPort(TrafficPort* port);
TrafficPort& trafficPort();

} // namespace rtd
