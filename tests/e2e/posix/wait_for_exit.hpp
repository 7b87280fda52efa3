#pragma once
// Waiting for a started program to end.

#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <thread>

namespace rtd::test {

// The exit code (1000 + the signal when a signal ended it), or -1 when the process did not
// end within the time: it is then killed.
inline int waitForExit(pid_t pid, std::chrono::seconds bound)
{
    int status = 0;
    for (auto deadline = std::chrono::steady_clock::now() + bound; std::chrono::steady_clock::now() < deadline;) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

} // namespace rtd::test
