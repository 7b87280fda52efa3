#include "core/log.hpp"

#include "core/exceptions.hpp"
#include "core/files.hpp"
#include "core/time.hpp"
#include "core/version.hpp"
#include "platform/platform.hpp"

#include <chrono>
#include <fmt/format.h>
#include <fstream>
#include <string>
#include <system_error>
#include <type_traits>

namespace rtd {

std::mutex logMutex;

namespace {

// Never destroyed: a thread still running as the process ends finds the log closed, not gone.
std::ofstream& logStream = *new std::ofstream;

thread_local bool silenced = false;
static_assert(std::is_trivially_destructible_v<decltype(silenced)>);

enum class Ending { buffered, flushed };

void writeLine(std::string_view prefix, std::string_view text, Ending ending)
{
    if (silenced)
        return;
    std::lock_guard lock(logMutex);
    if (!logStream.is_open())
        return;
    logStream << prefix << text << '\n';
    if (ending == Ending::flushed)
        logStream.flush();
}

// The backup name with `zeros` inserted before the last '.' of the path's text.
std::filesystem::path backupName(const std::string& text, std::size_t dot, int zeros)
{
    return platform::pathFromUtf8(text.substr(0, dot) + std::string(zeros, '0') + text.substr(dot));
}

// A copy written whole; failures throw std::filesystem::filesystem_error.
void copyOrThrow(const std::filesystem::path& from, const std::filesystem::path& to)
{
    if (!copyFileWhole(from, to))
        throw std::filesystem::filesystem_error("cannot copy file", from, to,
                                                std::error_code(platform::lastFileError(), std::system_category()));
}

} // namespace

void backupPreviousLogs(const std::filesystem::path& path)
{
    const std::string text = platform::pathToUtf8(path);
    const std::size_t dot = text.rfind('.');
    if (dot == std::string::npos)
        return;
    const auto first = backupName(text, dot, 1);
    const auto second = backupName(text, dot, 2);
    // The older copy is made first, so Log00 receives what Log0 held.
    if (std::filesystem::exists(first))
        copyOrThrow(first, second);
    if (std::filesystem::exists(path))
        copyOrThrow(path, first);
}

void openLogFile(const std::filesystem::path& path)
{
    // A viewer holding an old log open must not keep the program from starting.
    std::string backupError;
    try {
        backupPreviousLogs(path);
    } catch (const std::filesystem::filesystem_error& e) {
        backupError = e.what();
    }

    {
        std::lock_guard lock(logMutex);
        logStream.open(path, std::ios::out | std::ios::trunc);
        if (!logStream.is_open()) {
            logStream.clear();
            throw SysErrorException(40, "Failed to write file " + platform::pathToUtf8(path));
        }
    }
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    logLine(fmt::format("{} (utc) {} version {} for {}", utcTimeString(now), productName,
                        versionToString(programVersion), "MSFS"));
    if (!backupError.empty())
        logArrow("earlier logs not backed up: " + backupError);
}

void closeLogFile()
{
    std::lock_guard lock(logMutex);
    if (logStream.is_open()) {
        logStream.flush();
        logStream.close();
    }
}

bool logIsOpen()
{
    std::lock_guard lock(logMutex);
    return logStream.is_open();
}

void flushLog()
{
    std::lock_guard lock(logMutex);
    if (logStream.is_open())
        logStream.flush();
}

LogSilence::LogSilence() : previous_(silenced)
{
    silenced = true;
}

LogSilence::~LogSilence()
{
    silenced = previous_;
}

void logLine(std::string_view text)
{
    writeLine({}, text, Ending::buffered);
}

void logLineFlushed(std::string_view text)
{
    writeLine({}, text, Ending::flushed);
}

void logArrow(std::string_view text)
{
    writeLine(arrowPrefix, text, Ending::flushed);
}

} // namespace rtd
