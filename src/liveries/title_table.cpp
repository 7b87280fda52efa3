#include "liveries/title_table.hpp"

#include <algorithm>
#include <cstring>

namespace rtd {

LiveryRef TitleArena::store(std::string_view text)
{
    if (text.empty())
        return {};
    if (text.size() > remaining_) {
        // The rest of the last block stays unused; a text longer than a block gets its own.
        const std::size_t size = std::max(blockSize, text.size());
        blocks_.push_back(std::make_unique<char[]>(size));
        bytesHeld_ += size;
        next_ = blocks_.back().get();
        remaining_ = size;
    }
    char* const begin = next_;
    std::memcpy(begin, text.data(), text.size());
    next_ += text.size();
    remaining_ -= text.size();
    return {begin, text.size()};
}

LiveryRef TitleIndex::intern(std::string_view text)
{
    if (const LiveryRef found = find(text); !found.empty() || text.empty())
        return found;
    const LiveryRef stored = arena_.store(text);
    views_.insert(stored);
    return stored;
}

LiveryRef TitleIndex::find(std::string_view text) const
{
    const auto found = views_.find(text);
    return found == views_.end() ? LiveryRef{} : *found;
}

TitleIndex& titleIndex()
{
    static TitleIndex index;
    return index;
}

LiveryRef findLiveryTitle(std::string_view title)
{
    return titleIndex().find(title);
}

} // namespace rtd
