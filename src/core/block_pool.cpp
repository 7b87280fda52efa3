#include "core/block_pool.hpp"

#include <bit>
#include <new>

namespace rtd::block_pool {

namespace {

constexpr std::size_t minClassBits = 4; // 16 bytes
constexpr std::size_t classCount = std::bit_width(maxPooledBytes - 1) - minClassBits + 1;

struct FreeBlock {
    FreeBlock* next;
};

// Trivially destructible, so that it stays usable while the thread's other objects are
// destroyed; Drain gives its blocks back to the heap when the thread ends.
struct FreeLists {
    FreeBlock* head[classCount];
    bool closed;
};
thread_local FreeLists lists{};

struct Drain {
    Drain() noexcept {} // dynamic: its first use registers the destructor
    ~Drain()
    {
        for (FreeBlock*& head : lists.head)
            for (FreeBlock* block = head; block != nullptr;) {
                FreeBlock* next = block->next;
                ::operator delete(block);
                block = next;
            }
        lists = {};
        lists.closed = true;
    }
};
thread_local Drain drain;

// The class of a pooled size; classCount for a size that is not pooled.
std::size_t classOf(std::size_t bytes)
{
    if (bytes > maxPooledBytes || lists.closed)
        return classCount;
    const std::size_t bits = std::bit_width(bytes <= 1 ? std::size_t{1} : bytes - 1);
    return bits <= minClassBits ? 0 : bits - minClassBits;
}

} // namespace

void* take(std::size_t bytes)
{
    const std::size_t c = classOf(bytes);
    if (c == classCount)
        return ::operator new(bytes);
    static_cast<void>(&drain); // the thread's drain is set up with its first pooled block
    if (FreeBlock* block = lists.head[c]) {
        lists.head[c] = block->next;
        return block;
    }
    return ::operator new(std::size_t{1} << (c + minClassBits));
}

void give(void* block, std::size_t bytes) noexcept
{
    if (block == nullptr)
        return;
    const std::size_t c = classOf(bytes);
    if (c == classCount) {
        ::operator delete(block);
        return;
    }
    static_cast<void>(&drain);
    auto* free = static_cast<FreeBlock*>(block);
    free->next = lists.head[c];
    lists.head[c] = free;
}

std::size_t freeBlockCount() noexcept
{
    std::size_t count = 0;
    for (const FreeBlock* head : lists.head)
        for (const FreeBlock* block = head; block != nullptr; block = block->next)
            ++count;
    return count;
}

} // namespace rtd::block_pool
