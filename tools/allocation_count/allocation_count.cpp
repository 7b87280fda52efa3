// The replaced operators pair malloc with free, which the compiler cannot see through inlined
// library code.
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
#include "allocation_count/allocation_count.hpp"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> counting{false};
std::atomic<std::int64_t> allocations{0};

} // namespace

namespace rtd::allocation_count {

void start()
{
    allocations = 0;
    counting = true;
}

std::int64_t stop()
{
    counting = false;
    return allocations.load();
}

} // namespace rtd::allocation_count

#if RAMPTIDE_COUNT_ALLOCATIONS
void* operator new(std::size_t size)
{
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* memory = std::malloc(size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
#endif
