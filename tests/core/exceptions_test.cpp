#include "core/exceptions.hpp"

#include <gtest/gtest.h>

namespace {

TEST(Exceptions, UserErrorTexts)
{
    EXPECT_STREQ(rtd::UserErrorException(41, "Ramptide must be run from the Ramptide folder!").what(),
                 "41: Ramptide must be run from the Ramptide folder!");
    EXPECT_STREQ(rtd::UserErrorException(99, "new version 8.8.0 available").what(), "new version 8.8.0 available");
    const rtd::UserErrorException community(
        150, "No Community folder detected, type full path to Community above, and press Enter");
    EXPECT_EQ(std::string(community.what()).rfind("150: No Community", 0), 0U);
    // Catchers tell the kinds apart by type.
    EXPECT_THROW(throw rtd::UserErrorException(5, "x"), std::runtime_error);
}

TEST(Exceptions, SysErrorText)
{
    EXPECT_STREQ(rtd::SysErrorException(7, "listen failed").what(), "sys error 7: listen failed");
    EXPECT_STREQ(rtd::SysErrorException(99, "bare?").what(), "sys error 99: bare?");
}

TEST(Exceptions, ConversionErrorKeepsCodeAndDirection)
{
    const win32::Utf8ConversionException original("Invalid UTF-16 sequence found in input string.", 1113,
                                                  win32::Utf8ConversionException::fromUtf16);
    const win32::Utf8ConversionException copy(original);
    EXPECT_STREQ(copy.what(), "Invalid UTF-16 sequence found in input string.");
    EXPECT_EQ(copy.errorCode(), 1113U);
    EXPECT_EQ(copy.direction(), 1U);
    // Not a runtime_error: a catch of runtime_error must not swallow it.
    EXPECT_FALSE((std::is_base_of_v<std::runtime_error, win32::Utf8ConversionException>));
}

} // namespace
