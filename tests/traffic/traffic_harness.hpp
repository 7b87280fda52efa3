#pragma once
// The traffic thread driven on the test's thread: the stand-in simulator connected and
// dispatched, the traffic reader fed datagrams and the traffic cycle polled, one poll per
// simulator frame at 100 frames per second, so the simulator's second arrives every 100
// polls. The livery world knows KLM and DLH B738 liveries only; its model database lists
// the registration PH-BXA as a KLM B738.

#include "airports/services.hpp"
#include "core/parameters.hpp"
#include "core/requests.hpp"
#include "datagram_support.hpp"
#include "dbase_support.hpp"
#include "liveries/dbase.hpp"
#include "liveries/fixes.hpp"
#include "liveries/lookup_tables.hpp"
#include "sim_harness.hpp"
#include "tables_support.hpp"
#include "traffic/live_creation.hpp"
#include "traffic/live_merge.hpp"
#include "traffic/live_rules.hpp"
#include "traffic/service_link.hpp"
#include "traffic/traffic_thread.hpp"

#include <algorithm>
#include <string>

namespace rtd::test {

class TrafficHarness : public SimHarness {
protected:
    TrafficHarness()
    {
        std::filesystem::create_directories(folder / "input");
        writeFile(folder / "input" / "dbase.xml",
                  requiredSections() + "<dbase>" + dbRow("PH-BXA", "KLM", "B738", "KLM") + "</dbase>\n");
        readDbase();
        clearLookupTables();
        LiveryList liveries{livery("KLM", "B738", "KLM B738"), livery("DLH", "B738", "DLH B738")};
        liveries.sort(liveryLess);
        processScannedLiveries(liveries);
        excludedTitles.clear();
        RANDOM.set(false);
        LOG.set(true);
        lateralRangeNm = 40;
        resetTrafficState();
        trafficReader.setUserPosition(userPosition);
        trafficReader.setParkAirport("", {});
        pollCounter = 1;
        cycleTick = 0;
        setFlightRunning(true);
        if (connect()) {
            sim->setFrameRate(100);
            sim->setUser({.lat = userPosition.lat, .lon = userPosition.lon, .onGround = true});
            std::lock_guard lock(simConnectMutex);
            SimConnect_RequestDataOnSimObject(simConnectHandle, userOnGroundRequest, defineUserOnGround,
                                              sim::userObject, sim::periodSecond);
        }
        userStateCache = requestUserAircraftPosition();
        step(1);
    }

    ~TrafficHarness() override
    {
        setFlightRunning(false);
        resetTrafficState();
        coupledCheckList.clear();
        RANDOM.set(RANDOM.defaultValue());
        for (GuiBoolParameter* option : {&LOG, &GUID_CHANGES, &LIGHT_AIRCRAFT, &COLLISION_USER_AIR,
                                         &COLLISION_USER_GND})
            option->set(option->defaultValue());
        MAX_LIVE.set(MAX_LIVE.defaultValue());
        BLOCK_CALLSIGN.set({});
        lateralRangeNm = LATERAL_RANGE.defaultValue();
        excludedTitles.clear();
        simSecondTick = false;
    }

    // `polls` polls, each after one simulator frame and its dispatch.
    void step(int polls)
    {
        for (int i = 0; i < polls; ++i) {
            sim->frames(1);
            dispatchSimConnect();
            trafficCycle();
        }
    }

    static void feed(const std::string& datagram) { trafficReader.handleDatagram(datagram); }

    static LiveAI* live(std::uint32_t hexid)
    {
        const auto found = std::find_if(liveAIList.begin(), liveAIList.end(),
                                        [hexid](const LiveAI& a) { return a.id() == hexid; });
        return found == liveAIList.end() ? nullptr : &*found;
    }

    static LiveAI* liveByCallsign(const std::string& callsign)
    {
        const auto found = std::find_if(liveAIList.begin(), liveAIList.end(),
                                        [&callsign](const LiveAI& a) { return a.flight.callsign == callsign; });
        return found == liveAIList.end() ? nullptr : &*found;
    }

    ScopedCurrentFolder current{folder.path()};
};

} // namespace rtd::test
