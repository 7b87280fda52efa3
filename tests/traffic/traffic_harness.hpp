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
#include "rt_peer/scenario.hpp"
#include "sim_harness.hpp"
#include "tables_support.hpp"
#include "traffic/engine/live_creation.hpp"
#include "traffic/engine/live_merge.hpp"
#include "traffic/engine/live_rules.hpp"
#include "traffic/engine/traffic_thread.hpp"
#include "traffic/link/service_link.hpp"

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
            sim::SimConnect_RequestDataOnSimObject(simConnectHandle, userOnGroundRequest, defineUserOnGround,
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

    // The traffic datagrams of a test peer's scenario (its `traffic` and `path` lines), in
    // the order it sends them.
    static std::vector<std::string> scenarioDatagrams(const std::string& scenario)
    {
        std::vector<std::string> datagrams;
        for (const peer::Event& event : peer::parseScenario(scenario, 1700000000.0, "test"))
            if (event.action == peer::Action::trafficDatagram)
                datagrams.push_back(event.data);
        return datagrams;
    }

    static LiveAI* live(std::uint32_t hexid)
    {
        const auto found = std::find_if(liveAIList.begin(), liveAIList.end(),
                                        [hexid](const LiveAI& a) { return a.id() == hexid; });
        return found == liveAIList.end() ? nullptr : &*found;
    }

    // An aircraft in the simulator (or another status) `northNm` north of the datagram
    // helper's position, its object id the hexid's last three digits.
    static LiveAI& present(std::uint32_t hexid, const std::string& callsign, SimStatus status, double northNm = 1.0)
    {
        TrafficReport r = airborneReport();
        r.update.lat += northNm / 60.0;
        FlightRecord flight;
        flight.callsign = callsign;
        flight.icaoType = "B738";
        flight.origin = "EHAM";
        flight.destination = "LEMD";
        flight.hexid = hexid;
        LiveAI a = constructLiveAI(r.update, flight, r.timestamp);
        a.simStatus = status;
        a.objectId = hexid % 1000;
        a.phase = Phase::airborne;
        a.lat = r.update.lat;
        a.lon = r.update.lon;
        liveAIList.push_back(std::move(a));
        return liveAIList.back();
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
