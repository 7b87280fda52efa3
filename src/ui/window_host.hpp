#pragma once
// The operations of the platform's window that the window's behaviour uses: its child
// controls, found by their ids, and the window itself. The Win32 front does them with the
// real window, the headless front on values it holds.

#include "core/display.hpp"

#include <cstdint>
#include <string>

namespace rtd::ui {

struct ControlSpec;

class WindowHost {
public:
    virtual ~WindowHost() = default;

    // Window thread only.
    virtual void createControl(const ControlSpec& entry) = 0;
    virtual std::wstring controlText(std::uint16_t id) = 0;
    virtual void setControlText(std::uint16_t id, const std::wstring& text) = 0;
    virtual bool isChecked(std::uint16_t id) = 0;
    virtual void setChecked(std::uint16_t id, bool checked) = 0;
    virtual bool isEnabled(std::uint16_t id) = 0;
    virtual void enable(std::uint16_t id, bool enabled) = 0;
    virtual void setTopMost(bool topMost) = 0;
    virtual Rect windowRect() = 0;
    virtual void quit(int exitCode) = 0;

    // Any thread; never waits for the window's thread.
    virtual void post(std::uint32_t message) = 0;
    virtual void invalidate(const Rect& rect) = 0;
    // What the status line shows now, after each change (WindowDisplay::statusLineChanged):
    // a window that paints needs nothing more.
    virtual void statusLineChanged(const std::string&) {}
};

} // namespace rtd::ui
