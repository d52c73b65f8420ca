// Text in Python: Comp.add_text makes a text layer the way a description's
// "text" layer is made (the host's builder does it), and an effect's
// arbitrary-data parameters (the Text effect's text and font) are read and
// set as text, undoably.
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "FLT.h"
#include "cli.h"
#include "desc_build.h"
#include "objects.h"

namespace tvpy {
namespace {

using Json = nlohmann::json;

// A colour as an int (0xAARRGGBB) or a string ("#rrggbb", "#aarrggbb").
Json ColourJson(const py::object& c) {
  if (py::isinstance<py::str>(c)) return c.cast<std::string>();
  if (!py::isinstance<py::int_>(c)) Fail(3, "a colour is an int 0xAARRGGBB or a string \"#rrggbb\"");
  const auto v = c.cast<uint32_t>();
  char text[16];
  std::snprintf(text, sizeof text, "#%08x", v);
  return std::string(text);
}

Json NumberJson(const py::object& v) {
  // Descriptions read from JSON cannot hold NaN or infinities; options can.
  const auto finite = [](const py::handle& x) {
    const double d = x.cast<double>();
    if (!std::isfinite(d)) BadValue("a value must be finite");
    return d;
  };
  if (py::isinstance<py::int_>(v) || py::isinstance<py::float_>(v)) return finite(v);
  if (py::isinstance<py::sequence>(v) && !py::isinstance<py::str>(v)) {
    Json list = Json::array();
    for (auto x : v) list.push_back(finite(x));
    return list;
  }
  Fail(3, "expected a number or a list of numbers");
}

// The number of the parameter an effect's key names (1 is the first).
int32_t ParamNumber(const Effect& e, const py::object& key) {
  return e.Param(key).index - (BEE_StreamFirstEffect + 128 * e.index) + 1;
}

FLT_Sequence SequenceOf(const Effect& e) {
  Handle parade = nullptr;
  int32_t count = 0;
  FLT_Sequence seq = nullptr;
  Check(BEE_InqLayerEffectSeq(e.layer, &parade, &count), "reading the effects");
  Check(FLT_GetParadeSeq(parade, e.index, &seq), "reading the effect");
  return seq;
}

Layer AddText(const Comp& comp, const std::string& text, const py::kwargs& options) {
  comp.Enter();
  const tavelo::desc::Source src{"add_text", ""};
  Json t = Json::object();
  t["text"] = text;
  std::optional<std::string> name;
  py::object position = py::none();
  const std::pair<const char*, const char*> numbers[] = {
      {"size", "size"},         {"stroke_width", "strokeWidth"},           {"tracking", "tracking"},
      {"leading", "leading"},   {"characters_shown", "charactersShown"},   {"opacity", "opacity"},
      {"offset", "offset"}};
  for (auto item : options) {
    const std::string key = py::str(item.first);
    const py::object value = py::reinterpret_borrow<py::object>(item.second);
    if (value.is_none()) continue;
    bool known = false;
    for (const auto& [py, js] : numbers)
      if (key == py) {
        t[js] = NumberJson(value);
        known = true;
      }
    if (known) continue;
    if (key == "font" || key == "align" || key == "direction") t[key] = value.cast<std::string>();
    else if (key == "color") t["color"] = ColourJson(value);
    else if (key == "stroke_color") t["strokeColor"] = ColourJson(value);
    else if (key == "name") name = value.cast<std::string>();
    else if (key == "position") position = value;
    else Fail(3, "add_text() has no option \"" + key + "\"");
  }
  Json layer = Json::object();
  if (name) layer["name"] = *name;
  layer["text"] = t;
  const StepGroup step("New Layer");
  BEE_Layer made = nullptr;
  try {
    made = tavelo::desc::AddTextLayer(comp.h, tavelo::desc::Node{&layer, "", &src, {}},
                                      tavelo::desc::Node{&layer["text"], "text", &src, {"text"}});
  } catch (const tavelo::Failure& f) {
    throw EngineError(3, 0, f.what(), f.what());
  }
  Layer l = MakeLayer(made, comp.life);
  if (!position.is_none()) l.Prop(BEE_StreamPosition).SetValue(position, std::nullopt);
  return l;
}

std::string GetText(const Effect& e, const py::object& key) {
  e.Enter();
  const int32_t p = ParamNumber(e, key);
  FLT_Sequence seq = SequenceOf(e);
  int32_t size = 0;
  Check(FLT_ArbitraryPrintSize(seq, p, nullptr, &size), "reading the parameter's text");
  std::string text(static_cast<size_t>(std::max(size, 1)), '\0');
  Check(FLT_ArbitraryPrint(seq, p, nullptr, text.data(), static_cast<int32_t>(text.size())),
        "reading the parameter's text");
  text.resize(std::strlen(text.c_str()));
  return text;
}

void SetText(const Effect& e, const py::object& key, const std::string& text) {
  e.Enter();
  const int32_t p = ParamNumber(e, key);
  Check(BEE_CmdSetEffectParamText(e.layer, e.index, p, text.data(), static_cast<int32_t>(text.size())),
        "setting the parameter's text");
}

}  // namespace

void BindText(py::module_& m) {
  auto comp = py::reinterpret_borrow<py::class_<Comp>>(m.attr("Comp"));
  comp.def("add_text", &AddText, py::arg("text"),
           "Adds a text layer (a transparent layer of the composition's size with the Text effect).");
  auto effect = py::reinterpret_borrow<py::class_<Effect>>(m.attr("Effect"));
  effect.def("get_text", &GetText, py::arg("key"))
      .def("set_text", &SetText, py::arg("key"), py::arg("text"));
}

}  // namespace tvpy
