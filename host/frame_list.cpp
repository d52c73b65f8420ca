// The one parser of frame lists, and frame lists written back as text.
#include "frame_list.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "cli.h"

namespace tavelo {
namespace {

// Frame numbers have at most 9 digits; a list holds at most this many
// frames, so a typing slip ("0-99999999") cannot fill the memory.
constexpr int64_t kMaxFrames = 10'000'000;
constexpr const char* kForms = "a frame (7), a range (0-99), a stepped range (1-99x2) or an open range (10-)";

std::string Trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
  while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
  return s.substr(a, b - a);
}

// A number of 1 to 9 digits and nothing else.
std::optional<int64_t> Number(const std::string& s) {
  if (s.empty() || s.size() > 9) return std::nullopt;
  int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v;
}

struct Part {
  int64_t first = 0, last = 0, step = 1;
  bool open = false;
  std::string text;
};

std::optional<Part> ParsePart(const std::string& part) {
  Part p;
  const size_t dash = part.find('-');
  if (dash == std::string::npos) {
    const auto n = Number(part);
    if (!n) return std::nullopt;
    p.first = p.last = *n;
    return p;
  }
  const auto first = Number(part.substr(0, dash));
  if (!first) return std::nullopt;
  p.first = *first;
  std::string rest = part.substr(dash + 1);
  if (rest.empty()) {
    p.open = true;
    return p;
  }
  const size_t x = rest.find('x');
  if (x != std::string::npos) {
    const auto step = Number(rest.substr(x + 1));
    if (!step) return std::nullopt;
    p.step = *step;
    rest = rest.substr(0, x);
  }
  const auto last = Number(rest);
  if (!last) return std::nullopt;
  p.last = *last;
  return p;
}

// The parts of a list, each checked for its form; a usage Failure naming
// the first bad one.
std::vector<Part> Parts(const std::string& text) {
  auto bad = [&](const std::string& why) { Fail("bad frame list \"" + text + "\": " + why, kExitUsage); };
  if (Trim(text).empty()) bad(std::string("no frames (give ") + kForms + ", joined by commas)");
  std::vector<Part> parts;
  size_t at = 0;
  for (;;) {
    const size_t comma = text.find(',', at);
    const std::string part = Trim(text.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
    if (part.empty()) bad("an empty part between commas");
    const std::optional<Part> p = ParsePart(part);
    if (!p && part.find_first_not_of("0123456789-x") == std::string::npos) {
      size_t run = 0, longest = 0;
      for (char c : part) longest = std::max(longest, run = std::isdigit(static_cast<unsigned char>(c)) ? run + 1 : 0);
      if (longest > 9) bad("\"" + part + "\" has a number of more than 9 digits");
    }
    if (!p) bad("\"" + part + "\" is not " + kForms);
    if (!p->open && p->last < p->first) bad("\"" + part + "\" ends before it starts");
    if (p->step < 1) bad("\"" + part + "\" has a step of 0");
    parts.push_back(*p);
    parts.back().text = part;
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return parts;
}

}  // namespace

void CheckFrameList(const std::string& text) { Parts(text); }

std::vector<int64_t> ParseFrameList(const std::string& text, int64_t last, LastFrame kind) {
  const std::string quoted = "\"" + text + "\"";
  std::vector<int64_t> frames;
  for (Part r : Parts(text)) {
    const std::string& part = r.text;
    if (r.open) {
      if (last == kNoLastFrame)
        Fail("bad frame list " + quoted + ": \"" + part + "\" has no end here; give the last frame (" + part + "N)",
             kExitUsage);
      if (r.first > last)
        Fail("frames " + quoted + ": \"" + part + "\" starts past the last frame (" + std::to_string(last) + ")",
             kExitUsage);
      r.last = last;
    }
    if (last != kNoLastFrame && kind == LastFrame::Limit && r.last > last)
      Fail("frames " + quoted + ": \"" + part + "\" goes past the last frame (frames 0 to " + std::to_string(last) +
               ")",
           kExitUsage);
    if ((r.last - r.first) / r.step + 1 + static_cast<int64_t>(frames.size()) > kMaxFrames)
      Fail("bad frame list " + quoted + ": more than " + std::to_string(kMaxFrames) + " frames", kExitUsage);
    for (int64_t f = r.first; f <= r.last; f += r.step) frames.push_back(f);
  }
  std::sort(frames.begin(), frames.end());
  frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
  return frames;
}

std::string FrameListText(const std::vector<int64_t>& frames) {
  std::string text;
  for (size_t i = 0; i < frames.size();) {
    // The longest run of equal steps from frame i; two frames alone are
    // written as two unless they are neighbours.
    size_t j = i;
    if (i + 1 < frames.size()) {
      const int64_t step = frames[i + 1] - frames[i];
      j = i + 1;
      while (j + 1 < frames.size() && frames[j + 1] - frames[j] == step) ++j;
      if (j == i + 1 && step != 1) j = i;
    }
    if (!text.empty()) text += ",";
    text += std::to_string(frames[i]);
    if (j > i) {
      const int64_t step = frames[i + 1] - frames[i];
      text += "-" + std::to_string(frames[j]);
      if (step != 1) text += "x" + std::to_string(step);
    }
    i = j + 1;
  }
  return text;
}

std::string FrameRanges(const std::vector<int64_t>& frames) {
  std::string text;
  for (const auto& [a, b] : FrameRuns(frames)) {
    if (!text.empty()) text += ", ";
    text += std::to_string(a);
    if (b > a) text += "-" + std::to_string(b);
  }
  return text;
}

bool IsOneSpan(const std::vector<int64_t>& frames) {
  return !frames.empty() && frames.back() - frames.front() + 1 == static_cast<int64_t>(frames.size());
}

std::vector<int64_t> FrameSpan(int64_t first, int64_t last) {
  std::vector<int64_t> frames;
  for (int64_t f = first; f <= last; ++f) frames.push_back(f);
  return frames;
}

std::vector<std::pair<int64_t, int64_t>> FrameRuns(const std::vector<int64_t>& frames) {
  std::vector<std::pair<int64_t, int64_t>> runs;
  for (size_t i = 0; i < frames.size();) {
    size_t j = i;
    while (j + 1 < frames.size() && frames[j + 1] == frames[j] + 1) ++j;
    runs.emplace_back(frames[i], frames[j]);
    i = j + 1;
  }
  return runs;
}

}  // namespace tavelo
