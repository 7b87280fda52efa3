#pragma once
// Which simulator serves the calls of simconnect.hpp. On Windows the simulator's own client
// library, SimConnect.dll, loaded at run time; the in-process stand-in instead when the
// environment variable RAMPTIDE_SIM is "stand-in" (the tests and the demo set it) or when a
// test has installed a stand-in. Elsewhere always the in-process stand-in.

#include "simulator/simconnect.hpp"

#include <string>

namespace rtd::sim {

// The calls as a client library serves them: the arguments of simconnect.hpp, the result
// mapped to `ok` or `failed`.
class ClientLibrary {
public:
    virtual ~ClientLibrary() = default;
    virtual Result open(Handle* handle, const char* name, void* window, std::uint32_t userEventId,
                        void* eventHandle, std::uint32_t configIndex) = 0;
    virtual Result close(Handle handle) = 0;
    virtual Result callDispatch(Handle handle, DispatchProc proc, void* context) = 0;
    virtual Result subscribeToSystemEvent(Handle handle, std::uint32_t eventId, const char* eventName) = 0;
    virtual Result unsubscribeFromSystemEvent(Handle handle, std::uint32_t eventId) = 0;
    virtual Result addToDataDefinition(Handle handle, std::uint32_t defineId, const char* datumName,
                                       const char* unitsName, std::uint32_t datumType, float epsilon,
                                       std::uint32_t datumId) = 0;
    virtual Result clearDataDefinition(Handle handle, std::uint32_t defineId) = 0;
    virtual Result mapClientEventToSimEvent(Handle handle, std::uint32_t eventId, const char* eventName) = 0;
    virtual Result addClientEventToNotificationGroup(Handle handle, std::uint32_t groupId, std::uint32_t eventId,
                                                     bool maskable) = 0;
    virtual Result setNotificationGroupPriority(Handle handle, std::uint32_t groupId, std::uint32_t priority) = 0;
    virtual Result requestDataOnSimObject(Handle handle, std::uint32_t requestId, std::uint32_t defineId,
                                          std::uint32_t objectId, std::uint32_t period, std::uint32_t flags,
                                          std::uint32_t origin, std::uint32_t interval, std::uint32_t limit) = 0;
    virtual Result requestDataOnSimObjectType(Handle handle, std::uint32_t requestId, std::uint32_t defineId,
                                              std::uint32_t radiusMetres, std::uint32_t objectType) = 0;
    virtual Result setDataOnSimObject(Handle handle, std::uint32_t defineId, std::uint32_t objectId,
                                      std::uint32_t flags, std::uint32_t arrayCount, std::uint32_t unitSize,
                                      const void* data) = 0;
    virtual Result transmitClientEvent(Handle handle, std::uint32_t objectId, std::uint32_t eventId,
                                       std::uint32_t data, std::uint32_t groupId, std::uint32_t flags) = 0;
    virtual Result aiReleaseControl(Handle handle, std::uint32_t objectId, std::uint32_t requestId) = 0;
    virtual Result aiCreateNonATCAircraft(Handle handle, const char* containerTitle, const char* tailNumber,
                                          InitPosition position, std::uint32_t requestId) = 0;
    virtual Result aiRemoveObject(Handle handle, std::uint32_t objectId, std::uint32_t requestId) = 0;
    virtual Result aiSetAircraftFlightPlan(Handle handle, std::uint32_t objectId, const char* flightPlanPath,
                                           std::uint32_t requestId) = 0;
    virtual Result getLastSentPacketId(Handle handle, std::uint32_t* packetId) = 0;
};

// The platform's client library when the program talks to it; null when the in-process
// stand-in serves the calls. Decided on the first call, from the environment.
ClientLibrary* platformClientLibrary();

// One line for the log saying which simulator the calls go to.
std::string simulatorChoiceText();
// The platform's part of it, when no test has installed a stand-in.
std::string platformChoiceText();

// Frees the client library. Only once no thread can call it again: at the end of the
// program, after the simulator thread has ended.
void releaseClientLibrary();

} // namespace rtd::sim
