// Masks of a described layer: a rectangle, an oval or a path, constant or
// keyframed, with its mode, inversion, feather and opacity.
#include "desc_build.h"
#include "mask_shape.h"
#include "session.h"

namespace tavelo::desc {
namespace {

struct ShapeGuard {
  OM_Shape s = nullptr;
  ~ShapeGuard() {
    if (s) OM_DisposeShape(s);
  }
};

// Makes a shape of the kind the mask names from one value: a box
// [left, top, right, bottom] or a path [[x, y], ...].
struct ShapeMaker : KeyValueSetter {
  enum Kind { kRect, kOval, kPath } kind;
  bool smooth = false;
  BEE_Layer layer = nullptr;
  int32_t index = 0;  // the shape stream, once the mask is there
  explicit ShapeMaker(Kind k) : kind(k) {}

  void Make(const Node& v, ShapeGuard& g) const {
    ErrorCode err = 0;
    if (kind == kPath) {
      // A path longer than the engine's shapes is refused before it is read.
      if (v.Size() > kMaxPathVertices)
        v.Error("a path has at most " + std::to_string(kMaxPathVertices) + " points (this one has " +
                std::to_string(v.Size()) + ")");
      std::vector<PathPoint> points;
      for (size_t i = 0; i < v.Size(); ++i) {
        const std::vector<double> p = v.At(i).Numbers(2, false);
        points.push_back(PathPoint{p[0], p[1]});
      }
      if (const std::string problem = PathProblem(points); !problem.empty()) v.Error(problem);
      err = MakePathShape(points, smooth, &g.s);
    } else {
      const std::vector<double> b = v.Numbers(4, false);
      if (const std::string problem = BoxProblem(b.data()); !problem.empty()) v.Error(problem);
      err = MakeBoxShape(kind == kOval, b.data(), &g.s);
    }
    Check(err, v, "making the shape");
  }
  void Set(const Node& value, const Time* time) override {
    ShapeGuard g;
    Make(value, g);
    BEE_StreamValue v{};
    v.shape = g.s;
    Check(BEE_CmdSetStreamFPV(layer, index, time, nullptr, &v), value, "setting the shape");
  }
};

}  // namespace

void AddMasks(BEE_Layer layer, const Node& list) {
  for (size_t i = 0; i < list.Size(); ++i) {
    Node m = list.At(i);
    m.Only({"name", "rect", "oval", "path", "smooth", "mode", "inverted", "feather", "opacity"});
    auto rect = m.Get("rect");
    auto oval = m.Get("oval");
    auto path = m.Get("path");
    if ((rect ? 1 : 0) + (oval ? 1 : 0) + (path ? 1 : 0) != 1)
      m.Error("a mask has one of \"rect\", \"oval\" ([left, top, right, bottom]) or \"path\" ([[x, y], ...])");
    const Node& shapeNode = rect ? *rect : oval ? *oval : *path;
    ShapeMaker maker(rect ? ShapeMaker::kRect : oval ? ShapeMaker::kOval : ShapeMaker::kPath);
    if (auto sm = m.Get("smooth")) {
      if (!path) sm->Error("\"smooth\" goes with \"path\"");
      maker.smooth = sm->Bool();
    }
    // The mask starts with its first (or only) shape.
    const bool keyed = IsKeyList(shapeNode);
    ShapeGuard first;
    maker.Make(keyed ? shapeNode.At(0).Need("value") : shapeNode, first);
    int32_t index = 0;
    Check(BEE_CmdAddMask(layer, first.s, &index), m, "adding the mask");
    maker.layer = layer;
    maker.index = BEE_StreamFirstMask + 3 * index + BEE_MaskStreamShape;
    if (keyed) SetAnimatable(layer, maker.index, shapeNode, maker);
    if (auto name = m.Get("name")) Check(SetMaskName(layer, index, name->Name()), *name, "naming the mask");
    if (auto mode = m.Get("mode"))
      Check(SetMaskMode(layer, index, mode->Choice({"add", "subtract", "intersect", "lighten", "darken", "difference"}) + 1),
            *mode, "setting the mode");
    if (auto inv = m.Get("inverted")) Check(SetMaskInverted(layer, index, inv->Bool()), *inv, "inverting the mask");
    const int32_t first3 = BEE_StreamFirstMask + 3 * index;
    if (auto f = m.Get("feather")) SetProperty(layer, first3 + BEE_MaskStreamFeather, *f, true);
    if (auto o = m.Get("opacity")) SetProperty(layer, first3 + BEE_MaskStreamOpacity, *o, false);
  }
}

}  // namespace tavelo::desc
