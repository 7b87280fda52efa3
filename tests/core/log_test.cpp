#include "core/exceptions.hpp"
#include "core/log.hpp"
#include "support/temp_folder.hpp"

#include <gtest/gtest.h>
#include <regex>

namespace rtd {
namespace {

using test::readText;
using test::writeFile;

class LogTest : public ::testing::Test {
protected:
    void TearDown() override { closeLogFile(); }

    test::TempFolder folder;
    std::filesystem::path log = folder / "Log.txt";
};

TEST_F(LogTest, RotatesTwoEarlierGenerations)
{
    // First start: nothing to back up.
    openLogFile(log);
    logLine("first run");
    closeLogFile();
    EXPECT_FALSE(std::filesystem::exists(folder / "Log0.txt"));

    // Second start: the previous log becomes Log0, no Log00 yet.
    openLogFile(log);
    logLine("second run");
    closeLogFile();
    EXPECT_NE(readText(folder / "Log0.txt").find("first run"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(folder / "Log00.txt"));

    // Third start: Log0 moves on to Log00 before the log is copied to Log0.
    openLogFile(log);
    closeLogFile();
    EXPECT_NE(readText(folder / "Log00.txt").find("first run"), std::string::npos);
    EXPECT_NE(readText(folder / "Log0.txt").find("second run"), std::string::npos);
    EXPECT_EQ(readText(log).find("run"), std::string::npos);
}

TEST_F(LogTest, NameWithoutDotIsNotBackedUp)
{
    const auto plain = folder / "Journal";
    writeFile(plain, "old\n");
    backupPreviousLogs(plain);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

TEST_F(LogTest, HeaderLineLayout)
{
    openLogFile(log);
    closeLogFile();
    const std::string text = readText(log);
    const std::string header = text.substr(0, text.find('\n'));
    EXPECT_TRUE(std::regex_match(
        header, std::regex(R"([A-Z][a-z]{2} [A-Z][a-z]{2} [ 1-3]\d \d\d:\d\d:\d\d \d{4} \(utc\) Ramptide version 8\.7\.0 for MSFS)")))
        << header;
}

TEST_F(LogTest, ArrowAndFlushedLinesReachTheFileAtOnce)
{
    openLogFile(log);
    logArrow("meta data incorrect?");
    EXPECT_NE(readText(log).find("===> meta data incorrect?\n"), std::string::npos);
    logLineFlushed("flushed line");
    EXPECT_NE(readText(log).find("flushed line\n"), std::string::npos);
}

TEST_F(LogTest, WritesWhileClosedAreSkipped)
{
    logLine("before open");
    logArrow("before open");
    openLogFile(log);
    logLine("while open");
    closeLogFile();
    logLine("after close");
    logArrow("after close");
    logLineFlushed("after close");
    const std::string text = readText(log);
    EXPECT_EQ(text.find("before open"), std::string::npos);
    EXPECT_EQ(text.find("after close"), std::string::npos);
    EXPECT_NE(text.find("while open\n"), std::string::npos);
    EXPECT_FALSE(logIsOpen());
}

TEST_F(LogTest, FailedBackupIsNotedAndTheLogStillOpens)
{
    writeFile(log, "previous\n");
    writeFile(folder / "Log0.txt", "older\n");
    std::filesystem::create_directory(folder / "Log00.txt"); // cannot be overwritten by a copy
    ASSERT_NO_THROW(openLogFile(log));
    ASSERT_TRUE(logIsOpen());
    closeLogFile();
    EXPECT_NE(readText(log).find("===> earlier logs not backed up"), std::string::npos);
}

TEST_F(LogTest, UnwritableLogThrowsSysError40)
{
    const auto missing = folder / "no such folder" / "Log.txt";
    try {
        openLogFile(missing);
        FAIL() << "no exception";
    } catch (const SysErrorException& e) {
        EXPECT_EQ(std::string(e.what()), "sys error 40: Failed to write file " + missing.string());
    }
    EXPECT_FALSE(logIsOpen());
}

} // namespace
} // namespace rtd
