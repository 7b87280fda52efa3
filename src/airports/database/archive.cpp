#include "airports/database/archive.hpp"

#include "airports/database/airport_database.hpp"
#include "airports/database/airport_folders.hpp"
#include "core/display.hpp"
#include "core/download.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "core/paths.hpp"
#include "core/settings_file.hpp"
#include "core/updater.hpp"
#include "core/version.hpp"
#include "core/zip_archive.hpp"
#include "liveries/publishers.hpp"
#include "platform/platform.hpp"

#include <algorithm>
#include <filesystem>
#include <fmt/format.h>
#include <vector>

namespace rtd {
namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t progressStep = 300;
constexpr std::size_t queueLimit = 256; // files waiting for a writer thread
constexpr unsigned writerThreads = 8;
const fs::path archiveZip{"archive.zip"};

std::string text(const fs::path& path)
{
    return platform::pathToUtf8(path);
}

bool updateDue(const Version& server)
{
    const Version installed = parseVersion(ARCHIVE_VERSION.value());
    const std::string serverText = versionToString(server);
    return isNewer(server, installed) ||
           ((serverText == "1.0.0" || serverText == "0.1.0") && isNewer(installed, server)) ||
           parseVersion(ARCHIVE_VERSION.value()).major == 0 || archiveFolderMissing();
}

void createFolderIfMissing(const fs::path& folder)
{
    if (!fs::exists(folder))
        fs::create_directory(folder);
}

void downloadArchiveDocument(const std::string& name)
{
    const CurlHandle handle = openCurlHandle();
    const fs::path download = platform::pathFromUtf8(name);
    const fs::path target = paths().docsFolder / download;
    if (!downloadToFile(handle.get(), updateServerBase() + "downloads/docs/" + name, download, false)) {
        logArrow(fmt::format("downloading {} failed?", text(target)));
        return;
    }
    if (copyFileWhole(download, target))
        logLine(fmt::format("{} downloaded", text(download)));
    else
        logArrow(fmt::format("writing {} failed?", text(target)));
    if (fs::exists(download))
        fs::remove(download);
}

} // namespace

std::optional<std::string> archiveEntryPath(std::string_view name)
{
    if (name.empty() || name.front() == '/' || name.front() == '\\')
        return std::nullopt;
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = std::min(name.find_first_of("/\\", start), name.size());
        const std::string_view part = name.substr(start, end - start);
        if (part.find(':') != std::string_view::npos)
            return std::nullopt; // a drive, or a stream of a file
        if (part == "..") {
            if (parts.empty())
                return std::nullopt;
            parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    // Only the archive's own folder: never the learned files or the scan's output.
    if (parts.size() < 2 || parts.front() != "archive")
        return std::nullopt;
    std::string path;
    for (const std::string_view part : parts)
        (path += path.empty() ? "" : "/") += part;
    return path;
}

void extractArchiveEntry(ArchiveExtraction& counts, const ZipEntry& entry)
{
    const std::string& name = entry.name;
    if (name.ends_with('/') || !name.ends_with(".xml"))
        return;
    const std::optional<std::string> relative = archiveEntryPath(name);
    if (!relative) {
        logArrow(fmt::format("refused archive entry {}", name));
        return;
    }
    const bool thirdparty = relative->find("thirdparty") != std::string::npos;
    if (thirdparty) {
        const std::string publisher = findPublisherByPatterns(*relative);
        if (publisher == "unknown" || publisherFolderName(publisher) == "unknown")
            logArrow(fmt::format("pub {} not found", name));
        else
            createFolderIfMissing(archiveThirdpartyFolder / platform::pathFromUtf8(publisher));
    }
    ++counts.extracted;
    if (counts.extracted % progressStep == 0)
        setStatus(fmt::format("Extracting {} ...  {} files", text(entry.archive->path()), counts.extracted), false);

    const fs::path target = airportsFolder / platform::pathFromUtf8(*relative);
    // Only the folder of a known publisher is made: the files of others are left out.
    if (thirdparty && !fs::is_directory(target.parent_path()))
        return;
    std::string content;
    // The stated size may be wrong: the reading itself stops at the limit.
    const int read = entry.archive->readEntry(entry, content, counts.maxEntryBytes);
    if (read == ZipArchive::entryTooLarge) {
        logArrow(fmt::format("refused archive entry {} of more than {} bytes", name, counts.maxEntryBytes));
    } else if (read != 0) {
        logArrow(fmt::format("reading {} failed?", name));
        ++counts.failed;
    } else if (counts.writer) {
        counts.writer->write(target, std::move(content));
    } else if (!writeStringToFile(content, target, FileSync::batched)) {
        logArrow(fmt::format("writing {} failed?", text(target)));
        ++counts.failed;
    }
}

ArchiveWriter::ArchiveWriter(unsigned threads)
{
    try {
        for (unsigned i = 0; i < std::max(1u, threads); ++i)
            threads_.emplace_back([this] { run(); });
    } catch (...) {
        finish();
        throw;
    }
}

ArchiveWriter::~ArchiveWriter()
{
    finish();
}

void ArchiveWriter::write(fs::path target, std::string text)
{
    std::string key = platform::pathToUtf8(target);
    std::transform(key.begin(), key.end(), key.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    std::unique_lock lock(mutex_);
    room_.wait(lock, [&] { return queue_.size() < queueLimit; });
    queue_.push_back(Job{std::move(target), std::move(text), std::move(key)});
    ready_.notify_one();
}

std::deque<ArchiveWriter::Job>::iterator ArchiveWriter::nextJob()
{
    for (auto job = queue_.begin(); job != queue_.end(); ++job) {
        const auto sameTarget = [&](const auto& other) { return other == job->key; };
        if (std::none_of(busy_.begin(), busy_.end(), sameTarget) &&
            std::none_of(queue_.begin(), job, [&](const Job& earlier) { return sameTarget(earlier.key); }))
            return job;
    }
    return queue_.end();
}

std::uint32_t ArchiveWriter::finish()
{
    {
        const std::lock_guard lock(mutex_);
        closing_ = true;
    }
    ready_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
    threads_.clear();
    return failed_;
}

void ArchiveWriter::run()
{
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            auto next = queue_.end();
            ready_.wait(lock, [&] {
                next = nextJob();
                return next != queue_.end() || (closing_ && queue_.empty());
            });
            if (next == queue_.end())
                return;
            job = std::move(*next);
            queue_.erase(next);
            busy_.push_back(job.key);
        }
        room_.notify_one();
        bool written = false;
        try {
            written = writeStringToFile(job.text, job.target, FileSync::batched);
        } catch (const std::exception&) {
        }
        if (!written) {
            logArrow(fmt::format("writing {} failed?", text(job.target)));
            ++failed_;
        }
        {
            const std::lock_guard lock(mutex_);
            busy_.erase(std::find(busy_.begin(), busy_.end(), job.key));
        }
        ready_.notify_all(); // a job of the same target may wait for this one
    }
}

void downloadArchiveTxt()
{
    downloadArchiveDocument("MSFS_archive.txt");
}

void downloadArchiveCsv()
{
    downloadArchiveDocument("MSFS_archive.csv");
}

bool updateArchive()
{
    const Version server = fetchArchiveVersionJson();
    if (server == Version{}) {
        logArrow("No archive version info found at the RMTD server?");
        return false;
    }
    if (!updateDue(server))
        return false;
    const std::string serverText = versionToString(server);
    setStatus(fmt::format("Downloading archive files version {} ...", serverText), true);
    {
        const CurlHandle handle = openCurlHandle();
        if (!downloadToFile(handle.get(), updateServerBase() + "downloads/archive/msfs/archive.zip", archiveZip, true)) {
            setStatus(fmt::format("Downloading archive files version {} failed", serverText), true);
            return false;
        }
    }
    for (const fs::path* folder : {&archiveFolder, &archiveStockFolder, &archiveSimaddonFolder, &archiveThirdpartyFolder})
        createFolderIfMissing(*folder);

    ArchiveExtraction counts;
    {
        ZipArchive archive(archiveZip);
        if (!archive.open()) {
            logArrow(fmt::format("coud not open {}", text(archiveZip)));
            return false;
        }
        ArchiveWriter writer(writerThreads);
        counts.writer = &writer;
        for (const ZipEntry& entry : archive.getEntries())
            extractArchiveEntry(counts, entry);
        counts.failed += writer.finish();
        archive.close();
    }
    platform::syncFileSystems(); // the files were written without waiting for the disk each
    setStatus(fmt::format("{} extracted {} files", text(archiveZip), counts.extracted), true);
    if (fs::exists(archiveZip))
        fs::remove(archiveZip);
    if (counts.failed > 0) {
        // The next start tries again.
        logArrow(fmt::format("{} archive files could not be written, archive version {} not stored", counts.failed,
                             serverText));
        return false;
    }
    ARCHIVE_VERSION.set(serverText);
    saveStringParameter(ARCHIVE_VERSION);
    setStatus(fmt::format("Archive has been updated to version {}", serverText), true);
    downloadArchiveTxt();
    downloadArchiveCsv();
    return true;
}

} // namespace rtd
