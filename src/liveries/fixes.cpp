#include "liveries/fixes.hpp"

#include "core/display.hpp"
#include "core/exceptions.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"
#include "core/text.hpp"
#include "liveries/dbase.hpp"
#include "platform/platform.hpp"

#include <fmt/format.h>
#include <pugixml.hpp>

namespace rtd {

std::unordered_map<std::string, std::string> modelFixes;
std::set<std::string> pvtFixes;
std::set<std::string> govFixes;
std::vector<LiveryRef> excludedTitles;
std::list<std::string> failedTitles;

namespace {

void readModelFixes(pugi::xml_node section, std::unordered_map<std::string, std::string>& fixes)
{
    for (const pugi::xml_node fix : section.children("fix")) {
        const std::string wrong = fix.attribute("wrong").value();
        const std::string correct = fix.attribute("correct").value();
        if (!isKnownModel(correct)) {
            logArrow(fmt::format("wrong fix {}->{}, the latter is not a valid model", wrong, correct));
            continue;
        }
        if (!fixes.try_emplace(wrong, correct).second)
            logArrow(fmt::format("wrong part of fix: {}, already exists, skipped", wrong));
    }
}

// `label` is "PVT" or "GOV".
void readAirlineFixes(pugi::xml_node section, std::string_view label, std::set<std::string>& fixes)
{
    for (const pugi::xml_node fix : section.children("fix")) {
        const std::string wrong = fix.attribute("wrong").value();
        if (isKnownAirline(wrong)) {
            logArrow(fmt::format("{} fix {} is an ICAO airline code? ", label, wrong));
            continue;
        }
        if (!fixes.insert(wrong).second)
            logArrow(fmt::format("wrong: {}, already exists, skipped", wrong));
    }
}

std::size_t distinctExcludedTitles()
{
    return std::set<std::string_view>(excludedTitles.begin(), excludedTitles.end()).size();
}

} // namespace

void readFixes()
{
    const std::filesystem::path path = paths().inputFolder / "fixes.xml";
    const std::string pathText = platform::pathToUtf8(path);
    pugi::xml_document document;
    if (!document.load_file(path.c_str()))
        throw UserErrorException(3, pathText + " (or sections of it) not found?");

    std::unordered_map<std::string, std::string> fixes;
    std::set<std::string> privateCodes;
    std::set<std::string> governmentCodes;
    readModelFixes(document.child("fixes"), fixes);
    readAirlineFixes(document.child("PVT_fixes"), "PVT", privateCodes);
    readAirlineFixes(document.child("GOV_fixes"), "GOV", governmentCodes);
    modelFixes = std::move(fixes);
    pvtFixes = std::move(privateCodes);
    govFixes = std::move(governmentCodes);
    logLine(fmt::format("\"{}\" read", pathText));
}

void reportLiveryNotCreated(std::string_view callsign, std::string_view model, std::string_view airline,
                            LiveryRef livery)
{
    setStatus(fmt::format("{} \"{}\" could not be created by your Sim!", callsign, livery), true);
    excludedTitles.push_back(livery);
    failedTitles.push_front(fmt::format("{} {}", model, airline));
    if (distinctExcludedTitles() < maxRefusedTitles)
        return;
    const std::string text = fmt::format("there are too many liveries that could not be created by {}!", "MSFS");
    logLine(fmt::format("\n{}Error 81, {}\n", arrowPrefix, text));
    throw UserErrorException(81, fmt::format("{}, see Log.txt", text));
}

std::vector<std::string> failedLiveryLines()
{
    failedTitles.sort();
    removeAdjacentDuplicates(failedTitles);
    std::vector<std::string> lines;
    for (const std::string& entry : failedTitles)
        lines.push_back("  " + entry);
    return lines;
}

} // namespace rtd
