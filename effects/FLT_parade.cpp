// Parades: a layer's chain of Sequences with their flags, the out flags of
// the chain, the will-nop rule and duplication.
#include <cstring>

#include "FLT_internal.h"

namespace tv::flt {

ErrorCode ParadeItems(Handle parade, uint32_t site, LIST_Handle* items) {
  *items = nullptr;
  if (ErrorCode err = kReport.CheckRecord(parade, kParadeMagicDesc, site, {"parade"})) return err;
  *items = reinterpret_cast<ParadeRec*>(*parade)->items;
  return 0;
}

namespace {

int32_t Count(LIST_Handle items) {
  int32_t n = 0;
  LIST_GetNumItems(items, &n);
  return n;
}

ErrorCode Item(Handle parade, int32_t index, uint32_t site, LIST_Handle* items, ParadeItem* item) {
  if (ErrorCode err = ParadeItems(parade, site, items)) return err;
  if (index < 0 || index >= Count(*items)) return kReport.Fail(site, 3, kTextIndexRange);
  return LIST_GetItem(*items, index, item);
}

uint32_t ClassOutFlags(Handle seq) {
  const auto* r = reinterpret_cast<const SeqRec*>(*seq);
  ClassRec c{};
  if (r->classIndex == kMissingClass || LIST_GetItem(G().classes, r->classIndex, &c)) return 0;
  return c.outFlags;
}

}  // namespace
}  // namespace tv::flt

using namespace tv;
using namespace tv::flt;

ErrorCode FLT_NewParade(FLT_LayerInfoProc proc, void* refcon, FLT_Parade* parade) {
  if (parade) *parade = nullptr;
  if (!parade) return kReport.BadParam(kSiteParade, {"FLT_NewParade"});
  Handle h = NewHandleClear(static_cast<Size>(sizeof(ParadeRec)));
  if (!h) return kReport.OutOfMemory(kSiteParade, kTextMemory, sizeof(ParadeRec));
  LIST_Handle items = nullptr;
  if (ErrorCode err = LIST_New(0, static_cast<int32_t>(sizeof(ParadeItem)), 4, 1, &items)) {
    DisposeHandle(h);
    return err;
  }
  auto* r = reinterpret_cast<ParadeRec*>(*h);
  r->magic = r->tailMagic = kParadeMagic;
  r->items = items;
  r->proc = proc;
  r->refcon = refcon;
  *parade = h;
  return 0;
}

ErrorCode FLT_DisposeParade(FLT_Parade parade) {
  if (!parade) return 0;
  LIST_Handle items = nullptr;
  if (ErrorCode err = ParadeItems(parade, kSiteParade, &items)) return err;
  ErrorCode first = 0;
  for (int32_t i = Count(items) - 1; i >= 0; --i) {
    ParadeItem it{};
    LIST_GetItem(items, i, &it);
    if (!it.seq) continue;
    SetOwner(it.seq, nullptr);
    if (ErrorCode err = DisposeSequenceAlways(it.seq); err && !first) first = err;
  }
  LIST_Dispose(items, 0);
  auto* r = reinterpret_cast<ParadeRec*>(*parade);
  r->magic = r->tailMagic = 0;
  DisposeHandle(parade);
  return first;
}

ErrorCode FLT_InsertSeqParade(FLT_Parade parade, FLT_Sequence seq, int32_t index) {
  LIST_Handle items = nullptr;
  if (ErrorCode err = ParadeItems(parade, kSiteParadeInsert, &items)) return err;
  if (ErrorCode err = SeqCheck(seq, kSiteParadeInsert)) return err;
  // A Sequence in a Parade already would be disposed twice.
  if (OwnerOf(seq)) return kReport.BadParam(kSiteParadeInsert, {"FLT_InsertSeqParade: seq has an owner"});
  if (index < -1 || index > Count(items)) return kReport.Fail(kSiteParadeInsert, 3, kTextIndexRange);
  const uint32_t out = ClassOutFlags(seq);
  ParadeItem it{seq, (out & PF_OutFlag_AudioOnly)   ? 3u
                     : (out & PF_OutFlag_AudioAlso) ? 5u
                                                    : 1u};
  if (ErrorCode err = LIST_Insert(&it, index, items)) return err;
  return SetOwner(seq, parade);
}

ErrorCode FLT_RemoveSeqParade(FLT_Parade parade, int32_t index, FLT_Sequence* seq) {
  if (seq) *seq = nullptr;
  LIST_Handle items = nullptr;
  ParadeItem it{};
  if (ErrorCode err = Item(parade, index, kSiteParade, &items, &it)) return err;
  if (ErrorCode err = LIST_Remove(index, items, 0, nullptr)) return err;
  SetOwner(it.seq, nullptr);
  if (seq) {
    *seq = it.seq;
    return 0;
  }
  return DisposeSequenceAlways(it.seq);
}

ErrorCode FLT_ReorderParade(FLT_Parade parade, int32_t from, int32_t to) {
  LIST_Handle items = nullptr;
  ParadeItem it{};
  if (ErrorCode err = Item(parade, from, kSiteParade, &items, &it)) return err;
  if (to < 0 || to >= Count(items)) return kReport.Fail(kSiteParade, 3, kTextIndexRange);
  return LIST_Move(from, to, items, 0);
}

ErrorCode FLT_GetParadeSeq(FLT_Parade parade, int32_t index, FLT_Sequence* seq) {
  if (seq) *seq = nullptr;
  if (!seq) return kReport.BadParam(kSiteParade, {"FLT_GetParadeSeq"});
  LIST_Handle items = nullptr;
  ParadeItem it{};
  if (ErrorCode err = Item(parade, index, kSiteParade, &items, &it)) return err;
  *seq = it.seq;
  return 0;
}

ErrorCode FLT_InqParadeSeqFlags(FLT_Parade parade, int32_t index, uint32_t* flags) {
  if (flags) *flags = 0;
  if (!flags) return kReport.BadParam(kSiteParade, {"FLT_InqParadeSeqFlags"});
  LIST_Handle items = nullptr;
  ParadeItem it{};
  if (ErrorCode err = Item(parade, index, kSiteParade, &items, &it)) return err;
  *flags = it.flags;
  return 0;
}

ErrorCode FLT_SetParadeSeqFlags(FLT_Parade parade, int32_t index, uint32_t value, uint32_t mask) {
  LIST_Handle items = nullptr;
  ParadeItem it{};
  if (ErrorCode err = Item(parade, index, kSiteParade, &items, &it)) return err;
  it.flags = (it.flags & ~mask) | (value & mask);
  return LIST_SetItem(&it, index, items, 0, nullptr);
}

ErrorCode FLT_InqParadeNumSeqs(FLT_Parade parade, int32_t* count) {
  if (count) *count = 0;
  if (!count) return kReport.BadParam(kSiteParade, {"FLT_InqParadeNumSeqs"});
  LIST_Handle items = nullptr;
  if (ErrorCode err = ParadeItems(parade, kSiteParade, &items)) return err;
  *count = Count(items);
  return 0;
}

ErrorCode FLT_InqParadeSeqIndex(FLT_Parade parade, FLT_Sequence seq, int32_t* index) {
  if (index) *index = static_cast<int32_t>(0x80000000u);
  if (!index) return kReport.BadParam(kSiteParadeIndex, {"FLT_InqParadeSeqIndex"});
  LIST_Handle items = nullptr;
  if (ErrorCode err = ParadeItems(parade, kSiteParadeIndex, &items)) return err;
  const int32_t n = Count(items);
  for (int32_t i = 0; i < n; ++i) {
    ParadeItem it{};
    LIST_GetItem(items, i, &it);
    if (it.seq == seq) {
      *index = i;
      break;
    }
  }
  return 0;
}

ErrorCode FLT_InqParadeSeqIndexSafe(FLT_Parade parade, FLT_Sequence seq, int32_t* index) {
  if (ErrorCode err = FLT_InqParadeSeqIndex(parade, seq, index)) return err;
  if (*index == static_cast<int32_t>(0x80000000u)) return kReport.Fail(kSiteParadeIndex, 3, kTextNotInParade);
  return 0;
}

ErrorCode FLT_ParadeDuplicate(FLT_Parade parade, FLT_LayerInfoProc proc, void* procRefcon, FLT_DuplicateFunc dup,
                              void* refcon, FLT_Parade* copy) {
  if (copy) *copy = nullptr;
  if (!copy) return kReport.BadParam(kSiteParadeDup, {"FLT_ParadeDuplicate"});
  LIST_Handle items = nullptr;
  if (ErrorCode err = ParadeItems(parade, kSiteParadeDup, &items)) return err;
  FLT_Parade out = nullptr;
  if (ErrorCode err = FLT_NewParade(proc, procRefcon, &out)) return err;
  const int32_t n = Count(items);
  for (int32_t i = 0; i < n; ++i) {
    ParadeItem it{};
    LIST_GetItem(items, i, &it);
    FLT_Sequence s = nullptr;
    ErrorCode err = dup ? dup(refcon, it.seq, &s) : FLTp_DuplicateSequence(it.seq, &s);
    LIST_Handle outItems = reinterpret_cast<ParadeRec*>(*out)->items;
    ParadeItem copyItem{s, it.flags};
    if (!err && !s) err = kReport.BadParam(kSiteParadeDup, {"FLT_ParadeDuplicate: no copy"});
    if (!err) err = LIST_Insert(&copyItem, -1, outItems);
    if (!err) err = SetOwner(s, out);
    if (err) {
      if (s && !OwnerOf(s)) DisposeSequenceAlways(s);
      FLT_DisposeParade(out);
      return err;
    }
  }
  *copy = out;
  return 0;
}

ErrorCode FLT_ParadeResolveLayers(FLT_Parade parade, FLT_ResolveFunc fn, void* refcon) {
  LIST_Handle items = nullptr;
  if (ErrorCode err = ParadeItems(parade, kSiteParade, &items)) return err;
  const int32_t n = Count(items);
  for (int32_t i = 0; i < n; ++i) {
    ParadeItem it{};
    LIST_GetItem(items, i, &it);
    if (reinterpret_cast<SeqRec*>(*it.seq)->classIndex == kMissingClass) continue;
    if (ErrorCode err = FLT_ResolveLayers(it.seq, fn, refcon)) return err;
  }
  return 0;
}

ErrorCode FLT_InqParadeOutFlags(FLT_Parade parade, uint32_t* outFlags) {
  if (outFlags) *outFlags = 0;
  if (!outFlags) return kReport.BadParam(kSiteParade, {"FLT_InqParadeOutFlags"});
  LIST_Handle items = nullptr;
  if (ErrorCode err = ParadeItems(parade, kSiteParade, &items)) return err;
  uint32_t any = 0, all = PF_OutFlag_AllOfParadeMask, first = 0, last = 0;
  bool seen = false;
  const int32_t n = Count(items);
  for (int32_t i = 0; i < n; ++i) {
    ParadeItem it{};
    LIST_GetItem(items, i, &it);
    if (!(it.flags & FLT_Item_On)) continue;
    const uint32_t f = ClassOutFlags(it.seq);
    if (!seen) first = f;
    seen = true;
    last = f;
    any |= f & PF_OutFlag_AnyOfParadeMask;
    all &= f & PF_OutFlag_AllOfParadeMask;
  }
  if (!seen) {
    *outFlags = PF_OutFlag_AllOfParadeMask;
    return 0;
  }
  uint32_t r = any | all;
  if (last & PF_OutFlag_UsesExtentHints) r |= PF_OutFlag_UsesExtentHints;
  if (first & PF_OutFlag_FirstOfParade) r |= PF_OutFlag_FirstOfParade;
  *outFlags = r;
  return 0;
}

ErrorCode FLT_ParadeWillNop(FLT_Parade parade, int32_t which, int32_t /*reserved*/, Boolean32* willNop) {
  if (willNop) *willNop = 1;
  if (!willNop) return kReport.BadParam(kSiteParade, {"FLT_ParadeWillNop"});
  LIST_Handle items = nullptr;
  if (ErrorCode err = ParadeItems(parade, kSiteParade, &items)) return err;
  const int32_t n = Count(items);
  for (int32_t i = 0; i < n; ++i) {
    ParadeItem it{};
    LIST_GetItem(items, i, &it);
    if (!(it.flags & FLT_Item_On)) continue;
    // A Sequence whose effect is missing does nothing.
    if (reinterpret_cast<SeqRec*>(*it.seq)->classIndex == kMissingClass) continue;
    if (which & FLT_Nop_Images) {
      if (!(it.flags & FLT_Item_AudioOnly)) *willNop = 0;
    } else if (which & FLT_Nop_Audio) {
      if (it.flags & (FLT_Item_AudioOnly | FLT_Item_AudioAlso)) *willNop = 0;
    }
  }
  return 0;
}

ErrorCode FLT_InqParadeSeqMissing(FLT_Parade parade, int32_t index, Boolean32* missing) {
  if (missing) *missing = 0;
  if (!missing) return kReport.BadParam(kSiteParade, {"FLT_InqParadeSeqMissing"});
  LIST_Handle items = nullptr;
  ParadeItem it{};
  if (ErrorCode err = Item(parade, index, kSiteParade, &items, &it)) return err;
  *missing = reinterpret_cast<SeqRec*>(*it.seq)->classIndex == kMissingClass;
  return 0;
}
