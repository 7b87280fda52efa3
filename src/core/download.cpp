#include "core/download.hpp"

#include <atomic>
#include <cstdio>
#include <curl/curl.h>
#include <fmt/format.h>
#include <mutex>
#include <type_traits>

#include "core/exit.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "platform/platform.hpp"

namespace rtd {
namespace fs = std::filesystem;
namespace {

constexpr long maxRedirects = 10;

std::atomic<long long> connectTimeoutMs{DownloadTimeouts{}.connect.count()};
std::atomic<long long> totalTimeoutMs{DownloadTimeouts{}.total.count()};

thread_local const std::stop_token* threadStop = nullptr;
static_assert(std::is_trivially_destructible_v<decltype(threadStop)>);

// libcurl's progress callback, called about once a second also while nothing arrives: a
// non-zero result aborts the transfer.
int abortOnStop(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return exitBegan() || (threadStop && threadStop->stop_requested()) ? 1 : 0;
}

struct MemoryTarget {
    std::string* body;
    std::size_t maxBytes;
};

std::size_t writeToFile(char* data, std::size_t size, std::size_t count, void* file)
{
    return std::fwrite(data, size, count, static_cast<std::FILE*>(file));
}

std::size_t writeToMemory(char* data, std::size_t size, std::size_t count, void* target)
{
    auto& memory = *static_cast<MemoryTarget*>(target);
    const std::size_t bytes = size * count;
    if (memory.body->size() + bytes > memory.maxBytes)
        return 0; // stops the transfer with a write error
    memory.body->append(data, bytes);
    return bytes;
}

// Performs the transfer with the common options; the result text is libcurl's.
CURLcode perform(CURL* handle, const std::string& url, curl_write_callback write, void* target)
{
    curl_easy_reset(handle);
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, write);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, target);
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, maxRedirects);
    curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L); // time-outs without signals: safe in threads
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectTimeoutMs.load()));
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(totalTimeoutMs.load()));
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, abortOnStop);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    if (abortOnStop(nullptr, 0, 0, 0, 0) != 0)
        return CURLE_ABORTED_BY_CALLBACK;
    return curl_easy_perform(handle);
}

} // namespace

DownloadStopScope::DownloadStopScope(std::stop_token stop) : stop_(std::move(stop)), previous_(threadStop)
{
    threadStop = &stop_;
}

DownloadStopScope::~DownloadStopScope()
{
    threadStop = previous_;
}

void closeCurlHandle(CURL* handle)
{
    if (handle)
        curl_easy_cleanup(handle);
}

CurlHandle openCurlHandle()
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    return CurlHandle(curl_easy_init(), &closeCurlHandle);
}

void setDownloadTimeouts(const DownloadTimeouts& timeouts)
{
    connectTimeoutMs = timeouts.connect.count();
    totalTimeoutMs = timeouts.total.count();
}

DownloadTimeouts downloadTimeouts()
{
    return {std::chrono::milliseconds(connectTimeoutMs.load()), std::chrono::milliseconds(totalTimeoutMs.load())};
}

bool downloadToFile(CURL* handle, const std::string& url, const fs::path& target, bool binary)
{
    if (!handle)
        return false;
    bool opened = false;
    CURLcode result = CURLE_OK;
    const bool written = replaceFileWhole(target, binary, [&](std::FILE* file) {
        opened = true;
        result = perform(handle, url, writeToFile, file);
        return result == CURLE_OK;
    });
    if (written)
        return true;
    if (!opened) {
        logLine(fmt::format("could not open file: {}", platform::pathToUtf8(target)));
        return false;
    }
    if (result == CURLE_OK)
        result = CURLE_WRITE_ERROR; // flushing, closing or renaming failed
    logLine(fmt::format("\"{}\" => \"{}\" download error: {}", url, platform::pathToUtf8(target),
                        curl_easy_strerror(result)));
    return false;
}

bool downloadToMemory(CURL* handle, const std::string& url, std::string& body, std::size_t maxBytes)
{
    if (!handle)
        return false;
    body.clear();
    MemoryTarget target{&body, maxBytes};
    const CURLcode result = perform(handle, url, writeToMemory, &target);
    if (result == CURLE_OK)
        return true;
    logLine(fmt::format("\"{}\" download error: {}", url, curl_easy_strerror(result)));
    return false;
}

} // namespace rtd
