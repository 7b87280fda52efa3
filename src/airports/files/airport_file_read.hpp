#pragma once
// One-value readers of airport files: a parameter of the "parameters" block, and the few
// values the add-on scan and the folder lookup need without reading the whole file. None of
// them checks the meta block.

#include <cstdint>
#include <filesystem>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <utility>

namespace rtd {

// The "value" of <parameter name="NAME"> under the top-level "parameters", and whether that
// element exists (a missing "value" reads as false, 0 or empty). A boolean is true when the
// value starts with 1, T, t, Y or y; a number is decimal or "0x" hexadecimal with an
// optional sign, saturated to 32 bits, and 0 when it is not a number.
std::pair<bool, bool> getXmlBool(const pugi::xml_document& document, std::string_view name);
std::pair<std::int32_t, bool> getXmlNumber(const pugi::xml_document& document, std::string_view name);
std::pair<std::string, bool> getXmlString(const pugi::xml_document& document, std::string_view name);

// Loads an airport file; false when it is missing or not well-formed.
bool loadAirportDocument(pugi::xml_document& document, const std::filesystem::path& path);

// "num_parkpos" of the file; 0 when it does not load or has none.
std::int32_t readNumParkpos(const std::filesystem::path& path);

// "publisher" of the file; empty when it does not load or has none.
std::string readPublisher(const std::filesystem::path& path);

// True when the archived stock file of the code loads and has "Qf_real" or "Qf_soft" of 0
// or more.
bool readQualityFactors(std::string_view icao);

// For the scan log: "\"PATH\" not found" when the file does not load; for the publisher
// "unknown" without a "manufacturer" or "creator" of at least 4 characters,
// "manufacturer=..., creator=..."; otherwise empty.
std::string describePublisher(const std::filesystem::path& path);

} // namespace rtd
