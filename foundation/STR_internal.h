// STR's private parts shared by tables, balls and resources.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "Package.h"
#include "STR.h"
#include "U.h"

namespace tv::str {

enum Site : uint32_t {
  kSiteForgotInit = 2,
  kSiteBadTag = 3,
  kSiteTableMemory = 4,
  kSiteEntryMemory = 5,
  kSiteDetach = 6,
  kSiteBallMemory = 7,
  kSiteConvert = 8,
  kSiteBall = 9,
  kSiteResourceMissing = 10,
  kSiteTableSize = 11,
  kSiteArgument = 12,
};

// Indices of STR's own texts.
enum TextIndex : int32_t {
  kTextStringTable,
  kTextEntry,
  kTextReplacement,
  kTextResource,
  kTextBall,
  kTextBadTag,
  kTextDetaching,
  kTextNoStrings,
  kTextBadArgument,
  kTextCount
};

extern const pkg::Reporter kReport;


// Fills table with compiled (may be null) overridden from the string resource
// resourceBase + 1000 (when resourceBase is not 0 and one is registered),
// reduced by the active tag and made double-byte safe when that mode is on.
// The old contents of table are freed on success; on failure table is
// untouched and the failure has been reported.
// quiet: a failure to allocate is not reported (the caller falls back on the
// compiled texts).
ErrorCode Fill(STR_Table& table, const char* const* compiled, int32_t resourceBase, bool quiet);
// Frees the allocated entries and arrays of table and clears it.
void Free(STR_Table& table);

// The registered bytes of string resource id (empty when none).
std::span<const uint8_t> FindResource(int32_t id);

// The double-byte conversion state (decided from the system script on first need).
bool DBCSafe();
void SetDBCSafe(bool on);
void ForgetDBCSafe();

}  // namespace tv::str
