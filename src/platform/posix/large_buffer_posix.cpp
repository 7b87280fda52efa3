#include "platform/large_buffer.hpp"

#include <cstdlib>
#include <new>
#include <sys/mman.h>

namespace rtd::platform {

namespace {

constexpr std::size_t hugePage = std::size_t{2} << 20;

} // namespace

void LargeBufferDeleter::operator()(std::byte* bytes) const noexcept
{
    std::free(bytes);
}

LargeBuffer allocateLargeBuffer(std::size_t size)
{
    if (size < hugePage) {
        void* bytes = std::malloc(size == 0 ? 1 : size);
        if (bytes == nullptr)
            throw std::bad_alloc();
        return LargeBuffer(static_cast<std::byte*>(bytes));
    }
    if (size > static_cast<std::size_t>(-1) - hugePage)
        throw std::bad_alloc();
    const std::size_t rounded = (size + hugePage - 1) & ~(hugePage - 1);
    void* bytes = std::aligned_alloc(hugePage, rounded);
    if (bytes == nullptr)
        throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    ::madvise(bytes, rounded, MADV_HUGEPAGE); // only advice: plain pages work too
#endif
    return LargeBuffer(static_cast<std::byte*>(bytes));
}

} // namespace rtd::platform
