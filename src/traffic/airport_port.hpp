#pragma once
// The traffic side of the airport code's traffic port: what the airport code hands to live
// traffic reaches the traffic reader.

#include "airports/traffic_port.hpp"

namespace rtd {

class ReaderTrafficPort : public TrafficPort {
public:
    void setParkAirport(std::string_view icao, LatLon position) override;
    void setParkElevation(std::optional<double> elevationFt) override;
    UserStateView userState() override;
    void lockParkingControls() override;
    void unlockParkingControls() override;
    bool parkingBusy() override;
    void countParkedAIInSim() override;
};

// Installs the one port of the run; called at the start of every run.
void installReaderTrafficPort();

} // namespace rtd
