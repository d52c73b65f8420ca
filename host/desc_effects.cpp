// Effects of a described layer: the effect by its display or match name,
// its parameters by name or number with values of their own type (numbers,
// angles in degrees, points in pixels, colours, checkboxes as true or false,
// pop-ups by their choice's name).
#include <strings.h>

#include <cstring>

#include "FLT.h"
#include "desc_build.h"
#include "session.h"

namespace tavelo::desc {
namespace {

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
  n.Error("no effect named " + Echo(name) + " (`tavelo plugins` lists the effects)");
}

// The parameter a key of "params" names: its number (1 is the first
// parameter after the input layer) or its name.
int32_t FindParam(FLT_Sequence seq, const Node& where, const std::string& key) {
  int32_t params = 0;
  Check(FLT_SeqInqNumParams(seq, &params), where, "reading the effect");
  char* end = nullptr;
  const long number = std::strtol(key.c_str(), &end, 10);
  if (!key.empty() && *end == '\0') {
    if (number < 1 || number >= params) where.Error("the effect has parameters 1 to " + std::to_string(params - 1));
    return static_cast<int32_t>(number);
  }
  std::string names;
  for (int32_t p = 1; p < params; ++p) {
    char name[32] = {};
    if (FLT_SeqInqParamName(seq, p, name)) continue;
    if (strcasecmp(name, key.c_str()) == 0) return p;
    names += std::string(names.empty() ? "" : ", ") + "\"" + name + "\"";
  }
  where.Error("the effect has no parameter " + Echo(key) + " (it has " + names + ")");
}

// The choices of a pop-up ("All|Red|Green|Blue").
std::vector<std::string> Choices(const PF_ParamDef& def) {
  char text[PF_ParamTextBytes + 1] = {};
  std::memcpy(text, def.u.bytes + PF_Byte_Text, PF_ParamTextBytes);
  std::vector<std::string> out(1);
  for (const char* c = text; *c; ++c) {
    if (*c == '|') out.emplace_back();
    else out.back() += *c;
  }
  return out;
}

// How a value of the parameter reads.
ValueReader ReaderFor(const PF_ParamDef& def) {
  if (def.type == PF_Param_Checkbox)
    return [](const Node& v, size_t) { return std::vector<double>{v.j->is_boolean() ? (v.Bool() ? 1.0 : 0.0) : v.Number(0, 1)}; };
  if (def.type == PF_Param_Popup) {
    std::vector<std::string> choices = Choices(def);
    int16_t count = 0;
    std::memcpy(&count, def.u.bytes + PF_Byte_ChoiceCount, sizeof count);
    choices.resize(static_cast<size_t>(std::max<int16_t>(count, 1)));
    return [choices](const Node& v, size_t) {
      if (v.IsNumber()) return std::vector<double>{static_cast<double>(v.Int(1, static_cast<int32_t>(choices.size())))};
      const std::string s = v.String();
      std::string all;
      for (size_t i = 0; i < choices.size(); ++i) {
        if (strcasecmp(choices[i].c_str(), s.c_str()) == 0) return std::vector<double>{static_cast<double>(i + 1)};
        all += (i ? ", " : "") + Echo(choices[i]);
      }
      v.Error(Echo(s) + " is not one of " + all);
    };
  }
  return [](const Node& v, size_t d) { return v.Numbers(d, false); };
}

}  // namespace

void AddEffects(BEE_Layer layer, const Node& list, std::vector<LayerChoice>& choices) {
  for (size_t i = 0; i < list.Size(); ++i) {
    Node e = list.At(i);
    e.Only({"effect", "name", "enabled", "params"});
    const int16_t cls = FindEffect(e.Need("effect"));
    int32_t index = 0;
    Check(BEE_CmdApplyEffect(layer, cls, &index), e, "applying the effect");
    if (auto name = e.Get("name")) {
      const std::string text = name->String();
      if (text.size() > 47) name->Error(Echo(text) + ": an effect's name has at most 47 bytes");
      Check(BEE_CmdRenameEffect(layer, index, text.c_str()), *name, "naming the effect");
    }
    if (auto on = e.Get("enabled")) Check(BEE_CmdSetEffectEnabled(layer, index, on->Bool()), *on, "enabling");
    auto params = e.Get("params");
    if (!params) continue;
    if (!params->IsObject()) params->Error("expected an object of parameter names (or numbers) and values");
    Handle parade = nullptr;
    int32_t count = 0;
    FLT_Sequence seq = nullptr;
    Check(BEE_InqLayerEffectSeq(layer, &parade, &count), e, "reading the effect");
    Check(FLT_GetParadeSeq(parade, index, &seq), e, "reading the effect");
    for (auto it = params->j->begin(); it != params->j->end(); ++it) {
      const Node value = params->Member(it.key());
      const int32_t p = FindParam(seq, value, it.key());
      PF_ParamDef def{};
      Check(FLT_SeqInqParamInfo(seq, p, &def), value, "reading the parameter");
      if (def.type == PF_Param_Layer) {
        value.String();  // the name of a layer, checked once the layers are made
        choices.push_back(LayerChoice{layer, index, p, value});
        continue;
      }
      if (def.type == PF_Param_Arbitrary) {
        // An arbitrary-data parameter (the Text effect's text and font)
        // takes a string, its text form.
        const std::string text = value.String();
        Check(BEE_CmdSetEffectParamText(layer, index, p, text.data(), static_cast<int32_t>(text.size())), value,
              "setting the text");
        continue;
      }
      SetProperty(layer, BEE_StreamFirstEffect + 128 * index + p - 1, value, ReaderFor(def));
    }
  }
}

void ChooseLayers(BEE_Item comp, const std::vector<LayerChoice>& choices) {
  for (const LayerChoice& c : choices) {
    int32_t n = 0;
    Check(BEE_GetCompNumLayers(comp, &n), c.value, "reading the composition's layers");
    const std::string name = c.value.String();
    BEE_Layer found = nullptr;
    int32_t named = 0;
    for (int32_t i = 0; i < n; ++i) {
      BEE_Layer l = nullptr;
      char text[32] = {};
      Check(BEE_GetIndLayer(comp, i, &l), c.value, "reading the composition's layers");
      Check(BEE_GetLayerName(l, text), c.value, "reading a layer's name");
      if (name == text) found = l, ++named;
    }
    if (named == 0) c.value.Error("no layer named " + Echo(name) + " in the composition");
    if (named > 1)
      c.value.Error(std::to_string(named) + " layers are named " + Echo(name) + ": name the one to read");
    if (found == c.layer) c.value.Error("an effect cannot read its own layer");
    Check(BEE_CmdSetEffectParamLayer(c.layer, c.effect, c.param, found), c.value, "choosing the layer");
  }
}

}  // namespace tavelo::desc
