#pragma once
// Keeps the program, the model database "dbase.xml" and the registration codes
// "AIG-regcodes.xml" current from the update server, and tells which of them (and the
// airport archive) have a newer version there. Each has a small version file on the server
// whose first line holds the version.
//
// A failed or refused download changes no installed file and no stored version: a data
// file replaces the installed one only when it was received whole and parses as XML.

#include <filesystem>
#include <string>
#include <string_view>

#include "core/download.hpp"
#include "core/version.hpp"

namespace rtd {

struct ZipEntry;

// The update server's base address, ending in '/'.
inline constexpr std::string_view updateServerUrl = "https://www.ramptide.com/";

// updateServerUrl, or the environment variable RAMPTIDE_UPDATE_URL when it is set and not
// empty (a '/' is appended when missing).
std::string updateServerBase();

// The version in the first line of the version file at `url`; 0.0.0 when it cannot be
// fetched or holds no version (the failure is logged). The file is read into memory, so any
// number of fetches may run at once.
Version fetchVersionFile(CURL* handle, const std::string& url);

Version fetchReleaseVersionJson();
Version fetchDbaseVersionJson();
Version fetchAigVersionJson();
Version fetchArchiveVersionJson();

// Install the server's file when it is newer than the stored version or the installed file
// is missing, then store its version in DBASE_VERSION / AIG_VERSION. File-system errors
// (a missing "input" folder) throw std::filesystem::filesystem_error.
void updateDbase();
void updateAigRegcodes();

// When the server has a newer program version, downloads and extracts its installer into
// the working folder and throws UserErrorException 99 telling the user to run it from
// installFolder; shows a status text when that failed.
void updateProgram(const std::filesystem::path& installFolder);

// Downloads "setup_Ramptide_v{version}.zip", extracts it to "install_new_version.exe" and
// removes it. True when at least one entry was written.
bool downloadInstaller(const Version& version);

// Writes the entry to "install_new_version.exe" (whole, or the file stays as it was) and
// sets `extracted` when that succeeded.
void extractZip(bool& extracted, const ZipEntry& entry);

// "==> New version{s} for: {names}" naming what the server has newer, in the order
// Ramptide, "dbase.xml", "archive", "AIG-regcodes.xml"; empty when nothing is newer.
std::string checkNewVersions();

} // namespace rtd
