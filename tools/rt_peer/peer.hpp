#pragma once
// The traffic-service test peer: plays the traffic service against a running program. It
// connects to the program's position server (retrying for 60 s), answers each
// "Qs999=version" with its reply in one write, records and checks every line the program
// sends, and sends the scenario's traffic and weather datagrams on time.

#include "rt_peer/scenario.hpp"

#include <cstdint>
#include <iosfwd>
#include <string>

namespace rtd::peer {

struct PeerOptions {
    bool tcp = false; // without --tcp no position link is made
    std::string tcpHost = "127.0.0.1";
    std::uint16_t tcpPort = 10747;
    std::string reply = R"({"version":"9.0.1","level":2})";
    std::string udpHost = "127.0.0.1";
    std::uint16_t trafficPort = 49005;
    std::uint16_t weatherPort = 49004;
    std::string scenarioFile;
    double speedup = 1;
    double epoch = 0; // Unix seconds of scenario second 0
    std::string recordFile; // empty: no record
};

// Reads the command line (see README.md). Throws ScenarioError for a bad option.
PeerOptions parseCommandLine(int argc, char** argv);

// Plays the scenario; failures are written to `messages`. 0 when every line the program sent
// keeps the link's grammar and every expectation holds, 1 otherwise, 2 when the scenario or
// the record file cannot be read or written.
int runPeer(const PeerOptions& options, std::ostream& messages);

} // namespace rtd::peer
