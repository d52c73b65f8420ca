// Effects on layers: the layer's chain of effects (a Parade), the commands
// that apply, delete, switch, reorder and rename effects with their
// inverses, the effect parameter streams reached by stream index, and the
// exported wrappers.
#include <cstring>

#include "BEE_cmd_internal.h"
#include "FLT.h"

namespace tv::bee {

namespace {

// Where a deleted effect stood; the block owns the Sequence while it is
// outside the chain.
struct EffectSlot {
  FLT_Sequence seq;
  uint32_t flags;
  intptr_t index;
};
// An effect's new instance name.
struct EffectName {
  intptr_t index;
  char name[48];
};

void DisposeOwnedEffect(BEE_CmdRec* rec);

struct ApplyEffectCmd {
  static constexpr int32_t kNumber = BEE_CmdNumApplyEffect;
  static constexpr BEE_CmdOp kOp = &OpApplyEffect;
  BEE_Layer layer;
  intptr_t classIndex;
};
struct DeleteEffectCmd {
  static constexpr int32_t kNumber = BEE_CmdNumDeleteEffect;
  static constexpr BEE_CmdOp kOp = &OpDeleteEffect;
  BEE_Layer layer;
  intptr_t index;
};
struct ReinsertEffectCmd {  // the inverse of a deletion: owns the Sequence until it is back
  static constexpr BEE_CmdOp kOp = &OpReinsertEffect;
  static constexpr BEE_CmdDispose kOwned = &DisposeOwnedEffect;
  BEE_Layer layer;
  EffectSlot* slot;
};
struct EffectToggleCmd {
  static constexpr int32_t kNumber = BEE_CmdNumEffectToggle;
  static constexpr BEE_CmdOp kOp = &OpEffectToggle;
  BEE_Layer layer;
  Switch state;  // bit: the effect's index
};
struct EffectReorderCmd {
  static constexpr int32_t kNumber = BEE_CmdNumEffectReorder;
  static constexpr BEE_CmdOp kOp = &OpEffectReorder;
  BEE_Layer layer;
  Factors move;  // h: from, v: to
};
struct EffectNameCmd {
  static constexpr int32_t kNumber = BEE_CmdNumEffectName;
  static constexpr BEE_CmdOp kOp = &OpEffectName;
  static constexpr BEE_CmdDispose kOwned = &DisposeParam2Block;
  BEE_Layer layer;
  const EffectName* name;
};

void DisposeOwnedEffect(BEE_CmdRec* rec) {
  ReinsertEffectCmd c = Words<ReinsertEffectCmd>(*rec);
  if (c.slot) {
    // A Sequence that is back in a chain belongs to it.
    if (c.slot->seq) FLT_DisposeSequence(c.slot->seq);
    DisposePtr(reinterpret_cast<Ptr>(c.slot));
  }
  c.slot = nullptr;
  Store(*rec, c);
}

int32_t EffectCount(BEE_Layer layer) {
  int32_t n = 0;
  if (R(layer).parade) FLT_InqParadeNumSeqs(R(layer).parade, &n);
  return n;
}

ErrorCode BadIndex(intptr_t index) {
  return kReport.Report(BEE_SiteCommandOp, kSevError, kErrRange, kTextBadIndex, {static_cast<int64_t>(index)});
}

ErrorCode CheckEffect(BEE_Layer layer, intptr_t index) {
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (index < 0 || index >= EffectCount(layer)) return BadIndex(index);
  return 0;
}

ErrorCode TooMany() {
  return kReport.Report(BEE_SiteApplyEffect, kSevError, kErrBadParam, kTextTooManyEffects);
}

// The Sequence and parameter of an effect stream index.
ErrorCode EffectParam(BEE_Layer layer, int32_t index, FLT_Sequence* seq, int32_t* param) {
  *seq = nullptr;
  *param = 0;
  const int32_t effect = index / 128 - 4;
  if (effect >= EffectCount(layer)) return kReport.Report(BEE_SiteStream, kSevError, kErrRange, kTextNoStream, {index});
  if (ErrorCode err = FLT_GetParadeSeq(R(layer).parade, effect, seq)) return err;
  *param = index % 128 + 1;
  int32_t count = 0;
  FLT_SeqInqNumParams(*seq, &count);
  if (*param >= count) return kReport.Report(BEE_SiteStream, kSevError, kErrRange, kTextNoStream, {index});
  return 0;
}

}  // namespace

ErrorCode RefreshEffect(BEE_Layer layer, int32_t index) {
  if (ErrorCode err = CheckEffect(layer, index)) return err;
  FLT_Sequence seq = nullptr;
  if (ErrorCode err = FLT_GetParadeSeq(R(layer).parade, index, &seq)) return err;
  Time t{};
  // A layer outside a composition has no current time: its effects stay at 0.
  if (BEE_GetLayerCurrentTime(layer, &t) != 0 || t.scale == 0) return 0;
  return FLT_SeekParams(seq, &t);
}

ErrorCode EffectStream(BEE_Layer layer, int32_t index, TDB_Stream* stream) {
  *stream = nullptr;
  FLT_Sequence seq = nullptr;
  int32_t param = 0;
  if (ErrorCode err = EffectParam(layer, index, &seq, &param)) return err;
  Handle h = nullptr;
  if (ErrorCode err = FLT_SeqInqParamStream(seq, param, &h)) return err;
  *stream = reinterpret_cast<TDB_Stream>(h);
  return 0;
}

ErrorCode SetEffectStream(BEE_Layer layer, int32_t index, TDB_Stream stream) {
  FLT_Sequence seq = nullptr;
  int32_t param = 0;
  if (ErrorCode err = EffectParam(layer, index, &seq, &param)) return err;
  Handle old = nullptr;  // the caller keeps the old stream (for its inverse)
  return FLT_SeqSetParamStream(seq, param, reinterpret_cast<Handle>(stream), &old);
}

void DisposeEffects(Handle parade) {
  if (parade) FLT_DisposeParade(parade);
}

ErrorCode DuplicateEffects(Handle parade, Handle* copy) {
  *copy = nullptr;
  if (!parade) return 0;
  return FLT_ParadeDuplicate(parade, &EffectLayerInfo, nullptr, nullptr, nullptr, copy);
}

BEE_OP(OpApplyEffect) {
  const auto [layer, classIndex] = Words<ApplyEffectCmd>(*rec);
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (classIndex < 0 || classIndex > INT16_MAX) return BadIndex(classIndex);
  if (EffectCount(layer) >= BEE_MaxEffects) return TooMany();
  bool made = false;
  if (!R(layer).parade) {
    Handle parade = nullptr;
    if (ErrorCode err = FLT_NewParade(&EffectLayerInfo, nullptr, &parade)) return err;
    R(layer).parade = parade;
    made = true;
  }
  FLT_Sequence seq = nullptr;
  uint32_t outFlags = 0;
  Boolean32 found = 0;
  ErrorCode err = FLT_NewSequence(static_cast<int16_t>(classIndex), R(layer).parade,
                                  reinterpret_cast<uintptr_t>(layer), nullptr, &outFlags, &seq, &found);
  if (!err) {
    err = FLT_InsertSeqParade(R(layer).parade, seq, -1);
    if (err) FLT_DisposeSequence(seq);
  }
  if (err) {
    if (made) {
      FLT_DisposeParade(R(layer).parade);
      R(layer).parade = nullptr;
    }
    return err;
  }
  TouchLayer(layer);
  SetInverse(inv, DeleteEffectCmd{layer, EffectCount(layer) - 1});
  return 0;
}

BEE_OP(OpDeleteEffect) {
  const auto [layer, index] = Words<DeleteEffectCmd>(*rec);
  if (ErrorCode err = CheckEffect(layer, index)) return err;
  const auto i = static_cast<int32_t>(index);
  EffectSlot slot{nullptr, 0, index};
  if (ErrorCode err = FLT_InqParadeSeqFlags(R(layer).parade, i, &slot.flags)) return err;
  EffectSlot* block = nullptr;
  if (ErrorCode err = NewCopy(&slot, 1, &block)) return err;
  if (ErrorCode err = FLT_RemoveSeqParade(R(layer).parade, i, &block->seq)) {
    DisposePtr(reinterpret_cast<Ptr>(block));
    return err;
  }
  TouchLayer(layer);
  SetInverse(inv, ReinsertEffectCmd{layer, block});
  return 0;
}

BEE_OP(OpReinsertEffect) {
  const auto [layer, slot] = Words<ReinsertEffectCmd>(*rec);
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (!slot || !slot->seq) return kErrBadParam;
  if (slot->index < 0 || slot->index > EffectCount(layer)) return BadIndex(slot->index);
  if (EffectCount(layer) >= BEE_MaxEffects) return TooMany();
  if (!R(layer).parade) {
    Handle parade = nullptr;
    if (ErrorCode err = FLT_NewParade(&EffectLayerInfo, nullptr, &parade)) return err;
    R(layer).parade = parade;
  }
  const auto i = static_cast<int32_t>(slot->index);
  if (ErrorCode err = FLT_InsertSeqParade(R(layer).parade, slot->seq, i)) return err;
  FLT_SetParadeSeqFlags(R(layer).parade, i, slot->flags, 0xFFFFFFFFu);
  // The chain owns the Sequence again.
  slot->seq = nullptr;
  TouchLayer(layer);
  SetInverse(inv, DeleteEffectCmd{layer, i});
  return 0;
}

BEE_OP(OpEffectToggle) {
  const auto [layer, state] = Words<EffectToggleCmd>(*rec);
  if (ErrorCode err = CheckEffect(layer, state.bit)) return err;
  const auto i = static_cast<int32_t>(state.bit);
  uint32_t flags = 0;
  if (ErrorCode err = FLT_InqParadeSeqFlags(R(layer).parade, i, &flags)) return err;
  if (ErrorCode err = FLT_SetParadeSeqFlags(R(layer).parade, i, state.on ? FLT_Item_On : 0, FLT_Item_On)) return err;
  TouchLayer(layer);
  SetInverse(inv, EffectToggleCmd{layer, Switch{state.bit, (flags & FLT_Item_On) != 0}});
  return 0;
}

BEE_OP(OpEffectReorder) {
  const auto [layer, move] = Words<EffectReorderCmd>(*rec);
  if (ErrorCode err = CheckEffect(layer, move.h)) return err;
  if (move.v >= EffectCount(layer)) return BadIndex(move.v);
  if (ErrorCode err = FLT_ReorderParade(R(layer).parade, move.h, move.v)) return err;
  TouchLayer(layer);
  SetInverse(inv, EffectReorderCmd{layer, Factors{move.v, move.h}});
  return 0;
}

BEE_OP(OpEffectName) {
  const auto [layer, name] = Words<EffectNameCmd>(*rec);
  if (!name) return kErrBadParam;
  if (ErrorCode err = CheckEffect(layer, name->index)) return err;
  FLT_Sequence seq = nullptr;
  if (ErrorCode err = FLT_GetParadeSeq(R(layer).parade, static_cast<int32_t>(name->index), &seq)) return err;
  EffectName old{name->index, {}};
  if (ErrorCode err = FLT_SeqInqName(seq, old.name)) return err;
  EffectName* block = nullptr;
  if (ErrorCode err = NewCopy(&old, 1, &block)) return err;
  char text[48] = {};
  std::memcpy(text, name->name, 47);
  if (ErrorCode err = FLT_SeqSetName(seq, text)) {
    DisposePtr(reinterpret_cast<Ptr>(block));
    return err;
  }
  TouchLayer(layer);
  SetInverse(inv, EffectNameCmd{layer, block});
  return 0;
}

}  // namespace tv::bee

using namespace tv;
using namespace tv::bee;

namespace {
template <class C>
ErrorCode WrapEffect(const C& c, int32_t number) {
  if (ErrorCode err = BEE_StartGroup(nullptr, number)) return err;
  ErrorCode err = DoCommand(c);
  BEE_EndGroup();
  return err;
}
}  // namespace

ErrorCode BEE_CmdApplyEffect(BEE_Layer layer, int16_t classIndex, int32_t* index) try {
  if (index) *index = static_cast<int32_t>(0x80000000u);
  if (ErrorCode err = CheckLayer(layer)) return err;
  // A 32nd effect is refused before anything is recorded.
  if (EffectCount(layer) >= BEE_MaxEffects) return TooMany();
  if (ErrorCode err = WrapEffect(ApplyEffectCmd{layer, classIndex}, BEE_CmdNumApplyEffect)) return err;
  const int32_t added = EffectCount(layer) - 1;
  // The new effect is made at time 0: its parameters are brought to the
  // layer's current time. This changes nothing that undo must know of.
  if (ErrorCode err = RefreshEffect(layer, added)) return err;
  if (index) *index = added;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdDeleteEffect(BEE_Layer layer, int32_t index) try {
  if (ErrorCode err = CheckEffect(layer, index)) return err;
  if (ErrorCode err = BEE_StartGroup(nullptr, BEE_CmdNumDeleteEffect)) return err;
  ErrorCode err = DoCommand(EffectToggleCmd{layer, Switch{static_cast<uint32_t>(index), false}});
  if (!err) err = DoCommand(DeleteEffectCmd{layer, index});
  BEE_EndGroup();
  return err;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdReorderEffects(BEE_Layer layer, int32_t from, int32_t to) try {
  if (ErrorCode err = CheckEffect(layer, from)) return err;
  if (ErrorCode err = CheckEffect(layer, to)) return err;
  return WrapEffect(EffectReorderCmd{layer, Factors{static_cast<uint16_t>(from), static_cast<uint16_t>(to)}},
                    BEE_CmdNumEffectReorder);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetEffectEnabled(BEE_Layer layer, int32_t index, Boolean32 on) try {
  if (ErrorCode err = CheckEffect(layer, index)) return err;
  return WrapEffect(EffectToggleCmd{layer, Switch{static_cast<uint32_t>(index), on != 0}}, BEE_CmdNumEffectToggle);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdRenameEffect(BEE_Layer layer, int32_t index, const char* name) try {
  EffectName n{index, {}};
  if (name) std::strncpy(n.name, name, sizeof n.name - 1);
  return WrapEffect(EffectNameCmd{layer, &n}, BEE_CmdNumEffectName);
} TV_CATCH(BEE_PackageNumber)
