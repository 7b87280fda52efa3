#pragma once
// The add-on airport scan: its in-memory scan log, the folder walk that picks the scenery
// files worth reading and reads each on a task of its own (at most maxWorkers() at once),
// the two calls each airport found in them is handed to, and the collection of the
// generated files that still need learning. runAirportsScan (airport_database.hpp) is the
// whole scan.

#include "airports/files/airport_file.hpp"

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace rtd {

// The scan log: lines under their own mutex, written to "AirportsScanLog.txt" at the end of
// a scan. pushScanLogLine is its only writer and may be called from any scan task.
void pushScanLogLine(std::string text);

// The lines an airport may repeat once per item it skips; each kind is bounded on its own.
enum class ScanLogRepeat : std::uint8_t {
    helipadPosition,
    helipadWidth,
    doubleHelipad,
    standRadius,
    standPosition,
    standHeading,
    sameNames,
};
inline constexpr std::size_t scanLogRepeatKinds = 7;
void pushScanLogLine(std::string text, ScanLogRepeat kind);

// A line that says an airport file could not be written.
void pushScanLogFailureLine(std::string text);

// While one lives, it bounds the scan-log lines its thread adds about one scenery file, so that
// a hostile file writes a small log and a large real one keeps all of its airports:
// - the lines of the file's first 2,000 airports are kept; those of later airports are not,
//   and one line at its end says how many airports' lines were left out;
// - inside an airport, lines of one repeated kind after its first 200 are counted, and one
//   line at the airport's end gives the count;
// - at most 2,000 repeated lines of the file are kept; one line at its end counts the rest;
// - the airports' lines take at most 760 kB in all; one line at its end counts the rest;
// - the failure lines are kept for every airport, whatever its number, up to 2,000 (and
//   200 kB); one line at its end counts the rest.
// Lines outside an airport are always kept. So the log of one file stays under 1 MB with a
// path of the longest the scan reads.
class ScanLogLimit {
public:
    explicit ScanLogLimit(std::string source);
    ~ScanLogLimit();
    ScanLogLimit(const ScanLogLimit&) = delete;
    ScanLogLimit& operator=(const ScanLogLimit&) = delete;

private:
    friend class ScanLogAirport;
    friend void pushScanLogLine(std::string text);
    friend void pushScanLogLine(std::string text, ScanLogRepeat kind);
    friend void pushScanLogFailureLine(std::string text);
    // False when the line is to be left out.
    bool take(std::optional<ScanLogRepeat> kind, std::size_t bytes);
    bool takeFailure(std::size_t bytes);

    std::string source_;
    std::size_t airports_ = 0;        // begun
    std::size_t airportsLeftOut_ = 0; // of those after the first 2,000, with lines
    std::size_t repeatedKept_ = 0;
    std::size_t repeatedLeftOut_ = 0; // by the file's bound
    std::size_t bytesKept_ = 0;       // of the airports' lines
    std::size_t bytesLeftOut_ = 0;    // lines left out by the bound of their bytes
    std::size_t failuresKept_ = 0;
    std::size_t failureBytesKept_ = 0;
    std::size_t failuresLeftOut_ = 0;
    // The airport being read.
    bool inAirport_ = false;
    bool airportLeftOut_ = false;
    std::array<std::size_t, scanLogRepeatKinds> kept_{};
    std::array<std::size_t, scanLogRepeatKinds> leftOut_{}; // by the airport's bound
    ScanLogLimit* outer_;
};

// While one lives, the lines its thread adds are those of one airport of the file whose
// ScanLogLimit is around it (none: nothing is bounded); its end adds the airport's counts.
class ScanLogAirport {
public:
    explicit ScanLogAirport(std::string icao);
    ~ScanLogAirport();
    ScanLogAirport(const ScanLogAirport&) = delete;
    ScanLogAirport& operator=(const ScanLogAirport&) = delete;

private:
    std::string icao_;
    ScanLogLimit* limit_;
};
// Empties the log and reserves room for the lines of a new scan.
void startScanLog();
// The lines so far, leaving the log empty.
std::vector<std::string> takeScanLog();

// True when the file's section table holds an airport section (type 3). False when the file
// cannot be opened, is shorter than its 56-byte header, or its section table does not fit.
bool hasAirportSection(const std::filesystem::path& path);

// Where the scenery reader hands each airport it has read: the scan's own calls below, or
// whatever a test records.
class AirportSink {
public:
    virtual ~AirportSink() = default;
    // Fills the airport's BGLpath and publisher fields; true when an archived airport file
    // was found and linked, with its stand count in archivedCount (0 otherwise).
    virtual bool linkAirport(AirportFileData& airport, std::int32_t& archivedCount, const std::string& bglPath) = 0;
    // Writes the generated airport file; nothing for an airport without stands. The number
    // of helipads kept is the number of stands marked heli.
    virtual void generateAirportFile(AirportFileData& airport) = 0;
};

// The scan's own linking and generating of airport files. An airport file is given up once
// an exit has begun, looked for every few thousand stands and every mebibyte written (or once
// `closed` says so): then no file and no temporary stays and the failure line is logged.
bool linkAirport(AirportFileData& airport, std::int32_t& archivedCount, const std::string& bglPath);
void generateAirportFile(AirportFileData& airport);
void generateAirportFile(AirportFileData& airport, const std::function<bool()>& closed);

// Airports linked or generated since the program started.
extern std::atomic<std::int32_t> handledAirportCount;

// "AirportsScanLog.txt" in output/info.
std::filesystem::path scanLogPath();

// True for path texts of 250 bytes or more and for those holding one of the words of
// packages that hold no airports worth a scan.
bool isExcludedFolder(const std::string& pathText);
// Exactly ".BGL" or ".bgl".
bool isBglExtension(const std::string& extension);

// Walks the folder (no directory links followed) and reads every scenery file with an
// airport section on a task of its own. Every task has ended when it returns, also after
// an error; errors are written to the scan log.
void scanFolderForBgl(const std::filesystem::path& folder);

// The archived file of the airport, or nothing (the scan log says why).
std::optional<std::filesystem::path> findArchivedSimaddonFile(const AirportFileData& airport);
std::optional<std::filesystem::path> findArchivedThirdpartyFile(const std::string& publisher,
                                                                const AirportFileData& airport);
// The same, writing the link file "<ICAO>.txt" in my_simaddon or my_thirdparty that names it.
// Nothing also when the link file could not be written.
std::optional<std::filesystem::path> linkSimaddonAirport(const AirportFileData& airport);
std::optional<std::filesystem::path> linkThirdpartyAirport(const std::string& publisher,
                                                           const AirportFileData& airport);

// The four-character stems of the ".xml" files (any case) directly in my_thirdparty, in
// directory order.
std::vector<std::string> listXmlFiles();

} // namespace rtd
