// Movies through the movie output module: the codec, the frame rate and the sound
// track are its options, each frame goes in with the sound of its own span,
// so picture and sound stay interleaved whatever the movie's length.
#include "movie_render.h"

#include <cmath>

#include "cli.h"
#include "image_file.h"
#include "output_module.h"
#include "project.h"
#include "session.h"
#include "sound.h"

namespace tavelo {
namespace {

// The movie module's options (PIN_SetOutSpecificData selectors).
enum : int32_t { kMovieCodec = 1, kMovieFrameRate = 3, kMovieSoundRate = 4, kMovieChannels = 5 };
constexpr int32_t kSoundRate = 48000;

// Renders one frame and hands its World to the output.
void AddRenderedFrame(BEE_Item comp, const FrameGrid& g, int64_t frame, Output& out) {
  BEE_RenderRequest rq{};
  rq.time = Time{static_cast<int32_t>(frame * g.frame.value), g.frame.scale};
  rq.span = g.frame;
  rq.layerCount = -1;
  MC_Receipt receipt = nullptr;
  Check(BEE_RenderCompFrameCheckout(comp, &rq, &receipt), "rendering frame " + std::to_string(frame));
  struct Checkin {
    MC_Receipt r;
    ~Checkin() { BEE_RenderCompFrameCheckin(r); }
  } checkin{receipt};
  BM_World world = nullptr;
  Check(BEE_GetReceiptWorld(receipt, &world), "reading frame " + std::to_string(frame));
  out.AddFrame(world);
}

// The module's codec for a name; H.264 makes an MP4 (AAC sound), the others
// a QuickTime movie (PCM sound).
FourCC CodecFor(const std::string& path, std::string codec) {
  const bool mp4 = ExtensionOf(path) == "mp4";
  if (codec.empty()) codec = mp4 ? "h264" : "prores";
  if (mp4 && codec != "h264") Fail("an .mp4 movie is H.264; use .mov for codec \"" + codec + "\"", kExitUsage);
  if (codec == "h264") return tv::MakeFourCC("avc1");
  if (codec == "prores") return tv::MakeFourCC("apch");
  if (codec == "png") return tv::MakeFourCC("png ");
  if (codec == "animation") return tv::MakeFourCC("rle ");
  Fail("unknown codec \"" + codec + "\" (h264, prores, png, animation)", kExitUsage);
}

}  // namespace

void RenderMovie(BEE_Item comp, int64_t first, int64_t last, const std::string& path, bool withSound,
                 Progress& progress, const std::string& codec) {
  const FourCC codecSig = CodecFor(path, codec);
  const FrameGrid g = GridOf(comp);
  int32_t width = 0, height = 0;
  Check(BEE_GetCompDimensionsDSF(comp, &width, &height, nullptr), "reading the frame size");
  Output out(path, width, height);
  out.SetOption(kMovieCodec, static_cast<int32_t>(codecSig), "the codec");
  const double fps = static_cast<double>(g.frame.scale) / g.frame.value;
  out.SetOption(kMovieFrameRate, static_cast<int32_t>(std::lround(fps * 65536)), "a frame rate (16.16) of");
  out.SetOption(kMovieSoundRate, withSound ? kSoundRate : 0, "a sound rate of");
  if (withSound) out.SetOption(kMovieChannels, 2, "sound channels:");
  out.Start();
  for (int64_t f = first; f <= last; ++f) {
    if (Interrupted()) Fail("interrupted; the unfinished movie was removed", kExitInterrupted);
    if (withSound) {
      const Time start{static_cast<int32_t>(f * g.frame.value), g.frame.scale};
      const SND_Format format{kSoundRate, SND_Encoding_Signed, 2, 2, 0};
      SND_World world = nullptr;
      Check(BEE_RenderCompSound(comp, 1, start, g.frame, &format, &world), "rendering the sound");
      SoundWorld chunk(world);
      out.AddSound(chunk.get());
    }
    try {
      AddRenderedFrame(comp, g, f, out);
    } catch (const Failure& failure) {
      if (failure.code == kExitInterrupted) Fail("interrupted; the unfinished movie was removed", kExitInterrupted);
      throw;
    }
    progress.FrameDone(path);
  }
  out.End();
}

}  // namespace tavelo
