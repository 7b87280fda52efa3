#include "app/startup.hpp"

#include "airports/services.hpp"
#include "app/run_phase.hpp"
#include "core/display.hpp"
#include "core/exceptions.hpp"
#include "core/exit.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/packages.hpp"
#include "core/parameters.hpp"
#include "core/paths.hpp"
#include "core/requests.hpp"
#include "core/settings_file.hpp"
#include "core/updater.hpp"
#include "core/version.hpp"
#include "core/workers.hpp"
#include "liveries/dbase.hpp"
#include "liveries/fixes.hpp"
#include "liveries/scan.hpp"
#include "platform/platform.hpp"

#include <fmt/format.h>
#include <array>
#include <thread>

namespace rtd {

std::atomic<std::int32_t> archiveWeek{0};
std::atomic<DaySlot> currentDaySlot{0};
std::atomic<bool> dbaseLoaded{false};

namespace fs = std::filesystem;

namespace {

constexpr int roamingAppData = 26; // CSIDL_APPDATA
constexpr std::int32_t sinceLastRunLimitMinutes = 524160; // 364 days

const std::array<StringParameter*, 10> liveryFolders{&lfolder0, &lfolder1, &lfolder2, &lfolder3, &lfolder4,
                                                     &lfolder5, &lfolder6, &lfolder7, &lfolder8, &lfolder9};
const std::array<StringParameter*, 10> airportFolders{&afolder0, &afolder1, &afolder2, &afolder3, &afolder4,
                                                      &afolder5, &afolder6, &afolder7, &afolder8, &afolder9};

const char* plural(std::int32_t count)
{
    return count == 1 ? "" : "s";
}

// An option the start-up changes: the new value saved, its check box and the window updated.
void switchOption(GuiBoolParameter& option, bool on)
{
    windowDisplay().setCheckState(option, on);
    saveBoolParameter(option);
    windowDisplay().invalidate(controlsBand);
}

void enableControls(std::initializer_list<const GuiControl*> controls, bool enabled)
{
    for (const GuiControl* control : controls)
        windowDisplay().enableControl(control->controlId(), enabled);
}

void checkProgramFolder()
{
    if (!fs::is_directory(fs::status(paths().docsFolder)))
        throw UserErrorException(41, fmt::format("{} must be run from the {} folder!", productName, productName));
}

void logTimeSinceLastRun()
{
    const auto now = static_cast<std::int32_t>(wallClockSeconds());
    if (const std::optional<std::string> text = sinceLastRunText(now, LAST_EPOCH_TIME.value()))
        logLine(*text);
}

void offerFirstControls()
{
    enableControls({&AUTO_RANGE, &COLLISION_USER_AIR, &COLLISION_LIVE_PARKED_GND, &GUID_CHANGES, &BLOCK_CALLSIGN,
                    &MAX_LIVE, &checkVersionButton},
                   true);
    enableControls({&LATERAL_RANGE, &LEARN_SOFT, &CALLSIGN_2_OBJECTID}, false);
    windowDisplay().enableControl(unblockButton.controlId(), !BLOCK_CALLSIGN.value().empty());
}

void offerSecondControls()
{
    enableControls({&LIG_PRIORITIZE, &SCAN_LIVERIES, &LIG_AUTOMATIC, &SCAN_AIRPORTS, &AFG_AUTOMATIC, &LIGHT_AIRCRAFT,
                    &HELICOPTERS, &HIGH_PERF_AIRCRAFT, &AIRPORT_RANGE, &AIRPORT_HEIGHT, &INITIAL_LOAD_ONLY, &PARK_SOFT,
                    &PARK_FAKE, &WEEK, &MAX_FIT_FL, &NAV_LIGHTS_WHILE_PARKED, &MATCHING_DEPTH, &COLLISION_USER_GND},
                   true);
    airportLateralRange = LATERAL_RANGE.value();
    MAX_FIT_FL.set(static_cast<float>(MAX_FIT.value()) * 0.5f + 0.5f);
    windowDisplay().showFloatInEdit(MAX_FIT_FL);
    enableControls({&LATERAL_RANGE}, true);
    enableControls({&parking_percentage, &flushStaticButton}, false);
}

void updateArchiveAndOfferScan()
{
    if (updateArchive())
        switchOption(SCAN_AIRPORTS, true);
}

void dailyCheck()
{
    const std::string stamp = todayStamp();
    const bool newDay = stamp != DATA_CHECKED_AT_DATE.value();
    const fs::path dbasePath = paths().inputFolder / paths().dbaseFileName;
    if (newDay || !fs::exists(dbasePath))
        updateDbase();
    if (exitBegan())
        return; // an exit ended the download; the start-up ends too
    if (!dbaseLoaded) {
        readDbase();
        readFixes();
        dbaseLoaded = true;
    }
    if (!newDay) {
        if (!fs::is_directory(paths().inputFolder / paths().regcodesAigFolderName) ||
            !fs::exists(paths().aigRegcodesPath))
            updateAigRegcodes();
        if (archiveFolderMissing())
            updateArchiveAndOfferScan();
        return;
    }
    updateProgram(platform::pathFromUtf8(PROGRAM_INSTALL_PATH.value()));
    updateAigRegcodes();
    updateArchiveAndOfferScan();
    if (exitBegan())
        return; // not checked whole: the next start checks again
    DATA_CHECKED_AT_DATE.set(stamp);
    saveStringParameter(DATA_CHECKED_AT_DATE);
    windowDisplay().enableControl(checkVersionButton.controlId(), false);
}

void findCommunityFolder()
{
    windowDisplay().enableControl(MSFS_INSTALL_PATH.controlId(), true);
    if (!MSFS_INSTALL_PATH.value().empty())
        return;
    const fs::path found = findPackagesPath();
    if (found.empty())
        throw UserErrorException(
            150, "No Community folder detected, type full path to Community above, and press Enter");
    MSFS_INSTALL_PATH.set(platform::pathToUtf8(found));
    saveStringParameter(MSFS_INSTALL_PATH);
    windowDisplay().showTextInEdit(MSFS_INSTALL_PATH);
    windowDisplay().invalidate(controlsBand);
}

void detectTrafficService()
{
    const fs::path marker = specialFolderPath(roamingAppData) / paths().insideSystemsFolderName / "RealTraffic.jar";
    realTrafficOnThisPc = fs::exists(marker);
    setStatus(fmt::format("RealTraffic {}detected at this PC", realTrafficOnThisPc ? "" : "not "), true);
}

void countOwnAirportFiles()
{
    mainWindowGlobals.simaddonFigure = countFiles(mySimaddonFolder);
    mainWindowGlobals.thirdpartyFigure = countFiles(myThirdpartyFolder);
    windowDisplay().invalidate(headerBand);
}

void runStartUp()
{
    checkProgramFolder();
    detectEnvironment();
    if (exitBegan())
        return;
    logTimeSinceLastRun();
    fs::create_directories(paths().myRegcodesFolder);
    setMaxWorkers(std::thread::hardware_concurrency());
    if (!fs::exists(paths().liveriesScannedPath) && !SCAN_LIVERIES.value()) {
        setStatus(fmt::format("File {} is gone, rescan liveries", platform::pathToUtf8(paths().liveriesScannedPath)),
                  true);
        switchOption(SCAN_LIVERIES, true);
    }
    scanLiveriesIfNeeded(SCAN_LIVERIES.value());
    if (exitBegan())
        return;
    if (SCAN_AIRPORTS.value())
        scanAirportsIfNeeded();
    countOwnAirportFiles();
    if (exitBegan())
        startFinalExit(ExitReason::userClosedSim, 1);
    else
        runPhase();
}

} // namespace

std::optional<std::string> sinceLastRunText(std::int32_t now, std::int32_t lastRun)
{
    const auto delta = static_cast<std::int32_t>(static_cast<std::uint32_t>(now) - static_cast<std::uint32_t>(lastRun));
    const std::int32_t minutes = delta / 60;
    const std::int32_t seconds = delta - minutes * 60;
    const char* secondsPlural = seconds < 0 ? "" : plural(seconds);
    if (minutes < 1)
        return fmt::format("{} second{} since last run", seconds, secondsPlural);
    if (minutes < sinceLastRunLimitMinutes)
        return fmt::format("{} minute{} and {} second{} since last run", minutes, plural(minutes), seconds,
                           secondsPlural);
    return std::nullopt;
}

void lf_startUpRMTD()
{
    const CountedThread counted;
    try {
        runStartUp();
    } catch (...) {
        reportFatal("lf_startUpRMTD");
        flushLog(); // the program now waits for the user: the log shows why
    }
}

void detectEnvironment()
{
    ensureAirportsFolder();
    buildParameterRegistry();
    liveLimit = MAX_LIVE.value();
    if (MAX_LIVE.value() == MAX_LIVE.defaultValue())
        windowDisplay().showEditText(MAX_LIVE.controlId());
    offerFirstControls();
    PROGRAM_INSTALL_PATH.set(platform::pathToUtf8(fs::current_path()));
    saveStringParameter(PROGRAM_INSTALL_PATH);
    currentDaySlot = currentDayAndHalfHour();
    dailyCheck();
    if (exitBegan())
        return;
    archiveWeek = parseVersion(ARCHIVE_VERSION.value()).major;
    findCommunityFolder();
    detectTrafficService();
    offerSecondControls();
    readAirports();
    flushLog();
}

void ensureAirportsFolder()
{
    const ProgramPaths& p = paths();
    for (const fs::path& folder : {p.outputFolder, p.outputInfoFolder, p.outputErrorsFolder, airportsFolder,
                                   learnedFolder, learnedStockFolder, learnedSimaddonFolder, learnedThirdpartyFolder})
        if (!fs::exists(folder))
            fs::create_directory(folder);
}

void checkStockAirportFolders(std::vector<std::string>& folders)
{
    folders.clear();
    const std::string stock = platform::pathToUtf8(paths().fsBaseGenericAirportsName);
    for (const StringParameter* setting : airportFolders) {
        const std::string folder = setting->value();
        if (folder.empty())
            continue;
        if (folder.find(stock) != std::string::npos)
            throw UserErrorException(
                42, fmt::format("parameter {} points to stock airports instead of add-on airports!", setting->name));
        folders.push_back(folder);
    }
}

void removePreviousFiles(const fs::path& folder)
{
    try {
        if (!fs::is_directory(folder))
            return;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            std::error_code error;
            fs::remove(entry.path(), error);
            if (error)
                logLine(fmt::format("{} could not be removed", platform::pathToUtf8(entry.path())));
        }
    } catch (const std::exception& e) {
        throw UserErrorException(5, e.what());
    }
}

void scanLiveriesIfNeeded(bool doScan)
{
    if (doScan) {
        const bool prioritizedOnly = LIG_PRIORITIZE.value() && !LIG_AUTOMATIC.value();
        setStatus(fmt::format("Scanning {}for liveries ...", prioritizedOnly ? "prioritized " : ""), false);
        logLine(fmt::format("\n++++++++++++++++++++++++ liveries scan {} starts ++++++++++++++++++++++++++++++++",
                            LIG_AUTOMATIC.value() ? "automatic" : "manual"));
    } else {
        logLine("\n++++++++++++++++++++++++ liveries scan starts ++++++++++++++++++++++++++++++++");
    }
    std::vector<std::string> folders;
    if (doScan && !LIG_AUTOMATIC.value()) {
        for (const StringParameter* setting : liveryFolders)
            if (std::string folder = setting->value(); !folder.empty())
                folders.push_back(std::move(folder));
        if (folders.empty())
            throw UserErrorException(
                48, "Set lfolder parameter(-s) to your liveries first, see Manual 5.1 (or check Liveries automatic)");
    }
    if (scanLiveries(doScan, LIG_AUTOMATIC.value(), LIG_PRIORITIZE.value(), folders) && doScan)
        switchOption(SCAN_LIVERIES, false);
    logLine("-------------------------- liveries scan ends   --------------------------------\n");
}

void scanAirportsIfNeeded()
{
    setStatus("Scanning for addon airports ...", false);
    logLine(fmt::format("\n++++++++++++++++++++++++ airports scan {} starts +++++++++++++++++++++++++++++",
                        AFG_AUTOMATIC.value() ? "automatic" : "manual"));
    std::vector<std::string> folders;
    if (!AFG_AUTOMATIC.value()) {
        checkStockAirportFolders(folders);
        if (folders.empty())
            throw UserErrorException(49, "Set afolder parameter(-s) to your add-on airports first, see Manual 6.1");
    }
    readAirportNames();
    for (const fs::path& folder : {myThirdpartyFolder, mySimaddonFolder}) {
        if (!fs::is_directory(folder))
            fs::create_directory(folder);
        else
            removePreviousFiles(folder);
    }
    if (runAirportsScan(AFG_AUTOMATIC.value(), folders))
        switchOption(SCAN_AIRPORTS, false);
    else
        setStatus("Warning: Scan has not found any add-on airports", true);
    clearAirportNames();
    logLine("-------------------------- airports scan ends    ----------------------------\n");
}

} // namespace rtd
