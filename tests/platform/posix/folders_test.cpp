#include "platform/platform.hpp"
#include "support/temp_folder.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace rtd::platform {
namespace {

TEST(AppDataFolders, EnvironmentFirstThenXdgThenHome)
{
    test::ScopedEnv home("HOME", "/home/u");
    {
        test::ScopedEnv roaming("APPDATA", "/data/roaming");
        test::ScopedEnv local("LOCALAPPDATA", "/data/local");
        EXPECT_EQ(appDataFolder(), "/data/roaming");
        EXPECT_EQ(localAppDataFolder(), "/data/local");
    }
    test::ScopedEnv roaming("APPDATA", "");
    test::ScopedEnv local("LOCALAPPDATA", "");
    {
        test::ScopedEnv config("XDG_CONFIG_HOME", "/xdg/config");
        test::ScopedEnv data("XDG_DATA_HOME", "/xdg/data");
        EXPECT_EQ(appDataFolder(), "/xdg/config");
        EXPECT_EQ(localAppDataFolder(), "/xdg/data");
    }
    test::ScopedEnv config("XDG_CONFIG_HOME", "");
    test::ScopedEnv data("XDG_DATA_HOME", "");
    EXPECT_EQ(appDataFolder(), "/home/u/.config");
    EXPECT_EQ(localAppDataFolder(), "/home/u/.local/share");
}

TEST(SingleInstance, HeldAcrossProcesses)
{
    test::TempFolder folder;
    test::ScopedEnv local("LOCALAPPDATA", folder.path().string());
    const auto held = acquireSingleInstance("Local\\$RamptideTest$");
    ASSERT_NE(held, nullptr);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(acquireSingleInstance("Local\\$RamptideTest$") == nullptr ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the other process got the lock";
}

} // namespace
} // namespace rtd::platform
