#include "platform/sockets.hpp"

#include <array>
#include <chrono>

namespace rtd::platform {

void closeGracefully(Socket socket, int quietMs)
{
    endSending(socket);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    std::array<char, 512> unread{};
    while (std::chrono::steady_clock::now() < deadline && waitReadable(socket, quietMs) &&
           receiveBytes(socket, unread.data(), unread.size()) > 0) {
    }
    closeSocket(socket);
}

} // namespace rtd::platform
