// rt_peer: plays the traffic service against a running program. See README.md.

#include "rt_peer/peer.hpp"

#include <fmt/format.h>
#include <iostream>

int main(int argc, char** argv)
{
    try {
        return rtd::peer::runPeer(rtd::peer::parseCommandLine(argc, argv), std::cerr);
    } catch (const rtd::peer::ScenarioError& e) {
        fmt::print(stderr, "rt_peer: {}\n", e.what());
        return 2;
    }
}
