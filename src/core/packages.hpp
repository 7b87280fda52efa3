#pragma once
// Finding the simulator's packages folder, the folder that holds "Community" and "Official".
// Its place depends on how the simulator was installed and on the user's choice recorded in
// the simulator's "UserCfg.opt". Everything here only reads; a missing file or folder gives
// an empty result, other file-system errors throw std::filesystem::filesystem_error.

#include <filesystem>
#include <string>

namespace rtd {

// The user's application-data folders the search starts from.
struct AppDataFolders {
    std::filesystem::path local;   // local application data (CSIDL 28)
    std::filesystem::path roaming; // roaming application data (CSIDL 26)
};

// The current user's folders, from specialFolderPath.
AppDataFolders userAppDataFolders();

// The first "UserCfg.opt" that exists among the Store, Steam1, Steam2 and Boxed places, each
// missing one logged ("MSFS detection, no Store:{}" ...). When none exists, the Boxed place.
std::filesystem::path findUserCfg(const AppDataFolders& folders = userAppDataFolders());

// Steam's packages folder when it exists (logged as "Steam packages:{}"), else empty.
std::string steamPackagesPath(const AppDataFolders& folders = userAppDataFolders());

// False when the line does not contain "InstalledPackagesPath". Otherwise `path` becomes the
// text between the line's first two double quotes (empty without such a pair, or when that
// path does not exist) and the result is true.
bool parseInstalledPackagesPath(std::filesystem::path& path, const std::string& line);

// The packages folder named by the first "InstalledPackagesPath" line of "UserCfg.opt";
// empty when there is no such file, line or folder. Logs what it found.
std::filesystem::path packagesPathFromUserCfg(const AppDataFolders& folders = userAppDataFolders());

// Whether the path is not empty, exists and holds both "Community" and "Official".
bool isPackagesPath(const std::filesystem::path& path);

// Steam's packages folder, else the one named in "UserCfg.opt", each only when
// isPackagesPath accepts it; else an empty path.
std::filesystem::path findPackagesPath(const AppDataFolders& folders = userAppDataFolders());

} // namespace rtd
