// `tavelo audio`: a composition's sound to a WAV or AIFF file, and
// `tavelo play`: a composition's sound over the sound output (the sound
// device, or what TAVELO_AUDIO_OUTPUT / --device name: "null",
// "file:<path>.wav"). Without a sound device `play` says so and ends with 1.
#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "cli.h"
#include "image_file.h"
#include "output_name.h"
#include "project.h"
#include "session.h"
#include "sound.h"

namespace tavelo {
namespace {

struct AudioOptions {
  std::string project, comp, output, device;
  double rate = 48000;
  int channels = 2, bits = 16;
};

std::string Describe(const SND_WorldInfo& info) {
  char text[160];
  std::snprintf(text, sizeof text, "%.2f s, %lld sample frames, %.0f Hz, %s", info.durationSeconds,
                static_cast<long long>(info.frames), info.format.rate, info.format.channels == 1 ? "mono" : "stereo");
  return text;
}

int Audio(const AudioOptions& o, const Common& common) {
  if (o.bits != 16 && o.bits != 24 && o.bits != 32) Fail("--bits must be 16, 24 or 32", kExitUsage);
  if (!IsSoundExtension(ExtensionOf(o.output)))
    Fail("cannot tell the sound format of \"" + o.output + "\" (use .wav, .aif or .aiff)", kExitUsage);
  Session session(common);
  LoadProject(o.project);
  BEE_Item comp = FindComp(o.comp);
  SoundWorld sound = RenderCompSound(comp, o.rate, o.channels, o.bits > 16);
  MakeOutputFolder(o.output);
  WriteSoundFile(sound.get(), o.output, o.bits);
  std::printf("wrote %s (%s, %d-bit)\n", o.output.c_str(), Describe(sound.Info()).c_str(), o.bits);
  return kExitDone;
}

struct PlayState {
  bool done = false;
};
void PlayDone(SND_PlaySpec*, intptr_t reference) { reinterpret_cast<PlayState*>(reference)->done = true; }

// Clears the play record on every way out (at once when interrupted).
struct PlayGuard {
  SND_PlaySpec* spec;
  ~PlayGuard() { SND_ClearPlaySpec(spec, Interrupted() ? 1 : 0); }
};

int Play(const AudioOptions& o, const Common& common) {
  Session session(common);
  if (!o.device.empty()) Check(SNDp_SetAudioOutput(o.device.c_str()), "choosing the sound output");
  LoadProject(o.project);
  BEE_Item comp = FindComp(o.comp);
  SoundWorld sound = RenderCompSound(comp, o.rate, o.channels);
  const SND_WorldInfo info = sound.Info();
  std::string output = o.device;
  if (output.empty()) output = std::getenv("TAVELO_AUDIO_OUTPUT") ? std::getenv("TAVELO_AUDIO_OUTPUT") : "alsa:default";
  SNDp_SetPlayStreaming(1);
  PlayState state;
  SND_PlaySpec spec{};
  if (ErrorCode err = SND_NewPlaySpec(sound.get(), &PlayDone, reinterpret_cast<intptr_t>(&state), &spec)) {
    std::string why = session.LastError();
    session.reports.clear();
    Fail("cannot play the sound on \"" + output + "\": " + (why.empty() ? "the output failed" : why) + " (code " +
         std::to_string(err) + ")\n  Write it to a file instead with `tavelo audio`, or choose another output with "
         "--device or TAVELO_AUDIO_OUTPUT (\"file:out.wav\", \"null\").");
  }
  PlayGuard guard{&spec};
  if (!common.Quiet())
    std::fprintf(stderr, "playing \"%s\" on %s (%s); Ctrl-C stops\n", ItemName(comp).c_str(), output.c_str(),
                 Describe(info).c_str());
  Check(SND_Play(&spec), "playing the sound");
  // Every frame has played when the completion procedure was called; a
  // device that stalls is given the play time and ten seconds more.
  const auto limit = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(static_cast<int64_t>(info.durationSeconds * 1000) + 10000);
  while (!state.done && !Interrupted()) {
    Check(SND_ResumePlay(&spec), "playing the sound");
    if (state.done) break;
    if (std::chrono::steady_clock::now() > limit) Fail("the sound output stopped playing");
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (Interrupted()) Fail("interrupted", kExitInterrupted);
  std::printf("played %s on %s\n", Describe(info).c_str(), output.c_str());
  return kExitDone;
}

void AddSoundOptions(CLI::App& sub, AudioOptions& o) {
  sub.add_option("PROJECT", o.project, "project file, or a .json project description")->required();
  AddCompOption(sub, o.comp);
  sub.add_option("--rate", o.rate, "samples a second (default 48000)");
  sub.add_option("--channels", o.channels, "1 (mono) or 2 (stereo, the default)");
}

}  // namespace

void AddAudioCommands(CLI::App& app, Dispatch& d) {
  static AudioOptions audio, play;
  auto* a = app.add_subcommand("audio", "render a composition's sound to a WAV or AIFF file");
  AddSoundOptions(*a, audio);
  a->add_option("-o,--output", audio.output, "the sound file (.wav, .aif or .aiff)")->required();
  a->add_option("--bits", audio.bits, "bits a sample: 16 (default), 24, or 32 (floating point)");
  AddCommonOptions(*a, d.common, true);
  a->callback([&d] { d.run = [&d] { return Audio(audio, d.common); }; });

  auto* p = app.add_subcommand("play", "play a composition's sound on the sound output");
  AddSoundOptions(*p, play);
  p->add_option("--device", play.device,
                "the sound output: alsa:<device>, null, or file:<path>.wav (default: TAVELO_AUDIO_OUTPUT, "
                "else alsa:default)");
  AddCommonOptions(*p, d.common, true);
  p->callback([&d] { d.run = [&d] { return Play(play, d.common); }; });
}

}  // namespace tavelo
