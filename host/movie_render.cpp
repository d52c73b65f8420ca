// Renders through BEE_CmdMakeMovie: the host makes the output (module,
// output information with the sound format, file, numbering, module
// options), the engine renders frame by frame with the sound, reports each
// frame (selector 2) and stops on Ctrl-C.
#include "movie_render.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "OutputFormats.h"
#include "cli.h"
#include "description.h"
#include "frame_list.h"
#include "image_file.h"
#include "output_module.h"
#include "output_name.h"
#include "project.h"
#include "session.h"

namespace tavelo {
namespace {

namespace fs = std::filesystem;

// The movie module's options (PIN_SetOutSpecificData selectors).
enum : int32_t { kMovieCodec = 1, kMovieFrameRate = 3, kMovieSoundRate = 4, kMovieChannels = 5 };
constexpr int32_t kSoundRate = 48000;

// "h264, prores, ..." of the codecs a container holds.
std::string CodecNames(const tv::outputs::Container& c) {
  std::string names;
  for (FourCC k : c.codecs)
    if (k) names += (names.empty() ? "" : ", ") + std::string(tv::outputs::CodecOf(k)->name);
  return names;
}

// Says what the job writes (--log-level verbose).
void Verbose(const RenderJob& job) {
  const std::string ext = ExtensionOf(job.output);
  int32_t width = 0, height = 0;
  Check(BEE_GetCompDimensionsDSF(job.comp, &width, &height, nullptr), "reading the frame size");
  std::string what;
  if (const tv::outputs::Container* c = tv::outputs::FindContainer(ext)) {
    const tv::outputs::Codec* codec = tv::outputs::CodecOf(MovieCodec(job.output, job.codec));
    what = std::string(codec->description) + " in " + std::string(c->description) + ", " +
           (tv::outputs::IsHD(width, height) ? "BT.709" : "BT.601") + " colour, " +
           (codec->alpha ? "alpha kept" : "over the background colour") +
           (job.sound ? ", " + std::string(tv::outputs::SoundCodecName(c->sound)) + " sound" : ", no sound");
  } else if (const tv::outputs::StillFormat* f = tv::outputs::FindStill(ext)) {
    what = std::string(f->description) + (f->alpha ? ", alpha kept" : ", over the background colour");
  }
  std::fprintf(stderr, "tavelo: rendering %s of \"%s\" (%d x %d) to %s: %s\n",
               Count(static_cast<int64_t>(job.frames.size()), "frame").c_str(), ItemName(job.comp).c_str(), width,
               height, job.output.c_str(), what.c_str());
}

// After a stop or a failure the engine ends a movie only when its name was
// free before the render (an earlier file of that name is left as it was);
// such an unfinished movie, made by this render, is removed.
struct MovieFileGuard {
  std::string path;
  bool existed = false;
  explicit MovieFileGuard(std::string p) : path(std::move(p)) {
    std::error_code ec;
    existed = fs::exists(fs::symlink_status(path, ec));
  }
  void RemoveIfNew() const {
    std::error_code ec;
    if (!existed) fs::remove(path, ec);
  }
};

// One BEE_CmdMakeMovie of frames first..last into a new output.
void RenderSpan(const RenderJob& job, int64_t first, int64_t last, Progress& progress, RenderOutcome& outcome) {
  const bool movie = IsMovieExtension(ExtensionOf(job.output));
  const bool numbered = !movie && HasFrameField(job.output);
  const FourCC codec = movie ? MovieCodec(job.output, job.codec) : 0;
  const FrameGrid g = GridOf(job.comp);
  int32_t width = 0, height = 0;
  Check(BEE_GetCompDimensionsDSF(job.comp, &width, &height, nullptr), "reading the frame size");
  if (movie) CheckMovieFrameSize(codec, width, height, LastDescriptionRender().fieldOrder != 0);
  const double fps = static_cast<double>(g.frame.scale) / g.frame.value;
  const auto fps16 = static_cast<int32_t>(std::lround(fps * 65536));
  const bool sound = movie && job.sound;

  Output out(numbered ? FrameworkTemplate(job.output) : job.output, width, height);
  // The codec first: it decides whether the movie keeps alpha.
  if (movie) out.SetOption(kMovieCodec, static_cast<int32_t>(codec), "the codec");
  PIN_OutputInfo info{};
  Check(PIN_GetOutputInfo(out.spec(), &info, sizeof info), "reading the output information");
  info.version = PIN_OutputInfoVersion;
  info.width = width;
  info.height = height;
  // A format without alpha gets 24-bit frames: the engine puts the
  // composition's background colour under them.
  uint32_t depths = 0;
  PIN_GetLegalDepths(out.spec(), &depths);
  info.depth = (depths & 0x80) || depths == 0 ? 32 : 24;
  // A description may ask for fields (its "render" object).
  const DescriptionRender& described = LastDescriptionRender();
  info.quality = 1;
  info.frameRate = static_cast<Fixed>(fps16);
  info.fieldOrder = static_cast<uint32_t>(described.fieldOrder);
  // The composition's pixel aspect, for the file to tell players.
  Ratio hsf{1, 1};
  Check(BEE_GetItemHSF(job.comp, &hsf), "reading the pixel aspect");
  const tv::outputs::PixelAspect aspect = tv::outputs::OutputPixelAspect(hsf.num, hsf.den);
  info.hsfNum = aspect.num, info.hsfDen = aspect.den;
  if (sound) {
    info.soundRate = static_cast<uint32_t>(kSoundRate) << 16;
    info.soundEncoding = SND_Encoding_Signed;
    info.soundBytes = 2;
    info.soundChannels = 2;
  }
  out.SetInfo(info);
  if (movie) {
    out.SetOption(kMovieFrameRate, fps16, "a frame rate (16.16) of");
    out.SetOption(kMovieSoundRate, sound ? kSoundRate : 0, "a sound rate of");
    if (sound) out.SetOption(kMovieChannels, 2, "sound channels:");
  } else {
    // Numbered names carry the composition's frame number; one still is
    // written under its own name.
    Check(PIN_SetOutputNumbering(out.spec(), static_cast<int32_t>(first), numbered ? 0 : 1), "numbering the output");
  }
  auto nameOf = [&](int64_t index) { return numbered ? NumberedName(job.output, first + index) : job.output; };

  Session::current->movieStatus = [&](const BEE_MovieStatus& s) {
    if (s.status == BEE_MovieFrameDone) {
      const std::string name = nameOf(s.frameIndex);
      if (outcome.firstName.empty()) outcome.firstName = name;
      outcome.lastName = name;
      ++outcome.written;
      progress.FrameDone(name);
    } else if (s.status == BEE_MovieSkipped) {
      progress.FrameSkipped(nameOf(s.frameIndex));
    }
  };
  struct Unhook {
    ~Unhook() {
      if (Session::current) Session::current->movieStatus = nullptr;
    }
  } unhook;

  BEE_MovieOutput target{};
  target.out = out.spec();
  BEE_RenderSettings settings{};
  settings.comp = job.comp;
  settings.outputCount = 1;
  settings.outputs = &target;
  settings.start = Time{static_cast<int32_t>(first * g.frame.value), g.frame.scale};
  settings.duration = Time{static_cast<int32_t>((last - first + 1) * g.frame.value), g.frame.scale};
  settings.frameRate = static_cast<uint32_t>(fps16);
  settings.useResolution = 1;
  settings.fieldOrder = described.fieldOrder;
  const MovieFileGuard guard(job.output);
  Boolean32 stopped = 0;
  const ErrorCode err = BEE_CmdMakeMovie(&settings, &stopped);
  if (err || stopped) {
    progress.Finish();
    if (movie) guard.RemoveIfNew();
    if (stopped || (err == 517 && Interrupted())) {
      if (movie && guard.existed)
        Fail("interrupted; the unfinished movie was dropped, \"" + job.output + "\" is as it was", kExitInterrupted);
      if (movie) Fail("interrupted; the unfinished movie was removed", kExitInterrupted);
      Fail("interrupted; " + Count(outcome.written, "finished frame") + " kept", kExitInterrupted);
    }
    EngineFail("rendering", err);
  }
}

}  // namespace

FourCC MovieCodec(const std::string& path, const std::string& codec) {
  const std::string ext = ExtensionOf(path);
  const tv::outputs::Container* container = tv::outputs::FindContainer(ext);
  if (!container) Fail("\"" + path + "\" is not a movie (.mp4, .mov, .mkv or .avi)", kExitUsage);
  if (codec.empty()) return container->codecs[0];
  const tv::outputs::Codec* c = tv::outputs::FindCodec(codec);
  if (!c) {
    std::string all;
    for (const auto& k : tv::outputs::kCodecs) all += (all.empty() ? "" : ", ") + std::string(k.name);
    Fail("unknown codec \"" + codec + "\" (" + all + "; `tavelo formats` lists them)", kExitUsage);
  }
  if (!tv::outputs::Holds(*container, c->fourcc))
    Fail("a ." + ext + " movie cannot hold " + std::string(c->name) + " (it holds " + CodecNames(*container) +
             "; use .mov for every codec)",
         kExitUsage);
  return c->fourcc;
}

void CheckMovieFrameSize(FourCC codec, int32_t width, int32_t height, bool fields) {
  const tv::outputs::Codec* c = tv::outputs::CodecOf(codec);
  if (!c || tv::outputs::FitsFrame(*c, width, height, fields)) return;
  Fail(std::string(c->name) +
           (fields ? " of two fields needs an even width and a height divisible by 4"
                   : " needs an even width and height") +
           ", and the frames are " + std::to_string(width) + " x " + std::to_string(height) +
           " (use --codec prores or png in a .mov, or frames of such a size)",
       kExitUsage);
}

RenderOutcome RenderToFiles(const RenderJob& job, Progress& progress) {
  const bool movie = IsMovieExtension(ExtensionOf(job.output));
  if (movie && !IsOneSpan(job.frames)) Fail("a movie is made of one span of frames (A-B)", kExitUsage);
  if (job.verbose) Verbose(job);
  RenderOutcome outcome;
  // Each run of frames without gaps is one render.
  for (const auto& [first, last] : FrameRuns(job.frames)) RenderSpan(job, first, last, progress, outcome);
  progress.Finish();
  if (movie) outcome.firstName = outcome.lastName = job.output;
  return outcome;
}

}  // namespace tavelo
