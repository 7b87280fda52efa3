#include "app/life_services.hpp"

#include "airports/airport_database.hpp"
#include "airports/park_airports.hpp"
#include "app/run_phase.hpp"
#include "app/startup.hpp"
#include "core/time.hpp"
#include "core/updater.hpp"
#include "liveries/scramble.hpp"
#include "traffic/sim_client.hpp"
#include "traffic/traffic_thread.hpp"

namespace rtd::app {

void LifeServices::startUp(std::stop_token)
{
    lf_startUpRMTD();
}

void LifeServices::startFinalExit(ExitReason reason, int delaySeconds)
{
    rtd::startFinalExit(reason, delaySeconds);
}

std::string LifeServices::checkNewVersions()
{
    return rtd::checkNewVersions();
}

bool LifeServices::parkAirportActive()
{
    return rtd::parkAirportActive;
}

bool LifeServices::parkingBusy()
{
    return rtd::parkingBusy;
}

std::int64_t LifeServices::tickCounter()
{
    return rtd::tickCounter;
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
    return userAircraftState().position;
}

std::int32_t LifeServices::tbloAirportCount()
{
    return rtd::tbloAirportCount;
}

void installLifeCycle()
{
    setExitProcedure(&FinalExit);
    setStampScrambler(&encryptRegcode);
}

} // namespace rtd::app
