#pragma once
// Strict conversion between the program's UTF-8 text and the UTF-16 of the Windows
// interfaces. The codec is our own, so both builds give the same results and the same
// failure texts. A std::wstring holds UTF-16 code units on every build (on Linux, where
// wchar_t is wider, a unit above 0xFFFF is invalid input). An invalid sequence in either
// direction throws; nothing is ever replaced.

#include "core/exceptions.hpp"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace rtd {

// The Windows error of input that is not valid in its encoding (ERROR_NO_UNICODE_TRANSLATION).
inline constexpr std::uint32_t invalidSequenceError = 1113;

// The largest input, in bytes or UTF-16 units, that the converters take.
inline constexpr std::size_t maxConversionLength = 2147483647;

// Which of the two passes of a conversion failed: measuring the result, or converting.
enum class ConversionPass { length, conversion };

// The failure of a conversion in `direction` (Utf8ConversionException::fromUtf8 or
// fromUtf16) with the fixed text for that pass and Windows error code.
win32::Utf8ConversionException makeConversionError(std::uint32_t direction, ConversionPass pass,
                                                   std::uint32_t errorCode);

// The error for input longer than maxConversionLength.
std::overflow_error makeTooLongError();

// True when the text is valid UTF-8 by the rules utf8ToUtf16 applies.
bool isValidUtf8(std::string_view text);

// Throw win32::Utf8ConversionException (code 1113) on invalid input and std::overflow_error
// on input longer than maxConversionLength.
std::wstring utf8ToUtf16(const std::string& text);
std::string utf16ToUtf8(const std::wstring& text);

// The length of the UTF-8 text in UTF-16 units, the characters as Windows counts them: one
// per character, two for one beyond U+FFFF. Never throws: a byte that continues no sequence
// counts as one unit of its own.
std::size_t utf16Length(std::string_view text);

} // namespace rtd
