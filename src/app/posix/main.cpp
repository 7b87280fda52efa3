// The headless Linux front: runs until SIGINT or SIGTERM, which stand for the window's
// close button.

#include "app/program.hpp"

#include <csignal>
#include <pthread.h>

namespace {

sigset_t closeSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

} // namespace

int rtd::app::runApplication()
{
    const sigset_t signals = closeSignals();
    int received = 0;
    sigwait(&signals, &received);
    finishRun();
    return 0;
}

int main()
{
    // Blocked before any thread starts, so every thread inherits the mask and the signals
    // reach sigwait only.
    const sigset_t signals = closeSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    return rtd::app::runProgram();
}
