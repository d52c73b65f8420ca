// The module's objects: thin values naming something of the engine (its
// project, an item, a layer, a stream of a layer, a mask, an effect) with the
// life of the engine they came from. Every method enters the engine through
// Enter(life) and calls its exported operations only.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <optional>
#include <string>
#include <vector>

#include "BEE.h"
#include "FLT.h"
#include "engine.h"

namespace tvpy {

struct Item;
struct Comp;
struct Layer;

// The engine's one open project.
struct Project {
  uint64_t life;  // ProjectToken(): the engine's life and the project's
  void Enter() const { tvpy::Enter(life); }
  std::string Path() const;
  bool Dirty() const;
  void Save(const std::string& path) const;
  std::vector<py::object> Items() const;
  std::vector<Comp> Comps() const;
  py::object Find(const std::string& name) const;  // an item named name, or None
  Comp GetComp(const std::string& name) const;      // Error when there is none
  Comp NewComp(const std::string& name, int width, int height, double fps, double duration, double pixelAspect,
               const py::object& background) const;
  Item NewFolder(const std::string& name) const;
  Item ImportFootage(const std::string& path, bool sequence) const;
  void Undo() const;
  void Redo() const;
  std::optional<std::string> UndoName() const;  // None when nothing can be undone
  std::optional<std::string> RedoName() const;
  void StartGroup(const std::string& name) const;
  void EndGroup() const;
  std::string Dump() const;
};

// An item of the project. Once removed (until the removal is undone) it
// raises tavelo.Error (code 3) instead of changing an item nothing shows.
struct Item {
  BEE_Item h;
  uint64_t life;
  uint32_t id = 0;  // the item's ID: another item made at a freed one's address has another
  void Enter() const;
  std::string Name() const;
  void SetName(const std::string& name) const;
  std::string Kind() const;
  uint32_t Id() const;
  int Width() const;
  int Height() const;
  double Duration() const;
  py::object Parent() const;
  void Remove() const;
  // The proxy shown instead of the item (footage or a composition): its
  // file, None without one; SetProxy(None) removes it.
  py::object ProxyPath() const;
  void SetProxy(const py::object& path, bool sequence) const;
  bool ProxyOn() const;
  void SetProxyOn(bool on) const;
  // Footage: how its pixels and time are read (fields, pulldown, fps,
  // alpha, matte, pixel aspect), as a dict; Interpret changes the keys given.
  py::dict Interpretation() const;
  void Interpret(const py::object& fields, const py::object& pulldown, const py::object& fps, const py::object& alpha,
                 const py::object& matte, const py::object& pixelAspect) const;
  std::string Repr() const;
  bool operator==(const Item& o) const { return h == o.h && life == o.life && id == o.id; }
};
// Items made for Python: a composition becomes a Comp.
py::object WrapItem(BEE_Item item, uint64_t life);
// The item a Python argument names (Error for None or anything else).
BEE_Item ItemArg(const py::object& o, uint64_t life, const char* what);

struct Comp : Item {
  double FrameRate() const;
  int64_t FrameCount() const;
  double FrameTime(int64_t frame) const;
  uint32_t Background() const;
  void SetBackground(const py::object& colour) const;
  int Resolution() const;
  void SetResolution(int factor) const;
  bool Switch(uint32_t bit) const;  // BEE_CompSwitch*
  void SetSwitch(uint32_t bit, bool on) const;
  double PixelAspect() const;
  void SetPixelAspect(double aspect) const;
  int NumLayers() const;
  Layer LayerAt(int index) const;       // Python index (negative from the top)
  std::vector<Layer> Layers() const;
  Layer LayerNamed(const std::string& name) const;
  Layer AddSolid(const std::string& name, const py::object& color, std::optional<int> width,
                 std::optional<int> height) const;
  Layer AddLayer(const py::object& source) const;
  Comp Duplicate() const;
  // Pre-composes the layers (a Layer or a list of them) as one undo step
  // and gives the new composition.
  Comp Precompose(const py::object& layers, const std::optional<std::string>& name, bool moveAttributes) const;
  py::array_t<uint8_t> RenderFrame(std::optional<int64_t> frame, std::optional<double> time,
                                   const py::object& progress) const;
  py::array RenderAudio(double start, std::optional<double> duration, double rate, int channels,
                        const std::string& dtype, const py::object& progress) const;
  void SaveFrame(const std::string& path, int64_t frame) const;
  py::dict RenderMovie(const std::string& path, std::optional<double> start, std::optional<double> duration,
                       const std::string& codec, bool sound, const py::object& progress,
                       const std::string& fields) const;
};

// A stream of a layer (BEE stream index), read and set in user units. A
// mask's or an effect's stream follows its mask or effect (by the mask's ID,
// the effect's Sequence) when others before it are deleted or moved.
struct Property {
  BEE_Layer layer;
  mutable int32_t index;
  uint64_t life;
  uint32_t maskId = 0;            // a mask's stream: its mask, and which of its three
  FLT_Sequence effect = nullptr;  // an effect's parameter: its effect, and which
  int32_t within = 0;
  uint64_t serial = 0;   // the effect's Sequence's serial
  uint32_t layerId = 0;  // the layer's ID
  // Enter(life), then the stream's index now (code 3 when its mask or
  // effect was deleted).
  void Enter() const;
  std::string Name() const;
  int Dimension() const;
  // "number", "shape" (a mask's), or an effect parameter's type ("slider",
  // "angle", "checkbox", "colour", "point", "popup" ...).
  std::string Type() const;
  py::object Choices() const;  // a pop-up's choices, else None
  py::object Value(std::optional<double> time) const;
  void SetValue(const py::object& value, std::optional<double> time) const;
  bool Animated() const;
  void SetAnimated(bool on, std::optional<double> time) const;
  py::list Keys() const;
  int NumKeys() const;
  void AddKey(double time, const py::object& value, const std::string& interpolation) const;
  void RemoveKey(int key) const;
  void SetInterpolation(int key, const std::string& in, const std::string& out) const;
  void Ease(int key) const;
  // Speeds (user units a second; a number or one per dimension) and
  // influences (percent) of a key's sides; None keeps what the key has.
  void SetEase(int key, const py::object& speedIn, const py::object& influenceIn, const py::object& speedOut,
               const py::object& influenceOut) const;
  void SetTangents(int key, const py::object& in, const py::object& out) const;
  void SetRoving(int key, bool on) const;
  std::string Repr() const;
  py::tuple Limits() const;
  py::list Sample(const std::vector<double>& times) const;
};

// A mask, found by its ID: the index follows when masks before it go.
struct Mask {
  BEE_Layer layer;
  mutable int32_t index;
  uint64_t life;
  uint32_t id = 0;
  uint32_t layerId = 0;
  // Enter(life), then the mask's index now (code 3 once it was deleted).
  void Enter() const;
  Property Stream(int32_t which) const {
    Enter();
    return Property{layer, BEE_StreamFirstMask + 3 * index + which, life, id, nullptr, which, 0, layerId};
  }
  std::string Name() const;
  void SetName(const std::string& name) const;
  std::string Mode() const;
  void SetMode(const std::string& mode) const;
  bool Inverted() const;
  void SetInverted(bool on) const;
  Property Shape() const { return Stream(BEE_MaskStreamShape); }
  Property Feather() const { return Stream(BEE_MaskStreamFeather); }
  Property Opacity() const { return Stream(BEE_MaskStreamOpacity); }
  // Sets the shape from one of rect, oval, path (a key at time when given,
  // which animates the shape).
  void SetShape(const py::object& rect, const py::object& oval, const py::object& path, bool smooth,
                std::optional<double> time) const;
  // Vertices with their handles: [((x, y), (in x, in y), (out x, out y)), ...].
  py::list Bezier(std::optional<double> time) const;
  std::string Repr() const;
  void Delete() const;
};

// An effect, found by its Sequence: the index follows when effects before
// it go or move.
struct Effect {
  BEE_Layer layer;
  mutable int32_t index;
  uint64_t life;
  FLT_Sequence seq = nullptr;
  uint64_t serial = 0;  // the Sequence's, told apart from a later one at its address
  uint32_t layerId = 0;
  // Enter(life), then the effect's index now (code 3 once it was deleted).
  void Enter() const;
  std::string Name() const;
  void SetName(const std::string& name) const;
  std::string MatchName() const;
  bool Enabled() const;
  void SetEnabled(bool on) const;
  std::vector<std::string> ParamNames() const;
  Property Param(const py::object& key) const;
  std::string Repr() const;
  void Delete() const;
};

// Objects for engine handles, with the IDs they are told apart by.
Item MakeItem(BEE_Item h, uint64_t life);
Comp MakeComp(BEE_Item h, uint64_t life);
Layer MakeLayer(BEE_Layer h, uint64_t life);

// A layer of a composition. Once deleted (until the deletion is undone) it
// raises tavelo.Error (code 3) instead of changing a layer no composition
// shows.
struct Layer {
  BEE_Layer h;
  uint64_t life;
  uint32_t id = 0;  // the layer's ID, as an item's
  void Enter() const;
  std::string Name() const;
  void SetName(const std::string& name) const;
  int Index() const;
  void MoveTo(int index) const;
  Comp GetComp() const;
  py::object Source() const;
  bool Switch(uint32_t bit) const;
  void SetSwitch(uint32_t bit, bool on) const;
  std::string Quality() const;
  void SetQuality(const std::string& q) const;
  std::string Mode() const;
  void SetMode(const std::string& mode) const;
  std::string TrackMatte() const;
  void SetTrackMatte(const std::string& matte) const;
  double GetTime(int32_t which) const;
  // In and out points as composition times (where the layer starts and
  // ends showing, whatever its offset and stretch).
  double InPoint() const;
  double OutPoint() const;
  void SetTimes(std::optional<double> offset, std::optional<double> in, std::optional<double> out) const;
  double Stretch() const;
  void SetStretch(double stretch) const;
  bool PreserveTransparency() const;
  void SetPreserveTransparency(bool on) const;
  std::string Repr() const;
  Property Prop(int32_t index) const;
  Property PropNamed(const std::string& name) const;
  std::vector<Mask> Masks() const;
  Mask AddMask(const py::object& rect, const py::object& oval, const py::object& path, bool smooth,
               const std::string& mode, bool inverted, const py::object& feather, const py::object& opacity) const;
  std::vector<Effect> Effects() const;
  Effect ApplyEffect(const std::string& name, const py::dict& params) const;
  Layer Duplicate() const;
  void Delete() const;
  bool operator==(const Layer& o) const { return h == o.h && life == o.life && id == o.id; }
};

// The names of the installed effects (display name, match name).
std::vector<std::pair<std::string, std::string>> EffectNames(uint64_t life);
// Builds a project description (JSON text) into the open project.
void BuildDescription(uint64_t life, const std::string& text, const std::string& name, const std::string& baseDir);
// Opens a project file (or builds a .json description) in place of the open project.
void OpenProject(uint64_t life, const std::string& path);
void NewProject(uint64_t life);
// Comp.add_text, Effect.get_text and Effect.set_text (text.cpp).
void BindText(py::module_& m);

}  // namespace tvpy
