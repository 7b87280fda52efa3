#include "liveries/scan.hpp"

#include "core/display.hpp"
#include "core/exceptions.hpp"
#include "core/exit.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "core/paths.hpp"
#include "liveries/dbase.hpp"
#include "liveries/dont_use.hpp"
#include "liveries/livery_text.hpp"
#include "liveries/lookup_tables.hpp"
#include "liveries/scan_tables.hpp"
#include "liveries/scanned_list.hpp"
#include "platform/platform.hpp"

#include <algorithm>
#include <array>
#include <fmt/format.h>
#include <map>
#include <optional>
#include <string_view>
#include <utility>

namespace rtd {
namespace fs = std::filesystem;

LiveryList scanList;

namespace {

constexpr std::int32_t lastPriority = 10;

// "s" for a count above 1.
const char* pluralAbove1(std::size_t count)
{
    return count > 1 ? "s" : "";
}

std::string pathText(const fs::path& path)
{
    return platform::pathToUtf8(path);
}

void showLiveryCount(std::int64_t count)
{
    mainWindowGlobals.liveryCount = count;
    windowDisplay().invalidate(headerBand); // "# liveries" is drawn there
}

// The traffic packages of the Community folder, or else the whole folder.
void addAutomaticFolders(std::vector<std::string>& folders)
{
    const fs::path community = platform::pathFromUtf8(MSFS_INSTALL_PATH.value()) / paths().communityFolderName;
    std::vector<std::string> found;
    findTrafficPackages(community, found);
    if (found.empty()) {
        logLine(fmt::format("Automatic scan found folder: \"{}\"", pathText(community)));
        found.push_back(pathText(community));
    }
    folders.insert(folders.end(), found.begin(), found.end());
}

void readDontUseTitles()
{
    if (fs::exists(paths().aigRegcodesPath))
        readDontUseTitlesXml();
    if (countFiles(paths().myRegcodesFolder) > 0)
        readDontUseTitlesFolder();
}

void handOverScanList()
{
    processScannedLiveries(scanList);
    scanList.clear();
}

// Sorts the lines when asked and writes them to the file; the folder is made when missing.
template <typename Container>
void writeIssueFile(Container& lines, bool sort, const fs::path& file)
{
    if (sort)
        lines.sort();
    fs::create_directories(file.parent_path());
    writeLinesToFile(lines, file);
}

void logErrorFiles()
{
    const fs::path& errors = paths().outputErrorsFolder;
    if (auto& lines = invalidAirlineCodes.lines; !lines.empty()) {
        const fs::path file = errors / "InvalidAirlineCodes.txt";
        writeIssueFile(lines, true, file);
        logLine(fmt::format("{} invalid airline code{}, see {}", lines.size(), pluralAbove1(lines.size()), pathText(file)));
    }
    if (auto& lines = invalidModelCodes.lines; !lines.empty()) {
        const fs::path file = errors / "InvalidAircraftCodes.txt";
        writeIssueFile(lines, true, file);
        logLine(fmt::format("{} invalid model code{}, see {}", lines.size(), pluralAbove1(lines.size()), pathText(file)));
    }
    if (auto& lines = codeFixLines.lines; !lines.empty()) {
        const fs::path file = errors / "Fixes.txt";
        fs::create_directories(errors);
        writeLinesToFile(lines, file);
        logLine(fmt::format("{} code fixes, see {}", lines.size(), pathText(file)));
    }
    if (auto& lines = invalidCfgFiles.lines; !lines.empty()) {
        const fs::path file = errors / "InvalidAircraftCfgFiles.txt";
        writeIssueFile(lines, true, file);
        logLine(fmt::format("{} invalid aircraft.cfg files, see {}", lines.size(), pathText(file)));
    }
    if (auto& lines = incompleteSections.lines; !lines.empty()) {
        const fs::path file = errors / "IncompleFltsimSections.txt";
        writeIssueFile(lines, true, file);
        logLine(fmt::format("{} incomplete [fltsim.x] sections, see {}", lines.size(), pathText(file)));
    }
}

void logInformationFiles()
{
    const fs::path& info = paths().outputInfoFolder;
    if (auto& lines = emptyCfgFiles.lines; !lines.empty()) {
        const fs::path file = info / "AircraftCfgWithNoFltsimSection.txt";
        lines.sort();
        writeLinesToFile(lines, file);
        logLine(fmt::format("{} empty aircraft.cfg files, see {}", lines.size(), pathText(file)));
    }
    if (!dbaseCorrections.empty()) {
        const fs::path file = info / "AirlineModelConversions.txt";
        writeLinesToFile(dbaseCorrections, file);
        logLine(fmt::format("{} liveries updated with real live data from dbase, see {}", dbaseCorrections.size(),
                            pathText(file)));
    }
    if (!skippedOnPriority.empty()) {
        const fs::path file = info / "LiveriesSkippedOnPriority.txt";
        logLine(fmt::format("{} liverie{} skipped on priority, see {}", skippedOnPriority.size(),
                            pluralAbove1(skippedOnPriority.size()), pathText(file)));
        skippedOnPriority.sort();
        writeLinesToFile(skippedOnPriority, file);
    }
}

void addCorrection(const LiveryData& record, std::string_view what, std::string_view before, std::string_view after)
{
    dbaseCorrections.push_back(fmt::format("{:80} {} {} {} => {}", record.title, record.regcode, what, before, after));
}

const char* flagText(bool flag)
{
    return flag ? "true" : "false";
}

bool sameListing(const LiveryData& a, const LiveryData& b)
{
    return a.title == b.title && a.airline == b.airline && a.model == b.model && a.regcode == b.regcode &&
           a.cargo == b.cargo;
}

// Steps of a scan after the folders are walked.
void finishScan(const std::vector<std::string>& folders, std::size_t total, bool prioritized)
{
    if (scanList.empty()) {
        showLiveryCount(0);
        resetScanTables();
        clearStatus();
        throw UserErrorException(53, "no liveries found");
    }
    if (folders.size() >= 2)
        logLine(fmt::format("{} in total", total));
    for (LiveryData& record : scanList)
        applyDbaseCorrections(record);
    if (prioritized)
        applyScanPriorities();
    logScanSummary();
    scanList.sort(liveryLess);
    removeDuplicateLiveries();
    showLiveryCount(static_cast<std::int64_t>(scanList.size()));
    resetScanTables();
    clearStatus();
    saveScannedLiveries();
}

} // namespace

bool scanLiveries(bool doScan, bool automatic, bool prioritized, std::vector<std::string>& folders)
{
    if (!doScan) {
        readScannedLiveries();
        handOverScanList();
        return true;
    }
    // What a stopped or failed scan left behind.
    scanList.clear();
    resetScanTables();
    startScanProgress();

    removeScanResultFiles();
    readDontUseTitles();
    if (automatic)
        addAutomaticFolders(folders);
    FolderScanState state;
    for (const std::string& folder : folders)
        scanOneFolder(state, folder);
    if (exitBegan())
        return true;
    finishScan(folders, state.total, prioritized);
    handOverScanList();
    return true;
}

void scanOneFolder(FolderScanState& state, const std::string& folder)
{
    if (folder.empty())
        return;
    const fs::path path = platform::pathFromUtf8(folder);
    if (!fs::exists(path)) {
        logLine(folder + " does not exist, skipped!");
        return;
    }
    if (!fs::is_directory(path)) {
        logLine(folder + " is not a folder name, skipped!");
        return;
    }
    const std::string label = "found in " + folder;
    if (state.priority < lastPriority)
        ++state.priority;
    if (exitBegan())
        return;
    scanFolderTree(state.priority, path, scanList);
    const std::size_t size = scanList.size();
    if (size == 0) {
        logLine(fmt::format("No liveries {}", label));
        return;
    }
    const std::size_t added = size - state.previousSize;
    logLine(fmt::format("{} liverie{} {}", added, pluralAbove1(added), label));
    state.total += added;
    state.previousSize = size;
}

void findTrafficPackages(const fs::path& communityFolder, std::vector<std::string>& found)
{
    std::vector<std::string> entries;
    for (const fs::directory_entry& entry : fs::directory_iterator(communityFolder))
        entries.push_back(pathText(entry.path()));
    std::sort(entries.begin(), entries.end());
    for (const std::string& entry : entries) {
        const auto holds = [&](std::string_view word) { return entry.find(word) != std::string::npos; };
        if ((holds("aig-aitraffic-oci-beta") && !holds("_CVT_")) || holds("fsltl-traffic-base") ||
            holds("justflight-aircraft-traffic-fleet")) {
            logLine(fmt::format("Automatic scan found: \"{}\"", entry));
            found.push_back(entry);
        }
    }
}

void removeScanResultFiles()
{
    const ProgramPaths& p = paths();
    const std::array files{
        p.outputInfoFolder / "AirlineData.txt",           p.outputInfoFolder / "AircraftCfgWithNoFltsimSection.txt",
        p.outputInfoFolder / "LiveriesSkippedOnPriority.txt", p.liveriesScannedPath,
        p.outputErrorsFolder / "InlineRegcodes.txt",      p.outputErrorsFolder / "InvalidAirlineCodes.txt",
        p.outputErrorsFolder / "InvalidAircraftCodes.txt", p.outputErrorsFolder / "Fixes.txt",
        p.outputErrorsFolder / "InvalidAircraftCfgFiles.txt", p.outputErrorsFolder / "IncompleFltsimSections.txt",
    };
    try {
        for (const fs::path& file : files)
            fs::remove(file);
        if (fs::is_directory(p.outputErrorsFolder) && fs::is_empty(p.outputErrorsFolder))
            fs::remove(p.outputErrorsFolder);
    } catch (const std::exception& e) {
        logLine(fmt::format("problems with removing previous files: {}", e.what()));
    }
}

void logScanSummary()
{
    const bool noErrors = invalidAirlineCodes.lines.empty() && invalidModelCodes.lines.empty() &&
                          codeFixLines.lines.empty() && invalidCfgFiles.lines.empty() &&
                          incompleteSections.lines.empty();
    logLine(noErrors ? "\nNo errors" : "\nErrors:");
    logErrorFiles();
    logLine("\nInformation:");
    logInformationFiles();
}

void applyDbaseCorrections(LiveryData& record)
{
    if (record.regcode.empty())
        return;
    const std::optional<DbaseRecord> entry = lookupRegcode(record.regcode);
    if (!entry)
        return;
    if (record.cargo != entry->cargo) {
        addCorrection(record, "cargo", flagText(record.cargo), flagText(entry->cargo));
        record.cargo = entry->cargo;
    }
    const std::string& airline = entry->opr.empty() ? entry->airl : entry->opr;
    if (!airline.empty() && record.airline != airline) {
        addCorrection(record, "airl", record.airline, airline);
        record.airline = airline;
    }
    if (!entry->type.empty() && record.model != entry->type) {
        addCorrection(record, "model", record.model, entry->type);
        record.model = entry->type;
    }
}

void applyScanPriorities()
{
    std::map<std::pair<std::string, std::string>, std::int32_t> lowest;
    for (const LiveryData& record : scanList) {
        const auto [place, added] = lowest.try_emplace({record.airline, record.model}, record.priority);
        if (!added)
            place->second = std::min(place->second, record.priority);
    }
    for (auto record = scanList.begin(); record != scanList.end();) {
        if (record->priority == lowest.at({record->airline, record->model})) {
            ++record;
            continue;
        }
        skippedOnPriority.push_back(fmt::format("{} \"{}\"", typeText(*record), record->title));
        record = scanList.erase(record);
    }
}

void removeDuplicateLiveries()
{
    scanList.unique(sameListing);
}

bool writeLinesToFile(const std::vector<std::string>& lines, const fs::path& path)
{
    return writeStringVectorToFile(lines, path);
}

bool writeLinesToFile(const std::list<std::string>& lines, const fs::path& path)
{
    return writeStringVectorToFile({lines.begin(), lines.end()}, path);
}

} // namespace rtd
