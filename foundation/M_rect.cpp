// Points and rectangles in their short, long and Fixed forms, and WHRect.
// One template serves the three forms; arithmetic is done in 64 bits and
// results saturate at the range of the field they go into.
#include <algorithm>
#include <limits>
#include <type_traits>

#include "M.h"

namespace tv::m {
namespace {

template <class T>
T Saturate(int64_t v) {
  constexpr int64_t lo = std::numeric_limits<T>::min();
  constexpr int64_t hi = std::numeric_limits<T>::max();
  return static_cast<T>(std::clamp(v, lo, hi));
}

template <class R>
using Field = std::remove_cvref_t<decltype(R::left)>;

template <class R>
void Set(R* r, int64_t left, int64_t top, int64_t right, int64_t bottom) {
  using F = Field<R>;
  r->left = Saturate<F>(left);
  r->top = Saturate<F>(top);
  r->right = Saturate<F>(right);
  r->bottom = Saturate<F>(bottom);
}

template <class R>
bool Equal(const R* a, const R* b) {
  return a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}

template <class R>
bool Empty(const R* r) {
  return r->right <= r->left || r->bottom <= r->top;
}

template <class R>
void Inset(R* r, int64_t dh, int64_t dv) {
  Set(r, int64_t{r->left} + dh, int64_t{r->top} + dv, int64_t{r->right} - dh, int64_t{r->bottom} - dv);
}

template <class R>
void Offset(R* r, int64_t dh, int64_t dv) {
  Set(r, int64_t{r->left} + dh, int64_t{r->top} + dv, int64_t{r->right} + dh, int64_t{r->bottom} + dv);
}

template <class R>
void Center(const R* bounds, R* r) {
  int64_t width = int64_t{r->right} - r->left;
  int64_t height = int64_t{r->bottom} - r->top;
  // Arithmetic halving: towards minus infinity.
  int64_t left = bounds->left + ((int64_t{bounds->right} - width - bounds->left) >> 1);
  int64_t top = bounds->top + ((int64_t{bounds->bottom} - height - bounds->top) >> 1);
  Set(r, left, top, left + width, top + height);
}

template <class R>
bool Sect(const R* a, const R* b, R* out) {
  R s;
  s.left = std::max(a->left, b->left);
  s.top = std::max(a->top, b->top);
  s.right = std::min(a->right, b->right);
  s.bottom = std::min(a->bottom, b->bottom);
  bool nonEmpty = !Empty(&s);
  if (out) {
    if (nonEmpty)
      *out = s;
    else
      Set(out, 0, 0, 0, 0);
  }
  return nonEmpty;
}

template <class R>
void Union(const R* a, const R* b, R* out) {
  // A rectangle takes part only when it is not empty by the general rule
  // (right <= left or bottom <= top): an inverted rectangle would otherwise
  // stretch the union to meaningless bounds.
  bool useA = !Empty(a);
  bool useB = !Empty(b);
  if (useA && useB) {
    R u;
    u.left = std::min(a->left, b->left);
    u.top = std::min(a->top, b->top);
    u.right = std::max(a->right, b->right);
    u.bottom = std::max(a->bottom, b->bottom);
    *out = u;
  } else if (useA) {
    *out = *a;
  } else if (useB) {
    *out = *b;
  } else {
    Set(out, 0, 0, 0, 0);
  }
}

template <class P, class R>
bool PtIn(const P* p, const R* r) {
  return r->left <= p->h && p->h < r->right && r->top <= p->v && p->v < r->bottom;
}

template <class P, class R>
void Pt2(const P* p1, const P* p2, R* r) {
  Set(r, std::min(p1->h, p2->h), std::min(p1->v, p2->v), std::max(p1->h, p2->h), std::max(p1->v, p2->v));
}

template <class R>
bool Compare(int32_t mode, const R* a, const R* b) {
  int64_t wa = int64_t{a->right} - a->left, ha = int64_t{a->bottom} - a->top;
  int64_t wb = int64_t{b->right} - b->left, hb = int64_t{b->bottom} - b->top;
  switch (mode) {
    case 0: return Equal(a, b);
    case 1: return wa > wb && ha > hb;
    case 2: return wa >= wb && ha >= hb;
    case 3: return wb > wa && hb > ha;
    case 4: return wb >= wa && hb >= ha;
    case 5:
      return a->left < b->left && a->top < b->top && a->right > b->right && a->bottom > b->bottom;
    case 6:
      return a->left <= b->left && a->top <= b->top && a->right >= b->right && a->bottom >= b->bottom;
    case 7:
      return std::max(a->left, b->left) < std::min(a->right, b->right) &&
             std::max(a->top, b->top) < std::min(a->bottom, b->bottom);
    case 8:
      return std::max(a->left, b->left) <= std::min(a->right, b->right) &&
             std::max(a->top, b->top) <= std::min(a->bottom, b->bottom);
    default: return false;
  }
}

// Conversions from Fixed, per coordinate, in 64 bits (no overflow near the
// ends of the Fixed range) and saturated into the destination.
int64_t Nearest(Fixed f) { return (int64_t{f} + 0x8000) >> 16; }
int64_t Up(Fixed f) { return (int64_t{f} + 0xFFFF) >> 16; }
int64_t Down(Fixed f) { return int64_t{f} >> 16; }

template <class R>
void FromFixed(const FixedRect* s, R* d, int64_t (*lt)(Fixed), int64_t (*rb)(Fixed)) {
  Set(d, lt(s->left), lt(s->top), rb(s->right), rb(s->bottom));
}

template <class R>
void ToFixed(const R* s, FixedRect* d) {
  // Whole values beyond the Fixed range saturate instead of wrapping.
  Set(d, int64_t{s->left} * 65536, int64_t{s->top} * 65536, int64_t{s->right} * 65536,
      int64_t{s->bottom} * 65536);
}

}  // namespace
}  // namespace tv::m

using namespace tv::m;

ErrorCode M_SetPt(Point* p, int16_t h, int16_t v) {
  p->h = h;
  p->v = v;
  return 0;
}
ErrorCode M_SetLPt(LPoint* p, int32_t h, int32_t v) {
  p->h = h;
  p->v = v;
  return 0;
}
ErrorCode M_SetFixedPt(FixedPoint* p, Fixed h, Fixed v) {
  p->h = h;
  p->v = v;
  return 0;
}
ErrorCode M_CopyPt(const Point* src, Point* dst) { return *dst = *src, 0; }
ErrorCode M_CopyLPt(const LPoint* src, LPoint* dst) { return *dst = *src, 0; }
ErrorCode M_CopyFixedPt(const FixedPoint* src, FixedPoint* dst) { return *dst = *src, 0; }
Boolean32 M_EqualPt(const Point* a, const Point* b) { return a->h == b->h && a->v == b->v; }
Boolean32 M_EqualLPt(const LPoint* a, const LPoint* b) { return a->h == b->h && a->v == b->v; }
Boolean32 M_EqualFixedPt(const FixedPoint* a, const FixedPoint* b) { return a->h == b->h && a->v == b->v; }

ErrorCode M_SetRect(Rect* r, int16_t left, int16_t top, int16_t right, int16_t bottom) {
  return Set(r, left, top, right, bottom), 0;
}
ErrorCode M_SetLRect(LRect* r, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  return Set(r, left, top, right, bottom), 0;
}
ErrorCode M_SetFixedRect(FixedRect* r, Fixed left, Fixed top, Fixed right, Fixed bottom) {
  return Set(r, left, top, right, bottom), 0;
}
ErrorCode M_SetWHRect(WHRect* r, int16_t left, int16_t top, int16_t width, int16_t height) {
  r->left = left;
  r->top = top;
  r->width = width;
  r->height = height;
  return 0;
}
ErrorCode M_CopyRect(const Rect* src, Rect* dst) { return *dst = *src, 0; }
ErrorCode M_CopyLRect(const LRect* src, LRect* dst) { return *dst = *src, 0; }
ErrorCode M_CopyFixedRect(const FixedRect* src, FixedRect* dst) { return *dst = *src, 0; }
ErrorCode M_CopyWHRect(const WHRect* src, WHRect* dst) { return *dst = *src, 0; }
Boolean32 M_EqualRect(const Rect* a, const Rect* b) { return Equal(a, b); }
Boolean32 M_EqualLRect(const LRect* a, const LRect* b) { return Equal(a, b); }
Boolean32 M_EqualFixedRect(const FixedRect* a, const FixedRect* b) { return Equal(a, b); }
Boolean32 M_EqualWHRect(const WHRect* a, const WHRect* b) {
  return a->left == b->left && a->top == b->top && a->width == b->width && a->height == b->height;
}
ErrorCode M_InsetRect(Rect* r, int16_t dh, int16_t dv) { return Inset(r, dh, dv), 0; }
ErrorCode M_InsetLRect(LRect* r, int32_t dh, int32_t dv) { return Inset(r, dh, dv), 0; }
ErrorCode M_InsetFixedRect(FixedRect* r, Fixed dh, Fixed dv) { return Inset(r, dh, dv), 0; }
ErrorCode M_OffsetRect(Rect* r, int16_t dh, int16_t dv) { return Offset(r, dh, dv), 0; }
ErrorCode M_OffsetLRect(LRect* r, int32_t dh, int32_t dv) { return Offset(r, dh, dv), 0; }
ErrorCode M_OffsetFixedRect(FixedRect* r, Fixed dh, Fixed dv) { return Offset(r, dh, dv), 0; }
ErrorCode M_CenterRect(const Rect* bounds, Rect* r) { return Center(bounds, r), 0; }
ErrorCode M_CenterLRect(const LRect* bounds, LRect* r) { return Center(bounds, r), 0; }
ErrorCode M_CenterFixedRect(const FixedRect* bounds, FixedRect* r) { return Center(bounds, r), 0; }
Boolean32 M_SectRect(const Rect* a, const Rect* b, Rect* out) { return Sect(a, b, out); }
Boolean32 M_SectLRect(const LRect* a, const LRect* b, LRect* out) { return Sect(a, b, out); }
Boolean32 M_SectFixedRect(const FixedRect* a, const FixedRect* b, FixedRect* out) { return Sect(a, b, out); }
ErrorCode M_UnionRect(const Rect* a, const Rect* b, Rect* out) { return Union(a, b, out), 0; }
ErrorCode M_UnionLRect(const LRect* a, const LRect* b, LRect* out) { return Union(a, b, out), 0; }
ErrorCode M_UnionFixedRect(const FixedRect* a, const FixedRect* b, FixedRect* out) {
  return Union(a, b, out), 0;
}
Boolean32 M_EmptyRect(const Rect* r) { return Empty(r); }
Boolean32 M_EmptyLRect(const LRect* r) { return Empty(r); }
Boolean32 M_EmptyFixedRect(const FixedRect* r) { return Empty(r); }
Boolean32 M_PtInRect(const Point* p, const Rect* r) { return PtIn(p, r); }
Boolean32 M_PtInLRect(const LPoint* p, const LRect* r) { return PtIn(p, r); }
Boolean32 M_PtInFixedRect(const FixedPoint* p, const FixedRect* r) { return PtIn(p, r); }
ErrorCode M_Pt2Rect(const Point* p1, const Point* p2, Rect* r) { return Pt2(p1, p2, r), 0; }
ErrorCode M_Pt2LRect(const LPoint* p1, const LPoint* p2, LRect* r) { return Pt2(p1, p2, r), 0; }
ErrorCode M_Pt2FixedRect(const FixedPoint* p1, const FixedPoint* p2, FixedRect* r) {
  return Pt2(p1, p2, r), 0;
}
Boolean32 M_RectCompare(int32_t mode, const Rect* a, const Rect* b) { return Compare(mode, a, b); }
Boolean32 M_LRectCompare(int32_t mode, const LRect* a, const LRect* b) { return Compare(mode, a, b); }
Boolean32 M_FixedRectCompare(int32_t mode, const FixedRect* a, const FixedRect* b) {
  return Compare(mode, a, b);
}

ErrorCode M_FixedRect2Rect(const FixedRect* s, Rect* d) { return FromFixed(s, d, Nearest, Nearest), 0; }
ErrorCode M_FixedRect2LRect(const FixedRect* s, LRect* d) { return FromFixed(s, d, Nearest, Nearest), 0; }
ErrorCode M_FixedRect2RectIn(const FixedRect* s, Rect* d) { return FromFixed(s, d, Up, Down), 0; }
ErrorCode M_FixedRect2LRectIn(const FixedRect* s, LRect* d) { return FromFixed(s, d, Up, Down), 0; }
ErrorCode M_FixedRect2RectOut(const FixedRect* s, Rect* d) { return FromFixed(s, d, Down, Up), 0; }
ErrorCode M_FixedRect2LRectOut(const FixedRect* s, LRect* d) { return FromFixed(s, d, Down, Up), 0; }
ErrorCode M_Rect2FixedRect(const Rect* s, FixedRect* d) { return ToFixed(s, d), 0; }
ErrorCode M_LRect2FixedRect(const LRect* s, FixedRect* d) { return ToFixed(s, d), 0; }
