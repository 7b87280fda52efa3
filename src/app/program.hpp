#pragma once

namespace rtd::app {

// The whole life of the process: one instance, the log, the data folder, then the
// platform's window and message loop. Returns the process exit code (-1 when another
// copy already runs).
int runProgram();

// The platform's part: creates the main window at its stored position, posts it the
// start-up message and runs its message loop until the window's final message; returns
// the loop's exit code. Logs "initInstance failed" and returns 0 without a window.
int runApplication();

} // namespace rtd::app
