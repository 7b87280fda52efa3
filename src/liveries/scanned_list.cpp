#include "liveries/scanned_list.hpp"

#include "core/exceptions.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/meta.hpp"
#include "core/paths.hpp"
#include "liveries/dbase.hpp"
#include "liveries/scan.hpp"
#include "platform/platform.hpp"

#include <fmt/format.h>

namespace rtd {

namespace {

// The record of a <liv> element; priority 0.
LiveryData readLiveryNode(pugi::xml_node liv)
{
    LiveryData record;
    record.airline = liv.attribute("airl").as_string();
    record.model = liv.attribute("type").as_string();
    record.cargo = getAttributeBool(liv, "cargo");
    record.title = liv.attribute("title").as_string();
    record.regcode = liv.attribute("atcid").as_string();
    return record;
}

bool isComplete(const LiveryData& record)
{
    return !record.title.empty() && !record.airline.empty() && !record.model.empty();
}

void readLiveries(pugi::xml_node liveries, const std::string& pathText)
{
    for (pugi::xml_node liv : liveries.children("liv")) {
        LiveryData record = readLiveryNode(liv);
        if (!isComplete(record)) {
            logLine(fmt::format("<liv> element with airl \"{}\", type \"{}\", title \"{}\" skipped in {}",
                                record.airline, record.model, record.title, pathText));
            continue;
        }
        scanList.push_back(std::move(record));
    }
}

} // namespace

void appendLiveryNode(pugi::xml_node liveries, const LiveryData& record)
{
    pugi::xml_node liv = liveries.append_child("liv");
    liv.append_attribute("airl").set_value(record.airline.c_str());
    liv.append_attribute("type").set_value(record.model.c_str());
    if (record.cargo)
        liv.append_attribute("cargo").set_value("true");
    liv.append_attribute("title").set_value(record.title.c_str());
    liv.append_attribute("atcid").set_value(record.regcode.c_str());
}

void saveScannedLiveries()
{
    if (scanList.empty())
        return;
    pugi::xml_document document;
    writeMeta(document);
    pugi::xml_node liveries = document.append_child("liveries");
    for (const LiveryData& record : scanList)
        appendLiveryNode(liveries, record);
    const std::filesystem::path& path = paths().liveriesScannedPath;
    saveXmlDocument(document, path);
    logLine(fmt::format("{} liveries in {}", scanList.size(), platform::pathToUtf8(path)));
}

void readScannedLiveries()
{
    scanList.clear();
    const std::filesystem::path& path = paths().liveriesScannedPath;
    const std::string pathText = platform::pathToUtf8(path);
    pugi::xml_document document;
    if (!document.load_file(path.c_str()))
        throw UserErrorException(51, fmt::format("File {} not found", pathText));
    checkMeta(document);
    const pugi::xml_node liveries = document.child("liveries");
    if (!liveries)
        throw UserErrorException(52, fmt::format("{} does not contain a <liveries> section", pathText));
    readLiveries(liveries, pathText);
    if (scanList.empty())
        throw UserErrorException(53, pathText + " does not contain liveries");
    scanList.sort(liveryLess);
    logLine(fmt::format("No scan done, {} liveries read from {}", scanList.size(), pathText));
}

} // namespace rtd
