#pragma once
// The archive of airport files on the update server ("archive.zip"): installed into
// airports/archive when the server has another version than ARCHIVE_VERSION or a folder of
// the archive is missing (updateArchive, declared with archiveFolderMissing in
// airport_database.hpp). With each update the two documents listing the archive's contents
// are fetched into the "docs" folder.
//
// Entry names are paths below the airports folder. A name that would lead outside it (rooted,
// with a drive, or climbing out with "..", '\' also taken as a separator) is refused and
// neither written nor counted. The version is stored only when every entry that should have
// been written was written.

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
    void run();

    std::mutex mutex_;
    std::condition_variable ready_;
    std::condition_variable room_;
    std::deque<std::pair<std::filesystem::path, std::string>> queue_;
    bool closing_ = false;
    std::atomic<std::uint32_t> failed_{0};
    std::vector<std::thread> threads_;
};

struct ArchiveExtraction {
    std::uint32_t extracted = 0;     // ".xml" entries handled
    std::uint32_t failed = 0;        // of those, files that should have been written and were not
    ArchiveWriter* writer = nullptr; // when set, files are handed to it (its failures are its own)
};

// The entry name as a path below the airports folder with '/' separators, "." and ".."
// resolved; nothing when it is empty, rooted, names a drive or leaves the folder.
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
