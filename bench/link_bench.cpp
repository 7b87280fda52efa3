// Traffic datagrams over loopback into the report queue: a sender thread's datagrams through
// the traffic reader's receive loop, as fast as they go in bursts of 200 and of 2000 (more
// than a socket holds by default; goal: 200,000 per second) and paced at 10,000 per second
// (goal: none lost; the "lost" counter). "readerUsEach" is the reader thread's processor time
// per datagram: what the receive path costs, apart from the sender and the machine's load.

#include "core/parameters.hpp"
#include "traffic/service_link.hpp"

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <chrono>
#include <ctime>
#include <pthread.h>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

std::vector<std::string> datagrams()
{
    std::vector<std::string> all;
    for (int i = 0; i < 256; ++i)
        all.push_back(fmt::format("RTD,{},52.{:02},4.{:02},{},-640,,180.5,250,KLM{},B738,PH-B{:02},EHAM,LEMD,"
                                  "1700000000.{},X,,adsb_icao,,,170,,,0,,180,,,A3,{}",
                                  4840000 + i, 28 + i % 5, 74 + i % 7, 3000 + 10 * i, 100 + i, i % 100, i % 10, 4711 + i));
    return all;
}

// A traffic reader listening on a loopback port of its own, its receive loop on a thread.
class LoopbackReader {
public:
    LoopbackReader()
    {
        rtd::realTrafficOnThisPc = true;
        rtd::lateralRangeNm = 40;
        rtd::setFlightRunning(true);
        reader_.setUserPosition({52.30, 4.76});
        reader_.open();
        reader_.bind(0);
        port_ = reader_.boundPort();
        thread_ = std::thread([this] { reader_.receiveLoop(); });
        sender_ = rtd::platform::openUdpSocket();
    }
    ~LoopbackReader()
    {
        reader_.requestStop();
        thread_.join();
        reader_.closeAndCleanUp();
        rtd::platform::closeSocket(sender_);
        rtd::setFlightRunning(false);
        drain();
    }
    // The reader thread's processor time so far, in microseconds.
    double readerCpuUs()
    {
        clockid_t clock{};
        timespec used{};
        if (pthread_getcpuclockid(thread_.native_handle(), &clock) != 0 || clock_gettime(clock, &used) != 0)
            return 0;
        return static_cast<double>(used.tv_sec) * 1e6 + static_cast<double>(used.tv_nsec) / 1e3;
    }
    void send(const std::string& datagram) { rtd::platform::sendDatagram(sender_, "127.0.0.1", port_, datagram); }
    std::size_t drain()
    {
        std::lock_guard lock(rtd::trafficMutex);
        const std::size_t count = rtd::trafficReportQueue.size();
        rtd::trafficReportQueue.clear();
        return count;
    }
    // Waits until `expected` reports arrived or nothing arrived for 200 ms; the count.
    std::size_t collect(std::size_t expected)
    {
        std::size_t got = 0;
        for (auto idle = std::chrono::steady_clock::now(); got < expected;) {
            const std::size_t more = drain();
            got += more;
            if (more > 0)
                idle = std::chrono::steady_clock::now();
            else if (std::chrono::steady_clock::now() - idle > 200ms)
                break;
            std::this_thread::sleep_for(100us);
        }
        return got;
    }

private:
    rtd::TrafficReader reader_;
    std::uint16_t port_ = 0;
    std::thread thread_;
    rtd::platform::Socket sender_ = rtd::platform::invalidSocket;
};

void BM_LoopbackDatagramsIntoQueue(benchmark::State& state)
{
    const std::vector<std::string> all = datagrams();
    LoopbackReader reader;
    const auto batch = static_cast<std::size_t>(state.range(0));
    std::size_t sent = 0, received = 0;
    const double cpuBefore = reader.readerCpuUs();
    for (auto _ : state) {
        for (std::size_t i = 0; i < batch; ++i)
            reader.send(all[i % all.size()]);
        received += reader.collect(batch);
        sent += batch;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(received));
    state.counters["lost"] = static_cast<double>(sent - received);
    if (received > 0)
        state.counters["readerUsEach"] = (reader.readerCpuUs() - cpuBefore) / static_cast<double>(received);
}
BENCHMARK(BM_LoopbackDatagramsIntoQueue)->Arg(200)->Arg(2000)->UseRealTime();

void BM_LoopbackDatagramsPaced10k(benchmark::State& state)
{
    const std::vector<std::string> all = datagrams();
    LoopbackReader reader;
    constexpr std::size_t perSecond = 10000;
    constexpr std::size_t batch = 2000; // 0.2 s
    std::size_t sent = 0, received = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (std::size_t i = 0; i < batch; ++i) {
            if (i % 10 == 0)
                std::this_thread::sleep_until(start + std::chrono::microseconds(i * 1000000 / perSecond));
            reader.send(all[i % all.size()]);
        }
        received += reader.collect(batch);
        sent += batch;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(received));
    state.counters["lost"] = static_cast<double>(sent - received);
}
BENCHMARK(BM_LoopbackDatagramsPaced10k)->UseRealTime()->Iterations(5);

} // namespace
