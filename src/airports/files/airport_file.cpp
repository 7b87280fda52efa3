#include "airports/files/airport_file.hpp"

#include "core/files.hpp"
#include "core/meta.hpp"
#include "core/parameters.hpp"
#include "core/settings_file.hpp"
#include "liveries/dbase.hpp"

#include <fmt/format.h>

namespace rtd {

namespace {

constexpr std::size_t reservedNeighbours = 8;
const std::string unknownPublisher = "unknown";

bool addAttribute(pugi::xml_node node, const char* name, const std::string& value)
{
    return node.append_attribute(name).set_value(value.c_str());
}

bool addFlag(pugi::xml_node node, const char* name, bool value)
{
    return addAttribute(node, name, value ? "true" : "false");
}

bool writeFullForm(pugi::xml_node parkpos, const ParkingPosition& stand)
{
    bool ok = addAttribute(parkpos, "latitude", fmt::format("{:.6f}", stand.latitude)) &&
              addAttribute(parkpos, "longitude", fmt::format("{:.6f}", stand.longitude)) &&
              addAttribute(parkpos, "heading", fmt::format("{:.1F}", stand.heading * radiansToDegrees)) &&
              addAttribute(parkpos, "radius", fmt::format("{:.1F}", stand.radius * nmToMetres));
    ok = ok && (stand.heli ? addFlag(parkpos, "heli", true) : addFlag(parkpos, "cargo", stand.cargo));
    ok = ok && addFlag(parkpos, "ramp", stand.ramp);
    return ok && (!stand.manual || addFlag(parkpos, "manual", true));
}

bool writeShortForm(pugi::xml_node parkpos, const ParkingPosition& stand)
{
    if (stand.radiusChange &&
        !(addFlag(parkpos, "radius_change", true) &&
          addAttribute(parkpos, "radius", fmt::format("{:.1F}", stand.radius * nmToMetres))))
        return false;
    return !stand.cargoChange || (addFlag(parkpos, "cargo_change", true) && addFlag(parkpos, "cargo", stand.cargo));
}

bool writeOptions(pugi::xml_node parkpos, const ParkingPosition& stand)
{
    for (const StandOption& option : stand.options)
        if (!writeStandOption(parkpos, option))
            return false;
    return true;
}

// The airport's own settings, as learned files keep them.
bool writeSettings(pugi::xml_node parameters)
{
    bool ok = appendIntParameter(parameters, LATERAL_RANGE.name, LATERAL_RANGE.value()) &&
              appendBoolParameter(parameters, AUTO_RANGE.name, AUTO_RANGE.value()) &&
              appendBoolParameter(parameters, WEEK.name, WEEK.value()) &&
              appendBoolParameter(parameters, PARK_FAKE.name, PARK_FAKE.value()) &&
              appendBoolParameter(parameters, PARK_SOFT.name, PARK_SOFT.value()) &&
              appendIntParameter(parameters, parking_percentage.name, parking_percentage.value()) &&
              appendBoolParameter(parameters, INITIAL_LOAD_ONLY.name, INITIAL_LOAD_ONLY.value()) &&
              appendIntParameter(parameters, MAX_FIT.name, MAX_FIT.value());
    if (ok && MAX_LIVE.value() != MAX_LIVE.defaultValue())
        ok = appendIntParameter(parameters, MAX_LIVE.name, MAX_LIVE.value());
    return ok && appendBoolParameter(parameters, LEARN_SOFT.name, LEARN_SOFT.value());
}

} // namespace

ParkingPosition::ParkingPosition(std::string name_, std::vector<StandOption> options_, double latitude_,
                                 double longitude_, double heading_, double radiusMetres, bool cargo_, bool ramp_,
                                 bool heli_)
    : options(std::move(options_)), name(std::move(name_)), latitude(latitude_), longitude(longitude_),
      heading(heading_), radius(radiusMetres * metresToNm), cargo(cargo_), ramp(ramp_), heli(heli_)
{
    neighbours.reserve(reservedNeighbours);
}

bool writeAirportParameters(pugi::xml_document& document, const AirportFileData& data, bool learned, bool handmade)
{
    const pugi::xml_node parameters = document.append_child("parameters");
    if (!parameters)
        return false;
    bool ok = writeParameterNode(parameters, "airport_name", data.airportName) &&
              writeParameterNode(parameters, "publisher", data.publisher);
    if (ok && handmade)
        ok = appendBoolParameter(parameters, "handmade", true);
    if (ok && (!learned || handmade))
        ok = appendIntParameter(parameters, "altitude", data.altitude);
    ok = ok && appendIntParameter(parameters, "num_parkpos", static_cast<std::int32_t>(data.stands.size()));
    if (ok && handmade)
        ok = appendIntParameter(parameters, "Qf_real", data.qfReal) &&
             appendIntParameter(parameters, "Qf_soft", data.qfSoft);
    if (ok && data.publisher == unknownPublisher)
        ok = writeParameterNode(parameters, "BGLpath", data.bglPath) &&
             writeParameterNode(parameters, "manufacturer", data.manufacturer) &&
             writeParameterNode(parameters, "creator", data.creator);
    return ok && (!learned || writeSettings(parameters));
}

bool writeParkPosition(const ParkPositionContext& context, const ParkingPosition& stand)
{
    pugi::xml_node parkpositions = context.parkpositions;
    const pugi::xml_node parkpos = parkpositions.append_child("parkpos");
    if (!parkpos || !addAttribute(parkpos, "id", stand.name))
        return false;
    if (!context.learned)
        return writeFullForm(parkpos, stand);
    const bool fullForm = stand.manual || context.handmade;
    if (fullForm && !writeFullForm(parkpos, stand))
        return false;
    if (!fullForm && (stand.radiusChange || stand.cargoChange) && !writeShortForm(parkpos, stand))
        return false;
    return writeOptions(parkpos, stand);
}

bool writeStandOption(pugi::xml_node parkpos, const StandOption& option)
{
    if (option.number == 0)
        return true;
    const pugi::xml_node opt = parkpos.append_child("opt");
    bool ok = opt && addAttribute(opt, "reg", option.registration);
    if (ok && !regcodeKnown(option.registration))
        ok = addAttribute(opt, "airl", option.airline) && addAttribute(opt, "type", option.type);
    if (ok && option.soft)
        ok = addFlag(opt, "soft", true);
    ok = ok && addAttribute(opt, "day", std::to_string(option.day)) &&
         addAttribute(opt, "hh", halfHourSetToString(HalfHourSet(option.halfHours)));
    std::string callsigns = option.callsign;
    if (!option.coupledCallsign.empty())
        callsigns += ':' + option.coupledCallsign;
    return ok && (callsigns.empty() || addAttribute(opt, "cs", callsigns));
}

bool saveAirportFile(const AirportFileData& data, const std::filesystem::path& path, bool learned, bool handmade,
                     const std::function<bool()>& stop)
{
    constexpr std::size_t stopCheckStands = 4096;
    pugi::xml_document document;
    if (!writeMeta(document) || !writeAirportParameters(document, data, learned, handmade))
        return false;
    const ParkPositionContext context{document.append_child("parkpositions"), learned, handmade};
    if (!context.parkpositions)
        return false;
    for (std::size_t i = 0; i < data.stands.size(); ++i) {
        if (stop && i > 0 && i % stopCheckStands == 0 && stop())
            return false;
        if (!writeParkPosition(context, data.stands[i]))
            return false;
    }
    return writeXmlDocument(document, path, stop);
}

} // namespace rtd
