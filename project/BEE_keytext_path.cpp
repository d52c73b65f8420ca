// Public clipboard data into scraps: keyframe text, and a mask path given
// as an Encapsulated PostScript text ("AICB": a moveto, curvetos and
// linetos of one closed path; comment lines and unknown lines are ignored).
#include <charconv>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "BEE_keytext_internal.h"
#include "OM.h"

using namespace tv;
using namespace tv::bee;

namespace tv::bee {
ErrorCode ReadKeyText(std::string_view text, BEE_ScrapRec** scrap);
}

namespace {

constexpr size_t kMaxVertices = 65536;
constexpr double kMaxCoordinate = 32000;

struct Vertex {
  FixedPoint at, in, out;
};

ErrorCode PathFault(const char* what, int32_t line) {
  return kReport.Report(kSiteKeyText, kSevError, BEE_ErrKeyText, kTextKeyTextFormat,
                        {what, static_cast<int64_t>(line), static_cast<int64_t>(0)});
}

Fixed ToFixed(double v) { return static_cast<Fixed>(std::lround(v * 65536.0)); }

// The path's vertices; 0 or a reported fault.
ErrorCode ParsePath(std::string_view text, std::vector<Vertex>* path) {
  path->clear();
  int32_t line = 0;
  bool closed = false;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view l = text.substr(start, end - start);
    ++line;
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
    start = end + 1;
    if (l.empty() || l[0] == '%') continue;
    // Numbers, then one operator.
    std::vector<double> nums;
    std::string_view op;
    size_t i = 0;
    bool numeric = true;
    while (i < l.size()) {
      while (i < l.size() && (l[i] == ' ' || l[i] == '\t')) ++i;
      size_t j = i;
      while (j < l.size() && l[j] != ' ' && l[j] != '\t') ++j;
      if (j == i) break;
      std::string_view tok = l.substr(i, j - i);
      double v = 0;
      auto r = std::from_chars(tok.data(), tok.data() + tok.size(), v);
      if (r.ec == std::errc() && r.ptr == tok.data() + tok.size()) {
        if (!std::isfinite(v) || std::fabs(v) > kMaxCoordinate) return PathFault("value out of range", line);
        if (nums.size() >= 6) return PathFault("extra data", line);
        nums.push_back(v);
      } else if (op.empty()) {
        op = tok;
      } else {
        numeric = false;
      }
      i = j;
    }
    if (!numeric) continue;
    auto pt = [&](size_t k) { return FixedPoint{ToFixed(nums[k]), ToFixed(nums[k + 1])}; };
    if (op == "m" && nums.size() == 2) {
      if (!path->empty()) return PathFault("incorrect data", line);  // one path only
      path->push_back(Vertex{pt(0), pt(0), pt(0)});
    } else if ((op == "c" || op == "l") && !path->empty() && !closed) {
      if ((op == "c" && nums.size() != 6) || (op == "l" && nums.size() != 2))
        return PathFault("expecting more data", line);
      Vertex& from = path->back();
      const FixedPoint to = op == "c" ? pt(4) : pt(0);
      from.out = op == "c" ? pt(0) : from.at;
      const FixedPoint in = op == "c" ? pt(2) : to;
      const Vertex& first = path->front();
      if (to.h == first.at.h && to.v == first.at.v && path->size() > 1) {
        path->front().in = in;  // back at the start: the path closes there
        closed = true;
      } else {
        if (path->size() >= kMaxVertices) return PathFault("value out of range", line);
        path->push_back(Vertex{to, in, to});
      }
    } else if (op == "h" || op == "n" || op == "f" || op == "s" || op == "S" || op == "b") {
      closed = !path->empty();
    }
  }
  if (path->empty()) return PathFault("expecting more data", line);
  return 0;
}

ErrorCode PathScrap(std::string_view text, BEE_ScrapRec** out) {
  *out = nullptr;
  std::vector<Vertex> path;
  if (ErrorCode err = ParsePath(text, &path)) return err;
  OM_Shape shape = nullptr;
  if (ErrorCode err = OM_NewShape(2, nullptr, &shape)) return err;
  struct Guard {
    OM_Shape s;
    ~Guard() { OM_DisposeShape(s); }
  } guard{shape};
  for (const Vertex& v : path)
    if (ErrorCode err = OM_ShapeAddBezVertex(shape, -1, &v.at, &v.in, &v.out)) return err;
  if (ErrorCode err = OM_RecalcBounds(shape)) return err;
  auto scrap = std::make_unique<BEE_ScrapRec>();
  scrap->kind = BEE_ScrapKeyframes;
  scrap->fps = 30;
  ScrapStream s{};
  s.index = int32_t{BEE_StreamFirstMask} + BEE_MaskStreamShape;
  s.custom = true;
  s.customKind = OM_ValueKind;
  s.spatial = true;
  s.name = kReport.Text(kTextStreamMaskShape);
  if (ErrorCode err = OM_NewStream(600, 1, &s.stream)) return err;
  scrap->streams.push_back(std::move(s));
  if (ErrorCode err = OM_InsertKeyShape(scrap->streams.back().stream, nullptr, 0, 1, shape, TDB_InterpLinear,
                                        TDB_InterpLinear))
    return err;
  *out = scrap.release();
  return 0;
}

}  // namespace

ErrorCode BEE_ConvertScrapFromPublic(uint32_t type, const char* data, int32_t size, BEE_Scrap* scrap) try {
  if (scrap) *scrap = nullptr;
  if (!scrap || (!data && size != 0) || size < 0)
    return kReport.BadParam(kSiteArgument, {"BEE_ConvertScrapFromPublic"});
  std::string_view text(data ? data : "", static_cast<size_t>(size));
  if (type == BEE_PublicText) return ReadKeyText(text, scrap);
  if (type == BEE_PublicPath) return PathScrap(text, scrap);
  return 0;
} TV_CATCH(BEE_PackageNumber)
