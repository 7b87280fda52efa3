#pragma once

namespace rtd::app {

// The whole life of the process: one instance, the log, the data folder, then the
// platform's window and message loop. Returns the process exit code (-1 when another
// copy already runs).
int runProgram();

// The platform's part: creates the main window and runs its message loop until the
// window's final message; returns the loop's exit code.
int runApplication();

// The window's final message: logs the time and closes the log.
void finishRun();

} // namespace rtd::app
