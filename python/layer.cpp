// Layers, their streams in user units, masks and effects.
#include <strings.h>

#include <cmath>
#include <cstring>

#include "FLT.h"
#include "OM.h"
#include "T.h"
#include "TDB.h"
#include "mask_shape.h"
#include "objects.h"

namespace tvpy {
namespace {

const char* const kModes[] = {"copy",       "behind",    "normal",       "dissolve",    "add",        "multiply",
                              "screen",     "overlay",   "softLight",    "hardLight",   "darken",     "lighten",
                              "difference", "hue",       "saturation",   "colour",      "luminosity", "alphaStencil",
                              "lumaStencil", "alphaCutout", "lumaCutout", "premulOver", "alphaAdd",   "colourDodge",
                              "colourBurn", "exclusion"};
const char* const kMattes[] = {"none", "alpha", "alphaInverted", "luma", "lumaInverted"};
const char* const kMaskModes[] = {"add", "subtract", "intersect", "lighten", "darken", "difference"};
const char* const kQualities[] = {"wireframe", "draft", "best"};
const char* const kInterps[] = {"none", "linear", "bezier", "hold"};

template <size_t N>
int32_t Choose(const char* const (&names)[N], const std::string& name, const char* what) {
  for (size_t i = 0; i < N; ++i)
    if (name == names[i]) return static_cast<int32_t>(i);
  std::string all;
  for (size_t i = 0; i < N; ++i) all += std::string(i ? ", " : "") + names[i];
  BadValue("bad " + std::string(what) + " \"" + name + "\" (one of " + all + ")");
}

template <size_t N>
std::string NameOf(const char* const (&names)[N], int64_t value) {
  return value >= 0 && static_cast<size_t>(value) < N ? names[value] : std::to_string(value);
}

int8_t InterpOf(const std::string& name) {
  const int32_t i = Choose(kInterps, name, "interpolation");
  if (i == 0) BadValue("bad interpolation \"none\" (linear, bezier or hold)");
  return static_cast<int8_t>(i);
}

// Python numbers (one, or a sequence of the stream's dimension) into a value.
BEE_StreamValue ValueOf(const py::object& value, int dimension) {
  BEE_StreamValue v{};
  if (value.is_none()) BadType("a value cannot be None");
  std::vector<double> nums;
  try {
    if (py::isinstance<py::sequence>(value) && !py::isinstance<py::str>(value)) nums = value.cast<std::vector<double>>();
    else nums.assign(1, value.cast<double>());
  } catch (const py::cast_error&) {
    BadType("a value must be a number or a sequence of numbers");
  }
  if (nums.size() == 1 && dimension > 1) nums.assign(static_cast<size_t>(dimension), nums[0]);
  if (static_cast<int>(nums.size()) != dimension)
    BadValue("this property holds " + std::to_string(dimension) + " numbers (" + std::to_string(nums.size()) +
                " given)");
  for (size_t i = 0; i < nums.size(); ++i) {
    if (!std::isfinite(nums[i])) BadValue("a value must be finite");
    v.values[i] = nums[i];
  }
  v.count = dimension;
  return v;
}

py::object PyValue(const double* values, int count) {
  if (count == 1) return py::float_(values[0]);
  py::tuple t(count);
  for (int i = 0; i < count; ++i) t[i] = py::float_(values[i]);
  return t;
}

// Points from Python: a sequence of (x, y).
std::vector<tavelo::PathPoint> PointsOf(const py::object& path) {
  std::vector<std::vector<double>> points;
  try {
    points = path.cast<std::vector<std::vector<double>>>();
  } catch (const py::cast_error&) {
    BadType("a mask path is a sequence of (x, y) points");
  }
  std::vector<tavelo::PathPoint> out;
  for (const auto& p : points) {
    if (p.size() != 2) BadValue("a mask path is a sequence of (x, y) points");
    out.push_back(tavelo::PathPoint{p[0], p[1]});
  }
  if (const std::string problem = tavelo::PathProblem(out); !problem.empty()) BadValue(problem);
  return out;
}

struct ShapeGuard {
  OM_Shape s = nullptr;
  ~ShapeGuard() {
    if (s) OM_DisposeShape(s);
  }
};

// A shape from one of rect, oval ((left, top, right, bottom)) or path.
void MakeShape(const py::object& rect, const py::object& oval, const py::object& path, bool smooth, ShapeGuard& g) {
  const int given = (rect.is_none() ? 0 : 1) + (oval.is_none() ? 0 : 1) + (path.is_none() ? 0 : 1);
  if (given != 1) BadValue("a mask takes one of rect, oval ((left, top, right, bottom)) or path ([(x, y), ...])");
  if (!path.is_none()) {
    Check(tavelo::MakePathShape(PointsOf(path), smooth, &g.s), "making the mask's shape");
    return;
  }
  std::vector<double> b;
  try {
    b = (rect.is_none() ? oval : rect).cast<std::vector<double>>();
  } catch (const py::cast_error&) {
    BadType("a mask's box is (left, top, right, bottom)");
  }
  if (b.size() != 4) BadValue("a mask's box is (left, top, right, bottom)");
  if (const std::string problem = tavelo::BoxProblem(b.data()); !problem.empty()) BadValue(problem);
  Check(tavelo::MakeBoxShape(!oval.is_none(), b.data(), &g.s), "making the mask's shape");
}

// The vertices of a shape as [(x, y), ...].
py::list PointList(OM_Shape shape) {
  std::vector<tavelo::PathVertex> vertices;
  Check(tavelo::ReadPathShape(shape, &vertices), "reading the mask's shape");
  py::list out;
  for (const auto& v : vertices) out.append(py::make_tuple(v.point.x, v.point.y));
  return out;
}

bool IsShapeStream(int32_t index) {
  return index >= BEE_StreamFirstMask && index < BEE_StreamFirstEffect &&
         (index - BEE_StreamFirstMask) % 3 == BEE_MaskStreamShape;
}

TDB_Stream StreamOf(BEE_Layer layer, int32_t index) {
  BEE_StreamRef ref{layer, index};
  TDB_Stream stream = nullptr;
  Check(BEE_StreamLookup(&ref, &stream), "finding the stream");
  if (!stream) Fail(10, "the layer has no such stream yet");
  return stream;
}

// The serial of an effect's Sequence.
uint64_t SerialOf(FLT_Sequence seq) {
  uint64_t n = 0;
  Check(FLTp_SeqSerial(seq, &n), "reading the effect");
  return n;
}

FLT_Sequence SequenceOf(BEE_Layer layer, int32_t effect) {
  Handle parade = nullptr;
  int32_t count = 0;
  Check(BEE_InqLayerEffectSeq(layer, &parade, &count), "reading the layer's effects");
  if (!parade || effect < 0 || effect >= count) Fail(10, "the layer has no effect " + std::to_string(effect));
  FLT_Sequence seq = nullptr;
  Check(FLT_GetParadeSeq(reinterpret_cast<FLT_Parade>(parade), effect, &seq), "reading the effect");
  return seq;
}

}  // namespace

// ---- Layers -------------------------------------------------------------------------

std::string Layer::Name() const {
  Enter();
  char name[32] = {};
  Check(BEE_GetLayerName(h, name), "reading a layer's name");
  return name;
}

void Layer::SetName(const std::string& name) const {
  Enter();
  if (name.size() > 31 || name.find('\0') != std::string::npos) BadValue("a layer's name is at most 31 bytes");
  Check(BEE_CmdRenameLayer(h, name.c_str()), "renaming the layer");
}

int Layer::Index() const {
  Enter();
  int32_t i = 0;
  Check(BEE_LayerIndex(h, &i), "reading a layer's index");
  return i;
}

void Layer::MoveTo(int index) const {
  Enter();
  BEE_Item comp = nullptr;
  int32_t count = 0;
  Check(BEE_GetLayerComp(h, &comp), "reading the layer's composition");
  Check(BEE_GetCompNumLayers(comp, &count), "reading the composition's layers");
  if (index < 0 || index >= count)
    Fail(10, "index " + std::to_string(index) + " is outside the composition's layers (0 to " +
                 std::to_string(count - 1) + ")");
  Check(BEE_CmdReorderLayer(h, index), "moving the layer");
}

Comp Layer::GetComp() const {
  Enter();
  BEE_Item comp = nullptr;
  Check(BEE_GetLayerComp(h, &comp), "reading a layer's composition");
  Comp c = MakeComp(comp, life);
  return c;
}

py::object Layer::Source() const {
  Enter();
  BEE_Item source = nullptr;
  Check(BEE_GetLayerSource(h, &source), "reading a layer's source");
  return source ? WrapItem(source, life) : py::none();
}

bool Layer::Switch(uint32_t bit) const {
  Enter();
  BEE_LayerInfo info{};
  Check(BEE_GetLayerInfo(h, &info), "reading a layer");
  return (info.switches & bit) != 0;
}

void Layer::SetSwitch(uint32_t bit, bool on) const {
  Enter();
  Check(BEE_CmdSetLayerSwitch(h, bit, on), "switching the layer");
}

std::string Layer::Quality() const {
  Enter();
  BEE_LayerInfo info{};
  Check(BEE_GetLayerInfo(h, &info), "reading a layer");
  return NameOf(kQualities, info.quality);
}

void Layer::SetQuality(const std::string& q) const {
  Enter();
  Check(BEE_CmdSetLayerQuality(h, static_cast<int16_t>(Choose(kQualities, q, "quality"))), "setting the quality");
}

std::string Layer::Mode() const {
  Enter();
  BEE_TransferSettings t{};
  Check(BEE_GetLayerTransfer(h, &t), "reading the transfer mode");
  return NameOf(kModes, t.mode);
}

void Layer::SetMode(const std::string& mode) const {
  Enter();
  const auto m = static_cast<uint32_t>(Choose(kModes, mode, "transfer mode"));
  BEE_TransferSettings t{};
  Check(BEE_GetLayerTransfer(h, &t), "reading the transfer mode");
  Check(BEE_CmdSetTransfer(h, m, t.flags, t.trackMatte), "setting the transfer mode");
}

std::string Layer::TrackMatte() const {
  Enter();
  BEE_TransferSettings t{};
  Check(BEE_GetLayerTransfer(h, &t), "reading the track matte");
  return NameOf(kMattes, t.trackMatte);
}

void Layer::SetTrackMatte(const std::string& matte) const {
  Enter();
  const auto m = static_cast<uint32_t>(Choose(kMattes, matte, "track matte"));
  BEE_TransferSettings t{};
  Check(BEE_GetLayerTransfer(h, &t), "reading the track matte");
  Check(BEE_CmdSetTransfer(h, t.mode, t.flags, m), "setting the track matte");
}

double Layer::GetTime(int32_t which) const {
  Enter();
  Time t{};
  Check(BEE_GetLayerTime(h, which, &t, nullptr), "reading the layer's times");
  return Seconds(t);
}

double Layer::Stretch() const {
  Enter();
  Ratio r{};
  Check(BEE_GetLayerTime(h, BEE_LayerTimeStretch, nullptr, &r), "reading the layer's stretch");
  return r.den ? static_cast<double>(r.num) / r.den : 0.0;
}

void Layer::SetStretch(double stretch) const {
  Enter();
  if (!std::isfinite(stretch) || std::fabs(stretch) > 100 || std::fabs(stretch) < 0.0001)
    BadValue("stretch must be 0.0001 to 100 either way");
  Check(BEE_CmdSetLayerStretch(h, Ratio{static_cast<int32_t>(std::llround(stretch * 10000)), 10000}),
        "stretching the layer");
}

namespace {

// The layer's in and out points in composition time, earlier first (a
// layer played backwards starts at its out point's composition time).
std::pair<Time, Time> CompSpan(BEE_Layer h) {
  Time in{}, out{}, a{}, b{};
  Check(BEE_GetLayerTime(h, BEE_LayerTimeIn, &in, nullptr), "reading the layer's times");
  Check(BEE_GetLayerTime(h, BEE_LayerTimeOut, &out, nullptr), "reading the layer's times");
  Check(BEE_LayerToCompTime(h, in, &a), "reading the layer's times");
  Check(BEE_LayerToCompTime(h, out, &b), "reading the layer's times");
  if (Seconds(b) < Seconds(a)) std::swap(a, b);
  return {a, b};
}

}  // namespace

double Layer::InPoint() const {
  Enter();
  return Seconds(CompSpan(h).first);
}

double Layer::OutPoint() const {
  Enter();
  return Seconds(CompSpan(h).second);
}

void Layer::SetTimes(std::optional<double> offset, std::optional<double> in, std::optional<double> out) const {
  Enter();
  Time t[3]{};
  const int32_t which[3] = {BEE_LayerTimeOffset, BEE_LayerTimeIn, BEE_LayerTimeOut};
  for (int i = 0; i < 3; ++i) Check(BEE_GetLayerTime(h, which[i], &t[i], nullptr), "reading the layer's times");
  const Time oldOffset = t[0];
  if (offset) t[0] = ToTime(*offset, h);
  if (in || out) {
    // In and out are composition times: the layer's own ones follow from
    // its new offset and its stretch. A composition time c under the new
    // offset is the layer time of c - shift under the present one.
    Time shift{};
    Check(T_SubTime(t[0], oldOffset, &shift), "moving the layer's times");
    auto [compIn, compOut] = CompSpan(h);
    Check(T_AddTime(compIn, shift, &compIn), "moving the layer's times");
    Check(T_AddTime(compOut, shift, &compOut), "moving the layer's times");
    const Time a = in ? ToTime(*in, h) : compIn, b = out ? ToTime(*out, h) : compOut;
    if (!(Seconds(a) < Seconds(b))) BadValue("the out point must be later than the in point");
    const bool backwards = Stretch() < 0;
    Time first{}, last{};
    Check(T_SubTime(backwards ? b : a, shift, &first), "placing the in point");
    Check(T_SubTime(backwards ? a : b, shift, &last), "placing the out point");
    Check(BEE_CompToLayerTime(h, first, &t[1]), "placing the in point");
    Check(BEE_CompToLayerTime(h, last, &t[2]), "placing the out point");
  } else if (!offset) {
    return;
  }
  // One command: a refused time leaves the layer as it was.
  Check(BEE_CmdSetLayerTimes(h, t[0], t[1], t[2]), offset && !in && !out ? "setting the layer's offset"
                                                                        : "setting the layer's times");
}

bool Layer::PreserveTransparency() const {
  Enter();
  BEE_TransferSettings t{};
  Check(BEE_GetLayerTransfer(h, &t), "reading the transfer settings");
  return (t.flags & BEE_TransferKeepAlpha) != 0;
}

void Layer::SetPreserveTransparency(bool on) const {
  Enter();
  BEE_TransferSettings t{};
  Check(BEE_GetLayerTransfer(h, &t), "reading the transfer settings");
  const uint32_t flags = on ? (t.flags | BEE_TransferKeepAlpha) : (t.flags & ~uint32_t{BEE_TransferKeepAlpha});
  Check(BEE_CmdSetTransfer(h, t.mode, flags, t.trackMatte), "preserving transparency");
}

std::string Layer::Repr() const {
  try {
    char comp[32] = {};
    BEE_Item c = nullptr;
    const std::string name = Name();
    if (BEE_GetLayerComp(h, &c) == 0) BEE_GetItemName(c, comp);
    S().reports.clear();
    return "<tavelo.Layer \"" + name + "\" of \"" + comp + "\">";
  } catch (const EngineError&) {
    return "<tavelo.Layer (gone)>";
  }
}

Property Layer::Prop(int32_t index) const {
  Enter();
  // The layer's own streams, its masks' three each and its effects'
  // parameters; a mask's or an effect's follows it as a Mask's or an
  // Effect's does.
  if (index >= 0 && index < BEE_StandardStreamCount) return Property{h, index, life, 0, nullptr, 0, 0, id};
  if (index >= BEE_StreamFirstMask && index < BEE_StreamFirstEffect) {
    int32_t masks = 0;
    Check(BEE_GetLayerNumMasks(h, &masks), "counting the masks");
    const int32_t mask = (index - BEE_StreamFirstMask) / 3;
    if (mask < masks) {
      BEE_MaskInfo info{};
      Check(BEE_GetMaskInfo(h, mask, &info), "reading the mask");
      return Property{h, index, life, info.id, nullptr, (index - BEE_StreamFirstMask) % 3, 0, id};
    }
  } else if (index >= BEE_StreamFirstEffect) {
    Handle parade = nullptr;
    int32_t effects = 0;
    Check(BEE_InqLayerEffectSeq(h, &parade, &effects), "reading the layer's effects");
    const int32_t effect = (index - BEE_StreamFirstEffect) / 128,
                  param = (index - BEE_StreamFirstEffect) % 128;
    if (effect < effects) {
      FLT_Sequence seq = SequenceOf(h, effect);
      int32_t params = 0;
      Check(FLT_SeqInqNumParams(seq, &params), "reading the effect");
      if (param + 1 < params) return Property{h, index, life, 0, seq, param, SerialOf(seq), id};
    }
  }
  Fail(10, "the layer has no property number " + std::to_string(index) + " (its own are 0 to " +
               std::to_string(BEE_StandardStreamCount - 1) + ", a mask's from " +
               std::to_string(BEE_StreamFirstMask) + ", an effect's from " +
               std::to_string(BEE_StreamFirstEffect) + ")");
}

Property Layer::PropNamed(const std::string& name) const {
  Enter();
  for (int32_t i = 0; i < BEE_StandardStreamCount; ++i) {
    char n[32] = {}, unit[32] = {};
    int16_t dim = 0;
    if (BEE_GetStreamDescription(i, n, unit, &dim) == 0 && strcasecmp(n, name.c_str()) == 0)
      return Property{h, i, life, 0, nullptr, 0, 0, id};
  }
  S().reports.clear();
  Fail(10, "a layer has no property named \"" + name + "\"");
}

std::vector<Mask> Layer::Masks() const {
  Enter();
  int32_t n = 0;
  Check(BEE_GetLayerNumMasks(h, &n), "counting the masks");
  std::vector<Mask> out;
  for (int32_t i = 0; i < n; ++i) {
    BEE_MaskInfo info{};
    Check(BEE_GetMaskInfo(h, i, &info), "reading the mask");
    out.push_back(Mask{h, i, life, info.id, id});
  }
  return out;
}

Mask Layer::AddMask(const py::object& rect, const py::object& oval, const py::object& path, bool smooth,
                    const std::string& mode, bool inverted, const py::object& feather,
                    const py::object& opacity) const {
  Enter();
  const int32_t modeValue = Choose(kMaskModes, mode, "mask mode") + 1;
  ShapeGuard shape;
  MakeShape(rect, oval, path, smooth, shape);
  const StepGroup step("Add Mask");
  int32_t index = 0;
  Check(BEE_CmdAddMask(h, shape.s, &index), "adding the mask");
  BEE_MaskInfo info{};
  Check(BEE_GetMaskInfo(h, index, &info), "reading the mask");
  Mask m{h, index, life, info.id, id};
  if (modeValue != 1) m.SetMode(mode);
  if (inverted) m.SetInverted(true);
  if (!feather.is_none()) m.Feather().SetValue(feather, std::nullopt);
  if (!opacity.is_none()) m.Opacity().SetValue(opacity, std::nullopt);
  return m;
}

std::vector<Effect> Layer::Effects() const {
  Enter();
  Handle parade = nullptr;
  int32_t count = 0;
  Check(BEE_InqLayerEffectSeq(h, &parade, &count), "reading the layer's effects");
  std::vector<Effect> out;
  for (int32_t i = 0; i < count; ++i) {
    FLT_Sequence seq = SequenceOf(h, i);
    out.push_back(Effect{h, i, life, seq, SerialOf(seq), id});
  }
  return out;
}

Effect Layer::ApplyEffect(const std::string& name, const py::dict& params) const {
  Enter();
  int16_t cls = 0;
  Boolean32 found = 0;
  if (FLTp_FindClass(name.c_str(), &cls, &found) != 0 || !found) {
    found = 0;
    int32_t count = 0;
    FLT_InqNumPF(&count);
    for (int32_t i = 0; i < count && !found; ++i) {
      char display[32] = {}, match[48] = {};
      uint32_t flags = 0;
      if (FLT_InqPFInfo(static_cast<int16_t>(i), display, match, &flags) == 0 && strcasecmp(display, name.c_str()) == 0) {
        cls = static_cast<int16_t>(i);
        found = 1;
      }
    }
  }
  S().reports.clear();
  if (!found) Fail(10, "no effect named \"" + name + "\" (tavelo.effects() lists them)");
  const StepGroup step("Apply Effect");
  int32_t index = 0;
  Check(BEE_CmdApplyEffect(h, cls, &index), "applying \"" + name + "\"");
  FLT_Sequence made = SequenceOf(h, index);
  Effect e{h, index, life, made, SerialOf(made), id};
  for (auto item : params) e.Param(py::reinterpret_borrow<py::object>(item.first))
                               .SetValue(py::reinterpret_borrow<py::object>(item.second), std::nullopt);
  return e;
}

Layer Layer::Duplicate() const {
  Enter();
  BEE_Layer copy = nullptr;
  Check(BEE_CmdDuplicateLayer(h, &copy), "duplicating the layer");
  return MakeLayer(copy, life);
}

void Layer::Delete() const {
  Enter();
  Check(BEE_CmdDeleteLayer(h), "deleting the layer");
}

// ---- Masks and effects found again ------------------------------------------------

namespace {

// Code 3 for a layer that is in no composition (deleted, its deletion not
// undone): a change to it would change nothing shown, yet take an undo step.
// With its ID (0: not known) also for a freed layer whose address holds
// another layer by now.
void CheckPlaced(BEE_Layer layer, uint32_t id) {
  uint32_t now = 0;
  Check(BEEp_GetLayerID(layer, &now), "finding the layer");
  if (now == 0 || (id && now != id)) Fail(3, "the layer was deleted");
  int32_t i = 0;
  Check(BEE_LayerIndex(layer, &i), "finding the layer");
  if (i < 0) Fail(3, "the layer was deleted");
}

// The index of the layer's mask with this ID (code 3 when none has it).
int32_t MaskIndexOf(BEE_Layer layer, uint32_t id) {
  int32_t n = 0;
  Check(BEE_GetLayerNumMasks(layer, &n), "counting the masks");
  for (int32_t i = 0; i < n; ++i) {
    BEE_MaskInfo info{};
    Check(BEE_GetMaskInfo(layer, i, &info), "reading the mask");
    if (info.id == id) return i;
  }
  Fail(3, "the mask was deleted");
}

// The index of the layer's effect of this Sequence and serial (code 3 when
// it has none: a Sequence freed and another made at its address has another
// serial).
int32_t EffectIndexOf(BEE_Layer layer, FLT_Sequence seq, uint64_t serial) {
  Handle parade = nullptr;
  int32_t count = 0;
  Check(BEE_InqLayerEffectSeq(layer, &parade, &count), "reading the layer's effects");
  for (int32_t i = 0; parade && i < count; ++i) {
    FLT_Sequence s = nullptr;
    Check(FLT_GetParadeSeq(reinterpret_cast<FLT_Parade>(parade), i, &s), "reading the effect");
    uint64_t n = 0;
    if (s == seq && FLTp_SeqSerial(s, &n) == 0 && n == serial) return i;
  }
  Fail(3, "the effect was deleted");
}

}  // namespace

Layer MakeLayer(BEE_Layer h, uint64_t life) {
  Layer l{h, life};
  Check(BEEp_GetLayerID(h, &l.id), "reading a layer");
  return l;
}

void Layer::Enter() const {
  tvpy::Enter(life);
  CheckPlaced(h, id);
}

void Mask::Enter() const {
  tvpy::Enter(life);
  CheckPlaced(layer, layerId);
  if (id) index = MaskIndexOf(layer, id);
}

void Effect::Enter() const {
  tvpy::Enter(life);
  CheckPlaced(layer, layerId);
  if (seq) index = EffectIndexOf(layer, seq, serial);
}

void Property::Enter() const {
  tvpy::Enter(life);
  CheckPlaced(layer, layerId);
  if (maskId) index = BEE_StreamFirstMask + 3 * MaskIndexOf(layer, maskId) + within;
  if (effect) index = BEE_StreamFirstEffect + 128 * EffectIndexOf(layer, effect, serial) + within;
}

// ---- Properties ---------------------------------------------------------------------

std::string Property::Name() const {
  Enter();
  if (index >= 0 && index < BEE_StandardStreamCount) {
    char n[32] = {}, unit[32] = {};
    int16_t dim = 0;
    Check(BEE_GetStreamDescription(index, n, unit, &dim), "reading the property");
    return n;
  }
  if (index >= BEE_StreamFirstEffect) {
    const int32_t effect = (index - BEE_StreamFirstEffect) / 128;
    const int32_t param = (index - BEE_StreamFirstEffect) % 128 + 1;
    char n[32] = {};
    Check(FLT_SeqInqParamName(SequenceOf(layer, effect), param, n), "reading the parameter's name");
    return n;
  }
  if (index >= BEE_StreamFirstMask) {
    const int32_t which = (index - BEE_StreamFirstMask) % 3;
    return which == 0 ? "Mask Shape" : which == 1 ? "Mask Feather" : "Mask Opacity";
  }
  return "stream " + std::to_string(index);
}

int Property::Dimension() const {
  Enter();
  BEE_StreamValue v{};
  Check(BEE_GetStreamFPV(layer, index, nullptr, nullptr, &v), "reading the property");
  const int count = v.shape ? 0 : v.count;
  BEE_UnGetStreamFPV(layer, index, &v);  // clears v
  return count;
}

namespace {

const char* const kParamTypes[] = {"layer",    "slider", "fixedSlider", "angle", "checkbox",
                                   "colour",   "point",  "popup",       "type8", "type9",
                                   "floatSlider", "arbitrary", "type12", "type13", "type14"};

// The effect parameter a stream index names (false for other streams).
bool ParamOf(BEE_Layer layer, int32_t index, PF_ParamDef* def) {
  if (index < BEE_StreamFirstEffect) return false;
  const int32_t effect = (index - BEE_StreamFirstEffect) / 128, param = (index - BEE_StreamFirstEffect) % 128 + 1;
  Check(FLT_SeqInqParamInfo(SequenceOf(layer, effect), param, def), "reading the parameter");
  return true;
}

std::vector<std::string> ChoicesOf(const PF_ParamDef& def) {
  char text[PF_ParamTextBytes + 1] = {};
  std::memcpy(text, def.u.bytes + PF_Byte_Text, PF_ParamTextBytes);
  int16_t count = 0;
  std::memcpy(&count, def.u.bytes + PF_Byte_ChoiceCount, sizeof count);
  std::vector<std::string> out(1);
  for (const char* c = text; *c; ++c) {
    if (*c == '|') out.emplace_back();
    else out.back() += *c;
  }
  out.resize(static_cast<size_t>(std::max<int16_t>(count, 1)));
  return out;
}

// A layer parameter: the effect and the parameter (from 1) it is.
bool LayerParamOf(BEE_Layer layer, int32_t index, int32_t* effect, int32_t* param) {
  PF_ParamDef def{};
  if (!ParamOf(layer, index, &def) || def.type != PF_Param_Layer) return false;
  *effect = (index - BEE_StreamFirstEffect) / 128;
  *param = (index - BEE_StreamFirstEffect) % 128 + 1;
  return true;
}

// An effect's own data (the Text effect's text and font): it has no value
// as numbers, no keys and no limits; get_text and set_text reach it.
bool HoldsData(BEE_Layer layer, int32_t index) {
  PF_ParamDef def{};
  return ParamOf(layer, index, &def) && def.type == PF_Param_Arbitrary;
}

// A parameter without a stream: the effect's own data, or a layer.
bool Streamless(BEE_Layer layer, int32_t index) {
  PF_ParamDef def{};
  return ParamOf(layer, index, &def) && (def.type == PF_Param_Arbitrary || def.type == PF_Param_Layer);
}

// A Python value for a stream value: points for a shape, True or False for
// a checkbox, the choice's name for a pop-up, else numbers.
py::object FromStream(BEE_Layer layer, int32_t index, BEE_StreamValue& v) {
  if (v.shape) {
    py::list points;
    try {
      points = PointList(v.shape);
    } catch (...) {
      BEE_UnGetStreamFPV(layer, index, &v);
      throw;
    }
    BEE_UnGetStreamFPV(layer, index, &v);
    return points;
  }
  PF_ParamDef def{};
  if (v.count == 1 && ParamOf(layer, index, &def)) {
    if (def.type == PF_Param_Checkbox) return py::bool_(v.values[0] != 0);
    if (def.type == PF_Param_Popup) {
      const std::vector<std::string> choices = ChoicesOf(def);
      const auto i = static_cast<int64_t>(std::llround(v.values[0]));
      if (i >= 1 && static_cast<size_t>(i) <= choices.size()) return py::str(choices[static_cast<size_t>(i - 1)]);
    }
  }
  return PyValue(v.values, v.count);
}

// A stream value from Python (a shape's lives in guard).
BEE_StreamValue ToStream(BEE_Layer layer, int32_t index, const py::object& value, ShapeGuard& guard) {
  if (IsShapeStream(index)) {
    if (value.is_none()) BadType("a mask shape is a list of (x, y) points");
    Check(tavelo::MakePathShape(PointsOf(value), false, &guard.s), "making the mask's shape");
    BEE_StreamValue v{};
    v.shape = guard.s;
    return v;
  }
  PF_ParamDef def{};
  if (ParamOf(layer, index, &def)) {
    if (def.type == PF_Param_Layer) BadValue("a layer parameter has no keys: set its value to a Layer, or None");
    if (def.type == PF_Param_Arbitrary)
      BadValue("this parameter (" + std::string(kParamTypes[def.type]) + ") is not set through a property");
    if (def.type == PF_Param_Popup && py::isinstance<py::str>(value)) {
      const std::string name = value.cast<std::string>();
      const std::vector<std::string> choices = ChoicesOf(def);
      std::string all;
      for (size_t i = 0; i < choices.size(); ++i) {
        if (strcasecmp(choices[i].c_str(), name.c_str()) == 0) return ValueOf(py::float_(double(i + 1)), 1);
        all += (i ? ", " : "") + choices[i];
      }
      BadValue("\"" + name + "\" is not a choice of the pop-up (" + all + ")");
    }
  }
  BEE_StreamValue probe{};
  Check(BEE_GetStreamFPV(layer, index, nullptr, nullptr, &probe), "reading the property");
  const int dim = probe.shape ? 0 : probe.count;
  BEE_UnGetStreamFPV(layer, index, &probe);
  if (dim <= 0) BadValue("this property does not hold numbers");
  return ValueOf(value, dim);
}

}  // namespace

std::string Property::Type() const {
  Enter();
  if (IsShapeStream(index)) return "shape";
  PF_ParamDef def{};
  if (ParamOf(layer, index, &def)) return def.type < std::size(kParamTypes) ? kParamTypes[def.type] : "unknown";
  return "number";
}

py::object Property::Choices() const {
  Enter();
  PF_ParamDef def{};
  if (!ParamOf(layer, index, &def) || def.type != PF_Param_Popup) return py::none();
  return py::cast(ChoicesOf(def));
}

py::object Property::Value(std::optional<double> time) const {
  Enter();
  if (HoldsData(layer, index)) Fail(3, "this parameter holds the effect's own data: read it with Effect.get_text()");
  int32_t effect = 0, param = 0;
  if (LayerParamOf(layer, index, &effect, &param)) {  // the same at every time
    BEE_Layer target = nullptr;
    Check(BEE_GetEffectParamLayer(layer, effect, param, &target), "reading the layer parameter");
    return target ? py::cast(MakeLayer(target, life)) : py::none();
  }
  BEE_StreamValue v{};
  Time t{};
  if (time) t = ToTime(*time, layer);
  Check(BEE_GetStreamFPV(layer, index, time ? &t : nullptr, nullptr, &v), "reading the property");
  return FromStream(layer, index, v);
}

void Property::SetValue(const py::object& value, std::optional<double> time) const {
  Enter();
  int32_t effect = 0, param = 0;
  if (LayerParamOf(layer, index, &effect, &param)) {
    if (time) BadValue("a layer parameter is the same at every time: give no time");
    BEE_Layer target = nullptr;
    if (!value.is_none()) {
      if (!py::isinstance<Layer>(value))
        BadType("a layer parameter takes a Layer of its composition, or None");
      const Layer& chosen = value.cast<const Layer&>();
      chosen.Enter();
      BEE_Item mine = nullptr, theirs = nullptr;
      Check(BEE_GetLayerComp(layer, &mine), "reading the layer's composition");
      Check(BEE_GetLayerComp(chosen.h, &theirs), "reading the layer's composition");
      if (theirs != mine) BadValue("a layer parameter reads a layer of its own composition");
      if (chosen.h == layer) BadValue("an effect cannot read its own layer");
      target = chosen.h;
    }
    Check(BEE_CmdSetEffectParamLayer(layer, effect, param, target), "choosing the layer");
    return;
  }
  ShapeGuard guard;
  const BEE_StreamValue v = ToStream(layer, index, value, guard);
  Time t{};
  if (time) t = ToTime(*time, layer);
  Check(BEE_CmdSetStreamFPV(layer, index, time ? &t : nullptr, nullptr, &v), "setting the property");
}

bool Property::Animated() const {
  Enter();
  if (Streamless(layer, index)) return false;
  BEE_StreamRef ref{layer, index};
  TDB_Stream stream = nullptr;
  Check(BEE_StreamLookup(&ref, &stream), "finding the stream");
  if (!stream) return false;
  int32_t n = 0;
  Check(TDB_GetNumKeys(stream, &n), "counting the keys");
  return n > 0;
}

void Property::SetAnimated(bool on, std::optional<double> time) const {
  Enter();
  Time lt{};
  if (time) Check(BEE_CompToLayerTime(layer, ToTime(*time, layer), &lt), "placing the key");
  Check(BEE_CmdSetStreamVary(layer, index, time ? &lt : nullptr, on), on ? "animating the property" : "holding the property");
}

int Property::NumKeys() const {
  Enter();
  if (Streamless(layer, index)) return 0;
  BEE_StreamRef ref{layer, index};
  TDB_Stream stream = nullptr;
  Check(BEE_StreamLookup(&ref, &stream), "finding the stream");
  if (!stream) return 0;
  int32_t n = 0;
  Check(TDB_GetNumKeys(stream, &n), "counting the keys");
  return n;
}

namespace {

// One number for one dimension, else a tuple.
py::object Numbers(const double* v, int32_t n) { return n == 1 ? py::object(py::float_(v[0])) : py::object(PyValue(v, n)); }

}  // namespace

py::list Property::Keys() const {
  Enter();
  py::list out;
  if (Streamless(layer, index)) return out;
  BEE_StreamRef ref{layer, index};
  TDB_Stream stream = nullptr;
  Check(BEE_StreamLookup(&ref, &stream), "finding the stream");
  if (!stream) return out;
  int32_t n = 0;
  Check(TDB_GetNumKeys(stream, &n), "counting the keys");
  TDB_StreamInfo info{};
  Check(TDB_GetStreamInfo(stream, &info), "reading the stream");
  int32_t temporal = 0;
  const bool shape = IsShapeStream(index);
  if (!shape) Check(BEE_GetStreamTemporalDimension(stream, &temporal), "reading the stream");
  const bool spatial = !shape && (info.flags & TDB_StreamSpatial);
  py::object keyType = py::module_::import("tavelo").attr("Key");
  for (int32_t k = 0; k < n; ++k) {
    Time lt{}, ct{};
    Check(TDB_IndexToTime(stream, k, &lt), "reading a key's time");
    Check(BEE_LayerToCompTime(layer, lt, &ct), "reading a key's time");
    BEE_StreamValue v{};
    Check(BEE_GetStreamFPV(layer, index, nullptr, &lt, &v), "reading a key's value");
    py::object value = FromStream(layer, index, v);
    int8_t in = 0, outInterp = 0;
    uint16_t flags = 0;
    Check(TDB_GetKeyInterps(stream, k, &in, &outInterp), "reading a key's interpolation");
    Check(TDB_GetKeyFlags(stream, k, &flags), "reading a key's flags");
    py::object speed[2] = {py::none(), py::none()}, influence[2] = {py::none(), py::none()};
    py::object tangent[2] = {py::none(), py::none()};
    if (temporal > 0) {
      double vel[2][BEE_MaxStreamValues] = {}, inf[2][BEE_MaxStreamValues] = {};
      Check(TDB_GetKeyVelocity(stream, k, vel[0], vel[1]), "reading a key's speeds");
      Check(TDB_GetKeyInfluence(stream, k, inf[0], inf[1]), "reading a key's influences");
      for (int side = 0; side < 2; ++side) {
        Check(BEE_ConvertStreamTemporalVelocity(layer, index, 1, vel[side]), "reading a key's speeds");
        for (int32_t d = 0; d < temporal; ++d) inf[side][d] *= 100;
        speed[side] = Numbers(vel[side], temporal);
        influence[side] = Numbers(inf[side], temporal);
      }
    }
    if (spatial) {
      double tan[2][BEE_MaxStreamValues] = {};
      Check(TDB_GetKeySpaceTangents(stream, k, tan[0], tan[1]), "reading a key's tangents");
      for (int side = 0; side < 2; ++side) {
        Check(BEE_ConvertStreamFPV(layer, index, 1, tan[side]), "reading a key's tangents");
        tangent[side] = PyValue(tan[side], info.dimension);
      }
    }
    out.append(keyType(Seconds(ct), value, NameOf(kInterps, in), NameOf(kInterps, outInterp), speed[0], influence[0],
                       speed[1], influence[1], tangent[0], tangent[1], (flags & TDB_KeyFloat) != 0));
  }
  return out;
}

void Property::AddKey(double time, const py::object& value, const std::string& interpolation) const {
  const int8_t interp = interpolation.empty() ? 0 : InterpOf(interpolation);
  Enter();
  ShapeGuard guard;
  const BEE_StreamValue v = ToStream(layer, index, value, guard);
  const Time t = ToTime(time, layer);
  const StepGroup step("Keyframe Change");
  if (!Animated()) SetAnimated(true, time);
  Enter();
  Check(BEE_CmdSetStreamFPV(layer, index, &t, nullptr, &v), "setting the key");
  if (interp) {
    TDB_Stream stream = StreamOf(layer, index);
    Time lt{};
    Check(BEE_CompToLayerTime(layer, t, &lt), "placing the key");
    int32_t key = -1;
    Check(TDB_GetKeyIndex(stream, &lt, 0, &key), "finding the key");
    SetInterpolation(key, interpolation, interpolation);
  }
}

void Property::RemoveKey(int key) const {
  Enter();
  Check(BEE_CmdDeleteKeyframe(layer, index, key), "removing key " + std::to_string(key));
}

void Property::SetInterpolation(int key, const std::string& in, const std::string& out) const {
  const int8_t i = InterpOf(in), o = InterpOf(out);
  Enter();
  Check(BEE_CmdSetKeyInterps(layer, index, key, i, o), "setting the interpolation");
}

void Property::Ease(int key) const {
  Enter();
  // No speed at the key, with handles reaching a third of the way.
  const double still[BEE_MaxStreamValues] = {};
  const double third[BEE_MaxStreamValues] = {1 / 3.0, 1 / 3.0, 1 / 3.0, 1 / 3.0, 1 / 3.0, 1 / 3.0, 1 / 3.0, 1 / 3.0};
  const StepGroup step("Ease Adjustment");
  Check(BEE_CmdSetKeyInterps(layer, index, key, TDB_InterpBezier, TDB_InterpBezier), "easing the key");
  Check(BEE_CmdSetKeyEase(layer, index, key, still, third, still, third), "easing the key");
}

namespace {

// count numbers from a Python number or sequence into out (None keeps out).
void ReadNumbers(const py::object& o, int32_t count, double scale, double* out, const char* what) {
  if (o.is_none()) return;
  std::vector<double> v;
  try {
    if (py::isinstance<py::sequence>(o) && !py::isinstance<py::str>(o)) v = o.cast<std::vector<double>>();
    else v.assign(static_cast<size_t>(count), o.cast<double>());
  } catch (const py::cast_error&) {
    BadType(std::string(what) + " is a number or a sequence of numbers");
  }
  if (static_cast<int32_t>(v.size()) != count)
    BadValue(std::string(what) + " takes " + std::to_string(count) + " number(s), not " + std::to_string(v.size()));
  for (int32_t i = 0; i < count; ++i) {
    if (!std::isfinite(v[static_cast<size_t>(i)])) BadValue(std::string(what) + " must be finite");
    out[i] = v[static_cast<size_t>(i)] * scale;
  }
}

}  // namespace

void Property::SetEase(int key, const py::object& speedIn, const py::object& influenceIn, const py::object& speedOut,
                       const py::object& influenceOut) const {
  Enter();
  TDB_Stream stream = StreamOf(layer, index);
  int32_t dim = 0;
  Check(BEE_GetStreamTemporalDimension(stream, &dim), "reading the stream");
  double speed[2][BEE_MaxStreamValues] = {}, influence[2][BEE_MaxStreamValues] = {};
  Check(TDB_GetKeyVelocity(stream, key, speed[0], speed[1]), "reading the key's speeds");
  Check(TDB_GetKeyInfluence(stream, key, influence[0], influence[1]), "reading the key's influences");
  for (double* side : speed) Check(BEE_ConvertStreamTemporalVelocity(layer, index, 1, side), "reading the key's speeds");
  ReadNumbers(speedIn, dim, 1, speed[0], "speed_in");
  ReadNumbers(influenceIn, dim, 0.01, influence[0], "influence_in");
  ReadNumbers(speedOut, dim, 1, speed[1], "speed_out");
  ReadNumbers(influenceOut, dim, 0.01, influence[1], "influence_out");
  // Speeds and influences shape Bezier sides: a linear side given one becomes Bezier.
  int8_t in = 0, out = 0;
  Check(TDB_GetKeyInterps(stream, key, &in, &out), "reading the key's interpolation");
  if (in == TDB_InterpLinear && !(speedIn.is_none() && influenceIn.is_none())) in = TDB_InterpBezier;
  if (out == TDB_InterpLinear && !(speedOut.is_none() && influenceOut.is_none())) out = TDB_InterpBezier;
  const StepGroup step("Ease Adjustment");
  Check(BEE_CmdSetKeyInterps(layer, index, key, in, out), "setting the interpolation");
  Check(BEE_CmdSetKeyEase(layer, index, key, speed[0], influence[0], speed[1], influence[1]), "easing the key");
}

void Property::SetTangents(int key, const py::object& in, const py::object& out) const {
  Enter();
  TDB_Stream stream = StreamOf(layer, index);
  TDB_StreamInfo info{};
  Check(TDB_GetStreamInfo(stream, &info), "reading the stream");
  if (!(info.flags & TDB_StreamSpatial) || IsShapeStream(index))
    BadValue("only a motion path (a spatial property such as position) has tangents");
  double t[2][BEE_MaxStreamValues] = {};
  Check(TDB_GetKeySpaceTangents(stream, key, t[0], t[1]), "reading the key's tangents");
  for (double* side : t) Check(BEE_ConvertStreamFPV(layer, index, 1, side), "reading the key's tangents");
  ReadNumbers(in, info.dimension, 1, t[0], "tangent_in");
  ReadNumbers(out, info.dimension, 1, t[1], "tangent_out");
  Check(BEE_CmdSetKeySpaceTangents(layer, index, key, t[0], t[1]), "setting the key's tangents");
}

void Property::SetRoving(int key, bool on) const {
  Enter();
  int32_t n = 0;
  Check(TDB_GetNumKeys(StreamOf(layer, index), &n), "counting the keys");
  if (on && (key == 0 || key == n - 1)) BadValue("the first and the last key cannot rove");
  Check(tavelo::SetKeyRoving(layer, index, key, on), on ? "making the key rove" : "fixing the key's time");
}

std::string Property::Repr() const {
  try {
    const std::string name = Name();
    const std::string layerName = Layer{layer, life, layerId}.Name();
    return "<tavelo.Property \"" + name + "\" of layer \"" + layerName + "\">";
  } catch (const EngineError&) {
    return "<tavelo.Property (gone)>";
  }
}

py::tuple Property::Limits() const {
  Enter();
  if (Streamless(layer, index)) return py::make_tuple(py::none(), py::none());
  uint32_t flags = 0;
  double lo = 0, hi = 0;
  Check(BEE_GetStreamMinMax(layer, index, &flags, &lo, &hi), "reading the property's limits");
  return py::make_tuple(flags & BEE_Limit_ClampMin ? py::object(py::float_(lo)) : py::object(py::none()),
                        flags & BEE_Limit_ClampMax ? py::object(py::float_(hi)) : py::object(py::none()));
}

py::list Property::Sample(const std::vector<double>& times) const {
  py::list out;
  for (double t : times) out.append(Value(t));
  return out;
}

// ---- Masks --------------------------------------------------------------------------

std::string Mask::Name() const {
  Enter();
  BEE_MaskInfo info{};
  Check(BEE_GetMaskInfo(layer, index, &info), "reading the mask");
  return info.name;
}

void Mask::SetName(const std::string& name) const {
  Enter();
  if (name.size() > 31 || name.find('\0') != std::string::npos) BadValue("a mask's name is at most 31 bytes");
  Check(tavelo::SetMaskName(layer, index, name), "naming the mask");
}

std::string Mask::Mode() const {
  Enter();
  BEE_MaskInfo info{};
  Check(BEE_GetMaskInfo(layer, index, &info), "reading the mask");
  return NameOf(kMaskModes, static_cast<int64_t>(info.mode) - 1);
}

void Mask::SetMode(const std::string& mode) const {
  const int32_t value = Choose(kMaskModes, mode, "mask mode") + 1;
  Enter();
  Check(tavelo::SetMaskMode(layer, index, value), "setting the mask's mode");
}

bool Mask::Inverted() const {
  Enter();
  BEE_MaskInfo info{};
  Check(BEE_GetMaskInfo(layer, index, &info), "reading the mask");
  return info.invert != 0;
}

void Mask::SetInverted(bool on) const {
  Enter();
  Check(tavelo::SetMaskInverted(layer, index, on), "inverting the mask");
}

void Mask::SetShape(const py::object& rect, const py::object& oval, const py::object& path, bool smooth,
                    std::optional<double> time) const {
  Enter();
  ShapeGuard shape;
  MakeShape(rect, oval, path, smooth, shape);
  BEE_StreamValue v{};
  v.shape = shape.s;
  Time t{};
  if (time) t = ToTime(*time, layer);
  const int32_t stream = BEE_StreamFirstMask + 3 * index + BEE_MaskStreamShape;
  const StepGroup step("Keyframe Change");
  if (time && !Shape().Animated()) {
    Time lt{};
    Check(BEE_CompToLayerTime(layer, t, &lt), "placing the key");
    Check(BEE_CmdSetStreamVary(layer, stream, &lt, 1), "animating the mask's shape");
  }
  Check(BEE_CmdSetStreamFPV(layer, stream, time ? &t : nullptr, nullptr, &v), "setting the mask's shape");
}

py::list Mask::Bezier(std::optional<double> time) const {
  Enter();
  BEE_StreamValue v{};
  Time t{};
  if (time) t = ToTime(*time, layer);
  const int32_t stream = BEE_StreamFirstMask + 3 * index + BEE_MaskStreamShape;
  Check(BEE_GetStreamFPV(layer, stream, time ? &t : nullptr, nullptr, &v), "reading the mask's shape");
  std::vector<tavelo::PathVertex> vertices;
  const ErrorCode err = v.shape ? tavelo::ReadPathShape(v.shape, &vertices) : 0;
  BEE_UnGetStreamFPV(layer, stream, &v);
  Check(err, "reading the mask's shape");
  py::list out;
  for (const auto& x : vertices)
    out.append(py::make_tuple(py::make_tuple(x.point.x, x.point.y), py::make_tuple(x.in.x, x.in.y),
                              py::make_tuple(x.out.x, x.out.y)));
  return out;
}

std::string Mask::Repr() const {
  try {
    return "<tavelo.Mask \"" + Name() + "\" (" + Mode() + (Inverted() ? ", inverted" : "") + ") of layer \"" +
           Layer{layer, life, layerId}.Name() + "\">";
  } catch (const EngineError&) {
    return "<tavelo.Mask (gone)>";
  }
}

void Mask::Delete() const {
  Enter();
  Check(BEE_CmdDeleteMask(layer, index), "deleting the mask");
}

// ---- Effects ------------------------------------------------------------------------

std::string Effect::Name() const {
  Enter();
  char name[48] = {};
  Check(FLT_SeqInqName(SequenceOf(layer, index), name), "reading the effect's name");
  if (name[0]) return name;
  int16_t cls = 0;
  Check(FLT_SeqInqClass(SequenceOf(layer, index), &cls), "reading the effect's class");
  char display[32] = {};
  Check(FLT_InqPFInfo(cls, display, nullptr, nullptr), "reading the effect's class");
  return display;
}

void Effect::SetName(const std::string& name) const {
  Enter();
  Check(BEE_CmdRenameEffect(layer, index, name.c_str()), "renaming the effect");
}

std::string Effect::MatchName() const {
  Enter();
  int16_t cls = 0;
  Check(FLT_SeqInqClass(SequenceOf(layer, index), &cls), "reading the effect's class");
  char match[48] = {};
  Check(FLT_InqPFInfo(cls, nullptr, match, nullptr), "reading the effect's class");
  return match;
}

bool Effect::Enabled() const {
  Enter();
  Handle parade = nullptr;
  int32_t count = 0;
  Check(BEE_InqLayerEffectSeq(layer, &parade, &count), "reading the layer's effects");
  if (!parade || index >= count) Fail(10, "the layer has no effect " + std::to_string(index));
  uint32_t flags = 0;
  Check(FLT_InqParadeSeqFlags(reinterpret_cast<FLT_Parade>(parade), index, &flags), "reading the effect");
  return (flags & FLT_Item_On) != 0;
}

void Effect::SetEnabled(bool on) const {
  Enter();
  Check(BEE_CmdSetEffectEnabled(layer, index, on), "switching the effect");
}

std::vector<std::string> Effect::ParamNames() const {
  Enter();
  FLT_Sequence seq = SequenceOf(layer, index);
  int32_t params = 0;
  Check(FLT_SeqInqNumParams(seq, &params), "reading the effect");
  std::vector<std::string> out;
  for (int32_t p = 1; p < params; ++p) {
    char name[32] = {};
    Check(FLT_SeqInqParamName(seq, p, name), "reading the effect's parameters");
    out.push_back(name);
  }
  return out;
}

Property Effect::Param(const py::object& key) const {
  Enter();
  FLT_Sequence seq = SequenceOf(layer, index);
  int32_t params = 0;
  Check(FLT_SeqInqNumParams(seq, &params), "reading the effect");
  int32_t p = -1;
  if (py::isinstance<py::int_>(key)) {
    const long n = key.cast<long>();
    if (n < 1 || n >= params) Fail(10, "the effect has parameters 1 to " + std::to_string(params - 1));
    p = static_cast<int32_t>(n);
  } else if (py::isinstance<py::str>(key)) {
    const std::string k = key.cast<std::string>();
    for (int32_t i = 1; i < params && p < 0; ++i) {
      char name[32] = {};
      if (FLT_SeqInqParamName(seq, i, name) == 0 && strcasecmp(name, k.c_str()) == 0) p = i;
    }
    S().reports.clear();
    if (p < 0) Fail(10, "the effect has no parameter \"" + k + "\"");
  } else {
    BadType("an effect parameter is named by its name or its number (1 is the first)");
  }
  return Property{layer, BEE_StreamFirstEffect + 128 * index + p - 1, life, 0, seq, p - 1, serial, layerId};
}

std::string Effect::Repr() const {
  try {
    return "<tavelo.Effect \"" + Name() + "\" (" + MatchName() + ") of layer \"" +
           Layer{layer, life, layerId}.Name() + "\">";
  } catch (const EngineError&) {
    return "<tavelo.Effect (gone)>";
  }
}

void Effect::Delete() const {
  Enter();
  Check(BEE_CmdDeleteEffect(layer, index), "deleting the effect");
}

std::vector<std::pair<std::string, std::string>> EffectNames(uint64_t life) {
  Enter(life);
  int32_t count = 0;
  Check(FLT_InqNumPF(&count), "counting the effects");
  std::vector<std::pair<std::string, std::string>> out;
  for (int32_t i = 0; i < count; ++i) {
    char display[32] = {}, match[48] = {};
    uint32_t flags = 0;
    if (FLT_InqPFInfo(static_cast<int16_t>(i), display, match, &flags) == 0) out.emplace_back(display, match);
  }
  S().reports.clear();
  return out;
}

}  // namespace tvpy
