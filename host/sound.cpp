// Sound of the host: rendering, a generated tone and sound files.
#include "sound.h"

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "OutputFormats.h"
#include "cli.h"
#include "image_file.h"
#include "output_module.h"
#include "project.h"
#include "session.h"

namespace tavelo {

SoundWorld::~SoundWorld() {
  if (world_) SND_DisposeWorld(world_);
}

SND_WorldInfo SoundWorld::Info() const {
  SND_WorldInfo info{};
  if (SNDp_GetWorldInfo(world_, &info)) Fail("the sound is damaged");
  return info;
}

namespace {

// 16-bit integers, or (deep) 32-bit floats: a mix for a file of more than
// 16 bits keeps what its sources hold beyond 16 bits.
SND_Format Format(double rate, int channels, bool deep = false) {
  // Whole hertz: a sound file records its rate as a whole number.
  if (!(rate >= 1000 && rate <= 192000) || rate != std::floor(rate))
    Fail("the sound rate must be a whole number of Hz from 1000 to 192000", kExitUsage);
  if (channels != 1 && channels != 2) Fail("the sound has 1 or 2 channels", kExitUsage);
  return deep ? SND_Format{rate, SND_Encoding_Float, 4, static_cast<uint16_t>(channels), 0}
              : SND_Format{rate, SND_Encoding_Signed, 2, static_cast<uint16_t>(channels), 0};
}

}  // namespace

SoundWorld RenderCompSound(BEE_Item comp, double rate, int channels, bool deep) {
  Time duration{};
  Check(BEE_GetItemDuration(comp, &duration, nullptr), "reading the duration");
  return RenderCompSound(comp, rate, channels, Time{0, 1}, duration, deep);
}

SoundWorld RenderCompSound(BEE_Item comp, double rate, int channels, Time start, Time duration, bool deep) {
  const SND_Format format = Format(rate, channels, deep);
  SND_World world = nullptr;
  Check(BEE_RenderCompSound(comp, 1, start, duration, &format, &world), "rendering the sound");
  return SoundWorld(world);
}

SoundWorld ToneWorld(double frequency, double seconds, double rate, int channels) {
  const SND_Format format = Format(rate, channels);
  SND_World world = nullptr;
  Check(SND_NewWorld(&format, nullptr, &world), "making a sound");
  SoundWorld owner(world);
  const auto frames = static_cast<int64_t>(std::llround(seconds * rate));
  void* samples = nullptr;
  Check(SND_SizeAndLockBuffer(frames, 0, world, &samples), "making a sound");
  auto* out = static_cast<int16_t*>(samples);
  const double fade = 0.01 * rate;
  for (int64_t i = 0; i < frames; ++i) {
    const double edge = std::min({1.0, i / fade, (frames - 1 - i) / fade});
    const double v = 0.5 * edge * std::sin(2 * std::numbers::pi * frequency * static_cast<double>(i) / rate);
    for (int c = 0; c < channels; ++c) out[i * channels + c] = static_cast<int16_t>(std::lround(v * 32767));
  }
  SND_UnlockBuffer(world);
  return owner;
}

bool IsSoundExtension(const std::string& ext) { return tv::outputs::FindSoundFile(ext) != nullptr; }

void WriteSoundFile(SND_World world, const std::string& path, int bits) {
  if (!IsSoundExtension(ExtensionOf(path)))
    Fail("cannot tell the sound format of \"" + path + "\" (use .wav, .aif or .aiff)", kExitUsage);
  // The sound-file module writes WAV for ".wav" and AIFF for other names.
  Output out(path, 0, 0, OutputSignatureFor("sound.wav"));
  if (bits != 16) out.SetOption(1, bits, "samples of bits");
  out.Start();
  out.AddSound(world);
  out.End();
}

}  // namespace tavelo
