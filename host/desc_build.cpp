// Building a project from a description: footage first, then every
// composition's settings (so layers may nest compositions listed later),
// then each composition's layers from the bottom up.
#include "desc_build.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "FILE.h"
#include "PF.h"
#include "PIN.h"
#include "description.h"
#include "session.h"

namespace tavelo::desc {
namespace {

Ratio RatioOf(double v) {
  // Thousandths hold the usual pixel aspects (0.9, 1.0926 ...) closely enough
  // and keep stretch factors readable.
  return Ratio{static_cast<int32_t>(std::llround(v * 10000)), 10000};
}

struct Builder {
  std::string file;     // the description's name for messages
  std::string baseDir;  // where relative footage paths start
  std::map<std::string, BEE_Item> items;

  std::string Where(const Node& n) const { return file + ": " + n.path; }

  void Footage(const Node& n) {
    n.Only({"name", "file", "sequence", "fps"});
    const std::string name = n.Need("name").Name();
    if (items.count(name)) n.Need("name").Error("the name \"" + name + "\" is used twice");
    Node f = n.Need("file");
    std::filesystem::path p = f.String();
    if (p.is_relative()) p = std::filesystem::path(baseDir) / p;
    const std::string path = AbsolutePath(p.string());
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) f.Error("no file \"" + path + "\"");
    bool sequence = false;
    if (auto s = n.Get("sequence")) sequence = s->Bool();
    FILE_SpecH spec = nullptr;
    Check(FILE_New(path.c_str(), FILE_LocFullPath, &spec), Where(f) + ": naming the file");
    BEE_Item item = nullptr;
    ErrorCode err = BEE_CmdImportFootage(nullptr, spec, sequence ? PIN_Import_Sequence : 0, &item);
    FILE_Dispose(spec);
    Check(err, Where(f) + ": importing \"" + path + "\"");
    Check(BEE_CmdRenameItem(item, name.c_str()), Where(n) + ": naming the footage");
    if (auto fps = n.Get("fps")) {
      const double rate = fps->Number(0.01, 1000);
      PIN_SeqSpecH seq = nullptr;
      PIN_Interpretation interp{};
      Check(BEE_GetFootageSeqSpec(item, &seq), Where(*fps) + ": reading the footage");
      Check(PIN_GetInterpretation(seq, &interp), Where(*fps) + ": reading the interpretation");
      // A still sequence's rate is its own; footage with time is conformed.
      const auto fixedRate = static_cast<Fixed>(std::llround(rate * 65536));
      if (interp.moduleHasTime) interp.conformedRate = fixedRate;
      else interp.nativeRate = fixedRate;
      Check(BEE_CmdInterpretFootage(item, &interp), Where(*fps) + ": setting the frame rate");
    }
    items[name] = item;
  }

  BEE_Item Comp(const Node& n) {
    n.Only({"name", "width", "height", "fps", "duration", "pixelAspect", "background", "motionBlur", "layers"});
    BEE_CompSettings s{};
    const std::string name = n.Need("name").Name();
    if (items.count(name)) n.Need("name").Error("the name \"" + name + "\" is used twice");
    std::strncpy(s.name, name.c_str(), sizeof s.name - 1);
    s.width = static_cast<uint16_t>(n.Need("width").Int(1, 30000));
    s.height = static_cast<uint16_t>(n.Need("height").Int(1, 30000));
    double fps = 30;
    if (auto f = n.Get("fps")) fps = f->Number(0.01, 999);
    s.frameRate = static_cast<uint32_t>(std::llround(fps * 65536));
    s.duration = n.Need("duration").Seconds();
    if (s.duration.value <= 0) n.Need("duration").Error("must be more than 0");
    s.secondTime = Time{0, 600};
    s.pixelAspect = Ratio{1, 1};
    if (auto pa = n.Get("pixelAspect")) s.pixelAspect = RatioOf(pa->Number(0.01, 100));
    s.dsfH = s.dsfV = 1;
    BEE_Item comp = nullptr;
    Check(BEE_CmdNewComp(nullptr, &s, &comp), Where(n) + ": making the composition");
    if (auto bg = n.Get("background"))
      Check(BEE_CmdSetBackgroundColor(comp, bg->Colour()), Where(*bg) + ": setting the background");
    if (auto mb = n.Get("motionBlur"))
      Check(BEE_CmdSetCompSwitch(comp, BEE_CompSwitchMotionBlur, mb->Bool()), Where(*mb) + ": motion blur");
    items[name] = comp;
    return comp;
  }

  void Layers(BEE_Item comp, const Node& list) {
    for (size_t i = 0; i < list.Size(); ++i) Layer(comp, list.At(i));
  }

  void Layer(BEE_Item comp, const Node& n) {
    n.Only({"name", "solid", "source", "text", "in", "out", "offset", "stretch", "quality", "mode", "trackMatte",
            "motionBlur", "visible", "anchor", "position", "scale", "rotation", "opacity", "masks", "effects"});
    auto solid = n.Get("solid");
    auto source = n.Get("source");
    auto text = n.Get("text");
    if ((solid ? 1 : 0) + (source ? 1 : 0) + (text ? 1 : 0) != 1)
      n.Error("a layer has one of \"solid\", \"source\" or \"text\"");
    BEE_Layer layer = nullptr;
    if (text) {
      layer = AddTextLayer(comp, n, *text);
    } else if (solid) {
      solid->Only({"color", "width", "height"});
      BEE_SolidSettings s{};
      std::string name = "Solid";
      if (auto nm = n.Get("name")) name = nm->Name();
      std::strncpy(s.name, name.c_str(), sizeof s.name - 1);
      s.color = solid->Need("color").Colour();
      int32_t w = 0, h = 0;
      BEE_GetItemDimensions(comp, &w, &h);
      s.width = static_cast<uint16_t>(solid->Get("width") ? solid->Need("width").Int(1, 30000) : w);
      s.height = static_cast<uint16_t>(solid->Get("height") ? solid->Need("height").Int(1, 30000) : h);
      Check(BEE_CmdNewSolidLayer(comp, &s, &layer), Where(*solid) + ": making the solid layer");
    } else {
      const std::string name = source->String();
      auto it = items.find(name);
      if (it == items.end()) source->Error("no footage or composition named \"" + name + "\"");
      Boolean32 valid = 0;
      Check(BEE_ValidSource(comp, it->second, &valid), Where(*source) + ": checking the source");
      if (!valid) source->Error("\"" + name + "\" cannot be a layer here (it contains this composition)");
      Check(BEE_CmdNewLayer(comp, it->second, &layer), Where(*source) + ": making the layer");
      if (auto nm = n.Get("name")) Check(BEE_CmdRenameLayer(layer, nm->Name().c_str()), Where(*nm) + ": naming the layer");
    }
    Times(layer, n);
    if (auto st = n.Get("stretch"))
      Check(BEE_CmdSetLayerStretch(layer, RatioOf(st->Number(-100, 100))), Where(*st) + ": stretching the layer");
    if (auto q = n.Get("quality")) {
      const int16_t qualities[] = {BEE_QualityWireframe, BEE_QualityDraft, BEE_QualityBest};
      Check(BEE_CmdSetLayerQuality(layer, qualities[q->Choice({"wireframe", "draft", "best"})]), Where(*q) + ": quality");
    }
    Transfer(layer, n);
    if (auto mb = n.Get("motionBlur"))
      Check(BEE_CmdSetLayerSwitch(layer, BEE_SwitchMotionBlur, mb->Bool()), Where(*mb) + ": motion blur");
    if (auto v = n.Get("visible"))
      Check(BEE_CmdSetLayerSwitch(layer, BEE_SwitchVideo, v->Bool()), Where(*v) + ": visibility");
    const struct {
      const char* key;
      int32_t index;
      bool scalar;
    } props[] = {{"anchor", BEE_StreamAnchorPoint, false},
                 {"position", BEE_StreamPosition, false},
                 {"scale", BEE_StreamScale, true},
                 {"rotation", BEE_StreamRotation, false},
                 {"opacity", BEE_StreamOpacity, false}};
    for (const auto& p : props)
      if (auto v = n.Get(p.key)) SetProperty(layer, p.index, *v, p.scalar);
    if (auto m = n.Get("masks")) AddMasks(layer, *m);
    if (auto e = n.Get("effects")) AddEffects(layer, *e);
  }

  void Times(BEE_Layer layer, const Node& n) {
    auto in = n.Get("in");
    auto out = n.Get("out");
    auto offset = n.Get("offset");
    if (!in && !out && !offset) return;
    Time t[3]{};
    const int32_t which[3] = {BEE_LayerTimeOffset, BEE_LayerTimeIn, BEE_LayerTimeOut};
    for (int i = 0; i < 3; ++i) Check(BEE_GetLayerTime(layer, which[i], &t[i], nullptr), Where(n) + ": layer times");
    if (offset) t[0] = offset->Seconds();
    if (in) t[1] = in->Seconds();
    if (out) t[2] = out->Seconds();
    Check(BEE_CmdSetLayerTimes(layer, t[0], t[1], t[2]), Where(n) + ": setting in, out and offset");
  }

  void Transfer(BEE_Layer layer, const Node& n) {
    auto mode = n.Get("mode");
    auto matte = n.Get("trackMatte");
    if (!mode && !matte) return;
    BEE_TransferSettings t{};
    Check(BEE_GetLayerTransfer(layer, &t), Where(n) + ": reading the transfer mode");
    if (mode)
      t.mode = static_cast<uint32_t>(mode->Choice({"copy", "behind", "normal", "dissolve", "add", "multiply", "screen",
                                                   "overlay", "softLight", "hardLight", "darken", "lighten",
                                                   "difference", "hue", "saturation", "colour", "luminosity",
                                                   "alphaStencil", "lumaStencil", "alphaCutout", "lumaCutout",
                                                   "premulOver", "alphaAdd", "colourDodge", "colourBurn",
                                                   "exclusion"}));
    if (matte)
      t.trackMatte = static_cast<uint32_t>(matte->Choice({"none", "alpha", "alphaInverted", "luma", "lumaInverted"}));
    Check(BEE_CmdSetTransfer(layer, t.mode, t.flags, t.trackMatte), Where(mode ? *mode : *matte) + ": transfer");
  }

  void Build(const Json& root) {
    Node top{root, "", &file};
    top.Only({"version", "footage", "comps"});
    if (auto v = top.Get("version"))
      if (v->Int(1, 1000) != 1) v->Error("this tavelo reads version 1 descriptions");
    if (auto f = top.Get("footage"))
      for (size_t i = 0; i < f->Size(); ++i) Footage(f->At(i));
    Node comps = top.Need("comps");
    if (comps.Size() == 0) comps.Error("a project needs at least one composition");
    std::vector<BEE_Item> made;
    for (size_t i = 0; i < comps.Size(); ++i) made.push_back(Comp(comps.At(i)));
    for (size_t i = 0; i < comps.Size(); ++i)
      if (auto layers = comps.At(i).Get("layers")) Layers(made[i], *layers);
  }
};

}  // namespace
}  // namespace tavelo::desc

namespace tavelo {

void BuildDescriptionText(const std::string& text, const std::string& name, const std::string& baseDir) {
  desc::Json root;
  try {
    root = desc::Json::parse(text);
  } catch (const desc::Json::parse_error& e) {
    // The parser counts bytes; a line and column are what an editor shows.
    size_t line = 1, column = 1;
    for (size_t i = 0; i + 1 < e.byte && i < text.size(); ++i) {
      if (text[i] == '\n') {
        ++line;
        column = 1;
      } else {
        ++column;
      }
    }
    std::string what = e.what();
    const size_t colon = what.rfind(": ");
    if (colon != std::string::npos) what = what.substr(colon + 2);
    Fail(name + ": line " + std::to_string(line) + ", column " + std::to_string(column) + ": not valid JSON (" +
         what + ")");
  }
  desc::Builder b{name, baseDir, {}};
  b.Build(root);
}

void BuildDescriptionFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("cannot read \"" + path + "\": " + std::strerror(errno));
  std::stringstream ss;
  ss << in.rdbuf();
  BuildDescriptionText(ss.str(), path, std::filesystem::path(AbsolutePath(path)).parent_path().string());
}

}  // namespace tavelo
