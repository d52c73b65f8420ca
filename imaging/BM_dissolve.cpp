// Dissolves: every pixel of a rectangle once, in the order of a maximal-
// length shift-register sequence, spread over a number of steps.
#include <algorithm>
#include <bit>

#include "BM_internal.h"

using namespace tv;
using namespace tv::bm;

namespace {

// Feedback masks of maximal-length registers in the right-shift form
// v = (v & 1) ? (v >> 1) ^ mask : v >> 1, by the register's width in bits.
// Widths beyond 20 are needed by rectangles of more than about a million
// pixels (1920 x 1080 needs 11 + 11 bits); a 16-bit rectangle needs at most 32.
constexpr uint32_t kFeedback[33] = {
    0,         0,         0,          0x5,        0x9,        0x12,       0x21,     0x41,      0x8E,
    0x108,     0x204,     0x402,      0x829,      0x100D,     0x2015,     0x4001,   0x8016,    0x10004,
    0x20013,   0x40013,   0x80004,    0x100002,   0x200001,   0x400010,   0x80000D, 0x1000004, 0x2000023,
    0x4000013, 0x8000004, 0x10000002, 0x20000029, 0x40000004, 0x80000057,
};

// Bits that number 0 .. count - 1 (count >= 1).
int32_t BitsFor(int32_t count) {
  return static_cast<int32_t>(std::bit_width(static_cast<uint32_t>(count - 1)));
}

int32_t Columns(const Rect& r) { return int32_t{r.right} - r.left; }
int32_t Rows(const Rect& r) { return int32_t{r.bottom} - r.top; }

// A state made by BM_InitDissolveState (so that stepping ends).
bool Consistent(const BM_DissolveState& s) {
  const int32_t cols = Columns(s.rect), rows = Rows(s.rect);
  if (cols <= 0 || rows <= 0 || s.steps < 1) return false;
  const int32_t bits = BitsFor(cols);
  return s.columnBits == bits && s.columnMask == (1u << bits) - 1 &&
         s.feedback == kFeedback[bits + BitsFor(rows)] &&
         s.pixelsLeft <= static_cast<uint64_t>(cols) * static_cast<uint64_t>(rows) && s.pixelsPerStep >= 1;
}

}  // namespace

ErrorCode BM_InitDissolveState(const Rect* rect, int32_t refA, int32_t refB, int32_t steps,
                               BM_DissolveState* state) {
  if (state) *state = BM_DissolveState{};
  if (ErrorCode err = CheckBorn(kSiteDissolve)) return err;
  if (!rect || !state) return kReport.BadParam(kSiteDissolve, {"BM_InitDissolveState"});
  const int32_t cols = Columns(*rect), rows = Rows(*rect);
  // An empty rectangle has nothing to dissolve, and no steps would divide by zero.
  if (cols <= 0 || rows <= 0)
    return kReport.Fail(kSiteDissolve, kErrBadParam, kStrDissolveRect, {cols, rows});
  if (steps < 1) return kReport.Fail(kSiteDissolve, kErrBadParam, kStrDissolveSteps, {steps});
  // At most 65535 x 65535 pixels: the count fits 32 bits.
  const uint64_t pixels = static_cast<uint64_t>(cols) * static_cast<uint64_t>(rows);
  const int32_t bits = BitsFor(cols);
  state->rect = *rect;
  state->refA = refA;
  state->refB = refB;
  state->steps = steps;
  state->stepsLeft = steps;
  state->pixelsPerStep = static_cast<uint32_t>((pixels - 1) / static_cast<uint64_t>(steps) + 1);
  state->columnBits = static_cast<int16_t>(bits);
  state->columnMask = (1u << bits) - 1;
  state->feedback = kFeedback[bits + BitsFor(rows)];
  state->next = 0;
  state->pixelsLeft = static_cast<uint32_t>(pixels);
  return 0;
}

ErrorCode BMp_DissolveStep(BM_DissolveState* state, BM_DissolvePixelProc proc, void* refcon,
                           uint32_t* visited) {
  if (visited) *visited = 0;
  if (ErrorCode err = CheckBorn(kSiteDissolve)) return err;
  if (!state || !proc || !Consistent(*state)) return kReport.BadParam(kSiteDissolve, {"BMp_DissolveStep"});
  if (state->stepsLeft <= 0) return 0;
  --state->stepsLeft;
  const uint32_t cols = static_cast<uint32_t>(Columns(state->rect));
  const uint32_t rows = static_cast<uint32_t>(Rows(state->rect));
  const uint32_t quota = std::min(state->pixelsPerStep, state->pixelsLeft);
  uint32_t count = 0;
  uint32_t v = state->next;
  while (count < quota) {
    const uint32_t x = v & state->columnMask;
    const uint32_t y = v >> state->columnBits;
    if (x < cols && y < rows) {
      proc(refcon, state->rect.left + static_cast<int32_t>(x), state->rect.top + static_cast<int32_t>(y));
      ++count;
    }
    // Number 0 comes first; tiny rectangles are numbered in order.
    if (state->feedback == 0 || v == 0)
      ++v;
    else
      v = (v & 1) ? (v >> 1) ^ state->feedback : v >> 1;
  }
  state->next = v;
  state->pixelsLeft -= count;
  if (visited) *visited = count;
  return 0;
}
