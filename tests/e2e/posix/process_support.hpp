#pragma once
// The built program and the test peer as child processes of an end-to-end test, and the lock
// that lets only one run at a time use the traffic service's fixed ports.

#include "wait_for_exit.hpp"

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace rtd::test {

// Holds the lock on the fixed ports for its lifetime.
class PortsLock {
public:
    PortsLock();
    ~PortsLock();
    PortsLock(const PortsLock&) = delete;
    PortsLock& operator=(const PortsLock&) = delete;

private:
    int fd_;
};

// Starts the program with standard output and error into `output`.
pid_t spawn(const std::vector<std::string>& arguments, const std::filesystem::path& output);

// Starts the built program in `install` with its application-data folders "Roaming" and
// "Local" in `folder`, the update server unreachable and the extra environment variables;
// its output goes to folder/program.txt.
pid_t spawnProgram(const std::filesystem::path& install, const std::filesystem::path& folder,
                   const std::vector<std::pair<std::string, std::string>>& environment = {});

// The Windows build under Wine, when the windows preset runs the test: RAMPTIDE_WINE names
// Wine's loader, RAMPTIDE_WINDOWS_EXE the program, RAMPTIDE_SIM_DLL the stand-in simulator
// built as the client library, and RAMPTIDE_CLOSE_WINDOW_EXE the tool that closes the
// program's window as the close button does. Each run has a Wine prefix of its own in
// `prefix`, whose roaming application-data folder is `roaming`.
class Wine {
public:
    // Nothing when RAMPTIDE_WINE is not set.
    static std::unique_ptr<Wine> fromEnvironment(const std::filesystem::path& prefix, const std::filesystem::path& roaming);
    Wine(std::string loader, std::filesystem::path prefix, const std::filesystem::path& roaming);
    ~Wine(); // ends every process of the prefix
    Wine(const Wine&) = delete;
    Wine& operator=(const Wine&) = delete;

    // As spawnProgram, with the program and the library copied into `install` and started there.
    pid_t spawnProgram(const std::filesystem::path& install, const std::filesystem::path& folder,
                       const std::vector<std::pair<std::string, std::string>>& environment) const;
    // Posts WM_CLOSE to the program's window; false when there was none.
    bool close() const;

private:
    int run(const std::vector<std::string>& arguments, const std::filesystem::path& output) const;

    std::string loader_;
    std::filesystem::path prefix_;
};

// One line of the peer's record: scenario seconds and the text.
struct Line {
    double at;
    std::string text;
};
std::vector<Line> recordLines(const std::filesystem::path& record);
std::vector<Line> linesOf(const std::vector<Line>& lines, std::string_view prefix);

} // namespace rtd::test
