// `tavelo formats` (and `tavelo --list-formats`): what the engine reads
// (its footage modules and the extensions they claim) and what it writes
// (the table of outputs: still formats, sound files, movie containers and
// their codecs, with alpha and sound).
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

#include "OutputFormats.h"
#include "PIN.h"
#include "cli.h"
#include "session.h"

namespace tavelo {
namespace {

namespace out = tv::outputs;

std::string Extensions(const PIN_ModuleInfo& m) {
  std::string list;
  for (int i = 0; i < m.numExtensions && i < PIN_MaxExtensions; ++i) {
    std::string ext;
    for (int b = 3; b >= 0; --b) {
      const char c = static_cast<char>((m.extensions[i] >> (8 * b)) & 0xFF);
      if (c != ' ' && c != 0 && c != '.') ext += c;
    }
    if (!ext.empty()) list += (list.empty() ? "" : " ") + ext;
  }
  return list;
}

int Formats(const Common& common) {
  std::printf("Writes (render, frame, sheet; farm assemble; Python):\n");
  std::printf("  stills:\n");
  for (const out::StillFormat& f : out::kStills)
    std::printf("    %-10s %-32s %s\n",
                (std::string(f.ext) + (f.alias.empty() ? "" : "/" + std::string(f.alias))).c_str(),
                std::string(f.description).c_str(), f.alpha ? "alpha" : "no alpha (over the background colour)");
  std::printf("  movies (--codec; the first is the default):\n");
  for (const out::Container& c : out::kContainers) {
    std::printf("    %-10s %s, %s sound\n", std::string(c.ext).c_str(), std::string(c.description).c_str(),
                std::string(out::SoundCodecName(c.sound)).c_str());
    for (FourCC k : c.codecs) {
      if (!k) continue;
      const out::Codec* codec = out::CodecOf(k);
      std::printf("      %-12s %-4s %-36s %s\n", std::string(codec->name).c_str(),
                  std::string(out::FourCCText(k).view()).c_str(), std::string(codec->description).c_str(),
                  codec->alpha ? "alpha" : "no alpha (over the background colour)");
    }
  }
  std::printf("  sound (audio):\n");
  for (const out::SoundFile& f : out::kSoundFiles)
    std::printf("    %-10s %s\n", (std::string(f.ext) + (f.alias.empty() ? "" : "/" + std::string(f.alias))).c_str(),
                std::string(f.description).c_str());
  std::printf("  standard output (render -o -): a PNG stream (alpha), or raw RGBA with --format raw\n");
  Common quiet = common;
  quiet.level = LogLevel::Quiet;
  Session session(quiet);
  int32_t count = 0;
  Check(PIN_GetNumModules(&count), "listing the footage modules");
  std::printf("Reads (footage):\n");
  for (int32_t i = 0; i < count; ++i) {
    PIN_ModuleInfo m{};
    if (PIN_GetModuleInfo(i, 0, &m) != 0) continue;
    const std::string exts = Extensions(m);
    if (exts.empty()) continue;  // stands in for missing footage
    std::printf("  %-14s %s%s\n", m.name, exts.c_str(),
                m.signature == tv::MakeFourCC("MooV") ? " (and whatever else FFmpeg recognises, with sound)" : "");
  }
  return kExitDone;
}

}  // namespace

void AddFormatsCommand(CLI::App& app, Dispatch& d) {
  auto* sub = app.add_subcommand("formats", "list the formats read and written, with alpha and sound");
  sub->callback([&d] { d.run = [&d] { return Formats(d.common); }; });
  app.add_flag_callback("--list-formats", [&d] { d.run = [&d] { return Formats(d.common); }; },
                        "list the formats read and written (as `tavelo formats`)");
}

}  // namespace tavelo
