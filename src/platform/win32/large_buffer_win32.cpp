#include "platform/large_buffer.hpp"

#include <cstdlib>
#include <new>

namespace rtd::platform {

// Large pages need a privilege users do not have; a plain allocation it is.
void LargeBufferDeleter::operator()(std::byte* bytes) const noexcept
{
    std::free(bytes);
}

LargeBuffer allocateLargeBuffer(std::size_t size)
{
    void* bytes = std::malloc(size == 0 ? 1 : size);
    if (bytes == nullptr)
        throw std::bad_alloc();
    return LargeBuffer(static_cast<std::byte*>(bytes));
}

} // namespace rtd::platform
