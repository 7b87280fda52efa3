#include "core/parameters.hpp"
#include "core/time.hpp"
#include "traffic/engine/airport_port.hpp"
#include "traffic/engine/ai_state.hpp"

#include <gtest/gtest.h>
#include <fmt/format.h>
#include <fmt/ranges.h>
#include <algorithm>

namespace rtd {
namespace {

constexpr std::int64_t nowSeconds = 1796810400;

std::int64_t pinnedClock()
{
    return nowSeconds;
}

// An aircraft of the little world: its id is also its object id when it is in the simulator.
struct Plane {
    std::uint32_t id;
    std::string callsign;
    SimStatus status;
    Phase phase = Phase::atStand;
    std::uint32_t standId = 1;
    int minutesAtStand = 10;
    bool heavy = false;
    bool recalcMark = false;
};

// Statuses as "callsign:status" with "w" for removal once created, then the backlog.
std::string world()
{
    std::vector<std::string> parts;
    const auto add = [&](const ParkedAI& ai, char kind) {
        parts.push_back(fmt::format("{}{}:{}{}{}", kind, ai.flight.callsign, static_cast<int>(ai.simStatus),
                                    ai.removeWhenCreated ? "w" : "", ai.standId == 0 ? "-" : ""));
    };
    for (const LiveAI& ai : liveAIList)
        if (!ai.erase)
            add(ai, 'L');
    for (const ParkedAI& ai : parkedAIList)
        add(ai, 'P');
    std::sort(parts.begin(), parts.end());
    return fmt::format("{} | {}", fmt::join(parts, " "), fmt::join(removalBacklog, ","));
}

class AirportPortTest : public ::testing::Test {
protected:
    AirportPortTest() { setWallClock(&pinnedClock); }
    ~AirportPortTest() override
    {
        clearAIContainers();
        INITIAL_LOAD_ONLY.set(INITIAL_LOAD_ONLY.defaultValue());
        setWallClock(nullptr);
    }

    // Live aircraft (ids above 10000) and parked ones; a requested one also has its creation
    // queued unless `queued` is false.
    void setWorld(const std::vector<Plane>& planes, bool queued = true)
    {
        clearAIContainers();
        for (const Plane& p : planes) {
            FlightRecord flight;
            flight.callsign = p.callsign;
            flight.hexid = p.id;
            flight.category = p.heavy ? Heavy : Large;
            ParkedAI base = constructParkedAI(flight, p.standId, 52.0, 4.0, 0.0, false);
            base.simStatus = p.status;
            base.objectId = p.status == SimStatus::inSim ? p.id : 0;
            if (p.id <= 10000) {
                parkedAIList.push_back(base);
                if (p.status == SimStatus::requested && queued)
                    parkedCreationBacklog.push_back({{}, p.callsign, {}, p.id});
                continue;
            }
            LiveAI live;
            static_cast<ParkedAI&>(live) = base;
            live.phase = p.phase;
            live.recalcMark = p.recalcMark;
            live.parkedSince = (nowSeconds - p.minutesAtStand * 60) * 10'000'000;
            liveAIList.push_back(std::move(live));
            if (p.status == SimStatus::requested && queued)
                liveCreationBacklog.push_back({{}, p.callsign, {}, p.id});
        }
    }

    ReaderTrafficPort port;
};

TEST_F(AirportPortTest, Removals)
{
    const std::vector<Plane> planes{
        {1, "P1*", SimStatus::inSim, Phase::fresh, 1},
        {2, "P2*", SimStatus::requested, Phase::fresh, 2},
        {20001, "LONG", SimStatus::inSim, Phase::atStand, 3, 60},
        {20002, "SHORT", SimStatus::inSim, Phase::atStand, 4, 5},
        {20003, "QUEUED", SimStatus::requested, Phase::atStand, 5},
        {20004, "FLYING", SimStatus::inSim, Phase::airborne, 6},
    };
    struct Row {
        const char* name;
        void (*act)(ReaderTrafficPort&);
        bool queued;
        std::string world;
    };
    const Row rows[] = {
        {"flush static", [](ReaderTrafficPort& p) { p.removeOrRetryParked(); }, true,
         "LFLYING:2 LLONG:2 LQUEUED:1 LSHORT:2 PP1*:4 | 1"},
        {"flush static after the creation was sent", [](ReaderTrafficPort& p) { p.removeOrRetryParked(); }, false,
         "LFLYING:2 LLONG:2 LQUEUED:1 LSHORT:2 PP1*:4 PP2*:1w | 1"},
        {"live at stands", [](ReaderTrafficPort& p) { p.removeLiveAtStands(); }, true,
         "LFLYING:2- LLONG:4 LSHORT:4 PP1*:2 PP2*:1 | 20001,20002"},
        {"live at stands after the creation was sent", [](ReaderTrafficPort& p) { p.removeLiveAtStands(); }, false,
         "LFLYING:2- LLONG:4 LQUEUED:1w LSHORT:4 PP1*:2 PP2*:1 | 20001,20002"},
        {"the longest parked", [](ReaderTrafficPort& p) { p.removeLiveParked(1); }, true,
         "LFLYING:2 LLONG:4 LQUEUED:1 LSHORT:2 PP1*:2 PP2*:1 | 20001"},
        {"a stayer", [](ReaderTrafficPort& p) { p.removeLiveStayer({"SHORT", 4}); }, true,
         "LFLYING:2 LLONG:2 LQUEUED:1 LSHORT:4 PP1*:2 PP2*:1 | 20002"},
        {"a parked aircraft by callsign and stand", [](ReaderTrafficPort& p) {
             p.removeParked("P1*", 2);
             p.removeParked("P2*", 2);
             p.removeParked("P1*", 1);
         },
         true, "LFLYING:2 LLONG:2 LQUEUED:1 LSHORT:2 PP1*:4 PP2*:1 | 1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        setWorld(planes, row.queued);
        row.act(port);
        EXPECT_EQ(world(), row.world);
    }
}

} // namespace
} // namespace rtd
