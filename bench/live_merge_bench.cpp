// One traffic report merged into the live aircraft (mergeTrafficRecord), with 50, 300 and
// 1,000 live aircraft in the simulator: the hexid search over the list, the filters and the
// append. Each aircraft gets its next report in turn, 5 s and 0.05 nm after the previous one,
// so every report is accepted; an aircraft's queue is kept at 16 updates. Goal: under 1 us
// per report at 300 aircraft.

#include "traffic/engine/ai_state.hpp"
#include "traffic/engine/live_merge.hpp"

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <vector>

namespace {

constexpr std::uint32_t firstHexid = 4840000;
constexpr std::size_t keptUpdates = 16;

// The report's texts stay; only its position, time and due poll change.
void moveReport(rtd::TrafficReport& r, std::uint32_t index, std::int64_t round)
{
    r.update.lat = 52.0 + 0.0008 * static_cast<double>(round);
    r.update.lon = 4.0 + 0.001 * index;
    r.update.altitudeFt = 9000;
    r.update.groundSpeedKt = 300;
    r.update.trueAirspeedKt = 320;
    r.update.airborne = true;
    r.update.duePoll = 3000 + 500 * round;
    r.timestamp = 1700000000.0 + 5.0 * static_cast<double>(round);
}

rtd::TrafficReport reportFor(std::uint32_t index)
{
    rtd::TrafficReport r;
    r.hexid = firstHexid + index;
    r.record.icaoType = "B738";
    r.record.callsign = fmt::format("KLM{}", index);
    r.record.origin = "EHAM";
    r.record.destination = "LEMD";
    moveReport(r, index, 0);
    return r;
}

void BM_MergeTrafficRecord(benchmark::State& state)
{
    const auto count = static_cast<std::uint32_t>(state.range(0));
    rtd::liveAIList.clear();
    std::vector<rtd::TrafficReport> reports;
    for (std::uint32_t i = 0; i < count; ++i) {
        const rtd::TrafficReport& r = reports.emplace_back(reportFor(i));
        rtd::FlightRecord flight;
        static_cast<rtd::TrafficRecord&>(flight) = r.record;
        flight.hexid = r.hexid;
        rtd::LiveAI ai = rtd::constructLiveAI(r.update, flight, r.timestamp);
        ai.simStatus = rtd::SimStatus::inSim;
        ai.phase = rtd::Phase::airborne;
        ai.objectId = i + 1;
        rtd::liveAIList.push_back(std::move(ai));
    }
    std::vector<std::int64_t> rounds(count, 0);
    std::uint32_t next = 0;
    for (auto _ : state) {
        rtd::TrafficReport& r = reports[next];
        moveReport(r, next, ++rounds[next]);
        rtd::mergeTrafficRecord(r);
        auto& updates = rtd::liveAIList[next].updates;
        if (updates.size() > keptUpdates)
            updates.pop_front();
        next = next + 1 == count ? 0 : next + 1;
    }
    if (rtd::liveAIList.front().updates.size() < 2)
        state.SkipWithError("reports were not accepted");
    rtd::liveAIList.clear();
}

} // namespace

BENCHMARK(BM_MergeTrafficRecord)->ArgName("live")->Arg(50)->Arg(300)->Arg(1000);
