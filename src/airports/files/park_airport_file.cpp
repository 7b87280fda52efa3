#include "airports/files/park_airport_file.hpp"

#include "airports/database/airport_folders.hpp"
#include "airports/files/airport_file_read.hpp"
#include "airports/parking/fake_parking.hpp"
#include "airports/parking/park_airport_state.hpp"
#include "airports/traffic_port.hpp"
#include "core/display.hpp"
#include "core/exceptions.hpp"
#include "core/files.hpp"
#include "core/geo.hpp"
#include "core/log.hpp"
#include "core/meta.hpp"
#include "core/parameters.hpp"
#include "core/settings_file.hpp"
#include "core/time.hpp"
#include "liveries/dbase.hpp"
#include "platform/platform.hpp"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

namespace rtd {

namespace fs = std::filesystem;

namespace {

constexpr double degreesToRadians = 0.017453292519943295;
constexpr std::size_t reservedOptions = 128;
constexpr std::int32_t defaultParkingPercentage = 30;
constexpr double neighbourFactor = 1.1;
constexpr double nmPerDegreeLatitude = 60.0; // on the sphere of radius 10800/pi nm
const std::string indent = "    ";

std::string pathText(const fs::path& path)
{
    return platform::pathToUtf8(path);
}

void logField(std::string_view name, std::string_view value)
{
    logLine(fmt::format("{}{:24}: {}", indent, name, value));
}

void logFlag(std::string_view name, bool value)
{
    logField(name, value ? "true" : "false");
}

// One "opt" element: the callsign split at its first ':', airline and type from the model
// database when it knows the registration. The attributes are taken in one pass (the first
// of a name counts).
StandOption readOption(pugi::xml_node opt)
{
    pugi::xml_attribute cs, reg, airl, type, soft, day, hh;
    for (const pugi::xml_attribute attribute : opt.attributes()) {
        const std::string_view name = attribute.name();
        pugi::xml_attribute* slot = name == "cs"     ? &cs
                                    : name == "reg"  ? &reg
                                    : name == "airl" ? &airl
                                    : name == "type" ? &type
                                    : name == "soft" ? &soft
                                    : name == "day"  ? &day
                                    : name == "hh"   ? &hh
                                                     : nullptr;
        if (slot != nullptr && !*slot)
            *slot = attribute;
    }
    StandOption option;
    const std::string_view callsigns = cs.as_string();
    const std::size_t colon = callsigns.find(':');
    option.callsign = callsigns.substr(0, colon);
    if (colon != std::string_view::npos) {
        const std::string_view coupled = callsigns.substr(colon + 1);
        if (coupled.find(':') == std::string_view::npos)
            option.coupledCallsign = coupled;
    }
    option.registration = reg.as_string();
    if (const std::optional<DbaseRecord> known = lookupRegcode(option.registration)) {
        option.airline = known->opr.empty() ? known->airl : known->opr;
        option.type = known->type;
    } else {
        option.airline = airl.as_string();
        option.type = type.as_string();
    }
    option.soft = soft.as_bool();
    option.day = static_cast<std::uint32_t>(day.as_int());
    option.halfHours = lf_hours2bitset(hh.as_string()).to_ullong();
    return option;
}

bool isTowing(const StandOption& option)
{
    return option.callsign.starts_with("TOW ");
}

// A stand's own attributes with the options already read.
ParkingPosition makeStand(pugi::xml_node parkpos, std::string name, std::vector<StandOption> options)
{
    return ParkingPosition(std::move(name), std::move(options), getAttributeDouble(parkpos, "latitude"),
                           getAttributeDouble(parkpos, "longitude"),
                           getAttributeDouble(parkpos, "heading") * degreesToRadians,
                           getAttributeDouble(parkpos, "radius"), getAttributeBool(parkpos, "cargo"),
                           getAttributeBool(parkpos, "ramp"), getAttributeBool(parkpos, "heli"));
}

// Stand ids in vector order, and each stand's overlapping stands in ascending id order.
void numberStandsAndFindNeighbours(std::vector<ParkingPosition>& stands)
{
    for (std::size_t i = 0; i < stands.size(); ++i) {
        stands[i].standId = static_cast<std::uint32_t>(i + 1);
        stands[i].neighbours.clear();
    }
    for (ParkingPosition& a : stands) {
        for (const ParkingPosition& b : stands) {
            if (&a == &b)
                continue;
            const double reach = a.radius + b.radius;
            // The latitude difference alone is a lower bound of the distance: far pairs are
            // passed over without the trigonometry (with a margin for rounding).
            if (neighbourFactor * std::abs(a.latitude - b.latitude) * nmPerDegreeLatitude > reach * 1.000001 + 1e-9)
                continue;
            if (reach >= neighbourFactor * distanceNm({a.latitude, a.longitude}, {b.latitude, b.longitude}))
                a.neighbours.push_back(b.standId);
        }
    }
    for (ParkingPosition& stand : stands)
        stand.neighbours.shrink_to_fit();
}

// The path as the file system takes it: absolute, without "." and "..", with the links of
// its existing part followed.
fs::path resolvedPath(const fs::path& path)
{
    std::error_code error;
    fs::path resolved = fs::weakly_canonical(fs::absolute(path, error), error);
    if (error)
        resolved = fs::absolute(path, error).lexically_normal();
    return resolved;
}

// Whether the path lies inside the learned folder, both resolved.
bool insideLearnedFolder(const fs::path& resolved)
{
    const fs::path relative = resolved.lexically_relative(resolvedPath(learnedFolder));
    return !relative.empty() && *relative.begin() != ".." && relative != ".";
}

fs::path publisherLearnedFolder(const std::string& publisher)
{
    if (publisher == "stock")
        return learnedStockFolder;
    if (publisher == "simaddon")
        return learnedSimaddonFolder;
    return learnedThirdpartyFolder / platform::pathFromUtf8(publisherFolderName(publisher));
}

// "EGLL.xml" -> "EGLL0.xml": "0" before the last '.' of the file name.
fs::path zeroCopyPath(const fs::path& path)
{
    const fs::path stem = path.stem();
    return path.parent_path() / platform::pathFromUtf8(pathText(stem) + "0" + pathText(path.extension()));
}

// ---- the learned file's settings ---------------------------------------------------------

void applyLearnedSettings(const pugi::xml_document& document)
{
    WindowDisplay& display = windowDisplay();
    if (const auto [on, found] = getXmlBool(document, "LEARN_SOFT"); found) {
        display.setCheckState(LEARN_SOFT, on);
        logFlag(LEARN_SOFT.name, on);
    }
    if (const auto [value, found] = getXmlNumber(document, "MAX_LIVE"); !found) {
        MAX_LIVE.set(MAX_LIVE.defaultValue());
        display.showEditText(MAX_LIVE.controlId());
    } else {
        MAX_LIVE.set(value);
        display.showIntInEdit(MAX_LIVE);
        if (MAX_LIVE.value() == MAX_LIVE.defaultValue())
            display.showEditText(MAX_LIVE.controlId());
        logField(MAX_LIVE.name, std::to_string(MAX_LIVE.value()));
    }
    if (const auto [value, found] = getXmlNumber(document, "LATERAL_RANGE"); found) {
        setLateralRange(value);
        display.showIntInEdit(LATERAL_RANGE);
        display.enableControl(LATERAL_RANGE.controlId(), true);
        logField(LATERAL_RANGE.name, std::to_string(LATERAL_RANGE.value()));
    }
    if (const auto [on, found] = getXmlBool(document, "AUTO_RANGE"); found) {
        display.setCheckState(AUTO_RANGE, on);
        display.enableControl(LATERAL_RANGE.controlId(), !on);
        if (!on) {
            display.enableControl(LATERAL_RANGE.controlId(), true);
            const std::int32_t saved = display.savedLateralRange();
            setLateralRange(saved != 0 ? saved : LATERAL_RANGE.value());
            clearStatus();
        } else {
            display.setSavedLateralRange(LATERAL_RANGE.value());
            display.showRange();
            display.enableControl(LATERAL_RANGE.controlId(), false);
        }
        display.showIntInEdit(LATERAL_RANGE);
        logFlag(AUTO_RANGE.name, on);
    }
    for (GuiBoolParameter* setting : {&PARK_FAKE, &WEEK, &PARK_SOFT}) {
        if (const auto [on, found] = getXmlBool(document, setting->name); found) {
            display.setCheckState(*setting, on);
            logFlag(setting->name, on);
        }
    }
    // Taken as the file says, beyond the window's range too.
    if (const auto [value, found] = getXmlNumber(document, "parking_percentage"); found) {
        parking_percentage.setUnclamped(value);
        logField(parking_percentage.name, std::to_string(value));
    } else {
        parking_percentage.set(defaultParkingPercentage);
    }
    if (const std::int32_t custom = CUSTOM_PARKING_PERCENTAGE.value(); custom >= 0) {
        parking_percentage.set(custom);
        setStatus("parking percentage overruled by " + CUSTOM_PARKING_PERCENTAGE.name, true);
    }
    display.showIntInEdit(parking_percentage);
    if (const auto [on, found] = getXmlBool(document, "INITIAL_LOAD_ONLY"); found) {
        display.setCheckState(INITIAL_LOAD_ONLY, on);
        logFlag(INITIAL_LOAD_ONLY.name, on);
    }
    auto maxFit = getXmlNumber(document, "MAX_FIT");
    if (!maxFit.second)
        maxFit = getXmlNumber(document, "MAX_FIT_WEEK");
    if (maxFit.second)
        logMaxFitHalfHours(maxFit.first);
}

// A stand created by hand in the learned file; false when it was refused.
bool addManualStand(pugi::xml_node parkpos, const std::string& name, const fs::path& path,
                    std::unordered_map<std::string, std::size_t>& byName)
{
    std::vector<ParkingPosition>& stands = parkAirport.stands;
    if (byName.contains(name)) {
        logArrow(fmt::format("manually created standid {} already exists in {}", name, pathText(path)));
        return false;
    }
    const LatLon position{getAttributeDouble(parkpos, "latitude"), getAttributeDouble(parkpos, "longitude")};
    if (!isValidPosition(position) || getAttributeDouble(parkpos, "radius") == 0.0) {
        logArrow(fmt::format("manually created standid {} misses correct attributes in {}", name, pathText(path)));
        return false;
    }
    const auto opts = parkpos.children("opt");
    std::vector<StandOption> options;
    options.reserve(static_cast<std::size_t>(std::distance(opts.begin(), opts.end())));
    for (const pugi::xml_node opt : opts) {
        options.push_back(readOption(opt));
        options.back().learned = true;
        options.back().number = static_cast<std::uint32_t>(options.size());
    }
    stands.push_back(makeStand(parkpos, name, std::move(options)));
    stands.back().manual = true;
    byName.emplace(name, stands.size() - 1);
    return true;
}

void mergeLearnedStands(const pugi::xml_document& document, const fs::path& path)
{
    const pugi::xml_node parkpositions = document.child("parkpositions");
    if (!parkpositions)
        return;
    std::vector<ParkingPosition>& stands = parkAirport.stands;
    std::unordered_map<std::string, std::size_t> byName; // the first stand of a name
    byName.reserve(stands.size());
    for (std::size_t i = 0; i < stands.size(); ++i)
        byName.emplace(stands[i].name, i);
    for (const pugi::xml_node parkpos : parkpositions.children("parkpos")) {
        const std::string name = parkpos.attribute("id").as_string();
        if (getAttributeBool(parkpos, "manual")) {
            addManualStand(parkpos, name, path, byName);
            continue;
        }
        const auto found = byName.find(name);
        if (found == byName.end() || !applyLearnedStandAttributes(name, parkpos, stands[found->second]))
            logLine(fmt::format("learned stand {} in {} not found?", name, pathText(path)));
    }
}

void readLearned(const fs::path& path)
{
    pugi::xml_document document;
    const pugi::xml_parse_result loaded = document.load_file(path.c_str());
    if (!loaded) {
        if (fs::exists(path) && !copyFileWhole(path, zeroCopyPath(path)))
            throw fs::filesystem_error("copy_file", path, zeroCopyPath(path),
                                       std::make_error_code(std::errc::io_error));
        logLine(fmt::format("{} found, but could not be loaded, saved as *.0.xml: {}", pathText(path),
                            loaded.description()));
        return;
    }
    logLine(fmt::format("Read from learned airport file: \"{}\"", pathText(path)));
    if (!checkMeta(document)) {
        parkAirport.learnedNotMerged = true;
        return;
    }
    if (const std::string name = getXmlString(document, "airport_name").first; name != parkAirport.name)
        setStatus(fmt::format("Warning: learned file airport name: \"{}\" differs from archived file airport "
                              "name: \"{}\"",
                              name, parkAirport.name),
                  true);
    applyLearnedSettings(document);
    if (const auto [handmade, found] = getXmlBool(document, "handmade"); found) {
        parkAirport.handmade = true;
        parkAirport.stands.clear();
        readParkPositions(document, parkAirport.stands);
        logFlag("handmade", handmade);
        return;
    }
    parkAirport.handmade = false;
    mergeLearnedStands(document, path);
}

// The stand as a learned file keeps it: without invented options.
ParkingPosition withoutFakeOptions(const ParkingPosition& stand)
{
    ParkingPosition copy(stand.name, {}, stand.latitude, stand.longitude, stand.heading, 0.0, stand.cargo,
                         stand.ramp, stand.heli);
    copy.radius = stand.radius;
    copy.manual = stand.manual;
    copy.radiusChange = stand.radiusChange;
    copy.cargoChange = stand.cargoChange;
    copy.options.reserve(stand.options.size());
    std::copy_if(stand.options.begin(), stand.options.end(), std::back_inserter(copy.options),
                 [](const StandOption& option) { return !option.fake; });
    return copy;
}

} // namespace

// ---- reading --------------------------------------------------------------------------------

void readParkPositions(const pugi::xml_document& document, std::vector<ParkingPosition>& stands)
{
    const pugi::xml_node parkpositions = document.child("parkpositions");
    if (!parkpositions)
        return;
    const auto elements = parkpositions.children("parkpos");
    stands.reserve(stands.size() + static_cast<std::size_t>(std::distance(elements.begin(), elements.end())));
    std::unordered_set<std::string> seen;
    for (const pugi::xml_node parkpos : elements) {
        std::string name = parkpos.attribute("id").as_string();
        if (!seen.insert(name).second)
            throw UserErrorException(94, "Parking position " + name + " appears more than once?");
        // Room for every option and for those a learned file usually adds, so that no option
        // is moved while reading or merging.
        const auto opts = parkpos.children("opt");
        std::vector<StandOption> options;
        options.reserve(std::max(reservedOptions, static_cast<std::size_t>(std::distance(opts.begin(), opts.end()))));
        for (const pugi::xml_node opt : opts) {
            StandOption option = readOption(opt);
            if (isTowing(option))
                continue;
            option.number = static_cast<std::uint32_t>(options.size() + 1);
            options.push_back(std::move(option));
        }
        stands.push_back(makeStand(parkpos, std::move(name), std::move(options)));
    }
}

fs::path learnedPathFor(const fs::path& airportFile, std::string_view icao, const std::string& publisher)
{
    // A link's target may climb with ".." or be absolute: the folders are judged as resolved.
    const fs::path learned = learnedFolderFor(airportFile.lexically_normal());
    const fs::path resolved = resolvedPath(learned);
    if (resolved == resolvedPath(airportFile) || !insideLearnedFolder(resolved))
        return publisherLearnedFolder(publisher) / xmlFileName(icao);
    return learned;
}

std::string gf_readApf(const fs::path& path, QualityFactors& factors)
{
    ParkAirportState& airport = parkAirport;
    if (airport.icao.empty())
        return "gf_readApf, no park airport set";
    WindowDisplay& display = windowDisplay();
    try {
        airport.handmade = false;
        airport.learnedNotMerged = false;
        pugi::xml_document document;
        const pugi::xml_parse_result loaded = document.load_file(path.c_str());
        if (!loaded)
            return fmt::format("{} found, but could not be loaded: {}", pathText(path), loaded.description());
        if (!checkMeta(document))
            return fmt::format("{} found but refused to load, copyright problem", pathText(path));

        const std::int32_t trafficWeek = getXmlNumber(document, "RT_traffic_week").first;
        airport.publisher = getXmlString(document, "publisher").first;
        const auto [altitude, hasAltitude] = getXmlNumber(document, "altitude");
        if (!hasAltitude)
            throw UserErrorException(65, std::string("Parameter ") + "altitude" + " not found");
        airport.altitude = altitude;
        airport.elevationFt = altitude;
        airport.name = getXmlString(document, "airport_name").first;
        readParkPositions(document, airport.stands);
        const auto [qfReal, hasReal] = getXmlNumber(document, "Qf_real");
        const auto [qfSoft, hasSoft] = getXmlNumber(document, "Qf_soft");
        factors = {hasReal ? qfReal : -1, hasSoft ? qfSoft : -1};

        airport.learnedPath = learnedPathFor(path, airport.icao, airport.publisher);
        if (fs::exists(airport.learnedPath)) {
            lf_readLearned(airport.learnedPath);
            factors = computeQualityFactors(airport.stands);
            if (airport.handmade)
                logLine("A handmade airport file overruled the archived file!");
            if (PARK_FAKE.value())
                buildFakeAircraftTables(airport.icao, airport.stands);
        } else {
            display.enableControl(parking_percentage.controlId(), false);
            parking_percentage.set(defaultParkingPercentage);
            if (const std::int32_t custom = CUSTOM_PARKING_PERCENTAGE.value(); custom >= 0) {
                parking_percentage.set(custom);
                logLine("parking percentage overruled by " + CUSTOM_PARKING_PERCENTAGE.name);
            }
            logLine(fmt::format("{}{:24}: {}%", indent, parking_percentage.name, parking_percentage.value()));
            display.showIntInEdit(parking_percentage);
        }
        mainWindowGlobals.standsFigure = static_cast<std::int32_t>(airport.stands.size());
        display.invalidate(countersBand);

        numberStandsAndFindNeighbours(airport.stands);
        logLine(fmt::format("Airport file read from \"{}\" for {}",
                            pathText(airport.handmade ? airport.learnedPath : path), airport.name));
        mainWindowGlobals.editTexts([&](DisplayTexts& texts) { texts.apfInfoText = airport.publisher; });
        mainWindowGlobals.handmadeFlag = airport.handmade;
        display.invalidate(countersBand);

        logField("publisher", airport.publisher);
        logLine(fmt::format("{}{:24}: {} ft", indent, "altitude", airport.altitude));
        logField("num_parkpos", std::to_string(airport.stands.size()));
        logField("quality factor", qualityFactorText(factors));
        logField("RT traffic week", std::to_string(trafficWeek));
        mainWindowGlobals.editTexts([&](DisplayTexts& texts) { texts.qfText = qualityFactorText(factors); });
        display.invalidate(countersBand);

        airport.active = true;
        display.enableControl(flushStaticButton.controlId(), true);
        airport.changed = false;
        airport.filePath = path;
        trafficPort().setParkAirport(airport.icao, airport.position);
        trafficPort().setParkElevation(airport.elevationFt);
        display.invalidate(countersBand);
        return airport.stands.empty() ? "no stands found" : "";
    } catch (const UserErrorException&) {
        throw;
    } catch (const std::exception& error) {
        return fmt::format("exception in readApf: {}", error.what());
    }
}

bool gf_readApfForGateCheck(std::string_view icao, std::string_view standName)
{
    try {
        const fs::path path = findAirportFile(icao);
        pugi::xml_document document;
        if (path.empty() || !fs::exists(path) || !document.load_file(path.c_str()))
            return false;
        for (const pugi::xml_node parkpos : document.child("parkpositions").children("parkpos"))
            if (standName == parkpos.attribute("id").as_string())
                return true;
    } catch (const std::exception& error) {
        logLine(fmt::format("exception in gf_readApfForGateCheck: {}", error.what()));
    }
    return false;
}

// ---- the learned file -----------------------------------------------------------------------

void lf_readLearned(const fs::path& path)
{
    parkAirport.learnedNotMerged = false;
    try {
        readLearned(path);
    } catch (const std::exception& error) {
        parkAirport.learnedNotMerged = true;
        logLine(fmt::format("exception in lf_readLearned: {}", error.what()));
    } catch (...) {
        parkAirport.learnedNotMerged = true;
        logLine("exception in lf_readLearned: unknown");
    }
}

bool isStandOptionKnown(const std::vector<StandOption>& options, const StandOption& option)
{
    return std::any_of(options.begin(), options.end(), [&option](const StandOption& known) {
        return known.day == option.day && known.soft == option.soft && (known.halfHours & option.halfHours) != 0 &&
               known.registration == option.registration && known.airline == option.airline &&
               known.type == option.type;
    });
}

bool applyLearnedStandAttributes(std::string_view name, pugi::xml_node parkpos, ParkingPosition& stand)
{
    if (stand.name != name)
        return false;
    if (getAttributeBool(parkpos, "radius_change")) {
        stand.radius = getAttributeDouble(parkpos, "radius") * metresToNm;
        stand.radiusChange = true;
    }
    if (getAttributeBool(parkpos, "cargo_change")) {
        stand.cargo = getAttributeBool(parkpos, "cargo");
        stand.cargoChange = true;
    }
    std::uint32_t next = stand.options.empty() ? 1 : stand.options.back().number + 1;
    const auto opts = parkpos.children("opt");
    stand.options.reserve(stand.options.size() + static_cast<std::size_t>(std::distance(opts.begin(), opts.end())));
    for (const pugi::xml_node opt : opts) {
        StandOption option = readOption(opt);
        option.learned = true;
        if (isStandOptionKnown(stand.options, option))
            continue;
        option.number = next++;
        stand.options.push_back(std::move(option));
    }
    return true;
}

// ---- saving ---------------------------------------------------------------------------------

LearnedFileSource learnedFileSource()
{
    const ParkAirportState& airport = parkAirport;
    return {airport.stands,          airport.icao,     airport.name,        airport.publisher,
            airport.altitude,        airport.handmade, airport.learnedPath, airport.learnedUpdateCount,
            airport.changed.load(),  airport.learnedNotMerged};
}

bool saveLearnedAirportFile(LearnedFileSource source)
{
    AirportFileData data;
    data.icao = source.icao;
    data.airportName = source.name;
    data.altitude = source.altitude;
    data.publisher = source.publisher;
    data.qfReal = 0;
    data.qfSoft = 0;
    for (ParkingPosition& stand : source.stands) {
        if (!source.handmade)
            std::erase_if(stand.options, [](const StandOption& option) { return !option.learned; });
        ParkingPosition kept = withoutFakeOptions(stand);
        if (!source.handmade && !kept.manual && kept.options.empty() && !kept.radiusChange && !kept.cargoChange)
            continue;
        data.stands.push_back(std::move(kept));
    }
    if (source.handmade)
        std::tie(data.qfReal, data.qfSoft) = computeQualityFactors(data.stands);

    fs::path path = source.learnedPath;
    if (path.empty())
        path = publisherLearnedFolder(source.publisher) / xmlFileName(source.icao);
    bool saved = false;
    try {
        fs::create_directories(path.parent_path());
        if (const int removed = removeLeftoverTemporaries(path); removed > 0)
            logLine(fmt::format("{} leftover temporary file{} of {} removed", removed, removed == 1 ? "" : "s",
                                pathText(path)));
        // What the file held beyond the stands in memory would be lost: it is kept first.
        if (source.notMerged && fs::exists(path)) {
            const fs::path aside = zeroCopyPath(path);
            if (!copyFileWhole(path, aside))
                throw fs::filesystem_error("copy_file", path, aside, std::make_error_code(std::errc::io_error));
            logLine(fmt::format("{} was not merged whole, saved as {} before it is replaced", pathText(path),
                                pathText(aside)));
        }
        saved = saveAirportFile(data, path, true, source.handmade);
    } catch (const fs::filesystem_error& error) {
        logLine(fmt::format("exception in saveLearnedAirportFile: {}", error.what()));
    }
    const std::string clock = currentUtcClock();
    if (!saved) {
        setStatus(fmt::format("{} saving \"{}\" did not succeed", clock, pathText(path)), true);
    } else {
        const std::int32_t count = source.learnedUpdateCount;
        setStatus(fmt::format("{}{} \"{}\" saved with {} update{} {}", clock, source.handmade ? " handmade" : "",
                              pathText(path), count, count == 1 ? "" : "s",
                              source.changed ? "and one or more parameter changes" : ""),
                  true);
    }
    return saved;
}

bool saveLearnedAirportFile()
{
    const bool saved = saveLearnedAirportFile(learnedFileSource());
    parkAirport.learnedUpdateCount = 0;
    parkAirport.changed = false;
    if (saved)
        parkAirport.learnedNotMerged = false;
    return saved;
}

} // namespace rtd
