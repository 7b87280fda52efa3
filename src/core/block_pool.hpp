#pragma once
// An allocator that recycles blocks: a block given back goes to a free list of the thread
// that gives it back, and serves that thread's next request of its size class. A container
// that frees as fast as it grows (a queue taking at its back what it plays from its front)
// allocates nothing from the heap once it has run for a while.
//
// Requests are rounded up to a power of two from 16 bytes to `maxPooledBytes`, one free list
// each; a larger one goes to the heap and back. Blocks are kept only on a thread that holds a
// `block_pool::ThreadScope`: the scope's end gives every block the thread kept back to the
// heap, so nothing depends on the order in which a thread's storage is torn down. Elsewhere a
// block given back goes straight to the heap. A block may be given back on another thread
// than the one that took it. The allocator has no state: every instance is interchangeable
// with every other.

#include <cstddef>

namespace rtd {

namespace block_pool {

inline constexpr std::size_t maxPooledBytes = 64 * 1024;

// A block of at least `bytes` from this thread's free list, else from the heap (throws
// std::bad_alloc).
void* take(std::size_t bytes);
// The block of a take(bytes) back to this thread's free list while it holds a scope, else to
// the heap; to the heap too when too large.
void give(void* block, std::size_t bytes) noexcept;
// Blocks in this thread's free lists.
std::size_t freeBlockCount() noexcept;

// Keeps given-back blocks on this thread for as long as it lives; scopes may nest, and the
// outermost one's end returns the kept blocks to the heap. Made at the top of a thread's body.
class ThreadScope {
public:
    ThreadScope() noexcept;
    ~ThreadScope();
    ThreadScope(const ThreadScope&) = delete;
    ThreadScope& operator=(const ThreadScope&) = delete;
};

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
