// The rendered demo: generates a small image sequence and a tone to use as
// footage, builds a project from the description below (solids, that
// footage, masks with feather, a built-in effect and a sample plug-in, a
// nested composition, a track matte, motion blur, a title typed in by the
// Text effect, a sound layer), renders it
// to a PNG sequence and to an MP4 with sound, and lays some of its frames out
// on a contact sheet.
#include "demo_render.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "FLT.h"
#include "contact_sheet.h"
#include "description.h"
#include "frame_list.h"
#include "movie_render.h"
#include "output_name.h"
#include "progress.h"
#include "project.h"
#include "session.h"
#include "sound.h"

namespace tavelo {
namespace {

constexpr int kFootageFrames = 48;

// The description of the demo project (docs/project-description.md).
constexpr const char* kDemo = R"json({
  "version": 1,
  "footage": [
    {"name": "Rings", "file": "rings_0000.png", "sequence": true, "fps": 24},
    {"name": "Tone", "file": "tone.wav"}
  ],
  "comps": [
    {"name": "Badge", "width": 240, "height": 240, "fps": 24, "duration": 2,
     "layers": [
       {"name": "Disc", "solid": {"color": "#ffd23c"},
        "masks": [{"name": "Round", "oval": [10, 10, 230, 230], "feather": 12}]},
       {"name": "Hole", "solid": {"color": "#e0402a", "width": 120, "height": 120},
        "masks": [{"oval": [0, 0, 120, 120]}],@PLUGIN@
        "rotation": [{"time": 0, "value": 0}, {"time": 2, "value": 360}]}
     ]},
    {"name": "Demo", "width": 640, "height": 360, "fps": 24, "duration": 2, "motionBlur": true,
     "background": "#101018",
     "layers": [
       {"name": "Backdrop", "solid": {"color": "#203a70"}},
       {"name": "Rings", "source": "Rings", "position": [320, 180], "scale": 250, "opacity": 60,
        "effects": [{"effect": "Fast Blur", "params": {"Radius": [
          {"time": 0, "value": 0}, {"time": 1, "value": 8, "ease": true}, {"time": 2, "value": 0}]}}]},
       {"name": "Stripe", "solid": {"color": "#f0f0f0", "width": 640, "height": 60},
        "position": [320, 300], "trackMatte": "alpha"},
       {"name": "Stripe Matte", "solid": {"color": "#ffffff", "width": 200, "height": 60}, "visible": false,
        "position": [{"time": 0, "value": [-100, 300]}, {"time": 2, "value": [740, 300]}]},
       {"name": "Badge", "source": "Badge", "motionBlur": true,
        "position": [{"time": 0, "value": [120, 150], "interpolation": "bezier", "ease": true},
                     {"time": 1, "value": [520, 150], "interpolation": "bezier", "ease": true},
                     {"time": 2, "value": [120, 150], "interpolation": "bezier", "ease": true}],
        "scale": [{"time": 0, "value": 60}, {"time": 1, "value": 90}, {"time": 2, "value": 60}]},
       {"name": "Title", "text": {"text": "Tavelo", "font": "DejaVu Sans Bold", "size": 48,
        "strokeColor": "#101018", "strokeWidth": 3,
        "charactersShown": [{"time": 0, "value": 0}, {"time": 1, "value": 100}]},
        "position": [320, 64]},
       {"name": "Tone", "source": "Tone"}
     ]}
  ]
})json";

// Concentric rings that grow frame by frame.
Image RingsFrame(int frame) {
  Image img;
  img.width = 160;
  img.height = 90;
  img.rgba.resize(static_cast<size_t>(img.width * img.height * 4));
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      const double r = std::hypot(x - 80.0, y - 45.0) - frame * 1.5;
      const double wave = 0.5 + 0.5 * std::cos(r / 3.0);
      uint8_t* p = &img.rgba[static_cast<size_t>((y * img.width + x) * 4)];
      p[0] = static_cast<uint8_t>(60 + 180 * wave);
      p[1] = static_cast<uint8_t>(200 * (1 - wave));
      p[2] = static_cast<uint8_t>(255 * wave);
      p[3] = 255;
    }
  return img;
}

}  // namespace

int RenderDemo(const std::string& outputDir, bool quiet) {
  namespace fs = std::filesystem;
  const fs::path dir = AbsolutePath(outputDir);
  std::error_code ec;
  fs::create_directories(dir / "footage", ec);
  fs::create_directories(dir / "frames", ec);
  if (ec) Fail("cannot make \"" + dir.string() + "\": " + ec.message());
  for (int f = 0; f < kFootageFrames; ++f)
    WriteImage(RingsFrame(f), NumberedName((dir / "footage" / "rings_####.png").string(), f));
  // A 2-second tone, an A rising a fifth after one second, as sound footage.
  {
    SoundWorld low = ToneWorld(440, 1, 48000, 2), high = ToneWorld(660, 1, 48000, 2);
    Check(SND_SetWorldStartTime(Time{1, 1}, high.get()), "making the demo's tone");
    Check(SND_Blit(SND_Quality_Best, high.get(), nullptr, nullptr, SND_Blit_Replace, nullptr, low.get()),
          "making the demo's tone");
    WriteSoundFile(low.get(), (dir / "footage" / "tone.wav").string(), 16);
  }
  // The sample plug-in inverts the badge's hole when its folder was scanned.
  int16_t invert = 0;
  Boolean32 havePlugin = 0;
  FLTp_FindClass("SMPL Invert", &invert, &havePlugin);
  std::string text = kDemo;
  text.replace(text.find("@PLUGIN@"), 8, havePlugin ? "\n        \"effects\": [{\"effect\": \"SMPL Invert\"}]," : "");
  BuildDescriptionText(text, "the demo description", (dir / "footage").string());
  BEE_Item comp = FindComp("Demo");
  const FrameGrid grid = GridOf(comp);
  const std::string pattern = (dir / "frames" / "demo_####.png").string();
  std::vector<SheetFrame> sheetFrames;
  Progress progress(grid.count, quiet);
  for (int64_t f = 0; f < grid.count; ++f) {
    if (Interrupted()) break;
    WriteFrame(comp, f, NumberedName(pattern, f));
    if (f % 4 == 0)
      sheetFrames.push_back({Thumbnail(comp, f, 200),
                             std::to_string(f) + "  " + SheetTime(static_cast<double>(f) * grid.frame.value /
                                                                 grid.frame.scale)});
    progress.FrameDone(NumberedName(pattern, f));
  }
  progress.Finish();
  if (Interrupted()) Fail("interrupted; the finished frames are kept", kExitInterrupted);
  const std::string sheet = (dir / "contact_sheet.png").string();
  WriteImage(ContactSheet(sheetFrames, 4), sheet);
  const std::string movie = (dir / "demo.mp4").string();
  Progress movieProgress(grid.count, quiet);
  RenderJob job;
  job.comp = comp;
  job.frames = FrameSpan(0, grid.count - 1);
  job.output = movie;
  RenderToFiles(job, movieProgress);
  movieProgress.Finish();
  std::printf("\nRendered demo (composition \"Demo\", 640 x 360, %lld frames at 24 fps):\n",
              static_cast<long long>(grid.count));
  std::printf("  frames:        %s\n", (dir / "frames" / "demo_0000.png").string().c_str());
  std::printf("                 .. %s\n", NumberedName(pattern, grid.count - 1).c_str());
  std::printf("  movie:         %s (H.264 with AAC sound)\n", movie.c_str());
  std::printf("  contact sheet: %s\n", sheet.c_str());
  std::printf("  footage made for it: %s\n", (dir / "footage").string().c_str());
  if (havePlugin) std::printf("  the badge's hole is inverted by the sample plug-in \"Sample Invert\"\n");
  else std::printf("  (the sample plug-ins were not found: give --plugins build/plugins/tvx to use them)\n");
  return kExitDone;
}

}  // namespace tavelo
