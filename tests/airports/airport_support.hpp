#pragma once
// A fresh installation folder as the current folder, with "input", an open log and the
// airport database forgotten; the log closed at the end.

#include "airports/database/airport_database.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"
#include "support/temp_folder.hpp"

#include <gtest/gtest.h>
#include <filesystem>
#include <string>

namespace rtd::test {

class AirportFolderTest : public ::testing::Test {
protected:
    AirportFolderTest()
    {
        std::filesystem::create_directory(install / "input");
        openLogFile(install / "Log.txt");
        resetAirports();
        clearAirportNames();
    }
    ~AirportFolderTest() override
    {
        closeLogFile();
        resetAirports();
        clearAirportNames();
    }

    std::string logText() const
    {
        flushLog();
        return readText(install / "Log.txt");
    }

    TempFolder install;
    ScopedCurrentFolder cwd{install.path()};
};

} // namespace rtd::test
