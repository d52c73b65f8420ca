// Keyframe text: reading text into a keyframe scrap. The reader never reads
// past its input, bounds every field and count, refuses numbers that are not
// finite, and reports the first fault with its line and column; no scrap is
// made then.
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "BEE_keytext_internal.h"
#include "FLT.h"

using namespace tv;
using namespace tv::bee;

namespace tv::bee {

namespace {

constexpr size_t kMaxField = 255;
constexpr double kMinAspect = 0.01, kMaxAspect = 100;
constexpr double kMaxFps = 1000;
constexpr double kMaxSize = 30000;

struct Line {
  std::string_view text;
  int32_t number;   // 1 + the line ends before it
};

struct Fault {
  std::string what;
  int32_t line = 0;
  int32_t column = 0;
};

// Lines of the text: CR LF, CR and LF each end one line (a CR LF counted as
// two line ends would put an empty line after every line, and the line
// numbers of faults would double).
std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  int32_t number = 1;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(Line{text.substr(start, i - start), number++});
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(Line{text.substr(start), number});
  return lines;
}

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v'; }

bool BlankLine(std::string_view s) {
  for (char c : s)
    if (!Blank(c)) return false;
  return true;
}

std::string Quote(std::string_view s) { return "\"" + std::string(s) + "\""; }

class Reader {
 public:
  explicit Reader(std::string_view text) : lines_(SplitLines(text)) {}

  // Reads the whole text into scrap; false with fault_ set on the first fault.
  bool Read(BEE_ScrapRec& scrap) {
    // Leading white space (and blank lines) go before the header keyword.
    while (at_ < lines_.size() && BlankLine(lines_[at_].text)) ++at_;
    if (at_ >= lines_.size()) return Fail("expecting more data", lines_.empty() ? 1 : lines_.back().number, 0);
    Start(lines_[at_]);
    SkipBlanks();
    if (Rest().substr(0, kKeyHeader.size()) != kKeyHeader) return FailHere(std::string("expecting ") + Quote(kKeyHeader));
    pos_ += kKeyHeader.size();
    if (!EndOfLine()) return false;
    ++at_;
    if (!HeaderLine(kKeyUnitsPerSecond, false, 1 / 65536.0, kMaxFps, &scrap.fps)) return false;
    double w = 0, h = 0;
    if (!HeaderLine(kKeySourceWidth, true, 1, kMaxSize, &w)) return false;
    if (!HeaderLine(kKeySourceHeight, true, 1, kMaxSize, &h)) return false;
    scrap.sourceWidth = static_cast<int32_t>(w);
    scrap.sourceHeight = static_cast<int32_t>(h);
    if (!HeaderLine(kKeySourceAspect, false, kMinAspect, kMaxAspect, &scrap.sourceAspect)) return false;
    if (!HeaderLine(kKeyCompAspect, false, kMinAspect, kMaxAspect, &scrap.compAspect)) return false;
    scrap.kind = BEE_ScrapKeyframes;
    timeScale_ = TimeScale(scrap.fps);
    for (;;) {
      if (!NextLine()) return Fail(std::string("expecting ") + Quote(kKeyEnd), LastNumber(), 0);
      Start(lines_[at_]);
      SkipBlanks();
      if (Rest().substr(0, kKeyEnd.size()) == kKeyEnd) {
        pos_ += kKeyEnd.size();
        if (!EndOfLine()) return false;
        // Anything after the end is not read.
        return true;
      }
      if (!Section(scrap)) return false;
    }
  }

  const Fault& fault() const { return fault_; }

 private:
  // ---- Position within the current line ----
  void Start(const Line& l) {
    line_ = l;
    pos_ = 0;
  }
  std::string_view Rest() const { return line_.text.substr(pos_); }
  void SkipBlanks() {
    while (pos_ < line_.text.size() && (line_.text[pos_] == ' ' || line_.text[pos_] == '\t')) ++pos_;
  }
  int32_t Column(size_t pos) const {
    int32_t tabs = 0;
    for (size_t i = 0; i < pos && i < line_.text.size(); ++i) tabs += line_.text[i] == '\t';
    return tabs;
  }
  bool Fail(std::string what, int32_t line, int32_t column) {
    fault_ = Fault{std::move(what), line, column};
    return false;
  }
  bool FailAt(std::string what, size_t pos) { return Fail(std::move(what), line_.number, Column(pos)); }
  bool FailHere(std::string what) { return FailAt(std::move(what), pos_); }
  int32_t LastNumber() const { return lines_.empty() ? 1 : lines_.back().number + 1; }

  // Moves to the next line that is not blank; false at the end of the text.
  bool NextLine() {
    while (at_ < lines_.size() && BlankLine(lines_[at_].text)) ++at_;
    return at_ < lines_.size();
  }

  // Nothing but white space may be left on the line.
  bool EndOfLine() {
    size_t p = pos_;
    while (p < line_.text.size() && Blank(line_.text[p])) ++p;
    if (p < line_.text.size()) return FailAt("extra data", p);
    return true;
  }

  bool Tab() {
    if (pos_ < line_.text.size() && line_.text[pos_] == '\t') {
      ++pos_;
      return true;
    }
    return false;
  }

  // A field up to the next tab or the line end, leading blanks skipped and
  // trailing blanks removed. *start is where it begins (for faults).
  bool Field(std::string_view* out, size_t* start) {
    while (pos_ < line_.text.size() && line_.text[pos_] == ' ') ++pos_;
    *start = pos_;
    size_t end = line_.text.find('\t', pos_);
    if (end == std::string_view::npos) end = line_.text.size();
    std::string_view f = line_.text.substr(pos_, end - pos_);
    while (!f.empty() && Blank(f.back())) f.remove_suffix(1);
    // A field longer than the reader takes is refused, never cut.
    if (f.size() > kMaxField) return FailAt("value out of range", *start);
    pos_ = end;
    *out = f;
    return true;
  }

  // A decimal number field (whole: a whole number).
  bool Number(bool whole, double* value) {
    if (pos_ >= line_.text.size()) return FailHere("expecting more data");
    std::string_view f;
    size_t start = 0;
    if (!Field(&f, &start)) return false;
    if (f.empty() || !(std::isdigit(static_cast<unsigned char>(f[0])) || f[0] == '.' || f[0] == '-'))
      return FailAt("expecting a number", start);
    double v = 0;
    auto r = std::from_chars(f.data(), f.data() + f.size(), v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) return FailAt("value out of range", start);
    if (r.ec != std::errc()) return FailAt("expecting a number", start);
    if (r.ptr != f.data() + f.size()) return FailAt("non-numeric data " + Quote(f), start);
    // "inf" and "nan" after a minus sign convert, but never enter a stream.
    if (!std::isfinite(v)) return FailAt("value out of range", start);
    if (whole && v != std::trunc(v)) return FailAt("expecting a whole number", start);
    *value = v;
    return true;
  }

  bool HeaderLine(std::string_view key, bool whole, double minimum, double maximum, double* value) {
    if (!NextLine()) return Fail("expecting " + Quote(key), LastNumber(), 0);
    Start(lines_[at_]);
    SkipBlanks();
    std::string_view f;
    size_t start = 0;
    if (!Field(&f, &start)) return false;
    if (f != key) return FailAt("expecting " + Quote(key), start);
    if (!Tab()) return FailHere("expecting more data");
    size_t valueAt = pos_;
    double v = 0;
    if (!Number(whole, &v)) return false;
    if (v <= 0) return FailAt("value must be greater than zero", valueAt);
    if (v < minimum || v > maximum) return FailAt("value out of range", valueAt);
    if (!EndOfLine()) return false;
    ++at_;
    *value = v;
    return true;
  }

  // Key times are kept in a scale in which whole frames are exact when the
  // rate has at most three decimals.
  static uint32_t TimeScale(double fps) {
    const double milli = std::nearbyint(fps * 1000);
    if (std::fabs(milli - fps * 1000) < 1e-6 && milli >= 1 && milli <= 1e9) return static_cast<uint32_t>(milli);
    return 30000;
  }

  // ---- Sections ----
  bool SectionName(BEE_ScrapRec& scrap, ScrapStream* s) {
    std::string_view first;
    size_t start = 0;
    if (!Field(&first, &start)) return false;
    if (Tab()) {
      // An effect parameter: effect, parameter name, "Effect Parameter #n".
      std::string_view param, number;
      size_t paramAt = 0, numberAt = 0;
      if (!Field(&param, &paramAt)) return false;
      if (!Tab()) return FailHere("expecting more data");
      if (!Field(&number, &numberAt)) return false;
      if (number.substr(0, kKeyEffectParam.size()) != kKeyEffectParam)
        return FailAt("expecting " + Quote(kKeyEffectParam), numberAt);
      std::string_view digits = number.substr(kKeyEffectParam.size());
      int32_t n = 0;
      auto r = std::from_chars(digits.data(), digits.data() + digits.size(), n);
      if (r.ec != std::errc() || r.ptr != digits.data() + digits.size() || digits.empty())
        return FailAt("incorrect data", numberAt);
      Tab();
      if (!EndOfLine()) return false;
      int16_t cls = 0;
      if (!FindEffect(first, &cls, s)) return FailAt("effect " + std::string(first) + " could not be found", start);
      int32_t params = 0;
      FLT_InqParamInfo(cls, &params);
      // The parameter must be one the effect has (0 is its input layer).
      if (n < 1 || n >= params || n > 128) return FailAt("incorrect data", numberAt);
      s->name = param;
      s->param = n;
      // A new effect starts when the name changes or the parameters do not ascend.
      if (group_ < 0 || s->matchName != lastMatch_ || n <= lastParam_) ++group_;
      if (group_ >= BEE_MaxEffects) return FailAt("incorrect data", start);
      lastMatch_ = s->matchName;
      lastParam_ = n;
      s->index = BEE_StreamFirstEffect + 128 * group_ + n - 1;
      s->dimension = 0;  // from the column line
      return true;
    }
    if (!EndOfLine()) return false;
    const int32_t index = StandardStreamByName(first);
    // The layer-level mask shape and feather, mask shapes and markers have
    // no keyframe text.
    if (index < BEE_StreamAnchorPoint || index == BEE_StreamMarker || index == BEE_StreamFirstMask)
      return FailAt("incorrect data", start);
    if (ErrorCode err = DescribeStandard(index, s)) {
      (void)err;
      return FailAt("incorrect data", start);
    }
    if (index >= BEE_StreamFirstMask) {
      // A mask stream that does not follow the previous one starts the next mask.
      if (mask_ < 0) mask_ = 0;
      int32_t i = BEE_StreamFirstMask + 3 * mask_ + (index - BEE_StreamFirstMask);
      if (i <= lastMask_) {
        ++mask_;
        i += 3;
      }
      // More masks than a layer holds would run into effect parameters.
      if (mask_ >= BEE_MaxMasks) return FailAt("incorrect data", start);
      s->index = i;
      lastMask_ = i;
    } else {
      s->index = index;
    }
    (void)scrap;
    return true;
  }

  static ErrorCode DescribeStandard(int32_t index, ScrapStream* s) {
    static constexpr int16_t kDims[BEE_StandardStreamCount] = {0, 2, 2, 2, 2, 1, 1, 2, 0, 1};
    if (index >= BEE_StreamFirstMask) {
      const int32_t k = index - BEE_StreamFirstMask;
      s->dimension = k == BEE_MaskStreamFeather ? 2 : 1;
      s->conversion = k == BEE_MaskStreamOpacity ? Conversion::Percent : Conversion::None;
      s->name = kReport.Text(k == BEE_MaskStreamFeather ? kTextStreamMaskFeather : kTextMaskOpacity);
    } else {
      s->dimension = kDims[index];
      s->spatial = index == BEE_StreamAnchorPoint || index == BEE_StreamPosition;
      s->conversion = index == BEE_StreamAnchorPoint ? Conversion::Source
                      : (index == BEE_StreamScale || index == BEE_StreamOpacity) ? Conversion::Percent
                                                                                  : Conversion::None;
      char name[32] = {};
      BEE_GetStreamDescription(index, name, nullptr, nullptr);
      s->name = name;
    }
    s->labels = StandardLabels(index);
    return 0;
  }

  // An installed effect by its display name, else by its match name.
  static bool FindEffect(std::string_view name, int16_t* cls, ScrapStream* s) {
    int32_t count = 0;
    FLT_InqNumPF(&count);
    for (int pass = 0; pass < 2; ++pass)
      for (int32_t i = 0; i < count && i < 0x7FFF; ++i) {
        char display[32] = {}, match[48] = {};
        if (FLT_InqPFInfo(static_cast<int16_t>(i), display, match, nullptr) != 0) continue;
        if (std::string_view(pass == 0 ? display : match) != name) continue;
        *cls = static_cast<int16_t>(i);
        s->effect = display;
        s->matchName = match;
        return true;
      }
    return false;
  }

  bool Section(BEE_ScrapRec& scrap) {
    ScrapStream s{};
    const size_t nameAt = pos_;
    if (!SectionName(scrap, &s)) return false;
    if (s.index <= lastIndex_) return FailAt("repeated or incorrectly ordered property", nameAt);
    lastIndex_ = s.index;
    ++at_;
    // The column line.
    if (!NextLine()) return Fail("expecting " + Quote("Frame"), LastNumber(), 0);
    Start(lines_[at_]);
    SkipBlanks();
    std::string_view f;
    size_t start = 0;
    if (!Field(&f, &start)) return false;
    if (f != "Frame") return FailAt("expecting " + Quote("Frame"), start);
    int32_t labels = 0;
    std::vector<std::string> names;
    while (Tab()) {
      if (!Field(&f, &start)) return false;
      if (f.empty()) continue;
      if (++labels > BEE_MaxStreamValues) return FailAt("incorrect data", start);
      names.emplace_back(f);
    }
    if (s.dimension == 0) {
      // Effect parameters have as many values as the column line names.
      if (labels < 1 || labels > 4) return FailAt("incorrect data", start);
      s.dimension = static_cast<int16_t>(labels);
      s.labels = names;
    }
    ++at_;
    // Keyframe rows until an empty line.
    struct Row {
      std::optional<int32_t> time;
      double v[BEE_MaxStreamValues];
    };
    std::vector<Row> rows;
    std::set<int32_t> times;
    bool constant = false;
    while (at_ < lines_.size() && !BlankLine(lines_[at_].text)) {
      Start(lines_[at_]);
      if (constant) return FailHere("constant property (no frame specified) can have only one value");
      Row row{};
      Tab();
      std::string_view frame;
      size_t frameAt = pos_;
      // Peek the frame field: empty means a constant.
      {
        size_t save = pos_;
        if (!Field(&frame, &frameAt)) return false;
        pos_ = save;
      }
      if (frame.empty()) {
        if (!rows.empty()) return FailHere("constant property (no frame specified) can have only one value");
        constant = true;
        Field(&frame, &frameAt);
      } else {
        double fr = 0;
        if (!Number(false, &fr)) return false;
        const double t = std::nearbyint(fr / scrap.fps * timeScale_);
        if (!(t >= -2147483647.0 && t <= 2147483647.0)) return FailAt("value out of range", frameAt);
        row.time = static_cast<int32_t>(t);
        // Frames are written with six digits: keys closer than the time scale
        // resolves read back as one time, which a stream cannot hold twice.
        if (!times.insert(*row.time).second) return FailAt("two keyframes at the same time", frameAt);
      }
      for (int32_t d = 0; d < s.dimension; ++d) {
        if (!Tab()) return FailHere("expecting more data");
        if (!Number(false, &row.v[d])) return false;
      }
      Tab();
      if (!EndOfLine()) return false;
      rows.push_back(row);
      ++at_;
    }
    if (rows.empty()) return Fail("expecting more data", at_ < lines_.size() ? lines_[at_].number : LastNumber(), 0);
    return Build(scrap, std::move(s), rows);
  }

  template <class Rows>
  bool Build(BEE_ScrapRec& scrap, ScrapStream s, const Rows& rows) {
    const bool constant = !rows.front().time;
    TDB_ValueDesc desc{};
    desc.dataType = 9;
    TDB_Stream st = nullptr;
    if (TDB_NewStream(s.dimension, timeScale_, constant ? 1 : 0, s.spatial ? 1 : 0, 0x7, s.spatial ? 0x7 : 0, &desc,
                      &st) != 0)
      return Memory();
    s.stream = st;
    scrap.streams.push_back(std::move(s));
    const ScrapStream& added = scrap.streams.back();
    for (const auto& r : rows) {
      double v[BEE_MaxStreamValues];
      std::memcpy(v, r.v, sizeof v);
      ScrapFromUser(scrap, added, v);
      if (TDB_InsertKeyF(st, nullptr, r.time ? *r.time : 0, 1, v, TDB_InterpLinear, TDB_InterpLinear) != 0)
        return Memory();
    }
    return true;
  }

  bool Memory() {
    failedBelow_ = true;
    return false;
  }

 public:
  bool failedBelow() const { return failedBelow_; }

 private:
  std::vector<Line> lines_;
  size_t at_ = 0;
  Line line_{};
  size_t pos_ = 0;
  Fault fault_;
  uint32_t timeScale_ = 30000;
  int32_t lastIndex_ = -1;
  int32_t mask_ = -1, lastMask_ = -1;
  int32_t group_ = -1, lastParam_ = 0;
  std::string lastMatch_;
  bool failedBelow_ = false;
};

bool StartsWithHeader(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (Blank(text[i]) || text[i] == '\r' || text[i] == '\n')) ++i;
  return text.substr(i, kKeyHeader.size()) == kKeyHeader;
}

}  // namespace

// Reads keyframe text; *scrap null for text that is not keyframe text.
ErrorCode ReadKeyText(std::string_view text, BEE_ScrapRec** scrap) {
  *scrap = nullptr;
  // The text ends at its first zero byte.
  if (size_t nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
  if (!StartsWithHeader(text)) return 0;
  auto s = std::make_unique<BEE_ScrapRec>();
  Reader r(text);
  if (!r.Read(*s)) {
    // A failure below (memory, the time database) was reported there.
    if (r.failedBelow()) return kErrOutOfMemory;
    const Fault& f = r.fault();
    return kReport.Report(kSiteKeyText, kSevError, BEE_ErrKeyText, kTextKeyTextFormat,
                          {f.what, static_cast<int64_t>(f.line), static_cast<int64_t>(f.column)});
  }
  *scrap = s.release();
  return 0;
}

}  // namespace tv::bee
