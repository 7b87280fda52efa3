#pragma once
// A replaced global operator new that counts the program's allocations, from every thread,
// between start() and stop(). A program gets it by linking ramptide_allocation_count. Under a
// sanitizer, which brings its own operator new, nothing is replaced: RAMPTIDE_COUNT_ALLOCATIONS
// is 0 and the count stays 0.

#include <cstdint>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define RAMPTIDE_COUNT_ALLOCATIONS 0
#else
#define RAMPTIDE_COUNT_ALLOCATIONS 1
#endif

namespace rtd::allocation_count {

void start();        // counts from 0
std::int64_t stop(); // the count since start

} // namespace rtd::allocation_count
