#include "airports/traffic_port.hpp"

#include <atomic>

namespace rtd {

namespace {

TrafficPort idlePort;
std::atomic<TrafficPort*> installedPort{&idlePort};

} // namespace

void installTrafficPort(TrafficPort* port)
{
    installedPort = port != nullptr ? port : &idlePort;
}

TrafficPort& trafficPort()
{
    return *installedPort.load();
}

} // namespace rtd
