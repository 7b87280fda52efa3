// The program destroys its window as soon as the window's loop ends, which the exit's own
// thread brings about with its last message: posting it must be that thread's last touch of
// the window. The thread sanitizer build flags a poster still at the window.

#include "window_fixture.hpp"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace rtd {
namespace {

TEST(HeadlessWindowTest, GoesAsSoonAsTheExitThreadsLastMessageIsHandled)
{
    test::TempFolder folder;
    setParametersFile(folder / "parameters.xml");
    test::FakeServices services;
    for (int round = 0; round < 20; ++round) {
        openLogFile(folder / "Log.txt");
        auto host = std::make_unique<ui::HeadlessWindow>(400, 20);
        auto window = std::make_unique<ui::MainWindow>(*host, services);
        host->create(*window);
        std::jthread exitThread([&host] { host->post(ui::message::finalExit); });
        EXPECT_EQ(host->run(), 0);
        window.reset();
        host.reset();
    }
    setParametersFile({});
}

// What the status line showed before there was a window (an error of the program's start) is
// echoed by the window's first pump.
TEST(HeadlessWindowTest, EchoesTheStatusLineItFindsAtItsStart)
{
    test::TempFolder folder;
    setParametersFile(folder / "parameters.xml");
    openLogFile(folder / "Log.txt");
    test::resetWindowState();
    showError("program data folder not created");
    test::FakeServices services;
    std::vector<std::string> echoed;
    ui::HeadlessWindow host(400, 20, [&echoed](const std::string& text) { echoed.push_back(text); });
    {
        ui::MainWindow window(host, services);
        host.create(window);
        EXPECT_TRUE(host.pumpPending());
    }
    EXPECT_EQ(echoed, std::vector<std::string>{"program data folder not created"});
    clearErrorText();
    closeLogFile();
    setParametersFile({});
}

} // namespace
} // namespace rtd
