// Traffic datagrams over loopback into the report queue: a sender thread's datagrams through
// the traffic reader's receive loop, as fast as they go in bursts of 200 and of 2000 (more
// than a socket holds by default; goal: 200,000 per second) and paced at 10,000 per second
// (goal: none lost; the "lost" counter). "readerUsEach" is the reader thread's processor time
// per datagram: what the receive path costs, apart from the sender and the machine's load.
//
// Under load, a traffic thread polls 300 live aircraft (poll_world.hpp) every 10 ms while the
// datagrams arrive, and its poll merges the front two queued reports under trafficMutex as
// ever. Every report is counted once, by whichever thread sees it first in the queue (which
// marks it), before it can leave: the collector and the traffic thread remove all but the
// front two, and the traffic thread, just before its poll, pads the front to two with repeats
// of a known aircraft's report (the merge ignores them). Goals: 150,000 per second in bursts,
// none lost paced at 2,000 per second.

#include "poll_world.hpp"

#include "core/parameters.hpp"
#include "traffic/link/service_link.hpp"

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <chrono>
#include <ctime>
#include <memory>
#include <pthread.h>
#include <stop_token>
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

constexpr std::uint32_t countedMark = 0xFFFFFFFF; // in a queued report's checksum

// Under trafficMutex: counts the queued reports not counted before, marking them, and removes
// all but the first `keep`.
std::size_t countAndTrimQueue(std::size_t keep)
{
    std::size_t counted = 0;
    for (rtd::TrafficReport& r : rtd::trafficReportQueue)
        if (r.checksum != countedMark && r.hexid != rtd::bench::PollWorld::firstHexid) {
            r.checksum = countedMark;
            ++counted;
        }
    if (rtd::trafficReportQueue.size() > keep)
        rtd::trafficReportQueue.erase(rtd::trafficReportQueue.begin() + static_cast<std::ptrdiff_t>(keep),
                                      rtd::trafficReportQueue.end());
    return counted;
}

// The traffic thread under load: the world's poll every 10 ms.
class LoadedTrafficThread {
public:
    static constexpr int liveCount = 300;

    LoadedTrafficThread() : thread_([this](std::stop_token stop) { run(stop); }) {}

    // Reports counted since the last call.
    std::size_t takeCounted() { return counted_.exchange(0); }
    // Mean time of one of its polls so far (frame, dispatch, feeding and cycle), microseconds.
    double pollUs() const { return polls_ > 0 ? busyUs_.load() / static_cast<double>(polls_.load()) : 0.0; }

private:
    void run(std::stop_token stop)
    {
        auto next = std::chrono::steady_clock::now();
        while (!stop.stop_requested()) {
            const auto start = std::chrono::steady_clock::now();
            world_.frame();
            world_.feed(false);
            countQueuedReports();
            rtd::trafficCycle();
            const std::chrono::duration<double, std::micro> busy = std::chrono::steady_clock::now() - start;
            busyUs_ = busyUs_ + busy.count();
            ++polls_;
            next += 10ms;
            std::this_thread::sleep_until(next);
        }
    }

    // The poll merges the front two; the rest go.
    void countQueuedReports()
    {
        std::lock_guard lock(rtd::trafficMutex);
        auto& queue = rtd::trafficReportQueue;
        counted_ += countAndTrimQueue(2);
        while (queue.size() < 2) {
            rtd::TrafficReport& pad = queue.emplace_back();
            pad.hexid = rtd::bench::PollWorld::firstHexid; // a repeat: too soon after its last report
            pad.update.duePoll = rtd::pollCounter + rtd::replayDelayPolls;
            pad.checksum = countedMark;
        }
    }

    rtd::bench::PollWorld world_{liveCount};
    std::atomic<std::size_t> counted_{0};
    std::atomic<double> busyUs_{0.0};
    std::atomic<std::int64_t> polls_{0};
    std::jthread thread_;
};

// A traffic reader listening on a loopback port of its own, its receive loop on a thread;
// with `load`, the reports are counted by a loaded traffic thread instead of drained here.
class LoopbackReader {
public:
    explicit LoopbackReader(bool load = false)
    {
        if (load)
            load_ = std::make_unique<LoadedTrafficThread>();
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
        load_.reset();
        drain();
    }
    // The loaded traffic thread's mean poll, microseconds (0 without load).
    double trafficPollUs() const { return load_ ? load_->pollUs() : 0.0; }
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
    // The reports that reached the queue since the last call (the traffic thread's count too).
    std::size_t drain()
    {
        const std::size_t loaded = load_ ? load_->takeCounted() : 0;
        std::lock_guard lock(rtd::trafficMutex);
        return loaded + countAndTrimQueue(load_ ? 2 : 0);
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
    std::unique_ptr<LoadedTrafficThread> load_;
    rtd::TrafficReader reader_;
    std::uint16_t port_ = 0;
    std::thread thread_;
    rtd::platform::Socket sender_ = rtd::platform::invalidSocket;
};

// Bursts of state.range(0) datagrams, each collected before the next.
void burstsInto(LoopbackReader& reader, benchmark::State& state)
{
    const std::vector<std::string> all = datagrams();
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
    if (reader.trafficPollUs() > 0)
        state.counters["trafficPollUs"] = reader.trafficPollUs();
}

// 0.2 s of datagrams a round at `perSecond`.
void pacedInto(LoopbackReader& reader, benchmark::State& state, std::size_t perSecond)
{
    const std::vector<std::string> all = datagrams();
    const std::size_t batch = perSecond / 5;
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

void BM_LoopbackDatagramsIntoQueue(benchmark::State& state)
{
    LoopbackReader reader;
    burstsInto(reader, state);
}
BENCHMARK(BM_LoopbackDatagramsIntoQueue)->Arg(200)->Arg(2000)->UseRealTime();

void BM_LoopbackDatagramsPaced10k(benchmark::State& state)
{
    LoopbackReader reader;
    pacedInto(reader, state, 10000);
}
BENCHMARK(BM_LoopbackDatagramsPaced10k)->UseRealTime()->Iterations(5);

void BM_LoopbackDatagramsUnderLoad(benchmark::State& state)
{
    LoopbackReader reader(true);
    burstsInto(reader, state);
}
BENCHMARK(BM_LoopbackDatagramsUnderLoad)->Arg(200)->Arg(2000)->UseRealTime();

void BM_LoopbackDatagramsPaced2kUnderLoad(benchmark::State& state)
{
    LoopbackReader reader(true);
    pacedInto(reader, state, 2000);
}
BENCHMARK(BM_LoopbackDatagramsPaced2kUnderLoad)->UseRealTime()->Iterations(5);

} // namespace
