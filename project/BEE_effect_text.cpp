// Effect data set from text: an arbitrary-data parameter of an effect on a
// layer takes the value the effect scans from a text (the Text effect's text
// and font), as one undo step whose inverse holds the value it had.
#include <cstring>

#include "BEE_cmd_internal.h"
#include "FLT.h"

namespace tv::bee {
namespace {

// A value of an effect's parameter, owned by the record that holds it.
struct EffectData {
  intptr_t effect;
  intptr_t param;
  Handle value;
};

void DisposeEffectData(BEE_CmdRec* rec);
BEE_OP(OpSwapEffectData);

struct SwapEffectDataCmd {  // gives the parameter its value back (undo, redo)
  static constexpr BEE_CmdOp kOp = &OpSwapEffectData;
  static constexpr BEE_CmdDispose kOwned = &DisposeEffectData;
  BEE_Layer layer;
  EffectData* data;
};

// What the exported call hands its task: the caller's for the call.
struct TextRequest {
  BEE_Layer layer;
  EffectData data;
};

void DisposeEffectData(BEE_CmdRec* rec) {
  SwapEffectDataCmd c = Words<SwapEffectDataCmd>(*rec);
  if (c.data) {
    if (c.data->value) DisposeHandle(c.data->value);
    DisposePtr(reinterpret_cast<Ptr>(c.data));
  }
  c.data = nullptr;
  Store(*rec, c);
}

ErrorCode EffectSeq(BEE_Layer layer, intptr_t index, FLT_Sequence* seq) {
  *seq = nullptr;
  if (ErrorCode err = CheckLayer(layer)) return err;
  Handle parade = nullptr;
  int32_t count = 0;
  if (ErrorCode err = BEE_InqLayerEffectSeq(layer, &parade, &count)) return err;
  if (index < 0 || index >= count)
    return kReport.Report(BEE_SiteCommandOp, kSevError, kErrRange, kTextBadIndex, {static_cast<int64_t>(index)});
  return FLT_GetParadeSeq(parade, static_cast<int32_t>(index), seq);
}

// The parameter takes a copy of data's value; the inverse keeps the value it had.
ErrorCode Swap(BEE_Layer layer, const EffectData& data, BEE_CmdRec* inv) {
  FLT_Sequence seq = nullptr;
  if (ErrorCode err = EffectSeq(layer, data.effect, &seq)) return err;
  const auto param = static_cast<int32_t>(data.param);
  PF_ParamDef def{};
  if (ErrorCode err = FLT_GetParamDef(seq, param, nullptr, &def)) return err;
  Handle old = nullptr;
  if (def.type == PF_Param_Arbitrary) std::memcpy(&old, def.u.bytes, sizeof old);
  EffectData before{data.effect, data.param, old};
  EffectData* block = nullptr;
  ErrorCode err = NewCopy(&before, 1, &block);
  if (!err) err = FLTp_SeqSetArbitraryValue(seq, param, data.value);
  if (err) {
    if (block) DisposePtr(reinterpret_cast<Ptr>(block));
    FLT_SeqDisposeParamFPV(seq, param, &def);
    return err;
  }
  TouchLayer(layer);
  SetInverse(inv, SwapEffectDataCmd{layer, block});
  return 0;
}

BEE_OP(OpSwapEffectData) {
  const auto [layer, data] = Words<SwapEffectDataCmd>(*rec);
  if (!data || !data->value) return kErrBadParam;
  return Swap(layer, *data, inv);
}

// The task's function: its second word is the request.
BEE_OP(OpSetEffectText) {
  const auto* request = reinterpret_cast<const TextRequest*>(rec->param2);
  if (!request) return kErrBadParam;
  return Swap(request->layer, request->data, inv);
}

}  // namespace
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
  TextRequest request{layer, EffectData{index, param, value}};
  BEE_TaskBlock task{&OpSetEffectText, {}};
  intptr_t words[2] = {reinterpret_cast<intptr_t>(&task), reinterpret_cast<intptr_t>(&request)};
  ErrorCode err = StartGroup(UndoStack(), nullptr, kTextEffectTextChange);
  if (!err) {
    err = BEE_DoCommand(BEE_CmdNumTask, words);
    EndGroup(UndoStack());
  }
  DisposeHandle(value);
  return err;
} TV_CATCH(BEE_PackageNumber)
