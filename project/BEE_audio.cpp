// Composition audio: the sound of footage through its module, of a layer
// through its time remapping, effects, levels and timing, and of a
// composition as the mix of its layers.
//
// A layer is planned backward, from the span asked for to the source frames
// it needs, and rendered forward. Its sound is worked on in layer time at the
// rate that makes one layer frame one output frame (the output rate times the
// stretch), so that the timing at the end only relabels the frames: a layer
// at 100 % with an offset of whole frames is never resampled.
#include <algorithm>
#include <cmath>

#include "BEE_internal.h"
#include "FLT.h"
#include "SND.h"

namespace tv::bee {
namespace {

constexpr uint32_t kSiteAudio = 0x38;
constexpr ErrorCode kAborted = 517;
constexpr int64_t kStretchMargin = 4;  // layer frames added on each side when stretched

// A sound world the render made, disposed with it unless taken.
class Sound {
 public:
  Sound() = default;
  explicit Sound(SND_World w) : w_(w) {}
  Sound(const Sound&) = delete;
  Sound& operator=(const Sound&) = delete;
  ~Sound() { Reset(nullptr); }
  void Reset(SND_World w) {
    if (w_) SND_DisposeWorld(w_);
    w_ = w;
  }
  SND_World get() const { return w_; }
  SND_World* out() { return &w_; }
  SND_World Take() { return std::exchange(w_, nullptr); }
  explicit operator bool() const { return w_ != nullptr; }

 private:
  SND_World w_ = nullptr;
};

long double Sec(Time t) { return static_cast<long double>(t.value) / t.scale; }
int64_t FirstAt(long double x) { return static_cast<int64_t>(std::ceil(x - 1e-8L)); }
bool ValidTime(Time t) { return t.scale != 0; }

bool SameFormat(const SND_Format& a, const SND_Format& b) {
  return a.encoding == b.encoding && a.bytesPerSample == b.bytesPerSample && a.channels == b.channels &&
         std::fabs(a.rate - b.rate) < 1e-8;
}

// One render: the progress record and the nesting of compositions.
// The layers whose audio effects are running, innermost last, with the
// quality they render at: a layer parameter's sound is read with it, and a
// layer parameter naming one of them reads silence.
struct SoundEffects {
  BEE_Layer layer;
  int32_t quality;
};
std::vector<SoundEffects> gSoundEffects;

class SoundRender {
 public:
  explicit SoundRender(BEE_SoundProgress* progress) : progress_(progress) {}
  ErrorCode Item(BEE_Item item, int32_t quality, Time start, Time duration, const SND_Format& f, Sound& out);
  ErrorCode Comp(BEE_Item comp, int32_t quality, Time start, Time duration, const SND_Format& f, Sound& out);
  ErrorCode Layer(BEE_Layer layer, int32_t quality, Time start, Time duration, const SND_Format& f, int32_t index,
                  int32_t count, Sound& out);

 private:
  ErrorCode Stage(int32_t stage, int32_t layer, int32_t layers);
  BEE_SoundProgress* progress_;
  int32_t depth_ = 0;
};

ErrorCode SoundRender::Stage(int32_t stage, int32_t layer, int32_t layers) {
  if (progress_) *progress_ = BEE_SoundProgress{stage, layer, layers};
  State& g = G();
  if (!g.callback) return 0;
  BEE_Progress p{stage, layer, layers};
  return g.callback(g.refcon, BEE_SelProgress, &p) ? kAborted : 0;
}

// A world of the format holding the span's frames, all silence.
ErrorCode Silence(const SND_Format& f, Time start, Time duration, Sound& out) {
  if (ErrorCode err = SND_NewWorld(&f, nullptr, out.out())) return err;
  return SND_Extend(start, duration, out.get());
}

// Makes w hold exactly the span's frames in the format: a world that does
// already is kept; any other is copied (converted, resampled) into one that
// does.
ErrorCode Conform(int32_t quality, const SND_Format& f, Time start, Time duration, Sound& w) {
  SND_WorldInfo info{};
  if (ErrorCode err = SNDp_GetWorldInfo(w.get(), &info)) return err;
  const long double rate = f.rate;
  const int64_t frames = FirstAt(rate * (Sec(start) + Sec(duration))) - FirstAt(rate * Sec(start));
  if (SameFormat(info.format, f) && info.frames == frames && std::fabs(Sec(info.start) - Sec(start)) < 1e-8L)
    return 0;
  Sound out;
  if (ErrorCode err = Silence(f, start, duration, out)) return err;
  if (ErrorCode err = SND_Blit(quality, w.get(), &start, &duration, SND_Blit_Replace, nullptr, out.get())) return err;
  w.Reset(out.Take());
  return 0;
}

bool RemapOn(const BEE_LayerRec& r) {
  TDB_Stream s = r.streams[BEE_StreamTimeRemap];
  TDB_StreamInfo info{};
  return s && TDB_GetStreamInfo(s, &info) == 0 && !(info.flags & TDB_StreamConstant);
}

// Whether the levels leave the sound as it is (a constant 0 dB).
bool LevelsFlat(TDB_Stream s) {
  if (!s) return true;
  TDB_StreamInfo info{};
  if (TDB_GetStreamInfo(s, &info) != 0 || !(info.flags & TDB_StreamConstant)) return false;
  double v[4] = {};
  const Time t{0, 1};
  if (TDB_GetValueF(s, &t, 0, 0, v, nullptr) != 0) return false;
  for (int32_t d = 0; d < std::min<int32_t>(info.dimension, 4); ++d)
    if (v[d] != 0.0) return false;
  return true;
}

bool FootageHasAudio(BEE_Item item) {
  PIN_SeqSpecH seq = R(item).seqSpec;
  if (!seq) return false;
  SND_Format f{};
  return PIN_GetSeqSpecificData(seq, PIN_SeqData_SoundFormat, &f, static_cast<int32_t>(sizeof f)) == 0 &&
         f.channels > 0;
}

bool ItemHasAudio(BEE_Item item, int32_t depth);

bool LayerHasAudio(BEE_Layer layer, int32_t depth) {
  const BEE_LayerRec& r = R(layer);
  if (r.switches & BEE_SwitchAudioMute) return false;
  return IsLiveItem(r.source) && ItemHasAudio(r.source, depth + 1);
}

bool ItemHasAudio(BEE_Item item, int32_t depth) {
  if (depth > BEE_MaxRenderDepth) return false;
  switch (R(item).kind) {
    case BEE_KindFootage: return FootageHasAudio(item);
    case BEE_KindComp: {
      const int32_t n = LayerCount(item);
      for (int32_t i = 0; i < n; ++i)
        if (LayerHasAudio(LayerAt(item, i), depth)) return true;
      return false;
    }
    default: return false;
  }
}

ErrorCode SoundRender::Item(BEE_Item item, int32_t quality, Time start, Time duration, const SND_Format& f,
                            Sound& out) {
  const int32_t q = quality != 0 ? SND_Quality_Best : SND_Quality_Draft;
  switch (R(item).kind) {
    case BEE_KindComp: return Comp(item, quality, start, duration, f, out);
    case BEE_KindFootage: {
      if (!FootageHasAudio(item)) return 0;
      // Footage is asked for signed integer samples; the world is converted after.
      PIN_SoundRequest rq{start, duration, f, q};
      if (rq.format.encoding != SND_Encoding_Signed) {
        rq.format.encoding = SND_Encoding_Signed;
        rq.format.bytesPerSample = std::min<uint16_t>(rq.format.bytesPerSample, 2);
      }
      if (ErrorCode err = SND_NewWorld(&rq.format, nullptr, out.out())) return err;
      if (ErrorCode err = PIN_GetSound(R(item).seqSpec, &rq, out.get())) {
        out.Reset(nullptr);
        return err;
      }
      if (ErrorCode err = SND_UpdateWorld(q, &f, nullptr, out.get())) {
        out.Reset(nullptr);
        return err;
      }
      return 0;
    }
    default: return 0;
  }
}

ErrorCode SoundRender::Comp(BEE_Item comp, int32_t quality, Time start, Time duration, const SND_Format& f,
                            Sound& out) {
  if (depth_ >= BEE_MaxRenderDepth) return Strange(kSiteAudio, "BEE_RenderCompSound", depth_);
  struct Nest {
    int32_t& d;
    explicit Nest(int32_t& depth) : d(depth) { ++d; }
    ~Nest() { --d; }
  } nest(depth_);
  const int32_t n = LayerCount(comp);
  if (ErrorCode err = Stage(BEE_SoundStageComp, 0, n)) return err;
  Sound mix;
  for (int32_t i = n - 1; i >= 0; --i) {
    BEE_Layer layer = LayerAt(comp, i);
    if (ErrorCode err = Stage(BEE_SoundStageLayer, i, n)) return err;
    const int32_t q = quality < 0 ? -1 : (R(layer).quality == BEE_QualityBest ? 1 : 0);
    Sound one;
    if (ErrorCode err = Layer(layer, q, start, duration, f, i, n, one)) return err;
    if (!one) continue;
    if (!mix) {
      mix.Reset(one.Take());
      continue;
    }
    if (ErrorCode err = SND_Blit(q != 0 ? SND_Quality_Best : SND_Quality_Draft, one.get(), &start, &duration,
                                 SND_Blit_Mix, nullptr, mix.get()))
      return err;
  }
  if (ErrorCode err = Stage(BEE_SoundStageConvert, 0, n)) return err;
  if (!mix) return Silence(f, start, duration, out);
  // Every layer's world already holds the span in the format; a world that
  // does not (start, rate or format) is copied into one that does, which
  // fixes its start as well as its format.
  if (ErrorCode err = Conform(quality != 0 ? SND_Quality_Best : SND_Quality_Draft, f, start, duration, mix))
    return err;
  out.Reset(mix.Take());
  return 0;
}

ErrorCode SoundRender::Layer(BEE_Layer layer, int32_t quality, Time start, Time duration, const SND_Format& f,
                             int32_t index, int32_t count, Sound& out) {
  if (!LayerHasAudio(layer, depth_)) return 0;
  const BEE_LayerRec& r = R(layer);
  const int32_t q = quality != 0 ? SND_Quality_Best : SND_Quality_Draft;
  // A stretch of 0 has no time mapping; it is refused, never divided by.
  if (r.stretch.num == 0 || r.stretch.den == 0)
    return kReport.Report(kSiteAudio, kSevError, kErrBadParam, kTextBadStretch,
                          {r.stretch.num, static_cast<uint64_t>(r.stretch.den)});
  const long double s = static_cast<long double>(r.stretch.num) / r.stretch.den;
  const bool stretched = !(r.stretch.num >= 0 && static_cast<uint32_t>(r.stretch.num) == r.stretch.den);
  // ---- Planning: the layer frames of the span at the working rate.
  SND_Format wf = f;
  wf.rate = static_cast<double>(f.rate * std::fabs(s));
  if (!SNDp_IsValidFormat(&wf)) return kReport.BadParam(kSiteAudio, {"BEE_RenderLayerSound"});
  const long double rw = wf.rate;
  const long double shift = s < 0 ? 1.0L / 300 : 0.0L;
  auto layerTime = [&](long double ct) { return (ct - Sec(r.offset)) / s - shift; };
  const long double a = layerTime(Sec(start)) * rw, b = layerTime(Sec(start) + Sec(duration)) * rw;
  int64_t first = FirstAt(std::min(a, b)), end = FirstAt(std::max(a, b));
  if (stretched) first -= kStretchMargin, end += kStretchMargin;
  // Nothing sounds outside the in and out points (clipped to the source).
  Time in{}, outPoint{};
  if (ErrorCode err = BEE_GetLayerTime(layer, BEE_LayerTimeInClipped, &in, nullptr)) return err;
  if (ErrorCode err = BEE_GetLayerTime(layer, BEE_LayerTimeOutClipped, &outPoint, nullptr)) return err;
  first = std::max(first, FirstAt(Sec(in) * rw));
  end = std::min(end, FirstAt(Sec(outPoint) * rw));
  if (end <= first) return 0;
  const int64_t frames = end - first;
  // The source frames read: the same frames, or what time remapping reads.
  int64_t srcFirst = first, srcCount = frames;
  Handle remap = nullptr;
  struct RemapGuard {
    Handle& h;
    ~RemapGuard() { SND_DisposeTimeRemapData(h); }
  } remapGuard{remap};
  if (RemapOn(r)) {
    if (ErrorCode err = SND_SetupTimeRemapSound(q, &wf, first, frames, r.streams[BEE_StreamTimeRemap], &remap,
                                                &srcFirst, &srcCount))
      return err;
    // The remapped range is limited to the source like the plain one; frames
    // past the source's end are silence.
    bool hasTime = false;
    const Time d = SourceDuration(layer, &hasTime);
    if (hasTime) srcCount = std::clamp<int64_t>(FirstAt(Sec(d) * rw) - srcFirst, 0, srcCount);
  }
  // ---- Rendering forward: the source.
  if (ErrorCode err = Stage(BEE_SoundStageSource, index, count)) return err;
  Time srcStart{}, srcDuration{};
  if (ErrorCode err = SND_SampToTime(SND_Round_Nearest, srcFirst, wf.rate, &srcStart, nullptr)) return err;
  if (ErrorCode err = SND_SampToTime(SND_Round_Nearest, srcCount, wf.rate, &srcDuration, nullptr)) return err;
  Sound w;
  ++depth_;
  ErrorCode err = srcCount > 0 ? Item(r.source, quality, srcStart, srcDuration, wf, w) : 0;
  --depth_;
  if (err) return err;
  if (!w) {
    if (ErrorCode e = Silence(wf, srcStart, srcDuration, w)) return e;
  } else {
    SND_WorldInfo info{};
    if (ErrorCode e = SNDp_GetWorldInfo(w.get(), &info)) return e;
    if (info.frames != srcCount)
      if (ErrorCode e = SND_Resize(0, srcCount, w.get())) return e;
    if (srcCount > 0)
      if (ErrorCode e = SND_SetWorldStartTime(srcStart, w.get())) return e;
  }
  if (remap) {
    SND_World rw0 = w.Take();
    if (ErrorCode e = SND_RenderTimeRemapSound(q, first, frames, remap, &rw0)) {
      SND_DisposeWorld(rw0);
      return e;
    }
    w.Reset(rw0);
  }
  // Audio effects.
  if (r.parade && (r.switches & BEE_SwitchEffects)) {
    Boolean32 nop = 1;
    if (ErrorCode e = FLT_ParadeWillNop(r.parade, FLT_Nop_Audio, 0, &nop)) return e;
    if (!nop) {
      if (ErrorCode e = Stage(BEE_SoundStageEffects, index, count)) return e;
      FLT_AudioParade ap = nullptr;
      if (ErrorCode e = FLT_NewAudioParade(r.parade, &ap)) return e;
      Sound fx;
      ErrorCode e = SND_NewWorld(&wf, nullptr, fx.out());
      gSoundEffects.push_back(SoundEffects{layer, quality});
      if (!e) e = FLT_RenderAudioParade(ap, q, w.get(), fx.get());
      gSoundEffects.pop_back();
      FLT_DisposeAudioParade(ap);
      if (e) return e;
      w.Reset(fx.Take());
    }
  }
  // Levels, in layer time like the world.
  if (!LevelsFlat(r.streams[BEE_StreamAudioLevels])) {
    if (ErrorCode e = Stage(BEE_SoundStageLevels, index, count)) return e;
    if (ErrorCode e = SND_Envelope(q, 0, frames, r.streams[BEE_StreamAudioLevels], 0, w.get())) return e;
  }
  // Timing: layer time to composition time (rate / |stretch|, start moved by
  // the offset, the frames reversed for a negative stretch), then the span
  // in the requested format.
  Time offset{};
  if (ErrorCode e = BEE_LayerToCompTime(layer, Time{0, 600}, &offset)) return e;
  const double fixed = std::round(static_cast<double>(s) * 65536.0);
  if (!(std::fabs(fixed) >= 1 && std::fabs(fixed) <= INT32_MAX)) return kReport.BadParam(kSiteAudio, {"stretch"});
  if (ErrorCode e = SND_Stretch(q, static_cast<Fixed>(fixed), offset, 0, w.get())) return e;
  if (ErrorCode e = Conform(q, f, start, duration, w)) return e;
  out.Reset(w.Take());
  return 0;
}

ErrorCode CheckRequest(Time start, Time duration, const SND_Format* format, SND_World* world, const char* op) {
  if (!world) return kReport.BadParam(kSiteArgument, {op});
  if (!format || !SNDp_IsValidFormat(format) || !ValidTime(start) || !ValidTime(duration) || duration.value < 0)
    return kReport.BadParam(kSiteArgument, {op});
  return 0;
}

}  // namespace

ErrorCode CheckoutEffectLayerSound(uint32_t ref, Time start, Time duration, const SND_Format& f,
                                   SND_World* world) {
  *world = nullptr;
  Sound out;
  BEE_Layer target = nullptr;
  if (ref && !gSoundEffects.empty()) {
    const SoundEffects running = gSoundEffects.back();
    target = gSoundEffects.size() < kMaxLayerReads ? LayerByID(R(running.layer).comp, ref) : nullptr;
    for (const SoundEffects& s : gSoundEffects)
      if (s.layer == target) target = nullptr;
    if (target) {
      // A stretched layer's effects work at a rate of their own, on frames
      // that run backwards when it plays backwards: hearing another layer
      // there is not done yet, and says so.
      const Ratio st = R(running.layer).stretch;
      if (!(st.num > 0 && static_cast<uint32_t>(st.num) == st.den))
        return kReport.Fail(BEE_SiteUnimplemented, kErrUnimplemented, kTextStretchedHearing);
      // The same span in composition time, read from the layer as it sounds there.
      Time cs{};
      if (ErrorCode err = BEE_LayerToCompTime(running.layer, start, &cs)) return err;
      const Time cd = duration;
      SoundRender render(nullptr);
      const BEE_Item comp = R(target).comp;
      if (ErrorCode err =
              render.Layer(target, running.quality, cs, cd, f, IndexOfLayer(target), LayerCount(comp), out))
        return err;
    }
  }
  // The span asked for, in the effect's time: silence where nothing sounds.
  const int64_t frames = FirstAt(static_cast<long double>(f.rate) * (Sec(start) + Sec(duration))) -
                         FirstAt(static_cast<long double>(f.rate) * Sec(start));
  if (!out) {
    if (ErrorCode err = Silence(f, start, duration, out)) return err;
  } else {
    if (ErrorCode err = SND_Resize(0, frames, out.get())) return err;
    if (ErrorCode err = SND_SetWorldStartTime(start, out.get())) return err;
  }
  *world = out.Take();
  return 0;
}

}  // namespace tv::bee

using namespace tv;
using namespace tv::bee;

ErrorCode BEE_RenderItemSound(BEE_Item item, int32_t quality, Time start, Time duration, const SND_Format* format,
                              BEE_SoundProgress* progress, SND_World* world) try {
  if (world) *world = nullptr;
  if (ErrorCode err = CheckItem(item)) return err;
  if (ErrorCode err = CheckRequest(start, duration, format, world, "BEE_RenderItemSound")) return err;
  SoundRender render(progress);
  Sound out;
  if (ErrorCode err = render.Item(item, quality, start, duration, *format, out)) return err;
  *world = out.Take();
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_RenderCompSound(BEE_Item comp, Boolean32 forceBest, Time start, Time duration,
                              const SND_Format* format, SND_World* world) try {
  if (world) *world = nullptr;
  if (ErrorCode err = CheckComp(comp)) return err;
  if (ErrorCode err = CheckRequest(start, duration, format, world, "BEE_RenderCompSound")) return err;
  SoundRender render(nullptr);
  Sound out;
  if (ErrorCode err = render.Comp(comp, forceBest ? -1 : 1, start, duration, *format, out)) return err;
  *world = out.Take();
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_RenderLayerSound(BEE_Layer layer, Boolean32 forceBest, Time start, Time duration,
                               const SND_Format* format, BEE_SoundProgress* progress, SND_World* world) try {
  if (world) *world = nullptr;
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (ErrorCode err = CheckRequest(start, duration, format, world, "BEE_RenderLayerSound")) return err;
  SoundRender render(progress);
  Sound out;
  const int32_t q = forceBest ? -1 : (R(layer).quality == BEE_QualityBest ? 1 : 0);
  const int32_t index = IndexOfLayer(layer);
  const int32_t count = IsLiveItem(R(layer).comp) ? LayerCount(R(layer).comp) : 0;
  if (ErrorCode err = render.Layer(layer, q, start, duration, *format, index, count, out)) return err;
  *world = out.Take();
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEEp_LayerHasAudio(BEE_Layer layer, Boolean32* hasAudio) try {
  if (hasAudio) *hasAudio = 0;
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (!hasAudio) return kReport.BadParam(kSiteArgument, {"BEEp_LayerHasAudio"});
  *hasAudio = LayerHasAudio(layer, 0) ? 1 : 0;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEEp_ItemHasAudio(BEE_Item item, Boolean32* hasAudio) try {
  if (hasAudio) *hasAudio = 0;
  if (ErrorCode err = CheckItem(item)) return err;
  if (!hasAudio) return kReport.BadParam(kSiteArgument, {"BEEp_ItemHasAudio"});
  *hasAudio = ItemHasAudio(item, 0) ? 1 : 0;
  return 0;
} TV_CATCH(BEE_PackageNumber)
