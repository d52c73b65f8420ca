// Compact colour tables (LUTs) and their change stamps, the system LUTs,
// native tables and the conversions between the two forms.
#include <cstring>

#include "BM_color.h"

using namespace tv;
using namespace tv::bm;

namespace tv::bm {

namespace {
// Stamps are unique in the process: the count is not restarted by a birth.
uint32_t gNextStamp = 1024;
}  // namespace

uint32_t NewStamp() {
  if (gNextStamp == UINT32_MAX) gNextStamp = 1024;
  return gNextStamp++;
}

bool LutDepth(int32_t depth) { return depth == 1 || depth == 2 || depth == 4 || depth == 8; }

void ClearLutHeader(BM_Lut* lut) {
  if (!lut) return;
  lut->reserved = 0;
  lut->stamp = 0;
  lut->depth = 0;
  lut->count = 0;
}

ErrorCode CheckLut(const BM_Lut& lut, Site site) {
  if (!LutDepth(lut.depth)) return kReport.Fail(site, kErrBadParam, kStrLutDepth, {int32_t{lut.depth}});
  if (lut.count < 1) return kReport.Fail(site, kErrUnimplemented, kStrEmptyLut);
  if (lut.count > (1 << lut.depth))
    return kReport.Fail(site, kErrBadParam, kStrLutEntries, {int32_t{lut.count}, int32_t{lut.depth}});
  return 0;
}

int32_t NativeEntries(Handle table, Site site, const char* what) {
  const int32_t n = platform::ColourTableEntries(table);
  if (n < 0) kReport.Fail(site, kErrDamaged, kStrBadNativeLut, {what});
  return n;
}

ErrorCode CompactFromNative(Handle table, BM_Lut* lut, Site site, const char* what) {
  const int32_t n = NativeEntries(table, site, what);
  if (n < 0) return kErrDamaged;
  if (n < 2 || n > BM_LutMaxEntries)
    return kReport.Fail(site, kErrRange, kStrNativeCountFormat, {kReport.Text(kStrNativeCount), n});
  const int16_t depth = n > 16 ? 8 : n > 4 ? 4 : n > 2 ? 2 : 1;
  const platform::ColourTableHeader& head = platform::ColourTableHead(table);
  std::span<const platform::ColourSpec> specs = platform::ColourTableSpecs(table);
  lut->reserved = 0;
  lut->stamp = static_cast<uint32_t>(head.seed);
  lut->depth = depth;
  lut->count = static_cast<int16_t>(n);
  for (int32_t i = 0; i < n; ++i) lut->entries[i] = EntryOf(specs[static_cast<size_t>(i)]);
  return 0;
}

ErrorCode ReportTableFailure(Site site, OSErr err, uint64_t bytes, const char* what) {
  if (err == kSysMemFull) return kReport.OutOfMemory(site, kStrLutMemory, bytes);
  return kReport.Platform(site, kSevError, err, kStrBadNativeLut, {what});
}

}  // namespace tv::bm

// ---- Compact LUTs -------------------------------------------------------------------

ErrorCode BM_InitLut(int32_t depth, BM_Lut* lut) {
  ClearLutHeader(lut);
  if (ErrorCode err = CheckBorn(kSiteLut)) return err;
  if (!lut) return kReport.BadParam(kSiteLut, {"BM_InitLut"});
  // Only the indexed depths have tables (a count of 1 << 16 or more would
  // not fit the entry count).
  if (!LutDepth(depth)) return kReport.Fail(kSiteLut, kErrBadParam, kStrLutDepth, {depth});
  lut->stamp = NewStamp();
  lut->depth = static_cast<int16_t>(depth);
  lut->count = static_cast<int16_t>(1 << depth);
  return 0;
}

ErrorCode BM_ChangedLut(BM_Lut* lut) {
  if (ErrorCode err = CheckBorn(kSiteLut)) return err;
  if (!lut) return kReport.BadParam(kSiteLut, {"BM_ChangedLut"});
  lut->stamp = NewStamp();
  return 0;
}

ErrorCode BM_GetSystemLut(int32_t depth, BM_Lut* lut) {
  if (ErrorCode err = BM_InitLut(depth, lut)) return err;
  for (int32_t i = 0; i < lut->count; ++i) lut->entries[i] = platform::StandardColour(depth, i) << 8;
  return 0;
}

// ---- Native tables ----------------------------------------------------------------------

ErrorCode BM_NewNativeLut(int32_t depth, int32_t /*ignored*/, BM_NativeLut* table) {
  if (table) *table = nullptr;
  if (ErrorCode err = CheckBorn(kSiteNativeLut)) return err;
  if (!table) return kReport.BadParam(kSiteNativeLut, {"BM_NewNativeLut"});
  if (!LutDepth(depth)) return kReport.Fail(kSiteNativeLut, kErrBadParam, kStrLutDepth, {depth});
  Handle h = nullptr;
  if (depth == 8 && G().table8) {
    h = G().table8;
    if (HandToHand(&h) != 0) h = nullptr;
  } else {
    h = platform::NewStandardColourTable(depth);
  }
  if (!h) return kReport.OutOfMemory(kSiteNativeLut, kStrLutMemory, NativeBytes(1 << depth));
  *table = h;
  return 0;
}

ErrorCode BM_DisposeNativeLut(BM_NativeLut table) {
  if (!table) return 0;
  if (NativeEntries(table, kSiteNativeLut, "BM_DisposeNativeLut") < 0) return kErrDamaged;
  platform::DisposeColourTable(table);
  return 0;
}

ErrorCode BM_CopyNativeLut(BM_NativeLut source, BM_NativeLut destination) {
  if (ErrorCode err = CheckBorn(kSiteNativeLut)) return err;
  const int32_t n = NativeEntries(source, kSiteNativeLut, "BM_CopyNativeLut");
  if (n < 0) return kErrDamaged;
  if (!destination) return kReport.BadParam(kSiteNativeLut, {"BM_CopyNativeLut"});
  if (OSErr err = platform::CopyColourTable(source, destination))
    return ReportTableFailure(kSiteNativeLut, err, NativeBytes(n), "BM_CopyNativeLut");
  return 0;
}

// ---- Conversions ------------------------------------------------------------------------

ErrorCode BM_ConvToNativeLut(const BM_Lut* lut, BM_NativeLut table) {
  if (ErrorCode err = CheckBorn(kSiteNativeLut)) return err;
  if (!lut || !table) return kReport.BadParam(kSiteNativeLut, {"BM_ConvToNativeLut"});
  if (lut->count < 1) return kReport.Fail(kSiteNativeLut, kErrUnimplemented, kStrEmptyLut);
  if (ErrorCode err = CheckLut(*lut, kSiteNativeLut)) return err;
  const int32_t n = 1 << lut->depth;
  if (OSErr err = platform::ResizeColourTable(table, n))
    return ReportTableFailure(kSiteNativeLut, err, NativeBytes(n), "BM_ConvToNativeLut");
  platform::ColourTableHead(table) =
      platform::ColourTableHeader{static_cast<int32_t>(lut->stamp), 0, static_cast<int16_t>(n - 1)};
  // A LUT of fewer entries than its depth allows leaves the rest black:
  // nothing past its count is read.
  std::span<platform::ColourSpec> specs = platform::ColourTableSpecs(table);
  for (int32_t i = 0; i < n; ++i)
    specs[static_cast<size_t>(i)] = SpecOf(i < lut->count ? lut->entries[i] : 0, i);
  return 0;
}

ErrorCode BM_ConvToCompactLut(BM_NativeLut table, BM_Lut* lut) {
  ClearLutHeader(lut);
  if (ErrorCode err = CheckBorn(kSiteNativeLut)) return err;
  if (!lut) return kReport.BadParam(kSiteNativeLut, {"BM_ConvToCompactLut"});
  if (ErrorCode err = CompactFromNative(table, lut, kSiteNativeLut, "BM_ConvToCompactLut")) {
    ClearLutHeader(lut);
    return err;
  }
  return 0;
}
