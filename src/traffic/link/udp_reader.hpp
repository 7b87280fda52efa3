#pragma once
// The UDP readers of the traffic service link. Each reader owns one socket and one fixed
// receive buffer; its thread opens and binds the socket, then receives until it is told to
// stop. A datagram ends in handleDatagram, which counts it, drops one too long for the
// buffer, filters a repeat of the previous datagram (when the service runs on another PC and
// may send each datagram on more than one route) and passes the rest to onData.
//
// Stopping: requestStop sets the stop flag and wakes a blocked receive; the receive waits
// also look at the flag every 200 ms. Only the reader's own thread closes its socket, so a
// port is free again as soon as that thread has ended.

#include "platform/sockets.hpp"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace rtd {

inline constexpr std::uint16_t weatherReaderPort = 49004;
inline constexpr std::uint16_t trafficReaderPort = 49005;

// The traffic service runs on this PC: its datagrams come over loopback only, the program is
// its position source, and repeats are not filtered. Set by the start-up's detection.
extern std::atomic<bool> realTrafficOnThisPc;

class UdpReader {
public:
    static constexpr std::size_t receiveBufferSize = 16384;
    static constexpr int stopCheckMs = 200;

    // `light` is the reader's light in the window (1 receiving, 2 silent, 3 stopped).
    UdpReader(std::string_view name, std::atomic<std::int32_t>& light);
    virtual ~UdpReader();
    UdpReader(const UdpReader&) = delete;
    UdpReader& operator=(const UdpReader&) = delete;

    // Starts the socket layer and creates the socket. SysErrorException 30 or 31.
    void open();
    // Binds to `port`: on 127.0.0.1 when the service runs on this PC, else on every address.
    // SysErrorException 32.
    void bind(std::uint16_t port);
    // Receives until stopped, then closes the socket and calls onStopped.
    void receiveLoop();
    // Closes the socket when it is open and gives the socket layer back; the reader's thread.
    void closeAndCleanUp();

    // The datagram of `received` bytes (its true length) now in the receive buffer.
    void takeReceived(std::size_t received);
    // Copies the bytes into the receive buffer and hands them over as a receive would.
    void handleDatagram(std::string_view bytes);
    char* receiveBuffer() { return buffer_.data(); }

    // Any thread: ends the receive loop soon (within stopCheckMs at the latest).
    void requestStop();

    // The port the socket is bound to; 0 while closed.
    std::uint16_t boundPort();

    const std::string& name() const { return name_; }
    std::atomic<std::int32_t>& light() { return light_; }

    std::atomic<bool> stop{false};
    std::atomic<std::uint32_t> datagramCount{0}; // datagrams accepted by length
    std::atomic<std::uint32_t> lastSeenCount{0}; // the count at the previous status tick
    std::atomic<bool> lightLatch{true};          // set while the light shows 1

protected:
    virtual void onData() = 0;
    virtual void onStopped() = 0;

    std::string_view datagram_; // the current datagram, a view into the receive buffer

private:
    std::string name_;
    std::atomic<std::int32_t>& light_;
    std::array<char, receiveBufferSize + 1> buffer_{};
    std::string lastDatagram_;
    bool socketsStarted_ = false;
    std::mutex socketMutex_; // the socket's value; it is closed only by the reader's thread
    platform::Socket socket_ = platform::invalidSocket;
};

} // namespace rtd
