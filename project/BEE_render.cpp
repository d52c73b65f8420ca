// Composition frame rendering: an item's frame (composition, solid,
// footage), compositing a composition's layers bottom to top with track
// mattes and fields, one layer's pipeline (source frame, masks, effect
// chain, transform with motion blur and transfer mode), and the checkout of
// rendered frames through the frame cache.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "BEE_internal.h"
#include "BEE_render_internal.h"
#include "BM.h"
#include "FLT.h"
#include "InFlight.h"
#include "MSK.h"
#include "PF.h"
#include "Platform.h"
#include "RowBands.h"

namespace tv::bee {
namespace {

constexpr uint32_t kSiteRender = 0x30;
constexpr int32_t kAborted = PF_ErrInterrupted;
constexpr uint32_t kEffectWholeFrames = 0x400;  // effect output flag: the chain copes with single fields

}  // namespace

ErrorCode TempWorld::Make(int32_t width, int32_t height) {
  Release();
  if (width <= 0 || height <= 0 || width > 30000 || height > 30000)
    return kReport.BadParam(kSiteArgument, {"a frame size"});
  const Rect r{0, 0, static_cast<int16_t>(height), static_cast<int16_t>(width)};
  return BM_NewWorld(nullptr, BM_Flag_Clear, &r, 32, 0, nullptr, &w);
}

void TempWorld::Release() {
  if (w) BM_DisposeWorld(w);
  w = nullptr;
}

BM_World TempWorld::Take() {
  BM_World out = w;
  w = nullptr;
  return out;
}

Locked::Locked(BM_World w) : w_(w) {
  Boolean32 failed = 0;
  err_ = BM_LockPixels(0, w, &failed);
  if (!err_) {
    locked_ = true;
    err_ = PF_MakeBMIntoPF(w, nullptr, &pf_);
  }
}

Locked::~Locked() {
  if (locked_) BM_UnlockPixels(w_);
}

namespace {
int32_t gRenderThreads = 0;  // 0: one per processor
}  // namespace

// At the engine's death the setting goes back to its default, so that a
// later birth starts as the first one did.
void ResetRenderThreads() { gRenderThreads = 0; }

RowThreads::RowThreads() : saved_(PFp_GetRowThreads()) {
  PFp_SetRowThreads(gRenderThreads > 0 ? gRenderThreads : platform::HardwareThreads());
}

RowThreads::~RowThreads() { PFp_SetRowThreads(saved_); }

ErrorCode WorldSize(BM_World w, int32_t* width, int32_t* height) {
  int32_t depth = 0, rowBytes = 0;
  if (ErrorCode err = BM_GetWorldInfo(w, width, height, &depth, &rowBytes)) return err;
  if (depth != 32) return kReport.BadParam(kSiteArgument, {"a 32-bit World"});
  return 0;
}

namespace {

// Clears the rows of a field (0: every row; 1: rows 0, 2, 4 ...; 2: rows 1, 3, 5 ...).
ErrorCode ClearField(BM_World w, int32_t field) {
  if (field == 0) return BM_ClearWorldToZeros(w);
  Locked l(w);
  if (ErrorCode err = l.error()) return err;
  const PFWorld& pf = l.pf();
  for (int32_t y = field == 1 ? 0 : 1; y < pf.height; y += 2)
    std::memset(pf.data + static_cast<ptrdiff_t>(y) * pf.rowBytes, 0, static_cast<size_t>(pf.width) * 4);
  return 0;
}

// Copies the rows of a field from src to dst (the same size).
ErrorCode CopyField(BM_World src, BM_World dst, int32_t field) {
  Locked s(src), d(dst);
  if (ErrorCode err = s.error() ? s.error() : d.error()) return err;
  PF_CompositeMode copy{};
  copy.mode = PF_Xfer_Copy;
  copy.opacity = 255;
  return PF_TransferRect(nullptr, 1, 0, field, nullptr, &s.pf(), &copy, nullptr, 0, 0, &d.pf());
}

// ---- Time ----------------------------------------------------------------------------------
double Seconds(Time t) { return t.scale ? static_cast<double>(t.value) / t.scale : 0.0; }

// t + span x fraction (num / den), exact when the common scale fits, else to
// 1/192000 second.
Time Advance(Time t, Time span, int64_t num, int64_t den) {
  const uint64_t s = uint64_t{t.scale} * span.scale * static_cast<uint64_t>(den);
  if (t.scale && span.scale && den > 0 && s <= 0x7FFFFFFFu) {
    const int64_t v = int64_t{t.value} * span.scale * den + int64_t{span.value} * num * t.scale;
    if (v >= INT32_MIN && v <= INT32_MAX) return Time{static_cast<int32_t>(v), static_cast<uint32_t>(s)};
  }
  constexpr uint32_t kFine = 192000;
  const double sec = Seconds(t) + Seconds(span) * static_cast<double>(num) / static_cast<double>(den);
  return Time{static_cast<int32_t>(std::llround(sec * kFine)), kFine};
}


// ---- Host polling ---------------------------------------------------------------------------
uint32_t gLastEventTick = 0;

ErrorCode Poll(int32_t phase, int32_t done, int32_t total) {
  State& g = G();
  if (!g.callback) return 0;
  const uint32_t now = platform::TickCount();
  if (now - gLastEventTick >= 6) {
    gLastEventTick = now;
    g.callback(g.refcon, BEE_SelEventPoll, nullptr);
  }
  BEE_Progress p{phase, done, total};
  return g.callback(g.refcon, BEE_SelProgress, &p) ? kAborted : 0;
}

// ---- Matrices -------------------------------------------------------------------------------
double Aspect(Ratio r) { return r.num > 0 && r.den > 0 ? static_cast<double>(r.num) / r.den : 1.0; }

Ratio SourceHSF(BEE_Layer layer) {
  Ratio hsf{1, 1};
  BEE_Item src = R(layer).source;
  if (src && IsLiveItem(src)) BEE_GetItemHSF(src, &hsf);
  // A source without a valid pixel aspect takes the composition's.
  if (hsf.num <= 0 || hsf.den <= 0) hsf = R(R(layer).comp).hsf;
  return hsf;
}

ErrorCode Value(BEE_Layer layer, int32_t index, Time t, double* v) {
  return BEE_GetLayerStreamValueF(layer, index, t, v);
}

// The direction of the position path at t, in degrees (0 when it does not move).
ErrorCode PathAngle(BEE_Layer layer, Time t, double* degrees) {
  *degrees = 0;
  int32_t keys = 0;
  TDB_Stream pos = R(layer).streams[BEE_StreamPosition];
  if (!pos || TDB_GetNumKeys(pos, &keys) != 0 || keys < 2) return 0;
  // A central difference over 1/1200 second either side.
  double a[2] = {0, 0}, b[2] = {0, 0};
  if (ErrorCode err = Value(layer, BEE_StreamPosition, Advance(t, Time{-1, 1200}, 1, 1), a)) return err;
  if (ErrorCode err = Value(layer, BEE_StreamPosition, Advance(t, Time{1, 1200}, 1, 1), b)) return err;
  const double dx = b[0] - a[0], dy = b[1] - a[1];
  if (dx == 0 && dy == 0) return 0;
  *degrees = std::atan2(dy, dx) * 57.29577951308232;
  return 0;
}

}  // namespace

ErrorCode LayerMatrix(BEE_Layer layer, Time compTime, FloatMatrix* m) {
  M_SetIdentityMatrix(m);
  double anchor[2] = {0, 0}, pos[2] = {0, 0}, scale[2] = {100, 100}, rot = 0, orient = 0;
  if (ErrorCode err = Value(layer, BEE_StreamAnchorPoint, compTime, anchor)) return err;
  if (ErrorCode err = Value(layer, BEE_StreamPosition, compTime, pos)) return err;
  if (ErrorCode err = Value(layer, BEE_StreamScale, compTime, scale)) return err;
  if (ErrorCode err = Value(layer, BEE_StreamRotation, compTime, &rot)) return err;
  if (R(layer).switches & BEE_SwitchOrient) {
    if (ErrorCode err = PathAngle(layer, compTime, &orient)) return err;
  }
  M_TranslateMatrix(m, -anchor[0], -anchor[1]);
  M_ScaleMatrix(m, Aspect(SourceHSF(layer)), 1, 0, 0);
  M_ScaleMatrix(m, scale[0] * 0.01, scale[1] * 0.01, 0, 0);
  M_RotateMatrix(m, rot + orient, 0, 0);
  M_ScaleMatrix(m, 1.0 / Aspect(R(R(layer).comp).hsf), 1, 0, 0);
  M_TranslateMatrix(m, pos[0], pos[1]);
  return 0;
}

namespace {

// The matrices of a layer drawn from a source World of srcW x srcH (the
// source's full size is fullW x fullH) into its composition at the
// composition's resolution: one, or 17 over the shutter interval.
// post, when given, replaces the step to the composition's resolution: a
// flattened nested composition's layers go on through their layer's matrix.
ErrorCode LayerMatrices(BEE_Layer layer, const BEE_RenderRequest& rq, int32_t srcW, int32_t srcH, int32_t fullW,
                        int32_t fullH, const LPoint& origin, const FloatMatrix* post,
                        std::vector<FloatMatrix>& out) {
  const BEE_ItemRec& comp = R(R(layer).comp);
  const bool blur = (R(layer).switches & BEE_SwitchMotionBlur) && (comp.compSwitches & BEE_CompSwitchMotionBlur) &&
                    !IsZero(rq.span);
  int32_t n = 1;
  Ratio shutter{1, 2};
  Time open = rq.time;
  if (blur) {
    BEE_Prefs prefs{};
    if (BEE_GetPrefs(&prefs) == 0 && prefs.shutter.den > 0 && prefs.shutter.num >= 0) shutter = prefs.shutter;
    // The shutter opens phase (of a frame's 36000ths) after the frame's time.
    const int32_t phase = std::clamp(prefs.shutterPhase, -36000, 36000);
    if (phase != 0) {
      const int32_t g = std::gcd(phase, 36000);
      open = Advance(rq.time, rq.span, phase / g, 36000 / g);
    }
    n = BEE_MotionBlurSamples;
  }
  out.assign(static_cast<size_t>(n), FloatMatrix{});
  for (int32_t k = 0; k < n; ++k) {
    // Step k of 16 over an interval of span x shutter, from where it opens.
    const Time t = k == 0 ? open : Advance(open, rq.span, int64_t{shutter.num} * k, int64_t{shutter.den} * 16);
    FloatMatrix lm{};
    if (ErrorCode err = LayerMatrix(layer, t, &lm)) return err;
    FloatMatrix& m = out[static_cast<size_t>(k)];
    M_SetIdentityMatrix(&m);
    // The source World's pixels to source pixels: the effect chain's
    // output origin, and a World drawn at another size than the source's.
    M_TranslateMatrix(&m, -origin.h, -origin.v);
    M_ScaleMatrix(&m, srcW > 0 ? static_cast<double>(fullW) / srcW : 1, srcH > 0 ? static_cast<double>(fullH) / srcH : 1,
                  0, 0);
    M_ConcatMatrix(&lm, &m);
    // Composition pixels to pixels at the composition's resolution.
    if (post)
      M_ConcatMatrix(post, &m);
    else
      M_ScaleMatrix(&m, 1.0 / std::max<uint16_t>(comp.dsfH, 1), 1.0 / std::max<uint16_t>(comp.dsfV, 1), 0, 0);
  }
  return 0;
}

// The proxy an item shows instead of itself, or null.
PIN_SeqSpecH ShownProxy(BEE_Item item) {
  return (R(item).flags & BEE_ItemProxyOn) ? R(item).proxy : nullptr;
}

}  // namespace

// ---- Sources ----------------------------------------------------------------------------------
bool IsZero(Time t) { return t.value == 0 || t.scale == 0; }

ErrorCode FullSize(BEE_Item item, int32_t* w, int32_t* h) {
  *w = *h = 0;
  // An item showing a proxy keeps its own size: the proxy's frame is drawn
  // scaled to it, so a half-size stand-in fills the layer as the item does
  // and masks, effects and the anchor stay in the item's pixels.
  return BEE_GetItemDimensions(item, w, h);
}

ErrorCode ItemSize(BEE_Item item, int32_t* w, int32_t* h) {
  *w = *h = 0;
  if (R(item).kind == BEE_KindComp && !ShownProxy(item)) return BEE_GetCompDimensionsDSF(item, w, h, nullptr);
  return FullSize(item, w, h);
}

namespace {
// How the layer's footage source is drawn: blended when the layer and its
// composition ask for it, at best quality when the layer is.
void SetFootageDraw(BEE_Layer layer, BEE_RenderRequest* srq) {
  const BEE_LayerRec& l = R(layer);
  const bool blend = (l.switches & BEE_SwitchFrameBlend) && (R(l.comp).compSwitches & BEE_CompSwitchFrameBlend);
  srq->data[0] = blend ? static_cast<uint32_t>(PIN_Draw_FrameBlend) : 0u;
  srq->data[1] = l.quality == BEE_QualityBest ? 1u : 0u;
}
}  // namespace

ErrorCode SourceRequest(BEE_Layer layer, const BEE_RenderRequest& rq, Boolean32* active, BEE_RenderRequest* srq) {
  *active = 0;
  Time lt{};
  if (ErrorCode err = BEE_LayerActive(layer, rq.time, 0, active, &lt)) return err;
  if (!*active) return 0;
  if (!R(layer).source || !IsLiveItem(R(layer).source)) {
    *active = 0;
    return 0;
  }
  Time span{0, 1};
  if (!IsZero(rq.span)) {
    if (ErrorCode err = BEE_CompToLayerDuration(layer, rq.span, &span)) return err;
  }
  Time st{}, s0{}, sd{};
  if (ErrorCode err = BEE_LayerToSourceTime(layer, lt, &st)) return err;
  *srq = rq;
  srq->time = st;
  srq->span = Time{0, 1};
  if (!IsZero(span) && BEE_LayerToSourceTimeSpan(layer, lt, span, &s0, &sd) == 0) srq->span = sd;
  srq->field = 0;
  srq->layerCount = -1;
  SetFootageDraw(layer, srq);
  return 0;
}

// ---- Drawing an item's frame ------------------------------------------------------------------
namespace {
// A footage frame at the request's time, drawn as its data words ask
// (frame blending over the request's span, quality).
ErrorCode DrawSeqFrame(PIN_SeqSpecH seq, const BEE_RenderRequest& rq, const Ratio scale[2], BM_World dst) {
  PIN_DrawParams params{};
  params.time = rq.time;
  params.scaleX = scale[0];
  params.scaleY = scale[1];
  params.flags = rq.data[0] & PIN_Draw_FrameBlend;
  params.quality = rq.data[1] ? 1 : 0;
  params.frameDuration = rq.span;
  return PIN_DrawFrame(seq, dst, &params);
}
}  // namespace

ErrorCode Renderer::DrawItem(BEE_Item item, const BEE_RenderRequest& rq, BM_World dst) {
  if (depth_ >= BEE_MaxRenderDepth) return Strange(kSiteRender, "composition nesting", depth_);
  ++depth_;
  struct Leave {
    int32_t& d;
    ~Leave() { --d; }
  } leave{depth_};
  int32_t dw = 0, dh = 0;
  if (ErrorCode err = WorldSize(dst, &dw, &dh)) return err;
  // An item showing its proxy draws the proxy's frame (scaled to dst).
  if (PIN_SeqSpecH proxy = ShownProxy(item)) {
    int32_t w = 0, h = 0;
    if (ErrorCode err = PIN_GetDimensions(proxy, nullptr, &w, &h, nullptr)) return err;
    if (ErrorCode err = BM_ClearWorldToZeros(dst)) return err;
    const Ratio scale[2] = {Ratio{dw, static_cast<uint32_t>(std::max(w, 1))},
                            Ratio{dh, static_cast<uint32_t>(std::max(h, 1))}};
    return DrawSeqFrame(proxy, rq, scale, dst);
  }
  switch (R(item).kind) {
    case BEE_KindComp: {
      int32_t w = 0, h = 0;
      if (ErrorCode err = ItemSize(item, &w, &h)) return err;
      if (w == dw && h == dh) return Composite(item, rq, dst);
      // Scaling mixes neighbouring rows: a field is taken from the whole
      // frame scaled, and only its rows reach dst.
      BEE_RenderRequest wrq = rq;
      wrq.field = 0;
      TempWorld tmp, scaled;
      if (ErrorCode err = tmp.Make(w, h)) return err;
      if (ErrorCode err = Composite(item, wrq, tmp.w)) return err;
      if (rq.field != 0) {
        if (ErrorCode err = scaled.Make(dw, dh)) return err;
      }
      {
        Locked s(tmp.w), d(scaled.w ? scaled.w : dst);
        if (ErrorCode err = s.error() ? s.error() : d.error()) return err;
        if (ErrorCode err = PF_WorldCopy(nullptr, &s.pf(), &d.pf())) return err;
      }
      return scaled.w ? CopyField(scaled.w, dst, rq.field) : 0;
    }
    case BEE_KindSolid:
      return BM_ClearWorldToLong(dst, R(item).solidColor);
    case BEE_KindFootage: {
      if (!R(item).seqSpec) return BM_ClearWorldToZeros(dst);  // footage without frames
      int32_t w = 0, h = 0;
      if (ErrorCode err = FullSize(item, &w, &h)) return err;
      if (ErrorCode err = BM_ClearWorldToZeros(dst)) return err;
      const Ratio scale[2] = {Ratio{dw, static_cast<uint32_t>(std::max(w, 1))},
                              Ratio{dh, static_cast<uint32_t>(std::max(h, 1))}};
      return DrawSeqFrame(R(item).seqSpec, rq, scale, dst);
    }
    default:
      return BM_ClearWorldToZeros(dst);
  }
}

// ---- Compositing ------------------------------------------------------------------------------
namespace {

bool HasEnabledEffect(BEE_Layer layer) {
  Handle parade = R(layer).parade;
  int32_t n = 0;
  if (!parade || FLT_InqParadeNumSeqs(parade, &n) != 0) return false;
  for (int32_t i = 0; i < n; ++i) {
    uint32_t flags = 0;
    if (FLT_InqParadeSeqFlags(parade, i, &flags) == 0 && (flags & FLT_Item_On)) return true;
  }
  return false;
}

}  // namespace

// Whether the layer (or, collapsed, a layer of its nested composition) needs
// whole frames when a field is asked for.
bool Renderer::NeedsWholeFrames(BEE_Layer layer, Time compTime, int32_t depth) {
  if (depth >= BEE_MaxRenderDepth) return false;
  Boolean32 active = 0;
  Time lt{};
  if (BEE_LayerActive(layer, compTime, 0, &active, &lt) != 0 || !active) return false;
  const BEE_LayerRec& l = R(layer);
  if ((l.switches & BEE_SwitchFieldRule) && (l.switches & BEE_SwitchEffects) && HasEnabledEffect(layer)) {
    uint32_t out = 0;
    if (FLT_InqParadeOutFlags(l.parade, &out) == 0 && !(out & kEffectWholeFrames)) return true;
  }
  if ((l.switches & BEE_SwitchCollapse) && l.source && IsLiveItem(l.source) && R(l.source).kind == BEE_KindComp) {
    Time st{};
    if (BEE_LayerToSourceTime(layer, lt, &st) != 0) return false;
    const int32_t n = LayerCount(l.source);
    for (int32_t i = 0; i < n; ++i)
      if (NeedsWholeFrames(LayerAt(l.source, i), st, depth + 1)) return true;
  }
  return false;
}

ErrorCode Renderer::Composite(BEE_Item comp, const BEE_RenderRequest& rq, BM_World dst, bool clear) {
  if (clear) {
    if (ErrorCode err = ClearField(dst, rq.field)) return err;
  }
  const int32_t n = LayerCount(comp);
  // Layers from the topmost one that needs whole frames downwards get them.
  int32_t wholeFrom = n;
  if (rq.field != 0) {
    for (int32_t i = 0; i < n; ++i)
      if (NeedsWholeFrames(LayerAt(comp, i), rq.time, depth_)) {
        wholeFrom = i;
        break;
      }
  }
  const int32_t count = rq.layerCount < 0 ? n : std::min(n, rq.layerCount);
  // Layers drawn whole would also draw over the rows of the other field,
  // which belong to the other field's render: the frame is composited whole
  // in a World of its own and only the field's rows are taken from it.
  TempWorld whole;
  BM_World into = dst;
  if (clear && rq.field != 0 && wholeFrom < n && count > 0) {
    int32_t dw = 0, dh = 0;
    if (ErrorCode err = WorldSize(dst, &dw, &dh)) return err;
    if (ErrorCode err = whole.Make(dw, dh)) return err;
    into = whole.w;
  }
  int32_t done = 0;
  for (int32_t i = n - 1; i >= n - count; --i, ++done) {
    if (ErrorCode err = Poll(1, done, count)) return err;
    BEE_Layer layer = LayerAt(comp, i);
    if (!(R(layer).switches & BEE_SwitchVideo)) continue;
    BEE_RenderRequest lrq = rq;
    if (i >= wholeFrom) lrq.field = 0;
    BEE_Layer matte = (R(layer).trackMatte != BEE_MatteNone && i > 0) ? LayerAt(comp, i - 1) : nullptr;
    if (ErrorCode err = RenderLayer(layer, lrq, into, matte, false)) return err;
  }
  if (whole.w) {
    if (ErrorCode err = CopyField(whole.w, dst, rq.field)) return err;
  }
  return Poll(5, done, count);
}

// ---- One layer ------------------------------------------------------------------------------------
namespace {

// Footage interpreted as premultiplied (against its matte colour) is brought
// into the straight form the layer pipeline works on.
ErrorCode Straighten(BEE_Item src, BM_World frame) {
  PIN_SeqSpecH seq = ShownProxy(src);
  if (!seq && R(src).kind == BEE_KindFootage) seq = R(src).seqSpec;
  if (!seq) return 0;
  PIN_Interpretation interp{};
  if (ErrorCode err = PIN_GetInterpretation(seq, &interp)) return err;
  if (interp.alpha.type != PIN_Alpha_Premul) return 0;
  Locked l(frame);
  if (ErrorCode err = l.error()) return err;
  const PF_Pixel matte{255, interp.alpha.red, interp.alpha.green, interp.alpha.blue};
  return PF_PremulColor(nullptr, 0, &matte, &l.pf());
}

}  // namespace

ErrorCode Renderer::SourceFrame(BEE_Layer layer, const BEE_RenderRequest& lrq, Time layerTime, Time layerSpan,
                                TempWorld& out) {
  BEE_Item src = R(layer).source;
  int32_t w = 0, h = 0;
  if (ErrorCode err = FullSize(src, &w, &h)) return err;
  if (ErrorCode err = out.Make(std::max(w, 1), std::max(h, 1))) return err;
  Time st{}, s0{}, sd{};
  if (ErrorCode err = BEE_LayerToSourceTime(layer, layerTime, &st)) return err;
  BEE_RenderRequest srq = lrq;
  srq.time = st;
  srq.span = Time{0, 1};
  if (!IsZero(layerSpan) && BEE_LayerToSourceTimeSpan(layer, layerTime, layerSpan, &s0, &sd) == 0) srq.span = sd;
  srq.field = 0;
  srq.layerCount = -1;
  SetFootageDraw(layer, &srq);
  // A nested composition drawn as a source frame is drawn in its own
  // pixels, even inside a flattened composition: its layers do not go on
  // through the flattened layer's matrix (the source frame does, once).
  struct Unflatten {
    std::vector<FloatMatrix>& post;
    std::vector<FloatMatrix> saved;
    explicit Unflatten(std::vector<FloatMatrix>& p) : post(p), saved(std::move(p)) { post.clear(); }
    ~Unflatten() { post = std::move(saved); }
  } unflatten(post_);
  if (ErrorCode err = DrawItem(src, srq, out.w)) return err;
  return Straighten(src, out.w);
}


namespace {

// Unoform modes that start from a full buffer when they come first.
bool StartsFull(uint32_t mode) {
  return mode == PF_UnoMode_Subtract || mode == PF_UnoMode_Intersect || mode == PF_UnoMode_Darken;
}

class Uno {
 public:
  ~Uno() {
    if (b_) PF_DisposeUnoBuffer(b_);
  }
  ErrorCode Make(int32_t w, int32_t h) { return PF_NewUnoBuffer(w, h, &b_); }
  PF_UnoBuffer get() const { return b_; }

 private:
  PF_UnoBuffer b_ = nullptr;
};

class Shape {
 public:
  ~Shape() {
    if (s_) OM_DisposeShape(s_);
  }
  OM_Shape* out() { return &s_; }
  OM_Shape get() const { return s_; }

 private:
  OM_Shape s_ = nullptr;
};

Fixed ToFixed(double v) { return static_cast<Fixed>(std::lround(std::clamp(v, -30000.0, 30000.0) * 65536.0)); }

ErrorCode ApplyMasks(BEE_Layer layer, Time layerTime, BM_World world) {
  int32_t n = 0;
  if (!R(layer).masks || LIST_GetNumItems(R(layer).masks, &n) != 0 || n == 0) return 0;
  int32_t w = 0, h = 0;
  if (ErrorCode err = WorldSize(world, &w, &h)) return err;
  Uno acc, one;
  if (ErrorCode err = acc.Make(w, h)) return err;
  if (ErrorCode err = one.Make(w, h)) return err;
  for (int32_t i = 0; i < n; ++i) {
    MaskRec m{};
    if (ErrorCode err = LIST_GetItem(R(layer).masks, i, &m)) return err;
    if (i == 0) {
      if (ErrorCode err = PF_FillUnoBuffer(StartsFull(m.mode) ? 255 : 0, acc.get())) return err;
    }
    Shape shape;
    if (!m.streams[0]) continue;
    if (ErrorCode err = OM_GetShape(m.streams[0], &layerTime, 0, shape.out())) return err;
    // Mask opacity is stored from 0 to 1.
    double feather[2] = {0, 0}, opacity = 1;
    if (m.streams[1]) {
      if (ErrorCode err = TDB_GetValueF(m.streams[1], &layerTime, 0, 0, feather, nullptr)) return err;
    }
    if (m.streams[2]) {
      if (ErrorCode err = TDB_GetValueF(m.streams[2], &layerTime, 0, 0, &opacity, nullptr)) return err;
    }
    MSK_MaskDesc desc{};
    desc.featherH = ToFixed(feather[0]);
    desc.featherV = ToFixed(feather[1]);
    desc.invert = m.invert;
    desc.opacity = static_cast<Fixed>(std::lround(std::clamp(opacity, 0.0, 1.0) * 65536.0));
    desc.antialias = 1;
    Rect bounds{};
    if (ErrorCode err = MSK_MaskWithShape(shape.get(), &desc, one.get(), &bounds)) return err;
    if (ErrorCode err = PF_AccumulateUnoBuffers(static_cast<int32_t>(m.mode), one.get(), &bounds, acc.get()))
      return err;
  }
  Locked l(world);
  if (ErrorCode err = l.error()) return err;
  return PF_MergeMaskAlpha(nullptr, acc.get(), nullptr, &l.pf());
}

// What the effect chains of the layer being rendered see as their time,
// and what their layer parameters' checkouts render with.
struct EffectClock {
  bool on = false;
  Time time{}, step{}, duration{};
  BEE_Layer layer = nullptr;
  const BEE_RenderRequest* rq = nullptr;
  Renderer* renderer = nullptr;
} gEffectClock;

// The layers whose effects are running, innermost last: a layer parameter
// naming one of them reads as none (an effect reading its own result).
std::vector<BEE_Layer> gEffectLayers;

// A frame handed to an effect for a layer parameter, until its checkin.
struct HeldFrame {
  uint32_t ref;
  size_t level;  // gEffectLayers' depth when handed out
  TempWorld world;
  std::optional<Locked> pixels;
};
std::vector<std::unique_ptr<HeldFrame>> gHeldFrames;

int32_t InScale(Time t, uint32_t scale) {
  return t.scale ? static_cast<int32_t>(int64_t{t.value} * scale / t.scale) : 0;
}

// The layer and the frame a crash report names while the layer's effects
// run: "<layer>" in "<composition>", and the composition's frame with its
// time ("12 (0.500 s)").
struct LayerInFlight {
  std::string what, when;
  LayerInFlight(BEE_Layer layer, Time time) {
    const BEE_Item comp = R(layer).comp;
    char layerName[32] = "", compName[32] = "";
    BEE_GetLayerName(layer, layerName);
    BEE_GetItemName(comp, compName);
    what = "\"" + std::string(layerName, strnlen(layerName, 32)) + "\" in \"" +
           std::string(compName, strnlen(compName, 32)) + "\"";
    if (!time.scale) return;
    const int64_t ms = int64_t{time.value} * 1000 / time.scale;
    std::string frac = std::to_string(std::abs(ms) % 1000);
    frac.insert(0, 3 - frac.size(), '0');
    when = (ms < 0 ? "-" : "") + std::to_string(std::abs(ms) / 1000) + "." + frac + " s";
    Time frame{};
    if (BEE_GetCompFrameDuration(comp, &frame) == 0 && frame.value > 0)
      when = std::to_string(int64_t{time.value} * frame.scale / (int64_t{frame.value} * time.scale)) + " (" + when +
             ")";
  }
};

// Runs the layer's effect chain over `frame` (replaced by the chain's output).
// origin receives where the input's top-left pixel lies in the output.
ErrorCode ApplyEffects(BEE_Layer layer, int32_t quality, Time layerTime, Time layerSpan, TempWorld& frame,
                       LPoint& origin, const BEE_RenderRequest& rq, Renderer* renderer) {
  origin = LPoint{0, 0};
  Handle parade = R(layer).parade;
  if (!(R(layer).switches & BEE_SwitchEffects) || !parade) return 0;
  Boolean32 nop = 1;
  if (ErrorCode err = FLT_ParadeWillNop(parade, FLT_Nop_Images, 0, &nop)) return err;
  if (nop) return 0;
  int32_t w = 0, h = 0;
  if (ErrorCode err = WorldSize(frame.w, &w, &h)) return err;
  // Effects of a layer read for another's layer parameter run inside that
  // one's: the clock is restored after them, and frames left checked out
  // are taken back.
  struct Clock {
    EffectClock saved = gEffectClock;
    Clock(const EffectClock& c, BEE_Layer layer) {
      gEffectClock = c;
      gEffectLayers.push_back(layer);
    }
    ~Clock() {
      const size_t level = gEffectLayers.size();
      std::erase_if(gHeldFrames, [level](const auto& h) { return h->level >= level; });
      gEffectLayers.pop_back();
      gEffectClock = saved;
    }
  } clock(EffectClock{true, layerTime, layerSpan, R(R(layer).comp).duration, layer, &rq, renderer}, layer);
  FLT_FrameParade fp = nullptr;
  if (ErrorCode err = FLT_NewFrameParade(parade, w, h, quality, &fp)) return err;
  int32_t ow = w, oh = h;
  TempWorld out;
  ErrorCode err = FLT_InqFrameParadeSize(fp, &ow, &oh);
  if (!err) err = FLTp_InqFrameParadeOrigin(fp, &origin);
  if (!err) err = out.Make(ow, oh);
  if (!err) err = FLT_RenderFrParade(fp, 1, frame.w, out.w);
  const ErrorCode down = FLT_DisposeFrParade(fp);
  if (!err) err = down;
  if (err) {
    origin = LPoint{0, 0};
    return err;
  }
  frame.Release();
  frame.w = out.Take();
  return 0;
}

}  // namespace

ErrorCode Renderer::EffectLayerFrame(BEE_Layer target, const BEE_RenderRequest& rq, Time compTime,
                                     Time compSpan, TempWorld& out) {
  BEE_Item src = R(target).source;
  Boolean32 active = 0;
  Time layerTime{};
  // A layer read by an effect is read whether it shows or not (as a matte).
  if (ErrorCode err = BEE_LayerActive(target, compTime, 1, &active, &layerTime)) return err;
  if (!active || !src || !IsLiveItem(src)) {
    // Outside its times: a transparent frame of its size.
    int32_t w = 0, h = 0;
    if (src && IsLiveItem(src)) FullSize(src, &w, &h);
    return out.Make(std::max(w, 1), std::max(h, 1));
  }
  Time layerSpan{0, 1};
  if (!IsZero(compSpan)) {
    if (ErrorCode err = BEE_CompToLayerDuration(target, compSpan, &layerSpan)) return err;
  }
  BEE_RenderRequest lrq = rq;
  lrq.time = compTime;
  lrq.span = compSpan;
  if (ErrorCode err = SourceFrame(target, lrq, layerTime, layerSpan, out)) return err;
  if (ErrorCode err = ApplyMasks(target, layerTime, out.w)) return err;
  const int32_t quality = std::clamp<int32_t>(R(target).quality, BEE_QualityDraft, BEE_QualityBest);
  LPoint origin{0, 0};
  return ApplyEffects(target, quality, layerTime, layerSpan, out, origin, lrq, this);
}

ErrorCode CheckoutEffectLayerFrame(uint32_t ref, int32_t time, int32_t step, uint32_t scale, PFWorld* world) {
  *world = PFWorld{};
  const EffectClock clock = gEffectClock;
  if (!ref || !clock.on || !clock.layer || !clock.renderer || !clock.rq) return 0;
  BEE_Layer target = LayerByID(R(clock.layer).comp, ref);
  // A layer deleted, one whose effects are running, or one read through
  // kMaxLayerReads others: none.
  if (!target || gEffectLayers.size() >= kMaxLayerReads ||
      std::find(gEffectLayers.begin(), gEffectLayers.end(), target) != gEffectLayers.end())
    return 0;
  Time compTime{}, compSpan{0, 1};
  if (ErrorCode err = BEE_LayerToCompTime(clock.layer, Time{time, scale}, &compTime)) return err;
  if (step > 0) {
    if (ErrorCode err = BEE_LayerToCompDuration(clock.layer, Time{step, scale}, &compSpan)) return err;
  }
  auto held = std::make_unique<HeldFrame>();
  held->ref = ref;
  held->level = gEffectLayers.size();
  if (ErrorCode err = clock.renderer->EffectLayerFrame(target, *clock.rq, compTime, compSpan, held->world))
    return err;
  held->pixels.emplace(held->world.w);
  if (ErrorCode err = held->pixels->error()) return err;
  *world = held->pixels->pf();
  gHeldFrames.push_back(std::move(held));
  return 0;
}

ErrorCode CheckinEffectLayerFrame(uint32_t ref) {
  // The latest frame of that layer goes back (one checkin a checkout).
  for (auto it = gHeldFrames.rbegin(); it != gHeldFrames.rend(); ++it) {
    if ((*it)->ref != ref) continue;
    gHeldFrames.erase(std::next(it).base());
    return 0;
  }
  return 0;
}

ErrorCode EffectLayerInfo(void*, Handle, FLT_LayerInfo* info) {
  *info = FLT_LayerInfo{};
  if (!gEffectClock.on || !gEffectClock.time.scale) return 0;
  const uint32_t scale = gEffectClock.time.scale;
  info->time = gEffectClock.time.value;
  info->timeScale = scale;
  info->timeStep = InScale(gEffectClock.step, scale);
  info->duration = InScale(gEffectClock.duration, scale);
  return 0;
}

ErrorCode Renderer::RenderLayer(BEE_Layer layer, const BEE_RenderRequest& rq, BM_World dst, BEE_Layer matteLayer,
                                bool asMatte) {
  Boolean32 active = 0;
  Time layerTime{};
  if (ErrorCode err = BEE_LayerActive(layer, rq.time, asMatte, &active, &layerTime)) return err;
  if (!active) return 0;
  BEE_Item src = R(layer).source;
  if (!src || !IsLiveItem(src)) return 0;
  Time layerSpan{0, 1};
  if (!IsZero(rq.span)) {
    if (ErrorCode err = BEE_CompToLayerDuration(layer, rq.span, &layerSpan)) return err;
  }
  const int32_t quality = std::clamp<int32_t>(R(layer).quality, BEE_QualityWireframe, BEE_QualityBest);
  int32_t dw = 0, dh = 0;
  if (ErrorCode err = WorldSize(dst, &dw, &dh)) return err;
  int32_t fullW = 0, fullH = 0;
  if (ErrorCode err = FullSize(src, &fullW, &fullH)) return err;

  if (quality == BEE_QualityWireframe) return Wireframe(layer, rq, fullW, fullH, dst);

  // A collapsed nested composition allowed to flatten: its layers go
  // straight into dst through this layer's matrix.
  if ((R(layer).switches & BEE_SwitchCollapse) && R(src).kind == BEE_KindComp && !asMatte) {
    Boolean32 flatten = 0;
    if (ErrorCode err = BEE_CouldLayerCompFlatten(layer, &flatten)) return err;
    if (flatten) return Flattened(layer, rq, fullW, fullH, dst);
  }

  // The matte: the layer above, rendered alone into a World of this size.
  TempWorld matte;
  if (matteLayer) {
    if (ErrorCode err = matte.Make(dw, dh)) return err;
    if (ErrorCode err = RenderLayer(matteLayer, rq, matte.w, nullptr, true)) return err;
  }

  TempWorld frame;
  std::vector<FloatMatrix> matrices;
  Boolean32 raster = 0;
  if (R(layer).switches & BEE_SwitchCollapse) {
    if (ErrorCode err = BEE_CouldLayerRasterize(layer, &raster)) return err;
  }
  if (raster) {
    if (ErrorCode err = Rasterized(layer, rq, dw, dh, fullW, fullH, frame, matrices)) return err;
  }
  if (!frame.w) {
    if (ErrorCode err = SourceFrame(layer, rq, layerTime, layerSpan, frame)) return err;
    if (ErrorCode err = ApplyMasks(layer, layerTime, frame.w)) return err;
    std::optional<LayerInFlight> inFlight;
    if (R(layer).parade) inFlight.emplace(layer, rq.time);
    const platform::InFlightScope named(platform::InFlight::Layer, inFlight ? inFlight->what : "");
    const platform::InFlightScope timed(platform::InFlight::Frame, inFlight ? inFlight->when : "");
    int32_t sw = 0, sh = 0;
    if (ErrorCode err = WorldSize(frame.w, &sw, &sh)) return err;
    LPoint origin{0, 0};
    if (ErrorCode err = ApplyEffects(layer, quality, layerTime, layerSpan, frame, origin, rq, this))
      return err;
    // The effect chain's output keeps the source frame's pixel scale: its
    // pixels go back to the source frame's by the chain's origin (where an
    // effect that grew the frame put the input), then to the source's.
    if (ErrorCode err = LayerMatrices(layer, rq, sw, sh, fullW, fullH, origin, Post(), matrices)) return err;
  }

  double opacity = 100;
  if (ErrorCode err = Value(layer, BEE_StreamOpacity, rq.time, &opacity)) return err;
  PF_CompositeMode mode{};
  mode.mode = static_cast<int32_t>(R(layer).transferMode);
  mode.opacity = static_cast<uint8_t>(std::lround(std::clamp(opacity, 0.0, 100.0) * 255.0 / 100.0));
  mode.colourOnly = (R(layer).transferFlags & BEE_TransferKeepAlpha) ? 1 : 0;
  if (R(layer).transferFlags & BEE_TransferLayerTime) {
    // The layer time in the scale of its position stream seeds the dissolve.
    TDB_StreamInfo info{};
    TDB_Stream pos = R(layer).streams[BEE_StreamPosition];
    uint32_t scale = layerTime.scale;
    if (pos && TDB_GetStreamInfo(pos, &info) == 0 && info.timeScale) scale = info.timeScale;
    mode.seed = static_cast<uint32_t>(
        layerTime.scale ? int64_t{layerTime.value} * scale / layerTime.scale : 0);
  }
  if (asMatte) {  // a matte is drawn as it is
    mode.mode = PF_Xfer_Normal;
    mode.colourOnly = 0;
  }

  Locked s(frame.w), d(dst);
  if (ErrorCode err = s.error() ? s.error() : d.error()) return err;
  PF_MaskWorld mask{};
  std::optional<Locked> m;
  if (matte.w) {
    m.emplace(matte.w);
    if (ErrorCode err = m->error()) return err;
    const uint32_t tm = R(layer).trackMatte;
    mask.world = m->pf();
    mask.flags = ((tm == BEE_MatteAlphaInverted || tm == BEE_MatteLumaInverted) ? PF_Mask_Invert : 0) |
                 ((tm == BEE_MatteLuma || tm == BEE_MatteLumaInverted) ? PF_Mask_Luminance : 0);
  }
  return PF_TransformWorld(nullptr, quality == BEE_QualityBest ? 1 : 0, 0, rq.field, &s.pf(), &mode,
                           matte.w ? &mask : nullptr, matrices.data(), static_cast<int32_t>(matrices.size()), 0,
                           nullptr, &d.pf());
}

namespace {

// The bounds, in the pixels of a source World drawn through m, of what lands
// on the destination [0, dw) x [0, dh) widened by `margin` destination
// pixels; false when m cannot be inverted.
bool Preimage(const FloatMatrix& m, int32_t dw, int32_t dh, double margin, double* x0, double* y0, double* x1,
              double* y1) {
  FloatMatrix inv{};
  Boolean32 singular = 0;
  if (M_InverseMatrixQuiet(&m, &inv, &singular) != 0 || singular) return false;
  const double xs[2] = {-margin, dw + margin}, ys[2] = {-margin, dh + margin};
  for (double x : xs)
    for (double y : ys) {
      const double w = x * inv.m[2] + y * inv.m[5] + inv.m[8];
      if (!(std::fabs(w) > 1e-12)) return false;
      const double u = (x * inv.m[0] + y * inv.m[3] + inv.m[6]) / w, v = (x * inv.m[1] + y * inv.m[4] + inv.m[7]) / w;
      if (!std::isfinite(u) || !std::isfinite(v)) return false;
      *x0 = std::min(*x0, u), *y0 = std::min(*y0, v), *x1 = std::max(*x1, u), *y1 = std::max(*y1, v);
    }
  return true;
}

}  // namespace

// Direct rasterization of a solid: the source is filled at the size its
// matrix gives it (the longest a source pixel becomes over the shutter, in
// x and in y), and only over the part that reaches the destination; the
// matrices then take that part's pixels to the destination. The fill has
// the solid's colour everywhere, so the pixels inside the layer are those
// of the whole solid transformed; only the sampling along its edges differs.
ErrorCode Renderer::Rasterized(BEE_Layer layer, const BEE_RenderRequest& rq, int32_t dw, int32_t dh, int32_t fullW,
                               int32_t fullH, TempWorld& frame, std::vector<FloatMatrix>& matrices) {
  std::vector<FloatMatrix> full;
  if (ErrorCode err = LayerMatrices(layer, rq, fullW, fullH, fullW, fullH, LPoint{0, 0}, Post(), full)) return err;
  double sx = 0, sy = 0;
  for (const FloatMatrix* m : {&full.front(), &full.back()}) {
    sx = std::max(sx, std::hypot(m->m[0], m->m[1]));
    sy = std::max(sy, std::hypot(m->m[3], m->m[4]));
  }
  // The fill's size: at least a pixel, and no larger than a side may be.
  auto side = [](int32_t n, double s) {
    const double v = std::ceil(n * s - 1e-9);
    return static_cast<int32_t>(std::clamp(std::isfinite(v) ? v : 1.0, 1.0, 1e9));
  };
  const int32_t rw = side(fullW, sx), rh = side(fullH, sy);
  // What reaches the destination: the first and the last matrix bound every
  // sample between them. Two pixels of margin cover the samplers' reach.
  std::vector<FloatMatrix> scaled;
  if (ErrorCode err = LayerMatrices(layer, rq, rw, rh, fullW, fullH, LPoint{0, 0}, Post(), scaled)) return err;
  double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
  bool known = true;
  for (const FloatMatrix* m : {&scaled.front(), &scaled.back()})
    known = known && Preimage(*m, dw, dh, 2, &x0, &y0, &x1, &y1);
  LRect part{0, 0, rw, rh};
  if (known) {
    part.left = static_cast<int32_t>(std::clamp(std::floor(x0) - 2, 0.0, static_cast<double>(rw)));
    part.top = static_cast<int32_t>(std::clamp(std::floor(y0) - 2, 0.0, static_cast<double>(rh)));
    part.right = static_cast<int32_t>(std::clamp(std::ceil(x1) + 2, 0.0, static_cast<double>(rw)));
    part.bottom = static_cast<int32_t>(std::clamp(std::ceil(y1) + 2, 0.0, static_cast<double>(rh)));
  }
  const bool empty = part.right <= part.left || part.bottom <= part.top;
  // A matrix so skewed that the part would be larger than a World may be:
  // the source is drawn whole instead (frame left without a World).
  if (!empty && (part.right - part.left > 16384 || part.bottom - part.top > 16384)) return 0;
  // Nothing of the layer reaches the destination: one transparent pixel
  // stands for it (the transfer modes treat it as they treat no source).
  if (ErrorCode err = frame.Make(empty ? 1 : part.right - part.left, empty ? 1 : part.bottom - part.top)) return err;
  if (!empty) {
    if (ErrorCode err = BM_ClearWorldToLong(frame.w, R(R(layer).source).solidColor)) return err;
  }
  const LPoint origin{-part.left, -part.top};
  return LayerMatrices(layer, rq, rw, rh, fullW, fullH, origin, Post(), matrices);
}

ErrorCode Renderer::Flattened(BEE_Layer layer, const BEE_RenderRequest& rq, int32_t fullW, int32_t fullH,
                              BM_World dst) {
  if (depth_ >= BEE_MaxRenderDepth) return Strange(kSiteRender, "composition nesting", depth_);
  Boolean32 active = 0;
  BEE_RenderRequest nrq{};
  if (ErrorCode err = SourceRequest(layer, rq, &active, &nrq)) return err;
  if (!active) return 0;
  nrq.field = rq.field;
  std::vector<FloatMatrix> outer;
  BEE_RenderRequest still = rq;
  still.span = Time{0, 1};
  if (ErrorCode err = LayerMatrices(layer, still, fullW, fullH, fullW, fullH, LPoint{0, 0}, Post(), outer))
    return err;
  struct Nest {
    Renderer& r;
    std::vector<FloatMatrix> saved;
    Nest(Renderer& r, const FloatMatrix& m) : r(r), saved(r.post_) {
      r.post_.assign(1, m);
      ++r.depth_;
    }
    ~Nest() {
      r.post_ = saved;
      --r.depth_;
    }
  } nest(*this, outer[0]);
  return Composite(R(layer).source, nrq, dst, false);
}

// Quality 0: the outline of the layer's transformed bounds and of its masks'
// bounds, one pixel of opaque white.
ErrorCode Renderer::Wireframe(BEE_Layer layer, const BEE_RenderRequest& rq, int32_t fullW, int32_t fullH,
                              BM_World dst) {
  std::vector<FloatMatrix> matrices;
  BEE_RenderRequest still = rq;
  still.span = Time{0, 1};
  if (ErrorCode err = LayerMatrices(layer, still, fullW, fullH, fullW, fullH, LPoint{0, 0}, Post(), matrices)) return err;
  std::vector<LRect> outlines{LRect{0, 0, fullW, fullH}};
  int32_t n = 0;
  Boolean32 active = 0;
  Time lt{};
  BEE_LayerActive(layer, rq.time, 0, &active, &lt);
  if (R(layer).masks && LIST_GetNumItems(R(layer).masks, &n) == 0) {
    for (int32_t i = 0; i < n; ++i) {
      MaskRec mr{};
      Shape shape;
      if (LIST_GetItem(R(layer).masks, i, &mr) != 0 || !mr.streams[0]) continue;
      if (ErrorCode err = OM_GetShape(mr.streams[0], &lt, 0, shape.out())) return err;
      FixedRect b{};
      if (OM_GetShapeBounds(shape.get(), &b) == 0)
        outlines.push_back(LRect{b.left >> 16, b.top >> 16, (b.right + 0xFFFF) >> 16, (b.bottom + 0xFFFF) >> 16});
    }
  }
  Locked d(dst);
  if (ErrorCode err = d.error()) return err;
  const PF_Pixel white{255, 255, 255, 255};
  for (const LRect& r : outlines) {
    PF_Wireframe wf = nullptr;
    if (ErrorCode err = PF_AllocWireframe(4, &wf)) return err;
    ErrorCode err = PF_GenerateWireframe(&r, wf);
    if (!err) err = PF_TransformWireframe(&matrices[0], wf);
    if (!err) err = PF_DrawWireframe(wf, &white, &d.pf());
    PF_DisposeWireframe(wf);
    if (err) return err;
  }
  return 0;
}

}  // namespace tv::bee

using namespace tv;
using namespace tv::bee;

namespace {

ErrorCode CheckRequestArg(const BEE_RenderRequest* request, const char* operation) {
  if (!request || request->field < 0 || request->field > 2) return kReport.BadParam(kSiteArgument, {operation});
  return 0;
}

}  // namespace

ErrorCode BEEp_RenderItemFrame(BEE_Item item, const BEE_RenderRequest* request, BM_World world) try {
  if (ErrorCode err = CheckItem(item)) return err;
  if (ErrorCode err = CheckRequestArg(request, "BEEp_RenderItemFrame")) return err;
  if (!world) return kReport.BadParam(kSiteArgument, {"BEEp_RenderItemFrame"});
  Renderer r;
  return r.DrawItem(item, *request, world);
} TV_CATCH(BEE_PackageNumber)

namespace {

ErrorCode RenderAndCache(BEE_Item item, const BEE_RenderRequest& rq, int32_t w, int32_t h, MC_Receipt* receipt) {
  TempWorld frame;
  if (ErrorCode err = frame.Make(w, h)) return err;
  const uint32_t start = platform::TickCount();
  Renderer r;
  if (ErrorCode err = r.DrawItem(item, rq, frame.w)) return err;
  const int32_t ticks = static_cast<int32_t>(platform::TickCount() - start);
  if (ErrorCode err = BEE_CacheItemFrame(item, &rq, frame.w, ticks, receipt)) return err;
  frame.Take();  // the cache owns it now
  return 0;
}

}  // namespace

ErrorCode BEE_RenderCompFrameCheckout(BEE_Item item, const BEE_RenderRequest* request, MC_Receipt* receipt) try {
  if (receipt) *receipt = nullptr;
  if (ErrorCode err = CheckItem(item)) return err;
  if (ErrorCode err = CheckRequestArg(request, "BEE_RenderCompFrameCheckout")) return err;
  if (!receipt) return kReport.BadParam(kSiteArgument, {"BEE_RenderCompFrameCheckout"});
  int32_t w = 0, h = 0;
  if (ErrorCode err = ItemSize(item, &w, &h)) return err;
  return RenderAndCache(item, *request, std::max(w, 1), std::max(h, 1), receipt);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_SetRenderThreads(int32_t count) try {
  if (count < 0 || count > 64) return kReport.BadParam(kSiteArgument, {"BEE_SetRenderThreads"});
  gRenderThreads = count;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetRenderThreads(int32_t* count) try {
  if (!count) return kReport.BadParam(kSiteArgument, {"BEE_GetRenderThreads"});
  *count = gRenderThreads > 0 ? gRenderThreads : platform::HardwareThreads();
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_RenderCompFrameCheckin(MC_Receipt receipt) { return BEE_CheckinItemFrame(receipt); }

ErrorCode BEE_CheckoutItemFrame(BEE_Item item, const BEE_RenderRequest* request, int32_t width, int32_t height,
                                MC_Receipt* receipt) try {
  if (receipt) *receipt = nullptr;
  if (ErrorCode err = CheckItem(item)) return err;
  if (ErrorCode err = CheckRequestArg(request, "BEE_CheckoutItemFrame")) return err;
  if (!receipt || width <= 0 || height <= 0) return kReport.BadParam(kSiteArgument, {"BEE_CheckoutItemFrame"});
  if (request->flags & BEE_Request_Cacheable) {
    Boolean32 exact = 0;
    MC_Receipt r = nullptr;
    BM_World w = nullptr;
    if (ErrorCode err = BEE_CheckoutCachedItemFrame(item, request, width, height, &exact, &r, &w)) return err;
    if (exact) {
      *receipt = r;
      return 0;
    }
  }
  return RenderAndCache(item, *request, width, height, receipt);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CheckoutLayerSourceFrame(BEE_Layer layer, const BEE_RenderRequest* request, BM_World* world) try {
  if (world) *world = nullptr;
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (ErrorCode err = CheckRequestArg(request, "BEE_CheckoutLayerSourceFrame")) return err;
  if (!world) return kReport.BadParam(kSiteArgument, {"BEE_CheckoutLayerSourceFrame"});
  Boolean32 active = 0;
  Time lt{};
  if (ErrorCode err = BEE_LayerActive(layer, request->time, 0, &active, &lt)) return err;
  if (!active || !R(layer).source || !IsLiveItem(R(layer).source)) return 0;
  Time span{0, 1};
  if (!IsZero(request->span)) {
    if (ErrorCode err = BEE_CompToLayerDuration(layer, request->span, &span)) return err;
  }
  TempWorld frame;
  Renderer r;
  if (ErrorCode err = r.SourceFrame(layer, *request, lt, span, frame)) return err;
  *world = frame.Take();
  return 0;
} TV_CATCH(BEE_PackageNumber)
