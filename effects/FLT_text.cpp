// The Text effect: draws a text onto its layer, over the layer's pixels or
// alone. The text and the font name are arbitrary-data parameters holding
// UTF-8 bytes (saved with the project like any effect's data); size,
// colours, stroke, tracking, leading, alignment, direction, offset,
// characters shown and opacity are ordinary parameters, each animatable.
// The fonts and the glyph cache live in the class's global data from its
// global setup to its global setdown.
#include <algorithm>
#include <cstring>
#include <new>

#include "FLT_param_defs.h"
#include "FLT_text.h"
#include "HandleLock.h"
#include "PF.h"

namespace tv::flt::text {
namespace {

struct Engine {
  Fonts fonts;
  GlyphCache cache;
};

Engine* EngineOf(Handle global) {
  Engine* e = nullptr;
  if (global && *global && GetHandleSize(global) == static_cast<Size>(sizeof e)) std::memcpy(&e, *global, sizeof e);
  return e;
}

Handle BytesHandle(const void* bytes, size_t n) {
  Handle h = NewHandle(static_cast<Size>(n));
  if (h && n) std::memcpy(*h, bytes, n);
  return h;
}

std::string_view Bytes(const HandleLock<char>& lock) {
  return lock.get() ? std::string_view(lock.get(), static_cast<size_t>(GetHandleSize(lock.handle())))
                    : std::string_view();
}

PF_Result GlobalSetup(PF_OutputRecord* out) {
  Handle h = NewHandle(static_cast<Size>(sizeof(Engine*)));
  auto* e = new (std::nothrow) Engine;
  if (!h || !e || !e->cache.ok()) {
    delete e;
    if (h) DisposeHandle(h);
    return kReport.OutOfMemory(kSiteTextEffect, kTextTextMemory, sizeof(Engine));
  }
  std::memcpy(*h, &e, sizeof e);
  out->globalData = h;
  return 0;
}

void GlobalSetdown(PF_InputRecord* in) {
  delete EngineOf(in->globalData);
  if (in->globalData) DisposeHandle(in->globalData);
}

PF_Result ParamsSetup(PF_InputRecord* in, PF_OutputRecord* out) {
  Handle text = BytesHandle("Text", 4), font = BytesHandle("Sans", 4);
  PF_Result err = 0;
  if (!text || !font) {
    err = kReport.OutOfMemory(kSiteTextEffect, kTextTextMemory, 8);
  } else {
    PF_ParamDef defs[] = {
        Arbitrary("Text", text),
        Arbitrary("Font", font),
        FloatSlider("Size", 1.0f, 2000.0f, 60.0),
        Colour("Fill Colour", PF_Pixel{255, 255, 255, 255}),
        Colour("Stroke Colour", PF_Pixel{255, 0, 0, 0}),
        FloatSlider("Stroke Width", 0.0f, 200.0f, 0.0),
        FloatSlider("Tracking", -1000.0f, 5000.0f, 0.0),
        FloatSlider("Leading", 0.0f, 1000.0f, 120.0),
        Popup("Alignment", "Left|Centre|Right", 3, 2),
        Popup("Direction", "From Text|Left to Right|Right to Left", 3, 1),
        PointParam("Offset", 0, 0),
        FloatSlider("Characters Shown", 0.0f, 100.0f, 100.0),
        FloatSlider("Opacity", 0.0f, 100.0f, 100.0),
        Checkbox("Composite on Original", "On", true),
    };
    static_assert(sizeof defs / sizeof defs[0] == kParamCount - 1);
    err = AddParams(in, out, defs, kParamCount - 1);
  }
  // The host keeps its own copies of the defaults.
  if (text) DisposeHandle(text);
  if (font) DisposeHandle(font);
  return err;
}

// Text and font print and scan as their own bytes; everything else about
// their values is plain bytes, done by the host.
PF_Result ArbitraryData(PF_ArbitraryCall* call) {
  switch (call->op) {
    case PF_Arb_PrintSize:
      call->size = static_cast<uint32_t>((call->value ? GetHandleSize(call->value) : 0) + 1);
      return 0;
    case PF_Arb_Print: {
      if (!call->bytes || call->size < 1) return PF_Result_BadCallbackArg;
      HandleLock<char> v(call->value);
      const std::string_view s = Bytes(v);
      const size_t n = std::min<size_t>(s.size(), call->size - 1);
      std::memcpy(call->bytes, s.data(), n);
      static_cast<char*>(call->bytes)[n] = 0;
      return 0;
    }
    case PF_Arb_Scan: {
      const auto* b = static_cast<const char*>(call->bytes);
      size_t n = call->size;
      if (n && b[n - 1] == 0) n = strnlen(b, n);
      call->result = BytesHandle(b, n);
      return call->result ? 0 : kReport.OutOfMemory(kSiteTextEffect, kTextTextMemory, n);
    }
    default:
      return PF_Result_NotHandled;
  }
}

// What a Sequence needs from outside the project: its font.
PF_Result Dependencies(PF_ParamDef* params[], PF_Dependencies* deps) {
  if (!deps || !deps->text || deps->size < 1) return PF_Result_BadCallbackArg;
  HandleLock<char> font(ArbitraryValue(params[kFont]));
  std::string s = "Font: ";
  s.append(Bytes(font));
  const size_t n = std::min<size_t>(s.size(), static_cast<size_t>(deps->size) - 1);
  std::memcpy(deps->text, s.data(), n);
  deps->text[n] = 0;
  return 0;
}

PF_Result Render(PF_InputRecord* in, PF_ParamDef* params[], PFWorld* output) {
  Engine* e = EngineOf(in->globalData);
  if (!e) return kReport.Damaged(kSiteTextEffect, {"text engine"});
  const PFWorld* input = &params[0]->u.world;
  if (IntValue(params[kComposite])) {
    if (ErrorCode err = PF_WorldCopy(in->effectRef, input, output)) return err;
  } else if (ErrorCode err = PF_Fill(in->effectRef, nullptr, nullptr, output)) {
    return err;
  }
  HandleLock<char> text(ArbitraryValue(params[kText])), font(ArbitraryValue(params[kFont]));
  Style style;
  style.text = Bytes(text);
  style.font = Bytes(font);
  style.size = FloatValue(params[kSize]);
  style.tracking = FloatValue(params[kTracking]);
  style.leading = FloatValue(params[kLeading]);
  style.align = static_cast<Align>(std::clamp(IntValue(params[kAlign]), 1, 3));
  style.direction = static_cast<Direction>(std::clamp(IntValue(params[kDirection]), 1, 3));
  style.x = input->width / 2.0 + static_cast<int32_t>(params[kOffset]->u.words[0]) / 65536.0;
  style.y = input->height / 2.0 + static_cast<int32_t>(params[kOffset]->u.words[1]) / 65536.0;
  style.shown = FloatValue(params[kShown]);
  if (style.text.empty()) return 0;
  FaceId primary = 0;
  if (ErrorCode err = e->fonts.Resolve(style.font, &primary)) return err;
  Layout layout;
  if (ErrorCode err = LayOut(e->fonts, primary, style, &layout)) return err;
  if (layout.undrawable) e->fonts.WarnUndrawable(style.text, style.font);
  Paint paint{};
  std::memcpy(paint.fill, params[kFill]->u.bytes, 4);
  std::memcpy(paint.stroke, params[kStroke]->u.bytes, 4);
  paint.strokeWidth = FloatValue(params[kStrokeWidth]);
  paint.opacity = FloatValue(params[kOpacity]);
  return Draw(e->fonts, e->cache, layout, paint, output);
}

}  // namespace

PF_Result Entry(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef* params[], PFWorld* output,
                void* extra) try {
  switch (cmd) {
    case PF_Cmd_GlobalSetup:
      return GlobalSetup(out);
    case PF_Cmd_GlobalSetdown:
      GlobalSetdown(in);
      return 0;
    case PF_Cmd_ParamsSetup:
      return ParamsSetup(in, out);
    case PF_Cmd_ArbitraryData:
      return ArbitraryData(static_cast<PF_ArbitraryCall*>(extra));
    case PF_Cmd_Interpolate:
      return Dependencies(params, static_cast<PF_Dependencies*>(extra));
    case PF_Cmd_Render:
      return Render(in, params, output);
    default:
      return 0;
  }
} TV_CATCH(FLT_PackageNumber)

}  // namespace tv::flt::text
