#pragma once
// The main window's controls in creation order: what each one is, where it sits, the
// setting it edits and the label painted left or right of it on its row.

#include "core/display.hpp"
#include "core/parameters.hpp"

#include <cstdint>
#include <span>
#include <string_view>

namespace rtd::ui {

enum class ControlKind { edit, checkBox, button };

struct ControlSpec {
    ControlKind kind;
    const GuiControl* control;
    const Parameter* setting; // the same object as `control`
    int x;
    int width;               // edits and buttons
    std::string_view label;  // empty: none
    int labelX;

    std::uint16_t id() const { return control->controlId(); }
    int rowY() const { return control->rowY(); }
};

std::span<const ControlSpec> controlTable();

// Check boxes: (x, row y + 2), 12 x 12. Edits: (x, row y), width x 16. Buttons: width x 20.
Rect controlRect(const ControlSpec& entry);

} // namespace rtd::ui
