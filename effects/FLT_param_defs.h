// Parameter definitions for the effects built into the engine: one helper
// per parameter type, filled as an effect hands them to the add-parameter
// callback, and readers of the values the effect is given.
#pragma once

#include <cstring>

#include "Memory.h"
#include "PF.h"
#include "PF_Effect.h"

namespace tv::flt {

inline PF_ParamDef NamedParam(uint32_t type, const char* name) {
  PF_ParamDef p{};
  p.type = type;
  std::strncpy(p.name, name, sizeof p.name - 1);
  return p;
}

inline PF_ParamDef Slider(const char* name, int32_t lo, int32_t hi, int32_t def) {
  PF_ParamDef p = NamedParam(PF_Param_Slider, name);
  p.u.words[PF_Word_Value] = p.u.words[PF_Word_Default] = static_cast<uint32_t>(def);
  p.u.words[PF_Word_Min] = static_cast<uint32_t>(lo);
  p.u.words[PF_Word_Max] = static_cast<uint32_t>(hi);
  return p;
}

inline PF_ParamDef FloatSlider(const char* name, float lo, float hi, double def) {
  PF_ParamDef p = NamedParam(PF_Param_FloatSlider, name);
  std::memcpy(&p.u.words[PF_Word_Value], &def, sizeof def);
  std::memcpy(&p.u.words[PF_Word_FloatDefault], &def, sizeof def);
  std::memcpy(&p.u.words[PF_Word_FloatMin], &lo, sizeof lo);
  std::memcpy(&p.u.words[PF_Word_FloatMax], &hi, sizeof hi);
  return p;
}

inline PF_ParamDef Colour(const char* name, PF_Pixel def) {
  PF_ParamDef p = NamedParam(PF_Param_Colour, name);
  std::memcpy(&p.u.words[PF_Word_Value], &def, sizeof def);
  std::memcpy(&p.u.words[PF_Word_Default], &def, sizeof def);
  return p;
}

// A point in pixels (16.16).
inline PF_ParamDef PointParam(const char* name, double x, double y) {
  PF_ParamDef p = NamedParam(PF_Param_Point, name);
  p.u.words[0] = p.u.words[PF_Word_PointDefault] = static_cast<uint32_t>(static_cast<int32_t>(x * 65536));
  p.u.words[1] = p.u.words[PF_Word_PointDefault + 1] = static_cast<uint32_t>(static_cast<int32_t>(y * 65536));
  return p;
}

// choices: "First|Second|..." (the host copies the text); def from 1.
inline PF_ParamDef Popup(const char* name, const char* choices, int16_t count, int16_t def) {
  PF_ParamDef p = NamedParam(PF_Param_Popup, name);
  p.u.words[PF_Word_Value] = static_cast<uint32_t>(def);
  std::memcpy(p.u.bytes + PF_Byte_ChoiceCount, &count, sizeof count);
  std::memcpy(p.u.bytes + PF_Byte_ChoiceDefault, &def, sizeof def);
  std::memcpy(p.u.bytes + PF_Byte_Text, &choices, sizeof choices);
  return p;
}

inline PF_ParamDef Checkbox(const char* name, const char* label, bool def) {
  PF_ParamDef p = NamedParam(PF_Param_Checkbox, name);
  p.u.words[PF_Word_Value] = p.u.words[PF_Word_Default] = def ? 1 : 0;
  std::memcpy(p.u.bytes + PF_Byte_Text, &label, sizeof label);
  return p;
}

// An arbitrary-data parameter whose default is the bytes of def. The handle
// in the definition is the caller's (the host keeps its own copy).
inline PF_ParamDef Arbitrary(const char* name, Handle def) {
  PF_ParamDef p = NamedParam(PF_Param_Arbitrary, name);
  std::memcpy(p.u.bytes + 8, &def, sizeof def);
  return p;
}

// Adds count definitions and answers the parameter count (with the input).
inline PF_Result AddParams(PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef* defs, int32_t count) {
  for (int32_t i = 0; i < count; ++i)
    if (PF_Result err = in->addParam(in->effectRef, -1, &defs[i])) return err;
  out->paramCount = count + 1;
  return 0;
}

inline double FloatValue(const PF_ParamDef* p) {
  double v = 0;
  std::memcpy(&v, &p->u.words[PF_Word_Value], sizeof v);
  return v;
}

inline int32_t IntValue(const PF_ParamDef* p) { return static_cast<int32_t>(p->u.words[PF_Word_Value]); }

// The handle holding an arbitrary-data parameter's value.
inline Handle ArbitraryValue(const PF_ParamDef* p) {
  Handle h = nullptr;
  std::memcpy(&h, p->u.bytes, sizeof h);
  return h;
}

}  // namespace tv::flt
