#pragma once
// Room for reading a large file whole. Each fresh page of a plain allocation costs a fault
// when it is first written; on Linux the buffer is aligned to 2 MiB and advised to use huge
// pages, which turns the thousands of faults of a 64 MiB file into a few dozen.

#include <cstddef>
#include <memory>

namespace rtd::platform {

struct LargeBufferDeleter {
    void operator()(std::byte* bytes) const noexcept;
};
using LargeBuffer = std::unique_ptr<std::byte[], LargeBufferDeleter>;

// `size` uninitialised bytes (at least one); throws std::bad_alloc.
LargeBuffer allocateLargeBuffer(std::size_t size);

} // namespace rtd::platform
