#include "core/settings_file.hpp"

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"
#include "core/text.hpp"
#include "core/version.hpp"
#include "platform/platform.hpp"

#include <atomic>
#include <fmt/format.h>
#include <mutex>
#include <system_error>

namespace rtd {
namespace {

SettingsDisplay noDisplay;
std::atomic<SettingsDisplay*> installedDisplay{&noDisplay};

SettingsDisplay& display()
{
    return *installedDisplay.load();
}

// Guards every load-change-save of the file.
std::mutex fileMutex;
std::filesystem::path fileOverride;

// ---- elements ----------------------------------------------------------------------------

pugi::xml_node findParameter(const pugi::xml_document& document, std::string_view key)
{
    return document.select_node(parameterXPath(key).c_str()).node();
}

// Appends <parameter name="KEY" value="..."/>; nothing is left behind when it fails.
template <typename Value>
bool appendWithValue(pugi::xml_node node, const std::string& key, const Value& value)
{
    pugi::xml_node element = node.append_child("parameter");
    if (!element)
        return false;
    if (element.append_attribute("name").set_value(key.c_str()) && element.append_attribute("value").set_value(value))
        return true;
    node.remove_child(element);
    return false;
}

bool appendParameter(pugi::xml_node node, const std::string& key, bool value)
{
    return appendBoolParameter(node, key, value);
}
bool appendParameter(pugi::xml_node node, const std::string& key, std::int32_t value)
{
    return appendIntParameter(node, key, value);
}
bool appendParameter(pugi::xml_node node, const std::string& key, const std::string& value)
{
    return writeParameterNode(node, key, value);
}

void setValue(pugi::xml_attribute attribute, bool value)
{
    attribute.set_value(value);
}
void setValue(pugi::xml_attribute attribute, std::int32_t value)
{
    attribute.set_value(value);
}
void setValue(pugi::xml_attribute attribute, const std::string& value)
{
    attribute.set_value(value.c_str());
}

// Takes the key's element out of the document when it is a child of the "parameters" root.
bool removeElement(pugi::xml_document& document, const std::string& key)
{
    pugi::xml_node root = document.child("parameters");
    const pugi::xml_node element = findParameter(document, key);
    if (!root || !element || element.parent() != root || !root.remove_child(element))
        return false;
    logLine(fmt::format("Parameter {} removed", key));
    return true;
}

// ---- logging and showing -------------------------------------------------------------------

template <typename Setting>
void logParameter(const Setting& setting)
{
    logLine(fmt::format("{}={}", setting.name, setting.value()));
}

void show(const Parameter&) {}
void show(const GuiBoolParameter& setting)
{
    display().showCheck(setting);
}
void show(const GuiIntParameter& setting)
{
    display().showIntInEdit(setting);
}
void show(const GuiStringParameter& setting)
{
    display().showTextInEdit(setting);
}

// ---- loading -------------------------------------------------------------------------------

enum class FileState {
    loaded,
    missing,
    keptAside, // unreadable, copied to "parameters.xml.bad": may be replaced
    locked,    // unreadable and not copied: must be left alone
};

// Copies a file that cannot be read aside before the caller replaces it.
FileState keepAside(const std::filesystem::path& path, const char* problem)
{
    std::filesystem::path copy = path;
    copy += ".bad";
    if (!copyFileWhole(path, copy)) {
        logArrow(fmt::format("{} cannot be read ({}) and cannot be kept aside (error {}), so it is left as it is",
                             platform::pathToUtf8(path), problem, platform::lastFileError()));
        return FileState::locked;
    }
    logArrow(fmt::format("{} cannot be read ({}), kept as {}", platform::pathToUtf8(path), problem,
                         platform::pathToUtf8(copy)));
    display().setStatus(fmt::format("{} cannot be read, kept as {}", platform::pathToUtf8(path.filename()),
                                    platform::pathToUtf8(copy.filename())));
    return FileState::keptAside;
}

// Loads the file for a caller that is going to rewrite it. Unless loaded, the document is
// left empty.
FileState loadForRewrite(pugi::xml_document& document, const std::filesystem::path& path)
{
    std::error_code folderError;
    if (std::filesystem::is_directory(path, folderError))
        return keepAside(path, "a folder, not a file"); // the XML reader would take its size for a file's
    const pugi::xml_parse_result result = document.load_file(path.c_str());
    if (result)
        return FileState::loaded;
    document.reset();
    std::error_code error;
    if (!std::filesystem::exists(path, error) && !error)
        return FileState::missing;
    return keepAside(path, result.description());
}

// ---- reading at start ----------------------------------------------------------------------

template <typename Setting>
void takeDefault(pugi::xml_node root, Setting& setting)
{
    if (!appendParameter(root, setting.name, setting.defaultValue()))
        logLine(fmt::format("{}adding init xml parameter {} with {} failed!", arrowPrefix, setting.name,
                            setting.defaultValue()));
    setting.set(setting.defaultValue());
    logParameter(setting);
    show(setting);
}

template <typename List, typename Action>
void forEachSetting(const List& list, Action action)
{
    for (auto* setting : list)
        if (setting)
            action(*setting);
}

// Runs `action` on every setting of the lists, in order, and `onFolder` instead on the
// folder keys.
template <typename Action, typename FolderAction>
void visitRegistry(const ParameterRegistry& lists, Action action, FolderAction onFolder)
{
    forEachSetting(lists.bools, action);
    forEachSetting(lists.checkBoxes, action);
    forEachSetting(lists.ints, action);
    forEachSetting(lists.intEdits, action);
    forEachSetting(lists.strings, [&](StringParameter& setting) {
        if (isFolderParameter(setting.name))
            onFolder(setting);
        else
            action(setting);
    });
    forEachSetting(lists.stringEdits, action);
}

void takeAllDefaults(pugi::xml_document& document, const ParameterRegistry& lists)
{
    const pugi::xml_node root = document.append_child("parameters");
    visitRegistry(
        lists, [&](auto& setting) { takeDefault(root, setting); },
        [](StringParameter& folder) { folder.set(folder.defaultValue()); }); // not written while empty
}

bool readParameter(BoolParameter& setting, const pugi::xml_document& document)
{
    return readBoolParameter(setting, document);
}
bool readParameter(IntParameter& setting, const pugi::xml_document& document)
{
    return readIntParameter(setting, document, true);
}
bool readParameter(StringParameter& setting, const pugi::xml_document& document)
{
    return readStringParameter(setting, document);
}

// A key without element is added with its default, when the root is "parameters".
template <typename Setting>
void readStored(pugi::xml_document& document, Setting& setting)
{
    if (!readParameter(setting, document))
        if (const pugi::xml_node root = document.child("parameters"))
            appendParameter(root, setting.name, setting.value());
    show(setting);
}

// An empty folder key leaves the file.
void readFolder(pugi::xml_document& document, StringParameter& setting)
{
    readFolderParameter(setting, document);
    if (setting.value().empty())
        removeElement(document, setting.name);
}

void readAllStored(pugi::xml_document& document, const ParameterRegistry& lists)
{
    visitRegistry(
        lists, [&](auto& setting) { readStored(document, setting); },
        [&](StringParameter& folder) { readFolder(document, folder); });
}

// ---- saving one key --------------------------------------------------------------------------

template <typename Setting>
void saveParameter(const Setting& setting)
{
    std::lock_guard lock(fileMutex);
    // Read under the lock: of two saves of one key, the file keeps the later value.
    const auto value = setting.value();
    const std::filesystem::path path = parametersFile();
    pugi::xml_document document;
    if (loadForRewrite(document, path) == FileState::locked) {
        logLine(fmt::format("{}={}", setting.name, value));
        return;
    }
    pugi::xml_node root = document.child("parameters");
    if (!root)
        root = document.append_child("parameters");
    if (const pugi::xml_node element = findParameter(document, setting.name)) {
        if (const pugi::xml_attribute attribute = element.attribute("value"))
            setValue(attribute, value);
    } else {
        appendParameter(root, setting.name, value);
    }
    logLine(fmt::format("{}={}", setting.name, value));
    if (!writeXmlDocument(document, path))
        logLine("saving xml did not work?");
}

} // namespace

void setSettingsDisplay(SettingsDisplay* display)
{
    installedDisplay.store(display ? display : &noDisplay);
}

const ParameterRegistry& parameterRegistry()
{
    static const ParameterRegistry registry{
        .bools = {&RANDOM},
        .checkBoxes = {&AEROWINX, &COLLISION_USER_AIR, &COLLISION_USER_GND, &COLLISION_LIVE_PARKED_GND,
                       &SUPPRESS_STUB, &LOG, &ALWAYS_ON_TOP, &SCAN_LIVERIES, &LIG_AUTOMATIC, &LIG_PRIORITIZE,
                       &SCAN_AIRPORTS, &AFG_AUTOMATIC, &LIGHT_AIRCRAFT, &HELICOPTERS, &HIGH_PERF_AIRCRAFT,
                       &NAV_LIGHTS_WHILE_PARKED, &AUTO_RANGE, &LEARN_SOFT, &PARK_SOFT, &PARK_FAKE, &WEEK,
                       &INITIAL_LOAD_ONLY, &GUID_CHANGES},
        .ints = {&CUSTOM_PARKING_PERCENTAGE, &MAIN_WINDOW_X, &MAIN_WINDOW_Y, &LAST_EPOCH_TIME},
        .intEdits = {&MATCHING_DEPTH, &LATERAL_RANGE, &MAX_FIT, &MAX_LIVE, &AIRPORT_RANGE, &AIRPORT_HEIGHT},
        .strings = {&PROGRAM_VERSION, &PORT_NUMBER, &lfolder0, &lfolder1, &lfolder2, &lfolder3, &lfolder4,
                    &lfolder5, &lfolder6, &lfolder7, &lfolder8, &lfolder9, &afolder0, &afolder1, &afolder2,
                    &afolder3, &afolder4, &afolder5, &afolder6, &afolder7, &afolder8, &afolder9,
                    &PROGRAM_INSTALL_PATH, &ARCHIVE_VERSION, &DBASE_VERSION, &AIG_VERSION,
                    &DATA_CHECKED_AT_DATE},
        .stringEdits = {&BLOCK_CALLSIGN, &MSFS_INSTALL_PATH},
    };
    return registry;
}

void buildParameterRegistry()
{
    readParameters(parameterRegistry());
    migrateParameters();
    setLateralRange(LATERAL_RANGE.value());
}

void readParameters(const ParameterRegistry& lists)
{
    logLine(makeBanner(70, 0, true, false, "parameters"));
    {
        std::lock_guard lock(fileMutex);
        const std::filesystem::path path = parametersFile();
        pugi::xml_document document;
        const FileState state = loadForRewrite(document, path);
        if (state == FileState::loaded) {
            logLine(fmt::format("from \"{}\"", platform::pathToUtf8(path)));
            readAllStored(document, lists);
        } else {
            logLine(platform::pathToUtf8(path) + " not found, default values taken:");
            takeAllDefaults(document, lists);
        }
        if (state != FileState::locked)
            saveXmlDocument(document, path);
    }
    logLine(makeBanner(70, 10, false, true, ""));
}

void migrateParameters()
{
    const std::string programText = versionToString(programVersion);
    const std::string storedText = PROGRAM_VERSION.value();
    if (storedText.empty()) {
        PROGRAM_VERSION.set(programText);
        saveStringParameter(PROGRAM_VERSION);
        return;
    }
    const Version stored = parseVersion(storedText);
    if (stored != programVersion) {
        PROGRAM_VERSION.set(programText);
        saveStringParameter(PROGRAM_VERSION);
    }
    if (!isNewer(programVersion, stored))
        return;

    logLine(fmt::format("This is a version update from {} -> {}", versionToString(stored), programText));
    std::filesystem::remove(paths().installerPath);
    for (const char* oldKey : {"TIME_COMPRESSION_CHECK", "SECONDS_DELAY", "FLIGHTPLANS_FOLDER", "CALLSIGN_OBJECTID",
                               "DESTINATION_AIRPORT", "DESTINATION_GATE", "MAX_FIT_WEEK"})
        removeParameter(Parameter(oldKey));
    saveIntParameter(MAX_FIT); // always inside its range: set() clamps
    DATA_CHECKED_AT_DATE.set("");
    LAST_EPOCH_TIME.set(0);
    saveIntParameter(LAST_EPOCH_TIME);
}

void setLateralRange(std::int32_t nm)
{
    LATERAL_RANGE.set(nm);
    const std::int32_t range = LATERAL_RANGE.value();
    lateralRangeNm.store(range);
    lateralRangeMetres.store(range * 1852);
}

void saveBoolParameter(const BoolParameter& setting)
{
    saveParameter(setting);
}

void saveIntParameter(const IntParameter& setting)
{
    saveParameter(setting);
}

void saveStringParameter(const StringParameter& setting)
{
    saveParameter(setting);
}

void removeParameter(const Parameter& setting)
{
    std::lock_guard lock(fileMutex);
    const std::filesystem::path path = parametersFile();
    pugi::xml_document document;
    if (document.load_file(path.c_str()) && removeElement(document, setting.name) &&
        !writeXmlDocument(document, path))
        logLine("saving xml did not work?");
}

bool readBoolParameter(BoolParameter& setting, const pugi::xml_document& document)
{
    const pugi::xml_node element = findParameter(document, setting.name);
    setting.set(element ? element.attribute("value").as_bool() : setting.defaultValue());
    logParameter(setting);
    return bool(element);
}

bool readIntParameter(IntParameter& setting, const pugi::xml_document& document, bool logIt)
{
    const pugi::xml_node element = findParameter(document, setting.name);
    setting.set(element ? intAttribute(element, "value") : setting.defaultValue());
    if (logIt)
        logParameter(setting);
    return bool(element);
}

bool readStringParameter(StringParameter& setting, const pugi::xml_document& document)
{
    const pugi::xml_node element = findParameter(document, setting.name);
    setting.set(element ? element.attribute("value").as_string() : setting.defaultValue());
    logParameter(setting);
    return bool(element);
}

bool readFolderParameter(StringParameter& setting, const pugi::xml_document& document)
{
    const pugi::xml_node element = findParameter(document, setting.name);
    setting.set(element ? element.attribute("value").as_string() : setting.defaultValue());
    if (!setting.value().empty())
        logParameter(setting);
    return bool(element);
}

std::string parameterXPath(std::string_view key)
{
    return fmt::format("/parameters/parameter[@name='{}']", key);
}

bool isFolderParameter(std::string_view key)
{
    return key.find("lfolder") != std::string_view::npos || key.find("afolder") != std::string_view::npos;
}

bool appendBoolParameter(pugi::xml_node node, const std::string& key, bool value)
{
    return appendWithValue(node, key, value ? "true" : "false");
}

bool appendIntParameter(pugi::xml_node node, const std::string& key, std::int32_t value)
{
    return appendWithValue(node, key, value);
}

bool writeParameterNode(pugi::xml_node node, const std::string& key, const std::string& value)
{
    return appendWithValue(node, key, value.c_str());
}

std::int32_t intAttribute(pugi::xml_node node, const char* attribute)
{
    return node.attribute(attribute).as_int();
}

std::string getAttributeString(pugi::xml_node node, const char* attribute)
{
    return node.attribute(attribute).as_string();
}

std::filesystem::path parametersFile()
{
    return fileOverride.empty() ? paths().parametersPath : fileOverride;
}

void setParametersFile(std::filesystem::path path)
{
    fileOverride = std::move(path);
}

} // namespace rtd
