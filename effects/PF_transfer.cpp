// Transfer modes for the compositing code: the row functions, their
// descriptions and flags, the dissolve generator, and the rectangle
// compositing routines built on them.
#include <algorithm>
#include <cstring>

#include <vector>

#include "PF_transfer_kernels.h"
#include "RowBands.h"

namespace tv::pf {
namespace {

constexpr const char* kModeNames[PF_Xfer_Count] = {
    "copy",        "behind",         "normal",        "dissolve",        "add",           "multiply",
    "screen",      "overlay",        "soft light",    "hard light",      "darken",        "lighten",
    "difference",  "hue",            "saturation",    "colour",          "luminosity",    "alpha stencil",
    "luma stencil", "alpha cut-out", "luma cut-out",  "premultiplied over", "alpha add", "colour dodge",
    "colour burn", "exclusion"};

bool ValidMode(int32_t mode) { return mode >= 0 && mode < PF_Xfer_Count; }

// A mode outside 0..25 is refused before any table is indexed.
ErrorCode BadMode(int32_t mode) {
  return kReport.Fail(kSiteMode, kErrUnimplemented, kStrBadMode, {mode});
}

struct Job {
  PF_TransferFunc fn;
  PF_CompositeMode mode;
  const PF_MaskWorld* mask;
  bool premul;
  bool copySource;  // source and destination share memory
  uint8_t* maskRow;
  uint8_t* srcRow;
};

// One row segment: n pixels of src (null: transparent) onto dst at (x0, y).
ErrorCode Segment(Job& job, const uint8_t* src, uint8_t* dst, int32_t x0, int32_t y, int32_t n, uint32_t seed) {
  if (n <= 0) return 0;
  const uint8_t* m = nullptr;
  if (job.mask) {
    MaskRow(*job.mask, y, x0, n, job.maskRow);
    m = job.maskRow;
  }
  if (!src) {
    std::memset(job.srcRow, 0, 4 * static_cast<size_t>(n));
    src = job.srcRow;
  } else if (job.premul || job.copySource) {
    std::memcpy(job.srcRow, src, 4 * static_cast<size_t>(n));
    if (job.premul) PremulRow(job.srcRow, n, false);
    src = job.srcRow;
  }
  if (job.premul) PremulRow(dst, n, false);
  job.mode.seed = seed;
  ErrorCode err = job.fn(nullptr, n, &job.mode, src, m, dst);
  if (job.premul) PremulRow(dst, n, true);
  return err;
}

ErrorCode Transfer(int32_t routine, int32_t field, const Rect* srcRect, const PFWorld* src,
                   const PF_CompositeMode* mode, const PF_MaskWorld* mask, int32_t destH, int32_t destV,
                   PFWorld* dst, bool premul) {
  if (!mode) return BadParam(routine, "no composite mode");
  if (!ValidWorld(src)) return BadParam(routine, "source world");
  if (!ValidWorld(dst)) return BadParam(routine, "destination world");
  if (mask && !ValidWorld(&mask->world)) return BadParam(routine, "mask world");
  if (!ValidMode(mode->mode)) return BadMode(mode->mode);

  // The source rectangle, put in order and clipped to the source.
  Area s{0, 0, src->width, src->height};
  if (srcRect) {
    s.left = std::max<int32_t>(std::min(srcRect->left, srcRect->right), 0);
    s.right = std::min<int32_t>(std::max(srcRect->left, srcRect->right), src->width);
    s.top = std::max<int32_t>(std::min(srcRect->top, srcRect->bottom), 0);
    s.bottom = std::min<int32_t>(std::max(srcRect->top, srcRect->bottom), src->height);
  }
  // Where it lands, clipped to the destination (64-bit: offsets are free).
  const int64_t dl = int64_t{destH}, dt = int64_t{destV};
  const int64_t l = std::max<int64_t>(dl, 0), t = std::max<int64_t>(dt, 0);
  const int64_t r = std::min<int64_t>(dl + s.width(), dst->width);
  const int64_t b = std::min<int64_t>(dt + s.height(), dst->height);
  Area d;
  if (!s.empty() && r > l && b > t)
    d = Area{static_cast<int32_t>(l), static_cast<int32_t>(t), static_cast<int32_t>(r), static_cast<int32_t>(b)};
  const bool outside = (xfer::FlagsOf(mode->mode) & PF_XferFlag_OutsideSource) != 0;
  if (d.empty() && !outside) return 0;

  // A source that shares memory with the destination (the same world, or a
  // sub-world of it) is read through a copy of each row, and rows are visited
  // bottom-up when the rectangle moves down, so no pixel is read after it was
  // written.
  const auto* sBegin = reinterpret_cast<const uint8_t*>(src->data);
  const auto* dBegin = reinterpret_cast<const uint8_t*>(dst->data);
  const uint8_t* sEnd = sBegin + static_cast<ptrdiff_t>(src->rowBytes) * src->height;
  const uint8_t* dEnd = dBegin + static_cast<ptrdiff_t>(dst->rowBytes) * dst->height;
  const bool overlap = sBegin < dEnd && dBegin < sEnd;
  const bool bottomUp = overlap && dt > s.top;

  // Rows are independent unless the source shares memory with the
  // destination: then they stay on the calling thread, in their order. So
  // do the reference kernels, which bring the math package's tables in for
  // every row (package state, not for other threads).
  // Otherwise they are shared among the row threads (PFp_SetRowThreads), a
  // band of at least 32768 pixels each, every band with its own scratch rows;
  // the bytes are those of one thread.
  const int32_t y0 = outside ? 0 : d.top, y1 = outside ? dst->height : d.bottom;
  const int32_t width = std::max<int32_t>(outside ? dst->width : d.width(), 1);
  const int32_t bands =
      overlap || UseReference() ? 1 : platform::RowBandCount(y1 - y0, PFp_GetRowThreads(), std::max<int32_t>(16, 32768 / width));
  const Job proto{UseReference() ? ReferenceRow(mode->mode) : FastRow(mode->mode), *mode, mask, premul, overlap,
                  nullptr, nullptr};
  const size_t rowBytes = 4 * static_cast<size_t>(std::max<int32_t>(dst->width, 1));
  std::vector<ScratchArray<uint8_t>> scratch;
  scratch.reserve(2 * static_cast<size_t>(bands));
  for (int32_t b = 0; b < bands; ++b) {
    scratch.push_back(ScratchBytes(mask ? rowBytes : 0));
    scratch.push_back(ScratchBytes(rowBytes));
    if (!scratch[scratch.size() - 2].ok() || !scratch.back().ok())
      return kReport.Fail(static_cast<uint32_t>(routine), kErrOutOfMemory, kStrScratch);
  }

  // Per-row generator seeds: the mode's seed plus the left edge, advanced by
  // 12281 times the row number from row to row, so row r starts from
  // seed + left + 12281 r (r + 1) / 2 whatever order the rows are visited in.
  const uint32_t seed0 = mode->seed + static_cast<uint32_t>(d.left);
  auto band = [&](int32_t b, int32_t first, int32_t end) -> ErrorCode {
    Job job = proto;
    job.maskRow = scratch[2 * static_cast<size_t>(b)].data();
    job.srcRow = scratch[2 * static_cast<size_t>(b) + 1].data();
    for (int32_t i = first; i < end; ++i) {
      const int32_t row = bottomUp ? y1 - y0 - 1 - i : i;
      const int32_t y = y0 + row;
      const uint64_t r = static_cast<uint64_t>(row);
      const uint32_t seed = seed0 + static_cast<uint32_t>(12281u * (r * (r + 1) / 2));
      if (RowSkipped(field, y)) continue;
      uint8_t* drow = Row(dst, y);
      ErrorCode err = 0;
      if (y >= d.top && y < d.bottom) {
        const uint8_t* srow = Row(src, s.top + (y - static_cast<int32_t>(dt))) + 4 * (s.left + (d.left - dl));
        err = Segment(job, srow, drow + 4 * d.left, d.left, y, d.width(), seed);
        if (!err && outside) err = Segment(job, nullptr, drow, 0, y, d.left, seed);
        if (!err && outside) err = Segment(job, nullptr, drow + 4 * d.right, d.right, y, dst->width - d.right, seed);
      } else {
        err = Segment(job, nullptr, drow, 0, y, dst->width, seed);
      }
      if (err) return err;
    }
    return 0;
  };
  if (bands == 1) return band(0, 0, y1 - y0);
  std::vector<ErrorCode> errors(static_cast<size_t>(bands), 0);
  platform::ForRowBands(0, y1 - y0, bands, [&](int32_t b, int32_t first, int32_t end) {
    errors[static_cast<size_t>(b)] = band(b, first, end);
  });
  for (ErrorCode err : errors)
    if (err) return err;
  return 0;
}

ErrorCode Composite(const Rect* srcRect, int32_t opacity, const PFWorld* src, int32_t destH, int32_t destV,
                    int32_t field, int32_t mode, PFWorld* dst, bool premul) {
  PF_CompositeMode m{};
  m.mode = mode;
  m.opacity = static_cast<uint8_t>(std::clamp<int32_t>(opacity, 0, 255));
  return Transfer(kRtCompositeRect, field, srcRect, src, &m, nullptr, destH, destV, dst, premul);
}

}  // namespace

// The mask value of each destination pixel of one row segment, into byte 0
// of 4-byte entries: alpha, or luminance times alpha, inverted when asked;
// 0 outside the mask world.
void MaskRow(const PF_MaskWorld& mask, int32_t y, int32_t x0, int32_t n, uint8_t* out) {
  const PFWorld& w = mask.world;
  const int64_t my = int64_t{y} - mask.offset.v;
  const bool rowInside = my >= 0 && my < w.height;
  const PF_ColourTables& t = Tables();
  for (int32_t i = 0; i < n; ++i) {
    const int64_t mx = int64_t{x0} + i - mask.offset.h;
    uint32_t v = 0;
    if (rowInside && mx >= 0 && mx < w.width) {
      const uint8_t* px = Row(&w, static_cast<int32_t>(my)) + 4 * mx;
      v = px[0];
      if (mask.flags & PF_Mask_Luminance)
        v = ArithOps::M(uint32_t{t.lumR[px[1]]} + t.lumG[px[2]] + t.lumB[px[3]], v);
      if (mask.flags & PF_Mask_Invert) v = 255 - v;
    }  // outside the matte nothing is drawn, inverted or not
    out[4 * i] = static_cast<uint8_t>(v);
  }
}
}  // namespace tv::pf

using namespace tv;
using namespace tv::pf;

int32_t PF_Rand(uint32_t* seed) {
  // The generator adds the two products (a textbook minimal-standard step
  // would subtract); dissolve patterns depend on this exact sequence.
  const uint32_t s = *seed;
  uint32_t next = 48271u * (s % 44488u) + 3399u * (s / 44488u);
  if (next == 0) next = 0x7FFFFFFF;
  *seed = next;
  return static_cast<int32_t>((next >> 7) & 0x7FFF);
}

ErrorCode PF_GetTransferFunc(int32_t mode, PF_TransferFunc* func) {
  if (!func) return BadParam(kRtTransferFunc, "no function address");
  *func = nullptr;
  if (!ValidMode(mode)) return BadMode(mode);
  *func = UseReference() ? ReferenceRow(mode) : FastRow(mode);
  return 0;
}

ErrorCode PF_GetTransferDesc(int32_t mode, PF_TransferDesc* desc) {
  if (!desc) return BadParam(kRtTransferFunc, "no description");
  *desc = PF_TransferDesc{};
  if (!ValidMode(mode)) return BadMode(mode);
  *desc = PF_TransferDesc{mode, xfer::FlagsOf(mode), ReferenceRow(mode), FastRow(mode), kModeNames[mode]};
  return 0;
}

ErrorCode PF_GetTransferFlags(int32_t mode, uint32_t* flags) {
  if (!flags) return BadParam(kRtTransferFunc, "no flags");
  *flags = 0;
  if (!ValidMode(mode)) return BadMode(mode);
  *flags = xfer::FlagsOf(mode);
  return 0;
}

ErrorCode PF_BlendDescFunc(int32_t mode, PF_TransferDesc* desc, Boolean32* outsideSource) {
  if (outsideSource) *outsideSource = 0;
  if (ErrorCode err = PF_GetTransferDesc(mode, desc)) return err;
  if (outsideSource) *outsideSource = (desc->flags & PF_XferFlag_OutsideSource) ? 1 : 0;
  return 0;
}

ErrorCode PF_TransferRect(PF_EffectRef ref, int32_t quality, int32_t flags, int32_t field, const Rect* srcRect,
                          const PFWorld* src, const PF_CompositeMode* mode, const PF_MaskWorld* mask, int32_t destH,
                          int32_t destV, PFWorld* dst) {
  PF_TransferRectFunc fn = PFp_GetRoutineTable()->transferRect;
  if (!fn) fn = &PF_TransferRect_S;
  return fn(ref, quality, flags, field, srcRect, src, mode, mask, destH, destV, dst);
}

// Whole-pixel placement: quality and flags do not change the result.
ErrorCode PF_TransferRect_S(PF_EffectRef, int32_t, int32_t, int32_t field, const Rect* srcRect, const PFWorld* src,
                            const PF_CompositeMode* mode, const PF_MaskWorld* mask, int32_t destH, int32_t destV,
                            PFWorld* dst) {
  return Transfer(kRtTransferRect, field, srcRect, src, mode, mask, destH, destV, dst, false);
}

// Draft and best differ only in how a sub-pixel position would be sampled;
// rectangles are placed on whole pixels, so both give the same pixels.
ErrorCode PF_CompositeRectDraft_Straight(PF_EffectRef, const Rect* srcRect, int32_t opacity, const PFWorld* src,
                                         int32_t destH, int32_t destV, int32_t field, int32_t mode, PFWorld* dst) {
  return Composite(srcRect, opacity, src, destH, destV, field, mode, dst, false);
}
ErrorCode PF_CompositeRectDraft_Premul(PF_EffectRef, const Rect* srcRect, int32_t opacity, const PFWorld* src,
                                       int32_t destH, int32_t destV, int32_t field, int32_t mode, PFWorld* dst) {
  return Composite(srcRect, opacity, src, destH, destV, field, mode, dst, true);
}
ErrorCode PF_CompositeRectBest_Straight(PF_EffectRef, const Rect* srcRect, int32_t opacity, const PFWorld* src,
                                        int32_t destH, int32_t destV, int32_t field, int32_t mode, PFWorld* dst) {
  return Composite(srcRect, opacity, src, destH, destV, field, mode, dst, false);
}
ErrorCode PF_CompositeRectBest_Premul(PF_EffectRef, const Rect* srcRect, int32_t opacity, const PFWorld* src,
                                      int32_t destH, int32_t destV, int32_t field, int32_t mode, PFWorld* dst) {
  return Composite(srcRect, opacity, src, destH, destV, field, mode, dst, true);
}
