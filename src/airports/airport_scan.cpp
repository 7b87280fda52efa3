#include "airports/airport_scan.hpp"

#include <array>
#include <cstring>
#include <fstream>
#include <mutex>

namespace rtd {

namespace {

constexpr std::size_t scanLogReserve = 2048;
constexpr std::uint64_t headerBytes = 56;
constexpr std::uint64_t sectionEntryBytes = 20;
constexpr std::uint32_t airportSectionType = 3;

std::mutex scanLogMutex;
std::vector<std::string> scanLog;

std::uint32_t wordAt(const char* bytes)
{
    std::uint32_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

} // namespace

void pushScanLogLine(std::string text)
{
    const std::lock_guard lock(scanLogMutex);
    scanLog.push_back(std::move(text));
}

void startScanLog()
{
    const std::lock_guard lock(scanLogMutex);
    scanLog.clear();
    scanLog.reserve(scanLogReserve);
}

std::vector<std::string> takeScanLog()
{
    const std::lock_guard lock(scanLogMutex);
    std::vector<std::string> lines;
    lines.swap(scanLog);
    return lines;
}

bool hasAirportSection(const std::filesystem::path& path)
{
    std::ifstream stream(path, std::ios::binary | std::ios::ate);
    if (!stream)
        return false;
    const std::streamoff end = stream.tellg();
    if (end < static_cast<std::streamoff>(headerBytes))
        return false;
    const auto size = static_cast<std::uint64_t>(end);
    stream.seekg(0);
    std::array<char, headerBytes> header{};
    if (!stream.read(header.data(), header.size()))
        return false;
    const std::uint64_t sections = wordAt(header.data() + 20);
    if (sections == 0 || size <= sectionEntryBytes * sections + headerBytes)
        return false;
    std::array<char, sectionEntryBytes> entry{};
    for (std::uint64_t i = 0; i < sections; ++i) {
        if (!stream.read(entry.data(), entry.size()))
            return false;
        if (wordAt(entry.data()) == airportSectionType)
            return true;
    }
    return false;
}

} // namespace rtd
