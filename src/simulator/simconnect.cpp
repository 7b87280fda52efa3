// The client calls: to the platform's client library when the program talks to one, else to
// the in-process stand-in.

#include "simulator/simconnect.hpp"

#include "simulator/client_library.hpp"
#include "simulator/stand_in.hpp"

namespace rtd::sim {

namespace {

ClientLibrary* library()
{
    static ClientLibrary* const chosen = platformClientLibrary();
    return chosen != nullptr && !standInInstalled() ? chosen : nullptr;
}

} // namespace

std::string simulatorChoiceText()
{
    return standInInstalled() ? std::string("Simulator: the stand-in installed by a test") : platformChoiceText();
}

Result SimConnect_Open(Handle* handle, const char* name, void* window, std::uint32_t userEventId, void* eventHandle,
                       std::uint32_t configIndex)
{
    if (ClientLibrary* l = library())
        return l->open(handle, name, window, userEventId, eventHandle, configIndex);
    return standIn().open(handle, name);
}

Result SimConnect_Close(Handle handle)
{
    if (ClientLibrary* l = library())
        return l->close(handle);
    return standIn().close(handle);
}

Result SimConnect_CallDispatch(Handle handle, DispatchProc proc, void* context)
{
    if (ClientLibrary* l = library())
        return l->callDispatch(handle, proc, context);
    return standIn().callDispatch(handle, proc, context);
}

Result SimConnect_SubscribeToSystemEvent(Handle handle, std::uint32_t eventId, const char* eventName)
{
    if (ClientLibrary* l = library())
        return l->subscribeToSystemEvent(handle, eventId, eventName);
    return standIn().subscribe(handle, eventId, eventName);
}

Result SimConnect_UnsubscribeFromSystemEvent(Handle handle, std::uint32_t eventId)
{
    if (ClientLibrary* l = library())
        return l->unsubscribeFromSystemEvent(handle, eventId);
    return standIn().unsubscribe(handle, eventId);
}

Result SimConnect_AddToDataDefinition(Handle handle, std::uint32_t defineId, const char* datumName,
                                      const char* unitsName, std::uint32_t datumType, float epsilon,
                                      std::uint32_t datumId)
{
    if (ClientLibrary* l = library())
        return l->addToDataDefinition(handle, defineId, datumName, unitsName, datumType, epsilon, datumId);
    return standIn().addToDefinition(handle, defineId, datumName, unitsName, datumType);
}

Result SimConnect_ClearDataDefinition(Handle handle, std::uint32_t defineId)
{
    if (ClientLibrary* l = library())
        return l->clearDataDefinition(handle, defineId);
    return standIn().clearDefinition(handle, defineId);
}

Result SimConnect_MapClientEventToSimEvent(Handle handle, std::uint32_t eventId, const char* eventName)
{
    if (ClientLibrary* l = library())
        return l->mapClientEventToSimEvent(handle, eventId, eventName);
    return standIn().mapClientEvent(handle, eventId, eventName);
}

Result SimConnect_AddClientEventToNotificationGroup(Handle handle, std::uint32_t groupId, std::uint32_t eventId,
                                                    bool maskable)
{
    if (ClientLibrary* l = library())
        return l->addClientEventToNotificationGroup(handle, groupId, eventId, maskable);
    return standIn().addToGroup(handle, groupId, eventId, maskable);
}

Result SimConnect_SetNotificationGroupPriority(Handle handle, std::uint32_t groupId, std::uint32_t priority)
{
    if (ClientLibrary* l = library())
        return l->setNotificationGroupPriority(handle, groupId, priority);
    return standIn().setGroupPriority(handle, groupId, priority);
}

Result SimConnect_RequestDataOnSimObject(Handle handle, std::uint32_t requestId, std::uint32_t defineId,
                                         std::uint32_t objectId, std::uint32_t period, std::uint32_t flags,
                                         std::uint32_t origin, std::uint32_t interval, std::uint32_t limit)
{
    if (ClientLibrary* l = library())
        return l->requestDataOnSimObject(handle, requestId, defineId, objectId, period, flags, origin, interval,
                                         limit);
    return standIn().requestData(handle, requestId, defineId, objectId, period);
}

Result SimConnect_RequestDataOnSimObjectType(Handle handle, std::uint32_t requestId, std::uint32_t defineId,
                                             std::uint32_t radiusMetres, std::uint32_t objectType)
{
    if (ClientLibrary* l = library())
        return l->requestDataOnSimObjectType(handle, requestId, defineId, radiusMetres, objectType);
    return standIn().requestDataByType(handle, requestId, defineId, radiusMetres, objectType);
}

Result SimConnect_SetDataOnSimObject(Handle handle, std::uint32_t defineId, std::uint32_t objectId,
                                     std::uint32_t flags, std::uint32_t arrayCount, std::uint32_t unitSize,
                                     const void* data)
{
    if (ClientLibrary* l = library())
        return l->setDataOnSimObject(handle, defineId, objectId, flags, arrayCount, unitSize, data);
    return standIn().setData(handle, defineId, objectId, unitSize, data);
}

Result SimConnect_TransmitClientEvent(Handle handle, std::uint32_t objectId, std::uint32_t eventId,
                                      std::uint32_t data, std::uint32_t groupId, std::uint32_t flags)
{
    if (ClientLibrary* l = library())
        return l->transmitClientEvent(handle, objectId, eventId, data, groupId, flags);
    return standIn().transmitClientEvent(handle, objectId, eventId, data, groupId);
}

Result SimConnect_AIReleaseControl(Handle handle, std::uint32_t objectId, std::uint32_t requestId)
{
    if (ClientLibrary* l = library())
        return l->aiReleaseControl(handle, objectId, requestId);
    return standIn().releaseControl(handle, objectId, requestId);
}

Result SimConnect_AICreateNonATCAircraft(Handle handle, const char* containerTitle, const char* tailNumber,
                                         InitPosition position, std::uint32_t requestId)
{
    if (ClientLibrary* l = library())
        return l->aiCreateNonATCAircraft(handle, containerTitle, tailNumber, position, requestId);
    return standIn().createAircraft(handle, containerTitle, tailNumber, position, requestId);
}

Result SimConnect_AIRemoveObject(Handle handle, std::uint32_t objectId, std::uint32_t requestId)
{
    if (ClientLibrary* l = library())
        return l->aiRemoveObject(handle, objectId, requestId);
    return standIn().removeObject(handle, objectId, requestId);
}

Result SimConnect_AISetAircraftFlightPlan(Handle handle, std::uint32_t objectId, const char* flightPlanPath,
                                          std::uint32_t requestId)
{
    if (ClientLibrary* l = library())
        return l->aiSetAircraftFlightPlan(handle, objectId, flightPlanPath, requestId);
    return standIn().setFlightPlan(handle, objectId, flightPlanPath, requestId);
}

Result SimConnect_GetLastSentPacketID(Handle handle, std::uint32_t* packetId)
{
    if (ClientLibrary* l = library())
        return l->getLastSentPacketId(handle, packetId);
    return standIn().lastSentPacketId(handle, packetId);
}

} // namespace rtd::sim
