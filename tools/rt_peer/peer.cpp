#include "rt_peer/peer.hpp"

#include "platform/platform.hpp"
#include "platform/sockets.hpp"

#include <fmt/format.h>
#include <fmt/ostream.h>
#include <atomic>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

namespace rtd::peer {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto connectRetryFor = 60s;
constexpr auto connectRetryPause = 200ms;
constexpr int readWaitMs = 50;

struct Received {
    double at; // scenario seconds
    std::string line;
    std::string kind;
};

double numberOption(const std::string& name, const std::string& text)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        throw ScenarioError(fmt::format("--{} {}: not a number", name, text));
    return value;
}

std::uint16_t portOption(const std::string& name, const std::string& text)
{
    const double value = numberOption(name, text);
    if (value < 1 || value > 65535 || value != static_cast<int>(value))
        throw ScenarioError(fmt::format("--{} {}: not a port", name, text));
    return static_cast<std::uint16_t>(value);
}

// The peer's state shared by the main thread (events, checks) and the link thread.
class Peer {
public:
    Peer(const PeerOptions& options, std::ostream& messages)
        : options_(options), messages_(messages), start_(Clock::now())
    {
        if (!options.recordFile.empty()) {
            record_.open(platform::pathFromUtf8(options.recordFile), std::ios::binary | std::ios::trunc);
            if (!record_)
                throw ScenarioError(fmt::format("cannot write the record {}", options.recordFile));
        }
    }

    double now() const { return std::chrono::duration<double>(Clock::now() - start_).count() * options_.speedup; }

    void waitUntil(double at) const
    {
        std::this_thread::sleep_until(start_ + std::chrono::duration_cast<Clock::duration>(
                                                   std::chrono::duration<double>(at / options_.speedup)));
    }

    void fail(const std::string& text)
    {
        std::lock_guard lock(mutex_);
        ++failures_;
        fmt::print(messages_, "rt_peer: {}\n", text);
        messages_.flush();
    }
    int failures() const
    {
        std::lock_guard lock(mutex_);
        return failures_;
    }

    // ---- the position link (its socket belongs to linkThread) ----
    void wantConnection(bool wanted)
    {
        std::lock_guard lock(mutex_);
        wanted_ = wanted;
        if (wanted)
            connectUntil_ = Clock::now() + connectRetryFor;
        changed_.notify_all();
    }
    void stopLink()
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }
    void linkThread();

    std::vector<Received> received() const
    {
        std::lock_guard lock(mutex_);
        return received_;
    }
    // Waits until the text changes or the time passes.
    void waitForLines(double until) const
    {
        std::unique_lock lock(mutex_);
        const std::size_t count = received_.size();
        changed_.wait_until(lock, start_ + std::chrono::duration_cast<Clock::duration>(
                                              std::chrono::duration<double>(until / options_.speedup)),
                            [&] { return received_.size() != count; });
    }

private:
    void takeLines(std::string& pending, double at);

    const PeerOptions& options_;
    std::ostream& messages_;
    const Clock::time_point start_;
    std::ofstream record_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    int failures_ = 0;
    bool wanted_ = false;
    bool stopping_ = false;
    Clock::time_point connectUntil_;
    std::vector<Received> received_;
};

void Peer::takeLines(std::string& pending, double at)
{
    for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
        std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        const bool crlf = !line.empty() && line.back() == '\r';
        if (crlf)
            line.pop_back();
        const std::string kind = lineKind(line);
        if (record_) {
            record_ << fmt::format("{:.3f}\t{}\n", at, line);
            record_.flush();
        }
        if (!crlf)
            fail(fmt::format("{:.3f}: line without CR LF: \"{}\"", at, line));
        else if (kind.empty())
            fail(fmt::format("{:.3f}: line breaks the link's grammar: \"{}\"", at, line));
        std::lock_guard lock(mutex_);
        received_.push_back({at, line, kind});
        changed_.notify_all();
    }
}

void Peer::linkThread()
{
    platform::Socket socket = platform::invalidSocket;
    std::string pending;
    for (;;) {
        bool wanted = false;
        Clock::time_point until;
        {
            std::unique_lock lock(mutex_);
            changed_.wait_for(lock, socket == platform::invalidSocket ? connectRetryPause : 0ms,
                              [&] { return stopping_ || wanted_ != (socket != platform::invalidSocket); });
            if (stopping_)
                break;
            wanted = wanted_;
            until = connectUntil_;
        }
        if (!wanted && socket != platform::invalidSocket) {
            platform::closeSocket(socket);
            socket = platform::invalidSocket;
            pending.clear();
        }
        if (!wanted)
            continue;
        if (socket == platform::invalidSocket) {
            socket = platform::connectTcp(options_.tcpHost, options_.tcpPort);
            if (socket != platform::invalidSocket) {
                platform::setNoDelay(socket);
                continue;
            }
            if (Clock::now() >= until) {
                fail(fmt::format("no connection to {}:{} within 60 s", options_.tcpHost, options_.tcpPort));
                wantConnection(false);
            }
            std::this_thread::sleep_for(connectRetryPause);
            continue;
        }
        if (!platform::waitReadable(socket, readWaitMs))
            continue;
        char buffer[4096];
        const long got = platform::receiveBytes(socket, buffer, sizeof buffer);
        const double at = now();
        if (got <= 0) {
            if (!pending.empty())
                fail(fmt::format("{:.3f}: connection closed after an incomplete line \"{}\"", at, pending));
            platform::closeSocket(socket);
            socket = platform::invalidSocket;
            pending.clear();
            std::lock_guard lock(mutex_);
            wanted_ = false; // the program closed the link; a scenario line connects again
            changed_.notify_all();
            continue;
        }
        pending.append(buffer, static_cast<std::size_t>(got));
        const std::size_t before = received().size();
        takeLines(pending, at);
        const std::vector<Received> lines = received();
        for (std::size_t i = before; i < lines.size(); ++i)
            if (lines[i].kind == "qs999" && !platform::sendAll(socket, options_.reply))
                fail(fmt::format("{:.3f}: the version reply could not be sent", at));
    }
    if (socket != platform::invalidSocket)
        platform::closeSocket(socket);
}

bool matches(const Event& expect, const Received& line)
{
    return expect.kind == "line" ? line.line == expect.data : line.kind == expect.kind;
}

// Whether the expectation is decided; `held` tells how.
bool decided(const Event& expect, const std::vector<Received>& lines, double now, bool& held)
{
    const double until = expect.at + expect.seconds;
    bool seen = false;
    for (const Received& line : lines)
        seen = seen || (line.at >= expect.at && line.at <= until && matches(expect, line));
    if (expect.action == Action::expect) {
        held = seen;
        return seen || now > until;
    }
    held = !seen;
    return seen || now > until;
}

std::string describe(const Event& expect)
{
    const std::string what = expect.kind == "line" ? fmt::format("line=\"{}\"", expect.data) : expect.kind;
    return expect.action == Action::expect ? fmt::format("expect {} within={}", what, expect.seconds)
                                           : fmt::format("expect-none {} for={}", what, expect.seconds);
}

} // namespace

PeerOptions parseCommandLine(int argc, char** argv)
{
    PeerOptions options;
    options.epoch = static_cast<double>(std::time(nullptr));
    for (int i = 1; i < argc; i += 2) {
        const std::string name = argv[i];
        if (name.rfind("--", 0) != 0 || i + 1 >= argc)
            throw ScenarioError(fmt::format("expected --option value, got \"{}\"", name));
        const std::string value = argv[i + 1];
        const std::string key = name.substr(2);
        if (key == "tcp") {
            const auto colon = value.rfind(':');
            if (colon == std::string::npos)
                throw ScenarioError(fmt::format("--tcp {}: expected HOST:PORT", value));
            options.tcp = true;
            options.tcpHost = value.substr(0, colon);
            options.tcpPort = portOption(key, value.substr(colon + 1));
        } else if (key == "reply") {
            options.reply = value;
        } else if (key == "udp") {
            options.udpHost = value;
        } else if (key == "ports") {
            const auto comma = value.find(',');
            if (comma == std::string::npos)
                throw ScenarioError(fmt::format("--ports {}: expected TRAFFIC,WEATHER", value));
            options.trafficPort = portOption(key, value.substr(0, comma));
            options.weatherPort = portOption(key, value.substr(comma + 1));
        } else if (key == "scenario") {
            options.scenarioFile = value;
        } else if (key == "speedup") {
            options.speedup = numberOption(key, value);
            if (!(options.speedup > 0))
                throw ScenarioError("--speedup must be above 0");
        } else if (key == "epoch") {
            options.epoch = numberOption(key, value);
        } else if (key == "record") {
            options.recordFile = value;
        } else {
            throw ScenarioError(fmt::format("unknown option {}", name));
        }
    }
    if (options.scenarioFile.empty())
        throw ScenarioError("--scenario FILE is required");
    return options;
}

int runPeer(const PeerOptions& options, std::ostream& messages)
{
    std::vector<Event> events;
    std::unique_ptr<Peer> peer;
    try {
        std::ifstream in(platform::pathFromUtf8(options.scenarioFile), std::ios::binary);
        if (!in)
            throw ScenarioError(fmt::format("cannot read the scenario {}", options.scenarioFile));
        std::stringstream text;
        text << in.rdbuf();
        events = parseScenario(text.str(), options.epoch, options.scenarioFile);
        peer = std::make_unique<Peer>(options, messages);
    } catch (const ScenarioError& e) {
        fmt::print(messages, "rt_peer: {}\n", e.what());
        return 2;
    }
    if (!platform::startSockets()) {
        fmt::print(messages, "rt_peer: no sockets\n");
        return 2;
    }
    const platform::Socket udp = platform::openUdpSocket();
    std::thread link([&peer] { peer->linkThread(); });
    if (options.tcp)
        peer->wantConnection(true);

    std::vector<Event> expects;
    std::string lastData;
    std::uint16_t lastPort = 0;
    for (const Event& event : events) {
        peer->waitUntil(event.at);
        if (event.action == Action::end)
            break;
        switch (event.action) {
        case Action::trafficDatagram:
        case Action::weatherDatagram:
            lastData = event.data;
            lastPort = event.action == Action::trafficDatagram ? options.trafficPort : options.weatherPort;
            [[fallthrough]];
        case Action::again:
            if (lastPort != 0 && !platform::sendDatagram(udp, options.udpHost, lastPort, lastData))
                peer->fail(fmt::format("{:.3f}: datagram to {}:{} not sent", event.at, options.udpHost, lastPort));
            break;
        case Action::tcpClose:
            peer->wantConnection(false);
            break;
        case Action::tcpConnect:
            peer->wantConnection(true);
            break;
        case Action::expect:
        case Action::expectNone:
            expects.push_back(event);
            break;
        case Action::end:
            break;
        }
    }
    // The expectations are decided by the lines that arrive within their windows.
    for (;;) {
        const double now = peer->now();
        const std::vector<Received> lines = peer->received();
        double latest = now;
        bool open = false;
        for (const Event& expect : expects) {
            bool held = false;
            if (!decided(expect, lines, now, held)) {
                open = true;
                latest = std::max(latest, expect.at + expect.seconds);
            }
        }
        if (!open)
            break;
        peer->waitForLines(latest + 0.001);
    }
    const std::vector<Received> lines = peer->received();
    for (const Event& expect : expects) {
        bool held = false;
        decided(expect, lines, peer->now(), held);
        if (!held)
            peer->fail(fmt::format("line {}: {:.3f} {} failed", expect.lineNumber, expect.at, describe(expect)));
    }
    peer->stopLink();
    link.join();
    if (udp != platform::invalidSocket)
        platform::closeSocket(udp);
    platform::stopSockets();
    return peer->failures() == 0 ? 0 : 1;
}

} // namespace rtd::peer
