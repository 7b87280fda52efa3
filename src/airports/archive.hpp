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

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rtd {

struct ZipEntry;

struct ArchiveExtraction {
    std::uint32_t extracted = 0; // ".xml" entries handled
    std::uint32_t failed = 0;    // of those, files that should have been written and were not
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
