// Keys: insertion, removal, values, times, methods and flags, and finding keys.
#include <algorithm>
#include <cmath>

#include "Scratch.h"

#include "T.h"
#include "TDB_internal.h"

namespace tv::tdb {
namespace {

// The index of the key exactly at t, or -1.
int32_t ExactIndex(const Header& h, int32_t t) {
  Keys keys(h);
  int32_t i = keys.LowerBound(t);
  return (i < keys.count() && keys.time(i) == t) ? i : -1;
}

int32_t KeyCount(const Header& h) {
  int32_t n = 0;
  if (h.keys) LIST_GetNumItems(h.keys, &n);
  return n;
}

// Writes the caller's value (doubles, or a custom value) into a key record.
ErrorCode StoreValue(const Header& h, uint8_t* key, const double* dv, const void* custom) {
  if (IsCustom(h)) {
    const TDB_ValueTraits* t = TraitsOf(h.desc.kind);
    if (!t) return TDB_ErrNoSuchKind;
    if (!custom) return kErrBadParam;
    if (t->copy) return t->copy(t->data, custom, key + h.valueOffset);
    std::memcpy(key + h.valueOffset, custom, static_cast<size_t>(t->valueSize));
    return 0;
  }
  for (int32_t d = 0; d < h.dimension; ++d) SetKD(key, h.valueOffset + 8u * d, dv[d]);
  return 0;
}

void LoadValue(const Header& h, const uint8_t* key, double* dv) {
  for (int32_t d = 0; d < h.dimension; ++d) dv[d] = KD(key, h.valueOffset + 8u * d);
}

// Replaces the value of the key at index (or the constant value).
ErrorCode ReplaceValue(TDB_Stream s, int32_t index, const double* dv, const void* custom, uint32_t site) {
  Header& h = *H(s);
  FlushCache(s);
  if (IsConstant(h)) {
    uint8_t* w = Work(s);
    if (index != 0 && index != -1) return Fail(site, kErrRange, kVerbAlterKey);
    if (KTime(w) == kClean) return Fail(site, TDB_ErrNoKeys, kVerbAlterKey);
    ScratchArray<uint8_t> fresh(static_cast<size_t>(h.keySize), true);
    if (!fresh.ok()) return OutOfMemory(site, fresh.failedBytes());
    if (ErrorCode err = StoreValue(h, fresh.data(), dv, custom)) return err;
    if (IsCustom(h)) DisposeKeyValue(h, w);
    std::memcpy(w + h.valueOffset, fresh.data() + h.valueOffset,
                IsCustom(h) ? static_cast<size_t>(h.dataSize) : 8u * h.dimension);
    return 0;
  }
  if (ErrorCode err = ResolveIndex(h, &index, site, kVerbAlterKey)) return err;
  ScratchArray<uint8_t> fresh(static_cast<size_t>(h.keySize), true);
  if (!fresh.ok()) return OutOfMemory(site, fresh.failedBytes());
  if (ErrorCode err = StoreValue(h, fresh.data(), dv, custom)) return err;
  {
    Keys keys(h);
    uint8_t* k = keys.at(index);
    if (IsCustom(h)) DisposeKeyValue(h, k);
    // Only the value changes: velocities, influences and tangents stay.
    size_t n = IsCustom(h) ? static_cast<size_t>(h.dataSize) : 8u * h.dimension;
    std::memcpy(k + h.valueOffset, fresh.data() + h.valueOffset, n);
  }
  MarkChanged(h, index - 1, index);
  return 0;
}

// The suggested methods and flags for a key at t (see TDB_ChooseInterps).
void Choose(TDB_Stream s, int32_t t, int8_t* in, int8_t* out, uint16_t* flags, uint32_t* spWord) {
  const Header& h = *H(s);
  *in = *out = TDB_InterpLinear;
  *flags = 0;
  *spWord = 0;
  if (IsConstant(h)) {
    const uint8_t* w = Work(s);
    *in = KIn(w);
    *out = KOut(w);
    *flags = KFlags(w);
    if (IsSpatial(h)) *spWord = Get<uint32_t>(w, kSpWordOffset);
  } else {
    Keys keys(h);
    int32_t n = keys.count();
    if (n == 0) return;
    int32_t i = keys.LowerBound(t);
    if (i < n && keys.time(i) == t) {
      const uint8_t* k = keys.at(i);
      *in = KIn(k);
      *out = KOut(k);
      *flags = KFlags(k);
      if (IsSpatial(h)) *spWord = Get<uint32_t>(k, kSpWordOffset);
    } else if (i == 0) {
      *in = *out = KIn(keys.at(0));
      *flags = KFlags(keys.at(0));
      if (IsSpatial(h)) *spWord = Get<uint32_t>(keys.at(0), kSpWordOffset);
    } else if (i == n) {
      *in = *out = KOut(keys.at(n - 1));
      *flags = KFlags(keys.at(n - 1));
      if (IsSpatial(h)) *spWord = Get<uint32_t>(keys.at(n - 1), kSpWordOffset);
    } else {
      const uint8_t* a = keys.at(i - 1);
      const uint8_t* b = keys.at(i);
      *in = KOut(a);
      *out = KIn(b);
      *flags = KFlags(a) & KFlags(b);
      if (IsSpatial(h)) *spWord = Get<uint32_t>(a, kSpWordOffset) & Get<uint32_t>(b, kSpWordOffset);
    }
  }
  if (*in == TDB_InterpHold) *out = TDB_InterpHold;
}

}  // namespace

// Shared by the insert operations: dv (doubles) or custom (a custom value).
ErrorCode InsertValue(TDB_Stream stream, const Time* time, int32_t timeValue, bool overwrite, const double* dv,
                      const void* custom, int8_t in, int8_t out) {
  Locked l(stream, kSiteInsert, kVerbInsert);
  if (!l.ok()) return l.err();
  Header& h = l.h();
  int32_t t = 0;
  if (ErrorCode err = StreamTime(h, time, timeValue, kSiteInsert, kVerbInsert, &t)) return err;
  // The lowest time is the "no time" mark of the working key and of lookups.
  if (t == kClean) return Fail(kSiteInsert, TDB_ErrTimePosition, kVerbInsert);
  if (!IsConstant(h)) {
    int32_t at = ExactIndex(h, t);
    if (at >= 0) {
      if (!overwrite) return Fail(kSiteInsert, TDB_ErrKeyExists, kVerbOverwrite);
      return ReplaceValue(stream, at, dv, custom, kSiteInsert);
    }
  }
  if (ErrorCode err = CheckMethod(h, in, kSiteInsert)) return err;
  if (ErrorCode err = CheckMethod(h, out, kSiteInsert)) return err;
  FlushCache(stream);
  if (IsConstant(h) && KTime(l.work()) != kClean) {
    if (!overwrite) return Fail(kSiteInsert, TDB_ErrKeyExists, kVerbOverwrite);
    return ReplaceValue(stream, 0, dv, custom, kSiteInsert);
  }
  ScratchArray<uint8_t> key(static_cast<size_t>(h.keySize), true);
  if (!key.ok()) return OutOfMemory(kSiteInsert, key.failedBytes());
  InitKey(h, key.data(), t, in, out);
  if (!IsConstant(h) && KeyCount(h) > 0) {
    int8_t ci = 0, co = 0;
    uint16_t cf = 0;
    uint32_t cw = 0;
    Choose(stream, t, &ci, &co, &cf, &cw);
    Put<uint16_t>(key.data(), 6,
                  static_cast<uint16_t>(KFlags(key.data()) | (cf & (TDB_KeyContinuous | TDB_KeyModifiable))));
    if (IsSpatial(h)) Put<uint32_t>(key.data(), kSpWordOffset, cw);
  }
  if (ErrorCode err = StoreValue(h, key.data(), dv, custom)) return err;
  if (IsConstant(h)) {
    std::memcpy(l.work(), key.data(), key.size());
    return 0;
  }
  int32_t at = 0;
  {
    Keys keys(h);
    at = keys.LowerBound(t);
  }
  if (ErrorCode err = LIST_Insert(key.data(), at, h.keys)) {
    DisposeKeyValue(h, key.data());
    return err;
  }
  MarkChanged(h, at - 1, at + 1);
  FixEnds(h);
  return 0;
}

ErrorCode EvaluateCustomValue(TDB_Stream s, int32_t t, void* out, bool* atKey);

}  // namespace tv::tdb

using namespace tv;
using namespace tv::tdb;

ErrorCode TDB_InsertKey(TDB_Stream stream, const Time* time, int32_t timeValue, Boolean32 overwrite,
                        const void* value, int8_t inInterp, int8_t outInterp) try {
  if (!value) return kReport.BadParam(kSiteArgument, {"TDB_InsertKey"});
  if (!Valid(stream)) return Fail(kSiteInsert, kErrDamaged, kVerbInsert);
  const Header& h = *H(stream);
  if (IsCustom(h)) return InsertValue(stream, time, timeValue, overwrite, nullptr, value, inInterp, outInterp);
  double dv[TDB_MaxDimension];
  ValueToDoubles(h, value, dv);
  return InsertValue(stream, time, timeValue, overwrite, dv, nullptr, inInterp, outInterp);
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_InsertKeyF(TDB_Stream stream, const Time* time, int32_t timeValue, Boolean32 overwrite,
                         const double* value, int8_t inInterp, int8_t outInterp) try {
  if (!value) return kReport.BadParam(kSiteArgument, {"TDB_InsertKeyF"});
  if (!Valid(stream)) return Fail(kSiteInsert, kErrDamaged, kVerbInsert);
  if (IsCustom(*H(stream))) return FailText(kSiteInsert, kErrBadParam, kStrCustomKind);
  return InsertValue(stream, time, timeValue, overwrite, value, nullptr, inInterp, outInterp);
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_RemoveKey(TDB_Stream stream, int32_t index) try {
  Locked l(stream, kSiteRemove, kVerbRemove);
  if (!l.ok()) return l.err();
  Header& h = l.h();
  FlushCache(stream);
  if (IsConstant(h)) {
    if (index != 0 && index != -1) return Fail(kSiteRemove, kErrRange, kVerbRemove);
    if (KTime(l.work()) == kClean) return Fail(kSiteRemove, TDB_ErrNoKeys, kVerbRemove);
    if (IsCustom(h)) DisposeKeyValue(h, l.work());
    Put<int32_t>(l.work(), 0, kClean);
    return 0;
  }
  if (ErrorCode err = ResolveIndex(h, &index, kSiteRemove, kVerbRemove)) return err;
  {
    Keys keys(h);
    uint8_t* k = keys.at(index);
    if (IsSpatial(h)) ReleaseSpline(h, k);
    if (IsCustom(h)) DisposeKeyValue(h, k);
  }
  if (ErrorCode err = LIST_Remove(index, h.keys, 0, nullptr)) return err;
  MarkChanged(h, index - 1, index);
  // A floating key never ends the stream: removing an end key re-establishes it.
  FixEnds(h);
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_SetKey(TDB_Stream stream, int32_t index, const void* value) try {
  if (!value) return kReport.BadParam(kSiteArgument, {"TDB_SetKey"});
  Locked l(stream, kSiteSetKey, kVerbAlterKey);
  if (!l.ok()) return l.err();
  const Header& h = l.h();
  if (IsCustom(h)) return ReplaceValue(stream, index, nullptr, value, kSiteSetKey);
  double dv[TDB_MaxDimension];
  ValueToDoubles(h, value, dv);
  return ReplaceValue(stream, index, dv, nullptr, kSiteSetKey);
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_SetKeyF(TDB_Stream stream, int32_t index, const double* value) try {
  if (!value) return kReport.BadParam(kSiteArgument, {"TDB_SetKeyF"});
  Locked l(stream, kSiteSetKey, kVerbAlterKey);
  if (!l.ok()) return l.err();
  if (IsCustom(l.h())) return FailText(kSiteSetKey, kErrBadParam, kStrCustomKind);
  return ReplaceValue(stream, index, value, nullptr, kSiteSetKey);
} TV_CATCH(TDB_PackageNumber)

namespace {
// The key record at index (or the constant value), copied out.
ErrorCode KeyRecord(TDB_Stream stream, int32_t index, uint32_t site, int32_t verb, ScratchArray<uint8_t>& out) {
  Header& h = *H(stream);
  if (!out.Allocate(static_cast<size_t>(h.keySize), true)) return OutOfMemory(site, out.failedBytes());
  if (IsConstant(h)) {
    if (index != 0 && index != -1) return Fail(site, kErrRange, verb);
    if (KTime(Work(stream)) == kClean) return Fail(site, TDB_ErrNoKeys, verb);
    std::memcpy(out.data(), Work(stream), out.size());
    return 0;
  }
  if (ErrorCode err = ResolveIndex(h, &index, site, verb)) return err;
  Keys keys(h);
  std::memcpy(out.data(), keys.at(index), out.size());
  return 0;
}
}  // namespace

ErrorCode TDB_GetKey(TDB_Stream stream, int32_t index, void* value) try {
  if (!value) return kReport.BadParam(kSiteArgument, {"TDB_GetKey"});
  Locked l(stream, kSiteGetKey, kVerbGetKey);
  if (!l.ok()) return l.err();
  const Header& h = l.h();
  ScratchArray<uint8_t> rec;
  if (ErrorCode err = KeyRecord(stream, index, kSiteGetKey, kVerbGetKey, rec)) return err;
  if (IsCustom(h)) {
    const TDB_ValueTraits* t = TraitsOf(h.desc.kind);
    if (!t) return TDB_ErrNoSuchKind;
    if (t->copy) return t->copy(t->data, rec.data() + h.valueOffset, value);
    std::memcpy(value, rec.data() + h.valueOffset, static_cast<size_t>(t->valueSize));
    return 0;
  }
  double dv[TDB_MaxDimension];
  LoadValue(h, rec.data(), dv);
  DoublesToValue(h, dv, value);
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_GetKeyF(TDB_Stream stream, int32_t index, double* value) try {
  if (!value) return kReport.BadParam(kSiteArgument, {"TDB_GetKeyF"});
  Locked l(stream, kSiteGetKey, kVerbGetKey);
  if (!l.ok()) return l.err();
  const Header& h = l.h();
  if (IsCustom(h)) return FailText(kSiteGetKey, kErrBadParam, kStrCustomKind);
  ScratchArray<uint8_t> rec;
  if (ErrorCode err = KeyRecord(stream, index, kSiteGetKey, kVerbGetKey, rec)) {
    std::fill(value, value + h.dimension, 0.0);
    return err;
  }
  LoadValue(h, rec.data(), value);
  return 0;
} TV_CATCH(TDB_PackageNumber)

namespace {
ErrorCode CopyOne(TDB_Stream source, int32_t fromIndex, TDB_Stream stream, bool overwrite, bool* skipped) {
  if (skipped) *skipped = false;
  Locked ls(source, kSiteCopyKey, kVerbCopyKey);
  if (!ls.ok()) return ls.err();
  Locked ld(stream, kSiteCopyKey, kVerbCopyKey);
  if (!ld.ok()) return ld.err();
  Header& sh = ls.h();
  Header& dh = ld.h();
  if (sh.keySize != dh.keySize || sh.dataSize != dh.dataSize || IsSpatial(sh) != IsSpatial(dh) ||
      sh.desc.kind != dh.desc.kind || sh.dimension != dh.dimension)
    return FailText(kSiteCopyKey, kErrBadParam, kStrKeySizeMismatch);
  ScratchArray<uint8_t> rec;
  if (ErrorCode err = KeyRecord(source, fromIndex, kSiteCopyKey, kVerbCopyKey, rec)) return err;
  int32_t t = KTime(rec.data());
  if (sh.timeScale != dh.timeScale) {
    Time conv{t, sh.timeScale};
    if (ErrorCode err = StreamTime(dh, &conv, 0, kSiteCopyKey, kVerbCopyKey, &t)) return err;
    if (t == kClean) return Fail(kSiteCopyKey, TDB_ErrTimePosition, kVerbCopyKey);
  }
  Put<int32_t>(rec.data(), 0, t);
  // The copy never shares the source's derived data.
  if (IsSpatial(dh)) Put<uint32_t>(rec.data(), kSplineSlotOffset, 0);
  if (ErrorCode err = CheckMethod(dh, KIn(rec.data()), kSiteCopyKey)) return err;
  if (ErrorCode err = CheckMethod(dh, KOut(rec.data()), kSiteCopyKey)) return err;
  ScratchArray<uint8_t> fresh(rec.size());
  if (!fresh.ok()) return OutOfMemory(kSiteCopyKey, fresh.failedBytes());
  std::memcpy(fresh.data(), rec.data(), rec.size());
  if (ErrorCode err = CopyKeyValue(dh, rec.data(), fresh.data())) return err;
  FlushCache(stream);
  if (IsConstant(dh)) {
    uint8_t* w = ld.work();
    if (KTime(w) != kClean) {
      if (!overwrite) {
        DisposeKeyValue(dh, fresh.data());
        if (skipped) *skipped = true;
        return 0;
      }
      DisposeKeyValue(dh, w);
    }
    std::memcpy(w, fresh.data(), fresh.size());
    return 0;
  }
  int32_t at = 0;
  bool exists = false;
  {
    Keys keys(dh);
    at = keys.LowerBound(t);
    exists = at < keys.count() && keys.time(at) == t;
    if (exists && overwrite) {
      uint8_t* k = keys.at(at);
      if (IsSpatial(dh)) ReleaseSpline(dh, k);
      DisposeKeyValue(dh, k);
      std::memcpy(k, fresh.data(), fresh.size());
    }
  }
  if (exists) {
    if (!overwrite) {
      DisposeKeyValue(dh, fresh.data());
      if (skipped) *skipped = true;
      return 0;
    }
  } else if (ErrorCode err = LIST_Insert(fresh.data(), at, dh.keys)) {
    DisposeKeyValue(dh, fresh.data());
    return err;
  }
  MarkChanged(dh, at - 1, at + 1);
  FixEnds(dh);
  return 0;
}
}  // namespace

ErrorCode TDB_CopyKey(TDB_Stream source, int32_t fromIndex, TDB_Stream stream) try {
  return CopyOne(source, fromIndex, stream, true, nullptr);
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_CopyKeys(TDB_Stream source, int32_t first, int32_t last, TDB_Stream stream) try {
  Locked ls(source, kSiteCopyKey, kVerbCopyKey);
  if (!ls.ok()) return ls.err();
  if (IsConstant(ls.h())) return CopyOne(source, 0, stream, true, nullptr);
  if (ErrorCode err = ResolveIndex(ls.h(), &first, kSiteCopyKey, kVerbCopyKey)) return err;
  if (ErrorCode err = ResolveIndex(ls.h(), &last, kSiteCopyKey, kVerbCopyKey)) return err;
  for (int32_t i = std::min(first, last); i <= std::max(first, last); ++i)
    if (ErrorCode err = CopyOne(source, i, stream, true, nullptr)) return err;
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_MergeStream(TDB_Stream stream, TDB_Stream source, Boolean32 overwrite) try {
  Locked ld(stream, kSiteMerge, kVerbMerge);
  if (!ld.ok()) return ld.err();
  Locked ls(source, kSiteMerge, kVerbMerge);
  if (!ls.ok()) return ls.err();
  if (IsConstant(ld.h())) return Fail(kSiteMerge, TDB_ErrConstant, kVerbMerge);
  if (IsConstant(ls.h())) {
    if (KTime(ls.work()) == kClean) return 0;
    return CopyOne(source, 0, stream, overwrite != 0, nullptr);
  }
  int32_t n = KeyCount(ls.h());
  for (int32_t i = 0; i < n; ++i)
    if (ErrorCode err = CopyOne(source, i, stream, overwrite != 0, nullptr)) return err;
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_SetKeyTime(TDB_Stream stream, int32_t index, const Time* time, int32_t timeValue) try {
  Locked l(stream, kSiteSetKeyTime, kVerbMoveKey);
  if (!l.ok()) return l.err();
  Header& h = l.h();
  int32_t t = 0;
  if (ErrorCode err = StreamTime(h, time, timeValue, kSiteSetKeyTime, kVerbMoveKey, &t)) return err;
  if (t == kClean) return Fail(kSiteSetKeyTime, TDB_ErrTimePosition, kVerbMoveKey);
  if (IsConstant(h)) {
    if (KTime(l.work()) == kClean) return Fail(kSiteSetKeyTime, TDB_ErrNoKeys, kVerbMoveKey);
    Put<int32_t>(l.work(), 0, t);
    return 0;
  }
  if (ErrorCode err = ResolveIndex(h, &index, kSiteSetKeyTime, kVerbMoveKey)) return err;
  int32_t to = 0;
  {
    Keys keys(h);
    if (keys.time(index) == t) return 0;
    to = keys.LowerBound(t);
    // Moving onto another key's time would give two keys at one time.
    if (to < keys.count() && keys.time(to) == t) return Fail(kSiteSetKeyTime, TDB_ErrKeyExists, kVerbOverwrite);
    Put<int32_t>(keys.at(index), 0, t);
  }
  FlushCache(stream);
  if (to > index) --to;  // position after the removal
  MarkChanged(h, index - 1, index + 1);
  if (to != index) {
    if (ErrorCode err = LIST_Move(index, to, h.keys, 0)) return err;
  }
  MarkChanged(h, to - 1, to + 1);
  FixEnds(h);
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_GetKeyInterps(TDB_Stream stream, int32_t index, int8_t* inInterp, int8_t* outInterp) try {
  if (inInterp) *inInterp = 0;
  if (outInterp) *outInterp = 0;
  Locked l(stream, kSiteKeyFlags, kVerbInquireKey);
  if (!l.ok()) return l.err();
  ScratchArray<uint8_t> rec;
  if (ErrorCode err = KeyRecord(stream, index, kSiteKeyFlags, kVerbInquireKey, rec)) return err;
  if (inInterp) *inInterp = KIn(rec.data());
  if (outInterp) *outInterp = KOut(rec.data());
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_SetKeyInterps(TDB_Stream stream, int32_t index, int8_t inInterp, int8_t outInterp) try {
  Locked l(stream, kSiteKeyFlags, kVerbAlterKey);
  if (!l.ok()) return l.err();
  Header& h = l.h();
  if (ErrorCode err = CheckMethod(h, inInterp, kSiteKeyFlags)) return err;
  if (ErrorCode err = CheckMethod(h, outInterp, kSiteKeyFlags)) return err;
  FlushCache(stream);
  if (IsConstant(h)) {
    if (KTime(l.work()) == kClean) return Fail(kSiteKeyFlags, TDB_ErrNoKeys, kVerbAlterKey);
    l.work()[4] = static_cast<uint8_t>(inInterp);
    l.work()[5] = static_cast<uint8_t>(outInterp);
    return 0;
  }
  if (ErrorCode err = ResolveIndex(h, &index, kSiteKeyFlags, kVerbAlterKey)) return err;
  Keys keys(h);
  keys.at(index)[4] = static_cast<uint8_t>(inInterp);
  keys.at(index)[5] = static_cast<uint8_t>(outInterp);
  MarkChanged(h, index - 1, index);
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_GetKeyFlags(TDB_Stream stream, int32_t index, uint16_t* flags) try {
  if (!flags) return kReport.BadParam(kSiteArgument, {"TDB_GetKeyFlags"});
  *flags = 0;
  Locked l(stream, kSiteKeyFlags, kVerbInquireKey);
  if (!l.ok()) return l.err();
  ScratchArray<uint8_t> rec;
  if (ErrorCode err = KeyRecord(stream, index, kSiteKeyFlags, kVerbInquireKey, rec)) return err;
  *flags = KFlags(rec.data());
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_SetKeyFlags(TDB_Stream stream, int32_t index, uint16_t mask, uint16_t flags) try {
  Locked l(stream, kSiteKeyFlags, kVerbSetKeyFlags);
  if (!l.ok()) return l.err();
  Header& h = l.h();
  FlushCache(stream);
  if (IsConstant(h)) {
    if (KTime(l.work()) == kClean) return Fail(kSiteKeyFlags, TDB_ErrNoKeys, kVerbSetKeyFlags);
    uint16_t f = static_cast<uint16_t>((KFlags(l.work()) & ~mask) | (flags & mask));
    Put<uint16_t>(l.work(), 6, static_cast<uint16_t>(f & ~TDB_KeyFloat));
    return 0;
  }
  if (ErrorCode err = ResolveIndex(h, &index, kSiteKeyFlags, kVerbSetKeyFlags)) return err;
  {
    Keys keys(h);
    uint8_t* k = keys.at(index);
    uint16_t f = static_cast<uint16_t>((KFlags(k) & ~mask) | (flags & mask));
    // The spatial-data bit describes the record layout and never changes;
    // the first and last key are never floating.
    f = static_cast<uint16_t>((f & ~TDB_KeySpatial) | (KFlags(k) & TDB_KeySpatial));
    if (index == 0 || index == keys.count() - 1) f &= static_cast<uint16_t>(~TDB_KeyFloat);
    Put<uint16_t>(k, 6, f);
  }
  MarkChanged(h, index - 1, index + 1);
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_SetKeyContinuous(TDB_Stream stream, int32_t index, Boolean32 on) try {
  return TDB_SetKeyFlags(stream, index, TDB_KeyContinuous, on ? TDB_KeyContinuous : 0);
} TV_CATCH(TDB_PackageNumber)
ErrorCode TDB_SetKeyModifiable(TDB_Stream stream, int32_t index, Boolean32 on) try {
  return TDB_SetKeyFlags(stream, index, TDB_KeyModifiable, on ? TDB_KeyModifiable : 0);
} TV_CATCH(TDB_PackageNumber)
ErrorCode TDB_SetKeyFloat(TDB_Stream stream, int32_t index, Boolean32 on) try {
  return TDB_SetKeyFlags(stream, index, TDB_KeyFloat, on ? TDB_KeyFloat : 0);
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_GetKeySpFlags(TDB_Stream stream, int32_t index, uint32_t* flags) try {
  if (!flags) return kReport.BadParam(kSiteArgument, {"TDB_GetKeySpFlags"});
  *flags = 0;
  Locked l(stream, kSiteKeyFlags, kVerbInquireKey);
  if (!l.ok()) return l.err();
  if (!IsSpatial(l.h())) return FailText(kSiteKeyFlags, TDB_ErrNotSpatial, kStrNotSpatialStream);
  ScratchArray<uint8_t> rec;
  if (ErrorCode err = KeyRecord(stream, index, kSiteKeyFlags, kVerbInquireKey, rec)) return err;
  *flags = Get<uint32_t>(rec.data(), kSpWordOffset);
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_SetKeySpFlags(TDB_Stream stream, int32_t index, uint32_t mask, uint32_t flags) try {
  Locked l(stream, kSiteKeyFlags, kVerbSetKeyFlags);
  if (!l.ok()) return l.err();
  Header& h = l.h();
  if (!IsSpatial(h)) return FailText(kSiteKeyFlags, TDB_ErrNotSpatial, kStrNotSpatialStream);
  uint8_t* k = nullptr;
  if (IsConstant(h)) {
    if (KTime(l.work()) == kClean) return Fail(kSiteKeyFlags, TDB_ErrNoKeys, kVerbSetKeyFlags);
    k = l.work();
    Put<uint32_t>(k, kSpWordOffset, (Get<uint32_t>(k, kSpWordOffset) & ~mask) | (flags & mask));
    return 0;
  }
  if (ErrorCode err = ResolveIndex(h, &index, kSiteKeyFlags, kVerbSetKeyFlags)) return err;
  Keys keys(h);
  k = keys.at(index);
  Put<uint32_t>(k, kSpWordOffset, (Get<uint32_t>(k, kSpWordOffset) & ~mask) | (flags & mask));
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_SetKeySpContinuous(TDB_Stream stream, int32_t index, Boolean32 on) try {
  return TDB_SetKeySpFlags(stream, index, TDB_SpKeyContinuous, on ? uint32_t{TDB_SpKeyContinuous} : 0u);
} TV_CATCH(TDB_PackageNumber)
ErrorCode TDB_SetKeySpModifiable(TDB_Stream stream, int32_t index, Boolean32 on) try {
  return TDB_SetKeySpFlags(stream, index, TDB_SpKeyModifiable, on ? uint32_t{TDB_SpKeyModifiable} : 0u);
} TV_CATCH(TDB_PackageNumber)

// ---- Finding keys ------------------------------------------------------------------------------
ErrorCode TDB_ChooseInterps(TDB_Stream stream, const Time* time, int32_t timeValue, int8_t* inInterp,
                            int8_t* outInterp, uint16_t* flags, uint32_t* spatialWord) try {
  int8_t in = 0, out = 0;
  uint16_t f = 0;
  uint32_t w = 0;
  if (inInterp) *inInterp = 0;
  if (outInterp) *outInterp = 0;
  if (flags) *flags = 0;
  if (spatialWord) *spatialWord = 0;
  Locked l(stream, kSiteChoose, kVerbInquireKey);
  if (!l.ok()) return l.err();
  int32_t t = 0;
  if (ErrorCode err = StreamTime(l.h(), time, timeValue, kSiteChoose, kVerbInquireKey, &t)) return err;
  Choose(stream, t, &in, &out, &f, &w);
  if (inInterp) *inInterp = in;
  if (outInterp) *outInterp = out;
  if (flags) *flags = f;
  if (spatialWord) *spatialWord = w;
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_FindKeyTime(TDB_Stream stream, const Time* time, int32_t timeValue, int32_t direction,
                          Boolean32* found, int32_t* index, Time* keyTime) try {
  if (found) *found = 0;
  if (index) *index = kNotFound;
  if (keyTime) *keyTime = kInvalidTime;
  Locked l(stream, kSiteFind, kVerbFindKey);
  if (!l.ok()) return l.err();
  const Header& h = l.h();
  if (IsConstant(h)) return Fail(kSiteFind, TDB_ErrConstant, kVerbFindKey);
  int32_t t = 0;
  if (ErrorCode err = StreamTime(h, time, timeValue, kSiteFind, kVerbFindKey, &t)) return err;
  Keys keys(h);
  int32_t i = keys.LowerBound(t);
  bool exact = i < keys.count() && keys.time(i) == t;
  bool backward = direction & TDB_FindBackward;
  int32_t r = 0;
  if (exact && (direction & TDB_FindIncludeExact))
    r = i;
  else if (backward)
    r = i - 1;
  else
    r = exact ? i + 1 : i;
  if (r < 0 || r >= keys.count()) return 0;
  if (found) *found = 1;
  if (index) *index = r;
  if (keyTime) *keyTime = Time{keys.time(r), h.timeScale};
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_FindNearestKeyTime(TDB_Stream stream, const Time* time, int32_t timeValue, int32_t* index,
                                 Time* keyTime) try {
  if (index) *index = kNotFound;
  if (keyTime) *keyTime = kInvalidTime;
  Locked l(stream, kSiteFind, kVerbFindKey);
  if (!l.ok()) return l.err();
  const Header& h = l.h();
  int32_t t = 0;
  if (ErrorCode err = StreamTime(h, time, timeValue, kSiteFind, kVerbFindKey, &t)) return err;
  if (IsConstant(h)) {
    if (KTime(l.work()) == kClean) return Fail(kSiteFind, TDB_ErrNoKeys, kVerbFindKey);
    if (index) *index = 0;
    if (keyTime) *keyTime = Time{t, h.timeScale};
    return 0;
  }
  Keys keys(h);
  int32_t n = keys.count();
  if (n == 0) return Fail(kSiteFind, TDB_ErrNoKeys, kVerbFindKey);
  int32_t i = keys.LowerBound(t);
  int32_t r = 0;
  if (i < n && keys.time(i) == t)
    r = i;
  else if (i == n)
    r = n - 1;
  else if (i == 0)
    r = 0;
  else {
    int64_t before = int64_t{t} - keys.time(i - 1);
    int64_t after = int64_t{keys.time(i)} - t;
    r = before <= after ? i - 1 : i;
  }
  if (index) *index = r;
  if (keyTime) *keyTime = Time{keys.time(r), h.timeScale};
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_TimeToIndex(TDB_Stream stream, const Time* time, int32_t timeValue, int32_t* index) try {
  if (!index) return kReport.BadParam(kSiteArgument, {"TDB_TimeToIndex"});
  *index = kNotFound;
  Locked l(stream, kSiteIndex, kVerbFindKey);
  if (!l.ok()) return l.err();
  const Header& h = l.h();
  int32_t t = 0;
  if (ErrorCode err = StreamTime(h, time, timeValue, kSiteIndex, kVerbFindKey, &t)) return err;
  if (IsConstant(h)) {
    if (KTime(l.work()) != kClean && KTime(l.work()) == t) *index = 0;
    return 0;
  }
  int32_t i = ExactIndex(h, t);
  if (i >= 0) *index = i;
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_IndexToTime(TDB_Stream stream, int32_t index, Time* time) try {
  if (!time) return kReport.BadParam(kSiteArgument, {"TDB_IndexToTime"});
  *time = kInvalidTime;
  Locked l(stream, kSiteIndex, kVerbInquireKey);
  if (!l.ok()) return l.err();
  Header& h = l.h();
  if (IsConstant(h)) {
    if (KTime(l.work()) == kClean) return Fail(kSiteIndex, TDB_ErrNoKeys, kVerbInquireKey);
    if (index != 0 && index != -1) return Fail(kSiteIndex, kErrRange, kVerbInquireKey);
    *time = Time{KTime(l.work()), h.timeScale};
    return 0;
  }
  if (ErrorCode err = ResolveIndex(h, &index, kSiteIndex, kVerbInquireKey)) return err;
  bool floating = false;
  {
    Keys keys(h);
    floating = KFlags(keys.at(index)) & TDB_KeyFloat;
  }
  if (floating && h.change[0] != kClean && index >= h.change[0] && int64_t{index} <= int64_t{h.change[1]} + 1) {
    if (ErrorCode err = UpdateStream(stream)) return err;
  }
  Keys keys(h);
  *time = Time{keys.time(index), h.timeScale};
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_GetKeyIndex(TDB_Stream stream, const Time* time, int32_t timeValue, int32_t* index) try {
  if (!index) return kReport.BadParam(kSiteArgument, {"TDB_GetKeyIndex"});
  *index = kNotFound;
  Locked l(stream, kSiteIndex, kVerbFindKey);
  if (!l.ok()) return l.err();
  const Header& h = l.h();
  if (IsConstant(h)) return Fail(kSiteIndex, TDB_ErrConstant, kVerbFindKey);
  int32_t t = 0;
  if (ErrorCode err = StreamTime(h, time, timeValue, kSiteIndex, kVerbFindKey, &t)) return err;
  Keys keys(h);
  int32_t i = keys.LowerBound(t);
  if (i < keys.count() && keys.time(i) == t)
    *index = i;
  else if (i > 0)
    *index = i - 1;
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_ForIndexRange(TDB_Stream stream, int32_t first, int32_t last, TDB_KeyFunc fn, intptr_t data) try {
  if (!fn) return kReport.BadParam(kSiteArgument, {"TDB_ForIndexRange"});
  Locked l(stream, kSiteIterate, kVerbIterate);
  if (!l.ok()) return l.err();
  const Header& h = l.h();
  if (IsConstant(h)) return Fail(kSiteIterate, TDB_ErrConstant, kVerbIterate);
  int32_t n = KeyCount(h);
  if (n == 0) return 0;
  if (ErrorCode err = ResolveIndex(h, &first, kSiteIterate, kVerbIterate)) return err;
  if (ErrorCode err = ResolveIndex(h, &last, kSiteIterate, kVerbIterate)) return err;
  int32_t step = first <= last ? 1 : -1;
  for (int32_t i = first;; i += step) {
    int32_t t = 0;
    {
      Keys keys(h);
      if (i >= keys.count()) break;
      t = keys.time(i);
    }
    // The walk gives keys by index; the callee may read but should not
    // reorder the keys.
    if (ErrorCode err = fn(stream, data, i, t)) return err;
    if (i == last) break;
  }
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_ForRange(TDB_Stream stream, const Time* start, const Time* end, TDB_KeyFunc fn, intptr_t data) try {
  if (!fn) return kReport.BadParam(kSiteArgument, {"TDB_ForRange"});
  int32_t first = 0, last = -1;
  {
    Locked l(stream, kSiteIterate, kVerbIterate);
    if (!l.ok()) return l.err();
    const Header& h = l.h();
    if (IsConstant(h)) return Fail(kSiteIterate, TDB_ErrConstant, kVerbIterate);
    int32_t ts = INT32_MIN, te = INT32_MAX;
    if (start) {
      if (ErrorCode err = StreamTime(h, start, 0, kSiteIterate, kVerbIterate, &ts)) return err;
    }
    if (end) {
      if (ErrorCode err = StreamTime(h, end, 0, kSiteIterate, kVerbIterate, &te)) return err;
    }
    Keys keys(h);
    first = keys.LowerBound(ts);
    last = first;
    while (last < keys.count() && keys.time(last) <= te) ++last;
    --last;
    if (first > last) return 0;
  }
  return TDB_ForIndexRange(stream, first, last, fn, data);
} TV_CATCH(TDB_PackageNumber)

// ---- Time arithmetic ---------------------------------------------------------------------------
namespace {
ErrorCode TimeResult(int64_t v, int32_t* result) {
  if (v < INT32_MIN || v > INT32_MAX) return Fail(kSiteTimeArith, TDB_ErrOverflow, kStrTimeArith);
  *result = static_cast<int32_t>(v);
  return 0;
}
}  // namespace

ErrorCode TDB_AddTime(TDB_Stream stream, int32_t a, int32_t b, int32_t* result) try {
  if (!result) return kReport.BadParam(kSiteArgument, {"TDB_AddTime"});
  *result = kClean;
  Locked l(stream, kSiteTimeArith, kVerbModify);
  if (!l.ok()) return l.err();
  return TimeResult(int64_t{a} + b, result);
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_SubTime(TDB_Stream stream, int32_t a, int32_t b, int32_t* result) try {
  if (!result) return kReport.BadParam(kSiteArgument, {"TDB_SubTime"});
  *result = kClean;
  Locked l(stream, kSiteTimeArith, kVerbModify);
  if (!l.ok()) return l.err();
  return TimeResult(int64_t{a} - b, result);
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_MulTime(TDB_Stream stream, int32_t a, Ratio factor, int32_t* result) try {
  if (!result) return kReport.BadParam(kSiteArgument, {"TDB_MulTime"});
  *result = kClean;
  Locked l(stream, kSiteTimeArith, kVerbModify);
  if (!l.ok()) return l.err();
  if (factor.den == 0) return FailText(kSiteTimeArith, kErrBadParam, kStrTimeArith);
  // a * num / den rounded half up, in 64 bits (|a * num| < 2^62).
  int64_t x = int64_t{a} * factor.num;
  int64_t den = factor.den;
  int64_t n2 = 2 * x + den, d2 = 2 * den;
  int64_t q = n2 / d2;
  if (n2 % d2 != 0 && n2 < 0) --q;  // floor
  return TimeResult(q, result);
} TV_CATCH(TDB_PackageNumber)

// ---- Constant form and rescaling ---------------------------------------------------------------
ErrorCode TDB_SetConstant(TDB_Stream stream, Boolean32 constant, const Time* time, int32_t timeValue) try {
  Locked l(stream, kSiteSetConstant, kVerbTimeVarying);
  if (!l.ok()) return l.err();
  Header& h = l.h();
  if (IsConstant(h) == (constant != 0)) return 0;
  int32_t t = 0;
  if (ErrorCode err = StreamTime(h, time, timeValue, kSiteSetConstant, kVerbTimeVarying, &t)) return err;
  ScratchArray<uint8_t> held(static_cast<size_t>(h.keySize), true);
  if (!held.ok()) return OutOfMemory(kSiteSetConstant, held.failedBytes());
  Put<int32_t>(held.data(), 0, kClean);
  if (constant) {
    // The value at the time becomes the held value.
    int32_t n = KeyCount(h);
    if (n > 0) {
      int32_t at = -1;
      {
        Keys keys(h);
        int32_t i = keys.LowerBound(t);
        at = (i < n && keys.time(i) == t) ? i : std::max(0, std::min(i - 1, n - 1));
        std::memcpy(held.data(), keys.at(at), held.size());
      }
      if (IsSpatial(h)) Put<uint32_t>(held.data(), kSplineSlotOffset, 0);
      if (IsCustom(h)) {
        bool atKey = false;
        if (ErrorCode err = EvaluateCustomValue(stream, t, held.data() + h.valueOffset, &atKey)) return err;
      } else {
        double v[TDB_MaxDimension + 1];
        bool atKey = false, computed = false;
        if (ErrorCode err = Evaluate(stream, t, false, v, &atKey, &computed)) return err;
        for (int32_t d = 0; d < h.dimension; ++d) SetKD(held.data(), h.valueOffset + 8u * d, v[d]);
      }
      Put<int32_t>(held.data(), 0, t);
    }
    LIST_Handle keys = h.keys;
    {
      Keys k(h);
      for (int32_t i = 0; i < k.count(); ++i) {
        if (IsSpatial(h)) ReleaseSpline(h, k.at(i));
        if (IsCustom(h)) DisposeKeyValue(h, k.at(i));
      }
    }
    h.keys = nullptr;
    LIST_Dispose(keys, 0);
    h.flags |= TDB_StreamConstant;
    std::memcpy(l.work(), held.data(), held.size());
    return 0;
  }
  LIST_Handle keys = nullptr;
  if (ErrorCode err = LIST_New(0, h.keySize, 16, 1, &keys)) return err;
  std::memcpy(held.data(), l.work(), held.size());
  if (KTime(held.data()) != kClean) {
    Put<int32_t>(held.data(), 0, t);
    if (KIn(held.data()) == 0 && KOut(held.data()) == 0) {
      held[4] = held[5] = static_cast<uint8_t>(TDB_InterpLinear);
    }
    Put<uint16_t>(held.data(), 6, static_cast<uint16_t>(KFlags(held.data()) & ~TDB_KeyFloat));
    if (ErrorCode err = LIST_Insert(held.data(), -1, keys)) {
      LIST_Dispose(keys, 0);
      return err;
    }
  }
  h.keys = keys;
  h.flags &= static_cast<uint16_t>(~TDB_StreamConstant);
  Put<int32_t>(l.work(), 0, kClean);
  MarkAll(h);
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_RescaleStream(TDB_Stream stream, uint32_t newScale, int32_t technique) try {
  Locked l(stream, kSiteRescale, kVerbRescale);
  if (!l.ok()) return l.err();
  Header& h = l.h();
  if (technique != TDB_RescaleConvert && technique != TDB_RescaleStretch)
    return FailText(kSiteRescale, kErrBadParam, kStrBadRescale);
  if (newScale == 0) return Fail(kSiteRescale, TDB_ErrTimeScale, kVerbRescale);
  if (newScale == h.timeScale) return 0;
  auto convert = [&](int32_t t, int32_t* out) -> ErrorCode {
    if (technique == TDB_RescaleStretch) {
      *out = t;
      return 0;
    }
    Time r{};
    if (ErrorCode err = T_ShortConvTime(t, h.timeScale, newScale, &r)) return err;
    if (r.scale == 0 || r.value == kClean) return Fail(kSiteRescale, TDB_ErrTimePosition, kVerbRescale);
    *out = r.value;
    return 0;
  };
  FlushCache(stream);
  if (IsConstant(h)) {
    if (KTime(l.work()) != kClean) {
      int32_t t = 0;
      if (ErrorCode err = convert(KTime(l.work()), &t)) return err;
      Put<int32_t>(l.work(), 0, t);
    }
    h.timeScale = newScale;
    return 0;
  }
  // All new times are computed first: keys that would meet at one time
  // refuse the rescale and leave the stream as it was.
  ScratchArray<int32_t> times;
  {
    Keys keys(h);
    if (!times.Allocate(static_cast<size_t>(keys.count()))) return OutOfMemory(kSiteRescale, times.failedBytes());
    for (int32_t i = 0; i < keys.count(); ++i) {
      if (ErrorCode err = convert(keys.time(i), &times[static_cast<size_t>(i)])) return err;
      if (i > 0 && times[static_cast<size_t>(i)] <= times[static_cast<size_t>(i - 1)])
        return Fail(kSiteRescale, TDB_ErrKeyExists, kVerbOverwrite);
    }
    for (int32_t i = 0; i < keys.count(); ++i) Put<int32_t>(keys.at(i), 0, times[static_cast<size_t>(i)]);
  }
  h.timeScale = newScale;
  MarkAll(h);
  return 0;
} TV_CATCH(TDB_PackageNumber)
