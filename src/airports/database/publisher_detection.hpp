#pragma once
// Who published the scenery package an add-on airport comes from: the simulator maker
// ("simaddon"), a publisher of the model database's publisher table, or "unknown". Tried in
// order: the maker's package names, the table against the file's path, and the package's
// "manifest.json" ("manufacturer", then "creator") against the table. Every step goes to
// the add-on scan's log.
//
// Safe to call from many scan tasks at once. Between beginPublisherScan() and
// endPublisherScan() the folder lookups and parsed manifests are kept, so the files of one
// package are looked at once per scan; the log lines stay the same.

#include <filesystem>
#include <optional>
#include <string>

namespace rtd {

struct PublisherResult {
    std::string publisher = "unknown"; // a publisher name, "simaddon" or "unknown"
    std::string manufacturer;          // from the manifest; empty when none was read
    std::string creator;
};

struct ManifestData {
    std::string manufacturer;
    std::string creator;
};

PublisherResult findPublisher(const std::string& path);

// The manifest of the scenery file's package, or of the nearest ancestor folder holding
// one; nothing when none is found or it cannot be read (logged, never thrown).
std::optional<ManifestData> lf_searchManifest(const std::string& path);

// The first regular file directly in the folder named exactly "manifest.json"; empty when
// there is none or the path is not a folder.
std::filesystem::path findManifestInFolder(const std::filesystem::path& folder);

// The manifest's top-level "manufacturer" and "creator" (null or absent: empty). Nothing
// when the file cannot be read or is empty; throws nlohmann::json's exceptions for broken
// JSON, a document that is not an object, or a member that is not a string.
std::optional<ManifestData> readManifest(const std::filesystem::path& path);

void beginPublisherScan();
void endPublisherScan();

} // namespace rtd
