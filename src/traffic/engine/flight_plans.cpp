#include "traffic/engine/flight_plans.hpp"

#include "core/log.hpp"
#include "core/paths.hpp"

#include <fmt/format.h>
#include <fstream>
#include <system_error>

namespace rtd {

std::filesystem::path flightPlanFolder;

namespace {

std::string xmlEscaped(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

bool instrumentRules(AircraftCategory category)
{
    return category == Buzjets || category == Large || category == Heavy;
}

} // namespace

bool createFlightPlanFolder()
{
    const std::filesystem::path folder = paths().programDataFolder / "orig_dest";
    flightPlanFolder = folder;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!error && std::filesystem::is_directory(folder, error))
        return true;
    logArrow(fmt::format("flight plan folder \"{}\" cannot be created: {}", folder.string(),
                         error ? error.message() : std::string("not a folder")));
    return false;
}

std::filesystem::path flightPlanFileName(std::uint32_t objectId)
{
    return fmt::format("{}.pln", objectId);
}

std::string flightPlanText(const FlightRecord& flight)
{
    return fmt::format("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n"
                       "<FlightPlan.FlightPlan>\n"
                       "<FPType>{}</FPType>\n"
                       "<DepartureID>{}</DepartureID>\n"
                       "<DestinationID>{}</DestinationID>\n"
                       "</FlightPlan.FlightPlan>\n"
                       "</SimBase.Document>\n",
                       instrumentRules(flight.category) ? "IFR" : "VFR", xmlEscaped(flight.origin),
                       xmlEscaped(flight.destination));
}

int writeFlightPlan(const std::filesystem::path& path, const FlightRecord& flight)
{
    std::filesystem::path temporary = path;
    temporary += ".tmp";
    const std::string text = flightPlanText(flight);
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out)
            return 0;
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        if (!out) {
            out.close();
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return 0;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        return 0;
    }
    return 1;
}

bool gf_removeFlightPlanFolder()
{
    if (flightPlanFolder.empty())
        return true;
    try {
        if (std::filesystem::exists(flightPlanFolder))
            std::filesystem::remove_all(flightPlanFolder);
        return !std::filesystem::exists(flightPlanFolder);
    } catch (const std::exception& e) {
        logLine(fmt::format("gf_removeFlightPlanFolder: {}", e.what()));
        std::error_code error;
        return !std::filesystem::exists(flightPlanFolder, error) && !error;
    }
}

} // namespace rtd
