#include "liveries/ivao.hpp"

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/text.hpp"
#include "liveries/dbase.hpp"
#include "liveries/scan_tables.hpp"
#include "platform/platform.hpp"

#include <algorithm>
#include <array>
#include <fmt/format.h>
#include <string_view>
#include <system_error>

namespace rtd {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t maxRegcodeLength = 12;

// Folders whose titles carry a "W" after the model code.
constexpr std::array<std::string_view, 5> specialModelFolders{"IVAO_B738WLfa", "IVAO_B739WLfa", "IVAO_A320wCFM",
                                                              "IVAO_A320wIAE", "IVAO_A319fIAEw"};

bool isSpecialFolder(const std::string& folder)
{
    return std::any_of(specialModelFolders.begin(), specialModelFolders.end(),
                       [&](std::string_view name) { return folder.find(name) != std::string::npos; });
}

// The registration of an atc_id value: one item of at most 12 characters without wild
// cards; empty otherwise.
std::string checkedRegcode(const std::string& value, const std::string& title)
{
    const std::vector<std::string> items = splitWords(value);
    for (const std::string& item : items) {
        if (item.size() > maxRegcodeLength) {
            logLine(fmt::format("regcode: {}, has more than 12 chars in title: {}", item.size(), title));
            return {};
        }
        if (item.find('*') != std::string::npos) {
            logArrow(fmt::format("{} {} wild cards no longer supported, atc_id skipped ", title, item));
            return {};
        }
        if (item == "G-BAFM")
            return {};
    }
    return items.size() == 1 ? items.front() : std::string();
}

// The keys of one section.
struct IvaoKeys {
    std::string title;
    std::string parkingTypes; // read only to find a second such line
    std::string regcode;
    std::string texture;
};

// Reads the keys of the section's lines; false, with the section's rejection line, when a
// key is repeated.
bool readIvaoKeys(const std::vector<std::string>& section, const std::string& folder, const std::string& header,
                  IvaoKeys& keys)
{
    const auto reject = [&](std::string_view what) {
        addIncompleteSection(fmt::format("{} {} {}", folder, header, what));
        return false;
    };
    std::string repeated;
    for (const std::string& line : section) {
        if (keys.title.empty()) {
            if (readTitle(line, keys.title)) {
                std::string trimmed = trim(keys.title);
                if (trimmed != keys.title)
                    logLine(fmt::format("removed spaces around title \"{}\" --> \"{}\"", keys.title, trimmed));
                keys.title = std::move(trimmed);
                continue;
            }
        } else if (readTitle(line, repeated)) {
            return reject("has more than one title key");
        }
        if (keys.parkingTypes.empty()) {
            if (readAtcParkingTypes(line, keys.parkingTypes))
                continue;
        } else if (isAtcParkingTypesLine(line)) {
            return reject("has more than one atc_parking_types key");
        }
        if (keys.regcode.empty()) {
            if (readAtcId(line, keys.regcode)) {
                keys.regcode = checkedRegcode(keys.regcode, keys.title);
                continue;
            }
        } else if (isAtcIdLine(line)) {
            addIncompleteSection(fmt::format("{}, {}, has more than one atc_id key", folder, header));
            return false;
        }
        if (keys.texture.empty())
            readTexture(line, keys.texture);
    }
    return true;
}

// Whether the folder holds the texture folder; throws on an error other than "not found".
bool textureFolderExists(const fs::path& textureFolder)
{
    std::error_code error;
    const fs::file_status status = fs::status(textureFolder, error);
    if (status.type() == fs::file_type::none)
        throw fs::filesystem_error("cannot test the texture folder", textureFolder, error);
    return fs::is_directory(status);
}

void closeIvaoSection(IvaoScanState& state)
{
    LiveryData record = parseIvaoSection(state.priority, state.section, state.model, state.file, state.folder);
    if (!record.airline.empty())
        state.result.push_back(std::move(record));
    state.section.clear();
}

} // namespace

LiveryList scanIvaoCfgFile(std::int32_t priority, const std::filesystem::path& file)
{
    const WorkerSlotReturn slot;
    IvaoScanState state;
    state.model = fixIvaoModel(file);
    if (state.model.empty())
        return {};
    state.priority = priority;
    state.file = file;
    state.folder = liveryFolderOf(file);
    const FileEncoding encoding = detectFileEncoding(file);
    if (encoding == none_found) {
        logArrow(fmt::format("no character set found for {}", platform::pathToUtf8(file)));
        return {};
    }
    std::vector<std::string> lines;
    if (!readAircraftCfgLines(encoding, file, lines) || !splitFltsimSections(lines, file))
        return {};
    for (const std::string& line : lines)
        parseIvaoSections(state, line);
    if (!state.section.empty())
        closeIvaoSection(state);
    return std::move(state.result);
}

void parseIvaoSections(IvaoScanState& state, const std::string& line)
{
    if (!readFltsimHeader(line).empty()) {
        state.inSection = true;
        if (!state.section.empty())
            closeIvaoSection(state);
        state.section.push_back(line);
        return;
    }
    if (line.find('[') != std::string::npos) {
        if (state.inSection) {
            closeIvaoSection(state);
            state.inSection = false;
        }
        return;
    }
    if (state.inSection)
        state.section.push_back(line);
}

LiveryData parseIvaoSection(std::int32_t priority, std::vector<std::string>& section, const std::string& model,
                            const std::filesystem::path& file, const std::filesystem::path& folder)
{
    dropTrailingCommentLines(section);
    const std::string header = section.empty() ? std::string() : section.front();
    const std::string folderText = platform::pathToUtf8(folder);
    const auto reject = [&](std::string_view what) {
        addIncompleteSection(fmt::format("{} {} {}", folderText, header, what));
        return LiveryData{};
    };
    IvaoKeys keys;
    if (!readIvaoKeys(section, folderText, header, keys))
        return {};
    const fs::path textureFolder = folder / platform::pathFromUtf8("texture." + keys.texture);
    if (!textureFolderExists(textureFolder)) {
        addIncompleteSection(fmt::format("{} {} does not exist", platform::pathToUtf8(textureFolder), header));
        return {};
    }
    if (keys.title.empty())
        return reject("misses title");
    if (isDontUseTitle(keys.title))
        return {};
    std::optional<std::string> airline =
        airlineAfterPrefix(keys.title, isSpecialFolder(folderText) ? model + "W" : model);
    if (!airline)
        return reject("misses airlinecode in title");
    if (isHouseAirlineCode(*airline))
        *airline = defaultAirlineCode;
    if (!isKnownAirline(*airline)) {
        addInvalidAirlineCode(*airline, file, header);
        return {};
    }
    if (*airline == defaultAirlineCode)
        keys.regcode.clear();
    LiveryData record = makeLiveryData(priority, *airline, model, false, keys.title, keys.regcode, true);
    if (record.empty())
        return reject("title already exists: " + keys.title);
    return record;
}

} // namespace rtd
