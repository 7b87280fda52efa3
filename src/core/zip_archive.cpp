#include "core/zip_archive.hpp"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>
#include <zip.h>

#include "core/files.hpp"
#include "platform/platform.hpp"

namespace rtd {
namespace fs = std::filesystem;
namespace {

constexpr std::size_t chunkBytes = 524288;

struct CloseEntryFile {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

// Hands the entry's content to `take` chunk by chunk; 0 or a libzip error code (ZIP_ER_WRITE
// when `take` gives up). libzip checks the entry's CRC when its last byte has been read.
template <typename Take>
int readChunks(zip_t* archive, std::uint64_t index, std::size_t bufferBytes, Take take)
{
    std::unique_ptr<zip_file_t, CloseEntryFile> in(zip_fopen_index(archive, index, 0));
    if (!in)
        return zip_error_code_zip(zip_get_error(archive));
    std::vector<char> buffer(bufferBytes);
    for (;;) {
        const zip_int64_t read = zip_fread(in.get(), buffer.data(), buffer.size());
        if (read < 0)
            return zip_error_code_zip(zip_file_get_error(in.get()));
        if (read == 0)
            return ZIP_ER_OK;
        if (!take(buffer.data(), static_cast<std::size_t>(read)))
            return ZIP_ER_WRITE;
    }
}

// Copies the entry's content into the open file; 0 or a libzip error code.
int copyEntry(zip_t* archive, std::uint64_t index, std::FILE* out)
{
    return readChunks(archive, index, chunkBytes,
                      [out](const char* bytes, std::size_t size) { return std::fwrite(bytes, 1, size, out) == size; });
}

} // namespace

ZipArchive::ZipArchive(fs::path path) : path_(std::move(path)) {}

ZipArchive::~ZipArchive()
{
    close();
}

bool ZipArchive::open()
{
    close();
    openError_ = ZIP_ER_OK;
    // libzip reads file names as UTF-8 on every platform.
    archive_ = zip_open(platform::pathToUtf8(path_).c_str(), ZIP_RDONLY, &openError_);
    return archive_ != nullptr;
}

void ZipArchive::close()
{
    if (archive_)
        zip_discard(archive_); // read-only: nothing to write back
    archive_ = nullptr;
}

std::vector<ZipEntry> ZipArchive::getEntries() const
{
    std::vector<ZipEntry> entries;
    if (!archive_)
        return entries;
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    for (zip_int64_t index = 0; index < count; ++index) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive_, static_cast<zip_uint64_t>(index), 0, &stat) != 0)
            continue;
        entries.push_back(ZipEntry{this, static_cast<std::uint64_t>(index), stat.name ? stat.name : "",
                                   (stat.valid & ZIP_STAT_SIZE) ? stat.size : 0});
    }
    return entries;
}

int ZipArchive::extractEntry(const ZipEntry& entry, const fs::path& target) const
{
    if (!archive_ || entry.archive != this)
        return ZIP_ER_INVAL;
    bool opened = false;
    int result = ZIP_ER_OK;
    const bool written = replaceFileWhole(target, true, [&](std::FILE* out) {
        opened = true;
        result = copyEntry(archive_, entry.index, out);
        return result == ZIP_ER_OK;
    });
    if (written)
        return ZIP_ER_OK;
    if (!opened)
        return ZIP_ER_OPEN;
    return result == ZIP_ER_OK ? ZIP_ER_WRITE : result;
}

int ZipArchive::readEntry(const ZipEntry& entry, std::string& content, std::uint64_t maxBytes) const
{
    content.clear();
    if (!archive_ || entry.archive != this)
        return ZIP_ER_INVAL;
    // Small entries are read in one piece; the stated size only sizes the buffer.
    const std::size_t bufferBytes = std::clamp<std::size_t>(static_cast<std::size_t>(entry.size) + 1, 256, chunkBytes);
    bool tooLarge = false;
    const int result = readChunks(archive_, entry.index, bufferBytes, [&](const char* bytes, std::size_t size) {
        tooLarge = size > maxBytes - std::min<std::uint64_t>(content.size(), maxBytes);
        if (!tooLarge)
            content.append(bytes, size);
        return !tooLarge;
    });
    if (result != ZIP_ER_OK)
        content.clear();
    return tooLarge ? entryTooLarge : result;
}

} // namespace rtd
