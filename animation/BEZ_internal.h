// Inside the BEZ package: the numeric core over spans, report helpers and
// per-call work storage.
#pragma once

#include <cstddef>
#include <span>

#include "BEZ.h"
#include "Memory.h"

namespace tv::bez {

// Report sites (low byte of the location).
enum Site : uint32_t {
  kSiteEvaluate = 1,
  kSiteFunction = 2,
  kSiteNonDecreasing = 3,
  kSiteEase = 4,
  kSiteTimeRemap = 5,
  kSiteArcTable = 6,
  kSiteSFromT = 7,
  kSiteTFromS = 8,
  kSiteArcSpline = 9,
  kSiteTFromSSpline = 10,
  kSiteByDistance = 11,
  kSiteByCurvature = 12,
  kSiteFitMultiple = 13,
  kSiteFitOne = 14,
  kSiteFitError = 15,
  kSiteSubdivide = 16,
  kSiteDirectManip = 17,
  kSiteLinear = 18,
  kSiteAdaptive = 19,
};

// The text at index of BEZ's table (installed on first use).
const char* Str(int32_t index);
// Reports code (severity 8) with BEZ text `index` (or no text for index < 0).
ErrorCode Fail(Site site, ErrorCode code, int32_t index);
// Reports out of memory for `size` bytes named by BEZ text `index`.
ErrorCode OutOfMemory(Site site, int32_t index, uint64_t size);

// Checks the curve record: non-null, at least minDims dimensions, non-null
// control points. Reports and returns the failure.
ErrorCode CheckCurve(Site site, const BEZ_Curve* curve, int minDims);

// ---- Numeric core -------------------------------------------------------------
void EvalPoint(const BEZ_Curve& c, double t, double* out);
void Deriv(const BEZ_Curve& c, double t, double* out);
void Deriv2(const BEZ_Curve& c, double t, double* out);

// Coordinate values of a cubic at t, and its derivatives.
double Cubic1(double c0, double c1, double c2, double c3, double t);
double Cubic1D(double c0, double c1, double c2, double c3, double t);
double Cubic1D2(double c0, double c1, double c2, double c3, double t);

// The parameter at which a monotonic coordinate with control values c0..c3
// takes value v.
double SolveCoordinate(double c0, double c1, double c2, double c3, double v);

// dy/dx and d2y/dx2 of a two-dimensional function curve at t.
double SlopeAt(const BEZ_Curve& c, double t, int xi, int yi);
double Slope2At(const BEZ_Curve& c, double t);

// Arc tables.
void FillArcTable(const BEZ_Curve& c, std::span<BEZ_ArcSample> table);
double SFromTIn(std::span<const BEZ_ArcSample> table, double t);
double TFromSIn(std::span<const BEZ_ArcSample> table, double s);

// Growable storage owned by one call, allocated through the memory manager
// (never throws). Only trivially copyable element types.
template <class T>
class WorkArray {
 public:
  WorkArray() = default;
  WorkArray(const WorkArray&) = delete;
  WorkArray& operator=(const WorkArray&) = delete;
  ~WorkArray() {
    if (data_) DisposePtr(reinterpret_cast<Ptr>(data_));
  }
  // Makes room for n elements (contents kept); false when out of memory.
  bool Reserve(size_t n) {
    if (n <= capacity_) return true;
    size_t want = capacity_ ? capacity_ * 2 : 16;
    if (want < n) want = n;
    Ptr p = NewPtr(static_cast<Size>(want * sizeof(T)));
    if (!p) {
      failedBytes_ = want * sizeof(T);
      return false;
    }
    if (size_) BlockMove(data_, p, static_cast<Size>(size_ * sizeof(T)));
    if (data_) DisposePtr(reinterpret_cast<Ptr>(data_));
    data_ = reinterpret_cast<T*>(p);
    capacity_ = want;
    return true;
  }
  bool Resize(size_t n) {
    if (!Reserve(n)) return false;
    size_ = n;
    return true;
  }
  bool Push(const T& v) {
    if (!Reserve(size_ + 1)) return false;
    data_[size_++] = v;
    return true;
  }
  void Clear() { size_ = 0; }
  T* data() { return data_; }
  const T* data() const { return data_; }
  size_t size() const { return size_; }
  T& operator[](size_t i) { return data_[i]; }
  const T& operator[](size_t i) const { return data_[i]; }
  std::span<T> span() { return {data_, size_}; }
  std::span<const T> span() const { return {data_, size_}; }
  uint64_t failedBytes() const { return failedBytes_; }

 private:
  T* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
  uint64_t failedBytes_ = 0;
};

// Fitting. Results are appended to ctrl (shared control points) and breaks.
struct FitResult {
  WorkArray<BEZ_Point2> ctrl;
  WorkArray<int32_t> breaks;
};
ErrorCode FitChain(std::span<const BEZ_Point2> points, double tolerance, int32_t iterations, FitResult& out);
ErrorCode FitSingle(std::span<const BEZ_Point2> points, int32_t iterations, BEZ_Point2 ctpts[4],
                    double* error, Site site);
// Stores n points into *list (created when null with block size 32, emptied
// otherwise; a list of another item size is refused with code 2).
ErrorCode StorePoints(Site site, const BEZ_Point2* items, size_t n, LIST_Handle* list);
double MaxErrorAt(std::span<const BEZ_Point2> points, const BEZ_Point2 ctpts[4], std::span<const double> u,
                  int32_t* index);

}  // namespace tv::bez
