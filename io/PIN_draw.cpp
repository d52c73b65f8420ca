// Drawing a frame of footage into a World: the checks of time and World, the
// synchronisation with the files, the module's drawing (whole or partial, at
// the asked scale), the missing-footage placeholder and the alpha steps that
// convert the module's alpha to the interpretation, 3:2 pulldown removal,
// separated fields and frame blending.
#include "PIN_internal.h"
#include "PIN_interp.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "PF.h"

namespace tv::pin {

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

// The index of the span of 1/(rate x per) second holding a time (floor),
// in the arithmetic FrameStart uses.
int64_t SpanIndex(const Time& t, Fixed rate, int64_t per) { return FramesIn(t, rate, per); }

// The row parity of the first field in the World drawn: 0 when the upper
// field comes first; rows of a part keep their parity in the whole frame.
uint32_t FirstFieldParity(const SeqSpec& s, const PIN_DrawParams* params, bool partial) {
  return (s.field.dominance ^ (partial ? static_cast<uint32_t>(params->part.top & 1) : 0u)) & 1u;
}

// Rebuilds the World drawn from the rows of one parity.
ErrorCode KeepRows(BM_World world, int32_t width, int32_t height, uint32_t parity, bool interpolate) {
  PixelLock px(world);
  if (!px.ok()) return px.error() ? px.error() : kErrBadParam;
  FillOtherRows(px.Row(0), px.rowBytes(), width, height, parity, interpolate);
  return 0;
}

// Film frame of footage with 3:2 pulldown: drawn whole from one video frame,
// or made of the second field of a video frame and the first field of the
// next (the fields between which the telecine split it); a split frame
// whose other half lies outside the footage rebuilds it from the field it
// has.
ErrorCode DrawPulldown(PIN_SeqSpecH seq, const PIN_DrawParams* params, BM_World world, bool partial,
                       int32_t width, int32_t height) {
  const SeqSpec& s = Rec(seq);
  const Fixed rate = s.effectiveRate ? s.effectiveRate : s.nativeRate;
  const uint32_t first = FirstFieldParity(s, params, partial);
  const int64_t n = std::max<int64_t>(SpanIndex(params->time, FilmRate(rate), 1), 0);
  const int64_t count = FrameCount(s);
  const PulldownStep step = PulldownFor(s.pulldown, n);
  const auto inside = [&](int64_t m) { return m >= 0 && (count == 0 || m < count); };
  PIN_DrawParams p = *params;
  if (!step.split || (!inside(step.first) && !inside(step.second))) {
    int64_t m = step.first;
    if (count > 0 && m >= count) m = count - 1;
    p.time = FrameStart(std::max<int64_t>(m, 0), rate);
    return DrawModule(seq, &p, world, partial);
  }
  if (inside(step.first) && inside(step.second)) {
    p.time = FrameStart(step.first, rate);
    if (ErrorCode err = DrawModule(seq, &p, world, partial)) return err;
    ScratchWorld later;
    if (ErrorCode err = later.Make(width, height)) return err;
    p.time = FrameStart(step.second, rate);
    if (ErrorCode err = DrawModule(seq, &p, later.get(), partial)) return err;
    PixelLock dst(world), src(later.get());
    if (!dst.ok()) return dst.error() ? dst.error() : kErrBadParam;
    if (!src.ok()) return src.error() ? src.error() : kErrBadParam;
    CopyRows(dst.Row(0), dst.rowBytes(), src.Row(0), src.rowBytes(), width, height, first);
    return 0;
  }
  // The earlier frame alone gives its second field, the later one its first.
  const bool earlier = inside(step.first);
  p.time = FrameStart(earlier ? step.first : step.second, rate);
  if (ErrorCode err = DrawModule(seq, &p, world, partial)) return err;
  return KeepRows(world, width, height, earlier ? first ^ 1u : first, params->quality == 1);
}

bool PulldownOn(const SeqSpec& s) {
  return s.pulldown != 0 && s.field.separate && !(s.moduleFlags & PIN_ModFlag_NoTime);
}

bool FieldsOn(const SeqSpec& s) {
  return s.field.separate && !(s.moduleFlags & PIN_ModFlag_NoTime) &&
         (s.effectiveRate ? s.effectiveRate : s.nativeRate) > 0;
}

// Footage with separated fields: each field is shown over its own half of
// the frame's time, the dominant one first, rebuilt to a whole frame by
// doubling its rows (draft) or interpolating between them (best).
ErrorCode DrawField(PIN_SeqSpecH seq, const PIN_DrawParams* params, BM_World world, bool partial, int32_t width,
                    int32_t height) {
  const SeqSpec& s = Rec(seq);
  const Fixed rate = s.effectiveRate ? s.effectiveRate : s.nativeRate;
  const int64_t half = SpanIndex(params->time, rate, 2);
  const int64_t frame = half >= 0 ? half / 2 : -((1 - half) / 2);
  const int64_t count = FrameCount(s);
  // Past the last frame its second field stays; before the first, its first.
  const bool second = count > 0 && frame >= count ? true : half < 0 ? false : (half & 1) != 0;
  PIN_DrawParams p = *params;
  p.time = FrameStart(std::clamp<int64_t>(frame, 0, count > 0 ? count - 1 : frame), rate);
  if (ErrorCode err = DrawModule(seq, &p, world, partial)) return err;
  const uint32_t parity = FirstFieldParity(s, params, partial) ^ (second ? 1u : 0u);
  return KeepRows(world, width, height, parity, params->quality == 1);
}

// One source frame as the interpretation asks: through pulldown removal when
// it is on, then the alpha steps.
ErrorCode DrawOne(PIN_SeqSpecH seq, const PIN_DrawParams* params, BM_World world, bool partial, int32_t width,
                  int32_t height) {
  const SeqSpec& s = Rec(seq);
  ErrorCode err = PulldownOn(s)  ? DrawPulldown(seq, params, world, partial, width, height)
                  : FieldsOn(s) ? DrawField(seq, params, world, partial, width, height)
                                : DrawModule(seq, params, world, partial);
  if (!err) FinishAlpha(world, Rec(seq), params->flags);
  return err;
}

// The rate pictures are blended at: the film rate with pulldown removed,
// the field rate with fields separated, else the frame rate.
Fixed BlendStepRate(const SeqSpec& s) {
  const Fixed rate = s.effectiveRate ? s.effectiveRate : s.nativeRate;
  if (PulldownOn(s)) return FilmRate(rate);
  return FieldsOn(s) ? rate * 2 : rate;
}
double BlendRate(const SeqSpec& s) { return BlendStepRate(s) / 65536.0; }
double Seconds(const Time& t) { return t.scale ? static_cast<double>(t.value) / t.scale : 0.0; }

// The exact start of picture n at the blending rate.
Time BlendFrameStart(int64_t n, const SeqSpec& s) { return FrameStart(n, BlendStepRate(s)); }

// Mixes source frames by weight into a deep buffer (floats, ARGB), then
// writes the result. Straight pixels are mixed by weight times alpha so a
// transparent frame gives no colour; premultiplied ones linearly.
class DeepBuffer {
 public:
  // Five floats a pixel: alpha, three colours and the colour weight.
  DeepBuffer(int32_t width, int32_t height, bool premul)
      : width_(width), height_(height), premul_(premul),
        sum_(static_cast<size_t>(width) * static_cast<size_t>(height) * 5, 0.0f) {}
  void Add(const PixelLock& px, float weight) {
    for (int32_t y = 0; y < height_; ++y) {
      const uint8_t* p = px.Row(y);
      float* d = &sum_[static_cast<size_t>(y) * static_cast<size_t>(width_) * 5];
      for (int32_t x = 0; x < width_; ++x, p += 4, d += 5) {
        const float a = p[0];
        const float k = premul_ ? weight : weight * a / 255.0f;
        d[0] += weight * a;
        d[1] += k * p[1], d[2] += k * p[2], d[3] += k * p[3];
        d[4] += k;
      }
    }
  }
  void Write(const PixelLock& px, float total) const {
    const auto byte = [](float v) { return static_cast<uint8_t>(std::clamp(v + 0.5f, 0.0f, 255.0f)); };
    for (int32_t y = 0; y < height_; ++y) {
      uint8_t* p = px.Row(y);
      const float* d = &sum_[static_cast<size_t>(y) * static_cast<size_t>(width_) * 5];
      for (int32_t x = 0; x < width_; ++x, p += 4, d += 5) {
        p[0] = byte(d[0] / total);
        const float div = premul_ ? total : d[4];
        for (int c = 1; c < 4; ++c) p[c] = div > 0 ? byte(d[c] / div) : 0;
      }
    }
  }

 private:
  int32_t width_, height_;
  bool premul_;
  std::vector<float> sum_;
};

ErrorCode DrawBlended(PIN_SeqSpecH seq, const PIN_DrawParams* params, BM_World world, bool partial,
                      int32_t width, int32_t height) {
  const SeqSpec& s = Rec(seq);
  const double rate = BlendRate(s), end = Seconds(s.duration), t = Seconds(params->time);
  // The frames there are: those that start before the end.
  const auto exists = [&](int64_t n) { return n >= 0 && static_cast<double>(n) / rate < end - 1e-9; };
  const bool deep = params->quality == 1 && params->frameDuration.scale != 0 && params->frameDuration.value > 0;
  PIN_DrawParams p = *params;
  if (!deep) {
    const int64_t n = static_cast<int64_t>(std::floor(t * rate + 1e-9));
    p.time = BlendFrameStart(std::max<int64_t>(n, 0), s);
    if (ErrorCode err = DrawOne(seq, &p, world, partial, width, height)) return err;
    // Weight of the next frame; the last frame (or a degenerate frame
    // length) has none to blend with.
    const Time next = BlendFrameStart(n + 1, s);
    const double t0 = Seconds(p.time), t1 = Seconds(next);
    if (n < 0 || !exists(n + 1) || t1 <= t0) return 0;
    const double w = (t - t0) / (t1 - t0);
    const int64_t weight = std::llround(w * 65536.0);
    if (weight < 1 || weight > 65535) return 0;
    ScratchWorld other;
    if (ErrorCode err = other.Make(width, height)) return err;
    p.time = next;
    if (ErrorCode err = DrawOne(seq, &p, other.get(), partial, width, height)) return err;
    BM_LockPixels(0, world, nullptr);
    BM_LockPixels(0, other.get(), nullptr);
    PFWorld a{}, b{};
    ErrorCode err = PF_MakeBMIntoPF(world, nullptr, &a);
    if (!err) err = PF_MakeBMIntoPF(other.get(), nullptr, &b);
    if (!err)
      err = (params->flags & PIN_Draw_Premultiply) ? PF_Blend_Premul(nullptr, &a, &b, static_cast<Fixed>(weight), &a)
                                                   : PF_Blend(nullptr, &a, &b, static_cast<Fixed>(weight), &a);
    BM_UnlockPixels(other.get());
    BM_UnlockPixels(world);
    return err;
  }
  // Best quality: every frame the output frame overlaps, by its share.
  const double span = Seconds(params->frameDuration);
  const int64_t first = static_cast<int64_t>(std::floor(std::max(t, 0.0) * rate + 1e-9));
  const int64_t last = static_cast<int64_t>(std::ceil((t + span) * rate - 1e-9)) - 1;
  struct Share {
    int64_t frame;
    double weight;
  };
  std::vector<Share> shares;
  for (int64_t n = first; n <= last && shares.size() < 10000; ++n) {
    if (!exists(n)) break;
    const double a = std::max(t, n / rate), b = std::min(t + span, (n + 1) / rate);
    const double w = (b - a) / span;
    if (std::fabs(w) >= 0.0001) shares.push_back({n, w});
  }
  if (shares.size() <= 1) {
    p.time = BlendFrameStart(shares.empty() ? std::max<int64_t>(first, 0) : shares[0].frame, s);
    if (shares.empty() && !exists(first)) p.time = params->time;
    return DrawOne(seq, &p, world, partial, width, height);
  }
  try {
    DeepBuffer deepBuffer(width, height, (params->flags & PIN_Draw_Premultiply) != 0);
    double total = 0;
    for (const Share& sh : shares) {
      p.time = BlendFrameStart(sh.frame, s);
      if (ErrorCode err = DrawOne(seq, &p, world, partial, width, height)) return err;
      PixelLock px(world);
      if (!px.ok()) return px.error() ? px.error() : kErrBadParam;
      deepBuffer.Add(px, static_cast<float>(sh.weight));
      total += sh.weight;
    }
    // Shares of an output frame running past the footage's end do not add
    // up to one: the frames there are is what the frame shows.
    PixelLock px(world);
    if (!px.ok()) return px.error() ? px.error() : kErrBadParam;
    deepBuffer.Write(px, static_cast<float>(total));
  } catch (const std::bad_alloc&) {
    return kReport.OutOfMemory(kSiteBlend, kTextMemoryBlend,
                               static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 5 * sizeof(float));
  }
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
  if (Rec(seq).sourcesClosed)
    if (ErrorCode err = PIN_UnCloseSeqSpecSources(seq)) return err;
  if (!Rec(seq).inSynch)
    if (ErrorCode err = PIN_SynchSeqSpec(seq)) return err;
  const SeqSpec& r = Rec(seq);
  // Footage with time: a duration at a rate (a still sequence has one too).
  const bool blend = (params->flags & PIN_Draw_FrameBlend) &&
                     (r.effectiveRate ? r.effectiveRate : r.nativeRate) > 0 && r.duration.value > 0 &&
                     r.duration.scale != 0;
  ErrorCode err = blend ? DrawBlended(seq, params, world, partial, width, height)
                        : DrawOne(seq, params, world, partial, width, height);
  if (err) return err;
  SeqSpec& s = Rec(seq);
  s.lastIndex = FrameIndex(s, params->time);
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
