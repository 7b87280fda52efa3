#pragma once
// ZIP archives for tests, made with libzip itself. Entries are stored uncompressed, so a
// test can find an entry's bytes in the file and damage them.

#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>
#include <zip.h>

#include "platform/platform.hpp"

namespace rtd::test {

using ZipContent = std::vector<std::pair<std::string, std::string>>; // entry name, bytes

inline void writeZip(const std::filesystem::path& path, const ZipContent& entries)
{
    int error = 0;
    zip_t* archive = zip_open(platform::pathToUtf8(path).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        throw std::runtime_error("cannot create the test archive");
    for (const auto& [name, bytes] : entries) {
        zip_source_t* source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
        const zip_int64_t index = source ? zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0 || zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0) != 0) {
            zip_source_free(source);
            zip_discard(archive);
            throw std::runtime_error("cannot add to the test archive");
        }
    }
    if (zip_close(archive) != 0) {
        zip_discard(archive);
        throw std::runtime_error("cannot write the test archive");
    }
}

} // namespace rtd::test
