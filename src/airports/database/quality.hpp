#pragma once
// The quality factors of an airport: how well its stands have been learned, 0..100 for the
// real options and for the soft options, or -1 for both when no stand has any option. And
// the airport's own fit window (MAX_FIT, in half hours).

#include "airports/files/airport_file.hpp"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace rtd {

using QualityFactors = std::pair<std::int32_t, std::int32_t>; // real, soft

// Over the stands' valid options (number not 0), leaving out fake ones. Every stand counts
// in the weight sum, learned or not, so the factors fall with the share of unlearned stands.
QualityFactors computeQualityFactors(const std::vector<ParkingPosition>& stands);

// "  " when both are negative, "{:2}/{:2}" (real/soft) for a real factor below 45, else the
// real factor alone in two places.
std::string qualityFactorText(const QualityFactors& factors);

// Sets MAX_FIT to the half hours clamped into its range and MAX_FIT_FL to the hours, shows
// them and logs them. Nothing is saved.
void logMaxFitHalfHours(std::int32_t halfHours);

} // namespace rtd
