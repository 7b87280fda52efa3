#pragma once
// The weather reader: one JSON object per UDP datagram, of which only "QNH" is read. A QNH
// above 1080 is taken as inches of mercury x 100; a value outside 930..1080 hPa is logged as
// strange and not used. An accepted QNH goes to the traffic reader's currentQnh, to
// altitudeQnh (the traffic thread's copy for altitude corrections) and to the window.

#include "traffic/link/udp_reader.hpp"

#include <atomic>
#include <cstdint>

namespace rtd {

inline constexpr std::int32_t standardQnh = 1013;

extern std::atomic<std::int32_t> altitudeQnh;

class WeatherReader : public UdpReader {
public:
    WeatherReader();

    // One datagram; never throws (a bad datagram is logged and leaves the QNH unchanged).
    void onData() override;
    void onStopped() override;

    std::atomic<std::int32_t> lastAcceptedQnh{standardQnh};

private:
    void acceptQnh(double value);
};

} // namespace rtd
