// Values of a project description: times, colours, number lists, and
// layer properties (constant or keyframed) set through the engine's
// user-unit commands.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "BEE.h"
#include "desc_build.h"
#include "session.h"

namespace tavelo::desc {

std::string Node::Fmt(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%g", v);
  return b;
}

// Times are kept with a scale that holds every common frame rate's frames
// (24, 25, 30, 48, 50, 60, 120 ...) exactly.
constexpr int32_t kTimeScale = 24000;

Time Node::Seconds() const {
  double s = Number(-86400, 86400);
  return Time{static_cast<int32_t>(std::llround(s * kTimeScale)), kTimeScale};
}

uint32_t Node::Colour() const {
  std::string s = String();
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if (s.size() != 7 && s.size() != 9) Error("expected a colour \"#rrggbb\" or \"#aarrggbb\"");
  if (s[0] != '#') Error("expected a colour \"#rrggbb\" or \"#aarrggbb\"");
  uint32_t v = 0;
  for (size_t i = 1; i < s.size(); ++i) {
    int d = hex(s[i]);
    if (d < 0) Error("expected a colour \"#rrggbb\" or \"#aarrggbb\"");
    v = (v << 4) | static_cast<uint32_t>(d);
  }
  return s.size() == 7 ? 0xFF000000u | v : v;
}

std::vector<double> Node::Numbers(size_t count, bool allowScalar) const {
  if (j.is_string() && count == 4) {
    // A colour parameter: alpha, red, green and blue from 0 to 255.
    const uint32_t c = Colour();
    return {double(c >> 24), double((c >> 16) & 0xFF), double((c >> 8) & 0xFF), double(c & 0xFF)};
  }
  // A checkbox: true or false.
  if (j.is_boolean() && count == 1) return {j.get<bool>() ? 1.0 : 0.0};
  if (j.is_number()) {
    if (count == 1 || allowScalar) return std::vector<double>(count, Number());
    Error("expected a list of " + std::to_string(count) + " numbers");
  }
  if (!j.is_array() || j.size() != count) {
    if (count == 1) Error("expected a number");
    Error("expected a list of " + std::to_string(count) + " numbers");
  }
  std::vector<double> v;
  for (size_t i = 0; i < count; ++i) v.push_back(At(i).Number());
  return v;
}

namespace {

// Whether the value is a list of keyframes (objects) rather than a constant.
bool IsKeyList(const Node& n) { return n.j.is_array() && !n.j.empty() && n.j.front().is_object(); }

struct Key {
  Time time;
  double seconds;
  std::vector<double> value;
  int8_t interp;
  bool ease;
};

}  // namespace

void SetProperty(BEE_Layer layer, int32_t index, const Node& n, bool scalarForAll) {
  BEE_StreamValue current{};
  Check(BEE_GetStreamFPV(layer, index, nullptr, nullptr, &current), *n.file + ": " + n.path + ": reading the property");
  const auto dimension = static_cast<size_t>(current.count);
  BEE_UnGetStreamFPV(layer, index, &current);
  if (dimension == 0 || dimension > BEE_MaxStreamValues) n.Error("this property does not hold numbers");
  const std::string where = *n.file + ": " + n.path;
  if (!IsKeyList(n)) {
    BEE_StreamValue v{};
    std::vector<double> nums = n.Numbers(dimension, scalarForAll);
    std::copy(nums.begin(), nums.end(), v.values);
    v.count = static_cast<int32_t>(dimension);
    Check(BEE_CmdSetStreamFPV(layer, index, nullptr, nullptr, &v), where + ": setting the value");
    return;
  }
  std::vector<Key> keys;
  for (size_t i = 0; i < n.Size(); ++i) {
    Node k = n.At(i);
    k.Only({"time", "value", "interpolation", "ease"});
    Key key{};
    Node t = k.Need("time");
    key.time = t.Seconds();
    key.seconds = t.Number();
    key.value = k.Need("value").Numbers(dimension, scalarForAll);
    key.interp = TDB_InterpLinear;
    if (auto in = k.Get("interpolation")) {
      const int8_t kinds[] = {TDB_InterpLinear, TDB_InterpBezier, TDB_InterpHold};
      key.interp = kinds[in->Choice({"linear", "bezier", "hold"})];
    }
    key.ease = false;
    if (auto e = k.Get("ease")) key.ease = e->Bool();
    if (key.ease && key.interp == TDB_InterpLinear) key.interp = TDB_InterpBezier;
    for (const Key& other : keys)
      if (other.time.value == key.time.value) t.Error("two keyframes at " + Node::Fmt(key.seconds) + " s");
    keys.push_back(key);
  }
  std::stable_sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) { return a.time.value < b.time.value; });
  Time first{};
  Check(BEE_CompToLayerTime(layer, keys.front().time, &first), where + ": placing the first keyframe");
  Check(BEE_CmdSetStreamVary(layer, index, &first, 1), where + ": animating the property");
  for (const Key& k : keys) {
    BEE_StreamValue v{};
    std::copy(k.value.begin(), k.value.end(), v.values);
    v.count = static_cast<int32_t>(dimension);
    Check(BEE_CmdSetStreamFPV(layer, index, &k.time, nullptr, &v),
          where + ": the keyframe at " + Node::Fmt(k.seconds) + " s");
  }
  // No speed at an eased key, with handles reaching a third of the way.
  const double still[BEE_MaxStreamValues] = {};
  const double third[BEE_MaxStreamValues] = {1 / 3.0, 1 / 3.0, 1 / 3.0, 1 / 3.0, 1 / 3.0, 1 / 3.0, 1 / 3.0, 1 / 3.0};
  for (size_t i = 0; i < keys.size(); ++i) {
    const auto k = static_cast<int32_t>(i);
    Check(BEE_CmdSetKeyInterps(layer, index, k, keys[i].interp, keys[i].interp),
            where + "[" + std::to_string(i) + "].interpolation");
    if (keys[i].ease)
      Check(BEE_CmdSetKeyEase(layer, index, k, still, third, still, third), where + "[" + std::to_string(i) + "].ease");
  }
}

}  // namespace tavelo::desc
