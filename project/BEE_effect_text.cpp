// Effect data set from text: an arbitrary-data parameter of an effect on a
// layer takes the value the effect scans from a text (the Text effect's text
// and font), as one undo step whose inverse holds the value it had.
#include <cstring>

#include "BEE_effect_param_swap.h"
#include "FLT.h"

namespace tv::bee {
namespace {

// The parameter takes a copy of the value; the one it had is given back.
struct TextTraits {
  using Value = Handle;
  static ErrorCode Exchange(Handle seq, int32_t param, Handle value, Handle* old) {
    PF_ParamDef def{};
    if (ErrorCode err = FLT_GetParamDef(seq, param, nullptr, &def)) return err;
    Handle had = nullptr;
    if (def.type == PF_Param_Arbitrary) std::memcpy(&had, def.u.bytes, sizeof had);
    if (ErrorCode err = FLTp_SeqSetArbitraryValue(seq, param, value)) {
      FLT_SeqDisposeParamFPV(seq, param, &def);
      return err;
    }
    *old = had;
    return 0;
  }
  static void Release(Handle value) {
    if (value) DisposeHandle(value);
  }
  static bool Valid(Handle value) { return value != nullptr; }
};

}  // namespace

ErrorCode EffectSeq(BEE_Layer layer, intptr_t index, FLT_Sequence* seq) {
  *seq = nullptr;
  if (ErrorCode err = CheckLayer(layer)) return err;
  Handle parade = nullptr;
  int32_t count = 0;
  if (ErrorCode err = BEE_InqLayerEffectSeq(layer, &parade, &count)) return err;
  if (index < 0 || index >= count)
    return kReport.Report(BEE_SiteCommandOp, kSevError, kErrRange, kTextBadIndex,
                          {static_cast<int64_t>(index)});
  return FLT_GetParadeSeq(parade, static_cast<int32_t>(index), seq);
}

}  // namespace tv::bee

using namespace tv;
using namespace tv::bee;

ErrorCode BEE_CmdSetEffectParamText(BEE_Layer layer, int32_t index, int32_t param, const char* text,
                                    int32_t length) try {
  if (!text || length < -1) return kReport.BadParam(kSiteArgument, {"BEE_CmdSetEffectParamText"});
  FLT_Sequence seq = nullptr;
  if (ErrorCode err = EffectSeq(layer, index, &seq)) return err;
  const size_t n = length < 0 ? std::strlen(text) : static_cast<size_t>(length);
  if (n > INT32_MAX) return kReport.BadParam(kSiteArgument, {"BEE_CmdSetEffectParamText"});
  Handle value = nullptr;
  if (ErrorCode err = FLT_ArbitraryScan(seq, param, text, static_cast<int32_t>(n), &value)) return err;
  const ErrorCode err = EffectParamSwap<TextTraits>::Run(layer, index, param, value, kTextEffectTextChange);
  DisposeHandle(value);
  return err;
} TV_CATCH(BEE_PackageNumber)
