// `tavelo sheet`: frames of a composition (every n-th, or a frame list) laid
// out on one contact-sheet image, each over the composition's background
// colour and labelled with its frame number and time.
#include <CLI/CLI.hpp>

#include <cstdio>

#include "cli.h"
#include "contact_sheet.h"
#include "frame_list.h"
#include "output_name.h"
#include "progress.h"
#include "project.h"
#include "session.h"

namespace tavelo {
namespace {

struct SheetOptions {
  std::string project, comp, output, frames, resolution = "full";
  int every = 0, columns = 4, width = 200;  // every 0: not given
};

constexpr int kDefaultEvery = 4;
constexpr size_t kMaxFrames = 1024;

int Sheet(const SheetOptions& o, const Common& common) {
  if (!o.frames.empty() && o.every) Fail("give --every or --frames, not both", kExitUsage);
  if (o.columns < 1 || o.columns > 64) Fail("--columns must be 1 to 64", kExitUsage);
  if (o.width < 8 || o.width > 4096) Fail("--width must be 8 to 4096 pixels", kExitUsage);
  const std::string out = ResolveOutput(o.output, "");
  if (IsMovieExtension(ExtensionOf(out))) Fail("a contact sheet is a still image", kExitUsage);
  if (!o.frames.empty()) CheckFrameList(o.frames);
  Session session(common);
  LoadProject(o.project);
  BEE_Item comp = FindComp(o.comp);
  SetResolution(comp, o.resolution);
  const FrameGrid grid = GridOf(comp);
  if (grid.count < 1) Fail("the composition has no frames");
  std::vector<int64_t> list;
  if (!o.frames.empty()) {
    list = ParseFrameList(o.frames, grid.count - 1);
  } else {
    const int every = o.every ? o.every : kDefaultEvery;
    for (int64_t f = 0; f < grid.count; f += every) list.push_back(f);
  }
  if (list.size() > kMaxFrames)
    Fail("more than " + std::to_string(kMaxFrames) + " frames on one sheet; raise --every or give fewer --frames",
         kExitUsage);
  // A sheet too large to write is told before any frame is rendered.
  const SheetSize size =
      SheetSizeOf(static_cast<int64_t>(list.size()), o.columns, o.width, ThumbnailHeight(comp, o.width));
  if (size.width > kMaxImageSide || size.height > kMaxImageSide)
    Fail("the sheet would be " + std::to_string(size.width) + " x " + std::to_string(size.height) +
             " pixels, more than " + std::to_string(kMaxImageSide) +
             " a side; give a smaller --width, fewer --columns or fewer frames",
         kExitUsage);
  MakeOutputFolder(out);
  std::vector<SheetFrame> frames;
  Progress progress(static_cast<int64_t>(list.size()), common.Quiet());
  for (int64_t f : list) {
    if (Interrupted()) break;
    const double seconds = static_cast<double>(f) * grid.frame.value / grid.frame.scale;
    frames.push_back({Thumbnail(comp, f, o.width), std::to_string(f) + "  " + SheetTime(seconds)});
    progress.FrameDone("frame " + std::to_string(f));
  }
  progress.Finish();
  if (Interrupted()) Fail("interrupted", kExitInterrupted);
  const Image sheet = ContactSheet(frames, o.columns);
  WriteImage(sheet, out);
  std::printf("wrote %s (%s, %d x %d)\n", out.c_str(), Count(static_cast<int64_t>(frames.size()), "frame").c_str(),
              sheet.width, sheet.height);
  return kExitDone;
}

}  // namespace

void AddSheetCommand(CLI::App& app, Dispatch& d) {
  static SheetOptions o;
  auto* sub = app.add_subcommand("sheet", "lay frames of a composition out on a contact sheet, labelled");
  sub->add_option("PROJECT", o.project, "project file, or a .json project description")->required();
  AddCompOption(*sub, o.comp);
  sub->add_option("-o,--output", o.output, "the sheet's image file (.png, .jpg, .tif ...)")->required();
  sub->add_option("--every", o.every, "every n-th frame, from the first (default 4)")->check(CLI::Range(1, 1 << 30));
  sub->add_option("--frames", o.frames, "these frames instead: 0-95x8, 1,5,9 ... (from 0)");
  sub->add_option("--columns", o.columns, "frames a row (default 4)");
  sub->add_option("--width", o.width, "width of each frame on the sheet in pixels (default 200)");
  sub->add_option("-r,--resolution", o.resolution, "full, half, third or quarter");
  AddCommonOptions(*sub, d.common, true);
  sub->callback([&d] { d.run = [&d] { return Sheet(o, d.common); }; });
}

}  // namespace tavelo
