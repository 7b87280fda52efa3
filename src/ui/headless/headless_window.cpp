#include "ui/headless/headless_window.hpp"

#include "core/utf.hpp"

#include <utility>

namespace rtd::ui {

namespace {

constexpr int windowWidth = 880;
constexpr int windowHeight = 488;
constexpr wchar_t backspace = 8;

} // namespace

// ---- recording canvas ------------------------------------------------------------------------

void RecordingCanvas::fillRect(const Rect& rect, Colour colour)
{
    drawings_.push_back({Drawing::Kind::fill, rect, colour, {}});
}

void RecordingCanvas::line(int x1, int y1, int x2, int y2, Colour colour)
{
    drawings_.push_back({Drawing::Kind::line, {x1, y1, x2, y2}, colour, {}});
}

void RecordingCanvas::text(int x, int y, const std::wstring& text, Colour colour)
{
    drawings_.push_back({Drawing::Kind::text, {x, y, x, y}, colour, utf16ToUtf8(text)});
}

const Drawing* RecordingCanvas::findText(std::string_view text) const
{
    for (auto it = drawings_.rbegin(); it != drawings_.rend(); ++it)
        if (it->kind == Drawing::Kind::text && it->text == text)
            return &*it;
    return nullptr;
}

const Drawing* RecordingCanvas::textAt(int x, int y) const
{
    for (auto it = drawings_.rbegin(); it != drawings_.rend(); ++it)
        if (it->kind == Drawing::Kind::text && it->rect.left == x && it->rect.top == y)
            return &*it;
    return nullptr;
}

std::optional<Colour> RecordingCanvas::fillOf(const Rect& rect) const
{
    for (auto it = drawings_.rbegin(); it != drawings_.rend(); ++it)
        if (it->kind == Drawing::Kind::fill && it->rect == rect)
            return it->colour;
    return std::nullopt;
}

// ---- queue -----------------------------------------------------------------------------------

HeadlessWindow::HeadlessWindow(int x, int y, StatusEcho echo)
    : rect_{x, y, x + windowWidth, y + windowHeight}, echo_(std::move(echo))
{
}

void HeadlessWindow::create(MainWindow& window)
{
    window_ = &window;
    window.handleMessage(message::create, 0);
    invalidate(titleStrip);
}

// The notification is sent under the lock: once the window thread sees the message it may
// end its loop and destroy the window, and the poster must be done with it by then.
void HeadlessWindow::enqueue(Message message)
{
    std::lock_guard lock(mutex_);
    queue_.push_back(message);
    arrived_.notify_one();
}

void HeadlessWindow::post(std::uint32_t message)
{
    enqueue({message, 0, 0});
}

void HeadlessWindow::invalidate(const Rect&)
{
    std::lock_guard lock(mutex_);
    invalid_ = true;
    arrived_.notify_one();
}

// Held for the window's thread, which echoes at its next pump: the caller holds the status
// line's lock and must not wait for a slow standard output.
void HeadlessWindow::statusLineChanged(const std::string& text)
{
    std::lock_guard lock(mutex_);
    if (text == statusLine_)
        return;
    statusLine_ = text;
    if (echo_ && !text.empty()) {
        statusToEcho_.push_back(text);
        arrived_.notify_one();
    }
}

void HeadlessWindow::echoStatus()
{
    std::vector<std::string> texts;
    {
        std::lock_guard lock(mutex_);
        texts.swap(statusToEcho_);
    }
    for (const std::string& text : texts)
        echo_(text);
}

void HeadlessWindow::click(std::uint16_t id)
{
    enqueue({message::command, id, 0});
}

void HeadlessWindow::type(std::uint16_t id, std::wstring_view keys)
{
    for (const wchar_t key : keys)
        enqueue({message::character, static_cast<std::uintptr_t>(key), id});
}

bool HeadlessWindow::pumpPending()
{
    for (;;) {
        std::unique_lock lock(mutex_);
        if (exitCode_)
            return false;
        if (queue_.empty()) {
            const bool paint = invalid_;
            invalid_ = false;
            lock.unlock();
            echoStatus();
            if (paint)
                repaint();
            return true;
        }
        const Message next = queue_.front();
        queue_.pop_front();
        lock.unlock();
        dispatch(next);
    }
}

int HeadlessWindow::run()
{
    while (pumpPending()) {
        std::unique_lock lock(mutex_);
        arrived_.wait(lock, [this] { return !queue_.empty() || invalid_ || !statusToEcho_.empty() || exitCode_; });
    }
    echoStatus();
    return *exitCode_;
}

void HeadlessWindow::dispatch(const Message& message)
{
    if (!window_)
        return;
    if (message.target == 0) {
        // A click reaches the window only from an enabled control, as on the screen.
        if (message.message == message::command) {
            const HeadlessControl* clicked = find(static_cast<std::uint16_t>(message.wParam));
            if (clicked && !clicked->enabled)
                return;
        }
        window_->handleMessage(message.message, message.wParam);
        return;
    }
    HeadlessControl* edit = find(message.target);
    if (!edit || !edit->enabled || message.message != message::character)
        return;
    const auto key = static_cast<wchar_t>(message.wParam);
    if (key == enterKey)
        window_->onEditEnter(message.target);
    else if (key == backspace && !edit->text.empty())
        edit->text.pop_back();
    else if (key != backspace)
        edit->text.push_back(key);
}

void HeadlessWindow::repaint()
{
    canvas_ = RecordingCanvas{};
    window_->paint(canvas_);
}

// ---- controls --------------------------------------------------------------------------------

void HeadlessWindow::createControl(const ControlSpec& entry)
{
    controls_[entry.id()] = HeadlessControl{entry.kind, controlRect(entry), {}, false, true};
}

HeadlessControl* HeadlessWindow::find(std::uint16_t id)
{
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : &found->second;
}

std::wstring HeadlessWindow::controlText(std::uint16_t id)
{
    const HeadlessControl* c = find(id);
    return c ? c->text : std::wstring();
}

std::string HeadlessWindow::controlTextUtf8(std::uint16_t id) const
{
    return utf16ToUtf8(controls_.at(id).text);
}

void HeadlessWindow::setControlText(std::uint16_t id, const std::wstring& text)
{
    if (HeadlessControl* c = find(id))
        c->text = text;
}

bool HeadlessWindow::isChecked(std::uint16_t id)
{
    const HeadlessControl* c = find(id);
    return c && c->checked;
}

void HeadlessWindow::setChecked(std::uint16_t id, bool checked)
{
    if (HeadlessControl* c = find(id))
        c->checked = checked;
}

bool HeadlessWindow::isEnabled(std::uint16_t id)
{
    const HeadlessControl* c = find(id);
    return c && c->enabled;
}

void HeadlessWindow::enable(std::uint16_t id, bool enabled)
{
    if (HeadlessControl* c = find(id))
        c->enabled = enabled;
}

void HeadlessWindow::setTopMost(bool topMost)
{
    topMost_ = topMost;
}

Rect HeadlessWindow::windowRect()
{
    return rect_;
}

void HeadlessWindow::quit(int exitCode)
{
    std::lock_guard lock(mutex_);
    exitCode_ = exitCode;
}

} // namespace rtd::ui
