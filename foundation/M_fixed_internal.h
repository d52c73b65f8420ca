// Helpers shared by the geometric half of M: report sites, the reporting of
// M's codes with an operation phrase, rounding and range checks.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>

#include "M_internal.h"

namespace tv::m {

// Report sites of the geometric half.
enum Site : uint32_t {
  kSiteFix24Mul = 0x41,
  kSiteFix24Ratio = 0x42,
  kSiteMatrixConversion = 0x50,
  kSiteInverse = 0x51,
  kSitePoints = 0x60,
  kSiteFixedPoints = 0x61,
  kSiteFixedVector = 0x62,
  kSiteRect = 0x63,
  kSiteTrigUnrequested = 0x70,
  kSiteCharMathUnrequested = 0x71,
  kSiteTrigUnavailable = 0x72,
  kSiteCharMathUnavailable = 0x73,
  kSiteTrigUnprepare = 0x74,
  kSiteCharMathUnprepare = 0x75,
  kSiteTableMemory = 0x76,
  kSiteBirth = 0x78,
  kSiteDeath = 0x79,
  kSiteGaussian = 0x7A,
};

// floor(x + 0.5): halves go up.
inline double RoundHalfUp(double x) { return std::floor(x + 0.5); }

// x rounded half away from zero as an int32, or nothing when x is not a
// number or the rounded value does not fit.
inline std::optional<int32_t> RoundAwayToInt32(double x) {
  if (std::isnan(x)) return std::nullopt;
  double r = std::round(x);
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) return std::nullopt;
  return static_cast<int32_t>(r);
}

}  // namespace tv::m
