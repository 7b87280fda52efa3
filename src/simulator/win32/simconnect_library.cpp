// The calls served by the simulator's client library, SimConnect.dll, on Windows.

#include "simulator/win32/simconnect_library.hpp"

#include "core/log.hpp"
#include "platform/platform.hpp"

#include <fmt/format.h>
#include <cstdlib>
#include <exception>
#include <string_view>
#include <system_error>
#include <utility>

namespace rtd::sim {

namespace {

constexpr std::string_view standInVariable = "RAMPTIDE_SIM";
constexpr std::string_view standInValue = "stand-in";

bool standInAskedFor()
{
    const char* value = std::getenv(standInVariable.data());
    return value != nullptr && standInValue == value;
}

Result resultOf(HRESULT hr)
{
    return SUCCEEDED(hr) ? ok : failed;
}

HANDLE toLibrary(Handle handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

template <typename Function>
bool resolve(HMODULE module, const char* name, Function& slot)
{
    const FARPROC address = GetProcAddress(module, name);
    if (address == nullptr)
        return false;
    slot = reinterpret_cast<Function>(reinterpret_cast<void*>(address));
    return true;
}

std::string moduleFile(HMODULE module)
{
    wchar_t buffer[MAX_PATH] = {};
    const DWORD size = GetModuleFileNameW(module, buffer, MAX_PATH);
    return size == 0 || size >= MAX_PATH ? std::string("SimConnect.dll")
                                         : platform::pathToUtf8(std::filesystem::path(buffer));
}

// What the library passes to the callback, handed on to the program's procedure.
struct DispatchTarget {
    DispatchProc proc;
    void* context;
    std::exception_ptr error;
};

void CALLBACK forwardMessage(RecvHeader* data, DWORD size, void* context)
{
    auto* target = static_cast<DispatchTarget*>(context);
    // A buffer shorter than the header holds no record; longer records are checked against
    // their own layouts by the procedure, with this same size.
    if (data == nullptr || size < sizeof(RecvHeader) || target->error)
        return;
    try {
        target->proc(data, size, target->context);
    } catch (...) {
        target->error = std::current_exception(); // never through the library's frames
    }
}

} // namespace

DllClientLibrary::DllClientLibrary(std::filesystem::path installFolder) : installFolder_(std::move(installFolder)) {}

DllClientLibrary::~DllClientLibrary()
{
    release();
}

void DllClientLibrary::release()
{
    std::lock_guard lock(mutex_);
    loaded_ = false;
    functions_ = {};
    if (module_ != nullptr)
        FreeLibrary(std::exchange(module_, nullptr));
}

void DllClientLibrary::report(std::string text)
{
    if (text == lastReport_)
        return;
    logLine(text);
    lastReport_ = std::move(text);
}

bool DllClientLibrary::load()
{
    if (loaded_)
        return true;
    const std::filesystem::path local = installFolder_ / library::fileName;
    const std::string localText = platform::pathToUtf8(local);
    const std::string folderText = platform::pathToUtf8(installFolder_);
    std::error_code error;
    const bool localExists = std::filesystem::exists(local, error);
    HMODULE module = LoadLibraryW(local.c_str());
    if (module == nullptr && localExists) {
        report(fmt::format("{} cannot be loaded (Windows error {}): it must be the 64-bit SimConnect.dll of the "
                           "simulator's SDK; replace it with that one",
                           localText, GetLastError()));
        return false;
    }
    if (module == nullptr)
        module = LoadLibraryW(library::fileName);
    if (module == nullptr) {
        report(fmt::format("SimConnect.dll not found in the installation folder {} nor on the DLL search path: "
                           "copy it from the simulator's SDK into the installation folder",
                           folderText));
        return false;
    }
    Functions f;
    const char* missing = nullptr;
    const auto need = [&](const char* name, auto& slot) {
        if (missing == nullptr && !resolve(module, name, slot))
            missing = name;
    };
    need("SimConnect_Open", f.open);
    need("SimConnect_Close", f.close);
    need("SimConnect_CallDispatch", f.callDispatch);
    need("SimConnect_SubscribeToSystemEvent", f.subscribeToSystemEvent);
    need("SimConnect_UnsubscribeFromSystemEvent", f.unsubscribeFromSystemEvent);
    need("SimConnect_AddToDataDefinition", f.addToDataDefinition);
    need("SimConnect_ClearDataDefinition", f.clearDataDefinition);
    need("SimConnect_MapClientEventToSimEvent", f.mapClientEventToSimEvent);
    need("SimConnect_AddClientEventToNotificationGroup", f.addClientEventToNotificationGroup);
    need("SimConnect_SetNotificationGroupPriority", f.setNotificationGroupPriority);
    need("SimConnect_RequestDataOnSimObject", f.requestDataOnSimObject);
    need("SimConnect_RequestDataOnSimObjectType", f.requestDataOnSimObjectType);
    need("SimConnect_SetDataOnSimObject", f.setDataOnSimObject);
    need("SimConnect_TransmitClientEvent", f.transmitClientEvent);
    need("SimConnect_AIReleaseControl", f.aiReleaseControl);
    need("SimConnect_AICreateNonATCAircraft", f.aiCreateNonATCAircraft);
    need("SimConnect_AIRemoveObject", f.aiRemoveObject);
    need("SimConnect_AISetAircraftFlightPlan", f.aiSetAircraftFlightPlan);
    need("SimConnect_GetLastSentPacketID", f.getLastSentPacketId);
    if (missing != nullptr) {
        const std::string file = moduleFile(module);
        FreeLibrary(module);
        report(fmt::format("{} has no function {}: it is not the simulator's client library; copy SimConnect.dll "
                           "from the simulator's SDK into the installation folder {}",
                           file, missing, folderText));
        return false;
    }
    module_ = module;
    functions_ = f;
    loaded_.store(true, std::memory_order_release);
    report(fmt::format("Simulator: {} loaded", moduleFile(module)));
    return true;
}

Result DllClientLibrary::open(Handle* handle, const char* name, void* window, std::uint32_t userEventId,
                              void* eventHandle, std::uint32_t configIndex)
{
    {
        std::lock_guard lock(mutex_);
        if (!load())
            return failed;
    }
    if (handle == nullptr)
        return failed;
    HANDLE connection = nullptr;
    const HRESULT hr = functions_.open(&connection, name, static_cast<HWND>(window), userEventId,
                                       static_cast<HANDLE>(eventHandle), configIndex);
    if (FAILED(hr))
        return failed;
    *handle = reinterpret_cast<Handle>(connection);
    return ok;
}

// Every other call: nothing reaches the library before it has been loaded.
#define RTD_LIBRARY_CALL(function, ...)                                                                            \
    do {                                                                                                           \
        if (!loaded_.load(std::memory_order_acquire))                                                              \
            return failed;                                                                                         \
        return resultOf(functions_.function(__VA_ARGS__));                                                         \
    } while (false)

Result DllClientLibrary::close(Handle handle)
{
    RTD_LIBRARY_CALL(close, toLibrary(handle));
}

Result DllClientLibrary::callDispatch(Handle handle, DispatchProc proc, void* context)
{
    if (!loaded_.load(std::memory_order_acquire) || proc == nullptr)
        return failed;
    DispatchTarget target{proc, context, nullptr};
    const HRESULT hr = functions_.callDispatch(toLibrary(handle), forwardMessage, &target);
    if (target.error)
        std::rethrow_exception(target.error);
    return resultOf(hr);
}

Result DllClientLibrary::subscribeToSystemEvent(Handle handle, std::uint32_t eventId, const char* eventName)
{
    RTD_LIBRARY_CALL(subscribeToSystemEvent, toLibrary(handle), eventId, eventName);
}

Result DllClientLibrary::unsubscribeFromSystemEvent(Handle handle, std::uint32_t eventId)
{
    RTD_LIBRARY_CALL(unsubscribeFromSystemEvent, toLibrary(handle), eventId);
}

Result DllClientLibrary::addToDataDefinition(Handle handle, std::uint32_t defineId, const char* datumName,
                                             const char* unitsName, std::uint32_t datumType, float epsilon,
                                             std::uint32_t datumId)
{
    RTD_LIBRARY_CALL(addToDataDefinition, toLibrary(handle), defineId, datumName, unitsName, datumType, epsilon,
                     datumId);
}

Result DllClientLibrary::clearDataDefinition(Handle handle, std::uint32_t defineId)
{
    RTD_LIBRARY_CALL(clearDataDefinition, toLibrary(handle), defineId);
}

Result DllClientLibrary::mapClientEventToSimEvent(Handle handle, std::uint32_t eventId, const char* eventName)
{
    RTD_LIBRARY_CALL(mapClientEventToSimEvent, toLibrary(handle), eventId, eventName);
}

Result DllClientLibrary::addClientEventToNotificationGroup(Handle handle, std::uint32_t groupId,
                                                           std::uint32_t eventId, bool maskable)
{
    RTD_LIBRARY_CALL(addClientEventToNotificationGroup, toLibrary(handle), groupId, eventId, maskable ? TRUE : FALSE);
}

Result DllClientLibrary::setNotificationGroupPriority(Handle handle, std::uint32_t groupId, std::uint32_t priority)
{
    RTD_LIBRARY_CALL(setNotificationGroupPriority, toLibrary(handle), groupId, priority);
}

Result DllClientLibrary::requestDataOnSimObject(Handle handle, std::uint32_t requestId, std::uint32_t defineId,
                                                std::uint32_t objectId, std::uint32_t period, std::uint32_t flags,
                                                std::uint32_t origin, std::uint32_t interval, std::uint32_t limit)
{
    RTD_LIBRARY_CALL(requestDataOnSimObject, toLibrary(handle), requestId, defineId, objectId, period, flags, origin,
                     interval, limit);
}

Result DllClientLibrary::requestDataOnSimObjectType(Handle handle, std::uint32_t requestId, std::uint32_t defineId,
                                                    std::uint32_t radiusMetres, std::uint32_t objectType)
{
    RTD_LIBRARY_CALL(requestDataOnSimObjectType, toLibrary(handle), requestId, defineId, radiusMetres, objectType);
}

Result DllClientLibrary::setDataOnSimObject(Handle handle, std::uint32_t defineId, std::uint32_t objectId,
                                            std::uint32_t flags, std::uint32_t arrayCount, std::uint32_t unitSize,
                                            const void* data)
{
    // The library only reads the data; its declaration takes it without const.
    RTD_LIBRARY_CALL(setDataOnSimObject, toLibrary(handle), defineId, objectId, flags, arrayCount, unitSize,
                     const_cast<void*>(data));
}

Result DllClientLibrary::transmitClientEvent(Handle handle, std::uint32_t objectId, std::uint32_t eventId,
                                             std::uint32_t data, std::uint32_t groupId, std::uint32_t flags)
{
    RTD_LIBRARY_CALL(transmitClientEvent, toLibrary(handle), objectId, eventId, data, groupId, flags);
}

Result DllClientLibrary::aiReleaseControl(Handle handle, std::uint32_t objectId, std::uint32_t requestId)
{
    RTD_LIBRARY_CALL(aiReleaseControl, toLibrary(handle), objectId, requestId);
}

Result DllClientLibrary::aiCreateNonATCAircraft(Handle handle, const char* containerTitle, const char* tailNumber,
                                                InitPosition position, std::uint32_t requestId)
{
    RTD_LIBRARY_CALL(aiCreateNonATCAircraft, toLibrary(handle), containerTitle, tailNumber, position, requestId);
}

Result DllClientLibrary::aiRemoveObject(Handle handle, std::uint32_t objectId, std::uint32_t requestId)
{
    RTD_LIBRARY_CALL(aiRemoveObject, toLibrary(handle), objectId, requestId);
}

Result DllClientLibrary::aiSetAircraftFlightPlan(Handle handle, std::uint32_t objectId, const char* flightPlanPath,
                                                 std::uint32_t requestId)
{
    RTD_LIBRARY_CALL(aiSetAircraftFlightPlan, toLibrary(handle), objectId, flightPlanPath, requestId);
}

Result DllClientLibrary::getLastSentPacketId(Handle handle, std::uint32_t* packetId)
{
    static_assert(sizeof(DWORD) == sizeof(std::uint32_t));
    RTD_LIBRARY_CALL(getLastSentPacketId, toLibrary(handle), reinterpret_cast<DWORD*>(packetId));
}

#undef RTD_LIBRARY_CALL

namespace {

// Made on the first call and never destroyed: releaseClientLibrary frees the library once
// the simulator thread has ended, while a thread left running at the exit could still call.
DllClientLibrary* programLibrary()
{
    static DllClientLibrary* const library = new DllClientLibrary(std::filesystem::current_path());
    return library;
}

} // namespace

ClientLibrary* platformClientLibrary()
{
    return standInAskedFor() ? nullptr : programLibrary();
}

std::string platformChoiceText()
{
    if (standInAskedFor())
        return fmt::format("Simulator: the in-process stand-in ({}={})", standInVariable, standInValue);
    return fmt::format("Simulator: the client library SimConnect.dll, from the installation folder {} or the DLL "
                       "search path",
                       platform::pathToUtf8(std::filesystem::current_path()));
}

void releaseClientLibrary()
{
    if (!standInAskedFor())
        programLibrary()->release();
}

} // namespace rtd::sim
