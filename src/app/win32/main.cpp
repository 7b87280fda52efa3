// The Windows entry: the main window and its message loop.

#include "app/life_services.hpp"
#include "app/program.hpp"

#include "resource.h"
#include "ui/win32/win32_window.hpp"

#include <windows.h>

int rtd::app::runApplication()
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    wchar_t title[100] = {};
    LoadStringW(instance, IDS_APP_TITLE, title, 100);
    app::LifeServices services;
    return ui::win32::runMainWindow(instance, title, LoadIconW(instance, MAKEINTRESOURCEW(IDI_RAMPTIDE)), services);
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    return rtd::app::runProgram();
}
