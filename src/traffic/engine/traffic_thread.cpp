#include "traffic/engine/traffic_thread.hpp"

#include "airports/services.hpp"
#include "core/display.hpp"
#include "core/exit.hpp"
#include "core/geo.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "core/requests.hpp"
#include "liveries/services.hpp"
#include "platform/platform.hpp"
#include "traffic/engine/ai_state.hpp"
#include "traffic/engine/live_creation.hpp"
#include "traffic/engine/live_merge.hpp"
#include "traffic/engine/live_rules.hpp"
#include "traffic/engine/parked_static.hpp"
#include "traffic/engine/traffic_clock.hpp"
#include "traffic/engine/user_collisions.hpp"
#include "traffic/link/service_link.hpp"
#include "traffic/simulator_link/ai_commands.hpp"
#include "traffic/simulator_link/ai_results.hpp"
#include "traffic/simulator_link/sim_client.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <filesystem>
#include <mutex>
#include <string>

namespace rtd {

std::atomic<bool> parkingBusy{false};
std::atomic<std::int32_t> cycleTick{0};
std::atomic<std::uint64_t> dayHalfHour{0};
std::int32_t notRunningCountdown = 100;
bool flightStoppedLogged = false;
std::atomic<bool> staticRecalcRunning{false};
std::vector<std::uint32_t> readyForCreation;
std::vector<std::string> heldCallsigns;
std::set<std::string, std::less<>> noMatchSet;
std::unordered_map<std::uint32_t, LiveryRef> liveryMatchCache;
std::atomic<bool> maxLiveRequest{false};
std::int64_t staleReportCount = 0;

namespace {

constexpr std::int32_t pollsPerSecond = 100;
constexpr std::int32_t secondsPerDay = 86400;
constexpr std::int64_t lateResyncTicks = 100 * ticksPerMs;
constexpr double radiansToDegrees = 57.29577951308232;
constexpr double farthestMarginNm = 0.1;
constexpr std::int64_t staleLogPolls = 60 * pollsPerSecond;
constexpr const char* callsignFileName = "Callsign2ObjectId.txt";

std::atomic<CycleStepTrace> stepTrace{nullptr};
std::atomic<bool> liveryCacheClearRequest{false};
std::int64_t lastStaleLogPoll = 0;

void traceStep(std::string_view step)
{
    if (const CycleStepTrace trace = stepTrace.load())
        trace(step);
}

void deleteCallsignFile()
{
    const std::filesystem::path file(callsignFileName);
    if (std::filesystem::exists(file)) // both throw std::filesystem::filesystem_error
        std::filesystem::remove(file);
}

void emptyPositionBuffers()
{
    std::lock_guard lock(simConnectMutex);
    positionQueue.buffers[0].clear();
    positionQueue.buffers[1].clear();
}

void stopTrafficWhileSimStopped()
{
    if (!flightStoppedLogged) {
        setFlightRunning(false);
        flightStoppedLogged = true;
        notRunningCountdown = pollsPerSecond;
        emptyPositionBuffers();
        logLine(fmt::format("{} Flight not running", currentUtcClock()));
    }
    processSimEvents();
    if (--notRunningCountdown > 0)
        return;
    handleReReadRequest();
    sendUserPosition();
    notRunningCountdown = pollsPerSecond;
    refreshLiveCounters();
    publishParkAirportState();
    dayHalfHour = currentDayAndHalfHour();
}

LiveAI* findLive(std::uint32_t hexid)
{
    const auto found = std::find_if(liveAIList.begin(), liveAIList.end(),
                                    [hexid](const LiveAI& ai) { return ai.id() == hexid; });
    return found != liveAIList.end() ? &*found : nullptr;
}

void checkCoupledFront()
{
    if (coupledCheckList.empty() || liveAIList.empty())
        return;
    if (LiveAI* ai = findLive(coupledCheckList.front())) {
        if (!ai->coupledSearched) {
            lf_searchForCoupledCsAroundThisTime(dayHalfHour, ai->flight, ai->flight.firstCallsign,
                                                ai->flight.spareText);
            ai->coupledSearched = true;
        }
        removeParkedWithSameHexid(*ai);
    }
    coupledCheckList.pop_front();
}

void flushStatic()
{
    removeOrRetryParked();
    if (!INITIAL_LOAD_ONLY.value())
        windowDisplay().setCheckState(INITIAL_LOAD_ONLY, true); // not saved to the settings
}

void avoidCollisions()
{
    if (userOnGround) {
        if (COLLISION_USER_GND.value())
            avoidCollisionUserGround();
    } else if (COLLISION_USER_AIR.value()) {
        for (LiveAI& ai : liveAIList)
            if (avoidCollisionUserAir(ai))
                break;
    }
    if (!COLLISION_LIVE_PARKED_GND.value() || parkedAIList.empty())
        return;
    for (LiveAI& ai : liveAIList) {
        const bool moving = ai.phase == Phase::groundMoving || ai.phase == Phase::taxiToStand;
        if (!ai.onGround || !moving || ai.simStatus != SimStatus::inSim || ai.takeOffRun ||
            (ai.lat == ai.checkedLat && ai.lon == ai.checkedLon))
            continue;
        ai.checkedLat = ai.lat;
        ai.checkedLon = ai.lon;
        for (ParkedAI& parked : parkedAIList)
            if (removeForCollisionAvoidance(ai, parked))
                break;
    }
}

void blockCallsign()
{
    const std::string blocked = BLOCK_CALLSIGN.value();
    if (blocked.empty())
        return;
    for (LiveAI& ai : liveAIList)
        if (ai.flight.callsign == blocked && ai.simStatus == SimStatus::inSim) {
            markAIRemoved(ai);
            return;
        }
}

void startStaticRecalculation()
{
    staticRecalcRunning = true;
    lockParkingControls();
    trafficReader.clearLiveCallsignsSeen();
    trafficReader.staticCalculation = true;
    for (LiveAI& ai : liveAIList)
        ai.recalcMark = false;
}

void finishStaticRecalculation()
{
    staticRecalcRunning = false;
    clearErrorText();
    clearStatus();
    if (parkAirportActive && !parkAirport.stands.empty())
        adjustParking();
    staticRecalcRequest = false;
}

void everyThirtiethSecond()
{
    traceStep("30");
    if (matchingChangedRequest) {
        if (!noMatchSet.empty()) {
            logNoMatches();
            logLine(fmt::format("{} No-matches cleared because of matching parameter change\n", noMatchSet.size()));
            noMatchSet.clear();
        }
        matchingChangedRequest = false;
    }
    if (AUTO_RANGE.value())
        windowDisplay().showRange();
    if (readerFailed) {
        showError("1001: RT error");
        startFinalExit(ExitReason::systemError, 0);
    }
    flushLog();
    if (cycleTick % 60 != 0)
        return;
    traceStep("60");
    mainWindowGlobals.renewalMinutes = 20 - (cycleTick / 60) % 20;
    windowDisplay().invalidate(countersBand);
    if (cycleTick % 1200 == 0) {
        traceStep("1200");
        logNoMatches();
        if (parkAirportActive && !INITIAL_LOAD_ONLY.value() && !staticRecalcRequest)
            staticRecalcRequest = true;
    }
    if (cycleTick % secondsPerDay == 0) {
        traceStep("86400");
        cycleTick = 0;
        logMatchingSummary();
        liveryMatchCache.clear();
    }
}

void everyFifthSecond()
{
    traceStep("5");
    trafficReader.setUserPosition(userStateCache.position());
    if (professionalLevel)
        sendQs123(simUtcSeconds);
    if (!reservedStandName.empty())
        removeParkedAtStand();
    handleReReadRequest();
    if (cycleTick % 15 != 0)
        return;
    traceStep("15");
    if (staticRecalcRequest) {
        if (!staticRecalcRunning)
            startStaticRecalculation();
        else
            finishStaticRecalculation();
    }
    if (mainWindowGlobals.trafficReaderState == 2 || mainWindowGlobals.weatherReaderState == 2)
        feedStatusTick();
    if (cycleTick % 30 == 0)
        everyThirtiethSecond();
}

void runSecondDuties()
{
    if (flightStoppedLogged) {
        flightStoppedLogged = false;
        logLine(fmt::format("{} Flight resumed", currentUtcClock()));
        setFlightRunning(true);
    }
    advanceStatusCycle();
    refreshLiveCounters();
    publishParkAirportState();
    dayHalfHour = currentDayAndHalfHour();
    ++cycleTick;
    checkCoupledFront();
    if (followCallsignRequest) {
        followCallsign();
        followCallsignRequest = false;
    }
    if (flushStaticRequest) {
        flushStatic();
        flushStaticRequest = false;
    }
    avoidCollisions();
    if (blockCallsignRequest) {
        blockCallsign();
        blockCallsignRequest = false;
    }
    if (maxLiveRequest.exchange(false))
        applyMaxLive();
    if (liveryCacheClearRequest.exchange(false))
        liveryMatchCache.clear();
    applyNavLightsRequest();
    if (cycleTick % 5 == 0)
        everyFifthSecond();
    if (cycleTick % 16 == 0 && !staticRecalcRunning) {
        traceStep("16");
        onUserPositionChange(false);
    }
    if (cycleTick % 59 == 0) {
        traceStep("59");
        feedStatusTick();
    }
    if (cycleTick % 61 == 0 && !parkedAIList.empty()) {
        traceStep("61");
        removeParkedTwinsOfLive();
    }
}

// Reports that waited too long behind a burst are dropped: merging them would only make
// aircraft that the next report moves on at once.
bool staleReport(const TrafficReport& report, std::int64_t poll)
{
    if (poll - (report.update.duePoll - replayDelayPolls) <= staleReportPolls)
        return false;
    ++staleReportCount;
    return true;
}

void logStaleReports(std::int64_t poll)
{
    if (staleReportCount == 0 || poll - lastStaleLogPoll < staleLogPolls)
        return;
    logLine(fmt::format("{} {} reports dropped after waiting more than 10 s", currentUtcClock(), staleReportCount));
    staleReportCount = 0;
    lastStaleLogPoll = poll;
}

void mergeQueuedReports(std::int64_t poll)
{
    std::lock_guard lock(trafficMutex);
    for (int taken = 0; taken < 2 && !trafficReportQueue.empty();) {
        const TrafficReport report = std::move(trafficReportQueue.front());
        trafficReportQueue.pop_front();
        if (staleReport(report, poll))
            continue;
        mergeTrafficRecord(report);
        ++taken;
    }
}

void buildCreationRequest()
{
    if (readyForCreation.empty())
        return;
    const std::uint32_t hexid = readyForCreation.back();
    readyForCreation.pop_back();
    LiveAI* ai = findLive(hexid);
    if (ai == nullptr || ai->erase)
        return;
    if (ai->simStatus == SimStatus::removed || ai->removeWhenCreated) {
        ai->erase = true; // marked to leave before its creation was asked for: none is
        return;
    }
    CreationRequest request;
    request.position = {ai->lat, ai->lon, ai->altitude, ai->pitch * radiansToDegrees, ai->bank * radiansToDegrees,
                        ai->heading * radiansToDegrees, 0, 0};
    request.callsign = ai->flight.callsign;
    request.title = ai->flight.liveryTitle;
    request.aircraftId = hexid;
    liveCreationBacklog.push_back(std::move(request));
}

} // namespace

void setCycleStepTrace(CycleStepTrace trace)
{
    stepTrace = trace;
}

void mainLoop(std::stop_token stop)
{
    const block_pool::ThreadScope pooledQueues; // the aircraft's update queues recycle their blocks
    const CountedThread counted;
    try {
        feedStatusTick();
        flushLog();
        cycleTick = 0;
        TrafficClock& clock = trafficClock();
        std::int64_t deadline = clock.now() + pollPeriodTicks;
        dayHalfHour = currentDayAndHalfHour();
        setFlightRunning(true);
        windowDisplay().enableControl(CALLSIGN_2_OBJECTID.controlId(), true);
        platform::raiseTimerResolution();
        while (!stop.stop_requested()) {
            // After a long stall (a blocking reconnect) the missed polls are not caught up.
            if (clock.now() - deadline > lateResyncTicks)
                deadline = clock.now();
            trafficCycle();
            if (deadline - clock.now() >= ticksPerMs)
                clock.sleepUntil(deadline);
            if (simSecondTick)
                deadline = clock.now() + pollPeriodTicks;
            else
                deadline += pollPeriodTicks;
        }
        platform::restoreTimerResolution();
    } catch (...) {
        reportFatal("mainLoop");
    }
}

void trafficCycle()
{
    if (!simRunning) {
        stopTrafficWhileSimStopped();
        return;
    }
    pollTraffic();
    bool second = true;
    if (!simSecondTick.compare_exchange_strong(second, false))
        return;
    runSecondDuties();
}

void pollTraffic()
{
    processSimEvents();
    advanceAllLiveAI();
    const std::int64_t poll = pollCounter;
    if (poll % 10 == 0) {
        if (!removalBacklog.empty()) {
            queueRemoval(removalBacklog.front());
            removalBacklog.pop_front();
        }
        if (poll % 50 == 0) {
            if (!liveCreationBacklog.empty()) {
                queueAICreation(liveCreationBacklog.front());
                liveCreationBacklog.pop_front();
            } else {
                if (!parkedCreationBacklog.empty()) {
                    queueAICreation(parkedCreationBacklog.front());
                    parkedCreationBacklog.pop_front();
                }
                if (staticFitPending())
                    placeStaticParked();
            }
        }
    }
    mergeQueuedReports(poll);
    logStaleReports(poll);
    buildCreationRequest();
    if (poll % 20 == 0)
        requestAircraftInRange(static_cast<std::uint32_t>(lateralRangeMetres.load()));
    if (poll % 100 == 0) {
        sendUserPosition();
        userStateCache = requestUserAircraftPosition();
    }
    ++pollCounter;
}

void handleReReadRequest()
{
    if (!reReadRequested || parkingBusy)
        return;
    std::string text;
    if (checkReservedStand(1, text))
        setStatus(text, true);
    windowDisplay().enableControl(reReadButton.controlId(), true);
    reReadRequested = false;
}

void followCallsign()
{
    const std::string callsign = CALLSIGN_2_OBJECTID.value();
    const auto found = std::find_if(liveAIList.begin(), liveAIList.end(), [&callsign](const LiveAI& ai) {
        return ai.flight.callsign == callsign && ai.simStatus == SimStatus::inSim;
    });
    if (found != liveAIList.end()) {
        followedObjectId = found->objectId;
        mainWindowGlobals.editTexts([id = found->objectId](DisplayTexts& t) { t.oidText = fmt::format("= {}", id); });
        windowDisplay().invalidate(countersBand);
        return;
    }
    mainWindowGlobals.editTexts([](DisplayTexts& t) { t.oidText.clear(); });
    windowDisplay().invalidate(countersBand);
    setStatus(fmt::format("callsign \"{}\" is unknown", callsign), true);
}

void logNoMatches()
{
    if (noMatchSet.empty() || !logIsOpen())
        return;
    logLine("\nNo match found for: ");
    for (const std::string& entry : noMatchSet)
        logLine(entry);
    logLine("");
}

bool removeFarthestLive(double distanceNm)
{
    double farthest = distanceNm;
    std::uint32_t candidate = 0;
    bool found = false;
    const LatLon user = userStateCache.position();
    for (const LiveAI& ai : liveAIList) {
        if (ai.simStatus != SimStatus::inSim)
            continue;
        const double distance = rtd::distanceNm(user, {ai.lat, ai.lon});
        if (distance > farthest + farthestMarginNm) {
            farthest = distance;
            candidate = ai.id();
            found = true;
        }
    }
    if (!found)
        return true;
    if (LiveAI* ai = findLive(candidate))
        markAIRemoved(*ai);
    return false;
}

void applyMaxLive()
{
    if (MAX_LIVE.value() == MAX_LIVE.defaultValue()) {
        windowDisplay().showEditText(MAX_LIVE.controlId());
        return;
    }
    const auto inSim = std::count_if(liveAIList.begin(), liveAIList.end(),
                                     [](const LiveAI& ai) { return ai.simStatus == SimStatus::inSim; });
    for (auto excess = inSim - MAX_LIVE.value(); excess > 0; --excess)
        removeFarthestLive(-1.0);
}

void removeParkedTwinsOfLive()
{
    for (const LiveAI& live : liveAIList) {
        if (!live.onGround || live.simStatus != SimStatus::inSim)
            continue;
        const std::string twin = live.flight.callsign + "*";
        for (ParkedAI& parked : parkedAIList) {
            if (parked.simStatus != SimStatus::inSim)
                continue;
            if (parked.flight.callsign == twin ||
                (!live.flight.registration.empty() && parked.flight.registration == live.flight.registration)) {
                markAIRemoved(parked);
                break;
            }
        }
    }
}

void refreshLiveCounters()
{
    std::int32_t liveNotParked = 0;
    std::int32_t parkedLive = 0;
    for (const LiveAI& ai : liveAIList) {
        if (ai.simStatus != SimStatus::inSim)
            continue;
        ++(ai.phase == Phase::atStand ? parkedLive : liveNotParked);
    }
    const auto parkedStatic = static_cast<std::int32_t>(std::count_if(
        parkedAIList.begin(), parkedAIList.end(), [](const ParkedAI& p) { return p.simStatus == SimStatus::inSim; }));
    countLiveAIAtStands();
    MainWindowGlobals& g = mainWindowGlobals;
    if (g.liveFigure.exchange(liveNotParked) != liveNotParked)
        windowDisplay().invalidate(headerBand);
    if (g.parkedLiveFigure.exchange(parkedLive) != parkedLive ||
        g.parkedStaticFigure.exchange(parkedStatic) != parkedStatic)
        windowDisplay().invalidate(countersBand);
}

void withdrawLiveAircraft()
{
    for (LiveAI& ai : liveAIList) {
        if (ai.erase)
            continue;
        if (ai.simStatus == SimStatus::inSim)
            markAIRemoved(ai);
        else if (ai.simStatus == SimStatus::requested && !dropQueuedCreationsByCallsign2(ai.flight.callsign))
            ai.removeWhenCreated = true;
    }
    // The traffic thread now waits for the service to return, so the removals cannot wait for
    // their paced turns: the simulator thread sends them all.
    for (const std::uint32_t objectId : removalBacklog)
        queueRemoval(objectId);
    removalBacklog.clear();
}

void initTrafficContainers()
{
    reserveAIContainers();
    readyForCreation.reserve(64);
    heldCallsigns.reserve(64);
    parkAirport.stands.reserve(512);
    fitList.reserve(256);
    deleteCallsignFile();
}

void resetTrafficState()
{
    parkAirport.icao.clear();
    parkAirport.name.clear();
    parkAirport.position = {};
    parkAirport.elevationFt = 0.0;
    trafficReader.setParkElevation(std::nullopt);
    mainWindowGlobals.liveFigure = 0;
    mainWindowGlobals.parkedLiveFigure = 0;
    mainWindowGlobals.parkedStaticFigure = 0;
    windowDisplay().invalidate(headerBand);
    windowDisplay().invalidate(countersBand);
    clearAIContainers();
    heldCallsigns.clear();
    liveryMatchCache.clear();
    readyForCreation.clear();
    trafficReportQueue.clear();
    deleteCallsignFile();
    parkingBusy = false;
    parkAirport.stands.clear();
    publishStandSnapshot(); // the simulator link's nearest stand forgets them too
    fitList.clear();
    parkAirport.learnedUpdateCount = 0;
    publishParkAirportState();
    noMatchSet.clear();
    staleReportCount = 0;
    cycleTick = 0;
    flightStoppedLogged = false;
    staticRecalcRunning = false;
    resetUserCollisionState();
}

void clearLiveryMatchCache()
{
    liveryCacheClearRequest = true; // the traffic thread owns the cache
}

void clearCallsignTexts() {}

} // namespace rtd
