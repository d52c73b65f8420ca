// Single-pixel colour conversions (HLS, YIQ, luminance, hue, lightness,
// saturation) in straight and premultiplied forms, and guessing alpha.
#include <algorithm>
#include <cmath>

#include "PF_internal.h"

namespace tv::pf {
namespace {

Fixed ToFixed(double v) { return static_cast<Fixed>(std::floor(v * 65536.0 + 0.5)); }
double FromFixed(Fixed v) { return v / 65536.0; }
uint8_t ToByte(double v) {
  if (!(v > 0)) return 0;  // also NaN
  if (v >= 255) return 255;
  return static_cast<uint8_t>(std::floor(v + 0.5));
}

// The straight colour of a premultiplied pixel: D[alpha][c].
PF_Pixel Unmatte(const PF_Pixel& p) {
  return PF_Pixel{p.alpha, static_cast<uint8_t>(ArithOps::D(p.alpha, p.red)),
                  static_cast<uint8_t>(ArithOps::D(p.alpha, p.green)),
                  static_cast<uint8_t>(ArithOps::D(p.alpha, p.blue))};
}
void Rematte(PF_Pixel& p) {
  p.red = static_cast<uint8_t>(ArithOps::M(p.alpha, p.red));
  p.green = static_cast<uint8_t>(ArithOps::M(p.alpha, p.green));
  p.blue = static_cast<uint8_t>(ArithOps::M(p.alpha, p.blue));
}

// HLS with hue in degrees [0, 360), lightness and saturation in 0..1.
void ToHLS(const PF_Pixel& p, double hls[3]) {
  const double r = p.red / 255.0, g = p.green / 255.0, b = p.blue / 255.0;
  const double hi = std::max({r, g, b}), lo = std::min({r, g, b});
  const double l = (hi + lo) / 2;
  double h = 0, s = 0;
  if (hi > lo) {
    const double delta = hi - lo;
    s = l <= 0.5 ? delta / (hi + lo) : delta / (2 - hi - lo);
    if (r == hi)
      h = (g - b) / delta;
    else if (g == hi)
      h = 2 + (b - r) / delta;
    else
      h = 4 + (r - g) / delta;
    h *= 60;
    if (h < 0) h += 360;
  }
  hls[0] = h, hls[1] = l, hls[2] = s;
}

double HueToValue(double m1, double m2, double h) {
  h = std::fmod(h, 360.0);
  if (h < 0) h += 360;
  if (h < 60) return m1 + (m2 - m1) * h / 60;
  if (h < 180) return m2;
  if (h < 240) return m1 + (m2 - m1) * (240 - h) / 60;
  return m1;
}

void FromHLS(const double hls[3], PF_Pixel& p) {
  const double h = hls[0], l = std::clamp(hls[1], 0.0, 1.0), s = std::clamp(hls[2], 0.0, 1.0);
  double r = l, g = l, b = l;
  if (s > 0) {
    const double m2 = l <= 0.5 ? l * (1 + s) : l + s - l * s;
    const double m1 = 2 * l - m2;
    r = HueToValue(m1, m2, h + 120);
    g = HueToValue(m1, m2, h);
    b = HueToValue(m1, m2, h - 120);
  }
  p.red = ToByte(r * 255), p.green = ToByte(g * 255), p.blue = ToByte(b * 255);
}

bool Finite3(const Fixed* v) { return v != nullptr; }

ErrorCode ToColour(const PF_Pixel* pixel, Fixed* out, bool premul, bool yiq) {
  if (!pixel || !out) return BadParam(kRtColour, "no pixel or result");
  const PF_Pixel p = premul ? Unmatte(*pixel) : *pixel;
  if (yiq) {
    const double r = p.red / 255.0, g = p.green / 255.0, b = p.blue / 255.0;
    out[0] = ToFixed(0.299 * r + 0.587 * g + 0.114 * b);
    out[1] = ToFixed(0.596 * r - 0.274 * g - 0.322 * b);
    out[2] = ToFixed(0.211 * r - 0.523 * g + 0.312 * b);
  } else {
    double hls[3];
    ToHLS(p, hls);
    for (int i = 0; i < 3; ++i) out[i] = ToFixed(hls[i]);
  }
  return 0;
}

ErrorCode FromColour(const Fixed* in, PF_Pixel* pixel, bool premul, bool yiq) {
  if (!Finite3(in) || !pixel) return BadParam(kRtColour, "no colour or pixel");
  if (yiq) {
    const double y = FromFixed(in[0]), i = FromFixed(in[1]), q = FromFixed(in[2]);
    pixel->red = ToByte((y + 0.956 * i + 0.621 * q) * 255);
    pixel->green = ToByte((y - 0.272 * i - 0.647 * q) * 255);
    pixel->blue = ToByte((y - 1.106 * i + 1.703 * q) * 255);
  } else {
    const double hls[3] = {FromFixed(in[0]), FromFixed(in[1]), FromFixed(in[2])};
    FromHLS(hls, *pixel);
  }
  if (premul) Rematte(*pixel);
  return 0;
}

enum class Value { Luminance, Hue, Lightness, Saturation };
ErrorCode PixelValue(const PF_Pixel* pixel, int32_t* value, bool premul, Value what) {
  if (!pixel || !value) return BadParam(kRtColour, "no pixel or result");
  const PF_Pixel p = premul ? Unmatte(*pixel) : *pixel;
  if (what == Value::Luminance) {
    *value = 30 * p.red + 59 * p.green + 11 * p.blue;
    return 0;
  }
  double hls[3];
  ToHLS(p, hls);
  *value = ToFixed(what == Value::Hue ? hls[0] : what == Value::Lightness ? hls[1] : hls[2]);
  return 0;
}

}  // namespace
}  // namespace tv::pf

using namespace tv;
using namespace tv::pf;

ErrorCode PF_RGBtoHLS_Straight(PF_EffectRef, const PF_Pixel* p, Fixed* hls) { return ToColour(p, hls, false, false); }
ErrorCode PF_HLStoRGB_Straight(PF_EffectRef, const Fixed* hls, PF_Pixel* p) { return FromColour(hls, p, false, false); }
ErrorCode PF_RGBtoYIQ_Straight(PF_EffectRef, const PF_Pixel* p, Fixed* yiq) { return ToColour(p, yiq, false, true); }
ErrorCode PF_YIQtoRGB_Straight(PF_EffectRef, const Fixed* yiq, PF_Pixel* p) { return FromColour(yiq, p, false, true); }
ErrorCode PF_RGBtoHLS_Premul(PF_EffectRef, const PF_Pixel* p, Fixed* hls) { return ToColour(p, hls, true, false); }
ErrorCode PF_HLStoRGB_Premul(PF_EffectRef, const Fixed* hls, PF_Pixel* p) { return FromColour(hls, p, true, false); }
ErrorCode PF_RGBtoYIQ_Premul(PF_EffectRef, const PF_Pixel* p, Fixed* yiq) { return ToColour(p, yiq, true, true); }
ErrorCode PF_YIQtoRGB_Premul(PF_EffectRef, const Fixed* yiq, PF_Pixel* p) { return FromColour(yiq, p, true, true); }

ErrorCode PF_Luminance_Straight(PF_EffectRef, const PF_Pixel* p, int32_t* v) {
  return PixelValue(p, v, false, Value::Luminance);
}
ErrorCode PF_Hue_Straight(PF_EffectRef, const PF_Pixel* p, int32_t* v) { return PixelValue(p, v, false, Value::Hue); }
ErrorCode PF_Lightness_Straight(PF_EffectRef, const PF_Pixel* p, int32_t* v) {
  return PixelValue(p, v, false, Value::Lightness);
}
ErrorCode PF_Saturation_Straight(PF_EffectRef, const PF_Pixel* p, int32_t* v) {
  return PixelValue(p, v, false, Value::Saturation);
}
ErrorCode PF_Luminance_Premul(PF_EffectRef, const PF_Pixel* p, int32_t* v) {
  return PixelValue(p, v, true, Value::Luminance);
}
ErrorCode PF_Hue_Premul(PF_EffectRef, const PF_Pixel* p, int32_t* v) { return PixelValue(p, v, true, Value::Hue); }
ErrorCode PF_Lightness_Premul(PF_EffectRef, const PF_Pixel* p, int32_t* v) {
  return PixelValue(p, v, true, Value::Lightness);
}
ErrorCode PF_Saturation_Premul(PF_EffectRef, const PF_Pixel* p, int32_t* v) {
  return PixelValue(p, v, true, Value::Saturation);
}

uint8_t PF_LuminanceFast(const PF_Pixel* p) {
  if (!p) return 0;
  const PF_ColourTables& t = Tables();
  return static_cast<uint8_t>(t.lumR[p->red] + t.lumG[p->green] + t.lumB[p->blue]);
}

ErrorCode PF_GuessAlpha(PF_EffectRef, const PF_Pixel* colour, PFWorld* world) {
  if (!ValidWorld(world)) return BadParam(kRtGuessAlpha, "world");
  const uint32_t m[3] = {colour ? colour->red : 0u, colour ? colour->green : 0u, colour ? colour->blue : 0u};
  for (int32_t y = 0; y < world->height; ++y) {
    uint8_t* p = Row(world, y);
    for (int32_t x = 0; x < world->width; ++x, p += 4) {
      uint32_t a = 0;
      for (int c = 0; c < 3; ++c) {
        const uint32_t v = p[c + 1];
        // The least alpha (rounded up) with v = alpha x c' + (1 - alpha) x m for some c' in 0..255.
        uint32_t need = 0;
        if (v > m[c]) need = ((v - m[c]) * 255 + (254 - m[c])) / (255 - m[c]);
        else if (v < m[c]) need = ((m[c] - v) * 255 + m[c] - 1) / m[c];
        a = std::max(a, need);
      }
      p[0] = static_cast<uint8_t>(a);
    }
  }
  return 0;
}

ErrorCode PF_GuessAlphaMessage(PF_EffectRef, const PFWorld* world, int32_t* guess, PF_Pixel* matte) {
  if (guess) *guess = PF_Guess_NoAlpha;
  if (matte) *matte = PF_Pixel{0, 0, 0, 0};
  if (!ValidWorld(world) || !guess) return BadParam(kRtGuessAlpha, "world or result");
  bool allOpaque = true, straight = false, matteSeen = false, oneMatte = true;
  PF_Pixel first{};
  for (int32_t y = 0; y < world->height && !straight; ++y) {
    const uint8_t* p = Row(world, y);
    for (int32_t x = 0; x < world->width; ++x, p += 4) {
      if (p[0] != 255) allOpaque = false;
      if (p[1] > p[0] || p[2] > p[0] || p[3] > p[0]) {
        if (p[0] != 0) {
          straight = true;
          break;
        }
      }
      if (p[0] == 0) {
        const PF_Pixel here{0, p[1], p[2], p[3]};
        if (!matteSeen) first = here, matteSeen = true;
        else if (here.red != first.red || here.green != first.green || here.blue != first.blue) oneMatte = false;
      }
    }
  }
  if (allOpaque) *guess = PF_Guess_NoAlpha;
  else if (straight || (matteSeen && !oneMatte)) *guess = PF_Guess_Straight;
  else if (matteSeen && (first.red | first.green | first.blue)) *guess = PF_Guess_PremulColour;
  else *guess = PF_Guess_PremulBlack;
  if (*guess == PF_Guess_PremulColour && matte) *matte = PF_Pixel{255, first.red, first.green, first.blue};
  return 0;
}
