#pragma once
// Random picks. Each thread draws from its own Mersenne-Twister, seeded from
// std::random_device on the thread's first use; no lock is taken. The RANDOM setting turns
// the picks and shuffles off (index 0, order kept).

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace rtd {

// The calling thread's engine.
std::mt19937& randomEngine();

// Restarts the calling thread's engine from a fixed seed, so a test can pin the draws.
void seedRandomEngine(std::uint32_t seed);

// An index in [0, n): 0 without drawing when RANDOM is off or n < 2.
std::int64_t randomIndex(std::int64_t n);

// Shuffles the list when RANDOM is on and it holds more than one entry.
void shuffleStrings(std::vector<std::string>& list);

// value raised or lowered (one draw decides which) by percent of itself. Not switched off
// by RANDOM; percent <= 0 gives value unchanged but still draws.
double jitterPercent(double value, double percent);

} // namespace rtd
