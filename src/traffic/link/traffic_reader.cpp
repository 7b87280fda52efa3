#include "traffic/link/traffic_reader.hpp"

#include "core/display.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "core/time.hpp"
#include "core/utf.hpp"
#include "traffic/link/service_link.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <exception>

namespace rtd {

namespace {

constexpr double millisecondTimestampAbove = 171644617100.79;
constexpr double fullCircleRad = 6.283185307179586;
constexpr double degreesPerRadian = 57.29577951308232;
constexpr double snapBelowFt = 14000;
constexpr double unknownElevationFt = -1000;
constexpr double groundSpeedLimitKt = 35;
constexpr double unknownValue = -1;
constexpr double year2000Seconds = 946684800;
constexpr double feedClockDaySeconds = 86400;

// Whether a record dropped for this reason still carries the service's own time: those
// accepted, or dropped by range or by a filter, do; those that did not parse do not.
bool carriesFeedTime(TrafficDrop drop)
{
    switch (drop) {
    case TrafficDrop::none:
    case TrafficDrop::registrationMarker:
    case TrafficDrop::outOfRange:
    case TrafficDrop::aircraftClass:
    case TrafficDrop::typeTooLong:
    case TrafficDrop::excludedType:
    case TrafficDrop::lowHexid:
    case TrafficDrop::towCallsign:
    case TrafficDrop::excludedCallsign:
    case TrafficDrop::noIdentity:
    case TrafficDrop::groundAway:
        return true;
    default:
        return false;
    }
}

// The feed clock moves with every record that carries a plausible time: not before 2000,
// not more than a day behind the feed clock, and not more than a day ahead of the system
// clock (one such time would hold the feed clock for ever).
void takeFeedTime(double timestamp)
{
    const double clock = trafficTimestamp.load();
    const double systemNow = static_cast<double>(std::time(nullptr));
    if (timestamp < year2000Seconds || (clock != 0.0 && timestamp < clock - feedClockDaySeconds) ||
        timestamp > systemNow + feedClockDaySeconds)
        return;
    trafficTimestamp = timestamp;
}

// Reads a finite decimal number from the start of the field (no blank or sign "+" before
// it, text after it ignored). "inf", "nan" and numbers beyond a double are errors.
bool readDouble(std::string_view field, double& value)
{
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    return error == std::errc() && std::isfinite(value);
}

// Reads an unsigned 32-bit number from a leading run of digits.
bool readUnsigned(std::string_view field, std::uint32_t& value)
{
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    return error == std::errc();
}

bool validPosition(double lat, double lon)
{
    const bool nullIsland = lat >= 0 && lat <= 0.0009 && lon >= 0 && lon <= 0.05;
    return lat >= -90 && lat <= 90 && lon >= -180 && lon <= 180 && !nullIsland;
}

// Valid UTF-8 without ASCII control characters.
bool isCleanText(std::string_view text)
{
    bool ascii = true;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return false;
        ascii = ascii && byte < 0x80;
    }
    return ascii || isValidUtf8(text);
}

std::string_view unlessNull(std::string_view text)
{
    return text == "null" ? std::string_view() : text;
}

double defaultTrueAirspeed(double altitudeFt)
{
    if (altitudeFt <= 2000)
        return 180;
    if (altitudeFt <= 5000)
        return 220;
    if (altitudeFt <= 10000)
        return 250;
    if (altitudeFt <= 20000)
        return 350;
    return 430;
}

bool isExcludedClass(std::string_view aircraftClass)
{
    for (const std::string_view excluded : {"B1", "B2", "B4", "C1", "C2"})
        if (aircraftClass == excluded)
            return true;
    return false;
}

bool isExcludedType(std::string_view type)
{
    for (const std::string_view excluded : {"GRND", "GLID", "SERV", "BALL", "PARA", "SHIP"})
        if (type == excluded)
            return true;
    return false;
}

} // namespace

TrafficReader::TrafficReader() : UdpReader("Traffic Reader", mainWindowGlobals.trafficReaderState)
{
    fields_.reserve(fieldCapacity);
}

void TrafficReader::onData()
{
    if (datagram_.find(" VEH") != std::string_view::npos) {
        lastDrop_ = TrafficDrop::vehicle;
        return;
    }
    splitFields();
    lastDrop_ = processLine();
}

void TrafficReader::onStopped()
{
    mainWindowGlobals.trafficReaderState = 3;
    windowDisplay().invalidate(headerBand);
    logLine("Traffic Reader has stopped");
}

void TrafficReader::splitFields()
{
    fields_.clear();
    std::size_t start = 0;
    while (start < datagram_.size()) {
        std::size_t comma = datagram_.find(',', start);
        if (comma == std::string_view::npos)
            comma = datagram_.size();
        const std::string_view field = datagram_.substr(start, comma - start);
        if (fields_.size() < fieldCapacity)
            fields_.push_back(field);
        else
            fields_.back() = field;
        start = comma + 1;
    }
}

TrafficDrop TrafficReader::processLine()
{
    try {
        TextViews texts;
        const TrafficDrop drop = checkRecord(texts);
        if (carriesFeedTime(drop))
            takeFeedTime(record_.timestamp);
        if (drop != TrafficDrop::none)
            return drop;
        fillTexts(texts);
        return handOver();
    } catch (const std::exception& error) {
        logLine(fmt::format("exception in processLine: {}", error.what()));
        return TrafficDrop::failed;
    }
}

TrafficDrop TrafficReader::checkRecord(TextViews& texts)
{
    TrafficRecord& record = record_.record;
    PositionUpdate& update = record_.update;
    for (std::string* text : {&record.airline, &record.icaoType, &record.origin, &record.destination,
                              &record.callsign, &record.firstCallsign, &record.spareText, &record.registration})
        text->clear();
    record.spareFlag = false;
    update = PositionUpdate{};
    record_.timestamp = 0;
    record_.hexid = 0;
    record_.checksum = 0;
    if (fields_.size() < minTrafficFields)
        return TrafficDrop::tooFewFields;

    if (!readDouble(fieldAt(timestampField), record_.timestamp))
        return TrafficDrop::timestamp;
    if (record_.timestamp > millisecondTimestampAbove)
        record_.timestamp /= 1000;

    if (const TrafficDrop drop = parseRegistration(texts); drop != TrafficDrop::none)
        return drop;

    if (!readDouble(fieldAt(latitudeField), update.lat))
        return TrafficDrop::latitude;
    if (!readDouble(fieldAt(longitudeField), update.lon))
        return TrafficDrop::longitude;
    if (!validPosition(update.lat, update.lon))
        return TrafficDrop::position;

    const Inputs current = inputs();
    const LatLon position{update.lat, update.lon};
    if (distanceNm(current.user, position) > lateralRangeNm.load())
        return TrafficDrop::outOfRange;

    for (std::size_t field = callsignField; field <= destinationField; ++field)
        if (!isCleanText(fieldAt(field)))
            return TrafficDrop::badText;

    if (staticCalculation)
        noteLiveCallsign(fieldAt(callsignField));

    texts.type = fieldAt(typeField);
    if (texts.type == "null" || texts.type == "0" || texts.type == "ZZZZ")
        texts.type = {};
    if (const TrafficDrop drop = acceptCategoryAndType(texts); drop != TrafficDrop::none)
        return drop;

    if (const TrafficDrop drop = parseHeading(); drop != TrafficDrop::none)
        return drop;

    if (!readUnsigned(fieldAt(hexidField), record_.hexid))
        return TrafficDrop::hexid;
    if (record_.hexid <= 10000)
        return TrafficDrop::lowHexid;

    if (!readDouble(fieldAt(groundSpeedField), update.groundSpeedKt))
        return TrafficDrop::groundSpeed;
    update.groundSpeedKt = std::max(update.groundSpeedKt, 0.0);

    if (!readDouble(fieldAt(altitudeField), update.altitudeFt))
        return TrafficDrop::altitude;
    snapAltitude(current);

    if (const TrafficDrop drop = acceptCallsign(texts); drop != TrafficDrop::none)
        return drop;
    if (texts.registration.empty() && texts.callsign.empty())
        return TrafficDrop::noIdentity;

    if (!update.airborne &&
        (!current.parkAirportKnown || distanceNm(current.parkAirport, position) > groundRangeNm))
        return TrafficDrop::groundAway;

    const std::string_view track = fieldAt(trackField);
    if (!track.empty() && !readDouble(track, update.trackDeg))
        return TrafficDrop::track;
    if (update.trackDeg == 0 && update.trueHeading)
        update.trackDeg = *update.trueHeading * degreesPerRadian;

    if (!readDouble(fieldAt(verticalSpeedField), update.verticalSpeed))
        return TrafficDrop::verticalSpeed;

    texts.origin = unlessNull(fieldAt(originField));
    texts.destination = unlessNull(fieldAt(destinationField));

    if (!readUnsigned(fields_.back(), record_.checksum))
        return TrafficDrop::checksum;

    if (update.airborne) {
        double roll = 0;
        if (!readDouble(fieldAt(rollField), roll))
            return TrafficDrop::roll;
        if (roll != unknownValue && roll != 0)
            update.bank = -roll * radiansPerDegree;
    }

    if (!readDouble(fieldAt(trueAirspeedField), update.trueAirspeedKt))
        return TrafficDrop::trueAirspeed;
    if (update.trueAirspeedKt == unknownValue)
        update.trueAirspeedKt = defaultTrueAirspeed(update.altitudeFt);

    update.stationary = false;
    return TrafficDrop::none;
}

TrafficDrop TrafficReader::parseRegistration(TextViews& texts)
{
    const std::string_view field = fieldAt(registrationField);
    texts.registration = field.size() < 13 && field != "null" ? field : std::string_view();
    if (texts.registration.empty() && fieldAt(registrationMarkerField) == "F")
        return TrafficDrop::registrationMarker;
    return TrafficDrop::none;
}

TrafficDrop TrafficReader::acceptCategoryAndType(const TextViews& texts) const
{
    const std::string_view aircraftClass = fieldAt(aircraftClassField);
    if (aircraftClass.empty())
        return TrafficDrop::none;
    if (isExcludedClass(aircraftClass))
        return TrafficDrop::aircraftClass;
    if (texts.type.empty())
        return TrafficDrop::none;
    if (texts.type.size() > 4)
        return TrafficDrop::typeTooLong;
    if (isExcludedType(texts.type))
        return TrafficDrop::excludedType;
    return TrafficDrop::none;
}

TrafficDrop TrafficReader::parseHeading()
{
    PositionUpdate& update = record_.update;
    update.trueHeading.reset();
    update.adsbHeading = false;
    if (fieldAt(headingSourceField) != "adsb_icao")
        return TrafficDrop::none;
    double heading = 0;
    if (!readDouble(fieldAt(trueHeadingField), heading))
        return TrafficDrop::trueHeading;
    if (heading > 360)
        return TrafficDrop::trueHeadingRange;
    if (heading < 0)
        return TrafficDrop::none;
    update.trueHeading = heading == 0 ? fullCircleRad : heading * radiansPerDegree;
    update.adsbHeading = true;
    return TrafficDrop::none;
}

void TrafficReader::snapAltitude(const Inputs& current)
{
    PositionUpdate& update = record_.update;
    double& altitude = update.altitudeFt;
    const double speed = update.groundSpeedKt;
    if (altitude <= 0) {
        altitude = 0;
    } else if (altitude < snapBelowFt) {
        const double height = altitude - current.parkElevationFt.value_or(unknownElevationFt);
        const double h = std::abs(height);
        if (height <= 0 || (h <= 45 && speed <= 120) || (h <= 90 && speed <= 80) || (h <= 120 && speed <= 43))
            altitude = 0;
    }
    if (altitude > 0 && speed <= groundSpeedLimitKt)
        altitude = 0;
    update.airborne = altitude != 0;
}

TrafficDrop TrafficReader::acceptCallsign(TextViews& texts) const
{
    texts.callsign = unlessNull(fieldAt(callsignField));
    if (texts.callsign.substr(0, towPrefix.size()) == towPrefix)
        return TrafficDrop::towCallsign;
    if (texts.callsign.find('@') != std::string_view::npos)
        texts.callsign = {};
    if (texts.callsign == "ERARMTR0")
        return TrafficDrop::excludedCallsign;
    return TrafficDrop::none;
}

void TrafficReader::noteLiveCallsign(std::string_view field)
{
    if (field == "null" || field.find('@') != std::string_view::npos)
        return;
    std::lock_guard lock(callsignsMutex_);
    if (liveCallsignsSeen_.find(field) == liveCallsignsSeen_.end())
        liveCallsignsSeen_.emplace(field);
}

void TrafficReader::fillTexts(const TextViews& texts)
{
    TrafficRecord& record = record_.record;
    record.icaoType.assign(texts.type);
    record.registration.assign(texts.registration);
    record.callsign.assign(texts.callsign);
    record.origin.assign(texts.origin);
    record.destination.assign(texts.destination);
}

TrafficDrop TrafficReader::handOver()
{
    bool full = false;
    {
        std::lock_guard lock(trafficMutex);
        if (!flightRunning)
            return TrafficDrop::notRunning;
        record_.update.duePoll = pollCounter.load() + replayDelayPolls;
        full = trafficReportQueue.size() >= maxQueuedReports;
        if (full)
            trafficReportQueue.pop_front();
        trafficReportQueue.push_back(record_);
    }
    if (full)
        logFullQueue();
    return TrafficDrop::none;
}

void TrafficReader::logFullQueue()
{
    ++droppedForFullQueue_;
    const auto now = std::chrono::steady_clock::now();
    if (lastFullQueueLog_ && now - *lastFullQueueLog_ < std::chrono::minutes(1))
        return;
    logLine(fmt::format("{} report queue full ({} reports): {} of the oldest dropped", currentUtcClock(),
                        maxQueuedReports, droppedForFullQueue_));
    droppedForFullQueue_ = 0;
    lastFullQueueLog_ = now;
}

TrafficReader::Inputs TrafficReader::inputs() const
{
    std::lock_guard lock(inputsMutex_);
    return inputs_;
}

void TrafficReader::setUserPosition(LatLon position)
{
    std::lock_guard lock(inputsMutex_);
    inputs_.user = position;
}

void TrafficReader::setParkElevation(std::optional<double> elevationFt)
{
    std::lock_guard lock(inputsMutex_);
    inputs_.parkElevationFt = elevationFt;
}

void TrafficReader::setParkAirport(std::string_view icao, LatLon position)
{
    std::lock_guard lock(inputsMutex_);
    inputs_.parkAirportKnown = !icao.empty();
    inputs_.parkAirport = position;
}

std::set<std::string, std::less<>> TrafficReader::liveCallsignsSeen() const
{
    std::lock_guard lock(callsignsMutex_);
    return liveCallsignsSeen_;
}

void TrafficReader::clearLiveCallsignsSeen()
{
    std::lock_guard lock(callsignsMutex_);
    liveCallsignsSeen_.clear();
}

} // namespace rtd
