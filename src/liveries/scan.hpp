#pragma once
// The livery scan: every aircraft.cfg file below the livery folders is read by a scan task on
// a worker thread of its own; the scan list gathers their records in the order the files
// were found, is corrected against the model database, pruned by folder priority, sorted,
// de-duplicated, saved as the scanned-livery list and handed to the lookup tables. Without a
// scan the list of the previous scan is read back instead. The result files of a scan lie in
// output/errors and output/info.
//
// Everything here runs on the start-up worker; only the scan tasks run elsewhere, and every
// task is collected before the scan returns. The walk visits the entries of each folder in
// ascending name order, and each task's issue lines and titles are committed in walk order,
// so the same files give the same output however the tasks are timed: of two files with the
// same title the one found first keeps it.

#include "liveries/aircraft_cfg.hpp"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <list>
#include <string>
#include <vector>

namespace rtd {

// The records of the running scan or of the list read back; empty between scans.
extern LiveryList scanList;

// Scans the folders (doScan) or reads the list of the previous scan. `automatic` adds the
// traffic packages of the Community folder to `folders`; `prioritized` keeps of every
// airline and model only the records of the lowest folder priority. True when it returns,
// also after a stop request; failures are thrown (UserErrorException 51, 52, 53 and
// filesystem errors).
bool scanLiveries(bool doScan, bool automatic, bool prioritized, std::vector<std::string>& folders);

// What the folders of one scan share.
struct FolderScanState {
    std::int32_t priority = 0;    // of the last existing folder; the first ten get 1..10
    std::size_t total = 0;        // liveries found in all folders
    std::size_t previousSize = 0; // of scanList after the previous folder
};

// Checks one folder text and scans the folder into scanList.
void scanOneFolder(FolderScanState& state, const std::string& folder);

// Appends the traffic package folders found directly in the Community folder. Throws
// std::filesystem::filesystem_error when the folder cannot be listed.
void findTrafficPackages(const std::filesystem::path& communityFolder, std::vector<std::string>& found);

// Walks the folder, starts a scan task per aircraft.cfg file and splices their records onto
// `target` in the order the files were found. Failures are logged, never thrown.
void scanFolderTree(std::int32_t priority, const std::filesystem::path& folder, LiveryList& target);

// Whether the walk stays out of the entry: a skip word in its path text, or a text of 250
// bytes or more.
bool skipsDescent(const std::string& pathText);

// Whether the entry is a file named aircraft.cfg in any letter case.
bool isAircraftCfgFile(const std::filesystem::directory_entry& entry);

// The result files of the previous scan, and output/errors when it is left empty.
void removeScanResultFiles();

// The error and information summary, with the result files of the non-empty issue lists.
void logScanSummary();

// Corrects the record's cargo flag, airline and model from the model database entry of its
// registration; every change is listed in dbaseCorrections. Empty database values are
// never applied.
void applyDbaseCorrections(LiveryData& record);

// Removes from scanList every record of an airline and model that also has a record of a
// smaller priority number; each removal is listed in skippedOnPriority.
void applyScanPriorities();

// Removes each record of the sorted scanList that equals the one before it in title,
// airline, model, regcode and cargo flag.
void removeDuplicateLiveries();

// Replaces the file with the lines, each followed by a line end. False when it cannot be
// written; the previous file is then unchanged.
bool writeLinesToFile(const std::vector<std::string>& lines, const std::filesystem::path& path);
bool writeLinesToFile(const std::list<std::string>& lines, const std::filesystem::path& path);

// Starts the progress count of a scan at 0 of 0 files.
void startScanProgress();

// The status line's progress text of a scan.
std::string scanProgressText(std::size_t done, std::size_t found);

} // namespace rtd
