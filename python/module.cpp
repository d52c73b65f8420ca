// The `tavelo._tavelo` extension: Python names for the engine's objects.
// tavelo/__init__.py adds the pure-Python parts (Engine's automatic birth,
// Key) and tavelo/__init__.pyi describes everything for editors.
#include <pybind11/functional.h>

#include <cmath>

#include "Engine.h"
#include "Memory.h"
#include "SND.h"
#include "TaveloVersion.h"
#include "objects.h"
#include "tavelo_revision.h"

namespace tvpy {
namespace {

// The engine's life as a Python object: born by the constructor, killed by
// close() (or the with block's end, or when the object goes away).
struct PyEngine {
  uint64_t life = 0;
  bool open = false;
  PyEngine(const std::vector<std::string>& plugins, int threads, int64_t memory) {
    Birth(plugins, threads, memory);
    life = S().life;
    open = true;
  }
  // Never in the middle of a render (a progress callable dropping the last
  // reference): the engine then stays alive rather than die under it.
  ~PyEngine() {
    if (!S().busy) Close();
  }
  PyEngine(const PyEngine&) = delete;
  PyEngine& operator=(const PyEngine&) = delete;
  void Close() {
    if (S().busy && open && S().alive && S().life == life)
      Fail(3, "the engine is rendering: a progress callable cannot close it");
    if (open && S().alive && S().life == life) Death();
    open = false;
  }
  bool Closed() const { return !open || !S().alive || S().life != life; }
  Project GetProject() const {
    Enter(life);
    return Project{ProjectToken(life)};
  }
  // The engine's settings, for a property to read or change.
  BEE_Prefs Prefs() const {
    Enter(life);
    BEE_Prefs prefs{};
    Check(BEE_GetPrefs(&prefs), "reading the engine's settings");
    return prefs;
  }
};

struct UndoGroup {
  Project project;
  std::string name;
  bool started = false;
};

PyObject* gErrorType = nullptr;
PyObject* gValueErrorType = nullptr;  // tavelo.Error and ValueError
PyObject* gTypeErrorType = nullptr;   // tavelo.Error and TypeError

// The budget in force and where it came from.
py::dict MemoryBudget(uint64_t life) {
  Enter(life);
  EMUL_BudgetInfo info{};
  EMUL_GetMemoryBudget(&info);
  const char* sources[] = {"", "setting", "preference", "cgroup2", "cgroup1", "physical"};
  py::dict d;
  d["budget"] = info.budget;
  d["source"] = info.source >= 1 && info.source <= 5 ? sources[info.source] : "";
  d["figure"] = info.figure;
  d["usage_percent"] = info.usagePercent;
  d["file"] = std::string(info.file);
  d["purge_level"] = info.prePurgeLevel;
  d["ceiling"] = info.ceiling;
  return d;
}

py::dict LiveCounts() {
  py::dict d;
  d["handles"] = EMUL_LiveHandleCount();
  d["pointers"] = EMUL_LivePtrCount();
  if (S().alive) {
    int32_t items = 0, layers = 0;
    BEEp_GetLiveCounts(&items, &layers);
    int64_t created = 0, alive = 0;
    SNDp_GetWorldCounts(&created, &alive);
    d["items"] = items;
    d["layers"] = layers;
    d["sound_worlds"] = alive;
  }
  if (!S().busy) S().reports.clear();
  return d;
}

}  // namespace
}  // namespace tvpy

PYBIND11_MODULE(_tavelo, m) {
  using namespace tvpy;
  m.doc() = "The Tavelo engine's exported operations for Python (see the tavelo package).";
  m.attr("__version__") = TAVELO_VERSION;
  m.attr("__revision__") = std::string(tavelo_revision);

  gErrorType = PyErr_NewExceptionWithDoc(
      "tavelo.Error",
      "What the engine refused or could not do: code (the engine's error code), location (where it was "
      "reported: package << 24 | site, 0 when the module found the fault) and message (the engine's report).",
      PyExc_Exception, nullptr);
  m.attr("Error") = py::handle(gErrorType);
  // Arguments the module refuses are Python's ValueError or TypeError too.
  const auto both = [](PyObject* builtin) { return py::make_tuple(py::handle(gErrorType), py::handle(builtin)); };
  gValueErrorType = PyErr_NewExceptionWithDoc("tavelo.ArgumentError",
                                              "An argument's value the module refuses (code 3): a tavelo.Error and "
                                              "a ValueError.",
                                              both(PyExc_ValueError).release().ptr(), nullptr);
  gTypeErrorType = PyErr_NewExceptionWithDoc("tavelo.ArgumentTypeError",
                                             "An argument of a type the module does not take (code 3): a "
                                             "tavelo.Error and a TypeError.",
                                             both(PyExc_TypeError).release().ptr(), nullptr);
  m.attr("ArgumentError") = py::handle(gValueErrorType);
  m.attr("ArgumentTypeError") = py::handle(gTypeErrorType);
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const EngineError& e) {
      PyObject* type = e.blame == Blame::kValue ? gValueErrorType : e.blame == Blame::kType ? gTypeErrorType : gErrorType;
      py::object exc = py::reinterpret_borrow<py::object>(type)(e.text);
      exc.attr("code") = e.code;
      exc.attr("location") = e.location;
      exc.attr("message") = e.message;
      PyErr_SetObject(type, exc.ptr());
    }
  });

  m.def("live_counts", &LiveCounts,
        "Handles and pointers of the engine's memory manager alive now (and, while the engine lives, its "
        "items, layers and sound worlds): for leak checks.");
  m.def("is_running", [] { return S().alive; }, "Whether an engine is alive in this process.");

  py::class_<PyEngine>(m, "_Engine")
      .def(py::init<const std::vector<std::string>&, int, int64_t>(), py::arg("plugins"), py::arg("threads"),
           py::arg("memory"))
      .def_property_readonly("memory_budget", [](PyEngine& e) { return MemoryBudget(e.life); })
      .def("close", &PyEngine::Close)
      .def_property_readonly("closed", &PyEngine::Closed)
      .def_property_readonly("project", &PyEngine::GetProject)
      .def("open",
           [](PyEngine& e, const std::string& path) {
             OpenProject(e.life, path);
             return Project{ProjectToken(e.life)};
           })
      .def("new_project",
           [](PyEngine& e) {
             NewProject(e.life);
             return Project{ProjectToken(e.life)};
           })
      .def("_build_text",
           [](PyEngine& e, const std::string& text, const std::string& name, const std::string& baseDir) {
             NewProject(e.life);
             BuildDescription(e.life, text, name, baseDir);
             return Project{ProjectToken(e.life)};
           })
      .def("effects", [](PyEngine& e) { return EffectNames(e.life); })
      .def_property(
          "shutter_angle",
          [](PyEngine& e) {
            const BEE_Prefs prefs = e.Prefs();
            return prefs.shutter.den ? 360.0 * prefs.shutter.num / prefs.shutter.den : 0.0;
          },
          [](PyEngine& e, double angle) {
            Enter(e.life);
            if (!(angle >= 0 && angle <= 720)) BadValue("the shutter angle is 0 to 720 degrees");
            BEE_Prefs prefs = e.Prefs();
            prefs.shutter = Ratio{static_cast<int32_t>(std::llround(angle * 100)), 36000};
            Check(BEE_SetPrefs(&prefs), "setting the shutter angle");
          })
      .def_property(
          "shutter_phase",
          [](PyEngine& e) { return e.Prefs().shutterPhase / 100.0; },
          [](PyEngine& e, double phase) {
            Enter(e.life);
            if (!(phase >= -360 && phase <= 360)) BadValue("the shutter phase is -360 to 360 degrees");
            BEE_Prefs prefs = e.Prefs();
            prefs.shutterPhase = static_cast<int32_t>(std::llround(phase * 100));
            Check(BEE_SetPrefs(&prefs), "setting the shutter phase");
          })
      .def("__repr__",
           [](const PyEngine& e) { return std::string("<tavelo.Engine ") + (e.Closed() ? "closed>" : "running>"); })
      .def_property(
          "threads",
          [](PyEngine& e) {
            Enter(e.life);
            int32_t n = 0;
            Check(BEE_GetRenderThreads(&n), "reading the render threads");
            return n;
          },
          [](PyEngine& e, int n) {
            Enter(e.life);
            Check(BEE_SetRenderThreads(n), "setting the render threads");
          });

  py::class_<UndoGroup>(m, "UndoGroup")
      .def("__enter__",
           [](UndoGroup& g) -> UndoGroup& {
             if (g.started) Fail(3, "this undo group is open already");
             g.project.StartGroup(g.name);
             g.started = true;
             return g;
           })
      .def("__exit__", [](UndoGroup& g, py::object, py::object, py::object) {
        if (!g.started) return false;
        g.started = false;
        g.project.EndGroup();
        return false;
      });

  py::class_<Project>(m, "Project")
      .def_property_readonly("path", &Project::Path)
      .def_property_readonly("dirty", &Project::Dirty)
      .def("save", &Project::Save, py::arg("path"))
      .def_property_readonly("items", &Project::Items)
      .def_property_readonly("comps", &Project::Comps)
      .def("find", &Project::Find, py::arg("name"))
      .def("comp", &Project::GetComp, py::arg("name"))
      .def("new_comp", &Project::NewComp, py::arg("name"), py::arg("width"), py::arg("height"),
           py::arg("fps") = 30.0, py::arg("duration") = 1.0, py::arg("pixel_aspect") = 1.0,
           py::arg("background") = py::none())
      .def("new_folder", &Project::NewFolder, py::arg("name"))
      .def("import_footage", &Project::ImportFootage, py::arg("path"), py::arg("sequence") = false)
      .def("undo", &Project::Undo)
      .def("redo", &Project::Redo)
      .def_property_readonly("undo_name", &Project::UndoName)
      .def_property_readonly("redo_name", &Project::RedoName)
      .def("undo_group", [](const Project& p, const std::string& name) { return UndoGroup{p, name, false}; },
           py::arg("name"))
      .def("dump", &Project::Dump)
      .def("__repr__", [](const Project& p) {
        try {
          const std::string path = p.Path();
          return "<tavelo.Project " + (path.empty() ? std::string("(untitled)") : "\"" + path + "\"") + ", " +
                 std::to_string(p.Items().size()) + " item(s)>";
        } catch (const EngineError&) {
          return std::string("<tavelo.Project (closed)>");
        }
      });

  py::class_<Item>(m, "Item")
      .def_property("name", &Item::Name, &Item::SetName)
      .def_property_readonly("kind", &Item::Kind)
      .def_property_readonly("id", &Item::Id)
      .def_property_readonly("width", &Item::Width)
      .def_property_readonly("height", &Item::Height)
      .def_property_readonly("duration", &Item::Duration)
      .def_property_readonly("parent", &Item::Parent)
      .def("remove", &Item::Remove)
      .def_property_readonly("proxy", &Item::ProxyPath)
      .def("set_proxy", &Item::SetProxy, py::arg("path"), py::arg("sequence") = false)
      .def_property("proxy_on", &Item::ProxyOn, &Item::SetProxyOn)
      .def_property_readonly("interpretation", &Item::Interpretation)
      .def("interpret", &Item::Interpret, py::arg("fields") = py::none(), py::arg("pulldown") = py::none(),
           py::arg("fps") = py::none(), py::arg("alpha") = py::none(), py::arg("matte") = py::none(),
           py::arg("pixel_aspect") = py::none())
      .def("__eq__", [](const Item& a, const py::object& b) {
        return py::isinstance<Item>(b) && a == b.cast<const Item&>();
      })
      .def("__hash__", [](const Item& a) { return std::hash<const void*>()(a.h) ^ a.life; })
      .def("__repr__", &Item::Repr);

  py::class_<Comp, Item>(m, "Comp")
      .def_property_readonly("frame_rate", &Comp::FrameRate)
      .def_property_readonly("frame_count", &Comp::FrameCount)
      .def("frame_time", &Comp::FrameTime, py::arg("frame"))
      .def_property("background", &Comp::Background, &Comp::SetBackground)
      .def_property("resolution", &Comp::Resolution, &Comp::SetResolution)
      .def_property("motion_blur", [](const Comp& c) { return c.Switch(BEE_CompSwitchMotionBlur); },
                    [](const Comp& c, bool on) { c.SetSwitch(BEE_CompSwitchMotionBlur, on); })
      .def_property("frame_blending", [](const Comp& c) { return c.Switch(BEE_CompSwitchFrameBlend); },
                    [](const Comp& c, bool on) { c.SetSwitch(BEE_CompSwitchFrameBlend, on); })
      .def_property("pixel_aspect", &Comp::PixelAspect, &Comp::SetPixelAspect)
      .def_property_readonly("layers", &Comp::Layers)
      .def("__len__", &Comp::NumLayers)
      .def("__getitem__", &Comp::LayerAt)
      .def("__iter__", [](const Comp& c) { return py::iter(py::cast(c.Layers())); })
      .def("layer", &Comp::LayerNamed, py::arg("name"))
      .def("add_solid", &Comp::AddSolid, py::arg("name"), py::arg("color"), py::arg("width") = py::none(),
           py::arg("height") = py::none())
      .def("add_layer", &Comp::AddLayer, py::arg("source"))
      .def("duplicate", &Comp::Duplicate)
      .def("precompose", &Comp::Precompose, py::arg("layers"), py::arg("name") = py::none(),
           py::arg("move_attributes") = true)
      .def("render_frame", &Comp::RenderFrame, py::arg("frame") = py::none(), py::arg("time") = py::none(),
           py::arg("progress") = py::none())
      .def("render_audio", &Comp::RenderAudio, py::arg("start") = 0.0, py::arg("duration") = py::none(),
           py::arg("rate") = 48000.0, py::arg("channels") = 2, py::arg("dtype") = "int16",
           py::arg("progress") = py::none())
      .def("save_frame", &Comp::SaveFrame, py::arg("path"), py::arg("frame"))
      .def("render_movie", &Comp::RenderMovie, py::arg("path"), py::arg("start") = py::none(),
           py::arg("duration") = py::none(), py::arg("codec") = "", py::arg("sound") = true,
           py::arg("progress") = py::none(), py::arg("fields") = "off");

  py::class_<Property>(m, "Property")
      .def_property_readonly("name", &Property::Name)
      .def_property_readonly("index", [](const Property& p) { p.Enter(); return p.index; })
      .def_property_readonly("dimension", &Property::Dimension)
      .def_property("value", [](const Property& p) { return p.Value(std::nullopt); },
                    [](const Property& p, const py::object& v) { p.SetValue(v, std::nullopt); })
      .def("value_at", [](const Property& p, double t) { return p.Value(t); }, py::arg("time"))
      .def("set_value", &Property::SetValue, py::arg("value"), py::arg("time") = py::none())
      .def_property("animated", &Property::Animated,
                    [](const Property& p, bool on) { p.SetAnimated(on, std::nullopt); })
      .def("set_animated", &Property::SetAnimated, py::arg("on"), py::arg("time") = py::none())
      .def_property_readonly("keys", &Property::Keys)
      .def_property_readonly("num_keys", &Property::NumKeys)
      .def("add_key", &Property::AddKey, py::arg("time"), py::arg("value"), py::arg("interpolation") = "")
      .def("remove_key", &Property::RemoveKey, py::arg("key"))
      .def("set_interpolation", &Property::SetInterpolation, py::arg("key"), py::arg("in_interpolation"),
           py::arg("out_interpolation"))
      .def("ease", &Property::Ease, py::arg("key"))
      .def("set_ease", &Property::SetEase, py::arg("key"), py::kw_only(), py::arg("speed_in") = py::none(),
           py::arg("influence_in") = py::none(), py::arg("speed_out") = py::none(),
           py::arg("influence_out") = py::none())
      .def("set_tangents", &Property::SetTangents, py::arg("key"), py::kw_only(), py::arg("tangent_in") = py::none(),
           py::arg("tangent_out") = py::none())
      .def("set_roving", &Property::SetRoving, py::arg("key"), py::arg("on") = true)
      .def_property_readonly("type", &Property::Type)
      .def_property_readonly("choices", &Property::Choices)
      .def("__repr__", &Property::Repr)
      .def_property_readonly("limits", &Property::Limits)
      .def("sample", &Property::Sample, py::arg("times"));

  py::class_<Mask>(m, "Mask")
      .def_property_readonly("index", [](const Mask& k) { k.Enter(); return k.index; })
      .def_property("name", &Mask::Name, &Mask::SetName)
      .def_property("mode", &Mask::Mode, &Mask::SetMode)
      .def_property("inverted", &Mask::Inverted, &Mask::SetInverted)
      .def_property_readonly("shape", &Mask::Shape)
      .def("set_shape", &Mask::SetShape, py::kw_only(), py::arg("rect") = py::none(), py::arg("oval") = py::none(),
           py::arg("path") = py::none(), py::arg("smooth") = false, py::arg("time") = py::none())
      .def("bezier", &Mask::Bezier, py::arg("time") = py::none())
      .def("__repr__", &Mask::Repr)
      // Set as a layer's properties are: the value at the current time.
      .def_property("feather", &Mask::Feather,
                    [](const Mask& k, const py::object& v) { k.Feather().SetValue(v, std::nullopt); })
      .def_property("opacity", &Mask::Opacity,
                    [](const Mask& k, const py::object& v) { k.Opacity().SetValue(v, std::nullopt); })
      .def("delete", &Mask::Delete);

  py::class_<Effect>(m, "Effect")
      .def_property_readonly("index", [](const Effect& e) { e.Enter(); return e.index; })
      .def_property("name", &Effect::Name, &Effect::SetName)
      .def_property_readonly("match_name", &Effect::MatchName)
      .def_property("enabled", &Effect::Enabled, &Effect::SetEnabled)
      .def_property_readonly("param_names", &Effect::ParamNames)
      .def("param", &Effect::Param, py::arg("key"))
      .def("__getitem__", &Effect::Param)
      // effect["Radius"] = 4: the value at the current time, as a layer's
      // properties are set.
      .def("__setitem__",
           [](const Effect& e, const py::object& key, const py::object& v) {
             e.Param(key).SetValue(v, std::nullopt);
           })
      .def("__repr__", &Effect::Repr)
      .def("delete", &Effect::Delete);

  auto prop = [](int32_t index) {
    return std::make_pair(
        [index](const Layer& l) { return l.Prop(index); },
        [index](const Layer& l, const py::object& v) { l.Prop(index).SetValue(v, std::nullopt); });
  };
  py::class_<Layer> layer(m, "Layer");
  layer.def_property("name", &Layer::Name, &Layer::SetName)
      .def_property("index", &Layer::Index, &Layer::MoveTo)
      // The layer's number as `tavelo info` and `tavelo keys -l` give it: 1 is
      // the top layer (comp[0]).
      .def_property_readonly("number", [](const Layer& l) { return l.Index() + 1; })
      .def_property_readonly("comp", &Layer::GetComp)
      .def_property_readonly("source", &Layer::Source)
      .def_property("visible", [](const Layer& l) { return l.Switch(BEE_SwitchVideo); },
                    [](const Layer& l, bool on) { l.SetSwitch(BEE_SwitchVideo, on); })
      .def_property("motion_blur", [](const Layer& l) { return l.Switch(BEE_SwitchMotionBlur); },
                    [](const Layer& l, bool on) { l.SetSwitch(BEE_SwitchMotionBlur, on); })
      .def_property("effects_on", [](const Layer& l) { return l.Switch(BEE_SwitchEffects); },
                    [](const Layer& l, bool on) { l.SetSwitch(BEE_SwitchEffects, on); })
      .def_property("quality", &Layer::Quality, &Layer::SetQuality)
      .def_property("mode", &Layer::Mode, &Layer::SetMode)
      .def_property("track_matte", &Layer::TrackMatte, &Layer::SetTrackMatte)
      .def_property("audio", [](const Layer& l) { return !l.Switch(BEE_SwitchAudioMute); },
                    [](const Layer& l, bool on) { l.SetSwitch(BEE_SwitchAudioMute, !on); })
      .def_property("collapse", [](const Layer& l) { return l.Switch(BEE_SwitchCollapse); },
                    [](const Layer& l, bool on) { l.SetSwitch(BEE_SwitchCollapse, on); })
      .def_property("auto_orient", [](const Layer& l) { return l.Switch(BEE_SwitchOrient); },
                    [](const Layer& l, bool on) { l.SetSwitch(BEE_SwitchOrient, on); })
      .def_property("frame_blend", [](const Layer& l) { return l.Switch(BEE_SwitchFrameBlend); },
                    [](const Layer& l, bool on) { l.SetSwitch(BEE_SwitchFrameBlend, on); })
      .def_property("preserve_transparency", &Layer::PreserveTransparency, &Layer::SetPreserveTransparency)
      .def_property("stretch", &Layer::Stretch, &Layer::SetStretch)
      .def_property("in_point", &Layer::InPoint,
                    [](const Layer& l, double t) { l.SetTimes(std::nullopt, t, std::nullopt); })
      .def_property("out_point", &Layer::OutPoint,
                    [](const Layer& l, double t) { l.SetTimes(std::nullopt, std::nullopt, t); })
      .def_property("offset", [](const Layer& l) { return l.GetTime(BEE_LayerTimeOffset); },
                    [](const Layer& l, double t) { l.SetTimes(t, std::nullopt, std::nullopt); })
      .def("set_times", &Layer::SetTimes, py::arg("offset") = py::none(), py::arg("in_point") = py::none(),
           py::arg("out_point") = py::none())
      .def("property", [](const Layer& l, const py::object& key) {
        if (py::isinstance<py::int_>(key)) return l.Prop(key.cast<int32_t>());
        if (py::isinstance<py::str>(key)) return l.PropNamed(key.cast<std::string>());
        BadType("a property is named by its name or its stream index");
      }, py::arg("key"))
      .def_property_readonly("masks", &Layer::Masks)
      .def("add_mask", &Layer::AddMask, py::kw_only(), py::arg("rect") = py::none(), py::arg("oval") = py::none(),
           py::arg("path") = py::none(), py::arg("smooth") = false, py::arg("mode") = "add",
           py::arg("inverted") = false, py::arg("feather") = py::none(), py::arg("opacity") = py::none())
      .def_property_readonly("effects", &Layer::Effects)
      .def("apply_effect",
           [](const Layer& l, const std::string& name, py::kwargs params) { return l.ApplyEffect(name, params); },
           py::arg("name"))
      .def("duplicate", &Layer::Duplicate)
      .def("delete", &Layer::Delete)
      .def("__eq__", [](const Layer& a, const py::object& b) {
        return py::isinstance<Layer>(b) && a == b.cast<const Layer&>();
      })
      .def("__hash__", [](const Layer& a) { return std::hash<const void*>()(a.h) ^ a.life; })
      .def("__repr__", &Layer::Repr);
  const std::pair<const char*, int32_t> standard[] = {
      {"anchor_point", BEE_StreamAnchorPoint}, {"position", BEE_StreamPosition}, {"scale", BEE_StreamScale},
      {"rotation", BEE_StreamRotation},        {"opacity", BEE_StreamOpacity},   {"audio_levels", BEE_StreamAudioLevels},
      {"time_remap", BEE_StreamTimeRemap}};
  for (const auto& [name, index] : standard) {
    auto [get, set] = prop(index);
    layer.def_property(name, get, set);
  }
  BindText(m);
}
