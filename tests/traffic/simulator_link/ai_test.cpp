#include "traffic/sim_harness.hpp"

#include "core/exceptions.hpp"
#include "core/parameters.hpp"
#include "liveries/fixes.hpp"

#include <fmt/format.h>
#include <pugixml.hpp>
#include <algorithm>
#include <thread>

namespace rtd {
namespace {

using test::SimHarness;
using test::TempFolder;

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

LiveAI* live(std::uint32_t hexid)
{
    const auto found =
        std::find_if(liveAIList.begin(), liveAIList.end(), [hexid](const LiveAI& a) { return a.id() == hexid; });
    return found == liveAIList.end() ? nullptr : &*found;
}

std::size_t countEvents(const sim::StandInSim& sim, std::uint32_t objectId, const std::string& name)
{
    const auto events = sim.eventsTo(objectId);
    return static_cast<std::size_t>(
        std::count_if(events.begin(), events.end(), [&](const sim::ClientEventRecord& e) { return e.name == name; }));
}

std::vector<std::string> callNames(const sim::StandInSim& sim, std::size_t from)
{
    std::vector<std::string> names;
    const auto calls = sim.calls();
    for (std::size_t i = from; i < calls.size(); ++i)
        names.push_back(calls[i].name + "(" + calls[i].args + ")");
    return names;
}

class AITest : public SimHarness {
protected:
    AITest()
    {
        NAV_LIGHTS_WHILE_PARKED.set(false);
        RANDOM.set(false);
        LOG.set(true);
        excludedTitles.clear();
        failedTitles.clear();
        resetParkedAircraftId();
    }
    ~AITest() override
    {
        NAV_LIGHTS_WHILE_PARKED.set(NAV_LIGHTS_WHILE_PARKED.defaultValue());
        RANDOM.set(RANDOM.defaultValue());
        CALLSIGN_2_OBJECTID.set({});
        followedObjectId = 0;
        excludedTitles.clear();
        failedTitles.clear();
    }
};

TEST_F(AITest, CreationRoundTrip)
{
    struct Row {
        const char* what;
        Phase phase;
        double altitudeFt;
        AircraftCategory category;
        bool gear;
        bool engines;
        std::uint32_t lights;
        std::uint32_t throttle;
        std::uint32_t flaps;
    };
    using enum sim::LightBit;
    const std::vector<Row> rows{
        {"at a stand", Phase::atStand, 0, Large, true, false, lightLogo | lightCabin, 0, 0},
        {"moving on the ground", Phase::groundMoving, 0, Large, true, true,
         lightNav | lightBeacon | lightTaxi | lightLogo | lightCabin, 0, 3072},
        {"airborne at 5,000 ft", Phase::airborne, 5000, Large, false, true,
         lightNav | lightBeacon | lightLanding | lightStrobe | lightLogo | lightCabin, 0, 0},
        {"airborne at 12,000 ft", Phase::airborne, 12000, Heavy, false, true,
         lightNav | lightBeacon | lightStrobe | lightCabin, 0, 0},
        {"rotorcraft at a stand", Phase::atStand, 0, Rotorcraft, false, false, lightLogo | lightCabin, 16383, 0},
    };
    ASSERT_TRUE(connect());
    sim->setUser({.lat = 52.3, .lon = 4.76});
    std::uint32_t hexid = 0x400000;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ++hexid;
        const std::string callsign = fmt::format("KLM{}", hexid & 0xFF);
        sim->setStaticCg("Livery A", 7.5, 1.0);
        const std::size_t before = sim->calls().size();
        const std::uint32_t objectId = createLive(hexid, callsign, "Livery A", row.phase, row.altitudeFt, row.category);
        ASSERT_GT(objectId, 2u);
        const auto created = sim->object(objectId);
        ASSERT_TRUE(created);
        EXPECT_EQ(created->title, "Livery A");
        EXPECT_EQ(created->tail, callsign);
        EXPECT_DOUBLE_EQ(created->alt, row.altitudeFt);
        EXPECT_TRUE(created->released);
        EXPECT_TRUE(contains(callNames(*sim, before)[0], "SimConnect_AICreateNonATCAircraft(")) << "created first";
        const std::string plan = (flightPlanFolder / fmt::format("{}.pln", objectId)).string();
        EXPECT_TRUE(std::filesystem::exists(plan));
        EXPECT_EQ(created->flightPlan, plan);
        // The library adds the extension itself: it is handed the path without it.
        const std::string planCall = fmt::format("SimConnect_AISetAircraftFlightPlan({}, \"{}\", 110)", objectId,
                                                 plan.substr(0, plan.size() - 4));
        const std::vector<std::string> calls = callNames(*sim, before);
        EXPECT_NE(std::ranges::find(calls, planCall), calls.end()) << planCall;

        std::vector<int> togglePolls;
        for (int p = 2; p <= 200; ++p) {
            const std::size_t toggles = countEvents(*sim, objectId, "ALL_LIGHTS_TOGGLE");
            ASSERT_TRUE(step(1));
            poll();
            if (countEvents(*sim, objectId, "ALL_LIGHTS_TOGGLE") != toggles)
                togglePolls.push_back(p);
            if (p < 200) {
                EXPECT_EQ(live(hexid)->simStatus, SimStatus::requested);
            }
        }
        ASSERT_TRUE(step(1));
        EXPECT_EQ(togglePolls, (std::vector<int>{50, 100}));
        const LiveAI& ai = *live(hexid);
        EXPECT_EQ(ai.simStatus, SimStatus::inSim);
        EXPECT_DOUBLE_EQ(ai.flight.staticCgHeight, 7.5) << "request 102 applied";
        EXPECT_EQ(ai.onGround, row.altitudeFt == 0);
        const auto object = *sim->object(objectId);
        EXPECT_EQ(countEvents(*sim, objectId, "GEAR_SET"), row.gear ? 1u : 0u);
        EXPECT_EQ(object.gear, row.gear);
        EXPECT_TRUE(object.freezeLatLon && object.freezeAltitude && object.freezeAttitude);
        EXPECT_EQ(object.engines, row.engines);
        EXPECT_EQ(object.lights, row.lights);
        EXPECT_EQ(object.throttle, row.throttle);
        EXPECT_EQ(object.flaps, row.flaps);
        EXPECT_TRUE(pendingSetups.empty());
    }
}

TEST_F(AITest, RefusedSwallowedAndUnseenCreations)
{
    ASSERT_TRUE(connect());
    sim->setUser({.lat = 52.3, .lon = 4.76});
    {
        std::lock_guard lock(simConnectMutex);
        sim::SimConnect_RequestDataOnSimObject(simConnectHandle, userOnGroundRequest, defineUserOnGround, sim::userObject,
                                          sim::periodSecond);
    }
    sim->refuseTitle("Refused");
    placeLive(0x500001, "AFR1", "Refused", Phase::atStand, 0);
    ASSERT_TRUE(step(2));
    poll();
    EXPECT_EQ(live(0x500001), nullptr) << "refused: erased";
    EXPECT_EQ(excludedTitles, std::vector<LiveryRef>{"Refused"});

    sim->swallowCreations(1);
    placeLive(0x500002, "AFR2", "Swallowed", Phase::atStand, 0);
    placeLive(0x500003, "AFR3", "Far", Phase::atStand, 0);
    sim->setUser({.lat = 54.0, .lon = 4.76}); // 100 nm north: no scan reaches the new object
    ASSERT_TRUE(step(2));
    ASSERT_EQ(sim->objects().size(), 1u);
    rangeScan();
    ASSERT_TRUE(step(0));
    poll();
    EXPECT_NE(live(0x500002), nullptr);
    EXPECT_NE(live(0x500003), nullptr);
    sim->seconds(29);
    ASSERT_TRUE(step(0));
    poll();
    EXPECT_EQ(liveAIList.size(), 2u) << "29 s: still waiting";
    sim->seconds(1);
    ASSERT_TRUE(step(0));
    poll();
    EXPECT_TRUE(liveAIList.empty()) << "30 s: given up";
    EXPECT_TRUE(pendingCreations.empty());
    EXPECT_EQ(excludedTitles, std::vector<LiveryRef>{"Refused"}) << "the livery is not to blame";
    EXPECT_TRUE(contains(log(), "creation of AFR2 (aircraft 5242882) not reported by the Sim in 30 s, dropped"));

    // Found later, each goes: the swallowed one's object, added late, and the far one, the
    // user back next to it. A foreign aircraft stays.
    sim->setUser({.lat = 52.3, .lon = 4.76});
    sim->addForeignAircraft("Swallowed", "AFR2", 52.3, 4.76, 0, true);
    const std::uint32_t foreign = sim->addForeignAircraft("Other", "BAW9", 52.3, 4.76, 0, true);
    ASSERT_TRUE(step(1));
    rangeScan();
    ASSERT_TRUE(step(0));
    poll();
    ASSERT_TRUE(step(1));
    std::vector<std::uint32_t> left;
    for (const sim::AiState& object : sim->objects())
        left.push_back(object.id);
    EXPECT_EQ(left, std::vector<std::uint32_t>{foreign});

    // The 20th distinct refused title ends the run.
    excludedTitles.assign({"Refused"});
    static const std::vector<std::string> titles = [] {
        std::vector<std::string> t;
        for (int i = 1; i < 19; ++i)
            t.push_back(fmt::format("Refused {}", i));
        return t;
    }();
    for (const std::string& title : titles)
        excludedTitles.push_back(title);
    sim->refuseTitle("Last");
    placeLive(0x500004, "AFR4", "Last", Phase::atStand, 0);
    ASSERT_TRUE(step(2));
    try {
        poll();
        FAIL() << "no user error";
    } catch (const UserErrorException& e) {
        EXPECT_TRUE(std::string(e.what()).starts_with("81: there are too many liveries")) << e.what();
    }
}

TEST_F(AITest, RemovalRoundTrip)
{
    ASSERT_TRUE(connect());
    sim->setUser({.lat = 52.3, .lon = 4.76});
    const std::uint32_t first = createLive(0x600001, "KLM1", "Livery A", Phase::atStand, 0);
    const std::uint32_t second = createLive(0x600002, "KLM2", "Livery A", Phase::atStand, 0);
    const std::uint32_t third = createLive(0x600003, "KLM3", "Livery A", Phase::atStand, 0);
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(step(1));
        poll();
    }
    const auto plan = [](std::uint32_t id) { return flightPlanFolder / fmt::format("{}.pln", id); };
    ASSERT_TRUE(std::filesystem::exists(plan(first)));

    // Followed, then removed: the followed aircraft is forgotten, its object queued once.
    followedObjectId = first;
    CALLSIGN_2_OBJECTID.set("KLM1");
    markAIRemoved(*live(0x600001));
    markAIRemoved(*live(0x600001));
    EXPECT_EQ(followedObjectId, 0u);
    EXPECT_EQ(CALLSIGN_2_OBJECTID.value(), "");
    EXPECT_EQ(removalBacklog, std::deque<std::uint32_t>{first});

    // A livery change: frozen, removal sent, back to status 0 for a new creation.
    live(0x600002)->simStatus = SimStatus::liveryChange;
    queueRemoval(second);
    queueRemoval(removalBacklog.front());
    removalBacklog.pop_front();
    queueRemoval(userObjectId);
    ASSERT_TRUE(step(1));
    poll();
    EXPECT_FALSE(sim->object(first));
    EXPECT_FALSE(sim->object(second));
    EXPECT_EQ(live(0x600001), nullptr);
    EXPECT_FALSE(std::filesystem::exists(plan(first)));
    const LiveAI& changed = *live(0x600002);
    EXPECT_EQ(changed.simStatus, SimStatus::waiting);
    EXPECT_TRUE(changed.recreate);
    EXPECT_EQ(changed.objectId, 0u);
    EXPECT_EQ(changed.throttleState, throttleNoneSent);
    EXPECT_EQ(changed.flapsState, flapsNoneSent);
    EXPECT_TRUE(sim->object(third));
    EXPECT_TRUE(contains(log(), "!Simconnect call to remove AI ac with objectId 2"));
}

TEST_F(AITest, ObjectsOfAircraftThatAreToGoAreRemovedNotFrozen)
{
    ASSERT_TRUE(connect());
    sim->setUser({.lat = 52.3, .lon = 4.76});
    struct Row {
        const char* what;
        std::function<void(std::uint32_t hexid)> before; // after placing, before the object is known
        std::function<void(std::uint32_t hexid)> after;  // once the object is known
    };
    const std::vector<Row> rows{
        {"marked removed before its object", [](std::uint32_t h) { markAIRemoved(*live(h)); }, {}},
        {"left its list before its object", [](std::uint32_t h) { eraseBySwap(liveAIList, live(h) - liveAIList.data()); }, {}},
        {"left its list during its set-up", {}, [](std::uint32_t h) { eraseBySwap(liveAIList, live(h) - liveAIList.data()); }},
    };
    std::uint32_t hexid = 0x700000;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ++hexid;
        placeLive(hexid, "SAS1", "Livery A", Phase::atStand, 0);
        if (row.before)
            row.before(hexid);
        ASSERT_TRUE(step(2));
        rangeScan();
        ASSERT_TRUE(step(0));
        const std::uint32_t objectId = sim->objects().back().id;
        poll();
        if (row.after)
            row.after(hexid);
        for (int i = 0; i < 200 && sim->object(objectId); ++i) {
            ASSERT_TRUE(step(1));
            poll();
        }
        EXPECT_FALSE(sim->object(objectId));
        EXPECT_EQ(live(hexid), nullptr);
        EXPECT_EQ(countEvents(*sim, objectId, "ENGINE_AUTO_SHUTDOWN"), 0u) << "no set-up";
        EXPECT_TRUE(pendingSetups.empty());
    }

    // A bad object id: logged, the aircraft erased, nothing sent to that id.
    placeLive(0x7000FF, "SAS9", "Livery A", Phase::atStand, 0);
    creationQueue.clear();
    SimEvent bad{.objectId = 2, .aircraftId = 0x7000FF, .kind = CreatedLive};
    pushSimEvent(bad);
    const std::size_t calls = sim->calls().size();
    poll(3);
    ASSERT_TRUE(step(1));
    EXPECT_EQ(live(0x7000FF), nullptr);
    EXPECT_EQ(callNames(*sim, calls), std::vector<std::string>{});
    EXPECT_TRUE(contains(log(), "SAS9 objectId in liveAIAdded 2"));
}

TEST_F(AITest, FrameDrain)
{
    ASSERT_TRUE(connect());
    sim->setUser({.lat = 52.3, .lon = 4.76});
    const std::uint32_t a = createLive(0x800001, "KLM1", "Livery A", Phase::groundMoving, 0);
    const std::uint32_t b = createLive(0x800002, "KLM2", "Livery A", Phase::groundMoving, 0);
    ASSERT_TRUE(step(1));

    // A busy mutex skips the frame; the next sends everything in order.
    std::mutex heldMutex;
    std::unique_lock holder(heldMutex);
    std::thread other([&] {
        std::lock_guard hold(simConnectMutex);
        std::lock_guard wait(heldMutex);
    });
    while (simConnectMutex.try_lock())
        simConnectMutex.unlock(); // until the other thread holds it
    positionQueue.front->push_back({.latitude = 52.31, .longitude = 4.77, .objectId = a});
    clientEventQueue.push_back({b, eventGearSet, 1});
    creationQueue.push_back({.position = {52.3, 4.76, 0, 0, 0, 0, 1, 0}, .callsign = "KLM3", .title = "Livery A",
                             .aircraftId = 0x800003});
    removalQueue.push_back(b);
    const std::size_t calls = sim->calls().size();
    const std::uint32_t writes = sim->object(a)->positionWrites;
    onSimFrame(); // the frame event, while the traffic thread holds the mutex
    EXPECT_EQ(callNames(*sim, calls), std::vector<std::string>{});
    EXPECT_EQ(removalQueue.size(), 1u);
    holder.unlock();
    other.join();
    ASSERT_TRUE(step(1));
    EXPECT_EQ(sim->object(a)->positionWrites, writes + 1);
    const auto names = callNames(*sim, calls);
    ASSERT_GE(names.size(), 4u);
    EXPECT_EQ(names[0], fmt::format("SimConnect_TransmitClientEvent({}, 219, 1, 301)", b));
    EXPECT_TRUE(contains(names[1], "SimConnect_AICreateNonATCAircraft"));
    EXPECT_TRUE(contains(names[2], "SimConnect_GetLastSentPacketID"));
    EXPECT_EQ(names[3], fmt::format("SimConnect_AIRemoveObject({}, 105)", b));
    EXPECT_TRUE(positionQueue.front->empty() && clientEventQueue.empty() && creationQueue.empty());

    // FLAPS_SET between two releases; the second is not made after a failed transmit.
    const auto release = fmt::format("SimConnect_AIReleaseControl({}, 103)", a);
    const auto flaps = fmt::format("SimConnect_TransmitClientEvent({}, 217, 10240, 301)", a);
    for (const bool fail : {false, true}) {
        const std::size_t from = sim->calls().size();
        if (fail)
            sim->failNext("SimConnect_TransmitClientEvent", 1);
        LiveAI& ai = *live(0x800001);
        ai.flapsState = 0;
        queueFlaps(ai, 2);
        ASSERT_TRUE(step(1));
        const std::vector<std::string> expected =
            fail ? std::vector<std::string>{release, flaps} : std::vector<std::string>{release, flaps, release};
        EXPECT_EQ(callNames(*sim, from), expected);
    }
    EXPECT_EQ(mainWindowGlobals.statusLine().statusText, "SimConnect TransmitClientEvent: 217 fails");

    // After a failed link every frame discards the queues.
    simConnectFailed = true;
    queueEngineStart(a);
    queueRemoval(a);
    const std::size_t from = sim->calls().size();
    ASSERT_TRUE(step(1));
    EXPECT_EQ(callNames(*sim, from), std::vector<std::string>{});
    EXPECT_TRUE(clientEventQueue.empty() && removalQueue.empty());
    simConnectFailed = false;
}

TEST_F(AITest, PositionHandOverDropsAtFiftyFramesAndWaitsAbove)
{
    for (const float rate : {50.0f, 60.0f}) {
        SCOPED_TRACE(rate);
        frameRate = rate;
        positionQueue.front->assign(1, {.objectId = 7});
        appendPosition({.objectId = 8});
        std::mutex gate;
        std::unique_lock hold(gate);
        std::atomic<bool> locked{false};
        std::thread other([&] {
            std::lock_guard busy(simConnectMutex);
            locked = true;
            std::lock_guard wait(gate);
        });
        while (!locked)
            std::this_thread::yield();
        if (rate <= 50.0f) {
            handOverPositions();
            hold.unlock();
            other.join();
            EXPECT_EQ(positionQueue.front->size(), 1u);
            EXPECT_EQ(positionQueue.front->front().objectId, 7u) << "kept, this poll's dropped";
        } else {
            std::thread handOver(handOverPositions);
            hold.unlock();
            other.join();
            handOver.join();
            ASSERT_EQ(positionQueue.front->size(), 1u);
            EXPECT_EQ(positionQueue.front->front().objectId, 8u) << "the newer replaces the older";
        }
        EXPECT_TRUE(positionQueue.back->empty());
    }
    frameRate = 0.0f;
}

TEST_F(AITest, ThrottleAndFlapsSendOnlyChanges)
{
    struct Row {
        const char* what;
        AircraftCategory category;
        bool throttle; // else flaps
        std::vector<std::uint32_t> states;
        std::vector<std::uint32_t> sent;
        std::uint32_t finalState;
    };
    const std::vector<Row> rows{
        {"throttle 5 records, sends nothing; 0 then sends", Large, true, {5, 5, 0}, {0}, 0},
        {"throttle of a rotorcraft", Rotorcraft, true, {4, 4, 1}, {16383, 4914}, 1},
        {"flaps: the current state sends nothing", Large, false, {4, 1, 1, 3}, {3072, 16383}, 3},
        {"flaps of a rotorcraft: never sent, state kept", Rotorcraft, false, {1, 2}, {}, flapsNoneSent},
    };
    for (const Row& row : rows) {
        ParkedAI ai = constructParkedAI({}, 1, 0, 0, 0, false);
        ai.flight.category = row.category;
        ai.objectId = 200;
        clientEventQueue.clear();
        for (const std::uint32_t state : row.states)
            row.throttle ? queueThrottle(ai, state) : queueFlaps(ai, state);
        std::vector<std::uint32_t> sent;
        for (const ClientEventCommand& c : clientEventQueue)
            sent.push_back(c.data);
        EXPECT_EQ(sent, row.sent) << row.what;
        EXPECT_EQ(row.throttle ? ai.throttleState : ai.flapsState, row.finalState) << row.what;
    }
    clientEventQueue.clear();
}

TEST_F(AITest, StaticCgAndPitchBounds)
{
    struct Row {
        double cgFt;
        double pitchDeg;
        double keptCgFt;
        double keptPitchDeg;
        bool logged;
    };
    const std::vector<Row> rows{
        {0.5, 1.0, 4.0, 1.0, true}, {35.0, 2.5, 35.0, 2.5, false}, {35.1, -1.0, 4.0, 0.7, true},
        {1.0, -0.9, 1.0, -0.9, false}, {12.0, 2.6, 12.0, 0.7, false},
    };
    for (const Row& row : rows) {
        liveAIList.clear();
        LiveAI& ai = liveAIList.emplace_back(constructLiveAI({}, {}, 0));
        ai.objectId = 300;
        ai.flight.staticCgHeight = 4.0;
        const std::size_t logSize = log().size();
        handleSimEvent({.objectId = 300, .kind = StaticCg, .value1 = row.cgFt, .value2 = row.pitchDeg * radiansPerDegree});
        EXPECT_DOUBLE_EQ(liveAIList[0].flight.staticCgHeight, row.keptCgFt) << row.cgFt;
        EXPECT_NEAR(liveAIList[0].flight.staticPitch, row.keptPitchDeg * radiansPerDegree, 1e-12) << row.pitchDeg;
        EXPECT_EQ(contains(log().substr(logSize), "ft wrong?"), row.logged) << row.cgFt;
    }
}

TEST_F(AITest, TouchdownWritesSpoilersAndThrottleLevers)
{
    ASSERT_TRUE(connect());
    sim->setUser({.lat = 52.3, .lon = 4.76});
    struct Row {
        AircraftCategory category;
        bool fsltl;
        std::uint32_t onGroundPolls;
        std::array<double, 3> def401;
        double pitchStep;
    };
    const std::vector<Row> rows{
        {Large, false, 100, {100, 100, 100}, (0.01 - 0.05) / 100},
        {Heavy, true, 100, {100, -100, -100}, (0.01 - 0.05) / 100},
        {Light, false, 0, {0, 0, 0}, 0.01},
    };
    std::uint32_t hexid = 0x900000;
    for (const Row& row : rows) {
        const std::uint32_t objectId = createLive(++hexid, "TD1", "Livery A", Phase::airborne, 3000, row.category);
        LiveAI& ai = *live(hexid);
        ai.flight.fsltlLivery = row.fsltl ? 1 : 0;
        ai.flight.onGroundPolls = row.onGroundPolls;
        ai.flight.staticPitch = 0.01;
        ai.pitch = 0.05;
        ai.approach = true;
        handleSimEvent({.objectId = objectId, .aircraftId = 1, .kind = GroundData, .value1 = 10, .value2 = 0});
        ASSERT_TRUE(step(1));
        EXPECT_EQ(sim->object(objectId)->def401Values, row.def401) << row.category;
        EXPECT_EQ(sim->object(objectId)->spoilers, row.category == Rotorcraft ? 0u : 16383u);
        EXPECT_TRUE(ai.landed && ai.landingRoll && ai.onGround && !ai.approach);
        EXPECT_DOUBLE_EQ(ai.pitchStep, row.pitchStep);
        EXPECT_EQ(coupledCheckList.back(), hexid);
    }
    EXPECT_TRUE(contains(log(), "TD1 ! onGround slots 0.0"));
    coupledCheckList.clear();
}

TEST_F(AITest, ParkedAircraftSetUpAndDroppedBacklog)
{
    ASSERT_TRUE(connect());
    sim->setUser({.lat = 52.3, .lon = 4.76});
    struct Row {
        bool cabinLightsOff;
        bool nav;
        std::uint32_t lights;
    };
    using enum sim::LightBit;
    const std::vector<Row> rows{{false, false, lightLogo | lightCabin}, {true, true, lightNav | lightLogo}};
    std::uint32_t id = 0;
    for (const Row& row : rows) {
        NAV_LIGHTS_WHILE_PARKED.set(row.nav);
        FlightRecord flight;
        flight.callsign = "BAW1*";
        flight.hexid = ++id;
        parkedAIList.push_back(constructParkedAI(flight, 5, 52.3, 4.76, 0, row.cabinLightsOff));
        queueAICreation({.position = {52.3, 4.76, 0, 0, 0, 0, 1, 0}, .callsign = "BAW1*", .title = "Livery P",
                         .aircraftId = id});
        ASSERT_TRUE(step(2));
        rangeScan();
        ASSERT_TRUE(step(0));
        poll(199);
        EXPECT_EQ(parkedAIList.back().simStatus, SimStatus::waiting);
        poll();
        ASSERT_TRUE(step(1));
        const ParkedAI& parked = parkedAIList.back();
        ASSERT_EQ(parked.simStatus, SimStatus::inSim);
        const auto object = *sim->object(parked.objectId);
        EXPECT_EQ(object.lights, row.lights);
        EXPECT_FALSE(object.engines);
        EXPECT_EQ(countEvents(*sim, parked.objectId, "THROTTLE_SET"), 1u);
        EXPECT_EQ(countEvents(*sim, parked.objectId, "FLAPS_SET"), 1u);
    }
    for (const auto& [callsign, aircraftId] : {std::pair{"A*", 11u}, std::pair{"B*", 12u}, std::pair{"A*", 13u},
                                               std::pair{"C*", 14u}}) {
        FlightRecord flight;
        flight.hexid = aircraftId;
        parkedAIList.push_back(constructParkedAI(flight, 0, 0, 0, 0, false));
        pushQueuedCreation(parkedCreationBacklog, {.position = {}, .callsign = callsign, .title = {}, .aircraftId = aircraftId});
    }
    EXPECT_TRUE(dropQueuedCreationsByCallsign("A*"));
    EXPECT_FALSE(dropQueuedCreationsByCallsign("A*"));
    std::vector<std::uint32_t> left;
    for (const CreationRequest& r : parkedCreationBacklog)
        left.push_back(r.aircraftId);
    EXPECT_EQ(left, (std::vector<std::uint32_t>{12, 14}));
    EXPECT_EQ(parkedAIList.size(), 4u) << "two set up, two still queued";
}

// The range scan reads a tail number back as the "ATC ID", 10 characters at most: a longer
// callsign is sent in a form that survives it whole, unique among the creations in flight, so
// the range scan still finds each one.
TEST_F(AITest, LongCallsignsAreSentInAFormTheSimulatorKeeps)
{
    ASSERT_TRUE(connect());
    sim->setUser({.lat = 52.3, .lon = 4.76});
    struct Row {
        const char* callsign;
        const char* tail;
    };
    const std::vector<Row> rows{
        {"KLM1801*", "KLM1801*"},
        {"KLMROYALDUTC1*", "KLMROYALD*"},   // 14 characters
        {"TRANSAVIA123456*", "TRANSAVIA*"},
        {"TRANSAVIA129999*", "TRANSAVI1*"}, // the same first 9 characters
        {"TRANSAVIA*", "TRANSAVI2*"},       // fits, but its own form is taken
        {"ABCDEFGHIJKLMNOP", "ABCDEFGHIJ"},
    };
    std::uint32_t id = 0;
    for (const Row& row : rows) {
        FlightRecord flight;
        flight.callsign = row.callsign;
        flight.hexid = ++id;
        parkedAIList.push_back(constructParkedAI(flight, 5, 52.3, 4.76 + 0.001 * id, 0, false));
        queueAICreation({.position = {52.3, 4.76 + 0.001 * id, 0, 0, 0, 0, 1, 0}, .callsign = row.callsign,
                         .title = "Livery P", .aircraftId = id});
    }
    ASSERT_TRUE(step(2));
    rangeScan();
    ASSERT_TRUE(step(0));
    poll(static_cast<int>(rows.size())); // one result a poll
    ASSERT_EQ(pendingSetups.size(), rows.size()) << "each identified by the range scan";
    for (const SimEvent& created : pendingSetups)
        EXPECT_EQ(sim->object(created.objectId)->tail, rows[created.aircraftId - 1].tail);
    EXPECT_FALSE(contains(log(), "just created, but not by"));
}

// A static creation the simulator never reported is given up; a later static aircraft whose
// callsign shares its tail number is sent under another, so its object is never taken for the
// given-up one's, nor the given-up one's late object for its own.
TEST_F(AITest, ACreationGivenUpKeepsItsTailFromLaterOnes)
{
    struct Row {
        const char* what;
        const char* first;
        const char* second;
        const char* lateTail; // the given-up creation's object turns up under it; null: never
    };
    const std::vector<Row> rows{
        {"the same first 9 characters", "KLMROYALDUT*", "KLMROYALDUX*", nullptr},
        {"the same callsign", "BAW1*", "BAW1*", nullptr},
        {"the given-up object late", "KLMROYALDUT*", "KLMROYALDUX*", "KLMROYALD*"},
    };
    std::uint32_t id = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        resetSimLink();
        clearAIContainers();
        ASSERT_TRUE(connect());
        {
            std::lock_guard lock(simConnectMutex);
            sim::SimConnect_RequestDataOnSimObject(simConnectHandle, userOnGroundRequest, defineUserOnGround,
                                              sim::userObject, sim::periodSecond);
        }
        const auto park = [&](const char* callsign, double lat) {
            FlightRecord flight;
            flight.callsign = callsign;
            flight.hexid = ++id;
            parkedAIList.push_back(constructParkedAI(flight, 5, lat, 4.76, 0, false));
            queueAICreation({.position = {lat, 4.76, 0, 0, 0, 0, 1, 0}, .callsign = callsign, .title = "Livery P",
                             .aircraftId = id});
        };
        sim->setUser({.lat = 52.3, .lon = 4.76});
        sim->swallowCreations(1);
        park(row.first, 52.3);
        ASSERT_TRUE(step(2));
        sim->seconds(30);
        ASSERT_TRUE(step(0));
        poll();
        ASSERT_TRUE(parkedAIList.empty()) << "given up";

        // With a late object, the second one's own lies out of the first scan's reach.
        const double ownLat = row.lateTail != nullptr ? 54.0 : 52.3;
        park(row.second, ownLat);
        ASSERT_TRUE(step(2));
        const std::uint32_t own = sim->objects().back().id;
        if (row.lateTail != nullptr)
            sim->addForeignAircraft("Livery P", row.lateTail, 52.3, 4.76, 0, true);
        for (const double userLat : {52.3, ownLat}) {
            sim->setUser({.lat = userLat, .lon = 4.76});
            ASSERT_TRUE(step(1));
            rangeScan();
            ASSERT_TRUE(step(0));
            poll();
        }
        ASSERT_TRUE(step(1));
        poll(200);
        ASSERT_EQ(parkedAIList.size(), 1u);
        EXPECT_EQ(parkedAIList[0].simStatus, SimStatus::inSim);
        EXPECT_EQ(parkedAIList[0].objectId, own);
        std::vector<std::uint32_t> left;
        for (const sim::AiState& object : sim->objects())
            left.push_back(object.id);
        EXPECT_EQ(left, std::vector<std::uint32_t>{own}) << "the late object goes, the own one stays";

        for (const std::uint32_t object : left)
            queueRemoval(object);
        ASSERT_TRUE(step(1));
    }
}

// A parked aircraft in its set-up holds its object only in its set-up entry: an object of a
// given-up tail that it owns stays.
TEST_F(AITest, AnObjectInItsSetUpIsOwned)
{
    pendingSetups.push_back({.objectId = 40, .aircraftId = 7, .kind = CreatedParked});
    pushSimEvent({.objectId = 40, .aircraftId = 0, .kind = FoundGivenUp});
    pushSimEvent({.objectId = 41, .aircraftId = 0, .kind = FoundGivenUp});
    poll();
    std::lock_guard lock(simConnectMutex);
    EXPECT_EQ(removalQueue, std::vector<std::uint32_t>{41});
}

TEST_F(AITest, ParkedIdsWrapToOneAndSkipParkedOnes)
{
    for (const std::uint32_t id : {1u, 2u, 9999u}) {
        FlightRecord flight;
        flight.hexid = id;
        parkedAIList.push_back(constructParkedAI(flight, 0, 0, 0, 0, false));
    }
    EXPECT_EQ(nextParkedAircraftId(), 3u);
    for (std::uint32_t i = 4; i <= 9998; ++i)
        nextParkedAircraftId();
    EXPECT_EQ(nextParkedAircraftId(), 3u) << "9999, 1 and 2 are parked; never 0";
}

TEST_F(AITest, NavLightsCheckBoxIsAppliedByTheTrafficThread)
{
    ParkedAI parked = constructParkedAI({}, 1, 0, 0, 0, false);
    parked.objectId = 10;
    parked.simStatus = SimStatus::inSim;
    parkedAIList.push_back(parked);
    parked.objectId = 0;
    parked.simStatus = SimStatus::requested;
    parkedAIList.push_back(parked);
    for (const auto& [phase, objectId] : {std::pair{Phase::atStand, 11u}, std::pair{Phase::groundMoving, 12u}}) {
        LiveAI& ai = liveAIList.emplace_back(constructLiveAI({}, {}, 0));
        ai.objectId = objectId;
        ai.simStatus = SimStatus::inSim;
        ai.setPhase(phase);
    }
    NAV_LIGHTS_WHILE_PARKED.set(true);
    applyNavLightsRequest();
    EXPECT_TRUE(clientEventQueue.empty()) << "no request";
    navLightsRequest = true;
    applyNavLightsRequest();
    std::vector<std::uint32_t> objects;
    for (const ClientEventCommand& c : clientEventQueue)
        objects.push_back(c.objectId);
    EXPECT_EQ(objects, (std::vector<std::uint32_t>{10, 11}));
    EXPECT_FALSE(navLightsRequest);
    clientEventQueue.clear();
}

TEST(FlightPlanTest, TextFileAndFolder)
{
    FlightRecord heavy;
    heavy.category = Heavy;
    heavy.origin = "EHAM";
    heavy.destination = "KJFK";
    EXPECT_EQ(flightPlanText(heavy),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n"
              "<FlightPlan.FlightPlan>\n<FPType>IFR</FPType>\n<DepartureID>EHAM</DepartureID>\n"
              "<DestinationID>KJFK</DestinationID>\n</FlightPlan.FlightPlan>\n</SimBase.Document>\n");
    FlightRecord rotor = heavy;
    rotor.category = Rotorcraft;
    EXPECT_TRUE(contains(flightPlanText(rotor), "\n<FPType>VFR</FPType>\n"));
    EXPECT_EQ(flightPlanFileName(1234), std::filesystem::path("1234.pln"));

    TempFolder folder;
    rotor.origin = "A&B<";
    rotor.destination = "\"x'>";
    const auto path = folder / "1.pln";
    ASSERT_EQ(writeFlightPlan(path, rotor), 1);
    pugi::xml_document document;
    ASSERT_TRUE(document.load_file(path.c_str()));
    const pugi::xml_node plan = document.child("SimBase.Document").child("FlightPlan.FlightPlan");
    EXPECT_STREQ(plan.child_value("DepartureID"), "A&B<");
    EXPECT_STREQ(plan.child_value("DestinationID"), "\"x'>");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1) << "no temporary left";
    EXPECT_EQ(writeFlightPlan(folder / "missing" / "2.pln", heavy), 0);

    flightPlanFolder = folder / "orig_dest";
    EXPECT_TRUE(gf_removeFlightPlanFolder()) << "missing folder";
    std::filesystem::create_directories(flightPlanFolder);
    ASSERT_EQ(writeFlightPlan(flightPlanFolder / "3.pln", heavy), 1);
    EXPECT_TRUE(gf_removeFlightPlanFolder());
    EXPECT_FALSE(std::filesystem::exists(flightPlanFolder));
    flightPlanFolder.clear();
}

TEST_F(AITest, UnwritablePlanIsShownAndTheAircraftFliesWithout)
{
    ASSERT_TRUE(connect());
    sim->setUser({.lat = 52.3, .lon = 4.76});
    flightPlanFolder = folder / "no" / "such";
    const std::uint32_t objectId = createLive(0xA00001, "IBE1", "Livery A", Phase::atStand, 0);
    ASSERT_GT(objectId, 2u);
    EXPECT_FALSE(live(0xA00001)->flightPlanSet);
    EXPECT_EQ(mainWindowGlobals.statusLine().statusText,
              pairText(live(0xA00001)->flight) + " creating a flight plan failed !");
    EXPECT_EQ(sim->object(objectId)->flightPlan, "");
}

} // namespace
} // namespace rtd
