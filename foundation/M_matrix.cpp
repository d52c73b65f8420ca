// 3x3 matrices in the floating (double) and fixed (Fixed/Fract) forms:
// identity, equality, concatenation, translation, rotation, scaling,
// classification, conversion and inversion.
#include <array>
#include <cmath>

#include "M_fixed_internal.h"

namespace tv::m {
namespace {

using M9 = std::array<double, 9>;

constexpr bool IsFract(int i) { return i == 2 || i == 5 || i == 8; }
constexpr double kFixedScale = 65536.0;
constexpr double kFractScale = 1073741824.0;  // 2^30

M9 Load(const FloatMatrix* m) {
  M9 r;
  for (int i = 0; i < 9; ++i) r[i] = m->m[i];
  return r;
}
void Store(const M9& r, FloatMatrix* m) {
  for (int i = 0; i < 9; ++i) m->m[i] = r[i];
}

// a x b for row vectors: the transformation of a followed by that of b.
M9 Multiply(const M9& a, const M9& b) {
  M9 r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      r[i * 3 + j] = a[i * 3] * b[j] + a[i * 3 + 1] * b[3 + j] + a[i * 3 + 2] * b[6 + j];
  return r;
}

constexpr M9 kIdentity = {1, 0, 0, 0, 1, 0, 0, 0, 1};

M9 FromFix(const FixMatrix* f) {
  M9 r;
  for (int i = 0; i < 9; ++i) r[i] = f->m[i] / (IsFract(i) ? kFractScale : kFixedScale);
  return r;
}

// Converts to the fixed form; reports 0x1102 and writes nothing when an
// element does not fit.
ErrorCode ToFix(const M9& v, FixMatrix* f) {
  FixMatrix out;
  for (int i = 0; i < 9; ++i) {
    double limit = IsFract(i) ? 2.0 : 32768.0;
    double scale = IsFract(i) ? kFractScale : kFixedScale;
    // Besides the range of the value, the rounded integer is checked: values
    // just below the upper bound round to 2^31, which does not fit; a value
    // that is not a number fails too.
    std::optional<int32_t> r;
    if (v[i] >= -limit && v[i] < limit) r = RoundAwayToInt32(v[i] * scale);
    if (!r) return ReportCode(kSiteMatrixConversion, M_ErrOverflow, "in matrix conversion");
    out.m[i] = *r;
  }
  *f = out;
  return 0;
}

int32_t Classify(bool projective, bool translating, bool scaling, bool rotating) {
  if (projective) return M_MatrixProjective;
  if (rotating) return M_MatrixGeneral;
  if (scaling) return translating ? M_MatrixScaleTranslate : M_MatrixScale;
  return translating ? M_MatrixTranslate : M_MatrixIdentity;
}

M9 Rotation(double degrees, double cx, double cy) {
  double a = std::fmod(degrees, 360.0) * 0.017453292519943295;
  double s = std::sin(a), c = std::cos(a);
  return {c, s, 0, -s, c, 0, cx * (1 - c) + cy * s, cy * (1 - c) - cx * s, 1};
}

// Gauss-Jordan elimination with partial pivoting on a copy; false when singular.
bool Invert(const M9& m, M9* inverse) {
  double a[3][3], b[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      a[i][j] = m[i * 3 + j];
      b[i][j] = i == j ? 1.0 : 0.0;
    }
  for (int col = 0; col < 3; ++col) {
    // Pivot: the remaining row with the largest magnitude; between equal
    // values, rows 0 and 1 give the later, any other pair the earlier row.
    int p = col;
    for (int r = col + 1; r < 3; ++r) {
      double x = std::fabs(a[r][col]), best = std::fabs(a[p][col]);
      if (x > best || (x == best && p == 0 && r == 1)) p = r;
    }
    double pivot = a[p][col];
    // A pivot that is not a number also counts as singular, so no result is
    // made of NaNs.
    if (!(std::fabs(pivot) >= 1e-20)) return false;
    if (p != col)
      for (int j = 0; j < 3; ++j) {
        std::swap(a[p][j], a[col][j]);
        std::swap(b[p][j], b[col][j]);
      }
    for (int j = 0; j < 3; ++j) {
      a[col][j] /= pivot;
      b[col][j] /= pivot;
    }
    for (int r = 0; r < 3; ++r) {
      if (r == col) continue;
      double f = a[r][col];
      if (f == 0.0) continue;
      for (int j = 0; j < 3; ++j) {
        a[r][j] -= f * a[col][j];
        b[r][j] -= f * b[col][j];
      }
    }
  }
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) (*inverse)[i * 3 + j] = b[i][j];
  return true;
}

// Applies op to the floating form of a fixed matrix and converts back.
template <class Op>
ErrorCode OnFix(FixMatrix* m, Op op) {
  M9 v = FromFix(m);
  v = op(v);
  return ToFix(v, m);
}

}  // namespace
}  // namespace tv::m

using namespace tv::m;

ErrorCode M_SetIdentityMatrix(FloatMatrix* m) { return Store(kIdentity, m), 0; }

ErrorCode M_SetIdentityFixMatrix(FixMatrix* m) {
  *m = FixMatrix{{tv::kFixedOne, 0, 0, 0, tv::kFixedOne, 0, 0, 0, tv::kFractOne}};
  return 0;
}

ErrorCode M_EqualMatrix(const FloatMatrix* a, const FloatMatrix* b, Boolean32* equal) {
  bool same = true;
  for (int i = 0; i < 9; ++i) same = same && a->m[i] == b->m[i];
  *equal = same;
  return 0;
}

ErrorCode M_EqualFixMatrix(const FixMatrix* a, const FixMatrix* b, Boolean32* equal) {
  bool same = true;
  for (int i = 0; i < 9; ++i) same = same && a->m[i] == b->m[i];
  *equal = same;
  return 0;
}

ErrorCode M_ConcatMatrix(const FloatMatrix* a, FloatMatrix* b) {
  Store(Multiply(Load(b), Load(a)), b);
  return 0;
}

ErrorCode M_ConcatFixMatrix(const FixMatrix* a, FixMatrix* b) {
  M9 fa = FromFix(a);
  return OnFix(b, [&](const M9& fb) { return Multiply(fb, fa); });
}

ErrorCode M_TranslateMatrix(FloatMatrix* m, FpLong tx, FpLong ty) {
  M9 t = kIdentity;
  t[6] = tx;
  t[7] = ty;
  Store(Multiply(Load(m), t), m);
  return 0;
}

ErrorCode M_TranslateFixMatrix(FixMatrix* m, Fixed tx, Fixed ty) {
  M9 t = kIdentity;
  t[6] = tx / kFixedScale;
  t[7] = ty / kFixedScale;
  return OnFix(m, [&](const M9& v) { return Multiply(v, t); });
}

ErrorCode M_RotateMatrix(FloatMatrix* m, FpLong degrees, FpLong cx, FpLong cy) {
  if (std::fmod(degrees, 360.0) == 0.0) return 0;
  Store(Multiply(Load(m), Rotation(degrees, cx, cy)), m);
  return 0;
}

ErrorCode M_RotateFixMatrix(FixMatrix* m, Fixed degrees, Fixed cx, Fixed cy) {
  double d = degrees / kFixedScale;
  if (std::fmod(d, 360.0) == 0.0) return 0;
  M9 r = Rotation(d, cx / kFixedScale, cy / kFixedScale);
  return OnFix(m, [&](const M9& v) { return Multiply(v, r); });
}

namespace {
M9 Scaling(double sx, double sy, double cx, double cy) {
  return {sx, 0, 0, 0, sy, 0, (1 - sx) * cx, (1 - sy) * cy, 1};
}
}  // namespace

ErrorCode M_ScaleMatrix(FloatMatrix* m, FpLong sx, FpLong sy, FpLong cx, FpLong cy) {
  if (sx == 1.0 && sy == 1.0) return 0;
  Store(Multiply(Load(m), Scaling(sx, sy, cx, cy)), m);
  return 0;
}

ErrorCode M_ScaleFixMatrix(FixMatrix* m, Fixed sx, Fixed sy, Fixed cx, Fixed cy) {
  if (sx == tv::kFixedOne && sy == tv::kFixedOne) return 0;
  M9 s = Scaling(sx / kFixedScale, sy / kFixedScale, cx / kFixedScale, cy / kFixedScale);
  return OnFix(m, [&](const M9& v) { return Multiply(v, s); });
}

ErrorCode M_Fix2FloatMatrix(const FixMatrix* fix, FloatMatrix* flt) { return Store(FromFix(fix), flt), 0; }

ErrorCode M_Float2FixMatrix(const FloatMatrix* flt, FixMatrix* fix) { return ToFix(Load(flt), fix); }

ErrorCode M_GetMatrixType(const FloatMatrix* m, int32_t* type) {
  const double* e = m->m;
  *type = Classify(e[2] != 0 || e[5] != 0 || e[8] != 1, e[6] != 0 || e[7] != 0, e[0] != 1 || e[4] != 1,
                   e[1] != 0 || e[3] != 0);
  return 0;
}

ErrorCode M_GetFixMatrixType(const FixMatrix* m, int32_t* type) {
  const int32_t* e = m->m;
  *type = Classify(e[2] != 0 || e[5] != 0 || e[8] != tv::kFractOne, e[6] != 0 || e[7] != 0,
                   e[0] != tv::kFixedOne || e[4] != tv::kFixedOne, e[1] != 0 || e[3] != 0);
  return 0;
}

ErrorCode M_InverseMatrixQuiet(const FloatMatrix* m, FloatMatrix* inverse, Boolean32* singular) {
  M9 inv;
  bool ok = Invert(Load(m), &inv);
  if (singular) *singular = !ok;
  if (!ok) return M_ErrSingularMatrix;
  Store(inv, inverse);
  return 0;
}

ErrorCode M_InverseMatrix(const FloatMatrix* m, FloatMatrix* inverse) {
  ErrorCode err = M_InverseMatrixQuiet(m, inverse, nullptr);
  if (err) return ReportCode(kSiteInverse, err, "");
  return 0;
}

ErrorCode M_InverseFixMatrix(const FixMatrix* m, FixMatrix* inverse) {
  M9 inv;
  if (!Invert(FromFix(m), &inv)) return ReportCode(kSiteInverse, M_ErrSingularMatrix, "");
  return ToFix(inv, inverse);
}
