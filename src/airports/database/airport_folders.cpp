#include "airports/database/airport_folders.hpp"

#include "airports/files/airport_file_read.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/settings_file.hpp"
#include "platform/platform.hpp"

#include <algorithm>
#include <array>
#include <fmt/format.h>
#include <vector>

namespace rtd {

namespace fs = std::filesystem;

const fs::path airportsFolder{"airports"};
const fs::path archiveFolder{airportsFolder / "archive"};
const fs::path archiveStockFolder{archiveFolder / "stock"};
const fs::path archiveSimaddonFolder{archiveFolder / "simaddon"};
const fs::path archiveThirdpartyFolder{archiveFolder / "thirdparty"};
const fs::path mySimaddonFolder{airportsFolder / "my_simaddon"};
const fs::path myThirdpartyFolder{airportsFolder / "my_thirdparty"};
const fs::path learnedFolderName{"learned"};
const fs::path learnedFolder{airportsFolder / learnedFolderName};
const fs::path learnedStockFolder{learnedFolder / "stock"};
const fs::path learnedSimaddonFolder{learnedFolder / "simaddon"};
const fs::path learnedThirdpartyFolder{learnedFolder / "thirdparty"};

namespace {

// The target of a link file when it names an existing file.
fs::path linkTarget(const fs::path& link)
{
    if (!fs::exists(link))
        return {};
    fs::path target = firstLineOfFile(link);
    return !target.empty() && fs::is_regular_file(target) ? target : fs::path{};
}

bool unsafePublisher(const std::string& publisher)
{
    if (publisher == "." || publisher == "..")
        return true;
    return std::any_of(publisher.begin(), publisher.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return c == '/' || c == '\\' || c == ':' || byte < 0x20 || byte == 0x7F;
    });
}

} // namespace

fs::path xmlFileName(std::string_view code)
{
    return platform::pathFromUtf8(std::string(code) + ".xml");
}

fs::path txtFileName(std::string_view code)
{
    return platform::pathFromUtf8(std::string(code) + ".txt");
}

bool airportFileExists(std::string_view code)
{
    const fs::path xml = xmlFileName(code);
    const fs::path txt = txtFileName(code);
    return fs::exists(myThirdpartyFolder / xml) || fs::exists(myThirdpartyFolder / txt) ||
           fs::exists(mySimaddonFolder / xml) || fs::exists(mySimaddonFolder / txt) ||
           fs::exists(archiveStockFolder / xml);
}

fs::path findAirportFile(std::string_view code)
{
    const fs::path xml = xmlFileName(code);
    const fs::path txt = txtFileName(code);
    for (const fs::path* folder : {&myThirdpartyFolder, &mySimaddonFolder}) {
        if (fs::path target = linkTarget(*folder / txt); !target.empty())
            return target;
        if (fs::exists(*folder / xml))
            return *folder / xml;
    }
    if (fs::exists(archiveStockFolder / xml))
        return archiveStockFolder / xml;
    return {};
}

fs::path firstLineOfFile(const fs::path& path)
{
    LineFile file{path, {}};
    const std::vector<std::string>* lines = readLines(file, 0);
    if (lines == nullptr)
        return {};
    std::string line = lines->front();
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    // Link files written on either system name their target with either separator.
    std::replace(line.begin(), line.end(), '\\', '/');
    return platform::pathFromUtf8(line);
}

std::string publisherFolderName(const std::string& publisher)
{
    if (!unsafePublisher(publisher))
        return publisher;
    logLine(fmt::format("publisher \"{}\" cannot name a folder, \"unknown\" taken", publisher));
    return "unknown";
}

fs::path learnedFolderFor(const fs::path& airportFile)
{
    const std::vector<fs::path> parts(airportFile.begin(), airportFile.end());
    if (parts.size() < 3)
        return airportFile;
    // The innermost folder that belongs to the airports tree: its parent is "airports".
    const std::array<fs::path, 3> names{"archive", "my_simaddon", "my_thirdparty"};
    for (const fs::path& name : names) {
        for (std::size_t i = parts.size() - 2; i >= 1; --i) {
            if (parts[i] != name || parts[i - 1] != airportsFolder)
                continue;
            fs::path learned;
            for (std::size_t j = 0; j < i; ++j)
                learned /= parts[j];
            learned /= learnedFolderName;
            if (name == "my_simaddon")
                learned /= "simaddon";
            else if (name == "my_thirdparty") {
                learned /= "thirdparty";
                // An empty publisher adds no folder, as learned files stored so far expect.
                if (const std::string publisher = publisherFolderName(readPublisher(airportFile)); !publisher.empty())
                    learned /= platform::pathFromUtf8(publisher);
            }
            for (std::size_t j = i + 1; j < parts.size(); ++j)
                learned /= parts[j];
            return learned;
        }
    }
    return airportFile;
}

std::pair<std::string, std::string> airlAttribute(pugi::xml_node element)
{
    return {getAttributeString(element, "airl"), getAttributeString(element, "type")};
}

} // namespace rtd
