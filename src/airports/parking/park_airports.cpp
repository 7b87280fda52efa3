#include "airports/parking/park_airports.hpp"

#include "airports/database/airport_database.hpp"
#include "airports/database/airport_folders.hpp"
#include "airports/files/park_airport_file.hpp"
#include "airports/parking/park_airport_state.hpp"
#include "airports/parking/stands.hpp"
#include "airports/parking/static_parking.hpp"
#include "airports/traffic_port.hpp"
#include "core/display.hpp"
#include "core/exceptions.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "core/text.hpp"
#include "platform/platform.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <fstream>
#include <list>
#include <mutex>
#include <optional>
#include <pugixml.hpp>
#include <unordered_map>
#include <unordered_set>

namespace rtd {

namespace fs = std::filesystem;

std::atomic<bool> parkAirportActive{false};
std::atomic<bool> learnSoftAllowed{true};
std::string reservedStandName;

namespace {

constexpr double onGroundSearchNm = 5.0;
constexpr double onGroundStartNm = 100.0;
constexpr int softNotNeededQuality = 45;
constexpr std::size_t softNotNeededStands = 20;

// The list, the park airport's code as the list sees it, and the file: under listMutex.
std::mutex listMutex;
std::vector<ParkAirportEntry> parkAirports;
std::unordered_set<std::string> listedCodes;
std::string listParkCode;

// The traffic thread's own.
LatLon lastHandled{-1000.0, -1000.0};
bool recalcRequested = false;

// What the traffic thread hands to other threads each second: under publishedMutex.
std::mutex publishedMutex;
ParkAirportFigures publishedFigures;
std::optional<LearnedFileSource> handedOver; // what closeParkAirport would save now

std::string fileName()
{
    return std::string(parkAirportsFileName);
}

void appendEntry(ParkAirportEntry entry)
{
    listedCodes.insert(entry.code);
    parkAirports.push_back(std::move(entry));
}

void sortByDistance(LatLon user)
{
    for (ParkAirportEntry& entry : parkAirports)
        entry.distanceNm = distanceNm(entry.position, user);
    std::stable_sort(parkAirports.begin(), parkAirports.end(),
                     [](const ParkAirportEntry& a, const ParkAirportEntry& b) { return a.distanceNm < b.distanceNm; });
}

// The stand names of an airport's file, read once per code for one reading of the list.
using StandNameCache = std::unordered_map<std::string, std::unordered_set<std::string>>;

const std::unordered_set<std::string>& standNamesOf(const std::string& code, StandNameCache& cache)
{
    const auto [entry, added] = cache.try_emplace(code);
    if (!added)
        return entry->second;
    try {
        const fs::path path = findAirportFile(code);
        pugi::xml_document document;
        if (!path.empty() && fs::exists(path) && document.load_file(path.c_str()))
            for (const pugi::xml_node parkpos : document.child("parkpositions").children("parkpos"))
                entry->second.insert(parkpos.attribute("id").as_string());
    } catch (const std::exception& error) {
        logLine(fmt::format("exception in gf_readApfForGateCheck: {}", error.what()));
    }
    return entry->second;
}

// Under listMutex.
void parseParkAirportLine(bool& ok, const std::string& line, StandNameCache& cache)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t comma; (comma = line.find(',', start)) != std::string::npos; start = comma + 1)
        fields.push_back(line.substr(start, comma - start));
    fields.push_back(line.substr(start));
    if (fields.size() >= 3) {
        logArrow(fmt::format("{}:{} wrong syntax, skipped", fileName(), line));
        return;
    }
    const std::optional<AirportRecord> airport = findAirport(fields[0]);
    if (!airport) {
        setStatus(fmt::format("airport {} is unknown", fields[0]), true);
        ok = false;
        return;
    }
    if (listedCodes.contains(fields[0])) {
        logLine(fmt::format("{}:{} double, skipped", fileName(), line));
        return;
    }
    const std::string stand = fields.size() > 1 ? fields[1] : std::string();
    if (!stand.empty() && !standNamesOf(fields[0], cache).contains(stand)) {
        setStatus(fmt::format("{} stand {} is unknown", fields[0], stand), true);
        ok = false;
    }
    appendEntry({fields[0], stand, {airport->lat, airport->lon}, 0.0});
}

// Under listMutex.
void scanParkAirportFolder()
{
    std::size_t added = 0;
    std::error_code error;
    for (fs::directory_iterator it(myThirdpartyFolder, error), end; !error && it != end; it.increment(error)) {
        if (!it->is_regular_file(error))
            continue;
        const std::string code = platform::pathToUtf8(it->path().stem());
        if (listedCodes.contains(code))
            continue;
        if (const std::optional<AirportRecord> airport = findAirport(code)) {
            appendEntry({code, {}, {airport->lat, airport->lon}, 0.0});
            ++added;
        }
    }
    std::string folder = platform::pathToUtf8(myThirdpartyFolder);
    std::replace(folder.begin(), folder.end(), '\\', '/');
    logLine(fmt::format("{} park airport{} added from \"{}\"", added, added > 1 ? "s" : "", folder));
}

std::string entryLine(const ParkAirportEntry& entry)
{
    return fmt::format("{}{}", entry.code, entry.stand.empty() ? "" : "," + entry.stand);
}

// Under listMutex: the entry of the park airport written into the file.
void writeParkAirportLocked()
{
    const auto entry = std::find_if(parkAirports.begin(), parkAirports.end(),
                                    [](const ParkAirportEntry& e) { return e.code == listParkCode; });
    if (listParkCode.empty() || entry == parkAirports.end())
        return;
    const std::string line = entryLine(*entry);
    const fs::path path = parkAirportsPath();
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    if (in) {
        readStreamLinesToVector(in, lines);
        in.close();
        std::erase(lines, std::string());
        bool updated = false;
        for (std::string& old : lines) {
            if (old.substr(0, old.find(',')) != entry->code)
                continue;
            old = line;
            logLine(fmt::format("{}:{},{} updated stand", fileName(), entry->code, entry->stand));
            updated = true;
        }
        if (!updated) {
            lines.push_back(line);
            logLine(fmt::format("{}:{} new entry", fileName(), line));
        }
    } else {
        lines.push_back(line);
        logLine(fmt::format("{} created with {}", fileName(), line));
    }
    std::sort(lines.begin(), lines.end());
    removeAdjacentDuplicates(lines);
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    if (!writeStringVectorToFile(lines, path))
        setStatus(fmt::format("{} could not be written", platform::pathToUtf8(path)), true);
}

UserStateView userState()
{
    return trafficPort().userState();
}

bool inSight(double distance, double altitudeFt)
{
    return distance <= AIRPORT_RANGE.value() && altitudeFt <= AIRPORT_HEIGHT.value();
}

std::optional<ParkAirportEntry> nearestEntry()
{
    std::lock_guard lock(listMutex);
    if (parkAirports.empty())
        return std::nullopt;
    return parkAirports.front();
}

AirportRecord parkAirportRecord()
{
    return {parkAirport.icao, parkAirport.iata, parkAirport.position.lat, parkAirport.position.lon,
            parkAirport.elevationFt};
}

void handleParkAirportSight(LatLon position)
{
    const UserStateView user = userState();
    if (user.onGround)
        return;
    const double parkDistance = distanceNm(parkAirport.position, position);
    if (inSight(parkDistance, user.altitudeFt)) {
        const std::optional<ParkAirportEntry> nearest = nearestEntry();
        if (!nearest || nearest->code == parkAirport.icao)
            return;
        if (inSight(nearest->distanceNm, user.altitudeFt) && nearest->distanceNm <= parkDistance) {
            logLine(fmt::format("\n{} {} is in sight ({:.1F} nm), parked aircraft at {} will be removed first",
                                currentTimeText(), nearest->code, nearest->distanceNm,
                                airportDisplayName(parkAirportRecord())));
            removeAllParked();
        }
        return;
    }
    logLine(fmt::format("\n{} {} is out of sight ({:.1F} nm), parked aircraft will be removed", currentTimeText(),
                        airportDisplayName(parkAirportRecord()), parkDistance));
    removeAllParked();
}

bool hasAirportFile(std::string_view code)
{
    try {
        return airportFileExists(code);
    } catch (const fs::filesystem_error& error) {
        logLine(fmt::format("airport file of {}: {}", code, error.what()));
        return false;
    }
}

void handleUserOnGround(LatLon position, bool showStatus)
{
    const UserStateView user = userState();
    if (!user.onGround) {
        const std::optional<ParkAirportEntry> nearest = nearestEntry();
        if (nearest && inSight(nearest->distanceNm, user.altitudeFt) && logParkAirport(nearest->code)) {
            setStatus(fmt::format("{} in sight at {:.1F} nm", nearest->code, nearest->distanceNm), true);
            recalcRequested = true;
            startStaticParkingCalculation(false);
        }
        return;
    }
    double best = onGroundStartNm;
    const AirportRecord* found = nullptr;
    for (const AirportRecord& airport : airportRecords) {
        const double d = distanceNm(position, {airport.lat, airport.lon});
        if (d <= onGroundSearchNm && d < best) {
            best = d;
            found = &airport;
        }
    }
    if (found == nullptr) {
        setStatus("User aircraft on the ground, no airport in sight", true);
        return;
    }
    const std::string text = fmt::format("User aircraft on the ground at {}", found->code);
    if (!hasAirportFile(found->code)) {
        setStatus(text + ", no airport file found", true);
        return;
    }
    logLine(text);
    logParkAirport(found->code);
    recalcRequested = true;
    startStaticParkingCalculation(showStatus);
}

} // namespace

fs::path parkAirportsPath()
{
    return airportsFolder / parkAirportsFileName;
}

std::vector<ParkAirportEntry> parkAirportList()
{
    std::lock_guard lock(listMutex);
    return parkAirports;
}

bool readParkAirports(bool force)
{
    std::lock_guard lock(listMutex);
    parkAirports.clear();
    listedCodes.clear();
    bool ok = true;
    const fs::path path = parkAirportsPath();
    if (std::ifstream in(path, std::ios::binary); in) {
        std::vector<std::string> lines;
        readStreamLinesToVector(in, lines);
        StandNameCache cache;
        for (const std::string& line : lines) // one trailing CR is already cut
            if (!line.empty())
                parseParkAirportLine(ok, line, cache);
    } else {
        logLine(platform::pathToUtf8(path) + " not found");
    }
    if (const std::size_t count = parkAirports.size(); count > 0) {
        logLine(fmt::format("{} park airport{} read from \"{}\"", count, count > 1 ? "s" : "", fileName()));
        if (count > manyParkAirports)
            setStatus(fmt::format("Warning: There are a lot of airports ({}) in {}, that will cost RMTD much cpu "
                                  "time, and may give stutters",
                                  count, fileName()),
                      true);
    }
    scanParkAirportFolder();
    const LatLon user = userState().position;
    if (force || user.lat != lastHandled.lat || user.lon != lastHandled.lon) {
        lastHandled = user;
        sortByDistance(user);
    }
    mainWindowGlobals.parkAirportsOk = ok;
    windowDisplay().invalidate(headerBand);
    return ok;
}

bool isParkAirportListed(std::string_view code)
{
    std::lock_guard lock(listMutex);
    return listedCodes.contains(std::string(code));
}

void writeParkAirport()
{
    std::lock_guard lock(listMutex);
    writeParkAirportLocked();
}

bool rememberParkAirportStand(std::string_view standName)
{
    std::lock_guard lock(listMutex);
    if (parkAirports.empty() || listParkCode.empty() || parkAirports.front().code != listParkCode ||
        parkAirports.front().stand == standName)
        return false;
    parkAirports.front().stand = standName;
    writeParkAirportLocked();
    return true;
}

std::string refreshParkAirportControls()
{
    std::vector<ParkingPosition>& stands = parkAirport.stands;
    stands.clear();
    publishStandSnapshot();
    const std::string icao = parkAirport.icao;
    std::string text;
    QualityFactors factors{-1, -1};
    try {
        const fs::path path = findAirportFile(icao);
        if (path.empty())
            return fmt::format("{} not found", icao);
        text = gf_readApf(path, factors);
    } catch (const std::exception& error) {
        // A user error of the file (no altitude, a stand twice) or a folder that cannot be read.
        text = error.what();
    }
    publishStandSnapshot();
    if (!text.empty())
        return text;

    WindowDisplay& display = windowDisplay();
    if (factors.first >= softNotNeededQuality && stands.size() >= softNotNeededStands) {
        learnSoftAllowed = false;
        if (LEARN_SOFT.value()) {
            display.setCheckState(LEARN_SOFT, false);
            display.enableControl(LEARN_SOFT.controlId(), false);
            parkAirport.changed = true;
        }
    } else {
        learnSoftAllowed = true;
        display.enableControl(LEARN_SOFT.controlId(), true);
    }
    const UserStateView user = userState();
    {
        std::lock_guard lock(listMutex);
        if (user.onGroundKnown) {
            const std::string name = nearestStandName(user.position);
            if (!parkAirports.empty() && parkAirports.front().code == icao) {
                if (!name.empty() && name != parkAirports.front().stand) {
                    parkAirports.front().stand = name;
                    writeParkAirportLocked();
                }
            } else {
                appendEntry({icao, name, parkAirport.position, 0.0});
                writeParkAirportLocked();
            }
        }
        const bool reserved = !parkAirports.empty() && parkAirports.front().code == icao &&
                              !parkAirports.front().stand.empty() &&
                              findStandByName(parkAirports.front().stand) != stands.end();
        if (reserved)
            reservedStandName = parkAirports.front().stand;
        mainWindowGlobals.reservedStandFound = reserved;
    }
    display.invalidate(headerBand);
    return {};
}

void onUserPositionChange(bool showStatus)
{
    TrafficPort& port = trafficPort();
    if (port.parkingBusy() && fitList.empty()) {
        port.unlockParkingControls();
        clearStatus();
        port.countParkedAIInSim();
        port.countLiveAIAtStands();
    }
    if (recalcRequested) {
        clearStatus();
        recalcRequested = false;
        if (const std::string text = refreshParkAirportControls(); !text.empty()) {
            setStatus(text, true);
            resetParkingState();
        } else {
            generateStaticParking();
        }
        return;
    }
    const LatLon position = userState().position;
    if (position.lat >= 0 && position.lat <= 0.0009 && position.lon >= 0 && position.lon <= 0.05)
        return;
    {
        std::lock_guard lock(listMutex);
        lastHandled = position;
        sortByDistance(position);
    }
    if (!parkAirport.icao.empty())
        handleParkAirportSight(position);
    else
        handleUserOnGround(position, showStatus);
}

bool logParkAirport(std::string_view icao)
{
    const std::optional<AirportRecord> airport = findAirport(icao);
    if (!airport)
        return false;
    parkAirport.icao = airport->code;
    parkAirport.iata = airport->iata;
    parkAirport.position = {airport->lat, airport->lon};
    parkAirport.elevationFt = airport->alt;
    reservedStandName.clear(); // a stand of the previous park airport; the list names this one's
    {
        std::lock_guard lock(listMutex);
        listParkCode = airport->code;
    }
    logLine(fmt::format("The park airport is {}", airportDisplayName(*airport)));
    return true;
}

void startStaticParkingCalculation(bool showStatus)
{
    TrafficPort& port = trafficPort();
    port.lockParkingControls();
    port.startLiveCallsignCollection();
    port.clearRecalcMarks();
    if (showStatus)
        setStatus("Calculating static parked aircraft ...", false);
}

bool checkReservedStand(bool apply, std::string& text)
{
    if (!readParkAirports(apply))
        return false;
    if (apply) {
        TrafficPort& port = trafficPort();
        const std::optional<ParkAirportEntry> nearest = nearestEntry();
        if (port.userState().onGroundKnown && !port.parkingBusy() && nearest && !parkAirport.icao.empty() &&
            nearest->code == parkAirport.icao && mainWindowGlobals.texts().userStandText.empty() &&
            !nearest->stand.empty() && nearest->stand != reservedStandName) {
            text = fmt::format("reserved stand changed from \"{}\" to \"{}\"", reservedStandName, nearest->stand);
            if (const StandIterator old = findStandByName(reservedStandName); old != parkAirport.stands.end())
                old->keptFree = false;
            reservedStandName = nearest->stand;
            port.removeParkedAtStand(reservedStandName);
            if (const StandIterator now = findStandByName(reservedStandName); now != parkAirport.stands.end())
                now->keptFree = true;
            windowDisplay().invalidate(headerBand);
        }
    }
    if (text.empty())
        text = "park airports and stands are okay";
    return true;
}

ParkAirportFigures parkAirportFigures()
{
    std::lock_guard lock(publishedMutex);
    return publishedFigures;
}

std::optional<LatLon> nearestParkAirportPosition()
{
    std::lock_guard lock(listMutex);
    if (parkAirports.empty())
        return std::nullopt;
    return parkAirports.front().position;
}

void publishParkAirportState()
{
    const ParkAirportState& airport = parkAirport;
    ParkAirportFigures figures;
    if (!airport.icao.empty())
        figures = {airport.icao, airportDisplayName(parkAirportRecord()), reservedStandName};
    const bool toSave = airport.active && (airport.changed || airport.learnedUpdateCount >= 1);
    bool copyDue = false;
    bool changed = false;
    {
        std::lock_guard lock(publishedMutex);
        changed = figures.code != publishedFigures.code || figures.displayName != publishedFigures.displayName ||
                  figures.reservedStandName != publishedFigures.reservedStandName;
        publishedFigures = figures;
        if (!toSave)
            handedOver.reset();
        else
            copyDue = !handedOver || handedOver->icao != airport.icao ||
                      handedOver->learnedUpdateCount != airport.learnedUpdateCount ||
                      handedOver->changed != airport.changed;
    }
    if (copyDue) { // only when something new was learned: the copy is made outside the lock
        LearnedFileSource copy = learnedFileSource();
        std::lock_guard lock(publishedMutex);
        handedOver = std::move(copy);
    }
    if (changed)
        windowDisplay().invalidate(countersBand);
}

std::string saveHandedOverLearnedFile()
{
    std::optional<LearnedFileSource> source;
    {
        std::lock_guard lock(publishedMutex);
        source.swap(handedOver);
    }
    if (!source)
        return "nothing learned was waiting to be saved";
    const std::int32_t count = source->learnedUpdateCount;
    const std::string what = fmt::format("the learned file of {} with {} update{}, from the traffic thread's copy",
                                         source->icao, count, count == 1 ? "" : "s");
    return saveLearnedAirportFile(std::move(*source)) ? "saved " + what : "not saved, " + what;
}

void closeParkAirport()
{
    {
        std::lock_guard lock(publishedMutex);
        handedOver.reset(); // saved now from the stands themselves
    }
    ParkAirportState& airport = parkAirport;
    if (airport.active && (airport.changed || airport.learnedUpdateCount >= 1)) {
        saveLearnedAirportFile();
        airport.learnedUpdateCount = 0;
    }
    airport.handmade = false;
    airport.active = false;
    windowDisplay().enableControl(flushStaticButton.controlId(), false);
    airport.filePath.clear();
    windowDisplay().enableControl(parking_percentage.controlId(), false);
    trafficPort().setParkElevation(std::nullopt);
    trafficPort().setParkAirport({}, {});
}

void forgetParkAirportCode()
{
    std::lock_guard lock(listMutex);
    listParkCode.clear();
}

void resetParkAirportSight()
{
    lastHandled = {-1000.0, -1000.0};
    recalcRequested = false;
}

} // namespace rtd
