// Movie rendering: a composition rendered over a span of time into one or
// more output modules, frame by frame with its sound, inside an undo group
// that is undone afterwards so the project is left as it was.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "BEE_cmd_internal.h"
#include "BEE_movie_order.h"
#include "BEE_render_internal.h"
#include "FILE.h"
#include "PF.h"
#include "Platform.h"
#include "SND.h"
#include "U.h"

namespace tv::bee {
namespace {

constexpr ErrorCode kStopped = PF_ErrInterrupted;  // 517
constexpr uint32_t kSite = BEE_SiteMakeMovie;

bool gMakingMovie = false;

// What the render keeps of one output.
struct Output {
  BEE_MovieOutput* entry = nullptr;
  PIN_OutputSpecH out = nullptr;
  PIN_ModuleInfo module{};
  PIN_OutputInfo info{};
  bool still = false;    // one file per frame
  bool sound = false;    // takes sound
  bool started = false;
  bool failed = false;   // the module failed and ended itself
  bool existed = false;  // its file was there before the render
  PIN_ContinuationSettings limits{};  // the render's limits with this output's state
  int64_t bytes = 0;      // the framework's byte count after the last frame
  uint32_t estimateKB = 0;
  TempWorld placed;      // the output frame when its size differs from the render's
  TempWorld flat;        // the output frame over the background (24-bit outputs)
};

// A frame checked out of the frame cache, checked in when the hold ends.
class CachedFrame {
 public:
  CachedFrame() = default;
  ~CachedFrame() {
    if (r_) BEE_CheckinItemFrame(r_);
  }
  CachedFrame(const CachedFrame&) = delete;
  CachedFrame& operator=(const CachedFrame&) = delete;
  MC_Receipt* out() { return &r_; }
  ErrorCode World(BM_World* w) const { return BEE_GetReceiptWorld(r_, w); }

 private:
  MC_Receipt r_ = nullptr;
};

// A sound world disposed with the hold.
struct SoundHold {
  SND_World w = nullptr;
  SoundHold() = default;
  ~SoundHold() {
    if (w) SND_DisposeWorld(w);
  }
  SoundHold(const SoundHold&) = delete;
  SoundHold& operator=(const SoundHold&) = delete;
};

std::string OutputFileName(PIN_OutputSpecH out, int32_t form) {
  FILE_SpecH file = nullptr;
  if (PIN_GetOutputFile(out, &file) != 0 || !file) return {};
  char name[FILE_MaxPath] = "";
  const bool ok = FILE_InqName(file, form, name, sizeof name) == 0;
  FILE_Dispose(file);
  return ok ? std::string(name) : std::string();
}

bool FileExists(const std::string& path) {
  Boolean32 exists = 0;
  return !path.empty() && FILE_InqLocExist(path.c_str(), FILE_LocFullPath, &exists) == 0 && exists;
}

// Copies src into dst centred (dst cleared first); the parts outside are cut.
ErrorCode PlaceFrame(BM_World src, BM_World dst) {
  if (ErrorCode err = BM_ClearWorldToZeros(dst)) return err;
  Locked s(src), d(dst);
  if (ErrorCode err = s.error() ? s.error() : d.error()) return err;
  const PFWorld& a = s.pf();
  PFWorld& b = d.pf();
  const int32_t dx = (b.width - a.width) / 2, dy = (b.height - a.height) / 2;
  const int32_t x0 = std::max(0, -dx), x1 = std::min(a.width, b.width - dx);
  for (int32_t y = std::max(0, -dy); y < std::min(a.height, b.height - dy); ++y) {
    if (x1 <= x0) break;
    std::memcpy(b.data + static_cast<ptrdiff_t>(y + dy) * b.rowBytes + static_cast<ptrdiff_t>(x0 + dx) * 4,
                a.data + static_cast<ptrdiff_t>(y) * a.rowBytes + static_cast<ptrdiff_t>(x0) * 4,
                static_cast<size_t>(x1 - x0) * 4);
  }
  return 0;
}

class MovieRender {
 public:
  MovieRender(const BEE_RenderSettings& s) : s_(s) {}
  ErrorCode Run();

 private:
  ErrorCode Prepare(bool* inOrder);
  ErrorCode Status(int32_t status, int32_t index, Time time);
  ErrorCode FrameTime(int32_t index, Time step, Time* t) const;
  bool CacheHit(const BEE_RenderRequest& rq, CachedFrame& cached);
  ErrorCode RenderFrame(Time t, TempWorld& own, BM_World* frame, CachedFrame& cached);
  ErrorCode Write(int32_t index, Time t, BM_World frame);
  ErrorCode Finish(ErrorCode err);
  void Estimate(Output& o);

  const BEE_RenderSettings& s_;
  std::vector<std::unique_ptr<Output>> outs_;
  uint32_t startTick_ = 0;
  int32_t done_ = 0, total_ = 0;
  int32_t width_ = 0, height_ = 0;  // the rendered frame
  Time frameDur_{};                  // one output frame
  Time fieldDur_{};                  // one field (the frame's with whole frames)
  bool anySound_ = false;
  SND_Format sound_{};
  int32_t claimed_ = -1;             // a frame claimed and not yet written
};

ErrorCode MovieRender::Status(int32_t status, int32_t index, Time time) {
  const State& g = G();
  if (!g.callback) return 0;
  BEE_MovieStatus st{};
  st.framesDone = done_;
  st.framesTotal = total_;
  st.elapsedSeconds = static_cast<int32_t>((platform::TickCount() - startTick_) / 60);
  st.status = status;
  st.frameIndex = index;
  st.frameTime = time;
  const ErrorCode answer = g.callback(g.refcon, BEE_SelMovieStatus, &st);
  return answer && status != BEE_MovieEnded ? kStopped : 0;
}

ErrorCode MovieRender::Prepare(bool* inOrder) {
  const int32_t n = s_.outputCount;
  bool allStill = true;
  for (int32_t i = 0; i < n; ++i) {
    outs_.push_back(std::make_unique<Output>());
    Output& o = *outs_.back();
    o.entry = &s_.outputs[i];
    o.out = o.entry->out;
    if (ErrorCode err = PIN_GetOutputInfo(o.out, &o.info, sizeof o.info)) return err;
    PIN_OutputState state{};
    if (ErrorCode err = PIN_GetOutputState(o.out, &state)) return err;
    if (ErrorCode err = PIN_GetModuleInfo(-1, state.signature, &o.module)) return err;
    o.still = (o.module.flags & PIN_ModFlag_StillPerFile) != 0;
    o.sound = !o.still && o.info.soundRate > 0 && o.info.soundChannels > 0;
    allStill = allStill && o.still && !o.sound;
    // The output frame: the OutputSpec's size, or the frame's own when it
    // has none. A size with one side 0 leaves the frame no area.
    const int32_t ow = o.info.width, oh = o.info.height;
    if ((ow == 0) != (oh == 0) || ow < 0 || oh < 0)
      return kReport.Fail(BEE_SiteOutputFrame, kErrBadParam, kTextBadOutputFrame);
    if (ow > 0 && (ow != width_ || oh != height_))
      if (ErrorCode err = o.placed.Make(ow, oh)) return err;
    // An output without alpha (24-bit frames, or a module that writes no
    // others) shows the composition's background where the frame is
    // transparent, never the black of empty pixels.
    uint32_t depths = 0;
    if (o.info.depth == 24 || (PIN_GetLegalDepths(o.out, &depths) == 0 && depths != 0 && !(depths & 0x80)))
      if (ErrorCode err = o.flat.Make(ow > 0 ? ow : width_, oh > 0 ? oh : height_)) return err;
  }
  if (s_.reserveFrames && !outs_[0]->still) return kReport.BadParam(kSite, {"BEE_CmdMakeMovie: reserving frames"});
  // The shared sound format: the highest rate, the largest samples and the
  // most channels of the outputs that take sound.
  for (const auto& held : outs_) {
    const Output& o = *held;
    if (!o.sound) continue;
    const double rate = static_cast<double>(static_cast<uint32_t>(o.info.soundRate)) / 65536.0;
    if (!anySound_ || rate > sound_.rate) sound_.rate = rate;
    if (!anySound_ || o.info.soundBytes > sound_.bytesPerSample) {
      sound_.bytesPerSample = o.info.soundBytes;
      sound_.encoding = o.info.soundEncoding;
    }
    sound_.channels = std::max<uint16_t>(sound_.channels, o.info.soundChannels);
    anySound_ = true;
  }
  if (anySound_) {
    sound_.bytesPerSample = sound_.bytesPerSample == 1 || sound_.bytesPerSample == 4 ? sound_.bytesPerSample : 2;
    if (sound_.bytesPerSample == 4) sound_.encoding = SND_Encoding_Float;
    if (sound_.encoding < SND_Encoding_Unsigned || sound_.encoding > SND_Encoding_Signed || sound_.bytesPerSample == 4)
      sound_.encoding = sound_.bytesPerSample == 4   ? SND_Encoding_Float
                        : sound_.bytesPerSample == 1 ? SND_Encoding_Unsigned
                                                     : SND_Encoding_Signed;
    sound_.channels = std::clamp<uint16_t>(sound_.channels, 1, 2);
  }
  *inOrder = !allStill;
  return 0;
}

// Whether the frame cache holds the frame (checked out into `cached`). A
// cache that is not there, or a look-up that fails, is a miss: the frame is
// rendered.
bool MovieRender::CacheHit(const BEE_RenderRequest& rq, CachedFrame& cached) {
  Boolean32 exact = 0;
  BM_World world = nullptr;
  if (!FrameCacheOn()) return false;
  return BEE_CheckoutCachedItemFrame(s_.comp, &rq, width_, height_, &exact, cached.out(), &world) == 0 && exact;
}

ErrorCode MovieRender::FrameTime(int32_t index, Time step, Time* t) const {
  Time offset{};
  if (ErrorCode err = T_MulTime(step, Ratio{index, 1}, &offset)) return err;
  return T_AddTime(s_.start, offset, t);
}

// Renders the frame at t into the render's own World (whole frames, or two
// field renders). A whole frame the frame cache holds (an earlier preview)
// is taken from it; a frame rendered here is not cached: it is written
// once, and kept it would only stand in the cache's way until purged, so a
// long render's memory would grow with every frame up to the budget.
ErrorCode MovieRender::RenderFrame(Time t, TempWorld& own, BM_World* frame, CachedFrame& cached) {
  *frame = nullptr;
  if (s_.fieldOrder == 0) {
    const BEE_RenderRequest rq{t, frameDur_, 0, BEE_Request_Cacheable, -1, {0, 0}};
    if (CacheHit(rq, cached)) return cached.World(frame);
    if (!own.w)
      if (ErrorCode err = own.Make(width_, height_)) return err;
    if (ErrorCode err = BEEp_RenderItemFrame(s_.comp, &rq, own.w)) return err;
    *frame = own.w;
    return 0;
  }
  TempWorld& fields = own;
  if (!fields.w)
    if (ErrorCode err = fields.Make(width_, height_)) return err;
  const int32_t first = s_.fieldOrder, second = 3 - s_.fieldOrder;
  Time later{};
  if (ErrorCode err = T_AddTime(t, fieldDur_, &later)) return err;
  const BEE_RenderRequest a{t, fieldDur_, first, 0, -1, {0, 0}};
  const BEE_RenderRequest b{later, fieldDur_, second, 0, -1, {0, 0}};
  if (ErrorCode err = BEEp_RenderItemFrame(s_.comp, &a, fields.w)) return err;
  if (ErrorCode err = BEEp_RenderItemFrame(s_.comp, &b, fields.w)) return err;
  *frame = fields.w;
  return 0;
}

// Writes frame `index` (with its sound) to every output that has not failed.
ErrorCode MovieRender::Write(int32_t index, Time t, BM_World frame) {
  int32_t written = 0;
  ErrorCode err = 0;
  for (auto& held : outs_) {
    Output& o = *held;
    Boolean32 continued = 0;
    // Sound goes with each frame: nothing is left over when a file ends.
    err = PIN_ContinueOutput(o.out, &o.limits, o.estimateKB, 0.0, &continued);
    o.entry->continuations = o.limits.continuations;
    if (continued) o.existed = false;  // a continuation file is new
    if (err) {
      // An output that could not move on keeps what it has and is ended with
      // the others; one that failed half-way through moving is left alone.
      o.failed = continued != 0;
      break;
    }
    if (o.sound) {
      // Each output gets its own chunk: a module may convert it in place.
      SoundHold chunk;
      if ((err = BEE_RenderCompSound(s_.comp, 0, t, frameDur_, &sound_, &chunk.w))) break;
      // A module that fails ends its output itself (a movie keeps nothing).
      if ((err = PIN_AddSoundChunk(o.out, chunk.w))) {
        o.failed = true;
        break;
      }
    }
    BM_World pixels = frame;
    if (o.placed.w) {
      if ((err = PlaceFrame(frame, o.placed.w))) break;
      pixels = o.placed.w;
    }
    if (o.flat.w) {
      if ((err = OverBackground(pixels, MatteBackground(s_.comp, nullptr), o.flat.w))) break;
      pixels = o.flat.w;
    }
    if ((err = PIN_AddFrame(o.out, index, pixels))) {
      o.failed = true;
      break;
    }
    ++o.entry->framesWritten;
    o.entry->wrote = 1;
    ++written;
    Estimate(o);
  }
  if (err && written > 0) kReport.Note(kSite, kSevWarning, kTextNotAllOutputs);
  return err;
}

// The KB the output's next frame is expected to take: what its last frame
// took where the framework counts the bytes (still sequences), else the
// frame's uncompressed size, an upper bound.
void MovieRender::Estimate(Output& o) {
  int64_t space = 0, total = 0;
  int64_t frameBytes = static_cast<int64_t>(width_) * height_ * 4;
  if (o.still && PIN_GetSizes(o.out, &space, &total) == 0 && total > o.bytes) {
    frameBytes = total - o.bytes;
    o.bytes = total;
  }
  o.estimateKB = static_cast<uint32_t>(std::min<int64_t>((frameBytes + 1023) / 1024, UINT32_MAX));
}

// Ends the outputs and tells the host the render ended; err is the render's.
ErrorCode MovieRender::Finish(ErrorCode err) {
  // A claimed frame that was not written is given back (its empty file goes).
  if (claimed_ >= 0) {
    const ErrorCode e = PIN_UnReserveFrame(outs_[0]->out, claimed_, 0, 1);
    if (!err) err = e;
    claimed_ = -1;
  }
  for (auto& held : outs_) {
    Output& o = *held;
    if (!o.started || o.failed) continue;
    if (o.entry->wrote) {
      // A movie of a render that was stopped or failed is not ended over a
      // file that had its name before the render: the unfinished movie would
      // replace it. Dropping the module's state drops the module's temporary
      // file instead, and the earlier file stays as it was. (Still frames
      // written so far are whole files and stay.)
      if (err && !o.still && o.existed) {
        PIN_SetOutputInstance(o.out, nullptr, nullptr);
        continue;
      }
      const ErrorCode e = PIN_EndAdding(o.out);
      if (!err) err = e;
      continue;
    }
    // An output that got no frame is not ended (a movie module would fail
    // for want of frames and the render's stop would become a failure); the
    // host's disposal drops it. A file the module made anyway is deleted when
    // it is small enough to hold nothing of value.
    // A file that was there before the render is the user's: a module that
    // writes under a temporary name until it ends never touched it.
    const std::string path = OutputFileName(o.out, FILE_NameFullPath);
    if (o.still || o.existed || path.empty()) continue;
    FILE_SpecH file = nullptr;
    if (FILE_New(path.c_str(), FILE_LocFullPath, &file) != 0) continue;
    Boolean32 exists = 0;
    int64_t size = 0;
    if (FILE_InqExist(file, &exists) == 0 && exists && FILE_InqSize(file, FILE_SizeData, &size) == 0) {
      if (size < BEE_EmptyOutputLimit) {
        const ErrorCode e = FILE_Delete(file);
        if (!err) err = e;
      } else {
        char message[U_MessageBufferSize];
        u::SubString(message, kReport.Text(kTextEmptyFileKept), {OutputFileName(o.out, FILE_NameOnly).c_str()});
        report::Text(Loc(kSite), kSevIndented, "%s", {message});
      }
    }
    FILE_Dispose(file);
  }
  Status(BEE_MovieEnded, -1, kInvalidTime);
  return err;
}

ErrorCode MovieRender::Run() {
  startTick_ = platform::TickCount();
  // Sizes: the composition's downsampled size with the resolution setting,
  // else its full size.
  if (s_.useResolution) {
    if (ErrorCode err = BEE_GetCompDimensionsDSF(s_.comp, &width_, &height_, nullptr)) return err;
  } else {
    width_ = R(s_.comp).width, height_ = R(s_.comp).height;
  }
  width_ = std::max(width_, 1), height_ = std::max(height_, 1);
  // Times: whole frames of the rate over the span (at least one); with fields
  // each field has its own time step of half a frame.
  if (ErrorCode err = T_FrameRate2Duration(static_cast<Fixed>(s_.frameRate), &frameDur_)) return err;
  fieldDur_ = frameDur_;
  if (s_.fieldOrder != 0)
    if (ErrorCode err = T_MulTime(frameDur_, Ratio{1, 2}, &fieldDur_)) return err;
  Time span = s_.duration;
  if (span.scale == 0 || span.value <= 0) span = Time{1, 600};
  if (ErrorCode err = T_CountFrames(span, frameDur_, 0, &total_)) return err;
  // A span shorter than one frame (1/600 second among them) still renders
  // the frame at its start: counting whole frames alone would render nothing
  // and leave an empty output.
  total_ = std::max(total_, 1);

  bool inOrder = false;
  if (ErrorCode err = Prepare(&inOrder)) return err;
  bool coarse = s_.coarseToFine != 0;
  if (coarse && inOrder) {
    // Movie modules append frames as they come, and sound spans must follow
    // each other: coarse-to-fine order would scramble both.
    kReport.Note(kSite, kSevIndented, kTextInOrderNote);
    coarse = false;
  }

  ErrorCode err = Status(BEE_MovieBegin, -1, kInvalidTime);
  for (auto& held : outs_) {
    Output& o = *held;
    if (err) break;
    o.entry->framesWritten = 0;
    o.entry->continuations = 0;
    o.entry->wrote = 0;
    o.existed = !o.still && FileExists(OutputFileName(o.out, FILE_NameFullPath));
    o.limits = s_.continuation;
    o.entry->continuations = o.limits.continuations;
    int64_t space = 0;
    if (o.still) PIN_GetSizes(o.out, &space, &o.bytes);
    o.estimateKB = 0;
    Estimate(o);
    err = PIN_StartAdding(o.out);
    if (!err) o.started = true;
  }
  FrameOrder frames(total_, coarse);
  TempWorld own;  // every frame rendered here is drawn into it
  int32_t index = 0;
  while (!err && frames.Next(&index)) {
    Time t{};
    if ((err = FrameTime(index, frameDur_, &t))) break;
    if (s_.reserveFrames) {
      // Claimed through the first output; a frame another renderer holds is
      // left to it.
      Boolean32 reserved = 0;
      if ((err = PIN_ReserveFrame(outs_[0]->out, index, 0, &reserved))) break;
      if (!reserved) {
        ++done_;
        err = Status(BEE_MovieSkipped, index, t);
        continue;
      }
      claimed_ = index;
    }
    if ((err = Status(BEE_MovieRendering, index, t))) break;
    CachedFrame cached;
    BM_World frame = nullptr;
    if ((err = RenderFrame(t, own, &frame, cached))) break;
    if (anySound_ && (err = Status(BEE_MovieSound, index, t))) break;
    if ((err = Status(BEE_MovieWriting, index, t))) break;
    if ((err = Write(index, t, frame))) break;
    claimed_ = -1;
    ++done_;
    err = Status(BEE_MovieFrameDone, index, t);
  }
  return Finish(err);
}

// Checks the settings before anything changes.
ErrorCode CheckSettings(const BEE_RenderSettings* s) {
  if (!s) return kReport.BadParam(kSiteArgument, {"BEE_CmdMakeMovie"});
  if (ErrorCode err = CheckItem(s->comp)) return err;
  if (ErrorCode err = CheckComp(s->comp)) return err;
  if (s->outputCount < 1 || s->outputCount > BEE_MaxMovieOutputs || !s->outputs)
    return kReport.BadParam(kSiteArgument, {"BEE_CmdMakeMovie: outputs"});
  for (int32_t i = 0; i < s->outputCount; ++i)
    if (!s->outputs[i].out) return kReport.BadParam(kSiteArgument, {"BEE_CmdMakeMovie: outputs"});
  // A rate of 0 would divide by zero.
  if (static_cast<int32_t>(s->frameRate) <= 0) return kReport.BadParam(kSiteArgument, {"BEE_CmdMakeMovie: frame rate"});
  if (s->fieldOrder < 0 || s->fieldOrder > 2) return kReport.BadParam(kSiteArgument, {"BEE_CmdMakeMovie: fields"});
  if (s->start.scale == 0) return kReport.BadParam(kSiteArgument, {"BEE_CmdMakeMovie: start"});
  return 0;
}

}  // namespace
}  // namespace tv::bee

using namespace tv;
using namespace tv::bee;

ErrorCode BEE_CmdMakeMovie(const BEE_RenderSettings* settings, Boolean32* stopped) try {
  if (stopped) *stopped = 0;
  if (ErrorCode err = RequireProject()) return err;
  if (ErrorCode err = CheckSettings(settings)) return err;
  Stack& undo = UndoStack();
  // A render inside a render (from a callback), or inside a group the host
  // left open, would undo more than the render did.
  if (gMakingMovie || undo.depth != 0) return kReport.Fail(kSite, kErrBadParam, kTextMovieBusy);

  Boolean32 dirty = 0;
  BEE_GetProjectDirty(&dirty);
  // The making-movie flag and the undo limit come back on every path.
  // Opening the group at the undo limit would drop the user's oldest undo
  // step for a group that is undone at once: the limit is one higher while
  // the render runs.
  struct Session {
    Stack& undo;
    int16_t limit;
    explicit Session(Stack& u) : undo(u), limit(u.limit) {
      gMakingMovie = true;
      if (undo.limit < INT16_MAX) ++undo.limit;
    }
    ~Session() {
      undo.limit = limit;
      gMakingMovie = false;
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
  } session(undo);
  ErrorCode err = StartGroup(undo, nullptr, kTextMakingMovie);
  bool grouped = err == 0;
  if (!err) err = DoCommand(LayerLoopingCmd{0, 0});  // the marker: the group is never empty
  if (!err) {
    MovieRender render(*settings);
    err = render.Run();
  }
  if (grouped) {
    EndGroup(undo);
    // Everything the render changed is taken back, even after a failure.
    const ErrorCode undone = BEE_Undo();
    if (!err) err = undone;
  }
  BEE_SetProjectDirty(dirty);
  ClearStack(RedoStack());
  if (err == kStopped) {
    if (stopped) *stopped = 1;
    err = 0;
  }
  return err;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_IsMakingMovie(Boolean32* making) try {
  if (!making) return kReport.BadParam(kSiteArgument, {"BEE_IsMakingMovie"});
  *making = gMakingMovie ? 1 : 0;
  return 0;
} TV_CATCH(BEE_PackageNumber)
