#include "airports/database/quality.hpp"

#include "core/display.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "core/text.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <fmt/format.h>
#include <set>

namespace rtd {

namespace {

constexpr double scoreScale = 0.00625;
constexpr int goodRealFactor = 45;

// The weight of a stand by its radius. The limits are compared with the radius in nautical
// miles as stored, so every real stand weighs 0.3; stored factors depend on it.
double standWeight(double radiusNm)
{
    if (radiusNm <= 7.0)
        return static_cast<double>(0.3f);
    if (radiusNm <= 10.0)
        return 1.5;
    return 1.0;
}

struct GroupCount {
    int options = 0;
    std::set<std::uint32_t> days;
    int halfHours = 0;

    double points() const
    {
        return 10000.0 + std::min(20 * options, 4000) + 100.0 * static_cast<double>(days.size()) +
               2.0 * std::min(halfHours, 600);
    }
};

std::int32_t scaled(double score, double weightSum)
{
    return std::clamp(static_cast<std::int32_t>(std::lround(score / weightSum * scoreScale)), 0, 100);
}

} // namespace

QualityFactors computeQualityFactors(const std::vector<ParkingPosition>& stands)
{
    const bool anyOption = std::any_of(stands.begin(), stands.end(),
                                       [](const ParkingPosition& stand) { return !stand.options.empty(); });
    if (!anyOption)
        return {-1, -1};
    double weightSum = 0.0;
    double realScore = 0.0;
    double softScore = 0.0;
    for (const ParkingPosition& stand : stands) {
        const double weight = standWeight(stand.radius);
        weightSum += weight;
        GroupCount real;
        GroupCount soft;
        for (const StandOption& option : stand.options) {
            if (option.number == 0 || option.fake)
                continue;
            GroupCount& group = option.soft ? soft : real;
            ++group.options;
            if (option.day >= 1 && option.day <= 7)
                group.days.insert(option.day);
            group.halfHours += std::popcount(option.halfHours & ((std::uint64_t{1} << 48) - 1));
        }
        if (real.options > 0)
            realScore += weight * real.points();
        if (soft.options > 0)
            softScore += weight * soft.points();
    }
    if (!(weightSum > 0.0))
        return {0, 0};
    return {scaled(realScore, weightSum), scaled(softScore, weightSum)};
}

std::string qualityFactorText(const QualityFactors& factors)
{
    if (factors.first < 0 && factors.second < 0)
        return "  ";
    if (factors.first < goodRealFactor)
        return fmt::format("{:2}/{:2}", factors.first, factors.second);
    return fmt::format("{:2}", factors.first);
}

void logMaxFitHalfHours(std::int32_t halfHours)
{
    const std::int32_t clamped = MAX_FIT.clamp(halfHours);
    MAX_FIT.set(clamped);
    const float hours = static_cast<float>(clamped) * 0.5f + 0.5f;
    MAX_FIT_FL.set(hours);
    windowDisplay().showFloatInEdit(MAX_FIT_FL);
    logLine(fmt::format("{}{:24}: {} (max number of half hours, is {} hrs decimal)", "    ", MAX_FIT.name, clamped,
                        formatNumber(hours)));
}

} // namespace rtd
