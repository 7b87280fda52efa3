#pragma once
// parameters.xml: the stored settings, one "parameter" element (attributes "name" and
// "value") per key under the root "parameters", in the program data folder.
//
// Every start reads it whole (buildParameterRegistry) and rewrites it; every change of a
// stored setting is then written at once by a saver. Loading, changing and saving the file
// happen under one lock, so savers on different threads never lose each other's change, and
// the file is replaced whole or not at all. A file that exists but cannot be read is copied
// to "parameters.xml.bad" before anything replaces it.

#include "core/parameters.hpp"

#include <filesystem>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace rtd {

// How settings read from the file reach the window. The window installs its own; until
// then, and after setSettingsDisplay(nullptr), nothing is shown.
class SettingsDisplay {
public:
    virtual ~SettingsDisplay() = default;
    virtual void showCheck(const GuiBoolParameter&) {} // the box takes the current value
    virtual void showIntInEdit(const GuiIntParameter&) {}
    virtual void showTextInEdit(const GuiStringParameter&) {}
    virtual void setStatus(const std::string&) {}
};

// The display must outlive every later call of the functions below.
void setSettingsDisplay(SettingsDisplay* display);

// The stored settings, in the order they are read and written in a new file.
struct ParameterRegistry {
    std::vector<BoolParameter*> bools;
    std::vector<GuiBoolParameter*> checkBoxes;
    std::vector<IntParameter*> ints;
    std::vector<GuiIntParameter*> intEdits;
    std::vector<StringParameter*> strings; // with the folder keys
    std::vector<GuiStringParameter*> stringEdits;
};

const ParameterRegistry& parameterRegistry();

// Reads every stored setting, runs the upgrade steps and applies LATERAL_RANGE. Once per
// start, on the start-up worker. Throws std::filesystem::filesystem_error when an upgrade
// finds an old installer it cannot delete.
void buildParameterRegistry();

// Reads the lists' settings (null entries skipped) from the file, or takes their defaults
// when there is none; repairs the file (missing keys appended, empty folder keys removed)
// and saves it.
void readParameters(const ParameterRegistry& lists);

// Stamps PROGRAM_VERSION with the program's version and, when the file was written by an
// older version, removes keys of earlier versions and resets what an upgrade resets.
void migrateParameters();

// LATERAL_RANGE = nm clamped into its range, with lateralRangeNm and lateralRangeMetres.
// Nothing is saved.
void setLateralRange(std::int32_t nm);

// Store the setting's current value in the file. Failures only reach the log.
void saveBoolParameter(const BoolParameter& setting);
void saveIntParameter(const IntParameter& setting);
void saveStringParameter(const StringParameter& setting);

// Takes the setting's element out of the file; only its key is used.
void removeParameter(const Parameter& setting);

// Set the setting's current value from its element in the document, or to its default when
// there is none, and log "KEY=value". True when the element exists.
bool readBoolParameter(BoolParameter& setting, const pugi::xml_document& document);
bool readIntParameter(IntParameter& setting, const pugi::xml_document& document, bool logIt);
bool readStringParameter(StringParameter& setting, const pugi::xml_document& document);
bool readFolderParameter(StringParameter& setting, const pugi::xml_document& document); // logs only a value

// "/parameters/parameter[@name='KEY']"
std::string parameterXPath(std::string_view key);

// lfolder0..9 and afolder0..9: in the file only while not empty.
bool isFolderParameter(std::string_view key);

// Append <parameter name="KEY" value="..."/> as the node's last child. False when the node
// cannot take a child or memory runs out.
bool appendBoolParameter(pugi::xml_node node, const std::string& key, bool value); // "true"/"false"
bool appendIntParameter(pugi::xml_node node, const std::string& key, std::int32_t value);
bool writeParameterNode(pugi::xml_node node, const std::string& key, const std::string& value);

// The attribute as an integer (white space skipped, optional sign, "0x" hexadecimal, out of
// range saturated, anything else 0); 0 when the node or the attribute does not exist.
std::int32_t intAttribute(pugi::xml_node node, const char* attribute);

// The attribute's text; empty when the node or the attribute does not exist.
std::string getAttributeString(pugi::xml_node node, const char* attribute);

// The file the functions above use: paths().parametersPath, unless a test points them at
// another one. An empty path restores the default.
std::filesystem::path parametersFile();
void setParametersFile(std::filesystem::path path);

} // namespace rtd
