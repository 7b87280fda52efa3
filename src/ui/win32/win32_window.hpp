#pragma once
// The real main window on Windows: registers the class, creates the window at its stored
// position with its child controls, and forwards every message to the MainWindow.

#include "ui/services.hpp"

#include <string>
#include <windows.h>

namespace rtd::ui::win32 {

// Creates and shows the window (its class name is also its title), posts it the start-up
// message and runs the message loop until the window's final message; returns the loop's
// exit code. Logs "initInstance failed" and returns 0 when the window cannot be created.
int runMainWindow(HINSTANCE instance, const std::wstring& className, HICON icon, WindowServices& services);

} // namespace rtd::ui::win32
