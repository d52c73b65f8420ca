// Elapsed time and fault injection.
#include "Platform.h"
#include "U_internal.h"

using namespace tv;

ErrorCode U_SecondsSinceBoot(double* seconds) {
  if (!seconds) return u::BadArgument(u::kSiteArgument);
  static const uint64_t frequency = platform::HighResFrequency();
  if (frequency > 0)
    *seconds = static_cast<double>(platform::HighResCounter()) / static_cast<double>(frequency);
  else
    *seconds = platform::TickCount() * (1000.0 / 60.0) * 0.001;
  return 0;
}

ErrorCode U_MillisecondsSinceBoot(uint64_t* milliseconds) {
  if (!milliseconds) return u::BadArgument(u::kSiteArgument);
  double seconds = 0;
  U_SecondsSinceBoot(&seconds);
  *milliseconds = static_cast<uint64_t>(seconds * 1000.0);
  return 0;
}

namespace {
U_RandErrFilterProc gFilter = nullptr;
intptr_t gFilterData = 0;
}  // namespace

ErrorCode U_SetRandErrFilter(U_RandErrFilterProc filter, intptr_t data) {
  if (ErrorCode err = u::Guard(u::kSiteRandErr)) return err;
  gFilter = filter;
  gFilterData = data;
  return 0;
}

Boolean32 U_RandErr(int32_t a, int32_t b) { return gFilter ? gFilter(a, b, gFilterData) : 0; }

Boolean32 U_StandardRandErrFilter(int32_t, int32_t, intptr_t threshold) {
  return (platform::Random15() & 0x7FFF) < threshold;
}
