// Shared inside T: report sites, text indices, the reporter and the
// invalid-time helper.
#pragma once

#include "Package.h"
#include "T.h"

namespace tv::t {

enum Site : uint32_t {
  kSiteConv = 1,
  kSiteShortConv = 2,
  kSiteFrameRate = 3,
  kSiteCountFrames = 4,
  kSiteRound = 5,
  kSiteArgument = 6,
};
enum TextIndex : int32_t {
  kTextConvOverflow = 0,
  kTextBadRate = 1,
  kTextBadFrameDuration = 2,
  kTextBadQuantum = 3,
  kTextBadArgument = 4,
  kTextCount
};

extern const pkg::Reporter kReport;

// Stores the invalid time (when r is not null) and returns err.
ErrorCode Invalid(Time* r, ErrorCode err);

}  // namespace tv::t
