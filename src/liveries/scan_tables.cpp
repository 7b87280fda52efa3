#include "liveries/scan_tables.hpp"

#include "platform/platform.hpp"

#include <algorithm>
#include <fmt/format.h>
#include <type_traits>

namespace rtd {

ScanTable<std::vector<std::string>> codeFixLines;
ScanTable<std::list<std::string>> invalidCfgFiles;
ScanTable<std::list<std::string>> incompleteSections;
ScanTable<std::list<std::string>> invalidAirlineCodes;
ScanTable<std::list<std::string>> invalidModelCodes;
ScanTable<std::list<std::string>> emptyCfgFiles;
TitleSet seenTitles;

std::vector<std::string> dbaseCorrections;
std::list<std::string> skippedOnPriority;
TitleList dontUseTitles;

namespace {

thread_local TaskCapture* runningCapture = nullptr;
static_assert(std::is_trivially_destructible_v<decltype(runningCapture)>);

} // namespace

TaskCapture* currentTaskCapture()
{
    return runningCapture;
}

TaskCaptureScope::TaskCaptureScope(TaskCapture& capture) : previous_(runningCapture)
{
    runningCapture = &capture;
}

TaskCaptureScope::~TaskCaptureScope()
{
    runningCapture = previous_;
}

bool TitleSet::insert(const std::string& title)
{
    TaskCapture* capture = currentTaskCapture();
    if (capture == nullptr) {
        const std::lock_guard lock(mutex);
        return titles.insert(title).second;
    }
    if (capture->newTitles.count(title) != 0 || contains(title))
        return false;
    capture->newTitles.insert(title);
    return true;
}

bool TitleSet::contains(const std::string& title)
{
    const std::lock_guard lock(mutex);
    return titles.count(title) != 0;
}

bool commitTaskCapture(TaskCapture& capture)
{
    {
        const std::lock_guard lock(seenTitles.mutex);
        for (const std::string& title : capture.newTitles) {
            if (seenTitles.titles.count(title) != 0)
                return false;
        }
        seenTitles.titles.insert(capture.newTitles.begin(), capture.newTitles.end());
    }
    for (auto& [table, line] : capture.lines)
        table->appendNow(std::move(line));
    capture = {};
    return true;
}

TitleList& TitleList::operator=(std::initializer_list<std::string> titles)
{
    clear();
    for (const std::string& title : titles)
        push_back(title);
    return *this;
}

void TitleList::push_back(std::string title)
{
    titles_.insert(std::move(title));
    ++added_;
}

void TitleList::clear()
{
    titles_.clear();
    added_ = 0;
}

bool isDontUseTitle(const std::string& title)
{
    return dontUseTitles.contains(title);
}

void addCodeFix(std::string line)
{
    codeFixLines.append(std::move(line));
}

void addCodeFix(std::string_view wrong, const std::filesystem::path& file, std::string_view replacement)
{
    addCodeFix(fmt::format("Fix: {} found in {} changed into {}", wrong, platform::pathToUtf8(file), replacement));
}

void addInvalidCfgFile(std::string line)
{
    invalidCfgFiles.append(std::move(line));
}

void addIncompleteSection(std::string line)
{
    incompleteSections.append(std::move(line));
}

void addInvalidAirlineCode(std::string_view code, const std::filesystem::path& file, std::string_view suffix)
{
    invalidAirlineCodes.append(fmt::format("{:12} in {} {}", code, platform::pathToUtf8(file), suffix));
}

void addInvalidModelCode(std::string_view code, const std::filesystem::path& file)
{
    invalidModelCodes.append(fmt::format("{:16} in {}", code, platform::pathToUtf8(file)));
}

void resetScanTables()
{
    dbaseCorrections.clear();
    invalidAirlineCodes.lines.clear();
    invalidModelCodes.lines.clear();
    codeFixLines.lines.clear();
    incompleteSections.lines.clear();
    emptyCfgFiles.lines.clear();
    invalidCfgFiles.lines.clear();
    seenTitles.titles.clear();
    dontUseTitles.clear();
    skippedOnPriority.clear();
}

} // namespace rtd
