// The folder walk of the livery scan and its scan tasks.

#include "core/display.hpp"
#include "core/exit.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/text.hpp"
#include "core/utf.hpp"
#include "core/workers.hpp"
#include "liveries/ivao.hpp"
#include "liveries/livery_sections.hpp"
#include "liveries/scan.hpp"
#include "liveries/scan_tables.hpp"
#include "platform/platform.hpp"

#include <algorithm>
#include <array>
#include <deque>
#include <exception>
#include <fmt/format.h>
#include <memory>
#include <string_view>
#include <thread>

namespace rtd {
namespace fs = std::filesystem;

namespace {

// Publishers of scenery and tools: their folders hold no liveries.
constexpr std::array<std::string_view, 9> skipWords{"airport", "lvfr", "mkstudios", "simwings", "fsdreamteam",
                                                    "navigraph", "flytampa", "inibuilds", "_CVT_"};
constexpr std::size_t longPathText = 250;
// The status line shows the progress after this many files, and at the end of each folder.
constexpr std::size_t progressStep = 16;

using ScanTask = LiveryList (*)(std::int32_t, const fs::path&);

struct TaskResult {
    LiveryList records;
    TaskCapture capture;
    std::exception_ptr error;
};

// A started task, collected oldest first.
struct PendingTask {
    ScanTask task;
    std::int32_t priority;
    fs::path file;
    std::unique_ptr<TaskResult> result;
    std::thread thread;
};

struct ScanProgress {
    std::size_t found = 0;
    std::size_t done = 0;
};
ScanProgress progress;

void showProgress()
{
    setStatus(scanProgressText(progress.done, progress.found), false);
}

bool contains(std::string_view text, std::string_view word)
{
    return text.find(word) != std::string_view::npos;
}

ScanTask taskFor(const std::string& pathText)
{
    return contains(pathText, "ivao_x-csl") || contains(pathText, "IVAO_MTL") ? scanIvaoCfgFile
                                                                               : lf_searchLiveriesinFile;
}

// Runs the task on this thread, its appends and titles held in the result. The caller took
// the worker slot, which the task gives back.
void runCaptured(ScanTask task, std::int32_t priority, const fs::path& file, TaskResult& result)
{
    const TaskCaptureScope scope(result.capture);
    try {
        result.records = task(priority, file);
    } catch (...) {
        result.error = std::current_exception();
    }
}

std::string errorText(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown exception";
    }
}

class FolderWalk {
public:
    FolderWalk(std::int32_t priority, LiveryList& target) : priority_(priority), target_(target) {}
    FolderWalk(const FolderWalk&) = delete;
    FolderWalk& operator=(const FolderWalk&) = delete;
    ~FolderWalk();

    void walk(const fs::path& folder);
    void collectAll(std::string_view where);

private:
    void visit(const fs::directory_entry& entry);
    void start(const fs::path& file, const std::string& pathText);
    void collectOldest(std::string_view where);

    std::int32_t priority_;
    LiveryList& target_;
    std::deque<PendingTask> pending_;
};

// Only on the way out with an exception: no thread may outlive its walk.
FolderWalk::~FolderWalk()
{
    for (PendingTask& task : pending_)
        task.thread.join();
}

// Pre-order, like a recursive directory iterator that follows no directory links. A folder
// that cannot be listed is logged and left out; the walk goes on after it. An exit ends the
// walk between two entries.
void FolderWalk::walk(const fs::path& folder)
{
    std::vector<fs::directory_entry> entries;
    try {
        entries = sortedDirectoryEntries(folder);
    } catch (const std::exception& e) {
        logArrow(fmt::format("liveries search in folder {} aborted because of iterator problem: {}",
                             platform::pathToUtf8(folder), e.what()));
        return;
    }
    for (const fs::directory_entry& entry : entries) {
        if (exitBegan())
            return;
        bool descend = false;
        try {
            const std::string pathText = platform::pathToUtf8(entry.path());
            descend = !skipsDescent(pathText) && entry.symlink_status().type() == fs::file_type::directory;
            if (isAircraftCfgFile(entry))
                start(entry.path(), pathText);
        } catch (const std::exception& e) {
            logArrow(fmt::format("liveries search in {} aborted, cause: {}", platform::pathToUtf8(entry.path()),
                                 e.what()));
            continue;
        }
        if (descend)
            walk(entry.path());
    }
}

void FolderWalk::start(const fs::path& file, const std::string& pathText)
{
    waitForThreadSlot();
    PendingTask task{taskFor(pathText), priority_, file, std::make_unique<TaskResult>(), {}};
    try {
        task.thread = std::thread([run = task.task, priority = priority_, file, result = task.result.get()] {
            runCaptured(run, priority, file, *result);
        });
    } catch (...) {
        releaseThreadSlot();
        throw;
    }
    pending_.push_back(std::move(task));
    ++progress.found;
    if (pending_.size() > static_cast<std::size_t>(maxWorkers()))
        collectOldest("inner");
}

void FolderWalk::collectOldest(std::string_view where)
{
    PendingTask task = std::move(pending_.front());
    pending_.pop_front();
    task.thread.join();
    TaskResult& result = *task.result;
    if (!commitTaskCapture(result.capture)) {
        // An earlier file took a title this task took as new: run it again now that every
        // earlier file is committed.
        result = {};
        waitForThreadSlot();
        const LogSilence silence; // its log lines were written by the first run
        runCaptured(task.task, task.priority, task.file, result);
        commitTaskCapture(result.capture);
    }
    if (++progress.done % progressStep == 0)
        showProgress();
    if (result.error) {
        logArrow(fmt::format("liveries search aborted, futs {}, {}", where, errorText(result.error)));
        return;
    }
    target_.splice(target_.end(), result.records);
}

void FolderWalk::collectAll(std::string_view where)
{
    while (!pending_.empty())
        collectOldest(where);
}

} // namespace

std::string scanProgressText(std::size_t done, std::size_t found)
{
    return fmt::format("Scanning liveries: {} of {} aircraft.cfg files read", done, found);
}

void startScanProgress()
{
    progress = {};
}

bool skipsDescent(const std::string& pathText)
{
    return utf16Length(pathText) >= longPathText ||
           std::any_of(skipWords.begin(), skipWords.end(), [&](std::string_view word) { return contains(pathText, word); });
}

bool isAircraftCfgFile(const fs::directory_entry& entry)
{
    return entry.is_regular_file() && equalsUpper(".CFG", platform::pathToUtf8(entry.path().extension())) &&
           equalsUpper("AIRCRAFT", platform::pathToUtf8(entry.path().stem()));
}

void scanFolderTree(std::int32_t priority, const fs::path& folder, LiveryList& target)
{
    FolderWalk walk(priority, target);
    try {
        walk.walk(folder);
    } catch (const std::exception& e) {
        logArrow(fmt::format("liveries search in folder {} aborted because of iterator problem: {}",
                             platform::pathToUtf8(folder), e.what()));
    }
    walk.collectAll("outer");
    showProgress();
}

} // namespace rtd
