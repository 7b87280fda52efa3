#pragma once
// The program's one text log, "Log.txt" in the installation folder. Every thread writes to
// it; a line is written whole under logMutex, which is always the innermost lock. Writes
// while the log is not open are skipped silently.

#include <filesystem>
#include <mutex>
#include <string_view>

namespace rtd {

inline constexpr std::string_view arrowPrefix = "===> ";
inline constexpr std::string_view logFileName = "Log.txt";

extern std::mutex logMutex;

// Keeps two earlier generations of the file: "Log.txt" -> "Log0.txt" -> "Log00.txt".
// A path without a '.' is not backed up.
void backupPreviousLogs(const std::filesystem::path& path);

// Backs up the earlier logs, truncates the log and writes its header line. Throws
// SysErrorException 40 when the file cannot be opened. A failed backup copy is noted in
// the new log and does not stop the program.
void openLogFile(const std::filesystem::path& path = logFileName);

// Flushes and closes the log; later writes are skipped.
void closeLogFile();

bool logIsOpen();
void flushLog();

// While it lives, nothing this thread writes reaches the log (a task run a second time
// repeats lines its first run wrote).
class LogSilence {
public:
    LogSilence();
    ~LogSilence();
    LogSilence(const LogSilence&) = delete;
    LogSilence& operator=(const LogSilence&) = delete;

private:
    bool previous_;
};

void logLine(std::string_view text);        // buffered
void logLineFlushed(std::string_view text); // written through at once
void logArrow(std::string_view text);       // "===> " + text, written through at once

} // namespace rtd
