#pragma once
// An allocator that recycles blocks: a block given back goes to a free list of the thread
// that gives it back, and serves that thread's next request of its size class. A container
// that frees as fast as it grows (a queue taking at its back what it plays from its front)
// allocates nothing from the heap once it has run for a while.
//
// Requests are rounded up to a power of two from 16 bytes to `maxPooledBytes`, one free list
// each; a larger one goes to the heap and back. A thread holds its free blocks until it ends.
// A block may be given back on another thread than the one that took it. The allocator has no
// state: every instance is interchangeable with every other.

#include <cstddef>

namespace rtd {

namespace block_pool {

inline constexpr std::size_t maxPooledBytes = 64 * 1024;

// A block of at least `bytes` from this thread's free list, else from the heap (throws
// std::bad_alloc).
void* take(std::size_t bytes);
// The block of a take(bytes) back to this thread's free list, or to the heap when too large.
void give(void* block, std::size_t bytes) noexcept;
// Blocks in this thread's free lists.
std::size_t freeBlockCount() noexcept;

} // namespace block_pool

template <typename T>
struct RecyclingAllocator {
    using value_type = T;

    RecyclingAllocator() noexcept = default;
    template <typename U>
    RecyclingAllocator(const RecyclingAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) { return static_cast<T*>(block_pool::take(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) noexcept { block_pool::give(p, n * sizeof(T)); }

    template <typename U>
    bool operator==(const RecyclingAllocator<U>&) const noexcept { return true; }
};

} // namespace rtd
