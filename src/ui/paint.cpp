// The main window's painting: four bands from the top, each painted from the display texts
// and figures, the settings and the state of the controls.

#include "ui/main_window.hpp"

#include "core/log.hpp"
#include "core/parameters.hpp"
#include "core/text.hpp"
#include "core/utf.hpp"
#include "core/version.hpp"
#include "ui/controls.hpp"

#include <fmt/format.h>
#include <array>
#include <stdexcept>

namespace rtd::ui {

namespace {

struct Line {
    int x1, y1, x2, y2;
};

constexpr std::array<Line, 8> layoutLines{{
    {0, 140, 880, 140},
    {0, 168, 642, 168},
    {0, 196, 642, 196},
    {0, 224, 642, 224},
    {0, 252, 642, 252},
    {0, 280, 642, 280},
    {0, 308, 642, 308},
    {642, 336, 880, 336},
}};

constexpr std::string_view ownerNotice = "(c) Ramptide developers";
constexpr int statusTextY = 427;

void drawLine(Canvas& canvas, const Line& l, Colour colour)
{
    canvas.line(l.x1, l.y1, l.x2, l.y2, colour);
}

Colour simulatorColour(const MainWindowGlobals& g, const DisplayTexts& texts)
{
    if (!g.simConnected)
        return red;
    return g.simRunningFlag && !texts.userTitleText.empty() ? green : yellow;
}

Colour trafficServiceColour(const MainWindowGlobals& g)
{
    if (g.rtLinkIdle)
        return black;
    if (!g.rtConnected)
        return red;
    return g.trafficReaderState == 1 ? green : yellow;
}

bool readerRunning(std::int32_t state)
{
    return state == 1 || state == 2;
}

// The label's colour where it tells a setting's state; black otherwise.
Colour labelColour(const ControlSpec& entry, WindowHost& host)
{
    const GuiControl* c = entry.control;
    if (c == &SCAN_LIVERIES || c == &SCAN_AIRPORTS)
        return static_cast<const GuiBoolParameter*>(c)->value() ? red : black;
    if (c == &SUPPRESS_STUB)
        return SUPPRESS_STUB.value() ? black : grey;
    if (c == &ALWAYS_ON_TOP || c == &AEROWINX)
        return static_cast<const GuiBoolParameter*>(c)->value() ? yellow : black;
    if (c == &GUID_CHANGES)
        return GUID_CHANGES.value() ? black : yellow;
    if (c == &LIGHT_AIRCRAFT || c == &HELICOPTERS || c == &HIGH_PERF_AIRCRAFT)
        return host.isEnabled(entry.id()) ? black : grey;
    return black;
}

} // namespace

void textOut(Canvas& canvas, int x, int y, const std::string& text, Colour colour)
{
    try {
        canvas.text(x, y, utf8ToUtf16(text), colour);
    } catch (const win32::Utf8ConversionException& e) {
        logLine(fmt::format("{} conversion exception {}, error code: {}", text, e.what(), e.errorCode()));
    } catch (const std::overflow_error& e) {
        logLine(fmt::format("{} {}", text, e.what()));
    }
}

void MainWindow::paint(Canvas& canvas)
{
    MainWindowGlobals& g = mainWindowGlobals;
    canvas.fillRect(titleStrip, black);
    canvas.fillRect(headerBand, black);
    canvas.fillRect(countersBand, black);
    canvas.fillRect(controlsBand, lightBlue);
    canvas.fillRect(statusBand, green);
    for (const int y : {28, 113, 364, 421})
        canvas.line(0, y, 880, y, white);

    paintHeader(canvas);
    for (const Line& l : layoutLines)
        drawLine(canvas, l, black);
    canvas.line(642, 140, 642, 336, black);
    paintScanStatus(canvas);
    if (g.rtConnected) {
        if (readerRunning(g.weatherReaderState) && g.qnhFigure >= 1)
            textOut(canvas, 642, 63, fmt::format("qnh: {:4}", g.qnhFigure.load()), green);
        if (readerRunning(g.trafficReaderState))
            textOut(canvas, 642, 91, fmt::format("live: {:3}", g.liveFigure.load()), green);
    }
    paintControlLabels(canvas);
    paintCounters(canvas);
    paintStatus(canvas);
}

void MainWindow::paintHeader(Canvas& canvas)
{
    textOut(canvas, 3, 7, fmt::format("Version {}", versionToString(programVersion)), green);
    textOut(canvas, 390, 7, std::string(productName), green);
    textOut(canvas, 632, 7, std::string(ownerNotice), green);
}

void MainWindow::paintScanStatus(Canvas& canvas)
{
    const MainWindowGlobals& g = mainWindowGlobals;
    const DisplayTexts texts = g.texts();

    const Colour simColour = simulatorColour(g, texts);
    canvas.fillRect({397, 30, 425, 112}, simColour);
    textOut(canvas, 398, 63, "Sim", black);
    if (g.simConnected) {
        std::string simLine = texts.simLineText;
        if (!texts.userStandText.empty())
            simLine += ", user stand " + texts.userStandText;
        textOut(canvas, 5, 35, simLine, simColour);
        textOut(canvas, 5, 63, texts.userTitleText, g.userWingspanKnown ? simColour : yellow);
    }

    const std::int64_t liveries = g.liveryCount;
    if (liveries > 0)
        textOut(canvas, 5, 91, fmt::format("# liveries: {}", liveries), green);
    else
        textOut(canvas, 5, 91, "# liveries: ...", red);
    if (g.simaddonFigure > 0)
        textOut(canvas, 141, 91, fmt::format("# {}: {}", "simaddon", g.simaddonFigure.load()), green);
    else
        textOut(canvas, 141, 91, "# simaddon: ...", yellow);
    if (g.thirdpartyFigure > 0)
        textOut(canvas, 278, 91, fmt::format("# thirdp: {}", g.thirdpartyFigure.load()), green);
    else
        textOut(canvas, 278, 91, "# thirdp: ...", yellow);

    canvas.fillRect({425, 30, 453, 112}, trafficServiceColour(g));
    textOut(canvas, 430, 63, "RT", black);
    if (g.rtConnected) {
        textOut(canvas, 458, 35, texts.editionText, green);
        if (g.weatherReaderState != 3)
            textOut(canvas, 458, 63, "Weather", g.weatherReaderState == 1 ? green : yellow);
        if (g.trafficReaderState != 3)
            textOut(canvas, 458, 91, "Traffic", g.trafficReaderState == 1 ? green : yellow);
    }
    canvas.line(425, 29, 425, 112, black);
}

void MainWindow::paintControlLabels(Canvas& canvas)
{
    const MainWindowGlobals& g = mainWindowGlobals;
    for (const ControlSpec& entry : controlTable())
        if (!entry.label.empty())
            textOut(canvas, entry.labelX, entry.rowY(), std::string(entry.label), labelColour(entry, host_));
    textOut(canvas, 253, 203, "Optional:", black);
    textOut(canvas, 260, 231, "    or", black);
    textOut(canvas, 5, 259, "Callsigns", black);
    textOut(canvas, 5, 287, "Collision avoidance:", black);

    if (const std::int32_t count = services_.tbloAirportCount(); count > 0)
        textOut(canvas, 323, 175, fmt::format("{} airport{} in TBLO folder", count, count == 1 ? "" : "s"), yellow);

    if (const std::string oid = g.texts().oidText; !CALLSIGN_2_OBJECTID.value().empty() && !oid.empty())
        textOut(canvas, 556, 259, oid, black);

    const bool busy = services_.parkingBusy();
    if (busy)
        textOut(canvas, 5, 315, "Airport static parking active:", g.parkAirportsOk ? yellow : red);
    else
        textOut(canvas, 5, 315, "Airport parking:", g.parkAirportsOk ? black : red);
    const std::int32_t minutes = g.renewalMinutes;
    if (services_.parkAirportActive() && !busy && !INITIAL_LOAD_ONLY.value() && minutes >= 1 && minutes <= 19)
        textOut(canvas, 111, 315, fmt::format("(in {} min)", minutes), black);
}

void MainWindow::paintCounters(Canvas& canvas)
{
    const MainWindowGlobals& g = mainWindowGlobals;
    const ParkAirportView airport = services_.parkAirport();
    if (airport.code.empty())
        return;
    const int y = g.countersRowY;
    const int y2 = y + 28;
    textOut(canvas, 5, y, airport.displayName, g.parkFiguresValid ? green : yellow);
    if (!g.parkFiguresValid)
        return;

    const DisplayTexts texts = g.texts();
    textOut(canvas, 85, y,
            fmt::format(" {},  {} {}", texts.parkInfoText, texts.apfInfoText, g.handmadeFlag ? "(h)" : ""), green);
    if (g.fitMarker)
        textOut(canvas, 370, y, "*S*", green);
    textOut(canvas, 430, y, fmt::format("qf: {}", texts.qfText), green);
    if (!airport.reservedStandName.empty())
        textOut(canvas, 571, y, fmt::format("reserved stand: {}", airport.reservedStandName),
                g.reservedStandFound ? green : red);
    textOut(canvas, 748, y, fmt::format("# updates: {:4}", g.updatesFigure.load()), green);

    textOut(canvas, 5, y2, fmt::format("# stands: {:3}", g.standsFigure.load()), green);
    textOut(canvas, 111, y2, fmt::format("parked live: {:3}", g.parkedLiveFigure.load()), green);
    if (const float fit = g.liveAverageFit; fit > 0)
        textOut(canvas, 249, y2, fmt::format("average fit: {}", formatNumber(fit)), green);
    if (const std::int32_t maxPark = g.maxParkFigure; maxPark > 0) {
        textOut(canvas, 430, y2, fmt::format("parked static: {:3}", g.parkedStaticFigure.load()), green);
        if (const float fit = g.staticAverageFit; !WEEK.value() && fit > 0)
            textOut(canvas, 571, y2, fmt::format("average fit: {}", formatNumber(fit)), green);
        textOut(canvas, 708, y2, fmt::format("max park: {:3} (={}% )", maxPark, parking_percentage.value()), green);
    }
}

void MainWindow::paintStatus(Canvas& canvas)
{
    const StatusLine status = mainWindowGlobals.statusLine();
    if (!status.errorText.empty()) {
        canvas.fillRect(statusBand, red);
        textOut(canvas, 3, statusTextY, status.errorText, yellow);
        return;
    }
    canvas.fillRect(statusBand, green);
    if (!status.statusText.empty())
        textOut(canvas, 3, statusTextY, status.statusText, yellow);
}

} // namespace rtd::ui
