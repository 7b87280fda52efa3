#pragma once
// Downloads over HTTP(S) with libcurl's easy interface, one handle per transfer. Every
// transfer follows redirects, has a connect and a total time-out, and fails on an HTTP
// error status (400 and above). A transfer also ends, within about a second, once an exit
// begins or the stop token of its thread's DownloadStopScope is asked to stop.

#include <chrono>
#include <filesystem>
#include <memory>
#include <stop_token>
#include <string>

typedef void CURL;

namespace rtd {

// Releases a handle of openCurlHandle(); null is ignored.
void closeCurlHandle(CURL* handle);

using CurlHandle = std::unique_ptr<CURL, decltype(&closeCurlHandle)>;

// A new easy handle (null when libcurl cannot make one). The first call initialises libcurl
// for the process; it is safe from any thread.
CurlHandle openCurlHandle();

// While it lives, transfers on this thread also end when the token is asked to stop.
class DownloadStopScope {
public:
    explicit DownloadStopScope(std::stop_token stop);
    ~DownloadStopScope();
    DownloadStopScope(const DownloadStopScope&) = delete;
    DownloadStopScope& operator=(const DownloadStopScope&) = delete;

private:
    std::stop_token stop_;
    const std::stop_token* previous_;
};

struct DownloadTimeouts {
    std::chrono::milliseconds connect{20'000};
    std::chrono::milliseconds total{600'000};
};

// The time-outs of every later transfer (tests shorten them).
void setDownloadTimeouts(const DownloadTimeouts& timeouts);
DownloadTimeouts downloadTimeouts();

// Downloads `url` into `target`, in binary mode or in text mode (each line feed written as
// the platform's line end). The target is written whole or not at all: the transfer goes to a
// temporary file beside it, renamed over the target only when the transfer succeeded. A
// null handle gives false; a target that cannot be opened is logged
// ("could not open file: {}") and gives false; a failed transfer is logged
// ("\"{url}\" => \"{target}\" download error: {text}") and gives false.
bool downloadToFile(CURL* handle, const std::string& url, const std::filesystem::path& target, bool binary);

// Downloads `url` into `body`; at most maxBytes are accepted. A failed transfer is logged
// ("\"{url}\" download error: {text}") and gives false.
bool downloadToMemory(CURL* handle, const std::string& url, std::string& body, std::size_t maxBytes);

} // namespace rtd
