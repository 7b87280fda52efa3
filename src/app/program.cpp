#include "app/program.hpp"

#include "app/life_services.hpp"
#include "core/display.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"
#include "core/version.hpp"
#include "platform/platform.hpp"

#include <exception>
#include <filesystem>

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

    return runApplication();
}

} // namespace rtd::app
