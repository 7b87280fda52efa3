#pragma once
// The operating-system seam. Each function has a posix and a win32 body; CMake picks one.
// Nothing above this folder includes a system header of its own for these services.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace rtd::platform {

// The user's roaming application-data folder: SHGetFolderPathW(CSIDL_APPDATA) on Windows;
// elsewhere $APPDATA when set, else $XDG_CONFIG_HOME, else ~/.config. Empty when unknown.
std::filesystem::path appDataFolder();

// The user's local application-data folder: SHGetFolderPathW(CSIDL_LOCAL_APPDATA) on
// Windows; elsewhere $LOCALAPPDATA when set, else $XDG_DATA_HOME, else ~/.local/share.
std::filesystem::path localAppDataFolder();

// Held for as long as the object lives; released by its destructor.
class InstanceLock {
public:
    virtual ~InstanceLock() = default;
};

// Takes the named single-instance lock. Returns null when another process holds it.
// Windows: the named mutex `name`. Elsewhere: an exclusive lock on a file named after
// `name` in the local application-data folder.
std::unique_ptr<InstanceLock> acquireSingleInstance(std::string_view name);

// UTF-8 text <-> path, on Windows through the path's wide form (never the code page).
std::filesystem::path pathFromUtf8(std::string_view text);
std::string pathToUtf8(const std::filesystem::path& path);

// A path as a library that takes narrow (`const char*`) paths opens it: on Windows in the
// ANSI code page; when the path holds characters that code page cannot represent (a user
// name with accents), the folder is given by its short 8.3 name, and where even that is
// not representable the narrow conversion as it falls. UTF-8 elsewhere. The folder must
// exist; the last part need not.
std::string narrowPath(const std::filesystem::path& path);

// The path a library's narrow path text names (the reverse of narrowPath).
std::filesystem::path pathFromNarrow(std::string_view text);

// fopen by path; on Windows through _wfopen so any file name works.
std::FILE* openFile(const std::filesystem::path& path, const char* mode);

// Flushes the file's buffers and has the system write them to the disk (fsync;
// FlushFileBuffers on Windows), so a rename after it never leaves an empty file behind a
// crash. False when either step failed.
bool flushToDisk(std::FILE* file);

// Has the system write every file's buffered data to the disk (sync), for writers that
// replace many files without flushing each. Windows offers no such call to a normal user:
// there it does nothing and the files reach the disk when the system writes them.
void syncFileSystems();

// The system's error number of the last failed file call on this thread (errno; the
// Windows error on Windows).
int lastFileError();

// The system timer's resolution raised to 1 ms for a loop that sleeps 1 ms at a time, and
// given back after it (timeBeginPeriod / timeEndPeriod on Windows; nothing elsewhere).
void raiseTimerResolution();
void restoreTimerResolution();

// Tells the user about an error that stops the program before its window exists:
// a message box on Windows, standard error elsewhere.
void showFatalMessage(std::string_view title, std::string_view text);

} // namespace rtd::platform
