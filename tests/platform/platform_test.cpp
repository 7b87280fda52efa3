#include "platform/platform.hpp"
#include "support/temp_folder.hpp"

#include <gtest/gtest.h>

namespace rtd::platform {
namespace {

TEST(SingleInstance, SecondHolderIsRefusedUntilTheFirstLetsGo)
{
    test::TempFolder folder;
    test::ScopedEnv local("LOCALAPPDATA", folder.path().string());
    const std::string name = "Local\\$RamptideTest$";

    auto first = acquireSingleInstance(name);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(acquireSingleInstance(name), nullptr);
    EXPECT_NE(acquireSingleInstance("Local\\$RamptideOther$"), nullptr);
    first.reset();
    EXPECT_NE(acquireSingleInstance(name), nullptr);
}

TEST(PathText, Utf8RoundTripsThroughPaths)
{
    const std::string text = "C:/Users/J\xC3\xBCrgen/\xE6\x97\xA5\xE6\x9C\xAC/Community";
    EXPECT_EQ(pathToUtf8(pathFromUtf8(text)), text);
    EXPECT_EQ(pathFromUtf8("a/b").filename(), "b");
}

TEST(PathText, NonAsciiFileNamesOpenAndRead)
{
    test::TempFolder folder;
    const auto path = folder.path() / pathFromUtf8("M\xC3\xBCnchen \xE6\x9D\xB1\xE4\xBA\xAC.txt");
    std::FILE* out = openFile(path, "wb");
    ASSERT_NE(out, nullptr);
    std::fputs("EDDM", out);
    std::fclose(out);
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(test::readFile(path), "EDDM");
}

} // namespace
} // namespace rtd::platform
