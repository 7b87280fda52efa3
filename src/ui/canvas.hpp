#pragma once
// The few drawing calls the window's painting needs. The Win32 front draws them with GDI,
// the headless front records them.

#include "core/display.hpp"

#include <cstdint>
#include <string>

namespace rtd::ui {

// 0x00BBGGRR, as a Windows COLORREF.
using Colour = std::uint32_t;

constexpr Colour rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b)
{
    return r | (g << 8) | (b << 16);
}

inline constexpr Colour black = rgb(0, 0, 0);
inline constexpr Colour white = rgb(255, 255, 255);
inline constexpr Colour green = rgb(50, 205, 50);
inline constexpr Colour yellow = rgb(255, 255, 0);
inline constexpr Colour red = rgb(255, 0, 0);
inline constexpr Colour grey = rgb(160, 160, 160);
inline constexpr Colour lightBlue = rgb(153, 204, 255);

class Canvas {
public:
    virtual ~Canvas() = default;
    virtual void fillRect(const Rect& rect, Colour colour) = 0;
    // A one-pixel line from (x1, y1) up to, not including, (x2, y2).
    virtual void line(int x1, int y1, int x2, int y2, Colour colour) = 0;
    // UTF-16 text with its top left corner at (x, y), on a transparent background.
    virtual void text(int x, int y, const std::wstring& text, Colour colour) = 0;
};

} // namespace rtd::ui
