#pragma once
// Scenery publishers by name patterns. A pattern is a case-insensitive ECMAScript regular
// expression that must match at the beginning of a text; each pattern is compiled once per
// process and kept, so repeated tests of the same pattern cost only the match.

#include <string>

namespace rtd {

// Whether the text begins with a match of the pattern (case-insensitive). An invalid
// pattern is logged ("EXCEPTION " + the library's text) and matches nothing. Never throws.
bool matchesPattern(const std::string& text, const std::string& pattern);

// Whether a match of the pattern occurs anywhere in the text (case-insensitive). An invalid
// pattern is logged like above and matches nothing. Never throws.
bool containsPattern(const std::string& text, const std::string& pattern);

// The first publisher of the model database with a name that occurs anywhere in the text,
// as plain text or as a pattern (containsPattern); "unknown" when none does.
std::string findPublisherByPatterns(const std::string& path);

} // namespace rtd
