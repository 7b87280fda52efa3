#include "platform/platform.hpp"

#include <windows.h>
#include <io.h>
#include <shlobj.h>

namespace rtd::platform {
namespace {

std::filesystem::path shellFolder(int csidl)
{
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer)))
        return {};
    return std::filesystem::path(buffer);
}

std::wstring wide(std::string_view utf8)
{
    return pathFromUtf8(utf8).wstring();
}

class NamedMutex final : public InstanceLock {
public:
    explicit NamedMutex(HANDLE handle) : handle_(handle) {}
    ~NamedMutex() override
    {
        if (handle_)
            CloseHandle(handle_);
    }
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

private:
    HANDLE handle_;
};

} // namespace

std::filesystem::path appDataFolder()
{
    return shellFolder(CSIDL_APPDATA);
}

std::filesystem::path localAppDataFolder()
{
    return shellFolder(CSIDL_LOCAL_APPDATA);
}

std::unique_ptr<InstanceLock> acquireSingleInstance(std::string_view name)
{
    HANDLE handle = CreateMutexW(nullptr, FALSE, wide(name).c_str());
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        if (handle)
            CloseHandle(handle);
        return nullptr;
    }
    return std::make_unique<NamedMutex>(handle);
}

std::FILE* openFile(const std::filesystem::path& path, const char* mode)
{
    return _wfopen(path.c_str(), wide(mode).c_str());
}

bool flushToDisk(std::FILE* file)
{
    if (std::fflush(file) != 0)
        return false;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle);
}

void syncFileSystems() {}

int lastFileError()
{
    return static_cast<int>(GetLastError());
}

void showFatalMessage(std::string_view title, std::string_view text)
{
    MessageBoxW(nullptr, wide(text).c_str(), wide(title).c_str(), MB_OK | MB_ICONERROR);
}

} // namespace rtd::platform

#include <timeapi.h>

namespace rtd::platform {

void raiseTimerResolution()
{
    timeBeginPeriod(1);
}

void restoreTimerResolution()
{
    timeEndPeriod(1);
}

} // namespace rtd::platform
