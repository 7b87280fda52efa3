// ramptide_soak: the live traffic engine on its real threads and clock for a long run, fed
// by the test peer over loopback. One process holds the traffic and weather readers (on
// 127.0.0.1, on ports the system chooses), the simulator client on the free-running stand-in
// and the traffic thread's mainLoop, set up the way the run phase does: a model database from
// the fixture generator and KLM and DLH B738 liveries, the user on the ground at the park
// airport TEST (10 stands, from the fixture generator), range 40 nm, no TCP link.
//
//   ramptide_soak [--folder DIR] [--burst-minute B] [--quiet-seconds S] [--drain-seconds S]
//
// It prints "ports TRAFFIC,WEATHER" once the readers listen, then every 10 s: the time, RSS,
// the sizes of the traffic thread's containers (taken on that thread every 5 s), the report
// queue, the stand-in's objects, the polls' lateness and the stale reports. Once no datagram
// arrived for --quiet-seconds (the peer stopped) it waits for the live aircraft to run out,
// (live aircraft that arrived at a stand stay there), then lets the user climb away from the
// park airport, which takes the parked aircraft out, prints a summary and exits 0 when it
// holds: RSS over the steady state within 5% of its smallest value, the report queue empty
// within --drain-seconds (default 20) of the last datagram, under 1% of the polls more than
// 2 ms late, no moving aircraft left once they ran out and no AI object left once the user
// left, no violation of the simulator's rules; else 1 (2 for a bad command line). The steady
// state begins once all aircraft are created (the first sample with aircraft in the simulator
// and no creation requested or queued: the creation ramp is over) and ends where the burst
// begins (--burst-minute B, whose queue and the memory the allocator keeps from it are no
// steady state) or, without a burst, when the peer stopped; so a short soak and a long one
// judge the same thing, and a leak shows as growth within it. It also shows the RSS from the
// steady state's start to the end. A poll that starts without sleeping counts as late: the
// clock sees only the sleeps.
//
// DIR (default a fresh folder under the system's temporary folder) holds the input files,
// Log.txt and the flight plans.

#include "airports/services.hpp"
#include "core/exit.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "core/settings_file.hpp"
#include "fixtures/airport_fixture.hpp"
#include "fixtures/dbase_fixture.hpp"
#include "liveries/aircraft_cfg.hpp"
#include "liveries/dbase.hpp"
#include "liveries/fixes.hpp"
#include "liveries/lookup_tables.hpp"
#include "simulator/stand_in.hpp"
#include "traffic/engine/ai_state.hpp"
#include "traffic/engine/airport_port.hpp"
#include "traffic/engine/flight_plans.hpp"
#include "traffic/engine/traffic_clock.hpp"
#include "traffic/engine/traffic_thread.hpp"
#include "traffic/link/service_link.hpp"
#include "traffic/simulator_link/sim_client.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr rtd::LatLon airportPosition{52.3086, 4.7639};
constexpr std::int64_t latePollTicks = 2 * rtd::ticksPerMs;
constexpr double rssLimitPercent = 5;
constexpr std::size_t minSteadySamples = 3; // half a minute of the steady state at least
constexpr double latePollLimitPercent = 1;
constexpr auto firstTrafficWait = 120s;
constexpr auto runOutWait = 300s;
constexpr auto leaveWait = 120s;
constexpr int printEverySeconds = 10;

struct Options {
    std::filesystem::path folder;
    std::optional<double> burstMinute; // where the scenario's burst starts: the steady state ends
    int quietSeconds = 5;
    int drainSeconds = 20;
};

// The steady clock of the traffic thread, counting how late each sleep ends.
class MeasuringClock : public rtd::TrafficClock {
public:
    std::int64_t now() override
    {
        return std::chrono::duration_cast<Ticks>(Clock::now().time_since_epoch()).count();
    }
    void sleepUntil(std::int64_t ticks) override
    {
        const std::int64_t asleep = now();
        if (woke_ != 0)
            raise(maxWorkTicks, asleep - woke_);
        std::this_thread::sleep_until(Clock::time_point(std::chrono::duration_cast<Clock::duration>(Ticks(ticks))));
        woke_ = now();
        const std::int64_t late = woke_ - ticks;
        ++sleeps;
        if (late > latePollTicks)
            ++lateSleeps;
        raise(maxLateTicks, late);
    }

    std::atomic<std::int64_t> sleeps{0};
    std::atomic<std::int64_t> lateSleeps{0};
    // Since the last print: the latest wake-up, and the longest work from a wake-up to the
    // next sleep (one poll, or several when a poll ran past its deadline).
    std::atomic<std::int64_t> maxLateTicks{0};
    std::atomic<std::int64_t> maxWorkTicks{0};

private:
    using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;

    static void raise(std::atomic<std::int64_t>& most, std::int64_t value)
    {
        std::int64_t seen = most.load();
        while (value > seen && !most.compare_exchange_weak(seen, value)) {
        }
    }

    std::int64_t woke_ = 0; // the traffic thread's
};

// What the traffic thread owns, copied on that thread every 5 simulator seconds.
struct Sizes {
    std::size_t live = 0;
    std::size_t liveInSim = 0;
    std::size_t liveRequested = 0;
    std::size_t liveAtStands = 0; // in the simulator, parked at a stand after arriving
    std::size_t parked = 0;
    std::size_t removalBacklog = 0;
    std::size_t liveCreationBacklog = 0;
    std::size_t parkedCreationBacklog = 0;
    std::size_t pendingSetups = 0;
    std::size_t heldCallsigns = 0;
    std::size_t matchCache = 0;
    std::int64_t staleReports = 0; // since the traffic thread's last log line about them
    std::vector<std::uint32_t> parkedObjects;
};

std::mutex sizesMutex;
Sizes sizes; // under sizesMutex

void takeSizes(std::string_view step)
{
    if (step != "5")
        return;
    Sizes s;
    s.live = rtd::liveAIList.size();
    for (const rtd::LiveAI& ai : rtd::liveAIList) {
        s.liveInSim += ai.simStatus == rtd::SimStatus::inSim;
        s.liveRequested += ai.simStatus == rtd::SimStatus::requested;
        s.liveAtStands += ai.simStatus == rtd::SimStatus::inSim && ai.phase == rtd::Phase::atStand;
    }
    s.parked = rtd::parkedAIList.size();
    for (const rtd::ParkedAI& p : rtd::parkedAIList)
        if (p.objectId != 0)
            s.parkedObjects.push_back(p.objectId);
    s.removalBacklog = rtd::removalBacklog.size();
    s.liveCreationBacklog = rtd::liveCreationBacklog.size();
    s.parkedCreationBacklog = rtd::parkedCreationBacklog.size();
    s.pendingSetups = rtd::pendingSetups.size();
    s.heldCallsigns = rtd::heldCallsigns.size();
    s.matchCache = rtd::liveryMatchCache.size();
    s.staleReports = rtd::staleReportCount;
    std::lock_guard lock(sizesMutex);
    sizes = std::move(s);
}

Sizes currentSizes()
{
    std::lock_guard lock(sizesMutex);
    return sizes;
}

std::size_t reportQueueSize()
{
    std::lock_guard lock(rtd::trafficMutex);
    return rtd::trafficReportQueue.size();
}

// Resident set size in MiB, from /proc/self/status.
double rssMiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with("VmRSS:"))
            return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

// The stand-in's objects that are not static parked aircraft.
std::size_t liveObjects(const rtd::sim::StandInSim& sim, const Sizes& s)
{
    std::size_t count = 0;
    for (const rtd::sim::AiState& object : sim.objects())
        count += std::find(s.parkedObjects.begin(), s.parkedObjects.end(), object.id) == s.parkedObjects.end();
    return count;
}

// The reports the traffic thread logged as dropped stale so far.
std::int64_t loggedStaleReports(const std::filesystem::path& log)
{
    rtd::flushLog();
    static const std::regex line(R"((\d+) reports dropped after waiting more than 10 s)");
    std::ifstream in(log);
    std::int64_t total = 0;
    for (std::string text; std::getline(in, text);)
        if (std::smatch match; std::regex_search(text, match, line))
            total += std::stoll(match[1].str());
    return total;
}

std::optional<Options> parseOptions(int argc, char** argv)
{
    Options options;
    options.folder = std::filesystem::temp_directory_path() / fmt::format("ramptide-soak-{}", ::getpid());
    const auto nonNegative = [](const std::string& text, double& out) {
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
        return error == std::errc() && end == text.data() + text.size() && out >= 0;
    };
    for (int i = 1; i < argc; i += 2) {
        const std::string key = argv[i];
        if (i + 1 >= argc) {
            fmt::print(stderr, "ramptide_soak: {} needs a value\n", key);
            return std::nullopt;
        }
        const std::string value = argv[i + 1];
        double number = 0;
        if (key == "--folder") {
            options.folder = value;
        } else if ((key == "--burst-minute" || key == "--quiet-seconds" || key == "--drain-seconds") &&
                   nonNegative(value, number)) {
            if (key == "--burst-minute")
                options.burstMinute = number;
            else
                (key == "--quiet-seconds" ? options.quietSeconds : options.drainSeconds) = static_cast<int>(number);
        } else {
            fmt::print(stderr, "ramptide_soak: bad option {} {}\nusage: ramptide_soak [--folder DIR] "
                               "[--burst-minute M] [--quiet-seconds S] [--drain-seconds S]\n",
                       key, value);
            return std::nullopt;
        }
    }
    return options;
}

// The installation the run reads: the model database, the park airport and its stands.
void prepareFolder(const std::filesystem::path& folder)
{
    std::filesystem::create_directories(folder / "input");
    rtd::fixtures::writeDbaseFile(folder / "input" / "dbase.xml", {});
    rtd::fixtures::writeParkAirport(folder, "TEST", airportPosition, 10);
    std::filesystem::current_path(folder);
    rtd::openLogFile(folder / "Log.txt");
    rtd::readDbase();
    rtd::clearLookupTables();
    rtd::LiveryList liveries{{"KLM", "B738", "KLM B738", "", 0, false}, {"DLH", "B738", "DLH B738", "", 0, false}};
    liveries.sort(rtd::liveryLess);
    rtd::processScannedLiveries(liveries);
    rtd::excludedTitles.clear();
    rtd::readAirports();
    rtd::resetParkAirportSight();
}

// The RSS samples (minute, MiB) from one minute up to another: smallest, largest, the spread
// between them and the change from the first to the last, in % of the smallest and the first.
struct RssSpan {
    std::size_t samples = 0;
    double min = 0, max = 0, spreadPercent = 0, changePercent = 0;
};

RssSpan rssSpan(const std::vector<std::pair<double, double>>& rss, double fromMinute, double toMinute)
{
    RssSpan span;
    double first = 0, last = 0;
    for (const auto& [minute, mib] : rss) {
        if (minute < fromMinute || minute >= toMinute)
            continue;
        if (span.samples++ == 0)
            first = span.min = span.max = mib;
        span.min = std::min(span.min, mib);
        span.max = std::max(span.max, mib);
        last = mib;
    }
    if (span.samples > 0) {
        span.spreadPercent = 100 * (span.max - span.min) / span.min;
        span.changePercent = 100 * (last - first) / first;
    }
    return span;
}

struct Figures {
    std::vector<std::pair<double, double>> rss; // (minute, MiB)
    std::optional<double> allCreatedMinute;      // where the steady state begins
    std::size_t peakQueue = 0;
    std::int64_t polls = 0;
};

} // namespace

int main(int argc, char** argv)
{
    const std::optional<Options> parsed = parseOptions(argc, argv);
    if (!parsed)
        return 2;
    const Options& options = *parsed;
    using namespace rtd;

    prepareFolder(options.folder);
    setLateralRange(40);
    realTrafficOnThisPc = true; // loopback only, and no repeat filter
    auto sim = std::make_shared<sim::StandInSim>(sim::StandInSim::Mode::freeRunning);
    sim->recordCalls(false);
    sim->setUser({.lat = airportPosition.lat, .lon = airportPosition.lon, .onGround = true});
    sim::installStandIn(sim);

    reserveSimLinkQueues(256);
    simConnectFailed = false;
    initTrafficContainers();
    installReaderTrafficPort();
    flightPlanFolder = options.folder / "orig_dest";
    createFlightPlanFolder();
    std::jthread simClient(SimClient);
    if (!requestUserOnGround()) {
        fmt::print(stderr, "ramptide_soak: the simulator link did not start\n");
        return 1;
    }
    readParkAirports(false);

    setFlightRunning(false);
    trafficReader.setUserPosition(userAircraftState().position());
    std::jthread weatherReading([] { runReader(weatherReader, 0); });
    std::jthread trafficReading([] { runReader(trafficReader, 0); });
    // Every way out stops the readers first: their threads end only when told.
    struct StopReaders {
        ~StopReaders()
        {
            stopReader(trafficReader);
            stopReader(weatherReader);
        }
    } const stopReaders;
    while ((trafficReader.boundPort() == 0 || weatherReader.boundPort() == 0) && !readerFailed)
        std::this_thread::sleep_for(10ms);
    if (readerFailed) {
        fmt::print(stderr, "ramptide_soak: a reader did not start (see {})\n", (options.folder / "Log.txt").string());
        return 1;
    }
    fmt::print("ports {},{}\n", trafficReader.boundPort(), weatherReader.boundPort());
    std::fflush(stdout);

    const auto waitStart = Clock::now();
    while (trafficTimestamp == 0.0 && Clock::now() - waitStart < firstTrafficWait)
        std::this_thread::sleep_for(100ms);
    if (trafficTimestamp == 0.0) {
        fmt::print(stderr, "ramptide_soak: no traffic within {} s\n", firstTrafficWait.count());
        return 1;
    }

    MeasuringClock clock;
    setTrafficClock(&clock);
    setCycleStepTrace(&takeSizes);
    onUserPositionChange(true);
    std::jthread trafficThread(mainLoop);

    const auto start = Clock::now();
    const auto minutes = [&start] { return std::chrono::duration<double>(Clock::now() - start).count() / 60; };
    const std::int64_t firstPoll = pollCounter;
    const std::int64_t firstSleeps = clock.sleeps;
    Figures figures;
    std::uint32_t lastCount = trafficReader.datagramCount;
    auto lastDatagram = Clock::now();
    std::optional<Clock::time_point> stopped;   // the peer's last datagram, once it stopped
    std::optional<double> drainedAfterSeconds; // from the last datagram to an empty queue
    // Once the moving aircraft ran out (or runOutWait passed): when, the live objects still
    // moving then, the live aircraft at stands and the static parked ones.
    std::optional<Clock::time_point> ranOut;
    std::size_t movingLeft = 0, atStandsLeft = 0, parkedLeft = 0;
    std::size_t objectsLeft = 0; // once the user left the park airport
    for (int second = 1;; ++second) {
        std::this_thread::sleep_until(start + std::chrono::seconds(second));
        const std::size_t queue = reportQueueSize();
        figures.peakQueue = std::max(figures.peakQueue, queue);
        if (const std::uint32_t count = trafficReader.datagramCount; count != lastCount) {
            lastCount = count;
            lastDatagram = Clock::now();
        } else if (!stopped && Clock::now() - lastDatagram >= std::chrono::seconds(options.quietSeconds)) {
            stopped = lastDatagram;
            fmt::print("{:6.1f} min: no datagram for {} s, the peer stopped; waiting for the aircraft to run out\n",
                       minutes(), options.quietSeconds);
        }
        if (stopped && !drainedAfterSeconds && queue == 0)
            drainedAfterSeconds = std::chrono::duration<double>(Clock::now() - *stopped).count();
        if (second % printEverySeconds == 0 || stopped) {
            const Sizes s = currentSizes();
            const double rss = rssMiB();
            figures.rss.emplace_back(minutes(), rss);
            if (!figures.allCreatedMinute && !stopped && s.liveInSim > 0 && s.liveRequested == 0 &&
                s.liveCreationBacklog == 0) {
                figures.allCreatedMinute = minutes();
                fmt::print("{:6.1f} min: all aircraft created, the steady state begins\n", minutes());
            }
            if (second % printEverySeconds == 0) {
                const std::int64_t polls = pollCounter - firstPoll;
                const std::int64_t late = clock.lateSleeps + std::max<std::int64_t>(0, polls - (clock.sleeps - firstSleeps));
                fmt::print("{:6.1f} min rss {:.1f} MiB | live {} (in sim {}, requested {}) parked {} | backlogs removal "
                           "{} live {} parked {} | setups {} queue {} held {} cache {} | sim objects {} | polls max "
                           "late {:.2f} ms, max work {:.2f} ms, {:.3f}% > 2 ms late | stale {} (logged {})\n",
                           minutes(), rss, s.live, s.liveInSim, s.liveRequested, s.parked, s.removalBacklog,
                           s.liveCreationBacklog, s.parkedCreationBacklog, s.pendingSetups, queue, s.heldCallsigns,
                           s.matchCache, sim->objects().size(),
                           static_cast<double>(clock.maxLateTicks.exchange(0)) / ticksPerMs,
                           static_cast<double>(clock.maxWorkTicks.exchange(0)) / ticksPerMs,
                           polls > 0 ? 100.0 * static_cast<double>(late) / static_cast<double>(polls) : 0.0,
                           s.staleReports, loggedStaleReports(options.folder / "Log.txt"));
                std::fflush(stdout);
            }
            // Arrived aircraft stay at their stands; the rest run out of reports and leave. Then
            // the user climbs away: out of sight of the park airport everything parked goes.
            const std::size_t live = liveObjects(*sim, s);
            if (stopped && !ranOut &&
                ((s.live == s.liveAtStands && live == s.liveAtStands) || Clock::now() - *stopped > runOutWait)) {
                ranOut = Clock::now();
                movingLeft = live - std::min(live, s.liveAtStands);
                atStandsLeft = s.liveAtStands;
                parkedLeft = s.parkedObjects.size();
                fmt::print("{:6.1f} min: {} moving aircraft left, {} live at stands, {} static parked; the user leaves "
                           "the park airport\n", minutes(), movingLeft, atStandsLeft, parkedLeft);
                sim->setUser({.lat = airportPosition.lat, .lon = airportPosition.lon, .altFt = 30000,
                              .onGround = false});
            }
            objectsLeft = sim->objects().size();
            if (ranOut && ((s.live == 0 && objectsLeft == 0) || Clock::now() - *ranOut > leaveWait))
                break;
        }
        if (exitBegan()) {
            fmt::print(stderr, "ramptide_soak: the program began an exit (see {})\n",
                       (options.folder / "Log.txt").string());
            break;
        }
    }

    figures.polls = pollCounter - firstPoll;
    const std::int64_t unslept = std::max<std::int64_t>(0, figures.polls - (clock.sleeps - firstSleeps));
    const std::int64_t latePolls = clock.lateSleeps + unslept;
    trafficThread.request_stop();
    trafficThread.join();
    setCycleStepTrace(nullptr);
    const Sizes last = currentSizes();
    const std::int64_t stale = loggedStaleReports(options.folder / "Log.txt") + staleReportCount;
    stopReader(trafficReader);
    stopReader(weatherReader);
    trafficReading.join();
    weatherReading.join();
    simClient.request_stop();
    simClient.join();
    setTrafficClock(nullptr);

    // The steady state ends where the burst begins, or without one where the peer stopped.
    const double steadyEnd = options.burstMinute ? *options.burstMinute
                             : stopped ? std::chrono::duration<double>(*stopped - start).count() / 60
                                       : minutes();
    const double steadyStart = figures.allCreatedMinute.value_or(steadyEnd);
    const RssSpan steady = rssSpan(figures.rss, steadyStart, steadyEnd);
    const RssSpan toTheEnd = rssSpan(figures.rss, steadyStart, minutes() + 1);
    const std::size_t violations = sim->violations().size();
    const double latePercent =
        figures.polls > 0 ? 100.0 * static_cast<double>(latePolls) / static_cast<double>(figures.polls) : 100.0;
    const bool rssHolds = steady.samples >= minSteadySamples && steady.spreadPercent <= rssLimitPercent;
    const bool drained = drainedAfterSeconds && *drainedAfterSeconds <= options.drainSeconds;
    const bool pollsHold = latePercent < latePollLimitPercent;
    const bool noneLeft = ranOut && movingLeft == 0 && objectsLeft == 0 && !exitBegan();
    const auto yes = [](bool holds) { return holds ? "holds" : "FAILS"; };
    fmt::print("summary after {:.1f} min\n", minutes());
    if (figures.allCreatedMinute)
        fmt::print("  RSS over the steady state, from minute {:.1f} (all aircraft created) to minute {:.1f} ({}): min "
                   "{:.2f} MiB, max {:.2f} MiB, spread {:.2f}%, first to last {:+.2f}% ({} samples, at least {}): {}\n",
                   steadyStart, steadyEnd, options.burstMinute ? "the burst" : "the peer stopped", steady.min,
                   steady.max, steady.spreadPercent, steady.changePercent, steady.samples, minSteadySamples,
                   yes(rssHolds));
    else
        fmt::print("  RSS: no steady state, the aircraft were still being created at minute {:.1f} ({}): {}\n",
                   steadyEnd, options.burstMinute ? "the burst" : "the peer stopped", yes(rssHolds));
    fmt::print("    from minute {:.1f} to the end, the burst included: min {:.2f} MiB, max {:.2f} MiB, spread {:.2f}%, "
               "first to last {:+.2f}%\n",
               steadyStart, toTheEnd.min, toTheEnd.max, toTheEnd.spreadPercent, toTheEnd.changePercent);
    fmt::print("  report queue: peak {}, empty {} after the last datagram: {}\n", figures.peakQueue,
               drainedAfterSeconds ? fmt::format("{:.0f} s", *drainedAfterSeconds) : std::string("never"),
               yes(drained));
    fmt::print("  stale reports dropped: {}\n", stale);
    fmt::print("  late polls (> 2 ms): {} of {} ({:.3f}%, {} without a sleep): {}\n", latePolls, figures.polls,
               latePercent, unslept, yes(pollsHold));
    fmt::print("  after the peer stopped: {} moving AI objects left once the aircraft ran out ({:.0f} s), {} live at "
               "stands and {} static parked stayed; {} AI objects left once the user left the park airport (live list "
               "{}, parked list {}): {}\n",
               movingLeft, ranOut && stopped ? std::chrono::duration<double>(*ranOut - *stopped).count() : 0.0,
               atStandsLeft, parkedLeft, objectsLeft, last.live, last.parked, yes(noneLeft));
    fmt::print("  stand-in violations: {}: {}\n", violations, yes(violations == 0));
    for (const std::string& violation : sim->violations())
        fmt::print("    {}\n", violation);
    const bool holds = rssHolds && drained && pollsHold && noneLeft && violations == 0;
    fmt::print("result: {}\n", holds ? "PASS" : "FAIL");
    closeLogFile();
    return holds ? 0 : 1;
}
