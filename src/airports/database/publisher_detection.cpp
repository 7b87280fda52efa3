#include "airports/database/publisher_detection.hpp"

#include "airports/scan/airport_scan.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "liveries/publishers.hpp"
#include "platform/platform.hpp"

#include <fmt/format.h>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string_view>
#include <vector>

namespace rtd {
namespace fs = std::filesystem;

namespace {

constexpr int manifestLines = 48;

// What one scan has found out about folders and manifests.
struct ScanCache {
    std::mutex mutex;
    bool active = false;
    std::map<fs::path, fs::path> manifests; // folder -> its manifest, or empty
    struct Parsed {
        std::optional<ManifestData> data;
        std::exception_ptr error;
    };
    std::map<fs::path, Parsed> parsed;
};

ScanCache& cache()
{
    static ScanCache instance;
    return instance;
}

fs::path searchFolder(const fs::path& folder)
{
    std::error_code error;
    if (!fs::is_directory(folder, error))
        return {};
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        const fs::path& path = entry.path();
        if (path.stem() == "manifest" && path.extension() == ".json" && entry.is_regular_file())
            return path;
    }
    return {};
}

std::optional<ManifestData> parseManifest(const fs::path& path)
{
    LineFile file{path, {}};
    const std::vector<std::string>* lines = readLines(file, manifestLines);
    if (!lines)
        return std::nullopt;
    std::string text;
    for (const std::string& line : *lines)
        text += line;
    const nlohmann::json document = nlohmann::json::parse(text);
    if (!document.is_object())
        (void)document.at("manufacturer"); // throws the library's type error
    const auto member = [&](const char* name) {
        const auto found = document.find(name);
        return found == document.end() || found->is_null() ? std::string() : found->get<std::string>();
    };
    return ManifestData{member("manufacturer"), member("creator")};
}

// The text up to the end of the component after the first component "Community", when a
// further component follows ('\' and '/' both separate); empty otherwise.
std::string packageFolderText(std::string_view path)
{
    std::size_t start = 0;
    bool afterCommunity = false;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find_first_of("\\/", start), path.size());
        const std::string_view component = path.substr(start, end - start);
        if (afterCommunity)
            return end < path.size() && !component.empty() ? std::string(path.substr(0, end)) : std::string();
        afterCommunity = component == "Community";
        if (end >= path.size())
            break;
        start = end + 1;
    }
    return {};
}

// Logs the manifest found in the folder and returns its data; `found` tells whether there
// was one.
std::optional<ManifestData> manifestIn(const fs::path& folder, bool& found)
{
    const fs::path manifest = findManifestInFolder(folder);
    found = !manifest.empty();
    if (!found)
        return std::nullopt;
    pushScanLogLine(platform::pathToUtf8(manifest) + " found");
    return readManifest(manifest);
}

} // namespace

void beginPublisherScan()
{
    ScanCache& c = cache();
    const std::lock_guard lock(c.mutex);
    c.manifests.clear();
    c.parsed.clear();
    c.active = true;
}

void endPublisherScan()
{
    ScanCache& c = cache();
    const std::lock_guard lock(c.mutex);
    c.active = false;
    c.manifests.clear();
    c.parsed.clear();
}

fs::path findManifestInFolder(const fs::path& folder)
{
    ScanCache& c = cache();
    {
        const std::lock_guard lock(c.mutex);
        if (!c.active)
            return searchFolder(folder);
        if (const auto found = c.manifests.find(folder); found != c.manifests.end())
            return found->second;
    }
    fs::path manifest = searchFolder(folder);
    const std::lock_guard lock(c.mutex);
    if (c.active)
        c.manifests.emplace(folder, manifest);
    return manifest;
}

std::optional<ManifestData> readManifest(const fs::path& path)
{
    ScanCache& c = cache();
    {
        const std::lock_guard lock(c.mutex);
        if (!c.active)
            return parseManifest(path);
        if (const auto found = c.parsed.find(path); found != c.parsed.end()) {
            if (found->second.error)
                std::rethrow_exception(found->second.error);
            return found->second.data;
        }
    }
    ScanCache::Parsed parsed;
    try {
        parsed.data = parseManifest(path);
    } catch (...) {
        parsed.error = std::current_exception();
    }
    {
        const std::lock_guard lock(c.mutex);
        if (c.active)
            c.parsed.emplace(path, parsed);
    }
    if (parsed.error)
        std::rethrow_exception(parsed.error);
    return parsed.data;
}

std::optional<ManifestData> lf_searchManifest(const std::string& path)
{
    try {
        pushScanLogLine("Searching for the manifest file ... ");
        if (const std::string package = packageFolderText(path); !package.empty()) {
            const fs::path folder = platform::pathFromUtf8(package);
            if (fs::exists(folder)) {
                bool found = false;
                std::optional<ManifestData> data = manifestIn(folder, found);
                if (found)
                    return data;
            }
        }
        const fs::path parent = platform::pathFromUtf8(path).parent_path();
        std::vector<fs::path> elements(parent.begin(), parent.end());
        // The first element is a drive or a relative path's first folder and is not visited;
        // a root folder without a drive is.
        const std::size_t first = parent.has_root_directory() && !parent.has_root_name() ? 0 : 1;
        for (std::size_t i = elements.size(); i-- > first;) {
            const std::string name = platform::pathToUtf8(elements[i]);
            const std::size_t at = path.find(name);
            if (at == std::string::npos)
                continue;
            bool found = false;
            std::optional<ManifestData> data = manifestIn(platform::pathFromUtf8(path.substr(0, at) + name), found);
            if (data)
                return data;
        }
        return std::nullopt;
    } catch (const std::exception& e) {
        pushScanLogLine(fmt::format("exception in lf_searchManifest: {}", e.what()));
        return std::nullopt;
    }
}

PublisherResult findPublisher(const std::string& path)
{
    pushScanLogLine(fmt::format("\nTry find publisher in: {}", path));
    PublisherResult result;
    if (containsPattern(path, "microsoft-airport") || containsPattern(path, "asobo-airport")) {
        pushScanLogLine(fmt::format("from filename => publisher {}", "simaddon"));
        result.publisher = "simaddon";
        return result;
    }
    if (std::string candidate = findPublisherByPatterns(path); candidate != "unknown") {
        pushScanLogLine(fmt::format("publisher \"{}\" found", candidate));
        result.publisher = std::move(candidate);
        return result;
    }
    const std::optional<ManifestData> manifest = lf_searchManifest(path);
    if (!manifest) {
        pushScanLogLine(fmt::format("{}No publisher found", arrowPrefix));
        return result;
    }
    result.manufacturer = manifest->manufacturer;
    result.creator = manifest->creator;
    if (!result.manufacturer.empty()) {
        result.publisher = findPublisherByPatterns(result.manufacturer);
        if (result.publisher != "unknown") {
            pushScanLogLine(fmt::format("from manifest.json: manufacturer \"{}\" => publisher \"{}\"",
                                        result.manufacturer, result.publisher));
            return result;
        }
    }
    if (!result.creator.empty()) {
        result.publisher = findPublisherByPatterns(result.creator);
        if (result.publisher != "unknown") {
            pushScanLogLine(
                fmt::format("from manifest.json creator \"{}\" => publisher \"{}\"", result.creator, result.publisher));
            return result;
        }
    }
    pushScanLogLine(fmt::format("no valid info found in manifest about publisher, manufacturer:\"{}\", "
                                "creator:\"{}\"\\n  {}",
                                result.manufacturer, result.creator, path));
    result.publisher = "unknown";
    return result;
}

} // namespace rtd
