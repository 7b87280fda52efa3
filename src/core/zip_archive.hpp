#pragma once
// A ZIP archive read through libzip: open read-only, list the entries, extract one entry to
// a file or read it into memory. An extracted file is written whole or not at all.

#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

struct zip;

namespace rtd {

class ZipArchive;

// One entry of an open archive, valid while the archive stays open.
struct ZipEntry {
    const ZipArchive* archive = nullptr;
    std::uint64_t index = 0;
    std::string name;       // as stored in the archive, '/' between folders
    std::uint64_t size = 0; // uncompressed bytes
};

class ZipArchive {
public:
    explicit ZipArchive(std::filesystem::path path);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // Opens the archive read-only. False, with the libzip error code in openError(), when
    // the file is missing or not a ZIP archive.
    bool open();
    bool isOpen() const { return archive_ != nullptr; }
    int openError() const { return openError_; }
    void close();

    // The entries in the archive's order; none when the archive is not open.
    std::vector<ZipEntry> getEntries() const;

    // Writes the entry's content to `target`, through a temporary file beside it that is
    // renamed over the target only when the whole entry was read and written. Returns 0, or
    // the libzip error code (ZIP_ER_*) of the failure; the target is then unchanged.
    int extractEntry(const ZipEntry& entry, const std::filesystem::path& target) const;

    // Reads the entry's whole content into `content`, whatever size the archive states for
    // it, but no more than maxBytes. Returns 0, entryTooLarge when the entry holds more, or the
    // libzip error code of the failure (a damaged entry fails its CRC check); `content` is
    // then empty.
    static constexpr int entryTooLarge = -1;
    int readEntry(const ZipEntry& entry, std::string& content,
                  std::uint64_t maxBytes = std::numeric_limits<std::uint64_t>::max()) const;

private:
    std::filesystem::path path_;
    zip* archive_ = nullptr;
    int openError_ = 0;
};

} // namespace rtd
