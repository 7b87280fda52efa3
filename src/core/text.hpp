#pragma once
// Small text helpers shared by every subsystem: trimming, splitting of comma and semicolon
// lists, quoted values, banners for the log, socket error texts and short numbers.

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace rtd {

// The characters that trim() and trimAndSplit() remove: blank, tab, line feed, carriage return.
inline constexpr std::string_view trimSet = " \t\n\r";

// The text without leading and trailing characters of trimSet.
std::string trim(std::string_view text);

// The items of a ';' list (splitTokens) or a ',' list (splitWords), each trimmed. Empty items
// between separators are kept; a trailing separator adds no item; an empty text has none.
std::vector<std::string> splitTokens(const std::string& text);
std::vector<std::string> splitWords(const std::string& text);

// Rewrites a comma list as its trimmed items joined by ',' with no blanks. A text without any
// character of trimSet is left as it is.
void trimAndSplit(std::string& text);

// The text between the first double quote and the next one; the whole text when it holds no
// double quote; empty when no closing quote follows or the quotes are adjacent.
std::string extractQuoted(std::string_view text);

// Whether `text` with a..z raised to A..Z equals `upper` byte for byte.
bool equalsUpper(const std::string& upper, std::string text);

// A log banner: "****** text ******", left + right (rounded up to even) asterisks around the
// text, or the asterisks alone for an empty text, or the bare text when it is too wide.
std::string makeBanner(long left, long right, bool leadingNewline, bool trailingNewline,
                       const std::string& text);

// "{code} " followed by the Windows sockets text of the code, or "Unknown errror code".
std::string winsockErrorText(int code);

// "42" for a whole number, else one decimal ("0.5"); infinity and NaN in capitals.
std::string formatNumber(float value);

// Drops every element equal to the one before it (sort first to drop all duplicates).
// Returns how many were dropped.
template <typename Container>
std::size_t removeAdjacentDuplicates(Container& items)
{
    const auto kept = std::unique(items.begin(), items.end());
    const auto dropped = static_cast<std::size_t>(std::distance(kept, items.end()));
    items.erase(kept, items.end());
    return dropped;
}

} // namespace rtd
