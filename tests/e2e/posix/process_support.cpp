#include "process_support.hpp"

#include "support/temp_folder.hpp"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sstream>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace rtd::test {

namespace {
constexpr const char* portsLockFile = "/tmp/ramptide-reader-ports.lock";
}

PortsLock::PortsLock() : fd_(::open(portsLockFile, O_RDWR | O_CREAT | O_CLOEXEC, 0666))
{
    ::flock(fd_, LOCK_EX);
}

PortsLock::~PortsLock()
{
    ::close(fd_);
}

pid_t spawn(const std::vector<std::string>& arguments, const std::filesystem::path& output)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

pid_t spawnProgram(const std::filesystem::path& install, const std::filesystem::path& folder,
                   const std::vector<std::pair<std::string, std::string>>& environment)
{
    const ScopedCurrentFolder cwd(install);
    const ScopedEnv appData("APPDATA", (folder / "Roaming").string());
    const ScopedEnv local("LOCALAPPDATA", (folder / "Local").string());
    const ScopedEnv server("RAMPTIDE_UPDATE_URL", "http://127.0.0.1:1/");
    std::vector<std::unique_ptr<ScopedEnv>> extra;
    for (const auto& [name, value] : environment)
        extra.push_back(std::make_unique<ScopedEnv>(name, value));
    return spawn({RAMPTIDE_EXE}, folder / "program.txt");
}

std::unique_ptr<Wine> Wine::fromEnvironment(const std::filesystem::path& prefix, const std::filesystem::path& roaming)
{
    const char* loader = std::getenv("RAMPTIDE_WINE");
    return loader == nullptr ? nullptr : std::make_unique<Wine>(loader, prefix, roaming);
}

Wine::Wine(std::string loader, std::filesystem::path prefix, const std::filesystem::path& roaming)
    : loader_(std::move(loader)), prefix_(std::move(prefix))
{
    std::string windowsRoaming = "Z:" + roaming.string();
    std::replace(windowsRoaming.begin(), windowsRoaming.end(), '/', '\\');
    std::filesystem::create_directories(roaming);
    const std::filesystem::path output = prefix_.parent_path() / "wine.txt";
    EXPECT_EQ(run({loader_, "wineboot", "-i"}, output), 0);
    EXPECT_EQ(run({loader_, "reg", "add", R"(HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders)",
                   "/v", "AppData", "/t", "REG_EXPAND_SZ", "/d", windowsRoaming, "/f"},
                  output),
              0);
    // A crash ends the program with its backtrace in the output instead of a dialog nobody closes.
    EXPECT_EQ(run({loader_, "reg", "add", R"(HKCU\Software\Wine\WineDbg)", "/v", "ShowCrashDialog", "/t", "REG_DWORD",
                   "/d", "0", "/f"},
                  output),
              0);
}

Wine::~Wine()
{
    run({(std::filesystem::path(loader_).parent_path() / "wineserver").string(), "-k"}, prefix_.parent_path() / "wine.txt");
}

pid_t Wine::spawnProgram(const std::filesystem::path& install, const std::filesystem::path& folder,
                         const std::vector<std::pair<std::string, std::string>>& environment) const
{
    std::filesystem::copy_file(std::getenv("RAMPTIDE_WINDOWS_EXE"), install / "ramptide.exe");
    std::filesystem::copy_file(std::getenv("RAMPTIDE_SIM_DLL"), install / "SimConnect.dll");
    const ScopedCurrentFolder cwd(install);
    const ScopedEnv prefix("WINEPREFIX", prefix_.string());
    const ScopedEnv debug("WINEDEBUG", "-all");
    const ScopedEnv server("RAMPTIDE_UPDATE_URL", "http://127.0.0.1:1/");
    std::vector<std::unique_ptr<ScopedEnv>> extra;
    for (const auto& [name, value] : environment)
        extra.push_back(std::make_unique<ScopedEnv>(name, value));
    return spawn({loader_, "ramptide.exe"}, folder / "program.txt");
}

bool Wine::close() const
{
    return run({loader_, std::getenv("RAMPTIDE_CLOSE_WINDOW_EXE"), "Ramptide", "30"}, prefix_.parent_path() / "close.txt") == 0;
}

int Wine::run(const std::vector<std::string>& arguments, const std::filesystem::path& output) const
{
    const ScopedEnv prefix("WINEPREFIX", prefix_.string());
    const ScopedEnv debug("WINEDEBUG", "-all");
    return waitForExit(spawn(arguments, output), std::chrono::seconds(120));
}

std::vector<Line> recordLines(const std::filesystem::path& record)
{
    std::vector<Line> lines;
    std::istringstream in(readFile(record));
    std::string line;
    while (std::getline(in, line)) {
        const auto tab = line.find('\t');
        if (tab != std::string::npos)
            lines.push_back({std::stod(line.substr(0, tab)), line.substr(tab + 1)});
    }
    return lines;
}

std::vector<Line> linesOf(const std::vector<Line>& lines, std::string_view prefix)
{
    std::vector<Line> found;
    for (const Line& line : lines)
        if (line.text.starts_with(prefix))
            found.push_back(line);
    return found;
}

} // namespace rtd::test
