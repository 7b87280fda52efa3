#include "core/display.hpp"

#include "core/log.hpp"

#include <fmt/format.h>
#include <algorithm>

namespace rtd {

namespace {

WindowDisplay noWindow;
std::atomic<WindowDisplay*> installedWindow{&noWindow};

} // namespace

MainWindowGlobals mainWindowGlobals;

void setWindowDisplay(WindowDisplay* display)
{
    {
        std::lock_guard lock(mainWindowGlobals.statusMutex_);
        installedWindow.store(display ? display : &noWindow);
        mainWindowGlobals.statusLineChangedLocked();
    }
    setSettingsDisplay(display);
}

WindowDisplay& windowDisplay()
{
    return *installedWindow.load();
}

MainWindowGlobals::MainWindowGlobals()
{
    constructed.store(true);
}

void MainWindowGlobals::statusLineChangedLocked() const
{
    windowDisplay().statusLineChanged(errorText_.empty() ? statusText_ : errorText_);
}

DisplayTexts MainWindowGlobals::texts() const
{
    std::lock_guard lock(displayMutex_);
    return texts_;
}

StatusLine MainWindowGlobals::statusLine() const
{
    std::lock_guard lock(statusMutex_);
    return {statusText_, errorText_, statusStamp_};
}

void setStatus(const std::string& text, bool copyToLog)
{
    MainWindowGlobals& g = mainWindowGlobals;
    {
        std::lock_guard lock(g.statusMutex_);
        if (!g.errorText_.empty())
            return;
        g.statusText_ = text;
        g.statusStamp_ = text.empty() ? 0 : std::max(1, g.cycleCounter.load());
        if (copyToLog && !text.empty())
            logLine(text);
        g.statusLineChangedLocked();
    }
    windowDisplay().invalidate(statusBand);
}

void clearStatus()
{
    setStatus({}, true);
}

void showError(std::string_view text)
{
    MainWindowGlobals& g = mainWindowGlobals;
    {
        std::lock_guard lock(g.statusMutex_);
        g.statusText_.clear();
        g.statusStamp_ = 0;
        g.errorText_ = text;
        logLine(fmt::format("Error {}", text));
        g.statusLineChangedLocked();
    }
    windowDisplay().invalidate(statusBand);
}

void clearErrorText()
{
    std::lock_guard lock(mainWindowGlobals.statusMutex_);
    mainWindowGlobals.errorText_.clear();
    mainWindowGlobals.statusLineChangedLocked();
}

void advanceStatusCycle()
{
    MainWindowGlobals& g = mainWindowGlobals;
    {
        // Decided and cleared under one hold: a text set meanwhile is never the one cleared.
        std::lock_guard lock(g.statusMutex_);
        const std::int32_t cycle = ++g.cycleCounter;
        if (g.statusStamp_ < 1 || cycle - g.statusStamp_ < 25 || !g.errorText_.empty())
            return;
        g.statusText_.clear();
        g.statusStamp_ = 0;
        g.statusLineChangedLocked();
    }
    windowDisplay().invalidate(statusBand);
}

void resetDisplayForRestart()
{
    MainWindowGlobals& g = mainWindowGlobals;
    {
        std::lock_guard lock(g.statusMutex_);
        g.statusText_.clear();
        g.errorText_.clear();
        g.statusStamp_ = 0;
        g.cycleCounter = 0;
        g.statusLineChangedLocked();
    }
    g.editTexts([](DisplayTexts& t) {
        const std::string oid = t.oidText;
        t = DisplayTexts{};
        t.oidText = oid;
    });
    g.rtLinkIdle = true;
    for (std::atomic<bool>* flag : {&g.rtConnected, &g.parkFiguresValid, &g.simConnected, &g.simRunningFlag,
                                    &g.handmadeFlag, &g.fitMarker})
        flag->store(false);
    g.userWingspanKnown = true;
    g.parkAirportsOk = true;
    for (std::atomic<std::int32_t>* figure : {&g.updatesFigure, &g.liveFigure, &g.maxParkFigure,
                                              &g.parkedLiveFigure, &g.parkedStaticFigure, &g.qnhFigure,
                                              &g.standsFigure})
        figure->store(0);
    g.staticAverageFit = -1.0f;
    g.liveAverageFit = -1.0f;
    g.trafficReaderState = 3;
    g.weatherReaderState = 3;
}

} // namespace rtd
