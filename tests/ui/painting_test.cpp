#include "window_fixture.hpp"

namespace rtd::test {
namespace {

using ui::black;
using ui::Drawing;
using ui::green;
using ui::grey;
using ui::red;
using ui::yellow;

class PaintingTest : public WindowTest {
protected:
    // Invalidates the whole window and pumps, so the recording is one fresh paint.
    const ui::RecordingCanvas& repaint()
    {
        host.invalidate(titleStrip);
        pump();
        return painted();
    }

    void expectText(const std::string& text, int x, int y, ui::Colour colour)
    {
        const Drawing* d = repaint().findText(text);
        ASSERT_NE(d, nullptr) << "no text \"" << text << "\"";
        EXPECT_EQ(d->rect.left, x) << text;
        EXPECT_EQ(d->rect.top, y) << text;
        EXPECT_EQ(d->colour, colour) << text;
    }

    std::vector<std::string> textsBetween(int top, int bottom)
    {
        std::vector<std::string> texts;
        for (const Drawing& d : repaint().drawings())
            if (d.kind == Drawing::Kind::text && d.rect.top >= top && d.rect.top < bottom && !d.text.empty())
                texts.push_back(d.text);
        return texts;
    }
};

TEST_F(PaintingTest, StartStateShowsBandsHeaderAndIdleLights)
{
    const ui::RecordingCanvas& canvas = repaint();
    EXPECT_EQ(canvas.fillOf(titleStrip), black);
    EXPECT_EQ(canvas.fillOf(controlsBand), ui::lightBlue);
    EXPECT_EQ(canvas.fillOf(statusBand), green);
    EXPECT_EQ(canvas.fillOf({397, 30, 425, 112}), red) << "simulator not connected";
    EXPECT_EQ(canvas.fillOf({425, 30, 453, 112}), black) << "traffic-service link idle";
    expectText("Version 8.7.0", 3, 7, green);
    expectText("Ramptide", 390, 7, green);
    expectText("Sim", 398, 63, black);
    expectText("RT", 430, 63, black);
    expectText("# liveries: ...", 5, 91, red);
    expectText("# simaddon: ...", 141, 91, yellow);
    expectText("# thirdp: ...", 278, 91, yellow);
    expectText("Airport parking:", 5, 315, black);

    int layoutLines = 0;
    for (const Drawing& d : canvas.drawings())
        if (d.kind == Drawing::Kind::line && d.colour == black && d.rect.top >= 140)
            ++layoutLines;
    EXPECT_EQ(layoutLines, 9); // eight grid lines and the vertical one
    EXPECT_TRUE(textsBetween(364, 420).empty()) << "no park airport: empty counters band";
}

TEST_F(PaintingTest, LabelsSitOnTheirRowsInTheColoursOfTheirSettings)
{
    expectText("Community folder:", 5, 119, black);
    expectText("Scan for liveries:", 25, 147, red); // set by default
    expectText("STUB", 450, 147, black);
    expectText("GUID changes", 768, 203, black);
    expectText("Max fit:", 400, 343, black);
    expectText("Callsigns", 5, 259, black);
    expectText("    or", 260, 231, black);

    click(SUPPRESS_STUB);
    click(GUID_CHANGES);
    click(ALWAYS_ON_TOP);
    click(SCAN_LIVERIES);
    host.enable(HELICOPTERS.controlId(), false);
    expectText("STUB", 450, 147, grey);
    expectText("GUID changes", 768, 203, yellow);
    expectText("Stay on top", 768, 147, yellow);
    expectText("Scan for liveries:", 25, 147, black);
    expectText("Helicopters", 450, 203, grey);
}

TEST_F(PaintingTest, ConnectedSimulatorAndTrafficServiceTurnTheLightsGreen)
{
    MainWindowGlobals& g = mainWindowGlobals;
    g.simConnected = true;
    g.editTexts([](DisplayTexts& t) {
        t.simLineText = "MSFS 2020 connected";
        t.userStandText = "G12";
        t.editionText = "edition X";
    });
    expectText("MSFS 2020 connected, user stand G12", 5, 35, yellow);
    EXPECT_EQ(repaint().fillOf({397, 30, 425, 112}), yellow) << "connected, flight not running";

    g.simRunningFlag = true;
    g.editTexts([](DisplayTexts& t) { t.userTitleText = "Cessna"; });
    g.userWingspanKnown = false;
    EXPECT_EQ(repaint().fillOf({397, 30, 425, 112}), green);
    expectText("Cessna", 5, 63, yellow);

    g.rtLinkIdle = false;
    EXPECT_EQ(repaint().fillOf({425, 30, 453, 112}), red);
    g.rtConnected = true;
    g.trafficReaderState = 1;
    g.weatherReaderState = 2;
    g.liveFigure = 7;
    g.qnhFigure = 998;
    EXPECT_EQ(repaint().fillOf({425, 30, 453, 112}), green);
    expectText("edition X", 458, 35, green);
    expectText("Weather", 458, 63, yellow);
    expectText("Traffic", 458, 91, green);
    expectText("qnh:  998", 642, 63, green);
    expectText("live:   7", 642, 91, green);
    g.qnhFigure = 0;
    EXPECT_EQ(repaint().textAt(642, 63), nullptr);

    g.liveryCount = 12;
    expectText("# liveries: 12", 5, 91, green);
}

TEST_F(PaintingTest, ErrorTurnsTheStatusBandRed)
{
    setStatus("all fine", false);
    expectText("all fine", 3, 427, yellow);
    showError("no Community folder");
    EXPECT_EQ(repaint().fillOf(statusBand), red);
    expectText("no Community folder", 3, 427, yellow);
    EXPECT_EQ(painted().findText("all fine"), nullptr);
}

TEST_F(PaintingTest, TbloLabelCountsAirports)
{
    EXPECT_EQ(repaint().textAt(323, 175), nullptr);
    services.tblo = 1;
    expectText("1 airport in TBLO folder", 323, 175, yellow);
    services.tblo = 3;
    expectText("3 airports in TBLO folder", 323, 175, yellow);
}

TEST_F(PaintingTest, CountersBandShowsTheParkAirport)
{
    services.airport = {"EHAM", "EHAM Schiphol", "B12"};
    EXPECT_EQ(textsBetween(364, 420), std::vector<std::string>{"EHAM Schiphol"});
    expectText("EHAM Schiphol", 5, 371, yellow);

    MainWindowGlobals& g = mainWindowGlobals;
    g.parkFiguresValid = true;
    g.handmadeFlag = true;
    g.editTexts([](DisplayTexts& t) {
        t.parkInfoText = "info";
        t.apfInfoText = "apf";
        t.qfText = "1.2";
    });
    g.standsFigure = 42;
    g.parkedLiveFigure = 3;
    g.updatesFigure = 5;
    g.maxParkFigure = 20;
    g.parkedStaticFigure = 18;
    g.staticAverageFit = 2.5f;
    expectText("EHAM Schiphol", 5, 371, green);
    expectText(" info,  apf (h)", 85, 371, green);
    expectText("qf: 1.2", 430, 371, green);
    expectText("reserved stand: B12", 571, 371, red);
    expectText("# updates:    5", 748, 371, green);
    expectText("# stands:  42", 5, 399, green);
    expectText("parked live:   3", 111, 399, green);
    expectText("parked static:  18", 430, 399, green);
    expectText("average fit: 2.5", 571, 399, green);
    expectText("max park:  20 (=30% )", 708, 399, green);
}

} // namespace
} // namespace rtd::test
