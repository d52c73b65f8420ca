// `tavelo farm assemble`: a finished numbered still sequence joined into a
// movie through the engine's movie output module (an OutputSpec fed one
// frame after another). Every frame of the range must be there and finished:
// a missing or still reserved frame stops it before anything is written.
#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "BM.h"
#include "FILE.h"
#include "PIN.h"
#include "farm.h"
#include "output_name.h"
#include "progress.h"
#include "session.h"

namespace tavelo {
namespace {

struct AssembleOptions {
  std::string pattern, movie, frames, codec = "h264";
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

FourCC CodecOf(const std::string& name) {
  if (name == "h264") return tv::MakeFourCC("avc1");
  if (name == "prores") return tv::MakeFourCC("apch");
  if (name == "png") return tv::MakeFourCC("png ");
  if (name == "rle") return tv::MakeFourCC("rle ");
  Fail("unknown codec \"" + name + "\" (h264, prores, png, rle)", kExitUsage);
}

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
  const FourCC codec = CodecOf(o.codec);
  const std::string pattern = AbsolutePath(o.pattern);
  if (!HasFrameField(pattern))
    Fail("the sequence \"" + o.pattern + "\" has no # run for the frame number", kExitUsage);
  const std::string movie = AbsolutePath(o.movie);
  const std::string ext = std::filesystem::path(movie).extension().string();
  if (ext != ".mov" && ext != ".mp4")
    Fail("the movie \"" + o.movie + "\" must end in .mov or .mp4", kExitUsage);
  int64_t first = 0, last = -1;
  FramesOf(o.frames, pattern, &first, &last);
  if (last < first) Fail("no frames of \"" + o.pattern + "\"");
  // Everything is checked before the first frame is written.
  const SequenceScan scan = ScanSequence(pattern, first, last, INT64_MAX);
  if (scan.done != last - first + 1) {
    std::vector<int64_t> absent, reserved;
    for (size_t i = 0; i < scan.frames.size(); ++i) {
      if (scan.frames[i] == FrameState::Missing)
        absent.push_back(first + static_cast<int64_t>(i));
      else if (scan.frames[i] != FrameState::Done)
        reserved.push_back(first + static_cast<int64_t>(i));
    }
    std::string why;
    if (!absent.empty()) why += " missing: " + FrameList(absent) + ";";
    if (!reserved.empty()) why += " not finished (reserved): " + FrameList(reserved) + ";";
    why.pop_back();
    Fail("the sequence is not complete (frames " + std::to_string(first) + "-" + std::to_string(last) + ")" +
         why);
  }
  Session session(common);
  WorldOwner world;
  int32_t width = 0, height = 0;
  ReadStill(NumberedName(pattern, first), &world, &width, &height);
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
  Progress progress(last - first + 1, common.quiet);
  for (int64_t f = first; f <= last; ++f) {
    if (Interrupted()) Fail("interrupted; no movie written", kExitInterrupted);
    const std::string name = NumberedName(pattern, f);
    if (f != first) ReadStill(name, &world, &width, &height);
    Check(PIN_AddFrame(out.h, static_cast<int32_t>(f - first), world.w), "adding " + name);
    progress.FrameDone(name);
  }
  Check(PIN_EndAdding(out.h), "finishing the movie");
  progress.Finish();
  std::printf("wrote %s (%lld frames)\n", movie.c_str(), static_cast<long long>(last - first + 1));
  return kExitDone;
}

}  // namespace

void AddFarmAssemble(CLI::App& farm, Dispatch& d) {
  static AssembleOptions o;
  auto* sub = farm.add_subcommand("assemble", "join a finished still sequence into a movie (.mov, .mp4)");
  sub->add_option("PATTERN", o.pattern, "the numbered still name, such as out/shot_#####.png")->required();
  sub->add_option("-o,--output", o.movie, "the movie to write (.mov or .mp4)")->required();
  sub->add_option("--frames", o.frames, "frames A-B (default: every frame found, which must have no gap)");
  sub->add_option("--fps", o.fps, "frames a second (default 24)");
  sub->add_option("--codec", o.codec, "h264 (default), prores, png or rle (png and rle keep alpha, in .mov)");
  AddCommonOptions(*sub, d.common, false);
  sub->callback([&d] { d.run = [&d] { return Assemble(o, d.common); }; });
}

}  // namespace tavelo
