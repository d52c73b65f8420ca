// Guessing an interpretation from pixels: the alpha type from the first
// frame, the 3:2 pulldown from the field differences of the first frames.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "PIN_interp.h"
#include "PIN_internal.h"

namespace tv::pin {

PIN_AlphaInfo GuessAlphaFromPixels(const uint8_t* base, int32_t rowBytes, int32_t width, int32_t height,
                                   bool* unable) {
  *unable = false;
  int64_t clear = 0, white = 0, black = 0, solid = 0;
  int64_t histogram[3][256] = {};
  bool clearVaries = false, solidVaries = false, exceeds = false;
  uint32_t firstClear = 0, firstSolid = 0;
  int32_t minAlpha = 256;
  uint8_t least[3] = {};
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* p = base + static_cast<ptrdiff_t>(y) * rowBytes;
    for (int32_t x = 0; x < width; ++x, p += 4) {
      const uint32_t rgb = (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
      if (p[0] == 0) {
        if (clear++ == 0) firstClear = rgb;
        else if (rgb != firstClear) clearVaries = true;
        if (rgb == 0xFFFFFF) ++white;
        else if (rgb == 0) ++black;
        for (int c = 0; c < 3; ++c) ++histogram[c][p[1 + c]];
      } else {
        if (solid++ == 0) firstSolid = rgb;
        else if (rgb != firstSolid) solidVaries = true;
        if (p[0] < minAlpha) {
          minAlpha = p[0];
          std::memcpy(least, p + 1, 3);
        }
        if (p[1] > p[0] || p[2] > p[0] || p[3] > p[0]) exceeds = true;
      }
    }
  }
  PIN_AlphaInfo a{};
  a.marker = PIN_AlphaMarker;
  const auto premul = [&a](uint8_t r, uint8_t g, uint8_t b) {
    a.type = PIN_Alpha_Premul;
    a.flags = 1;
    a.red = r, a.green = g, a.blue = b;
    return a;
  };
  if (solid == 0) {
    *unable = true;
    a.type = PIN_Alpha_Ignore;
    return a;
  }
  if (white > 0 && white == clear && 255 - least[0] <= minAlpha && 255 - least[1] <= minAlpha &&
      255 - least[2] <= minAlpha)
    return premul(255, 255, 255);
  if (black > 0 && black == clear && !exceeds) return premul(0, 0, 0);
  if (clearVaries) return a;  // straight
  // A matte colour is only read from transparent pixels: a frame without
  // any (an opaque frame) says nothing of a matte and stays straight.
  if (solidVaries && clear > 0) {
    uint8_t mode[3] = {};
    for (int c = 0; c < 3; ++c) {
      int best = 0;
      for (int v = 1; v < 256; ++v)
        if (histogram[c][v] > histogram[c][best]) best = v;
      mode[c] = static_cast<uint8_t>(best);
    }
    bool near = true;
    for (int c = 0; c < 3; ++c) near = near && std::abs(int{mode[c]} - int{least[c]}) <= minAlpha;
    if (near) return premul(mode[0], mode[1], mode[2]);
  }
  return a;  // straight
}

void GuessPulldownFromDifferences(const uint64_t even[5], const uint64_t odd[5], uint32_t* fieldOrder,
                                  uint32_t* phase) {
  *fieldOrder = 0;
  *phase = 0;
  double mE = 0, mO = 0;
  int iE = 0, iO = 0;
  for (int i = 0; i < 5; ++i) {
    mE += static_cast<double>(even[i]) / 5;
    mO += static_cast<double>(odd[i]) / 5;
    if (even[i] < even[iE]) iE = i;
    if (odd[i] < odd[iO]) iO = i;
  }
  double vE = 0, vO = 0;
  for (int i = 0; i < 5; ++i) {
    vE += (static_cast<double>(even[i]) - mE) * (static_cast<double>(even[i]) - mE) / 5;
    vO += (static_cast<double>(odd[i]) - mO) * (static_cast<double>(odd[i]) - mO) / 5;
  }
  const double sE = std::sqrt(vE), sO = std::sqrt(vO);
  if (2 * sE <= std::fabs(mE - static_cast<double>(even[iE])) ||
      2 * sO <= std::fabs(mO - static_cast<double>(odd[iO])))
    return;
  const int d = std::abs(iE - iO);
  if (d == 0 || d == 1 || d == 4) return;
  if ((d == 2 && iE < iO) || (d == 3 && iE > iO)) {
    *fieldOrder = 1;
    *phase = static_cast<uint32_t>((5 - iE) % 5 + 1);
  } else {
    *fieldOrder = 2;
    *phase = static_cast<uint32_t>((5 - iO) % 5 + 1);
  }
}

void FieldDifferences(const uint8_t* a, int32_t aRowBytes, const uint8_t* b, int32_t bRowBytes, int32_t width,
                      int32_t height, uint64_t* even, uint64_t* odd) {
  *even = *odd = 0;
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* p = a + static_cast<ptrdiff_t>(y) * aRowBytes;
    const uint8_t* q = b + static_cast<ptrdiff_t>(y) * bRowBytes;
    uint64_t sum = 0;
    for (int32_t x = 0; x < width; ++x, p += 4, q += 4)
      sum += static_cast<uint64_t>(std::abs(p[1] - q[1]) + std::abs(p[2] - q[2]) + std::abs(p[3] - q[3]));
    (y % 2 == 0 ? *even : *odd) += sum;
  }
}

namespace {

// A 32-bit World of the footage's size for one guess.
struct GuessWorld {
  BM_World world = nullptr;
  ~GuessWorld() {
    if (world) BM_DisposeWorld(world);
  }
  ErrorCode Make(const SeqSpec& s) {
    const Rect bounds{0, 0, static_cast<int16_t>(s.height), static_cast<int16_t>(s.width)};
    return BM_NewWorld(nullptr, BM_Flag_Clear, &bounds, 32, 0, nullptr, &world);
  }
};

// Puts back what a guess changed in the SeqSpec, however it ends.
struct Restore {
  PIN_SeqSpecH seq;
  PIN_AlphaInfo alpha;
  PIN_FieldInfo field;
  uint32_t pulldown;
  explicit Restore(PIN_SeqSpecH h)
      : seq(h), alpha(Rec(h).alpha), field(Rec(h).field), pulldown(Rec(h).pulldown) {}
  ~Restore() {
    SeqSpec& s = Rec(seq);
    s.alpha = alpha, s.field = field, s.pulldown = pulldown;
  }
};

PIN_DrawParams FirstFrame() {
  PIN_DrawParams p{};
  p.time = Time{0, 1};
  return p;
}

}  // namespace
}  // namespace tv::pin

using namespace tv;
using namespace tv::pin;

ErrorCode PIN_GuessAlphaType(PIN_SeqSpecH seq, PIN_AlphaInfo* alpha, Boolean32* asked) {
  if (!alpha || !asked) return kReport.BadParam(kSiteInterp, {"PIN_GuessAlphaType"});
  *alpha = PIN_AlphaInfo{};
  *asked = 0;
  if (ErrorCode err = CheckSeq(seq, kSiteInterp)) return err;
  if (Rec(seq).depth != 32) {
    alpha->marker = PIN_AlphaMarker;
    alpha->type = PIN_Alpha_None;
    return 0;
  }
  GuessWorld w;
  if (ErrorCode err = w.Make(Rec(seq))) return err;
  PIN_AlphaInfo guess{};
  bool unable = false;
  {
    Restore restore(seq);
    SeqSpec& s = Rec(seq);
    // Drawn as the module has it: no conversion.
    if (s.nativeAlphaKnown) s.alpha = s.nativeAlpha;
    const PIN_DrawParams p = FirstFrame();
    if (ErrorCode err = PIN_DrawFrame(seq, w.world, &p)) return err;
    PixelLock px(w.world);
    if (!px.ok()) return px.error() ? px.error() : kErrBadParam;
    guess = GuessAlphaFromPixels(px.Row(0), px.rowBytes(), px.width(), px.height(), &unable);
  }
  if (unable) kReport.Note(kSiteInterp, kSevWarning, kTextAlphaGuess);
  *alpha = guess;
  return 0;
}

ErrorCode PIN_GuessPulldown(PIN_SeqSpecH seq, uint32_t* fieldOrder, uint32_t* phase, Boolean32* asked) {
  if (!fieldOrder || !phase || !asked) return kReport.BadParam(kSiteInterp, {"PIN_GuessPulldown"});
  *fieldOrder = *phase = 0;
  *asked = 0;
  if (ErrorCode err = CheckSeq(seq, kSiteInterp)) return err;
  const SeqSpec& s0 = Rec(seq);
  const Fixed rate = s0.effectiveRate ? s0.effectiveRate : s0.nativeRate;
  // Five differences need six frames; shorter footage (and footage without
  // time) has no cadence to find.
  if ((s0.moduleFlags & PIN_ModFlag_NoTime) || rate <= 0 || FrameCount(s0) < 6) return 0;
  GuessWorld a, b;
  if (ErrorCode err = a.Make(s0)) return err;
  if (ErrorCode err = b.Make(s0)) return err;
  uint64_t even[5] = {}, odd[5] = {};
  {
    Restore restore(seq);
    Rec(seq).field.separate = 0;
    Rec(seq).pulldown = 0;
    PIN_DrawParams p = FirstFrame();
    if (ErrorCode err = PIN_DrawFrame(seq, a.world, &p)) return err;
    for (int i = 0; i < 5; ++i) {
      p.time = FrameStart(i + 1, rate);
      if (ErrorCode err = PIN_DrawFrame(seq, b.world, &p)) return err;
      PixelLock pa(a.world), pb(b.world);
      if (!pa.ok() || !pb.ok()) return kErrBadParam;
      FieldDifferences(pa.Row(0), pa.rowBytes(), pb.Row(0), pb.rowBytes(), pa.width(), pa.height(), &even[i],
                       &odd[i]);
      std::swap(a.world, b.world);
    }
  }
  GuessPulldownFromDifferences(even, odd, fieldOrder, phase);
  return 0;
}
