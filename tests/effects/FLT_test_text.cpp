// The Text effect: coverage against FreeType drawing the same glyphs at the
// positions HarfBuzz gives, shaping (ligatures, kerning, Arabic, Devanagari,
// mixed directions), font resolution, alignment and leading measured on the
// drawn pixels, characters shown, the stroke, and the glyph cache.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include <hb.h>

#include <algorithm>
#include <string>

#include "FLT_test_arbeffect.h"
#include "FLT_test_support.h"
#include "FLT_text.h"

namespace tv::test {
namespace {

namespace text = tv::flt::text;
using ::testing::HasSubstr;

constexpr const char* kDir = "/usr/share/fonts/truetype/dejavu/";
const std::string kSans = std::string(kDir) + "DejaVuSans.ttf";

// HarfBuzz and FreeType used directly, as the oracle.
struct Oracle {
  FT_Library lib = nullptr;
  FT_Face face = nullptr;
  hb_font_t* font = nullptr;
  Oracle(const std::string& file, double size) {
    FT_Init_FreeType(&lib);
    FT_New_Face(lib, file.c_str(), 0, &face);
    FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(size * 64), 72, 72);
    hb_blob_t* blob = hb_blob_create_from_file(file.c_str());
    hb_face_t* f = hb_face_create(blob, 0);
    font = hb_font_create(f);
    hb_font_set_scale(font, static_cast<int>(size * 64), static_cast<int>(size * 64));
    hb_face_destroy(f);
    hb_blob_destroy(blob);
  }
  ~Oracle() {
    hb_font_destroy(font);
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
  }
  // Glyph ids and advances of a text shaped in one run.
  std::vector<std::pair<uint32_t, int32_t>> Shape(const std::string& s) {
    hb_buffer_t* b = hb_buffer_create();
    hb_buffer_add_utf8(b, s.c_str(), -1, 0, -1);
    hb_buffer_guess_segment_properties(b);
    hb_shape(font, b, nullptr, 0);
    unsigned n = 0;
    const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(b, &n);
    const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(b, &n);
    std::vector<std::pair<uint32_t, int32_t>> out;
    for (unsigned i = 0; i < n; ++i) out.emplace_back(info[i].codepoint, pos[i].x_advance);
    hb_buffer_destroy(b);
    return out;
  }
  // Adds the glyph's coverage drawn with its origin at (x, y) (1/64 pixel).
  void Draw(uint32_t gid, int32_t x, int32_t y, std::vector<uint8_t>& alpha, int32_t w, int32_t h) {
    ASSERT_EQ(FT_Load_Glyph(face, gid, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP), 0);
    FT_Outline_Translate(&face->glyph->outline, x & 63, -(y & 63));
    ASSERT_EQ(FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL), 0);
    const FT_Bitmap& bm = face->glyph->bitmap;
    const int32_t left = (x >> 6) + face->glyph->bitmap_left, top = (y >> 6) - face->glyph->bitmap_top;
    for (int32_t r = 0; r < static_cast<int32_t>(bm.rows); ++r)
      for (int32_t c = 0; c < static_cast<int32_t>(bm.width); ++c) {
        const int32_t px = left + c, py = top + r;
        if (px < 0 || py < 0 || px >= w || py >= h) continue;
        uint8_t& a = alpha[static_cast<size_t>(py * w + px)];
        a = static_cast<uint8_t>(std::min(255, a + bm.buffer[r * bm.pitch + c]));
      }
  }
};

// Ink bounds of the alpha channel of ARGB pixels: {left, top, right, bottom} (exclusive), all -1 when blank.
std::vector<int32_t> Ink(const std::vector<uint8_t>& px, int32_t w, int32_t y0 = 0, int32_t y1 = 1 << 30) {
  std::vector<int32_t> b{INT32_MAX, INT32_MAX, -1, -1};
  const auto h = static_cast<int32_t>(px.size() / 4 / w);
  for (int32_t y = std::max(y0, 0); y < std::min(y1, h); ++y)
    for (int32_t x = 0; x < w; ++x)
      if (px[static_cast<size_t>(4 * (y * w + x))]) b = {std::min(b[0], x), std::min(b[1], y), std::max(b[2], x + 1),
                                                        std::max(b[3], y + 1)};
  return b[2] < 0 ? std::vector<int32_t>{-1, -1, -1, -1} : b;
}

class Text : public FLTFixture {
 protected:
  static constexpr int32_t kW = 320, kH = 160;
  void SetUp() override {
    FLTFixture::SetUp();
    parade_ = Keep(NewParade({Class(FLT_MatchText)}));
    ASSERT_EQ(FLT_GetParadeSeq(parade_, 0, &seq_), 0);
    SetData(FLT_TextParam_Font, kSans);
    Set(FLT_TextParam_CompositeOnOriginal, {0});
  }
  void SetData(int32_t param, const std::string& s) {
    Handle h = BytesHandle(s);
    ASSERT_EQ(FLTp_SeqSetArbitraryValue(seq_, param, h), 0);
    DisposeHandle(h);
  }
  void Set(int32_t param, std::initializer_list<double> v) { SetConstant(seq_, param, v); }
  std::vector<uint8_t> Draw(uint32_t seed = 0) {
    BM_World in = NewWorld(kW, kH, seed), out = NewWorld(kW, kH);
    EXPECT_EQ(Render(parade_, in, out, kW, kH), 0);
    std::vector<uint8_t> px = Pixels(out);
    BM_DisposeWorld(in);
    BM_DisposeWorld(out);
    return px;
  }
  FLT_Parade parade_ = nullptr;
  FLT_Sequence seq_ = nullptr;
};

TEST_F(Text, CoverageIsFreeTypesAtHarfBuzzPositions) {
  SetData(FLT_TextParam_Text, "Hg@");
  Set(FLT_TextParam_Size, {48});
  Set(FLT_TextParam_Alignment, {1});
  Set(FLT_TextParam_Offset, {-100.3, 10.7});
  Set(FLT_TextParam_Tracking, {100});  // a tenth of an em after each character
  const std::vector<uint8_t> px = Draw();
  Oracle o(kSans, 48);
  std::vector<uint8_t> want(kW * kH, 0);
  int32_t x = static_cast<int32_t>(std::lround((kW / 2 - 100.3) * 64)), y = static_cast<int32_t>(std::lround((kH / 2 + 10.7) * 64));
  for (auto [gid, advance] : o.Shape("Hg@")) {
    o.Draw(gid, x, y, want, kW, kH);
    x += advance + static_cast<int32_t>(std::lround(48 * 64 * 0.1));
  }
  int32_t differ = 0, inked = 0;
  for (int32_t i = 0; i < kW * kH; ++i) {
    differ += px[4 * i] != want[i];
    inked += want[i] != 0;
    if (px[4 * i]) {
      EXPECT_EQ(px[4 * i + 1], 255);  // white fill, straight alpha
    }
  }
  EXPECT_GT(inked, 500);
  EXPECT_EQ(differ, 0);
}

// Layouts through the engine's own fonts.
class TextLayout : public FLTFixture {
 protected:
  text::Layout Lay(const std::string& s, text::Direction d = text::Direction::Auto, const std::string& font = kSans) {
    text::FaceId face = 0;
    EXPECT_EQ(fonts.Resolve(font, &face), 0);
    text::Style st;
    st.text = s;
    st.font = font;
    st.size = 40;
    st.align = text::Align::Left;
    st.direction = d;
    text::Layout l;
    EXPECT_EQ(text::LayOut(fonts, face, st, &l), 0);
    return l;
  }
  std::vector<uint32_t> Gids(const text::Layout& l) {
    std::vector<uint32_t> g;
    for (const text::Glyph& x : l.glyphs) g.push_back(x.gid);
    return g;
  }
  text::Fonts fonts;
};

TEST_F(TextLayout, ScriptsShapedAsHarfBuzzShapesThem) {
  for (const std::string s : {"مرحبا بالعالم", "हिन्दी भाषा", "Ελληνικά"}) {
    const text::Layout l = Lay(s);
    ASSERT_FALSE(l.glyphs.empty());
    // The face the layout chose for the line (the font, or a fallback).
    Oracle o(fonts.File(l.glyphs[0].face), 40);
    std::vector<uint32_t> want;
    for (auto [gid, adv] : o.Shape(s)) want.push_back(gid);
    EXPECT_EQ(Gids(l), want) << s;
    for (size_t i = 1; i < l.glyphs.size(); ++i) EXPECT_GE(l.glyphs[i].x, l.glyphs[i - 1].x - 64 * 40) << s;
  }
}

TEST_F(TextLayout, MixedDirectionsInVisualOrder) {
  // A right-to-left word inside a left-to-right line keeps its place; the
  // line's glyphs run left to right, the Arabic word as HarfBuzz orders it.
  const std::string arabic = "مرحبا";
  Oracle o(kSans, 40);
  std::vector<uint32_t> word;
  for (auto [gid, adv] : o.Shape(arabic)) word.push_back(gid);
  const std::vector<uint32_t> latin1 = Gids(Lay("ab ")), latin2 = Gids(Lay(" cd"));
  std::vector<uint32_t> want = latin1;
  want.insert(want.end(), word.begin(), word.end());
  want.insert(want.end(), latin2.begin(), latin2.end());
  const text::Layout mixed = Lay("ab " + arabic + " cd");
  EXPECT_EQ(Gids(mixed), want);
  EXPECT_FALSE(mixed.lines[0].rtl);
  // From the text, an Arabic line is right to left: the Latin word comes
  // first in the text and last (rightmost) on the line.
  const text::Layout rtl = Lay(arabic + " ab");
  EXPECT_TRUE(rtl.lines[0].rtl);
  EXPECT_EQ(Gids(rtl).front(), latin1.front());
  EXPECT_EQ(Gids(rtl).back(), word.back());
  // Forced left to right, the same text starts with the Arabic word.
  EXPECT_EQ(Gids(Lay(arabic + " ab", text::Direction::LeftToRight)).front(), word.front());
}

TEST_F(TextLayout, FontsResolvedByFontconfig) {
  const struct {
    const char* name;
    const char* file;
  } cases[] = {
      {"DejaVu Sans", "DejaVuSans.ttf"},
      {"DejaVu Sans Bold", "DejaVuSans-Bold.ttf"},
      {"DejaVu Serif:bold", "DejaVuSerif-Bold.ttf"},
      {"DejaVu Sans Mono", "DejaVuSansMono.ttf"},
      {"/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf", "DejaVuSerif.ttf"},
  };
  for (const auto& c : cases) {
    text::FaceId face = 0;
    ASSERT_EQ(fonts.Resolve(c.name, &face), 0) << c.name;
    EXPECT_EQ(fonts.File(face), std::string(kDir) + c.file) << c.name;
  }
  // The generic families (the default "Sans" among them) are the faces the
  // configuration gives them, without a warning.
  const auto file = [&](const char* name) {
    text::FaceId face = 0;
    EXPECT_EQ(fonts.Resolve(name, &face), 0) << name;
    return fonts.File(face);
  };
  EXPECT_EQ(file("Sans"), file("sans-serif"));
  EXPECT_EQ(file("sans:bold"), file("Sans Bold"));
  EXPECT_NE(file("Sans Bold"), file("Sans"));
  EXPECT_NE(file("Monospace"), file("Serif"));
  EXPECT_TRUE(rec.reports.empty());
  // A missing font is a warning (once) and the default face.
  text::FaceId face = 0;
  for (int i = 0; i < 2; ++i) EXPECT_EQ(fonts.Resolve("No Such Font Family", &face), 0);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_THAT(rec.reports[0].text, HasSubstr("font \"No Such Font Family\" is not installed; \""));
  EXPECT_EQ(rec.reports[0].severity, kSevWarning);
}

TEST_F(Text, MissingFontAndUndrawableTextStillDraw) {
  SetData(FLT_TextParam_Font, "No Such Font Family");
  SetData(FLT_TextParam_Text, "\xF4\x8F\xBF\xBD\xF4\x8F\xBF\xBC");  // two private-use characters of plane 16
  for (int i = 0; i < 2; ++i) EXPECT_NE(Ink(Draw(), kW)[0], -1);  // boxes
  ASSERT_EQ(rec.reports.size(), 2u);
  EXPECT_THAT(rec.reports[0].text, HasSubstr("font \"No Such Font Family\" is not installed"));
  EXPECT_THAT(rec.reports[1].text, HasSubstr("no installed font can draw some characters of \""));
}

TEST_F(Text, AlignmentAndLeadingMeasured) {
  SetData(FLT_TextParam_Text, "HH\nHH");
  Set(FLT_TextParam_Size, {40});
  Set(FLT_TextParam_Leading, {150});
  Set(FLT_TextParam_Offset, {0, -30});
  const int32_t anchor = kW / 2;
  std::vector<std::vector<int32_t>> bounds;
  for (double align : {1, 2, 3}) {
    Set(FLT_TextParam_Alignment, {align});
    bounds.push_back(Ink(Draw(), kW));
  }
  // H's side bearings are equal: the ink sits as far inside the anchor on
  // the left as it stops short of it on the right, and centres on it.
  const int32_t bearing = bounds[0][0] - anchor;
  EXPECT_GT(bearing, 0);
  EXPECT_NEAR(anchor - bounds[2][2], bearing, 1);
  EXPECT_NEAR((bounds[1][0] + bounds[1][2]) / 2.0, anchor, 1);
  EXPECT_EQ(bounds[0][2] - bounds[0][0], bounds[2][2] - bounds[2][0]);
  // The second line's ink starts 150 % of 40 pixels below the first's.
  const std::vector<uint8_t> px = Draw();
  const std::vector<int32_t> first = Ink(px, kW, 0, kH / 2 - 5), second = Ink(px, kW, kH / 2 - 5);
  EXPECT_EQ(second[1] - first[1], 60);
}

TEST_F(Text, CompositesOverTheLayerAtItsOpacity) {
  SetData(FLT_TextParam_Text, "I");
  Set(FLT_TextParam_Size, {100});
  Set(FLT_TextParam_CompositeOnOriginal, {1});
  Set(FLT_TextParam_Opacity, {50});
  BM_World in = World(7, kW, kH), out = World(0, kW, kH);
  ASSERT_EQ(Render(parade_, in, out, kW, kH), 0);
  const std::vector<uint8_t> src = Pixels(in), px = Pixels(out);
  int32_t changed = 0;
  for (size_t i = 0; i < src.size(); i += 4) {
    if (std::equal(&src[i], &src[i] + 4, &px[i])) continue;
    ++changed;
    // Half the white over what was there: never below the layer's alpha.
    EXPECT_GE(px[i], src[i]);
  }
  EXPECT_GT(changed, 100);
}

TEST_F(Text, GlyphsCachedAndDrawnAgainAfterPurging) {
  SetData(FLT_TextParam_Text, "Cache me");
  Set(FLT_TextParam_StrokeWidth, {2});
  const std::vector<uint8_t> first = Draw();
  const int64_t handles = EMUL_LiveHandleCount();
  EXPECT_EQ(Draw(), first);
  EXPECT_EQ(EMUL_LiveHandleCount(), handles);  // every glyph came from the cache
  PurgeMem(0);
  EXPECT_EQ(Draw(), first);
}

TEST_F(Text, TextAndFontPrintAndScanAsTheirBytes) {
  const std::string s = "Line one\nجملة";
  Handle h = nullptr;
  ASSERT_EQ(FLT_ArbitraryScan(seq_, FLT_TextParam_Text, s.data(), static_cast<int32_t>(s.size()), &h), 0);
  EXPECT_EQ(HandleBytes(h), s);
  ASSERT_EQ(FLTp_SeqSetArbitraryValue(seq_, FLT_TextParam_Text, h), 0);
  DisposeHandle(h);
  char printed[64] = {};
  int32_t size = 0;
  ASSERT_EQ(FLT_ArbitraryPrintSize(seq_, FLT_TextParam_Text, nullptr, &size), 0);
  EXPECT_EQ(size, static_cast<int32_t>(s.size() + 1));
  ASSERT_EQ(FLT_ArbitraryPrint(seq_, FLT_TextParam_Text, nullptr, printed, sizeof printed), 0);
  EXPECT_EQ(printed, s);
  char deps[64] = {};
  Boolean32 depends = 0;
  ASSERT_EQ(FLT_CheckExternalDependencies(seq_, deps, sizeof deps, &depends), 0);
  EXPECT_EQ(std::string(deps), "Font: " + kSans);
}

}  // namespace
}  // namespace tv::test
