#include "simulator/stand_in.hpp"
#include "support/temp_folder.hpp"

#include <gtest/gtest.h>
#include <cstring>

namespace rtd::sim {
namespace {

using Message = StandInSim::Message;

// A client of the stand-in that keeps every message it is sent.
struct Client {
    explicit Client(StandInSim& s) : sim(s) { EXPECT_EQ(sim.open(&handle, "test"), ok); }

    std::vector<Message> dispatch()
    {
        received.clear();
        sim.callDispatch(handle, &Client::keep, this);
        return received;
    }
    static void keep(const RecvHeader* message, std::uint32_t size, void* self)
    {
        const auto* bytes = reinterpret_cast<const std::byte*>(message);
        static_cast<Client*>(self)->received.emplace_back(bytes, bytes + size);
    }
    void define(std::uint32_t id, const std::vector<StandInSim::Datum>& fields)
    {
        for (const auto& f : fields)
            sim.addToDefinition(handle, id, f.name.c_str(), f.unit.c_str(), f.type);
    }
    std::vector<Message> ofId(std::uint32_t id)
    {
        std::vector<Message> found;
        for (const Message& m : dispatch())
            if (header(m).id == id)
                found.push_back(m);
        return found;
    }
    static RecvHeader header(const Message& m)
    {
        RecvHeader h;
        std::memcpy(&h, m.data(), sizeof(h));
        return h;
    }
    template <typename T>
    static T at(const Message& m, std::size_t offset)
    {
        T value;
        std::memcpy(&value, m.data() + offset, sizeof(T));
        return value;
    }

    StandInSim& sim;
    Handle handle = nullptr;
    std::vector<Message> received;
};

InitPosition placeAt(double lat, double lon) { return {lat, lon, 0.0, 0.0, 0.0, 90.0, 1, 0}; }

TEST(StandIn, RepliesFollowTheDefinitionAsRegistered)
{
    struct Row {
        StandInSim::Datum datum;
        double expected;
    };
    const std::vector<Row> rows{
        {{"Plane Latitude", "degree", dataFloat64}, 52.5},
        {{"Plane Heading degrees true", "degrees", dataFloat64}, 90.0},
        {{"Plane Heading degrees true", "radians", dataFloat64}, 1.5707963267948966},
        {{"Plane Altitude", "feet", dataFloat64}, 1100.0},
        {{"Plane Altitude", "meters", dataFloat64}, 1100.0 * 0.3048},
        {{"Plane Alt Above Ground", "feet", dataFloat64}, 1000.0},
        {{"Ground Velocity", "knots", dataFloat64}, 12.0},
        {{"SIM ON GROUND", "Bool", dataInt64}, 0.0},
        {{"ZULU DAY OF YEAR", "Number", dataInt64}, 60.0},
    };
    StandInSim sim;
    sim.setUser({.lat = 52.5, .lon = 4.5, .altFt = 1100, .heading = 1.5707963267948966, .gsKt = 12, .onGround = false});
    sim.setGround(100);
    sim.setZulu(2024, 60, 0);
    Client client(sim);
    for (const Row& row : rows)
        client.define(7, {row.datum});
    sim.requestData(client.handle, 1, 7, userObject, periodOnce);
    const auto replies = client.ofId(recvSimObjectData);
    ASSERT_EQ(replies.size(), 1u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::size_t offset = 40 + 8 * i;
        const double value = rows[i].datum.type == dataInt64 ? double(Client::at<std::int64_t>(replies[0], offset))
                                                             : Client::at<double>(replies[0], offset);
        EXPECT_NEAR(value, rows[i].expected, 1e-9) << rows[i].datum.name << " in " << rows[i].datum.unit;
    }
    EXPECT_EQ(Client::at<std::uint32_t>(replies[0], 16), 1u) << "the user's object id";
    EXPECT_TRUE(sim.violations().empty());
}

TEST(StandIn, CreationAppearsAFrameLaterAndRemovalFollows)
{
    StandInSim sim;
    Client client(sim);
    sim.subscribe(client.handle, 202, "ObjectAdded");
    sim.subscribe(client.handle, 203, "ObjectRemoved");
    sim.createAircraft(client.handle, "Livery A", "KLM1", placeAt(52.3, 4.7), 104);
    EXPECT_TRUE(client.ofId(recvEventObjectAddRemove).empty()) << "not in the same frame";
    sim.frames(1);
    auto added = client.ofId(recvEventObjectAddRemove);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(Client::at<std::uint32_t>(added[0], 16), 202u);
    EXPECT_EQ(Client::at<std::uint32_t>(added[0], 20), 100u) << "AI ids start at 100";
    EXPECT_EQ(Client::at<std::uint32_t>(added[0], 24), objectTypeAircraft);
    EXPECT_EQ(sim.object(100)->title, "Livery A");
    EXPECT_NEAR(sim.object(100)->heading, 1.5707963267948966, 1e-12) << "degrees in, radians kept";
    sim.removeObject(client.handle, 100, 105);
    auto removed = client.ofId(recvEventObjectAddRemove);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(Client::at<std::uint32_t>(removed[0], 16), 203u);
    EXPECT_FALSE(sim.object(100));
}

TEST(StandIn, WithoutRecordsCallsStillActOnTheObjects)
{
    StandInSim sim;
    Client client(sim);
    sim.mapClientEvent(client.handle, 219, "GEAR_SET");
    sim.createAircraft(client.handle, "Livery A", "KLM1", placeAt(52.3, 4.7), 104);
    sim.frames(1);
    const std::size_t recorded = sim.calls().size();
    sim.recordCalls(false);
    sim.transmitClientEvent(client.handle, 100, 219, 1, 1);
    EXPECT_TRUE(sim.object(100)->gear);
    EXPECT_EQ(sim.calls().size(), recorded);
    EXPECT_TRUE(sim.eventsTo(100).empty());
    sim.recordCalls(true);
    sim.transmitClientEvent(client.handle, 100, 219, 0, 1);
    EXPECT_FALSE(sim.object(100)->gear);
    ASSERT_EQ(sim.calls().size(), recorded + 1);
    EXPECT_EQ(sim.calls().back().args, "100, 219, 0, 1");
}

TEST(StandIn, RefusedCallsComeBackAsExceptions)
{
    struct Row {
        const char* what;
        std::function<void(StandInSim&, Client&)> call;
        std::uint32_t exception;
    };
    const std::vector<Row> rows{
        {"unknown object", [](StandInSim& s, Client& c) { s.requestData(c.handle, 1, 9, 4711, periodOnce); }, 3},
        {"refused title", [](StandInSim& s, Client& c) { s.createAircraft(c.handle, "Bad", "X1", placeAt(1, 1), 104); }, 22},
        {"wrong size", [](StandInSim& s, Client& c) { double d[2]{}; s.setData(c.handle, 9, 100, 8, d); }, 19},
        {"no plan file", [](StandInSim& s, Client& c) { s.setFlightPlan(c.handle, 100, "/nonexistent/1.pln", 110); }, 23},
        {"too many objects", [](StandInSim& s, Client& c) {
             for (int i = 0; i < 1000; ++i)
                 s.createAircraft(c.handle, "Many", "M", placeAt(1, 1), 104);
         }, 11},
    };
    for (const Row& row : rows) {
        StandInSim sim;
        sim.refuseTitle("Bad");
        Client client(sim);
        client.define(9, {{"Plane Latitude", "degree", dataFloat64}, {"Plane Longitude", "degree", dataFloat64}});
        sim.createAircraft(client.handle, "Good", "G1", placeAt(1, 1), 104);
        sim.frames(1);
        client.dispatch();
        row.call(sim, client);
        std::uint32_t lastPacket = 0;
        sim.lastSentPacketId(client.handle, &lastPacket);
        const auto exceptions = client.ofId(recvException);
        ASSERT_EQ(exceptions.size(), 1u) << row.what;
        EXPECT_EQ(Client::at<std::uint32_t>(exceptions[0], 12), row.exception) << row.what;
        EXPECT_EQ(Client::at<std::uint32_t>(exceptions[0], 16), lastPacket) << row.what << ": the failed call's packet";
    }
}

TEST(StandIn, OnceAnswersOnceAndSecondEverySimulatedSecond)
{
    StandInSim sim;
    sim.setFrameRate(10);
    Client client(sim);
    client.define(9, {{"SIM ON GROUND", "Bool", dataInt64}});
    sim.requestData(client.handle, 1, 9, userObject, periodOnce);
    sim.requestData(client.handle, 2, 9, userObject, periodSecond);
    EXPECT_EQ(client.ofId(recvSimObjectData).size(), 1u);
    sim.frames(9);
    EXPECT_EQ(client.ofId(recvSimObjectData).size(), 0u);
    sim.frames(21);
    const auto replies = client.ofId(recvSimObjectData);
    ASSERT_EQ(replies.size(), 3u);
    EXPECT_EQ(Client::at<std::uint32_t>(replies[0], 12), 2u);
}

TEST(StandIn, RangeScanAnswersEveryAircraftWithinTheRadiusUserIncluded)
{
    StandInSim sim;
    sim.setUser({.lat = 52.0, .lon = 4.0});
    const std::uint32_t near = sim.addForeignAircraft("Near", "N1", 52.05, 4.0, 0, true);      // 3 nm
    sim.addForeignAircraft("Far", "F1", 53.0, 4.0, 0, true);                                    // 60 nm
    const std::uint32_t hidden = sim.addForeignAircraft("Hidden", "H1", 52.01, 4.0, 0, true);
    sim.hideFromRangeScan(hidden);
    Client client(sim);
    client.define(9, {{"ATC ID", "", dataString32}});
    sim.requestDataByType(client.handle, 101, 9, 10 * 1852, objectTypeAircraft);
    const auto replies = client.ofId(recvSimObjectDataByType);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(Client::at<std::uint32_t>(replies[0], 16), 1u);
    EXPECT_EQ(Client::at<std::uint32_t>(replies[1], 16), near);
    EXPECT_EQ(Client::at<std::uint32_t>(replies[1], 32), 2u) << "entry 2 of 2";
    EXPECT_STREQ(reinterpret_cast<const char*>(replies[1].data() + 40), "N1");
}

// Helicopters are a type of their own: their events say so, and a by-type request answers
// them only when it asks for helicopters (or for all objects).
TEST(StandIn, HelicoptersAreTheirOwnObjectType)
{
    StandInSim sim;
    sim.setUser({.lat = 52.0, .lon = 4.0});
    sim.helicopterTitle("Rotor");
    Client client(sim);
    sim.subscribe(client.handle, 202, "ObjectAdded");
    sim.subscribe(client.handle, 203, "ObjectRemoved");
    client.define(9, {{"ATC ID", "", dataString32}});
    sim.createAircraft(client.handle, "Rotor", "H1", placeAt(52.01, 4.0), 104);
    sim.createAircraft(client.handle, "Plane", "P1", placeAt(52.01, 4.0), 104);
    sim.frames(1);
    const auto added = client.ofId(recvEventObjectAddRemove);
    ASSERT_EQ(added.size(), 2u);
    EXPECT_EQ(Client::at<std::uint32_t>(added[0], 24), objectTypeHelicopter);
    EXPECT_EQ(Client::at<std::uint32_t>(added[1], 24), objectTypeAircraft);
    const auto answered = [&](std::uint32_t type) {
        sim.requestDataByType(client.handle, 101, 9, 10 * 1852, type);
        std::vector<std::uint32_t> ids;
        for (const Message& m : client.ofId(recvSimObjectDataByType))
            ids.push_back(Client::at<std::uint32_t>(m, 16));
        return ids;
    };
    EXPECT_EQ(answered(objectTypeAircraft), (std::vector<std::uint32_t>{1, 101}));
    EXPECT_EQ(answered(objectTypeHelicopter), (std::vector<std::uint32_t>{100}));
    EXPECT_EQ(answered(objectTypeAll), (std::vector<std::uint32_t>{1, 100, 101}));
    sim.removeObject(client.handle, 100, 105);
    const auto removed = client.ofId(recvEventObjectAddRemove);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(Client::at<std::uint32_t>(removed[0], 24), objectTypeHelicopter);
}

// A creation keeps 12 characters of its tail number; the "ATC ID" reads back 10 of them.
TEST(StandIn, TailNumberKeepsTwelveAndItsAtcIdTen)
{
    StandInSim sim;
    sim.setUser({.lat = 52.0, .lon = 4.0});
    Client client(sim);
    client.define(9, {{"ATC ID", "", dataString32}});
    sim.createAircraft(client.handle, "Plane", "ABCDEFGHIJKLMN", placeAt(52.01, 4.0), 104);
    sim.frames(1);
    EXPECT_EQ(sim.object(100)->tail, "ABCDEFGHIJKL");
    sim.requestDataByType(client.handle, 101, 9, 10 * 1852, objectTypeAircraft);
    const auto replies = client.ofId(recvSimObjectDataByType);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_STREQ(reinterpret_cast<const char*>(replies[1].data() + 40), "ABCDEFGHIJ");
}

TEST(StandIn, FreeRunningOwesFramesByItsClockAtMostOneSecond)
{
    auto now = std::chrono::steady_clock::time_point{};
    StandInSim sim(StandInSim::Mode::freeRunning, [&now] { return now; });
    Client client(sim);
    const std::vector<std::pair<std::chrono::milliseconds, std::int64_t>> rows{
        {std::chrono::milliseconds(0), 0}, {std::chrono::milliseconds(500), 15},
        {std::chrono::milliseconds(20), 15}, {std::chrono::milliseconds(20), 16}, {std::chrono::milliseconds(5000), 46}};
    for (const auto& [advance, frames] : rows) {
        now += advance;
        client.dispatch();
        EXPECT_EQ(sim.frameCount(), frames) << "after " << advance.count() << " ms";
    }
}

TEST(StandIn, ViolationsAndClose)
{
    StandInSim sim;
    Client client(sim);
    client.define(9, {{"Plane Latitude", "degree", dataFloat64}});
    sim.createAircraft(client.handle, "Mine", "M1", placeAt(1, 1), 104);
    sim.frames(1);
    const double lat = 5.0;
    sim.setData(client.handle, 9, 100, 8, &lat);
    sim.setData(client.handle, 9, userObject, 8, &lat);
    EXPECT_EQ(sim.object(100)->lat, 5.0);
    EXPECT_EQ(sim.object(100)->positionWrites, 1u);
    sim.callDispatch(client.handle, [](const RecvHeader*, std::uint32_t, void*) { throw 1; }, nullptr);
    EXPECT_EQ(sim.close(client.handle), ok);
    EXPECT_TRUE(sim.objects().empty()) << "a close removes its objects";
    EXPECT_EQ(sim.openConnections(), 0);
    EXPECT_NE(sim.close(client.handle), ok);
    EXPECT_EQ(sim.violations(), (std::vector<std::string>{"definition 9 written to the user aircraft",
                                                           "an exception escaped the dispatch callback",
                                                           "SimConnect_Close on a closed handle"}));
}

TEST(StandIn, ScenarioLinesRunAtTheirSecondAndBadOnesAreNamed)
{
    StandInSim sim;
    const auto errors = sim.loadScenario("setUserTitle title=\"Test Jet 1\"\n"
                                         "# a comment\n"
                                         "at 2 setUser lat=10 lon=20 onGround=0\n"
                                         "fly away\n"
                                         "setGround ft=abc\n"
                                         "at 3 quit\n");
    EXPECT_EQ(errors, (std::vector<std::string>{"line 4: arguments are key=value", "line 5: ft=abc is not a number"}));
    EXPECT_EQ(sim.user().title, "Test Jet 1");
    sim.seconds(1);
    EXPECT_EQ(sim.user().lat, 52.3086);
    sim.seconds(1);
    EXPECT_EQ(sim.user().lat, 10.0);
    EXPECT_FALSE(sim.user().onGround);
    Client client(sim);
    sim.seconds(1);
    EXPECT_EQ(client.ofId(recvQuit).size(), 1u);
    EXPECT_NE(sim.callDispatch(client.handle, &Client::keep, &client), ok) << "the simulator is gone";
}

TEST(StandIn, RecordWritesCallsAndState)
{
    test::TempFolder folder;
    StandInSim sim;
    sim.recordTo(folder.path());
    Client client(sim);
    sim.createAircraft(client.handle, "Rec", "R1", placeAt(1, 1), 104);
    sim.seconds(1);
    const std::string calls = test::readText(folder / "calls.log");
    EXPECT_NE(calls.find("0 SimConnect_AICreateNonATCAircraft(\"Rec\", \"R1\", 1.000000, 1.000000, 0, 104) -> 0"),
              std::string::npos) << calls;
    const std::string state = test::readText(folder / "state.json");
    EXPECT_NE(state.find("\"seconds\": 1"), std::string::npos) << state;
    EXPECT_NE(state.find("\"title\": \"Rec\""), std::string::npos);
}

} // namespace
} // namespace rtd::sim
