// The colour tables of worlds: reading them, installing entries through the
// World's device, and grey ramps.
#include <array>

#include "BM_color.h"

using namespace tv;
using namespace tv::bm;
using platform::ColourSpec;

namespace tv::bm {
Handle WorldTable(const WorldRec& r) {
  if (r.monochrome || r.depth > 8 || !r.device) return nullptr;
  return r.device->clut;
}
}  // namespace tv::bm

namespace {

// The table of a World that can take entries: colour graphics, not
// monochrome, depth 8 or less. Reports 3 otherwise (2 for a damaged World or
// table).
ErrorCode InstallTarget(BM_World w, const char* what, Handle* table, int32_t* depth) {
  *table = nullptr;
  *depth = 0;
  if (ErrorCode err = CheckWorld(w, kSiteWorldLut, what)) return err;
  const WorldRec& r = *Rec(w);
  if (!G().colour) return kReport.Fail(kSiteWorldLut, kErrBadParam, kStrLutUnavailable);
  if (r.monochrome || r.depth > 8)
    return kReport.Fail(kSiteWorldLut, kErrBadParam, kStrNoLut, {what, int32_t{r.depth}});
  Handle t = WorldTable(r);
  if (NativeEntries(t, kSiteWorldLut, what) < 0) return kErrDamaged;
  *table = t;
  *depth = r.depth;
  return 0;
}

ErrorCode CheckCount(int32_t count, int32_t depth) {
  if (count > (1 << depth)) return kReport.Fail(kSiteWorldLut, kErrBadParam, kStrLutEntries, {count, depth});
  return 0;
}

// first + count within `available` entries (computed without overflow).
ErrorCode CheckRange(int32_t first, int32_t count, int32_t available) {
  if (first < 0 || count < 0 || int64_t{first} + count > available)
    return kReport.Fail(kSiteWorldLut, kErrBadParam, kStrLutRange, {first, count, available});
  return 0;
}

ErrorCode Install(Handle table, int32_t first, std::span<const ColourSpec> specs) {
  if (OSErr err = platform::SetColourTableEntries(table, first, specs))
    return kReport.Platform(kSiteWorldLut, kSevError, err, kStrInstallFailed);
  return 0;
}

ErrorCode InstallCompact(const BM_Lut* lut, int32_t first, int32_t count, int32_t destination, BM_World w,
                         const char* what) {
  Handle table = nullptr;
  int32_t depth = 0;
  if (ErrorCode err = InstallTarget(w, what, &table, &depth)) return err;
  if (!lut) return kReport.BadParam(kSiteWorldLut, {what});
  if (lut->count < 0 || lut->count > BM_LutMaxEntries)
    return kReport.Fail(kSiteWorldLut, kErrBadParam, kStrLutEntries,
                        {int32_t{lut->count}, int32_t{lut->depth}});
  if (ErrorCode err = CheckCount(count, depth)) return err;
  if (ErrorCode err = CheckRange(first, count, lut->count)) return err;
  if (ErrorCode err = CheckRange(destination, count, 1 << depth)) return err;
  std::array<ColourSpec, BM_LutMaxEntries> specs;
  for (int32_t i = 0; i < count; ++i)
    specs[static_cast<size_t>(i)] = SpecOf(lut->entries[first + i], destination + i);
  return Install(table, destination, std::span(specs.data(), static_cast<size_t>(count)));
}

}  // namespace

ErrorCode BM_GetNativeLut(BM_World world, BM_NativeLut* table) {
  if (table) *table = nullptr;
  if (ErrorCode err = CheckWorld(world, kSiteWorldLut, "BM_GetNativeLut")) return err;
  if (!table) return kReport.BadParam(kSiteWorldLut, {"BM_GetNativeLut"});
  Handle t = WorldTable(*Rec(world));
  if (!t) return 0;
  const int32_t n = NativeEntries(t, kSiteWorldLut, "BM_GetNativeLut");
  if (n < 0) return kErrDamaged;
  // The caller gets a copy of its own: the World's table stays the World's.
  Handle copy = t;
  if (OSErr err = HandToHand(&copy))
    return ReportTableFailure(kSiteWorldLut, err, NativeBytes(n), "BM_GetNativeLut");
  *table = copy;
  return 0;
}

ErrorCode BM_GetLut(BM_World world, BM_Lut* lut) {
  ClearLutHeader(lut);
  if (ErrorCode err = CheckWorld(world, kSiteWorldLut, "BM_GetLut")) return err;
  if (!lut) return kReport.BadParam(kSiteWorldLut, {"BM_GetLut"});
  const WorldRec& r = *Rec(world);
  Handle t = WorldTable(r);
  if (!t) return kReport.Fail(kSiteWorldLut, kErrBadParam, kStrNoLut, {"BM_GetLut", int32_t{r.depth}});
  if (ErrorCode err = CompactFromNative(t, lut, kSiteWorldLut, "BM_GetLut")) {
    ClearLutHeader(lut);
    return err;
  }
  return 0;
}

ErrorCode BM_SetLut(const BM_Lut* lut, BM_World world) {
  return InstallCompact(lut, 0, lut ? lut->count : 0, 0, world, "BM_SetLut");
}

ErrorCode BM_SetCompactLutRange(const BM_Lut* lut, int32_t first, int32_t count, int32_t destination,
                                BM_World world) {
  return InstallCompact(lut, first, count, destination, world, "BM_SetCompactLutRange");
}

ErrorCode BM_SetNativeLut(BM_NativeLut table, BM_World world) {
  Handle to = nullptr;
  int32_t depth = 0;
  if (ErrorCode err = InstallTarget(world, "BM_SetNativeLut", &to, &depth)) return err;
  const int32_t n = NativeEntries(table, kSiteWorldLut, "BM_SetNativeLut");
  if (n < 0) return kErrDamaged;
  if (ErrorCode err = CheckCount(n, depth)) return err;
  return Install(to, 0, platform::ColourTableSpecs(table));
}

ErrorCode BM_SetNativeLutRange(BM_NativeLut table, int32_t firstSource, int32_t count,
                               int32_t firstDestination, BM_World world) {
  Handle to = nullptr;
  int32_t depth = 0;
  if (ErrorCode err = InstallTarget(world, "BM_SetNativeLutRange", &to, &depth)) return err;
  const int32_t n = NativeEntries(table, kSiteWorldLut, "BM_SetNativeLutRange");
  if (n < 0) return kErrDamaged;
  if (ErrorCode err = CheckCount(count, depth)) return err;
  // Both ranges must lie inside their tables.
  if (ErrorCode err = CheckRange(firstSource, count, n)) return err;
  if (ErrorCode err = CheckRange(firstDestination, count, 1 << depth)) return err;
  return Install(to, firstDestination,
                 platform::ColourTableSpecs(table).subspan(static_cast<size_t>(firstSource),
                                                           static_cast<size_t>(count)));
}

ErrorCode BM_InstallGrayscale(BM_World world) {
  if (ErrorCode err = CheckWorld(world, kSiteWorldLut, "BM_InstallGrayscale")) return err;
  const WorldRec& r = *Rec(world);
  if (r.monochrome || r.depth == 1) return 0;
  Handle table = nullptr;
  int32_t depth = 0;
  if (ErrorCode err = InstallTarget(world, "BM_InstallGrayscale", &table, &depth)) return err;
  // White down to black; the level of each depth replicated to 8 bits.
  const int32_t n = 1 << depth;
  const uint32_t scale = 255u / static_cast<uint32_t>(n - 1);  // 0x55, 0x11, 1
  std::array<ColourSpec, BM_LutMaxEntries> specs;
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t level = static_cast<uint32_t>(n - 1 - i) * scale;
    const uint16_t c = platform::Component(level);
    specs[static_cast<size_t>(i)] = ColourSpec{static_cast<int16_t>(i), c, c, c};
  }
  return Install(table, 0, std::span(specs.data(), static_cast<size_t>(n)));
}
