// Palette fades: a table of current values moved towards a target LUT by
// per-step deltas in 8.8 fixed point.
#include <algorithm>
#include <array>

#include "BM_color.h"

using namespace tv;
using namespace tv::bm;
using platform::ColourSpec;

namespace {

constexpr int32_t kMaxFadeSteps = 254;

// Entries of the fade's three tables, or -1 (reported, 2) when they are
// missing or differ.
int32_t FadeEntries(const BM_FadeLut& fade, const char* what) {
  const int32_t n = platform::ColourTableEntries(fade.current);
  if (n < 1 || n > BM_LutMaxEntries || platform::ColourTableEntries(fade.deltas) != n ||
      platform::ColourTableEntries(fade.target) != n) {
    kReport.Fail(kSiteFade, kErrDamaged, kStrBadFade, {what});
    return -1;
  }
  return n;
}

void DisposeTables(BM_FadeLut& fade) {
  platform::DisposeColourTable(fade.current);
  platform::DisposeColourTable(fade.deltas);
  platform::DisposeColourTable(fade.target);
  fade.current = fade.deltas = fade.target = nullptr;
}

// The 8.8 step from an 8-bit current value to an 8-bit target: the 16.16
// quotient shifted right by 8, plus 1 when negative.
uint16_t Delta(uint32_t target, uint16_t current, int32_t steps) {
  const int32_t diff = static_cast<int32_t>(target) - static_cast<int32_t>(platform::ComponentByte(current));
  const int32_t quotient = static_cast<int32_t>((int64_t{diff} << 16) / steps);
  int32_t d = quotient >> 8;
  if (d < 0) d += 1;
  return static_cast<uint16_t>(static_cast<int16_t>(d));
}

uint16_t Step(uint16_t current, uint16_t delta) {
  return static_cast<uint16_t>(
      std::clamp(int32_t{current} + int32_t{static_cast<int16_t>(delta)}, 0, 0xFFFF));
}

}  // namespace

ErrorCode BM_NewFadeLut(int32_t depth, BM_FadeLut* record, BM_FadeLut** outFade) {
  if (outFade) *outFade = nullptr;
  if (ErrorCode err = CheckBorn(kSiteFade)) return err;
  if ((record != nullptr) == (outFade != nullptr)) return kReport.BadParam(kSiteFade, {"BM_NewFadeLut"});
  if (!LutDepth(depth)) return kReport.Fail(kSiteFade, kErrBadParam, kStrLutDepth, {depth});
  const int32_t n = 1 << depth;
  BM_FadeLut* fade = record ? record : reinterpret_cast<BM_FadeLut*>(NewPtrClear(sizeof(BM_FadeLut)));
  if (!fade) return kReport.OutOfMemory(kSiteFade, kStrLutMemory, sizeof(BM_FadeLut));
  *fade = BM_FadeLut{};
  fade->allocatedHere = record ? 0 : 1;
  fade->current = platform::NewColourTable(n);
  fade->deltas = platform::NewColourTable(n);
  fade->target = platform::NewColourTable(n);
  if (!fade->current || !fade->deltas || !fade->target) {
    DisposeTables(*fade);
    if (!record) DisposePtr(reinterpret_cast<Ptr>(fade));
    return kReport.OutOfMemory(kSiteFade, kStrLutMemory, 3 * NativeBytes(n));
  }
  if (outFade) *outFade = fade;
  return 0;
}

ErrorCode BM_DisposeFadeLut(BM_FadeLut* fade) {
  if (!fade) return 0;
  if (FadeEntries(*fade, "BM_DisposeFadeLut") < 0) return kErrDamaged;
  DisposeTables(*fade);
  if (fade->allocatedHere)
    DisposePtr(reinterpret_cast<Ptr>(fade));
  else
    *fade = BM_FadeLut{};
  return 0;
}

ErrorCode BM_CalcFadeLut(BM_FadeLut* fade, const BM_Lut* target, int32_t steps, BM_NativeLut start) {
  if (ErrorCode err = CheckBorn(kSiteFade)) return err;
  if (!fade || !target) return kReport.BadParam(kSiteFade, {"BM_CalcFadeLut"});
  const int32_t n = FadeEntries(*fade, "BM_CalcFadeLut");
  if (n < 0) return kErrDamaged;
  if (steps < 2) return kReport.Fail(kSiteFade, kErrBadParam, kStrFadeSteps, {steps});
  steps = std::min(steps, kMaxFadeSteps);
  if (target->count != n)
    return kReport.Fail(kSiteFade, kErrBadParam, kStrFadeSize, {int32_t{target->count}, n});
  if (start) {
    const int32_t sn = NativeEntries(start, kSiteFade, "BM_CalcFadeLut");
    if (sn < 0) return kErrDamaged;
    if (sn != n) return kReport.Fail(kSiteFade, kErrBadParam, kStrFadeSize, {sn, n});
    // Same size: the copy allocates nothing.
    if (OSErr err = platform::CopyColourTable(start, fade->current))
      return ReportTableFailure(kSiteFade, err, NativeBytes(n), "BM_CalcFadeLut");
  }
  std::span<const ColourSpec> current = platform::ColourTableSpecs(fade->current);
  std::span<ColourSpec> deltas = platform::ColourTableSpecs(fade->deltas);
  std::span<ColourSpec> to = platform::ColourTableSpecs(fade->target);
  for (int32_t i = 0; i < n; ++i) {
    const auto k = static_cast<size_t>(i);
    const uint32_t t = target->entries[i];
    deltas[k] = ColourSpec{static_cast<int16_t>(i), Delta(t >> 24, current[k].red, steps),
                           Delta((t >> 16) & 0xFF, current[k].green, steps),
                           Delta((t >> 8) & 0xFF, current[k].blue, steps)};
    to[k] = SpecOf(t, i);
  }
  fade->steps = steps;
  fade->step = 0;
  return 0;
}

ErrorCode BM_ForwardStep(BM_FadeLut* fade, BM_World world) {
  if (ErrorCode err = CheckBorn(kSiteFade)) return err;
  if (!fade) return kReport.BadParam(kSiteFade, {"BM_ForwardStep"});
  const int32_t n = FadeEntries(*fade, "BM_ForwardStep");
  if (n < 0) return kErrDamaged;
  if (fade->step >= fade->steps) return 0;
  ++fade->step;
  std::array<ColourSpec, BM_LutMaxEntries> next;
  std::span<const ColourSpec> current = platform::ColourTableSpecs(fade->current);
  std::span<const ColourSpec> deltas = platform::ColourTableSpecs(fade->deltas);
  std::span<const ColourSpec> target = platform::ColourTableSpecs(fade->target);
  for (size_t k = 0; k < static_cast<size_t>(n); ++k) {
    // Rounded deltas drift by up to one unit a step: the last step lands on
    // the target exactly.
    if (fade->step == fade->steps) {
      next[k] = target[k];
      continue;
    }
    next[k] = ColourSpec{current[k].value, Step(current[k].red, deltas[k].red),
                         Step(current[k].green, deltas[k].green), Step(current[k].blue, deltas[k].blue)};
  }
  if (OSErr err =
          platform::SetColourTableEntries(fade->current, 0, std::span(next.data(), static_cast<size_t>(n))))
    return kReport.Platform(kSiteFade, kSevError, err, kStrBadFade, {"BM_ForwardStep"});
  if (world) return BM_SetNativeLut(fade->current, world);
  return 0;
}

ErrorCode BM_BackwardStep(BM_FadeLut* /*fade*/, BM_World /*world*/) {
  return kReport.Fail(kSiteFade, kErrUnimplemented, kStrBackwardStep);
}
