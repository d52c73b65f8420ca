// `tavelo farm assemble`: a finished numbered still sequence joined into a
// movie through the engine's movie output module (an OutputSpec fed one
// frame after another). Every frame of the range must be there and finished:
// a missing or still reserved frame stops it before anything is written.
// With the project the stills were rendered from, the movie gets what a
// render of the composition straight to a movie gets: its frame rate, its
// sound (each frame's stretch with the frame) and, for a codec without
// alpha, its background colour under the frames.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "BM.h"
#include "FILE.h"
#include "OutputFormats.h"
#include "PF.h"
#include "PIN.h"
#include "SND.h"
#include "description.h"
#include "farm.h"
#include "frame_list.h"
#include "image_file.h"
#include "movie_render.h"
#include "output_module.h"
#include "output_name.h"
#include "progress.h"
#include "project.h"
#include "session.h"
#include "sound.h"

namespace tavelo {
namespace {

struct AssembleOptions {
  std::string pattern, movie, frames, codec, project, comp;
  double fps = 24;
  bool fpsGiven = false;
};

// What the composition adds to the movie (with --project): its frame rate,
// its sound and the colour under the frames of a codec without alpha, as
// in a render of the composition straight to a movie.
struct CompSide {
  BEE_Item comp = nullptr;
  Time frame{1, 24};
  uint32_t background = 0xFF000000u;
};

constexpr int32_t kSoundRate = 48000;
enum : int32_t { kMovieCodec = 1, kMovieFrameRate = 3, kMovieSoundRate = 4, kMovieChannels = 5 };

// The still (straight alpha) over the opaque background, in place.
void OverBackground(BM_World world, uint32_t background) {
  int32_t w = 0, h = 0, depth = 0, rowBytes = 0;
  Check(BM_GetWorldInfo(world, &w, &h, &depth, &rowBytes), "reading a frame");
  Boolean32 failed = 0;
  if (BM_LockPixels(0, world, &failed) || failed) Fail("a frame's pixels are not in memory");
  auto* base = reinterpret_cast<uint8_t*>(BMp_GetPixBaseAddr(world));
  const uint8_t bg[4] = {255, static_cast<uint8_t>(background >> 16), static_cast<uint8_t>(background >> 8),
                         static_cast<uint8_t>(background)};
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* p = base + static_cast<size_t>(y) * static_cast<size_t>(rowBytes);
    for (int32_t x = 0; x < w; ++x, p += 4) {
      for (int c = 1; c < 4; ++c) p[c] = Over(p[c], p[0], bg[c]);
      p[0] = 255;
    }
  }
  BM_UnlockPixels(world);
}

struct WorldOwner {
  BM_World w = nullptr;
  ~WorldOwner() {
    if (w) BM_DisposeWorld(w);
  }
};
struct FileOwner {
  FILE_SpecH h = nullptr;
  ~FileOwner() {
    if (h) FILE_Dispose(h);
  }
};

// Reads a still through the engine's footage modules into the world (made
// at the first frame's size) as the engine's 32-bit pixels.
void ReadStill(const std::string& path, WorldOwner* world, int32_t* width, int32_t* height) {
  FileOwner file;
  Check(FILE_New(path.c_str(), FILE_LocFullPath, &file.h), "naming \"" + path + "\"");
  PIN_SeqSpecH seq = nullptr;
  Check(PIN_NewSeqSpecFromFile(file.h, &seq), "reading \"" + path + "\"");
  struct SeqOwner {
    PIN_SeqSpecH s;
    ~SeqOwner() { PIN_DisposeSeqSpec(s); }
  } owner{seq};
  int32_t w = 0, h = 0;
  Check(PIN_GetDimensions(seq, nullptr, &w, &h, nullptr), "reading the size of \"" + path + "\"");
  if (!world->w) {
    if (w < 1 || h < 1 || w > 32767 || h > 32767) Fail("\"" + path + "\" has a size a movie cannot take");
    *width = w;
    *height = h;
    const Rect r{0, 0, static_cast<int16_t>(h), static_cast<int16_t>(w)};
    Check(BM_NewWorld(nullptr, BM_Flag_Clear, &r, 32, 0, nullptr, &world->w), "making a frame buffer");
  }
  if (w != *width || h != *height)
    Fail("\"" + path + "\" is " + std::to_string(w) + "x" + std::to_string(h) + ", not the sequence's " +
         std::to_string(*width) + "x" + std::to_string(*height));
  PIN_DrawParams params{};
  params.time = Time{0, 1};
  params.quality = 1;
  Check(PIN_DrawFrame(seq, world->w, &params), "reading \"" + path + "\"");
  // A still read as premultiplied (OpenEXR, DPX) is made straight against
  // its matte colour, as footage is for a layer.
  PIN_Interpretation interp{};
  Check(PIN_GetInterpretation(seq, &interp), "reading how \"" + path + "\" is interpreted");
  if (interp.alpha.type != PIN_Alpha_Premul) return;
  Boolean32 failed = 0;
  if (BM_LockPixels(0, world->w, &failed) || failed) Fail("a frame's pixels are not in memory");
  PFWorld pf{};
  const PF_Pixel matte{255, interp.alpha.red, interp.alpha.green, interp.alpha.blue};
  ErrorCode err = PF_MakeBMIntoPF(world->w, nullptr, &pf);
  if (!err) err = PF_PremulColor(nullptr, 0, &matte, &pf);
  BM_UnlockPixels(world->w);
  Check(err, "making \"" + path + "\" straight");
}

int Assemble(const AssembleOptions& o, const Common& common) {
  if (!(o.fps >= 0.01 && o.fps <= 240)) Fail("--fps must be 0.01 to 240", kExitUsage);
  const std::string pattern = AbsolutePath(o.pattern);
  if (!HasFrameField(pattern))
    Fail("the sequence \"" + o.pattern + "\" has no # run for the frame number", kExitUsage);
  const std::string movie = AbsolutePath(o.movie);
  if (!IsMovieExtension(ExtensionOf(movie)))
    Fail("the movie \"" + o.movie + "\" must end in .mp4, .mov, .mkv or .avi", kExitUsage);
  const FourCC codec = MovieCodec(movie, o.codec);
  const std::vector<int64_t> frames = FramesOf(o.frames, pattern);
  if (frames.empty()) Fail("no frames of \"" + o.pattern + "\"");
  // Everything is checked before the first frame is written.
  const SequenceScan scan = ScanSequence(pattern, frames, INT64_MAX);
  if (scan.done != static_cast<int64_t>(frames.size())) {
    const std::vector<int64_t> absent = scan.In(FrameState::Missing);
    std::vector<int64_t> reserved = scan.In(FrameState::Reserved), abandoned = scan.In(FrameState::Abandoned);
    reserved.insert(reserved.end(), abandoned.begin(), abandoned.end());
    std::sort(reserved.begin(), reserved.end());
    std::string why;
    if (!absent.empty()) why += " missing: " + FrameRanges(absent) + ";";
    if (!reserved.empty()) why += " not finished (reserved): " + FrameRanges(reserved) + ";";
    why.pop_back();
    Fail("the sequence is not complete (frames " + FrameListText(frames) + ")" + why);
  }
  if (!o.project.empty() && !IsOneSpan(frames))
    Fail("a movie with the composition's sound is made of one span of frames (A-B)", kExitUsage);
  MakeOutputFolder(movie);
  Session session(common);
  CompSide side;
  double fps = o.fps;
  if (!o.project.empty()) {
    LoadProject(o.project);
    side.comp = FindComp(o.comp);
    side.frame = GridOf(side.comp).frame;
    Check(BEE_GetCompBackgroundColor(side.comp, &side.background), "reading the background colour");
    if (!o.fpsGiven) fps = static_cast<double>(side.frame.scale) / side.frame.value;
  }
  const tv::outputs::Codec* codecInfo = tv::outputs::CodecOf(codec);
  const bool flatten = side.comp && codecInfo && !codecInfo->alpha;
  WorldOwner world;
  int32_t width = 0, height = 0;
  ReadStill(NumberedName(pattern, frames[0]), &world, &width, &height);
  CheckMovieFrameSize(codec, width, height, !o.project.empty() && LastDescriptionRender().fieldOrder != 0);
  Output out(movie, width, height, tv::MakeFourCC("MooV"));
  out.SetOption(kMovieCodec, static_cast<int32_t>(codec), "the codec");
  const auto rate = static_cast<int32_t>(std::lround(fps * 65536.0));
  out.SetOption(kMovieFrameRate, rate, "a frame rate (16.16) of");
  const SND_Format sound{kSoundRate, SND_Encoding_Signed, 2, 2, 0};
  if (side.comp) {
    PIN_OutputInfo info{};
    Check(PIN_GetOutputInfo(out.spec(), &info, sizeof info), "reading the output information");
    info.version = PIN_OutputInfoVersion;
    info.width = width;
    info.height = height;
    info.depth = 32;
    info.quality = 1;
    info.frameRate = static_cast<Fixed>(rate);
    // Stills rendered as two fields (a description's "render" object) make
    // an interlaced movie.
    info.fieldOrder = static_cast<uint32_t>(LastDescriptionRender().fieldOrder);
    Ratio hsf{1, 1};
    Check(BEE_GetItemHSF(side.comp, &hsf), "reading the pixel aspect");
    const tv::outputs::PixelAspect aspect = tv::outputs::OutputPixelAspect(hsf.num, hsf.den);
    info.hsfNum = aspect.num, info.hsfDen = aspect.den;
    info.soundRate = static_cast<uint32_t>(kSoundRate) << 16;
    info.soundEncoding = SND_Encoding_Signed;
    info.soundBytes = 2;
    info.soundChannels = 2;
    out.SetInfo(info);
    out.SetOption(kMovieSoundRate, kSoundRate, "a sound rate of");
    out.SetOption(kMovieChannels, 2, "sound channels:");
  }
  out.Start();
  Progress progress(static_cast<int64_t>(frames.size()), common.Quiet());
  for (size_t i = 0; i < frames.size(); ++i) {
    if (Interrupted()) Fail("interrupted; no movie written", kExitInterrupted);
    const std::string name = NumberedName(pattern, frames[i]);
    if (i > 0) ReadStill(name, &world, &width, &height);
    if (side.comp) {
      // The frame's own stretch of the composition's sound, as a render
      // of the composition adds it.
      SND_World chunk = nullptr;
      const Time at{static_cast<int32_t>(frames[i] * side.frame.value), side.frame.scale};
      Check(BEE_RenderCompSound(side.comp, 0, at, side.frame, &sound, &chunk), "rendering the sound");
      const SoundWorld owner(chunk);
      out.AddSound(chunk);
    }
    if (flatten) OverBackground(world.w, side.background);
    if (ErrorCode err = PIN_AddFrame(out.spec(), static_cast<int32_t>(i), world.w)) FailWriting(movie, err);
    progress.FrameDone(name);
  }
  out.End();
  progress.Finish();
  std::printf("wrote %s (%s%s)\n", movie.c_str(), Count(static_cast<int64_t>(frames.size()), "frame").c_str(),
              side.comp ? " with sound" : "");
  return kExitDone;
}

}  // namespace

void AddFarmAssemble(CLI::App& farm, Dispatch& d) {
  static AssembleOptions o;
  auto* sub = farm.add_subcommand("assemble", "join a finished still sequence into a movie");
  sub->add_option("PATTERN", o.pattern, "the numbered still name, such as out/shot_#####.png")->required();
  sub->add_option("-o,--output", o.movie, "the movie to write (.mp4, .mov, .mkv, .avi)")->required();
  sub->add_option("--frames", o.frames,
                  "a frame list: 0-99, 0-99x2, 10- ... (default: every frame found, which must have no gap)");
  sub->add_option("--fps", o.fps, "frames a second (default: the composition's with --project, else 24)")
      ->each([](const std::string&) { o.fpsGiven = true; });
  sub->add_option("--project", o.project,
                  "the project the frames were rendered from: its composition's frame rate and sound, and its "
                  "background colour under the frames of a codec without alpha");
  sub->add_option("-c,--comp", o.comp, "with --project: the composition (may be left out when it has only one)");
  sub->add_option("--codec", o.codec,
                  "h264, prores, prores4444, png, animation (default: the container's first; `tavelo formats`)");
  AddCommonOptions(*sub, d.common, true);
  sub->callback([&d] { d.run = [&d] { return Assemble(o, d.common); }; });
}

}  // namespace tavelo
