// `tavelo keys copy`: keyframes of one layer as keyframe text on standard
// output (the engine's clipboard text, CR LF line ends, numbers in the C
// locale); `tavelo keys paste`: keyframe text from standard input pasted
// onto a layer (or one of its streams) at a time, and the project saved.
// Both go through the engine's selection, scrap and keyframe-text
// operations, so the text is the one the engine's clipboard exchanges.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>

#include "Memory.h"
#include "cli.h"
#include "image_file.h"
#include "project.h"
#include "session.h"

namespace tavelo {
namespace {

struct KeysOptions {
  std::string direction, project, comp, layer, from, to, time, output;
  std::vector<std::string> streams;
};

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

std::string LayerName(BEE_Layer layer) {
  char name[32] = {};
  BEE_GetLayerName(layer, name);
  return name;
}

// The layer named name, or with that number (1 = top) when no layer has
// that name.
BEE_Layer FindLayer(BEE_Item comp, const std::string& name) {
  int32_t count = 0;
  Check(BEE_GetCompNumLayers(comp, &count), "reading the layers");
  std::vector<BEE_Layer> layers;
  std::string names;
  for (int32_t i = 0; i < count; ++i) {
    BEE_Layer l = nullptr;
    Check(BEE_GetIndLayer(comp, i, &l), "reading the layers");
    layers.push_back(l);
    if (LayerName(l) == name) return l;
    names += std::string(names.empty() ? "" : ", ") + "\"" + LayerName(l) + "\"";
  }
  char* end = nullptr;
  const long n = std::strtol(name.c_str(), &end, 10);
  if (!name.empty() && *end == 0 && n >= 1 && n <= count) return layers[static_cast<size_t>(n - 1)];
  Fail("no layer named \"" + name + "\" (the composition has " + (names.empty() ? "none" : names) +
           "; or give its number, 1 for the top layer, as `tavelo info` numbers them)",
       kExitUsage);
}

// A stream by its name ("Position", any case) or its index.
int32_t StreamIndex(const std::string& text) {
  std::string known;
  for (int32_t i = BEE_StreamAnchorPoint; i <= BEE_StreamTimeRemap; ++i) {
    char name[32] = {}, unit[32] = {};
    int16_t dimension = 0;
    if (BEE_GetStreamDescription(i, name, unit, &dimension)) continue;
    if (Lower(name) == Lower(text)) return i;
    known += std::string(known.empty() ? "" : ", ") + name;
  }
  char* end = nullptr;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (!text.empty() && *end == 0 && n >= 0 && n < (1L << 20)) return static_cast<int32_t>(n);
  Fail("unknown stream \"" + text + "\" (" + known + ", or a stream index)", kExitUsage);
}

// The composition time of --from / --to: seconds ("1.5") or a frame
// ("36f"); keys may lie at or past the composition's end, so any time from
// 0 is taken.
double Seconds(const std::string& text, BEE_Item comp) {
  const FrameGrid g = GridOf(comp);
  const bool frames = !text.empty() && text.back() == 'f';
  const std::string number = frames ? text.substr(0, text.size() - 1) : text;
  char* end = nullptr;
  const double v = std::strtod(number.c_str(), &end);
  const bool decimal = number.find_first_not_of("0123456789.+-eE") == std::string::npos;
  if (number.empty() || !decimal || *end != 0 || !(v >= 0) || v > 1e9)
    Fail("bad time \"" + text + "\" (seconds such as 1.5, or a frame such as 45f)", kExitUsage);
  return frames ? v * g.frame.value / g.frame.scale : v;
}
Time TimeOf(const std::string& text, BEE_Item comp) {
  const FrameGrid g = GridOf(comp);
  return Time{static_cast<int32_t>(ParseFrameTime(text, comp) * g.frame.value), g.frame.scale};
}

struct Selection {
  BEE_Selection s = nullptr;
  Selection() { Check(BEE_NewSelection(&s), "making a selection"); }
  ~Selection() { BEE_DisposeSelection(s); }
};
struct Scrap {
  BEE_Scrap s = nullptr;
  ~Scrap() { BEE_DisposeScrap(s); }
};

// Selects the keys of the layer's stream whose composition times lie in
// from..to; deselects the stream when it has none there. Answers the count.
int32_t SelectKeysIn(BEE_Selection sel, BEE_Layer layer, int32_t index, double from, double to) {
  BEE_StreamRef ref{layer, index};
  TDB_Stream stream = nullptr;
  int32_t keys = 0, picked = 0;
  if (BEE_StreamLookup(&ref, &stream) == 0 && stream) TDB_GetNumKeys(stream, &keys);
  for (int32_t k = 0; k < keys; ++k) {
    Time layerTime{}, compTime{};
    if (TDB_IndexToTime(stream, k, &layerTime) || BEE_LayerToCompTime(layer, layerTime, &compTime)) continue;
    const double t = static_cast<double>(compTime.value) / compTime.scale;
    // Within half a step of the 1/24000 s grid, as times given for frames
    // are taken (a 29.97 fps frame's time written to 7 places).
    constexpr double kNear = 0.5 / 24000;
    if (t < from - kNear || t > to + kNear) continue;
    Check(BEE_SelectKeyframe(sel, layer, index, k, 1, nullptr), "selecting keyframes");
    ++picked;
  }
  if (picked == 0) {
    BEE_SelDesc d{BEE_SelKindStream, layer, index, 0};
    BEE_Select(sel, 0, &d, nullptr);
  }
  return picked;
}

int Copy(const KeysOptions& o, const Common& common) {
  Session session(common);
  LoadProject(o.project);
  BEE_Item comp = FindComp(o.comp);
  BEE_Layer layer = FindLayer(comp, o.layer);
  const bool ranged = !o.from.empty() || !o.to.empty();
  const double from = o.from.empty() ? -1e300 : Seconds(o.from, comp);
  const double to = o.to.empty() ? 1e300 : Seconds(o.to, comp);
  if (from > to) Fail("--from is after --to", kExitUsage);
  Scrap scrap;
  if (o.streams.empty() && !ranged) {
    Check(BEE_CopyLayerStreamsToNewScrap(layer, &scrap.s), "copying the layer's keyframes");
  } else {
    Selection sel;
    std::vector<int32_t> indices;
    if (o.streams.empty()) {
      // Every stream of the layer, then only those with keys in the range.
      BEE_SelDesc all{BEE_SelKindStream, layer, 0, 0};
      Check(BEE_SelectAll(sel.s, 1, &all), "selecting the layer's streams");
      int32_t count = 0;
      Check(BEE_CountSelected(sel.s, &all, &count), "selecting the layer's streams");
      for (int32_t i = 0; i < count; ++i) {
        BEE_SelDesc thing{};
        Check(BEE_GetIndSelected(sel.s, &all, i, &thing), "selecting the layer's streams");
        indices.push_back(static_cast<int32_t>(thing.index));
      }
    } else {
      for (const std::string& s : o.streams) {
        const int32_t index = StreamIndex(s);
        BEE_SelDesc d{BEE_SelKindStream, layer, index, 0};
        Check(BEE_Select(sel.s, 1, &d, nullptr), "selecting stream \"" + s + "\"");
        indices.push_back(index);
      }
    }
    int32_t picked = 0;
    if (ranged)
      for (int32_t index : indices) picked += SelectKeysIn(sel.s, layer, index, from, to);
    if (ranged && picked == 0) Fail("no keyframes of layer \"" + LayerName(layer) + "\" in that time range");
    Check(BEE_CopyKeysToNewScrap(sel.s, &scrap.s), "copying the keyframes");
  }
  uint32_t type = 0;
  Handle text = nullptr;
  Check(BEE_ConvertScrapToPublic(scrap.s, &type, &text), "converting the keyframes to text");
  const size_t size = static_cast<size_t>(GetHandleSize(text));
  std::fwrite(*text, 1, size > 0 ? size - 1 : 0, stdout);  // without the terminating zero
  DisposeHandle(text);
  return kExitDone;
}

int Paste(const KeysOptions& o, const Common& common) {
  std::string output = o.output;
  if (output.empty()) {
    if (ExtensionOf(o.project) == "json")
      Fail("give -o: a description is not rewritten; the result is saved as a project file", kExitUsage);
    output = o.project;
  }
  if (o.streams.size() > 1) Fail("paste takes one --stream at most", kExitUsage);
  const std::string text{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
  if (text.size() > (1u << 30)) Fail("the keyframe text is too large");
  Session session(common);
  LoadProject(o.project);
  BEE_Item comp = FindComp(o.comp);
  BEE_Layer layer = FindLayer(comp, o.layer);
  Scrap scrap;
  const char* data = text.data();
  const auto size = static_cast<int32_t>(text.size());
  Check(BEE_ConvertScrapFromPublic(BEE_PublicText, data, size, &scrap.s), "reading the keyframe text");
  if (!scrap.s && text.rfind("%!", 0) == 0)
    Check(BEE_ConvertScrapFromPublic(BEE_PublicPath, data, size, &scrap.s), "reading the mask path");
  if (!scrap.s) Fail("standard input holds no keyframe text (it begins with the keyframe header; see `tavelo keys copy`)");
  BEE_ScrapInfo info{};
  Check(BEE_GetScrapInfo(scrap.s, &info), "reading the keyframe text");
  const Time at = o.time.empty() ? Time{0, 1} : TimeOf(o.time, comp);
  Check(BEE_CmdSeekItemToTime(comp, at), "moving to the paste time");
  // The engine takes nothing over: the scrap stays the host's.
  if (o.streams.empty()) Check(BEE_CmdPasteKeyframesIntoLayer(layer, scrap.s), "pasting the keyframes");
  else Check(BEE_CmdPasteKeyframesIntoStream(layer, StreamIndex(o.streams[0]), scrap.s), "pasting the keyframes");
  SaveProject(output);
  std::printf("pasted %s onto layer \"%s\" at %.3f s; wrote %s\n", Count(info.count, "stream").c_str(),
              LayerName(layer).c_str(), static_cast<double>(at.value) / at.scale, output.c_str());
  return kExitDone;
}

}  // namespace

void AddKeysCommand(CLI::App& app, Dispatch& d) {
  static KeysOptions o;
  auto* sub = app.add_subcommand(
      "keys", "keyframes as text: copy a layer's to standard output, paste them from standard input and save");
  sub->add_option("DIRECTION", o.direction, "copy or paste")->required()->check(CLI::IsMember({"copy", "paste"}));
  sub->add_option("PROJECT", o.project, "project file, or a .json project description")->required();
  AddCompOption(*sub, o.comp);
  sub->add_option("-l,--layer", o.layer, "the layer: its name, or its number (1 is the top layer, as `tavelo info` numbers them)")->required();
  sub->add_option("-s,--stream", o.streams,
                  "a stream by name (Position, Scale, Rotation, Opacity, Anchor Point ...) or index; copy: may be "
                  "repeated (default: every stream with a value); paste: the one stream to paste into");
  sub->add_option("--from", o.from, "copy: keyframes from this composition time (seconds or 12f)");
  sub->add_option("--to", o.to, "copy: keyframes up to this time, included");
  sub->add_option("-t,--time", o.time, "paste: the frame the first keyframe lands on: seconds (2.5, the frame at or before) or a frame (60f); default 0");
  sub->add_option("-o,--output", o.output, "paste: the project file to save (default: PROJECT itself)");
  AddCommonOptions(*sub, d.common, true);
  sub->callback([&d] {
    d.run = [&d] {
      if (o.direction == "copy") {
        if (!o.time.empty() || !o.output.empty()) Fail("copy takes no --time nor --output", kExitUsage);
        return Copy(o, d.common);
      }
      if (!o.from.empty() || !o.to.empty()) Fail("paste takes no --from nor --to", kExitUsage);
      return Paste(o, d.common);
    };
  });
}

}  // namespace tavelo
