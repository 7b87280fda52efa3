#pragma once
// The model database's records per registration, held compactly: the registration texts lie
// back to back in one buffer, each record is 16 bytes (airline and operator as fixed three
// characters, the model as an index into a table of distinct model codes), and an
// open-addressing hash table of record numbers finds them. A million registrations take
// about 40 MB.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace rtd {

// The model database's record of one registration.
struct DbaseRecord {
    std::string airl; // plain ICAO airline code (three characters) or empty
    std::string type; // plain ICAO type designator or empty
    std::string opr;  // plain ICAO airline code of the operator or empty
    bool cargo = false;

    bool operator==(const DbaseRecord&) const = default;
};

class RegistrationTable {
public:
    // The longest registration the table holds.
    static constexpr std::size_t maxRegistrationLength = 255;

    // Room for `count` records without growing.
    void reserve(std::size_t count);

    // Adds the record unless the registration is already present (then false). Throws
    // std::invalid_argument when the registration is empty or longer than
    // maxRegistrationLength, or an airline code has neither 0 nor 3 characters.
    bool insert(std::string_view registration, const DbaseRecord& record);

    std::optional<DbaseRecord> find(std::string_view registration) const;

    std::size_t size() const { return entries_.size(); }
    // Bytes held by the table's buffers (their capacity).
    std::size_t bytesHeld() const;

private:
    struct Entry {
        std::uint32_t keyOffset;
        std::uint32_t model; // index into models_
        std::uint8_t keyLength;
        char airl[3];
        char opr[3];
        bool cargo;
    };
    static_assert(sizeof(Entry) == 16);

    static constexpr std::uint32_t emptySlot = 0; // slots hold record number + 1

    std::string_view keyOf(const Entry& entry) const;
    // The slot that holds the registration, or the empty slot where it would go.
    std::size_t slotFor(std::string_view registration) const;
    void rehash(std::size_t slotCount);
    std::uint32_t modelIndex(const std::string& model);

    std::string keys_;
    std::vector<Entry> entries_;
    std::vector<std::uint32_t> slots_;
    std::vector<std::string> models_{std::string()};
    std::unordered_map<std::string, std::uint32_t> modelIndexes_{{std::string(), 0}};
};

} // namespace rtd
