#pragma once
// The peak resident memory of the benchmark process so far: the figure of one benchmark only
// when it runs alone (--benchmark_filter).

#include <sys/resource.h>

namespace rtd::bench {

inline double peakResidentMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

} // namespace rtd::bench
