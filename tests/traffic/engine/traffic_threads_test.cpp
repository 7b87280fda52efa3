// The traffic thread among the threads that feed it: the reader at 2,000 datagrams a second
// and the window toggling its requests while the traffic thread polls. Meant for the thread
// sanitizer build, where a data race fails the test; elsewhere it checks that the traffic
// still becomes aircraft.

#include "traffic/traffic_harness.hpp"

#include <gtest/gtest.h>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace rtd {
namespace {

using namespace std::chrono_literals;

constexpr int aircraftCount = 40;
constexpr std::size_t datagramsPerTenMs = 20; // 2,000 a second

class TrafficThreadsTest : public test::TrafficHarness {};

TEST_F(TrafficThreadsTest, ReaderWindowAndTrafficThreadTogether)
{
    std::string scenario;
    for (int i = 0; i < aircraftCount; ++i)
        scenario += fmt::format("0 path hexid={} from={:.2f},{:.2f} to={:.2f},{:.2f} gs=250 alt0=6000 alt1=6000 "
                                "every=2 cs=KLM{} type=B738\n",
                                4850000 + i, 52.40 + 0.01 * (i % 8), 4.60 + 0.05 * (i / 8), 52.40 + 0.01 * (i % 8),
                                4.90 + 0.05 * (i / 8), 100 + i);
    const std::vector<std::string> datagrams = scenarioDatagrams(scenario);
    std::atomic<bool> readerDone{false};
    std::atomic<bool> stop{false};

    std::jthread reader([&] {
        auto next = std::chrono::steady_clock::now();
        for (std::size_t sent = 0; sent < datagrams.size(); sent += datagramsPerTenMs) {
            for (std::size_t i = sent; i < std::min(datagrams.size(), sent + datagramsPerTenMs); ++i)
                trafficReader.handleDatagram(datagrams[i]);
            next += 10ms;
            std::this_thread::sleep_until(next);
        }
        readerDone = true;
    });
    std::jthread window([&] {
        for (int i = 0; !stop; ++i) {
            BLOCK_CALLSIGN.set(fmt::format("KLM{}", 100 + i % aircraftCount));
            blockCallsignRequest = true;
            CALLSIGN_2_OBJECTID.set(fmt::format("KLM{}", 100 + i % 7));
            followCallsignRequest = true;
            MAX_LIVE.set(i % 2 == 0 ? 30 : MAX_LIVE.defaultValue());
            maxLiveRequest = true;
            matchingChangedRequest = true;
            reReadRequested = true;
            if (i % 5 == 0)
                clearLiveryMatchCache();
            static_cast<void>(parkAirportFigures().displayName.size() + mainWindowGlobals.liveFigure.load());
            std::this_thread::sleep_for(3ms);
        }
    });

    // The traffic thread: about a poll a millisecond until the last reports are due.
    std::int64_t lastDue = 0;
    for (bool more = true; more;) {
        step(1);
        if (lastDue == 0 && readerDone)
            lastDue = pollCounter + 3100;
        more = lastDue == 0 || pollCounter < lastDue;
        std::this_thread::sleep_for(1ms);
    }
    stop = true;
    reader.join();
    window.join();

    const auto calls = sim->calls();
    const auto created = std::count_if(calls.begin(), calls.end(), [](const sim::CallRecord& c) {
        return c.name == "SimConnect_AICreateNonATCAircraft";
    });
    EXPECT_GT(created, 0);
    EXPECT_LE(created, aircraftCount);
    BLOCK_CALLSIGN.set("");
    CALLSIGN_2_OBJECTID.set("");
}

} // namespace
} // namespace rtd
