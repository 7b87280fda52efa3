#pragma once
// The simulator's binary scenery files (".bgl"): which airports they hold, and each airport's
// helipads and taxiway parking spots as stands of an airport file.
//
// The file is read whole into little-endian 32-bit words; every later access goes through
// BglWords::at, which throws std::out_of_range past the end, so a truncated or odd file
// fails on its own and never reads outside the buffer. Word indexes are 64-bit.

#include "airports/files/airport_file.hpp"
#include "platform/large_buffer.hpp"

#include <cstdint>
#include <filesystem>
#include <string>
#include <unordered_set>
#include <vector>

namespace rtd {

class AirportSink;

class BglWords {
public:
    BglWords() = default;
    // The first `count` words of the buffer.
    BglWords(platform::LargeBuffer buffer, std::size_t count)
        : buffer_(std::move(buffer)), words_(reinterpret_cast<const std::uint32_t*>(buffer_.get())), count_(count)
    {
    }

    // The file's bytes as words, a last partial word filled up with zero bytes.
    static BglWords fromBytes(const void* bytes, std::size_t size);

    std::uint64_t size() const { return count_; }
    // Throws std::out_of_range for an index at or past the end.
    std::uint32_t at(std::uint64_t index) const;
    std::uint16_t low16(std::uint64_t index) const { return static_cast<std::uint16_t>(at(index)); }
    std::uint16_t high16(std::uint64_t index) const { return static_cast<std::uint16_t>(at(index) >> 16); }
    float f32(std::uint64_t index) const;

    // A record's u32 size (bytes 2 to 5 of the record at `index`) as a signed step in words:
    // a size of 0x80000000 or more is negative, a remainder below 4 bytes is dropped.
    std::int64_t recordStep(std::uint64_t index) const;

private:
    platform::LargeBuffer buffer_;
    const std::uint32_t* words_ = nullptr;
    std::size_t count_ = 0;
};

// Packed positions: one unit is 180 / 2^29 degrees of latitude down from 90, and
// 360 / (3 * 2^28) degrees of longitude up from -180.
double unpackLatitude(std::uint32_t value);
double unpackLongitude(std::uint32_t value);

struct DecodedIdentifier {
    std::string text;
    bool valid = false;
};

// An airport's packed identifier: base 38 digits of the value shifted right by 5.
DecodedIdentifier lf_decodeIdentifierOrRegionCode(std::uint32_t packed);

// A parking entry's stand name: the prefix of its name code and its number.
std::string standName(std::uint32_t nameCode, std::uint32_t number);

// A (latitude, longitude) pair by the values of its doubles; equal positions hash alike.
struct PositionHash {
    std::size_t operator()(const std::pair<double, double>& position) const noexcept;
};

// What one airport record gathers while it is read.
struct BglAirportState {
    std::unordered_set<std::string> standNames; // parking names taken, helipads not among them
    std::int32_t helipadCounter = 1;            // the next helipad's number
    std::unordered_set<std::pair<double, double>, PositionHash> helipads; // positions kept
    std::uint64_t helipadsSkipped = 0;          // past the most an airport keeps
    bool duplicate = false;                     // a name was given a letter
};

// The helipads an airport keeps, the most a parking list can count; the later ones are skipped.
inline constexpr std::int32_t helipadsPerAirport = 65535;

// What the walks over the airport records of one file may read, over all of them: at most
// the file's size in bytes. A child counts the bytes it steps over, a parking list its header
// and each entry it reads, so a file whose records do not overlap never reaches it; records
// that read the same bytes again do. After every 4096 items it also looks whether an exit has
// begun.
class BglByteBudget {
public:
    explicit BglByteBudget(std::uint64_t fileBytes) : left_(fileBytes) {}
    // Counts one more item of `bytes`; false once the budget is spent or an exit has begun,
    // and from then on. The airport being read is then dropped.
    bool take(std::uint64_t bytes);
    bool spent() const { return spent_; }
    bool stopped() const { return spent_ || closed_; }

private:
    std::uint64_t left_;
    std::uint64_t items_ = 0;
    bool spent_ = false;
    bool closed_ = false;
};

// Reads one scenery file and hands every airport in it to the sink. Nothing happens when the
// file cannot be opened or is not a scenery file; throws std::out_of_range when a structure
// it needs lies past the end (airports handed on before that stay handed on). Each record is
// read once, also when several sections lead to it. Reading stops once an exit has begun or
// the file's byte budget is spent (then with one scan-log line), between sections and airports
// and inside an airport, whose stands are then not handed on. A ScanLogLimit bounds the
// file's scan-log lines.
void lf_toParkingPositions(const std::filesystem::path& path, AirportSink& sink);
// The same on words already read; bglPath names the file in messages.
void readBglAirports(const BglWords& words, const std::string& bglPath, AirportSink& sink);

void processBglAirport(std::uint64_t index, const BglWords& words, std::int64_t recordWords, const std::string& icao,
                       const std::string& bglPath, AirportSink& sink, BglByteBudget& budget);
// Past the airport's first helipadsPerAirport helipads kept it only counts the helipad skipped.
void extractHelipads(std::uint64_t index, const BglWords& words, AirportFileData& airport, BglAirportState& state);
// The list ends with its airport record (word index airportEnd), whatever count it claims.
// False when the byte budget stopped it.
bool extractParkingPositions(std::uint64_t index, const BglWords& words, std::uint64_t airportEnd,
                             AirportFileData& airport, BglAirportState& state, const std::string& bglPath,
                             BglByteBudget& budget);
// Each name a letter was added to goes again to its stands (the name and the lettered ones),
// largest radius first, equal radii in list order.
void dedupeStandNames(AirportFileData& airport);

} // namespace rtd
