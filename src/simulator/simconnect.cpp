// The client calls, served by the installed stand-in simulator.

#include "simulator/simconnect.hpp"

#include "simulator/stand_in.hpp"

namespace rtd::sim {

Result SimConnect_Open(Handle* handle, const char* name, void*, std::uint32_t, void*, std::uint32_t)
{
    return standIn().open(handle, name);
}

Result SimConnect_Close(Handle handle)
{
    return standIn().close(handle);
}

Result SimConnect_CallDispatch(Handle handle, DispatchProc proc, void* context)
{
    return standIn().callDispatch(handle, proc, context);
}

Result SimConnect_SubscribeToSystemEvent(Handle handle, std::uint32_t eventId, const char* eventName)
{
    return standIn().subscribe(handle, eventId, eventName);
}

Result SimConnect_UnsubscribeFromSystemEvent(Handle handle, std::uint32_t eventId)
{
    return standIn().unsubscribe(handle, eventId);
}

Result SimConnect_AddToDataDefinition(Handle handle, std::uint32_t defineId, const char* datumName,
                                      const char* unitsName, std::uint32_t datumType, float, std::uint32_t)
{
    return standIn().addToDefinition(handle, defineId, datumName, unitsName, datumType);
}

Result SimConnect_ClearDataDefinition(Handle handle, std::uint32_t defineId)
{
    return standIn().clearDefinition(handle, defineId);
}

Result SimConnect_MapClientEventToSimEvent(Handle handle, std::uint32_t eventId, const char* eventName)
{
    return standIn().mapClientEvent(handle, eventId, eventName);
}

Result SimConnect_AddClientEventToNotificationGroup(Handle handle, std::uint32_t groupId, std::uint32_t eventId,
                                                    bool maskable)
{
    return standIn().addToGroup(handle, groupId, eventId, maskable);
}

Result SimConnect_SetNotificationGroupPriority(Handle handle, std::uint32_t groupId, std::uint32_t priority)
{
    return standIn().setGroupPriority(handle, groupId, priority);
}

Result SimConnect_RequestDataOnSimObject(Handle handle, std::uint32_t requestId, std::uint32_t defineId,
                                         std::uint32_t objectId, std::uint32_t period, std::uint32_t, std::uint32_t,
                                         std::uint32_t, std::uint32_t)
{
    return standIn().requestData(handle, requestId, defineId, objectId, period);
}

Result SimConnect_RequestDataOnSimObjectType(Handle handle, std::uint32_t requestId, std::uint32_t defineId,
                                             std::uint32_t radiusMetres, std::uint32_t objectType)
{
    return standIn().requestDataByType(handle, requestId, defineId, radiusMetres, objectType);
}

Result SimConnect_SetDataOnSimObject(Handle handle, std::uint32_t defineId, std::uint32_t objectId, std::uint32_t,
                                     std::uint32_t, std::uint32_t unitSize, const void* data)
{
    return standIn().setData(handle, defineId, objectId, unitSize, data);
}

Result SimConnect_TransmitClientEvent(Handle handle, std::uint32_t objectId, std::uint32_t eventId,
                                      std::uint32_t data, std::uint32_t groupId, std::uint32_t)
{
    return standIn().transmitClientEvent(handle, objectId, eventId, data, groupId);
}

Result SimConnect_AIReleaseControl(Handle handle, std::uint32_t objectId, std::uint32_t requestId)
{
    return standIn().releaseControl(handle, objectId, requestId);
}

Result SimConnect_AICreateNonATCAircraft(Handle handle, const char* containerTitle, const char* tailNumber,
                                         InitPosition position, std::uint32_t requestId)
{
    return standIn().createAircraft(handle, containerTitle, tailNumber, position, requestId);
}

Result SimConnect_AIRemoveObject(Handle handle, std::uint32_t objectId, std::uint32_t requestId)
{
    return standIn().removeObject(handle, objectId, requestId);
}

Result SimConnect_AISetAircraftFlightPlan(Handle handle, std::uint32_t objectId, const char* flightPlanPath,
                                          std::uint32_t requestId)
{
    return standIn().setFlightPlan(handle, objectId, flightPlanPath, requestId);
}

Result SimConnect_GetLastSentPacketID(Handle handle, std::uint32_t* packetId)
{
    return standIn().lastSentPacketId(handle, packetId);
}

} // namespace rtd::sim
