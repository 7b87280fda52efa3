#include "liveries/aircraft_cfg.hpp"

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/text.hpp"
#include "core/workers.hpp"
#include "liveries/dbase.hpp"
#include "liveries/fixes.hpp"
#include "liveries/scan_tables.hpp"
#include "platform/platform.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <fmt/format.h>
#include <tuple>

namespace rtd {

const std::unordered_map<std::string, std::string> defaultAircraftTypes{
    {"Asobo_FlightDesignCT", "FDCT"}, {"Asobo_DA40_NG", "DA40"},
    {"Asobo_Longitude", "C700"},      {"Asobo_Cap10C", "CP10"},
    {"Asobo_VL3", "VL3"},             {"Asobo_CJ4", "C25C"},
    {"Asobo_Savage_Cub", "SAVG"},     {"Asobo_C152", "C152"},
    {"Asobo_Savage_ShockUltra", "SAVG"}, {"Asobo_C152_Aerobat", "C152"},
    {"Asobo_XCub", "CC19"},           {"Asobo_C172sp_AS1000", "C172"},
    {"Asobo_Pitts", "PTS2"},          {"Asobo_C172sp_classic", "C172"},
    {"Asobo_SR22", "SR22"},           {"Asobo_Bonanza_G36", "BE36"},
    {"Asobo_Icon", "A5"},             {"Asobo_Baron_G58", "B58T"},
    {"Asobo_TBM930", "TBM9"},         {"Asobo_B747_8i", "B748"},
    {"Asobo_KingAir350", "B350"},     {"Asobo_B787_10", "B78X"},
    {"Asobo_E330", "E300"},           {"Asobo_208B_GRAND_CARAVAN_EX", "C208"},
    {"Asobo_DV20", "DV20"},           {"Asobo_A320_NEO", "A20N"},
    {"Asobo_DR400", "DR40"},          {"FlyByWire_A320_NEO", "A20N"},
    {"Asobo_DA62", "DA62"},           {"Asobo_DA40_TDI", "DA40"},
};

namespace {

// The blanks of a key line: space, tab, line feed, vertical tab, form feed, carriage return.
bool isBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isWordChar(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

// Consumes `word` (any letter case) at the front of `text`.
bool consumeIgnoringCase(std::string_view& text, std::string_view word)
{
    if (!equalsIgnoringCase(text.substr(0, word.size()), word))
        return false;
    text.remove_prefix(word.size());
    return true;
}

void skipBlanks(std::string_view& text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
}

void dropTrailingBlanks(std::string_view& text)
{
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
}

bool holdsLineBreak(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// The checks of a model code found in a file: known, else corrected by a model fix, else
// reported as invalid (empty result).
std::string checkModelCode(const std::string& code, const std::filesystem::path& file)
{
    if (!code.empty() && isKnownModel(code))
        return code;
    const auto fix = modelFixes.find(code);
    if (fix != modelFixes.end()) {
        addCodeFix(code, file, fix->second);
        return fix->second;
    }
    addInvalidModelCode(code, file);
    return {};
}

// The folder name after "IVAO_" of ...<sep><package><sep>SimObjects<sep>Airplanes<sep>IVAO_<word
// characters><sep>aircraft.cfg, any letter case, '\' or '/' as separator.
std::optional<std::string_view> ivaoFolderModel(std::string_view text, std::string_view package)
{
    const std::array<std::string_view, 3> folders{package, "SimObjects", "Airplanes"};
    std::array<std::string_view, 5> parts; // the folders, the model folder, the file name
    std::size_t end = text.size();
    for (std::size_t k = parts.size(); k-- > 0;) {
        const std::size_t separator = end == 0 ? std::string_view::npos : text.find_last_of("\\/", end - 1);
        if (separator == std::string_view::npos)
            return std::nullopt;
        parts[k] = text.substr(separator + 1, end - separator - 1);
        end = separator;
    }
    if (end == 0 || holdsLineBreak(text))
        return std::nullopt;
    for (std::size_t k = 0; k < folders.size(); ++k) {
        if (!equalsIgnoringCase(parts[k], folders[k]))
            return std::nullopt;
    }
    std::string_view modelFolder = parts[3];
    if (!consumeIgnoringCase(modelFolder, "IVAO_") || modelFolder.empty() ||
        !std::all_of(modelFolder.begin(), modelFolder.end(), isWordChar))
        return std::nullopt;
    const std::string_view name = parts[4];
    if (name.size() != 12 || !equalsIgnoringCase(name.substr(0, 8), "aircraft") ||
        !equalsIgnoringCase(name.substr(9), "cfg"))
        return std::nullopt;
    return modelFolder;
}

} // namespace

std::string upperAscii(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

bool liveryLess(const LiveryData& a, const LiveryData& b)
{
    return std::tie(a.airline, a.model, a.regcode, a.title) < std::tie(b.airline, b.model, b.regcode, b.title);
}

std::string regexValue(std::string_view line, std::string_view key)
{
    if (line.size() > maxMatchedLineLength)
        return {};
    skipBlanks(line);
    if (!consumeIgnoringCase(line, key))
        return {};
    skipBlanks(line);
    if (!consumeIgnoringCase(line, "="))
        return {};
    skipBlanks(line);
    dropTrailingBlanks(line);
    if (holdsLineBreak(line))
        return {};
    return std::string(line);
}

bool readTitle(std::string_view line, std::string& title)
{
    const std::string value = regexValue(line, "title");
    if (value.empty())
        return false;
    std::string quoted = extractQuoted(value);
    if (!quoted.empty())
        title = std::move(quoted);
    return true;
}

namespace {

// Sets `out` from the quoted value of a `key` line when that has at least `minimum` bytes.
bool readQuotedValue(std::string_view line, std::string_view key, std::size_t minimum, std::string& out)
{
    std::string value = extractQuoted(regexValue(line, key));
    if (value.empty() || value.size() < minimum)
        return false;
    out = std::move(value);
    return true;
}

} // namespace

bool readTexture(std::string_view line, std::string& texture)
{
    return readQuotedValue(line, "texture", 1, texture);
}

bool readAtcParkingTypes(std::string_view line, std::string& types)
{
    return readQuotedValue(line, "atc_parking_types", 1, types);
}

bool readAtcId(std::string_view line, std::string& regcode)
{
    return readQuotedValue(line, "atc_id", 5, regcode);
}

bool readIcaoAirline(std::string_view line, std::string& airline)
{
    const std::string value = regexValue(line, "icao_airline");
    if (value.empty())
        return false;
    const std::string quoted = extractQuoted(value);
    airline = quoted.empty() || quoted.starts_with("ZZZZ") ? std::string(defaultAirlineCode) : upperAscii(quoted);
    return true;
}

std::string readIcaoTypeDesignator(std::string_view line)
{
    return upperAscii(extractQuoted(regexValue(line, "icao_type_designator")).substr(0, 4));
}

std::string readBaseContainer(std::string_view line)
{
    const std::string value = regexValue(line, "base_container");
    if (value.empty())
        return {};
    const std::string reference = extractQuoted(value);
    if (reference.size() < 3) {
        logLine(fmt::format("base_container value \"{}\" names no default aircraft", reference));
        return {};
    }
    const auto type = defaultAircraftTypes.find(reference.substr(3));
    return type == defaultAircraftTypes.end() ? std::string() : upperAscii(type->second);
}

std::optional<std::string> airlineAfterPrefix(std::string_view title, std::string_view prefix)
{
    if (!consumeIgnoringCase(title, prefix))
        return std::nullopt;
    skipBlanks(title);
    if (title.size() < 3 || !std::all_of(title.begin(), title.begin() + 3, isWordChar) || holdsLineBreak(title))
        return std::nullopt;
    return std::string(title.substr(0, 3));
}

FltsimHeader classifyFltsimHeader(std::string_view line)
{
    if (line.starts_with("//"))
        return {};
    if (line.size() <= maxMatchedLineLength) {
        std::string_view rest = line;
        skipBlanks(rest);
        if (consumeIgnoringCase(rest, "[fltsim.")) {
            const auto digitsEnd = std::find_if_not(rest.begin(), rest.end(), isDigit);
            const std::string_view digits = rest.substr(0, static_cast<std::size_t>(digitsEnd - rest.begin()));
            rest.remove_prefix(digits.size());
            if (!digits.empty() && consumeIgnoringCase(rest, "]")) {
                skipBlanks(rest);
                if (rest.empty())
                    return {FltsimHeader::numbered, std::string(digits)};
            }
        }
    }
    if (line.find("[fltsim.") != std::string_view::npos || line.find("[FLTSIM.") != std::string_view::npos)
        return {FltsimHeader::unnumbered, {}};
    return {};
}

std::string readFltsimHeader(std::string_view line)
{
    FltsimHeader header = classifyFltsimHeader(line);
    switch (header.kind) {
    case FltsimHeader::numbered:
        return std::move(header.digits);
    case FltsimHeader::unnumbered:
        return "10000";
    default:
        return {};
    }
}

bool isAtcIdLine(std::string_view line)
{
    return line.find("atc_id=") != std::string_view::npos;
}

bool isAtcParkingTypesLine(std::string_view line)
{
    return line.find("atc_parking_types") != std::string_view::npos;
}

bool splitFltsimSections(const std::vector<std::string>& lines, const std::filesystem::path& file)
{
    std::vector<std::int32_t> numbers;
    bool unnumbered = false;
    for (const std::string& line : lines) {
        const FltsimHeader header = classifyFltsimHeader(line);
        if (header.kind == FltsimHeader::unnumbered)
            unnumbered = true;
        if (header.kind != FltsimHeader::numbered)
            continue;
        std::int32_t number = 0;
        const char* end = header.digits.data() + header.digits.size();
        if (std::from_chars(header.digits.data(), end, number).ec != std::errc()) {
            logArrow(fmt::format("fltsim num {} incorrect", line));
            return false;
        }
        numbers.push_back(number);
    }
    const std::string path = platform::pathToUtf8(file);
    if (numbers.empty() && !unnumbered) {
        emptyCfgFiles.append(path);
        return true;
    }
    std::sort(numbers.begin(), numbers.end());
    std::int32_t expected = 0;
    for (const std::int32_t number : numbers) {
        if (number != expected) {
            addInvalidCfgFile(fmt::format("{} contains non-consecutive [fltsim.x] numbers at .x={}", path, number));
            return false;
        }
        ++expected;
    }
    if (unnumbered) {
        addInvalidCfgFile(path + " contains a [fltsim.] section without a number");
        return false;
    }
    return true;
}

bool readAircraftCfgLines(FileEncoding encoding, const std::filesystem::path& file, std::vector<std::string>& lines)
{
    if (readTextFileLines(encoding, file, lines))
        return true;
    if (encoding == UTF16_little_endian || encoding == UTF16_big_endian)
        addInvalidCfgFile(platform::pathToUtf8(file) + " is not valid UTF-16, all its liveries are left out");
    return false;
}

std::string fixGeneralSection(const std::filesystem::path& file, const std::vector<std::string>& lines)
{
    for (const std::string& line : lines) {
        const std::string code = readIcaoTypeDesignator(line);
        if (!code.empty())
            return checkModelCode(code, file);
    }
    return fixPackageSection(file, lines);
}

std::string fixPackageSection(const std::filesystem::path& file, const std::vector<std::string>& lines)
{
    for (const std::string& line : lines) {
        const std::string type = readBaseContainer(line);
        if (!type.empty())
            return checkModelCode(type, file);
    }
    const std::string path = platform::pathToUtf8(file);
    if (path.find("pmdg-aircraft-7") == std::string::npos && path.find("fnx-aircraft-3") == std::string::npos)
        addInvalidCfgFile("Line icao_type_designator= is missing in [General] section of " + path);
    return {};
}

std::string fixIvaoModel(const std::filesystem::path& file)
{
    const std::string path = platform::pathToUtf8(file);
    auto folder = ivaoFolderModel(path, "IVAO_MTL");
    if (!folder)
        folder = ivaoFolderModel(path, "ivao_x-csl");
    if (!folder) {
        addInvalidModelCode("  ", file);
        return {};
    }
    return checkModelCode(std::string(folder->substr(0, 4)), file);
}

void dropTrailingCommentLines(std::vector<std::string>& section)
{
    while (!section.empty() && (section.back().empty() || section.back().starts_with("//")))
        section.pop_back();
}

std::filesystem::path liveryFolderOf(const std::filesystem::path& file)
{
    const std::string path = platform::pathToUtf8(file);
    const std::size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? std::filesystem::path() : platform::pathFromUtf8(path.substr(0, separator));
}

WorkerSlotReturn::~WorkerSlotReturn()
{
    releaseThreadSlot();
}

bool isHouseAirlineCode(std::string_view code)
{
    return code == "BOE" || code == "AIB" || code == "EMB" || code == "BBA" || code == "AED";
}

LiveryData makeLiveryData(std::int32_t priority, std::string airline, std::string model, bool cargo,
                          std::string title, std::string regcode, bool dedupe)
{
    if (dedupe && !seenTitles.insert(title))
        return {};
    return {std::move(airline), std::move(model), std::move(title), std::move(regcode), priority, cargo};
}

std::vector<std::string> splitCommaList(const std::string& text)
{
    return splitWords(text);
}

} // namespace rtd
