#include "ui/main_window.hpp"

#include "core/log.hpp"
#include "core/text.hpp"
#include "core/time.hpp"
#include "core/utf.hpp"
#include "core/version.hpp"
#include "ui/controls.hpp"
#include "ui/window_position.hpp"

#include <fmt/format.h>
#include <chrono>
#include <exception>

namespace rtd::ui {

MainWindow::MainWindow(WindowHost& host, WindowServices& services)
    : host_(host), services_(services), windowThread_(std::this_thread::get_id())
{
    setWindowDisplay(this);
}

MainWindow::~MainWindow()
{
    releaseWorker(versionCheck_, "version check");
    releaseWorker(startupThread_, "start-up worker");
    setWindowDisplay(nullptr);
}

void MainWindow::startWorker(Worker& worker, std::function<void(std::stop_token)> body)
{
    if (worker.thread.joinable()) {
        worker.thread.request_stop();
        worker.thread.join();
    }
    auto ended = std::make_shared<std::atomic<bool>>(false);
    worker.ended = ended;
    worker.thread = std::jthread([body = std::move(body), ended](std::stop_token stop) {
        body(stop);
        ended->store(true);
    });
}

void MainWindow::releaseWorker(Worker& worker, std::string_view name, std::chrono::milliseconds bound)
{
    using namespace std::chrono_literals;
    if (!worker.thread.joinable())
        return;
    worker.thread.request_stop();
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!worker.ended->load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    if (worker.ended->load()) {
        worker.thread.join();
        return;
    }
    logLine(fmt::format("{} still running as the window closes", name));
    worker.thread.detach();
}

bool MainWindow::handleMessage(std::uint32_t msg, std::uintptr_t wParam)
{
    switch (msg) {
    case message::create:
        createControls();
        return true;
    case message::destroy:
        host_.quit(0);
        return true;
    case message::close:
        rtd::setStatus(fmt::format("Close window button clicked, closing {} ...", productName), true);
        services_.startFinalExit(ExitReason::userClosedSim, 0);
        return true;
    case message::command:
        onCommand(wParam);
        return true;
    case message::startUp:
        startStartUpThread();
        return true;
    case message::finalExit:
        finishRun();
        return true;
    case message::runTasks:
        runPendingTasks();
        return true;
    default:
        return false;
    }
}

void MainWindow::createControls()
{
    for (const ControlSpec& entry : controlTable()) {
        host_.createControl(entry);
        const bool isCheckBox = entry.kind == ControlKind::checkBox;
        if (isCheckBox)
            host_.setChecked(entry.id(), static_cast<const GuiBoolParameter*>(entry.setting)->value());
        host_.enable(entry.id(), isCheckBox);
    }
    host_.invalidate(controlsBand);
}

void MainWindow::startStartUpThread()
{
    startWorker(startupThread_, [this](std::stop_token stop) { services_.startUp(stop); });
}

void MainWindow::startVersionCheck()
{
    startWorker(versionCheck_, [this](std::stop_token stop) {
        const std::string news = services_.checkNewVersions(stop);
        if (!stop.stop_requested())
            runOnWindowThread([this, news] { showVersionNews(news); });
    });
}

void MainWindow::finishRun()
{
    // The exit procedure has waited its bound for the start-up worker, which counts itself:
    // a worker still in its body after that is not waited for again.
    releaseWorker(startupThread_, "start-up worker", std::chrono::milliseconds(200));
    saveWindowPosition(host_.windowRect());
    logLine(utcTimeString(std::chrono::system_clock::to_time_t(std::chrono::system_clock::now())));
    if (logIsOpen())
        closeLogFile();
    host_.quit(0);
}

// ---- calls from any thread -------------------------------------------------------------------

void MainWindow::runOnWindowThread(std::function<void()> task)
{
    if (std::this_thread::get_id() == windowThread_) {
        task();
        return;
    }
    {
        std::lock_guard lock(tasksMutex_);
        tasks_.push_back(std::move(task));
    }
    host_.post(message::runTasks);
}

void MainWindow::runPendingTasks()
{
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard lock(tasksMutex_);
            if (tasks_.empty())
                return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
}

void MainWindow::showText(std::uint16_t id, const std::string& text)
{
    runOnWindowThread([this, id, text] {
        try {
            host_.setControlText(id, utf8ToUtf16(text));
        } catch (const std::exception& e) {
            logLine(e.what());
        }
        host_.invalidate(controlsBand);
    });
}

std::optional<std::string> MainWindow::editText(std::uint16_t id)
{
    try {
        return utf16ToUtf8(host_.controlText(id));
    } catch (const std::exception& e) {
        logLine(e.what());
        return std::nullopt;
    }
}

void MainWindow::showCheck(const GuiBoolParameter& setting)
{
    const bool value = setting.value();
    const std::uint16_t id = setting.controlId();
    runOnWindowThread([this, id, value] { host_.setChecked(id, value); });
}

void MainWindow::showIntInEdit(const GuiIntParameter& setting)
{
    showText(setting.controlId(), fmt::format("{}", setting.value()));
}

void MainWindow::showFloatInEdit(const GuiFloatParameter& setting)
{
    showText(setting.controlId(), formatNumber(setting.value()));
}

void MainWindow::showTextInEdit(const GuiStringParameter& setting)
{
    showText(setting.controlId(), setting.value());
}

void MainWindow::showEditText(std::uint16_t id)
{
    runOnWindowThread([this, id] { host_.setControlText(id, {}); });
}

void MainWindow::setCheckState(GuiBoolParameter& setting, bool value)
{
    setting.set(value);
    const std::uint16_t id = setting.controlId();
    runOnWindowThread([this, id, value] { host_.setChecked(id, value); });
}

void MainWindow::enableControl(std::uint16_t id, bool enabled)
{
    runOnWindowThread([this, id, enabled] {
        host_.enable(id, enabled);
        host_.invalidate(controlsBand);
    });
}

void MainWindow::setTopMost(bool topMost)
{
    runOnWindowThread([this, topMost] { host_.setTopMost(topMost); });
}

void MainWindow::setStatus(const std::string& text)
{
    rtd::setStatus(text, false);
}

void MainWindow::invalidate(const Rect& rect)
{
    host_.invalidate(rect);
}

void MainWindow::statusLineChanged(const std::string& text)
{
    host_.statusLineChanged(text);
}

void MainWindow::postMessage(std::uint32_t msg)
{
    host_.post(msg);
}

} // namespace rtd::ui
