#pragma once
// What the files of the simulator client share among themselves: the readers of a data
// reply, the window marks, the user aircraft's state reply and the added objects the range
// scan identifies. Client thread only, unless a function says otherwise.

#include "core/display.hpp"
#include "core/geo.hpp"
#include "core/log.hpp"
#include "simulator/simconnect.hpp"

#include <fmt/format.h>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace rtd::simlink {

// A new flight or a jump of the user aircraft restarts the run after this many seconds.
inline constexpr int teleportRestartSeconds = 45;

inline void repaintHeader()
{
    windowDisplay().invalidate(headerBand);
}

inline void setMark(std::atomic<bool>& mark, bool value)
{
    mark = value;
    repaintHeader();
}

inline bool inNullBox(LatLon position)
{
    return !isValidPosition(position);
}

// The data of a reply, or null when it holds fewer than `needed` bytes.
inline const std::byte* replyData(const sim::RecvSimObjectData& message, std::uint32_t size, std::size_t needed)
{
    constexpr std::size_t dataOffset = offsetof(sim::RecvSimObjectData, data);
    if (size < dataOffset + needed) {
        logLine(fmt::format("! SimConnect reply {} too short: {} bytes", message.requestId, size));
        return nullptr;
    }
    return reinterpret_cast<const std::byte*>(&message) + dataOffset;
}

template <typename T>
T readAt(const std::byte* data, std::size_t offset)
{
    T value;
    std::memcpy(&value, data + offset, sizeof(T));
    return value;
}

// The zero-terminated text at `data`, at most `limit` bytes.
inline std::string textAt(const std::byte* data, std::size_t limit)
{
    const char* text = reinterpret_cast<const char*>(data);
    return std::string(text, strnlen(text, limit));
}

// The user aircraft's state reply (definition 403): stored, checked for a jump, its stand
// and the simulator's time taken from it.
void onUserState(const sim::RecvSimObjectData& message, std::uint32_t size);

// The AI objects the simulator added and the range scan has not identified yet.
void noteObjectAdded(std::uint32_t objectId);
void forgetAddedObject(std::uint32_t objectId);
void reserveAddedObjects(std::size_t capacity);
// Forgets the added objects and the tail numbers of the creations given up.
void clearObjectTracking();

} // namespace rtd::simlink
