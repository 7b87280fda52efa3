#include "liveries/livery_sections.hpp"

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "core/text.hpp"
#include "liveries/dbase.hpp"
#include "liveries/fixes.hpp"
#include "liveries/scan_tables.hpp"
#include "platform/platform.hpp"

#include <algorithm>
#include <exception>
#include <fmt/format.h>

namespace rtd {
namespace {

constexpr std::size_t sectionLinesReserved = 48;
// A '[' this close to the start of a line opens another section, such as [General].
constexpr std::size_t sectionBracketLimit = 5;
constexpr std::size_t maxRegcodeLength = 12;

// Titles that never give a record and need no message.
bool isSkippedTitle(const std::string& title)
{
    return title.find("FenixA320") != std::string::npos || title.find("PMDG 737") != std::string::npos ||
           (SUPPRESS_STUB.value() && title.ends_with("-STUB"));
}

// The registration of an atc_id value: the part before any ';' when it is one registration
// of at most 12 bytes without wild cards; empty (mostly with a log line) otherwise.
std::string checkedRegcode(std::string value, const std::string& title)
{
    value = value.substr(0, value.find(';'));
    const std::vector<std::string> items = splitWords(value);
    if (items.empty()) {
        logLine(fmt::format("invalid atc_id={} ==> in: {}", value, title));
        return {};
    }
    for (const std::string& item : items) {
        if (item.empty()) {
            logLine(fmt::format("empty regcode in {} {}", title, value));
            return {};
        }
        if (item.size() > maxRegcodeLength) {
            logLine(fmt::format("regcode: {}, has more than 12 chars or contains UTF16 chars in \"{}\"?", item, title));
            return {};
        }
        if (item.find('*') != std::string::npos) {
            logArrow(fmt::format("{} {} wild cards no longer supported, atc_id skipped ", title, item));
            return {};
        }
    }
    return items.size() == 1 ? items.front() : std::string();
}

// Reads the keys of a section's lines into `state`. False when the section was rejected
// (with its message) or skipped for its title.
bool readSectionKeys(const std::vector<std::string>& section, SectionState& state, std::string& airline)
{
    const std::string folder = platform::pathToUtf8(state.folder);
    const auto reject = [&](std::string_view what) {
        addIncompleteSection(fmt::format("{} {} {}", folder, state.header, what));
        return false;
    };
    std::string repeated;
    for (const std::string& line : section) {
        if (state.title.empty()) {
            if (readTitle(line, state.title)) {
                state.title = trim(state.title);
                if (isSkippedTitle(state.title))
                    return false;
                continue;
            }
        } else if (readTitle(line, repeated)) {
            return reject("has more than one title key");
        }
        if (airline.empty()) {
            if (readIcaoAirline(line, airline)) {
                trimAndSplit(airline);
                if (isHouseAirlineCode(airline))
                    airline = defaultAirlineCode;
                continue;
            }
        } else if (line.find("icao_airline") != std::string::npos) {
            return reject("has more than one icao_airline key");
        }
        if (state.parkingTypes.empty()) {
            if (readAtcParkingTypes(line, state.parkingTypes)) {
                trimAndSplit(state.parkingTypes);
                state.parkingTypes = upperAscii(std::move(state.parkingTypes));
                continue;
            }
        } else if (isAtcParkingTypesLine(line)) {
            return reject("has more than one atc_parking_types key");
        }
        if (state.regcode.empty()) {
            if (readAtcId(line, state.regcode))
                state.regcode = checkedRegcode(std::move(state.regcode), state.title);
        } else if (isAtcIdLine(line)) {
            addIncompleteSection(fmt::format("{}, {}, has more than one atc_id key", folder, state.header));
            return false;
        }
    }
    return true;
}

LiveryList processSection(std::int32_t priority, std::vector<std::string>& section, const std::string& model,
                          const std::filesystem::path& file, const std::filesystem::path& folder)
{
    dropTrailingCommentLines(section);
    SectionState state;
    state.priority = priority;
    state.file = file;
    state.model = model;
    state.folder = folder;
    if (!section.empty())
        state.header = section.front();
    std::string airline;
    if (!readSectionKeys(section, state, airline))
        return {};
    const AircraftCategory category = sizeCategory(model);
    if (airline.empty() && category != Buzjets && category != Large && category != Heavy)
        airline = "PVT";
    const std::string folderText = platform::pathToUtf8(folder);
    if (state.title.empty()) {
        addIncompleteSection(fmt::format("{} {} misses title", folderText, state.header));
        return {};
    }
    if (isDontUseTitle(state.title))
        return {};
    if (airline.empty()) {
        addIncompleteSection(fmt::format("{} {} empty icao_airline=", folderText, state.header));
        return {};
    }
    std::vector<std::string> codes = splitCommaList(airline);
    std::sort(codes.begin(), codes.end());
    removeAdjacentDuplicates(codes);
    for (std::string& code : codes)
        applySectionFixes(state, std::move(code));
    return std::move(state.result);
}

void closeSection(CfgScanState& state)
{
    LiveryList records = lf_procesFltSimSection(state.priority, state.section, state.model, state.file, state.folder);
    records.sort(liveryLess);
    state.result.merge(records, liveryLess);
    state.section.clear();
}

LiveryList searchLiveries(std::int32_t priority, const std::filesystem::path& file)
{
    CfgScanState state;
    state.priority = priority;
    state.file = file;
    state.folder = liveryFolderOf(file);
    const FileEncoding encoding = detectFileEncoding(file);
    if (encoding == none_found)
        return {};
    std::vector<std::string> lines;
    if (!readAircraftCfgLines(encoding, file, lines) || !splitFltsimSections(lines, file))
        return {};
    state.model = fixGeneralSection(file, lines);
    if (state.model.empty())
        return {};
    state.section.reserve(sectionLinesReserved);
    for (const std::string& line : lines)
        parseCfgSections(state, line);
    if (state.pending) {
        state.pending = false;
        closeSection(state);
    }
    return std::move(state.result);
}

} // namespace

LiveryList lf_searchLiveriesinFile(std::int32_t priority, const std::filesystem::path& file)
{
    const WorkerSlotReturn slot;
    try {
        return searchLiveries(priority, file);
    } catch (const std::exception& e) {
        logLine(fmt::format("exception in lf_searchLiveriesinFile {}: {}", platform::pathToUtf8(file), e.what()));
        throw;
    }
}

void parseCfgSections(CfgScanState& state, const std::string& line)
{
    if (!readFltsimHeader(line).empty()) {
        state.pending = true;
        if (!state.section.empty())
            closeSection(state);
        state.section.push_back(line);
        return;
    }
    const std::size_t bracket = line.find('[');
    if (bracket != std::string::npos && bracket <= sectionBracketLimit) {
        if (state.pending) {
            closeSection(state);
            state.pending = false;
        }
        return;
    }
    if (state.pending)
        state.section.push_back(line);
}

LiveryList lf_procesFltSimSection(std::int32_t priority, std::vector<std::string>& section, const std::string& model,
                                  const std::filesystem::path& file, const std::filesystem::path& folder)
{
    try {
        return processSection(priority, section, model, file, folder);
    } catch (const std::exception& e) {
        logLine(fmt::format("exception in lf_procesFltSimSection: {}, file: {}", e.what(), platform::pathToUtf8(file)));
        throw;
    }
}

void applySectionFixes(SectionState& state, std::string code)
{
    if (pvtFixes.count(code) != 0 || govFixes.count(code) != 0) {
        addCodeFix(code, state.file, "PVT");
        code = "PVT";
    }
    if (code.size() == 4 && (code[3] == 'X' || code[3] == 'C'))
        code.pop_back();
    if (code.empty() || !isKnownAirline(code)) {
        addInvalidAirlineCode(code, state.file, state.header);
        return;
    }
    if (code == defaultAirlineCode)
        state.regcode.clear();
    const bool cargo = state.parkingTypes.find("CARGO") != std::string::npos &&
                       state.parkingTypes.find("GATE") == std::string::npos;
    LiveryData record = makeLiveryData(state.priority, code, state.model, cargo, state.title, state.regcode, state.dedupe);
    if (record.empty()) {
        addIncompleteSection(fmt::format("{} {} title \"{}\" already exists", platform::pathToUtf8(state.folder),
                                         state.header, state.title));
        return;
    }
    state.result.push_back(std::move(record));
    state.dedupe = false;
}

} // namespace rtd
