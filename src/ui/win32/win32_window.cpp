#include "ui/win32/win32_window.hpp"

#include "core/log.hpp"
#include "core/parameters.hpp"
#include "core/utf.hpp"
#include "ui/controls.hpp"
#include "ui/main_window.hpp"
#include "ui/window_position.hpp"

#include <chrono>
#include <map>
#include <thread>

namespace rtd::ui::win32 {

namespace {

constexpr int windowWidth = 880;
constexpr int windowHeight = 488;
constexpr DWORD windowStyle = WS_CAPTION | WS_SYSMENU; // fixed size, no minimise or maximise box
constexpr int maxEditText = 512;

RECT toRect(const Rect& r)
{
    return {r.left, r.top, r.right, r.bottom};
}

// Draws with the DC's own brush and pen, so no GDI object is ever made or leaked.
class GdiCanvas : public Canvas {
public:
    explicit GdiCanvas(HDC dc) : dc_(dc)
    {
        SetBkMode(dc_, TRANSPARENT);
        SelectObject(dc_, GetStockObject(DC_PEN));
    }

    void fillRect(const Rect& rect, Colour colour) override
    {
        const RECT r = toRect(rect);
        SetDCBrushColor(dc_, colour);
        FillRect(dc_, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    }

    void line(int x1, int y1, int x2, int y2, Colour colour) override
    {
        SetDCPenColor(dc_, colour);
        MoveToEx(dc_, x1, y1, nullptr);
        LineTo(dc_, x2, y2);
    }

    void text(int x, int y, const std::wstring& text, Colour colour) override
    {
        SetTextColor(dc_, colour);
        TextOutW(dc_, x, y, text.c_str(), static_cast<int>(text.size()));
    }

private:
    HDC dc_;
};

class Win32Host : public WindowHost {
public:
    HWND window = nullptr;
    std::map<std::uint16_t, WNDPROC> editProcedures; // the edits' previous procedures

    void createControl(const ControlSpec& entry) override;

    std::wstring controlText(std::uint16_t id) override
    {
        wchar_t buffer[maxEditText] = {};
        const int length = GetWindowTextW(GetDlgItem(window, id), buffer, maxEditText);
        return std::wstring(buffer, static_cast<std::size_t>(length > 0 ? length : 0));
    }
    void setControlText(std::uint16_t id, const std::wstring& text) override
    {
        SetWindowTextW(GetDlgItem(window, id), text.c_str());
    }
    bool isChecked(std::uint16_t id) override { return IsDlgButtonChecked(window, id) == BST_CHECKED; }
    void setChecked(std::uint16_t id, bool checked) override
    {
        CheckDlgButton(window, id, checked ? BST_CHECKED : BST_UNCHECKED);
    }
    bool isEnabled(std::uint16_t id) override { return IsWindowEnabled(GetDlgItem(window, id)) != FALSE; }
    void enable(std::uint16_t id, bool enabled) override { EnableWindow(GetDlgItem(window, id), enabled); }
    void setTopMost(bool topMost) override
    {
        SetWindowPos(window, topMost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
    }
    Rect windowRect() override
    {
        RECT r{};
        GetWindowRect(window, &r);
        return {r.left, r.top, r.right, r.bottom};
    }
    void quit(int exitCode) override { PostQuitMessage(exitCode); }
    void post(std::uint32_t message) override { PostMessageW(window, message, 0, 0); }
    void invalidate(const Rect& rect) override
    {
        const RECT r = toRect(rect);
        InvalidateRect(window, &r, TRUE);
    }
};

// The one window of the process.
Win32Host* host = nullptr;
MainWindow* mainWindow = nullptr;

LRESULT CALLBACK editProcedure(HWND edit, UINT message, WPARAM wParam, LPARAM lParam)
{
    const auto id = static_cast<std::uint16_t>(GetDlgCtrlID(edit));
    if (message == WM_CHAR && wParam == static_cast<WPARAM>(enterKey)) {
        mainWindow->onEditEnter(id);
        return 0;
    }
    return CallWindowProcW(host->editProcedures.at(id), edit, message, wParam, lParam);
}

void Win32Host::createControl(const ControlSpec& entry)
{
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
    const Rect r = controlRect(entry);
    const auto menu = reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(entry.id()));
    const wchar_t* className = entry.kind == ControlKind::edit ? L"Edit" : L"button";
    DWORD style = WS_CHILD | WS_VISIBLE;
    std::wstring text;
    switch (entry.kind) {
    case ControlKind::checkBox:
        style |= BS_CHECKBOX;
        break;
    case ControlKind::button:
        style |= BS_DEFPUSHBUTTON;
        text = utf8ToUtf16(entry.setting->name);
        break;
    case ControlKind::edit:
        style |= WS_BORDER;
        break;
    }
    HWND control = CreateWindowExW(0, className, text.c_str(), style, r.left, r.top, r.right - r.left,
                                   r.bottom - r.top, window, menu, instance, nullptr);
    if (control && entry.kind == ControlKind::edit)
        editProcedures[entry.id()] = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&editProcedure)));
}

LRESULT paint(HWND window)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    GdiCanvas canvas(dc);
    mainWindow->paint(canvas);
    EndPaint(window, &ps);
    return 0;
}

// Edits and check boxes on the controls band's light blue: the DC's brush takes the colour
// before it is handed back, so the whole background matches.
LRESULT controlColours(WPARAM wParam)
{
    const auto dc = reinterpret_cast<HDC>(wParam);
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, lightBlue);
    SetDCBrushColor(dc, lightBlue);
    return reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!host->window)
        host->window = window;
    switch (message) {
    case WM_PAINT:
        return paint(window);
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
        return controlColours(wParam);
    default:
        if (mainWindow->handleMessage(message, wParam))
            return 0;
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

bool registerClass(HINSTANCE instance, const std::wstring& className, HICON icon)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = icon;
    windowClass.hIconSm = icon;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = className.c_str();
    return RegisterClassExW(&windowClass) != 0;
}

bool initInstance(HINSTANCE instance, const std::wstring& className)
{
    using namespace std::chrono_literals;
    for (int test = 1; !mainWindowGlobals.constructed; ++test) {
        if (test == 19)
            return false;
        std::this_thread::sleep_for(50ms);
    }
    loadWindowPosition();
    HWND window = CreateWindowExW(0, className.c_str(), className.c_str(), windowStyle, MAIN_WINDOW_X.value(),
                                  MAIN_WINDOW_Y.value(), windowWidth, windowHeight, nullptr, nullptr, instance,
                                  nullptr);
    if (!window)
        return false;
    ShowWindow(window, SW_SHOW);
    return UpdateWindow(window) != FALSE;
}

} // namespace

int runMainWindow(HINSTANCE instance, const std::wstring& className, HICON icon, WindowServices& services)
{
    Win32Host windowHost;
    MainWindow window(windowHost, services);
    host = &windowHost;
    mainWindow = &window;
    if (!registerClass(instance, className, icon) || !initInstance(instance, className)) {
        logLine("initInstance failed");
        return 0;
    }
    PostMessageW(windowHost.window, startUpMessage, 0, 0);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    mainWindow = nullptr;
    return static_cast<int>(message.wParam);
}

} // namespace rtd::ui::win32
