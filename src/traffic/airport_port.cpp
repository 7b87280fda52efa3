#include "traffic/airport_port.hpp"

#include "traffic/live_arrival.hpp"
#include "traffic/service_link.hpp"
#include "traffic/sim_client.hpp"
#include "traffic/traffic_thread.hpp"

namespace rtd {

void ReaderTrafficPort::setParkAirport(std::string_view icao, LatLon position)
{
    trafficReader.setParkAirport(icao, position);
}

void ReaderTrafficPort::setParkElevation(std::optional<double> elevationFt)
{
    trafficReader.setParkElevation(elevationFt);
}

UserStateView ReaderTrafficPort::userState()
{
    const UserAircraftState state = userAircraftState();
    return {state.position(), state.altitudeFt, userOnGround, userOnGroundKnown};
}

void ReaderTrafficPort::lockParkingControls()
{
    rtd::parkingBusy = true;
}

void ReaderTrafficPort::unlockParkingControls()
{
    rtd::parkingBusy = false;
}

bool ReaderTrafficPort::parkingBusy()
{
    return rtd::parkingBusy;
}

void ReaderTrafficPort::countParkedAIInSim()
{
    rtd::countParkedAIInSim(true);
}

void installReaderTrafficPort()
{
    static ReaderTrafficPort port;
    installTrafficPort(&port);
}

} // namespace rtd
