// Frame parades: frame setup per active effect, rendering that alternates
// between the output world and one scratch world kept between renders, and
// frame setdown.
#include <algorithm>
#include <cstring>

#include "FLT_internal.h"
#include "PF.h"

namespace tv::flt {
namespace {

constexpr int32_t kMaxSize = 30000;

SeqRec* Rec(Handle seq) { return reinterpret_cast<SeqRec*>(*seq); }

Rect Whole(int32_t w, int32_t h) { return Rect{0, 0, static_cast<int16_t>(h), static_cast<int16_t>(w)}; }

Rect Intersect(const Rect& a, const Rect& b) {
  Rect r{std::max(a.top, b.top), std::max(a.left, b.left), std::min(a.bottom, b.bottom), std::min(a.right, b.right)};
  if (r.bottom <= r.top || r.right <= r.left) r = Rect{0, 0, 0, 0};
  return r;
}

uint32_t ClassOutFlags(int16_t cls) {
  ClassRec c{};
  return GetClass(cls, c) == 0 ? c.outFlags : 0;
}

bool Runs(const FrameContext& c) {
  return !(c.flags & kCtxSkip) && Rec(c.seq)->classIndex != kMissingClass;
}

ErrorCode FrameCall(Handle seq, int32_t cmd, int32_t quality, FrameContext& ctx, PF_OutputRecord& out,
                    const PFWorld* input, PFWorld* output) {
  PF_InputRecord in{};
  EffectRef ref{};
  const int16_t cls = static_cast<int16_t>(Rec(seq)->classIndex);
  PrepareInput(in, ref, cmd, cls, seq);
  FillTimes(in, seq);
  in.quality = quality;
  in.frameData = ctx.frameData;
  in.width = ctx.inWidth;
  in.height = ctx.inHeight;
  in.request = ctx.request;
  Time t{in.time, in.timeScale};
  if (ErrorCode err = FLT_SeekParams(seq, &t)) return err;
  ParamsLock lock(seq);
  if (lock.error()) return lock.error();
  PF_ParamDef** params = lock.list();
  // The input layer's record carries the input world during the call.
  PF_ParamValue saved{};
  if (params && params[0] && input) {
    saved = params[0]->u;
    params[0]->u.world = *input;
  }
  ErrorCode err = CallEffect(cls, cmd, seq, in, out, params, output, nullptr);
  if (params && params[0] && input) params[0]->u = saved;
  if (cmd == PF_Cmd_FrameSetup || cmd == PF_Cmd_FrameSetdown) Rec(seq)->seqData = out.sequenceData;
  if (cmd == PF_Cmd_FrameSetup || cmd == PF_Cmd_Render) ctx.frameData = out.frameData;
  return err;
}

ErrorCode DisposeContexts(LIST_Handle list, int32_t quality) {
  ErrorCode first = 0;
  int32_t n = 0;
  LIST_GetNumItems(list, &n);
  for (int32_t i = 0; i < n; ++i) {
    FrameContext c{};
    LIST_GetItem(list, i, &c);
    PF_OutputRecord out{};
    if (ErrorCode err = FrameCall(c.seq, PF_Cmd_FrameSetdown, quality, c, out, nullptr, nullptr); err && !first)
      first = err;
    UnreadyClass(static_cast<int16_t>(Rec(c.seq)->classIndex));
  }
  LIST_Dispose(list, 0);
  return first;
}

// Keeps a world's pixels unpurgeable and locked while it lives.
class PixelsHold {
 public:
  PixelsHold(BM_World w, bool reload) : w_(w) {
    BM_GetPixelsState(w, &state_);
    BM_SetPixelsState(0, BM_PixState_Purgeable, w);
    Boolean32 failed = 0, purged = 0, reloaded = 0;
    err_ = reload ? BM_LoadLockPixels(0, w, &purged, &reloaded) : BM_LockPixels(0, w, &failed);
  }
  ~PixelsHold() {
    if (!err_) BM_UnlockPixels(w_);
    BM_SetPixelsState(state_ & BM_PixState_Purgeable, BM_PixState_Purgeable, w_);
  }
  PixelsHold(const PixelsHold&) = delete;
  PixelsHold& operator=(const PixelsHold&) = delete;
  ErrorCode error() const { return err_; }

 private:
  BM_World w_;
  int32_t state_ = 0;
  ErrorCode err_ = 0;
};

ErrorCode EnsureScratch(int32_t width, int32_t height) {
  BM_World& s = G().scratch;
  const Rect want{0, 0, static_cast<int16_t>(height), static_cast<int16_t>(width)};
  if (!s) return BM_NewWorld(nullptr, BM_Flag_KeepLocal, &want, 32, 0, nullptr, &s);
  Rect have{};
  if (ErrorCode err = BM_GetWorldBounds(s, &have)) return err;
  if (have.right - have.left >= width && have.bottom - have.top >= height) return 0;
  const Rect grown{0, 0, static_cast<int16_t>(std::max<int32_t>(height, have.bottom - have.top)),
                   static_cast<int16_t>(std::max<int32_t>(width, have.right - have.left))};
  return BM_UpdateWorld(0, &grown, nullptr, nullptr, 0, s);
}

}  // namespace
}  // namespace tv::flt

using namespace tv;
using namespace tv::flt;

ErrorCode FLT_NewFrameParade(FLT_Parade parade, int32_t width, int32_t height, int32_t quality,
                             FLT_FrameParade* frameParade) {
  return FLTp_NewFrameParadeRequest(parade, width, height, quality, nullptr, frameParade);
}

ErrorCode FLTp_NewFrameParadeRequest(FLT_Parade parade, int32_t width, int32_t height, int32_t quality,
                                     const Rect* request, FLT_FrameParade* frameParade) {
  if (frameParade) *frameParade = nullptr;
  if (!frameParade) return kReport.BadParam(kSiteFrame, {"FLT_NewFrameParade"});
  if (width < 1 || height < 1 || width > kMaxSize || height > kMaxSize)
    return kReport.Fail(kSiteFrame, 3, kTextBufferSize);
  LIST_Handle items = nullptr;
  if (ErrorCode err = ParadeItems(parade, kSiteFrame, &items)) return err;
  LIST_Handle contexts = nullptr;
  if (ErrorCode err = LIST_New(0, static_cast<int32_t>(sizeof(FrameContext)), 4, 1, &contexts)) return err;
  int32_t n = 0;
  LIST_GetNumItems(items, &n);
  int32_t w = width, h = height;
  // The request follows the frame through the effects: an effect that grows
  // its output moves its input to origin.
  Rect req = request ? *request : Rect{};
  ErrorCode err = 0;
  for (int32_t i = 0; i < n && !err; ++i) {
    ParadeItem it{};
    LIST_GetItem(items, i, &it);
    if (!(it.flags & FLT_Item_On) || (it.flags & FLT_Item_AudioOnly)) continue;
    if (Rec(it.seq)->classIndex == kMissingClass) continue;
    const auto cls = static_cast<int16_t>(Rec(it.seq)->classIndex);
    if ((err = ReadyClass(cls, kSiteFrame))) break;
    FrameContext c{};
    c.seq = it.seq;
    c.inWidth = w;
    c.inHeight = h;
    c.request = RequestRect(ClassOutFlags(cls), request ? &req : nullptr, w, h);
    PF_OutputRecord out{};
    err = FrameCall(it.seq, PF_Cmd_FrameSetup, quality, c, out, nullptr, nullptr);
    if (!err) {
      c.outWidth = out.width ? out.width : w;
      c.outHeight = out.height ? out.height : h;
      c.origin = out.origin;
      // The size comes from the effect: it is checked before any world is
      // sized by it.
      if (c.outWidth < 1 || c.outHeight < 1 || c.outWidth > kMaxSize || c.outHeight > kMaxSize)
        err = kReport.Fail(kSiteFrame, PF_Result_BadCallbackArg, kTextBufferSize);
    }
    if (!err) err = LIST_Insert(&c, -1, contexts);
    if (err) {
      PF_OutputRecord down{};
      FrameCall(it.seq, PF_Cmd_FrameSetdown, quality, c, down, nullptr, nullptr);
      UnreadyClass(cls);
      break;
    }
    w = c.outWidth;
    h = c.outHeight;
    auto shift = [](int16_t v, int16_t by) {
      return static_cast<int16_t>(std::clamp<int32_t>(v + by, -32000, 32000));
    };
    req = Rect{shift(req.top, c.origin.v), shift(req.left, c.origin.h), shift(req.bottom, c.origin.v),
               shift(req.right, c.origin.h)};
  }
  Handle fp = err ? nullptr : NewHandleClear(static_cast<Size>(sizeof(FrameParadeRec)));
  if (!err && !fp) err = kReport.OutOfMemory(kSiteFrame, kTextMemory, sizeof(FrameParadeRec));
  if (err) {
    DisposeContexts(contexts, quality);
    return err;
  }
  auto* r = reinterpret_cast<FrameParadeRec*>(*fp);
  r->magic = r->tailMagic = kFrameMagic;
  r->contexts = contexts;
  r->parade = parade;
  r->quality = quality;
  r->width = width;
  r->height = height;
  if (request) {
    r->request = *request;
    r->hasRequest = 1;
  }
  *frameParade = fp;
  return 0;
}

ErrorCode FLT_InqFrameParadeSize(FLT_FrameParade frameParade, int32_t* width, int32_t* height) {
  if (width) *width = 0;
  if (height) *height = 0;
  if (!width || !height) return kReport.BadParam(kSiteFrame, {"FLT_InqFrameParadeSize"});
  if (ErrorCode err = kReport.CheckRecord(frameParade, kFrameMagicDesc, kSiteFrame, {"frame parade"})) return err;
  const auto* r = reinterpret_cast<const FrameParadeRec*>(*frameParade);
  int32_t w = r->width, h = r->height, n = 0;
  LIST_GetNumItems(r->contexts, &n);
  for (int32_t i = 0; i < n; ++i) {
    FrameContext c{};
    LIST_GetItem(r->contexts, i, &c);
    if (!Runs(c)) continue;
    w = c.outWidth;
    h = c.outHeight;
  }
  *width = w;
  *height = h;
  return 0;
}

ErrorCode FLTp_InqFrameParadeOrigin(FLT_FrameParade frameParade, LPoint* origin) {
  if (origin) *origin = LPoint{0, 0};
  if (!origin) return kReport.BadParam(kSiteFrame, {"FLTp_InqFrameParadeOrigin"});
  if (ErrorCode err = kReport.CheckRecord(frameParade, kFrameMagicDesc, kSiteFrame, {"frame parade"})) return err;
  const auto* r = reinterpret_cast<const FrameParadeRec*>(*frameParade);
  int32_t n = 0;
  LIST_GetNumItems(r->contexts, &n);
  LPoint at{0, 0};
  for (int32_t i = 0; i < n; ++i) {
    FrameContext c{};
    LIST_GetItem(r->contexts, i, &c);
    if (!Runs(c)) continue;
    at.h += c.origin.h;
    at.v += c.origin.v;
  }
  *origin = at;
  return 0;
}

ErrorCode FLT_RenderFrParade(FLT_FrameParade frameParade, int32_t flags, BM_World input, BM_World output) {
  if (ErrorCode err = kReport.CheckRecord(frameParade, kFrameMagicDesc, kSiteRender, {"frame parade"})) return err;
  if (!input || !output || input == output) return kReport.BadParam(kSiteRender, {"FLT_RenderFrParade"});
  const FrameParadeRec fr = *reinterpret_cast<const FrameParadeRec*>(*frameParade);
  int32_t outW = 0, outH = 0;
  FLT_InqFrameParadeSize(frameParade, &outW, &outH);
  Rect ob{}, ib{};
  if (ErrorCode err = BM_GetWorldBounds(output, &ob)) return err;
  if (ErrorCode err = BM_GetWorldBounds(input, &ib)) return err;
  if (ob.right - ob.left < outW || ob.bottom - ob.top < outH || ib.right - ib.left < fr.width ||
      ib.bottom - ib.top < fr.height)
    return kReport.Fail(kSiteRender, 3, kTextBufferSize);

  // The contexts that run this frame, in order.
  int32_t n = 0, active = 0, maxW = 0, maxH = 0;
  LIST_GetNumItems(fr.contexts, &n);
  for (int32_t i = 0; i < n; ++i) {
    FrameContext c{};
    LIST_GetItem(fr.contexts, i, &c);
    if (!Runs(c)) continue;
    ++active;
    maxW = std::max(maxW, c.outWidth);
    maxH = std::max(maxH, c.outHeight);
  }
  PixelsHold inHold(input, false);
  if (inHold.error()) return inHold.error();
  PixelsHold outHold(output, true);
  if (outHold.error()) return outHold.error();
  if (active == 0) return BM_Blit(input, output, &ib, &ob, BM_Blit_Copy);

  PFWorld inPF{}, outPF{}, scratchPF{};
  if (ErrorCode err = PF_MakeBMIntoPF_Layer(input, 0, 0, (flags & 1) ? PF_WorldFlag_Writeable : 0, nullptr, &inPF))
    return err;
  if (ErrorCode err = PF_MakeBMIntoPF_Layer(output, 0, 0, PF_WorldFlag_Writeable, nullptr, &outPF)) return err;
  inPF.width = fr.width;
  inPF.height = fr.height;
  // Parity over the effects that run, so that the last of them writes the
  // output world whatever is skipped.
  ErrorCode err = 0;
  // The kept scratch world, unless a render it serves is running: an effect
  // that reads another layer renders that layer's effects inside its call,
  // and that render makes a scratch world of its own.
  struct Scratch {
    BM_World world = nullptr;
    bool kept = false;
    ~Scratch() {
      if (kept)
        G().scratchInUse = false;
      else if (world)
        BM_DisposeWorld(world);
    }
  } use;
  if (active > 1) {
    if (!G().scratchInUse) {
      if ((err = EnsureScratch(maxW, maxH))) return err;
      use.world = G().scratch;
      use.kept = G().scratchInUse = true;
    } else {
      const Rect want{0, 0, static_cast<int16_t>(maxH), static_cast<int16_t>(maxW)};
      if ((err = BM_NewWorld(nullptr, BM_Flag_KeepLocal, &want, 32, 0, nullptr, &use.world))) return err;
    }
  }
  BM_World scratch = use.world;
  int32_t scratchState = 0;
  Boolean32 purged = 0, reloaded = 0;
  if (scratch) {
    if ((err = BM_LoadLockPixels(0, scratch, &purged, &reloaded))) return err;
    BM_GetPixelsState(scratch, &scratchState);
    if ((err = PF_MakeBMIntoPF_Layer(scratch, 0, 0, PF_WorldFlag_Writeable, nullptr, &scratchPF))) {
      BM_UnlockPixels(scratch);
      return err;
    }
  }
  PFWorld src = inPF;
  int32_t k = 0;
  for (int32_t i = 0; i < n && !err; ++i) {
    FrameContext c{};
    LIST_GetItem(fr.contexts, i, &c);
    if (!Runs(c)) continue;
    PFWorld dst = ((active - 1 - k) % 2 == 0) ? outPF : scratchPF;
    dst.width = c.outWidth;
    dst.height = c.outHeight;
    // An effect that honours extent hints is told which part of its output
    // is wanted; its input's extent never reaches beyond the output.
    const Rect outRect = Whole(c.outWidth, c.outHeight);
    const uint32_t outFlags = ClassOutFlags(static_cast<int16_t>(Rec(c.seq)->classIndex));
    dst.extentHint = (outFlags & PF_OutFlag_UsesExtentHints) ? Intersect(c.request, outRect) : outRect;
    src.extentHint = Intersect(Whole(src.width, src.height), outRect);
    PF_OutputRecord out{};
    // An interrupt (517) stops the chain and goes back to the caller as it
    // is, unreported: the output is incomplete and must not be kept as a
    // finished frame.
    err = FrameCall(c.seq, PF_Cmd_Render, fr.quality, c, out, &src, &dst);
    LIST_SetItem(&c, i, fr.contexts, 0, nullptr);
    src = dst;
    ++k;
  }
  if (scratch) {
    BM_UnlockPixels(scratch);
    if (use.kept) BM_SetPixelsState(BM_PixState_Purgeable, BM_PixState_Purgeable, scratch);
  }
  return err;
}

ErrorCode FLT_DisposeFrParade(FLT_FrameParade frameParade) {
  if (!frameParade) return 0;
  if (ErrorCode err = kReport.CheckRecord(frameParade, kFrameMagicDesc, kSiteFrame, {"frame parade"})) return err;
  auto* r = reinterpret_cast<FrameParadeRec*>(*frameParade);
  const LIST_Handle contexts = r->contexts;
  const int32_t quality = r->quality;
  r->magic = r->tailMagic = 0;
  DisposeHandle(frameParade);
  return DisposeContexts(contexts, quality);
}
