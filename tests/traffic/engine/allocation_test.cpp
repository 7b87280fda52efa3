// Counts the allocations of the traffic reader and of the per-poll step of live aircraft: the
// sanitizers bring their own allocator, so there the count is skipped.
#include "allocation_count/allocation_count.hpp"
#include "core/parameters.hpp"
#include "traffic/datagram_support.hpp"
#include "traffic/engine/ai_state.hpp"
#include "traffic/engine/motion/live_ground.hpp"
#include "traffic/engine/motion/live_motion.hpp"
#include "traffic/link/service_link.hpp"
#include "traffic/simulator_link/ai_commands.hpp"

#include <gtest/gtest.h>

namespace rtd {
namespace {

TEST(TrafficAllocations, RejectedNoneAcceptedOnlyTheQueuedCopy)
{
#if RAMPTIDE_COUNT_ALLOCATIONS
    const std::string longCallsign = "CALLSIGN-LONGER-THAN-A-SHORT-STRING";
    struct Row { std::string datagram; int allocations; };
    const Row rows[] = {
        {test::trafficDatagram(), 1},                       // the queue's node
        {test::trafficDatagram({{4, "0"}}), 1},             // on the ground
        {test::trafficDatagram({{9, longCallsign}}), 2},    // and the callsign's copy
        {test::trafficDatagram({{9, longCallsign}, {1, "77"}}), 0},
        {test::trafficDatagram({{2, "10"}}), 0},
        {test::trafficDatagram({{28, "B2"}}), 0},
        {test::trafficDatagram({{9, "KLM\x01"}}), 0},
        {test::trafficDatagram({{20, "nan"}}), 0},
        {test::trafficDatagram({}, 28), 0},
        {std::string(TrafficReader::receiveBufferSize - 1, ','), 0},
        {test::trafficDatagram({{9, "A VEH"}}), 0},
    };
    auto reader = std::make_unique<TrafficReader>();
    reader->setUserPosition(test::userPosition);
    reader->setParkAirport("EHAM", test::parkAirportPosition);
    reader->staticCalculation = true;
    lateralRangeNm = 40;
    setFlightRunning(true);
    for (const Row& row : rows) {
        reader->handleDatagram(row.datagram); // the parse record and callsign set grow once
        trafficReportQueue.clear();
        trafficReportQueue.shrink_to_fit();
        allocation_count::start();
        reader->handleDatagram(row.datagram);
        EXPECT_EQ(allocation_count::stop(), row.allocations) << row.datagram.substr(0, 80);
        EXPECT_EQ(trafficReportQueue.size(), row.allocations > 0 ? 1U : 0U);
    }
    setFlightRunning(false);
    trafficReportQueue.clear();
    lateralRangeNm = LATERAL_RANGE.defaultValue();
#else
    GTEST_SKIP() << "the sanitizer's allocator is not counted";
#endif
}

TEST(TrafficAllocations, PollStepsOfLiveAircraftAllocateNothing)
{
#if RAMPTIDE_COUNT_ALLOCATIONS
    reserveAIQueues(64);
    LiveAI cruise;
    cruise.phase = Phase::airborne;
    cruise.latStep = 1e-5;
    cruise.lonStep = 1e-5;
    cruise.headingStep = 1e-4;
    cruise.verticalStep = 0.1;
    LiveAI takeOff = cruise;
    takeOff.phase = Phase::takeOffRoll;
    takeOff.takeOffCountdown = 200;
    takeOff.heightAboveGround = 100.0;
    takeOff.flight.rotationPitch = -0.1;
    takeOff.flight.climbPitch = -0.2;
    takeOff.flight.climbPitchPolls = 300;
    LiveAI flare = cruise;
    flare.landing = true;
    flare.heightAboveGround = 25.0;
    flare.flight.flarePolls = 400;
    allocation_count::start();
    for (int i = 0; i < 600; ++i)
        for (LiveAI* a : {&cruise, &takeOff, &flare})
            stepLiveAI(*a);
    EXPECT_EQ(allocation_count::stop(), 0);
    EXPECT_EQ(takeOff.takeOffCountdown, 200 - 600);
    EXPECT_EQ(flare.flareStage, 1);
    clearAIQueues();
#else
    GTEST_SKIP() << "the sanitizer's allocator is not counted";
#endif
}

// The queues a poll fills as fast as it empties them take no memory once they have run a
// while: the update queue taking reports at its back and playing them from its front, with
// midpoints inserted; the coupled-check list adding and checking one at a time.
TEST(TrafficAllocations, QueuesInStepAllocateNothing)
{
#if RAMPTIDE_COUNT_ALLOCATIONS
    const block_pool::ThreadScope pooled;
    const auto update = [](int i) {
        PositionUpdate u;
        u.lat = 52.0 + 0.001 * i;
        u.duePoll = i;
        return u;
    };
    LiveAI ai;
    for (int i = 0; i < 15; ++i)
        ai.updates.push_back(update(i));
    const auto round = [&](int i) {
        ai.updates.push_back(update(i));
        if (i % 3 == 0)
            insertMidpointUpdate(ai);
        ai.updates.pop_front();
        if (i % 3 == 0)
            ai.updates.pop_front();
        coupledCheckList.push_back(static_cast<std::uint32_t>(i));
        coupledCheckList.pop_front();
    };
    for (int i = 15; i < 1000; ++i)
        round(i);
    allocation_count::start();
    for (int i = 1000; i < 5000; ++i)
        round(i);
    EXPECT_EQ(allocation_count::stop(), 0);
    EXPECT_EQ(ai.updates.size(), 15u);
    coupledCheckList.clear();
#else
    GTEST_SKIP() << "the sanitizer's allocator is not counted";
#endif
}

} // namespace
} // namespace rtd
