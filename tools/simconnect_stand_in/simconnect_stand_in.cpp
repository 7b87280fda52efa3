// SimConnect.dll for tests: the stand-in simulator behind the client library's exported
// functions, with the library's names, signatures and layouts (library_abi.hpp). The program
// loads it exactly as it loads the simulator's own library. Like the program's in-process
// stand-in it runs free, scripted by $RAMPTIDE_SIM_SCENARIO and recording into
// $RAMPTIDE_SIM_RECORD (calls.log, state.json, track.csv). A test tool: never installed with
// the program.

#include "platform/platform.hpp"
#include "simulator/stand_in.hpp"
#include "simulator/win32/library_abi.hpp"

#include <type_traits>

namespace sim = rtd::sim;
namespace library = rtd::sim::library;

namespace {

HRESULT hresultOf(sim::Result result)
{
    return result == sim::ok ? S_OK : E_FAIL;
}

sim::Handle fromLibrary(HANDLE handle)
{
    return reinterpret_cast<sim::Handle>(handle);
}

// What the stand-in hands its messages to, passed on to the client's callback.
struct ClientCallback {
    library::DispatchCallback callback;
    void* context;
};

void forward(const sim::RecvHeader* message, std::uint32_t size, void* context)
{
    const auto* client = static_cast<const ClientCallback*>(context);
    client->callback(const_cast<sim::RecvHeader*>(message), size, client->context);
}

} // namespace

#define RTD_EXPORT extern "C" __declspec(dllexport)

RTD_EXPORT HRESULT WINAPI SimConnect_Open(HANDLE* handle, LPCSTR name, HWND, DWORD, HANDLE, DWORD)
{
    sim::Handle connection = nullptr;
    const sim::Result result = sim::standIn().open(handle == nullptr ? nullptr : &connection, name);
    if (result == sim::ok)
        *handle = reinterpret_cast<HANDLE>(connection);
    return hresultOf(result);
}

RTD_EXPORT HRESULT WINAPI SimConnect_Close(HANDLE handle)
{
    return hresultOf(sim::standIn().close(fromLibrary(handle)));
}

RTD_EXPORT HRESULT WINAPI SimConnect_CallDispatch(HANDLE handle, library::DispatchCallback callback, void* context)
{
    if (callback == nullptr)
        return E_FAIL;
    ClientCallback client{callback, context};
    return hresultOf(sim::standIn().callDispatch(fromLibrary(handle), forward, &client));
}

RTD_EXPORT HRESULT WINAPI SimConnect_SubscribeToSystemEvent(HANDLE handle, DWORD eventId, const char* name)
{
    return hresultOf(sim::standIn().subscribe(fromLibrary(handle), eventId, name));
}

RTD_EXPORT HRESULT WINAPI SimConnect_UnsubscribeFromSystemEvent(HANDLE handle, DWORD eventId)
{
    return hresultOf(sim::standIn().unsubscribe(fromLibrary(handle), eventId));
}

RTD_EXPORT HRESULT WINAPI SimConnect_AddToDataDefinition(HANDLE handle, DWORD defineId, const char* datumName,
                                                         const char* unitsName, DWORD datumType, float, DWORD)
{
    return hresultOf(sim::standIn().addToDefinition(fromLibrary(handle), defineId, datumName, unitsName, datumType));
}

RTD_EXPORT HRESULT WINAPI SimConnect_ClearDataDefinition(HANDLE handle, DWORD defineId)
{
    return hresultOf(sim::standIn().clearDefinition(fromLibrary(handle), defineId));
}

RTD_EXPORT HRESULT WINAPI SimConnect_MapClientEventToSimEvent(HANDLE handle, DWORD eventId, const char* eventName)
{
    return hresultOf(sim::standIn().mapClientEvent(fromLibrary(handle), eventId, eventName));
}

RTD_EXPORT HRESULT WINAPI SimConnect_AddClientEventToNotificationGroup(HANDLE handle, DWORD groupId, DWORD eventId,
                                                                       BOOL maskable)
{
    return hresultOf(sim::standIn().addToGroup(fromLibrary(handle), groupId, eventId, maskable != FALSE));
}

RTD_EXPORT HRESULT WINAPI SimConnect_SetNotificationGroupPriority(HANDLE handle, DWORD groupId, DWORD priority)
{
    return hresultOf(sim::standIn().setGroupPriority(fromLibrary(handle), groupId, priority));
}

RTD_EXPORT HRESULT WINAPI SimConnect_RequestDataOnSimObject(HANDLE handle, DWORD requestId, DWORD defineId,
                                                            DWORD objectId, DWORD period, DWORD, DWORD, DWORD, DWORD)
{
    return hresultOf(sim::standIn().requestData(fromLibrary(handle), requestId, defineId, objectId, period));
}

RTD_EXPORT HRESULT WINAPI SimConnect_RequestDataOnSimObjectType(HANDLE handle, DWORD requestId, DWORD defineId,
                                                                DWORD radiusMeters, DWORD objectType)
{
    return hresultOf(sim::standIn().requestDataByType(fromLibrary(handle), requestId, defineId, radiusMeters, objectType));
}

RTD_EXPORT HRESULT WINAPI SimConnect_SetDataOnSimObject(HANDLE handle, DWORD defineId, DWORD objectId, DWORD, DWORD,
                                                        DWORD unitSize, void* data)
{
    return hresultOf(sim::standIn().setData(fromLibrary(handle), defineId, objectId, unitSize, data));
}

RTD_EXPORT HRESULT WINAPI SimConnect_TransmitClientEvent(HANDLE handle, DWORD objectId, DWORD eventId, DWORD data,
                                                         DWORD groupId, DWORD)
{
    return hresultOf(sim::standIn().transmitClientEvent(fromLibrary(handle), objectId, eventId, data, groupId));
}

RTD_EXPORT HRESULT WINAPI SimConnect_AIReleaseControl(HANDLE handle, DWORD objectId, DWORD requestId)
{
    return hresultOf(sim::standIn().releaseControl(fromLibrary(handle), objectId, requestId));
}

RTD_EXPORT HRESULT WINAPI SimConnect_AICreateNonATCAircraft(HANDLE handle, const char* containerTitle,
                                                            const char* tailNumber, sim::InitPosition initPosition,
                                                            DWORD requestId)
{
    return hresultOf(
        sim::standIn().createAircraft(fromLibrary(handle), containerTitle, tailNumber, initPosition, requestId));
}

RTD_EXPORT HRESULT WINAPI SimConnect_AIRemoveObject(HANDLE handle, DWORD objectId, DWORD requestId)
{
    return hresultOf(sim::standIn().removeObject(fromLibrary(handle), objectId, requestId));
}

RTD_EXPORT HRESULT WINAPI SimConnect_AISetAircraftFlightPlan(HANDLE handle, DWORD objectId, const char* flightPlanPath,
                                                             DWORD requestId)
{
    return hresultOf(sim::standIn().setFlightPlan(fromLibrary(handle), objectId, flightPlanPath, requestId));
}

RTD_EXPORT HRESULT WINAPI SimConnect_GetLastSentPacketID(HANDLE handle, DWORD* sendId)
{
    std::uint32_t packetId = 0;
    const sim::Result result = sim::standIn().lastSentPacketId(fromLibrary(handle), sendId == nullptr ? nullptr : &packetId);
    if (result == sim::ok)
        *sendId = packetId;
    return hresultOf(result);
}

// The exports have exactly the types the program's binding resolves them as.
static_assert(std::is_same_v<decltype(&::SimConnect_Open), library::Open>);
static_assert(std::is_same_v<decltype(&::SimConnect_Close), library::Close>);
static_assert(std::is_same_v<decltype(&::SimConnect_CallDispatch), library::CallDispatch>);
static_assert(std::is_same_v<decltype(&::SimConnect_SubscribeToSystemEvent), library::SubscribeToSystemEvent>);
static_assert(std::is_same_v<decltype(&::SimConnect_UnsubscribeFromSystemEvent), library::UnsubscribeFromSystemEvent>);
static_assert(std::is_same_v<decltype(&::SimConnect_AddToDataDefinition), library::AddToDataDefinition>);
static_assert(std::is_same_v<decltype(&::SimConnect_ClearDataDefinition), library::ClearDataDefinition>);
static_assert(std::is_same_v<decltype(&::SimConnect_MapClientEventToSimEvent), library::MapClientEventToSimEvent>);
static_assert(std::is_same_v<decltype(&::SimConnect_AddClientEventToNotificationGroup),
                             library::AddClientEventToNotificationGroup>);
static_assert(
    std::is_same_v<decltype(&::SimConnect_SetNotificationGroupPriority), library::SetNotificationGroupPriority>);
static_assert(std::is_same_v<decltype(&::SimConnect_RequestDataOnSimObject), library::RequestDataOnSimObject>);
static_assert(std::is_same_v<decltype(&::SimConnect_RequestDataOnSimObjectType), library::RequestDataOnSimObjectType>);
static_assert(std::is_same_v<decltype(&::SimConnect_SetDataOnSimObject), library::SetDataOnSimObject>);
static_assert(std::is_same_v<decltype(&::SimConnect_TransmitClientEvent), library::TransmitClientEvent>);
static_assert(std::is_same_v<decltype(&::SimConnect_AIReleaseControl), library::AIReleaseControl>);
static_assert(std::is_same_v<decltype(&::SimConnect_AICreateNonATCAircraft), library::AICreateNonATCAircraft>);
static_assert(std::is_same_v<decltype(&::SimConnect_AIRemoveObject), library::AIRemoveObject>);
static_assert(std::is_same_v<decltype(&::SimConnect_AISetAircraftFlightPlan), library::AISetAircraftFlightPlan>);
static_assert(std::is_same_v<decltype(&::SimConnect_GetLastSentPacketID), library::GetLastSentPacketID>);
