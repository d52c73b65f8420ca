// Shared inside the ratio half of M: the status argument, the report helper
// and the exact reduction used by every operation.
#pragma once

#include <string_view>

#include "M_internal.h"

namespace tv::m::ratio {

// Report sites of the ratio operations (the geometric half uses the low sites).
enum Site : uint32_t {
  kSiteAdd = 0x40,
  kSiteSub = 0x41,
  kSiteMul = 0x42,
  kSiteDiv = 0x43,
  kSiteRecip = 0x44,
  kSiteConv = 0x45,
  kSiteShortConv = 0x46,
  kSiteCompare = 0x47,
  kSiteClip = 0x48,
  kSiteSpan = 0x49,
  kSiteGCD = 0x4A,
  kSiteLCM = 0x4B,
  kSiteRoundMult = 0x4C,
  kSiteReduce = 0x4D,
  kSiteFpLong = 0x4E,
};

// Operation phrases put into the texts.
inline constexpr const char* kPhraseAdd = "in ratio addition";
inline constexpr const char* kPhraseSub = "in ratio subtraction";
inline constexpr const char* kPhraseMul = "in ratio multiply";
inline constexpr const char* kPhraseDiv = "in ratio divide";
inline constexpr const char* kPhraseConv = "converting ratio denominators";
inline constexpr const char* kPhraseCompare = "comparing ratios";
inline constexpr const char* kPhraseSpan = "in ratio span";
inline constexpr const char* kPhraseLCM = "computing a least common multiple";
inline constexpr const char* kPhraseGCD = "computing a greatest common divisor";
inline constexpr const char* kPhraseRoundMult = "rounding to a multiple";

using m::kReport;
using m::ReportCode;

// The three forms of the status argument.
class Status {
 public:
  explicit Status(uint8_t* arg) : arg_(arg) {}
  bool absent() const { return arg_ == nullptr; }
  bool approximate() const { return arg_ == M_APPROXIMATE; }
  bool byte() const { return !absent() && !approximate(); }
  bool allowsApprox() const { return approximate() || (byte() && (*arg_ & M_StatusAllowApprox)); }
  bool allowsHalving() const { return approximate() || (byte() && (*arg_ & M_StatusAllowHalving)); }
  // Stores the outcome in a status byte.
  void Store(uint8_t outcome) const {
    if (byte()) *arg_ = outcome;
  }
  uint8_t* arg() const { return arg_; }

 private:
  uint8_t* arg_;
};

// Magnitude of a signed 32-bit value, without overflow for INT32_MIN.
constexpr uint32_t Magnitude(int32_t v) {
  return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
}
constexpr uint32_t Gcd(uint32_t a, uint32_t b) {
  while (b != 0) {
    uint32_t t = a % b;
    a = b;
    b = t;
  }
  return a;
}
// in divided by gcd(|num|, den); 0/d becomes 0/1. den must not be 0.
constexpr Ratio Reduced(Ratio in, bool* changed) {
  uint32_t g = Gcd(Magnitude(in.num), in.den);  // in.num == 0 gives den
  if (changed) *changed = g != 1;
  if (g <= 1) return in;
  // The magnitude divided by g >= 2 always fits.
  int64_t num = int64_t{in.num} / int64_t{g};
  return Ratio{static_cast<int32_t>(num), in.den / g};
}

// Conservative overflow predicates on magnitudes (the exported ones apply them
// to the absolute values).
bool MagMulWouldOverflow(uint32_t a, uint32_t b);   // signed product
bool UMulWouldOverflow(uint32_t a, uint32_t b);     // unsigned product

// The multiplication engine with its report site (division reports as itself).
ErrorCode MulEngine(Ratio a, Ratio b, Ratio* r, uint8_t* status, uint32_t site);

}  // namespace tv::m::ratio
