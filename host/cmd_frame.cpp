// `tavelo frame`: one frame of a composition to a still file.
#include <CLI/CLI.hpp>

#include <cinttypes>
#include <cstdio>

#include "cli.h"
#include "output_name.h"
#include "project.h"
#include "session.h"

namespace tavelo {
namespace {

struct FrameOptions {
  std::string project, comp, time, output, format, resolution = "full";
  bool digest = false;
};

int Frame(const FrameOptions& o, const Common& common) {
  const std::string out = ResolveOutput(o.output, o.format);
  if (IsMovieExtension(ExtensionOf(out))) Fail("`frame` writes one still image; render movies with `render`", kExitUsage);
  Session session(common);
  LoadProject(o.project);
  BEE_Item comp = FindComp(o.comp);
  SetResolution(comp, o.resolution);
  const int64_t frame = ParseFrameTime(o.time, comp);
  MakeOutputFolder(out);
  Image img = RenderFrame(comp, frame, out);
  if (o.digest) std::printf("%016" PRIx64 "  %s\n", Digest(img), out.c_str());
  else std::printf("wrote %s (frame %lld, %d x %d)\n", out.c_str(), static_cast<long long>(frame), img.width, img.height);
  return kExitDone;
}

}  // namespace

void AddFrameCommand(CLI::App& app, Dispatch& d) {
  static FrameOptions o;
  auto* sub = app.add_subcommand("frame", "render one frame of a composition to a still file");
  sub->add_option("PROJECT", o.project, "project file, or a .json project description")->required();
  AddCompOption(*sub, o.comp);
  sub->add_option("-t,--time", o.time, "seconds (1.5) or a frame (45f)")->required();
  sub->add_option("-o,--output", o.output, "the image file (.png, .exr, .tif, .jpg, .dpx)")->required();
  sub->add_option("-f,--format", o.format, "png, exr, tif, tiff, jpg or dpx");
  sub->add_option("-r,--resolution", o.resolution, "full, half, third or quarter");
  sub->add_flag("--digest", o.digest, "print a digest of the frame's pixels instead of a sentence");
  AddCommonOptions(*sub, d.common, true);
  sub->callback([&d] { d.run = [&d] { return Frame(o, d.common); }; });
}

}  // namespace tavelo
