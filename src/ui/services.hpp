#pragma once
// What the window needs from the run phase, the traffic thread and the airport code. The
// defaults stand in until those subsystems provide their own: the start-up does nothing, an
// exit ends the message loop at once, and there is no simulator, traffic or park airport.

#include "core/exit.hpp"
#include "core/geo.hpp"

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>

namespace rtd::ui {

struct ParkAirportView {
    std::string code; // empty: no park airport
    std::string displayName;
    std::string reservedStandName;
};

class WindowServices {
public:
    virtual ~WindowServices() = default;

    // Run phase. startUp runs on its own thread; startFinalExit is called on the window's
    // thread and ignores further calls while an exit runs. The stand-in posts the window's
    // final message for a user's close and the start-up message for a restart.
    virtual void startUp(std::stop_token) {}
    virtual void startFinalExit(ExitReason reason, int delaySeconds);
    // Runs on a thread of its own; non-empty: what is new. Ends soon once asked to stop.
    virtual std::string checkNewVersions(std::stop_token) { return {}; }

    // Traffic and airports, read by the window's thread.
    virtual bool parkAirportActive() { return false; }
    virtual bool parkingBusy() { return false; }
    virtual std::int64_t cycleTick() { return 0; }
    virtual bool userOnGround() { return true; }
    virtual double userAltitudeFt() { return 0; }
    virtual LatLon userPosition() { return {}; }
    virtual std::optional<LatLon> nearestParkAirport() { return std::nullopt; }
    virtual std::int32_t tbloAirportCount() { return 0; }
    virtual ParkAirportView parkAirport() { return {}; }

    // Nav lights of every static parked aircraft and every live one parked at a stand.
    virtual void setParkedNavLights(bool) {}
    // Removes live aircraft while there are more than MAX_LIVE.
    virtual void applyMaxLive() {}

private:
    bool exiting_ = false;
};

} // namespace rtd::ui
