#pragma once
// The binding of the simulator's client library, SimConnect.dll, loaded at run time.

#include "simulator/client_library.hpp"
#include "simulator/win32/library_abi.hpp"

#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>

namespace rtd::sim {

// Looks for the library first in the installation folder, then by the normal DLL search,
// and resolves each of its functions by name. Until that succeeds every open fails (and is
// tried again at the next open) and every other call fails without reaching the library;
// a library without one of the functions counts as not found. Each new reason it cannot be
// used is logged once. The library stays loaded until release() or destruction.
class DllClientLibrary final : public ClientLibrary {
public:
    explicit DllClientLibrary(std::filesystem::path installFolder);
    ~DllClientLibrary() override;
    DllClientLibrary(const DllClientLibrary&) = delete;
    DllClientLibrary& operator=(const DllClientLibrary&) = delete;

    // Frees the library; only once no thread calls it any more.
    void release();

    Result open(Handle* handle, const char* name, void* window, std::uint32_t userEventId, void* eventHandle,
                std::uint32_t configIndex) override;
    Result close(Handle handle) override;
    Result callDispatch(Handle handle, DispatchProc proc, void* context) override;
    Result subscribeToSystemEvent(Handle handle, std::uint32_t eventId, const char* eventName) override;
    Result unsubscribeFromSystemEvent(Handle handle, std::uint32_t eventId) override;
    Result addToDataDefinition(Handle handle, std::uint32_t defineId, const char* datumName, const char* unitsName,
                               std::uint32_t datumType, float epsilon, std::uint32_t datumId) override;
    Result clearDataDefinition(Handle handle, std::uint32_t defineId) override;
    Result mapClientEventToSimEvent(Handle handle, std::uint32_t eventId, const char* eventName) override;
    Result addClientEventToNotificationGroup(Handle handle, std::uint32_t groupId, std::uint32_t eventId,
                                             bool maskable) override;
    Result setNotificationGroupPriority(Handle handle, std::uint32_t groupId, std::uint32_t priority) override;
    Result requestDataOnSimObject(Handle handle, std::uint32_t requestId, std::uint32_t defineId,
                                  std::uint32_t objectId, std::uint32_t period, std::uint32_t flags,
                                  std::uint32_t origin, std::uint32_t interval, std::uint32_t limit) override;
    Result requestDataOnSimObjectType(Handle handle, std::uint32_t requestId, std::uint32_t defineId,
                                      std::uint32_t radiusMetres, std::uint32_t objectType) override;
    Result setDataOnSimObject(Handle handle, std::uint32_t defineId, std::uint32_t objectId, std::uint32_t flags,
                              std::uint32_t arrayCount, std::uint32_t unitSize, const void* data) override;
    Result transmitClientEvent(Handle handle, std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data,
                               std::uint32_t groupId, std::uint32_t flags) override;
    Result aiReleaseControl(Handle handle, std::uint32_t objectId, std::uint32_t requestId) override;
    Result aiCreateNonATCAircraft(Handle handle, const char* containerTitle, const char* tailNumber,
                                  InitPosition position, std::uint32_t requestId) override;
    Result aiRemoveObject(Handle handle, std::uint32_t objectId, std::uint32_t requestId) override;
    Result aiSetAircraftFlightPlan(Handle handle, std::uint32_t objectId, const char* flightPlanPath,
                                   std::uint32_t requestId) override;
    Result getLastSentPacketId(Handle handle, std::uint32_t* packetId) override;

    struct Functions {
        library::Open open = nullptr;
        library::Close close = nullptr;
        library::CallDispatch callDispatch = nullptr;
        library::SubscribeToSystemEvent subscribeToSystemEvent = nullptr;
        library::UnsubscribeFromSystemEvent unsubscribeFromSystemEvent = nullptr;
        library::AddToDataDefinition addToDataDefinition = nullptr;
        library::ClearDataDefinition clearDataDefinition = nullptr;
        library::MapClientEventToSimEvent mapClientEventToSimEvent = nullptr;
        library::AddClientEventToNotificationGroup addClientEventToNotificationGroup = nullptr;
        library::SetNotificationGroupPriority setNotificationGroupPriority = nullptr;
        library::RequestDataOnSimObject requestDataOnSimObject = nullptr;
        library::RequestDataOnSimObjectType requestDataOnSimObjectType = nullptr;
        library::SetDataOnSimObject setDataOnSimObject = nullptr;
        library::TransmitClientEvent transmitClientEvent = nullptr;
        library::AIReleaseControl aiReleaseControl = nullptr;
        library::AICreateNonATCAircraft aiCreateNonATCAircraft = nullptr;
        library::AIRemoveObject aiRemoveObject = nullptr;
        library::AISetAircraftFlightPlan aiSetAircraftFlightPlan = nullptr;
        library::GetLastSentPacketID getLastSentPacketId = nullptr;
    };

private:
    bool load();              // under mutex_
    void report(std::string text); // under mutex_

    std::filesystem::path installFolder_;
    std::mutex mutex_;
    HMODULE module_ = nullptr;   // under mutex_
    Functions functions_;        // written before loaded_ is set, read after it
    std::atomic<bool> loaded_{false};
    std::string lastReport_;     // under mutex_
};

} // namespace rtd::sim
