// `tavelo sheet`: every n-th frame of a composition laid out on one
// contact-sheet image.
#include <CLI/CLI.hpp>

#include <cstdio>

#include "cli.h"
#include "contact_sheet.h"
#include "output_name.h"
#include "progress.h"
#include "project.h"
#include "session.h"

namespace tavelo {
namespace {

struct SheetOptions {
  std::string project, comp, output, frames, resolution = "full";
  int every = 4, columns = 4, width = 200;
};

int Sheet(const SheetOptions& o, const Common& common) {
  if (o.every < 1) Fail("--every must be 1 or more", kExitUsage);
  if (o.columns < 1 || o.columns > 64) Fail("--columns must be 1 to 64", kExitUsage);
  if (o.width < 8 || o.width > 4096) Fail("--width must be 8 to 4096 pixels", kExitUsage);
  const std::string out = ResolveOutput(o.output, "");
  if (IsMovieExtension(ExtensionOf(out))) Fail("a contact sheet is a still image", kExitUsage);
  Session session(common);
  LoadProject(o.project);
  BEE_Item comp = FindComp(o.comp);
  SetResolution(comp, o.resolution);
  const FrameGrid grid = GridOf(comp);
  if (grid.count < 1) Fail("the composition has no frames");
  const int64_t count = (grid.count + o.every - 1) / o.every;
  if (count > 1024) Fail("more than 1024 frames on one sheet; raise --every", kExitUsage);
  std::vector<Image> frames;
  Progress progress(count, common.quiet);
  for (int64_t f = 0; f < grid.count; f += o.every) {
    if (Interrupted()) break;
    frames.push_back(Thumbnail(RenderFrame(comp, f), o.width));
    progress.FrameDone("frame " + std::to_string(f));
  }
  progress.Finish();
  if (Interrupted()) Fail("interrupted", kExitInterrupted);
  const Image sheet = ContactSheet(frames, o.columns);
  WriteImage(sheet, out);
  std::printf("wrote %s (%zu frames, %d x %d)\n", out.c_str(), frames.size(), sheet.width, sheet.height);
  return kExitDone;
}

}  // namespace

void AddSheetCommand(CLI::App& app, Dispatch& d) {
  static SheetOptions o;
  auto* sub = app.add_subcommand("sheet", "lay every n-th frame of a composition out on a contact sheet");
  sub->add_option("PROJECT", o.project, "project file, or a .json project description")->required();
  sub->add_option("-c,--comp", o.comp, "the composition")->required();
  sub->add_option("-o,--output", o.output, "the sheet's image file (.png, .jpg, .tif ...)")->required();
  sub->add_option("--every", o.every, "every n-th frame, from the first (default 4)");
  sub->add_option("--columns", o.columns, "frames a row (default 4)");
  sub->add_option("--width", o.width, "width of each frame on the sheet in pixels (default 200)");
  sub->add_option("-r,--resolution", o.resolution, "full, half, third or quarter");
  AddCommonOptions(*sub, d.common, true);
  sub->callback([&d] { d.run = [&d] { return Sheet(o, d.common); }; });
}

}  // namespace tavelo
