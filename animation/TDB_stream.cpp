// Streams: checking and locking, the value-kind registry, creation,
// disposal, duplication, the header setters and the shared key helpers.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "Package.h"
#include "T.h"
#include "TDB_internal.h"

namespace tv::tdb {
namespace {

int32_t gLiveStreams = 0;

struct KindSlot {
  int16_t kind = 0;
  TDB_ValueTraits traits{};
};
std::array<KindSlot, 32> gKinds{};

constexpr std::array<uint8_t, 10> kScalarSizes = {1, 1, 2, 2, 4, 4, 4, 4, 4, 8};

Handle AsHandle(TDB_Stream s) { return reinterpret_cast<Handle>(s); }

ErrorCode KeyDataSize(const TDB_ValueDesc& desc, bool spatial, int16_t dimension, int32_t* size) {
  *size = 0;
  if (desc.kind == 0) {
    if (desc.dataType >= kScalarSizes.size()) return TDB_ErrValueDesc;
    *size = (spatial ? 24 : 40) * dimension;
    return 0;
  }
  const TDB_ValueTraits* t = TraitsOf(desc.kind);
  if (!t) return TDB_ErrNoSuchKind;
  *size = (t->valueSize + 7) & ~7;
  return 0;
}

template <class I>
I Saturate(double v) {
  if (std::isnan(v)) return 0;
  double r = std::nearbyint(v);
  if (r <= static_cast<double>(std::numeric_limits<I>::min())) return std::numeric_limits<I>::min();
  if (r >= static_cast<double>(std::numeric_limits<I>::max())) return std::numeric_limits<I>::max();
  return static_cast<I>(r);
}

}  // namespace

// ---- Checking and locking ---------------------------------------------------------------
bool Valid(TDB_Stream s) {
  if (!s) return false;
  Size size = GetHandleSize(AsHandle(s));
  if (size < static_cast<Size>(kWorkOffset) || !*AsHandle(s)) return false;
  const Header* h = H(s);
  return h->magic == TDB_Magic && h->keySize > 0 && size >= static_cast<Size>(kWorkOffset + h->keySize);
}

Locked::Locked(TDB_Stream s, uint32_t site, int32_t verb) : s_(s) {
  if (!Valid(s)) {
    err_ = Fail(site, kErrDamaged, verb);
    return;
  }
  lock_ = HandleLock<>(AsHandle(s));
}

Keys::Keys(const Header& h) : list_(h.keys), size_(h.keySize) {
  if (!list_ || LIST_Lock(LIST_LockInPlace, list_) != 0) {
    list_ = nullptr;
    return;
  }
  LIST_GetNumItems(list_, &count_);
  void* first = nullptr;
  if (count_ > 0 && LIST_GetAddress(list_, 0, 0, &first) == 0) base_ = static_cast<uint8_t*>(first);
  if (!base_) count_ = 0;
}

Keys::~Keys() {
  if (list_) LIST_Unlock(list_);
}

int32_t Keys::LowerBound(int32_t t) const {
  int32_t lo = 0, hi = count_;
  while (lo < hi) {
    int32_t mid = lo + (hi - lo) / 2;
    if (time(mid) < t)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

// ---- Registry ----------------------------------------------------------------------------
const TDB_ValueTraits* TraitsOf(int16_t kind) {
  if (kind == 0) return nullptr;
  for (const KindSlot& k : gKinds)
    if (k.kind == kind) return &k.traits;
  return nullptr;
}

ErrorCode CopyKeyValue(const Header& h, const uint8_t* from, uint8_t* to) {
  const TDB_ValueTraits* t = TraitsOf(h.desc.kind);
  if (!t || !t->copy) {
    std::memcpy(to + h.valueOffset, from + h.valueOffset, static_cast<size_t>(h.dataSize));
    return 0;
  }
  return t->copy(t->data, from + h.valueOffset, to + h.valueOffset);
}

void DisposeKeyValue(const Header& h, uint8_t* key) {
  const TDB_ValueTraits* t = TraitsOf(h.desc.kind);
  if (t && t->dispose) t->dispose(t->data, key + h.valueOffset);
  std::memset(key + h.valueOffset, 0, static_cast<size_t>(h.dataSize));
}

// ---- Shared helpers ------------------------------------------------------------------------
ErrorCode StreamTime(const Header& h, const Time* time, int32_t timeValue, uint32_t site, int32_t verb,
                     int32_t* out) {
  *out = kClean;
  if (!time) {
    *out = timeValue;
    return 0;
  }
  if (time->scale == h.timeScale) {
    *out = time->value;
    return 0;
  }
  // A time without a scale cannot be placed in the stream's scale; it is an
  // error rather than a key at a wrong time.
  if (time->scale == 0) return Fail(site, TDB_ErrTimePosition, verb);
  Time r{};
  if (ErrorCode err = T_ShortConvTime(time->value, time->scale, h.timeScale, &r)) return err;
  if (r.scale == 0) return Fail(site, TDB_ErrTimePosition, verb);
  *out = r.value;
  return 0;
}

bool MethodAllowed(const Header& h, int8_t method) {
  return method == 0 || (method > 0 && method <= 16 && (h.interpMask & (1u << (method - 1)))) ||
         (method < 0 && (h.interpMask & 0x8));
}

ErrorCode CheckMethod(const Header& h, int8_t method, uint32_t site) {
  if (!MethodAllowed(h, method)) return Fail(site, TDB_ErrMethod, 0, method);
  return 0;
}

void FlushCache(TDB_Stream s) {
  Header& h = *H(s);
  if (IsConstant(h)) return;
  Put<int32_t>(Work(s), 0, kClean);
}

void MarkChanged(Header& h, int32_t first, int32_t last) {
  if (!IsSpatial(h)) return;
  first = std::max(first, 0);
  last = std::max(last, first);
  if (h.change[0] == kClean || first < h.change[0]) h.change[0] = first;
  if (h.change[1] == kClean || last > h.change[1]) h.change[1] = last;
}

void MarkAll(Header& h) {
  if (!IsSpatial(h)) return;
  h.change[0] = 0;
  h.change[1] = INT32_MAX;
}

LIST_Handle SplineOf(const Header& h, const uint8_t* key) {
  uint32_t slot = Get<uint32_t>(key, kSplineSlotOffset);
  if (slot == 0 || !h.splines) return nullptr;
  intptr_t item = 0;
  if (LIST_GetPItem(h.splines, static_cast<int32_t>(slot - 1), &item) != 0) return nullptr;
  return reinterpret_cast<LIST_Handle>(item);
}

void ReleaseSpline(Header& h, uint8_t* key) {
  uint32_t slot = Get<uint32_t>(key, kSplineSlotOffset);
  Put<uint32_t>(key, kSplineSlotOffset, 0);
  if (slot == 0 || !h.splines) return;
  intptr_t item = 0;
  if (LIST_GetPItem(h.splines, static_cast<int32_t>(slot - 1), &item) != 0) return;
  if (item) LIST_Dispose(reinterpret_cast<LIST_Handle>(item), 0);
  LIST_SetPItem(0, static_cast<int32_t>(slot - 1), h.splines, 0, nullptr);
}

ErrorCode StoreSpline(Header& h, uint8_t* key, LIST_Handle spline) {
  ReleaseSpline(h, key);
  if (!h.splines) {
    if (ErrorCode err = LIST_New(0, sizeof(intptr_t), 8, 1, &h.splines)) return err;
  }
  int32_t n = 0;
  LIST_GetNumItems(h.splines, &n);
  int32_t at = n;
  for (int32_t i = 0; i < n; ++i) {
    intptr_t item = 1;
    LIST_GetPItem(h.splines, i, &item);
    if (!item) {
      at = i;
      break;
    }
  }
  ErrorCode err = at == n ? LIST_InsertP(reinterpret_cast<intptr_t>(spline), -1, h.splines)
                          : LIST_SetPItem(reinterpret_cast<intptr_t>(spline), at, h.splines, 0, nullptr);
  if (err) return err;
  Put<uint32_t>(key, kSplineSlotOffset, static_cast<uint32_t>(at + 1));
  return 0;
}

void FixEnds(const Header& h) {
  Keys keys(h);
  if (keys.count() == 0) return;
  for (int32_t i : {0, keys.count() - 1}) {
    uint8_t* k = keys.at(i);
    Put<uint16_t>(k, 6, static_cast<uint16_t>(KFlags(k) & ~TDB_KeyFloat));
  }
}

ErrorCode ResolveIndex(const Header& h, int32_t* index, uint32_t site, int32_t verb) {
  if (IsConstant(h)) return Fail(site, TDB_ErrConstant, verb);
  int32_t n = 0;
  LIST_GetNumItems(h.keys, &n);
  if (n == 0) return Fail(site, TDB_ErrNoKeys, verb);
  if (*index == -1) *index = n - 1;
  if (*index < 0 || *index >= n) return Fail(site, kErrRange, verb);
  return 0;
}

void DoublesToValue(const Header& h, const double* in, void* out) {
  auto* p = static_cast<uint8_t*>(out);
  for (int32_t d = 0; d < h.dimension; ++d) {
    double v = in[d];
    switch (h.desc.dataType) {
      case 0: Put<int8_t>(p, d * 1u, Saturate<int8_t>(v)); break;
      case 1: Put<uint8_t>(p, d * 1u, Saturate<uint8_t>(v)); break;
      case 2: Put<int16_t>(p, d * 2u, Saturate<int16_t>(v)); break;
      case 3: Put<uint16_t>(p, d * 2u, Saturate<uint16_t>(v)); break;
      case 4: Put<int32_t>(p, d * 4u, Saturate<int32_t>(v)); break;
      case 5: Put<uint32_t>(p, d * 4u, Saturate<uint32_t>(v)); break;
      case 6: Put<int32_t>(p, d * 4u, Saturate<int32_t>(v * 65536.0)); break;
      case 7: Put<uint32_t>(p, d * 4u, Saturate<uint32_t>(v * 65536.0)); break;
      case 8: Put<float>(p, d * 4u, static_cast<float>(v)); break;
      default: Put<double>(p, d * 8u, v); break;
    }
  }
}

void ValueToDoubles(const Header& h, const void* in, double* out) {
  auto* p = static_cast<const uint8_t*>(in);
  for (int32_t d = 0; d < h.dimension; ++d) {
    switch (h.desc.dataType) {
      case 0: out[d] = Get<int8_t>(p, d * 1u); break;
      case 1: out[d] = Get<uint8_t>(p, d * 1u); break;
      case 2: out[d] = Get<int16_t>(p, d * 2u); break;
      case 3: out[d] = Get<uint16_t>(p, d * 2u); break;
      case 4: out[d] = Get<int32_t>(p, d * 4u); break;
      case 5: out[d] = Get<uint32_t>(p, d * 4u); break;
      case 6: out[d] = Get<int32_t>(p, d * 4u) / 65536.0; break;
      case 7: out[d] = Get<uint32_t>(p, d * 4u) / 65536.0; break;
      case 8: out[d] = Get<float>(p, d * 4u); break;
      default: out[d] = Get<double>(p, d * 8u); break;
    }
  }
}

void InitKey(const Header& h, uint8_t* key, int32_t time, int8_t in, int8_t out) {
  std::memset(key, 0, static_cast<size_t>(h.keySize));
  Put<int32_t>(key, 0, time);
  key[4] = static_cast<uint8_t>(in);
  key[5] = static_cast<uint8_t>(out);
  uint16_t flags = (in == TDB_InterpHold || out == TDB_InterpHold) ? 0 : TDB_KeyEase;
  if (IsSpatial(h)) flags |= TDB_KeySpatial;
  Put<uint16_t>(key, 6, flags);
  if (IsCustom(h)) {
    if (IsSpatial(h)) {
      SetKD(key, kSpInInflOffset, kDefaultInfluence);
      SetKD(key, kSpOutInflOffset, kDefaultInfluence);
    }
    return;
  }
  int32_t n = h.dimension;
  if (IsSpatial(h)) {
    SetKD(key, kSpInInflOffset, kDefaultInfluence);
    SetKD(key, kSpOutInflOffset, kDefaultInfluence);
  } else {
    for (int32_t d = 0; d < n; ++d) {
      SetKD(key, InInflOff(n, d), kDefaultInfluence);
      SetKD(key, OutInflOff(n, d), kDefaultInfluence);
    }
  }
}

double Seconds(const Header& h, int32_t from, int32_t to) {
  return (static_cast<double>(to) - static_cast<double>(from)) / static_cast<double>(h.timeScale);
}

// A new stream with h's settings; a keyed one gets an empty key list.
ErrorCode NewStreamLike(const Header& h, bool withKeys, TDB_Stream* out, uint32_t site) {
  (void)withKeys;
  *out = nullptr;
  Handle block = NewHandleClear(static_cast<Size>(kWorkOffset + h.keySize));
  if (!block) return OutOfMemory(site, kWorkOffset + h.keySize);
  auto* s = reinterpret_cast<TDB_Stream>(block);
  Header& n = *H(s);
  n = h;
  n.keys = nullptr;
  n.splines = nullptr;
  n.overlapReported = 0;
  n.change[0] = n.change[1] = n.change[2] = n.change[3] = kClean;
  Put<int32_t>(Work(s), 0, kClean);
  if (!IsConstant(h)) {
    if (ErrorCode err = LIST_New(0, h.keySize, 16, 1, &n.keys)) {
      DisposeHandle(block);
      return err;
    }
  }
  ++gLiveStreams;
  *out = s;
  return 0;
}

}  // namespace tv::tdb

using namespace tv;
using namespace tv::tdb;

ErrorCode TDBp_GetLiveCount(int32_t* count) try {
  if (!count) return kReport.BadParam(kSiteArgument, {"TDBp_GetLiveCount"});
  *count = gLiveStreams;
  return 0;
} TV_CATCH(TDB_PackageNumber)

// ---- Value kinds ---------------------------------------------------------------------------
ErrorCode TDB_RegisterValueKind(int16_t kind, const TDB_ValueTraits* traits) try {
  if (kind == 0 || (traits && (traits->valueSize < 1 || traits->valueSize > 64)))
    return FailText(kSiteRegister, kErrBadParam, kStrCustomKind);
  for (KindSlot& k : gKinds)
    if (k.kind == kind) {
      if (traits)
        k.traits = *traits;
      else
        k = KindSlot{};
      return 0;
    }
  if (!traits) return 0;
  for (KindSlot& k : gKinds)
    if (k.kind == 0) {
      k.kind = kind;
      k.traits = *traits;
      return 0;
    }
  return FailText(kSiteRegister, kErrRange, kStrCustomKind);
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_GetValueKind(int16_t kind, TDB_ValueTraits* traits) try {
  if (!traits) return kReport.BadParam(kSiteArgument, {"TDB_GetValueKind"});
  *traits = TDB_ValueTraits{};
  const TDB_ValueTraits* t = TraitsOf(kind);
  if (!t) return TDB_ErrNoSuchKind;
  *traits = *t;
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_GetKeyScalarDataSize(const TDB_ValueDesc* valueDescription, Boolean32 spatial, int16_t dimension,
                                   int32_t* size) try {
  if (!size) return kReport.BadParam(kSiteArgument, {"TDB_GetKeyScalarDataSize"});
  *size = 0;
  if (!valueDescription || dimension < 1 || dimension > TDB_MaxDimension) return kErrBadParam;
  return KeyDataSize(*valueDescription, spatial != 0, dimension, size);
} TV_CATCH(TDB_PackageNumber)

// ---- Creation and disposal ---------------------------------------------------------------------
ErrorCode TDB_NewStream(int16_t dimension, uint32_t timeScale, Boolean32 constant, Boolean32 spatial,
                        uint16_t interpMask, uint16_t spatialMask, const TDB_ValueDesc* valueDescription,
                        TDB_Stream* stream) try {
  if (!stream) return kReport.BadParam(kSiteArgument, {"TDB_NewStream"});
  *stream = nullptr;
  if (kReport.InstallTable() != 0) return STRp_ForgotInit(TDB_PackageNumber);
  // The header holds four multipliers and callers hand values through
  // fixed buffers: a dimension outside 1..4 is refused.
  if (dimension < 1 || dimension > TDB_MaxDimension || !valueDescription)
    return FailText(kSiteNew, kErrBadParam, kDetailDimension);
  if (timeScale == 0) return Fail(kSiteNew, TDB_ErrTimeScale, kStrTimeStream);
  int32_t dataSize = 0;
  if (ErrorCode err = KeyDataSize(*valueDescription, spatial != 0, dimension, &dataSize)) return err;
  Header h{};
  h.magic = 0;
  h.dimension = dimension;
  h.flags = static_cast<uint16_t>((constant ? TDB_StreamConstant : 0) |
                                  (spatial ? (TDB_StreamSpatial | TDB_StreamNonDecreasing) : 0));
  h.accuracy = spatial ? 0.0001 : 0.0;
  h.routine = spatial ? Routine::kSpatial : Routine::kBuiltIn;
  if (valueDescription->kind != 0) h.routine = Routine::kCustom;
  h.interpMask = interpMask;
  h.spatialMask = spatialMask;
  h.timeScale = timeScale;
  h.dataSize = dataSize;
  h.valueOffset = spatial ? kSpatialValueOffset : kValueOffset;
  h.keySize = h.valueOffset + dataSize;
  for (double& m : h.multipliers) m = 1.0;
  h.desc = *valueDescription;
  h.desc.routine = 0;
  h.desc.unused[0] = h.desc.unused[1] = 0;
  if (h.desc.kind == 0) h.desc.scalarSize = kScalarSizes[h.desc.dataType];
  TDB_Stream s = nullptr;
  if (ErrorCode err = NewStreamLike(h, true, &s, kSiteNew)) return err;
  H(s)->magic = TDB_Magic;  // stored last
  *stream = s;
  return 0;
} TV_CATCH(TDB_PackageNumber)

namespace {
void DisposeKeys(Header& h) {
  if (h.keys) {
    {
      Keys keys(h);
      for (int32_t i = 0; i < keys.count(); ++i) {
        uint8_t* k = keys.at(i);
        if (IsSpatial(h)) Put<uint32_t>(k, kSplineSlotOffset, 0);
        if (IsCustom(h)) DisposeKeyValue(h, k);
      }
    }
    LIST_Dispose(h.keys, 0);
    h.keys = nullptr;
  }
  if (h.splines) {
    int32_t n = 0;
    LIST_GetNumItems(h.splines, &n);
    for (int32_t i = 0; i < n; ++i) {
      intptr_t item = 0;
      LIST_GetPItem(h.splines, i, &item);
      if (item) LIST_Dispose(reinterpret_cast<LIST_Handle>(item), 0);
    }
    LIST_Dispose(h.splines, 0);
    h.splines = nullptr;
  }
}
}  // namespace

ErrorCode TDB_DisposeStream(TDB_Stream stream) try {
  if (!stream) return 0;
  {
    Locked l(stream, kSiteDispose, kVerbDispose);
    if (!l.ok()) return l.err();
    Header& h = l.h();
    FlushCache(stream);
    DisposeKeys(h);
    if (IsConstant(h) && IsCustom(h) && KTime(l.work()) != kClean) DisposeKeyValue(h, l.work());
    h.magic = TDB_DeadMagic;
  }
  DisposeHandle(reinterpret_cast<Handle>(stream));
  --gLiveStreams;
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_DuplicateStream(TDB_Stream stream, TDB_Stream* copy) try {
  if (!copy) return kReport.BadParam(kSiteArgument, {"TDB_DuplicateStream"});
  *copy = nullptr;
  Locked l(stream, kSiteDuplicate, kVerbDuplicate);
  if (!l.ok()) return l.err();
  const Header& h = l.h();
  TDB_Stream c = nullptr;
  if (ErrorCode err = NewStreamLike(h, false, &c, kSiteDuplicate)) return err;
  Header& ch = *H(c);
  if (ch.keys) {
    LIST_Dispose(ch.keys, 0);
    ch.keys = nullptr;
  }
  ErrorCode err = 0;
  if (h.keys) {
    err = LIST_Duplicate(h.keys, 0, &ch.keys);
    if (!err) {
      // Arc splines belong to the original: the copy's slots start empty and
      // are rebuilt on demand. Custom values are copied so each stream owns its own.
      Keys src(h);
      Keys dst(ch);
      int32_t copied = 0;
      for (; copied < dst.count(); ++copied) {
        uint8_t* k = dst.at(copied);
        if (IsSpatial(ch)) Put<uint32_t>(k, kSplineSlotOffset, 0);
        if (IsCustom(ch) && (err = CopyKeyValue(ch, src.at(copied), k)) != 0) break;
      }
      if (err) {
        for (int32_t i = copied; i < dst.count(); ++i) std::memset(dst.at(i) + ch.valueOffset, 0, ch.dataSize);
      }
    }
  }
  if (!err && IsConstant(h)) {
    std::memcpy(Work(c), l.work(), static_cast<size_t>(h.keySize));
    if (IsSpatial(h)) Put<uint32_t>(Work(c), kSplineSlotOffset, 0);
    if (IsCustom(h) && KTime(l.work()) != kClean) err = CopyKeyValue(h, l.work(), Work(c));
    if (err) Put<int32_t>(Work(c), 0, kClean);
  }
  H(c)->magic = TDB_Magic;
  MarkAll(*H(c));
  if (err) {
    TDB_DisposeStream(c);
    return err;
  }
  *copy = c;
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_CloneStream(TDB_Stream stream, TDB_Stream* clone) try {
  if (!clone) return kReport.BadParam(kSiteArgument, {"TDB_CloneStream"});
  *clone = nullptr;
  Locked l(stream, kSiteClone, kVerbClone);
  if (!l.ok()) return l.err();
  TDB_Stream c = nullptr;
  if (ErrorCode err = NewStreamLike(l.h(), true, &c, kSiteClone)) return err;
  H(c)->magic = TDB_Magic;
  *clone = c;
  return 0;
} TV_CATCH(TDB_PackageNumber)

// ---- Header setters and queries -----------------------------------------------------------------
ErrorCode TDB_SetStreamIMask(TDB_Stream stream, uint16_t mask) try {
  Locked l(stream, kSiteSetters, kVerbSetIMask);
  if (!l.ok()) return l.err();
  l.h().interpMask = mask;
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_SetStreamSpIMask(TDB_Stream stream, uint16_t mask) try {
  Locked l(stream, kSiteSetters, kVerbSetSpIMask);
  if (!l.ok()) return l.err();
  l.h().spatialMask = mask;
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_SetStreamSpInterp(TDB_Stream stream, int16_t method) try {
  Locked l(stream, kSiteSetters, kVerbSetSpInterp);
  if (!l.ok()) return l.err();
  Header& h = l.h();
  // Spatial methods are allowed by bit m of the spatial mask (a shape
  // stream's mask 6 allows its methods 1 and 2); 0 is always allowed.
  bool ok = method == 0 || (method > 0 && method < 16 && (h.spatialMask & (1u << method)));
  if (!ok) return Fail(kSiteSetters, TDB_ErrMethod, 0, method);
  if (h.spatialInterp != method) {
    h.spatialInterp = method;
    FlushCache(stream);
    MarkAll(h);
  }
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_SetStreamAccuracy(TDB_Stream stream, double accuracy) try {
  Locked l(stream, kSiteSetters, kVerbSetAccuracy);
  if (!l.ok()) return l.err();
  if (!(accuracy >= 0.0) || !std::isfinite(accuracy)) return FailText(kSiteSetters, kErrBadParam, kVerbSetAccuracy);
  l.h().accuracy = accuracy;
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_SetStreamMultiplier(TDB_Stream stream, int32_t dimensionIndex, double multiplier) try {
  Locked l(stream, kSiteSetters, kVerbSetMultiplier);
  if (!l.ok()) return l.err();
  if (dimensionIndex < 0 || dimensionIndex >= TDB_MaxDimension)
    return FailText(kSiteSetters, kErrRange, kVerbSetMultiplier);
  l.h().multipliers[dimensionIndex] = multiplier;
  FlushCache(stream);
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_SetValueDescription(TDB_Stream stream, const TDB_ValueDesc* valueDescription) try {
  Locked l(stream, kSiteSetValueDesc, kVerbSetValueDesc);
  if (!l.ok()) return l.err();
  if (!valueDescription) return kReport.BadParam(kSiteArgument, {"TDB_SetValueDescription"});
  Header& h = l.h();
  int32_t size = 0;
  if (ErrorCode err = KeyDataSize(*valueDescription, IsSpatial(h), h.dimension, &size)) return err;
  // The key records keep their size: a description that changes the key
  // data size would reinterpret every key.
  if (size != h.dataSize || (valueDescription->kind == 0) != (h.desc.kind == 0))
    return FailText(kSiteSetValueDesc, kErrBadParam, kStrKeySizeMismatch);
  h.desc = *valueDescription;
  h.desc.routine = 0;
  h.desc.unused[0] = h.desc.unused[1] = 0;
  if (h.desc.kind == 0) h.desc.scalarSize = kScalarSizes[h.desc.dataType];
  FlushCache(stream);
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_SetCustomFuncs(TDB_Stream stream) try {
  Locked l(stream, kSiteSetters, kVerbSetCustom);
  if (!l.ok()) return l.err();
  Header& h = l.h();
  if (h.desc.kind == 0) return 0;
  const TDB_ValueTraits* t = TraitsOf(h.desc.kind);
  if (!t) return TDB_ErrNoSuchKind;
  if (((t->valueSize + 7) & ~7) != h.dataSize) return FailText(kSiteSetters, kErrBadParam, kStrKeySizeMismatch);
  h.routine = Routine::kCustom;
  FlushCache(stream);
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_SetStreamSParametrize(TDB_Stream stream, Boolean32 on) try {
  Locked l(stream, kSiteSParametrize, kVerbSParametrize);
  if (!l.ok()) return l.err();
  Header& h = l.h();
  if (!IsSpatial(h)) return FailText(kSiteSParametrize, TDB_ErrNotSpatial, kStrNotSpatialStream);
  uint16_t flags = on ? (h.flags | TDB_StreamSParametrize) : (h.flags & ~TDB_StreamSParametrize);
  if (flags != h.flags) {
    h.flags = flags;
    FlushCache(stream);
    MarkAll(h);
  }
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_GetStreamInfo(TDB_Stream stream, TDB_StreamInfo* info) try {
  if (!info) return kReport.BadParam(kSiteArgument, {"TDB_GetStreamInfo"});
  *info = TDB_StreamInfo{};
  Locked l(stream, kSiteInfo, kVerbInquireKey);
  if (!l.ok()) return l.err();
  const Header& h = l.h();
  info->dimension = h.dimension;
  info->flags = h.flags;
  info->spatialInterp = h.spatialInterp;
  info->spatialMask = h.spatialMask;
  info->interpMask = h.interpMask;
  info->timeScale = h.timeScale;
  info->accuracy = h.accuracy;
  std::copy(std::begin(h.multipliers), std::end(h.multipliers), info->multipliers);
  info->valueDescription = h.desc;
  info->keyDataSize = h.dataSize;
  info->keySize = h.keySize;
  if (h.keys) LIST_GetNumItems(h.keys, &info->keyCount);
  info->hasValue = IsConstant(h) && KTime(l.work()) != kClean;
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_GetNumKeys(TDB_Stream stream, int32_t* count) try {
  if (!count) return kReport.BadParam(kSiteArgument, {"TDB_GetNumKeys"});
  *count = 0;
  Locked l(stream, kSiteInfo, kVerbInquireKey);
  if (!l.ok()) return l.err();
  if (l.h().keys) LIST_GetNumItems(l.h().keys, count);
  return 0;
} TV_CATCH(TDB_PackageNumber)
