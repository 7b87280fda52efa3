#include "window_fixture.hpp"

#include <thread>

namespace rtd::test {
namespace {

using StatusTest = WindowTest;

TEST_F(StatusTest, StatusTextStandsFor25Cycles)
{
    setStatus("before the first cycle", true);
    EXPECT_EQ(mainWindowGlobals.statusLine().statusStamp, 1);
    for (int cycle = 1; cycle <= 25; ++cycle)
        advanceStatusCycle();
    EXPECT_EQ(status(), "before the first cycle");
    advanceStatusCycle(); // cycle 26
    EXPECT_EQ(status(), "");

    for (int cycle = 27; cycle <= 30; ++cycle)
        advanceStatusCycle();
    setStatus("at cycle 30", false);
    for (int cycle = 31; cycle < 55; ++cycle)
        advanceStatusCycle();
    EXPECT_EQ(status(), "at cycle 30");
    advanceStatusCycle();
    EXPECT_EQ(status(), "");
    EXPECT_NE(log().find("before the first cycle\n"), std::string::npos);
    EXPECT_EQ(log().find("at cycle 30"), std::string::npos) << "not copied to the log";
}

TEST_F(StatusTest, ErrorFreezesTheLineUntilItIsEmptied)
{
    showError("packages folder not found");
    EXPECT_NE(log().find("Error packages folder not found\n"), std::string::npos);
    setStatus("ignored", true);
    for (int cycle = 0; cycle < 30; ++cycle)
        advanceStatusCycle();
    clearStatus();
    EXPECT_EQ(mainWindowGlobals.statusLine().errorText, "packages folder not found");
    EXPECT_EQ(status(), "");
    EXPECT_EQ(log().find("ignored"), std::string::npos);

    clearErrorText();
    setStatus("shown again", false);
    EXPECT_EQ(status(), "shown again");
    setStatus("", true);
    EXPECT_EQ(mainWindowGlobals.statusLine().statusStamp, 0);
}

// The headless program's standard output is the status line: a text replaced before the next
// repaint is echoed all the same, and one that stays is not echoed again.
TEST_F(StatusTest, EveryTextTheLineShowsIsEchoedOnceInOrder)
{
    echoed.clear();
    setStatus("Waiting for MSFS ...", true);
    std::thread([] { setStatus("RealTraffic detected at this PC", true); }).join();
    setStatus("RealTraffic detected at this PC", false);
    showError("packages folder not found");
    setStatus("ignored while the error shows", true);
    clearErrorText();
    setStatus("Waiting for MSFS ...", true);
    pump();
    pump();
    clearStatus();
    pump();
    EXPECT_EQ(echoed, (std::vector<std::string>{"Waiting for MSFS ...", "RealTraffic detected at this PC",
                                                "packages folder not found", "Waiting for MSFS ..."}));
}

TEST_F(StatusTest, OtherThreadsNeverWaitForTheWindowThread)
{
    host.enable(MAX_LIVE.controlId(), true);
    MAX_LIVE.set(42);
    // The window thread is not pumping: a call that waited for it would never return.
    std::thread worker([this] {
        window.showIntInEdit(MAX_LIVE);
        window.enableControl(reReadButton.controlId(), true);
        setStatus("from the worker", false);
    });
    worker.join();
    EXPECT_EQ(box(MAX_LIVE), "");
    pump();
    EXPECT_EQ(box(MAX_LIVE), "42");
    EXPECT_TRUE(host.control(reReadButton.controlId()).enabled);
    EXPECT_NE(painted().findText("from the worker"), nullptr);
}

TEST_F(StatusTest, CloseSavesThePositionAndEndsWithTheTimeLine)
{
    host.post(ui::message::close);
    EXPECT_FALSE(host.pumpPending());
    EXPECT_EQ(services.exits, std::vector<std::string>{"USER CLOSED SIM/0"});
    EXPECT_EQ(stored("MAIN_WINDOW_X"), "400");
    EXPECT_EQ(stored("MAIN_WINDOW_Y"), "20");
    EXPECT_FALSE(logIsOpen());
    const std::string text = readText(folder / "Log.txt");
    EXPECT_NE(text.find("Close window button clicked, closing Ramptide ...\n"), std::string::npos);
    const std::string last = text.substr(text.rfind('\n', text.size() - 2) + 1);
    EXPECT_EQ(last.size(), 25u) << last; // "Wed Dec  9 05:14:04 2026\n"
}

TEST(WindowPositionTest, PositionOnABoundIsResetAndAMinimisedCloseKeepsTheOldOne)
{
    TempFolder folder;
    setParametersFile(folder / "parameters.xml");
    resetWindowState();
    MAIN_WINDOW_X.set(-30000);
    saveIntParameter(MAIN_WINDOW_X);
    MAIN_WINDOW_Y.set(123);
    saveIntParameter(MAIN_WINDOW_Y);
    resetWindowState();

    ui::loadWindowPosition();
    EXPECT_EQ(MAIN_WINDOW_X.value(), 400);
    EXPECT_EQ(MAIN_WINDOW_Y.value(), 123);

    // A minimised window's rectangle lies far outside the screen.
    ui::saveWindowPosition({-32000, -32000, -31880, -31512});
    EXPECT_EQ(MAIN_WINDOW_X.value(), 400);
    EXPECT_EQ(MAIN_WINDOW_Y.value(), 123);
    resetWindowState();
    ui::loadWindowPosition();
    EXPECT_EQ(MAIN_WINDOW_X.value(), 400);
    EXPECT_EQ(MAIN_WINDOW_Y.value(), 123);
    setParametersFile({});
}

} // namespace
} // namespace rtd::test
