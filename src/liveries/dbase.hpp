#pragma once
// The model database: which model codes (ICAO type designators) and airline codes exist,
// the size category and wingspan of each model, similar models, scenery publishers, and per
// registration the airline, model, operator and cargo use of the airframe. It is read once
// per process from "input/dbase.xml" on the start-up worker; afterwards the tables are only
// read, from any thread, without locks.
//
// readDbase builds every table aside and replaces the current ones only when the whole file
// was read, so a failed read leaves the earlier tables as they were. A bad registration row
// is logged and skipped.

#include "liveries/registration_table.hpp"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <pugixml.hpp>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace rtd {

// The size category of a model; every per-category table is indexed by it.
enum AircraftCategory : std::int32_t { Light = 0, Buzjets = 1, Large = 2, Heavy = 3, HighPerf = 4, Rotorcraft = 5 };
inline constexpr std::size_t aircraftCategoryCount = 6;

// A scenery publisher: its name first, then further names; every element is a pattern.
using PublisherEntry = std::vector<std::string>;

// Model and airline codes, ordered byte by byte.
using CodeSet = std::set<std::string, std::less<>>;

// Half wingspans are in nautical miles: the file's metres x 0.5 / 1852.
inline constexpr double halfSpanNmPerMetre = 0.5 * 0.0005399568034557236;

struct ModelDatabase {
    CodeSet knownModels;
    CodeSet highPerformanceModels;
    CodeSet heavyModels;
    CodeSet largeModels;
    CodeSet buzjetModels;
    CodeSet rotorcraftModels;
    CodeSet cargoModels;
    std::vector<std::vector<std::string>> similarTypeGroups; // each sorted ascending
    CodeSet knownAirlines;
    CodeSet cargoOperators;
    std::vector<PublisherEntry> publishers; // sorted by their whole "names" value
    std::map<std::string, double, std::less<>> wingspans; // model -> half wingspan (nm)
    std::array<double, aircraftCategoryCount> defaultWingspans{}; // category averages (nm)
    double maxHalfWingspanNm = 0.0;
    RegistrationTable dbaseRecords;

    AircraftCategory sizeCategory(std::string_view model) const;
    bool isKnownModel(std::string_view model) const;
};

// The tables of the last successful readDbase (empty before it).
const ModelDatabase& modelDatabase();

// ---- reading (start-up only) -----------------------------------------------------------

// Reads "input/dbase.xml" and replaces the tables. Throws UserErrorException 60 (file
// missing or not well-formed) or 61 (a required list empty), SysErrorException 299
// (publishers) or 288 (wingspans). Returns true.
bool readDbase();

// Every item of the comma lists in `attribute` of the `element` children of the first
// top-level `section` goes into `out`. Throws UserErrorException 61 when `out` stays empty.
void readXmlList(const pugi::xml_document& document, const char* section, CodeSet& out,
                 const char* element, const char* attribute);
// readXmlList of "types", each item unscrambled into `models`.
void readTypeList(const pugi::xml_document& document, const char* section, CodeSet& models,
                  const char* element);
// readXmlList of "ICAO" / "codes", each item unscrambled into `airlines`.
void readAirlineCodeList(const pugi::xml_document& document, const char* section, CodeSet& airlines);
// The unscrambled model code of an attribute; empty when absent or empty.
std::string readTypeAttribute(pugi::xml_node element, const char* attribute);
void decryptTypeList(std::vector<std::string>& codes);
// A comma list's items, each trimmed; a trailing comma adds no item, an empty text has none.
std::vector<std::string> splitComma(const std::string& text);
// Appends one publisher per "names" value, in list order.
void addPublisher(const std::vector<std::string>& namesValues, std::vector<PublisherEntry>& publishers);

// A decimal number from the beginning of the attribute's text; 0.0 when absent or none.
double getAttributeDouble(pugi::xml_node element, const char* attribute);
// True when the attribute's value begins with 1, T, t, Y or y.
bool getAttributeBool(pugi::xml_node element, const char* attribute);

// ---- lookups (any thread, after start-up) ----------------------------------------------

AircraftCategory sizeCategory(std::string_view model);
bool isKnownModel(std::string_view model);
bool isKnownAirline(std::string_view airline);
// Half wingspan in nautical miles; for an unlisted model the average of its category (0.0
// when the category lists none).
double wingspanOf(std::string_view model);
// The largest half wingspan of the file in nautical miles; 0.0 when it has none.
double maxHalfWingspanNm();

// The record of a registration: the exact text, then for a text of 5 or more characters
// without '-' the text with '-' after its second, then after its first character.
std::optional<DbaseRecord> lookupRegcode(std::string_view registration);
bool regcodeKnown(std::string_view registration);
std::string dbaseAirlineOf(std::string_view registration);
std::string dbaseModelOf(std::string_view registration);
std::string dbaseOperatorOf(std::string_view registration);

} // namespace rtd
