// Shared inside T: report sites, texts and the failure helper.
#pragma once

#include "T.h"

namespace tv::t {

extern const char* const kCompiledStrings[];

enum Site : uint32_t {
  kSiteConv = 1,
  kSiteShortConv = 2,
  kSiteFrameRate = 3,
  kSiteCountFrames = 4,
  kSiteRound = 5,
};
enum TextIndex : int32_t {
  kTextConvOverflow = 0,
  kTextBadRate = 1,
  kTextBadFrameDuration = 2,
  kTextBadQuantum = 3,
};

// The text at index of T's table (the compiled one while it is not installed).
const char* Text(int32_t index);
// Reports code with text index at severity 8; returns code.
ErrorCode Report(ErrorCode code, uint32_t site, int32_t textIndex);
// Stores the invalid time (when r is not null) and returns err.
ErrorCode Fail(Time* r, ErrorCode err);

}  // namespace tv::t
