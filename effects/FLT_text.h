// The Text effect's engine, shared by its files: fonts found through
// fontconfig and opened with FreeType and HarfBuzz, the layout of a text
// (lines, bidirectional runs, shaping, tracking, leading, alignment,
// characters shown), the cache of rendered glyph coverage, and the drawing
// of a laid-out text into a world.
//
// Units: positions and sizes inside a layout are in 1/64 pixel of the layer
// (x to the right, y down); a pen position is where a glyph's origin sits on
// its baseline.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "FLT_internal.h"
#include "Scratch.h"

struct FT_FaceRec_;
struct hb_font_t;

namespace tv::flt::text {

// The effect's parameters (also in FLT.h for hosts).
enum Param : int32_t {
  kText = FLT_TextParam_Text,
  kFont = FLT_TextParam_Font,
  kSize = FLT_TextParam_Size,
  kFill = FLT_TextParam_FillColour,
  kStroke = FLT_TextParam_StrokeColour,
  kStrokeWidth = FLT_TextParam_StrokeWidth,
  kTracking = FLT_TextParam_Tracking,
  kLeading = FLT_TextParam_Leading,
  kAlign = FLT_TextParam_Alignment,
  kDirection = FLT_TextParam_Direction,
  kOffset = FLT_TextParam_Offset,
  kShown = FLT_TextParam_CharactersShown,
  kOpacity = FLT_TextParam_Opacity,
  kComposite = FLT_TextParam_CompositeOnOriginal,
  kParamCount
};

enum class Align : int32_t { Left = 1, Centre = 2, Right = 3 };
enum class Direction : int32_t { Auto = 1, LeftToRight = 2, RightToLeft = 3 };

// A face the engine opened: its place in the engine's table.
using FaceId = uint16_t;

// ---- Fonts -------------------------------------------------------------------------
class Fonts {
 public:
  Fonts();
  ~Fonts();
  Fonts(const Fonts&) = delete;
  Fonts& operator=(const Fonts&) = delete;

  // The face a font name stands for: a font file (a path with a '/'), a
  // fontconfig pattern ("DejaVu Sans:bold"), a full name ("DejaVu Sans
  // Bold"), a family ("DejaVu Sans") or a family followed by a style. A name
  // no installed font answers is reported once as a warning and the
  // default sans-serif face is used; 0 when some face was found, else the
  // reported code (no usable font at all).
  ErrorCode Resolve(std::string_view name, FaceId* face);
  // The face that draws character c when the primary face has no glyph for
  // it: the first font fontconfig ranks for the primary face's pattern that
  // has one; the primary face itself (with *covered false) when none has.
  FaceId FaceFor(FaceId primary, uint32_t c, bool* covered);
  // The file and face index behind a face (for tests and dependencies).
  const std::string& File(FaceId face) const;
  int32_t Index(FaceId face) const;
  // The face set to a size (1/64 pixel per em); null when it cannot be.
  FT_FaceRec_* SizedFace(FaceId face, int32_t size26);
  // The HarfBuzz font of the face at a size (its scale in 1/64 pixel).
  hb_font_t* ShapingFont(FaceId face, int32_t size26);
  // Whether the face has a glyph for c.
  bool Has(FaceId face, uint32_t c);
  // Warns once per text (by its bytes and font) that some characters have
  // no glyph in any font.
  void WarnUndrawable(std::string_view text, std::string_view font);

 private:
  struct State;
  std::unique_ptr<State> s_;
};

// ---- Layout --------------------------------------------------------------------------
struct Style {
  std::string_view text;  // UTF-8; invalid bytes read as U+FFFD
  std::string_view font;
  double size = 60;       // pixels per em
  double tracking = 0;    // thousandths of an em added after each character
  double leading = 120;   // baseline to baseline, percent of the size
  Align align = Align::Centre;
  Direction direction = Direction::Auto;
  double x = 0, y = 0;    // the anchor: where the first baseline meets the alignment edge
  double shown = 100;     // percent of the characters shown, in the text's order
};

struct Glyph {
  FaceId face;
  uint32_t gid;
  int32_t x, y;        // pen position
  uint32_t cluster;    // byte offset in the text of the first character of its cluster
  int32_t character;   // that character's number among the text's characters (0 first)
  bool shown;
};

struct Line {
  uint32_t first, count;  // the line's glyphs, left to right
  int32_t width;          // advance width with tracking (1/64 pixel)
  int32_t left;           // pen x of the line's left edge
  int32_t baseline;       // pen y
  bool rtl;               // the paragraph direction
};

struct Layout {
  ScratchArray<Glyph> glyphs;
  ScratchArray<Line> lines;
  int32_t characters = 0;  // what "characters shown" counts
  int32_t size26 = 0;      // the size the glyphs are drawn at
  bool undrawable = false; // some character has a glyph in no font
};

// Lays out the text in the style (the layout is replaced). Codes: 4 out of
// memory (reported), or the font engine's failure (reported).
ErrorCode LayOut(Fonts& fonts, FaceId primary, const Style& style, Layout* out);

// ---- Glyph coverage ------------------------------------------------------------------
// The coverage of one glyph drawn at a pen position: rows of 8-bit coverage
// (exact area of the outline in each pixel), its top-left pixel in the layer.
struct Coverage {
  int32_t left, top, width, height;
  const uint8_t* rows;  // width bytes per row
};

// Rendered glyphs kept in purgeable handles of the memory manager (so they
// count against the memory budget and give way under pressure), keyed by
// face, size, glyph, stroke width and the pen's position within its pixel.
class GlyphCache {
 public:
  struct Key {
    FaceId face;
    uint8_t fx, fy;  // the pen's position within its pixel (1/64)
    uint32_t gid;
    int32_t size26;
    int32_t stroke26;
    bool operator==(const Key&) const = default;
  };
  struct Slot {
    Key key;
    Handle bits;     // a GlyphBits header, then the rows
    uint32_t used;   // the clock when last used
  };

  GlyphCache();
  ~GlyphCache();
  GlyphCache(const GlyphCache&) = delete;
  GlyphCache& operator=(const GlyphCache&) = delete;

  bool ok() const { return slots_.ok(); }
  // The coverage of glyph g (stroke26 0: its fill; else the glyph grown by
  // that stroke width). The handle is locked until Release. Codes: 4 (out of
  // memory, reported); a glyph FreeType cannot draw has empty coverage.
  ErrorCode Get(Fonts& fonts, const Glyph& g, int32_t size26, int32_t stroke26, Coverage* out);
  // Unlocks what Get locked since the last Release.
  void Release();
  // Forgets every glyph (the handles are disposed).
  void Clear();

 private:
  ScratchArray<Slot> slots_;
  ScratchArray<Handle> locked_;     // locked by Get until Release
  ScratchArray<Handle> temporary_;  // drawn for one frame only
  uint32_t clock_ = 0;
};

// ---- Drawing ------------------------------------------------------------------------
struct Paint {
  uint8_t fill[4];    // alpha, red, green, blue
  uint8_t stroke[4];
  double strokeWidth; // pixels; 0 draws no stroke
  double opacity;     // percent
};

// Draws the shown glyphs of the layout over the world (straight alpha):
// fill over stroke, the whole text at the opacity. Codes: 4 (reported).
ErrorCode Draw(Fonts& fonts, GlyphCache& cache, const Layout& layout, const Paint& paint, PFWorld* world);

// The effect's entry point (registered in FLT_builtin.cpp).
PF_Result Entry(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef* params[], PFWorld* output,
                void* extra);

}  // namespace tv::flt::text
