#include "platform/platform.hpp"

#include <windows.h>
#include <io.h>
#include <shlobj.h>

#include <optional>

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

// The ANSI form of a wide text; nothing when a character has no form in the code page.
std::optional<std::string> ansi(const std::wstring& text)
{
    if (text.empty())
        return std::string{};
    BOOL lossy = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, &lossy);
    if (size <= 0 || lossy)
        return std::nullopt;
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), result.data(),
                        size, nullptr, &lossy);
    return lossy ? std::nullopt : std::optional<std::string>(std::move(result));
}

// The ANSI form as it falls: unrepresentable characters become the code page's default.
std::string ansiLossy(const std::wstring& text)
{
    const int size =
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return {};
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr, nullptr);
    return result;
}

std::wstring shortPathName(const std::wstring& path)
{
    const DWORD size = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (size == 0)
        return {};
    std::wstring result(size, L'\0');
    const DWORD written = GetShortPathNameW(path.c_str(), result.data(), size);
    if (written == 0 || written >= size)
        return {};
    result.resize(written);
    return result;
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

std::string narrowPath(const std::filesystem::path& path)
{
    const std::wstring whole = path.wstring();
    if (std::optional<std::string> text = ansi(whole))
        return *text;
    const std::filesystem::path folder = path.parent_path();
    const std::wstring shortFolder = folder.empty() ? std::wstring{} : shortPathName(folder.wstring());
    if (!shortFolder.empty()) {
        const std::wstring shortened = (std::filesystem::path(shortFolder) / path.filename()).wstring();
        if (std::optional<std::string> text = ansi(shortened))
            return *text;
    }
    return ansiLossy(whole);
}

std::filesystem::path pathFromNarrow(std::string_view text)
{
    if (text.empty())
        return {};
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0)
        return {};
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
    return std::filesystem::path(result);
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
