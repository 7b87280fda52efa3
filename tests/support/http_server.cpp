#include "support/http_server.hpp"

#include <fmt/format.h>
#include <sstream>
#include <stdexcept>

#include "support/temp_folder.hpp"

namespace rtd::test {
namespace {

constexpr int pollMilliseconds = 20;
constexpr int requestWaitMilliseconds = 5000;

std::string reasonOf(int status)
{
    switch (status) {
    case 200: return "OK";
    case 302: return "Found";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

std::string response(int status, const std::string& body, const std::string& extraHeader = {})
{
    return fmt::format("HTTP/1.1 {} {}\r\nContent-Length: {}\r\nConnection: close\r\n{}\r\n{}", status,
                       reasonOf(status), body.size(), extraHeader, body);
}

// The request head up to its blank line; empty when the client sends nothing in time.
std::string readRequestHead(platform::Socket connection)
{
    std::string head;
    char buffer[1024];
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (!platform::waitReadable(connection, requestWaitMilliseconds))
            return {};
        const long received = platform::receiveBytes(connection, buffer, sizeof buffer);
        if (received <= 0)
            return {};
        head.append(buffer, static_cast<std::size_t>(received));
    }
    return head;
}

// "/path" from "GET /path HTTP/1.1"; empty for anything else.
std::string requestPath(const std::string& head)
{
    std::istringstream line(head.substr(0, head.find("\r\n")));
    std::string method, path;
    line >> method >> path;
    return method == "GET" ? path : std::string();
}

} // namespace

HttpServer::HttpServer(std::filesystem::path root) : root_(std::move(root))
{
    if (!platform::startSockets())
        throw std::runtime_error("sockets are not available");
    listener_ = platform::listenOnLoopback(port_);
    if (listener_ == platform::invalidSocket) {
        platform::stopSockets();
        throw std::runtime_error("the test server cannot listen on 127.0.0.1");
    }
    thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
}

HttpServer::~HttpServer()
{
    thread_.request_stop();
    thread_.join();
    for (const platform::Socket connection : held_)
        platform::closeSocket(connection);
    platform::closeSocket(listener_);
    platform::stopSockets();
}

std::string HttpServer::baseUrl() const
{
    return fmt::format("http://127.0.0.1:{}/", port_);
}

void HttpServer::answerWithStatus(const std::string& path, int status)
{
    std::lock_guard lock(mutex_);
    rules_[path] = Rule{status, {}, false};
}

void HttpServer::redirect(const std::string& path, const std::string& location)
{
    std::lock_guard lock(mutex_);
    rules_[path] = Rule{302, location, false};
}

void HttpServer::neverAnswer(const std::string& path)
{
    std::lock_guard lock(mutex_);
    rules_[path] = Rule{0, {}, true};
}

std::vector<std::string> HttpServer::requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

void HttpServer::run(std::stop_token stop)
{
    while (!stop.stop_requested()) {
        if (!platform::waitReadable(listener_, pollMilliseconds))
            continue;
        const platform::Socket connection = platform::acceptConnection(listener_);
        if (connection != platform::invalidSocket)
            serve(connection);
    }
}

void HttpServer::serve(platform::Socket connection)
{
    const std::string path = requestPath(readRequestHead(connection));
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(path);
        if (const auto rule = rules_.find(path); rule != rules_.end() && rule->second.silent) {
            held_.push_back(connection);
            return;
        }
    }
    platform::sendAll(connection, responseFor(path));
    platform::closeSocket(connection);
}

std::string HttpServer::responseFor(const std::string& path)
{
    {
        std::lock_guard lock(mutex_);
        if (const auto rule = rules_.find(path); rule != rules_.end()) {
            const std::string body = fmt::format("status {}\n", rule->second.status);
            const std::string header =
                rule->second.location.empty() ? std::string() : fmt::format("Location: {}\r\n", rule->second.location);
            return response(rule->second.status, body, header);
        }
    }
    const std::filesystem::path file = root_ / std::filesystem::path(path.empty() ? "" : path.substr(1));
    std::error_code error;
    if (path.empty() || path.find("..") != std::string::npos || !std::filesystem::is_regular_file(file, error))
        return response(404, "not found\n");
    return response(200, readFile(file));
}

} // namespace rtd::test
