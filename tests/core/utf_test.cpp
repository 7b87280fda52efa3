#include "core/utf.hpp"

#include <gtest/gtest.h>

namespace rtd {
namespace {

using win32::Utf8ConversionException;

// UTF-16 code units as a std::wstring, the same on every build.
std::wstring units(std::initializer_list<unsigned> codes)
{
    std::wstring text;
    for (unsigned code : codes)
        text += static_cast<wchar_t>(code);
    return text;
}

TEST(UtfTest, RoundTripsEveryPlane)
{
    const struct {
        std::string utf8;
        std::wstring utf16;
    } cases[] = {
        {"", units({})},
        {"EDDF", units({'E', 'D', 'D', 'F'})},
        {std::string("a\0b", 3), units({'a', 0, 'b'})},
        {"J\xC3\xB6rg", units({'J', 0xF6, 'r', 'g'})},
        {"\xDF\xBF\xE0\xA0\x80", units({0x7FF, 0x800})},
        {"\xE2\x82\xAC\xEF\xBF\xBF", units({0x20AC, 0xFFFF})},
        {"\xF0\x9F\x98\x80", units({0xD83D, 0xDE00})},
        {"\xF4\x8F\xBF\xBF", units({0xDBFF, 0xDFFF})},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
        EXPECT_EQ(utf16ToUtf8(c.utf16), c.utf8) << c.utf8;
    }
}

TEST(UtfTest, RejectsInvalidUtf8)
{
    const std::string invalid[] = {
        "\x80",             // stray continuation byte
        "a\xC3",            // truncated at the end
        "\xC3(",            // continuation missing
        "\xC0\xAF",         // overlong '/'
        "\xE0\x80\xAF",     // overlong, three bytes
        "\xF0\x80\x80\xAF", // overlong, four bytes
        "\xED\xA0\x80",     // encoded high surrogate
        "\xED\xBF\xBF",     // encoded low surrogate
        "\xF4\x90\x80\x80", // above U+10FFFF
        "\xF5\x80\x80\x80", // invalid lead byte
        "\xFF",
    };
    for (const std::string& text : invalid) {
        try {
            utf8ToUtf16(text);
            ADD_FAILURE() << "accepted " << ::testing::PrintToString(text);
        } catch (const Utf8ConversionException& e) {
            EXPECT_STREQ(e.what(), "Invalid UTF-8 sequence found in input string.");
            EXPECT_EQ(e.errorCode(), 1113u);
            EXPECT_EQ(e.direction(), 0u);
        }
    }
}

TEST(UtfTest, RejectsLoneSurrogatesAndUnitsBeyondSixteenBits)
{
    const std::wstring invalid[] = {
        units({0xDC00}),              // lone low surrogate
        units({'a', 0xD800}),         // high surrogate at the end
        units({0xD800, 'a'}),         // high surrogate without its low one
        units({0xD800, 0xD800, 0xDC00}),
        units({0xDE00, 0xD83D}),      // pair in the wrong order
    };
    for (const std::wstring& text : invalid) {
        try {
            utf16ToUtf8(text);
            ADD_FAILURE() << "accepted a lone surrogate";
        } catch (const Utf8ConversionException& e) {
            EXPECT_STREQ(e.what(), "Invalid UTF-16 sequence found in input string.");
            EXPECT_EQ(e.errorCode(), 1113u);
            EXPECT_EQ(e.direction(), 1u);
        }
    }
    if constexpr (sizeof(wchar_t) > 2) {
        EXPECT_THROW(utf16ToUtf8(std::wstring(1, static_cast<wchar_t>(0x1F600))), Utf8ConversionException);
    }
}

TEST(UtfTest, ErrorTextsByDirectionPassAndCode)
{
    const struct {
        std::uint32_t direction;
        ConversionPass pass;
        std::uint32_t code;
        const char* text;
    } cases[] = {
        {0, ConversionPass::length, 1113, "Invalid UTF-8 sequence found in input string."},
        {0, ConversionPass::conversion, 1113, "Invalid UTF-8 sequence found in input string."},
        {0, ConversionPass::length, 87,
         "Cannot get result string length when converting from UTF-8 to UTF-16 (MultiByteToWideChar failed)."},
        {0, ConversionPass::conversion, 122, "Cannot convert from UTF-8 to UTF-16 (MultiByteToWideChar failed)."},
        {1, ConversionPass::length, 1113, "Invalid UTF-16 sequence found in input string."},
        {1, ConversionPass::conversion, 1113, "Invalid UTF-16 sequence found in input string."},
        {1, ConversionPass::length, 87,
         "Cannot get result string length when converting from UTF-16 to UTF-8 (WideCharToMultiByte failed)."},
        {1, ConversionPass::conversion, 122, "Cannot convert from UTF-16 to UTF-8 (WideCharToMultiByte failed)."},
    };
    for (const auto& c : cases) {
        const Utf8ConversionException error = makeConversionError(c.direction, c.pass, c.code);
        EXPECT_STREQ(error.what(), c.text);
        EXPECT_EQ(error.errorCode(), c.code);
        EXPECT_EQ(error.direction(), c.direction);
    }
    EXPECT_STREQ(makeTooLongError().what(), "Input string too long: size_t-length doesn't fit into int.");
}

} // namespace
} // namespace rtd
