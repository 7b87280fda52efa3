#pragma once
// The main window's stored position (MAIN_WINDOW_X, MAIN_WINDOW_Y in parameters.xml).
// A coordinate on a bound of its range marks a window that was off the screen when it was
// last saved (a minimised window lies far outside it), so it is never used or kept.

#include "core/display.hpp"

#include <cstdint>

namespace rtd::ui {

// Reads the position from parameters.xml; a coordinate on a bound is reset to its default
// and saved. Without a readable file both keep their current values.
void loadWindowPosition();

// Saves the window's rectangle as its position; a coordinate that lands on a bound gets
// its previous value back.
void saveWindowPosition(const Rect& window);

// Gives a coordinate that now sits on a bound of its range its previous value back and saves it.
void storeWindowPosition(std::int32_t previousX, std::int32_t previousY);

// LATERAL_RANGE as stored in parameters.xml; its default when the file holds none.
std::int32_t storedLateralRange();

} // namespace rtd::ui
