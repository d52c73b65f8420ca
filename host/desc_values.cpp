// Values of a project description: times, colours, number lists, and
// layer properties (constant or keyframed, with each key's interpolation,
// ease, spatial tangents and roving) set through the engine's user-unit
// commands.
#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "BEE.h"
#include "OutputFormats.h"
#include "desc_build.h"
#include "mask_shape.h"
#include "session.h"

namespace tavelo::desc {

constexpr int32_t kTimeScale = 24000;

Time TimeOfSeconds(double seconds, Time frame) {
  const Time onGrid{static_cast<int32_t>(std::llround(seconds * kTimeScale)), kTimeScale};
  if (frame.value <= 0 || frame.scale == 0) return onGrid;
  if (int64_t{kTimeScale} * frame.value % frame.scale == 0) return onGrid;  // the grid holds the frames
  const double duration = static_cast<double>(frame.value) / frame.scale;
  const double k = std::round(seconds / duration);
  const double exact = k * frame.value;
  if (std::fabs(seconds - k * duration) * kTimeScale > 0.5 || std::fabs(exact) > INT32_MAX) return onGrid;
  return Time{static_cast<int32_t>(exact), frame.scale};
}

int64_t FrameAtSeconds(double seconds, Time frame) {
  const double duration = static_cast<double>(frame.value) / frame.scale;
  const double k = std::round(seconds / duration);
  // Far outside any composition (and NaN): a frame no composition has.
  if (!(std::fabs(k) < 1e15)) return k < 0 ? -1 : std::numeric_limits<int64_t>::max();
  if (std::fabs(seconds - k * duration) * kTimeScale <= 0.5) return static_cast<int64_t>(k);
  return static_cast<int64_t>(std::floor(seconds / duration));
}

std::string FramesBeyondTimes(BEE_Item comp) {
  Time frame{}, duration{};
  if (BEE_GetCompFrameDuration(comp, &frame) != 0 || BEE_GetItemDuration(comp, &duration, nullptr) != 0 ||
      frame.value <= 0 || frame.scale == 0 || duration.scale == 0)
    return {};
  const int64_t frames = int64_t{duration.value} * frame.scale / (int64_t{frame.value} * duration.scale);
  const int64_t fit = int64_t{INT32_MAX} / frame.value + 1;  // frames 0 .. fit - 1 have times
  if (frames <= fit) return {};
  return "at this frame rate a composition lasts at most " +
         Decimal(std::floor(static_cast<double>(fit) * frame.value / frame.scale)) +
         " s: the times of later frames cannot be held";
}

Time FrameOfLayer(BEE_Layer layer) {
  BEE_Item comp = nullptr;
  Time frame{0, 1};
  if (BEE_GetLayerComp(layer, &comp) != 0 || BEE_GetCompFrameDuration(comp, &frame) != 0) return Time{0, 1};
  return frame;
}

Time Node::Seconds(Time frame) const { return TimeOfSeconds(Number(-86400, 86400), frame); }

bool ParseColour(std::string_view s, uint32_t* argb) {
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if ((s.size() != 7 && s.size() != 9) || s[0] != '#') return false;
  uint32_t v = 0;
  for (size_t i = 1; i < s.size(); ++i) {
    const int d = hex(s[i]);
    if (d < 0) return false;
    v = (v << 4) | static_cast<uint32_t>(d);
  }
  *argb = s.size() == 7 ? 0xFF000000u | v : v;
  return true;
}

uint32_t Node::Colour() const {
  const std::string s = String();
  uint32_t v = 0;
  if (!ParseColour(s, &v)) Error("expected a colour \"#rrggbb\" or \"#aarrggbb\", not " + Echo(s));
  return v;
}

std::vector<double> Node::Numbers(size_t count, bool allowScalar) const {
  if (j->is_string() && count == 4) {
    // A colour: alpha, red, green and blue from 0 to 255.
    const uint32_t c = Colour();
    return {double(c >> 24), double((c >> 16) & 0xFF), double((c >> 8) & 0xFF), double(c & 0xFF)};
  }
  if (j->is_number()) {
    if (count == 1 || allowScalar) return std::vector<double>(count, Number());
    Error("expected a list of " + std::to_string(count) + " numbers");
  }
  if (!j->is_array() || j->size() != count) {
    if (count == 1) Error("expected a number");
    Error("expected a list of " + std::to_string(count) + " numbers");
  }
  std::vector<double> v;
  for (size_t i = 0; i < count; ++i) v.push_back(At(i).Number());
  return v;
}

Ratio RatioOf(double v) { return Ratio{static_cast<int32_t>(std::llround(v * 10000)), 10000}; }

void FootageAspectOf(double v, uint32_t& num, uint32_t& den) {
  // A common aspect (10/11, 40/33, 59/54 ...) as files keep it.
  const tv::outputs::PixelAspect simple = tv::outputs::PixelAspectOf(v);
  if (simple.den <= 100 && simple.num <= 10000) {
    num = simple.num;
    den = simple.den;
    return;
  }
  den = v < 10 ? 10000 : 1000;
  num = static_cast<uint32_t>(std::llround(v * den));
  const uint32_t g = std::gcd(num, den);
  num /= g;
  den /= g;
}

Ratio PixelAspectRatioOf(double v) {
  uint32_t num = 1, den = 1;
  FootageAspectOf(v, num, den);
  return Ratio{static_cast<int32_t>(num), den};
}

void Check(ErrorCode err, const Node& n, const std::string& what) {
  if (err) EngineFail(n.Where() + ": " + what, err);
}

bool IsKeyList(const Node& n) { return n.j->is_array() && !n.j->empty() && n.j->front().is_object(); }

namespace {

const int8_t kInterps[] = {TDB_InterpLinear, TDB_InterpBezier, TDB_InterpHold};

int8_t InterpOf(const Node& n) { return kInterps[n.Choice({"linear", "bezier", "hold"})]; }

// What a keyframe asks beyond its value.
struct Key {
  Node node;
  Time time;
  int8_t in = TDB_InterpLinear, out = TDB_InterpLinear;
  std::optional<Node> easeIn, easeOut, tangentIn, tangentOut;
  bool ease = false, roving = false;
};

// One side's speed and influence: {"speed": number or list, "influence":
// percent}; what is not given stays as the key has it.
void ReadEase(const Node& n, int32_t dimension, double* speed, double* influence) {
  n.Only({"speed", "influence"});
  if (auto s = n.Get("speed")) {
    const std::vector<double> v = s->Numbers(static_cast<size_t>(dimension), true);
    std::copy(v.begin(), v.end(), speed);
  }
  if (auto i = n.Get("influence")) {
    const double percent = i->Number(0.1, 100);
    std::fill(influence, influence + dimension, percent / 100);
  }
}

TDB_Stream StreamOf(BEE_Layer layer, int32_t index, const Node& n) {
  BEE_StreamRef ref{layer, index};
  TDB_Stream stream = nullptr;
  Check(BEE_StreamLookup(&ref, &stream), n, "finding the property");
  if (!stream) n.Error("the layer has no such property");
  return stream;
}

// The eases, tangents and flags of key k.
void KeyDetails(BEE_Layer layer, int32_t index, TDB_Stream stream, int32_t k, const Key& key) {
  const Node& n = key.node;
  Check(BEE_CmdSetKeyInterps(layer, index, k, key.in, key.out), n, "setting the interpolation");
  if (key.ease || key.easeIn || key.easeOut) {
    int32_t dim = 0;
    Check(BEE_GetStreamTemporalDimension(stream, &dim), n, "reading the property");
    double speed[2][BEE_MaxStreamValues] = {}, influence[2][BEE_MaxStreamValues] = {};
    Check(TDB_GetKeyVelocity(stream, k, speed[0], speed[1]), n, "reading the key's speeds");
    Check(TDB_GetKeyInfluence(stream, k, influence[0], influence[1]), n, "reading the key's influences");
    for (double* s : speed) Check(BEE_ConvertStreamTemporalVelocity(layer, index, 1, s), n, "reading the key's speeds");
    if (key.ease)
      for (int side = 0; side < 2; ++side) {
        std::fill(speed[side], speed[side] + dim, 0.0);
        std::fill(influence[side], influence[side] + dim, 1 / 3.0);
      }
    if (key.easeIn) ReadEase(*key.easeIn, dim, speed[0], influence[0]);
    if (key.easeOut) ReadEase(*key.easeOut, dim, speed[1], influence[1]);
    Check(BEE_CmdSetKeyEase(layer, index, k, speed[0], influence[0], speed[1], influence[1]), n, "easing the key");
  }
  if (key.tangentIn || key.tangentOut) {
    TDB_StreamInfo info{};
    Check(TDB_GetStreamInfo(stream, &info), n, "reading the property");
    if (!(info.flags & TDB_StreamSpatial))
      (key.tangentIn ? *key.tangentIn : *key.tangentOut).Error("only a motion path (a spatial property) has tangents");
    const auto dim = static_cast<size_t>(info.dimension);
    double t[2][BEE_MaxStreamValues] = {};
    Check(TDB_GetKeySpaceTangents(stream, k, t[0], t[1]), n, "reading the key's tangents");
    for (double* side : t) Check(BEE_ConvertStreamFPV(layer, index, 1, side), n, "reading the key's tangents");
    const std::optional<Node>* given[2] = {&key.tangentIn, &key.tangentOut};
    for (int side = 0; side < 2; ++side)
      if (*given[side]) {
        const std::vector<double> v = (*given[side])->Numbers(dim, false);
        std::copy(v.begin(), v.end(), t[side]);
      }
    Check(BEE_CmdSetKeySpaceTangents(layer, index, k, t[0], t[1]), n, "setting the key's tangents");
  }
  if (key.roving) Check(SetKeyRoving(layer, index, k, true), n, "making the key rove");
}

// Each key is one "Keyframe Change" of the whole stream: the limit keeps a
// property's keys to about a second's work.
constexpr size_t kMaxKeys = 10000;

void SetKeys(BEE_Layer layer, int32_t index, const Node& list, KeyValueSetter& setter) {
  if (list.Size() > kMaxKeys)
    list.Error("a property has at most " + std::to_string(kMaxKeys) + " keyframes (this one has " +
               std::to_string(list.Size()) + ")");
  std::vector<Key> keys;
  const Time frame = FrameOfLayer(layer);
  // Times of a composition at 29.97 fps may be of two scales.
  const auto earlier = [](const Time& a, const Time& b) {
    return int64_t{a.value} * b.scale < int64_t{b.value} * a.scale;
  };
  for (size_t i = 0; i < list.Size(); ++i) {
    Node k = list.At(i);
    k.Only({"time", "value", "interpolation", "inInterpolation", "outInterpolation", "ease", "easeIn", "easeOut",
            "tangentIn", "tangentOut", "roving"});
    Key key{k, k.Need("time").Seconds(frame), TDB_InterpLinear, TDB_InterpLinear, {}, {}, {}, {}, false, false};
    k.Need("value");
    if (auto in = k.Get("interpolation")) key.in = key.out = InterpOf(*in);
    if (auto e = k.Get("ease")) key.ease = e->Bool();
    key.easeIn = k.Get("easeIn");
    key.easeOut = k.Get("easeOut");
    // Speeds and influences belong to Bezier sides.
    if ((key.ease || key.easeIn) && !k.Get("interpolation")) key.in = TDB_InterpBezier;
    if ((key.ease || key.easeOut) && !k.Get("interpolation")) key.out = TDB_InterpBezier;
    if (auto in = k.Get("inInterpolation")) key.in = InterpOf(*in);
    if (auto out = k.Get("outInterpolation")) key.out = InterpOf(*out);
    key.tangentIn = k.Get("tangentIn");
    key.tangentOut = k.Get("tangentOut");
    if (auto r = k.Get("roving")) key.roving = r->Bool();
    for (const Key& other : keys)
      if (!earlier(other.time, key.time) && !earlier(key.time, other.time))
        k.Need("time").Error("two keyframes at " + Decimal(k.Need("time").Number()) + " s");
    keys.push_back(std::move(key));
  }
  std::stable_sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) { return earlier(a.time, b.time); });
  for (size_t i = 0; i < keys.size(); ++i)
    if (keys[i].roving && (i == 0 || i + 1 == keys.size()))
      keys[i].node.Need("roving").Error("the first and the last keyframe cannot rove");

  Time first{};
  Check(BEE_CompToLayerTime(layer, keys.front().time, &first), list, "placing the first keyframe");
  Check(BEE_CmdSetStreamVary(layer, index, &first, 1), list, "animating the property");
  for (const Key& k : keys) setter.Set(k.node.Need("value"), &k.time);

  // Keys the stream had before (a time remapping starts with two) go.
  TDB_Stream stream = StreamOf(layer, index, list);
  std::vector<bool> wanted;
  int32_t count = 0;
  Check(TDB_GetNumKeys(stream, &count), list, "counting the keys");
  wanted.assign(static_cast<size_t>(count), false);
  for (const Key& k : keys) {
    Time lt{};
    int32_t at = -1;
    Check(BEE_CompToLayerTime(layer, k.time, &lt), k.node, "placing the keyframe");
    if (TDB_GetKeyIndex(stream, &lt, 0, &at) == 0 && at >= 0 && at < count) wanted[static_cast<size_t>(at)] = true;
  }
  for (int32_t i = count - 1; i >= 0; --i)
    if (!wanted[static_cast<size_t>(i)]) Check(BEE_CmdDeleteKeyframe(layer, index, i), list, "removing a keyframe");
  stream = StreamOf(layer, index, list);
  Check(TDB_GetNumKeys(stream, &count), list, "counting the keys");
  if (static_cast<size_t>(count) != keys.size())
    list.Error("keyframes fall on the same time of the layer (" + std::to_string(keys.size()) + " given, " +
               std::to_string(count) + " kept)");
  for (size_t i = 0; i < keys.size(); ++i) KeyDetails(layer, index, stream, static_cast<int32_t>(i), keys[i]);
}

}  // namespace

namespace {

// The engine keeps a property within its limits (opacity 150 is stored as
// 100): a value outside them is said, so a slip does not pass unnoticed.
void NoteLimited(BEE_Layer layer, int32_t index, const Node& value, const std::vector<double>& nums) {
  uint32_t flags = 0;
  double lo = 0, hi = 0;
  if (BEE_GetStreamMinMax(layer, index, &flags, &lo, &hi) != 0) return;
  const bool clampLo = flags & BEE_Limit_ClampMin, clampHi = flags & BEE_Limit_ClampMax;
  for (double x : nums) {
    if (!(clampLo && x < lo) && !(clampHi && x > hi)) continue;
    const double kept = clampLo && x < lo ? lo : hi;
    const std::string range = clampLo && clampHi ? "outside " + Decimal(lo) + " to " + Decimal(hi)
                              : clampLo         ? "below " + Decimal(lo)
                                                : "above " + Decimal(hi);
    value.Note(Decimal(x) + " is " + range + ": " + Decimal(kept) + " is kept");
    return;
  }
}

}  // namespace

void SetProperty(BEE_Layer layer, int32_t index, const Node& n, const ValueReader& read) {
  BEE_StreamValue current{};
  Check(BEE_GetStreamFPV(layer, index, nullptr, nullptr, &current), n, "reading the property");
  const auto dimension = static_cast<size_t>(current.shape ? 0 : current.count);
  BEE_UnGetStreamFPV(layer, index, &current);
  if (dimension == 0 || dimension > BEE_MaxStreamValues) n.Error("this property does not hold numbers");
  struct Numbers : KeyValueSetter {
    BEE_Layer layer;
    int32_t index;
    size_t dimension;
    const ValueReader& read;
    Numbers(BEE_Layer l, int32_t i, size_t d, const ValueReader& r) : layer(l), index(i), dimension(d), read(r) {}
    void Set(const Node& value, const Time* time) override {
      BEE_StreamValue v{};
      const std::vector<double> nums = read(value, dimension);
      NoteLimited(layer, index, value, nums);
      std::copy(nums.begin(), nums.end(), v.values);
      v.count = static_cast<int32_t>(dimension);
      Check(BEE_CmdSetStreamFPV(layer, index, time, nullptr, &v), value,
            time ? "setting the keyframe at " + Decimal(static_cast<double>(time->value) / time->scale) + " s"
                 : std::string("setting the value"));
    }
  } numbers(layer, index, dimension, read);
  SetAnimatable(layer, index, n, numbers);
}

void SetProperty(BEE_Layer layer, int32_t index, const Node& n, bool scalarForAll) {
  SetProperty(layer, index, n, [scalarForAll](const Node& v, size_t d) { return v.Numbers(d, scalarForAll); });
}

void SetAnimatable(BEE_Layer layer, int32_t index, const Node& n, KeyValueSetter& setter) {
  if (IsKeyList(n)) SetKeys(layer, index, n, setter);
  else setter.Set(n, nullptr);
}

}  // namespace tavelo::desc
