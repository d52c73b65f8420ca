// Audio parades: the Sequences that take part in audio, run effect after
// effect over the caller's output and one scratch sound world.
#include <cstring>

#include "FLT_internal.h"
#include "SND.h"

namespace tv::flt {
namespace {

constexpr uint32_t kAudioMagic = 0xABBA900D;

struct AudioParadeRec {
  uint32_t magic;
  LIST_Handle seqs;  // Handle items
  Handle parade;
  uint32_t floatSamples;
  uint32_t tailMagic;
};
constexpr pkg::Magic<AudioParadeRec> kAudioMagicDesc{&AudioParadeRec::magic, kAudioMagic,
                                                     &AudioParadeRec::tailMagic, kAudioMagic};

int16_t ClassOf(Handle seq) { return static_cast<int16_t>(reinterpret_cast<SeqRec*>(*seq)->classIndex); }

void Unready(LIST_Handle seqs) {
  int32_t n = 0;
  LIST_GetNumItems(seqs, &n);
  for (int32_t i = 0; i < n; ++i) {
    Handle s = nullptr;
    LIST_GetItem(seqs, i, &s);
    UnreadyClass(ClassOf(s));
  }
}

// Keeps a sound world's buffer locked while it lives.
class BufferLock {
 public:
  BufferLock(Handle world, int64_t frames) : world_(world) { err_ = SND_SizeAndLockBuffer(frames, 0, world, &samples_); }
  ~BufferLock() {
    if (!err_) SND_UnlockBuffer(world_);
  }
  BufferLock(const BufferLock&) = delete;
  BufferLock& operator=(const BufferLock&) = delete;
  ErrorCode error() const { return err_; }
  void* samples() const { return samples_; }

 private:
  Handle world_;
  void* samples_ = nullptr;
  ErrorCode err_ = 0;
};

}  // namespace
}  // namespace tv::flt

using namespace tv;
using namespace tv::flt;

ErrorCode FLT_NewAudioParade(FLT_Parade parade, FLT_AudioParade* audioParade) {
  if (audioParade) *audioParade = nullptr;
  if (!audioParade) return kReport.BadParam(kSiteAudio, {"FLT_NewAudioParade"});
  LIST_Handle items = nullptr;
  if (ErrorCode err = ParadeItems(parade, kSiteAudio, &items)) return err;
  LIST_Handle seqs = nullptr;
  if (ErrorCode err = LIST_New(0, static_cast<int32_t>(sizeof(Handle)), 4, 1, &seqs)) return err;
  int32_t n = 0;
  LIST_GetNumItems(items, &n);
  uint32_t floatSamples = 0;
  ErrorCode err = 0;
  for (int32_t i = 0; i < n && !err; ++i) {
    ParadeItem it{};
    LIST_GetItem(items, i, &it);
    if (!(it.flags & FLT_Item_On) || !(it.flags & (FLT_Item_AudioOnly | FLT_Item_AudioAlso))) continue;
    if (reinterpret_cast<SeqRec*>(*it.seq)->classIndex == kMissingClass) continue;
    if ((err = ReadyClass(ClassOf(it.seq), kSiteAudio))) break;
    if ((err = LIST_Insert(&it.seq, -1, seqs))) {
      UnreadyClass(ClassOf(it.seq));
      break;
    }
    ClassRec c{};
    GetClass(ClassOf(it.seq), c);
    if (c.outFlags & PF_OutFlag_FloatAudio) floatSamples = 1;
  }
  Handle h = err ? nullptr : NewHandleClear(static_cast<Size>(sizeof(AudioParadeRec)));
  if (!err && !h) err = kReport.OutOfMemory(kSiteAudio, kTextMemory, sizeof(AudioParadeRec));
  if (err) {
    Unready(seqs);
    LIST_Dispose(seqs, 0);
    return err;
  }
  auto* r = reinterpret_cast<AudioParadeRec*>(*h);
  r->magic = r->tailMagic = kAudioMagic;
  r->seqs = seqs;
  r->parade = parade;
  r->floatSamples = floatSamples;
  *audioParade = h;
  return 0;
}

ErrorCode FLT_RenderAudioParade(FLT_AudioParade audioParade, int32_t quality, Handle input, Handle output) {
  if (ErrorCode err = kReport.CheckRecord(audioParade, kAudioMagicDesc, kSiteAudio, {"audio parade"})) return err;
  if (!input || !output || input == output) return kReport.BadParam(kSiteAudio, {"FLT_RenderAudioParade"});
  const AudioParadeRec ap = *reinterpret_cast<const AudioParadeRec*>(*audioParade);
  SND_WorldInfo info{};
  if (ErrorCode err = SNDp_GetWorldInfo(input, &info)) return err;
  SND_Format format = info.format;
  if (ap.floatSamples) {
    format.encoding = SND_Encoding_Float;
    format.bytesPerSample = 4;
  }
  // The output takes the input's frames in the working format; with no
  // effect that is the whole answer.
  if (ErrorCode err = SND_Resize(0, 0, output)) return err;
  if (ErrorCode err = SND_UpdateWorld(quality, &format, nullptr, output)) return err;
  if (ErrorCode err = SND_Blit(quality, input, nullptr, nullptr, SND_Blit_Replace, nullptr, output)) return err;
  int32_t n = 0;
  LIST_GetNumItems(ap.seqs, &n);
  if (n == 0) return 0;
  // The first effect reads a converted copy of the input; then the effects
  // alternate between the scratch world and the output so that the last one
  // writes the output.
  Handle scratch = nullptr, source = nullptr;
  if (ErrorCode err = SND_NewWorld(&format, nullptr, &scratch)) return err;
  ErrorCode err = SND_NewWorld(&format, nullptr, &source);
  if (!err) err = SND_Blit(quality, output, nullptr, nullptr, SND_Blit_Replace, nullptr, source);
  SND_WorldInfo outInfo{};
  if (!err) err = SNDp_GetWorldInfo(output, &outInfo);
  if (!err) {
    const int64_t frames = outInfo.frames;
    BufferLock src(source, frames), scr(scratch, frames), out(output, frames);
    err = src.error() ? src.error() : scr.error() ? scr.error() : out.error();
    const void* from = src.samples();
    for (int32_t k = 0; k < n && !err; ++k) {
      Handle seq = nullptr;
      LIST_GetItem(ap.seqs, k, &seq);
      void* to = ((n - 1 - k) % 2 == 0) ? out.samples() : scr.samples();
      PF_AudioCall call{from, to, frames, format.rate, format.encoding, format.bytesPerSample, format.channels, 0};
      PF_InputRecord in{};
      PF_OutputRecord rec{};
      EffectRef ref{};
      PrepareInput(in, ref, PF_Cmd_AudioRender, ClassOf(seq), seq);
      FillTimes(in, seq);
      in.quality = quality;
      Time t{in.time, in.timeScale};
      err = FLT_SeekParams(seq, &t);
      if (!err) {
        ParamsLock lock(seq);
        err = lock.error() ? lock.error()
                           : CallEffect(ClassOf(seq), PF_Cmd_AudioRender, seq, in, rec, lock.list(), nullptr, &call);
      }
      from = to;
    }
  }
  SND_DisposeWorld(source);
  SND_DisposeWorld(scratch);
  return err;
}

ErrorCode FLT_DisposeAudioParade(FLT_AudioParade audioParade) {
  if (!audioParade) return 0;
  if (ErrorCode err = kReport.CheckRecord(audioParade, kAudioMagicDesc, kSiteAudio, {"audio parade"})) return err;
  auto* r = reinterpret_cast<AudioParadeRec*>(*audioParade);
  const LIST_Handle seqs = r->seqs;
  r->magic = r->tailMagic = 0;
  DisposeHandle(audioParade);
  Unready(seqs);
  LIST_Dispose(seqs, 0);
  return 0;
}
