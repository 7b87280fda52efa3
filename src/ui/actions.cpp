// What the main window's controls do: clicks on check boxes and buttons, Enter in the edit
// boxes, and the automatic traffic range.

#include "ui/main_window.hpp"

#include "core/log.hpp"
#include "core/paths.hpp"
#include "core/text.hpp"
#include "core/parameters.hpp"
#include "core/requests.hpp"
#include "core/settings_file.hpp"
#include "core/version.hpp"
#include "platform/platform.hpp"
#include "ui/window_position.hpp"

#include <fmt/format.h>
#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <string_view>
#include <system_error>

namespace rtd::ui {

namespace {

constexpr std::int32_t metresPerNm = 1852;

// Every check box, in the order of the controls.
GuiBoolParameter* const checkBoxes[] = {
    &SCAN_LIVERIES,       &LIG_AUTOMATIC,      &LIG_PRIORITIZE,     &SUPPRESS_STUB,
    &LOG,                 &ALWAYS_ON_TOP,      &SCAN_AIRPORTS,      &AFG_AUTOMATIC,
    &NAV_LIGHTS_WHILE_PARKED, &LEARN_SOFT,     &LIGHT_AIRCRAFT,     &HELICOPTERS,
    &HIGH_PERF_AIRCRAFT,  &AEROWINX,           &GUID_CHANGES,       &AUTO_RANGE,
    &COLLISION_USER_GND,  &COLLISION_USER_AIR, &COLLISION_LIVE_PARKED_GND, &PARK_FAKE,
    &WEEK,                &PARK_SOFT,          &INITIAL_LOAD_ONLY,
};

GuiIntParameter* const intEdits[] = {&LATERAL_RANGE, &MATCHING_DEPTH, &parking_percentage,
                                     &AIRPORT_RANGE, &AIRPORT_HEIGHT, &MAX_LIVE};

// Advice shown when a check box is switched on or off; empty: the status line is cleared;
// keepStatus: the status line is left as it is.
constexpr std::string_view keepStatus = "\x01";

struct Advice {
    const GuiBoolParameter* setting;
    std::string_view on;
    std::string_view off;
};

const Advice advices[] = {
    {&SCAN_LIVERIES,
     "Your liveries will be scanned at the next start of {}, recommended after you have add/removed AI "
     "aircraft models/liveries",
     ""},
    {&LIG_AUTOMATIC, "", "The liveries defined by your lfolder parameters will be scanned"},
    {&LIG_PRIORITIZE, "Liveries in lower lfolders that are already available will be skipped", ""},
    {&SUPPRESS_STUB, "Exclude FSLTL-liveries titles ending with _STUB from scan", ""},
    {&ALWAYS_ON_TOP, "{}'s window will remain visible", ""},
    {&SCAN_AIRPORTS,
     "Your airports will be scanned at the next start of {}, recommended after you have add/removed airports",
     ""},
    {&AFG_AUTOMATIC, "", "The airports defined by your afolder parameters will be scanned"},
    {&AEROWINX, "Note: This mode is for Aerowinx PSX users only, please re-start {}", ""},
    {&GUID_CHANGES, "", "Be aware, no more livery updates: you miss correct data for Learn, LittleNavMap, etc.."},
    {&AUTO_RANGE, keepStatus, ""},
    {&COLLISION_USER_GND, "", "Be aware, no collision avoidance with user aircraft on the ground"},
    {&COLLISION_USER_AIR, "", "Be aware, no collision avoidance with user aircraft in the air"},
    {&COLLISION_LIVE_PARKED_GND, "", "Be aware, no collision avoidance with live aircraft vs parked static on the ground"},
    {&INITIAL_LOAD_ONLY, "Initial Load Only: static parked aircraft are generated once, no renewal every 20 minutes",
     ""},
};

void upperCaseAscii(std::string& text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
}

void status(const std::string& text)
{
    setStatus(text, true);
}

} // namespace

// ---- clicks --------------------------------------------------------------------------------

bool MainWindow::onCommand(std::uintptr_t wParam)
{
    const auto id = static_cast<std::uint16_t>(wParam & 0xFFFF);
    bool handled = false;
    for (GuiBoolParameter* setting : checkBoxes)
        if (setting->controlId() == id) {
            onCheckBox(*setting);
            handled = true;
        }
    for (const GuiButton* button : {&checkVersionButton, &unblockButton, &reReadButton, &flushStaticButton})
        if (button->controlId() == id) {
            onButton(id);
            handled = true;
        }
    host_.invalidate(controlsBand);
    return !handled;
}

void MainWindow::onCheckBox(GuiBoolParameter& setting)
{
    const bool on = !host_.isChecked(setting.controlId());
    host_.setChecked(setting.controlId(), on);
    setting.set(on);
    saveBoolParameter(setting);
    afterCheckBox(setting, on);
}

void MainWindow::afterCheckBox(const GuiBoolParameter& setting, bool on)
{
    for (const Advice& advice : advices)
        if (advice.setting == &setting) {
            const std::string_view text = on ? advice.on : advice.off;
            if (text == keepStatus)
                continue;
            if (text.empty())
                clearStatus();
            else
                status(fmt::format(fmt::runtime(text), productName));
        }

    if (&setting == &ALWAYS_ON_TOP) {
        host_.setTopMost(on);
    } else if (&setting == &NAV_LIGHTS_WHILE_PARKED) {
        services_.setParkedNavLights(on);
    } else if (&setting == &LEARN_SOFT || &setting == &INITIAL_LOAD_ONLY) {
        if (services_.parkAirportActive())
            parkParamsChanged = true;
    } else if (&setting == &AUTO_RANGE) {
        switchAutoRange(on);
        parkParamsChanged = true;
    } else if (&setting == &PARK_FAKE || &setting == &WEEK || &setting == &PARK_SOFT) {
        announceDelayedEffect();
    }
}

void MainWindow::switchAutoRange(bool on)
{
    if (on) {
        savedLateralRange_ = LATERAL_RANGE.value();
        showRange();
        host_.enable(LATERAL_RANGE.controlId(), false);
        return;
    }
    host_.enable(LATERAL_RANGE.controlId(), true);
    // Started with the automatic range on, the range the user chose is only in the file.
    if (savedLateralRange_ == 0)
        savedLateralRange_ = storedLateralRange();
    setLateralRange(savedLateralRange_);
    showIntInEdit(LATERAL_RANGE);
}

std::int32_t MainWindow::savedLateralRange()
{
    return savedLateralRange_ != 0 ? savedLateralRange_ : storedLateralRange();
}

void MainWindow::setSavedLateralRange(std::int32_t nm)
{
    savedLateralRange_ = nm;
}

void MainWindow::onButton(std::uint16_t id)
{
    if (id == checkVersionButton.controlId()) {
        host_.enable(id, false);
        startVersionCheck(); // the answer comes through showVersionNews
    } else if (id == unblockButton.controlId()) {
        if (!BLOCK_CALLSIGN.value().empty())
            unblockCallsign();
        else
            status("Nothing to block or unblock...");
    } else if (id == reReadButton.controlId()) {
        reReadRequested.exchange(true);
        host_.enable(id, false);
    } else if (id == flushStaticButton.controlId()) {
        status("All static parked aircraft will be removed ...");
        flushStaticRequest.exchange(true);
        host_.enable(id, false);
    }
}

void MainWindow::showVersionNews(const std::string& news)
{
    if (!news.empty()) {
        DATA_CHECKED_AT_DATE.set("");
        saveStringParameter(DATA_CHECKED_AT_DATE);
        status(fmt::format("{}  ( exit {} and restart )", news, productName));
    } else {
        status(fmt::format("{} is up to date", productName));
    }
}

// ---- Enter in an edit box ---------------------------------------------------------------------

void MainWindow::onEditEnter(std::uint16_t id)
{
    clearStatus();
    if (id == BLOCK_CALLSIGN.controlId())
        blockCallsign();
    else if (id == CALLSIGN_2_OBJECTID.controlId())
        applyCallsignToObjectId();
    else if (id == MSFS_INSTALL_PATH.controlId())
        applyCommunityPathEdit();
    else if (id == MAX_FIT_FL.controlId()) {
        if (services_.parkAirportActive() && procesTbFloat(MAX_FIT_FL))
            announceDelayedEffect();
    } else {
        for (GuiIntParameter* setting : intEdits)
            if (setting->controlId() == id)
                onIntEnter(*setting);
    }
}

void MainWindow::onIntEnter(GuiIntParameter& setting)
{
    const std::int32_t before = setting.value();
    if (!procesTbInt(setting))
        return;
    if (&setting == &parking_percentage) {
        announceDelayedEffect();
    } else if (&setting == &LATERAL_RANGE) {
        parkParamsChanged = true;
        setLateralRange(LATERAL_RANGE.value());
    } else if (&setting == &MAX_LIVE) {
        if (services_.parkAirportActive())
            parkParamsChanged = true;
        else
            liveLimit = MAX_LIVE.value();
        services_.applyMaxLive();
    } else if (&setting == &MATCHING_DEPTH) {
        if (MATCHING_DEPTH.value() > before)
            matchingChangedRequest.exchange(true);
    }
}

bool MainWindow::procesTbInt(GuiIntParameter& setting)
{
    const std::optional<std::string> text = editText(setting.controlId());
    if (!text)
        return false;
    const bool stored = &setting != &parking_percentage; // the other one lives in the airport files
    bool changed = false;
    try {
        if (text->empty()) {
            setting.set(stored ? setting.defaultValue() : 0);
            changed = true;
        } else if (const int value = std::stoi(*text); value == setting.value()) {
            status(fmt::format("Same {} value {}, no changes made", setting.name, value));
        } else {
            setting.set(value);
            changed = true;
        }
    } catch (const std::invalid_argument&) {
        status(fmt::format("invalid input: {}", *text));
    } catch (const std::exception& e) {
        logArrow(fmt::format("procesTbInt exception {}, h={} ", e.what(), *text));
        return false;
    }
    if (changed) {
        if (stored)
            saveIntParameter(setting);
        rtd::setStatus(fmt::format("The new {} is {}", setting.name, setting.value()), false);
    }
    showIntInEdit(setting);
    if (&setting == &MAX_LIVE && MAX_LIVE.value() == MAX_LIVE.defaultValue())
        showEditText(MAX_LIVE.controlId()); // an empty box stands for the default
    return changed;
}

bool MainWindow::procesTbFloat(GuiFloatParameter& setting)
{
    const std::optional<std::string> text = editText(setting.controlId());
    if (!text)
        return false;
    try {
        if (text->empty()) {
            setting.set(setting.defaultValue());
            MAX_FIT.set(MAX_FIT.defaultValue());
        } else if (const float value = std::stof(*text); value == setting.value()) {
            status(fmt::format("Same {} value {}, no changes made", setting.name, value));
            showFloatInEdit(setting);
            return false;
        } else {
            setting.set(value);
            MAX_FIT.set(static_cast<std::int32_t>(std::lround(2.0f * setting.value())) - 1);
            setting.set(static_cast<float>(MAX_FIT.value()) * 0.5f + 0.5f); // whole half hours
        }
    } catch (const std::exception& e) {
        logLine(fmt::format("procesTbFloat exception {}, h={} ", e.what(), *text));
        return false;
    }
    saveIntParameter(MAX_FIT);
    rtd::setStatus(fmt::format("The new {} is {:.1F}", setting.name, setting.value()), false);
    showFloatInEdit(setting);
    return true;
}

void MainWindow::announceDelayedEffect()
{
    if (!services_.parkAirportActive())
        return;
    parkParamsChanged = true;
    if (INITIAL_LOAD_ONLY.value()) {
        clearStatus();
        return;
    }
    const std::int64_t seconds = 15 - services_.cycleTick() % 15;
    rtd::setStatus(fmt::format("{} will respond in {} second{} ...", productName, seconds, seconds == 1 ? "" : "s"),
                   false);
    staticRecalcRequest.exchange(true);
}

// ---- callsigns -------------------------------------------------------------------------------

void MainWindow::blockCallsign()
{
    clearStatus();
    std::optional<std::string> text = editText(BLOCK_CALLSIGN.controlId());
    if (!text)
        return;
    if (text->empty()) {
        unblockCallsign();
        return;
    }
    if (text->size() < 4 || text->size() > 8) {
        status(fmt::format("callsign \"{}\" is not valid", *text));
        showTextInEdit(BLOCK_CALLSIGN);
        return;
    }
    upperCaseAscii(*text);
    if (*text == BLOCK_CALLSIGN.value()) {
        status(fmt::format("This callsign ({}) was already set ...", *text));
        showTextInEdit(BLOCK_CALLSIGN);
        return;
    }
    BLOCK_CALLSIGN.set(*text);
    saveStringParameter(BLOCK_CALLSIGN);
    showTextInEdit(BLOCK_CALLSIGN);
    host_.enable(unblockButton.controlId(), true);
    status(fmt::format("live aircraft with callsign \"{}\" will be blocked", *text));
    blockCallsignRequest.exchange(true);
}

void MainWindow::unblockCallsign()
{
    const std::string old = BLOCK_CALLSIGN.value();
    if (old.empty())
        return;
    BLOCK_CALLSIGN.set("");
    saveStringParameter(BLOCK_CALLSIGN);
    showEditText(BLOCK_CALLSIGN.controlId());
    host_.enable(unblockButton.controlId(), false);
    status(fmt::format("no more blocking of live aircraft \"{}\"", old));
    blockCallsignRequest.exchange(true);
}

void MainWindow::applyCallsignToObjectId()
{
    std::optional<std::string> text = editText(CALLSIGN_2_OBJECTID.controlId());
    if (!text)
        return;
    if (text->empty()) {
        if (!CALLSIGN_2_OBJECTID.value().empty()) {
            CALLSIGN_2_OBJECTID.set("");
            showEditText(CALLSIGN_2_OBJECTID.controlId());
        }
        return;
    }
    upperCaseAscii(*text);
    CALLSIGN_2_OBJECTID.set(*text);
    showTextInEdit(CALLSIGN_2_OBJECTID);
    followCallsignRequest.exchange(true);
}

// ---- Community path --------------------------------------------------------------------------

void MainWindow::applyCommunityPathEdit()
{
    clearStatus();
    if (const std::optional<std::string> text = editText(MSFS_INSTALL_PATH.controlId()))
        lf_newSimPath(*text);
}

void MainWindow::lf_newSimPath(const std::string& path)
{
    clearErrorText();
    clearStatus();
    if (path.empty()) {
        if (!MSFS_INSTALL_PATH.value().empty()) {
            MSFS_INSTALL_PATH.set("");
            saveStringParameter(MSFS_INSTALL_PATH);
        }
        return;
    }
    std::error_code error;
    std::filesystem::path folder = platform::pathFromUtf8(path);
    if (!std::filesystem::is_directory(folder, error)) {
        status(fmt::format("This install path does not exist: {}", path));
        showTextInEdit(MSFS_INSTALL_PATH);
        return;
    }
    // The setting holds the folder that holds Community; the Community folder itself names it too.
    std::string accepted = path;
    if (!folder.has_filename())
        folder = folder.parent_path();
    const std::filesystem::path& community = paths().communityFolderName;
    if (!std::filesystem::exists(folder / community, error) &&
        equalsUpper("COMMUNITY", platform::pathToUtf8(folder.filename()))) {
        folder = folder.parent_path();
        accepted = platform::pathToUtf8(folder);
    }
    if (!std::filesystem::exists(folder / community, error)) {
        status("This path exists but is not a path to Community ...");
        showTextInEdit(MSFS_INSTALL_PATH);
        return;
    }
    MSFS_INSTALL_PATH.set(accepted);
    saveStringParameter(MSFS_INSTALL_PATH);
    status(fmt::format("Community path found, {} will restart ...", productName));
    services_.startFinalExit(ExitReason::restartIpp, 3);
}

// ---- automatic range -------------------------------------------------------------------------

void MainWindow::showRange()
{
    std::int32_t nm = 40;
    if (services_.userOnGround()) {
        nm = 8;
    } else if (services_.userAltitudeFt() <= AIRPORT_HEIGHT.value()) {
        double distance = 10000;
        if (const std::optional<LatLon> airport = services_.nearestParkAirport())
            distance = distanceNm(services_.userPosition(), *airport);
        if (distance <= 5)
            nm = 8;
        else if (distance < 37)
            nm = static_cast<std::int32_t>(std::lround(distance)) + 3;
    }
    const std::int32_t before = LATERAL_RANGE.value();
    setLateralRange(nm);
    if (LATERAL_RANGE.value() != before)
        showIntInEdit(LATERAL_RANGE);
}

} // namespace rtd::ui
