#include "scan_support.hpp"

#include "core/exit.hpp"
#include "core/paths.hpp"
#include "core/workers.hpp"
#include "fixtures/dbase_fixture.hpp"
#include "fixtures/fixes_fixture.hpp"
#include "fixtures/livery_fixture.hpp"
#include "liveries/dbase.hpp"
#include "liveries/fixes.hpp"
#include "liveries/lookup_tables.hpp"
#include "liveries/scan.hpp"
#include "liveries/scan_tables.hpp"
#include "platform/platform.hpp"
#include "support/temp_folder.hpp"

#include <algorithm>
#include <array>
#include <fmt/format.h>
#include <sstream>
#include <thread>

namespace rtd::test {
namespace fs = std::filesystem;

ScanWorld::ScanWorld() : appData_("APPDATA", platform::pathToUtf8(std::filesystem::current_path() / "appdata"))
{
    fixtures::writeDbaseFile(platform::pathFromUtf8("input/dbase.xml"), {0, 1});
    fixtures::writeFixesFile(platform::pathFromUtf8("input/fixes.xml"));
    readDbase();
    readFixes();
    initProgramPaths();
    fs::create_directories(paths().outputInfoFolder);
    clearLookupTables();
    exiting = false;
    userClosed = false;
}

ScanWorld::~ScanWorld()
{
    exiting = false;
    userClosed = false;
    setMaxWorkers(std::thread::hardware_concurrency());
    scanList.clear();
    clearLookupTables();
}

std::string ScanWorld::writePackage(const std::string& relative) const
{
    fixtures::writeLiveryPackage(path(relative));
    return platform::pathToUtf8(path(relative));
}

std::string ScanWorld::writeCfg(const std::string& relative, const std::string& title, const std::string& airline,
                                const std::string& model, const std::string& regcode) const
{
    std::string text = fmt::format("[fltsim.0]\ntitle={}\nicao_airline={}\n", title, airline);
    if (!regcode.empty())
        text += fmt::format("atc_id={}\n", regcode);
    text += fmt::format("[General]\nicao_type_designator={}\n", model);
    write(relative + "/aircraft.cfg", text);
    return platform::pathToUtf8(path(relative));
}

bool runScan(std::vector<std::string> folders, unsigned workers, bool prioritized)
{
    setMaxWorkers(workers);
    return scanLiveries(true, false, prioritized, folders);
}

std::map<std::string, std::string> resultFiles()
{
    const ProgramPaths& p = paths();
    const std::array files{
        p.outputErrorsFolder / "InvalidAirlineCodes.txt",   p.outputErrorsFolder / "InvalidAircraftCodes.txt",
        p.outputErrorsFolder / "Fixes.txt",                 p.outputErrorsFolder / "InvalidAircraftCfgFiles.txt",
        p.outputErrorsFolder / "IncompleFltsimSections.txt", p.outputInfoFolder / "AircraftCfgWithNoFltsimSection.txt",
        p.outputInfoFolder / "AirlineModelConversions.txt", p.outputInfoFolder / "LiveriesSkippedOnPriority.txt",
        p.liveriesScannedPath,
    };
    std::map<std::string, std::string> texts;
    for (const fs::path& file : files) {
        if (fs::exists(file))
            texts[file.generic_string()] = portableText(readText(file));
    }
    return texts;
}

std::string portableText(std::string text)
{
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

std::vector<std::string> fileLines(const fs::path& path)
{
    std::vector<std::string> lines;
    std::istringstream stream(readText(path));
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

} // namespace rtd::test
