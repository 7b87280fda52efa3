#pragma once
// The archive of airport files on the update server ("archive.zip"): installed into
// airports/archive when the server has another version than ARCHIVE_VERSION or a folder of
// the archive is missing (updateArchive, declared with archiveFolderMissing in
// airport_database.hpp). With each update the two documents listing the archive's contents
// are fetched into the "docs" folder.
//
// Entry names are paths below the airports folder, and only those inside its "archive" folder
// are written. A name that would lead elsewhere (rooted, with a drive, climbing out with "..",
// '\' also taken as a separator, or another folder of the tree) is refused with a log line and
// neither written nor counted, and so is an entry of more than 32 MiB. The version is stored
// only when every entry that should have been written was written; refused entries do not
// keep it back.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace rtd {

struct ZipEntry;

// Writes extracted files on a few threads of its own, so that the file system's time per file
// overlaps; the archive is read on the caller's thread. Each file is written whole
// (temporary file and rename) without waiting for the disk: the caller syncs once at the end.
// Files of one target (names equal but for ASCII letter case) are written one after the
// other in the order queued, so the last one queued stays.
class ArchiveWriter {
public:
    explicit ArchiveWriter(unsigned threads);
    ~ArchiveWriter();
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    // Queues the text, written followed by one line end; waits while the queue is full.
    void write(std::filesystem::path target, std::string text);
    // Waits for every queued file and ends the threads; the number of files not written.
    std::uint32_t finish();

private:
    struct Job {
        std::filesystem::path target;
        std::string text;
        std::string key; // the target's name in lower case
    };
    void run();
    // Under the mutex: the first queued job whose target is neither being written nor named
    // by an earlier queued job.
    std::deque<Job>::iterator nextJob();

    std::mutex mutex_;
    std::condition_variable ready_;
    std::condition_variable room_;
    std::deque<Job> queue_;
    std::vector<std::string> busy_; // keys of the targets being written
    bool closing_ = false;
    std::atomic<std::uint32_t> failed_{0};
    std::vector<std::thread> threads_;
};

inline constexpr std::uint64_t archiveEntryByteLimit = 32u << 20;

struct ArchiveExtraction {
    std::uint32_t extracted = 0;     // ".xml" entries handled
    std::uint32_t failed = 0;        // of those, files that should have been written and were not
    ArchiveWriter* writer = nullptr; // when set, files are handed to it (its failures are its own)
    std::uint64_t maxEntryBytes = archiveEntryByteLimit; // larger entries are refused
};

// The entry name as a path below the airports folder with '/' separators, "." and ".."
// resolved; nothing when it is empty, rooted, names a drive or does not lie inside the
// folder's "archive" folder.
std::optional<std::string> archiveEntryPath(std::string_view name);

// Extracts one entry of the open archive: folders and names not ending in ".xml" are
// skipped; a file under "thirdparty" whose publisher folder does not exist is skipped
// silently. Throws std::filesystem::filesystem_error when a publisher folder cannot be
// created.
void extractArchiveEntry(ArchiveExtraction& counts, const ZipEntry& entry);

// Fetch "MSFS_archive.txt" / "MSFS_archive.csv" into the "docs" folder; failures are logged.
void downloadArchiveTxt();
void downloadArchiveCsv();

} // namespace rtd
