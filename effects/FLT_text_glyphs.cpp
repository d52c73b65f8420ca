// Rendered glyphs of the Text effect: each glyph's coverage drawn by FreeType
// from its unhinted outline (grey antialiasing: the exact area of the outline
// in each pixel) at the pen's position within its pixel, optionally grown by
// a stroke, and kept in a purgeable handle. The table has a fixed number of
// slots in sets of eight; a full set gives up its least recently used glyph.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_STROKER_H

#include <cstring>

#include "FLT_text.h"

namespace tv::flt::text {
namespace {

constexpr size_t kWays = 8;
constexpr size_t kSets = 1024;

// The head of a glyph's block; the coverage rows follow.
struct GlyphBits {
  int32_t left, top;  // the top-left pixel relative to the pen's pixel
  int32_t width, height;
};

size_t SetOf(const GlyphCache::Key& k) {
  uint64_t h = 0x9E3779B97F4A7C15ull;
  auto mix = [&h](uint64_t v) {
    h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
    h *= 0xFF51AFD7ED558CCDull;
  };
  mix(k.face);
  mix(k.gid);
  mix((uint64_t{k.fx} << 8) | k.fy);
  mix(static_cast<uint32_t>(k.size26));
  mix(static_cast<uint32_t>(k.stroke26));
  return static_cast<size_t>(h >> 33) % kSets;
}

// Draws the glyph into h (resized); false when memory is short. A glyph
// FreeType cannot load or draw gets empty coverage.
bool Render(Fonts& fonts, const GlyphCache::Key& k, Handle h) {
  GlyphBits head{0, 0, 0, 0};
  FT_Glyph glyph = nullptr;
  FT_Face face = fonts.SizedFace(k.face, k.size26);
  if (face && FT_Load_Glyph(face, k.gid, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) == 0 &&
      face->glyph->format == FT_GLYPH_FORMAT_OUTLINE && FT_Get_Glyph(face->glyph, &glyph) == 0) {
    if (k.stroke26 > 0) {
      FT_Stroker stroker = nullptr;
      if (FT_Stroker_New(face->glyph->library, &stroker) == 0) {
        FT_Stroker_Set(stroker, k.stroke26, FT_STROKER_LINECAP_ROUND, FT_STROKER_LINEJOIN_ROUND, 0);
        // The outside border alone: the glyph grown by the stroke width.
        if (FT_Glyph_StrokeBorder(&glyph, stroker, 0, 1) != 0) glyph = nullptr;
        FT_Stroker_Done(stroker);
      } else {
        FT_Done_Glyph(glyph);
        glyph = nullptr;
      }
    }
    // FreeType's y goes up: the pen's offset within its pixel moves the
    // outline right and down.
    FT_Vector origin{k.fx, -static_cast<FT_Pos>(k.fy)};
    if (glyph && FT_Glyph_To_Bitmap(&glyph, FT_RENDER_MODE_NORMAL, &origin, 1) == 0) {
      const auto* bg = reinterpret_cast<FT_BitmapGlyph>(glyph);
      head = GlyphBits{bg->left, -bg->top, static_cast<int32_t>(bg->bitmap.width),
                       static_cast<int32_t>(bg->bitmap.rows)};
    }
  }
  const Size bytes = static_cast<Size>(sizeof head) + Size{head.width} * head.height;
  ReallocateHandle(h, bytes);
  if (MemError() || !*h || GetHandleSize(h) != bytes) {
    if (glyph) FT_Done_Glyph(glyph);
    return false;
  }
  auto* p = reinterpret_cast<uint8_t*>(*h);
  std::memcpy(p, &head, sizeof head);
  if (head.width > 0 && head.height > 0) {
    const auto* bg = reinterpret_cast<FT_BitmapGlyph>(glyph);
    for (int32_t y = 0; y < head.height; ++y)
      std::memcpy(p + sizeof head + static_cast<size_t>(y) * head.width,
                  bg->bitmap.buffer + static_cast<ptrdiff_t>(y) * bg->bitmap.pitch, static_cast<size_t>(head.width));
  }
  if (glyph) FT_Done_Glyph(glyph);
  return true;
}

}  // namespace

GlyphCache::GlyphCache() {
  if (slots_.Allocate(kWays * kSets, true)) std::memset(slots_.data(), 0, slots_.bytes());
}

GlyphCache::~GlyphCache() {
  Release();
  Clear();
}

void GlyphCache::Clear() {
  for (Slot& s : slots_) {
    if (s.bits) DisposeHandle(s.bits);
    s = Slot{};
  }
}

void GlyphCache::Release() {
  for (Handle h : locked_) HUnlock(h);
  locked_.Clear();
  for (Handle h : temporary_) DisposeHandle(h);
  temporary_.Clear();
}

ErrorCode GlyphCache::Get(Fonts& fonts, const Glyph& g, int32_t size26, int32_t stroke26, Coverage* out) {
  *out = Coverage{0, 0, 0, 0, nullptr};
  if (!ok()) return kReport.OutOfMemory(kSiteTextGlyph, kTextTextMemory, slots_.failedBytes());
  const Key key{g.face, static_cast<uint8_t>(g.x & 63), static_cast<uint8_t>(g.y & 63), g.gid, size26, stroke26};
  Slot* set = slots_.data() + SetOf(key) * kWays;
  Slot* slot = nullptr;
  for (size_t i = 0; i < kWays && !slot; ++i)
    if (set[i].bits && set[i].key == key) slot = &set[i];
  auto locked = [](Handle h) { return (HGetState(h) & 0x80) != 0; };
  if (!slot) {
    // An empty slot, else the least recently used glyph not drawn in this frame.
    for (size_t i = 0; i < kWays; ++i) {
      Slot& s = set[i];
      if (!s.bits) {
        slot = &s;
        break;
      }
      if (!locked(s.bits) && (!slot || s.used < slot->used)) slot = &s;
    }
    if (slot && slot->bits) {
      DisposeHandle(slot->bits);
      *slot = Slot{};
    }
  }
  Handle h = slot ? slot->bits : nullptr;
  if (!h || !*h) {
    // A new glyph, or one purged since: drawn again. When every slot of the
    // set holds a glyph of this frame, it is drawn aside for this frame only.
    if (!h) h = NewHandle(0);
    if (!h || !Render(fonts, key, h)) {
      if (h) DisposeHandle(h);
      if (slot) *slot = Slot{};
      return kReport.OutOfMemory(kSiteTextGlyph, kTextTextMemory, 0);
    }
    if (slot) {
      slot->bits = h;
      slot->key = key;
      HPurge(h);
    } else if (!temporary_.Push(h)) {
      DisposeHandle(h);
      return kReport.OutOfMemory(kSiteTextGlyph, kTextTextMemory, 0);
    }
  }
  if (!locked(h)) {
    if (!locked_.Push(h)) return kReport.OutOfMemory(kSiteTextGlyph, kTextTextMemory, 0);
    HLock(h);
  }
  if (slot) slot->used = ++clock_;
  GlyphBits head{};
  std::memcpy(&head, *h, sizeof head);
  out->left = (g.x >> 6) + head.left;
  out->top = (g.y >> 6) + head.top;
  out->width = head.width;
  out->height = head.height;
  out->rows = reinterpret_cast<const uint8_t*>(*h) + sizeof head;
  return 0;
}

}  // namespace tv::flt::text
