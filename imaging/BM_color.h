// Package-private helpers shared by the colour-table files of BM.
#pragma once

#include <span>

#include "BM_internal.h"
#include "ColourTable.h"

namespace tv::bm {

// A new change stamp.
uint32_t NewStamp();
// 1, 2, 4 or 8: the depths that have colour tables.
bool LutDepth(int32_t depth);
// Sets a LUT's header to its invalid value (zeros); null is ignored.
void ClearLutHeader(BM_Lut* lut);
// 0 for a LUT of an indexed depth with 1 to 1 << depth entries; otherwise
// reports 3 (depth, too many entries) or 5 (no entries).
ErrorCode CheckLut(const BM_Lut& lut, Site site);
// Entries of a native table, or -1 after reporting 2 for a damaged one.
int32_t NativeEntries(Handle table, Site site, const char* what);
// The compact form of a native table (reports 2 or 10).
ErrorCode CompactFromNative(Handle table, BM_Lut* lut, Site site, const char* what);
// Reports a platform failure on a native table: 4 when memory is short.
ErrorCode ReportTableFailure(Site site, OSErr err, uint64_t bytes, const char* what);

inline uint64_t NativeBytes(int32_t entries) {
  return sizeof(platform::ColourTableHeader) + static_cast<uint64_t>(entries) * sizeof(platform::ColourSpec);
}
// 0xRRGGBB00 from a native entry (the components' high bytes), and back.
inline uint32_t EntryOf(const platform::ColourSpec& s) {
  return (platform::ComponentByte(s.red) << 24) | (platform::ComponentByte(s.green) << 16) |
         (platform::ComponentByte(s.blue) << 8);
}
inline platform::ColourSpec SpecOf(uint32_t entry, int32_t index) {
  return platform::ColourSpec{static_cast<int16_t>(index), platform::Component(entry >> 24),
                              platform::Component(entry >> 16), platform::Component(entry >> 8)};
}

// The native table an indexed World draws with (its device's), or null for
// monochrome worlds and depths above 8.
Handle WorldTable(const WorldRec& r);

}  // namespace tv::bm
