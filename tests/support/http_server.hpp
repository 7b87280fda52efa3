#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for tests that download over real sockets. It
// serves the files of a folder (GET only, one request per connection) and can be told to
// answer a path with an error status, a redirect, or not at all.

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <stop_token>
#include <thread>
#include <vector>

#include "platform/sockets.hpp"

namespace rtd::test {

class HttpServer {
public:
    // Serves the files below `root`; a missing file is answered 404.
    explicit HttpServer(std::filesystem::path root);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // "http://127.0.0.1:{port}/"
    std::string baseUrl() const;

    // How the server answers a request path such as "/downloads/a.txt".
    void answerWithStatus(const std::string& path, int status);
    void redirect(const std::string& path, const std::string& location);
    void neverAnswer(const std::string& path);

    // The paths requested so far, in order.
    std::vector<std::string> requests() const;

private:
    struct Rule {
        int status = 0;
        std::string location;
        bool silent = false;
    };

    void run(std::stop_token stop);
    void serve(platform::Socket connection);
    std::string responseFor(const std::string& path);

    std::filesystem::path root_;
    std::uint16_t port_ = 0;
    platform::Socket listener_ = platform::invalidSocket;
    mutable std::mutex mutex_;
    std::map<std::string, Rule> rules_;
    std::vector<std::string> requests_;
    std::vector<platform::Socket> held_; // connections of neverAnswer paths, closed at the end
    std::jthread thread_;
};

} // namespace rtd::test
