// Footage interpretation: alpha, fields, pulldown, pixel aspect, rates,
// looping, reel and flags; the whole interpretation read, written and handed
// from one SeqSpec to another.
#include <cstring>

#include "PIN_interp.h"
#include "PIN_internal.h"
#include "T.h"

namespace tv::pin {

Time FrameDurationOf(Fixed rate) {
  if (rate <= 0) return Time{0, 1};
  Time d{};
  if (T_FrameRate2Duration(rate, &d) == 0 && d.value > 0 && d.scale > 0) return d;
  return Time{65536, static_cast<uint32_t>(rate)};
}

int64_t FramesIn(const Time& t, Fixed rate, int64_t per) {
  const Time d = FrameDurationOf(rate);
  if (d.value <= 0 || t.scale == 0) return 0;
  const __int128 num = static_cast<__int128>(t.value) * d.scale * per;
  const __int128 den = static_cast<__int128>(t.scale) * d.value;
  int64_t n = static_cast<int64_t>(num / den);
  if (num < 0 && num % den != 0) --n;
  return n;
}

Time FrameStart(int64_t n, Fixed rate) {
  if (rate <= 0 || n <= 0) return Time{0, 1};
  const Time d = FrameDurationOf(rate);
  const int64_t v = n * d.value;
  return Time{static_cast<int32_t>(v > INT32_MAX ? INT32_MAX : v), d.scale};
}

int64_t FrameCount(const SeqSpec& s) {
  if (const int32_t files = NumFiles(s); files > 0) return files;
  const Fixed rate = s.effectiveRate ? s.effectiveRate : s.nativeRate;
  if (rate <= 0 || s.duration.scale == 0 || s.duration.value <= 0) return 0;
  const Time d = FrameDurationOf(rate);
  const __int128 num = static_cast<__int128>(s.duration.value) * d.scale;
  const __int128 den = static_cast<__int128>(s.duration.scale) * d.value;
  return static_cast<int64_t>((num + den / 2) / den);
}

namespace {

// Rates are accepted from 1/65536 to 999 frames a second.
constexpr Fixed kMaxRate = 999 << 16;
constexpr Fixed kNativeRate = static_cast<Fixed>(0xFFFFFFFFu);
// Pixel aspect terms run from 1 to this.
constexpr uint32_t kMaxAspectTerm = 100000;

bool HasOwnTime(const SeqSpec& s) { return (s.moduleFlags & PIN_ModFlag_NoTime) == 0; }

ErrorCode Start(PIN_SeqSpecH seq, const void* arg, const char* op) {
  if (ErrorCode err = CheckSeq(seq, kSiteInterp)) return err;
  return arg ? 0 : kReport.BadParam(kSiteInterp, {op});
}

bool ValidAlpha(const PIN_AlphaInfo& a) { return a.type <= PIN_Alpha_None; }
bool ValidField(const PIN_FieldInfo& f) { return f.separate <= 1 && f.dominance <= 1; }
bool ValidAspect(uint32_t num, uint32_t den) {
  return num >= 1 && den >= 1 && num <= kMaxAspectTerm && den <= kMaxAspectTerm;
}

void ApplyAlpha(SeqSpec& s, const PIN_AlphaInfo& a) {
  PIN_AlphaInfo v = a;
  if (s.depth != 32 && s.depth != 0) v.type = PIN_Alpha_None;
  v.marker = PIN_AlphaMarker;
  v.flags = v.type == PIN_Alpha_Premul ? 1u : 0u;
  if (v.type != PIN_Alpha_Premul) v.red = v.green = v.blue = 0;
  s.alpha = v;
}

void ApplyField(SeqSpec& s, const PIN_FieldInfo& f) {
  s.field.tag = MakeFourCC("FIEL");
  s.field.version = 1;
  s.field.separate = f.separate;
  s.field.dominance = f.dominance;
  s.field.reserved = 0;
  // Pulldown removal needs separated fields.
  if (!s.field.separate) s.pulldown = 0;
}

// The rate change on an intact record; validated by the caller.
ErrorCode ApplyRate(SeqSpec& s, Fixed rate) {
  if (!HasOwnTime(s)) {
    if (rate == kNativeRate) return kReport.Fail(kSiteInterp, PIN_ErrBadRequest, kTextNoNativeRate);
    const int32_t files = NumFiles(s);
    const Fixed old = s.effectiveRate ? s.effectiveRate : s.nativeRate;
    if (files > 0) {
      s.duration = FrameStart(files, rate);
    } else if ((s.moduleFlags & PIN_ModFlag_RescaleDuration) && old > 0 && s.duration.value > 0) {
      s.duration = FrameStart(FrameCount(s), rate);
    } else if (s.duration.value == 0) {
      return kReport.Fail(kSiteInterp, PIN_ErrBadRequest, kTextFpsNoTime);
    }
    s.nativeRate = s.effectiveRate = rate;
    return 0;
  }
  // The footage keeps its frames; its duration follows the rate it plays at.
  const int64_t frames = FrameCount(s);
  if (rate == kNativeRate) {
    s.conformedRate = 0;
    s.pulldown = 0;
    s.effectiveRate = s.nativeRate;
  } else {
    // The module reads its frames at the effective rate: a conformed rate is
    // the frame map.
    s.conformedRate = s.effectiveRate = rate;
  }
  if (frames > 0 && s.effectiveRate > 0) s.duration = FrameStart(frames, s.effectiveRate);
  return 0;
}

bool ValidRate(Fixed rate) { return rate == kNativeRate || (rate > 0 && rate <= kMaxRate); }

}  // namespace
}  // namespace tv::pin

using namespace tv;
using namespace tv::pin;

ErrorCode PIN_SetAlphaType(PIN_SeqSpecH seq, const PIN_AlphaInfo* alpha) {
  if (ErrorCode err = Start(seq, alpha, "PIN_SetAlphaType")) return err;
  if (!ValidAlpha(*alpha)) return kReport.BadParam(kSiteInterp, {"PIN_SetAlphaType"});
  ApplyAlpha(Rec(seq), *alpha);
  return 0;
}

ErrorCode PIN_SetInterlace(PIN_SeqSpecH seq, const PIN_FieldInfo* field) {
  if (ErrorCode err = Start(seq, field, "PIN_SetInterlace")) return err;
  if (!ValidField(*field)) return kReport.BadParam(kSiteInterp, {"PIN_SetInterlace"});
  ApplyField(Rec(seq), *field);
  return 0;
}

ErrorCode PIN_SetPulldown(PIN_SeqSpecH seq, uint32_t phase) {
  if (ErrorCode err = CheckSeq(seq, kSiteInterp)) return err;
  if (phase > 5) return kReport.BadParam(kSiteInterp, {"PIN_SetPulldown"});
  SeqSpec& s = Rec(seq);
  if (phase != 0 && !HasOwnTime(s)) return kReport.Fail(kSiteInterp, PIN_ErrBadRequest, kTextFpsNoTime);
  if (phase != 0 && !s.field.separate) return kReport.Fail(kSiteInterp, PIN_ErrBadRequest, kTextFieldOrderFirst);
  s.pulldown = phase;
  // The footage is read at its conformed (or native) video rate; the film
  // frames follow from it.
  s.effectiveRate = s.conformedRate ? s.conformedRate : s.nativeRate;
  return 0;
}

ErrorCode PIN_SetSequenceFPS(PIN_SeqSpecH seq, Fixed rate) {
  if (ErrorCode err = CheckSeq(seq, kSiteInterp)) return err;
  // A rate of 0 would leave footage with frames of no length: refused, like
  // any rate outside 1/65536 to 999 frames a second.
  if (!ValidRate(rate)) return kReport.BadParam(kSiteInterp, {"PIN_SetSequenceFPS"});
  return ApplyRate(Rec(seq), rate);
}

ErrorCode PIN_SetHSF(PIN_SeqSpecH seq, uint32_t numerator, uint32_t denominator) {
  if (ErrorCode err = CheckSeq(seq, kSiteInterp)) return err;
  if (!ValidAspect(numerator, denominator)) return kReport.BadParam(kSiteInterp, {"PIN_SetHSF"});
  SeqSpec& s = Rec(seq);
  s.hsfNum = numerator;
  s.hsfDen = denominator;
  return 0;
}

ErrorCode PIN_SetReel(PIN_SeqSpecH seq, const PIN_Reel* reel) {
  if (ErrorCode err = Start(seq, reel, "PIN_SetReel")) return err;
  Rec(seq).reel = *reel;
  return 0;
}

ErrorCode PIN_SetLooping(PIN_SeqSpecH seq, const PIN_Loop* loop) {
  if (ErrorCode err = Start(seq, loop, "PIN_SetLooping")) return err;
  if (loop->a > PIN_MaxLoops) return kReport.BadParam(kSiteInterp, {"PIN_SetLooping"});
  Rec(seq).loop = *loop;
  return 0;
}

ErrorCode PIN_SetSeqFlags(PIN_SeqSpecH seq, uint32_t flags) {
  if (ErrorCode err = CheckSeq(seq, kSiteInterp)) return err;
  Rec(seq).seqFlags = flags;
  return 0;
}

ErrorCode PIN_SetInterpretation(PIN_SeqSpecH seq, const PIN_Interpretation* interp) {
  if (ErrorCode err = Start(seq, interp, "PIN_SetInterpretation")) return err;
  SeqSpec& s = Rec(seq);
  const bool timed = HasOwnTime(s);
  const PIN_Interpretation& i = *interp;
  const Fixed rate = timed ? (i.conformedRate ? i.conformedRate : kNativeRate) : i.nativeRate;
  if (!ValidAlpha(i.alpha) || !ValidField(i.field) || !ValidAspect(i.hsfNum, i.hsfDen) || i.pulldown > 5 ||
      (i.pulldown != 0 && (!i.field.separate || !timed)) || i.loop.a > PIN_MaxLoops ||
      (rate != 0 && !ValidRate(rate)))
    return kReport.BadParam(kSiteInterp, {"PIN_SetInterpretation"});
  // Everything is checked: from here nothing fails but a rate refused for a
  // single still, which is left as it was.
  const SeqSpec before = s;
  if (rate != 0 && (timed || rate != s.nativeRate))
    if (ErrorCode err = ApplyRate(s, rate)) {
      s = before;
      return err;
    }
  ApplyField(s, i.field);
  ApplyAlpha(s, i.alpha);
  s.pulldown = i.pulldown;
  s.loop = i.loop;
  s.hsfNum = i.hsfNum;
  s.hsfDen = i.hsfDen;
  s.seqFlags = (s.seqFlags & ~1u) | (i.seqFlag0 ? 1u : 0u);
  return 0;
}

ErrorCode PIN_TransferInterpretation(PIN_SeqSpecH from, Fixed defaultRate, PIN_SeqSpecH to, Boolean32* asked) {
  if (!asked) return kReport.BadParam(kSiteInterp, {"PIN_TransferInterpretation"});
  *asked = 0;
  if (ErrorCode err = CheckSeq(from, kSiteInterp)) return err;
  if (ErrorCode err = CheckSeq(to, kSiteInterp)) return err;
  PIN_Interpretation i{};
  if (ErrorCode err = PIN_GetInterpretation(from, &i)) return err;
  const SeqSpec& t = Rec(to);
  // Footage without time takes the rate of the one it replaces, or the
  // default when that one has none; the depth and timing of `to` stay its own.
  if (!HasOwnTime(t)) {
    i.nativeRate = i.nativeRate ? i.nativeRate : defaultRate;
    if (t.duration.value == 0 && NumFiles(t) == 0) i.nativeRate = 0;
  }
  if (i.pulldown != 0 && !HasOwnTime(t)) i.pulldown = 0;
  return PIN_SetInterpretation(to, &i);
}
