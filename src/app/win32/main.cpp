// The Windows entry and the main window's message loop.

#include "app/program.hpp"

#include "resource.h"

#include <windows.h>

namespace {

constexpr int windowWidth = 880;
constexpr int windowHeight = 488;

LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        rtd::app::finishRun();
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

int rtd::app::runApplication()
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    wchar_t title[100] = {};
    LoadStringW(instance, IDS_APP_TITLE, title, 100);

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = WndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_RAMPTIDE));
    windowClass.hIconSm = windowClass.hIcon;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = CreateSolidBrush(RGB(0, 0, 0));
    windowClass.lpszClassName = title;
    RegisterClassExW(&windowClass);

    HWND window = CreateWindowExW(0, title, title, WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT, CW_USEDEFAULT,
                                  windowWidth, windowHeight, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 0;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    return rtd::app::runProgram();
}
