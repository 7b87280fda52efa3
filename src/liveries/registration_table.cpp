#include "liveries/registration_table.hpp"

#include <algorithm>
#include <bit>
#include <fmt/format.h>
#include <stdexcept>

namespace rtd {
namespace {

constexpr std::size_t minimumSlots = 16;

// FNV-1a: cheap for short keys and the same on every platform.
std::uint64_t hashOf(std::string_view text)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

void packAirline(std::string_view code, char (&packed)[3])
{
    if (!code.empty() && code.size() != 3)
        throw std::invalid_argument(fmt::format("airline code \"{}\" is not three characters", code));
    for (std::size_t i = 0; i < 3; ++i)
        packed[i] = code.empty() ? '\0' : code[i];
}

std::string unpackAirline(const char (&packed)[3])
{
    return packed[0] == '\0' ? std::string() : std::string(packed, 3);
}

// Slots for `count` records with the table at most half full.
std::size_t slotCountFor(std::size_t count)
{
    return std::max(minimumSlots, std::bit_ceil(count * 2));
}

} // namespace

void RegistrationTable::reserve(std::size_t count)
{
    entries_.reserve(count);
    keys_.reserve(count * 8);
    if (slotCountFor(count) > slots_.size())
        rehash(slotCountFor(count));
}

std::string_view RegistrationTable::keyOf(const Entry& entry) const
{
    return std::string_view(keys_).substr(entry.keyOffset, entry.keyLength);
}

std::size_t RegistrationTable::slotFor(std::string_view registration) const
{
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = hashOf(registration) & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t number = slots_[slot];
        if (number == emptySlot || keyOf(entries_[number - 1]) == registration)
            return slot;
    }
}

void RegistrationTable::rehash(std::size_t slotCount)
{
    slots_.assign(slotCount, emptySlot);
    const std::size_t mask = slotCount - 1;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        std::size_t slot = hashOf(keyOf(entries_[i])) & mask;
        while (slots_[slot] != emptySlot)
            slot = (slot + 1) & mask;
        slots_[slot] = static_cast<std::uint32_t>(i + 1);
    }
}

std::uint32_t RegistrationTable::modelIndex(const std::string& model)
{
    const auto [it, added] = modelIndexes_.try_emplace(model, static_cast<std::uint32_t>(models_.size()));
    if (added)
        models_.push_back(model);
    return it->second;
}

bool RegistrationTable::insert(std::string_view registration, const DbaseRecord& record)
{
    if (registration.empty() || registration.size() > maxRegistrationLength)
        throw std::invalid_argument(fmt::format("registration \"{}\" is empty or too long", registration));
    if ((entries_.size() + 1) * 2 > slots_.size())
        rehash(slotCountFor(entries_.size() + 1));
    const std::size_t slot = slotFor(registration);
    if (slots_[slot] != emptySlot)
        return false;

    Entry entry{};
    packAirline(record.airl, entry.airl);
    packAirline(record.opr, entry.opr);
    entry.keyOffset = static_cast<std::uint32_t>(keys_.size());
    entry.keyLength = static_cast<std::uint8_t>(registration.size());
    entry.model = modelIndex(record.type);
    entry.cargo = record.cargo;
    keys_.append(registration);
    entries_.push_back(entry);
    slots_[slot] = static_cast<std::uint32_t>(entries_.size());
    return true;
}

std::optional<DbaseRecord> RegistrationTable::find(std::string_view registration) const
{
    if (entries_.empty())
        return std::nullopt;
    const std::uint32_t number = slots_[slotFor(registration)];
    if (number == emptySlot)
        return std::nullopt;
    const Entry& entry = entries_[number - 1];
    return DbaseRecord{unpackAirline(entry.airl), models_[entry.model], unpackAirline(entry.opr), entry.cargo};
}

std::size_t RegistrationTable::bytesHeld() const
{
    return keys_.capacity() + entries_.capacity() * sizeof(Entry) +
           slots_.capacity() * sizeof(std::uint32_t) + models_.capacity() * sizeof(std::string);
}

} // namespace rtd
