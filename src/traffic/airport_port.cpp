#include "traffic/airport_port.hpp"

#include "traffic/service_link.hpp"

namespace rtd {

void ReaderTrafficPort::setParkAirport(std::string_view icao, LatLon position)
{
    trafficReader.setParkAirport(icao, position);
}

void ReaderTrafficPort::setParkElevation(std::optional<double> elevationFt)
{
    trafficReader.setParkElevation(elevationFt);
}

void installReaderTrafficPort()
{
    static ReaderTrafficPort port;
    installTrafficPort(&port);
}

} // namespace rtd
