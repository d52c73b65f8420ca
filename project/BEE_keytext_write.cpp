// Keyframe text: writing a scrap as text for other applications ("TEXT"),
// or a lone mask path as an Encapsulated PostScript text ("AICB").
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

#include "BEE_keytext_internal.h"
#include "OM.h"

using namespace tv;
using namespace tv::bee;

namespace tv::bee {

// "%g": six significant digits, the shortest of fixed and exponent forms,
// always in the C locale (std::to_chars never looks at the locale).
void AppendNumber(std::string& out, double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
  out.append(buf, r.ptr);
}

void AppendWhole(std::string& out, int64_t v) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

namespace {

constexpr std::string_view kEol = "\r\n";

void Line(std::string& out, std::string_view text) {
  out += text;
  out += kEol;
}

void HeaderNumber(std::string& out, std::string_view key, double v) {
  out += '\t';
  out += key;
  out += '\t';
  AppendNumber(out, v);
  out += kEol;
}

void HeaderWhole(std::string& out, std::string_view key, int64_t v) {
  out += '\t';
  out += key;
  out += '\t';
  AppendWhole(out, v);
  out += kEol;
}

bool Written(const ScrapStream& s) {
  // Stream indices 0 and 1, every mask shape, the markers and other custom
  // data have no numeric text.
  if (s.custom || s.dimension <= 0) return false;
  if (s.index < BEE_StreamAnchorPoint || s.index == BEE_StreamMarker) return false;
  if (s.index >= BEE_StreamFirstMask && s.index < BEE_StreamFirstEffect &&
      (s.index - BEE_StreamFirstMask) % 3 == BEE_MaskStreamShape)
    return false;
  return true;
}

// A values row: a tab, the frame field, a tab, then each value and a tab.
ErrorCode Row(std::string& out, const BEE_ScrapRec& scrap, const ScrapStream& s, const double* frame,
              const double* raw) {
  double v[BEE_MaxStreamValues];
  std::memcpy(v, raw, sizeof v);
  ScrapToUser(scrap, s, v);
  out += '\t';
  if (frame) {
    // A frame that is not whole is written as a decimal.
    if (std::nearbyint(*frame) == *frame && std::fabs(*frame) < 9e15)
      AppendWhole(out, static_cast<int64_t>(*frame));
    else
      AppendNumber(out, *frame);
  }
  out += '\t';
  for (int32_t d = 0; d < s.dimension; ++d) {
    // Only finite numbers are written: the reader refuses anything else.
    if (!std::isfinite(v[d])) return Strange(kSiteKeyText, "value", d);
    AppendNumber(out, v[d]);
    out += '\t';
  }
  out += kEol;
  return 0;
}

ErrorCode Section(std::string& out, const BEE_ScrapRec& scrap, const ScrapStream& s) {
  if (s.effect.empty()) {
    Line(out, s.name);
  } else {
    out += s.effect;
    out += '\t';
    out += s.name;
    out += "\tEffect Parameter #";
    AppendWhole(out, s.param);
    out += '\t';
    out += kEol;
  }
  out += "\tFrame\t";
  for (const std::string& l : s.labels) {
    out += l;
    out += '\t';
  }
  out += kEol;
  TDB_StreamInfo info{};
  if (ErrorCode err = TDB_GetStreamInfo(s.stream, &info)) return err;
  double v[BEE_MaxStreamValues] = {};
  if (info.flags & TDB_StreamConstant) {
    if (ErrorCode err = TDB_GetKeyF(s.stream, 0, v)) return err;
    if (ErrorCode err = Row(out, scrap, s, nullptr, v)) return err;
  } else {
    for (int32_t k = 0; k < info.keyCount; ++k) {
      Time t = kInvalidTime;
      if (ErrorCode err = TDB_IndexToTime(s.stream, k, &t)) return err;
      if (ErrorCode err = TDB_GetKeyF(s.stream, k, v)) return err;
      const double frame = t.scale ? static_cast<double>(t.value) / t.scale * scrap.fps : 0;
      if (ErrorCode err = Row(out, scrap, s, &frame, v)) return err;
    }
  }
  out += kEol;
  return 0;
}

// The points of a mask path in PostScript: a moveto, one curveto per side
// (closed), closepath.
ErrorCode PathText(std::string& out, TDB_Stream stream) {
  Time zero{0, 1};
  OM_Shape shape = nullptr;
  if (ErrorCode err = OM_GetShape(stream, &zero, 0, &shape)) return err;
  struct Guard {
    OM_Shape s;
    ~Guard() { OM_DisposeShape(s); }
  } guard{shape};
  int32_t type = 0;
  uint32_t flags = 0;
  if (ErrorCode err = OM_GetShapeInfo(shape, &type, &flags, nullptr)) return err;
  if (flags & 1) return Strange(kSiteKeyText, "relative shape", 0);
  if (type != 2)
    if (ErrorCode err = OM_SetShapeType(2, shape)) return err;
  int32_t points = 0;
  OM_GetShapeInfo(shape, nullptr, nullptr, &points);
  std::vector<FixedPoint> p(static_cast<size_t>(points));
  if (points > 0)
    if (ErrorCode err = OM_ShapeGetValues(shape, 0, points, p.data())) return err;
  double l = 0, t = 0, r = 0, b = 0;
  for (size_t i = 0; i < p.size(); ++i) {
    const double x = p[i].h / 65536.0, y = p[i].v / 65536.0;
    if (i == 0 || x < l) l = x;
    if (i == 0 || x > r) r = x;
    if (i == 0 || y < t) t = y;
    if (i == 0 || y > b) b = y;
  }
  // Coordinates are written in their shortest exact form, so a path read
  // back is the same path.
  auto exact = [&](double v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
  };
  auto xy = [&](const FixedPoint& q) {
    exact(q.h / 65536.0);
    out += ' ';
    exact(q.v / 65536.0);
  };
  Line(out, "%!PS-Adobe-3.0 EPSF-3.0");
  out += "%%BoundingBox: ";
  AppendWhole(out, static_cast<int64_t>(std::floor(l)));
  out += ' ';
  AppendWhole(out, static_cast<int64_t>(std::floor(t)));
  out += ' ';
  AppendWhole(out, static_cast<int64_t>(std::ceil(r)));
  out += ' ';
  AppendWhole(out, static_cast<int64_t>(std::ceil(b)));
  out += kEol;
  out += "%%HiResBoundingBox: ";
  for (double x : {l, t, r}) {
    AppendNumber(out, x);
    out += ' ';
  }
  AppendNumber(out, b);
  out += kEol;
  Line(out, "%%DocumentProcSets:Quorral_Vellumor_ProcSet");
  Line(out, "%%EndComments");
  Line(out, "%%BeginProlog");
  Line(out, "%%EndProlog");
  Line(out, "%%BeginSetup");
  Line(out, "%%EndSetup");
  const size_t n = p.size() / 3;
  if (n > 0) {
    xy(p[0]);
    Line(out, " m");
    for (size_t k = 0; k < n; ++k) {
      const FixedPoint& next = p[((k + 1) % n) * 3];
      const FixedPoint& in = p[k * 3 + 2];
      xy(p[k * 3 + 1]);
      out += ' ';
      xy(in);
      out += ' ';
      xy(next);
      Line(out, " c");
    }
    Line(out, "h");
  }
  Line(out, "%%Trailer");
  Line(out, "%%EOF");
  return 0;
}

bool LonePath(const BEE_ScrapRec& scrap) {
  if (scrap.kind != BEE_ScrapKeyframes || scrap.streams.size() != 1) return false;
  const ScrapStream& s = scrap.streams[0];
  return s.index >= BEE_StreamFirstMask && s.index < BEE_StreamFirstEffect &&
         (s.index - BEE_StreamFirstMask) % 3 == BEE_MaskStreamShape && s.custom;
}

}  // namespace

ErrorCode WriteKeyText(const BEE_ScrapRec& scrap, std::string& out) {
  out.clear();
  if (scrap.kind != BEE_ScrapKeyframes) {
    out = kReport.Text(kTextNotKeyScrap);
    return 0;
  }
  Line(out, kKeyHeader);
  out += kEol;
  HeaderNumber(out, kKeyUnitsPerSecond, scrap.fps);
  // A source without a picture (sound) is 0 x 0, which the reader refuses:
  // it goes out as 1 x 1, which converts values the same way.
  HeaderWhole(out, kKeySourceWidth, std::max(scrap.sourceWidth, 1));
  HeaderWhole(out, kKeySourceHeight, std::max(scrap.sourceHeight, 1));
  HeaderNumber(out, kKeySourceAspect, scrap.sourceAspect);
  HeaderNumber(out, kKeyCompAspect, scrap.compAspect);
  out += kEol;
  // Sections go out in ascending stream index: the reader holds text to
  // that order.
  std::vector<const ScrapStream*> order;
  for (const ScrapStream& s : scrap.streams)
    if (Written(s)) order.push_back(&s);
  std::stable_sort(order.begin(), order.end(),
                   [](const ScrapStream* a, const ScrapStream* b) { return a->index < b->index; });
  for (const ScrapStream* s : order)
    if (ErrorCode err = Section(out, scrap, *s)) return err;
  out += kEol;
  Line(out, kKeyEnd);
  return 0;
}

}  // namespace tv::bee

ErrorCode BEE_ConvertScrapToPublic(BEE_Scrap scrap, uint32_t* type, Handle* text) try {
  if (type) *type = 0;
  if (text) *text = nullptr;
  if (!scrap || !type || !text) return kReport.BadParam(kSiteArgument, {"BEE_ConvertScrapToPublic"});
  std::string out;
  // The text is built whole and handed out in a block of exactly its size.
  out.reserve(1000);
  uint32_t kind = BEE_PublicText;
  if (LonePath(*scrap)) {
    kind = BEE_PublicPath;
    if (ErrorCode err = PathText(out, scrap->streams[0].stream)) return err;
  } else if (ErrorCode err = WriteKeyText(*scrap, out)) {
    return err;
  }
  Handle h = NewHandle(static_cast<Size>(out.size() + 1));
  if (!h) return kReport.OutOfMemory(kSiteKeyText, "clipboard text", out.size() + 1);
  std::memcpy(*h, out.c_str(), out.size() + 1);
  *type = kind;
  *text = h;
  return 0;
} TV_CATCH(BEE_PackageNumber)
