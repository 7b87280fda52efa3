#pragma once
// What every UDP reader of the traffic service link shares: its socket and its stop flag.

#include "platform/sockets.hpp"

#include <atomic>
#include <cstdint>

namespace rtd {

inline constexpr std::uint16_t weatherReaderPort = 49004;
inline constexpr std::uint16_t trafficReaderPort = 49005;

struct UdpReader {
    std::atomic<bool> stop{false};
    std::atomic<platform::Socket> socket{platform::invalidSocket};
};

} // namespace rtd
