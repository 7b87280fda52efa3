#pragma once
// The built program and the test peer as child processes of an end-to-end test, and the lock
// that lets only one run at a time use the traffic service's fixed ports.

#include "wait_for_exit.hpp"

#include <chrono>
#include <filesystem>
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

// One line of the peer's record: scenario seconds and the text.
struct Line {
    double at;
    std::string text;
};
std::vector<Line> recordLines(const std::filesystem::path& record);
std::vector<Line> linesOf(const std::vector<Line>& lines, std::string_view prefix);

} // namespace rtd::test
