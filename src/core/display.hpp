#pragma once
// What the main window shows, kept where every subsystem can reach it: the status and error
// line, the display texts and figures the window paints, the bands a writer invalidates, and
// the link through which other threads reach the window's controls. The window installs
// itself as the link (setWindowDisplay); until then every call reaches a display that does
// nothing.
//
// Any thread may call everything here. Texts are guarded by their own mutexes and handed out
// as copies; figures and flags are atomics.

#include "core/settings_file.hpp"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace rtd {

struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    friend bool operator==(const Rect&, const Rect&) = default;
};

// The bands of the main window's client area, invalidated by whoever changes what they show.
inline constexpr Rect titleStrip{0, 0, 880, 28};
inline constexpr Rect headerBand{0, 28, 880, 112};
inline constexpr Rect controlsBand{0, 112, 880, 364};
inline constexpr Rect countersBand{0, 364, 880, 420};
inline constexpr Rect statusBand{0, 420, 880, 448};

// Window messages that other threads post to the window.
inline constexpr std::uint32_t startUpMessage = 0x8001;   // WM_APP+1: run the start-up worker
inline constexpr std::uint32_t finalExitMessage = 0x8002; // WM_APP+2: save, close the log, end

// The window as seen from any thread. Calls never wait for the window's thread: a window
// that must change a control from another thread posts the change to its own thread.
class WindowDisplay : public SettingsDisplay {
public:
    virtual void invalidate(const Rect&) {}
    virtual void postMessage(std::uint32_t) {}
    virtual void showFloatInEdit(const GuiFloatParameter&) {}
    virtual void showEditText(std::uint16_t) {} // empties the edit box
    virtual void setCheckState(GuiBoolParameter& setting, bool value) { setting.set(value); }
    virtual void enableControl(std::uint16_t, bool) {}
    virtual void setTopMost(bool) {}
    virtual void showRange() {} // the range of the park-airport list on LATERAL_RANGE
    // The LATERAL_RANGE kept while AUTO_RANGE is on, for when it is switched off; 0: none.
    virtual std::int32_t savedLateralRange() { return 0; }
    virtual void setSavedLateralRange(std::int32_t) {}
    // The text the status line shows now (the error while one shows, else the status text,
    // empty for none): once when the display is installed and after every change of the
    // line, in the order of the changes. Called with the status line's lock held: it must
    // not wait, nor touch the status line.
    virtual void statusLineChanged(const std::string&) {}
};

// The display must outlive every later call; null restores the one that does nothing.
// Also installs it as the settings' display, and tells it what the status line shows.
void setWindowDisplay(WindowDisplay* display);
WindowDisplay& windowDisplay();

// The texts other subsystems set for the window to paint.
struct DisplayTexts {
    std::string userTitleText;
    std::string parkInfoText;
    std::string apfInfoText;
    std::string qfText;
    std::string simLineText;
    std::string editionText;
    std::string userStandText;
    std::string oidText;
};

struct StatusLine {
    std::string statusText;
    std::string errorText;
    std::int32_t statusStamp = 0;
};

class MainWindowGlobals {
public:
    MainWindowGlobals();
    virtual ~MainWindowGlobals() = default;
    MainWindowGlobals(const MainWindowGlobals&) = delete;
    MainWindowGlobals& operator=(const MainWindowGlobals&) = delete;

    // Changes the texts under the display mutex: editTexts([](DisplayTexts& t) { t.qfText = ...; }).
    template <typename Edit>
    void editTexts(Edit&& edit)
    {
        std::lock_guard lock(displayMutex_);
        edit(texts_);
    }
    DisplayTexts texts() const;

    StatusLine statusLine() const;

    std::atomic<float> staticAverageFit{-1.0f};
    std::atomic<float> liveAverageFit{-1.0f};
    std::atomic<std::int64_t> liveryCount{-1};
    std::atomic<std::int32_t> countersRowY{371};
    std::atomic<std::int32_t> cycleCounter{0};
    std::atomic<std::int32_t> updatesFigure{0};
    std::atomic<std::int32_t> liveFigure{0};
    std::atomic<std::int32_t> simaddonFigure{0};
    std::atomic<std::int32_t> thirdpartyFigure{0};
    std::atomic<std::int32_t> maxParkFigure{0};
    std::atomic<std::int32_t> parkedLiveFigure{0};
    std::atomic<std::int32_t> parkedStaticFigure{0};
    std::atomic<std::int32_t> qnhFigure{0};
    std::atomic<std::int32_t> standsFigure{0};
    std::atomic<std::int32_t> renewalMinutes{0};
    std::atomic<bool> handmadeFlag{false};
    std::atomic<bool> rtLinkIdle{true};
    std::atomic<bool> rtConnected{false};
    std::atomic<bool> parkFiguresValid{false};
    std::atomic<bool> simConnected{false};
    std::atomic<bool> simRunningFlag{false};
    std::atomic<bool> userWingspanKnown{true};
    std::atomic<bool> fitMarker{false};
    std::atomic<bool> reservedStandFound{false};
    std::atomic<bool> parkAirportsOk{true};
    std::atomic<std::int32_t> trafficReaderState{3}; // 1 data arriving, 2 none since the last check, 3 stopped
    std::atomic<std::int32_t> weatherReaderState{3};
    std::atomic<bool> constructed{false};

private:
    friend void setWindowDisplay(WindowDisplay* display);
    friend void setStatus(const std::string& text, bool copyToLog);
    friend void showError(std::string_view text);
    friend void clearErrorText();
    friend void advanceStatusCycle();
    friend void resetDisplayForRestart();

    // Under statusMutex_: what the line shows now, to the window display.
    void statusLineChangedLocked() const;

    mutable std::mutex statusMutex_; // taken before logMutex
    std::string statusText_;
    std::string errorText_; // non-empty freezes the status line
    std::int32_t statusStamp_ = 0;

    mutable std::mutex displayMutex_;
    DisplayTexts texts_;
};

extern MainWindowGlobals mainWindowGlobals;

// The status line. While an error shows, setStatus changes nothing. A non-empty text is
// stamped with the cycle it was set in and copied to the log when asked.
void setStatus(const std::string& text, bool copyToLog);
void clearStatus();
// Empties the status text, shows `text` as the error and logs "Error text".
void showError(std::string_view text);
// Empties the error text; callers then call clearStatus.
void clearErrorText();

// One per-second cycle of the traffic cycle: counts it, and clears a status text that has
// stood for 25 cycles.
void advanceStatusCycle();

// What a restart resets before its countdown.
void resetDisplayForRestart();

} // namespace rtd
