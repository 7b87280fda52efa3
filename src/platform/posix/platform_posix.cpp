#include "platform/platform.hpp"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <sys/file.h>
#include <unistd.h>

namespace rtd::platform {
namespace {

std::filesystem::path fromEnvironment(const char* variable, const char* xdgVariable, const char* homeRelative)
{
    if (const char* value = std::getenv(variable); value && *value)
        return pathFromUtf8(value);
    if (const char* value = std::getenv(xdgVariable); value && *value)
        return pathFromUtf8(value);
    if (const char* home = std::getenv("HOME"); home && *home)
        return pathFromUtf8(home) / homeRelative;
    return {};
}

class LockFile final : public InstanceLock {
public:
    explicit LockFile(int fd) : fd_(fd) {}
    ~LockFile() override { ::close(fd_); }
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;

private:
    int fd_;
};

} // namespace

std::filesystem::path appDataFolder()
{
    return fromEnvironment("APPDATA", "XDG_CONFIG_HOME", ".config");
}

std::filesystem::path localAppDataFolder()
{
    return fromEnvironment("LOCALAPPDATA", "XDG_DATA_HOME", ".local/share");
}

std::unique_ptr<InstanceLock> acquireSingleInstance(std::string_view name)
{
    // "Local\$Name$" names a per-session object on Windows; here the per-user folder plays
    // that part, and the name's separators become '_'.
    std::string fileName(name);
    for (char& c : fileName)
        if (c == '\\' || c == '/')
            c = '_';
    fileName += ".lock";

    std::filesystem::path folder = localAppDataFolder();
    if (folder.empty())
        folder = std::filesystem::temp_directory_path();
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);

    const std::string lockPath = (folder / fileName).string();
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return std::make_unique<InstanceLock>(); // no lock to be had: do not stop the user
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool heldElsewhere = errno == EWOULDBLOCK;
        ::close(fd);
        return heldElsewhere ? nullptr : std::make_unique<InstanceLock>();
    }
    return std::make_unique<LockFile>(fd);
}

std::FILE* openFile(const std::filesystem::path& path, const char* mode)
{
    return std::fopen(path.c_str(), mode);
}

bool flushToDisk(std::FILE* file)
{
    return std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0;
}

void syncFileSystems()
{
    ::sync();
}

int lastFileError()
{
    return errno;
}

void showFatalMessage(std::string_view title, std::string_view text)
{
    std::cerr << title << ": " << text << std::endl;
}

} // namespace rtd::platform

namespace rtd::platform {

// The scheduler's sleeps are fine-grained already.
void raiseTimerResolution() {}
void restoreTimerResolution() {}

std::string narrowPath(const std::filesystem::path& path)
{
    return pathToUtf8(path);
}

std::filesystem::path pathFromNarrow(std::string_view text)
{
    return pathFromUtf8(text);
}

} // namespace rtd::platform
