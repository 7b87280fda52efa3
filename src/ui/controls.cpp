#include "ui/controls.hpp"

#include <array>

namespace rtd::ui {

namespace {

template <typename Setting>
constexpr ControlSpec edit(const Setting& setting, int x, int width, std::string_view label, int labelX)
{
    return {ControlKind::edit, &setting, &setting, x, width, label, labelX};
}

constexpr ControlSpec check(const GuiBoolParameter& setting, int x, std::string_view label, int labelX)
{
    return {ControlKind::checkBox, &setting, &setting, x, 0, label, labelX};
}

constexpr ControlSpec button(const GuiButton& button, int x, int width)
{
    return {ControlKind::button, &button, &button, x, width, {}, 0};
}

const std::array<ControlSpec, 37> table{{
    edit(MSFS_INSTALL_PATH, 126, 1200, "Community folder:", 5),
    check(SCAN_LIVERIES, 5, "Scan for liveries:", 25),
    check(LIG_AUTOMATIC, 217, "Automatic", 237),
    check(LIG_PRIORITIZE, 323, "Prioritize", 343),
    check(SUPPRESS_STUB, 430, "STUB", 450),
    check(LOG, 652, "Log", 672),
    check(ALWAYS_ON_TOP, 748, "Stay on top", 768),
    check(SCAN_AIRPORTS, 5, "Scan for addon airports:", 25),
    check(AFG_AUTOMATIC, 217, "Automatic", 237),
    check(NAV_LIGHTS_WHILE_PARKED, 652, "Nav lights", 672),
    check(LEARN_SOFT, 748, "Learn Soft", 768),
    edit(MATCHING_DEPTH, 217, 24, "Max aircraft matching depth:", 5),
    check(LIGHT_AIRCRAFT, 323, "Light aircraft", 343),
    check(HELICOPTERS, 430, "Helicopters", 450),
    check(HIGH_PERF_AIRCRAFT, 536, "FighterJets", 556),
    check(AEROWINX, 652, "Aerowinx", 672),
    check(GUID_CHANGES, 748, "GUID changes", 768),
    edit(LATERAL_RANGE, 217, 34, "Traffic injection range (nm):", 5),
    check(AUTO_RANGE, 323, "auto range", 343),
    edit(MAX_LIVE, 576, 34, "Max live:", 500),
    button(checkVersionButton, 692, 120),
    check(COLLISION_USER_GND, 217, "User ground", 237),
    check(COLLISION_USER_AIR, 323, "User air", 343),
    check(COLLISION_LIVE_PARKED_GND, 430, "Live X parked", 450),
    edit(BLOCK_CALLSIGN, 217, 100, "block:", 172),
    button(unblockButton, 323, 70),
    edit(CALLSIGN_2_OBJECTID, 455, 100, "oid:", 430),
    edit(AIRPORT_RANGE, 343, 34, "within range (nm):", 217),
    edit(AIRPORT_HEIGHT, 586, 50, "< height above gnd (ft):", 430),
    check(PARK_FAKE, 5, "Fake", 25),
    check(WEEK, 71, "Week", 91),
    check(PARK_SOFT, 151, "Soft", 171),
    edit(parking_percentage, 217, 34, "%", 262),
    check(INITIAL_LOAD_ONLY, 323, "ILO", 343),
    edit(MAX_FIT_FL, 460, 24, "Max fit:", 400),
    button(flushStaticButton, 642, 90),
    button(reReadButton, 758, 90),
}};

} // namespace

std::span<const ControlSpec> controlTable()
{
    return table;
}

Rect controlRect(const ControlSpec& entry)
{
    switch (entry.kind) {
    case ControlKind::checkBox:
        return {entry.x, entry.rowY() + 2, entry.x + 12, entry.rowY() + 14};
    case ControlKind::edit:
        return {entry.x, entry.rowY(), entry.x + entry.width, entry.rowY() + 16};
    case ControlKind::button:
        break;
    }
    return {entry.x, entry.rowY(), entry.x + entry.width, entry.rowY() + 20};
}

} // namespace rtd::ui
