// Playback: a PlaySpec binds a sound world to the sound output and
// feeds it one buffer (the whole world) or, streaming, buffers of one second
// through two headers. The output's thread only moves header states (done,
// and the queued header on to playing); everything else happens on the
// caller's thread, which polls those states.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <new>
#include <thread>

#include "AudioOut.h"
#include "SND_internal.h"

namespace tv::snd {
namespace {

using platform::AudioOut;
using Clock = std::chrono::steady_clock;

constexpr auto kResetWait = std::chrono::seconds(10);  // 600 ticks
bool gStreaming = false;

// What a bound PlaySpec owns besides its record.
struct Player {
  std::unique_ptr<AudioOut> out;
  SND_PlaySpec* spec = nullptr;
  const uint8_t* samples = nullptr;
  int64_t frames = 0;
  int64_t frameBytes = 0;
  int64_t chunk = 0;  // frames of a streamed buffer: one second
  bool notified = false;
};

std::atomic_ref<int32_t> StateOf(SND_WaveHeader& h) { return std::atomic_ref<int32_t>(h.state); }
Player& PlayerOf(SND_PlaySpec* spec) { return *static_cast<Player*>(spec->device); }

// The output's thread: the header is done; with streaming the one queued
// behind it now plays.
void Done(void* ref, int32_t buffer) {
  SND_PlaySpec* spec = static_cast<Player*>(ref)->spec;
  StateOf(spec->headers[buffer]).store(SND_Wave_Done);
  if (spec->streaming) {
    int32_t queued = SND_Wave_Queued;
    StateOf(spec->headers[1 - buffer]).compare_exchange_strong(queued, SND_Wave_Playing);
  }
}

bool Busy(SND_PlaySpec* spec) {
  for (SND_WaveHeader& h : spec->headers) {
    const int32_t s = StateOf(h).load();
    if (s == SND_Wave_Queued || s == SND_Wave_Playing) return true;
  }
  return false;
}

ErrorCode CheckBound(SND_PlaySpec* spec, const char* op) {
  if (!spec) return kReport.BadParam(kSitePlay, {op});
  if (spec->marker != SND_PlaySpecMarker || !spec->device) return kReport.Fail(kSitePlay, kErrBadParam, kTextNotBound);
  return 0;
}

ErrorCode OutputProblem(const std::string& why) {
  return kReport.Fail(kSitePlay, SND_ErrOutput, kTextOutputProblem,
                      {why.empty() ? std::string(kReport.Text(kTextNoErrorText)) : why});
}

void Detach(SND_WaveHeader& h) {
  h.marker = SND_NoBufferMarker;
  h.firstFrame = h.frames = 0;
  StateOf(h).store(SND_Wave_Free);
}

// Attaches frames from the next frame to a header (at most one buffer's worth).
bool Attach(SND_PlaySpec* spec, SND_WaveHeader& h) {
  Player& p = PlayerOf(spec);
  const int64_t n = std::min(spec->streaming ? p.chunk : p.frames, p.frames - spec->nextFrame);
  if (n <= 0) {
    Detach(h);
    return false;
  }
  h.marker = 0;
  h.firstFrame = spec->nextFrame;
  h.frames = n;
  spec->nextFrame += n;
  StateOf(h).store(SND_Wave_Prepared);
  return true;
}

// Both headers from frame 0.
void Prepare(SND_PlaySpec* spec) {
  spec->nextFrame = 0;
  Detach(spec->headers[0]);
  Detach(spec->headers[1]);
  Attach(spec, spec->headers[0]);
  if (spec->streaming) Attach(spec, spec->headers[1]);
  PlayerOf(spec).notified = false;
}

// Stops the output: every header queued or playing is done afterwards.
void StopOutput(SND_PlaySpec* spec) {
  PlayerOf(spec).out->Reset();
  const auto until = Clock::now() + kResetWait;
  while (Busy(spec) && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// A device that failed: the play ends, the buffers are free, one report.
ErrorCode Failed(SND_PlaySpec* spec, const std::string& why) {
  StopOutput(spec);
  Detach(spec->headers[0]);
  Detach(spec->headers[1]);
  spec->nextFrame = PlayerOf(spec).frames;
  spec->flags |= SND_Play_Idle;
  return OutputProblem(why);
}

// The header's state is set before its frames go to the output, so a done
// report can never come before the state it replaces.
ErrorCode Submit(SND_PlaySpec* spec, int32_t b, int32_t state) {
  Player& p = PlayerOf(spec);
  SND_WaveHeader& h = spec->headers[b];
  StateOf(h).store(state);
  std::string why;
  if (!p.out->Write(b, p.samples + h.firstFrame * p.frameBytes, static_cast<size_t>(h.frames * p.frameBytes), &why))
    return Failed(spec, why);
  return 0;
}

// Once every frame has played: idle, and the completion procedure once.
void CheckFinished(SND_PlaySpec* spec) {
  Player& p = PlayerOf(spec);
  if (p.notified || spec->playCount == 0 || spec->nextFrame < p.frames || Busy(spec)) return;
  p.notified = true;
  spec->flags |= SND_Play_Idle;
  if (spec->callback) spec->callback(spec, spec->reference);
}

ErrorCode CheckHealth(SND_PlaySpec* spec) {
  std::string why;
  if (!PlayerOf(spec).out->Healthy(&why)) return Failed(spec, why);
  return 0;
}

// Refills done (or free) headers with the next frames, in order.
ErrorCode Refill(SND_PlaySpec* spec) {
  for (int32_t b = 0; b < 2; ++b) {
    SND_WaveHeader& h = spec->headers[b];
    const int32_t s = StateOf(h).load();
    if (s != SND_Wave_Done && s != SND_Wave_Free) continue;
    if (!Attach(spec, h)) continue;
    const int32_t other = StateOf(spec->headers[1 - b]).load();
    const bool behind = other == SND_Wave_Playing || other == SND_Wave_Queued;
    if (ErrorCode err = Submit(spec, b, behind ? SND_Wave_Queued : SND_Wave_Playing)) return err;
  }
  return 0;
}

// The output for a world, checked against what it can play.
ErrorCode OpenOutput(const SND_Format& f, Player& p) {
  platform::AudioCaps caps{};
  std::string why;
  if (!platform::GetAudioCaps(&caps, &why)) return OutputProblem(why);
  if (f.bytesPerSample == 2 && !caps.has16Bit)
    return kReport.Fail(kSitePlay, SND_ErrNoSupport, kTextNoSupport, {kReport.Text(kText16Bit)});
  if (f.channels == 2 && caps.maxChannels < 2)
    return kReport.Fail(kSitePlay, SND_ErrNoSupport, kTextNoSupport, {kReport.Text(kTextStereo)});
  p.out = platform::NewAudioOut(&why);
  if (!p.out) return OutputProblem(why);
  const double rate = std::floor(f.rate + 0.5);
  const platform::PcmFormat pcm{static_cast<uint32_t>(std::min(rate, 4294967295.0)), f.channels, f.bytesPerSample,
                                f.encoding == SND_Encoding_Signed};
  if (!p.out->Open(pcm, Done, &p, &why)) {
    p.out.reset();
    return OutputProblem(why);
  }
  p.chunk = std::max<int64_t>(static_cast<int64_t>(rate), 1);
  return 0;
}

// Locks the world and takes its frames for the player.
ErrorCode BindWorld(SND_World world, Player& p) {
  if (ErrorCode err = SND_LockBuffer(0, world)) return err;
  WorldRec& r = Rec(world);
  p.samples = r.buffer ? reinterpret_cast<const uint8_t*>(*r.buffer) : nullptr;
  p.frames = r.frames;
  p.frameBytes = FrameBytes(r.format);
  return 0;
}

ErrorCode CheckWorld(SND_World world) {
  if (ErrorCode err = Check(world, kSitePlay)) return err;
  const SND_Format& f = Rec(world).format;
  if (f.encoding != SND_Encoding_Unsigned && f.encoding != SND_Encoding_Signed)
    return kReport.Fail(kSitePlay, kErrUnimplemented, kTextUnimplemented);
  return 0;
}

void Release(SND_PlaySpec* spec) {
  Player* p = &PlayerOf(spec);
  p->out->Close();
  if (spec->world) SND_UnlockBuffer(spec->world);
  delete p;
  std::memset(static_cast<void*>(spec), 0, sizeof *spec);
}

}  // namespace
}  // namespace tv::snd

using namespace tv;
using namespace tv::snd;

ErrorCode SND_NewPlaySpec(SND_World world, SND_PlayDoneProc callback, intptr_t reference, SND_PlaySpec* spec) try {
  if (!spec) return kReport.BadParam(kSitePlay, {"SND_NewPlaySpec"});
  if (spec->marker == SND_PlaySpecMarker) return kReport.BadParam(kSitePlay, {"SND_NewPlaySpec"});
  std::memset(static_cast<void*>(spec), 0, sizeof *spec);
  if (ErrorCode err = CheckWorld(world)) return err;
  auto* p = new (std::nothrow) Player;
  if (!p) return kReport.OutOfMemory(kSitePlay, kTextPlayBuffers, sizeof(Player));
  p->spec = spec;
  if (ErrorCode err = OpenOutput(Rec(world).format, *p)) {
    delete p;
    return err;
  }
  if (ErrorCode err = BindWorld(world, *p)) {
    p->out->Close();
    delete p;
    return err;
  }
  spec->marker = SND_PlaySpecMarker;
  spec->flags = SND_Play_Idle;
  spec->world = world;
  spec->streaming = gStreaming ? 1 : 0;
  spec->device = p;
  spec->callback = callback;
  spec->reference = reference;
  Prepare(spec);
  return 0;
} TV_CATCH(SND_PackageNumber)

ErrorCode SND_Play(SND_PlaySpec* spec) try {
  if (ErrorCode err = CheckBound(spec, "SND_Play")) return err;
  if (Busy(spec)) StopOutput(spec);
  if (ErrorCode err = CheckHealth(spec)) return err;
  Prepare(spec);
  ++spec->playCount;
  spec->flags &= ~uint32_t{SND_Play_Idle};
  SND_WaveHeader* h = spec->headers;
  // States first, then the frames: the second header waits behind the first.
  if (h[0].marker != SND_NoBufferMarker) {
    StateOf(h[0]).store(SND_Wave_Playing);
    if (h[1].marker != SND_NoBufferMarker) StateOf(h[1]).store(SND_Wave_Queued);
    if (ErrorCode err = Submit(spec, 0, SND_Wave_Playing)) return err;
    if (h[1].marker != SND_NoBufferMarker) {
      int32_t s = StateOf(h[1]).load();
      // Already promoted by the output when the first finished meanwhile.
      if (ErrorCode err = Submit(spec, 1, s == SND_Wave_Playing ? SND_Wave_Playing : SND_Wave_Queued)) return err;
    }
  }
  CheckFinished(spec);
  return 0;
} TV_CATCH(SND_PackageNumber)

ErrorCode SND_ResumePlay(SND_PlaySpec* spec) try {
  if (ErrorCode err = CheckBound(spec, "SND_ResumePlay")) return err;
  if (ErrorCode err = CheckHealth(spec)) return err;
  if (spec->streaming && spec->playCount > 0)
    if (ErrorCode err = Refill(spec)) return err;
  CheckFinished(spec);
  return 0;
} TV_CATCH(SND_PackageNumber)

ErrorCode SND_ResetPlaySpec(SND_World world, SND_PlayDoneProc callback, intptr_t reference, SND_PlaySpec* spec) try {
  if (ErrorCode err = CheckBound(spec, "SND_ResetPlaySpec")) return err;
  StopOutput(spec);
  Player& p = PlayerOf(spec);
  if (world) {
    if (ErrorCode err = CheckWorld(world)) return err;
    const SND_Format& now = Rec(spec->world).format;
    const SND_Format& f = Rec(world).format;
    if (f.encoding != now.encoding || f.bytesPerSample != now.bytesPerSample || f.channels != now.channels ||
        std::floor(f.rate + 0.5) != std::floor(now.rate + 0.5)) {
      // Another format: the output is opened anew for it, calling back with
      // this player (not a copy that dies with the call); the old output
      // stays when the new one cannot be opened.
      std::unique_ptr<AudioOut> old = std::move(p.out);
      if (ErrorCode err = OpenOutput(f, p)) {
        p.out = std::move(old);
        return err;
      }
      old->Close();
    }
    if (ErrorCode err = BindWorld(world, p)) return err;
    SND_UnlockBuffer(spec->world);
    spec->world = world;
    spec->callback = callback;
    spec->reference = reference;
  }
  spec->playCount = 0;
  spec->flags |= SND_Play_Idle;
  Prepare(spec);
  return 0;
} TV_CATCH(SND_PackageNumber)

ErrorCode SND_ClearPlaySpec(SND_PlaySpec* spec, Boolean32 immediately) try {
  if (!spec) return kReport.BadParam(kSitePlay, {"SND_ClearPlaySpec"});
  if (spec->marker != SND_PlaySpecMarker || !spec->device) return 0;
  ErrorCode err = 0;
  if (!immediately && spec->playCount > 0) {
    // What is left to play, and ten seconds more.
    Player& p = PlayerOf(spec);
    const double left = static_cast<double>(p.frames - std::min(spec->headers[0].firstFrame, spec->headers[1].firstFrame));
    const auto until = Clock::now() + kResetWait + std::chrono::duration<double>(left / p.chunk);
    while (!err && Clock::now() < until) {
      if ((err = CheckHealth(spec))) break;
      if (spec->streaming) err = Refill(spec);
      CheckFinished(spec);
      if (p.notified || (spec->flags & SND_Play_Idle)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  StopOutput(spec);
  Release(spec);
  return err;
} TV_CATCH(SND_PackageNumber)

ErrorCode SND_IsPlayRateSupported(double /*rate*/, const SND_Format* /*format*/, Boolean32* supported) {
  if (!supported) return kReport.BadParam(kSitePlay, {"SND_IsPlayRateSupported"});
  *supported = 1;
  return 0;
}

ErrorCode SNDp_SetPlayStreaming(Boolean32 on) {
  gStreaming = on != 0;
  return 0;
}

ErrorCode SNDp_SetAudioOutput(const char* name) {
  platform::SetAudioOutput(name ? name : "");
  return 0;
}
