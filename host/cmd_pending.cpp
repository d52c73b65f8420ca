// Sub-commands whose engine side is not part of this build yet. Each takes
// its arguments (so its help is right) and ends with exit 1 and a message
// saying what is missing; none pretends to work.
#include <CLI/CLI.hpp>

#include "cli.h"

namespace tavelo {
namespace {

struct Pending {
  std::string project, comp, output, direction;
};

}  // namespace

void AddPendingCommands(CLI::App& app, Dispatch& d) {
  static Pending opts;
  auto unavailable = [&d](std::string what) {
    return [&d, what] {
      d.run = [what]() -> int { Fail(what + " is not available in this build"); };
    };
  };
  auto* audio = app.add_subcommand("audio", "render a composition's sound to a WAV file (not in this build yet)");
  audio->add_option("PROJECT", opts.project, "project file or description")->required();
  audio->add_option("--comp", opts.comp, "the composition")->required();
  audio->add_option("-o,--output", opts.output, "the sound file to write")->required();
  audio->callback(unavailable("`tavelo audio`: audio rendering"));

  auto* play = app.add_subcommand("play", "play a composition's sound (not in this build yet)");
  play->add_option("PROJECT", opts.project, "project file or description")->required();
  play->add_option("--comp", opts.comp, "the composition")->required();
  play->callback(unavailable("`tavelo play`: sound output"));

  auto* keys = app.add_subcommand("keys", "keyframe text on standard output (copy) or input (paste) (not in this build yet)");
  keys->add_option("DIRECTION", opts.direction, "copy or paste")->required()->check(CLI::IsMember({"copy", "paste"}));
  keys->allow_extras();
  keys->callback(unavailable("`tavelo keys`: the keyframe clipboard"));
}

}  // namespace tavelo
