#include "core/block_pool.hpp"

#include <new>

namespace rtd::block_pool {

namespace {

struct FreeBlock {
    FreeBlock* next;
};

// Trivially destructible, so that it stays usable while the thread's other objects are
// destroyed; Drain gives its blocks back to the heap when the thread ends.
struct FreeLists {
    std::size_t bytes[pooledSizes];
    FreeBlock* head[pooledSizes];
    std::size_t used;
    bool closed;
};
thread_local FreeLists lists{};

struct Drain {
    Drain() noexcept {} // dynamic: its first use registers the destructor
    ~Drain()
    {
        for (std::size_t i = 0; i < lists.used; ++i)
            for (FreeBlock* block = lists.head[i]; block != nullptr;) {
                FreeBlock* next = block->next;
                ::operator delete(block);
                block = next;
            }
        lists.used = 0;
        lists.closed = true;
    }
};
thread_local Drain drain;

bool pooled(std::size_t bytes)
{
    return bytes >= sizeof(FreeBlock) && bytes <= maxPooledBytes && !lists.closed;
}

// The slot of the size, made when there is room; pooledSizes when there is none.
std::size_t slotOf(std::size_t bytes)
{
    for (std::size_t i = 0; i < lists.used; ++i)
        if (lists.bytes[i] == bytes)
            return i;
    if (lists.used == pooledSizes)
        return pooledSizes;
    static_cast<void>(&drain); // the thread's drain is constructed with its first list
    lists.bytes[lists.used] = bytes;
    lists.head[lists.used] = nullptr;
    return lists.used++;
}

} // namespace

void* take(std::size_t bytes)
{
    if (pooled(bytes)) {
        const std::size_t slot = slotOf(bytes);
        if (slot < pooledSizes && lists.head[slot] != nullptr) {
            FreeBlock* block = lists.head[slot];
            lists.head[slot] = block->next;
            return block;
        }
    }
    return ::operator new(bytes);
}

void give(void* block, std::size_t bytes) noexcept
{
    if (block == nullptr)
        return;
    if (pooled(bytes)) {
        const std::size_t slot = slotOf(bytes);
        if (slot < pooledSizes) {
            auto* free = static_cast<FreeBlock*>(block);
            free->next = lists.head[slot];
            lists.head[slot] = free;
            return;
        }
    }
    ::operator delete(block);
}

std::size_t freeBlockCount() noexcept
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < lists.used; ++i)
        for (const FreeBlock* block = lists.head[i]; block != nullptr; block = block->next)
            ++count;
    return count;
}

} // namespace rtd::block_pool
