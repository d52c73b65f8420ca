// Masks and effects of a described layer.
#include <strings.h>

#include <cmath>
#include <cstring>

#include "FLT.h"
#include "OM.h"
#include "desc_build.h"
#include "session.h"

namespace tavelo::desc {
namespace {

// A command without a wrapper of its own, as one undo group.
ErrorCode Command(int32_t number, intptr_t a, intptr_t b) {
  if (ErrorCode err = BEE_StartGroup(nullptr, number)) return err;
  intptr_t params[2] = {a, b};
  ErrorCode err = BEE_DoCommand(number, params);
  BEE_EndGroup();
  return err;
}

Fixed ToFixed(double v) { return static_cast<Fixed>(std::llround(v * 65536.0)); }

// The class of an effect named by its match name or its display name.
int16_t FindEffect(const Node& n) {
  const std::string name = n.String();
  int16_t index = 0;
  Boolean32 found = 0;
  if (FLTp_FindClass(name.c_str(), &index, &found) == 0 && found) return index;
  int32_t count = 0;
  FLT_InqNumPF(&count);
  for (int32_t i = 0; i < count; ++i) {
    char display[32] = {}, match[48] = {};
    uint32_t flags = 0;
    if (FLT_InqPFInfo(static_cast<int16_t>(i), display, match, &flags) == 0 && strcasecmp(display, name.c_str()) == 0)
      return static_cast<int16_t>(i);
  }
  n.Error("no effect named \"" + name + "\" (`tavelo plugins` lists the effects)");
}

// The parameter a key of "params" names: its number (1 is the first
// parameter after the input layer) or its name.
int32_t FindParam(BEE_Layer layer, int32_t effect, const Node& where, const std::string& key) {
  Handle parade = nullptr;
  int32_t count = 0;
  FLT_Sequence seq = nullptr;
  int32_t params = 0;
  Check(BEE_InqLayerEffectSeq(layer, &parade, &count), *where.file + ": " + where.path + ": reading the effect");
  Check(FLT_GetParadeSeq(parade, effect, &seq), *where.file + ": " + where.path + ": reading the effect");
  Check(FLT_SeqInqNumParams(seq, &params), *where.file + ": " + where.path + ": reading the effect");
  char* end = nullptr;
  const long number = std::strtol(key.c_str(), &end, 10);
  if (!key.empty() && *end == '\0') {
    if (number < 1 || number >= params)
      where.Error("the effect has parameters 1 to " + std::to_string(params - 1));
    return static_cast<int32_t>(number);
  }
  std::string names;
  for (int32_t p = 1; p < params; ++p) {
    char name[32] = {};
    if (FLT_SeqInqParamName(seq, p, name)) continue;
    if (strcasecmp(name, key.c_str()) == 0) return p;
    names += std::string(names.empty() ? "" : ", ") + "\"" + name + "\"";
  }
  where.Error("the effect has no parameter \"" + key + "\" (it has " + names + ")");
}

// Mask coordinates are 16.16 fixed point: pixels from -32767 to 32767.
void CheckPixels(const Node& n, const std::vector<double>& v) {
  for (double x : v)
    if (!(x >= -32767 && x <= 32767)) n.Error("pixels must lie between -32767 and 32767");
}

// The mask's shape as a Bezier path in layer pixels: a rectangle or an oval
// ([left, top, right, bottom]), or a closed path through points, with
// straight sides or (smooth) handles through the neighbours.
OM_Shape MaskShape(const Node& m) {
  auto rect = m.Get("rect");
  auto oval = m.Get("oval");
  auto path = m.Get("path");
  if ((rect ? 1 : 0) + (oval ? 1 : 0) + (path ? 1 : 0) != 1)
    m.Error("a mask has one of \"rect\", \"oval\" ([left, top, right, bottom]) or \"path\" ([[x, y], ...])");
  const std::string where = *m.file + ": " + m.path;
  OM_Shape shape = nullptr;
  ErrorCode err = 0;
  if (path) {
    if (path->Size() < 3) path->Error("a path needs at least 3 points");
    std::vector<FixedPoint> points;
    for (size_t i = 0; i < path->Size(); ++i) {
      std::vector<double> p = path->At(i).Numbers(2, false);
      CheckPixels(path->At(i), p);
      points.push_back(FixedPoint{ToFixed(p[0]), ToFixed(p[1])});
    }
    bool smooth = false;
    if (auto sm = m.Get("smooth")) smooth = sm->Bool();
    Check(OM_NewShape(OM_TypePath, nullptr, &shape), where + ": making the shape");
    for (size_t i = 0; i < points.size() && !err; ++i) err = OM_ShapeAddBezVertex(shape, -1, &points[i], nullptr, nullptr);
    for (size_t i = 0; i < points.size() && !err && smooth; ++i)
      err = OM_ShapeSetDefaultBezTangents(shape, static_cast<int32_t>(3 * i));
    if (!err) err = OM_RecalcBounds(shape);
  } else {
    const Node& box = rect ? *rect : *oval;
    std::vector<double> b = box.Numbers(4, false);
    if (!(b[0] < b[2] && b[1] < b[3])) box.Error("left must be less than right and top less than bottom");
    CheckPixels(box, b);
    const FixedRect bounds{ToFixed(b[0]), ToFixed(b[1]), ToFixed(b[2]), ToFixed(b[3])};
    Check(OM_NewShape(rect ? OM_TypeRect : OM_TypeOval, &bounds, &shape), where + ": making the shape");
    // Masks hold Bezier paths: the rectangle or oval becomes one.
    err = OM_SetShapeType(OM_TypePath, shape);
  }
  if (err) {
    OM_DisposeShape(shape);
    EngineFail(where + ": making the shape", err);
  }
  return shape;
}

}  // namespace

void AddMasks(BEE_Layer layer, const Node& list) {
  for (size_t i = 0; i < list.Size(); ++i) {
    Node m = list.At(i);
    m.Only({"name", "rect", "oval", "path", "smooth", "mode", "inverted", "feather", "opacity"});
    const std::string where = *m.file + ": " + m.path;
    OM_Shape shape = MaskShape(m);
    int32_t index = 0;
    ErrorCode err = BEE_CmdAddMask(layer, shape, &index);
    OM_DisposeShape(shape);
    Check(err, where + ": adding the mask");
    if (auto name = m.Get("name")) {
      BEE_MaskName mn{};
      mn.mask = index;
      std::strncpy(mn.name, name->Name().c_str(), sizeof mn.name - 1);
      Check(Command(BEE_CmdNumMaskName, reinterpret_cast<intptr_t>(layer), reinterpret_cast<intptr_t>(&mn)),
            where + ": naming the mask");
    }
    if (auto mode = m.Get("mode")) {
      const int32_t value = mode->Choice({"add", "subtract", "intersect", "lighten", "darken", "difference"}) + 1;
      Check(Command(BEE_CmdNumMaskMode, reinterpret_cast<intptr_t>(layer), BEE_PackMaskValue(index, value)),
            where + ": setting the mode");
    }
    if (auto inv = m.Get("inverted"))
      Check(Command(BEE_CmdNumMaskInvert, reinterpret_cast<intptr_t>(layer), BEE_PackMaskValue(index, inv->Bool())),
            where + ": inverting the mask");
    const int32_t first = BEE_StreamFirstMask + 3 * index;
    if (auto f = m.Get("feather")) SetProperty(layer, first + BEE_MaskStreamFeather, *f, true);
    if (auto o = m.Get("opacity")) SetProperty(layer, first + BEE_MaskStreamOpacity, *o, false);
  }
}

void AddEffects(BEE_Layer layer, const Node& list) {
  for (size_t i = 0; i < list.Size(); ++i) {
    Node e = list.At(i);
    e.Only({"effect", "name", "enabled", "params"});
    const int16_t cls = FindEffect(e.Need("effect"));
    const std::string where = *e.file + ": " + e.path;
    int32_t index = 0;
    Check(BEE_CmdApplyEffect(layer, cls, &index), where + ": applying the effect");
    if (auto name = e.Get("name"))
      Check(BEE_CmdRenameEffect(layer, index, name->String().c_str()), where + ": naming the effect");
    if (auto on = e.Get("enabled")) Check(BEE_CmdSetEffectEnabled(layer, index, on->Bool()), where + ": enabling");
    if (auto params = e.Get("params")) {
      if (!params->IsObject()) params->Error("expected an object of parameter names (or numbers) and values");
      for (auto it = params->j.begin(); it != params->j.end(); ++it) {
        Node value{*it, params->Child(it.key()), e.file};
        const int32_t p = FindParam(layer, index, value, it.key());
        SetProperty(layer, BEE_StreamFirstEffect + 128 * index + p - 1, value, false);
      }
    }
  }
}

}  // namespace tavelo::desc
