// The image filter adapter: runs a 'Q7FM' plug-in as an effect class. Global
// setup and setdown become the filter's setup and teardown (its data word
// lives in the class's global data), params setup adds the filter's 'aPAR'
// sliders and the three fixed parameters, render hands the filter the
// input and output images and then mixes the original back in.
#include <algorithm>
#include <cstring>

#include "FLT_adapters.h"

namespace tv::flt {
namespace {

int16_t LE16(const uint8_t* p) { return static_cast<int16_t>(p[0] | p[1] << 8); }

int32_t AbortThunk(void* hostRef) {
  auto* in = static_cast<PF_InputRecord*>(hostRef);
  return in->abort ? in->abort(in->effectRef) : 0;
}
void ProgressThunk(void* hostRef, int32_t done, int32_t total) {
  auto* in = static_cast<PF_InputRecord*>(hostRef);
  if (in->progress) in->progress(in->effectRef, done, total);
}

void Name(PF_ParamDef& p, const char* name) { std::memcpy(p.name, name, strnlen(name, sizeof p.name - 1)); }

PF_ParamDef Slider(const char* name, int32_t lo, int32_t hi, int32_t def) {
  PF_ParamDef p{};
  p.type = PF_Param_Slider;
  Name(p, name);
  p.u.words[PF_Word_Value] = p.u.words[PF_Word_Default] = static_cast<uint32_t>(def);
  p.u.words[PF_Word_Min] = static_cast<uint32_t>(lo);
  p.u.words[PF_Word_Max] = static_cast<uint32_t>(hi);
  return p;
}

PF_ParamDef Colour(const char* name, uint8_t grey) {
  PF_ParamDef p{};
  p.type = PF_Param_Colour;
  Name(p, name);
  const uint8_t argb[4] = {255, grey, grey, grey};
  std::memcpy(p.u.bytes + 4 * PF_Word_Value, argb, 4);
  std::memcpy(p.u.bytes + 4 * PF_Word_Default, argb, 4);
  return p;
}

PF_Result ParamsSetup(const ClassRec& c, PF_InputRecord* in, PF_OutputRecord* out) {
  PLUG_PiPL pipl = nullptr;
  ImageParam list[FF_MaxParams] = {};
  const int32_t n = c.routine && PLUG_GetRoutinePiPL(c.routine, &pipl) == 0 ? ReadImageParams(pipl, list) : 0;
  for (int32_t i = 0; i < n; ++i) {
    PF_ParamDef p = Slider(list[i].name, list[i].minimum, list[i].maximum, list[i].value);
    if (PF_Result err = in->addParam(in->effectRef, -1, &p)) return err;
  }
  PF_ParamDef fixed[] = {Colour("Foreground Color", 0), Colour("Background Color", 255),
                         Slider("Blend With Original", 0, 100, 0)};
  for (PF_ParamDef& p : fixed)
    if (PF_Result err = in->addParam(in->effectRef, -1, &p)) return err;
  out->paramCount = 1 + n + 3;
  return 0;
}

// Mixes the original into the filtered image: blend 0 keeps the filter's
// result, 100 the original, rounded to nearest.
void Blend(const PFWorld& src, const PFWorld& dst, int32_t width, int32_t height, int32_t blend) {
  if (blend <= 0) return;
  blend = std::min(blend, 100);
  for (int32_t y = 0; y < height; ++y) {
    const auto* s = reinterpret_cast<const uint8_t*>(src.data) + static_cast<ptrdiff_t>(y) * src.rowBytes;
    auto* d = reinterpret_cast<uint8_t*>(dst.data) + static_cast<ptrdiff_t>(y) * dst.rowBytes;
    for (int32_t i = 0; i < 4 * width; ++i) d[i] = static_cast<uint8_t>((d[i] * (100 - blend) + s[i] * blend + 50) / 100);
  }
}

PF_Result Render(const ImageAdapter& a, PF_InputRecord* in, PF_ParamDef* params[], PFWorld* output) {
  const int32_t n = static_cast<int32_t>(a.paramCount);
  if (!params || !output) return PF_Result_BadCallbackArg;
  for (int32_t i = 0; i < n + 4; ++i)
    if (!params[i]) return PF_Result_BadCallbackArg;
  const PFWorld& src = params[0]->u.world;
  if (!src.data || !output->data) return PF_Result_BadCallbackArg;
  FF_ImageRecord r{};
  r.width = std::min(src.width, output->width);
  r.height = std::min(src.height, output->height);
  r.src = reinterpret_cast<const uint8_t*>(src.data);
  r.srcRowBytes = src.rowBytes;
  r.dst = reinterpret_cast<uint8_t*>(output->data);
  r.dstRowBytes = output->rowBytes;
  r.paramCount = n;
  for (int32_t i = 0; i < n; ++i) r.params[i] = static_cast<int32_t>(params[1 + i]->u.words[PF_Word_Value]);
  std::memcpy(r.foreground, params[1 + n]->u.bytes + 4 * PF_Word_Value, 4);
  std::memcpy(r.background, params[2 + n]->u.bytes + 4 * PF_Word_Value, 4);
  r.data = FilterData(in);
  r.abort = AbortThunk;
  r.progress = ProgressThunk;
  r.hostRef = in;
  if (PF_Result err = a.entry(FF_Sel_Filter, &r)) return err;
  Blend(src, *output, r.width, r.height, static_cast<int32_t>(params[3 + n]->u.words[PF_Word_Value]));
  return 0;
}

}  // namespace

int32_t ReadImageParams(PLUG_PiPL pipl, ImageParam out[FF_MaxParams]) {
  uint8_t b[100] = {};
  int32_t length = 0;
  Boolean32 found = 0;
  if (!pipl || PLUG_InqPiPLProp(pipl, MakeFourCC("aPAR"), 0, 100, &length, b, &found) || !found || length < 4)
    return 0;
  const uint32_t declared = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
  // Only the entries the property holds count, at most four.
  const int32_t n = static_cast<int32_t>(std::min<uint32_t>({declared, FF_MaxParams,
                                                             static_cast<uint32_t>((std::min(length, 100) - 4) / 24)}));
  for (int32_t i = 0; i < n; ++i) {
    const uint8_t* e = b + 4 + 24 * i;
    ImageParam& p = out[i];
    const size_t len = std::min<size_t>(e[0], sizeof p.name - 1);
    std::memset(p.name, 0, sizeof p.name);
    std::memcpy(p.name, e + 1, len);
    p.minimum = LE16(e + 16);
    p.maximum = LE16(e + 18);
    if (p.minimum > p.maximum) std::swap(p.minimum, p.maximum);
    p.value = std::clamp(LE16(e + 20), p.minimum, p.maximum);
  }
  return n;
}

ErrorCode KeepFilterData(PF_OutputRecord* out, void* data) {
  Handle h = NewHandle(sizeof(void*));
  if (!h) return kReport.OutOfMemory(kSiteCall, kTextMemory, sizeof(void*));
  std::memcpy(*h, &data, sizeof data);
  out->globalData = h;
  return 0;
}

PF_Result ImageAdapterEntry(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef* params[],
                            PFWorld* output, void*) {
  ClassRec c{};
  ImageAdapter a{};
  if (!out || !AdapterOf(in, kImageAdapterMagic, c, a)) return PF_Result_Damaged;
  switch (cmd) {
    case PF_Cmd_About: {
      FF_ImageRecord r{};
      r.data = FilterData(in);
      const PF_Result err = a.entry(FF_Sel_About, &r);
      const size_t n = strnlen(r.message, sizeof r.message);  // the filter's text may lack its end
      std::memcpy(out->message, r.message, std::min<size_t>(n, PF_MessageBytes - 1));
      return err;
    }
    case PF_Cmd_GlobalSetup:
      return FilterGlobalSetup(a.entry, out, c.outFlags, c.version);
    case PF_Cmd_GlobalSetdown:
      return FilterGlobalSetdown(a.entry, in, out);
    case PF_Cmd_ParamsSetup:
      return ParamsSetup(c, in, out);
    case PF_Cmd_Render:
      return Render(a, in, params, output);
    default:
      return 0;  // the filter keeps no sequence or frame data: nothing to do
  }
}

}  // namespace tv::flt
