#include "core/updater.hpp"

#include <cstdlib>
#include <fmt/format.h>
#include <fmt/ranges.h>
#include <pugixml.hpp>
#include <sstream>
#include <vector>

#include "core/display.hpp"
#include "core/exceptions.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "core/paths.hpp"
#include "core/settings_file.hpp"
#include "core/zip_archive.hpp"
#include "platform/platform.hpp"

namespace rtd {
namespace fs = std::filesystem;
namespace {

// A version file holds one short line; anything longer is not one.
constexpr std::size_t maxVersionFileBytes = 64 * 1024;

// Removes a temporary file when the scope ends, however it ends.
class TemporaryFile {
public:
    explicit TemporaryFile(fs::path path) : path_(std::move(path)) {}
    ~TemporaryFile()
    {
        std::error_code ignored;
        fs::remove(path_, ignored);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

std::string text(const fs::path& path)
{
    return platform::pathToUtf8(path);
}

std::string updateUrl(std::string_view path)
{
    return updateServerBase() + std::string(path);
}

Version fetchVersionJson(std::string_view path)
{
    const CurlHandle handle = openCurlHandle();
    return fetchVersionFile(handle.get(), updateUrl(path));
}

Version storedVersion(const StringParameter& setting)
{
    return parseVersion(setting.value());
}

// Logs why a downloaded file is refused.
bool isWellFormedXml(const fs::path& path)
{
    pugi::xml_document document;
    const pugi::xml_parse_result result = document.load_file(path.c_str());
    if (result && document.document_element())
        return true;
    logLine(fmt::format("{} is not a valid XML file: {}", text(path), result.description()));
    return false;
}

struct DataFile {
    std::string_view urlPath;   // on the update server
    fs::path downloadPath;      // temporary, in the working folder
    fs::path installedPath;
    StringParameter& version;   // the installed file's version
};

// Downloads the data file, and installs it and stores its version when it arrived whole and
// parses. The temporary download is gone afterwards in every case.
void installDataFile(const DataFile& file, const Version& version, bool createFolder)
{
    const std::string versionText = versionToString(version);
    setStatus(fmt::format("Downloading {} version {} ...", text(file.downloadPath.filename()), versionText), true);
    const TemporaryFile download(file.downloadPath);
    const CurlHandle handle = openCurlHandle();
    if (!downloadToFile(handle.get(), updateUrl(file.urlPath), download.path(), false)) {
        logLine(fmt::format("downloading {} failed?", text(file.installedPath)));
        return;
    }
    if (!isWellFormedXml(download.path()))
        return;
    if (createFolder && !fs::exists(file.installedPath.parent_path()))
        fs::create_directory(file.installedPath.parent_path());
    fs::rename(download.path(), file.installedPath);
    file.version.set(versionText);
    saveStringParameter(file.version);
}

} // namespace

std::string updateServerBase()
{
    std::string base(updateServerUrl);
    if (const char* value = std::getenv("RAMPTIDE_UPDATE_URL"); value && *value)
        base = value;
    if (base.back() != '/')
        base += '/';
    return base;
}

Version fetchVersionFile(CURL* handle, const std::string& url)
{
    std::string body;
    if (!downloadToMemory(handle, url, body, maxVersionFileBytes)) {
        logArrow(fmt::format("downloading \"{}\" failed", url));
        return {};
    }
    std::istringstream stream(body);
    std::vector<std::string> lines;
    readStreamLinesToVector(stream, lines);
    return lines.empty() ? Version{} : parseVersion(lines.front());
}

Version fetchReleaseVersionJson()
{
    return fetchVersionJson("downloads/release/version.json");
}

Version fetchDbaseVersionJson()
{
    return fetchVersionJson("downloads/dbase/version.json");
}

Version fetchAigVersionJson()
{
    return fetchVersionJson("downloads/aig/version.json");
}

Version fetchArchiveVersionJson()
{
    return fetchVersionJson("downloads/archive/msfs/version.json");
}

void updateDbase()
{
    const Version version = fetchDbaseVersionJson();
    if (version == Version{}) {
        logArrow("No dbase version info found at the RMTD server?");
        return;
    }
    const DataFile file{"downloads/dbase/dbase.xml", paths().dbaseFileName,
                        paths().inputFolder / paths().dbaseFileName, DBASE_VERSION};
    if (isNewer(version, storedVersion(DBASE_VERSION)) || !fs::exists(file.installedPath))
        installDataFile(file, version, false);
}

void updateAigRegcodes()
{
    const Version version = fetchAigVersionJson();
    if (version == Version{}) {
        logArrow("No AIG regcodes version info found at the RMTD server?");
        return;
    }
    const DataFile file{"downloads/aig/AIG-regcodes.xml", paths().aigRegcodesFileName, paths().aigRegcodesPath,
                        AIG_VERSION};
    if (isNewer(version, storedVersion(AIG_VERSION)) || !fs::exists(file.installedPath.parent_path()) ||
        !fs::exists(file.installedPath))
        installDataFile(file, version, true);
}

void updateProgram(const fs::path& installFolder)
{
    const Version version = fetchReleaseVersionJson();
    if (version == Version{}) {
        logArrow("Program Version file not found?");
        return;
    }
    if (!isNewer(version, programVersion))
        return;
    if (downloadInstaller(version))
        throw UserErrorException(
            99, fmt::format("New version {} available. Exit here, and run as administrator:   \"{}\"",
                            versionToString(version), text(installFolder / paths().installerPath)));
    setStatus("download/extract of the new version failed? Try manually via my website", true);
}

bool downloadInstaller(const Version& version)
{
    const std::string versionText = versionToString(version);
    const std::string archiveName = fmt::format("setup_{}_v{}.zip", productName, versionText);
    const fs::path archivePath = platform::pathFromUtf8(archiveName);
    {
        const CurlHandle handle = openCurlHandle();
        if (!downloadToFile(handle.get(), updateUrl("downloads/release/" + archiveName), archivePath, true)) {
            setStatus(fmt::format("Downloading program installer file version {} failed", versionText), true);
            return false;
        }
    }
    logLine(fmt::format("downloaded {}", text(archivePath)));
    bool extracted = false;
    {
        ZipArchive archive(archivePath);
        if (!archive.open()) {
            logArrow(fmt::format("could not open {}", text(archivePath)));
        } else {
            for (const ZipEntry& entry : archive.getEntries())
                extractZip(extracted, entry);
        }
    }
    if (fs::exists(archivePath))
        fs::remove(archivePath);
    return extracted;
}

void extractZip(bool& extracted, const ZipEntry& entry)
{
    const fs::path& installer = paths().installerPath;
    if (const int code = entry.archive->extractEntry(entry, installer); code != 0) {
        logArrow(fmt::format("extracting error code : {}", code));
        return;
    }
    logLine(fmt::format("{} extracted to {}", text(entry.archive->path()), text(installer)));
    extracted = true;
}

std::string checkNewVersions()
{
    std::vector<std::string> names;
    if (isNewer(fetchReleaseVersionJson(), programVersion))
        names.emplace_back(productName);
    if (isNewer(fetchDbaseVersionJson(), storedVersion(DBASE_VERSION)))
        names.emplace_back("dbase.xml");
    if (isNewer(fetchArchiveVersionJson(), storedVersion(ARCHIVE_VERSION)))
        names.emplace_back("archive");
    if (isNewer(fetchAigVersionJson(), storedVersion(AIG_VERSION)))
        names.emplace_back("AIG-regcodes.xml");
    if (names.empty())
        return {};
    return fmt::format("==> New version{} for: {}", names.size() >= 2 ? "s" : "", fmt::join(names, ", "));
}

} // namespace rtd
