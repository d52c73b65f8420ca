// Footage interpretation from Python: fields, 3:2 pulldown, rate, alpha
// (each given or guessed from the pixels) and pixel aspect, read as a dict
// and changed by keyword as one undoable step.
#include <cmath>

#include "PIN.h"
#include "desc_build.h"
#include "objects.h"

namespace tvpy {
namespace {

constexpr const char* kFieldNames[] = {"off", "upper_first", "lower_first"};
constexpr const char* kAlphaNames[] = {"straight", "premultiplied", "ignore", "none"};

PIN_SeqSpecH SeqOf(const Item& item) {
  item.Enter();
  const std::string kind = item.Kind();
  if (kind != "footage")
    Fail(3, "only footage is interpreted (\"" + item.Name() + "\" is a " +
                (kind == "comp" ? std::string("composition") : kind) + ")");
  PIN_SeqSpecH seq = nullptr;
  Check(BEE_GetFootageSeqSpec(item.h, &seq), "reading the footage");
  return seq;
}

// One of names, or the index of "guess" (names.size()) when guess is allowed.
int32_t Choose(const py::object& v, std::initializer_list<const char*> names, bool guess, const char* what) {
  const std::string s = py::str(v);
  int32_t i = 0;
  std::string all;
  for (const char* n : names) {
    if (s == n) return i;
    all += std::string(i ? ", " : "") + "\"" + n + "\"";
    ++i;
  }
  if (guess && s == "guess") return i;
  BadValue(std::string(what) + " must be one of " + all + (guess ? ", \"guess\"" : ""));
}

}  // namespace

py::dict Item::Interpretation() const {
  PIN_Interpretation in{};
  Check(PIN_GetInterpretation(SeqOf(*this), &in), "reading the interpretation");
  py::dict d;
  d["fields"] = in.field.separate ? kFieldNames[in.field.dominance ? 2 : 1] : kFieldNames[0];
  d["pulldown"] = in.pulldown;
  d["fps"] = (in.conformedRate ? in.conformedRate : in.nativeRate) / 65536.0;
  d["alpha"] = kAlphaNames[in.alpha.type & 3];
  d["matte"] = (uint32_t{0xFF} << 24) | (uint32_t{in.alpha.red} << 16) | (uint32_t{in.alpha.green} << 8) | in.alpha.blue;
  d["pixel_aspect"] = in.hsfDen ? static_cast<double>(in.hsfNum) / in.hsfDen : 1.0;
  return d;
}

void Item::Interpret(const py::object& fields, const py::object& pulldown, const py::object& fps,
                     const py::object& alpha, const py::object& matte, const py::object& pixelAspect) const {
  PIN_SeqSpecH seq = SeqOf(*this);
  PIN_Interpretation in{};
  Check(PIN_GetInterpretation(seq, &in), "reading the interpretation");
  if (!fields.is_none()) {
    const int32_t order = Choose(fields, {"off", "upper_first", "lower_first"}, false, "fields");
    in.field.separate = order != 0;
    in.field.dominance = order == 2 ? 1 : 0;
    if (order == 0) in.pulldown = 0;
  }
  if (!pulldown.is_none()) {
    if (py::isinstance<py::int_>(pulldown)) {
      const int phase = pulldown.cast<int>();
      if (phase < 0 || phase > 5) BadValue("pulldown is a phase from 1 to 5, 0 for none, or \"guess\"");
      in.pulldown = static_cast<uint32_t>(phase);
    } else if (Choose(pulldown, {"off"}, true, "pulldown") == 0) {
      in.pulldown = 0;
    } else {
      uint32_t order = 0, phase = 0;
      Boolean32 asked = 0;
      Check(PIN_GuessPulldown(seq, &order, &phase, &asked), "guessing the pulldown");
      if (phase == 0) BadValue("no 3:2 pulldown is seen in the footage's first frames");
      in.field.separate = 1;
      in.field.dominance = order == 2 ? 1 : 0;
      in.pulldown = phase;
    }
    if (in.pulldown != 0 && !in.field.separate) BadValue("removing 3:2 pulldown needs fields (\"upper_first\" or \"lower_first\")");
  }
  if (!fps.is_none()) {
    const double rate = fps.cast<double>();
    if (!(rate >= 0.01 && rate <= 999)) BadValue("fps must lie between 0.01 and 999");
    const auto fixed = static_cast<Fixed>(std::llround(rate * 65536));
    if (in.moduleHasTime) in.conformedRate = fixed;
    else in.nativeRate = fixed;
  }
  if (!alpha.is_none()) {
    const int32_t kind = Choose(alpha, {"straight", "premultiplied", "ignore"}, true, "alpha");
    if (kind == 3) {
      Boolean32 asked = 0;
      Check(PIN_GuessAlphaType(seq, &in.alpha, &asked), "guessing the alpha");
    } else {
      const uint8_t types[] = {PIN_Alpha_Straight, PIN_Alpha_Premul, PIN_Alpha_Ignore};
      in.alpha.type = types[kind];
      in.alpha.red = in.alpha.green = in.alpha.blue = 0;
    }
  }
  if (!matte.is_none()) {
    if (in.alpha.type != PIN_Alpha_Premul) BadValue("a matte colour goes with premultiplied alpha");
    const auto c = matte.cast<uint32_t>();
    in.alpha.red = static_cast<uint8_t>(c >> 16);
    in.alpha.green = static_cast<uint8_t>(c >> 8);
    in.alpha.blue = static_cast<uint8_t>(c);
  }
  if (!pixelAspect.is_none()) {
    const double aspect = pixelAspect.cast<double>();
    if (!(aspect >= 0.01 && aspect <= 100)) BadValue("pixel_aspect must be 0.01 to 100");
    tavelo::desc::FootageAspectOf(aspect, in.hsfNum, in.hsfDen);
  }
  in.alpha.flags = in.alpha.type == PIN_Alpha_Premul ? 1 : 0;
  Check(BEE_CmdInterpretFootage(h, &in), "interpreting the footage");
}

}  // namespace tvpy
