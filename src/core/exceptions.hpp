#pragma once
// The program's exception types. Each throw site passes its own fixed number, which only
// identifies the site in the text the user sees and in the log.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace rtd {

// An error the user can mend: "{number}: {message}", or the message alone for number 99.
class UserErrorException : public std::runtime_error {
public:
    UserErrorException(int number, const std::string& message);
};

// A failed system or library call: "sys error {number}: {text}".
class SysErrorException : public std::runtime_error {
public:
    SysErrorException(int number, const std::string& text);
};

} // namespace rtd

namespace win32 {

// A failed conversion between UTF-8 and UTF-16. The message is always one of the fixed
// texts of the converters; the error code is the Windows error value (1113 for invalid input).
class Utf8ConversionException : public std::exception {
public:
    static constexpr std::uint32_t fromUtf8 = 0;  // UTF-8 to UTF-16
    static constexpr std::uint32_t fromUtf16 = 1; // UTF-16 to UTF-8

    Utf8ConversionException(std::string message, std::uint32_t errorCode, std::uint32_t direction);

    const char* what() const noexcept override { return message_.c_str(); }
    std::uint32_t errorCode() const noexcept { return errorCode_; }
    std::uint32_t direction() const noexcept { return direction_; }

private:
    std::string message_;
    std::uint32_t errorCode_;
    std::uint32_t direction_;
};

} // namespace win32
