#include "app/run_phase.hpp"

#include "airports/services.hpp"
#include "app/startup.hpp"
#include "core/display.hpp"
#include "core/exit.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "core/version.hpp"
#include "traffic/engine/airport_port.hpp"
#include "traffic/engine/flight_plans.hpp"
#include "traffic/engine/traffic_thread.hpp"
#include "traffic/link/service_link.hpp"
#include "traffic/simulator_link/sim_client.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

namespace rtd {

namespace {

using namespace std::chrono_literals;

std::mutex runThreadsMutex;
std::jthread simClientThread; // under runThreadsMutex
std::jthread mainLoopThread;  // under runThreadsMutex
// Whether the thread of the slot runs its body; set at its start, cleared as its last step.
std::atomic<bool> simClientRunning{false};
std::atomic<bool> mainLoopRunning{false};

std::jthread& runThread(RunThread slot)
{
    return slot == RunThread::simClient ? simClientThread : mainLoopThread;
}

std::atomic<bool>& runningFlag(RunThread slot)
{
    return slot == RunThread::simClient ? simClientRunning : mainLoopRunning;
}

constexpr std::size_t simLinkQueueCapacity = 256;
constexpr auto versionReplyTimeout = 5s;
constexpr int firstTrafficRounds = 150; // of 100 ms
constexpr int freshTimeRounds = 100;    // of 10 ms

void showFlag(std::atomic<bool>& flag, bool value)
{
    flag = value;
    windowDisplay().invalidate(headerBand);
}

std::string versionOf(const nlohmann::json& reply)
{
    const auto found = reply.find("version");
    if (found == reply.end() || found->is_null())
        return "?";
    const std::string version = found->get<std::string>();
    return version.empty() ? "?" : version;
}

bool isProfessional(const nlohmann::json& reply)
{
    const auto found = reply.find("level");
    return found == reply.end() || found->is_null() || found->get<int>() == 2;
}

bool waitForFirstTraffic()
{
    for (int round = 0; round < firstTrafficRounds && trafficTimestamp == 0.0; ++round) {
        if (exitBegan())
            return false;
        std::this_thread::sleep_for(100ms);
    }
    if (trafficTimestamp == 0.0)
        logLine("No traffic in this region?");
    return true;
}

void startReaders()
{
    std::thread(weatherReaderThread, weatherReaderPort).detach();
    std::this_thread::sleep_for(2s);
    std::thread(trafficReaderThread, trafficReaderPort).detach();
}

void runPhaseSteps()
{
    windowDisplay().setTopMost(ALWAYS_ON_TOP.value());
    reserveSimLinkQueues(simLinkQueueCapacity);
    simConnectFailed = false;
    initTrafficContainers();
    installReaderTrafficPort();
    createFlightPlanFolder();
    showFlag(mainWindowGlobals.rtConnected, false);
    showFlag(mainWindowGlobals.simConnected, false);

    if (!startRunThread(RunThread::simClient, SimClient) || !requestUserOnGround())
        return;
    readParkAirports(0);
    windowDisplay().enableControl(reReadButton.controlId(), true);
    flushLog();

    if (realTrafficOnThisPc && !AEROWINX.value())
        startServer(PORT_NUMBER.value());
    else
        showFlag(mainWindowGlobals.rtConnected, true);
    if (AUTO_RANGE.value()) {
        windowDisplay().showRange();
        windowDisplay().enableControl(LATERAL_RANGE.controlId(), false);
    }
    if (exitBegan())
        return;
    showFlag(mainWindowGlobals.rtLinkIdle, false);
    flushLog();

    if (!AEROWINX.value()) {
        waitForRealTraffic();
        if (professionalLevel)
            sendHandshakeTime();
    } else {
        professionalLevel = false;
    }
    if (exitBegan())
        return;

    setFlightRunning(false);
    trafficReader.setUserPosition(userAircraftState().position());
    startReaders();
    sendUserPosition();
    if (readerFailed) {
        showError("Reader error");
        startFinalExit(ExitReason::systemError, 0);
    }
    if (!waitForFirstTraffic())
        return;
    currentDaySlot = currentDayAndHalfHour();
    onUserPositionChange(1);
    startRunThread(RunThread::mainLoop, mainLoop);
}

} // namespace

bool startRunThread(RunThread slot, void (*body)(std::stop_token))
{
    std::lock_guard lock(runThreadsMutex);
    std::jthread& thread = runThread(slot);
    if (thread.joinable()) {
        thread.request_stop();
        thread.join();
    }
    if (exitBegan())
        return false;
    std::atomic<bool>& running = runningFlag(slot);
    running = true;
    try {
        thread = std::jthread([body, &running](std::stop_token stop) {
            body(stop);
            running = false;
        });
    } catch (...) {
        running = false;
        throw;
    }
    return true;
}

void requestRunThreadsStop()
{
    std::lock_guard lock(runThreadsMutex);
    mainLoopThread.request_stop();
    simClientThread.request_stop();
}

std::vector<std::string> runningRunThreads()
{
    std::vector<std::string> names;
    if (simClientRunning)
        names.emplace_back("simClientThread");
    if (mainLoopRunning)
        names.emplace_back("mainLoopThread");
    return names;
}

void endRunThreads()
{
    std::lock_guard lock(runThreadsMutex);
    for (const RunThread slot : {RunThread::mainLoop, RunThread::simClient}) {
        std::jthread& thread = runThread(slot);
        if (!thread.joinable())
            continue;
        if (runningFlag(slot))
            thread.detach(); // still in its body: it ends on its own, nothing waits for it
        else
            thread.join();
    }
}

void runPhase()
{
    try {
        runPhaseSteps();
    } catch (const std::exception& e) {
        setStatus(e.what(), true);
        if (clientConnected) {
            stopServer();
            showFlag(mainWindowGlobals.rtConnected, false);
        }
        startFinalExit(ExitReason::systemError, 0);
    }
}

void waitForRealTraffic()
{
    if (!realTrafficOnThisPc)
        return;
    setStatus(fmt::format("Waiting for RealTraffic to connect to {} ...", productName), true);
    resetFeedState();
    if (waitForClient()) {
        sendDataPacket("Qs999=version\r\n");
        checkRealTrafficVersion(receiveVersionReply(versionReplyTimeout));
        showFlag(mainWindowGlobals.rtConnected, true);
        logLine("RealTraffic connected");
    }
    clearStatus();
}

void sendHandshakeTime()
{
    // The last user state came before the wait for the service, which may have taken long.
    const std::int64_t known = simUtcSeconds.exchange(0);
    requestUserAircraftPosition();
    for (int round = 0; round < freshTimeRounds && simUtcSeconds == 0 && !exitBegan(); ++round)
        std::this_thread::sleep_for(10ms);
    std::int64_t none = 0;
    simUtcSeconds.compare_exchange_strong(none, known); // no reply: the time known before
    sendQs123(simUtcSeconds);
}

void checkRealTrafficVersion(const std::string& reply)
{
    if (reply.empty()) {
        setStatus("No RealTraffic version received?", true);
        professionalLevel = false;
        return;
    }
    const nlohmann::json parsed = nlohmann::json::parse(reply);
    const std::string version = versionOf(parsed);
    professionalLevel = isProfessional(parsed);
    const std::string edition = fmt::format("RT{} edition: {}, archive: week {}", professionalLevel ? " prof" : " stnd",
                                            version, archiveWeek.load());
    mainWindowGlobals.editTexts([&edition](DisplayTexts& texts) { texts.editionText = edition; });
    windowDisplay().invalidate(headerBand);
}

bool jsonObjectComplete(std::string_view text)
{
    const auto start = text.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos)
        return false;
    if (text[start] != '{')
        return true;
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text.substr(start)) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if ((c == '}' || c == ']') && --depth == 0) {
            return true;
        }
    }
    return false;
}

std::string receiveVersionReply(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string reply;
    while (!jsonObjectComplete(reply)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left <= 0ms || exitBegan())
            break;
        if (!clientReadable(std::min<std::chrono::milliseconds>(left, 100ms)))
            continue;
        const std::string part = receive();
        if (part.empty())
            break;
        reply += part;
    }
    return reply;
}

} // namespace rtd
