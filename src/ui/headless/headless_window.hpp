#pragma once
// The window without a screen: a message queue pumped on the window's thread into the same
// MainWindow, controls held as values, painting recorded. The Linux program runs on it, and
// tests drive it the way a user's clicks and keys would.

#include "ui/canvas.hpp"
#include "ui/controls.hpp"
#include "ui/main_window.hpp"
#include "ui/window_host.hpp"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rtd::ui {

struct Drawing {
    enum class Kind { fill, line, text };
    Kind kind;
    Rect rect; // a line's (x1, y1, x2, y2); a text's top left corner in left and top
    Colour colour;
    std::string text; // UTF-8
};

class RecordingCanvas : public Canvas {
public:
    void fillRect(const Rect& rect, Colour colour) override;
    void line(int x1, int y1, int x2, int y2, Colour colour) override;
    void text(int x, int y, const std::wstring& text, Colour colour) override;

    const std::vector<Drawing>& drawings() const { return drawings_; }
    // The last text drawn with exactly this content, or the last one at (x, y).
    const Drawing* findText(std::string_view text) const;
    const Drawing* textAt(int x, int y) const;
    // The colour of the last fill of exactly this rectangle.
    std::optional<Colour> fillOf(const Rect& rect) const;

private:
    std::vector<Drawing> drawings_;
};

struct HeadlessControl {
    ControlKind kind;
    Rect rect;
    std::wstring text;
    bool checked = false;
    bool enabled = true;
};

class HeadlessWindow : public WindowHost {
public:
    // Takes each text the status line comes to show, on the window's thread.
    using StatusEcho = std::function<void(const std::string&)>;

    // The window's rectangle on the (imagined) screen is 880 x 488 at (x, y). With `echo`,
    // every text the status line comes to show is echoed once, in the order shown, at the
    // next pump, whether or not a repaint ever showed it; an empty line is not echoed.
    HeadlessWindow(int x, int y, StatusEcho echo = {});

    // Delivers WM_CREATE to the window; the window then paints at the next pump.
    void create(MainWindow& window);

    // Any thread.
    void post(std::uint32_t message) override;
    void invalidate(const Rect& rect) override;
    void statusLineChanged(const std::string& text) override;
    // What a user does: a click on a control and typing into one (ignored while it is
    // disabled), Enter included as "\r".
    void click(std::uint16_t id);
    void type(std::uint16_t id, std::wstring_view keys);

    // Window thread. Handles every queued message, then paints when something was
    // invalidated. False once the window has quit.
    bool pumpPending();
    // Pumps until the window quits, echoes what the status line showed meanwhile; returns the
    // window's exit code.
    int run();

    const RecordingCanvas& lastPaint() const { return canvas_; }
    const HeadlessControl& control(std::uint16_t id) const { return controls_.at(id); }
    std::string controlTextUtf8(std::uint16_t id) const;
    bool topMost() const { return topMost_; }

    // WindowHost, window thread.
    void createControl(const ControlSpec& entry) override;
    std::wstring controlText(std::uint16_t id) override;
    void setControlText(std::uint16_t id, const std::wstring& text) override;
    bool isChecked(std::uint16_t id) override;
    void setChecked(std::uint16_t id, bool checked) override;
    bool isEnabled(std::uint16_t id) override;
    void enable(std::uint16_t id, bool enabled) override;
    void setTopMost(bool topMost) override;
    Rect windowRect() override;
    void quit(int exitCode) override;

private:
    struct Message {
        std::uint32_t message;
        std::uintptr_t wParam;
        std::uint16_t target; // 0: the main window, else the control that has the focus
    };

    void enqueue(Message message);
    void dispatch(const Message& message);
    void repaint();
    void echoStatus();
    HeadlessControl* find(std::uint16_t id);

    const Rect rect_;
    const StatusEcho echo_;
    MainWindow* window_ = nullptr;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Message> queue_;
    bool invalid_ = false;
    std::optional<int> exitCode_;
    std::map<std::uint16_t, HeadlessControl> controls_;
    RecordingCanvas canvas_;
    std::string statusLine_;               // under mutex_: what the status line shows
    std::vector<std::string> statusToEcho_; // under mutex_
    bool topMost_ = false;
};

} // namespace rtd::ui
