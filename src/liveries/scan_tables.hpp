#pragma once
// The process-wide tables of one livery scan. The scan's worker tasks append to them, each
// table under a mutex of its own held for that one append; the scan driver reads them after
// every task has ended, writes them to its result files and empties them with
// resetScanTables. No log line is written while a table's mutex is held.

#include <filesystem>
#include <list>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace rtd {

// A list of text lines that many threads append to.
template <typename Container>
struct ScanTable {
    std::mutex mutex;
    Container lines;

    void append(std::string line)
    {
        const std::lock_guard lock(mutex);
        lines.push_back(std::move(line));
    }
};

// The livery titles turned into records in this scan.
struct TitleSet {
    std::mutex mutex;
    std::set<std::string> titles;

    // True when the title was not in the set yet (it is now).
    bool insert(const std::string& title);
};

extern ScanTable<std::vector<std::string>> codeFixLines;     // Fixes.txt
extern ScanTable<std::list<std::string>> invalidCfgFiles;     // InvalidAircraftCfgFiles.txt
extern ScanTable<std::list<std::string>> incompleteSections;  // IncompleFltsimSections.txt
extern ScanTable<std::list<std::string>> invalidAirlineCodes; // InvalidAirlineCodes.txt
extern ScanTable<std::list<std::string>> invalidModelCodes;   // InvalidAircraftCodes.txt
extern ScanTable<std::list<std::string>> emptyCfgFiles;       // AircraftCfgWithNoFltsimSection.txt
extern TitleSet seenTitles;

// Tables of the scan driver and of the registration-code files, filled and read on the
// start-up worker only; the section readers read dontUseTitles while the scan runs.
extern std::vector<std::string> dbaseCorrections;
extern std::list<std::string> skippedOnPriority;
extern std::vector<std::string> dontUseTitles;

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
