// Traffic datagrams through the reader as the receive loop hands them over: valid airborne
// records (Arg 0), valid records on the ground at the park airport (Arg 1) and a mix of
// rejected ones (Arg 2). Each mix cycles over 64 datagrams of different aircraft; the
// queue is emptied every 4096 datagrams outside the timing. Goal: 1,000,000 valid per
// second on one core, rejected faster.

#include "core/parameters.hpp"
#include "traffic/link/service_link.hpp"

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <memory>
#include <string>
#include <vector>

namespace {

// A record of the traffic service: 30 fields, the checksum last.
std::string datagram(int i, std::string_view altitude, std::string_view speed, std::string_view latitude = "",
                     std::string_view hexid = "", std::string_view aircraftClass = "A3")
{
    const std::string lat = latitude.empty() ? fmt::format("52.{:02}", 28 + i % 5) : std::string(latitude);
    const std::string id = hexid.empty() ? fmt::format("{}", 4840000 + i) : std::string(hexid);
    return fmt::format("RTD,{},{},4.{:02},{},-640,,{}.5,{},KLM{},B738,PH-B{:02},EHAM,LEMD,1700000000.{},X,,adsb_icao,,,"
                       "170,,,{},,{},,,{},{}",
                       id, lat, 74 + i % 7, altitude, 180 + i % 9, speed, 100 + i, i % 100, i % 10, i % 20 - 10,
                       180 + i % 9, aircraftClass, 4711 + i);
}

std::vector<std::string> mix(int kind)
{
    std::vector<std::string> datagrams;
    for (int i = 0; i < 64; ++i) {
        switch (kind) {
        case 0: datagrams.push_back(datagram(i, fmt::format("{}", 3000 + 100 * i), "250")); break;
        case 1: datagrams.push_back(datagram(i, "0", fmt::format("{}", i % 20))); break;
        default: {
            const std::string rejected[] = {
                datagram(i, "3000", "250", "55.1"),           // out of range
                datagram(i, "3000", "250", "", "77"),         // static id
                datagram(i, "3000", "250", "", "", "B2"),     // aircraft class
                datagram(i, "0", "10", "52.40"),              // ground, away from the park airport
                datagram(i, "3000", "nan"),                   // ground speed
                datagram(i, "3000", "250", "91"),             // latitude
                datagram(i, "3000", "250").substr(0, 60),     // too few fields
                "RTD,4840001,52.3,4.7, VEH",                  // vehicle
            };
            datagrams.push_back(rejected[i % 8]);
        }
        }
    }
    return datagrams;
}

void BM_TrafficDatagrams(benchmark::State& state)
{
    const std::vector<std::string> datagrams = mix(static_cast<int>(state.range(0)));
    auto reader = std::make_unique<rtd::TrafficReader>();
    reader->setUserPosition({52.30, 4.76});
    reader->setParkAirport("EHAM", {52.3086, 4.7639});
    reader->setParkElevation(-11);
    rtd::lateralRangeNm = 40;
    rtd::setFlightRunning(true);
    std::size_t i = 0;
    std::int64_t queued = 0;
    for (auto _ : state) {
        reader->handleDatagram(datagrams[i++ % datagrams.size()]);
        if (i % 4096 == 0) {
            state.PauseTiming();
            queued += static_cast<std::int64_t>(rtd::trafficReportQueue.size());
            rtd::trafficReportQueue.clear();
            state.ResumeTiming();
        }
    }
    queued += static_cast<std::int64_t>(rtd::trafficReportQueue.size());
    rtd::trafficReportQueue.clear();
    rtd::setFlightRunning(false);
    state.SetItemsProcessed(state.iterations());
    state.counters["queued"] = benchmark::Counter(static_cast<double>(queued), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TrafficDatagrams)->ArgName("mix")->Arg(0)->Arg(1)->Arg(2);

} // namespace
