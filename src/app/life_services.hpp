#pragma once
// What the window asks of the program's run, answered by the start-up worker, the exit
// procedure, the updater and the traffic and airport code.

#include "ui/services.hpp"

namespace rtd::app {

class LifeServices : public ui::WindowServices {
public:
    void startUp(std::stop_token) override;
    void startFinalExit(ExitReason reason, int delaySeconds) override;
    std::string checkNewVersions(std::stop_token stop) override;

    bool parkAirportActive() override;
    bool parkingBusy() override;
    std::int64_t cycleTick() override;
    bool userOnGround() override;
    double userAltitudeFt() override;
    LatLon userPosition() override;
    std::int32_t tbloAirportCount() override;
    std::optional<LatLon> nearestParkAirport() override;
    ui::ParkAirportView parkAirport() override;
    void setParkedNavLights(bool on) override;
    void applyMaxLive() override;
};

// Installs what the run needs before the window starts it: the exit procedure, the
// scrambling of the daily stamp and the traffic records' clock.
void installLifeCycle();

} // namespace rtd::app
