// `tavelo farm assemble`: a finished numbered still sequence joined into a
// movie through the engine's movie output module (an OutputSpec fed one
// frame after another). Every frame of the range must be there and finished:
// a missing or still reserved frame stops it before anything is written.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "BM.h"
#include "FILE.h"
#include "PIN.h"
#include "farm.h"
#include "frame_list.h"
#include "image_file.h"
#include "movie_render.h"
#include "output_name.h"
#include "progress.h"
#include "session.h"

namespace tavelo {
namespace {

struct AssembleOptions {
  std::string pattern, movie, frames, codec;
  double fps = 24;
};

struct WorldOwner {
  BM_World w = nullptr;
  ~WorldOwner() {
    if (w) BM_DisposeWorld(w);
  }
};
struct OutputOwner {
  PIN_OutputSpecH h = nullptr;
  ~OutputOwner() { PIN_DisposeOutputSpec(h); }  // an output not ended leaves no movie behind
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
  MakeOutputFolder(movie);
  Session session(common);
  WorldOwner world;
  int32_t width = 0, height = 0;
  ReadStill(NumberedName(pattern, frames[0]), &world, &width, &height);
  OutputOwner out;
  Check(PIN_NewOutputSpec(tv::MakeFourCC("MooV"), width, height, &out.h), "opening the movie output");
  FileOwner file;
  Check(FILE_New(movie.c_str(), FILE_LocFullPath, &file.h), "naming the movie");
  Check(PIN_SetOutputFile(out.h, file.h), "setting the movie file");
  const int32_t codecValue = static_cast<int32_t>(codec);
  const auto rate = static_cast<int32_t>(std::lround(o.fps * 65536.0));
  Check(PIN_SetOutSpecificData(out.h, 1, &codecValue, 4), "choosing the codec");
  Check(PIN_SetOutSpecificData(out.h, 3, &rate, 4), "setting the frame rate");
  Check(PIN_StartAdding(out.h), "starting the movie");
  Progress progress(static_cast<int64_t>(frames.size()), common.Quiet());
  for (size_t i = 0; i < frames.size(); ++i) {
    if (Interrupted()) Fail("interrupted; no movie written", kExitInterrupted);
    const std::string name = NumberedName(pattern, frames[i]);
    if (i > 0) ReadStill(name, &world, &width, &height);
    Check(PIN_AddFrame(out.h, static_cast<int32_t>(i), world.w), "adding " + name);
    progress.FrameDone(name);
  }
  Check(PIN_EndAdding(out.h), "finishing the movie");
  progress.Finish();
  std::printf("wrote %s (%s)\n", movie.c_str(), Count(static_cast<int64_t>(frames.size()), "frame").c_str());
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
  sub->add_option("--fps", o.fps, "frames a second (default 24)");
  sub->add_option("--codec", o.codec,
                  "h264, prores, prores4444, png, animation (default: the container's first; `tavelo formats`)");
  AddCommonOptions(*sub, d.common, false);
  sub->callback([&d] { d.run = [&d] { return Assemble(o, d.common); }; });
}

}  // namespace tavelo
