// Which layer an effect's layer parameter reads. The parameter holds the
// layer's ID (0: none) and a companion word kept 0; the layer is looked up
// by that ID in the composition of the effect's layer, so duplicating a
// layer keeps what its effects read, and a layer deleted reads as none until
// the deletion is undone. Choosing is one undo step ("Effect Layer Change").
#include <unordered_map>

#include "BEE_effect_param_swap.h"
#include "FLT.h"

namespace tv::bee {
namespace {

// The parameter takes the layer's ID; the one it had is given back.
struct LayerTraits {
  using Value = uint32_t;
  static ErrorCode Exchange(Handle seq, int32_t param, uint32_t ref, uint32_t* old) {
    uint32_t companion = 0;
    if (ErrorCode err = FLTp_SeqGetLayerRef(seq, param, old, &companion)) return err;
    return FLTp_SeqSetLayerRef(seq, param, ref, 0);
  }
  static void Release(uint32_t) {}
  static bool Valid(uint32_t) { return true; }
};

}  // namespace

void FollowLayerChoices(BEE_Layer layer, const std::unordered_map<uint32_t, uint32_t>& ids, bool keepOthers) {
  if (!R(layer).parade) return;
  struct Walk {
    const std::unordered_map<uint32_t, uint32_t>& ids;
    bool keep;
  } walk{ids, keepOthers};
  const auto follow = [](ErrorCode running, FLT_Sequence, void* refcon, uint32_t* ref, uint32_t* companion) {
    const Walk& w = *static_cast<const Walk*>(refcon);
    if (auto it = w.ids.find(*ref); it != w.ids.end()) {
      *ref = it->second;
    } else if (!w.keep) {
      *ref = *companion = 0;
    }
    return running;
  };
  FLT_ParadeResolveLayers(R(layer).parade, follow, &walk);
}

void CopyLayerChoices(std::span<const BEE_Layer> originals, std::span<const BEE_Layer> copies) {
  std::unordered_map<uint32_t, uint32_t> ids;
  for (size_t i = 0; i < originals.size() && i < copies.size(); ++i) {
    uint32_t from = 0, to = 0;
    if (BEEp_GetLayerID(originals[i], &from) == 0 && BEEp_GetLayerID(copies[i], &to) == 0) ids[from] = to;
  }
  for (BEE_Layer c : copies) FollowLayerChoices(c, ids, true);
}

ErrorCode OffsetLayerChoices(Handle parade, uint32_t base) {
  if (!parade || !base) return 0;
  const auto offset = [](ErrorCode running, FLT_Sequence, void* refcon, uint32_t* ref,
                         uint32_t*) -> ErrorCode {
    if (*ref) *ref += *static_cast<const uint32_t*>(refcon);
    return running;
  };
  return FLT_ParadeResolveLayers(parade, offset, &base);
}

ErrorCode ClearLayerChoices(Handle parade) {
  const auto clear = [](ErrorCode running, FLT_Sequence, void*, uint32_t* ref,
                        uint32_t* companion) -> ErrorCode {
    *ref = *companion = 0;
    return running;
  };
  return parade ? FLT_ParadeResolveLayers(parade, clear, nullptr) : 0;
}

BEE_Layer LayerByID(BEE_Item comp, uint32_t id) {
  if (!id || !comp || !IsLiveItem(comp)) return nullptr;
  int32_t n = 0;
  if (BEE_GetCompNumLayers(comp, &n) != 0) return nullptr;
  for (int32_t i = 0; i < n; ++i) {
    BEE_Layer l = nullptr;
    uint32_t lid = 0;
    if (BEE_GetIndLayer(comp, i, &l) == 0 && BEEp_GetLayerID(l, &lid) == 0 && lid == id) return l;
  }
  return nullptr;
}

}  // namespace tv::bee

using namespace tv;
using namespace tv::bee;

ErrorCode BEE_GetEffectParamLayer(BEE_Layer layer, int32_t index, int32_t param, BEE_Layer* target) try {
  if (target) *target = nullptr;
  if (!target) return kReport.BadParam(kSiteArgument, {"BEE_GetEffectParamLayer"});
  FLT_Sequence seq = nullptr;
  if (ErrorCode err = EffectSeq(layer, index, &seq)) return err;
  uint32_t ref = 0, companion = 0;
  if (ErrorCode err = FLTp_SeqGetLayerRef(seq, param, &ref, &companion)) return err;
  *target = LayerByID(R(layer).comp, ref);
  return 0;
}
TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetEffectParamLayer(BEE_Layer layer, int32_t index, int32_t param, BEE_Layer target) try {
  FLT_Sequence seq = nullptr;
  if (ErrorCode err = EffectSeq(layer, index, &seq)) return err;
  uint32_t old = 0, companion = 0;
  if (ErrorCode err = FLTp_SeqGetLayerRef(seq, param, &old, &companion)) return err;
  uint32_t ref = 0;
  if (target) {
    if (ErrorCode err = CheckLayer(target)) return err;
    // Another composition's layer, or the effect's own, cannot be read.
    if (target == layer || R(target).comp != R(layer).comp)
      return kReport.BadParam(kSiteArgument, {"BEE_CmdSetEffectParamLayer"});
    if (ErrorCode err = BEEp_GetLayerID(target, &ref)) return err;
  }
  return EffectParamSwap<LayerTraits>::Run(layer, index, param, ref, kTextEffectLayerChange);
}
TV_CATCH(BEE_PackageNumber)
