// A library with only some of the client library's functions, for the test of a library
// that lacks one. Its open succeeds, so a binding that called it would connect.

#include <windows.h>

extern "C" __declspec(dllexport) HRESULT WINAPI SimConnect_Open(HANDLE* handle, LPCSTR, HWND, DWORD, HANDLE, DWORD)
{
    static int connection = 0;
    *handle = &connection;
    return S_OK;
}

extern "C" __declspec(dllexport) HRESULT WINAPI SimConnect_Close(HANDLE)
{
    return S_OK;
}

extern "C" __declspec(dllexport) HRESULT WINAPI SimConnect_CallDispatch(HANDLE, void*, void*)
{
    return S_OK;
}
