// close-window TITLE [SECONDS]: waits up to SECONDS (default 30) for a top-level window
// with the given title and posts WM_CLOSE to it. Exit code 0 when posted, 1 otherwise.

#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 2;
    const int seconds = argc > 2 ? std::wcstol(argv[2], nullptr, 10) : 30;
    for (int waited = 0; waited < seconds * 10; ++waited) {
        if (HWND window = FindWindowW(nullptr, argv[1]))
            return PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
        Sleep(100);
    }
    return 1;
}
