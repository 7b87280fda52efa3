#pragma once
// The store of livery titles behind every LiveryRef, and the index that finds a stored title
// by its text.
//
// Texts are copied into fixed blocks that are only appended to; a block is never resized,
// moved or freed while the process runs, so a view handed out once reads the same title
// until the end. Each distinct text is stored once.
//
// Written on the start-up worker only; read without locks afterwards.

#include "liveries/livery_ref.hpp"

#include <cstddef>
#include <memory>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace rtd {

// Append-only character storage: a text, once stored, keeps its address.
class TitleArena {
public:
    static constexpr std::size_t blockSize = 64 * 1024;

    // A view of a copy of the text; an empty text gives an empty view.
    LiveryRef store(std::string_view text);

    // Bytes held by the blocks.
    std::size_t bytesHeld() const { return bytesHeld_; }

private:
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* next_ = nullptr;      // the free part of the last block
    std::size_t remaining_ = 0; // its length
    std::size_t bytesHeld_ = 0;
};

// The titles of the title table, by text.
class TitleIndex {
public:
    // The stored view equal to the text, storing it first when it is new.
    LiveryRef intern(std::string_view text);
    // The stored view equal to the text (same length, same bytes), or the empty view.
    LiveryRef find(std::string_view text) const;
    // Forgets the index; the stored texts stay where they are.
    void clear() { views_.clear(); }
    std::size_t size() const { return views_.size(); }

private:
    TitleArena arena_;
    std::unordered_set<std::string_view> views_; // each views the arena
};

// The titles of the title table (lookup_tables.hpp).
TitleIndex& titleIndex();

// The stored view of a scanned title, or the empty view for a title no scan produced.
LiveryRef findLiveryTitle(std::string_view title);

} // namespace rtd
