// `tavelo render`: frames of a composition to numbered still files, to a
// movie with its sound, or to standard output (`-o -`), through the engine's
// movie render (movie_render.cpp). A frame list lets a render farm split a
// job; --reserve lets several renderers share one output folder (each
// frame's file is claimed by creating it empty; a frame whose file exists is
// left to whoever made it, unless it is an empty reservation abandoned
// longer than --stale-after: reserve.h). Ctrl-C stops the frame under way:
// finished frames stay, the unfinished one is removed.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <optional>

#include "OutputFormats.h"
#include "cli.h"
#include "frame_list.h"
#include "frame_stream.h"
#include "image_file.h"
#include "memory_budget.h"
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

// Refuses what a movie or a still sequence does not take; an unknown codec,
// or one the container cannot hold.
void CheckMovieOptions(const RenderOptions& o, const std::string& pattern) {
  const bool movie = IsMovieExtension(ExtensionOf(pattern));
  if (movie && o.reserve) Fail("--reserve shares a folder of still frames; a movie is one file", kExitUsage);
  if (!movie && !o.codec.empty()) Fail("--codec is for movies (.mp4, .mov, .mkv, .avi)", kExitUsage);
  if (movie) MovieCodec(pattern, o.codec);
}

// Frames to standard output: a PNG stream, or raw RGBA with --format raw.
int RenderToStandardOutput(const RenderOptions& o, const Common& common, BEE_Item comp,
                           const std::vector<int64_t>& frames) {
  const StreamFormat format = o.format == "raw" ? StreamFormat::Raw : StreamFormat::Png;
  int32_t width = 0, height = 0;
  Check(BEE_GetCompDimensionsDSF(comp, &width, &height, nullptr), "reading the frame size");
  Verbose(common, "writing " + Count(static_cast<int64_t>(frames.size()), "frame") + " of " + std::to_string(width) +
                      " x " + std::to_string(height) + " to standard output as " +
                      (format == StreamFormat::Raw ? "raw RGBA" : "a PNG stream"));
  Progress progress(static_cast<int64_t>(frames.size()), common.Quiet());
  const int64_t written = StreamFrames(comp, frames, format, progress);
  if (Interrupted()) Fail("interrupted; " + Count(written, "frame") + " written", kExitInterrupted);
  if (!common.Quiet()) std::fprintf(stderr, "tavelo: wrote %s to standard output\n", Count(written, "frame").c_str());
  return kExitDone;
}

// Shared folder: each frame claimed by this renderer first (reserve.h).
int RenderReserved(const RenderOptions& o, const Common& common, BEE_Item comp, const std::vector<int64_t>& frames,
                   const std::string& pattern) {
  // A farm task's log shows the budget its memory limit gave it.
  if (!common.Quiet()) std::fprintf(stderr, "tavelo: memory budget %s\n", DescribeBudget().c_str());
  Progress progress(static_cast<int64_t>(frames.size()), common.Quiet());
  int64_t written = 0;
  std::string firstName, lastName;
  std::vector<int64_t> rendered, skipped;  // for the closing summary (a farm task's log)
  double renderSeconds = 0;
  // A format without alpha shows the composition's background colour where
  // the frame is transparent, as a render without reservations writes it.
  const tv::outputs::StillFormat* still = tv::outputs::FindStill(ExtensionOf(pattern));
  std::optional<uint32_t> background;
  if (still && !still->alpha) {
    uint32_t colour = 0;
    Check(BEE_GetCompBackgroundColor(comp, &colour), "reading the background colour");
    background = colour;
  }
  for (int64_t f : frames) {
    if (Interrupted()) break;
    const std::string name = NumberedName(pattern, f);
    std::optional<FrameClaim> claim;
    claim.emplace(name, o.staleAfter);
    if (!claim->Mine()) {
      progress.FrameSkipped(name);
      skipped.push_back(f);
      continue;
    }
    if (claim->Retaken() && !common.Quiet())
      std::fprintf(stderr, "tavelo: note: retook the abandoned reservation of %s\n", name.c_str());
    try {
      const auto start = std::chrono::steady_clock::now();
      Image img = RenderFrame(comp, f);
      if (background) OverBackground(img, *background);
      if (!claim->Commit(img)) {
        progress.FrameSkipped(name);  // retaken by another renderer meanwhile: its copy stands
        skipped.push_back(f);
        continue;
      }
      renderSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    } catch (const Failure& failure) {
      claim.reset();  // gives the reservation up
      progress.Finish();
      if (failure.code == kExitInterrupted)
        Fail("interrupted; " + Count(written, "finished frame") + " kept", kExitInterrupted);
      throw;
    }
    ++written;
    rendered.push_back(f);
    if (firstName.empty()) firstName = name;
    lastName = name;
    progress.FrameDone(name);
  }
  progress.Finish();
  if (!common.Quiet()) {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) std::snprintf(host, sizeof host, "this machine");
    std::string line = "tavelo: on " + std::string(host) + ": rendered " +
                       (rendered.empty() ? "no frame" : FrameRanges(rendered) + " (" + Count(written, "frame"));
    if (!rendered.empty()) {
      char each[64];
      std::snprintf(each, sizeof each, ", %.2f s a frame)", renderSeconds / static_cast<double>(written));
      line += each;
    }
    if (!skipped.empty())
      line += "; skipped " + FrameRanges(skipped) + " (finished or reserved by another renderer)";
    std::fprintf(stderr, "%s\n", line.c_str());
  }
  if (Interrupted()) Fail("interrupted; " + Count(written, "finished frame") + " kept", kExitInterrupted);
  if (written == 0) std::printf("no frames written (all were reserved by other renderers)\n");
  else if (written == 1) std::printf("wrote %s\n", firstName.c_str());
  else std::printf("wrote %lld frames: %s .. %s\n", static_cast<long long>(written), firstName.c_str(), lastName.c_str());
  return kExitDone;
}

int Render(const RenderOptions& o, const Common& common) {
  if (!o.frames.empty() && !o.time.empty()) Fail("give --frames or --time, not both", kExitUsage);
  if (o.threads < 0 || o.threads > 64) Fail("--threads must be 0 (one per processor) to 64", kExitUsage);
  if (o.staleAfter < 0) Fail("--stale-after must be 0 or more seconds", kExitUsage);
  if (!o.frames.empty()) CheckFrameList(o.frames);  // its form, before the project opens
  const bool toStdout = o.output == "-";
  std::string pattern;
  if (toStdout) {
    if (!o.format.empty() && o.format != "png" && o.format != "raw")
      Fail("-o - writes a PNG stream, or raw RGBA with --format raw", kExitUsage);
    if (o.reserve || !o.codec.empty()) Fail("-o - takes no --reserve nor --codec", kExitUsage);
    if (::isatty(1)) Fail("-o - writes frames to standard output: pipe it into a program or a file", kExitUsage);
  } else if (o.format == "raw") {
    Fail("--format raw is for -o - (standard output)", kExitUsage);
  } else if (!o.output.empty()) {
    pattern = ResolveOutput(o.output, o.format);
    CheckMovieOptions(o, pattern);  // before the project opens
  }
  Session session(common);
  if (BEE_SetRenderThreads(o.threads)) Fail("cannot use " + std::to_string(o.threads) + " render threads");
  LoadProject(o.project);
  BEE_Item comp = FindComp(o.comp);
  Verbose(common, "opened " + o.project + "; rendering \"" + ItemName(comp) + "\"");
  SetResolution(comp, o.resolution);
  const FrameGrid grid = GridOf(comp);
  if (grid.count < 1) Fail("the composition has no frames");
  std::vector<int64_t> frames;
  if (!o.frames.empty()) frames = ParseFrameList(o.frames, grid.count - 1);
  else if (!o.time.empty()) frames = {ParseFrameTime(o.time, comp)};
  else frames = FrameSpan(0, grid.count - 1);
  SetPngCompression(o.compression);
  if (toStdout) return RenderToStandardOutput(o, common, comp, frames);
  if (pattern.empty())  // COMP_#####.png, or COMP.mp4 for a movie
    pattern = ResolveOutput(ItemName(comp) + (IsMovieExtension(o.format) ? "." : "_#####.") +
                                (o.format.empty() ? "png" : o.format),
                            o.format);
  const bool movie = IsMovieExtension(ExtensionOf(pattern));
  CheckMovieOptions(o, pattern);
  if (movie && !IsOneSpan(frames))
    Fail("a movie is made of one span of frames (A-B); \"" + o.frames + "\" has gaps", kExitUsage);
  if (!movie && (frames.size() > 1 || o.reserve)) pattern = WithFrameField(pattern);
  // A shared folder's finished frame is never rendered again: a renderer
  // that cannot see the footage renders nothing rather than placeholders.
  if (o.reserve)
    RefuseMissingFootage(comp, "a frame rendered with a placeholder would stay in the shared folder, so none is rendered");
  MakeOutputFolder(pattern);
  if (o.reserve) return RenderReserved(o, common, comp, frames, pattern);
  RenderJob job;
  job.comp = comp;
  job.frames = frames;
  job.sound = !o.noSound;
  job.codec = o.codec;
  job.output = pattern;
  job.verbose = common.Verbose();
  Progress progress(static_cast<int64_t>(frames.size()), common.Quiet());
  const RenderOutcome done = RenderToFiles(job, progress);
  if (movie)
    std::printf("wrote %s (%s%s)\n", pattern.c_str(), Count(static_cast<int64_t>(frames.size()), "frame").c_str(),
                o.noSound ? "" : " with sound");
  else if (done.written == 1) std::printf("wrote %s\n", done.firstName.c_str());
  else
    std::printf("wrote %lld frames: %s .. %s\n", static_cast<long long>(done.written), done.firstName.c_str(),
                done.lastName.c_str());
  return kExitDone;
}

}  // namespace

void AddRenderCommand(CLI::App& app, Dispatch& d) {
  static RenderOptions o;
  auto* sub = app.add_subcommand("render", "render a composition's frames to numbered still files or a movie with sound");
  sub->add_option("PROJECT", o.project, "project file, or a .json project description")->required();
  AddCompOption(*sub, o.comp);
  sub->add_option("--frames", o.frames,
                  "frames from 0: 7, 0-99, 1-99x2 (every 2nd), 10- (to the end), or a comma list of these "
                  "(default: all)");
  sub->add_option("-t,--time", o.time, "one frame at a time in seconds (1.5) or a frame (45f)");
  sub->add_option("-o,--output", o.output,
                  "output name; a run of # is the frame number (default COMP_#####.png, or COMP.mp4 with -f mp4); "
                  "- writes the frames to standard output");
  sub->add_option("-f,--format", o.format,
                  "png, exr, tif, tiff, jpg, dpx; a movie: mp4, mov, mkv, avi; with -o -: png or raw "
                  "(`tavelo formats` lists them)");
  sub->add_option("-r,--resolution", o.resolution, "full, half, third or quarter");
  sub->add_option("--threads", o.threads, "threads sharing each frame's pixel work (0: one per processor)");
  sub->add_flag("--no-sound", o.noSound, "movies: no sound track");
  sub->add_option("--codec", o.codec,
                  "movies: h264, prores, prores4444, png, animation (default: the container's first; `tavelo "
                  "formats` lists which container holds which)");
  sub->add_option("--compression", o.compression, "PNG files: zlib level 0-9 (default 1: fast; 9: smallest)")
      ->check(CLI::Range(0, 9));
  sub->add_flag("--reserve", o.reserve, "claim each frame's file first, so several renderers can share a folder");
  sub->add_option("--stale-after", o.staleAfter,
                  "with --reserve: retake an empty reservation untouched this many seconds (default 600; 0: at once)");
  AddCommonOptions(*sub, d.common, true);
  sub->callback([&d] { d.run = [&d] { return Render(o, d.common); }; });
}

}  // namespace tavelo
