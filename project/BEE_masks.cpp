// Masks on layers: the mask list of a layer (each mask a shape stream, a
// feather and an opacity stream, a name, a mode, invert and lock), the mask
// commands with their inverses, and the exported mask operations.
#include <algorithm>
#include <new>
#include <cstring>

#include "BEE_cmd_internal.h"
#include "PF.h"
#include "U.h"

namespace tv::bee {

// ---- Command words -------------------------------------------------------------------------
// A mask index (or the first of two) and a value in one word.
struct MaskValue {
  int32_t mask;
  int32_t value;
};
template <>
struct Word<MaskValue> {
  static intptr_t Pack(MaskValue v) { return BEE_PackMaskValue(v.mask, v.value); }
  static MaskValue Unpack(intptr_t w) {
    const uint64_t u = static_cast<uint64_t>(w);
    return MaskValue{static_cast<int32_t>(static_cast<uint32_t>(u >> 32)), static_cast<int32_t>(static_cast<uint32_t>(u))};
  }
};

// What the inverse of a deletion owns: the mask and where it stood.
struct MaskBlock {
  intptr_t index;
  MaskRec mask;
};
void DisposeMaskBlock(BEE_CmdRec* rec);

struct AddMaskCmd {
  static constexpr int32_t kNumber = BEE_CmdNumAddMask;
  static constexpr BEE_CmdOp kOp = &OpAddMask;
  BEE_Layer layer;
  OM_Shape shape;
};
struct DeleteMaskCmd {
  static constexpr int32_t kNumber = BEE_CmdNumDeleteMask;
  static constexpr BEE_CmdOp kOp = &OpDeleteMask;
  BEE_Layer layer;
  intptr_t mask;
};
struct ReinsertMaskCmd {  // the inverse of a deletion: the record owns the mask until it is back
  static constexpr BEE_CmdOp kOp = &OpReinsertMask;
  static constexpr BEE_CmdDispose kOwned = &DisposeMaskBlock;
  BEE_Layer layer;
  MaskBlock* block;
};
struct ReorderMaskCmd {
  static constexpr int32_t kNumber = BEE_CmdNumMaskReorder;
  static constexpr BEE_CmdOp kOp = &OpReorderMask;
  BEE_Layer layer;
  MaskValue move;  // from, to
};
struct MaskInvertCmd {
  static constexpr int32_t kNumber = BEE_CmdNumMaskInvert;
  static constexpr BEE_CmdOp kOp = &OpMaskInvert;
  BEE_Layer layer;
  MaskValue value;
};
struct MaskModeCmd {
  static constexpr int32_t kNumber = BEE_CmdNumMaskMode;
  static constexpr BEE_CmdOp kOp = &OpMaskMode;
  BEE_Layer layer;
  MaskValue value;
};
struct MaskLockCmd {
  static constexpr int32_t kNumber = BEE_CmdNumMaskLock;
  static constexpr BEE_CmdOp kOp = &OpMaskLock;
  BEE_Layer layer;
  MaskValue value;
};
struct MaskNameCmd {
  static constexpr int32_t kNumber = BEE_CmdNumMaskName;
  static constexpr BEE_CmdOp kOp = &OpMaskName;
  static constexpr BEE_CmdDispose kOwned = &DisposeParam2Block;
  BEE_Layer layer;
  const BEE_MaskName* name;
};

// ---- The mask list ---------------------------------------------------------------------------
namespace {

int32_t MaskCount(BEE_Layer layer) {
  int32_t n = 0;
  if (R(layer).masks) LIST_GetNumItems(R(layer).masks, &n);
  return n;
}

ErrorCode BadMask(int64_t mask) {
  return kReport.Report(BEE_SiteCommandOp, kSevError, kErrRange, kTextBadIndex, {mask});
}

ErrorCode CheckMask(BEE_Layer layer, int64_t mask) {
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (mask < 0 || mask >= MaskCount(layer)) return BadMask(mask);
  return 0;
}

MaskRec GetMask(BEE_Layer layer, int32_t mask) {
  MaskRec m{};
  LIST_GetItem(R(layer).masks, mask, &m);
  return m;
}
void PutMask(BEE_Layer layer, int32_t mask, const MaskRec& m) { LIST_SetItem(&m, mask, R(layer).masks, 0, nullptr); }

void DisposeMaskStreams(MaskRec& m) {
  for (TDB_Stream& s : m.streams) {
    if (s) TDB_DisposeStream(s);
    s = nullptr;
  }
}

// Marks the layer changed. That can run out of memory (it walks the
// compositions with containers); it is answered here, before anything
// changes hands, so an undo record being replayed is put back rather than
// lost with an exception.
ErrorCode Touched(BEE_Layer layer) {
  try {
    TouchLayer(layer);
    return 0;
  } catch (const std::bad_alloc&) {
    return kReport.OutOfMemory(BEE_SiteCommandOp, "layer changes", 0);
  }
}

ErrorCode EnsureList(BEE_Layer layer) {
  if (R(layer).masks) return 0;
  LIST_Handle l = nullptr;
  if (ErrorCode err = LIST_New(0, sizeof(MaskRec), 4, 0, &l)) return err;
  R(layer).masks = l;
  return 0;
}

ErrorCode NumericStream(uint32_t scale, int16_t dimension, const double* value, TDB_Stream* out) {
  TDB_ValueDesc desc{};
  desc.dataType = 9;  // double
  if (ErrorCode err = TDB_NewStream(dimension, scale, 1, 0, 0x7, 0, &desc, out)) return err;
  return TDB_InsertKeyF(*out, nullptr, 0, 1, value, TDB_InterpLinear, TDB_InterpLinear);
}

// A new mask of the layer holding a copy of shape.
ErrorCode NewMask(BEE_Layer layer, OM_Shape shape, MaskRec* out) {
  *out = MaskRec{};
  TDB_StreamInfo info{};
  uint32_t scale = 600;
  if (R(layer).streams[BEE_StreamOpacity] && TDB_GetStreamInfo(R(layer).streams[BEE_StreamOpacity], &info) == 0)
    scale = info.timeScale;
  MaskRec m{};
  m.id = G().nextId++;
  m.mode = PF_UnoMode_Add;
  u::SubString(std::span<char>(m.name, sizeof m.name), kReport.Text(kTextMaskName1), {MaskCount(layer) + 1});
  const double feather[2] = {0, 0}, opacity[1] = {1};  // opacity 0..1 (100 %)
  ErrorCode err = OM_NewStream(scale, 1, &m.streams[BEE_MaskStreamShape]);
  if (!err) err = OM_InsertKeyShape(m.streams[BEE_MaskStreamShape], nullptr, 0, 1, shape, 1, 1);
  if (!err) err = NumericStream(scale, 2, feather, &m.streams[BEE_MaskStreamFeather]);
  if (!err) err = NumericStream(scale, 1, opacity, &m.streams[BEE_MaskStreamOpacity]);
  if (err) {
    DisposeMaskStreams(m);
    return err;
  }
  *out = m;
  return 0;
}

ErrorCode InsertMask(BEE_Layer layer, const MaskRec& m, int32_t index) {
  if (ErrorCode err = EnsureList(layer)) return err;
  const int32_t n = MaskCount(layer);
  return LIST_Insert(&m, index >= n ? -1 : index, R(layer).masks);
}

// A setting of one mask: *field of its record.
template <uint32_t MaskRec::*Field, class C>
ErrorCode SetSetting(BEE_CmdRec* rec, BEE_CmdRec* inv, bool isMode) {
  const auto [layer, v] = Words<C>(*rec);
  if (ErrorCode err = CheckMask(layer, v.mask)) return err;
  MaskRec m = GetMask(layer, v.mask);
  const int32_t old = static_cast<int32_t>(m.*Field);
  m.*Field = isMode ? static_cast<uint32_t>(v.value) : (v.value != 0);
  if (Fault f = CheckMaskRecord(MaskRecord{m.mode, m.invert, m.locked})) return Refuse(BEE_SiteCommandOp, f);
  if (ErrorCode err = Touched(layer)) return err;
  PutMask(layer, v.mask, m);
  SetInverse(inv, C{layer, MaskValue{v.mask, old}});
  return 0;
}

}  // namespace

void DisposeMasks(BEE_Layer layer) {
  LIST_Handle l = R(layer).masks;
  if (!l) return;
  const int32_t n = MaskCount(layer);
  for (int32_t i = 0; i < n; ++i) {
    MaskRec m = GetMask(layer, i);
    DisposeMaskStreams(m);
  }
  R(layer).masks = nullptr;
  LIST_Dispose(l, 0);
}

ErrorCode DuplicateMasks(BEE_Layer layer, BEE_Layer copy) {
  const int32_t n = MaskCount(layer);
  for (int32_t i = 0; i < n; ++i) {
    MaskRec m = GetMask(layer, i);
    MaskRec c = m;
    c.id = G().nextId++;
    for (TDB_Stream& s : c.streams) s = nullptr;
    ErrorCode err = 0;
    for (int k = 0; k < 3 && !err; ++k) err = TDB_DuplicateStream(m.streams[k], &c.streams[k]);
    if (!err) err = InsertMask(copy, c, i);
    if (err) {
      DisposeMaskStreams(c);
      return err;  // the copy's masks so far go with the copy
    }
  }
  return 0;
}

ErrorCode MaskStream(BEE_Layer layer, int32_t index, TDB_Stream* stream) {
  *stream = nullptr;
  const int32_t mask = (index - BEE_StreamFirstMask) / 3, k = (index - BEE_StreamFirstMask) % 3;
  if (mask >= MaskCount(layer)) return kReport.Report(BEE_SiteStream, kSevError, kErrRange, kTextNoStream, {index});
  *stream = GetMask(layer, mask).streams[k];
  return 0;
}

void SetMaskStream(BEE_Layer layer, int32_t index, TDB_Stream stream) {
  const int32_t mask = (index - BEE_StreamFirstMask) / 3, k = (index - BEE_StreamFirstMask) % 3;
  MaskRec m = GetMask(layer, mask);
  m.streams[k] = stream;
  PutMask(layer, mask, m);
}

void DisposeMaskBlock(BEE_CmdRec* rec) {
  ReinsertMaskCmd c = Words<ReinsertMaskCmd>(*rec);
  if (c.block) {
    DisposeMaskStreams(c.block->mask);
    DisposePtr(reinterpret_cast<Ptr>(c.block));
  }
  Store(*rec, ReinsertMaskCmd{c.layer, nullptr});
}

// ---- Operations ------------------------------------------------------------------------------

BEE_OP(OpAddMask) {
  const auto [layer, shape] = Words<AddMaskCmd>(*rec);
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (!shape) return kErrBadParam;
  const int32_t n = MaskCount(layer);
  if (n >= BEE_MaxMasks) return kReport.Report(BEE_SiteCommandOp, kSevError, kErrBadParam, kTextTooManyMasks);
  MaskRec m{};
  if (ErrorCode err = NewMask(layer, shape, &m)) return err;
  // The shape is checked as a file's would be: a relative one has no pixels.
  ErrorCode err = 0;
  if (Fault f = CheckStream(layer, BEE_StreamFirstMask + 3 * n + BEE_MaskStreamShape, m.streams[0]))
    err = Refuse(BEE_SiteCommandOp, f);
  // Marking the layer changed comes before anything changes hands, in every
  // mask operation.
  if (!err) err = Touched(layer);
  if (!err) err = InsertMask(layer, m, n);
  if (err) {
    DisposeMaskStreams(m);
    return err;
  }
  SetInverse(inv, DeleteMaskCmd{layer, n});
  return 0;
}

BEE_OP(OpDeleteMask) {
  const auto [layer, mask] = Words<DeleteMaskCmd>(*rec);
  if (ErrorCode err = CheckMask(layer, mask)) return err;
  if (ErrorCode err = Touched(layer)) return err;
  MaskBlock block{mask, GetMask(layer, static_cast<int32_t>(mask))};
  MaskBlock* owned = nullptr;
  if (ErrorCode err = NewCopy(&block, 1, &owned)) return err;
  if (ErrorCode err = LIST_Remove(static_cast<int32_t>(mask), R(layer).masks, 0, nullptr)) {
    DisposePtr(reinterpret_cast<Ptr>(owned));
    return err;
  }
  SetInverse(inv, ReinsertMaskCmd{layer, owned});
  return 0;
}

BEE_OP(OpReinsertMask) {
  const auto [layer, block] = Words<ReinsertMaskCmd>(*rec);
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (!block) return kErrBadParam;
  if (block->index < 0 || block->index > MaskCount(layer)) return BadMask(block->index);
  if (ErrorCode err = Touched(layer)) return err;
  if (ErrorCode err = InsertMask(layer, block->mask, static_cast<int32_t>(block->index))) return err;
  // The layer owns the mask again; the record keeps only the empty block.
  const intptr_t index = block->index;
  DisposePtr(reinterpret_cast<Ptr>(block));
  Store(*rec, ReinsertMaskCmd{layer, nullptr});
  rec->dispose = nullptr;
  SetInverse(inv, DeleteMaskCmd{layer, index});
  return 0;
}

BEE_OP(OpReorderMask) {
  const auto [layer, move] = Words<ReorderMaskCmd>(*rec);
  if (ErrorCode err = CheckMask(layer, move.mask)) return err;
  if (move.value < 0 || move.value >= MaskCount(layer)) return BadMask(move.value);
  if (ErrorCode err = Touched(layer)) return err;
  if (ErrorCode err = LIST_Move(move.mask, move.value, R(layer).masks, 0)) return err;
  SetInverse(inv, ReorderMaskCmd{layer, MaskValue{move.value, move.mask}});
  return 0;
}

BEE_OP(OpMaskInvert) { return SetSetting<&MaskRec::invert, MaskInvertCmd>(rec, inv, false); }
BEE_OP(OpMaskMode) { return SetSetting<&MaskRec::mode, MaskModeCmd>(rec, inv, true); }
BEE_OP(OpMaskLock) { return SetSetting<&MaskRec::locked, MaskLockCmd>(rec, inv, false); }

BEE_OP(OpMaskName) {
  const auto [layer, name] = Words<MaskNameCmd>(*rec);
  if (!name) return kErrBadParam;
  if (ErrorCode err = CheckMask(layer, name->mask)) return err;
  if (ErrorCode err = Touched(layer)) return err;
  MaskRec m = GetMask(layer, name->mask);
  BEE_MaskName old{name->mask, {}};
  std::memcpy(old.name, m.name, sizeof old.name);
  BEE_MaskName* block = nullptr;
  if (ErrorCode err = NewCopy(&old, 1, &block)) return err;
  // Names are cut to 31 bytes without splitting a character.
  fmt::CopyTo(std::span<char>(m.name, sizeof m.name), std::string_view(name->name, strnlen(name->name, 32)));
  PutMask(layer, name->mask, m);
  SetInverse(inv, MaskNameCmd{layer, block});
  return 0;
}

}  // namespace tv::bee

using namespace tv;
using namespace tv::bee;

namespace {

template <class C>
ErrorCode Wrap(const C& c, intptr_t* inverse = nullptr) {
  if (ErrorCode err = BEE_StartGroup(nullptr, C::kNumber)) return err;
  ErrorCode err = DoCommand(c, inverse);
  BEE_EndGroup();
  return err;
}

}  // namespace

ErrorCode BEE_GetMaskInfo(BEE_Layer layer, int32_t mask, BEE_MaskInfo* info) try {
  if (!info) return kReport.BadParam(kSiteArgument, {"BEE_GetMaskInfo"});
  *info = BEE_MaskInfo{};
  if (ErrorCode err = CheckMask(layer, mask)) return err;
  const MaskRec m = GetMask(layer, mask);
  std::memcpy(info->name, m.name, sizeof info->name);
  info->mode = m.mode;
  info->invert = m.invert;
  info->locked = m.locked;
  info->id = m.id;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdAddMask(BEE_Layer layer, OM_Shape shape, int32_t* mask) try {
  if (mask) *mask = INT32_MIN;
  if (!shape) return kReport.BadParam(kSiteArgument, {"BEE_CmdAddMask"});
  intptr_t words[2] = {0, 0};
  if (ErrorCode err = Wrap(AddMaskCmd{layer, shape}, words)) return err;
  if (mask) *mask = static_cast<int32_t>(Unpack<DeleteMaskCmd>(words[0], words[1]).mask);
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdDeleteMask(BEE_Layer layer, int32_t mask) try {
  return Wrap(DeleteMaskCmd{layer, mask});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdReorderMasks(BEE_Layer layer, int32_t from, int32_t to) try {
  return Wrap(ReorderMaskCmd{layer, MaskValue{from, to}});
} TV_CATCH(BEE_PackageNumber)
