#pragma once
// The folder tree of airport files under the installation folder (the working folder), the
// file names of an airport, where the airport file of an ICAO code is looked up, and where
// the learned file of an airport file lives.
//
//   airports/archive/{stock,simaddon,thirdparty/<publisher>}   archived files
//   airports/my_simaddon, airports/my_thirdparty                generated files and link files
//   airports/learned/{stock,simaddon,thirdparty/<publisher>}   learned files
//
// A link file "<ICAO>.txt" stands only in the two "my_" folders; its first line is the path
// of the airport file it stands for. Codes are used exactly as given (no case folding).

#include <filesystem>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <utility>

namespace rtd {

extern const std::filesystem::path airportsFolder;
extern const std::filesystem::path archiveFolder;
extern const std::filesystem::path archiveStockFolder;
extern const std::filesystem::path archiveSimaddonFolder;
extern const std::filesystem::path archiveThirdpartyFolder;
extern const std::filesystem::path mySimaddonFolder;
extern const std::filesystem::path myThirdpartyFolder;
extern const std::filesystem::path learnedFolderName; // "learned"
extern const std::filesystem::path learnedFolder;
extern const std::filesystem::path learnedStockFolder;
extern const std::filesystem::path learnedSimaddonFolder;
extern const std::filesystem::path learnedThirdpartyFolder;

// "<code>.xml" and "<code>.txt".
std::filesystem::path xmlFileName(std::string_view code);
std::filesystem::path txtFileName(std::string_view code);

// Whether my_thirdparty/<code>.xml or .txt, my_simaddon/<code>.xml or .txt, or
// archive/stock/<code>.xml exists; a link file counts even when its target is gone.
// Throws std::filesystem::filesystem_error when a status query fails for another reason
// than a missing file.
bool airportFileExists(std::string_view code);

// The airport file of the code, or an empty path: the target of my_thirdparty/<code>.txt when
// that names an existing file, my_thirdparty/<code>.xml, the same two in my_simaddon, then
// archive/stock/<code>.xml. Throws like airportFileExists().
std::filesystem::path findAirportFile(std::string_view code);

// The first line of a text file as a path ('\' and '/' both taken as separators, a trailing
// CR dropped); empty when the file cannot be read or has no line.
std::filesystem::path firstLineOfFile(const std::filesystem::path& path);

// The learned file of an airport file: the same file name, with the folder under
// "airports" replaced: archive -> learned, my_simaddon -> learned/simaddon and
// my_thirdparty -> learned/thirdparty/<the file's publisher>. Only whole folder names of the
// path count, the innermost first; any other path comes back unchanged.
std::filesystem::path learnedFolderFor(const std::filesystem::path& airportFile);

// The publisher as a folder name: "unknown" (and a log line) for one that would leave its
// folder (".", "..", or holding '/', '\', ':' or a control character); any other as it is.
std::string publisherFolderName(const std::string& publisher);

// The element's "airl" and "type" attributes; empty when absent or for a null element.
std::pair<std::string, std::string> airlAttribute(pugi::xml_node element);

} // namespace rtd
