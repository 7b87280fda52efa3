#pragma once
// The process-wide tables of one livery scan. The scan's worker tasks append to them, each
// table under a mutex of its own held for that one append; the scan driver reads them after
// every task has ended, writes them to its result files and empties them with
// resetScanTables. No log line is written while a table's mutex is held.
//
// The scan driver runs each task under a TaskCapture: the task's appends and the titles it
// takes as new are then held apart, and the driver adds them to the tables in the order the
// files were found (commitTaskCapture), so the tables do not depend on which task ran first.

#include <filesystem>
#include <list>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace rtd {

struct TaskCapture;

// The capture of the task running on this thread; null outside a captured task.
TaskCapture* currentTaskCapture();

class IssueTable {
public:
    // Appends the line under the table's mutex.
    virtual void appendNow(std::string line) = 0;

protected:
    ~IssueTable() = default;
};

// A list of text lines that many threads append to.
template <typename Container>
struct ScanTable final : IssueTable {
    std::mutex mutex;
    Container lines;

    // Appends the line, or holds it in the running task's capture.
    void append(std::string line);

    void appendNow(std::string line) override
    {
        const std::lock_guard lock(mutex);
        lines.push_back(std::move(line));
    }
};

// The livery titles turned into records in this scan.
struct TitleSet {
    std::mutex mutex;
    std::set<std::string> titles;

    // True when the title was not in the set yet (it is now). Under a capture, true when
    // neither the set nor the task itself holds the title; the task then holds it.
    bool insert(const std::string& title);
    bool contains(const std::string& title);
};

// What one scan task added, in the order added.
struct TaskCapture {
    std::vector<std::pair<IssueTable*, std::string>> lines;
    std::set<std::string> newTitles;
};

// Runs a task's appends into `capture` on this thread while it lives.
class TaskCaptureScope {
public:
    explicit TaskCaptureScope(TaskCapture& capture);
    ~TaskCaptureScope();
    TaskCaptureScope(const TaskCaptureScope&) = delete;
    TaskCaptureScope& operator=(const TaskCaptureScope&) = delete;

private:
    TaskCapture* previous_;
};

// Adds the capture to the tables and its titles to seenTitles, in the order captured, once
// every task of an earlier file is committed. False, with nothing added, when an earlier
// file took one of its new titles meanwhile: the task decided on a stale view and must run
// again.
bool commitTaskCapture(TaskCapture& capture);

template <typename Container>
void ScanTable<Container>::append(std::string line)
{
    if (TaskCapture* capture = currentTaskCapture()) {
        capture->lines.emplace_back(this, std::move(line));
        return;
    }
    appendNow(std::move(line));
}

extern ScanTable<std::vector<std::string>> codeFixLines;     // Fixes.txt
extern ScanTable<std::list<std::string>> invalidCfgFiles;     // InvalidAircraftCfgFiles.txt
extern ScanTable<std::list<std::string>> incompleteSections;  // IncompleFltsimSections.txt
extern ScanTable<std::list<std::string>> invalidAirlineCodes; // InvalidAirlineCodes.txt
extern ScanTable<std::list<std::string>> invalidModelCodes;   // InvalidAircraftCodes.txt
extern ScanTable<std::list<std::string>> emptyCfgFiles;       // AircraftCfgWithNoFltsimSection.txt
extern TitleSet seenTitles;

// Titles that the scan skips, looked up by hash; size() counts every title added, repeats
// included.
class TitleList {
public:
    TitleList& operator=(std::initializer_list<std::string> titles);
    void push_back(std::string title);
    bool contains(const std::string& title) const { return titles_.count(title) != 0; }
    std::size_t size() const { return added_; }
    bool empty() const { return added_ == 0; }
    void clear();

private:
    std::unordered_set<std::string> titles_;
    std::size_t added_ = 0;
};

// Tables of the scan driver and of the registration-code files, filled and read on the
// start-up worker only; the section readers read dontUseTitles while the scan runs.
extern std::vector<std::string> dbaseCorrections;
extern std::list<std::string> skippedOnPriority;
extern TitleList dontUseTitles;

// Whether the title is one of dontUseTitles (exact comparison).
bool isDontUseTitle(const std::string& title);

void addCodeFix(std::string line);
// "Fix: {} found in {} changed into {}" (wrong code, file, replacement).
void addCodeFix(std::string_view wrong, const std::filesystem::path& file, std::string_view replacement);
void addInvalidCfgFile(std::string line);
void addIncompleteSection(std::string line);
// "{:12} in {} " (code, file) followed by the suffix.
void addInvalidAirlineCode(std::string_view code, const std::filesystem::path& file, std::string_view suffix);
// "{:16} in {}" (code, file).
void addInvalidModelCode(std::string_view code, const std::filesystem::path& file);

// Empties every table above. Takes no lock: call it only while no scan task runs.
void resetScanTables();

} // namespace rtd
