// PIN's interpretation arithmetic on pixels and frame numbers, kept apart
// from the SeqSpec so it can be driven directly: alpha conversion between
// interpretations, the 3:2 pulldown cadence, and the row copies that
// rebuild a film frame or a field's frame.
#pragma once

#include <cstdint>

#include "PIN.h"

namespace tv::pin {

// Converts count ARGB pixels (byte 0 alpha) drawn in the module's native
// interpretation `from` to the SeqSpec's `to`; invert first inverts every
// alpha byte. Premultiplied means c' = c*a/255 + m*(255-a)/255 with the matte
// colour m; going back to straight clamps to 0..255 and leaves colour 0
// where alpha is 0.
void ConvertAlpha(const PIN_AlphaInfo& from, const PIN_AlphaInfo& to, bool invert, uint8_t* pixels,
                  int64_t count);

// What film frame n of footage with pulldown phase (1 to 5) is made of.
// The film frame lies at video frame m = n + n / 4 (five video frames for
// every four film frames); `first` and `second` are video frame indices:
// whole frames have first == second; a split frame is made of the second
// field of `first` (the earlier video frame) and the first field of
// `second` (the later one): the two fields the film frame left between them.
struct PulldownStep {
  int64_t first, second;
  bool split;
};
PulldownStep PulldownFor(uint32_t phase, int64_t filmFrame);

// The film rate of footage drawn at a video rate with pulldown removed
// (four fifths of it, rounded to nearest).
Fixed FilmRate(Fixed videoRate);

// Copies the rows of one parity (0: rows 0, 2, 4 ...; 1: rows 1, 3, 5 ...)
// from src into dst, both width x height ARGB.
void CopyRows(uint8_t* dst, int32_t dstRowBytes, const uint8_t* src, int32_t srcRowBytes, int32_t width,
              int32_t height, uint32_t parity);
// Rebuilds a whole frame from the rows of one parity: each row of the other
// parity becomes the mean of the kept rows around it (interpolate) or a
// copy of the kept row above it (the row below for the first row).
void FillOtherRows(uint8_t* pixels, int32_t rowBytes, int32_t width, int32_t height, uint32_t parity,
                   bool interpolate);

}  // namespace tv::pin

namespace tv::pin {

// The alpha interpretation that the pixels of a frame suggest (ARGB, byte 0
// alpha); *unable is set when no pixel has alpha above 0 (the guess is then
// "ignore").
PIN_AlphaInfo GuessAlphaFromPixels(const uint8_t* base, int32_t rowBytes, int32_t width, int32_t height,
                                   bool* unable);
// The pulldown that five differences of consecutive frames suggest, summed
// over the even rows (even) and the odd rows (odd): field order 0 none,
// 1 upper first, 2 lower first, and the phase.
void GuessPulldownFromDifferences(const uint64_t even[5], const uint64_t odd[5], uint32_t* fieldOrder,
                                  uint32_t* phase);
// The sums of |dR| + |dG| + |dB| between two frames over the even and the
// odd rows.
void FieldDifferences(const uint8_t* a, int32_t aRowBytes, const uint8_t* b, int32_t bRowBytes, int32_t width,
                      int32_t height, uint64_t* even, uint64_t* odd);

}  // namespace tv::pin
