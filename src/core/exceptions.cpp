#include "core/exceptions.hpp"

#include <fmt/format.h>

namespace rtd {

namespace {
// 99 is the one number whose text is the message alone (the updater's new-version notice).
constexpr int bareMessageNumber = 99;
} // namespace

UserErrorException::UserErrorException(int number, const std::string& message)
    : std::runtime_error(number == bareMessageNumber ? message : fmt::format("{}: {}", number, message))
{
}

SysErrorException::SysErrorException(int number, const std::string& text)
    : std::runtime_error(fmt::format("sys error {}: {}", number, text))
{
}

} // namespace rtd

namespace win32 {

Utf8ConversionException::Utf8ConversionException(std::string message, std::uint32_t errorCode,
                                                 std::uint32_t direction)
    : message_(std::move(message)), errorCode_(errorCode), direction_(direction)
{
}

} // namespace win32
