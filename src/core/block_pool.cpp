#include "core/block_pool.hpp"

#include <bit>
#include <new>
#include <type_traits>

namespace rtd::block_pool {

namespace {

constexpr std::size_t minClassBits = 4; // 16 bytes
constexpr std::size_t classCount = std::bit_width(maxPooledBytes - 1) - minClassBits + 1;

struct FreeBlock {
    FreeBlock* next;
};

// Plain data: a thread-local object with a destructor is not safe on every platform (where
// thread-local storage is emulated, it can be freed before the destructors run).
struct FreeLists {
    FreeBlock* head[classCount];
    unsigned scopes; // ThreadScopes open on this thread
};
thread_local FreeLists lists{};
static_assert(std::is_trivially_destructible_v<FreeLists>);

// The class of a pooled size; classCount for a size that is not pooled.
std::size_t classOf(std::size_t bytes)
{
    if (bytes > maxPooledBytes)
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
    if (FreeBlock* block = lists.head[c]) {
        lists.head[c] = block->next;
        return block;
    }
    // Always the whole class, so that the block may join any thread's list of that class.
    return ::operator new(std::size_t{1} << (c + minClassBits));
}

void give(void* block, std::size_t bytes) noexcept
{
    if (block == nullptr)
        return;
    const std::size_t c = classOf(bytes);
    if (c == classCount || lists.scopes == 0) {
        ::operator delete(block);
        return;
    }
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

ThreadScope::ThreadScope() noexcept { ++lists.scopes; }

ThreadScope::~ThreadScope()
{
    if (--lists.scopes > 0)
        return;
    for (FreeBlock*& head : lists.head) {
        for (FreeBlock* block = head; block != nullptr;) {
            FreeBlock* next = block->next;
            ::operator delete(block);
            block = next;
        }
        head = nullptr;
    }
}

} // namespace rtd::block_pool
