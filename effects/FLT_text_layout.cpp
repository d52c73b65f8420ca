// The layout of a text: one line per paragraph (lines end at line breaks),
// each line ordered by the bidirectional algorithm (FriBidi), split into runs
// of one direction, script and face (the chosen font, or a fallback for
// characters it lacks), each run shaped by HarfBuzz in the context of its
// line; then tracking, alignment about the anchor, leading between
// baselines and the characters shown.
#include <fribidi.h>
#include <hb.h>

#include <algorithm>
#include <cmath>

#include "FLT_text.h"

namespace tv::flt::text {
namespace {

constexpr uint32_t kReplacement = 0xFFFD;

// Decodes UTF-8; every byte of an invalid sequence reads as U+FFFD.
bool Decode(std::string_view s, ScratchArray<uint32_t>& cps, ScratchArray<uint32_t>& offsets) {
  cps.Clear();
  offsets.Clear();
  const auto* b = reinterpret_cast<const uint8_t*>(s.data());
  const size_t n = s.size();
  for (size_t i = 0; i < n;) {
    const uint8_t c = b[i];
    uint32_t cp = kReplacement;
    size_t len = 1;
    auto cont = [&](size_t k) { return i + k < n && (b[i + k] & 0xC0) == 0x80; };
    if (c < 0x80) {
      cp = c;
    } else if (c >= 0xC2 && c < 0xE0 && cont(1)) {
      cp = ((c & 0x1Fu) << 6) | (b[i + 1] & 0x3Fu);
      len = 2;
    } else if (c >= 0xE0 && c < 0xF0 && cont(1) && cont(2)) {
      cp = ((c & 0x0Fu) << 12) | ((b[i + 1] & 0x3Fu) << 6) | (b[i + 2] & 0x3Fu);
      len = 3;
      if (cp < 0x800 || (cp >= 0xD800 && cp < 0xE000)) cp = kReplacement, len = 1;
    } else if (c >= 0xF0 && c < 0xF5 && cont(1) && cont(2) && cont(3)) {
      cp = ((c & 0x07u) << 18) | ((b[i + 1] & 0x3Fu) << 12) | ((b[i + 2] & 0x3Fu) << 6) | (b[i + 3] & 0x3Fu);
      len = 4;
      if (cp < 0x10000 || cp > 0x10FFFF) cp = kReplacement, len = 1;
    }
    if (!cps.Push(cp == '\t' ? ' ' : cp) || !offsets.Push(static_cast<uint32_t>(i))) return false;
    i += len;
  }
  return true;
}

bool IsBreak(uint32_t c) { return c == '\n' || c == '\r' || c == 0x85 || c == 0x2028 || c == 0x2029; }

bool IsMark(hb_unicode_general_category_t g) {
  return g == HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK || g == HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK ||
         g == HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK;
}
// Characters drawn by no glyph of their own: their face is their neighbour's.
bool NeedsNoGlyph(hb_unicode_general_category_t g) {
  return g == HB_UNICODE_GENERAL_CATEGORY_CONTROL || g == HB_UNICODE_GENERAL_CATEGORY_FORMAT;
}

int32_t To26(double v) {
  const double r = std::floor(v * 64.0 + 0.5);
  return static_cast<int32_t>(std::clamp(r, -2.0e9, 2.0e9));
}

struct RunInfo {
  uint32_t start, length;  // in the line
  FaceId face;
  hb_script_t script;
  bool rtl;
  uint32_t visual;  // the run's first place in visual order
};

// Working arrays of one layout, reused line after line.
struct Work {
  ScratchArray<uint32_t> cps, offsets;
  ScratchArray<int32_t> character;
  ScratchArray<FriBidiCharType> types;
  ScratchArray<FriBidiBracketType> brackets;
  ScratchArray<FriBidiLevel> levels;
  ScratchArray<FriBidiStrIndex> map, place;
  ScratchArray<FaceId> faces;
  ScratchArray<hb_script_t> scripts;
  ScratchArray<RunInfo> runs;
  bool Size(size_t n) {
    return types.Resize(n) && brackets.Resize(n) && levels.Resize(n) && map.Resize(n) && place.Resize(n) &&
           faces.Resize(n) && scripts.Resize(n);
  }
};

class Shaper {
 public:
  Shaper(Fonts& fonts, FaceId primary, const Style& style, Layout& out, Work& w)
      : fonts_(fonts), primary_(primary), style_(style), out_(out), w_(w), buffer_(hb_buffer_create()) {}
  ~Shaper() { hb_buffer_destroy(buffer_); }

  ErrorCode Lay() {
    if (!hb_buffer_allocation_successful(buffer_)) return Memory();
    if (!Decode(style_.text, w_.cps, w_.offsets) || !w_.character.Resize(w_.cps.size())) return Memory();
    CountCharacters();
    const int32_t shown = static_cast<int32_t>(
        std::clamp(std::floor(out_.characters * std::clamp(style_.shown, 0.0, 100.0) / 100.0 + 0.5), 0.0,
                   static_cast<double>(out_.characters)));
    shown_ = shown;
    const int32_t leading = To26(out_.size26 / 64.0 * style_.leading / 100.0);
    const int32_t x = To26(style_.x), y = To26(style_.y);
    const size_t n = w_.cps.size();
    int32_t lineNo = 0;
    for (size_t start = 0;; ++lineNo) {
      size_t end = start;
      while (end < n && !IsBreak(w_.cps[end])) ++end;
      Line line{static_cast<uint32_t>(out_.glyphs.size()), 0, 0, 0, 0, false};
      line.baseline = static_cast<int32_t>(std::clamp(int64_t{y} + int64_t{lineNo} * leading, int64_t{-2000000000},
                                                      int64_t{2000000000}));
      if (ErrorCode err = ShapeLine(start, end - start, line)) return err;
      line.count = static_cast<uint32_t>(out_.glyphs.size()) - line.first;
      const int32_t shift = style_.align == Align::Left ? 0 : style_.align == Align::Right ? line.width : line.width / 2;
      line.left = x - shift;
      for (uint32_t i = line.first; i < line.first + line.count; ++i) {
        out_.glyphs[i].x += line.left;
        out_.glyphs[i].y += line.baseline;
      }
      if (!out_.lines.Push(line)) return Memory();
      if (end >= n) break;
      // "\r\n" is one break.
      start = end + ((w_.cps[end] == '\r' && end + 1 < n && w_.cps[end + 1] == '\n') ? 2 : 1);
    }
    return 0;
  }

 private:
  ErrorCode Memory() { return kReport.OutOfMemory(kSiteTextLayout, kTextTextMemory, 0); }

  // Characters as "characters shown" counts them: every character but line
  // breaks, a mark counted with the character it sits on.
  void CountCharacters() {
    hb_unicode_funcs_t* u = hb_unicode_funcs_get_default();
    int32_t count = 0;
    for (size_t i = 0; i < w_.cps.size(); ++i) {
      const uint32_t c = w_.cps[i];
      if (IsBreak(c)) {
        w_.character[i] = count;
        continue;
      }
      const bool mark = IsMark(hb_unicode_general_category(u, c)) && i > 0 && !IsBreak(w_.cps[i - 1]);
      w_.character[i] = mark ? std::max(count - 1, 0) : count++;
    }
    out_.characters = count;
  }

  ErrorCode ShapeLine(size_t start, size_t len, Line& line) {
    if (len == 0) return 0;
    if (len > 0x3FFFFFFF || !w_.Size(len)) return Memory();
    const uint32_t* cps = w_.cps.data() + start;
    // Directions.
    const auto flen = static_cast<FriBidiStrIndex>(len);
    fribidi_get_bidi_types(cps, flen, w_.types.data());
    fribidi_get_bracket_types(cps, flen, w_.types.data(), w_.brackets.data());
    FriBidiParType base = style_.direction == Direction::LeftToRight   ? FRIBIDI_PAR_LTR
                          : style_.direction == Direction::RightToLeft ? FRIBIDI_PAR_RTL
                                                                       : FRIBIDI_PAR_ON;
    if (!fribidi_get_par_embedding_levels_ex(w_.types.data(), w_.brackets.data(), flen, &base, w_.levels.data()))
      return Memory();
    for (size_t i = 0; i < len; ++i) w_.map[i] = static_cast<FriBidiStrIndex>(i);
    if (!fribidi_reorder_line(0, w_.types.data(), flen, 0, base, w_.levels.data(), nullptr, w_.map.data()))
      return Memory();
    for (size_t v = 0; v < len; ++v) w_.place[static_cast<size_t>(w_.map[v])] = static_cast<FriBidiStrIndex>(v);
    line.rtl = FRIBIDI_IS_RTL(base);
    // Faces and scripts.
    hb_unicode_funcs_t* u = hb_unicode_funcs_get_default();
    for (size_t i = 0; i < len; ++i) {
      const uint32_t c = cps[i];
      const hb_unicode_general_category_t g = hb_unicode_general_category(u, c);
      bool covered = true;
      if ((NeedsNoGlyph(g) || IsMark(g)) && i > 0) {
        w_.faces[i] = w_.faces[i - 1];
      } else {
        w_.faces[i] = fonts_.FaceFor(primary_, c, &covered);
        if (!covered && !NeedsNoGlyph(g) && g != HB_UNICODE_GENERAL_CATEGORY_SPACE_SEPARATOR)
          out_.undrawable = true;
      }
      w_.scripts[i] = hb_unicode_script(u, c);
    }
    // Characters of no script of their own take their neighbours'.
    hb_script_t last = HB_SCRIPT_INVALID;
    for (size_t i = 0; i < len; ++i) {
      const hb_script_t s = w_.scripts[i];
      if (s == HB_SCRIPT_COMMON || s == HB_SCRIPT_INHERITED || s == HB_SCRIPT_UNKNOWN) {
        w_.scripts[i] = last;
      } else {
        if (last == HB_SCRIPT_INVALID)
          for (size_t k = 0; k < i; ++k) w_.scripts[k] = s;
        last = s;
      }
    }
    // Runs, then their visual order.
    w_.runs.Clear();
    for (size_t i = 0; i < len;) {
      size_t j = i + 1;
      while (j < len && w_.levels[j] == w_.levels[i] && w_.faces[j] == w_.faces[i] && w_.scripts[j] == w_.scripts[i])
        ++j;
      uint32_t visual = UINT32_MAX;
      for (size_t k = i; k < j; ++k) visual = std::min(visual, static_cast<uint32_t>(w_.place[k]));
      const RunInfo r{static_cast<uint32_t>(i), static_cast<uint32_t>(j - i), w_.faces[i], w_.scripts[i],
                         (w_.levels[i] & 1) != 0, visual};
      if (!w_.runs.Push(r)) return Memory();
      i = j;
    }
    std::sort(w_.runs.begin(), w_.runs.end(), [](const RunInfo& a, const RunInfo& b) { return a.visual < b.visual; });
    // Shaping, run by run in visual order.
    const int32_t tracking = To26(out_.size26 / 64.0 * style_.tracking / 1000.0);
    int64_t pen = 0, lastTracking = 0;
    for (const RunInfo& r : w_.runs) {
      hb_buffer_clear_contents(buffer_);
      hb_buffer_add_codepoints(buffer_, cps, static_cast<int>(len), r.start, static_cast<int>(r.length));
      hb_buffer_set_direction(buffer_, r.rtl ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
      hb_buffer_set_script(buffer_, r.script == HB_SCRIPT_INVALID ? HB_SCRIPT_LATIN : r.script);
      hb_buffer_set_language(buffer_, hb_language_get_default());
      hb_font_t* font = fonts_.ShapingFont(r.face, out_.size26);
      hb_shape(font, buffer_, nullptr, 0);
      if (!hb_buffer_allocation_successful(buffer_)) return Memory();
      unsigned count = 0;
      const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer_, &count);
      const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buffer_, &count);
      for (unsigned g = 0; g < count; ++g) {
        const uint32_t at = static_cast<uint32_t>(start) + info[g].cluster;
        const int32_t ch = w_.character[at];
        Glyph glyph{r.face,
                    info[g].codepoint,
                    static_cast<int32_t>(std::clamp<int64_t>(pen + pos[g].x_offset, INT32_MIN / 2, INT32_MAX / 2)),
                    -pos[g].y_offset,
                    w_.offsets[at],
                    ch,
                    ch < shown_};
        if (!out_.glyphs.Push(glyph)) return Memory();
        pen += pos[g].x_advance;
        // Tracking follows each cluster (the glyphs of a ligature or of a
        // character and its marks stay together).
        lastTracking = 0;
        if (g + 1 == count || info[g + 1].cluster != info[g].cluster) {
          pen += tracking;
          lastTracking = tracking;
        }
      }
    }
    line.width = static_cast<int32_t>(std::clamp<int64_t>(pen - lastTracking, INT32_MIN / 2, INT32_MAX / 2));
    return 0;
  }

  Fonts& fonts_;
  FaceId primary_;
  const Style& style_;
  Layout& out_;
  Work& w_;
  hb_buffer_t* buffer_;
  int32_t shown_ = 0;
};

}  // namespace

ErrorCode LayOut(Fonts& fonts, FaceId primary, const Style& style, Layout* out) {
  out->glyphs.Clear();
  out->lines.Clear();
  out->characters = 0;
  out->undrawable = false;
  const double size = std::clamp(std::isfinite(style.size) ? style.size : 1.0, 1.0, 2000.0);
  out->size26 = To26(size);
  Work work;
  Shaper shaper(fonts, primary, style, *out, work);
  return shaper.Lay();
}

}  // namespace tv::flt::text
