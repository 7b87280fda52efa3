#include "airports/files/airport_file_read.hpp"

#include "airports/database/airport_folders.hpp"
#include "core/settings_file.hpp"
#include "platform/platform.hpp"

#include <fmt/format.h>

namespace rtd {

namespace {

pugi::xml_attribute parameterValue(const pugi::xml_document& document, std::string_view name, bool& found)
{
    const pugi::xml_node node = document.select_node(parameterXPath(name).c_str()).node();
    found = static_cast<bool>(node);
    return node.attribute("value");
}

} // namespace

std::pair<bool, bool> getXmlBool(const pugi::xml_document& document, std::string_view name)
{
    bool found = false;
    const bool value = parameterValue(document, name, found).as_bool();
    return {value, found};
}

std::pair<std::int32_t, bool> getXmlNumber(const pugi::xml_document& document, std::string_view name)
{
    bool found = false;
    const std::int32_t value = parameterValue(document, name, found).as_int();
    return {value, found};
}

std::pair<std::string, bool> getXmlString(const pugi::xml_document& document, std::string_view name)
{
    bool found = false;
    std::string value = parameterValue(document, name, found).as_string();
    return {std::move(value), found};
}

bool loadAirportDocument(pugi::xml_document& document, const std::filesystem::path& path)
{
    return static_cast<bool>(document.load_file(path.c_str()));
}

std::int32_t readNumParkpos(const std::filesystem::path& path)
{
    pugi::xml_document document;
    return loadAirportDocument(document, path) ? getXmlNumber(document, "num_parkpos").first : 0;
}

std::string readPublisher(const std::filesystem::path& path)
{
    pugi::xml_document document;
    return loadAirportDocument(document, path) ? getXmlString(document, "publisher").first : std::string();
}

bool readQualityFactors(std::string_view icao)
{
    pugi::xml_document document;
    if (!loadAirportDocument(document, archiveStockFolder / xmlFileName(icao)))
        return false;
    const auto [real, realFound] = getXmlNumber(document, "Qf_real");
    const auto [soft, softFound] = getXmlNumber(document, "Qf_soft");
    return (realFound && real >= 0) || (softFound && soft >= 0);
}

std::string describePublisher(const std::filesystem::path& path)
{
    pugi::xml_document document;
    if (!loadAirportDocument(document, path))
        return fmt::format("\"{}\" not found", platform::pathToUtf8(path));
    if (getXmlString(document, "publisher").first != "unknown")
        return {};
    const auto [manufacturer, hasManufacturer] = getXmlString(document, "manufacturer");
    const auto [creator, hasCreator] = getXmlString(document, "creator");
    if ((hasManufacturer && manufacturer.size() >= 4) || (hasCreator && creator.size() >= 4))
        return {};
    return fmt::format("manufacturer={}, creator={}", manufacturer, creator);
}

} // namespace rtd
