#include "airports/database/airport_database.hpp"

#include "airports/database/airport_folders.hpp"
#include "core/exceptions.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"
#include "core/settings_file.hpp"
#include "platform/platform.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <stdexcept>

namespace rtd {

std::atomic<std::int32_t> tbloAirportCount{0};
std::atomic<std::int32_t> airportLateralRange{0};
std::vector<AirportRecord> airportRecords;
std::unordered_map<std::string, std::string> airportNames;

namespace {

constexpr std::size_t expectedAirportCount = 44000;
const std::filesystem::path airportsFileName{"airports_msfs.xml"};
const std::filesystem::path airportNamesFileName{"airports_msfs_names.xml"};

bool airportsLoaded = false;

// std::stod and std::stof, whose libstdc++ errors only say "stod" or "stof".
template <typename Number, Number (*convert)(const char*, char**)>
Number parseNumber(const char* text, const char* name)
{
    char* end = nullptr;
    const int savedErrno = errno;
    errno = 0;
    const Number value = convert(text, &end);
    const bool outOfRange = errno == ERANGE;
    errno = savedErrno;
    if (end == text)
        throw std::invalid_argument(fmt::format("invalid {} argument", name));
    if (outOfRange)
        throw std::out_of_range(fmt::format("{} argument out of range", name));
    return value;
}

double toDouble(const char* text)
{
    return parseNumber<double, std::strtod>(text, "stod");
}

float toFloat(const char* text)
{
    return parseNumber<float, std::strtof>(text, "stof");
}

void loadAirportRecords(const std::filesystem::path& path)
{
    pugi::xml_document document;
    const pugi::xml_parse_result result = document.load_file(path.c_str());
    const std::string pathText = platform::pathToUtf8(path);
    if (!result)
        throw std::runtime_error(fmt::format("{} not loaded {}", pathText, result.description()));
    const pugi::xml_node root = document.child("airports");
    if (!root)
        throw std::runtime_error(fmt::format("{} not found", pathText));
    for (const pugi::xml_node airport : root.children("airport")) {
        AirportRecord record;
        record.code = getAttributeString(airport, "code");
        record.iata = getAttributeString(airport, "iata");
        record.lat = toDouble(airport.attribute("lat").as_string());
        record.lon = toDouble(airport.attribute("lon").as_string());
        record.alt = toFloat(airport.attribute("alt").as_string());
        airportRecords.push_back(std::move(record));
    }
    std::sort(airportRecords.begin(), airportRecords.end(),
              [](const AirportRecord& a, const AirportRecord& b) { return a.code < b.code; });
}

} // namespace

bool readAirports()
{
    if (airportsLoaded)
        return !airportRecords.empty();
    airportRecords.clear();
    airportRecords.reserve(expectedAirportCount);
    const std::filesystem::path path = paths().inputFolder / airportsFileName;
    try {
        loadAirportRecords(path);
    } catch (const pugi::xpath_exception& e) {
        airportRecords.clear();
        throw UserErrorException(87, e.result().description());
    } catch (const std::exception& e) {
        airportRecords.clear();
        throw UserErrorException(88, e.what());
    }
    logLine(fmt::format("{} airports read from \"{}\"", airportRecords.size(), platform::pathToUtf8(path)));
    airportRecords.shrink_to_fit();
    airportsLoaded = true;
    return !airportRecords.empty();
}

void resetAirports()
{
    airportRecords = {};
    airportsLoaded = false;
}

bool readAirportNames()
{
    const std::filesystem::path path = paths().inputFolder / airportNamesFileName;
    pugi::xml_document document;
    if (document.load_file(path.c_str())) {
        for (const pugi::xml_node airport : document.child("AirportNames").children("airport"))
            airportNames.try_emplace(getAttributeString(airport, "ICAO"), getAttributeString(airport, "name"));
    }
    logLine(fmt::format("{} airport names read from \"{}\"", airportNames.size(), platform::pathToUtf8(path)));
    return !airportNames.empty();
}

void clearAirportNames()
{
    airportNames = {};
}

std::optional<AirportRecord> findAirport(std::string_view code)
{
    // The vector is sorted by code, so the lower bound is the first equal record.
    const auto found = std::lower_bound(airportRecords.begin(), airportRecords.end(), code,
                                        [](const AirportRecord& record, std::string_view key) { return record.code < key; });
    if (found == airportRecords.end() || found->code != code)
        return std::nullopt;
    return *found;
}

std::string airportDisplayName(const AirportRecord& record)
{
    std::string text = record.code.empty() ? "?" : record.code;
    if (!record.iata.empty())
        text += fmt::format(" ({})", record.iata);
    return text;
}

bool archiveFolderMissing()
{
    for (const std::filesystem::path* folder : {&archiveFolder, &archiveStockFolder, &archiveSimaddonFolder, &archiveThirdpartyFolder})
        if (!std::filesystem::is_directory(*folder))
            return true;
    return false;
}

} // namespace rtd
