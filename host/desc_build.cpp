// Building a project from a description: the render settings, footage,
// then every composition's settings (so layers may nest compositions listed
// later), then each composition's layers from the bottom up.
#include "desc_build.h"

#include <algorithm>
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
#include "T.h"
#include "description.h"
#include "session.h"

namespace tavelo {
namespace {
DescriptionRender gRender;
}  // namespace

const DescriptionRender& LastDescriptionRender() { return gRender; }

}  // namespace tavelo

namespace tavelo::desc {
namespace {

// The layer switches a description sets, as on or off.
struct SwitchKey {
  const char* key;
  uint32_t bit;
  bool inverted;  // the key says the opposite of the bit ("audio" on is mute off)
};
constexpr SwitchKey kLayerSwitches[] = {
    {"visible", BEE_SwitchVideo, false},          {"motionBlur", BEE_SwitchMotionBlur, false},
    {"effectsOn", BEE_SwitchEffects, false},      {"collapse", BEE_SwitchCollapse, false},
    {"autoOrient", BEE_SwitchOrient, false},      {"audio", BEE_SwitchAudioMute, true},
    {"frameBlend", BEE_SwitchFrameBlend, false},
};

// A file reference for the engine, disposed whatever happens.
struct FileName {
  FILE_SpecH spec = nullptr;
  FileName(const std::string& path, const Node& n) { Check(FILE_New(path.c_str(), FILE_LocFullPath, &spec), n, "naming the file"); }
  ~FileName() {
    if (spec) FILE_Dispose(spec);
  }
  FileName(const FileName&) = delete;
  FileName& operator=(const FileName&) = delete;
};

struct Builder {
  const Source& src;
  std::string baseDir;  // where relative footage paths start
  DescriptionOptions options;
  std::map<std::string, BEE_Item> items;

  // A file a description names, as an absolute path that exists.
  std::string FilePath(const Node& f) const {
    if (!options.readFiles) f.Error("files are not read here");
    std::filesystem::path p = f.String();
    if (p.is_relative()) p = std::filesystem::path(baseDir) / p;
    const std::string path = AbsolutePath(p.string());
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) f.Error("no file " + Echo(path));
    if (std::filesystem::is_directory(path, ec))
      f.Error(Echo(path) + " is a folder, not a file (a numbered sequence is named by one of its files)");
    return path;
  }

  // {"file", "sequence", "on"}: the item's proxy.
  void Proxy(BEE_Item item, const Node& n) {
    n.Only({"file", "sequence", "on"});
    const Node f = n.Need("file");
    const std::string path = FilePath(f);
    uint32_t options = 0;
    if (auto s = n.Get("sequence")) options = s->Bool() ? PIN_Import_Sequence : 0;
    FileName file(path, f);
    PIN_SeqSpecH seq = nullptr;
    Check(PIN_NewSeqSpecFromFileOptions(file.spec, options, &seq), f, "reading " + Echo(path));
    const ErrorCode err = BEE_CmdSetProxy(item, seq);
    if (err) PIN_DisposeSeqSpec(seq);
    Check(err, n, "setting the proxy");
    bool on = true;
    if (auto o = n.Get("on")) on = o->Bool();
    Check(BEE_CmdProxyToggle(item, on), n, on ? "showing the proxy" : "hiding the proxy");
  }

  void Footage(const Node& n) {
    n.Only({"name", "file", "sequence", "fps", "proxy", "interpretation"});
    const Node nameNode = n.Need("name");
    const std::string name = nameNode.Name();
    if (items.count(name)) nameNode.Error("the name " + Echo(name) + " is used twice");
    const Node f = n.Need("file");
    const std::string path = FilePath(f);
    bool sequence = false;
    if (auto s = n.Get("sequence")) sequence = s->Bool();
    FileName file(path, f);
    BEE_Item item = nullptr;
    Check(BEE_CmdImportFootage(nullptr, file.spec, sequence ? PIN_Import_Sequence : 0, &item), f,
          "importing " + Echo(path));
    Check(BEE_CmdRenameItem(item, name.c_str()), n, "naming the footage");
    auto in = n.Get("interpretation");
    if (auto fps = n.Get("fps")) {
      if (in && in->Get("fps")) fps->Error("the rate is given in \"interpretation\" too");
      PIN_SeqSpecH seq = nullptr;
      PIN_Interpretation interp{};
      Check(BEE_GetFootageSeqSpec(item, &seq), *fps, "reading the footage");
      Check(PIN_GetInterpretation(seq, &interp), *fps, "reading the interpretation");
      SetRate(interp, *fps);
      Check(BEE_CmdInterpretFootage(item, &interp), *fps, "setting the frame rate");
    }
    if (in) Interpret(item, *in);
    if (auto p = n.Get("proxy")) Proxy(item, *p);
    items[name] = item;
  }

  // A still sequence's rate is its own; footage with time is conformed.
  static void SetRate(PIN_Interpretation& interp, const Node& fps) {
    const auto rate = static_cast<Fixed>(std::llround(fps.Number(0.01, 999) * 65536));
    if (interp.moduleHasTime) interp.conformedRate = rate;
    else interp.nativeRate = rate;
  }

  // How the footage's pixels and time are read: fields, 3:2 pulldown, rate,
  // alpha (given or guessed from the pixels) and pixel aspect.
  static void Interpret(BEE_Item item, const Node& n) {
    n.Only({"fields", "pulldown", "fps", "alpha", "matte", "pixelAspect"});
    PIN_SeqSpecH seq = nullptr;
    PIN_Interpretation interp{};
    Check(BEE_GetFootageSeqSpec(item, &seq), n, "reading the footage");
    Check(PIN_GetInterpretation(seq, &interp), n, "reading the interpretation");
    if (auto f = n.Get("fields")) {
      const int32_t order = f->Choice({"off", "upperFirst", "lowerFirst"});
      interp.field.separate = order != 0;
      interp.field.dominance = order == 2 ? 1 : 0;
      if (order == 0) interp.pulldown = 0;
    }
    if (auto p = n.Get("pulldown")) {
      if (p->IsNumber()) {
        interp.pulldown = static_cast<uint32_t>(p->Int(0, 5));
      } else if (p->Choice({"off", "guess"}) == 0) {
        interp.pulldown = 0;
      } else {
        uint32_t order = 0, phase = 0;
        Boolean32 asked = 0;
        Check(PIN_GuessPulldown(seq, &order, &phase, &asked), *p, "guessing the pulldown");
        if (phase == 0) p->Error("no 3:2 pulldown is seen in the footage's first frames");
        interp.field.separate = 1;
        interp.field.dominance = order == 2 ? 1 : 0;
        interp.pulldown = phase;
      }
      if (interp.pulldown != 0 && !interp.field.separate)
        p->Error("removing 3:2 pulldown needs \"fields\" (\"upperFirst\" or \"lowerFirst\")");
    }
    if (auto fps = n.Get("fps")) SetRate(interp, *fps);
    if (auto a = n.Get("alpha")) {
      const int32_t kind = a->Choice({"straight", "premultiplied", "ignore", "guess"});
      if (kind == 3) {
        Boolean32 asked = 0;
        Check(PIN_GuessAlphaType(seq, &interp.alpha, &asked), *a, "guessing the alpha");
      } else {
        const uint8_t types[] = {PIN_Alpha_Straight, PIN_Alpha_Premul, PIN_Alpha_Ignore};
        interp.alpha.type = types[kind];
        interp.alpha.red = interp.alpha.green = interp.alpha.blue = 0;
      }
    }
    if (auto m = n.Get("matte")) {
      if (interp.alpha.type != PIN_Alpha_Premul) m->Error("a matte colour goes with \"alpha\": \"premultiplied\"");
      const uint32_t c = m->Colour();
      interp.alpha.red = static_cast<uint8_t>(c >> 16);
      interp.alpha.green = static_cast<uint8_t>(c >> 8);
      interp.alpha.blue = static_cast<uint8_t>(c);
    }
    if (auto pa = n.Get("pixelAspect")) FootageAspectOf(pa->Number(0.01, 100), interp.hsfNum, interp.hsfDen);
    interp.alpha.flags = interp.alpha.type == PIN_Alpha_Premul ? 1 : 0;
    Check(BEE_CmdInterpretFootage(item, &interp), n, "interpreting the footage");
  }

  BEE_Item Comp(const Node& n) {
    n.Only({"name", "width", "height", "fps", "duration", "pixelAspect", "background", "motionBlur", "frameBlending", "layers",
            "proxy"});
    BEE_CompSettings s{};
    const Node nameNode = n.Need("name");
    const std::string name = nameNode.Name();
    if (items.count(name)) nameNode.Error("the name " + Echo(name) + " is used twice");
    std::memcpy(s.name, name.data(), name.size());
    s.width = static_cast<uint16_t>(n.Need("width").Int(1, 30000));
    s.height = static_cast<uint16_t>(n.Need("height").Int(1, 30000));
    double fps = 30;
    if (auto f = n.Get("fps")) fps = f->Number(0.01, 999);
    s.frameRate = static_cast<uint32_t>(std::llround(fps * 65536));
    // Its frames as the engine counts them (29.97 fps: 1001/30000 s), so
    // that a duration of frame times holds those frames.
    Time frameTime{0, 1};
    Check(T_FrameRate2Duration(static_cast<Fixed>(s.frameRate), &frameTime), n, "reading the frame rate");
    const Node duration = n.Need("duration");
    s.duration = duration.Seconds(frameTime);
    // At least one frame: a shorter composition has nothing to render.
    const double frame = static_cast<double>(frameTime.value) / frameTime.scale;
    if (duration.Number() < frame - 1e-9)
      duration.Error("a composition lasts at least one frame (1/" + Decimal(fps) + " s), not " +
                     Decimal(duration.Number()) + " s");
    s.secondTime = Time{0, 600};
    s.pixelAspect = Ratio{1, 1};
    if (auto pa = n.Get("pixelAspect")) s.pixelAspect = PixelAspectRatioOf(pa->Number(0.01, 100));
    s.dsfH = s.dsfV = 1;
    BEE_Item comp = nullptr;
    Check(BEE_CmdNewComp(nullptr, &s, &comp), n, "making the composition");
    if (const std::string why = FramesBeyondTimes(comp); !why.empty()) duration.Error(why);
    if (auto bg = n.Get("background")) Check(BEE_CmdSetBackgroundColor(comp, bg->Colour()), *bg, "setting the background");
    if (auto mb = n.Get("motionBlur"))
      Check(BEE_CmdSetCompSwitch(comp, BEE_CompSwitchMotionBlur, mb->Bool()), *mb, "motion blur");
    if (auto fb = n.Get("frameBlending"))
      Check(BEE_CmdSetCompSwitch(comp, BEE_CompSwitchFrameBlend, fb->Bool()), *fb, "frame blending");
    if (auto p = n.Get("proxy")) Proxy(comp, *p);
    items[name] = comp;
    return comp;
  }

  void Layers(BEE_Item comp, const Node& list) {
    std::vector<LayerChoice> choices;
    for (size_t i = 0; i < list.Size(); ++i) Layer(comp, list.At(i), choices);
    ChooseLayers(comp, choices);
  }

  void Layer(BEE_Item comp, const Node& n, std::vector<LayerChoice>& choices) {
    n.Only({"name", "solid", "source", "text", "in", "out", "offset", "stretch", "quality", "mode", "trackMatte",
            "preserveTransparency", "motionBlur", "visible", "effectsOn", "collapse", "autoOrient", "audio", "frameBlend", "anchor",
            "position", "scale", "rotation", "opacity", "audioLevels", "timeRemap", "masks", "effects"});
    auto solid = n.Get("solid");
    auto source = n.Get("source");
    auto text = n.Get("text");
    if ((solid ? 1 : 0) + (source ? 1 : 0) + (text ? 1 : 0) != 1)
      n.Error("a layer has one of \"solid\", \"source\" or \"text\"");
    BEE_Layer layer = nullptr;
    if (text) {
      layer = AddTextLayer(comp, n, *text, [&](BEE_Layer made) { Times(made, n); });
    } else if (solid) {
      solid->Only({"color", "width", "height"});
      BEE_SolidSettings s{};
      std::string name = "Solid";
      if (auto nm = n.Get("name")) name = nm->Name();
      std::memcpy(s.name, name.data(), name.size());
      s.color = solid->Need("color").Colour();
      int32_t w = 0, h = 0;
      BEE_GetItemDimensions(comp, &w, &h);
      if (auto sw = solid->Get("width")) w = sw->Int(1, 30000);
      if (auto sh = solid->Get("height")) h = sh->Int(1, 30000);
      s.width = static_cast<uint16_t>(w);
      s.height = static_cast<uint16_t>(h);
      Check(BEE_CmdNewSolidLayer(comp, &s, &layer), *solid, "making the solid layer");
    } else {
      const std::string name = source->String();
      auto it = items.find(name);
      if (it == items.end()) source->Error("no footage or composition named " + Echo(name));
      Boolean32 valid = 0;
      Check(BEE_ValidSource(comp, it->second, &valid), *source, "checking the source");
      if (!valid) source->Error(Echo(name) + " cannot be a layer here (it contains this composition)");
      Check(BEE_CmdNewLayer(comp, it->second, &layer), *source, "making the layer");
      if (auto nm = n.Get("name")) Check(BEE_CmdRenameLayer(layer, nm->Name().c_str()), *nm, "naming the layer");
    }
    if (!text) Times(layer, n);
    if (auto q = n.Get("quality")) {
      const int16_t qualities[] = {BEE_QualityWireframe, BEE_QualityDraft, BEE_QualityBest};
      Check(BEE_CmdSetLayerQuality(layer, qualities[q->Choice({"wireframe", "draft", "best"})]), *q, "quality");
    }
    Transfer(layer, n);
    for (const SwitchKey& sw : kLayerSwitches)
      if (auto v = n.Get(sw.key)) Check(BEE_CmdSetLayerSwitch(layer, sw.bit, v->Bool() != sw.inverted), *v, "switching");
    const struct {
      const char* key;
      int32_t index;
      bool scalar;
    } props[] = {{"anchor", BEE_StreamAnchorPoint, false}, {"position", BEE_StreamPosition, false},
                 {"scale", BEE_StreamScale, true},         {"rotation", BEE_StreamRotation, false},
                 {"opacity", BEE_StreamOpacity, false},    {"audioLevels", BEE_StreamAudioLevels, true}};
    for (const auto& p : props)
      if (auto v = n.Get(p.key)) SetProperty(layer, p.index, *v, p.scalar);
    if (auto tr = n.Get("timeRemap")) {
      // Remapping is on while its stream has keys: it takes keyframes only.
      if (!IsKeyList(*tr)) tr->Error("time remapping takes keyframes ({\"time\", \"value\"}: layer time to source seconds)");
      SetProperty(layer, BEE_StreamTimeRemap, *tr, false);
    }
    if (auto m = n.Get("masks")) AddMasks(layer, *m);
    if (auto e = n.Get("effects")) AddEffects(layer, *e, choices);
  }

  // Stretch and offset first; then "in" and "out", composition times, become
  // the layer's own times through them.
  void Times(BEE_Layer layer, const Node& n) {
    auto in = n.Get("in");
    auto out = n.Get("out");
    auto offset = n.Get("offset");
    double stretch = 1;
    if (auto st = n.Get("stretch")) {
      stretch = st->Number(-100, 100);
      if (std::fabs(stretch) < 0.0001)
        st->Error("stretch " + Decimal(stretch) + " is too close to 0 (at least 0.0001 either way)");
      Check(BEE_CmdSetLayerStretch(layer, RatioOf(stretch)), *st, "stretching the layer by " + Decimal(stretch));
    }
    if (!in && !out && !offset) return;
    Time t[3]{};
    const int32_t which[3] = {BEE_LayerTimeOffset, BEE_LayerTimeIn, BEE_LayerTimeOut};
    for (int i = 0; i < 3; ++i) Check(BEE_GetLayerTime(layer, which[i], &t[i], nullptr), n, "reading the layer's times");
    const Time frame = FrameOfLayer(layer);
    if (offset) {
      t[0] = offset->Seconds(frame);
      Check(BEE_CmdSetLayerTimes(layer, t[0], t[1], t[2]), *offset, "setting the offset");
    }
    if (in && out && !(in->Number() < out->Number()))
      out->Error("\"out\" (" + Decimal(out->Number()) + " s) must be later than \"in\" (" + Decimal(in->Number()) + " s)");
    // Played backwards, the layer's first time is at its composition out.
    const bool backwards = stretch < 0;
    if (!(in && out)) Reaches(layer, t, in, out, backwards);
    const std::optional<Node>& first = backwards ? out : in;
    const std::optional<Node>& last = backwards ? in : out;
    if (first) Check(BEE_CompToLayerTime(layer, first->Seconds(frame), &t[1]), *first, "placing the layer's start");
    if (last) Check(BEE_CompToLayerTime(layer, last->Seconds(frame), &t[2]), *last, "placing the layer's end");
    if (in || out) Check(BEE_CmdSetLayerTimes(layer, t[0], t[1], t[2]), in ? *in : *out, "setting in and out");
  }

  // One end moved alone cannot pass the other end of the layer: the layer
  // would show nothing. Said in the user's terms before the engine refuses it.
  void Reaches(BEE_Layer layer, const Time (&t)[3], const std::optional<Node>& in, const std::optional<Node>& out,
               bool backwards) {
    Time a{}, b{};
    const Node& at = in ? *in : *out;
    Check(BEE_LayerToCompTime(layer, t[1], &a), at, "reading the layer's start");
    Check(BEE_LayerToCompTime(layer, t[2], &b), at, "reading the layer's end");
    const auto seconds = [](Time x) { return static_cast<double>(x.value) / x.scale; };
    const auto ms = [](double s) { return Decimal(std::round(s * 1000) / 1000 + 0.0); };
    const double start = std::min(seconds(a), seconds(b)), end = std::max(seconds(a), seconds(b));
    const std::string why = backwards ? "; played backwards, the layer ends at its source's first frame" : "";
    if (in && in->Number() > end)
      in->Error("\"in\" (" + Decimal(in->Number()) + " s) is after the layer's end (" + ms(end) + " s" + why + ")");
    if (out && out->Number() < start)
      out->Error("\"out\" (" + Decimal(out->Number()) + " s) is before the layer's start (" + ms(start) + " s)");
  }

  void Transfer(BEE_Layer layer, const Node& n) {
    auto mode = n.Get("mode");
    auto matte = n.Get("trackMatte");
    auto keep = n.Get("preserveTransparency");
    if (!mode && !matte && !keep) return;
    BEE_TransferSettings t{};
    Check(BEE_GetLayerTransfer(layer, &t), n, "reading the transfer mode");
    if (mode)
      t.mode = static_cast<uint32_t>(mode->Choice({"copy", "behind", "normal", "dissolve", "add", "multiply", "screen",
                                                   "overlay", "softLight", "hardLight", "darken", "lighten",
                                                   "difference", "hue", "saturation", "colour", "luminosity",
                                                   "alphaStencil", "lumaStencil", "alphaCutout", "lumaCutout",
                                                   "premulOver", "alphaAdd", "colourDodge", "colourBurn",
                                                   "exclusion"}));
    if (matte)
      t.trackMatte = static_cast<uint32_t>(matte->Choice({"none", "alpha", "alphaInverted", "luma", "lumaInverted"}));
    if (keep) t.flags = keep->Bool() ? (t.flags | BEE_TransferKeepAlpha) : (t.flags & ~uint32_t{BEE_TransferKeepAlpha});
    Check(BEE_CmdSetTransfer(layer, t.mode, t.flags, t.trackMatte), mode ? *mode : matte ? *matte : *keep, "transfer");
  }

  // {"shutterAngle", "shutterPhase", "fields"}.
  void Render(const Node& n) {
    n.Only({"shutterAngle", "shutterPhase", "fields"});
    if (auto a = n.Get("shutterAngle")) {
      const double angle = a->Number(0, 720);
      BEE_Prefs prefs{};
      Check(BEE_GetPrefs(&prefs), *a, "reading the engine's settings");
      prefs.shutter = Ratio{static_cast<int32_t>(std::llround(angle * 100)), 36000};
      Check(BEE_SetPrefs(&prefs), *a, "setting the shutter angle");
    }
    if (auto p = n.Get("shutterPhase")) {
      const double phase = p->Number(-360, 360);
      BEE_Prefs prefs{};
      Check(BEE_GetPrefs(&prefs), *p, "reading the engine's settings");
      prefs.shutterPhase = static_cast<int32_t>(std::llround(phase * 100));
      Check(BEE_SetPrefs(&prefs), *p, "setting the shutter phase");
    }
    if (auto f = n.Get("fields")) gRender.fieldOrder = f->Choice({"off", "upperFirst", "lowerFirst"});
  }

  void Build(const Json& root) {
    const Node top = Root(root, src);
    top.Only({"version", "render", "footage", "comps"});
    if (auto v = top.Get("version"))
      if (v->Int(1, 1000) != 1) v->Error("this tavelo reads version 1 descriptions");
    gRender = DescriptionRender{};
    if (auto r = top.Get("render")) Render(*r);
    if (auto f = top.Get("footage"))
      for (size_t i = 0; i < f->Size(); ++i) Footage(f->At(i));
    const Node comps = top.Need("comps");
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

void BuildDescriptionText(const std::string& text, const std::string& name, const std::string& baseDir,
                          const DescriptionOptions& options) {
  if (text.size() > kMaxDescriptionBytes)
    Fail(name + ": a description has at most " + std::to_string(kMaxDescriptionBytes >> 20) + " MB");
  const desc::Source src{name, text};
  const desc::Json root = desc::ParseDescription(src);
  desc::Builder b{src, baseDir, options, {}};
  b.Build(root);
  Check(BEE_ClearUndoRedo(), "clearing the undo steps of the build");
}

void BuildDescriptionFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("cannot read \"" + path + "\": " + std::strerror(errno));
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (!ec && size > kMaxDescriptionBytes)
    Fail(path + ": a description has at most " + std::to_string(kMaxDescriptionBytes >> 20) + " MB");
  std::stringstream ss;
  ss << in.rdbuf();
  BuildDescriptionText(ss.str(), path, std::filesystem::path(AbsolutePath(path)).parent_path().string());
}

}  // namespace tavelo
