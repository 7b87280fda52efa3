#pragma once
// The simulator's client interface as the traffic code calls it: the calls under the client
// library's names, their constants, and the records of the messages the simulator sends.
//
// Every call returns 0 on success and a negative value on failure. Handles are opaque. The
// calls are served by the in-process stand-in simulator (stand_in.hpp) or, on Windows, by the
// simulator's own client library (client_library.hpp says which).
//
// The records below are the library's message layouts byte for byte: each is made of 32-bit
// fields, floats and byte arrays whose sizes are multiples of 4 (InitPosition: six doubles,
// then two 32-bit fields), so no packing leaves a gap in any of them; the static_asserts pin
// every size and offset the program reads to the published figures.

#include <cstddef>
#include <cstdint>

namespace rtd::sim {

using Result = std::int32_t;
inline constexpr Result ok = 0;
inline constexpr Result failed = -1;

struct Connection;              // never defined: a handle is only compared and passed on
using Handle = Connection*;     // null: no connection

// Message ids (first three 32-bit fields of every message: size, version, id).
enum RecvId : std::uint32_t {
    recvNull = 0,
    recvException = 1,
    recvOpen = 2,
    recvQuit = 3,
    recvEvent = 4,
    recvEventObjectAddRemove = 5,
    recvEventFilename = 6,
    recvEventFrame = 7,
    recvSimObjectData = 8,
    recvSimObjectDataByType = 9,
    recvAssignedObjectId = 12,
    recvClientData = 16,
};

// Exception numbers of an EXCEPTION message.
enum ExceptionId : std::uint32_t {
    exceptionUnrecognizedId = 3,
    exceptionVersionMismatch = 5,
    exceptionTooManyObjects = 11,
    exceptionInvalidDataSize = 19,
    exceptionCreateObjectFailed = 22,
    exceptionLoadFlightplanFailed = 23,
    exceptionOperationInvalidForObjectType = 24,
};

// Data types of a definition's variable. A STRINGV arrives zero-terminated, padded to 4 bytes.
enum DataType : std::uint32_t { dataInt64 = 2, dataFloat64 = 4, dataString32 = 6, dataStringV = 11 };

// How often a data request is answered.
enum Period : std::uint32_t { periodNever = 0, periodOnce = 1, periodVisualFrame = 2, periodSimFrame = 3, periodSecond = 4 };

// Object types of a by-type request and of the object added and removed events: airplanes
// and helicopters are two types.
enum ObjectType : std::uint32_t { objectTypeUser = 0, objectTypeAll = 1, objectTypeAircraft = 2, objectTypeHelicopter = 3 };

inline constexpr std::uint32_t userObject = 0;          // the user aircraft in a request
inline constexpr std::uint32_t unusedId = 0xFFFFFFFFu;  // datum id of a definition entry
inline constexpr std::uint32_t priorityHighest = 1;
inline constexpr std::size_t maxTailNumberChars = 12; // the simulator keeps no more of a tail number at creation
inline constexpr std::size_t maxAtcIdChars = 10;      // and its "ATC ID" variable reads back no more of it

struct RecvHeader {
    std::uint32_t size;
    std::uint32_t version;
    std::uint32_t id;
};

// Each record starts with its header (records are composed, so that every one keeps the
// standard layout the offsets below rely on).
struct RecvException {
    RecvHeader header;
    std::uint32_t exception;
    std::uint32_t sendId; // packet id of the failed call
    std::uint32_t index;
};

struct RecvOpen {
    RecvHeader header;
    char applicationName[256];
    std::uint32_t applicationVersionMajor;
    std::uint32_t applicationVersionMinor;
    std::uint32_t applicationBuildMajor;
    std::uint32_t applicationBuildMinor;
    std::uint32_t simConnectVersionMajor;
    std::uint32_t simConnectVersionMinor;
    std::uint32_t simConnectBuildMajor;
    std::uint32_t simConnectBuildMinor;
    std::uint32_t reserved1;
    std::uint32_t reserved2;
};

struct RecvEvent {
    RecvHeader header;
    std::uint32_t groupId;
    std::uint32_t eventId;
    std::uint32_t data;
};

struct RecvEventFrame {
    RecvEvent event;
    float frameRate;
    float simSpeed;
};

struct RecvEventObjectAddRemove {
    RecvEvent event;
    std::uint32_t objectType;
};

struct RecvEventFilename {
    RecvEvent event;
    char fileName[260];
    std::uint32_t flags;
};

// SIMOBJECT_DATA and SIMOBJECT_DATA_BYTYPE: the definition's fields follow at `data`.
struct RecvSimObjectData {
    RecvHeader header;
    std::uint32_t requestId;
    std::uint32_t objectId;
    std::uint32_t defineId;
    std::uint32_t flags;
    std::uint32_t entryNumber; // 1-based within a by-type answer
    std::uint32_t outOf;
    std::uint32_t defineCount;
    std::uint32_t data;
};

struct InitPosition {
    double latitude;  // degrees
    double longitude; // degrees
    double altitude;  // feet
    double pitch;     // degrees
    double bank;      // degrees
    double heading;   // degrees
    std::uint32_t onGround;
    std::uint32_t airspeed; // knots
};

static_assert(sizeof(RecvHeader) == 12 && offsetof(RecvHeader, id) == 8);
static_assert(sizeof(RecvException) == 24 && offsetof(RecvException, exception) == 12 &&
              offsetof(RecvException, sendId) == 16 && offsetof(RecvException, index) == 20);
static_assert(offsetof(RecvOpen, applicationName) == 12 && offsetof(RecvOpen, applicationVersionMajor) == 268 &&
              offsetof(RecvOpen, applicationBuildMinor) == 280 && sizeof(RecvOpen) == 308);
static_assert(sizeof(RecvEvent) == 24 && offsetof(RecvEvent, groupId) == 12 && offsetof(RecvEvent, eventId) == 16 &&
              offsetof(RecvEvent, data) == 20);
static_assert(offsetof(RecvEventFrame, frameRate) == 24 && sizeof(RecvEventFrame) == 32);
static_assert(offsetof(RecvEventObjectAddRemove, objectType) == 24 && sizeof(RecvEventObjectAddRemove) == 28);
static_assert(offsetof(RecvEventFilename, fileName) == 24 && sizeof(RecvEventFilename) == 288);
static_assert(offsetof(RecvSimObjectData, requestId) == 12 && offsetof(RecvSimObjectData, objectId) == 16 &&
              offsetof(RecvSimObjectData, defineId) == 20 && offsetof(RecvSimObjectData, entryNumber) == 28 &&
              offsetof(RecvSimObjectData, data) == 40);
static_assert(offsetof(InitPosition, heading) == 40 && offsetof(InitPosition, onGround) == 48 &&
              offsetof(InitPosition, airspeed) == 52 && sizeof(InitPosition) == 56);

using DispatchProc = void (*)(const RecvHeader* message, std::uint32_t size, void* context);

// The calls, under the client library's names. They live in this namespace so that they never
// meet the library's own declarations of the same names.
Result SimConnect_Open(Handle* handle, const char* name, void* window, std::uint32_t userEventId, void* eventHandle,
                       std::uint32_t configIndex);
Result SimConnect_Close(Handle handle);
Result SimConnect_CallDispatch(Handle handle, DispatchProc proc, void* context);
Result SimConnect_SubscribeToSystemEvent(Handle handle, std::uint32_t eventId, const char* eventName);
Result SimConnect_UnsubscribeFromSystemEvent(Handle handle, std::uint32_t eventId);
Result SimConnect_AddToDataDefinition(Handle handle, std::uint32_t defineId, const char* datumName,
                                      const char* unitsName, std::uint32_t datumType, float epsilon,
                                      std::uint32_t datumId);
Result SimConnect_ClearDataDefinition(Handle handle, std::uint32_t defineId);
Result SimConnect_MapClientEventToSimEvent(Handle handle, std::uint32_t eventId, const char* eventName);
Result SimConnect_AddClientEventToNotificationGroup(Handle handle, std::uint32_t groupId, std::uint32_t eventId,
                                                    bool maskable);
Result SimConnect_SetNotificationGroupPriority(Handle handle, std::uint32_t groupId, std::uint32_t priority);
Result SimConnect_RequestDataOnSimObject(Handle handle, std::uint32_t requestId, std::uint32_t defineId,
                                         std::uint32_t objectId, std::uint32_t period, std::uint32_t flags = 0,
                                         std::uint32_t origin = 0, std::uint32_t interval = 0,
                                         std::uint32_t limit = 0);
Result SimConnect_RequestDataOnSimObjectType(Handle handle, std::uint32_t requestId, std::uint32_t defineId,
                                             std::uint32_t radiusMetres, std::uint32_t objectType);
Result SimConnect_SetDataOnSimObject(Handle handle, std::uint32_t defineId, std::uint32_t objectId,
                                     std::uint32_t flags, std::uint32_t arrayCount, std::uint32_t unitSize,
                                     const void* data);
Result SimConnect_TransmitClientEvent(Handle handle, std::uint32_t objectId, std::uint32_t eventId,
                                      std::uint32_t data, std::uint32_t groupId, std::uint32_t flags);
Result SimConnect_AIReleaseControl(Handle handle, std::uint32_t objectId, std::uint32_t requestId);
Result SimConnect_AICreateNonATCAircraft(Handle handle, const char* containerTitle, const char* tailNumber,
                                         InitPosition position, std::uint32_t requestId);
Result SimConnect_AIRemoveObject(Handle handle, std::uint32_t objectId, std::uint32_t requestId);
Result SimConnect_AISetAircraftFlightPlan(Handle handle, std::uint32_t objectId, const char* flightPlanPath,
                                          std::uint32_t requestId);
Result SimConnect_GetLastSentPacketID(Handle handle, std::uint32_t* packetId);

} // namespace rtd::sim
