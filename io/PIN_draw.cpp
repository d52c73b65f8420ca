// Drawing a frame of footage into a World: the checks of time and World, the
// synchronisation with the files, the module's drawing (whole or partial, at
// the asked scale), the missing-footage placeholder and the alpha steps that
// convert the module's alpha to the interpretation, and 3:2 pulldown removal.
#include "PIN_internal.h"
#include "PIN_interp.h"

namespace tv::pin {

PixelLock::PixelLock(BM_World world) : world_(world) {
  int32_t depth = 0, rowBytes = 0;
  if (BM_GetWorldInfo(world, &width_, &height_, &depth, &rowBytes) != 0) return;
  if (depth != 32) {
    error_ = kErrBadParam;
    return;
  }
  if ((error_ = BM_LockPixels(1, world, nullptr)) != 0) return;
  locked_ = true;
  base_ = reinterpret_cast<uint8_t*>(BMp_GetPixBaseAddr(world));
  rowBytes_ = rowBytes;
}

PixelLock::~PixelLock() {
  if (locked_) BM_UnlockPixels(world_);
}

namespace {

// Checks the World against the size expected; reports once.
ErrorCode CheckWorld(BM_World world, int32_t width, int32_t height, int32_t* depthOut) {
  int32_t w = 0, h = 0, depth = 0, rowBytes = 0;
  if (ErrorCode err = BM_GetWorldInfo(world, &w, &h, &depth, &rowBytes)) return err;
  *depthOut = depth;
  if (depth != 32)
    return kReport.Fail(kSiteDraw, kErrBadParam, kTextWrongWorld, {kReport.Text(kTextNot32Bit)});
  if (w != width || h != height)
    return kReport.Fail(kSiteDraw, kErrBadParam, kTextWrongWorld, {kReport.Text(kTextWrongSize)});
  return 0;
}

bool ValidTime(const Time& t) { return t.scale != 0 && t.value != INT32_MIN; }

// After the module drew: from the module's alpha to the SeqSpec's (inverted
// first on request).
void FinishAlpha(BM_World world, const SeqSpec& s, uint32_t flags) {
  const bool invert = (flags & PIN_Draw_InvertAlpha) != 0;
  const PIN_AlphaInfo native = s.nativeAlphaKnown ? s.nativeAlpha : s.alpha;
  const bool opaque = s.alpha.type == PIN_Alpha_Ignore || s.alpha.type == PIN_Alpha_None;
  const bool same = native.type == s.alpha.type &&
                    (native.type != PIN_Alpha_Premul || (native.red == s.alpha.red &&
                                                         native.green == s.alpha.green &&
                                                         native.blue == s.alpha.blue));
  if (!invert && !opaque && same) return;
  PixelLock px(world);
  if (!px.ok()) return;
  for (int32_t y = 0; y < px.height(); ++y) ConvertAlpha(native, s.alpha, invert, px.Row(y), px.width());
}

// A 32-bit World for one drawing.
class ScratchWorld {
 public:
  ScratchWorld() = default;
  ~ScratchWorld() {
    if (world_) BM_DisposeWorld(world_);
  }
  ScratchWorld(const ScratchWorld&) = delete;
  ScratchWorld& operator=(const ScratchWorld&) = delete;
  ErrorCode Make(int32_t width, int32_t height) {
    const Rect bounds{0, 0, static_cast<int16_t>(height), static_cast<int16_t>(width)};
    return BM_NewWorld(nullptr, BM_Flag_Clear, &bounds, 32, 0, nullptr, &world_);
  }
  BM_World get() const { return world_; }

 private:
  BM_World world_ = nullptr;
};

ErrorCode DrawModule(PIN_SeqSpecH seq, const PIN_DrawParams* params, BM_World world, bool partial) {
  const Module* m = ModuleOf(seq);
  return partial ? CallSlot(m, PIN_Slot_DrawPartialFrame, &PIN_ModuleProcs::drawPartialFrame, seq, params, world)
                 : CallSlot(m, PIN_Slot_DrawSparseFrame, &PIN_ModuleProcs::drawSparseFrame, seq, params, world);
}

// Film frame of footage with 3:2 pulldown: drawn whole from one video frame,
// or its first field from one and its second from the next; a split frame
// whose other half lies outside the footage doubles the field it has.
ErrorCode DrawPulldown(PIN_SeqSpecH seq, const PIN_DrawParams* params, BM_World world, bool partial,
                       int32_t width, int32_t height) {
  const SeqSpec& s = Rec(seq);
  const Fixed rate = s.effectiveRate ? s.effectiveRate : s.nativeRate;
  const uint32_t phase = s.pulldown;
  // Rows of a part keep their parity in the whole frame.
  const uint32_t dominance = (s.field.dominance ^ (partial ? static_cast<uint32_t>(params->part.top & 1) : 0u)) & 1u;
  const Fixed film = FilmRate(rate);
  const __int128 num = static_cast<__int128>(params->time.value) * film;
  const __int128 den = static_cast<__int128>(params->time.scale) * 65536;
  int64_t n = static_cast<int64_t>(num / den);
  if (num < 0 && num % den != 0) --n;
  if (n < 0) n = 0;
  const int64_t count = FrameCount(s);
  PulldownStep step = PulldownFor(phase, n);
  const auto inside = [&](int64_t m) { return m >= 0 && (count == 0 || m < count); };
  if (!step.split || (!inside(step.first) && !inside(step.second))) {
    int64_t m = step.split ? step.first : step.first;
    if (count > 0 && m >= count) m = count - 1;
    if (m < 0) m = 0;
    PIN_DrawParams p = *params;
    p.time = FrameStart(m, rate);
    return DrawModule(seq, &p, world, partial);
  }
  PIN_DrawParams p = *params;
  if (inside(step.first) && inside(step.second)) {
    p.time = FrameStart(step.first, rate);
    if (ErrorCode err = DrawModule(seq, &p, world, partial)) return err;
    ScratchWorld other;
    if (ErrorCode err = other.Make(width, height)) return err;
    p.time = FrameStart(step.second, rate);
    if (ErrorCode err = DrawModule(seq, &p, other.get(), partial)) return err;
    PixelLock dst(world), src(other.get());
    if (!dst.ok()) return dst.error() ? dst.error() : kErrBadParam;
    if (!src.ok()) return src.error() ? src.error() : kErrBadParam;
    MergeSecondField(dst.Row(0), dst.rowBytes(), src.Row(0), src.rowBytes(), width, height, dominance);
    return 0;
  }
  const bool haveFirst = inside(step.first);
  p.time = FrameStart(haveFirst ? step.first : step.second, rate);
  if (ErrorCode err = DrawModule(seq, &p, world, partial)) return err;
  PixelLock px(world);
  if (!px.ok()) return px.error() ? px.error() : kErrBadParam;
  DoubleField(px.Row(0), px.rowBytes(), width, height, dominance, haveFirst);
  return 0;
}

// The size the frame is drawn at.
ErrorCode ScaledSize(PIN_SeqSpecH seq, const PIN_DrawParams& params, int32_t* width, int32_t* height) {
  const Ratio scale[2] = {params.scaleX, params.scaleY};
  return PIN_GetDimensions(seq, scale, width, height, nullptr);
}

ErrorCode Draw(PIN_SeqSpecH seq, BM_World world, const PIN_DrawParams* params, bool partial, const char* op) {
  if (!world || !params) return kReport.BadParam(kSiteDraw, {op});
  if (ErrorCode err = CheckSeq(seq, kSiteDraw)) return err;
  if (!ValidTime(params->time))
    return kReport.Fail(kSiteDraw, PIN_ErrBadTime, kTextBadParameters, {kReport.Text(kTextBadSampleTime)});
  int32_t width = 0, height = 0, depth = 0;
  if (ErrorCode err = ScaledSize(seq, *params, &width, &height)) return err;
  if (partial) {
    const LRect& r = params->part;
    if (r.left < 0 || r.top < 0 || r.right > width || r.bottom > height || r.left >= r.right ||
        r.top >= r.bottom)
      return kReport.BadParam(kSiteDraw, {op});
    width = r.right - r.left;
    height = r.bottom - r.top;
  }
  if (ErrorCode err = CheckWorld(world, width, height, &depth)) return err;

  if (Rec(seq).missing) {
    char name[FILE_MaxName + 1] = "";
    const SeqSpec& s = Rec(seq);
    if (s.file)
      FILE_InqName(s.file, FILE_NameOnly, name, sizeof name);
    else if (s.alias)
      FILE_InqAliasRecName(s.alias, name, sizeof name);
    return DrawPlaceholder(world, name);
  }
  if (!Rec(seq).inSynch)
    if (ErrorCode err = PIN_SynchSeqSpec(seq)) return err;
  const SeqSpec& r = Rec(seq);
  const bool pulldown = r.pulldown != 0 && r.field.separate && !(r.moduleFlags & PIN_ModFlag_NoTime);
  ErrorCode err = pulldown ? DrawPulldown(seq, params, world, partial, width, height)
                           : DrawModule(seq, params, world, partial);
  if (err) return err;
  SeqSpec& s = Rec(seq);
  s.lastIndex = FrameIndex(s, params->time);
  FinishAlpha(world, s, params->flags);
  return 0;
}

}  // namespace
}  // namespace tv::pin

using namespace tv;
using namespace tv::pin;

ErrorCode PIN_DrawFrame(PIN_SeqSpecH seq, BM_World world, const PIN_DrawParams* params) {
  return Draw(seq, world, params, false, "PIN_DrawFrame");
}

ErrorCode PIN_DrawPartialFrame(PIN_SeqSpecH seq, BM_World world, const PIN_DrawParams* params) {
  return Draw(seq, world, params, true, "PIN_DrawPartialFrame");
}

ErrorCode PIN_DrawSparseFrame(PIN_SeqSpecH, BM_World, const PIN_DrawParams*) {
  return kReport.Fail(kSiteDraw, PIN_ErrObsolete, kTextUnimplemented);
}
