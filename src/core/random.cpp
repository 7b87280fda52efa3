#include "core/random.hpp"

#include "core/parameters.hpp"

#include <algorithm>
#include <type_traits>

namespace rtd {

std::mt19937& randomEngine()
{
    thread_local std::mt19937 engine{std::random_device{}()};
    static_assert(std::is_trivially_destructible_v<decltype(engine)>);
    return engine;
}

void seedRandomEngine(std::uint32_t seed) { randomEngine().seed(seed); }

std::int64_t randomIndex(std::int64_t n)
{
    if (!RANDOM.value() || n < 2)
        return 0;
    return static_cast<std::int64_t>(randomEngine()() % static_cast<std::uint64_t>(n));
}

void shuffleStrings(std::vector<std::string>& list)
{
    if (RANDOM.value() && list.size() > 1)
        std::shuffle(list.begin(), list.end(), randomEngine());
}

double jitterPercent(double value, double percent)
{
    const double sign = (randomEngine()() & 1U) == 0 ? 1.0 : -1.0;
    if (percent <= 0)
        return value;
    return value + sign * (value * percent / 100);
}

} // namespace rtd
