#include "liveries/publishers.hpp"

#include "core/log.hpp"
#include "liveries/dbase.hpp"

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <shared_mutex>
#include <unordered_map>

namespace rtd {
namespace {

struct CompiledPattern {
    std::optional<std::regex> regex;
    std::string error; // the library's text when the pattern is invalid
};

CompiledPattern compile(const std::string& pattern)
{
    CompiledPattern compiled;
    try {
        compiled.regex.emplace(pattern + ".*", std::regex::ECMAScript | std::regex::icase);
    } catch (const std::regex_error& e) {
        compiled.error = e.what();
    }
    return compiled;
}

// Patterns come from the model database and the airport files, so the cache stays small.
const CompiledPattern& compiledPattern(const std::string& pattern)
{
    static std::shared_mutex mutex;
    static std::unordered_map<std::string, std::unique_ptr<const CompiledPattern>> cache;
    {
        std::shared_lock lock(mutex);
        if (const auto found = cache.find(pattern); found != cache.end())
            return *found->second;
    }
    auto compiled = std::make_unique<const CompiledPattern>(compile(pattern));
    std::unique_lock lock(mutex);
    return *cache.try_emplace(pattern, std::move(compiled)).first->second;
}

bool isLiteral(const std::string& pattern)
{
    return pattern.find_first_of("\\^$.|?*+()[]{}") == std::string::npos;
}

bool fits(const std::string& path, const std::string& name)
{
    return path.find(name) != std::string::npos || containsPattern(path, name);
}

} // namespace

bool matchesPattern(const std::string& text, const std::string& pattern)
{
    try {
        const CompiledPattern& compiled = compiledPattern(pattern);
        if (!compiled.regex) {
            logLine("EXCEPTION " + compiled.error);
            return false;
        }
        return std::regex_match(text, *compiled.regex);
    } catch (const std::exception& e) {
        logLine(std::string("EXCEPTION ") + e.what());
        return false;
    }
}

bool containsPattern(const std::string& text, const std::string& pattern)
{
    if (isLiteral(pattern)) {
        // The common case, without the regular-expression machinery.
        const auto found = std::search(text.begin(), text.end(), pattern.begin(), pattern.end(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
        });
        return found != text.end() || pattern.empty();
    }
    try {
        const CompiledPattern& compiled = compiledPattern(pattern);
        if (!compiled.regex) {
            logLine("EXCEPTION " + compiled.error);
            return false;
        }
        return std::regex_search(text, *compiled.regex); // the appended ".*" matches nothing extra
    } catch (const std::exception& e) {
        logLine(std::string("EXCEPTION ") + e.what());
        return false;
    }
}

std::string findPublisherByPatterns(const std::string& path)
{
    for (const PublisherEntry& entry : modelDatabase().publishers)
        for (const std::string& name : entry)
            if (fits(path, name))
                return entry.front();
    return "unknown";
}

} // namespace rtd
