// TDB internals: the stream header block, key record accessors, locking and
// report helpers shared by the package's files.
#pragma once

#include <cstddef>
#include <cstring>
#include <type_traits>

#include "BEZ.h"
#include "LIST.h"
#include "Memory.h"
#include "Package.h"
#include "TDB.h"

namespace tv::tdb {

// ---- Strings ------------------------------------------------------------------------
enum Str : int32_t {
  kStrUnknown = 0,
  kStrDamaged = 1,
  kStrKeyExists = 2,
  kStrConstant = 3,
  kStrNoKeys = 4,
  kStrTimeScale = 5,
  kStrOverflow = 6,
  kStrTimePosition = 7,
  kStrMethod = 8,
  kStrFileData = 9,
  kStrNotSpatial = 10,
  kStrArcLength2D = 11,
  kStrNoCustomInterp = 12,
  kStrOverlap = 13,
  kVerbDispose = 14,
  kVerbGetValue = 15,
  kVerbInsert = 16,
  kVerbRemove = 17,
  kVerbAlterKey = 18,
  kVerbGetKey = 19,
  kVerbInquireKey = 20,
  kVerbDuplicate = 21,
  kVerbMerge = 22,
  kVerbWrite = 23,
  kVerbRead = 24,
  kVerbModify = 25,
  kVerbSetValueDesc = 26,
  kVerbSetIMask = 27,
  kVerbSetSpIMask = 28,
  kVerbSetSpInterp = 29,
  kVerbSetMultiplier = 30,
  kVerbSetTangents = 31,
  kVerbOverwrite = 32,
  kVerbTimeVarying = 33,
  kVerbIterate = 34,
  kStrTimeOverflow = 35,
  kStrNotSpatialStream = 36,
  kStrKeySizeMismatch = 37,
  kStrBadRescale = 38,
  kStrNoDeriv = 39,
  kStrNoDirectManip = 40,
  kVerbPredict = 41,
  kStrAdaptiveTemp = 42,
  kStrBadMethod = 43,
  kDetailHeaderLength = 44,
  kDetailOldHeaderInfo = 45,
  kDetailOldHeaderLength = 46,
  kDetailChunkId = 47,
  kDetailOldInterp = 48,
  kDetailOldDataType = 49,
  kDetailMultiInterp = 50,
  kVerbClone = 51,
  kVerbRescale = 52,
  kVerbSetAccuracy = 53,
  kVerbSetCustom = 54,
  kVerbSParametrize = 55,
  kVerbMoveKey = 56,
  kVerbSetKeyFlags = 57,
  kVerbSetVelocity = 58,
  kVerbSetInfluence = 59,
  kVerbGetDeriv = 60,
  kVerbSample = 61,
  kVerbFindKey = 62,
  kVerbCopyKey = 63,
  kVerbUpdate = 64,
  kStrTimeStream = 65,
  kStrKeyList = 66,
  kStrHeaderWhat = 67,
  kDetailConstantSize = 68,
  kDetailKeyListSize = 69,
  kDetailKeyOrder = 70,
  kDetailDimension = 71,
  kDetailValueDesc = 72,
  kDetailFlags = 73,
  kStrOldForms = 74,
  kStrCustomKind = 75,
  kStrTimeArith = 76,
  kStrZeroVelocity = 77,
  kVerbDirectManip = 78,
};

extern const pkg::Reporter kReport;

// ---- Report sites --------------------------------------------------------------------
enum Site : uint32_t {
  kSiteNew = 1,
  kSiteDispose,
  kSiteDuplicate,
  kSiteClone,
  kSiteRescale,
  kSiteMerge,
  kSiteSetConstant,
  kSiteSetters,
  kSiteSetValueDesc,
  kSiteSParametrize,
  kSiteInsert,
  kSiteRemove,
  kSiteSetKey,
  kSiteGetKey,
  kSiteCopyKey,
  kSiteSetKeyTime,
  kSiteKeyFlags,
  kSiteVelocity,
  kSiteInfluence,
  kSiteTangents,
  kSiteChoose,
  kSiteFind,
  kSiteIndex,
  kSiteIterate,
  kSiteTimeArith,
  kSiteUpdate,
  kSiteGetValue,
  kSiteDeriv,
  kSiteSpaceTangent,
  kSiteClamped,
  kSiteZeroVelocity,
  kSiteDirectManip,
  kSitePredict,
  kSiteSample,
  kSiteIterateSamples,
  kSiteWrite,
  kSiteRead,
  kSiteRegister,
  kSiteInfo,
  kSiteEase,
  kSiteArgument,  // a null out-pointer or another bad argument
};

constexpr LocationCode Loc(uint32_t site) { return tv::Location(TDB_PackageNumber, site); }

// Reports code with the table text that belongs to it, filling "%s" with the
// verb (or detail) and "%d" with number; returns code. 0x1D09 and 0x1D11 are
// returned without a report.
ErrorCode Fail(uint32_t site, ErrorCode code, int32_t verb, int32_t number = 0);
// Reports code with the text at index (general codes).
ErrorCode FailText(uint32_t site, ErrorCode code, int32_t text);
ErrorCode OutOfMemory(uint32_t site, uint64_t size);
// Bad data in a file: 0x1D08 with the detail text.
ErrorCode FileData(int32_t detail);

// ---- Records ----------------------------------------------------------------------------
enum class Routine : int32_t { kBuiltIn = 0, kSpatial = 1, kCustom = 2 };

constexpr int32_t kClean = INT32_MIN;
constexpr uint16_t kCacheAtKey = 0x8000;  // working-key flag: the cached time is a key's
constexpr double kDefaultInfluence = 0.33333333333;

constexpr int32_t kSpWordOffset = 8;
constexpr int32_t kSplineSlotOffset = 12;
constexpr int32_t kPathLengthOffset = 16;
constexpr int32_t kSpInVelOffset = 24;
constexpr int32_t kSpInInflOffset = 32;
constexpr int32_t kSpOutVelOffset = 40;
constexpr int32_t kSpOutInflOffset = 48;
constexpr int32_t kSpatialValueOffset = 56;
constexpr int32_t kValueOffset = 8;

struct Header {
  uint16_t magic;
  int16_t dimension;
  uint16_t flags;
  int16_t spatialInterp;
  uint16_t spatialMask;
  uint16_t interpMask;
  uint32_t timeScale;
  double accuracy;
  double multipliers[4];
  TDB_ValueDesc desc;
  Routine routine;
  int32_t dataSize;     // key data size
  int32_t keySize;      // bytes of one key record
  int32_t valueOffset;  // 8 or 56
  LIST_Handle keys;     // null for a constant stream
  LIST_Handle splines;  // side table of arc splines (pointer-sized items; slot k is item k - 1)
  int32_t change[4];    // first and last key whose segment must be recomputed; two spare
  uint32_t overlapReported;
  uint32_t unused;
};
static_assert(std::is_trivially_copyable_v<Header>);
constexpr size_t kWorkOffset = (sizeof(Header) + 15) & ~size_t{15};

inline Header* H(TDB_Stream s) { return reinterpret_cast<Header*>(*reinterpret_cast<Handle>(s)); }
inline uint8_t* Work(TDB_Stream s) { return reinterpret_cast<uint8_t*>(*reinterpret_cast<Handle>(s)) + kWorkOffset; }

// ---- Key field access (records are reached through memcpy) ----------------------------------
template <class T>
inline T Get(const uint8_t* key, size_t offset) {
  T v;
  std::memcpy(&v, key + offset, sizeof(T));
  return v;
}
template <class T>
inline void Put(uint8_t* key, size_t offset, T v) {
  std::memcpy(key + offset, &v, sizeof(T));
}
inline int32_t KTime(const uint8_t* k) { return Get<int32_t>(k, 0); }
inline int8_t KIn(const uint8_t* k) { return static_cast<int8_t>(k[4]); }
inline int8_t KOut(const uint8_t* k) { return static_cast<int8_t>(k[5]); }
inline uint16_t KFlags(const uint8_t* k) { return Get<uint16_t>(k, 6); }
inline double KD(const uint8_t* k, size_t off) { return Get<double>(k, off); }
inline void SetKD(uint8_t* k, size_t off, double v) { Put<double>(k, off, v); }

// Offsets of the non-spatial temporal data of dimension d (n = dimension).
inline size_t ValOff(int32_t, int32_t d) { return kValueOffset + 8u * static_cast<size_t>(d); }
inline size_t InVelOff(int32_t n, int32_t d) { return kValueOffset + 8u * static_cast<size_t>(n + d); }
inline size_t InInflOff(int32_t n, int32_t d) { return kValueOffset + 8u * static_cast<size_t>(2 * n + d); }
inline size_t OutVelOff(int32_t n, int32_t d) { return kValueOffset + 8u * static_cast<size_t>(3 * n + d); }
inline size_t OutInflOff(int32_t n, int32_t d) { return kValueOffset + 8u * static_cast<size_t>(4 * n + d); }
// Spatial value doubles: position, in tangent, out tangent.
inline size_t PosOff(int32_t, int32_t d) { return kSpatialValueOffset + 8u * static_cast<size_t>(d); }
inline size_t InTanOff(int32_t n, int32_t d) { return kSpatialValueOffset + 8u * static_cast<size_t>(n + d); }
inline size_t OutTanOff(int32_t n, int32_t d) { return kSpatialValueOffset + 8u * static_cast<size_t>(2 * n + d); }

inline bool IsConstant(const Header& h) { return h.flags & TDB_StreamConstant; }
inline bool IsSpatial(const Header& h) { return h.flags & TDB_StreamSpatial; }
inline bool IsCustom(const Header& h) { return h.desc.kind != 0; }
inline bool Numeric(const Header& h) { return h.desc.kind == 0; }

// ---- Locking ---------------------------------------------------------------------------
// Checks a stream and locks its block while alive; check ok(). A failed
// check reports code 2 with the verb.
class Locked {
 public:
  Locked(TDB_Stream s, uint32_t site, int32_t verb);
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
  bool ok() const { return err_ == 0; }
  ErrorCode err() const { return err_; }
  Header& h() const { return *H(s_); }
  uint8_t* work() const { return Work(s_); }
  TDB_Stream stream() const { return s_; }

 private:
  TDB_Stream s_;
  ErrorCode err_ = 0;
  HandleLock<> lock_;
};

// True when the handle holds a live stream (no report).
bool Valid(TDB_Stream s);

// Locks the key list and exposes its records; empty for a constant stream.
class Keys {
 public:
  explicit Keys(const Header& h);
  ~Keys();
  Keys(const Keys&) = delete;
  Keys& operator=(const Keys&) = delete;
  int32_t count() const { return count_; }
  uint8_t* at(int32_t i) const { return base_ + static_cast<size_t>(i) * static_cast<size_t>(size_); }
  int32_t time(int32_t i) const { return KTime(at(i)); }
  // The first key whose time is not less than t (count when none).
  int32_t LowerBound(int32_t t) const;

 private:
  LIST_Handle list_ = nullptr;
  uint8_t* base_ = nullptr;
  int32_t count_ = 0;
  int32_t size_ = 0;
};

// ---- Shared operations -------------------------------------------------------------------
// The time in the stream's scale (Time given: converted, else timeValue).
ErrorCode StreamTime(const Header& h, const Time* time, int32_t timeValue, uint32_t site, int32_t verb,
                     int32_t* out);
// Whether the stream's interpolation mask allows the method (0 always is).
bool MethodAllowed(const Header& h, int8_t method);
ErrorCode CheckMethod(const Header& h, int8_t method, uint32_t site);
void FlushCache(TDB_Stream s);
// Marks the segments around keys first .. last for recomputation.
void MarkChanged(Header& h, int32_t first, int32_t last);
void MarkAll(Header& h);
// Releases the arc spline of a key record's slot and clears the slot.
void ReleaseSpline(Header& h, uint8_t* key);
// The arc spline list of a key (null when none).
LIST_Handle SplineOf(const Header& h, const uint8_t* key);
// Stores a spline in the side table and the key's slot.
ErrorCode StoreSpline(Header& h, uint8_t* key, LIST_Handle spline);
// Clears the floating flag of the first and last key.
void FixEnds(const Header& h);
const TDB_ValueTraits* TraitsOf(int16_t kind);
// Copies or disposes the value part of a key record.
ErrorCode CopyKeyValue(const Header& h, const uint8_t* from, uint8_t* to);
void DisposeKeyValue(const Header& h, uint8_t* key);
// Resolves the index (-1 = last) of a keyed stream; reports 0x1D03 or 10.
ErrorCode ResolveIndex(const Header& h, int32_t* index, uint32_t site, int32_t verb);
// Built-in value function: doubles to the data type and back.
void DoublesToValue(const Header& h, const double* in, void* out);
void ValueToDoubles(const Header& h, const void* in, double* out);
// Initialises a new key record's interpolation data.
void InitKey(const Header& h, uint8_t* key, int32_t time, int8_t in, int8_t out);
ErrorCode UpdateStream(TDB_Stream s);
// Evaluates the stream's doubles at t (stream scale) into out (for a spatial
// stream n + 1 doubles: the position then the curve parameter).
ErrorCode Evaluate(TDB_Stream s, int32_t t, bool exactOnly, double* out, bool* atKey, bool* computed);
// Segment helpers used by evaluation, derivatives and sampling.
double Seconds(const Header& h, int32_t from, int32_t to);
ErrorCode EasedDistance(const Header& h, const uint8_t* a, const uint8_t* b, double length, double x,
                        double* s, double* dsdx);
ErrorCode NewStreamLike(const Header& h, bool withKeys, TDB_Stream* out, uint32_t site);

}  // namespace tv::tdb

namespace tv::tdb {
// One easing segment: x seconds from the start, y from y0 to y3.
struct EaseSpec {
  double duration;
  double y0, y3;
  double outVelocity, outInfluence;  // start side
  double inVelocity, inInfluence;    // end side
  int8_t outMethod, inMethod;        // 1 linear, 2 Bezier
  bool nonDecreasing;
};
// y and dy/dx at x (either may be null).
void EvaluateEase(const EaseSpec& e, double x, double* y, double* dydx);
ErrorCode EvaluateCustomValue(TDB_Stream s, int32_t t, void* out, bool* atKey);
// Numeric streams at a time given as a double in the stream's scale (the
// stream's derived data must be current): values (n, plus the curve
// parameter for a spatial stream) and derivatives (n).
ErrorCode ComputeAt(Header& h, const Keys& keys, double t, double* out, bool* atKey);
ErrorCode DerivAt(Header& h, const Keys& keys, double t, double* deriv);
int32_t LowerBoundD(const Keys& keys, double t);
}  // namespace tv::tdb
