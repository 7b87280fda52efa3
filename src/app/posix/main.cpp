// The headless Linux front: the window's messages are pumped on the main thread; SIGINT and
// SIGTERM stand for the window's close button.

#include "app/life_services.hpp"
#include "app/program.hpp"

#include "core/parameters.hpp"
#include "ui/headless/headless_window.hpp"
#include "ui/main_window.hpp"
#include "ui/window_position.hpp"

#include <csignal>
#include <cstdio>
#include <ctime>
#include <pthread.h>
#include <string>
#include <thread>

namespace {

sigset_t closeSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

// Posts a close to the window for each close signal, as a click on the close button would.
void postCloseOnSignals(std::stop_token stop, rtd::ui::HeadlessWindow& window)
{
    const sigset_t signals = closeSignals();
    const timespec poll{0, 100'000'000};
    while (!stop.stop_requested())
        if (sigtimedwait(&signals, nullptr, &poll) > 0)
            window.post(rtd::ui::message::close);
}

} // namespace

int rtd::app::runApplication()
{
    ui::loadWindowPosition();
    // The status line goes to standard output, each text once.
    ui::HeadlessWindow host(MAIN_WINDOW_X.value(), MAIN_WINDOW_Y.value(), [](const std::string& text) {
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    });
    app::LifeServices services;
    ui::MainWindow window(host, services);
    host.create(window);
    host.post(ui::message::startUp);
    const std::jthread closer([&host](std::stop_token stop) { postCloseOnSignals(stop, host); });
    return host.run();
}

int main()
{
    // Blocked before any thread starts, so every thread inherits the mask and the signals
    // reach sigtimedwait only.
    const sigset_t signals = closeSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    return rtd::app::runProgram();
}
