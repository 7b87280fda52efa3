#include "core/utf.hpp"

namespace rtd {

namespace {

using win32::Utf8ConversionException;

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// The code point of the UTF-8 sequence at text[i], advancing i past it, or -1 when the
// sequence is invalid: a stray continuation byte, a truncated sequence, an overlong form,
// a surrogate or a value above U+10FFFF.
long decodeUtf8(std::string_view text, std::size_t& i)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    int extra = 0;
    long code = 0;
    long minimum = 0;
    if (lead < 0x80) {
        ++i;
        return lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
        code = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        code = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        code = lead & 0x07;
        minimum = 0x10000;
    } else {
        return -1;
    }
    if (text.size() - i <= static_cast<std::size_t>(extra))
        return -1;
    for (int k = 1; k <= extra; ++k) {
        const auto byte = static_cast<unsigned char>(text[i + k]);
        if (!isContinuation(byte))
            return -1;
        code = (code << 6) | (byte & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return -1;
    i += static_cast<std::size_t>(extra) + 1;
    return code;
}

// Writes the UTF-8 form of `code` at `out` and returns the position after it.
char* writeUtf8(char* out, long code)
{
    if (code < 0x80) {
        *out++ = static_cast<char>(code);
    } else if (code < 0x800) {
        *out++ = static_cast<char>(0xC0 | (code >> 6));
        *out++ = static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (code >> 12));
        *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (code & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (code >> 18));
        *out++ = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (code & 0x3F));
    }
    return out;
}

std::size_t utf8Length(long code)
{
    return code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
}

bool isHighSurrogate(unsigned long unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool isLowSurrogate(unsigned long unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The code point of the unit or surrogate pair at text[i], advancing i past it. Throws on a
// lone surrogate or a unit above 0xFFFF.
long nextCodePoint(const std::wstring& text, std::size_t& i)
{
    const auto unit = static_cast<unsigned long>(text[i++]);
    if (unit < 0xD800)
        return static_cast<long>(unit);
    if (isHighSurrogate(unit) && i < text.size()) {
        const auto low = static_cast<unsigned long>(text[i]);
        if (isLowSurrogate(low)) {
            ++i;
            return 0x10000 + static_cast<long>(((unit - 0xD800) << 10) | (low - 0xDC00));
        }
    }
    if (unit > 0xFFFF || isHighSurrogate(unit) || isLowSurrogate(unit))
        throw makeConversionError(Utf8ConversionException::fromUtf16, ConversionPass::length,
                                  invalidSequenceError);
    return static_cast<long>(unit);
}

} // namespace

Utf8ConversionException makeConversionError(std::uint32_t direction, ConversionPass pass,
                                            std::uint32_t errorCode)
{
    const bool fromUtf8 = direction == Utf8ConversionException::fromUtf8;
    const char* text = nullptr;
    if (errorCode == invalidSequenceError)
        text = fromUtf8 ? "Invalid UTF-8 sequence found in input string."
                        : "Invalid UTF-16 sequence found in input string.";
    else if (pass == ConversionPass::length)
        text = fromUtf8 ? "Cannot get result string length when converting from UTF-8 to UTF-16 "
                          "(MultiByteToWideChar failed)."
                        : "Cannot get result string length when converting from UTF-16 to UTF-8 "
                          "(WideCharToMultiByte failed).";
    else
        text = fromUtf8 ? "Cannot convert from UTF-8 to UTF-16 (MultiByteToWideChar failed)."
                        : "Cannot convert from UTF-16 to UTF-8 (WideCharToMultiByte failed).";
    return Utf8ConversionException(text, errorCode, direction);
}

std::overflow_error makeTooLongError()
{
    return std::overflow_error("Input string too long: size_t-length doesn't fit into int.");
}

bool isValidUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        if (decodeUtf8(text, i) < 0)
            return false;
    }
    return true;
}

std::wstring utf8ToUtf16(const std::string& text)
{
    if (text.size() > maxConversionLength)
        throw makeTooLongError();
    std::wstring result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const long code = decodeUtf8(text, i);
        if (code < 0)
            throw makeConversionError(Utf8ConversionException::fromUtf8, ConversionPass::length,
                                      invalidSequenceError);
        if (code < 0x10000) {
            result += static_cast<wchar_t>(code);
        } else {
            result += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
            result += static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        }
    }
    return result;
}

std::string utf16ToUtf8(const std::wstring& text)
{
    if (text.size() > maxConversionLength)
        throw makeTooLongError();
    // Length pass: validates and measures; conversion pass: writes into the sized result.
    std::size_t length = 0;
    for (std::size_t i = 0; i < text.size();)
        length += utf8Length(nextCodePoint(text, i));
    std::string result(length, '\0');
    char* out = result.data();
    for (std::size_t i = 0; i < text.size();)
        out = writeUtf8(out, nextCodePoint(text, i));
    return result;
}

std::size_t utf16Length(std::string_view text)
{
    std::size_t units = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        std::size_t taken = 1;
        while (taken < length && i + taken < text.size() && (static_cast<unsigned char>(text[i + taken]) & 0xC0) == 0x80)
            ++taken;
        units += taken == 4 ? 2 : 1;
        i += taken;
    }
    return units;
}

} // namespace rtd
