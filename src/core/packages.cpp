#include "core/packages.hpp"

#include <fmt/format.h>

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"
#include "platform/platform.hpp"

namespace rtd {
namespace fs = std::filesystem;
namespace {

constexpr int csidlAppData = 26;
constexpr int csidlLocalAppData = 28;
constexpr int expectedUserCfgLines = 32;
constexpr std::string_view installedPackagesKey = "InstalledPackagesPath";

struct UserCfgCandidate {
    const char* label;
    fs::path path;
};

fs::path steamFolder(const AppDataFolders& folders)
{
    return folders.roaming / "Microsoft Flight Simulator";
}

std::vector<UserCfgCandidate> userCfgCandidates(const AppDataFolders& folders)
{
    const fs::path packages = folders.local / "Packages";
    return {
        {"Store", packages / "Microsoft.FlightSimulator_8wekyb3d8bbwe" / "LocalCache" / "UserCfg.opt"},
        {"Steam1", steamFolder(folders) / "UserCfg.opt"},
        {"Steam2", packages / "Microsoft.FlightDashboard_8wekyb3d8bbwe" / "LocalCache" / "UserCfg.opt"},
        {"Boxed", folders.local / "MSFSPackages" / "UserCfg.opt"},
    };
}

} // namespace

AppDataFolders userAppDataFolders()
{
    return {specialFolderPath(csidlLocalAppData), specialFolderPath(csidlAppData)};
}

fs::path findUserCfg(const AppDataFolders& folders)
{
    const std::vector<UserCfgCandidate> candidates = userCfgCandidates(folders);
    for (const UserCfgCandidate& candidate : candidates) {
        if (fs::exists(candidate.path))
            return candidate.path;
        logLine(fmt::format("MSFS detection, no {}:{}", candidate.label, platform::pathToUtf8(candidate.path)));
    }
    return candidates.back().path;
}

std::string steamPackagesPath(const AppDataFolders& folders)
{
    const fs::path packages = steamFolder(folders) / "Packages";
    if (!fs::exists(packages))
        return {};
    const std::string text = platform::pathToUtf8(packages);
    logLine(fmt::format("Steam packages:{}", text));
    return text;
}

bool parseInstalledPackagesPath(fs::path& path, const std::string& line)
{
    if (line.find(installedPackagesKey) == std::string::npos)
        return false;
    path.clear();
    const std::size_t open = line.find('"');
    const std::size_t close = open == std::string::npos ? open : line.find('"', open + 1);
    if (close != std::string::npos)
        path = platform::pathFromUtf8(std::string_view(line).substr(open + 1, close - open - 1));
    if (!path.empty() && !fs::exists(path))
        path.clear();
    return true;
}

fs::path packagesPathFromUserCfg(const AppDataFolders& folders)
{
    LineFile cfg{findUserCfg(folders), {}};
    if (!fs::exists(cfg.path)) {
        logLine("No UserCfg.opt found?");
        return {};
    }
    fs::path result;
    if (const std::vector<std::string>* lines = readLines(cfg, expectedUserCfgLines)) {
        for (const std::string& line : *lines)
            if (parseInstalledPackagesPath(result, line))
                break;
    }
    logLine(fmt::format("UserCfg.opt: InstalledPackagesPath={}", result.empty() ? "???" : platform::pathToUtf8(result)));
    return result;
}

bool isPackagesPath(const fs::path& path)
{
    return !path.empty() && fs::exists(path) && fs::exists(path / paths().communityFolderName) &&
           fs::exists(path / paths().officialFolderName);
}

fs::path findPackagesPath(const AppDataFolders& folders)
{
    if (const fs::path steam = platform::pathFromUtf8(steamPackagesPath(folders)); isPackagesPath(steam))
        return steam;
    if (fs::path fromCfg = packagesPathFromUserCfg(folders); isPackagesPath(fromCfg))
        return fromCfg;
    return {};
}

} // namespace rtd
