// M: exact ratio arithmetic with defined 32-bit overflow behaviour, and the
// geometric half: fixed-point numbers, points, rectangles, 3x3 matrices and
// the fast lookup tables.
//
// What callers may rely on:
// - Ratio and integer operations work without M_Birth; only the tables need
//   it. Failures are reported once, by M at severity 8 (an underflow as a
//   warning), unless a status byte or an overflow flag asks for silence.
// - A null result pointer of a ratio or integer operation answers 3 without
//   a report. Every other failure leaves the result at its invalid value:
//   ratios 0/0, integers 0, unless an entry says "untouched".
// - The point, rectangle and matrix operations take their pointers as given:
//   they must not be null. Their results saturate or, where stated, fail with
//   0x1102 or 0x1107.
// - Results never depend on the locale; no operation allocates except M_Birth
//   and the table rebuilds. Single thread.
#pragma once

#include "STR.h"
#include "Types.h"

enum { M_PackageNumber = 17 };
// M's own codes.
enum {
  M_ErrOverflow = 0x1102,
  M_ErrUnderflow = 0x1103,       // reported as a warning
  M_ErrDivideByZero = 0x1104,
  M_ErrUnrequestedService = 0x1105,
  M_ErrZeroDenominator = 0x1106,
  M_ErrSingularMatrix = 0x1107,
};

TV_EXPORT uint32_t M_PkgObjectVersion(void);
TV_EXPORT ErrorCode M_CheckVersions(LocationCode location, int32_t expectedMajor);
TV_EXPORT STR_Table Mp_G_STRs;  // declaration: extern "C" on one declaration implies extern

// ---- Ratios ------------------------------------------------------------------
// A ratio is num / den with den > 0; results are not reduced unless stated.
// None of these operations needs M to be born.
//
// Status argument of the arithmetic operations:
//   null            exactness required; an overflow is reported (0x1102).
//   M_APPROXIMATE   an overflow of the exact computation falls back to a
//                   floating-point approximation; only a result that cannot be
//                   represented at all is reported.
//   &byte           on entry bit 1 (M_StatusAllowApprox) allows the
//                   approximation (for M_DivRatio bit 0 (M_StatusAllowHalving)
//                   allows halving a divisor whose denominator exceeds 31 bits);
//                   nothing is reported; on return the byte holds M_StatusExact,
//                   M_StatusOverflow or M_StatusApproximated.
// On failure the result ratio is 0/0 and the code is returned (reported or not
// as the status form says). A zero denominator is always reported (0x1106).
#define M_APPROXIMATE ((uint8_t*)(intptr_t)-1)
enum {
  M_StatusExact = 0,
  M_StatusOverflow = 1,
  M_StatusApproximated = 2,
  M_StatusAllowHalving = 1,  // input bit of M_DivRatio
  M_StatusAllowApprox = 2,   // input bit
};

// Every ratio operation reports 0x1106 for an operand with a zero
// denominator (where the operation reads it) and then answers 0/0.
TV_EXPORT ErrorCode M_ReduceRatio(Ratio in, Ratio* out, Boolean32* changed);
TV_EXPORT ErrorCode M_AddRatio(Ratio a, Ratio b, Ratio* r, uint8_t* status);
TV_EXPORT ErrorCode M_SubRatio(Ratio a, Ratio b, Ratio* r, uint8_t* status);
TV_EXPORT ErrorCode M_MulRatio(Ratio a, Ratio b, Ratio* r, uint8_t* status);
TV_EXPORT ErrorCode M_DivRatio(Ratio a, Ratio b, Ratio* r, uint8_t* status);
// r = 1 / a; exact (optional) is false when the ratio had to be halved.
TV_EXPORT ErrorCode M_RecipRatio(Ratio a, Ratio* r, Boolean32* exact);
// a over newDenominator, rounded half up. exact and overflow are optional; an
// overflow sets *overflow and returns 0x1102 unreported, or is reported when
// overflow is null.
TV_EXPORT ErrorCode M_ConvRatio(Ratio a, uint32_t newDenominator, Ratio* r, Boolean32* exact,
                                Boolean32* overflow);
// The same for a bare numerator: r = value / fromDenominator over toDenominator.
TV_EXPORT ErrorCode M_ShortConvRatio(int32_t value, uint32_t fromDenominator, uint32_t toDenominator,
                                     Ratio* r, Boolean32* overflow);
// order: -1, 0 or 1 as a is less than, equal to or greater than b (exact);
// 0 on failure.
TV_EXPORT ErrorCode M_CompareRatio(Ratio a, Ratio b, int32_t* order);
TV_EXPORT ErrorCode M_MinRatio(Ratio a, Ratio b, Ratio* r);
TV_EXPORT ErrorCode M_MaxRatio(Ratio a, Ratio b, Ratio* r);
// min > max: code 3 "invalid rational range", r untouched.
TV_EXPORT ErrorCode M_ClipRatio(Ratio value, Ratio min, Ratio max, Ratio* r);
TV_EXPORT ErrorCode M_ClipRatioToSpan(Ratio value, Ratio start, Ratio duration, Ratio* r);
// The part of the first span inside the second: 0x1102 (reported) when the
// ends overflow; spans that do not meet give a duration of 0. Both outputs
// 0/0 on failure (3 when either is null).
TV_EXPORT ErrorCode M_ClipSpanToSpan(Ratio start, Ratio duration, Ratio spanStart, Ratio spanDuration,
                                     Ratio* outStart, Ratio* outDuration);
// The closest ratio (denominator at most 2^30) to x rounded to single precision.
// A NaN, an infinity or a magnitude of 2^31 or more is not a failure: *r
// becomes 0/0 and *overflow (optional) 1, answering 0.
TV_EXPORT ErrorCode M_FpLong2Ratio(FpLong x, Ratio* r, Boolean32* overflow);
// floor(x + 0.5), saturated to the 32-bit range; NaN gives 0.
TV_EXPORT int32_t M_RoundDouble(FpLong x);

// Integer utilities.
TV_EXPORT int32_t M_LeadingZeros(uint32_t v);   // 32 for 0
TV_EXPORT int32_t M_TrailingZeros(uint32_t v);  // 32 for 0
TV_EXPORT int32_t M_BitsUsed(int32_t v);        // 0 for v <= 0
TV_EXPORT uint32_t M_RoundUpToPowerOf2(uint32_t v);    // 0 for 0 and above 2^31
TV_EXPORT uint32_t M_RoundDownToPowerOf2(uint32_t v);  // 0 for 0
TV_EXPORT Boolean32 M_AddWouldOverflow(int32_t a, int32_t b);
TV_EXPORT Boolean32 M_MulWouldOverflow(int32_t a, int32_t b);    // conservative
TV_EXPORT Boolean32 M_UMulWouldOverflow(uint32_t a, uint32_t b);  // conservative
// Euclid on the magnitudes; a second argument of 0 gives 1. M_SignedGCD:
// 0x1102 (reported, *g 0) for a divisor of 2^31.
TV_EXPORT ErrorCode M_SignedGCD(int32_t a, int32_t b, int32_t* g);
TV_EXPORT ErrorCode M_UnsignedGCD(uint32_t a, uint32_t b, uint32_t* g);
// a / gcd * b on the magnitudes; 0x1102 (reported) when it does not fit.
TV_EXPORT ErrorCode M_SignedLCM(int32_t a, int32_t b, int32_t* l);
TV_EXPORT ErrorCode M_UnsignedLCM(uint32_t a, uint32_t b, uint32_t* l);
// value rounded to the nearest multiple of step, ties away from zero; a step of
// 0 or less is code 3, a result outside 32 bits 0x1102 (both reported).
TV_EXPORT ErrorCode M_RoundToNearestMult(int32_t value, int32_t step, int32_t* result);

#ifdef __cplusplus
// Field-wise identity (1/2 and 2/4 differ); use tv::m::Compare for values.
constexpr bool operator==(Ratio a, Ratio b) { return a.num == b.num && a.den == b.den; }
constexpr bool operator!=(Ratio a, Ratio b) { return !(a == b); }

namespace tv::m {
constexpr Ratio MakeRatio(int32_t num, uint32_t den) { return Ratio{num, den}; }
constexpr Ratio kZeroRatio{0, 0};  // the failure value
// -1, 0 or 1 by value, exact in 64 bits (both denominators non-zero).
constexpr int Compare(Ratio a, Ratio b) {
  int64_t l = int64_t{a.num} * int64_t{b.den};
  int64_t r = int64_t{b.num} * int64_t{a.den};
  return l < r ? -1 : (l > r ? 1 : 0);
}
constexpr bool Less(Ratio a, Ratio b) { return Compare(a, b) < 0; }
constexpr bool SameValue(Ratio a, Ratio b) { return Compare(a, b) == 0; }
}  // namespace tv::m
#endif

// ---- Fixed point, geometry, matrices, tables and birth -----------------------
// Fixed: 16.16; Fract: 2.30; Fix24: 8.24 (see Types.h). 0x80000000 is the
// overflow value of the fixed operations.
enum { M_FixedOverflow = INT32_MIN };

// Math services requested with M_Birth's flags.
enum {
  M_ServiceNone = 1,
  M_ServiceFastTrig = 2,
  M_ServiceFastCharMath = 4,  // 8-bit multiply and divide tables
  M_ServiceGaussian = 8,      // not available
};
enum {
  M_FastTrigEntries = 256,        // entry i = sin(i / 255 * pi / 2)
  M_FastTrigBytes = 1024,
  M_FastCharMathBytes = 131072,   // multiply table (64 KiB), then divide table (64 KiB)
};

// Two doubles (x, y).
typedef struct FloatPoint {
  FpLong x, y;
} FloatPoint;
// Four doubles, left, top, right, bottom.
typedef struct FloatRect {
  FpLong left, top, right, bottom;
} FloatRect;
// An origin followed by a width and a height.
typedef struct WHRect {
  int16_t left, top, width, height;
} WHRect;

// 3x3 matrices, row by row, applied to row vectors:
// x' = x*m0 + y*m3 + m6, y' = x*m1 + y*m4 + m7; (m2, m5, m8) is the projective column.
typedef struct FloatMatrix {
  FpLong m[9];
} FloatMatrix;
// The same elements as integers: m2, m5 and m8 are Fract, all others Fixed.
typedef struct FixMatrix {
  int32_t m[9];
} FixMatrix;

// Matrix types (M_GetMatrixType).
enum {
  M_MatrixIdentity = 0,
  M_MatrixTranslate = 1,
  M_MatrixScale = 2,
  M_MatrixScaleTranslate = 3,
  M_MatrixGeneral = 4,      // rotating or skewing, not projective
  M_MatrixProjective = 5,
};

// ---- Fixed arithmetic (values; 0x80000000 on overflow, M_FixMul and
// M_FixDiv without a report) ----
TV_EXPORT Fixed M_FixMul(Fixed a, Fixed b);
TV_EXPORT Fixed M_FixDiv(Fixed a, Fixed b);
TV_EXPORT Fix24 M_Fix24Mul(Fix24 a, Fix24 b);                   // reports 0x1102
TV_EXPORT Fix24 M_Fix24Ratio(int32_t numerator, int32_t denominator);  // reports 0x1102, 0x1104

// ---- Points (set and copy return 0; the others a truth value) ----
TV_EXPORT ErrorCode M_SetPt(Point* p, int16_t h, int16_t v);
TV_EXPORT ErrorCode M_SetLPt(LPoint* p, int32_t h, int32_t v);
TV_EXPORT ErrorCode M_SetFixedPt(FixedPoint* p, Fixed h, Fixed v);
TV_EXPORT ErrorCode M_CopyPt(const Point* src, Point* dst);
TV_EXPORT ErrorCode M_CopyLPt(const LPoint* src, LPoint* dst);
TV_EXPORT ErrorCode M_CopyFixedPt(const FixedPoint* src, FixedPoint* dst);
TV_EXPORT Boolean32 M_EqualPt(const Point* a, const Point* b);
TV_EXPORT Boolean32 M_EqualLPt(const LPoint* a, const LPoint* b);
TV_EXPORT Boolean32 M_EqualFixedPt(const FixedPoint* a, const FixedPoint* b);

// ---- Rectangles. Empty: right <= left or bottom <= top. Results that do not
// fit a field saturate at the field's range. ----
TV_EXPORT ErrorCode M_SetRect(Rect* r, int16_t left, int16_t top, int16_t right, int16_t bottom);
TV_EXPORT ErrorCode M_SetLRect(LRect* r, int32_t left, int32_t top, int32_t right, int32_t bottom);
TV_EXPORT ErrorCode M_SetFixedRect(FixedRect* r, Fixed left, Fixed top, Fixed right, Fixed bottom);
TV_EXPORT ErrorCode M_SetWHRect(WHRect* r, int16_t left, int16_t top, int16_t width, int16_t height);
TV_EXPORT ErrorCode M_CopyRect(const Rect* src, Rect* dst);
TV_EXPORT ErrorCode M_CopyLRect(const LRect* src, LRect* dst);
TV_EXPORT ErrorCode M_CopyFixedRect(const FixedRect* src, FixedRect* dst);
TV_EXPORT ErrorCode M_CopyWHRect(const WHRect* src, WHRect* dst);
TV_EXPORT Boolean32 M_EqualRect(const Rect* a, const Rect* b);
TV_EXPORT Boolean32 M_EqualLRect(const LRect* a, const LRect* b);
TV_EXPORT Boolean32 M_EqualFixedRect(const FixedRect* a, const FixedRect* b);
TV_EXPORT Boolean32 M_EqualWHRect(const WHRect* a, const WHRect* b);
TV_EXPORT ErrorCode M_InsetRect(Rect* r, int16_t dh, int16_t dv);
TV_EXPORT ErrorCode M_InsetLRect(LRect* r, int32_t dh, int32_t dv);
TV_EXPORT ErrorCode M_InsetFixedRect(FixedRect* r, Fixed dh, Fixed dv);
TV_EXPORT ErrorCode M_OffsetRect(Rect* r, int16_t dh, int16_t dv);
TV_EXPORT ErrorCode M_OffsetLRect(LRect* r, int32_t dh, int32_t dv);
TV_EXPORT ErrorCode M_OffsetFixedRect(FixedRect* r, Fixed dh, Fixed dv);
// r keeps its size and is centred in bounds (halving towards minus infinity).
TV_EXPORT ErrorCode M_CenterRect(const Rect* bounds, Rect* r);
TV_EXPORT ErrorCode M_CenterLRect(const LRect* bounds, LRect* r);
TV_EXPORT ErrorCode M_CenterFixedRect(const FixedRect* bounds, FixedRect* r);
// True and the intersection when it is not empty; otherwise false and out
// (when not null) all zeros.
TV_EXPORT Boolean32 M_SectRect(const Rect* a, const Rect* b, Rect* out);
TV_EXPORT Boolean32 M_SectLRect(const LRect* a, const LRect* b, LRect* out);
TV_EXPORT Boolean32 M_SectFixedRect(const FixedRect* a, const FixedRect* b, FixedRect* out);
// The bounding rectangle of the non-empty ones of a and b; all zeros when both are empty.
TV_EXPORT ErrorCode M_UnionRect(const Rect* a, const Rect* b, Rect* out);
TV_EXPORT ErrorCode M_UnionLRect(const LRect* a, const LRect* b, LRect* out);
TV_EXPORT ErrorCode M_UnionFixedRect(const FixedRect* a, const FixedRect* b, FixedRect* out);
TV_EXPORT Boolean32 M_EmptyRect(const Rect* r);
TV_EXPORT Boolean32 M_EmptyLRect(const LRect* r);
TV_EXPORT Boolean32 M_EmptyFixedRect(const FixedRect* r);
// left <= h < right and top <= v < bottom.
TV_EXPORT Boolean32 M_PtInRect(const Point* p, const Rect* r);
TV_EXPORT Boolean32 M_PtInLRect(const LPoint* p, const LRect* r);
TV_EXPORT Boolean32 M_PtInFixedRect(const FixedPoint* p, const FixedRect* r);
TV_EXPORT ErrorCode M_Pt2Rect(const Point* p1, const Point* p2, Rect* r);
TV_EXPORT ErrorCode M_Pt2LRect(const LPoint* p1, const LPoint* p2, LRect* r);
TV_EXPORT ErrorCode M_Pt2FixedRect(const FixedPoint* p1, const FixedPoint* p2, FixedRect* r);
// Modes 0 to 8 (equal, wider-and-taller, at-least-as-large, the same two for
// b, strictly contains, contains, overlaps, overlaps-or-touches); other modes false.
TV_EXPORT Boolean32 M_RectCompare(int32_t mode, const Rect* a, const Rect* b);
TV_EXPORT Boolean32 M_LRectCompare(int32_t mode, const LRect* a, const LRect* b);
TV_EXPORT Boolean32 M_FixedRectCompare(int32_t mode, const FixedRect* a, const FixedRect* b);

// ---- Rectangle conversions ----
TV_EXPORT ErrorCode M_FixedRect2Rect(const FixedRect* src, Rect* dst);        // nearest
TV_EXPORT ErrorCode M_FixedRect2LRect(const FixedRect* src, LRect* dst);
TV_EXPORT ErrorCode M_FixedRect2RectIn(const FixedRect* src, Rect* dst);      // largest inside
TV_EXPORT ErrorCode M_FixedRect2LRectIn(const FixedRect* src, LRect* dst);
TV_EXPORT ErrorCode M_FixedRect2RectOut(const FixedRect* src, Rect* dst);     // smallest enclosing
TV_EXPORT ErrorCode M_FixedRect2LRectOut(const FixedRect* src, LRect* dst);
TV_EXPORT ErrorCode M_Rect2FixedRect(const Rect* src, FixedRect* dst);
TV_EXPORT ErrorCode M_LRect2FixedRect(const LRect* src, FixedRect* dst);

// ---- Matrices ("m" is changed in place; these answer 0 unless stated) ----
TV_EXPORT ErrorCode M_SetIdentityMatrix(FloatMatrix* m);
TV_EXPORT ErrorCode M_SetIdentityFixMatrix(FixMatrix* m);
TV_EXPORT ErrorCode M_EqualMatrix(const FloatMatrix* a, const FloatMatrix* b, Boolean32* equal);
TV_EXPORT ErrorCode M_EqualFixMatrix(const FixMatrix* a, const FixMatrix* b, Boolean32* equal);
// b becomes b x a: the transformation of b followed by that of a.
TV_EXPORT ErrorCode M_ConcatMatrix(const FloatMatrix* a, FloatMatrix* b);
TV_EXPORT ErrorCode M_ConcatFixMatrix(const FixMatrix* a, FixMatrix* b);
TV_EXPORT ErrorCode M_TranslateMatrix(FloatMatrix* m, FpLong tx, FpLong ty);
TV_EXPORT ErrorCode M_TranslateFixMatrix(FixMatrix* m, Fixed tx, Fixed ty);
TV_EXPORT ErrorCode M_RotateMatrix(FloatMatrix* m, FpLong degrees, FpLong cx, FpLong cy);
TV_EXPORT ErrorCode M_RotateFixMatrix(FixMatrix* m, Fixed degrees, Fixed cx, Fixed cy);
TV_EXPORT ErrorCode M_ScaleMatrix(FloatMatrix* m, FpLong sx, FpLong sy, FpLong cx, FpLong cy);
TV_EXPORT ErrorCode M_ScaleFixMatrix(FixMatrix* m, Fixed sx, Fixed sy, Fixed cx, Fixed cy);
TV_EXPORT ErrorCode M_Fix2FloatMatrix(const FixMatrix* fix, FloatMatrix* flt);
// 0x1102 (reported, fix untouched) when an element is out of range or not a number.
TV_EXPORT ErrorCode M_Float2FixMatrix(const FloatMatrix* flt, FixMatrix* fix);
TV_EXPORT ErrorCode M_GetMatrixType(const FloatMatrix* m, int32_t* type);
TV_EXPORT ErrorCode M_GetFixMatrixType(const FixMatrix* m, int32_t* type);
// 0x1107 when singular (inverse untouched); the quiet form does not report.
TV_EXPORT ErrorCode M_InverseMatrix(const FloatMatrix* m, FloatMatrix* inverse);
TV_EXPORT ErrorCode M_InverseMatrixQuiet(const FloatMatrix* m, FloatMatrix* inverse, Boolean32* singular);
TV_EXPORT ErrorCode M_InverseFixMatrix(const FixMatrix* m, FixMatrix* inverse);

// ---- Transformation of points, vectors and rectangles. A point whose result
// is out of range stops the operation with 0x1102 (reported); the points before
// it are transformed, it and the ones after it are untouched. ----
TV_EXPORT ErrorCode M_TransformFloatPoints(const FloatMatrix* m, int32_t n, FloatPoint* points);
TV_EXPORT ErrorCode M_TransformPoints(const FloatMatrix* m, int32_t n, Point* points);
TV_EXPORT ErrorCode M_FixTransformPoints(const FixMatrix* m, int32_t n, Point* points);
TV_EXPORT ErrorCode M_TransformFixPoints(const FloatMatrix* m, int32_t n, FixedPoint* points);
TV_EXPORT ErrorCode M_FixTransformFixPoints(const FixMatrix* m, int32_t n, FixedPoint* points);
// v' = v x m (full 3x3 product).
TV_EXPORT ErrorCode M_TransformVector3(const FloatMatrix* m, FpLong v[3]);
// v[0] and v[1] Fixed, v[2] Fract (the encodings of the matrix's columns);
// results truncated towards zero; the vector is written only when all three fit.
TV_EXPORT ErrorCode M_FixTransformFixVector3(const FixMatrix* m, int32_t v[3]);
// rect becomes the bounding box of its transformed corners. corners (when not
// null) receives eight doubles: the transformed top-left, top-right,
// bottom-right and bottom-left corners (x, y), in pixels also for the FixedRect
// forms; notRect (when not null) is true for matrix types 4 and 5.
TV_EXPORT ErrorCode M_TransformRect(const FloatMatrix* m, Rect* rect, FpLong* corners, Boolean32* notRect);
TV_EXPORT ErrorCode M_TransformFloatRect(const FloatMatrix* m, FloatRect* rect, FpLong* corners,
                                         Boolean32* notRect);
TV_EXPORT ErrorCode M_FixTransformRect(const FixMatrix* m, Rect* rect, FpLong* corners, Boolean32* notRect);
TV_EXPORT ErrorCode M_FixTransformFixRect(const FixMatrix* m, FixedRect* rect, FpLong* corners,
                                          Boolean32* notRect);
TV_EXPORT ErrorCode M_TransformFixRect(const FloatMatrix* m, FixedRect* rect, FpLong* corners,
                                       Boolean32* notRect);

// ---- Birth, death and the table services ----
// granted (optional) receives the bits of flags whose service was built. 12
// (reported) when M is alive; the string table's installation codes (M stays
// unborn). M is born even when a table cannot be built: then 4 for that table
// and 5 (reported) for the Gaussian service, which does not exist; granted
// tells what was built.
TV_EXPORT ErrorCode M_Birth(int32_t flags, int32_t* granted);
// 11 (reported) when M is not alive. Frees the tables.
TV_EXPORT ErrorCode M_Death(void);
// Bracket every use of a table. table: 256 floats. On the first prepare a
// purged table is rebuilt (unless noRebuild) and locked; when it is unavailable,
// available is false and, with report set, 4 is returned after a report.
// 0x1105 (reported) for a service M_Birth did not grant. Outputs are optional
// and false / null on failure. Unprepare: 3 (reported) without a prepare.
TV_EXPORT ErrorCode M_PrepareFTrig(Boolean32 report, Boolean32 noRebuild, Boolean32* available,
                                   const FpShort** table);
TV_EXPORT ErrorCode M_UnprepareFTrig(void);
// multiplyTable and divideTable: 256 x 256 bytes each, [a][b] with a major.
TV_EXPORT ErrorCode M_PrepareFCMD(Boolean32 report, Boolean32 noRebuild, Boolean32* available,
                                  const uint8_t** multiplyTable, const uint8_t** divideTable);
TV_EXPORT ErrorCode M_UnprepareFCMD(void);
// The handles holding the tables (null when not granted), for memory tests;
// both pointers must be valid. Always 0.
TV_EXPORT ErrorCode Mp_GetTableHandles(Handle* trig, Handle* charMath);

#ifdef __cplusplus
namespace tv::m {
// The entries of the 8-bit tables as arithmetic (a, b in 0 .. 255).
// mul[a][b] = (a * b + 127) / 255, computed without a division. For bytes
// a b + 128 <= 65153 and t + (t >> 8) <= 65407: the sums fit 16 bits, so
// the truncations change nothing and let a vectoriser use 16-bit lanes.
constexpr uint8_t Mul8(uint32_t a, uint32_t b) {
  const uint16_t t = static_cast<uint16_t>(a * b + 128);
  return static_cast<uint8_t>(static_cast<uint16_t>(t + (t >> 8)) >> 8);
}
// div[a][b] = (b * 255 + a / 2) / a for 0 < a and b <= a; 255 otherwise; div[0][0] = 0.
constexpr uint8_t Div8(uint32_t a, uint32_t b) {
  if (a == 0) return b == 0 ? 0 : 255;
  if (b > a) return 255;
  return static_cast<uint8_t>((b * 255 + a / 2) / a);
}
// Fills the two 8-bit tables (65536 bytes each, [a][b] with a major) by the
// literal formulas: multiply (a * b + 127) / 255, divide as Div8. The table
// service fills its tables with it, and so does anyone who keeps a copy.
void FillCharMathTables(uint8_t* multiply, uint8_t* divide);
// ceil(2^32 / a): a numerator below 2^16 times it, shifted down by 32, is the
// exact quotient by a (the error stays below 2^-16 < 1 / a).
constexpr uint64_t Div8Reciprocal(uint32_t a) { return a == 0 ? 0 : 0xFFFFFFFFull / a + 1; }
struct Div8Reciprocals {
  uint64_t r[256];
  constexpr Div8Reciprocals() : r() {
    for (uint32_t a = 0; a < 256; ++a) r[a] = Div8Reciprocal(a);
  }
};
inline constexpr Div8Reciprocals kDiv8Reciprocals{};
// The same as Div8 with a multiplication in place of the division.
constexpr uint8_t Div8Fast(uint32_t a, uint32_t b) {
  if (b > a) return 255;
  if (a == 0) return 0;
  return static_cast<uint8_t>((uint64_t{b * 255 + (a >> 1)} * kDiv8Reciprocals.r[a]) >> 32);
}
}  // namespace tv::m
#endif
