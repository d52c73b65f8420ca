// TDB: the time database. A stream is one animatable property: either a
// constant value, or a time-sorted list of keys, each holding a value and the
// interpolation data of both of its sides. Times are integers in the
// stream's own time scale; values are kept as doubles, one per dimension.
//
// A stream is a relocatable block (TDB_Stream is its handle) whose header
// starts with the magic 0xDB99 (0xDB66 once disposed); the keys are items of
// a LIST. Every operation checks the magic first (code 2, reported with the
// operation's verb).
//
// Times: operations that take `const Time* time, int32_t timeValue` use the
// Time (converted to the stream's scale, rounded half up) when it is given,
// else timeValue, a value already in the stream's scale.
//
// Key record layout (items of the key list, all fields in host order):
//   0 time (int32), 4 in method (int8), 5 out method (int8), 6 flags (uint16)
//   non-spatial: from 8, per dimension d of n: value[d], in velocity[n + d],
//     in influence[2n + d], out velocity[3n + d], out influence[4n + d]
//   spatial (flag bit 0): 8 spatial word (the key's spatial flags), 12 the
//     arc-spline slot (derived, an index into the stream's own side table,
//     never written to files), 16 path length of the segment to the next key,
//     24 in velocity, 32 in influence, 40 out velocity, 48 out influence
//     (one per side, along the path), then from 56: position[n],
//     in spatial tangent[n], out spatial tangent[n].
//   custom kinds: the value bytes of the kind's traits from 8 (non-spatial)
//     or 56 (spatial).
//
// Value kinds: kind 0 is the built-in numeric kind whose caller-side values
// are `dimension` scalars of the data type (0 int8, 1 uint8, 2 int16,
// 3 uint16, 4 int32, 5 uint32, 6 Fixed, 7 unsigned 16.16, 8 float, 9 double;
// Fixed types scale by 65536; integer types round to nearest and saturate).
// Any other kind is custom and must be registered with TDB_RegisterValueKind:
// its traits copy, dispose, interpolate, compare, print, write and read the
// values, and keys own their values. A value handed out (TDB_GetValue,
// TDB_GetKey) is an owned copy released with TDB_DisposeValue.
//
// What callers may rely on:
// - Every operation on a stream first checks it: 2 (reported with the
//   operation's verb) for a handle that is not a living stream.
// - Failures are reported once (package 29, severity 8), except a null
//   required pointer, which answers 3 without a report. The common codes:
//   3 a bad argument (a custom stream asked for doubles, a dimension outside
//   1..4); 10 a key index outside the stream; 0x1D02 a key operation on a
//   constant stream; 0x1D03 a keyed stream without keys (or a constant one
//   without a value); 0x1D04 a zero time scale; 0x1D06 a time with no place
//   in the stream's scale; 0x1D07 a method the stream's mask forbids; 0x1D0A
//   a spatial operation on a non-spatial stream; 0x1D01 a key already at the
//   time; 4 out of memory; M's and LIST's codes from the layers below, and a
//   custom kind's trait codes, passed up.
// - Getters clear their scalar outputs first (counts 0, indices 0x80000000, times invalid, flags 0) and
//   fill value arrays only on success.
// - Evaluation is deterministic; a stream never shares its keys or values
//   with another (duplicates copy custom values through the kind's traits).
#pragma once

#include "LIST.h"
#include "SLU.h"
#include "STR.h"
#include "Types.h"

typedef struct TDB_StreamRec** TDB_Stream;

enum {
  TDB_PackageNumber = 29,
  TDB_StringCount = 79,
  TDB_MaxDimension = 4,
};

enum {
  TDB_Magic = 0xDB99,
  TDB_DeadMagic = 0xDB66,
};

// Codes.
enum {
  TDB_ErrKeyExists = 0x1D01,       // "attempt to %s time stream key value."
  TDB_ErrConstant = 0x1D02,        // "attempt to %s a constant time stream."
  TDB_ErrNoKeys = 0x1D03,          // "attempt to %s a time stream with no key values."
  TDB_ErrTimeScale = 0x1D04,       // "invalid time scale in %s."
  TDB_ErrOverflow = 0x1D05,        // "%s caused time value overflow."
  TDB_ErrTimePosition = 0x1D06,    // not representable in the stream time scale
  TDB_ErrMethod = 0x1D07,          // "interpolation method not allowed for this stream (%d)."
  TDB_ErrFileData = 0x1D08,        // "invalid time stream information in file (%s)."
  TDB_ErrValueDesc = 0x1D09,       // invalid value description (no report)
  TDB_ErrNotSpatial = 0x1D0A,      // "attempt to %s a non-spatial stream."
  TDB_ErrArcLength2D = 0x1D10,     // "only 2d spatial streams allow arc-length interpolation"
  TDB_ErrNoSuchKind = 0x1D11,      // custom value kind not registered (no report)
};

// Stream flags.
enum {
  TDB_StreamConstant = 0x1,
  TDB_StreamSpatial = 0x2,
  TDB_StreamNonDecreasing = 0x4,
  TDB_StreamSParametrize = 0x8,
};

// Interpolation methods (negative numbers are custom methods).
enum {
  TDB_InterpNone = 0,
  TDB_InterpLinear = 1,
  TDB_InterpBezier = 2,
  TDB_InterpHold = 3,
};

// Key flags.
enum {
  TDB_KeySpatial = 0x1,
  TDB_KeyEase = 0x6,          // bits 1 and 2, set on every new non-hold key
  TDB_KeyContinuous = 0x8,
  TDB_KeyModifiable = 0x10,
  TDB_KeyFloat = 0x20,
};

// Spatial key flags (the first spatial word).
enum {
  TDB_SpKeyContinuous = 0x1,
  TDB_SpKeyModifiable = 0x2,
};

// TDB_FindKeyTime direction bits.
enum {
  TDB_FindBackward = 0x1,
  TDB_FindIncludeExact = 0x1000,
};

// TDB_RescaleStream techniques.
enum {
  TDB_RescaleConvert = 0,    // key times converted to the new scale, rounded half up
  TDB_RescaleStretch = 1,    // key times keep their values (the stream plays faster or slower)
};

// Value description (12 bytes).
typedef struct TDB_ValueDesc {
  int16_t kind;        // 0: built-in numeric; else a registered custom kind
  int16_t second;      // passed to custom routines
  uint8_t dataType;    // 0..9 for kind 0; for custom kind 1 a value passed to the routines
  uint8_t scalarSize;  // set by TDB_SetValueDescription
  uint8_t unused[2];
  uint32_t routine;    // unused slot; custom routines come from the kind's traits
} TDB_ValueDesc;

// What a custom interpolation routine is given: the two keys bracketing the
// time (copies of their records), their indices, and the time.
typedef struct TDB_InterpContext {
  int32_t indexA, indexB;
  int32_t time;          // in the stream's scale, tA < time < tB
  uint32_t timeScale;
  const void* keyA;      // key records as laid out above
  const void* keyB;
  int32_t keySize;
  int16_t dimension;
  int16_t spatialInterp;
} TDB_InterpContext;

// Traits of a custom value kind. Values live inside key records as
// `valueSize` bytes (for example a handle). `data` is handed to every call.
typedef struct TDB_ValueTraits {
  int32_t valueSize;  // 1..64 bytes
  intptr_t data;
  // destination receives an owned copy of source (valueSize bytes each).
  ErrorCode (*copy)(intptr_t data, const void* source, void* destination);
  // releases what value owns (may be null for plain values).
  ErrorCode (*dispose)(intptr_t data, void* value);
  // out receives a new owned value between the two keys.
  ErrorCode (*interpolate)(intptr_t data, TDB_Stream stream, const TDB_InterpContext* context, void* out);
  ErrorCode (*compare)(intptr_t data, const void* a, const void* b, Boolean32* equal);
  // writes text (at most textSize bytes with the zero).
  ErrorCode (*print)(intptr_t data, const void* value, char* text, int32_t textSize);
  // byte form of a value: with bytes null only *size is computed.
  ErrorCode (*write)(intptr_t data, const void* value, uint8_t* bytes, int32_t capacity, int32_t* size);
  // value receives a new owned value from exactly size bytes.
  ErrorCode (*read)(intptr_t data, const uint8_t* bytes, int32_t size, void* value);
} TDB_ValueTraits;

typedef ErrorCode (*TDB_KeyFunc)(TDB_Stream stream, intptr_t data, int32_t index, int32_t time);

// Adaptive sample points: items of two doubles.
typedef struct TDB_SamplePoint {
  double time;   // seconds
  double value;
} TDB_SamplePoint;

// The state of a walk over a sample list.
typedef struct TDB_SampleIterator {
  LIST_Handle points;
  int32_t count;
  int32_t pair;      // index of the first point of the current pair
  int32_t started;
  double lastTime;
  double lastValue;
  double slope;
} TDB_SampleIterator;

// ---- Package frame --------------------------------------------------------------
TV_EXPORT uint32_t TDB_PkgObjectVersion(void);
TV_EXPORT ErrorCode TDB_CheckVersions(LocationCode location, int32_t expectedMajor);
TV_EXPORT STR_Table TDBp_G_STRs;
// Streams alive (made and not yet disposed); 3 for a null count.
TV_EXPORT ErrorCode TDBp_GetLiveCount(int32_t* count);

// ---- Value kinds -------------------------------------------------------------------
// Registers (or, with traits null, removes) the traits of a custom kind
// (non-zero): 3 for kind 0 or a value size outside 1..64, 10 when every
// slot for kinds is taken.
TV_EXPORT ErrorCode TDB_RegisterValueKind(int16_t kind, const TDB_ValueTraits* traits);
// 0x1D11 (no report) for a kind not registered.
TV_EXPORT ErrorCode TDB_GetValueKind(int16_t kind, TDB_ValueTraits* traits);

// ---- Streams ---------------------------------------------------------------------------
// 3 for a dimension outside 1..4 or a null description, 0x1D04, 0x1D09 or
// 0x1D11 for a description that is not valid, 4; *stream null on failure
// (also for Duplicate and Clone).
TV_EXPORT ErrorCode TDB_NewStream(int16_t dimension, uint32_t timeScale, Boolean32 constant, Boolean32 spatial,
                                  uint16_t interpMask, uint16_t spatialMask, const TDB_ValueDesc* valueDescription,
                                  TDB_Stream* stream);
TV_EXPORT ErrorCode TDB_DisposeStream(TDB_Stream stream);
TV_EXPORT ErrorCode TDB_DuplicateStream(TDB_Stream stream, TDB_Stream* copy);
// The settings without keys (a keyed stream gets an empty key list; a
// constant stream has no value yet).
TV_EXPORT ErrorCode TDB_CloneStream(TDB_Stream stream, TDB_Stream* clone);
// 3 for an unknown technique, 0x1D04 for scale 0, 0x1D06 for a key time that
// does not fit, 0x1D01 when two keys would meet.
TV_EXPORT ErrorCode TDB_RescaleStream(TDB_Stream stream, uint32_t newScale, int32_t technique);
// Inserts every key of source into stream (times converted); keys at times
// that already have one replace them when overwrite is set, else are skipped.
TV_EXPORT ErrorCode TDB_MergeStream(TDB_Stream stream, TDB_Stream source, Boolean32 overwrite);
// To constant: the value at the time (or the first key's when there is no
// value between keys) becomes the held value. To keyed: the held value, if
// any, becomes a key at the time.
TV_EXPORT ErrorCode TDB_SetConstant(TDB_Stream stream, Boolean32 constant, const Time* time, int32_t timeValue);
TV_EXPORT ErrorCode TDB_SetStreamIMask(TDB_Stream stream, uint16_t mask);
TV_EXPORT ErrorCode TDB_SetStreamSpIMask(TDB_Stream stream, uint16_t mask);
// The spatial method m must be allowed by bit m of the spatial mask (0 is
// always allowed): 3 follows the spatial Bezier path (dimension 2 only), any
// other method straight lines.
TV_EXPORT ErrorCode TDB_SetStreamSpInterp(TDB_Stream stream, int16_t method);
// Accuracy: 3 unless finite and not negative. Multiplier: 10 for an index
// outside the dimension. Value description: 3 when the key size would change.
TV_EXPORT ErrorCode TDB_SetStreamAccuracy(TDB_Stream stream, double accuracy);
TV_EXPORT ErrorCode TDB_SetStreamMultiplier(TDB_Stream stream, int32_t dimensionIndex, double multiplier);
TV_EXPORT ErrorCode TDB_SetValueDescription(TDB_Stream stream, const TDB_ValueDesc* valueDescription);
// Binds the stream again to the traits registered for its kind: 0x1D11 (no
// report) when not registered, 3 when the value size differs.
TV_EXPORT ErrorCode TDB_SetCustomFuncs(TDB_Stream stream);
// 0x1D0A on a non-spatial stream.
TV_EXPORT ErrorCode TDB_SetStreamSParametrize(TDB_Stream stream, Boolean32 on);

// Header queries.
typedef struct TDB_StreamInfo {
  int16_t dimension;
  uint16_t flags;
  int16_t spatialInterp;
  uint16_t spatialMask;
  uint16_t interpMask;
  uint32_t timeScale;
  double accuracy;
  double multipliers[4];
  TDB_ValueDesc valueDescription;
  int32_t keyDataSize;
  int32_t keySize;
  int32_t keyCount;     // 0 for a constant stream
  Boolean32 hasValue;   // a constant stream holds a value
} TDB_StreamInfo;
TV_EXPORT ErrorCode TDB_GetStreamInfo(TDB_Stream stream, TDB_StreamInfo* info);
TV_EXPORT ErrorCode TDB_GetNumKeys(TDB_Stream stream, int32_t* count);

// ---- Keys ------------------------------------------------------------------------------
// Insert: 0x1D01 when a key is at the time and overwrite is off, 0x1D07 for
// a method the mask forbids; a constant stream takes the value as its value.
TV_EXPORT ErrorCode TDB_InsertKey(TDB_Stream stream, const Time* time, int32_t timeValue, Boolean32 overwrite,
                                  const void* value, int8_t inInterp, int8_t outInterp);
TV_EXPORT ErrorCode TDB_InsertKeyF(TDB_Stream stream, const Time* time, int32_t timeValue, Boolean32 overwrite,
                                   const double* value, int8_t inInterp, int8_t outInterp);
// A constant stream forgets its value (index 0).
TV_EXPORT ErrorCode TDB_RemoveKey(TDB_Stream stream, int32_t index);
// Key values in the caller's representation (index -1 = last; a constant
// stream's value is index 0). F: dimension doubles (the position for a
// spatial stream).
TV_EXPORT ErrorCode TDB_SetKey(TDB_Stream stream, int32_t index, const void* value);
TV_EXPORT ErrorCode TDB_GetKey(TDB_Stream stream, int32_t index, void* value);
TV_EXPORT ErrorCode TDB_SetKeyF(TDB_Stream stream, int32_t index, const double* value);
TV_EXPORT ErrorCode TDB_GetKeyF(TDB_Stream stream, int32_t index, double* value);
// Copies key fromIndex of source (value and interpolation data) into stream
// at the key's time (converted), replacing a key there.
TV_EXPORT ErrorCode TDB_CopyKey(TDB_Stream source, int32_t fromIndex, TDB_Stream stream);
TV_EXPORT ErrorCode TDB_CopyKeys(TDB_Stream source, int32_t first, int32_t last, TDB_Stream stream);
// Moves a key; another key at the new time is a collision (0x1D01). Every key
// operation from here on answers the common key codes (10, 0x1D02, 0x1D03).
TV_EXPORT ErrorCode TDB_SetKeyTime(TDB_Stream stream, int32_t index, const Time* time, int32_t timeValue);
TV_EXPORT ErrorCode TDB_GetKeyInterps(TDB_Stream stream, int32_t index, int8_t* inInterp, int8_t* outInterp);
TV_EXPORT ErrorCode TDB_SetKeyInterps(TDB_Stream stream, int32_t index, int8_t inInterp, int8_t outInterp);
TV_EXPORT ErrorCode TDB_GetKeyFlags(TDB_Stream stream, int32_t index, uint16_t* flags);
TV_EXPORT ErrorCode TDB_SetKeyFlags(TDB_Stream stream, int32_t index, uint16_t mask, uint16_t flags);
TV_EXPORT ErrorCode TDB_SetKeyContinuous(TDB_Stream stream, int32_t index, Boolean32 on);
TV_EXPORT ErrorCode TDB_SetKeyModifiable(TDB_Stream stream, int32_t index, Boolean32 on);
TV_EXPORT ErrorCode TDB_SetKeyFloat(TDB_Stream stream, int32_t index, Boolean32 on);
TV_EXPORT ErrorCode TDB_GetKeySpFlags(TDB_Stream stream, int32_t index, uint32_t* flags);
TV_EXPORT ErrorCode TDB_SetKeySpFlags(TDB_Stream stream, int32_t index, uint32_t mask, uint32_t flags);
TV_EXPORT ErrorCode TDB_SetKeySpContinuous(TDB_Stream stream, int32_t index, Boolean32 on);
TV_EXPORT ErrorCode TDB_SetKeySpModifiable(TDB_Stream stream, int32_t index, Boolean32 on);
// Velocities and influences: dimension doubles per side (one for a spatial
// stream, along the path); either side may be null. A custom stream without
// temporal data answers 3. The getters leave the arrays untouched on failure.
TV_EXPORT ErrorCode TDB_SetKeyVelocity(TDB_Stream stream, int32_t index, const double* inVelocity,
                                       const double* outVelocity);
TV_EXPORT ErrorCode TDB_GetKeyVelocity(TDB_Stream stream, int32_t index, double* inVelocity, double* outVelocity);
TV_EXPORT ErrorCode TDB_SetKeyInfluence(TDB_Stream stream, int32_t index, const double* inInfluence,
                                        const double* outInfluence);
TV_EXPORT ErrorCode TDB_GetKeyInfluence(TDB_Stream stream, int32_t index, double* inInfluence,
                                        double* outInfluence);
TV_EXPORT ErrorCode TDB_SetKeyTangentsF(TDB_Stream stream, int32_t index, const double* inVelocity,
                                        const double* inInfluence, const double* outVelocity,
                                        const double* outInfluence);
TV_EXPORT ErrorCode TDB_GetKeyTangentsF(TDB_Stream stream, int32_t index, double* inVelocity, double* inInfluence,
                                        double* outVelocity, double* outInfluence);
// Spatial tangents (dimension doubles each, relative to the key's position);
// 0x1D0A on a non-spatial or custom stream.
TV_EXPORT ErrorCode TDB_SetKeySpaceTangents(TDB_Stream stream, int32_t index, const double* inTangent,
                                            const double* outTangent);
TV_EXPORT ErrorCode TDB_GetKeySpaceTangents(TDB_Stream stream, int32_t index, double* inTangent,
                                            double* outTangent);
TV_EXPORT ErrorCode TDB_ChooseInterps(TDB_Stream stream, const Time* time, int32_t timeValue, int8_t* inInterp,
                                      int8_t* outInterp, uint16_t* flags, uint32_t* spatialWord);
// Not finding a key is not a failure (*found 0). Out-pointers may be null.
TV_EXPORT ErrorCode TDB_FindKeyTime(TDB_Stream stream, const Time* time, int32_t timeValue, int32_t direction,
                                    Boolean32* found, int32_t* index, Time* keyTime);
TV_EXPORT ErrorCode TDB_FindNearestKeyTime(TDB_Stream stream, const Time* time, int32_t timeValue, int32_t* index,
                                           Time* keyTime);
TV_EXPORT ErrorCode TDB_TimeToIndex(TDB_Stream stream, const Time* time, int32_t timeValue, int32_t* index);
TV_EXPORT ErrorCode TDB_IndexToTime(TDB_Stream stream, int32_t index, Time* time);
// The key at or before (index of the last key not after) the time; 0x80000000
// before the first key.
TV_EXPORT ErrorCode TDB_GetKeyIndex(TDB_Stream stream, const Time* time, int32_t timeValue, int32_t* index);
// Calls fn for every key whose time lies in start .. end (both included); the
// first non-zero answer of fn stops the walk and is returned. 3 for a null fn.
TV_EXPORT ErrorCode TDB_ForRange(TDB_Stream stream, const Time* start, const Time* end, TDB_KeyFunc fn,
                                 intptr_t data);
TV_EXPORT ErrorCode TDB_ForIndexRange(TDB_Stream stream, int32_t first, int32_t last, TDB_KeyFunc fn, intptr_t data);
// Time arithmetic in the stream's scale: 0x1D05 when the result leaves 32
// bits, 3 for a factor with a zero denominator; *result 0 on failure.
TV_EXPORT ErrorCode TDB_AddTime(TDB_Stream stream, int32_t a, int32_t b, int32_t* result);
TV_EXPORT ErrorCode TDB_SubTime(TDB_Stream stream, int32_t a, int32_t b, int32_t* result);
TV_EXPORT ErrorCode TDB_MulTime(TDB_Stream stream, int32_t a, Ratio factor, int32_t* result);
TV_EXPORT ErrorCode TDB_GetKeyScalarDataSize(const TDB_ValueDesc* valueDescription, Boolean32 spatial,
                                             int16_t dimension, int32_t* size);
// Recomputes derived key data (path lengths, arc splines, floating key
// times) of the segments marked for recomputation.
TV_EXPORT ErrorCode TDB_UpdateStream(TDB_Stream stream);

// ---- Evaluation -------------------------------------------------------------------------
// A constant stream without a value, or a keyed one without keys, answers
// 0x1D03. The F forms answer 3 for a custom stream. value is zeroed before
// evaluating; *atKey (optional) 0 on failure.
TV_EXPORT ErrorCode TDB_GetValue(TDB_Stream stream, const Time* time, int32_t timeValue, Boolean32 exactOnly,
                                 void* value, Boolean32* atKey);
TV_EXPORT ErrorCode TDB_GetValueF(TDB_Stream stream, const Time* time, int32_t timeValue, Boolean32 exactOnly,
                                  double* value, Boolean32* atKey);
// count values; times (when given) or timeValues give the times. 3 for a
// negative count or missing arrays; the first failure stops and is returned.
TV_EXPORT ErrorCode TDB_GetValues(TDB_Stream stream, int32_t count, const Time* times, const int32_t* timeValues,
                                  void* values);
TV_EXPORT ErrorCode TDB_GetValuesF(TDB_Stream stream, int32_t count, const Time* times,
                                   const int32_t* timeValues, double* values);
TV_EXPORT ErrorCode TDB_DisposeValue(TDB_Stream stream, void* value);
// d value / d t in value units per second, dimension doubles; 3 for a
// custom stream.
TV_EXPORT ErrorCode TDB_GetDeriv(TDB_Stream stream, const Time* time, int32_t timeValue, double* deriv);
TV_EXPORT ErrorCode TDB_GetDerivs(TDB_Stream stream, int32_t count, const Time* times, const int32_t* timeValues,
                                  double* derivs);
// The unit direction of motion along the path at the time (dimension doubles).
TV_EXPORT ErrorCode TDB_GetSpaceTangent(TDB_Stream stream, const Time* time, int32_t timeValue, double* tangent);
// Velocity and influence of key index limited so that its handles stay
// within the value range of its segments (dimension doubles per side).
TV_EXPORT ErrorCode TDB_GetClampedVelInflF(TDB_Stream stream, int32_t index, double* inVelocity,
                                           double* inInfluence, double* outVelocity, double* outInfluence,
                                           Boolean32* changed);
// Times (seconds, a new LIST of doubles in *times) within start .. end where
// the velocity of dimension `dimension` is zero; 3 for a dimension outside
// the stream or a stream that has none; *times null on failure.
TV_EXPORT ErrorCode TDB_GetZeroVelocityPoints(TDB_Stream stream, int32_t dimension, const Time* start,
                                              const Time* end, LIST_Handle* times);
// Moves the point at curve parameter u of the path segment starting at key
// index by delta (dimension doubles), adjusting the spatial tangents: 3 when
// the stream is not a spatial Bezier stream, 10 for the last key.
TV_EXPORT ErrorCode TDB_DirectManipArc(TDB_Stream stream, int32_t index, double u, const double* delta);
// The span of times whose values change when key index is edited.
TV_EXPORT ErrorCode TDB_PredictInvalid(TDB_Stream stream, int32_t index, Time* start, Time* end);

// ---- Adaptive sampling ------------------------------------------------------------------
// Samples dimension `dimension` of a keyed stream over start .. start +
// duration into *points (a new LIST of TDB_SamplePoint sorted by time) so
// that straight lines between consecutive points stay within tolerance of the
// evaluated value; a jump (the end of a hold) is a step: two points at the
// jump time, the value before and the value after. Intervals are not split
// below timeResolution seconds; each segment gets at least minCount
// intervals; once maxCount points are reached no interval is split further.
// minValue/maxValue receive the range of the values sampled. A single key
// gives one point; a constant stream gives an empty list (and its value as
// the range). 3 for null pointers or limits that do not make sense; *points
// null on failure.
TV_EXPORT ErrorCode TDB_GetAdaptiveSampleStream(TDB_Stream stream, int32_t dimension, const Time* start,
                                                const Time* duration, double tolerance, double timeResolution,
                                                int32_t minCount, int32_t maxCount, LIST_Handle* points,
                                                double* minValue, double* maxValue);
// Walks a sample list with a time that only increases (10 when it goes back);
// the list stays locked until the walk is completed. 3 for a list whose
// items are not sample points.
TV_EXPORT ErrorCode TDB_InitIterateAdaptiveSampleStream(LIST_Handle points, TDB_SampleIterator* iterator);
// value at time (seconds). Within one pair of points, a call that follows
// another advances the last value by the pair's slope times step (the time
// advanced since the previous call).
TV_EXPORT ErrorCode TDB_IterateAdaptiveSampleStream(TDB_SampleIterator* iterator, double time, double step,
                                                    double* value);
TV_EXPORT ErrorCode TDB_CompleteIterateAdaptiveSampleStream(TDB_SampleIterator* iterator);

// ---- Eased distance (shared with custom spatial kinds) ----------------------------------
// The distance travelled from key indexA towards key indexB at time (stream
// scale), eased over 0 .. length by the keys' path velocities and influences
// (holds give 0, linear sides the one-sixth handle, never decreasing).
TV_EXPORT ErrorCode TDB_GetEasedDistance(TDB_Stream stream, int32_t indexA, int32_t indexB, int32_t time,
                                         double length, double* distance);

// ---- Files ---------------------------------------------------------------------------------
// A stream in a chunked file is a "LIST"/"tdbs" container holding the 116-byte
// "tdb4" header atom (big-endian), then "cdat" (the constant value's key data,
// big-endian doubles) for a constant stream, or the key list as a
// "LIST"/"list" chunk whose items are the key records in big-endian (the
// arc-spline slot written as 0) for a keyed stream. Custom kinds whose traits
// can write values add a "LIST"/"cval" container of one "cval" atom per key
// (or for the constant value); the value bytes inside the key items are 0.
// Writing never modifies the stream; a failed read leaves no stream (*stream
// null): 0x1D08 for any header, size, order or kind that fails a check (and
// for a key method that is neither built in nor allowed by the stream's mask),
// 0x1D04 for scale 0, 8 for the old stream forms, and the chunk layer's codes.
TV_EXPORT ErrorCode TDB_WriteStream(TDB_Stream stream, SLU_FileContext* file);
// Looks for the "LIST"/"tdbs" container in parentChunk (or from the current
// position when null), reads it and leaves the file after it.
TV_EXPORT ErrorCode TDB_ReadStream(SLU_FileContext* file, const SLU_Chunk* parentChunk, TDB_Stream* stream);
// As TDB_ReadStream; when entered is given the caller has already descended
// into the container (it is not left here).
TV_EXPORT ErrorCode TDB_ReadStreamPlus(SLU_FileContext* file, const SLU_Chunk* parentChunk, SLU_Chunk* entered,
                                       TDB_Stream* stream);
