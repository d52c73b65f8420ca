// `tavelo render`: frames of a composition to numbered still files, or to a
// movie with its sound, through the engine's movie render (movie_render.cpp).
// A frame range lets a render farm split a job; --reserve lets several
// renderers share one output folder (each frame's file is claimed by creating
// it empty; a frame whose file exists is left to whoever made it, unless it is
// an empty reservation abandoned longer than --stale-after: reserve.h).
// Ctrl-C stops the frame under way: finished frames stay, the unfinished
// one is removed.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <optional>

#include "cli.h"
#include "image_file.h"
#include "movie_render.h"
#include "output_module.h"
#include "output_name.h"
#include "progress.h"
#include "project.h"
#include "reserve.h"
#include "session.h"

namespace tavelo {
namespace {

struct RenderOptions {
  std::string project, comp, frames, time, output, format, resolution = "full", codec;
  int threads = 0;
  int32_t compression = -1;  // PNG zlib level; -1: the module's default
  bool reserve = false, noSound = false;
  int64_t staleAfter = kDefaultStaleSeconds;
};

// Parses "A-B" or "A" (frame numbers from 0).
void ParseRange(const std::string& text, int64_t count, int64_t* first, int64_t* last) {
  long long a = 0, b = 0;
  char tail = 0;
  int n = std::sscanf(text.c_str(), "%lld-%lld%c", &a, &b, &tail);
  if (n == 1 && text.find('-') == std::string::npos) b = a;
  else if (n != 2) Fail("bad frame range \"" + text + "\" (first-last, such as 0-47)", kExitUsage);
  if (a < 0 || b < a || b >= count)
    Fail("frame range \"" + text + "\" is outside the composition (frames 0 to " + std::to_string(count - 1) + ")",
         kExitUsage);
  *first = a;
  *last = b;
}

int Render(const RenderOptions& o, const Common& common) {
  if (!o.frames.empty() && !o.time.empty()) Fail("give --frames or --time, not both", kExitUsage);
  if (o.threads < 0 || o.threads > 64) Fail("--threads must be 0 (one per processor) to 64", kExitUsage);
  if (o.staleAfter < 0) Fail("--stale-after must be 0 or more seconds", kExitUsage);
  std::string pattern = o.output;
  if (pattern.empty())  // COMP_#####.png, or COMP.mp4 for a movie
    pattern = o.comp + (IsMovieExtension(o.format) ? "." : "_#####.") + (o.format.empty() ? "png" : o.format);
  pattern = ResolveOutput(pattern, o.format);
  Session session(common);
  if (BEE_SetRenderThreads(o.threads)) Fail("cannot use " + std::to_string(o.threads) + " render threads");
  LoadProject(o.project);
  BEE_Item comp = FindComp(o.comp);
  SetResolution(comp, o.resolution);
  const FrameGrid grid = GridOf(comp);
  int64_t first = 0, last = grid.count - 1;
  if (!o.frames.empty()) ParseRange(o.frames, grid.count, &first, &last);
  if (!o.time.empty()) first = last = ParseFrameTime(o.time, comp);
  if (last < first) Fail("the composition has no frames");
  SetPngCompression(o.compression);
  RenderJob job;
  job.comp = comp;
  job.first = first;
  job.last = last;
  job.sound = !o.noSound;
  job.codec = o.codec;
  const bool movie = IsMovieExtension(ExtensionOf(pattern));
  if (movie && o.reserve) Fail("--reserve shares a folder of still frames; a movie is one file", kExitUsage);
  if (!movie && !o.codec.empty()) Fail("--codec is for movies (.mp4, .mov)", kExitUsage);
  if (!movie && (last > first || o.reserve)) pattern = WithFrameField(pattern);
  job.output = pattern;
  Progress progress(last - first + 1, common.quiet);
  if (!o.reserve) {
    const RenderOutcome done = RenderToFiles(job, progress);
    if (movie)
      std::printf("wrote %s (%lld frames%s)\n", pattern.c_str(), static_cast<long long>(last - first + 1),
                  o.noSound ? "" : " with sound");
    else if (done.written == 1) std::printf("wrote %s\n", done.firstName.c_str());
    else
      std::printf("wrote %lld frames: %s .. %s\n", static_cast<long long>(done.written), done.firstName.c_str(),
                  done.lastName.c_str());
    return kExitDone;
  }
  // Shared folder: each frame claimed by this renderer first (reserve.h).
  int64_t written = 0;
  std::string firstName, lastName;
  for (int64_t f = first; f <= last; ++f) {
    if (Interrupted()) break;
    const std::string name = NumberedName(pattern, f);
    std::optional<FrameClaim> claim;
    claim.emplace(name, o.staleAfter);
    if (!claim->Mine()) {
      progress.FrameSkipped(name);
      continue;
    }
    if (claim->Retaken() && !common.quiet)
      std::fprintf(stderr, "tavelo: note: retook the abandoned reservation of %s\n", name.c_str());
    try {
      Image img = RenderFrame(comp, f);
      if (!claim->Commit(img)) {
        progress.FrameSkipped(name);  // retaken by another renderer meanwhile: its copy stands
        continue;
      }
    } catch (const Failure& failure) {
      claim.reset();  // gives the reservation up
      progress.Finish();
      if (failure.code == kExitInterrupted)
        Fail("interrupted; " + std::to_string(written) + " finished frame(s) kept", kExitInterrupted);
      throw;
    }
    ++written;
    if (firstName.empty()) firstName = name;
    lastName = name;
    progress.FrameDone(name);
  }
  progress.Finish();
  if (Interrupted()) Fail("interrupted; " + std::to_string(written) + " finished frame(s) kept", kExitInterrupted);
  if (written == 0) std::printf("no frames written (all were reserved by other renderers)\n");
  else if (written == 1) std::printf("wrote %s\n", firstName.c_str());
  else std::printf("wrote %lld frames: %s .. %s\n", static_cast<long long>(written), firstName.c_str(), lastName.c_str());
  return kExitDone;
}

}  // namespace

void AddRenderCommand(CLI::App& app, Dispatch& d) {
  static RenderOptions o;
  auto* sub = app.add_subcommand("render", "render a composition's frames to numbered still files or a movie with sound");
  sub->add_option("PROJECT", o.project, "project file, or a .json project description")->required();
  sub->add_option("-c,--comp", o.comp, "the composition to render")->required();
  sub->add_option("--frames", o.frames, "frames A-B (from 0, both included; default: all)");
  sub->add_option("-t,--time", o.time, "one frame at a time in seconds (1.5) or a frame (45f)");
  sub->add_option("-o,--output", o.output,
                  "output name; a run of # is the frame number (default COMP_#####.png, or COMP.mp4 with -f mp4)");
  sub->add_option("-f,--format", o.format, "png, exr, tif, tiff, jpg, dpx; or a movie: mp4 (H.264, AAC) or mov");
  sub->add_option("-r,--resolution", o.resolution, "full, half, third or quarter");
  sub->add_option("--threads", o.threads, "threads sharing each frame's pixel work (0: one per processor)");
  sub->add_flag("--no-sound", o.noSound, "movies: no sound track");
  sub->add_option("--compression", o.compression, "PNG files: zlib level 0-9 (default 1: fast; 9: smallest)")
      ->check(CLI::Range(0, 9));
  sub->add_option("--codec", o.codec, "movies: h264 (.mp4, the default there), prores (.mov default), png, animation");
  sub->add_flag("--reserve", o.reserve, "claim each frame's file first, so several renderers can share a folder");
  sub->add_option("--stale-after", o.staleAfter,
                  "with --reserve: retake an empty reservation untouched this many seconds (default 600; 0: at once)");
  AddCommonOptions(*sub, d.common, true);
  sub->callback([&d] { d.run = [&d] { return Render(o, d.common); }; });
}

}  // namespace tavelo
