#include "liveries/dbase.hpp"

#include "core/exceptions.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"
#include "core/text.hpp"
#include "liveries/dbase_file.hpp"
#include "liveries/scramble.hpp"
#include "platform/platform.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fmt/format.h>
#include <stdexcept>

namespace rtd {
namespace {

ModelDatabase database;

bool contains(const CodeSet& set, std::string_view code)
{
    return set.find(code) != set.end();
}

void readSimilarTypes(const pugi::xml_document& document, ModelDatabase& tables)
{
    auto& groups = tables.similarTypeGroups;
    groups.reserve(64);
    for (const pugi::xml_node similar : document.child("similar_types").children("similar")) {
        std::vector<std::string> group = splitComma(similar.attribute("types").value());
        decryptTypeList(group);
        std::sort(group.begin(), group.end());
        groups.push_back(std::move(group));
    }
    groups.shrink_to_fit();
}

void readPublishers(const pugi::xml_document& document, ModelDatabase& tables)
{
    tables.publishers.reserve(640);
    std::vector<std::string> namesValues;
    for (const pugi::xml_node pub : document.child("publishers").children("pub"))
        namesValues.emplace_back(pub.attribute("names").value());
    std::sort(namesValues.begin(), namesValues.end());
    removeAdjacentDuplicates(namesValues);
    addPublisher(namesValues, tables.publishers);
    tables.publishers.shrink_to_fit();
}

void computeDefaultWingspans(ModelDatabase& tables)
{
    std::array<double, aircraftCategoryCount> sums{};
    std::array<int, aircraftCategoryCount> counts{};
    for (const auto& [model, halfSpan] : tables.wingspans) {
        const AircraftCategory category = tables.sizeCategory(model);
        sums[category] += halfSpan;
        ++counts[category];
    }
    for (std::size_t category = 0; category < aircraftCategoryCount; ++category)
        tables.defaultWingspans[category] = counts[category] > 0 ? sums[category] / counts[category] : 0.0;
}

void readWingspans(const pugi::xml_document& document, ModelDatabase& tables)
{
    bool accepted = false;
    for (const pugi::xml_node wingspan : document.child("wingspans").children("wingspan")) {
        const std::string model = readTypeAttribute(wingspan, "type");
        if (!tables.isKnownModel(model)) {
            logArrow(fmt::format("wingspan model {} is no valid model, skipped", model));
            continue;
        }
        const double metres = getAttributeDouble(wingspan, "meters");
        if (!std::isfinite(metres) || metres <= 0.0) {
            logArrow(fmt::format("wingspan \"{}\" of model {} is no valid length, skipped",
                                 wingspan.attribute("meters").value(), model));
            continue;
        }
        const double halfSpan = metres * halfSpanNmPerMetre;
        tables.wingspans.emplace(model, halfSpan);
        tables.maxHalfWingspanNm = std::max(tables.maxHalfWingspanNm, halfSpan);
        accepted = true;
    }
    if (accepted)
        computeDefaultWingspans(tables);
}

// One "db" row into the table; a row that cannot be read is logged with its number and
// skipped.
void readRegistration(pugi::xml_node row, std::size_t rowNumber, RegistrationTable& records)
{
    const char* scrambled = row.attribute("reg").value();
    try {
        const std::string registration = decryptRegcode(scrambled);
        if (registration.empty())
            throw std::invalid_argument("no registration");
        const DbaseRecord record{decryptAirline(row.attribute("airl").value()), readTypeAttribute(row, "type"),
                                 decryptAirline(row.attribute("opr").value()), getAttributeBool(row, "cargo")};
        if (!records.insert(registration, record))
            logArrow(fmt::format("regcode {} already exists", registration));
    } catch (const std::runtime_error& e) {
        logArrow(fmt::format("dbase row {} (reg \"{}\") skipped: {}", rowNumber, scrambled, e.what()));
    } catch (const std::invalid_argument& e) {
        logArrow(fmt::format("dbase row {} (reg \"{}\") skipped: {}", rowNumber, scrambled, e.what()));
    }
}

void readRegistrations(const DbaseFile& file, RegistrationTable& records)
{
    records.reserve(file.rowCount());
    std::size_t rowNumber = 0;
    file.forEachRowGroup([&](pugi::xml_node rows) {
        for (const pugi::xml_node row : rows.children("db"))
            readRegistration(row, ++rowNumber, records);
    });
}

const RegistrationTable& records()
{
    return database.dbaseRecords;
}

} // namespace

// ---- tables ----------------------------------------------------------------------------

AircraftCategory ModelDatabase::sizeCategory(std::string_view model) const
{
    if (contains(largeModels, model))
        return Large;
    if (contains(heavyModels, model))
        return Heavy;
    if (contains(buzjetModels, model))
        return Buzjets;
    if (contains(rotorcraftModels, model))
        return Rotorcraft;
    if (contains(highPerformanceModels, model))
        return HighPerf;
    return Light;
}

bool ModelDatabase::isKnownModel(std::string_view model) const
{
    return !model.empty() && contains(knownModels, model);
}

const ModelDatabase& modelDatabase()
{
    return database;
}

// ---- reading ---------------------------------------------------------------------------

bool readDbase()
{
    const std::filesystem::path path = paths().inputFolder / paths().dbaseFileName;
    const std::string pathText = platform::pathToUtf8(path);
    const DbaseFile file(path);
    const pugi::xml_document& document = file.sections();

    ModelDatabase fresh;
    readTypeList(document, "aircrafts", fresh.knownModels, "aircraft");
    readTypeList(document, "high_performance", fresh.highPerformanceModels, "hpf");
    readTypeList(document, "heavy", fresh.heavyModels, "hvy");
    readTypeList(document, "large", fresh.largeModels, "lar");
    readTypeList(document, "buzjet", fresh.buzjetModels, "bzj");
    readTypeList(document, "rotorcraft", fresh.rotorcraftModels, "rot");
    readTypeList(document, "cargo_types", fresh.cargoModels, "cargo_type");
    readSimilarTypes(document, fresh);
    readAirlineCodeList(document, "ICAO_airlines", fresh.knownAirlines);
    readAirlineCodeList(document, "cargo_operators", fresh.cargoOperators);
    try {
        readPublishers(document, fresh);
    } catch (const std::exception& e) {
        throw SysErrorException(299, fmt::format("exception {} in reading publishers from \"{}\"", e.what(), pathText));
    }
    try {
        readWingspans(document, fresh);
    } catch (const std::exception& e) {
        throw SysErrorException(288, fmt::format("exception {} in reading wingspans from \"{}\"", e.what(), pathText));
    }
    readRegistrations(file, fresh.dbaseRecords);

    database = std::move(fresh);
    logLine(fmt::format("{} dbase records from \"{}\" read", database.dbaseRecords.size(), pathText));
    return true;
}

void readXmlList(const pugi::xml_document& document, const char* section, CodeSet& out, const char* element,
                 const char* attribute)
{
    for (const pugi::xml_node node : document.child(section).children(element))
        for (std::string& item : splitComma(node.attribute(attribute).value()))
            out.insert(std::move(item));
    if (out.empty())
        throw UserErrorException(61, fmt::format("In an xml file section {} {} {} is empty ", section, element, attribute));
}

void readTypeList(const pugi::xml_document& document, const char* section, CodeSet& models, const char* element)
{
    CodeSet scrambled;
    readXmlList(document, section, scrambled, element, "types");
    for (const std::string& code : scrambled)
        models.insert(decryptModelType(code));
}

void readAirlineCodeList(const pugi::xml_document& document, const char* section, CodeSet& airlines)
{
    CodeSet scrambled;
    readXmlList(document, section, scrambled, "ICAO", "codes");
    for (const std::string& code : scrambled) {
        try {
            airlines.insert(decryptAirline(code));
        } catch (const std::runtime_error& e) {
            logArrow(fmt::format("airline code \"{}\" of section {} skipped: {}", code, section, e.what()));
        }
    }
    if (airlines.empty()) // every code was skipped: the list is as empty as a missing one
        throw UserErrorException(61, fmt::format("In an xml file section {} {} {} is empty ", section, "ICAO", "codes"));
}

std::string readTypeAttribute(pugi::xml_node element, const char* attribute)
{
    return decryptModelType(element.attribute(attribute).value());
}

void decryptTypeList(std::vector<std::string>& codes)
{
    for (std::string& code : codes)
        code = decryptModelType(code);
}

std::vector<std::string> splitComma(const std::string& text)
{
    return splitWords(text);
}

void addPublisher(const std::vector<std::string>& namesValues, std::vector<PublisherEntry>& publishers)
{
    for (const std::string& names : namesValues)
        publishers.push_back(splitComma(names));
}

double getAttributeDouble(pugi::xml_node element, const char* attribute)
{
    const char* text = element.attribute(attribute).value();
    while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r' || *text == '\f' || *text == '\v')
        ++text; // as strtod, which the number reading follows, skips them
    double value = 0.0;
    const auto [end, error] = std::from_chars(text, text + std::strlen(text), value);
    return error == std::errc() ? value : 0.0;
}

bool getAttributeBool(pugi::xml_node element, const char* attribute)
{
    const char first = element.attribute(attribute).value()[0];
    return first != '\0' && std::strchr("1TtYy", first) != nullptr;
}

// ---- lookups ---------------------------------------------------------------------------

AircraftCategory sizeCategory(std::string_view model)
{
    return database.sizeCategory(model);
}

bool isKnownModel(std::string_view model)
{
    return database.isKnownModel(model);
}

bool isKnownAirline(std::string_view airline)
{
    return !airline.empty() && contains(database.knownAirlines, airline);
}

double wingspanOf(std::string_view model)
{
    const auto listed = database.wingspans.find(model);
    if (listed != database.wingspans.end())
        return listed->second;
    return database.defaultWingspans[database.sizeCategory(model)];
}

double maxHalfWingspanNm()
{
    return database.maxHalfWingspanNm;
}

std::optional<DbaseRecord> lookupRegcode(std::string_view registration)
{
    if (registration.empty())
        return std::nullopt;
    if (auto record = records().find(registration))
        return record;
    if (registration.size() < 5 || registration.find('-') != std::string_view::npos)
        return std::nullopt;
    for (const std::size_t dashAt : {2, 1}) {
        const std::string form = fmt::format("{}-{}", registration.substr(0, dashAt), registration.substr(dashAt));
        if (auto record = records().find(form))
            return record;
    }
    return std::nullopt;
}

bool regcodeKnown(std::string_view registration)
{
    return lookupRegcode(registration).has_value();
}

std::string dbaseAirlineOf(std::string_view registration)
{
    const auto record = lookupRegcode(registration);
    return record ? record->airl : std::string();
}

std::string dbaseModelOf(std::string_view registration)
{
    const auto record = lookupRegcode(registration);
    return record ? record->type : std::string();
}

std::string dbaseOperatorOf(std::string_view registration)
{
    const auto record = lookupRegcode(registration);
    return record ? record->opr : std::string();
}

} // namespace rtd
