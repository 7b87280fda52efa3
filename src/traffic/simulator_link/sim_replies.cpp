#include "traffic/simulator_link/sim_client.hpp"

#include "core/log.hpp"
#include "core/version.hpp"
#include "traffic/simulator_link/ai_commands.hpp"
#include "traffic/simulator_link/sim_client_internal.hpp"
#include "traffic/simulator_link/sim_events.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <string>
#include <vector>

namespace rtd {

namespace {

using namespace simlink;

constexpr double rangeScanGroundFt = 2500.0;
constexpr std::uint32_t lastParkedAircraftId = 10000;

// Client thread only.
struct AddedObject {
    std::uint32_t objectId = 0;
    std::uint32_t ageSeconds = 0;
};
std::vector<AddedObject> recentlyAddedIds; // objects added since, not yet seen in a range scan
constexpr std::size_t maxRecentlyAdded = 256;
constexpr std::size_t maxGivenUpTails = 256; // the oldest make room

// Once per simulator second: creations and added objects that stayed unidentified for
// creationTimeoutSeconds are given up, so that nothing waits for them for ever.
void ageUnidentified()
{
    for (std::size_t i = 0; i < pendingCreations.size();) {
        PendingCreation& pending = pendingCreations[i];
        if (++pending.ageSeconds < creationTimeoutSeconds) {
            ++i;
            continue;
        }
        logArrow(fmt::format("creation of {} (aircraft {}) not reported by the Sim in {} s, dropped",
                             pending.callsign, pending.aircraftId, creationTimeoutSeconds));
        pushSimEvent({.objectId = 0, .aircraftId = pending.aircraftId, .kind = CreateLost});
        if (givenUpTails.size() >= maxGivenUpTails)
            givenUpTails.erase(givenUpTails.begin());
        givenUpTails.push_back(pending.callsign);
        pending = std::move(pendingCreations.back());
        pendingCreations.pop_back();
    }
    std::erase_if(recentlyAddedIds, [](AddedObject& a) { return ++a.ageSeconds >= creationTimeoutSeconds; });
}

// An object under the tail number of a creation given up: handed to the traffic thread,
// which removes it unless one of its aircraft owns it. True when it was one.
bool handOverGivenUp(std::uint32_t objectId, const std::string& atcId)
{
    const auto found = std::find(givenUpTails.begin(), givenUpTails.end(), atcId);
    if (found == givenUpTails.end())
        return false;
    givenUpTails.erase(found);
    pushSimEvent({.objectId = objectId, .aircraftId = 0, .kind = FoundGivenUp});
    return true;
}

} // namespace

namespace simlink {

void noteObjectAdded(std::uint32_t objectId)
{
    if (recentlyAddedIds.size() >= maxRecentlyAdded)
        recentlyAddedIds.erase(recentlyAddedIds.begin());
    recentlyAddedIds.push_back({objectId, 0});
}

void forgetAddedObject(std::uint32_t objectId)
{
    std::erase_if(recentlyAddedIds, [objectId](const AddedObject& a) { return a.objectId == objectId; });
}

void reserveAddedObjects(std::size_t capacity)
{
    recentlyAddedIds.reserve(capacity);
}

void clearObjectTracking()
{
    recentlyAddedIds.clear();
    givenUpTails.clear();
}

} // namespace simlink

void onSimObjectData(const sim::RecvSimObjectData& message, std::uint32_t size)
{
    switch (message.requestId) {
    case staticCgRequest:
        if (const std::byte* data = replyData(message, size, 16))
            pushSimEvent({.objectId = message.objectId, .aircraftId = 0, .kind = StaticCg,
                          .value1 = readAt<double>(data, 0), .value2 = readAt<double>(data, 8)});
        break;
    case userTitleRequest:
        if (const std::byte* data = replyData(message, size, 1))
            onUserTitle(textAt(data, size - offsetof(sim::RecvSimObjectData, data)));
        break;
    case userModelRequest:
        if (const std::byte* data = replyData(message, size, 32))
            onUserModel(textAt(data, 32));
        break;
    case userOnGroundRequest:
        if (const std::byte* data = replyData(message, size, 8)) {
            if (!inNullBox(userAircraftState().position())) {
                userOnGround = static_cast<std::uint32_t>(readAt<std::int64_t>(data, 0)) != 0;
                userOnGroundKnown = true;
            }
            ageUnidentified();
            simSecondTick = true;
        }
        break;
    case userStateRequest:
        onUserState(message, size);
        break;
    default:
        break;
    }
}

void onSimObjectDataByType(const sim::RecvSimObjectData& message, std::uint32_t size)
{
    if ((message.requestId != rangeScanRequest && message.requestId != helicopterScanRequest) ||
        message.objectId <= userObjectId)
        return;
    const std::byte* data = replyData(message, size, 56);
    if (data == nullptr)
        return;
    const double aboveGroundFt = readAt<double>(data, 0);
    const double groundFt = readAt<double>(data, 8);
    const auto onGround = static_cast<std::uint32_t>(readAt<std::int64_t>(data, 16));
    const std::string atcId = textAt(data + 24, 32);
    const auto added = std::find_if(recentlyAddedIds.begin(), recentlyAddedIds.end(),
                                    [&](const AddedObject& a) { return a.objectId == message.objectId; });
    if (added != recentlyAddedIds.end()) {
        *added = recentlyAddedIds.back();
        recentlyAddedIds.pop_back();
        const std::uint32_t aircraftId = takePendingCreationByCallsign(atcId);
        if (aircraftId == 0) {
            if (handOverGivenUp(message.objectId, atcId))
                return;
            logArrow(fmt::format("just created, but not by {}, oid: {}, callsign \"{}\" unknown", productName,
                                 message.objectId, atcId));
            return;
        }
        releaseAndFreezeAI(message.objectId);
        if (aircraftId <= lastParkedAircraftId)
            pushSimEvent({.objectId = message.objectId, .aircraftId = aircraftId, .kind = CreatedParked});
        else
            pushSimEvent({.objectId = message.objectId, .aircraftId = aircraftId, .kind = CreatedLive,
                          .value2 = aboveGroundFt});
        return;
    }
    if (!givenUpTails.empty() && handOverGivenUp(message.objectId, atcId))
        return;
    if (aboveGroundFt <= rangeScanGroundFt && !atcId.ends_with('*'))
        pushSimEvent({.objectId = message.objectId, .aircraftId = onGround, .kind = GroundData, .value1 = groundFt,
                      .value2 = aboveGroundFt});
}

void requestAircraftInRange(std::uint32_t radiusMetres)
{
    if (simConnectFailed)
        return;
    std::lock_guard lock(simConnectMutex);
    if (simConnectHandle == nullptr)
        return;
    for (const auto& [request, type] : {std::pair{rangeScanRequest, sim::objectTypeAircraft},
                                       std::pair{helicopterScanRequest, sim::objectTypeHelicopter}}) {
        if (sim::SimConnect_RequestDataOnSimObjectType(simConnectHandle, request, defineRangeScan, radiusMetres, type) !=
            sim::ok) {
            logArrow("SimConnect request ac within range fails");
            countSimConnectRequestError();
        }
    }
}

} // namespace rtd
