// Sound of the host: a composition's sound rendered into a sound world, a
// sound world written to a file through the sound-file output module, a
// generated tone (the demo's audio footage), and playback over the sound
// output.
#pragma once

#include <cstdint>
#include <string>

#include "BEE.h"
#include "SND.h"

namespace tavelo {

// Owns a sound world.
class SoundWorld {
 public:
  SoundWorld() = default;
  explicit SoundWorld(SND_World w) : world_(w) {}
  ~SoundWorld();
  SoundWorld(SoundWorld&& other) noexcept : world_(other.world_) { other.world_ = nullptr; }
  SoundWorld& operator=(SoundWorld&&) = delete;
  SoundWorld(const SoundWorld&) = delete;
  SND_World get() const { return world_; }
  SND_WorldInfo Info() const;

 private:
  SND_World world_ = nullptr;
};

// The sound a composition's layers make over its whole duration, mixed at
// rate (Hz) into channels (1 or 2) of 16-bit signed samples, or with deep
// of 32-bit floats (for files of 24 or 32 bits); silence when no layer
// sounds. Best quality for every layer.
SoundWorld RenderCompSound(BEE_Item comp, double rate, int channels, bool deep = false);
// The same over start .. start + duration only.
SoundWorld RenderCompSound(BEE_Item comp, double rate, int channels, Time start, Time duration, bool deep = false);

// A sine tone of frequency Hz (fading in and out over 10 ms), seconds long.
SoundWorld ToneWorld(double frequency, double seconds, double rate, int channels);

// Writes the world to a sound file (.wav, or .aif / .aiff) through the
// sound-file output module; bits: 16, 24 or 32 (floats). The file takes its
// name only once complete. Throws Failure naming the file otherwise.
void WriteSoundFile(SND_World world, const std::string& path, int bits);

// The extensions the sound-file module writes.
bool IsSoundExtension(const std::string& ext);

}  // namespace tavelo
