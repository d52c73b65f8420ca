// The effects built into the engine. Each is an ordinary effect class: its
// entry point takes the call protocol's records and draws through the pixel
// utilities, exactly as a plug-in would.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "FLT_internal.h"
#include "FLT_param_defs.h"
#include "FLT_text.h"
#include "PF.h"

namespace tv::flt {
namespace {

PFWorld* Input(PF_ParamDef* params[]) { return &params[0]->u.world; }

PF_Result Invert(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef* params[], PFWorld* output,
                 void*) {
  switch (cmd) {
    case PF_Cmd_ParamsSetup:
      return AddParams(in, out, nullptr, 0);
    case PF_Cmd_Render: {
      uint8_t lut[256];
      for (int v = 0; v < 256; ++v) lut[v] = static_cast<uint8_t>(255 - v);
      const PFWorld* src = Input(params);
      return PF_IterateLUT(in->effectRef, 0, src->height, src, nullptr, nullptr, lut, lut, lut, output);
    }
    default:
      return 0;
  }
}

PF_Result Fill(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef* params[], PFWorld* output,
               void*) {
  switch (cmd) {
    case PF_Cmd_ParamsSetup: {
      PF_ParamDef defs[] = {Colour("Colour", PF_Pixel{255, 255, 0, 0})};
      return AddParams(in, out, defs, 1);
    }
    case PF_Cmd_Render: {
      const uint8_t* c = params[1]->u.bytes;
      uint8_t r[256], g[256], b[256];
      std::memset(r, c[1], sizeof r);
      std::memset(g, c[2], sizeof g);
      std::memset(b, c[3], sizeof b);
      const PFWorld* src = Input(params);
      return PF_IterateLUT(in->effectRef, 0, src->height, src, nullptr, nullptr, r, g, b, output);
    }
    default:
      return 0;
  }
}

PF_ParamDef Checkbox(const char* name, bool def) {
  PF_ParamDef p{};
  p.type = PF_Param_Checkbox;
  std::strncpy(p.name, name, sizeof p.name - 1);
  p.u.words[PF_Word_Value] = p.u.words[PF_Word_Default] = def ? 1 : 0;
  return p;
}

// The largest frame an effect may answer (FLT_NewFrameParade).
constexpr int32_t kMaxFrame = 30000;

// The blur spreads every pixel by its reach: unless the edge pixels are
// repeated, the output grows by the reach on each side (as far as a frame
// may), so that what spreads beyond the layer's edge is kept.
int32_t BlurGrowth(PF_ParamDef* params[], int32_t quality, int32_t width, int32_t height) {
  const double radius = FloatValue(params[1]);
  int32_t reach = 0;
  if (params[2]->u.words[PF_Word_Value] != 0 || !(radius > 0) || PF_FastBlurReach(radius, quality, &reach) != 0)
    return 0;
  return std::max(0, std::min({reach, (kMaxFrame - width) / 2, (kMaxFrame - height) / 2}));
}

PF_Result FastBlur(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef* params[],
                   PFWorld* output, void*) {
  switch (cmd) {
    case PF_Cmd_ParamsSetup: {
      // Parameters are only ever added at the end: projects saved with fewer
      // open with the new ones at their defaults.
      PF_ParamDef defs[] = {FloatSlider("Radius", 0.0f, static_cast<float>(PF_MaxBlurRadius), 4.0),
                            Checkbox("Repeat Edge Pixels", false)};
      return AddParams(in, out, defs, 2);
    }
    case PF_Cmd_FrameSetup: {
      const int32_t grow = BlurGrowth(params, in->quality, in->width, in->height);
      out->width = in->width + 2 * grow;
      out->height = in->height + 2 * grow;
      out->origin = Point{static_cast<int16_t>(grow), static_cast<int16_t>(grow)};
      return 0;
    }
    case PF_Cmd_Render: {
      const PFWorld* src = Input(params);
      // The input sits in the middle of the grown output; the margin starts clear.
      const int32_t gx = (output->width - src->width) / 2, gy = (output->height - src->height) / 2;
      if (gx > 0 || gy > 0) {
        if (PF_Result err = PF_Fill(in->effectRef, nullptr, nullptr, output)) return err;
        const Rect to{static_cast<int16_t>(gy), static_cast<int16_t>(gx), static_cast<int16_t>(gy + src->height),
                      static_cast<int16_t>(gx + src->width)};
        if (PF_Result err = PF_CopyBits_Draft(in->effectRef, src, output, nullptr, &to)) return err;
      } else if (PF_Result err = PF_WorldCopy(in->effectRef, src, output)) {
        return err;
      }
      const double radius = FloatValue(params[1]);
      if (!(radius > 0)) return 0;
      const uint32_t repeat = params[2]->u.words[PF_Word_Value] != 0 ? PF_Blur_RepeatEdges : 0;
      return PF_FastBlur_Straight(in->effectRef, radius, PF_Blur_Horizontal | PF_Blur_Vertical | repeat, in->quality,
                                  output);
    }
    default:
      return 0;
  }
}

PF_Result Levels(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef* params[], PFWorld* output,
                 void*) {
  switch (cmd) {
    case PF_Cmd_ParamsSetup: {
      PF_ParamDef defs[] = {Slider("Input Black", 0, 255, 0), Slider("Input White", 0, 255, 255),
                            FloatSlider("Gamma", 0.1f, 10.0f, 1.0), Slider("Output Black", 0, 255, 0),
                            Slider("Output White", 0, 255, 255)};
      return AddParams(in, out, defs, 5);
    }
    case PF_Cmd_Render: {
      const auto ib = static_cast<int32_t>(params[1]->u.words[0]);
      const auto iw = static_cast<int32_t>(params[2]->u.words[0]);
      double gamma = FloatValue(params[3]);
      const auto ob = static_cast<int32_t>(params[4]->u.words[0]);
      const auto ow = static_cast<int32_t>(params[5]->u.words[0]);
      if (!(gamma > 0)) gamma = 1;
      uint8_t lut[256];
      for (int v = 0; v < 256; ++v) {
        double x = iw == ib ? (v >= ib ? 1.0 : 0.0) : static_cast<double>(v - ib) / (iw - ib);
        x = x < 0 ? 0 : x > 1 ? 1 : x;
        const double y = ob + std::pow(x, 1.0 / gamma) * (ow - ob);
        const double r = std::floor(y + 0.5);
        lut[v] = static_cast<uint8_t>(r < 0 ? 0 : r > 255 ? 255 : r);
      }
      const PFWorld* src = Input(params);
      return PF_IterateLUT(in->effectRef, 0, src->height, src, nullptr, nullptr, lut, lut, lut, output);
    }
    default:
      return 0;
  }
}

PF_Result Copy(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef* params[], PFWorld* output,
               void*) {
  switch (cmd) {
    case PF_Cmd_ParamsSetup:
      return AddParams(in, out, nullptr, 0);
    case PF_Cmd_Render:
      return PF_WorldCopy(in->effectRef, Input(params), output);
    default:
      return 0;
  }
}

// Scales float samples by the gain (audio only, asks for float samples).
PF_Result Gain(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef* params[], PFWorld*,
               void* extra) {
  switch (cmd) {
    case PF_Cmd_ParamsSetup: {
      PF_ParamDef defs[] = {FloatSlider("Gain", 0.0f, 16.0f, 1.0)};
      return AddParams(in, out, defs, 1);
    }
    case PF_Cmd_AudioRender: {
      const auto* call = static_cast<const PF_AudioCall*>(extra);
      if (!call || call->encoding != 3 || call->bytesPerSample != 4) return PF_Result_BadCallbackArg;
      const auto gain = static_cast<float>(FloatValue(params[1]));
      const auto* src = static_cast<const float*>(call->input);
      auto* dst = static_cast<float*>(call->output);
      const int64_t n = call->frames * call->channels;
      for (int64_t i = 0; i < n; ++i) dst[i] = src[i] * gain;
      return 0;
    }
    default:
      return 0;
  }
}

}  // namespace

void RegisterBuiltins() {
  const FLT_StaticClass classes[] = {
      {FLT_MatchInvert, "Invert", "Channel", 0, 0x10000, 0xC0000, Invert},
      {FLT_MatchFill, "Fill Colour", "Render", 0, 0x10000, 0xC0000, Fill},
      {FLT_MatchFastBlur, "Fast Blur", "Blur", 0, 0x10000, 0xC0000, FastBlur},
      {FLT_MatchLevels, "Levels", "Adjust", 0, 0x10000, 0xC0000, Levels},
      {FLT_MatchCopy, "Copy", "Utility", 0, 0x10000, 0xC0000, Copy},
      {FLT_MatchGain, "Audio Gain", "Audio", PF_OutFlag_AudioOnly | PF_OutFlag_FloatAudio, 0x10000, 0xC0000, Gain},
      {FLT_MatchText, "Text", "Text", 0, 0x10000, 0xC0000, text::Entry},
  };
  for (const FLT_StaticClass& c : classes) {
    int16_t index = 0;
    FLTp_RegisterStaticClass(&c, &index);
  }
}

}  // namespace tv::flt
