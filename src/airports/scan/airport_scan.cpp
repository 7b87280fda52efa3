#include "airports/scan/airport_scan.hpp"

#include "airports/database/airport_database.hpp"
#include "airports/database/airport_folders.hpp"
#include "airports/database/publisher_detection.hpp"
#include "airports/files/airport_file_read.hpp"
#include "airports/scan/bgl.hpp"
#include "core/display.hpp"
#include "core/exit.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "core/paths.hpp"
#include "core/text.hpp"
#include "core/workers.hpp"
#include "platform/platform.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <fmt/format.h>
#include <fstream>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

namespace rtd {

namespace {

constexpr std::size_t scanLogReserve = 2048;
constexpr std::uint64_t headerBytes = 56;
constexpr std::uint64_t sectionEntryBytes = 20;
constexpr std::uint32_t airportSectionType = 3;

std::mutex scanLogMutex;
std::vector<std::string> scanLog;
thread_local ScanLogLimit* threadLimit = nullptr;
constexpr std::size_t airportsKept = 2000;
constexpr std::size_t repeatsKeptPerAirport = 200;
constexpr std::size_t repeatsKeptPerFile = 2000;
constexpr std::size_t airportLineBytesPerFile = 760'000; // line ends included
constexpr std::size_t failuresKeptPerFile = 2000;
constexpr std::size_t failureLineBytesPerFile = 200'000;
// By ScanLogRepeat.
constexpr std::array<std::string_view, scanLogRepeatKinds> repeatNames{
    "lat/lon helipad incorrect",     "helipad width incorrect", "double helipad",
    "skipped position with radius",  "lat/lon incorrect",       "skipped position with heading",
    "more then 6 the same ids"};

void pushLine(std::string text)
{
    const std::lock_guard lock(scanLogMutex);
    scanLog.push_back(std::move(text));
}

std::uint32_t wordAt(const char* bytes)
{
    std::uint32_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

} // namespace

ScanLogLimit::ScanLogLimit(std::string source) : source_(std::move(source)), outer_(threadLimit)
{
    threadLimit = this;
}

ScanLogLimit::~ScanLogLimit()
{
    threadLimit = outer_;
    try {
        if (repeatedLeftOut_ > 0)
            pushLine(fmt::format("{}{} more lines about skipped items in {} left out", arrowPrefix, repeatedLeftOut_,
                                 source_));
        if (airportsLeftOut_ > 0)
            pushLine(fmt::format("{}the lines of {} more airports in {} left out", arrowPrefix, airportsLeftOut_,
                                 source_));
        if (bytesLeftOut_ > 0)
            pushLine(fmt::format("{}{} more lines about {} left out, its log being full", arrowPrefix, bytesLeftOut_,
                                 source_));
        if (failuresLeftOut_ > 0)
            pushLine(fmt::format("{}{} more airport files of {} could not be written", arrowPrefix, failuresLeftOut_,
                                 source_));
    } catch (const std::exception&) {
    }
}

bool ScanLogLimit::take(std::optional<ScanLogRepeat> kind, std::size_t bytes)
{
    if (!inAirport_)
        return true;
    if (airports_ > airportsKept) {
        airportLeftOut_ = true;
        return false;
    }
    if (kind) {
        const auto k = static_cast<std::size_t>(*kind);
        if (kept_[k] >= repeatsKeptPerAirport) {
            ++leftOut_[k];
            return false;
        }
        if (repeatedKept_ >= repeatsKeptPerFile) {
            ++repeatedLeftOut_;
            return false;
        }
    }
    if (bytes > airportLineBytesPerFile - bytesKept_) {
        ++bytesLeftOut_;
        return false;
    }
    bytesKept_ += bytes;
    if (kind) {
        ++kept_[static_cast<std::size_t>(*kind)];
        ++repeatedKept_;
    }
    return true;
}

bool ScanLogLimit::takeFailure(std::size_t bytes)
{
    if (failuresKept_ >= failuresKeptPerFile || bytes > failureLineBytesPerFile - failureBytesKept_) {
        ++failuresLeftOut_;
        return false;
    }
    ++failuresKept_;
    failureBytesKept_ += bytes;
    return true;
}

ScanLogAirport::ScanLogAirport(std::string icao) : icao_(std::move(icao)), limit_(threadLimit)
{
    if (limit_ == nullptr)
        return;
    ++limit_->airports_;
    limit_->inAirport_ = true;
    limit_->airportLeftOut_ = false;
    limit_->kept_.fill(0);
    limit_->leftOut_.fill(0);
}

ScanLogAirport::~ScanLogAirport()
{
    if (limit_ == nullptr)
        return;
    if (limit_->airportLeftOut_)
        ++limit_->airportsLeftOut_;
    try { // the counts are lines of the airport too
        for (std::size_t k = 0; k < scanLogRepeatKinds; ++k)
            if (limit_->leftOut_[k] > 0)
                pushScanLogLine(fmt::format("{}{} more \"{}\" lines of {} left out", arrowPrefix,
                                            limit_->leftOut_[k], repeatNames[k], icao_));
    } catch (const std::exception&) {
    }
    limit_->inAirport_ = false;
}

void pushScanLogLine(std::string text)
{
    if (threadLimit != nullptr && !threadLimit->take(std::nullopt, text.size() + 1))
        return;
    pushLine(std::move(text));
}

void pushScanLogLine(std::string text, ScanLogRepeat kind)
{
    if (threadLimit != nullptr && !threadLimit->take(kind, text.size() + 1))
        return;
    pushLine(std::move(text));
}

void pushScanLogFailureLine(std::string text)
{
    if (threadLimit != nullptr && !threadLimit->takeFailure(text.size() + 1))
        return;
    pushLine(std::move(text));
}

void startScanLog()
{
    const std::lock_guard lock(scanLogMutex);
    scanLog.clear();
    scanLog.reserve(scanLogReserve);
}

std::vector<std::string> takeScanLog()
{
    const std::lock_guard lock(scanLogMutex);
    std::vector<std::string> lines;
    lines.swap(scanLog);
    return lines;
}

bool hasAirportSection(const std::filesystem::path& path)
{
    std::ifstream stream(path, std::ios::binary | std::ios::ate);
    if (!stream)
        return false;
    const std::streamoff end = stream.tellg();
    if (end < static_cast<std::streamoff>(headerBytes))
        return false;
    const auto size = static_cast<std::uint64_t>(end);
    stream.seekg(0);
    std::array<char, headerBytes> header{};
    if (!stream.read(header.data(), header.size()))
        return false;
    const std::uint64_t sections = wordAt(header.data() + 20);
    if (sections == 0 || size <= sectionEntryBytes * sections + headerBytes)
        return false;
    std::array<char, sectionEntryBytes> entry{};
    for (std::uint64_t i = 0; i < sections; ++i) {
        if (!stream.read(entry.data(), entry.size()))
            return false;
        if (wordAt(entry.data()) == airportSectionType)
            return true;
    }
    return false;
}

} // namespace rtd

// ---------------------------------------------------------------------------------------
// The scan.

namespace rtd {
namespace fs = std::filesystem;

std::atomic<std::int32_t> handledAirportCount{0};

namespace {

constexpr std::size_t longPathBytes = 250;
constexpr std::size_t xmlListReserve = 512;
constexpr std::array<std::string_view, 14> excludedWords{
    "fs-base",   "tutorials",         "aircraft",    "bushtrip",      "discovery", "point-of-interest", "simobjects",
    "vcockpits", "aig-aitraffic",     "justflight-aicraft", "fsltl", "gsx-pro",   "gsx-world",         "landingchallenge"};
constexpr std::array<std::string_view, 3> excludedFileWords{"statics", "AFCAD Updates", "_heliports"};

bool contains(std::string_view text, std::string_view word)
{
    return text.find(word) != std::string_view::npos;
}

std::string text(const fs::path& path)
{
    return platform::pathToUtf8(path);
}

// The scan's own calls for the airports a task reads.
class ScanSink : public AirportSink {
public:
    bool linkAirport(AirportFileData& airport, std::int32_t& archivedCount, const std::string& bglPath) override
    {
        return rtd::linkAirport(airport, archivedCount, bglPath);
    }
    void generateAirportFile(AirportFileData& airport) override { rtd::generateAirportFile(airport); }
};

struct PendingScan {
    std::unique_ptr<std::string> error; // set by the task when it failed
    std::thread thread;
};

// Reads one scenery file; the caller took the worker slot, which this gives back.
void runScanTask(const fs::path& file, std::string& error)
{
    try {
        ScanSink sink;
        lf_toParkingPositions(file, sink);
    } catch (const std::exception& e) {
        error = e.what();
    } catch (...) {
        error = "unknown exception";
    }
    if (!error.empty())
        pushScanLogLine(fmt::format("{}!? Exception in lf_toParkingPositions: {}", arrowPrefix, text(file)));
    releaseThreadSlot();
}

class BglWalk {
public:
    explicit BglWalk(const fs::path& folder) : folderText_(text(folder)) {}
    BglWalk(const BglWalk&) = delete;
    BglWalk& operator=(const BglWalk&) = delete;
    // Only on the way out with an exception: no task may outlive its walk.
    ~BglWalk()
    {
        for (PendingScan& task : pending_)
            task.thread.join();
    }

    void walk(const fs::path& folder);
    void collectAll();

private:
    void visit(const fs::directory_entry& entry, bool& descend);
    void start(const fs::path& file);

    std::string folderText_;
    std::deque<PendingScan> pending_;
    bool stopped_ = false;
};

// Pre-order, following no directory links. A folder that cannot be listed is logged and
// left out; the walk goes on after it.
void BglWalk::walk(const fs::path& folder)
{
    std::vector<fs::directory_entry> entries;
    try {
        entries = sortedDirectoryEntries(folder);
    } catch (const std::exception& e) {
        pushScanLogLine(fmt::format("{} airports search in folder {} aborted because of iterator problem: {}",
                                    arrowPrefix, folderText_, e.what()));
        return;
    }
    for (const fs::directory_entry& entry : entries) {
        if (stopped_)
            return;
        bool descend = false;
        try {
            visit(entry, descend);
        } catch (const std::exception& e) {
            pushScanLogLine(
                fmt::format("{} airports search in folder {} aborted, cause: {}", arrowPrefix, folderText_, e.what()));
            continue;
        }
        if (descend)
            walk(entry.path());
    }
}

void BglWalk::visit(const fs::directory_entry& entry, bool& descend)
{
    const std::string pathText = text(entry.path());
    if (isExcludedFolder(pathText))
        return;
    descend = entry.symlink_status().type() == fs::file_type::directory;
    if (descend || !entry.is_regular_file() || !isBglExtension(text(entry.path().extension())))
        return;
    if (std::any_of(excludedFileWords.begin(), excludedFileWords.end(),
                    [&](std::string_view word) { return contains(pathText, word); }))
        return;
    if (!hasAirportSection(entry.path()))
        return;
    if (exitBegan()) {
        stopped_ = true;
        return;
    }
    start(entry.path());
    if (pending_.size() > static_cast<std::size_t>(maxWorkers())) {
        PendingScan oldest = std::move(pending_.front());
        pending_.pop_front();
        oldest.thread.join();
        if (!oldest.error->empty())
            pushScanLogLine(fmt::format("{} airports search aborted, futs inner, \n{}\n{}\n{}", arrowPrefix,
                                        *oldest.error, pending_.size(), pathText));
    }
}

void BglWalk::start(const fs::path& file)
{
    waitForThreadSlot();
    PendingScan task{std::make_unique<std::string>(), {}};
    try {
        task.thread = std::thread([file, error = task.error.get()] { runScanTask(file, *error); });
    } catch (...) {
        releaseThreadSlot();
        throw;
    }
    pending_.push_back(std::move(task));
}

void BglWalk::collectAll()
{
    while (!pending_.empty()) {
        PendingScan oldest = std::move(pending_.front());
        pending_.pop_front();
        oldest.thread.join();
        if (!oldest.error->empty())
            pushScanLogLine(fmt::format("{} airports search in {} aborted, futs outer error: {}", arrowPrefix,
                                        folderText_, *oldest.error));
    }
}

void scanConfiguredFolder(const std::string& folderText)
{
    if (folderText.empty())
        return;
    const fs::path folder = platform::pathFromUtf8(folderText);
    if (!fs::exists(folder))
        setStatus(folderText + " does not exist, skipped!", true);
    else if (!fs::is_directory(folder))
        setStatus(folderText + " is not a folder name, skipped!", true);
    else
        scanFolderForBgl(folder);
}

std::optional<fs::path> findArchivedFile(const fs::path& folder, const AirportFileData& airport)
{
    if (!fs::is_directory(folder)) {
        pushScanLogLine(fmt::format("\n{} folder does not exist\n", text(folder)));
        return std::nullopt;
    }
    fs::path file = folder / xmlFileName(airport.icao);
    if (!fs::exists(file)) {
        pushScanLogLine(fmt::format("{} does not exist", text(file)));
        return std::nullopt;
    }
    return file;
}

bool writeLinkFile(const fs::path& folder, const AirportFileData& airport, const fs::path& archived)
{
    const fs::path link = folder / txtFileName(airport.icao);
    if (writeStringToFile(text(archived), link))
        return true;
    pushScanLogLine(fmt::format("{}writing {} failed", arrowPrefix, text(link)));
    return false;
}

// Copies the generated files of other publishers' airports that still need learning into
// TO_BE_LEARNED_OFFLINE.
void collectOfflineLearning()
{
    const std::vector<std::string> codes = listXmlFiles();
    const fs::path offline = paths().toBeLearnedOfflineFolder;
    if (fs::exists(offline))
        fs::remove_all(offline);
    if (codes.empty())
        return;
    if (!fs::exists(offline))
        fs::create_directory(offline);
    std::int32_t copied = 0;
    for (const std::string& icao : codes) {
        const fs::path source = myThirdpartyFolder / (icao + ".xml");
        if (!readQualityFactors(icao) || !describePublisher(source).empty())
            continue;
        const fs::path target = offline / (icao + ".xml");
        if (!copyFileWhole(source, target)) {
            logArrow(fmt::format("\"{}\" failed to copy \"{}\"", text(source), text(target)));
            continue;
        }
        logLine(fmt::format("{} copied to {}", icao, text(target)));
        ++copied;
        if (fs::exists(myThirdpartyFolder / (icao + ".txt")))
            fs::remove(source);
    }
    if (copied > 0) {
        tbloAirportCount += copied;
        logLine("");
        logArrow(fmt::format("Please zip the folder {} and mail it to the Ramptide support address, so these "
                             "airports can be learned\\n",
                             text(fs::absolute(offline))));
    } else {
        logLine("All your third party airports are done, no off line learning needed.");
        fs::remove_all(offline);
    }
}

} // namespace

fs::path scanLogPath()
{
    return paths().outputInfoFolder / "AirportsScanLog.txt";
}

bool isExcludedFolder(const std::string& pathText)
{
    return pathText.size() >= longPathBytes ||
           std::any_of(excludedWords.begin(), excludedWords.end(),
                       [&](std::string_view word) { return contains(pathText, word); });
}

bool isBglExtension(const std::string& extension)
{
    return extension == ".BGL" || extension == ".bgl";
}

void scanFolderForBgl(const fs::path& folder)
{
    pushScanLogLine("Scanning for addon airports in " + text(folder));
    BglWalk walk(folder);
    try {
        walk.walk(folder);
    } catch (const std::exception& e) {
        pushScanLogLine(fmt::format("{} airports search in folder {} aborted because of iterator problem: {}",
                                    arrowPrefix, text(folder), e.what()));
    }
    walk.collectAll();
}

std::optional<fs::path> findArchivedSimaddonFile(const AirportFileData& airport)
{
    return findArchivedFile(archiveSimaddonFolder, airport);
}

std::optional<fs::path> findArchivedThirdpartyFile(const std::string& publisher, const AirportFileData& airport)
{
    return findArchivedFile(archiveThirdpartyFolder / platform::pathFromUtf8(publisherFolderName(publisher)), airport);
}

std::optional<fs::path> linkSimaddonAirport(const AirportFileData& airport)
{
    std::optional<fs::path> archived = findArchivedSimaddonFile(airport);
    if (!archived || !writeLinkFile(mySimaddonFolder, airport, *archived))
        return std::nullopt;
    pushScanLogLine(fmt::format("{} airport {} linked to {}", "simaddon", airport.icao, text(*archived)));
    return archived;
}

std::optional<fs::path> linkThirdpartyAirport(const std::string& publisher, const AirportFileData& airport)
{
    std::optional<fs::path> archived = findArchivedThirdpartyFile(publisher, airport);
    if (!archived || !writeLinkFile(myThirdpartyFolder, airport, *archived))
        return std::nullopt;
    pushScanLogLine(fmt::format("thirdparty {} linked to {}", airport.icao, text(*archived)));
    return archived;
}

bool linkAirport(AirportFileData& airport, std::int32_t& archivedCount, const std::string& bglPath)
{
    archivedCount = 0;
    airport.bglPath = bglPath;
    PublisherResult found = findPublisher(bglPath);
    airport.publisher = std::move(found.publisher);
    airport.manufacturer = std::move(found.manufacturer);
    airport.creator = std::move(found.creator);
    if (airport.publisher == "unknown")
        return false;
    const std::optional<fs::path> archived = airport.publisher == "simaddon"
                                                 ? linkSimaddonAirport(airport)
                                                 : linkThirdpartyAirport(airport.publisher, airport);
    if (!archived)
        return false;
    ++handledAirportCount;
    archivedCount = readNumParkpos(*archived);
    return true;
}

void generateAirportFile(AirportFileData& airport)
{
    generateAirportFile(airport, exitBegan);
}

void generateAirportFile(AirportFileData& airport, const std::function<bool()>& closed)
{
    const std::size_t count = airport.stands.size();
    if (count == 0)
        return;
    const fs::path& folder = airport.publisher == "simaddon" ? mySimaddonFolder : myThirdpartyFolder;
    const auto helipads = std::count_if(airport.stands.begin(), airport.stands.end(),
                                        [](const ParkingPosition& stand) { return stand.heli; });
    const std::string helipadText =
        helipads >= 1 ? fmt::format(", of which {} helipad{}", helipads, helipads == 1 ? "" : "s") : std::string();
    pushScanLogLine(fmt::format("Generated {}: {} position{}{}", airport.icao + ".xml", count, count > 1 ? "s" : "",
                                helipadText));
    std::stable_sort(airport.stands.begin(), airport.stands.end(),
                     [](const ParkingPosition& a, const ParkingPosition& b) { return a.name < b.name; });
    if (!fs::exists(folder))
        fs::create_directory(folder);
    const fs::path file = folder / xmlFileName(airport.icao);
    if (!saveAirportFile(airport, file, false, false, closed)) {
        pushScanLogFailureLine(fmt::format("{}Generating {} did not succeed", arrowPrefix, text(file)));
        return;
    }
    ++handledAirportCount;
}

std::vector<std::string> listXmlFiles()
{
    std::vector<std::string> codes;
    codes.reserve(xmlListReserve);
    std::error_code error;
    if (!fs::is_directory(myThirdpartyFolder, error))
        return codes;
    for (const fs::directory_entry& entry : fs::directory_iterator(myThirdpartyFolder)) {
        const std::string stem = text(entry.path().stem());
        if (entry.is_regular_file() && equalsUpper(".XML", text(entry.path().extension())) && stem.size() == 4)
            codes.push_back(stem);
    }
    return codes;
}

bool runAirportsScan(bool automatic, const std::vector<std::string>& folders)
{
    const fs::path logPath = scanLogPath();
    std::error_code error;
    if (fs::exists(logPath, error) && !fs::remove(logPath, error))
        logLine("problems with removing previous files (maybe still open?)");
    tbloAirportCount = 0;
    startScanLog();
    const std::int32_t handledBefore = handledAirportCount;

    std::vector<std::string> scanned = folders;
    if (automatic) {
        const fs::path packages = platform::pathFromUtf8(MSFS_INSTALL_PATH.value());
        scanned.push_back(text(packages / paths().officialFolderName));
        scanned.push_back(text(packages / paths().communityFolderName));
    }
    beginPublisherScan();
    try {
        for (const std::string& folder : scanned)
            scanConfiguredFolder(folder);
    } catch (...) {
        endPublisherScan();
        throw;
    }
    endPublisherScan();

    fs::create_directories(logPath.parent_path(), error);
    if (writeStringVectorToFile(takeScanLog(), logPath))
        logLine(text(logPath) + " written");
    else
        logArrow(fmt::format("writing {} failed?", text(logPath)));
    clearStatus();

    collectOfflineLearning();
    // Only this scan's airports count: an earlier scan's must not make an empty one succeed.
    if (handledAirportCount > handledBefore) {
        logLine("Airports scan successful");
        return true;
    }
    return false;
}

} // namespace rtd
