#pragma once
// The main window's behaviour, the same on every platform: its messages, its painting, the
// actions of its controls and the display calls other threads make. A front (Win32 or
// headless) owns the real window as a WindowHost, creates one MainWindow on the window's
// thread and forwards its messages here.

#include "core/display.hpp"
#include "ui/canvas.hpp"
#include "ui/services.hpp"
#include "ui/window_host.hpp"

#include <chrono>
#include <cstdint>
#include <deque>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace rtd::ui {

// Message values, as Windows numbers them.
namespace message {
inline constexpr std::uint32_t create = 1;
inline constexpr std::uint32_t destroy = 2;
inline constexpr std::uint32_t paint = 15;
inline constexpr std::uint32_t close = 16;
inline constexpr std::uint32_t character = 258;
inline constexpr std::uint32_t command = 273;
inline constexpr std::uint32_t startUp = startUpMessage;
inline constexpr std::uint32_t finalExit = finalExitMessage;
inline constexpr std::uint32_t runTasks = 0x8003; // WM_APP+3: display calls from other threads
} // namespace message

inline constexpr wchar_t enterKey = 13;

class MainWindow : public WindowDisplay {
public:
    // On the window's thread, before the platform's window is created. Installs itself as
    // the window display.
    MainWindow(WindowHost& host, WindowServices& services);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Window thread. True when the message was handled (its result is 0); false when the
    // platform's default handling applies.
    bool handleMessage(std::uint32_t message, std::uintptr_t wParam);
    // Enter in the edit box with this id.
    void onEditEnter(std::uint16_t id);
    void paint(Canvas& canvas);

    // WindowDisplay: any thread.
    void showCheck(const GuiBoolParameter& setting) override;
    void showIntInEdit(const GuiIntParameter& setting) override;
    void showTextInEdit(const GuiStringParameter& setting) override;
    void setStatus(const std::string& text) override; // not copied to the log
    void invalidate(const Rect& rect) override;
    void postMessage(std::uint32_t message) override;
    void showFloatInEdit(const GuiFloatParameter& setting) override;
    void showEditText(std::uint16_t id) override;
    void setCheckState(GuiBoolParameter& setting, bool value) override;
    void enableControl(std::uint16_t id, bool enabled) override;
    void setTopMost(bool topMost) override;
    void statusLineChanged(const std::string& text) override;

    // Control actions, window thread. onCommand is false when the id was one of its
    // controls; the edit procedures are true when the value changed.
    bool onCommand(std::uintptr_t wParam);
    bool procesTbInt(GuiIntParameter& setting);
    bool procesTbFloat(GuiFloatParameter& setting);
    void announceDelayedEffect();
    void blockCallsign();
    void unblockCallsign();
    void applyCallsignToObjectId();
    void applyCommunityPathEdit();
    void lf_newSimPath(const std::string& path);

    // Any thread.
    void showRange() override;
    std::int32_t savedLateralRange() override;
    void setSavedLateralRange(std::int32_t nm) override;

private:
    // A thread of the window's own: asked to stop and waited for (at most the bound, then let
    // go) when the window goes.
    struct Worker {
        std::jthread thread;
        std::shared_ptr<std::atomic<bool>> ended;
    };
    static void startWorker(Worker& worker, std::function<void(std::stop_token)> body);
    static void releaseWorker(Worker& worker, std::string_view name,
                              std::chrono::milliseconds bound = std::chrono::seconds(10));

    void createControls();
    void startStartUpThread();
    void startVersionCheck();
    void showVersionNews(const std::string& news);
    void finishRun();
    void runOnWindowThread(std::function<void()> task);
    void runPendingTasks();
    void showText(std::uint16_t id, const std::string& text);
    std::optional<std::string> editText(std::uint16_t id);

    void onCheckBox(GuiBoolParameter& setting);
    void afterCheckBox(const GuiBoolParameter& setting, bool on);
    void switchAutoRange(bool on);
    void onButton(std::uint16_t id);
    void onIntEnter(GuiIntParameter& setting);

    void paintHeader(Canvas& canvas);
    void paintScanStatus(Canvas& canvas);
    void paintControlLabels(Canvas& canvas);
    void paintCounters(Canvas& canvas);
    void paintStatus(Canvas& canvas);

    WindowHost& host_;
    WindowServices& services_;
    const std::thread::id windowThread_;
    std::mutex tasksMutex_;
    std::deque<std::function<void()>> tasks_;
    std::int32_t savedLateralRange_ = 0; // 0: not taken yet
    Worker startupThread_;
    Worker versionCheck_; // "Check version": the fetches must not hold up the window
};

// Draws UTF-8 text; text that cannot be converted is logged and not drawn.
void textOut(Canvas& canvas, int x, int y, const std::string& text, Colour colour);

} // namespace rtd::ui
