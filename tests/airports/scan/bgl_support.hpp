#pragma once
// A sink that records the airports the scenery reader hands on, and a reader run that
// gathers what it gave: the airports, the scan log and whether the file failed.

#include "airports/scan/airport_scan.hpp"
#include "airports/scan/bgl.hpp"

#include <map>
#include <string>
#include <vector>

namespace rtd::test {

struct RecordingSink : AirportSink {
    std::map<std::string, std::int32_t> archived; // ICAO -> stand count of its archived file
    std::vector<AirportFileData> generated;
    std::vector<std::string> linked;

    bool linkAirport(AirportFileData& airport, std::int32_t& archivedCount, const std::string& bglPath) override
    {
        airport.bglPath = bglPath;
        linked.push_back(airport.icao);
        const auto found = archived.find(airport.icao);
        archivedCount = found == archived.end() ? 0 : found->second;
        return found != archived.end();
    }
    void generateAirportFile(AirportFileData& airport) override { generated.push_back(airport); }
};

struct BglRun {
    RecordingSink sink;
    std::vector<std::string> log;
    bool failed = false; // std::out_of_range

    // "ZZAA:3 ZZAB:0", one item per airport handed to generateAirportFile.
    std::string summary() const
    {
        std::string text;
        for (const AirportFileData& airport : sink.generated)
            text += (text.empty() ? "" : " ") + airport.icao + ":" + std::to_string(airport.stands.size());
        return text;
    }
};

inline BglRun readBgl(const std::string& bytes, std::map<std::string, std::int32_t> archived = {})
{
    BglRun run;
    run.sink.archived = std::move(archived);
    startScanLog();
    try {
        readBglAirports(BglWords::fromBytes(bytes.data(), bytes.size()), "scenery.bgl", run.sink);
    } catch (const std::out_of_range&) {
        run.failed = true;
    }
    run.log = takeScanLog();
    return run;
}

} // namespace rtd::test
