// Feeds arbitrary bytes to the Text effect's layout and drawing: the first
// eight bytes choose the style (size, tracking, leading, alignment,
// direction, characters shown, stroke, offset), the rest is the text (any
// bytes, valid UTF-8 or not). A layout has one line per line break plus one
// and only glyphs of faces it opened; drawing into a small world stays in it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "FLT.h"
#include "FLT_text.h"
#include "FuzzSupport.h"

namespace text = tv::flt::text;

namespace {

text::Fonts* gFonts = nullptr;
text::GlyphCache* gCache = nullptr;
text::FaceId gFace = 0;
bool gReady = false;

void Release() {
  delete gCache;
  delete gFonts;
}

}  // namespace

// The fonts are opened before the inputs run: fontconfig's configuration and
// its ranking of fallback fonts are loaded once, here, not by the first input.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tv::fuzz::QuietEngine();
  if (FLT_Birth(0, 0, nullptr) != 0) return 0;
  gFonts = new text::Fonts;
  gCache = new text::GlyphCache;
  text::FaceId family = 0;
  bool covered = false;
  gReady = gFonts->Resolve("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", &gFace) == 0 &&
           gFonts->Resolve("DejaVu Sans", &family) == 0;
  if (gReady) gFonts->FaceFor(gFace, 0x0915, &covered);
  std::atexit(Release);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!gReady || size < 8 || size > 4096) return 0;
  text::Style st;
  st.text = std::string_view(reinterpret_cast<const char*>(data) + 8, size - 8);
  st.font = "DejaVu Sans";
  st.size = 1 + data[0] % 96;
  st.tracking = (static_cast<int8_t>(data[1])) * 8.0;
  st.leading = data[2];
  st.align = static_cast<text::Align>(1 + data[3] % 3);
  st.direction = static_cast<text::Direction>(1 + (data[3] >> 2) % 3);
  st.shown = data[4] % 101;
  st.x = static_cast<int8_t>(data[5]) + 64;
  st.y = static_cast<int8_t>(data[6]) + 32;
  text::Layout layout;
  if (text::LayOut(*gFonts, gFace, st, &layout) != 0) return 0;
  size_t breaks = 0;
  for (size_t i = 8; i < size; ++i) breaks += data[i] == '\n';
  if (layout.lines.size() < 1 || layout.lines.size() > breaks + 1 + (size - 8)) std::abort();
  for (const text::Glyph& g : layout.glyphs)
    if (gFonts->File(g.face).empty()) std::abort();
  constexpr int32_t kW = 128, kH = 64;
  std::vector<uint8_t> pixels(4 * kW * kH + 64, 0xA5);
  PFWorld world{};
  world.data = reinterpret_cast<char*>(pixels.data());
  world.rowBytes = 4 * kW;
  world.width = kW;
  world.height = kH;
  text::Paint paint{{255, 255, 255, 255}, {255, 0, 0, 0}, static_cast<double>(data[7] % 8), 100};
  text::Draw(*gFonts, *gCache, layout, paint, &world);
  for (size_t i = 4 * kW * kH; i < pixels.size(); ++i)
    if (pixels[i] != 0xA5) std::abort();
  return 0;
}
