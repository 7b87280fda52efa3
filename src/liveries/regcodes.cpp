#include "liveries/regcodes.hpp"

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"
#include "core/text.hpp"
#include "liveries/dbase.hpp"
#include "liveries/livery_text.hpp"
#include "liveries/title_table.hpp"
#include "platform/platform.hpp"

#include <exception>
#include <fmt/format.h>
#include <pugixml.hpp>

namespace fs = std::filesystem;

namespace rtd {

TextMap<LiveryRef> regcodeMap;
std::vector<LiveryRef> specialTitles;

namespace {

const fs::path inlineRegcodesName{"InlineRegcodes.txt"};
const fs::path offlineRegcodesName{"OfflineRegcodes.txt"};

std::vector<std::string> report;

void reportCounts(const std::string& pathText, const RegcodeCounts& counts)
{
    std::string line = fmt::format("{}: {} new regcode{} added", pathText, counts.added, plural(counts.added));
    if (counts.replaced > 0)
        line += fmt::format(", {} regcode{} replaced", counts.replaced, plural(counts.replaced));
    if (counts.special > 0)
        line += fmt::format(", {} regcode{} defined as special", counts.special, plural(counts.special));
    report.push_back(std::move(line));
}

void reportReadError(const std::string& pathText, const std::exception& error)
{
    report.push_back(fmt::format("{} Error in reading regcode file {}, what: {}", arrowPrefix, pathText, error.what()));
}

bool isTxtFile(const fs::directory_entry& entry)
{
    return entry.is_regular_file() && upperAscii(platform::pathToUtf8(entry.path().extension())) == ".TXT";
}

// The file's lines in its own encoding (a byte-order mark picks UTF-8 or UTF-16); none when
// it cannot be read whole.
std::vector<std::string> readRegcodeLines(const fs::path& path)
{
    std::vector<std::string> lines;
    const FileEncoding encoding = detectFileEncoding(path);
    if (encoding == none_found || !readTextFileLines(encoding, path, lines))
        lines.clear();
    return lines;
}

void readRegcodeTxtLines(const fs::path& path)
{
    const std::string pathText = platform::pathToUtf8(path);
    try {
        const std::vector<std::string> lines = readRegcodeLines(path);
        if (lines.empty())
            return;
        RegcodeCounts counts;
        for (const std::string& line : lines)
            readRegcodeTxtFile(pathText, line, counts);
        reportCounts(pathText, counts);
    } catch (const std::exception& error) {
        reportReadError(pathText, error);
    }
}

void readAigLiveries(const pugi::xml_document& document, RegcodeCounts& counts)
{
    for (const pugi::xml_node livery : document.child("AIG-regcodes").children("livery")) {
        const LiveryRef title = findLiveryTitle(livery.attribute("title").value());
        if (title.empty())
            continue;
        const bool special = getAttributeBool(livery, "special");
        for (const std::string& code : splitWords(livery.attribute("reg").value()))
            applyAigRegcode(code, title, special, counts);
    }
}

// `where` names the source in the length message.
void enterRegcode(std::string_view code, LiveryRef title, bool special, std::string_view where, RegcodeCounts& counts)
{
    if (code.empty() || code.size() > maxRegcodeLength) {
        report.push_back(fmt::format("{}wrong regcode length \"{}\" in {}", arrowPrefix, code, where));
        return;
    }
    const auto [entry, added] = regcodeMap.try_emplace(std::string(code), title);
    if (!added && entry->second != title) {
        report.push_back(fmt::format("   regcode {} for \"{}\", instead of for \"{}\"", code, title, entry->second));
        entry->second = title;
        ++counts.replaced;
    } else {
        ++counts.added;
    }
    if (special) {
        specialTitles.push_back(title);
        ++counts.special;
    }
}

} // namespace

void checkInlineRegcodes(LiveryList& scanList)
{
    std::deque<std::string> clashes;
    for (LiveryData& record : scanList)
        addInlineRegcode(clashes, record);
    if (clashes.empty())
        return;
    const fs::path& folder = paths().outputErrorsFolder;
    fs::create_directories(folder);
    const fs::path path = folder / inlineRegcodesName;
    writeStringVectorToFile({clashes.begin(), clashes.end()}, path);
    logArrow(fmt::format("{} in-line regcode clashes, see \"{}\"", clashes.size(), platform::pathToUtf8(path)));
}

void addInlineRegcode(std::deque<std::string>& clashes, LiveryData& record)
{
    if (record.regcode.empty())
        return;
    const LiveryRef title = findLiveryTitle(record.title);
    if (title.empty()) {
        logArrow(fmt::format("sys error: livery \"{}\" for a [{}] with regcode {} not available", record.title,
                             typeText(record), record.regcode));
        return;
    }
    const auto [entry, added] = regcodeMap.try_emplace(record.regcode, title);
    if (added || entry->second == title)
        return;
    clashes.push_front(fmt::format("[{}] {} \"{}\" => in use by \"{}\"", typeText(record), record.regcode, record.title,
                                   entry->second));
    record.regcode.clear();
}

void processOfflineRegcodes()
{
    report.clear();
    const ProgramPaths& p = paths();
    if (fs::exists(p.aigRegcodesPath))
        readAigRegcodesFile();
    if (countFiles(p.myRegcodesFolder) > 0)
        readRegcodeFolder();
    const fs::path path = p.outputInfoFolder / offlineRegcodesName;
    fs::remove(path);
    if (report.empty())
        return;
    writeStringVectorToFile(report, path);
    logLine(fmt::format("Offline regcode files processed, results can be found in \"{}\"", platform::pathToUtf8(path)));
    if (!specialTitles.empty())
        logLine(fmt::format("{} special liveries", specialTitles.size()));
}

const std::vector<std::string>& offlineRegcodeReport()
{
    return report;
}

void readAigRegcodesFile()
{
    const fs::path& path = paths().aigRegcodesPath;
    const std::string pathText = platform::pathToUtf8(path);
    report.push_back("Processing " + pathText);
    pugi::xml_document document;
    if (!document.load_file(path.c_str())) {
        report.push_back(fmt::format("{} Failed to load regcode file {}", arrowPrefix, pathText));
        return;
    }
    try {
        RegcodeCounts counts;
        readAigLiveries(document, counts);
        reportCounts(pathText, counts);
    } catch (const std::exception& error) {
        reportReadError(pathText, error);
    }
}

void readRegcodeFolder()
{
    const fs::path& folder = paths().myRegcodesFolder;
    report.push_back("Processing files in " + platform::pathToUtf8(folder));
    for (const fs::directory_entry& entry : sortedDirectoryEntries(folder))
        if (isTxtFile(entry))
            readRegcodeTxtLines(entry.path());
}

void applyAigRegcode(std::string_view code, LiveryRef title, bool special, RegcodeCounts& counts)
{
    enterRegcode(code, title, special, title, counts);
}

void applyTxtRegcode(std::string_view code, LiveryRef title, bool special, bool single, const std::string& pathText,
                     RegcodeCounts& counts)
{
    enterRegcode(code, title, special || single, pathText, counts);
}

void readRegcodeTxtFile(const std::string& pathText, const std::string& line, RegcodeCounts& counts)
{
    if (line.empty())
        return;
    const std::vector<std::string> fields = splitTokens(line);
    if (fields.size() >= 4) {
        report.push_back(fmt::format("{}{} wrong format: {}", arrowPrefix, pathText, line));
        logArrow(fmt::format("{} wrong format: {}", pathText, line));
        return;
    }
    if (fields.size() < 2)
        return;
    const LiveryRef title = findLiveryTitle(fields[0]);
    const std::vector<std::string> codes = splitWords(fields[1]);
    if (title.empty() || codes.empty())
        return;
    if (fields.size() == 3 && fields[2] != "#")
        return;
    for (const std::string& code : codes)
        applyTxtRegcode(code, title, fields.size() == 3, codes.size() == 1, pathText, counts);
}

void clearRegcodes()
{
    regcodeMap.clear();
    specialTitles.clear();
}

} // namespace rtd
