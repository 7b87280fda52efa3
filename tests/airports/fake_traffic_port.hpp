#pragma once
// A traffic port whose user aircraft and parked aircraft a test scripts, and which records
// what the airport code asked of live traffic.

#include "airports/traffic_port.hpp"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace rtd::test {

class FakeTrafficPort : public TrafficPort {
public:
    UserStateView userState() override
    {
        std::lock_guard lock(mutex);
        return user;
    }
    void setUser(UserStateView state)
    {
        std::lock_guard lock(mutex);
        user = state;
    }
    std::vector<ParkedAircraftView> parkedAircraft() override { return parked; }
    void lockParkingControls() override { busy = true; }
    void unlockParkingControls() override
    {
        busy = false;
        ++unlocks;
    }
    bool parkingBusy() override { return busy; }
    void startLiveCallsignCollection() override { ++collections; }
    void clearRecalcMarks() override { ++recalcClears; }
    void countLiveAIAtStands() override { ++counts; }
    void countParkedAIInSim() override { ++counts; }
    void removeParkedAtStand(std::string_view stand) override { removedAt.emplace_back(stand); }
    void setParkAirport(std::string_view code, LatLon) override { icao = code; }

    std::mutex mutex;
    UserStateView user{{}, 0.0, true, true};
    std::vector<ParkedAircraftView> parked;
    std::atomic<bool> busy{false};
    int unlocks = 0;
    int collections = 0;
    int recalcClears = 0;
    int counts = 0;
    std::vector<std::string> removedAt;
    std::string icao;
};

} // namespace rtd::test
