// Converting pixels between indexed worlds (depths 1 to 8) and 32-bit
// worlds through the indexed World's colour table.
#include <array>
#include <cstring>

#include "BM_color.h"
#include "Scratch.h"

using namespace tv;
using namespace tv::bm;

namespace {

// The colours (0xRRGGBB) of an indexed World's pixel values; values past the
// table are black. A World without a table (monochrome) reads 0 as white and
// 1 as black, like the standard table of its depth.
struct Palette {
  std::array<uint32_t, 256> rgb{};
  int32_t count = 0;  // values that have a table entry
};

Palette PaletteOf(const WorldRec& r) {
  Palette p;
  const int32_t values = 1 << r.depth;
  Handle t = WorldTable(r);
  if (platform::ColourTableEntries(t) >= 0) {
    std::span<const platform::ColourSpec> specs = platform::ColourTableSpecs(t);
    p.count = std::min(values, static_cast<int32_t>(specs.size()));
    for (int32_t i = 0; i < p.count; ++i)
      p.rgb[static_cast<size_t>(i)] = EntryOf(specs[static_cast<size_t>(i)]) >> 8;
  } else {
    p.count = values;
    for (int32_t i = 0; i < values; ++i) p.rgb[static_cast<size_t>(i)] = platform::StandardColour(r.depth, i);
  }
  return p;
}

// The 32-bit pixel value (as the offscreen layer stores it) of an opaque colour.
uint32_t Pixel32(uint32_t rgb, int32_t order) {
  if (order == BM_Order_BGRA)
    return ((rgb & 0xFF) << 24) | (((rgb >> 8) & 0xFF) << 16) | (((rgb >> 16) & 0xFF) << 8) | 0xFF;
  return 0xFF000000u | rgb;
}

uint32_t ColourOf(uint32_t pixel, int32_t order) {
  if (order == BM_Order_BGRA)
    return ((pixel >> 8) & 0xFF) << 16 | ((pixel >> 16) & 0xFF) << 8 | (pixel >> 24);
  return pixel & 0xFFFFFF;
}

// Finds table entries for colours: an exact colour gives its first entry;
// any other the entry nearest to the centre of its 5-5-5 cell, computed once
// per cell.
class InverseTable {
 public:
  explicit InverseTable(const Palette& p) : palette_(p) {}

  bool Allocate() {
    if (!exact_.Allocate(kSlots) || !cells_.Allocate(kCells)) return false;
    std::memset(exact_.data(), 0, kSlots * sizeof(uint32_t));
    std::memset(cells_.data(), 0xFF, kCells * sizeof(int16_t));
    for (int32_t i = 0; i < palette_.count; ++i) {
      const uint32_t rgb = palette_.rgb[static_cast<size_t>(i)];
      size_t slot = Hash(rgb);
      while (exact_[slot] != 0 && (exact_[slot] & 0xFFFFFF) != rgb) slot = (slot + 1) % kSlots;
      if (exact_[slot] == 0) {
        exact_[slot] = kUsed | rgb;
        index_[slot] = static_cast<uint8_t>(i);
      }
    }
    return true;
  }

  uint32_t Index(uint32_t rgb) {
    for (size_t slot = Hash(rgb); exact_[slot] != 0; slot = (slot + 1) % kSlots)
      if ((exact_[slot] & 0xFFFFFF) == rgb) return index_[slot];
    const size_t cell = ((rgb >> 9) & 0x7C00) | ((rgb >> 6) & 0x3E0) | ((rgb >> 3) & 0x1F);
    if (cells_[cell] < 0) cells_[cell] = static_cast<int16_t>(Nearest(cell));
    return static_cast<uint32_t>(cells_[cell]);
  }

 private:
  static constexpr size_t kSlots = 1024;
  static constexpr size_t kCells = 32768;
  static constexpr uint32_t kUsed = 0x1000000;

  static size_t Hash(uint32_t rgb) { return ((rgb * 2654435761u) >> 22) % kSlots; }

  int32_t Nearest(size_t cell) const {
    const auto centre = [&](size_t shift) { return static_cast<int32_t>(((cell >> shift) & 0x1F) << 3 | 4); };
    const int32_t r = centre(10), g = centre(5), b = centre(0);
    int32_t best = 0;
    int64_t bestDistance = INT64_MAX;
    for (int32_t i = 0; i < palette_.count; ++i) {
      const uint32_t c = palette_.rgb[static_cast<size_t>(i)];
      const int32_t dr = r - static_cast<int32_t>(c >> 16), dg = g - static_cast<int32_t>((c >> 8) & 0xFF),
                    db = b - static_cast<int32_t>(c & 0xFF);
      const int64_t d = int64_t{dr} * dr + int64_t{dg} * dg + int64_t{db} * db;
      if (d < bestDistance) {
        bestDistance = d;
        best = i;
      }
    }
    return best;
  }

  const Palette& palette_;
  ScratchArray<uint32_t> exact_;
  std::array<uint8_t, kSlots> index_{};
  ScratchArray<int16_t> cells_;
};

}  // namespace

ErrorCode BM_ConvertPixels(BM_World source, BM_World destination) {
  if (ErrorCode err = CheckWorld(source, kSiteConvert, kStrConvertSource)) return err;
  if (ErrorCode err = CheckWorld(destination, kSiteConvert, kStrConvertDestination)) return err;
  const WorldRec& s = *Rec(source);
  const WorldRec& d = *Rec(destination);
  const bool toDirect = s.depth <= 8 && d.depth == 32;
  if (!toDirect && !(s.depth == 32 && d.depth <= 8))
    return kReport.Fail(kSiteConvert, kErrBadParam, kStrConvertDepths, {int32_t{s.depth}, int32_t{d.depth}});
  if (s.width != d.width || s.height != d.height)
    return kReport.Fail(kSiteConvert, kErrBadParam, kStrConvertSize,
                        {int32_t{s.width}, int32_t{s.height}, int32_t{d.width}, int32_t{d.height}});
  const Palette palette = PaletteOf(toDirect ? s : d);
  InverseTable inverse(palette);
  if (!toDirect && !inverse.Allocate())
    return kReport.OutOfMemory(kSiteConvert, kStrConvertMemory, 1024 * 4 + 32768 * 2);
  PixelLock ls(source, kSiteConvert);
  if (ls.error()) return ls.error();
  PixelLock ld(destination, kSiteConvert);
  if (ld.error()) return ld.error();
  const plat::PixMap spm = MapOf(source), dpm = MapOf(destination);
  const int32_t dh = d.bounds.left - s.bounds.left, dv = d.bounds.top - s.bounds.top;
  if (toDirect) {
    std::array<uint32_t, 256> pixel{};
    for (size_t i = 0; i < pixel.size(); ++i)
      pixel[i] = Pixel32(static_cast<int32_t>(i) < palette.count ? palette.rgb[i] : 0, dpm.order);
    for (int32_t v = s.bounds.top; v < s.bounds.bottom; ++v)
      for (int32_t h = s.bounds.left; h < s.bounds.right; ++h)
        plat::SetPixelValue(dpm, h + dh, v + dv, pixel[plat::GetPixelValue(spm, h, v) & 0xFF]);
    return 0;
  }
  // Neighbouring pixels often share a colour: the last answer is kept.
  uint32_t lastRgb = UINT32_MAX, lastIndex = 0;
  for (int32_t v = s.bounds.top; v < s.bounds.bottom; ++v)
    for (int32_t h = s.bounds.left; h < s.bounds.right; ++h) {
      const uint32_t rgb = ColourOf(plat::GetPixelValue(spm, h, v), spm.order);
      if (rgb != lastRgb) {
        lastRgb = rgb;
        lastIndex = inverse.Index(rgb);
      }
      plat::SetPixelValue(dpm, h + dh, v + dv, lastIndex);
    }
  return 0;
}
