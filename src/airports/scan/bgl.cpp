#include "airports/scan/bgl.hpp"

#include "airports/database/airport_database.hpp"
#include "airports/scan/airport_scan.hpp"
#include "core/exit.hpp"
#include "core/geo.hpp"
#include "core/log.hpp"
#include "platform/platform.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <fmt/format.h>
#include <fstream>
#include <numbers>
#include <stdexcept>
#include <unordered_map>

namespace rtd {

static_assert(std::endian::native == std::endian::little, "scenery words are read in the machine's byte order");

namespace {

constexpr std::uint32_t headerSize = 56;
constexpr std::uint64_t headerWords = headerSize / 4;
constexpr std::uint32_t airportSectionType = 3;
constexpr std::uint16_t airportRecordId = 0x56;
constexpr std::uint16_t helipadRecordId = 0x26;
constexpr std::uint16_t parkingListRecordId = 0xE7;
constexpr std::uint64_t airportChildrenWord = 17; // byte 68
constexpr std::uint64_t parkingEntryWords = 14;   // 56 bytes before the airline codes
constexpr double degreesToRadians = 0.017453292519943295;
constexpr double twoPi = 6.283185307179586;
constexpr std::array<const char*, 12> namePrefixes = {"",   "r",   "p",  "np", "ep",  "sep",
                                                      "sp", "swp", "wp", "nwp", "g", ""};
constexpr std::array<const char*, 6> duplicateLetters = {"a", "b", "c", "d", "e", "f"};
constexpr std::uint64_t exitCheckItems = 4096;
constexpr std::uint64_t parkingListHeaderWords = 2;

// The positions a scenery file may give that the simulator means as "none".
bool isNullPosition(double latitude, double longitude)
{
    return latitude >= 0.0 && latitude <= 0.0009 && longitude >= 0.0 && longitude <= 0.05;
}

bool isUsablePosition(double latitude, double longitude)
{
    return latitude >= -90.0 && latitude <= 90.0 && longitude >= -180.0 && longitude <= 180.0 &&
           !isNullPosition(latitude, longitude);
}

// The next index of a walk, or nothing when the step does not move it forward.
bool stepForward(std::uint64_t& index, std::int64_t step)
{
    if (step <= 0)
        return false;
    index += static_cast<std::uint64_t>(step);
    return true;
}

} // namespace

BglWords BglWords::fromBytes(const void* bytes, std::size_t size)
{
    const std::size_t count = (size + 3) / 4;
    platform::LargeBuffer buffer = platform::allocateLargeBuffer(count * 4);
    if (count > 0) {
        std::memset(buffer.get() + (count - 1) * 4, 0, 4);
        std::memcpy(buffer.get(), bytes, size);
    }
    return BglWords(std::move(buffer), count);
}

std::uint32_t BglWords::at(std::uint64_t index) const
{
    if (index >= count_)
        throw std::out_of_range(fmt::format("scenery word {} past the end ({} words)", index, count_));
    return words_[static_cast<std::size_t>(index)];
}

float BglWords::f32(std::uint64_t index) const
{
    return std::bit_cast<float>(at(index));
}

std::size_t PositionHash::operator()(const std::pair<double, double>& position) const noexcept
{
    const std::hash<double> hash; // one hash for 0.0 and -0.0, which compare equal
    return hash(position.first) * 0x9E3779B97F4A7C15ull ^ hash(position.second);
}

std::int64_t BglWords::recordStep(std::uint64_t index) const
{
    const std::uint32_t size = static_cast<std::uint32_t>(high16(index)) | static_cast<std::uint32_t>(low16(index + 1)) << 16;
    return static_cast<std::int32_t>(size) / 4;
}

bool BglByteBudget::take(std::uint64_t bytes)
{
    if (stopped())
        return false;
    if (bytes > left_) {
        spent_ = true;
        return false;
    }
    left_ -= bytes;
    if (++items_ % exitCheckItems == 0 && exitBegan()) {
        closed_ = true;
        return false;
    }
    return true;
}

double unpackLatitude(std::uint32_t value)
{
    return 90.0 - static_cast<double>(value) * 180.0 / 536870912.0;
}

double unpackLongitude(std::uint32_t value)
{
    return static_cast<double>(value) * 360.0 / 805306368.0 - 180.0;
}

DecodedIdentifier lf_decodeIdentifierOrRegionCode(std::uint32_t packed)
{
    try {
        std::uint32_t value = packed >> 5;
        DecodedIdentifier decoded;
        if (value < 38)
            return decoded;
        bool blank = false;
        std::string reversed;
        while (value > 0) {
            const std::uint32_t digit = value % 38;
            value /= 38;
            if (digit == 0) {
                blank = true;
                reversed += ' ';
            } else if (digit >= 2 && digit <= 11) {
                reversed += static_cast<char>(digit + 46);
            } else {
                reversed += static_cast<char>(digit + 53);
            }
        }
        decoded.text.assign(reversed.rbegin(), reversed.rend());
        decoded.valid = decoded.text.size() == 4 && !blank;
        return decoded;
    } catch (const std::exception&) {
        logLine(fmt::format("! Exception in {}", "lf_decodeIdentifierOrRegionCode"));
        return {};
    }
}

std::string standName(std::uint32_t nameCode, std::uint32_t number)
{
    std::string name = nameCode < namePrefixes.size() ? std::string(namePrefixes[nameCode])
                                                      : std::string(1, static_cast<char>(nameCode + 53));
    return name + std::to_string(number);
}

void lf_toParkingPositions(const std::filesystem::path& path, AirportSink& sink)
{
    std::ifstream stream(path, std::ios::binary | std::ios::ate);
    if (!stream)
        return;
    const std::streamoff end = stream.tellg();
    if (end < 0)
        return;
    const auto size = static_cast<std::size_t>(end);
    // Not zeroed first: only the last word may be partly filled, and a file that shrank
    // while it was read gives up its lost tail instead.
    platform::LargeBuffer buffer = platform::allocateLargeBuffer((size + 3) / 4 * 4);
    char* bytes = reinterpret_cast<char*>(buffer.get());
    stream.seekg(0);
    stream.read(bytes, static_cast<std::streamsize>(size));
    const auto got = static_cast<std::size_t>(std::max<std::streamsize>(stream.gcount(), 0));
    const std::size_t count = (got + 3) / 4;
    std::memset(bytes + got, 0, count * 4 - got);
    readBglAirports(BglWords(std::move(buffer), count), platform::pathToUtf8(path), sink);
}

void readBglAirports(const BglWords& words, const std::string& bglPath, AirportSink& sink)
{
    if (words.size() < 2)
        throw std::out_of_range(fmt::format("scenery file of {} words", words.size()));
    if (words.at(1) != headerSize || words.size() < headerWords + 1)
        return;
    const ScanLogLimit logLimit(bglPath);
    const std::uint64_t fileBytes = words.size() * 4;
    BglByteBudget budget(fileBytes);
    // The records the walks have reached: a walk that comes to one of them would only read
    // again what an earlier walk read from there on.
    std::vector<bool> walked(static_cast<std::size_t>(words.size()));
    const std::uint32_t sections = words.at(5);
    for (std::uint64_t i = 0; i < sections && !exitBegan(); ++i) {
        const std::uint64_t entry = headerWords + 5 * i;
        const std::uint32_t type = words.at(entry);
        const std::uint32_t entrySize = ((words.at(entry + 1) & 0x10000u) | 0x40000u) >> 14;
        if (type != airportSectionType || entrySize != 16)
            continue;
        const std::uint64_t subsections = words.at(entry + 3) / 4;
        std::uint64_t index = words.at(subsections + 2) / 4;
        // The walk runs on to the end of the file, past the section's own records.
        while (index < words.size() && !walked[static_cast<std::size_t>(index)]) {
            walked[static_cast<std::size_t>(index)] = true;
            if (words.low16(index) == airportRecordId) {
                if (exitBegan())
                    return;
                const DecodedIdentifier icao = lf_decodeIdentifierOrRegionCode(words.at(index + 10));
                if (icao.valid)
                    processBglAirport(index, words, words.recordStep(index), icao.text, bglPath, sink, budget);
                if (budget.spent())
                    pushScanLogLine(fmt::format("{}{} reads more items than its {} bytes hold: {} and the airports "
                                                "after it skipped",
                                                arrowPrefix, bglPath, fileBytes, icao.text));
                if (budget.stopped())
                    return;
            }
            if (!stepForward(index, words.recordStep(index)))
                break;
        }
    }
}

void processBglAirport(std::uint64_t index, const BglWords& words, std::int64_t recordWords, const std::string& icao,
                       const std::string& bglPath, AirportSink& sink, BglByteBudget& budget)
{
    const ScanLogAirport airportLog(icao);
    AirportFileData airport;
    airport.icao = icao;
    BglAirportState state;
    std::int32_t archivedCount = 0;
    const bool linked = sink.linkAirport(airport, archivedCount, bglPath);

    const auto millimetres = static_cast<std::int32_t>(words.at(index + 5));
    const auto feet = static_cast<std::int32_t>(std::llround(millimetres * 3.2808399 / 1000.0));
    airport.altitude = feet < -20 || feet > 10000 ? 0 : feet;

    if (const auto name = airportNames.find(icao); name != airportNames.end())
        airport.airportName = name->second;

    const std::int64_t recordEnd = static_cast<std::int64_t>(index) + recordWords;
    // Where the walk ends: the record's end, or the file's when the record claims more.
    const std::uint64_t walkEnd =
        std::min(static_cast<std::uint64_t>(std::max<std::int64_t>(recordEnd, 0)), words.size());
    std::uint64_t child = index + airportChildrenWord;
    // An airport the byte budget stops is dropped, not handed on in part.
    while (static_cast<std::int64_t>(child) < recordEnd) {
        const std::uint16_t id = words.low16(child);
        if (id == parkingListRecordId) {
            if (!extractParkingPositions(child, words, static_cast<std::uint64_t>(recordEnd), airport, state, bglPath,
                                         budget))
                return;
            if (state.duplicate)
                dedupeStandNames(airport);
            break;
        }
        const std::int64_t step = words.recordStep(child);
        const std::uint64_t stepEnd = step > 0 ? std::min(walkEnd, child + static_cast<std::uint64_t>(step)) : child;
        if (!budget.take((stepEnd - child) * 4))
            return;
        if (id == helipadRecordId)
            extractHelipads(child, words, airport, state);
        if (!stepForward(child, step))
            break;
    }

    if (state.helipadsSkipped > 0)
        pushScanLogLine(fmt::format("{}{} has more than {} helipads: {} more skipped", arrowPrefix, icao,
                                    helipadsPerAirport, state.helipadsSkipped));
    const auto standCount = static_cast<std::int64_t>(airport.stands.size());
    if (standCount > archivedCount)
        pushScanLogLine(
            fmt::format("{}{} has {} parkpos while archived one has {}", "===> ", icao, standCount, archivedCount));
    if (!linked || standCount > archivedCount)
        sink.generateAirportFile(airport);
}

void extractHelipads(std::uint64_t index, const BglWords& words, AirportFileData& airport, BglAirportState& state)
{
    if (state.helipadCounter > helipadsPerAirport) {
        ++state.helipadsSkipped;
        return;
    }
    const double latitude = unpackLatitude(words.at(index + 4));
    const double longitude = unpackLongitude(words.at(index + 3));
    const double width = words.f32(index + 7);
    const LatLon position{latitude, longitude};
    if (!isUsablePosition(latitude, longitude)) {
        pushScanLogLine("lat/lon helipad incorrect (skipped): " + latLonText(position), ScanLogRepeat::helipadPosition);
        return;
    }
    if (!std::isfinite(width) || width <= 0.0) {
        pushScanLogLine(fmt::format("helipad width {} incorrect (skipped): {}", width, latLonText(position)),
                        ScanLogRepeat::helipadWidth);
        return;
    }
    if (!state.helipads.emplace(latitude, longitude).second) {
        pushScanLogLine("double helipad " + airport.airportName + " (skipped) " + latLonText(position),
                        ScanLogRepeat::doubleHelipad);
        return;
    }
    airport.stands.emplace_back(fmt::format("helipad{}", state.helipadCounter), std::vector<StandOption>{}, latitude,
                                longitude, 0.0, width * 0.5, false, false, true);
    ++state.helipadCounter;
}

bool extractParkingPositions(std::uint64_t index, const BglWords& words, std::uint64_t airportEnd,
                             AirportFileData& airport, BglAirportState& state, const std::string& bglPath,
                             BglByteBudget& budget)
{
    const std::uint32_t count = words.high16(index + 1);
    std::uint64_t entry = index + parkingListHeaderWords;
    const std::uint64_t end = std::min(airportEnd, words.size());
    if (!budget.take(parkingListHeaderWords * 4))
        return false;
    // Room for as many stands as the record can hold, whatever the count claims.
    const auto room = static_cast<std::size_t>(
        std::min<std::uint64_t>(count, entry < end ? (end - entry) / parkingEntryWords : 0));
    airport.stands.reserve(airport.stands.size() + room);
    state.standNames.reserve(state.standNames.size() + room);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (entry + parkingEntryWords > airportEnd) {
            pushScanLogLine(fmt::format("{}parking list of {} holds {} of the {} entries it claims, in {}", arrowPrefix,
                                        airport.icao, i, count, bglPath));
            return true;
        }
        const std::uint32_t flags = words.at(entry);
        const std::uint64_t current = entry;
        entry += parkingEntryWords + (flags >> 24);
        if (!budget.take((std::min(entry, end) - current) * 4))
            return false;

        const double radius = words.f32(current + 1);
        if (!(radius > 1.0 && radius < 200.0)) { // a radius that is not a number is skipped too
            pushScanLogLine(fmt::format("skipped position with radius {:.1F} meters, in {}", radius, bglPath),
                            ScanLogRepeat::standRadius);
            continue;
        }
        const std::string name = standName(flags & 0x3Fu, (flags >> 12) & 0xFFFu);
        const std::uint32_t type = (flags >> 8) & 0xFu;
        if (type == 0 || type == 12 || type == 13)
            continue;
        const double latitude = unpackLatitude(words.at(current + 8));
        const double longitude = unpackLongitude(words.at(current + 7));
        if (!isUsablePosition(latitude, longitude)) {
            pushScanLogLine(fmt::format("lat/lon: {}, incorrect (skipped) ", latLonText({latitude, longitude})),
                            ScanLogRepeat::standPosition);
            continue;
        }
        const double heading = words.f32(current + 2);
        if (!std::isfinite(heading)) {
            pushScanLogLine(fmt::format("skipped position with heading {:.1F} degrees, in {}", heading, bglPath),
                            ScanLogRepeat::standHeading);
            continue;
        }

        std::string unique = name;
        bool lettered = false;
        if (!state.standNames.insert(name).second) {
            state.duplicate = true;
            lettered = true;
            unique.clear();
            for (const char* letter : duplicateLetters) {
                if (state.standNames.insert(name + letter).second) {
                    unique = name + letter;
                    break;
                }
            }
            if (unique.empty()) {
                pushScanLogLine(
                    fmt::format("{}{}Warning more then 6 the same ids {}, in {}", "===> ", "===> ", name, bglPath),
                    ScanLogRepeat::sameNames);
                continue;
            }
        }
        ParkingPosition& stand = airport.stands.emplace_back(
            std::move(unique), std::vector<StandOption>{}, latitude, longitude,
            heading == 0.0 ? twoPi : heading * degreesToRadians, radius, type == 5,
            (type >= 1 && type <= 7) || type == 14, false);
        stand.duplicate = lettered;
    }
    return true;
}

void dedupeStandNames(AirportFileData& airport)
{
    // A scenery name ends in a digit, so a name with a letter belongs to one base name only
    // and no two groups share a stand.
    std::unordered_map<std::string, std::vector<ParkingPosition*>> groups;
    for (const ParkingPosition& stand : airport.stands)
        if (stand.duplicate)
            groups.try_emplace(stand.name.substr(0, stand.name.size() - 1));
    if (groups.empty())
        return;
    for (ParkingPosition& stand : airport.stands) {
        auto group = groups.find(stand.name);
        if (group == groups.end() && !stand.name.empty() && stand.name.back() >= 'a' && stand.name.back() <= 'f')
            group = groups.find(stand.name.substr(0, stand.name.size() - 1));
        if (group == groups.end())
            continue;
        stand.duplicate = false;
        group->second.push_back(&stand);
    }
    for (auto& [base, group] : groups) {
        std::stable_sort(group.begin(), group.end(),
                         [](const ParkingPosition* a, const ParkingPosition* b) { return a->radius > b->radius; });
        for (std::size_t i = 0; i < group.size(); ++i)
            group[i]->name = i == 0 ? base : base + duplicateLetters[std::min(i - 1, duplicateLetters.size() - 1)];
    }
}

} // namespace rtd
