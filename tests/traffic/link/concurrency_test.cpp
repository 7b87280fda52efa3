// The reader's inputs moved by other threads while it parses; meant for the thread
// sanitizer build, where a data race fails the test.
#include "core/parameters.hpp"
#include "traffic/datagram_support.hpp"
#include "traffic/link/service_link.hpp"

#include <gtest/gtest.h>
#include <atomic>
#include <thread>
#include <vector>

namespace rtd {
namespace {

TEST(TrafficConcurrency, ParsesWhileOtherThreadsMoveItsInputs)
{
    auto reader = std::make_unique<TrafficReader>();
    reader->setUserPosition(test::userPosition);
    reader->setParkAirport("EHAM", test::parkAirportPosition);
    setFlightRunning(true);
    std::atomic<bool> done{false};
    std::vector<std::jthread> writers;
    writers.emplace_back([&] {
        for (int i = 0; !done; ++i) {
            reader->setUserPosition({52.3 + (i % 10) * 0.01, 4.76});
            lateralRangeNm = 20.0 + i % 30;
        }
    });
    writers.emplace_back([&] {
        for (int i = 0; !done; ++i) {
            reader->setParkAirport(i % 2 ? "EHAM" : "", test::parkAirportPosition);
            reader->setParkElevation(i % 3 ? std::optional<double>(-11) : std::nullopt);
            reader->staticCalculation = i % 2 == 0;
        }
    });
    writers.emplace_back([&] {
        while (!done) {
            reader->clearLiveCallsignsSeen();
            static_cast<void>(reader->liveCallsignsSeen());
            ++pollCounter;
            std::lock_guard lock(trafficMutex);
            trafficReportQueue.clear();
        }
    });
    const std::string datagrams[] = {test::trafficDatagram(), test::trafficDatagram({{4, "0"}, {9, "KLM2"}}),
                                     test::trafficDatagram({{2, "52.9"}, {9, "KLM3"}})};
    for (int i = 0; i < 20000; ++i) {
        reader->handleDatagram(datagrams[i % 3]);
        ASSERT_NE(reader->lastDrop(), TrafficDrop::failed);
        if (i == 10000)
            setFlightRunning(false);
    }
    done = true;
    writers.clear();
    trafficReportQueue.clear();
    lateralRangeNm = LATERAL_RANGE.defaultValue();
}

} // namespace
} // namespace rtd
