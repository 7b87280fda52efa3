#include "ui/services.hpp"

#include "core/display.hpp"

namespace rtd::ui {

void WindowServices::startFinalExit(ExitReason reason, int)
{
    if (exiting_)
        return;
    if (reason == ExitReason::userClosedSim) {
        exiting_ = true;
        windowDisplay().postMessage(finalExitMessage);
    } else {
        windowDisplay().postMessage(startUpMessage);
    }
}

} // namespace rtd::ui
