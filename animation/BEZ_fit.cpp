// Least-squares fitting of cubics to sampled two-dimensional points: one
// cubic with fixed end points, and chains of cubics by recursive splitting
// (chord-length parametrisation, fixed end tangents, Newton reparametrisation
// and a split at the point of largest error).
#include <cmath>
#include <cstring>

#include "BEZ_internal.h"

namespace tv::bez {
namespace {

using P2 = BEZ_Point2;

P2 Add(P2 a, P2 b) { return {a.x + b.x, a.y + b.y}; }
P2 Sub(P2 a, P2 b) { return {a.x - b.x, a.y - b.y}; }
P2 Scale(P2 a, double s) { return {a.x * s, a.y * s}; }
double Dot(P2 a, P2 b) { return a.x * b.x + a.y * b.y; }
double Dist(P2 a, P2 b) { return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y)); }
P2 Neg(P2 a) { return {-a.x, -a.y}; }

// The unit vector along v; coincident points give the zero vector.
P2 Unit(P2 v) {
  double len = std::sqrt(v.x * v.x + v.y * v.y);
  if (!(len > 0.0) || !std::isfinite(len)) return {0.0, 0.0};
  return {v.x / len, v.y / len};
}

P2 Q(const P2 c[4], double t) {
  return {Cubic1(c[0].x, c[1].x, c[2].x, c[3].x, t), Cubic1(c[0].y, c[1].y, c[2].y, c[3].y, t)};
}
P2 QD(const P2 c[4], double t) {
  return {Cubic1D(c[0].x, c[1].x, c[2].x, c[3].x, t), Cubic1D(c[0].y, c[1].y, c[2].y, c[3].y, t)};
}
P2 QD2(const P2 c[4], double t) {
  return {Cubic1D2(c[0].x, c[1].x, c[2].x, c[3].x, t), Cubic1D2(c[0].y, c[1].y, c[2].y, c[3].y, t)};
}

double B0(double u) { double s = 1.0 - u; return s * s * s; }
double B1(double u) { double s = 1.0 - u; return 3.0 * u * s * s; }
double B2(double u) { double s = 1.0 - u; return 3.0 * u * u * s; }
double B3(double u) { return u * u * u; }

// Chord-length parameters of d[0..n-1] into u[0..n-1]. Points that all
// coincide have no chord length; they get evenly spaced parameters instead
// of 0/0.
void ChordLength(std::span<const P2> d, double* u) {
  size_t n = d.size();
  u[0] = 0.0;
  for (size_t i = 1; i < n; ++i) u[i] = u[i - 1] + Dist(d[i], d[i - 1]);
  double total = u[n - 1];
  if (!(total > 0.0) || !std::isfinite(total)) {
    for (size_t i = 0; i < n; ++i) u[i] = n > 1 ? static_cast<double>(i) / static_cast<double>(n - 1) : 0.0;
    return;
  }
  for (size_t i = 1; i < n; ++i) u[i] /= total;
}

// The least-squares cubic through d[0] and d[n-1] whose handles run along
// tHat1 and tHat2.
void Generate(std::span<const P2> d, const double* u, P2 tHat1, P2 tHat2, P2 bez[4]) {
  size_t n = d.size();
  P2 first = d[0], last = d[n - 1];
  double C[2][2] = {{0.0, 0.0}, {0.0, 0.0}};
  double X[2] = {0.0, 0.0};
  for (size_t i = 0; i < n; ++i) {
    P2 a0 = Scale(tHat1, B1(u[i]));
    P2 a1 = Scale(tHat2, B2(u[i]));
    C[0][0] += Dot(a0, a0);
    C[0][1] += Dot(a0, a1);
    C[1][1] += Dot(a1, a1);
    P2 tmp = Sub(d[i], Add(Add(Scale(first, B0(u[i])), Scale(first, B1(u[i]))),
                           Add(Scale(last, B2(u[i])), Scale(last, B3(u[i])))));
    X[0] += Dot(a0, tmp);
    X[1] += Dot(a1, tmp);
  }
  C[1][0] = C[0][1];
  double detC0C1 = C[0][0] * C[1][1] - C[1][0] * C[0][1];
  double detC0X = C[0][0] * X[1] - C[1][0] * X[0];
  double detXC1 = X[0] * C[1][1] - X[1] * C[0][1];
  double alphaL = (detC0C1 == 0.0) ? 0.0 : detXC1 / detC0C1;
  double alphaR = (detC0C1 == 0.0) ? 0.0 : detC0X / detC0C1;
  double segLength = Dist(last, first);
  double epsilon = 1.0e-6 * segLength;
  bez[0] = first;
  bez[3] = last;
  // Handles that come out too short, pointing backwards or undefined fall
  // back to one third of the chord along the tangents.
  if (!(alphaL >= epsilon) || !(alphaR >= epsilon) || !std::isfinite(alphaL) || !std::isfinite(alphaR)) {
    double dist = segLength / 3.0;
    bez[1] = Add(first, Scale(tHat1, dist));
    bez[2] = Add(last, Scale(tHat2, dist));
    return;
  }
  bez[1] = Add(first, Scale(tHat1, alphaL));
  bez[2] = Add(last, Scale(tHat2, alphaR));
}

// One Newton-Raphson step of every parameter towards its closest curve point.
void Reparametrize(std::span<const P2> d, const double* u, const P2 bez[4], double* uPrime) {
  for (size_t i = 0; i < d.size(); ++i) {
    P2 diff = Sub(Q(bez, u[i]), d[i]);
    P2 q1 = QD(bez, u[i]);
    P2 q2 = QD2(bez, u[i]);
    double num = Dot(diff, q1);
    double den = Dot(q1, q1) + Dot(diff, q2);
    double next = (den == 0.0) ? u[i] : u[i] - num / den;
    uPrime[i] = std::isfinite(next) ? next : u[i];
  }
}

// The largest squared distance between d[i] and the curve at u[i], over the
// interior points (or all points), and where it occurs.
double MaxError(std::span<const P2> d, const double* u, const P2 bez[4], bool all, size_t* split) {
  size_t n = d.size();
  size_t from = all ? 0 : 1, to = all ? n : n - 1;
  double maxDist = 0.0;
  *split = all ? 0 : n / 2;
  for (size_t i = from; i < to; ++i) {
    P2 v = Sub(Q(bez, u[i]), d[i]);
    double dist = Dot(v, v);
    if (dist >= maxDist) {
      maxDist = dist;
      *split = i;
    }
  }
  return maxDist;
}

struct Task {
  size_t first, last;
  P2 tHat1, tHat2;
};

ErrorCode Emit(FitResult& out, const P2 bez[4], size_t first) {
  bool ok = true;
  if (out.ctrl.size() == 0) {
    ok = out.ctrl.Push(bez[0]);
  } else {
    ok = out.breaks.Push(static_cast<int32_t>(first));
  }
  for (int k = 1; ok && k < 4; ++k) ok = out.ctrl.Push(bez[k]);
  if (!ok) {
    uint64_t bytes = out.ctrl.failedBytes() ? out.ctrl.failedBytes() : out.breaks.failedBytes();
    return kReport.OutOfMemory(kSiteFitMultiple, BEZ_StrCurveName, bytes);
  }
  return 0;
}

}  // namespace

ErrorCode FitChain(std::span<const P2> d, double tolerance, int32_t iterations, FitResult& out) {
  out.ctrl.Clear();
  out.breaks.Clear();
  size_t n = d.size();
  if (n == 0) return 0;
  if (n == 1) {
    // A single sample: one piece that stays on it.
    P2 bez[4] = {d[0], d[0], d[0], d[0]};
    return Emit(out, bez, 0);
  }
  // The parameter values, one per input point (per call, so fits may nest).
  tv::ScratchArray<double> u, uPrime;
  if (!u.Resize(n) || !uPrime.Resize(n))
    return kReport.OutOfMemory(kSiteFitMultiple, BEZ_StrParameterValues, u.failedBytes() + uPrime.failedBytes());
  tv::ScratchArray<Task> stack;
  P2 tHat1 = Unit(Sub(d[1], d[0]));
  P2 tHat2 = Unit(Sub(d[n - 2], d[n - 1]));
  if (!stack.Push(Task{0, n - 1, tHat1, tHat2}))
    return kReport.OutOfMemory(kSiteFitMultiple, BEZ_StrParameterValues, stack.failedBytes());
  const double iterationError = tolerance * tolerance;
  // Pieces are produced left to right: the right half of a split waits on the
  // stack under its left half.
  while (stack.size() > 0) {
    Task task = stack[stack.size() - 1];
    stack.Resize(stack.size() - 1);
    std::span<const P2> part = d.subspan(task.first, task.last - task.first + 1);
    P2 bez[4];
    if (part.size() == 2) {
      double dist = Dist(part[1], part[0]) / 3.0;
      bez[0] = part[0];
      bez[1] = Add(part[0], Scale(task.tHat1, dist));
      bez[2] = Add(part[1], Scale(task.tHat2, dist));
      bez[3] = part[1];
      if (ErrorCode err = Emit(out, bez, task.first)) return err;
      continue;
    }
    double* uu = u.data();
    double* up = uPrime.data();
    ChordLength(part, uu);
    Generate(part, uu, task.tHat1, task.tHat2, bez);
    size_t split = 0;
    double maxError = MaxError(part, uu, bez, false, &split);
    bool done = maxError < tolerance;
    if (!done && maxError < iterationError) {
      for (int32_t i = 0; i < iterations && !done; ++i) {
        Reparametrize(part, uu, bez, up);
        Generate(part, up, task.tHat1, task.tHat2, bez);
        maxError = MaxError(part, up, bez, false, &split);
        done = maxError < tolerance;
        std::swap(uu, up);
      }
    }
    if (done) {
      if (ErrorCode err = Emit(out, bez, task.first)) return err;
      continue;
    }
    size_t center = task.first + split;
    P2 tHatCenter = Unit(Scale(Add(Sub(d[center - 1], d[center]), Sub(d[center], d[center + 1])), 0.5));
    if (!stack.Push(Task{center, task.last, Neg(tHatCenter), task.tHat2}) ||
        !stack.Push(Task{task.first, center, task.tHat1, tHatCenter}))
      return kReport.OutOfMemory(kSiteFitMultiple, BEZ_StrParameterValues, stack.failedBytes());
  }
  return 0;
}

double MaxErrorAt(std::span<const P2> points, const P2 ctpts[4], std::span<const double> u, int32_t* index) {
  size_t at = 0;
  double e = MaxError(points, u.data(), ctpts, true, &at);
  if (index) *index = static_cast<int32_t>(at);
  return e;
}

ErrorCode FitSingle(std::span<const P2> d, int32_t iterations, P2 bez[4], double* error, Site site) {
  size_t n = d.size();
  *error = 0.0;
  if (n == 1) {
    bez[0] = bez[1] = bez[2] = bez[3] = d[0];
    return 0;
  }
  P2 first = d[0], last = d[n - 1];
  bez[0] = first;
  bez[3] = last;
  // Handles at the thirds of the chord: the answer for two points, and the
  // fallback when the least-squares system has no unique solution.
  auto thirds = [&] {
    P2 chord = Sub(last, first);
    bez[1] = Add(first, Scale(chord, 1.0 / 3.0));
    bez[2] = Add(first, Scale(chord, 2.0 / 3.0));
  };
  if (n == 2) {
    thirds();
    return 0;
  }
  tv::ScratchArray<double> u, uPrime;
  if (!u.Resize(n) || !uPrime.Resize(n))
    return kReport.OutOfMemory(site, BEZ_StrParameterValues, u.failedBytes() + uPrime.failedBytes());
  double* uu = u.data();
  double* up = uPrime.data();
  ChordLength(d, uu);
  auto solve = [&](const double* params) {
    double a11 = 0, a12 = 0, a22 = 0;
    P2 r1{0, 0}, r2{0, 0};
    for (size_t i = 0; i < n; ++i) {
      double b0 = B0(params[i]), b1 = B1(params[i]), b2 = B2(params[i]), b3 = B3(params[i]);
      P2 r = Sub(d[i], Add(Scale(first, b0), Scale(last, b3)));
      a11 += b1 * b1;
      a12 += b1 * b2;
      a22 += b2 * b2;
      r1 = Add(r1, Scale(r, b1));
      r2 = Add(r2, Scale(r, b2));
    }
    double det = a11 * a22 - a12 * a12;
    if (!(std::fabs(det) > 1e-12 * a11 * a22) || !std::isfinite(det)) {
      thirds();
      return;
    }
    bez[1] = Scale(Sub(Scale(r1, a22), Scale(r2, a12)), 1.0 / det);
    bez[2] = Scale(Sub(Scale(r2, a11), Scale(r1, a12)), 1.0 / det);
  };
  solve(uu);
  for (int32_t i = 0; i < iterations; ++i) {
    Reparametrize(d, uu, bez, up);
    std::swap(uu, up);
    solve(uu);
  }
  size_t at = 0;
  *error = MaxError(d, uu, bez, true, &at);
  return 0;
}

}  // namespace tv::bez

using namespace tv::bez;

namespace {

// Copies n items into a list (created when null, emptied otherwise).
template <class T>
ErrorCode StoreList(Site site, const T* items, size_t n, int32_t blockSize, LIST_Handle* list) {
  if (!*list) {
    if (ErrorCode err = LIST_New(0, static_cast<int32_t>(sizeof(T)), blockSize, 1, list)) return err;
  } else {
    int32_t itemSize = 0;
    if (ErrorCode err = LIST_GetItemSize(*list, &itemSize)) return err;
    if (itemSize != static_cast<int32_t>(sizeof(T))) return kReport.Damaged(site);
  }
  if (ErrorCode err = LIST_SetNumItems(0, *list, 0)) return err;
  if (n == 0) return 0;
  if (ErrorCode err = LIST_SetNumItems(static_cast<int32_t>(n), *list, 0)) return err;
  void* at = nullptr;
  if (ErrorCode err = LIST_GetAddress(*list, 0, LIST_LockInPlace, &at)) return err;
  std::memcpy(at, items, n * sizeof(T));
  return LIST_Unlock(*list);
}

ErrorCode CheckPoints(Site site, const BEZ_Point2* points, int32_t n) {
  if (n < 0 || (n > 0 && !points)) return kReport.BadParam(site);
  return 0;
}

}  // namespace

namespace tv::bez {
ErrorCode StorePoints(Site site, const BEZ_Point2* items, size_t n, LIST_Handle* list) {
  return StoreList(site, items, n, 32, list);
}
}  // namespace tv::bez

ErrorCode BEZ_FitMultipleCurves(const BEZ_Point2* points, int32_t n, double tolerance, BEZ_List* pieces) {
  return BEZ_FitMultipleCurvesIterate(points, n, tolerance, 4, pieces, nullptr);
}

ErrorCode BEZ_FitMultipleCurvesIterate(const BEZ_Point2* points, int32_t n, double tolerance,
                                       int32_t iterations, BEZ_List* pieces, BEZ_List* breaks) {
  if (!pieces) return kReport.BadParam(kSiteFitMultiple);
  if (ErrorCode err = CheckPoints(kSiteFitMultiple, points, n)) return err;
  FitResult result;
  if (ErrorCode err = FitChain({points, static_cast<size_t>(n)}, tolerance, iterations, result)) return err;
  if (ErrorCode err = StoreList(kSiteFitMultiple, result.ctrl.data(), result.ctrl.size(), 32, pieces)) return err;
  if (breaks) return StoreList(kSiteFitMultiple, result.breaks.data(), result.breaks.size(), 32, breaks);
  return 0;
}

ErrorCode BEZ_FitOneCurve(const BEZ_Point2* points, int32_t n, BEZ_Point2 ctpts[4], double* error) {
  return BEZ_FitOneCurveIter(points, n, 10, ctpts, error);
}

ErrorCode BEZ_FitOneCurveIter(const BEZ_Point2* points, int32_t n, int32_t iterations, BEZ_Point2 ctpts[4],
                              double* error) {
  if (error) *error = 0.0;
  if (ctpts) std::memset(ctpts, 0, 4 * sizeof(BEZ_Point2));
  if (!ctpts || n < 1) return kReport.BadParam(kSiteFitOne);
  if (ErrorCode err = CheckPoints(kSiteFitOne, points, n)) return err;
  double e = 0.0;
  if (ErrorCode err = FitSingle({points, static_cast<size_t>(n)}, iterations, ctpts, &e, kSiteFitOne)) {
    std::memset(ctpts, 0, 4 * sizeof(BEZ_Point2));
    return err;
  }
  if (error) *error = e;
  return 0;
}

ErrorCode BEZ_FitOneCurveError(const BEZ_Point2* points, int32_t n, const BEZ_Point2 ctpts[4], double* error,
                               int32_t* index) {
  if (error) *error = 0.0;
  if (index) *index = tv::kNotFound;
  if (!ctpts || !error || n < 1) return kReport.BadParam(kSiteFitError);
  if (ErrorCode err = CheckPoints(kSiteFitError, points, n)) return err;
  tv::ScratchArray<double> u;
  if (!u.Resize(static_cast<size_t>(n))) return kReport.OutOfMemory(kSiteFitError, BEZ_StrParameterValues, u.failedBytes());
  std::span<const BEZ_Point2> d{points, static_cast<size_t>(n)};
  ChordLength(d, u.data());
  *error = MaxErrorAt(d, ctpts, u.span(), index);
  return 0;
}
