#include "traffic/sim_harness.hpp"

#include "airports/parking/park_airport_state.hpp"
#include "airports/parking/stand_services.hpp"
#include "traffic/engine/airport_port.hpp"
#include "core/exceptions.hpp"
#include "fixtures/dbase_fixture.hpp"
#include "liveries/dbase.hpp"

#include <fmt/format.h>
#include <filesystem>
#include <functional>

namespace rtd {
namespace {

using test::RecordedExit;
using test::SimHarness;
using namespace std::chrono_literals;

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST_F(SimHarness, SetUpRegistersEventsDefinitionsAndGroupInOrder)
{
    ASSERT_TRUE(connect());
    std::vector<std::pair<std::string, int>> runs;
    for (const sim::CallRecord& call : sim->calls()) {
        if (!runs.empty() && runs.back().first == call.name)
            ++runs.back().second;
        else
            runs.push_back({call.name, 1});
    }
    const std::vector<std::pair<std::string, int>> expected{
        {"SimConnect_Open", 1},
        {"SimConnect_SubscribeToSystemEvent", 5},
        {"SimConnect_AddToDataDefinition", 30},
        {"SimConnect_MapClientEventToSimEvent", 17},
        {"SimConnect_AddToDataDefinition", 3},
        {"SimConnect_AddClientEventToNotificationGroup", 16},
        {"SimConnect_SetNotificationGroupPriority", 1},
    };
    EXPECT_EQ(runs, expected);
    EXPECT_TRUE(simRunning);
    EXPECT_EQ(mainWindowGlobals.texts().simLineText, "MSFS (1.2.3.4)");
    EXPECT_TRUE(contains(log(), "MSFS (1.2.3.4) connected \n"));
}

TEST_F(SimHarness, OpenMessageNamesTheSimulator)
{
    struct Row {
        const char* name;
        bool carriesOn;
        std::string errorText;
    };
    const std::vector<Row> rows{
        {"KittyHawk", true, ""},
        {"Kitty-Hawk!", true, ""},
        {"Kitty Hawk", false, "77: Kitty Hawk, not being MSFS connects ... ?"},
        {"\xC3\xA9KittyHawk", true, ""}, // bytes of other characters are dropped, not misread
        {"", true, ""},
    };
    for (const Row& row : rows) {
        resetSimLink();
        clearErrorText();
        sim->setApplication(row.name, {1, 2, 3, 4});
        EXPECT_EQ(connect(), row.carriesOn) << row.name;
        EXPECT_EQ(mainWindowGlobals.statusLine().errorText, row.errorText) << row.name;
        EXPECT_EQ(simRunning, row.carriesOn) << row.name << ": after an error the dispatch's other messages are ignored";
        EXPECT_EQ(sim->openConnections(), 1) << row.name << ": a user error leaves the connection open";
    }
    EXPECT_TRUE(contains(log(), "! Simulator name empty?"));
}

TEST(ZuluTime, UnixSecondsOfYearDayAndTime)
{
    const std::vector<std::tuple<int, int, int, std::int64_t>> rows{
        {2023, 1, 0, 1672531200}, {2024, 60, 0, 1709164800}, {2023, 60, 0, 1677628800}, {1970, 1, 61, 61},
    };
    for (const auto& [year, day, seconds, expected] : rows)
        EXPECT_EQ(unixTimeOfZulu(year, day, seconds), expected) << year << " day " << day;
}

TEST_F(SimHarness, UserStateIsStoredAndAJumpOfMoreThanTenMilesRestarts)
{
    ASSERT_TRUE(connect());
    struct Row {
        double lat;
        double altFt;
        double storedAltFt;
        std::size_t exits;
    };
    const std::vector<Row> rows{
        {50.0, -12.0, 0.0, 0},   // the first state never jumps
        {50.1, 300.0, 300.0, 0}, // 6 nm
        {50.1 + 10.1 / 60.0, 0.0, 0.0, 1},
    };
    sim->setZulu(2024, 60, 3600);
    for (const Row& row : rows) {
        sim->setUser({.lat = row.lat, .lon = 4.0, .altFt = row.altFt});
        requestUserAircraftPosition();
        ASSERT_TRUE(step(0));
        EXPECT_EQ(userAircraftState().latitude, row.lat);
        EXPECT_EQ(userAircraftState().altitudeFt, row.storedAltFt);
        EXPECT_EQ(waitForExits(row.exits).size(), row.exits) << row.lat;
    }
    EXPECT_EQ(waitForExits(1)[0].delay, 45);
    EXPECT_TRUE(contains(log(), "Teleport"));
    installReaderTrafficPort();
    userOnGround = true;
    for (const std::string stand : {"A12", "A12", ""}) {
        parkAirport.stands.clear();
        if (!stand.empty())
            parkAirport.stands.emplace_back(stand, std::vector<StandOption>{}, 50.1 + 10.1 / 60.0, 4.0, 0.0, 40.0,
                                            false, false, false);
        publishStandSnapshot();
        requestUserAircraftPosition();
        ASSERT_TRUE(step(0));
        EXPECT_EQ(userStandName(), stand);
        EXPECT_EQ(mainWindowGlobals.texts().userStandText, stand);
    }
    parkAirport.stands.clear();
    publishStandSnapshot();
    installTrafficPort(nullptr);
    EXPECT_EQ(simUtcSeconds, 1709164800 + 3600);
    EXPECT_EQ(userObjectId, 1u);
}

TEST_F(SimHarness, TitleIsCutAtACharacterAndLoggedOnce)
{
    ASSERT_TRUE(connect());
    const std::string long47(47, 'T');
    const std::vector<std::pair<std::string, std::string>> rows{
        {"Test Jet", "Test Jet"},
        {"Test Jet", "Test Jet"},
        {long47 + "\xC3\xA9" + "x", long47},
        {std::string(60, 'U'), std::string(48, 'U')},
    };
    for (const auto& [title, kept] : rows) {
        sim->setUserTitle(title);
        requestUserAircraftTitleAndModel();
        ASSERT_TRUE(step(0));
        EXPECT_EQ(userTitle(), kept);
        EXPECT_EQ(mainWindowGlobals.texts().userTitleText, kept);
    }
    const std::string text = log();
    EXPECT_EQ(text.find("title: Test Jet", text.find("title: Test Jet") + 1), std::string::npos);
}

class UserModelTest : public SimHarness {
protected:
    UserModelTest() : cwd(folder.path())
    {
        std::filesystem::create_directories(folder / "input");
        fixtures::writeDbaseFile(folder / "input" / "dbase.xml", {.rows = 10});
        readDbase();
    }
    test::ScopedCurrentFolder cwd;
};

TEST_F(UserModelTest, ModelComesFromTheAtcModelOrTheTitle)
{
    struct Row {
        const char* title;
        const char* model;
        std::string logged;      // empty: no model line
        std::string status;
        const char* spanOf;      // model whose half span is taken; null: the largest
    };
    const std::vector<Row> rows{
        {"Any", "ATCCOM.AC_MODEL B738.0.text", "model: B738, half wing span: 17.9 meter, category: Large", "", "B738"},
        {"Any", "ATCCOM.AC_MODEL_B38.0.text", "model: _B38, half wing span: 6.1 meter, category: Light", "", "_B38"},
        {"Jet DG 737-700 X", "737", "model: B737, half wing span: 17.1 meter", "", "B737"},
        {"Jet", "737", "model: 737, half wing span: 6.1 meter", "", "737"},
        {"Jet", "LONGMODEL", "model: LONGMODEL, category:", "User aircraft wing span unknown, max is taken instead, please report in my Forum!", nullptr},
        {"Aerosoft A320 Neo", "LONGMODEL", "model deduced from title: A320, half wing span: 17.9 meter", "", "A320"},
        {"Boat", "A Crew Vessel", "", "", "E190"},
        {"Any", "", "", "171: No model info from your user aircraft received in SimConnect, CRJ7 is taken instead", "CRJ7"},
    };
    ASSERT_TRUE(connect());
    for (const Row& row : rows) {
        clearStatus();
        const std::size_t logSize = log().size();
        sim->setUserTitle(row.title);
        sim->setUserAtcModel(row.model);
        requestUserAircraftTitleAndModel();
        ASSERT_TRUE(step(0)) << row.model;
        const std::string added = log().substr(logSize);
        if (row.logged.empty())
            EXPECT_FALSE(contains(added, "aircraft model")) << row.model << added;
        else
            EXPECT_TRUE(contains(added, row.logged)) << row.model << added;
        EXPECT_EQ(mainWindowGlobals.statusLine().statusText, row.status) << row.model;
        EXPECT_EQ(userHalfWingspanNm, row.spanOf ? wingspanOf(row.spanOf) : maxHalfWingspanNm()) << row.model;
    }
}

TEST_F(UserModelTest, TooShortAModelCodeIsUserError73)
{
    ASSERT_TRUE(connect());
    sim->setUserAtcModel("B38.0.text");
    requestUserAircraftTitleAndModel();
    EXPECT_FALSE(step(0));
    EXPECT_EQ(mainWindowGlobals.statusLine().errorText, "73: It looks like you have not selected an aircraft as user vehicle");
    EXPECT_EQ(sim->openConnections(), 1);
}

// Creates an AI object through the link, as the frame drain will, and records it pending.
std::uint32_t createPending(const char* title, const char* callsign, std::uint32_t aircraftId)
{
    std::lock_guard lock(simConnectMutex);
    sim::SimConnect_AICreateNonATCAircraft(simConnectHandle, title, callsign, {52.3, 4.76, 0, 0, 0, 0, 1, 0}, createRequest);
    std::uint32_t packet = 0;
    sim::SimConnect_GetLastSentPacketID(simConnectHandle, &packet);
    pendingCreations.push_back({packet, aircraftId, callsign});
    return packet;
}


TEST_F(SimHarness, RangeScanIdentifiesCreationsAndReportsGroundContact)
{
    ASSERT_TRUE(connect());
    sim->setUser({.lat = 52.3, .lon = 4.76});
    sim->setGround(10);
    createPending("Live Livery", "KLM1", 0x484C5A);
    createPending("Parked Livery", "BAW2*", 17);
    createPending("Other Livery", "XYZ9", 20000);
    pendingCreations.back().callsign = "ELSE";
    ASSERT_TRUE(step(1));
    const std::uint32_t low = sim->addForeignAircraft("Foreign", "DLH3", 52.31, 4.76, 110, true);
    const std::uint32_t high = sim->addForeignAircraft("Foreign", "DLH4", 52.31, 4.76, 2610, false);
    const std::uint32_t starred = sim->addForeignAircraft("Foreign", "DLH5*", 52.31, 4.76, 10, true);
    ASSERT_TRUE(step(0));
    takeSimEvents();
    rangeScan();
    ASSERT_TRUE(step(0));
    using Event = std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, double, double>;
    const auto eventsOf = [](const std::vector<SimEvent>& events) {
        std::vector<Event> result;
        for (const SimEvent& e : events)
            result.emplace_back(e.objectId, e.aircraftId, e.kind, e.value1, e.value2);
        return result;
    };
    EXPECT_EQ(eventsOf(takeSimEvents()), (std::vector<Event>{{100, 0x484C5A, CreatedLive, 0.0, -10.0},
                                                             {101, 17, CreatedParked, 0.0, 0.0}}));
    EXPECT_TRUE(sim->object(100)->released);
    EXPECT_FALSE(sim->object(high)->released) << "not ours";
    const std::string text = log();
    EXPECT_TRUE(contains(text, "just created, but not by Ramptide, oid: 102, callsign \"XYZ9\" unknown"));
    EXPECT_TRUE(contains(text, fmt::format("oid: {}, callsign \"DLH5*\" unknown", starred)));
    EXPECT_EQ(pendingCreations.size(), 1u) << "the unknown callsign's creation stays pending";

    // Once known, aircraft up to 2500 ft above the ground report their ground contact, but
    // not parked ones ("*").
    rangeScan();
    ASSERT_TRUE(step(0));
    EXPECT_EQ(eventsOf(takeSimEvents()), (std::vector<Event>{{100, 1, GroundData, 10.0, -10.0},
                                                             {102, 1, GroundData, 10.0, -10.0},
                                                             {low, 1, GroundData, 10.0, 100.0}}));
}

// A simulator reports a helicopter as an object type of its own; it is found, and its
// removal reported, as an airplane's is.
TEST_F(SimHarness, HelicoptersAreIdentifiedAndRemovedAsAirplanesAre)
{
    ASSERT_TRUE(connect());
    sim->setUser({.lat = 52.3, .lon = 4.76});
    sim->helicopterTitle("Rotor Livery");
    createPending("Rotor Livery", "SWA12", 0x4A0001);
    createPending("Live Livery", "KLM1", 0x4A0002);
    ASSERT_TRUE(step(1));
    takeSimEvents();
    rangeScan();
    ASSERT_TRUE(step(0));
    std::vector<std::pair<std::uint32_t, std::uint32_t>> created;
    for (const SimEvent& e : takeSimEvents())
        created.emplace_back(e.aircraftId, e.kind);
    EXPECT_EQ(created, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{0x4A0002, CreatedLive},
                                                                            {0x4A0001, CreatedLive}}))
        << "the airplanes' answer first";
    EXPECT_TRUE(sim->object(100)->released);
    {
        std::lock_guard lock(simConnectMutex);
        sim::SimConnect_AIRemoveObject(simConnectHandle, 100, removeRequest);
    }
    ASSERT_TRUE(step(0));
    const std::vector<SimEvent> removed = takeSimEvents();
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0].objectId, 100u);
    EXPECT_EQ(removed[0].kind, Removed);
}

TEST_F(SimHarness, ExceptionsByNumber)
{
    ASSERT_TRUE(connect());
    struct Row {
        const char* what;
        std::function<void()> cause;
        std::string logged;
        std::vector<std::uint32_t> failedAircraft;
    };
    const std::vector<Row> rows{
        {"unknown id, user in the null box", [] { std::lock_guard l(simConnectMutex); sim::SimConnect_AIRemoveObject(simConnectHandle, 999, 105); }, "", {}},
        {"refused title, pending", [] { createPending("Refused", "AFR1", 0x393939); }, "", {0x393939}},
        {"refused title, not pending", [] {
             createPending("Refused", "AFR2", 0x393940);
             pendingCreations.clear();
         }, "", {}},
        {"no flight plan file", [] { std::lock_guard l(simConnectMutex); sim::SimConnect_AISetAircraftFlightPlan(simConnectHandle, 100, "/none/100.pln", 110); }, "===> Simconnect Exception: load flight plan failed", {}},
    };
    sim->refuseTitle("Refused");
    createPending("Fine", "OK1", 0);
    ASSERT_TRUE(step(1));
    for (const Row& row : rows) {
        const std::size_t logSize = log().size();
        takeSimEvents();
        row.cause();
        ASSERT_TRUE(step(0)) << row.what;
        std::vector<std::uint32_t> failed;
        for (const SimEvent& event : takeSimEvents())
            if (event.kind == CreateFailed)
                failed.push_back(event.aircraftId);
        EXPECT_EQ(failed, row.failedAircraft) << row.what;
        const std::string added = log().substr(logSize);
        EXPECT_EQ(added.empty() ? "" : added.substr(0, added.find('\n')), row.logged) << row.what;
    }
    sim->setUser({.lat = 52.3, .lon = 4.76});
    requestUserAircraftPosition();
    ASSERT_TRUE(step(0));
    { std::lock_guard l(simConnectMutex); sim::SimConnect_AIRemoveObject(simConnectHandle, 999, 105); }
    ASSERT_TRUE(step(0));
    EXPECT_TRUE(contains(log(), "===> SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID")) << "logged once the user is known";
    EXPECT_THROW(onSimConnectException({{}, 5, 0, 7}), UserErrorException);
}

TEST_F(SimHarness, ThirdFailedRequestStopsRequestsAndRestarts)
{
    ASSERT_TRUE(connect());
    sim->failNext("SimConnect_RequestDataOnSimObject", 4);
    const std::vector<std::tuple<std::int32_t, bool, std::size_t>> rows{
        {1, false, 0}, {2, false, 0}, {3, true, 1}, {3, true, 1}}; // then the request is skipped
    for (const auto& [count, failed, exits] : rows) {
        requestUserAircraftPosition();
        EXPECT_EQ(requestErrorCount, count);
        EXPECT_EQ(simConnectFailed, failed);
        EXPECT_EQ(waitForExits(exits).size(), exits);
    }
    EXPECT_EQ(waitForExits(1)[0].reason, ExitReason::restart);
    EXPECT_EQ(waitForExits(1)[0].delay, 10);
}

TEST_F(SimHarness, FrameRateIsSampledEveryThirtiethFrameAndSecondsTick)
{
    ASSERT_TRUE(connect());
    sim->setFrameRate(25);
    {
        std::lock_guard lock(simConnectMutex);
        sim::SimConnect_RequestDataOnSimObject(simConnectHandle, userOnGroundRequest, defineUserOnGround, sim::userObject,
                                          sim::periodSecond);
    }
    ASSERT_TRUE(step(24));
    EXPECT_EQ(frameRate, 0.0f);
    EXPECT_FALSE(simSecondTick);
    sim->setUser({.lat = 52.3, .lon = 4.76, .onGround = false});
    requestUserAircraftPosition();
    ASSERT_TRUE(step(6));
    EXPECT_EQ(frameRate, 25.0f) << "sampled on the 30th frame";
    EXPECT_TRUE(simSecondTick.exchange(false));
    EXPECT_FALSE(userOnGroundKnown) << "the second's reply came before the user position";
    ASSERT_TRUE(step(25));
    EXPECT_TRUE(userOnGroundKnown);
    EXPECT_FALSE(userOnGround);
}

TEST_F(SimHarness, LinkEndsOnQuitOrANewFlight)
{
    struct Row {
        const char* what;
        std::function<void(sim::StandInSim&)> act;
        bool carriesOn;
        ExitReason reason;
        int delay;
        std::string logged;
    };
    const std::vector<Row> rows{
        {"quit", [](sim::StandInSim& s) { s.quit(); }, false, ExitReason::simWasClosed, 0, "Flight Simulator no longer connected, Ramptide will stop ..."},
        {"flight loaded", [](sim::StandInSim& s) { s.loadFlight(); }, true, ExitReason::restart, 45, "===> Flight loaded"},
        {"new file", [](sim::StandInSim& s) { s.newFlightFile("x.FLT"); }, true, ExitReason::restart, 45, "===> New file loaded"},
    };
    for (const Row& row : rows) {
        resetSimLink();
        sim = std::make_shared<sim::StandInSim>();
        sim::installStandIn(sim);
        {
            std::lock_guard lock(test::recordedExitsMutex);
            test::recordedExits.clear();
        }
        ASSERT_TRUE(connect());
        row.act(*sim);
        EXPECT_EQ(step(0), row.carriesOn) << row.what;
        const auto exits = waitForExits(1);
        ASSERT_EQ(exits.size(), 1u) << row.what;
        EXPECT_EQ(exits[0].reason, row.reason) << row.what;
        EXPECT_EQ(exits[0].delay, row.delay) << row.what;
        EXPECT_TRUE(contains(log(), row.logged)) << row.what;
        EXPECT_EQ(sim->openConnections(), row.carriesOn ? 1 : 0) << row.what;
    }
}

TEST(PendingCreations, TakenByCallsignLastTakesItsPlace)
{
    pendingCreations = {{1, 11, "A"}, {2, 12, "B"}, {3, 13, "C"}};
    EXPECT_EQ(takePendingCreationByCallsign("X"), 0u);
    EXPECT_EQ(pendingCreations.size(), 3u);
    EXPECT_EQ(takePendingCreationByCallsign("A"), 11u);
    ASSERT_EQ(pendingCreations.size(), 2u);
    EXPECT_EQ(pendingCreations[0].callsign, "C");
    pendingCreations.clear();
}

} // namespace
} // namespace rtd

namespace rtd {
namespace {

// Messages made by hand, as a simulator might send them, straight to dispatchProc.
TEST_F(SimHarness, DispatchSortsMessagesByIdAndSkipsShortOnes)
{
    struct Row {
        const char* what;
        std::vector<std::uint32_t> words; // the message: size is filled in
        std::string logged;
        std::vector<std::uint32_t> removedIds;
        bool running;
    };
    const std::vector<Row> rows{
        {"unknown id", {0, 1, 99}, "! Unknown Dispatch dwID 99", {}, true},
        {"null message", {0, 1, 0}, "", {}, true},
        {"assigned object id", {0, 1, 12, 0}, "", {}, true},
        {"client data", {0, 1, 16}, "", {}, true},
        {"id 27", {0, 1, 27}, "", {}, true},
        {"short event", {0, 1, 4, 0}, "! SimConnect message 4 too short: 16 bytes", {}, true},
        {"sim stopped", {0, 1, 4, 0, 201, 0}, "", {}, false},
        {"sim runs", {0, 1, 4, 0, 201, 1}, "", {}, true},
        {"removed aircraft", {0, 1, 5, 0, 203, 140, 2}, "", {140}, true},
        {"removed other object type", {0, 1, 5, 0, 203, 141, 1}, "", {}, true},
        {"short data reply", {0, 1, 8, 109, 1, 403, 0, 1, 1, 12, 0}, "! SimConnect reply 109 too short: 44 bytes", {}, true},
    };
    simRunning = true;
    for (const Row& row : rows) {
        std::vector<std::uint32_t> words = row.words;
        words[0] = static_cast<std::uint32_t>(words.size() * 4);
        const std::size_t logSize = log().size();
        takeSimEvents();
        dispatchProc(reinterpret_cast<const sim::RecvHeader*>(words.data()), words[0], nullptr);
        std::vector<std::uint32_t> removed;
        for (const SimEvent& event : takeSimEvents())
            if (event.kind == Removed)
                removed.push_back(event.objectId);
        const std::string added = log().substr(logSize);
        EXPECT_EQ(added.empty() ? "" : added.substr(0, added.find('\n')), row.logged) << row.what;
        EXPECT_EQ(removed, row.removedIds) << row.what;
        EXPECT_EQ(simRunning, row.running) << row.what;
    }
    EXPECT_EQ(userAircraftState().latitude, 0.0) << "the short reply was not read";
}

} // namespace
} // namespace rtd
