#pragma once
// The traffic side of the airport code's traffic port: what the airport code hands to live
// traffic reaches the traffic reader and the AI lists of the traffic thread.

#include "airports/traffic_port.hpp"

#include <cstdint>
#include <string_view>

namespace rtd {

class ReaderTrafficPort : public TrafficPort {
public:
    void setParkAirport(std::string_view icao, LatLon position) override;
    void setParkElevation(std::optional<double> elevationFt) override;
    UserStateView userState() override;
    std::vector<ParkedAircraftView> parkedAircraft() override;
    void lockParkingControls() override;
    void unlockParkingControls() override;
    bool parkingBusy() override;
    void startLiveCallsignCollection() override;
    void clearRecalcMarks() override;

    DaySlot dayHalfHour() override;
    std::set<std::string, std::less<>> takeLiveCallsigns() override;
    std::vector<LiveStayer> purgeOldLiveRecords() override;
    void removeLiveParked(int count) override;
    void removeLiveStayer(const LiveStayer& stayer) override;
    void removeParked(std::string_view callsign, std::uint32_t standId) override;
    void removeOrRetryParked() override;
    void removeLiveAtStands() override;
    void applyMaxLive() override;
    void countLiveAIAtStands() override;
    void removeParkedAtStand(std::string_view standName) override;
    void countParkedAIInSim() override;
};

// Installs the one port of the run; called at the start of every run.
void installReaderTrafficPort();

} // namespace rtd
