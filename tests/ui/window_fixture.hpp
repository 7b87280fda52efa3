#pragma once
// A headless main window in a fresh settings file and log, with traffic and airport figures
// a test sets, driven as a user would: clicks, typing and Enter, then one pump.

#include "core/display.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "core/requests.hpp"
#include "core/settings_file.hpp"
#include "support/temp_folder.hpp"
#include "ui/controls.hpp"
#include "ui/headless/headless_window.hpp"
#include "ui/main_window.hpp"
#include "ui/window_position.hpp"

#include <gtest/gtest.h>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <pugixml.hpp>
#include <string>
#include <vector>

namespace rtd::test {

struct FakeServices : ui::WindowServices {
    void startFinalExit(ExitReason reason, int delay) override
    {
        exits.push_back(std::string(exitReasonName(reason)) + "/" + std::to_string(delay));
        ui::WindowServices::startFinalExit(reason, delay);
    }
    bool parkAirportActive() override { return parkActive; }
    bool parkingBusy() override { return busy; }
    std::int64_t cycleTick() override { return ticks; }
    bool userOnGround() override { return onGround; }
    double userAltitudeFt() override { return altitudeFt; }
    LatLon userPosition() override { return user; }
    std::optional<LatLon> nearestParkAirport() override { return nearest; }
    std::int32_t tbloAirportCount() override { return tblo; }
    ui::ParkAirportView parkAirport() override { return airport; }
    void setParkedNavLights(bool on) override { navLights.push_back(on); }
    // Holds the check until versionAnswered is set (or the window stops it).
    std::string checkNewVersions(std::stop_token stop) override
    {
        std::unique_lock lock(versionMutex);
        versionGate.wait(lock, stop, [this] { return versionAnswered; });
        return versionNews;
    }
    void answerVersionCheck(std::string news)
    {
        std::lock_guard lock(versionMutex);
        versionNews = std::move(news);
        versionAnswered = true;
        versionGate.notify_all();
    }

    std::vector<std::string> exits;
    bool parkActive = false;
    bool busy = false;
    std::int64_t ticks = 0;
    bool onGround = true;
    double altitudeFt = 0;
    LatLon user;
    std::optional<LatLon> nearest;
    std::int32_t tblo = 0;
    ui::ParkAirportView airport;
    std::vector<bool> navLights;
    std::mutex versionMutex;
    std::condition_variable_any versionGate;
    bool versionAnswered = true;
    std::string versionNews;
};

// Every setting a control edits, the window position and the shared display state back to
// their start values.
inline void resetWindowState()
{
    for (const ui::ControlSpec& entry : ui::controlTable()) {
        auto* setting = const_cast<Parameter*>(entry.setting);
        if (auto* b = dynamic_cast<BoolParameter*>(setting))
            b->set(b->defaultValue());
        else if (auto* i = dynamic_cast<IntParameter*>(setting))
            i->set(i->defaultValue());
        else if (auto* f = dynamic_cast<FloatParameter*>(setting))
            f->set(f->defaultValue());
        else if (auto* s = dynamic_cast<StringParameter*>(setting))
            s->set(s->defaultValue());
    }
    for (IntParameter* i : {static_cast<IntParameter*>(&MAX_FIT), &MAIN_WINDOW_X, &MAIN_WINDOW_Y})
        i->set(i->defaultValue());
    setLateralRange(LATERAL_RANGE.defaultValue());
    resetDisplayForRestart();
    MainWindowGlobals& g = mainWindowGlobals;
    g.liveryCount = -1;
    g.simaddonFigure = 0;
    g.thirdpartyFigure = 0;
    g.renewalMinutes = 0;
    g.reservedStandFound = false;
    g.editTexts([](DisplayTexts& t) { t = DisplayTexts{}; });
    for (std::atomic<bool>* flag : {&flushStaticRequest, &reReadRequested, &blockCallsignRequest, &followCallsignRequest,
                                    &matchingChangedRequest, &staticRecalcRequest, &parkParamsChanged})
        flag->store(false);
}

class WindowTest : public ::testing::Test {
protected:
    WindowTest()
    {
        setParametersFile(folder / "parameters.xml");
        openLogFile(folder / "Log.txt");
        resetWindowState();
    }

    ~WindowTest() override
    {
        closeLogFile();
        setParametersFile({});
    }

    void SetUp() override { open(); }

    void open()
    {
        host.create(window);
        pump();
    }

    void pump() { ASSERT_TRUE(host.pumpPending()); }

    // Pumps until the status line shows the text, at most 10 s.
    bool pumpUntilStatus(const std::string& text)
    {
        for (int i = 0; i < 1000 && status() != text; ++i) {
            host.pumpPending();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return status() == text;
    }

    // Enables the edit (the start-up worker does that), types the text and presses Enter.
    void enter(const GuiControl& edit, const std::wstring& text)
    {
        host.enable(edit.controlId(), true);
        host.setControlText(edit.controlId(), L"");
        host.type(edit.controlId(), text + L"\r");
        pump();
    }

    void click(const GuiControl& control)
    {
        host.click(control.controlId());
        pump();
    }

    std::string status() const { return mainWindowGlobals.statusLine().statusText; }
    std::string box(const GuiControl& edit) const { return host.controlTextUtf8(edit.controlId()); }
    const ui::RecordingCanvas& painted() const { return host.lastPaint(); }

    std::string log()
    {
        flushLog();
        return readText(folder / "Log.txt");
    }

    // The value parameters.xml holds for the key; "(none)" without one.
    std::string stored(const std::string& key)
    {
        pugi::xml_document document;
        document.load_file((folder / "parameters.xml").c_str());
        const pugi::xml_node node = document.select_node(parameterXPath(key).c_str()).node();
        return node ? node.attribute("value").value() : "(none)";
    }

    TempFolder folder;
    FakeServices services;
    std::vector<std::string> echoed; // the status line's echo
    ui::HeadlessWindow host{400, 20, [this](const std::string& text) { echoed.push_back(text); }};
    ui::MainWindow window{host, services};
};

} // namespace rtd::test
