#pragma once
// A fresh installation folder as the current folder, with its own application-data folders,
// log and settings file, an update server that cannot be reached, and a window display that
// records what the run posts and shows. Every run-wide flag starts cleared.

#include "app/run_phase.hpp"
#include "app/startup.hpp"
#include "core/display.hpp"
#include "core/exit.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "core/paths.hpp"
#include "core/settings_file.hpp"
#include "support/temp_folder.hpp"
#include "traffic/link/service_link.hpp"

#include <gtest/gtest.h>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace rtd::test {

class RecordingDisplay : public WindowDisplay {
public:
    void postMessage(std::uint32_t message) override
    {
        std::lock_guard lock(mutex_);
        posted_.push_back(message);
    }
    void invalidate(const Rect& rect) override
    {
        if (rect != statusBand)
            return;
        const std::string text = mainWindowGlobals.statusLine().statusText;
        std::lock_guard lock(mutex_);
        if (!text.empty() && (statuses_.empty() || statuses_.back() != text))
            statuses_.push_back(text);
    }
    std::vector<std::uint32_t> posted() const
    {
        std::lock_guard lock(mutex_);
        return posted_;
    }
    std::vector<std::string> statuses() const
    {
        std::lock_guard lock(mutex_);
        return statuses_;
    }
    // Waits up to 20 s for the first posted message; 0 when none came.
    std::uint32_t waitForPost() const
    {
        for (int i = 0; i < 2000; ++i) {
            if (const auto messages = posted(); !messages.empty())
                return messages.front();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return 0;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::uint32_t> posted_;
    std::vector<std::string> statuses_;
};

class LifeTest : public ::testing::Test {
protected:
    LifeTest()
        : cwd(install.path()), roaming("APPDATA", (appData / "Roaming").string()),
          local("LOCALAPPDATA", (appData / "Local").string()), server("RAMPTIDE_UPDATE_URL", "http://127.0.0.1:1/")
    {
        std::filesystem::create_directory(install / "docs");
        std::filesystem::create_directory(install / "input");
        initProgramPaths();
        std::filesystem::create_directories(paths().programDataFolder);
        setParametersFile({});
        openLogFile(install / "Log.txt");
        setWindowDisplay(&display);
        setExitProcedure(&FinalExit);
        exiting = false;
        userClosed = false;
        readerFailed = false;
        exitReason = ExitReason::notYetSet;
        realTrafficOnThisPc = false;
        resetFeedState();
        clearErrorText();
        clearStatus();
    }

    ~LifeTest() override
    {
        setExitProcedure(nullptr);
        setWindowDisplay(nullptr);
        closeLogFile();
        exiting = false;
        userClosed = false;
        clearErrorText();
    }

    std::string log()
    {
        flushLog();
        return readText(install / "Log.txt");
    }

    std::string settingsFile() { return readText(paths().parametersPath); }

    static void waitForNoCountedThreads()
    {
        for (int i = 0; i < 1000 && activeThreadCount > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    TempFolder install;
    TempFolder appData;
    ScopedCurrentFolder cwd;
    ScopedEnv roaming;
    ScopedEnv local;
    ScopedEnv server;
    RecordingDisplay display;
};

} // namespace rtd::test
