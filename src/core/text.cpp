#include "core/text.hpp"

#include <cmath>
#include <fmt/format.h>
#include <utility>

namespace rtd {

namespace {

// The items of `text` up to each `separator`, trimmed, as a line reader would take them:
// a separator at the very end closes the last item and starts none.
std::vector<std::string> splitAt(const std::string& text, char separator)
{
    std::vector<std::string> items;
    items.reserve(16);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::string::npos)
            end = text.size();
        items.push_back(trim(std::string_view(text).substr(start, end - start)));
        start = end + 1;
    }
    return items;
}

constexpr std::pair<int, std::string_view> winsockErrors[] = {
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open sockets"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Messenger too long"},
    {10041, "Protocol wrong type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Net connection reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send numLines socket shutdown"},
    {10059, "Too many references, can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network system is unavailable"},
    {10092, "Winsock version out of range"},
    {10093, "WSAStartup not yet called"},
    {10101, "Graceful shutdown in progress"},
    {11001, "Host not found"},
    {11004, "No host data of that type was found"},
};

} // namespace

std::string trim(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(trimSet);
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = text.find_last_not_of(trimSet);
    return std::string(text.substr(first, last - first + 1));
}

std::vector<std::string> splitTokens(const std::string& text)
{
    return splitAt(text, ';');
}

std::vector<std::string> splitWords(const std::string& text)
{
    return splitAt(text, ',');
}

void trimAndSplit(std::string& text)
{
    if (text.find_first_of(trimSet) == std::string::npos)
        return;
    std::string joined;
    joined.reserve(text.size());
    for (const std::string& item : splitWords(text)) {
        joined += item;
        joined += ',';
    }
    if (!joined.empty())
        joined.pop_back();
    text = std::move(joined);
}

std::string extractQuoted(std::string_view text)
{
    const std::size_t open = text.find('"');
    if (open == std::string_view::npos)
        return std::string(text);
    const std::size_t close = text.find('"', open + 1);
    if (close == std::string_view::npos)
        return {};
    return std::string(text.substr(open + 1, close - open - 1));
}

bool equalsUpper(const std::string& upper, std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text == upper;
}

std::string makeBanner(long left, long right, bool leadingNewline, bool trailingNewline,
                       const std::string& text)
{
    long width = left + right;
    width += width % 2 != 0 ? 1 : 0;
    std::string banner = leadingNewline ? "\n" : "";
    const auto stars = [](long count) {
        return std::string(count > 0 ? static_cast<std::size_t>(count) : 0, '*');
    };
    if (text.empty()) {
        banner += stars(width);
    } else if (width > static_cast<long>(text.size()) + 2) {
        const std::string side = stars(width / 2 - 1);
        banner += side + ' ' + text + ' ' + side;
    } else {
        banner += text;
    }
    if (trailingNewline)
        banner += '\n';
    return banner;
}

std::string winsockErrorText(int code)
{
    for (const auto& [known, text] : winsockErrors) {
        if (known == code)
            return fmt::format("{} {}", code, text);
    }
    return fmt::format("{} Unknown errror code", code);
}

std::string formatNumber(float value)
{
    if (std::fmod(value, 1.0f) != 0.0f)
        return fmt::format("{:.1F}", value);
    return fmt::format("{:.0f}", value);
}

} // namespace rtd
