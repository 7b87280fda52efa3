#pragma once
// A traffic port whose user aircraft and parked aircraft a test scripts, and which records
// what the airport code asked of live traffic.

#include "airports/traffic_port.hpp"

#include <fmt/format.h>
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

    DaySlot dayHalfHour() override { return now; }
    std::set<std::string, std::less<>> takeLiveCallsigns() override { return liveCallsigns; }
    std::vector<LiveStayer> purgeOldLiveRecords() override
    {
        ++purges;
        return live;
    }
    // Removals are recorded as "what callsign@stand".
    void removeLiveParked(int count) override
    {
        removals.push_back(fmt::format("longest {}", count));
        live.resize(live.size() - static_cast<std::size_t>(count));
    }
    void removeLiveStayer(const LiveStayer& stayer) override
    {
        removals.push_back(fmt::format("live {}@{}", stayer.callsign, stayer.standId));
    }
    void removeParked(std::string_view callsign, std::uint32_t standId) override
    {
        removals.push_back(fmt::format("parked {}@{}", callsign, standId));
    }
    void removeOrRetryParked() override { removals.push_back("all parked"); }
    void removeLiveAtStands() override { removals.push_back("live at stands"); }
    void applyMaxLive() override { removals.push_back("max live"); }

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
    DaySlot now = makeDaySlot(3, 20);
    std::set<std::string, std::less<>> liveCallsigns;
    std::vector<LiveStayer> live;
    int purges = 0;
    std::vector<std::string> removals;
};

} // namespace rtd::test
