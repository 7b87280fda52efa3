#include "liveries/dont_use.hpp"

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"
#include "core/text.hpp"
#include "liveries/scan_tables.hpp"
#include "platform/platform.hpp"

#include <fmt/format.h>
#include <pugixml.hpp>
#include <vector>

namespace rtd {
namespace fs = std::filesystem;

namespace {

// Shorter titles in a .TXT file are not taken.
constexpr std::size_t minimumTxtTitleLength = 9;

void logTitlesRead(std::size_t before, const fs::path& source)
{
    const std::size_t added = dontUseTitles.size() - before;
    logLine(fmt::format("{} don't use title{} read from files in {}", added, added == 1 ? "" : "s",
                        platform::pathToUtf8(source)));
}

void logReadError(const fs::path& file, const std::exception& e)
{
    logArrow(fmt::format("Error in reading regcode file {}, what: {}", platform::pathToUtf8(file), e.what()));
}

// Adds the title unless the file named it before, which is logged.
void addTitle(const fs::path& file, std::set<std::string>& seen, const std::string& title)
{
    if (seen.insert(title).second) {
        dontUseTitles.push_back(title);
        return;
    }
    logArrow(fmt::format("don't use title \"{}\" not unique in file {}", title, platform::pathToUtf8(file)));
}

bool isTxtFile(const fs::directory_entry& entry)
{
    return entry.is_regular_file() && equalsUpper(".TXT", platform::pathToUtf8(entry.path().extension()));
}

void readTxtFile(const fs::path& file)
{
    std::vector<std::string> lines;
    readTextFileLines(detectFileEncoding(file), file, lines);
    std::set<std::string> seen;
    for (const std::string& line : lines)
        readDontUseTitlesTxt(file, seen, line);
}

} // namespace

void readDontUseTitlesXml()
{
    const fs::path& file = paths().aigRegcodesPath;
    const std::size_t before = dontUseTitles.size();
    try {
        pugi::xml_document document;
        if (!document.load_file(file.c_str())) {
            logArrow(fmt::format("Failed to load regcode file {}", platform::pathToUtf8(file)));
        } else {
            std::set<std::string> seen;
            for (pugi::xml_node livery : document.child("AIG-regcodes").children("livery")) {
                if (livery.attribute("reg").as_string()[0] == '\0')
                    addTitle(file, seen, livery.attribute("title").as_string());
            }
        }
        logTitlesRead(before, file);
    } catch (const std::exception& e) {
        logReadError(file, e);
    }
}

void readDontUseTitlesFolder()
{
    const fs::path& folder = paths().myRegcodesFolder;
    const std::size_t before = dontUseTitles.size();
    for (const fs::directory_entry& entry : sortedDirectoryEntries(folder)) {
        if (!isTxtFile(entry))
            continue;
        try {
            readTxtFile(entry.path());
        } catch (const std::exception& e) {
            logReadError(entry.path(), e);
        }
    }
    logTitlesRead(before, folder);
}

void readDontUseTitlesTxt(const fs::path& file, std::set<std::string>& seen, const std::string& line)
{
    if (line.empty())
        return;
    const std::vector<std::string> fields = splitTokens(line);
    if (fields.empty())
        return;
    if (fields.size() == 1) {
        if (fields.front().size() >= minimumTxtTitleLength)
            addTitle(file, seen, fields.front());
        return;
    }
    if (!seen.insert(fields.front()).second)
        logArrow(fmt::format("title \"{}\" not unique in file {}", fields.front(), platform::pathToUtf8(file)));
}

} // namespace rtd
