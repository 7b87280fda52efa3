#include "app/program.hpp"

#include "app/life_services.hpp"
#include "app/run_phase.hpp"
#include "core/display.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"
#include "core/version.hpp"
#include "platform/platform.hpp"
#include "simulator/client_library.hpp"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

namespace rtd::app {

namespace {
constexpr const char* instanceName = "Local\\$Ramptide$";
} // namespace

int runProgram()
{
    initProgramPaths();
    installLifeCycle();
    const auto instance = platform::acquireSingleInstance(instanceName);
    if (!instance)
        return -1;

    try {
        openLogFile();
    } catch (const std::exception& e) {
        platform::showFatalMessage(productName, e.what());
        return 1;
    }

    // Without its data folder the program still runs; it only cannot keep its settings.
    try {
        std::filesystem::create_directories(paths().programDataFolder);
    } catch (const std::exception& e) {
        showError(std::string("program data folder not created, settings are not saved: ") + e.what());
    }
    flushLog();

    const int result = runApplication();
    // The simulator's client library goes only once its thread has ended; one still running
    // at this point (left to end on its own) keeps it until the process ends.
    const std::vector<std::string> running = runningRunThreads();
    if (std::ranges::find(running, "simClientThread") == running.end())
        sim::releaseClientLibrary();
    return result;
}

} // namespace rtd::app
