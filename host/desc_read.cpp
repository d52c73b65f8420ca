// Reading a description's text: JSON parsed with exact messages for every
// fault (line and column, what was read), places of values in the text for
// later complaints, and the checks every value goes through.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>

#include "desc_build.h"
#include "desc_node.h"
#include "U.h"

namespace tavelo::desc {
namespace {

constexpr size_t kEchoLimit = 80;

// Line and column (counted in characters) of a byte offset.
std::string LineColumn(const std::string& text, size_t offset) {
  size_t line = 1, column = 1;
  for (size_t i = 0; i < offset && i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\n') {
      ++line;
      column = 1;
    } else if ((c & 0xC0) != 0x80) {
      ++column;
    }
  }
  return std::to_string(line) + ":" + std::to_string(column);
}

// A walk over JSON text that is known to be valid, finding where a value
// starts. Nothing recurses: nested values are skipped by counting brackets.
class Walker {
 public:
  explicit Walker(const std::string& t) : t_(t) {}

  // The offset of the value the tokens lead to, or npos.
  size_t Find(const std::vector<std::string>& tokens) {
    p_ = 0;
    Space();
    for (const std::string& token : tokens) {
      if (p_ >= t_.size()) return std::string::npos;
      if (t_[p_] == '{') {
        if (!Member(token)) return std::string::npos;
      } else if (t_[p_] == '[') {
        if (!Element(token)) return std::string::npos;
      } else {
        return std::string::npos;
      }
    }
    return p_;
  }

 private:
  void Space() {
    while (p_ < t_.size() && (t_[p_] == ' ' || t_[p_] == '\t' || t_[p_] == '\n' || t_[p_] == '\r')) ++p_;
  }
  // A string at p_ (decoded into *out when given); p_ goes past it.
  void Str(std::string* out) {
    ++p_;
    while (p_ < t_.size() && t_[p_] != '"') {
      if (t_[p_] != '\\') {
        if (out) out->push_back(t_[p_]);
        ++p_;
        continue;
      }
      const char e = p_ + 1 < t_.size() ? t_[p_ + 1] : '\0';
      p_ += 2;
      if (e != 'u') {
        const char* from = "\"\\/bfnrt";
        const char* to = "\"\\/\b\f\n\r\t";
        const char* at = std::strchr(from, e);
        if (out && at && e) out->push_back(to[at - from]);
        continue;
      }
      uint32_t cp = Hex4();
      if (cp >= 0xD800 && cp < 0xDC00 && p_ + 1 < t_.size() && t_[p_] == '\\' && t_[p_ + 1] == 'u') {
        p_ += 2;
        cp = 0x10000 + ((cp - 0xD800) << 10) + (Hex4() - 0xDC00);
      }
      if (out) Utf8(cp, out);
    }
    ++p_;
  }
  uint32_t Hex4() {
    uint32_t v = 0;
    for (int i = 0; i < 4 && p_ < t_.size(); ++i, ++p_) {
      const char c = t_[p_];
      v = v * 16 + static_cast<uint32_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    return v;
  }
  static void Utf8(uint32_t cp, std::string* out) {
    if (cp < 0x80) {
      out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  // Skips the value at p_.
  void Skip() {
    int depth = 0;
    do {
      if (p_ >= t_.size()) return;
      const char c = t_[p_];
      if (c == '"') {
        Str(nullptr);
      } else if (c == '{' || c == '[') {
        ++depth;
        ++p_;
      } else if (c == '}' || c == ']') {
        --depth;
        ++p_;
      } else {
        ++p_;
      }
    } while (depth > 0);
    // A number or literal ends where a delimiter starts.
    while (p_ < t_.size() && !std::strchr(",}] \t\r\n", t_[p_])) ++p_;
  }
  // Within an object at p_: the value of the member named key (the last
  // one, as the parser keeps the last of equal keys).
  bool Member(const std::string& key) {
    ++p_;
    size_t found = std::string::npos;
    for (;;) {
      Space();
      if (p_ >= t_.size() || t_[p_] == '}') break;
      std::string name;
      Str(&name);
      Space();
      ++p_;  // ':'
      Space();
      if (name == key) found = p_;
      Skip();
      Space();
      if (p_ < t_.size() && t_[p_] == ',') ++p_;
    }
    p_ = found;
    return found != std::string::npos;
  }
  bool Element(const std::string& token) {
    size_t index = 0;
    const auto r = std::from_chars(token.data(), token.data() + token.size(), index);
    if (r.ec != std::errc() || r.ptr != token.data() + token.size()) return false;
    ++p_;
    for (size_t i = 0;; ++i) {
      Space();
      if (p_ >= t_.size() || t_[p_] == ']') return false;
      if (i == index) return true;
      Skip();
      Space();
      if (p_ < t_.size() && t_[p_] == ',') ++p_;
    }
  }

  const std::string& t_;
  size_t p_ = 0;
};

// The parser's own faults with the byte they were found at.
struct Sax : nlohmann::detail::json_sax_dom_parser<Json> {
  using nlohmann::detail::json_sax_dom_parser<Json>::json_sax_dom_parser;
  bool failed = false;
  size_t position = 0;
  std::string token;
  int id = 0;
  std::string what;
  bool parse_error(std::size_t pos, const std::string& last, const nlohmann::detail::exception& ex) {
    failed = true;
    position = pos;
    token = last;
    id = ex.id;
    what = ex.what();
    return false;
  }
};

}  // namespace

std::string Source::Place(const std::vector<std::string>& tokens) const {
  const size_t at = Walker(text).Find(tokens);
  return at == std::string::npos ? name : name + ":" + LineColumn(text, at);
}

std::string Echo(const std::string& text) {
  std::string out = "\"";
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) != 0x80 && ++chars > kEchoLimit) {
      out += "...";
      break;
    }
    if (c < 0x20 || c == 0x7F) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string Decimal(double v) {
  char b[64];
  const double a = std::fabs(v);
  const auto format = a != 0 && (a >= 1e15 || a < 1e-9) ? std::chars_format::general : std::chars_format::fixed;
  const auto r = std::to_chars(b, b + sizeof b, v, format);
  return r.ec == std::errc() ? std::string(b, r.ptr) : std::string("?");
}

std::string Node::Where() const {
  std::string where = src->Place(tokens);
  return where + ": " + (path.empty() ? std::string("(top)") : path);
}

std::optional<Node> Node::Get(const char* key) const {
  if (!j->is_object()) Error("expected an object");
  auto it = j->find(key);
  if (it == j->end() || it->is_null()) return std::nullopt;
  return Member(key);
}

Node Node::Need(const char* key) const {
  auto n = Get(key);
  if (!n) Error(std::string("\"") + key + "\" is missing");
  return *n;
}

Node Node::Member(const std::string& key) const {
  std::vector<std::string> t = tokens;
  t.push_back(key);
  // A key is shown as written unless it could be mistaken or is too long.
  bool plain = !key.empty() && key.size() <= kEchoLimit;
  for (char c : key) plain = plain && static_cast<unsigned char>(c) >= 0x20 && !std::strchr(".[]\"\\", c);
  const std::string shown = plain ? key : Echo(key);
  return Node{&j->at(key), path.empty() ? shown : path + "." + shown, src, std::move(t)};
}

size_t Node::Size() const {
  if (!j->is_array()) Error("expected a list");
  return j->size();
}

Node Node::At(size_t i) const {
  std::vector<std::string> t = tokens;
  t.push_back(std::to_string(i));
  return Node{&j->at(i), path + "[" + std::to_string(i) + "]", src, std::move(t)};
}

void Node::Note(const std::string& what) const {
  Up_ReportErrString(tv::Location(0, 0), tv::kSevWarning, (Where() + ": " + what).c_str());
}

void Node::Only(std::initializer_list<const char*> keys) const {
  if (!j->is_object()) Error("expected an object");
  for (auto it = j->begin(); it != j->end(); ++it) {
    bool known = false;
    for (const char* k : keys) known = known || it.key() == k;
    if (!known) Member(it.key()).Error("unknown key");
  }
}

double Node::Number() const {
  if (!j->is_number()) Error("expected a number");
  return j->get<double>();
}

double Node::Number(double lo, double hi) const {
  const double v = Number();
  if (!(v >= lo && v <= hi)) Error(Decimal(v) + " is outside " + Decimal(lo) + " to " + Decimal(hi));
  return v;
}

int32_t Node::Int(int32_t lo, int32_t hi) const {
  const double v = Number(lo, hi);
  if (v != static_cast<double>(static_cast<int32_t>(v))) Error("expected a whole number, not " + Decimal(v));
  return static_cast<int32_t>(v);
}

bool Node::Bool() const {
  if (!j->is_boolean()) Error("expected true or false");
  return j->get<bool>();
}

std::string Node::String() const {
  if (!j->is_string()) Error("expected a string");
  const std::string& s = j->get_ref<const std::string&>();
  if (s.find('\0') != std::string::npos) Error(Echo(s) + " holds a zero character (\\u0000)");
  return s;
}

std::string Node::Name() const {
  std::string s = String();
  if (s.empty() || s.size() > 31) Error(Echo(s) + ": a name has 1 to 31 bytes");
  return s;
}

int32_t Node::Choice(std::initializer_list<const char*> words) const {
  const std::string s = String();
  int32_t i = 0;
  std::string all;
  for (const char* w : words) {
    if (s == w) return i;
    all += (i ? ", " : "") + std::string(w);
    ++i;
  }
  Error(Echo(s) + " is not one of " + all);
}

Node Root(const Json& root, const Source& src) { return Node{&root, "", &src, {}}; }

Json ParseDescription(const Source& src) {
  Json root;
  Sax sax(root, false);
  Json::sax_parse(src.text, &sax);
  if (!sax.failed) return root;
  // The position counts the bytes read, the fault's last one included.
  // The position counts the bytes read, the fault's last one included; a
  // number too large is pointed at from its start.
  const size_t last = sax.position > 0 ? sax.position - 1 : 0;
  if (sax.id == 406)
    Fail(src.name + ":" + LineColumn(src.text, sax.position - std::min(sax.position, sax.token.size())) +
         ": the number " + Echo(sax.token) + " is too large");
  const std::string at = src.name + ":" + LineColumn(src.text, last);
  // The letters read last: "N" or "Na" of NaN, "I" of Infinity.
  size_t word = sax.token.size();
  while (word > 0 && std::isalpha(static_cast<unsigned char>(sax.token[word - 1]))) --word;
  const std::string letters = sax.token.substr(word);
  if (!letters.empty() && (letters[0] == 'N' || letters[0] == 'I' || letters[0] == 'i' || letters.rfind("na", 0) == 0))
    Fail(at + ": not valid JSON: NaN and Infinity are not numbers JSON can hold");
  // The parser's text after its own prefix: "syntax error while parsing ...".
  std::string what = sax.what;
  const size_t column = what.find("column ");
  const size_t colon = what.find(": ", column == std::string::npos ? 0 : column);
  if (colon != std::string::npos) what = what.substr(colon + 2);
  if (what.size() > 2 * kEchoLimit) what = what.substr(0, 2 * kEchoLimit) + "...";
  Fail(at + ": not valid JSON (" + what + ")");
}

}  // namespace tavelo::desc
