#include "app/life_services.hpp"

#include "airports/services.hpp"
#include "app/run_phase.hpp"
#include "app/startup.hpp"
#include "core/download.hpp"
#include "core/time.hpp"
#include "core/updater.hpp"
#include "liveries/scramble.hpp"
#include "traffic/engine/ai_state.hpp"
#include "traffic/engine/traffic_thread.hpp"
#include "traffic/link/service_link.hpp"
#include "traffic/simulator_link/sim_client.hpp"

namespace rtd::app {

void LifeServices::startUp(std::stop_token stop)
{
    const DownloadStopScope downloads(stop);
    lf_startUpRMTD();
}

void LifeServices::startFinalExit(ExitReason reason, int delaySeconds)
{
    rtd::startFinalExit(reason, delaySeconds);
}

std::string LifeServices::checkNewVersions(std::stop_token stop)
{
    const DownloadStopScope downloads(stop);
    return rtd::checkNewVersions();
}

bool LifeServices::parkAirportActive()
{
    return rtd::parkAirportActive;
}

void LifeServices::setParkedNavLights(bool)
{
    navLightsRequest = true; // the traffic thread applies the check box at its next second
}

bool LifeServices::parkingBusy()
{
    return rtd::parkingBusy;
}

std::int64_t LifeServices::cycleTick()
{
    return rtd::cycleTick;
}

std::optional<LatLon> LifeServices::nearestParkAirport()
{
    return nearestParkAirportPosition();
}

ui::ParkAirportView LifeServices::parkAirport()
{
    ParkAirportFigures figures = parkAirportFigures();
    return {std::move(figures.code), std::move(figures.displayName), std::move(figures.reservedStandName)};
}

void LifeServices::applyMaxLive()
{
    maxLiveRequest = true; // the traffic thread owns the live aircraft
}

bool LifeServices::userOnGround()
{
    return rtd::userOnGround;
}

double LifeServices::userAltitudeFt()
{
    return userAircraftState().altitudeFt;
}

LatLon LifeServices::userPosition()
{
    return userAircraftState().position();
}

std::int32_t LifeServices::tbloAirportCount()
{
    return rtd::tbloAirportCount;
}

namespace {

// At the professional level the program's clock follows the traffic records' time.
double feedClock()
{
    return professionalLevel ? trafficTimestamp.load() : 0.0;
}

} // namespace

void installLifeCycle()
{
    setExitProcedure(&FinalExit);
    setStampScrambler(&encryptRegcode);
    setFeedClock(&feedClock);
}

} // namespace rtd::app
