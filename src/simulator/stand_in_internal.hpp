#pragma once
// What the files of the stand-in simulator share: its units and defaults, connection
// handles as numbers, and messages built from records.

#include "simulator/stand_in.hpp"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <string>
#include <string_view>

namespace rtd::sim::stand_in {

inline constexpr double degreesPerRadian = 180.0 / std::numbers::pi;
inline constexpr double defaultStaticCgFt = 8.0;
inline constexpr double defaultStaticPitchDeg = 0.7;
inline constexpr std::uint32_t messageVersion = 1;

inline std::string upper(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

inline std::uint32_t handleNumber(Handle handle)
{
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(handle));
}

inline Handle handleOf(std::uint32_t number)
{
    return reinterpret_cast<Handle>(static_cast<std::uintptr_t>(number));
}

inline std::size_t fieldSize(std::uint32_t type)
{
    return type == dataString32 ? 32 : 8; // a STRINGV has no fixed size
}

template <typename Record>
StandInSim::Message messageOf(const Record& record, std::uint32_t id)
{
    StandInSim::Message message(sizeof(Record));
    std::memcpy(message.data(), &record, sizeof(Record));
    const RecvHeader header{static_cast<std::uint32_t>(sizeof(Record)), messageVersion, id};
    std::memcpy(message.data(), &header, sizeof(header));
    return message;
}

} // namespace rtd::sim::stand_in
