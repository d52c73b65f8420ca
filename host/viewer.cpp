// The engine side of `tavelo view` (viewer.h).
#include "viewer.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <sstream>

#include "cli.h"
#include "output_module.h"
#include "project.h"
#include "session.h"
#include "sound.h"

namespace tavelo {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// A request the viewer turns down: the status and a sentence for the user.
struct Refusal {
  int status;
  std::string message;
};

Reply JsonReply(const Json& j) { return Reply{200, "application/json", j.dump(), {}}; }

const std::string* Param(const Params& params, const std::string& name) {
  auto it = params.find(name);
  return it == params.end() ? nullptr : &it->second;
}

// Refuses a parameter the call does not take (a misspelt one would be
// ignored otherwise) or one given twice; the page's token is always allowed.
void OnlyParams(const Params& params, std::initializer_list<std::string_view> known) {
  std::string names;
  for (std::string_view k : known) names += (names.empty() ? "" : ", ") + std::string(k);
  for (const auto& [name, value] : params) {
    if (name == "token") continue;
    if (std::find(known.begin(), known.end(), name) == known.end())
      throw Refusal{400, "unknown parameter \"" + name + "\" (" + names + ")"};
    if (params.count(name) > 1) throw Refusal{400, "the parameter \"" + name + "\" is given twice"};
  }
}

// A decimal number within lo..hi, or def when absent.
double NumberParam(const Params& params, const std::string& name, double def, double lo, double hi) {
  const std::string* text = Param(params, name);
  if (!text) return def;
  size_t used = 0;
  double v = 0;
  try {
    v = std::stod(*text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text->size() || !std::isfinite(v) || v < lo || v > hi) {
    std::ostringstream s;
    s << "bad " << name << " \"" << *text << "\" (a number from " << lo << " to " << hi << ")";
    throw Refusal{400, s.str()};
  }
  return v;
}

std::string Choice(const Params& params, const std::string& name, const std::vector<std::string>& allowed) {
  const std::string* text = Param(params, name);
  if (!text) return allowed.front();
  for (const std::string& a : allowed)
    if (*text == a) return a;
  std::string list;
  for (const std::string& a : allowed) list += (list.empty() ? "" : ", ") + a;
  throw Refusal{400, "bad " + name + " \"" + *text + "\" (" + list + ")"};
}

double Seconds(Time t) { return t.scale ? static_cast<double>(t.value) / t.scale : 0; }

Json CompJson(BEE_Item comp) {
  uint32_t id = 0;
  int32_t w = 0, h = 0;
  Time duration{};
  BEE_GetItemID(comp, &id);
  BEE_GetItemDimensions(comp, &w, &h);
  BEE_GetItemDuration(comp, &duration, nullptr);
  const FrameGrid g = GridOf(comp);
  return {{"id", id},
          {"name", ItemName(comp)},
          {"width", w},
          {"height", h},
          {"fps", static_cast<double>(g.frame.scale) / g.frame.value},
          {"frames", g.count},
          {"duration", Seconds(duration)}};
}

Json LayerJson(BEE_Layer layer, int32_t number) {
  BEE_LayerInfo info{};
  BEE_GetLayerInfo(layer, &info);
  return {{"number", number},
          {"name", std::string(info.name, strnlen(info.name, sizeof info.name))},
          {"source", std::string(info.sourceName, strnlen(info.sourceName, sizeof info.sourceName))},
          {"video", (info.switches & BEE_SwitchVideo) != 0},
          {"audio", (info.switches & BEE_SwitchAudioMute) == 0},
          {"effects", (info.switches & BEE_SwitchEffects) != 0}};
}

// The switches a request may change: name, bit, whether the bit set means on.
struct SwitchName {
  const char* name;
  uint32_t bit;
  bool setMeansOn;
};
constexpr SwitchName kSwitches[] = {
    {"video", BEE_SwitchVideo, true}, {"audio", BEE_SwitchAudioMute, false}, {"effects", BEE_SwitchEffects, true}};

// An undo group that ends on every way out.
struct Group {
  explicit Group(const char* name) { Check(BEE_StartGroup(name, BEE_CmdNumToggleSwitch), "starting an undo step"); }
  ~Group() { BEE_EndGroup(); }
};

void SetSwitch(BEE_Layer layer, const SwitchName& s, bool on) {
  Check(BEE_CmdSetLayerSwitch(layer, s.bit, s.setMeansOn == on ? 1 : 0), std::string("switching ") + s.name);
}

// Runs fn under the engine lock; refusals and engine failures become JSON
// errors, and the engine's reports are forgotten once answered.
template <class Fn>
Reply Guarded(std::mutex& mutex, Fn&& fn) {
  std::lock_guard lock(mutex);
  Reply reply;
  try {
    reply = fn();
  } catch (const Refusal& r) {
    reply = ErrorReply(r.status, r.message);
  } catch (const Failure& f) {
    reply = ErrorReply(500, f.what());
  } catch (const std::exception& e) {
    reply = ErrorReply(500, e.what());
  }
  if (Session::current) Session::current->TakeReports();
  return reply;
}

}  // namespace

Reply ErrorReply(int status, const std::string& message) {
  return Reply{status, "application/json", Json{{"error", message}}.dump(), {}};
}

Viewer::Viewer(std::string project, fs::path scratch) : project_(std::move(project)), scratch_(std::move(scratch)) {
  Load();
  if (!loadError_.empty()) Fail(loadError_);
}

Viewer::Stamp Viewer::StampNow() const {
  std::error_code ec;
  Stamp s;
  s.time = fs::last_write_time(project_, ec);
  s.size = ec ? 0 : fs::file_size(project_, ec);
  return s;
}

void Viewer::Changed() {
  ++revision_;
  encoded_.clear();
  encodedOrder_.clear();
  encodedBytes_ = 0;
}

void Viewer::Load() {
  stamp_ = StampNow();
  loadError_.clear();
  Changed();
  try {
    BEE_CloseProject();
    Check(BEE_NewProject(), "starting a project");
    LoadProject(project_);
  } catch (const Failure& f) {
    loadError_ = f.what();
    BEE_CloseProject();
    BEE_NewProject();
  }
  // The viewer's undo steps are the user's own, not those of the build.
  BEE_ClearUndoRedo();
}

bool Viewer::ReloadIfChanged() {
  std::lock_guard lock(mutex_);
  if (StampNow() == stamp_) return false;
  Load();
  if (Session::current) Session::current->TakeReports();
  return true;
}

BEE_Item Viewer::CompById(uint32_t id) {
  if (!loadError_.empty()) throw Refusal{503, "the project could not be read: " + loadError_};
  BEE_Item item = nullptr;
  int16_t kind = 0;
  if (BEE_LookupItemID(id, &item) || !item || BEE_GetItemKind(item, &kind) || kind != BEE_KindComp)
    throw Refusal{404, "no composition with ID " + std::to_string(id)};
  return item;
}

BEE_Layer Viewer::LayerOf(BEE_Item comp, int32_t number) {
  int32_t n = 0;
  BEE_GetCompNumLayers(comp, &n);
  BEE_Layer layer = nullptr;
  if (number < 1 || number > n || BEE_GetIndLayer(comp, number - 1, &layer) || !layer)
    throw Refusal{404, "the composition has no layer " + std::to_string(number) + " (layers 1 to " +
                           std::to_string(n) + ", from the top)"};
  return layer;
}

std::string Viewer::ReadBack(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::error_code ec;
  fs::remove(file, ec);
  if (!in.good() && !in.eof()) Fail("cannot read back \"" + file.string() + "\"");
  return bytes;
}

Reply Viewer::State() {
  return Guarded(mutex_, [&] {
    Boolean32 canUndo = 0, canRedo = 0;
    char undoName[BEE_GroupNameSize + 1] = {}, redoName[BEE_GroupNameSize + 1] = {};
    BEE_UndoAvailable(&canUndo, undoName);
    BEE_RedoAvailable(&canRedo, redoName);
    Json j = {{"project", fs::path(project_).filename().string()},
              {"revision", revision_},
              {"undo", canUndo ? Json(undoName) : Json()},
              {"redo", canRedo ? Json(redoName) : Json()},
              {"error", loadError_.empty() ? Json() : Json(loadError_)},
              {"comp", defaultComp}};
    return JsonReply(j);
  });
}

Reply Viewer::Comps() {
  return Guarded(mutex_, [&] {
    if (!loadError_.empty()) throw Refusal{503, "the project could not be read: " + loadError_};
    Json list = Json::array();
    for (BEE_Item c : tavelo::Comps()) list.push_back(CompJson(c));
    return JsonReply(list);
  });
}

Reply Viewer::Comp(uint32_t id) {
  return Guarded(mutex_, [&] {
    BEE_Item comp = CompById(id);
    Json j = CompJson(comp);
    j["layers"] = Json::array();
    int32_t n = 0;
    BEE_GetCompNumLayers(comp, &n);
    for (int32_t i = 0; i < n; ++i) {
      BEE_Layer layer = nullptr;
      if (BEE_GetIndLayer(comp, i, &layer) == 0) j["layers"].push_back(LayerJson(layer, i + 1));
    }
    return JsonReply(j);
  });
}

Reply Viewer::Frame(uint32_t id, const Params& params) {
  return Guarded(mutex_, [&] {
    OnlyParams(params, {"frame", "res", "format"});
    BEE_Item comp = CompById(id);
    const FrameGrid g = GridOf(comp);
    if (const std::string* f = Param(params, "frame"); f && f->find_first_not_of("0123456789") != std::string::npos)
      throw Refusal{400, "bad frame \"" + *f + "\" (a whole number)"};
    const auto frame = static_cast<int64_t>(NumberParam(params, "frame", 0, 0, static_cast<double>(g.count - 1)));
    const std::string res = Choice(params, "res", {"full", "half", "third", "quarter"});
    const std::string format = Choice(params, "format", {"png", "jpeg"});
    const uint16_t factor = res == "full" ? 1 : res == "half" ? 2 : res == "third" ? 3 : 4;
    const std::string key = std::to_string(id) + "/" + std::to_string(frame) + "/" + res + "/" + format;
    if (auto it = encoded_.find(key); it != encoded_.end()) return it->second;
    int32_t w = 0, h = 0;
    Check(BEE_GetItemDimensions(comp, &w, &h), "reading the composition's size");
    BEE_AdjustForDSF(factor, factor, &w, &h);

    BEE_RenderRequest rq{};
    rq.time = Time{static_cast<int32_t>(frame * g.frame.value), g.frame.scale};
    rq.span = g.frame;
    rq.layerCount = -1;
    rq.flags = BEE_Request_Cacheable;
    const auto start = std::chrono::steady_clock::now();
    Boolean32 exact = 0;
    MC_Receipt receipt = nullptr;
    BM_World world = nullptr;
    Check(BEE_CheckoutCachedItemFrame(comp, &rq, w, h, &exact, &receipt, &world), "looking in the frame cache");
    const bool cached = exact && receipt;
    if (!cached) {
      if (receipt) BEE_CheckinItemFrame(receipt);
      receipt = nullptr;
      Check(BEE_CheckoutItemFrame(comp, &rq, w, h, &receipt), "rendering frame " + std::to_string(frame));
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const fs::path file = scratch_ / (format == "png" ? "frame.png" : "frame.jpg");
    ErrorCode err = BEE_GetReceiptWorld(receipt, &world);
    try {
      if (!err) WriteWorld(world, file.string());
    } catch (...) {
      BEE_CheckinItemFrame(receipt);
      throw;
    }
    BEE_CheckinItemFrame(receipt);
    Check(err, "reading frame " + std::to_string(frame));
    char msText[32];
    std::snprintf(msText, sizeof msText, "%.1f", ms);
    Reply r{200, format == "png" ? "image/png" : "image/jpeg", ReadBack(file), {}};
    r.headers = {{"X-Render-Ms", msText},
                 {"X-Cache", cached ? "hit" : "miss"},
                 {"X-Frame", std::to_string(frame)},
                 {"X-Revision", std::to_string(revision_)},
                 {"Cache-Control", "no-store"}};
    // Sent again from here, as a cache hit that took no rendering.
    Reply kept = r;
    kept.headers[0].second = "0.0";
    kept.headers[1].second = "hit";
    encodedBytes_ += kept.body.size();
    encoded_.emplace(key, std::move(kept));
    encodedOrder_.push_back(key);
    size_t oldest = 0;
    while (encodedBytes_ > kEncodedBudget && oldest + 1 < encodedOrder_.size()) {
      auto it = encoded_.find(encodedOrder_[oldest++]);
      encodedBytes_ -= it->second.body.size();
      encoded_.erase(it);
    }
    encodedOrder_.erase(encodedOrder_.begin(), encodedOrder_.begin() + static_cast<ptrdiff_t>(oldest));
    return r;
  });
}

Reply Viewer::Sound(uint32_t id, const Params& params) {
  return Guarded(mutex_, [&] {
    OnlyParams(params, {"start", "duration", "rate"});
    BEE_Item comp = CompById(id);
    Time duration{};
    Check(BEE_GetItemDuration(comp, &duration, nullptr), "reading the duration");
    const double total = Seconds(duration);
    const double rate = NumberParam(params, "rate", 48000, 8000, 96000);
    if (rate != std::floor(rate)) throw Refusal{400, "bad rate (a whole number of Hz)"};
    const double from = NumberParam(params, "start", 0, 0, total);
    // At most a minute at a time; never past the composition's end.
    const double span = std::min(NumberParam(params, "duration", std::min(total - from, 60.0), 0, 60), total - from);
    if (span <= 0) {
      std::ostringstream why;
      why << "the span holds no sound (";
      if (from >= total)
        why << "start " << from << " s is the composition's end)";
      else
        why << "a duration of 0 s)";
      throw Refusal{400, why.str()};
    }
    const auto scale = static_cast<uint32_t>(rate);
    const Time start{static_cast<int32_t>(std::llround(from * rate)), scale};
    const Time length{std::max<int32_t>(1, static_cast<int32_t>(std::llround(span * rate))), scale};
    SoundWorld sound = RenderCompSound(comp, rate, 2, start, length);
    const fs::path file = scratch_ / "sound.wav";
    WriteSoundFile(sound.get(), file.string(), 16);
    return Reply{200, "audio/wav", ReadBack(file), {{"Cache-Control", "no-store"}}};
  });
}

Reply Viewer::SetSwitches(uint32_t id, int32_t number, const std::string& body) {
  return Guarded(mutex_, [&] {
    BEE_Item comp = CompById(id);
    BEE_Layer layer = LayerOf(comp, number);
    Json j = Json::parse(body, nullptr, false);
    if (!j.is_object() || j.empty())
      throw Refusal{400, "send a JSON object of switches, such as {\"video\": false} (video, audio, effects)"};
    std::vector<std::pair<const SwitchName*, bool>> changes;
    for (auto& [key, value] : j.items()) {
      const SwitchName* s = nullptr;
      for (const SwitchName& k : kSwitches)
        if (key == k.name) s = &k;
      if (!s) throw Refusal{400, "unknown switch \"" + key + "\" (video, audio, effects)"};
      if (!value.is_boolean()) throw Refusal{400, "the switch \"" + key + "\" takes true or false"};
      changes.emplace_back(s, value.get<bool>());
    }
    {
      Group group("Layer Switches");
      for (auto& [s, on] : changes) SetSwitch(layer, *s, on);
    }
    Changed();
    return JsonReply(LayerJson(layer, number));
  });
}

Reply Viewer::Solo(uint32_t id, int32_t number) {
  return Guarded(mutex_, [&] {
    BEE_Item comp = CompById(id);
    LayerOf(comp, number);
    int32_t n = 0;
    BEE_GetCompNumLayers(comp, &n);
    {
      Group group("Solo Layer");
      for (int32_t i = 1; i <= n; ++i) SetSwitch(LayerOf(comp, i), kSwitches[0], i == number);
    }
    Changed();
    return JsonReply(Json{{"solo", number}});
  });
}

Reply Viewer::Undo(bool redo) {
  {
    std::lock_guard lock(mutex_);
    Boolean32 available = 0;
    (redo ? BEE_RedoAvailable : BEE_UndoAvailable)(&available, nullptr);
    if (!available) return ErrorReply(409, redo ? "nothing to redo" : "nothing to undo");
    const ErrorCode err = redo ? BEE_Redo() : BEE_Undo();
    Changed();
    if (err) {
      const std::string text = Session::current ? Session::current->LastError() : std::string();
      if (Session::current) Session::current->TakeReports();
      return ErrorReply(500, std::string(redo ? "redo" : "undo") + " failed" + (text.empty() ? "" : ": " + text) +
                                 " (code " + std::to_string(err) + ")");
    }
  }
  return State();
}

}  // namespace tavelo
