// A test effect with an arbitrary-data parameter, a custom UI, an external
// dependency and extent hints; it records what the host tells it.
#pragma once

#include <cstring>
#include <string>

#include "FLT.h"
#include "Memory.h"
#include "PF.h"

namespace tv::test {

struct ArbLog {
  int32_t events[8] = {};
  Rect setupRequest{};
  Rect renderHint{};
  Rect inputHint{};
  bool scanRefuses = false;
};
inline ArbLog gArb;

inline Handle BytesHandle(const std::string& s) {
  Handle h = NewHandle(static_cast<Size>(s.size()));
  if (!s.empty()) std::memcpy(*h, s.data(), s.size());
  return h;
}
inline std::string HandleBytes(Handle h) {
  return h ? std::string(*h, static_cast<size_t>(GetHandleSize(h))) : std::string();
}

// Parameters: 1 slider "Amount" (0..10, 3), 2 arbitrary "Curve" (default
// "abcd"), 3 point "Centre".
inline PF_Result ArbEffect(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef* params[],
                           PFWorld* output, void* extra) {
  switch (cmd) {
    case PF_Cmd_ParamsSetup: {
      const uint32_t ui[11] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
      if (PF_Result err = in->registerUI(in->effectRef, ui)) return err;
      PF_ParamDef p{};
      p.type = PF_Param_Slider;
      std::strcpy(p.name, "Amount");
      p.u.words[PF_Word_Value] = p.u.words[PF_Word_Default] = 3;
      p.u.words[PF_Word_Max] = 10;
      if (PF_Result err = in->addParam(in->effectRef, -1, &p)) return err;
      p = PF_ParamDef{};
      p.type = PF_Param_Arbitrary;
      std::strcpy(p.name, "Curve");
      Handle def = BytesHandle("abcd");
      std::memcpy(p.u.bytes + 8, &def, sizeof def);
      PF_Result err = in->addParam(in->effectRef, -1, &p);
      DisposeHandle(def);  // the host keeps its own copy
      if (err) return err;
      p = PF_ParamDef{};
      p.type = PF_Param_Point;
      std::strcpy(p.name, "Centre");
      if (PF_Result e = in->addParam(in->effectRef, -1, &p)) return e;
      out->paramCount = 4;
      return 0;
    }
    case PF_Cmd_ArbitraryData: {
      auto* call = static_cast<PF_ArbitraryCall*>(extra);
      const std::string text = "<" + HandleBytes(call->value) + ">";
      switch (call->op) {
        case PF_Arb_PrintSize:
          call->size = static_cast<uint32_t>(text.size() + 1);
          return 0;
        case PF_Arb_Print:
          std::strncpy(static_cast<char*>(call->bytes), text.c_str(), call->size);
          return 0;
        case PF_Arb_Scan:
          if (gArb.scanRefuses) return PF_Result_NotHandled;
          call->result = BytesHandle(std::string(static_cast<const char*>(call->bytes), call->size));
          return 0;
        default:
          return PF_Result_NotHandled;
      }
    }
    case PF_Cmd_Interpolate: {
      auto* deps = static_cast<PF_Dependencies*>(extra);
      std::strncpy(deps->text, "Font: Sans", static_cast<size_t>(deps->size));
      return 0;
    }
    case PF_Cmd_Event: {
      auto* e = static_cast<PF_EventRecord*>(extra);
      ++gArb.events[e->kind & 7];
      if (e->kind == PF_Event_NewContext) e->contextData = NewHandle(8);
      if (e->kind == PF_Event_CloseContext && e->contextData) {
        DisposeHandle(e->contextData);
        e->contextData = nullptr;
      }
      if (e->kind == PF_Event_Click) out->outFlags |= PF_OutFlag_EventResult1;
      return 0;
    }
    case PF_Cmd_FrameSetup:
      gArb.setupRequest = in->request;
      return 0;
    case PF_Cmd_Render:
      gArb.renderHint = output->extentHint;
      gArb.inputHint = params[0]->u.world.extentHint;
      return PF_WorldCopy(in->effectRef, &params[0]->u.world, output);
    default:
      return 0;
  }
}

}  // namespace tv::test
