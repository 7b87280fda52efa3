#pragma once
// The simulator's client library as it exports its functions, declared from its published
// documentation: every function returns an HRESULT (success is SUCCEEDED), takes the
// connection as an opaque HANDLE, its ids, periods, flags and data types as 32-bit values
// (DWORD), BOOL where it takes a truth value, and the initial position by value in the
// layout of InitPosition. The dispatch callback is CALLBACK (__stdcall: the same convention
// as the C one on x64, named so the declarations read as the library's).

#include "simulator/simconnect.hpp"

#include <windows.h>

namespace rtd::sim::library {

inline constexpr const wchar_t* fileName = L"SimConnect.dll";

// The callback receives the message and the size of its buffer in bytes.
using DispatchCallback = void(CALLBACK*)(RecvHeader* data, DWORD size, void* context);

using Open = HRESULT(WINAPI*)(HANDLE* handle, LPCSTR name, HWND window, DWORD userEventWin32, HANDLE eventHandle,
                              DWORD configIndex);
using Close = HRESULT(WINAPI*)(HANDLE handle);
using CallDispatch = HRESULT(WINAPI*)(HANDLE handle, DispatchCallback callback, void* context);
using SubscribeToSystemEvent = HRESULT(WINAPI*)(HANDLE handle, DWORD eventId, const char* systemEventName);
using UnsubscribeFromSystemEvent = HRESULT(WINAPI*)(HANDLE handle, DWORD eventId);
using AddToDataDefinition = HRESULT(WINAPI*)(HANDLE handle, DWORD defineId, const char* datumName,
                                             const char* unitsName, DWORD datumType, float epsilon, DWORD datumId);
using ClearDataDefinition = HRESULT(WINAPI*)(HANDLE handle, DWORD defineId);
using MapClientEventToSimEvent = HRESULT(WINAPI*)(HANDLE handle, DWORD eventId, const char* eventName);
using AddClientEventToNotificationGroup = HRESULT(WINAPI*)(HANDLE handle, DWORD groupId, DWORD eventId,
                                                           BOOL maskable);
using SetNotificationGroupPriority = HRESULT(WINAPI*)(HANDLE handle, DWORD groupId, DWORD priority);
using RequestDataOnSimObject = HRESULT(WINAPI*)(HANDLE handle, DWORD requestId, DWORD defineId, DWORD objectId,
                                                DWORD period, DWORD flags, DWORD origin, DWORD interval,
                                                DWORD limit);
using RequestDataOnSimObjectType = HRESULT(WINAPI*)(HANDLE handle, DWORD requestId, DWORD defineId,
                                                    DWORD radiusMeters, DWORD objectType);
using SetDataOnSimObject = HRESULT(WINAPI*)(HANDLE handle, DWORD defineId, DWORD objectId, DWORD flags,
                                            DWORD arrayCount, DWORD unitSize, void* data);
using TransmitClientEvent = HRESULT(WINAPI*)(HANDLE handle, DWORD objectId, DWORD eventId, DWORD data,
                                             DWORD groupId, DWORD flags);
using AIReleaseControl = HRESULT(WINAPI*)(HANDLE handle, DWORD objectId, DWORD requestId);
using AICreateNonATCAircraft = HRESULT(WINAPI*)(HANDLE handle, const char* containerTitle, const char* tailNumber,
                                                InitPosition initPosition, DWORD requestId);
using AIRemoveObject = HRESULT(WINAPI*)(HANDLE handle, DWORD objectId, DWORD requestId);
using AISetAircraftFlightPlan = HRESULT(WINAPI*)(HANDLE handle, DWORD objectId, const char* flightPlanPath,
                                                 DWORD requestId);
using GetLastSentPacketID = HRESULT(WINAPI*)(HANDLE handle, DWORD* sendId);

static_assert(sizeof(DWORD) == sizeof(std::uint32_t) && sizeof(HANDLE) == sizeof(Handle));

} // namespace rtd::sim::library
