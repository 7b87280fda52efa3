#include "traffic/simulator_link/sim_client.hpp"

#include "airports/parking/stand_services.hpp"
#include "core/display.hpp"
#include "core/exceptions.hpp"
#include "core/exit.hpp"
#include "core/log.hpp"
#include "liveries/dbase.hpp"
#include "liveries/lookup_tables.hpp"
#include "traffic/simulator_link/sim_client_internal.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

namespace rtd {

namespace {

using namespace std::chrono_literals;
using namespace simlink;
using sim::ok;

constexpr std::size_t maxTitleBytes = 48;
constexpr double teleportNm = 10.0;

// The state the client thread writes and others read whole.
std::mutex userStateMutex;
UserAircraftState userState;      // under userStateMutex
std::string userTitleText;        // under userStateMutex
std::string userStandText;        // under userStateMutex

// Client thread only.
LatLon previousUserPosition{0.0, 0.0};

// At most `limit` bytes of the text, never cutting a UTF-8 character.
std::string cutAtCharacter(std::string text, std::size_t limit)
{
    if (text.size() <= limit)
        return text;
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0u) == 0x80u)
        --cut;
    text.resize(cut);
    return text;
}

void setUserTitleText(const std::string& text)
{
    mainWindowGlobals.editTexts([&text](DisplayTexts& texts) { texts.userTitleText = text; });
    repaintHeader();
}

} // namespace

void simlink::onUserState(const sim::RecvSimObjectData& message, std::uint32_t size)
{
    const std::byte* data = replyData(message, size, sizeof(UserAircraftState));
    if (data == nullptr)
        return;
    UserAircraftState state;
    std::memcpy(&state, data, sizeof(state));
    state.altitudeFt = std::max(state.altitudeFt, 0.0);
    {
        std::lock_guard lock(userStateMutex);
        userState = state;
    }
    const LatLon position = state.position();
    if (!inNullBox(previousUserPosition) && distanceNm(previousUserPosition, position) > teleportNm) {
        logLine("Teleport");
        startFinalExit(ExitReason::restart, teleportRestartSeconds);
    }
    previousUserPosition = position;

    const std::string stand = nearestStandName(position);
    std::string previousStand;
    {
        std::lock_guard lock(userStateMutex);
        previousStand = std::exchange(userStandText, stand);
    }
    if (stand != previousStand) {
        mainWindowGlobals.editTexts([&stand](DisplayTexts& texts) { texts.userStandText = stand; });
        repaintHeader();
    }
    simUtcSeconds = unixTimeOfZulu(state.zuluYear, state.zuluDayOfYear, state.zuluTime);
    userObjectId = message.objectId;
}

UserAircraftState userAircraftState()
{
    std::lock_guard lock(userStateMutex);
    return userState;
}

std::string userTitle()
{
    std::lock_guard lock(userStateMutex);
    return userTitleText;
}

std::string userStandName()
{
    std::lock_guard lock(userStateMutex);
    return userStandText;
}

std::int64_t unixTimeOfZulu(std::int64_t year, std::int64_t dayOfYear, std::int64_t secondsOfDay)
{
    using namespace std::chrono;
    const sys_days newYear = std::chrono::year(static_cast<int>(year)) / January / 1;
    return (newYear.time_since_epoch().count() + dayOfYear - 1) * 86400 + secondsOfDay;
}

void onUserTitle(std::string_view received)
{
    if (received.empty()) {
        logLine("! title of your ac is empty?");
        return;
    }
    const std::string title = cutAtCharacter(std::string(received), maxTitleBytes);
    {
        std::lock_guard lock(userStateMutex);
        if (title == userTitleText)
            return;
        userTitleText = title;
    }
    setUserTitleText(title);
    logLine("    SimConnect: User aircraft title: " + title);
}

namespace {

double wingspanOrMax(std::string_view model)
{
    const double span = wingspanOf(model);
    return span != 0.0 ? span : maxHalfWingspanNm();
}

void deriveUserModel(std::string model)
{
    const std::string title = userTitle();
    if (model.empty()) {
        setUserTitleText("Unknown (encrypted?) aircraft");
        setStatus("171: No model info from your user aircraft received in SimConnect, CRJ7 is taken instead", true);
        userHalfWingspanNm = wingspanOrMax("CRJ7");
        return;
    }
    if (const std::size_t p = model.find(".0.text"); p != std::string::npos) {
        if (p < 4)
            throw std::out_of_range("fewer than 4 characters before .0.text");
        for (const std::size_t length : {4u, 3u, 2u}) {
            const std::string candidate = model.substr(p - length, length);
            if (wingspanOf(candidate) != 0.0) {
                model = candidate;
                break;
            }
        }
    } else if (model == "737") {
        static constexpr std::array<std::pair<const char*, const char*>, 4> variants{
            {{"DG 737-800", "B738"}, {"DG 737-700", "B737"}, {"DG 737-600", "B736"}, {"DG 737-900", "B739"}}};
        for (const auto& [needle, code] : variants) {
            if (title.find(needle) != std::string::npos) {
                model = code;
                break;
            }
        }
    }
    std::string line = "    SimConnect: User aircraft model: " + model;
    if (model.find("camerapod") != std::string::npos || model.find("Crew Vessel") != std::string::npos) {
        setMark(mainWindowGlobals.userWingspanKnown, true);
        userHalfWingspanNm = wingspanOf("E190");
        userCategory = 0;
        return;
    }
    const double maxSpan = maxHalfWingspanNm();
    double span = model.size() <= 4 ? wingspanOf(model) : maxSpan;
    bool known = span != maxSpan;
    if (span == maxSpan) {
        for (const char* airbus : {"A319", "A320", "A321"}) {
            if (title.size() >= 13 && title.compare(0, 13, std::string("Aerosoft ") + airbus) == 0) {
                model = airbus;
                line = "    SimConnect: User aircraft model deduced from title: " + model;
                known = wingspanOf(model) != 0.0;
                span = wingspanOrMax(model);
                break;
            }
        }
    }
    userHalfWingspanNm = span;
    if (known) {
        setMark(mainWindowGlobals.userWingspanKnown, true);
        line += fmt::format(", half wing span: {:.1F} meter", span * 1852.0);
    } else {
        setMark(mainWindowGlobals.userWingspanKnown, false);
        setStatus("User aircraft wing span unknown, max is taken instead, please report in my Forum!", true);
    }
    userCategory = sizeCategory(model);
    line += fmt::format(", category: {}", categoryName(static_cast<AircraftCategory>(userCategory.load())));
    logLine(line);
}

} // namespace

void onUserModel(std::string_view model)
{
    try {
        deriveUserModel(std::string(model));
    } catch (const UserErrorException&) {
        throw;
    } catch (...) {
        throw UserErrorException(73, "It looks like you have not selected an aircraft as user vehicle");
    }
}

// ---- requests ----

UserAircraftState requestUserAircraftPosition()
{
    if (!simConnectFailed) {
        std::lock_guard lock(simConnectMutex);
        if (simConnectHandle != nullptr &&
            sim::SimConnect_RequestDataOnSimObject(simConnectHandle, userStateRequest, defineUserState, sim::userObject,
                                              sim::periodOnce) != ok) {
            logArrow("SimConnect request user ac position fails");
            countSimConnectRequestError();
        }
    }
    return userAircraftState();
}

void requestUserAircraftTitleAndModel()
{
    std::lock_guard lock(simConnectMutex);
    if (simConnectHandle == nullptr)
        return;
    if (sim::SimConnect_RequestDataOnSimObject(simConnectHandle, userTitleRequest, defineUserTitle, sim::userObject,
                                          sim::periodOnce) != ok) {
        logArrow("SimConnect request user ac title fails");
        countSimConnectRequestError();
    }
    if (sim::SimConnect_RequestDataOnSimObject(simConnectHandle, userModelRequest, defineUserModel, sim::userObject,
                                          sim::periodOnce) != ok) {
        logArrow("SimConnect reques user ac model fails");
        countSimConnectRequestError();
    }
}

bool requestUserOnGround()
{
    while (!simRunning) {
        std::this_thread::sleep_for(100ms);
        if (exitBegan())
            return false;
    }
    {
        std::lock_guard lock(simConnectMutex);
        if (simConnectHandle == nullptr ||
            sim::SimConnect_RequestDataOnSimObject(simConnectHandle, userOnGroundRequest, defineUserOnGround,
                                              sim::userObject, sim::periodSecond) != ok) {
            logArrow("SimConnect request ac gnd/air fails");
            countSimConnectRequestError();
        }
    }
    while (!userOnGroundKnown || inNullBox(userStateCache.position())) {
        userStateCache = requestUserAircraftPosition();
        std::this_thread::sleep_for(500ms);
        if (exitBegan())
            return false;
    }
    requestUserAircraftTitleAndModel();
    while (inNullBox(userStateCache.position())) {
        userStateCache = requestUserAircraftPosition();
        std::this_thread::sleep_for(200ms);
        if (exitBegan())
            return false;
    }
    return !exitBegan();
}

void clearUserAircraft()
{
    {
        std::lock_guard lock(userStateMutex);
        userState = {};
        userTitleText.clear();
        userStandText.clear();
    }
    userStateCache = {};
    previousUserPosition = {0.0, 0.0};
    userHalfWingspanNm = 0.0;
    userOnGroundKnown = false;
    userOnGround = true;
}

void rememberUserStand()
{
    const UserAircraftState state = userAircraftState();
    if (!userOnGroundKnown || state.groundSpeedKt > 2.0)
        return;
    const std::string stand = nearestStandName(state.position());
    if (!stand.empty())
        rememberParkAirportStand(stand);
}

} // namespace rtd
