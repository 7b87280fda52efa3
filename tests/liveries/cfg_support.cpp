#include "cfg_support.hpp"

#include "core/workers.hpp"
#include "liveries/dbase.hpp"
#include "liveries/fixes.hpp"
#include "liveries/ivao.hpp"
#include "liveries/livery_sections.hpp"
#include "liveries/scan_tables.hpp"
#include "platform/platform.hpp"

#include <fmt/format.h>

namespace rtd::test {
namespace {

constexpr const char* fixesXml = R"(<fixes><fix wrong="737" correct="B738"/></fixes>
<PVT_fixes><fix wrong="NOA"/></PVT_fixes>
<GOV_fixes><fix wrong="GOV"/></GOV_fixes>
)";

std::string cfgDbase()
{
    return modelSection("aircrafts", "aircraft", {"A320", "A20N", "B738", "B77W", "B748", "GLF6", "EC35", "F16", "C172"}) +
           modelSection("high_performance", "hpf", {"F16"}) + modelSection("heavy", "hvy", {"B77W", "B748"}) +
           modelSection("large", "lar", {"A320", "A20N", "B738"}) + modelSection("buzjet", "bzj", {"GLF6"}) +
           modelSection("rotorcraft", "rot", {"EC35"}) + modelSection("cargo_types", "cargo_type", {"B748"}) +
           airlineSection("ICAO_airlines", {"DLH", "KLM", "FDX", "BAW", "EZY", "ZZZ", "PVT"}) +
           airlineSection("cargo_operators", {"FDX"});
}

template <typename Container>
void appendPrefixed(std::vector<std::string>& out, std::string_view prefix, const Container& lines)
{
    for (const std::string& line : lines)
        out.push_back(fmt::format("{}{}", prefix, line));
}

} // namespace

CfgWorld::CfgWorld() : root_(std::filesystem::current_path())
{
    installation_.writeInput("dbase.xml", cfgDbase());
    installation_.writeInput("fixes.xml", fixesXml);
    readDbase();
    readFixes();
    resetScanTables();
}

CfgWorld::~CfgWorld()
{
    resetScanTables();
}

std::filesystem::path CfgWorld::path(const std::string& relative) const
{
    return root_ / platform::pathFromUtf8(relative);
}

std::filesystem::path CfgWorld::write(const std::string& relative, const std::string& bytes) const
{
    const std::filesystem::path file = path(relative);
    std::filesystem::create_directories(file.parent_path());
    writeFile(file, bytes);
    return file;
}

LiveryList CfgWorld::scanGeneral(const std::filesystem::path& file)
{
    waitForThreadSlot();
    return lf_searchLiveriesinFile(1, file);
}

LiveryList CfgWorld::scanIvao(const std::filesystem::path& file)
{
    waitForThreadSlot();
    return scanIvaoCfgFile(1, file);
}

std::string CfgWorld::expand(const std::string& line, const std::filesystem::path& file)
{
    const std::filesystem::path folder = liveryFolderOf(file);
    return fmt::format(fmt::runtime(line), fmt::arg("file", platform::pathToUtf8(file)),
                       fmt::arg("folder", platform::pathToUtf8(folder)),
                       fmt::arg("texture", platform::pathToUtf8(folder / "texture.")));
}

std::vector<std::string> CfgWorld::expand(const std::vector<std::string>& lines, const std::filesystem::path& file)
{
    std::vector<std::string> expanded;
    for (const std::string& line : lines)
        expanded.push_back(expand(line, file));
    return expanded;
}

std::vector<std::string> recordTexts(const LiveryList& records)
{
    std::vector<std::string> texts;
    for (const LiveryData& record : records)
        texts.push_back(fmt::format("{}|{}|{}|{}|{}", record.airline, record.model, record.regcode,
                                    record.cargo ? 1 : 0, record.title));
    return texts;
}

std::vector<std::string> issueTexts()
{
    std::vector<std::string> texts;
    appendPrefixed(texts, "fix: ", codeFixLines.lines);
    appendPrefixed(texts, "invalid cfg: ", invalidCfgFiles.lines);
    appendPrefixed(texts, "incomplete: ", incompleteSections.lines);
    appendPrefixed(texts, "airline: ", invalidAirlineCodes.lines);
    appendPrefixed(texts, "model: ", invalidModelCodes.lines);
    appendPrefixed(texts, "empty: ", emptyCfgFiles.lines);
    return texts;
}

} // namespace rtd::test
