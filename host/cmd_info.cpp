// `tavelo info`: what a project holds (items, compositions with their
// layers, footage and whether its files are there, effects) as text or, with
// --json, for scripts.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>

#include "FILE.h"
#include "FLT.h"
#include "PIN.h"
#include "cli.h"
#include "memory_budget.h"
#include "project.h"
#include "session.h"

namespace tavelo {
namespace {

using Json = nlohmann::ordered_json;

struct InfoOptions {
  std::string project;
  bool json = false;
  bool memory = false;
  std::string memorySize;  // info --memory SIZE: the budget that size gives
};

double Seconds(Time t) { return t.scale ? static_cast<double>(t.value) / t.scale : 0; }

const char* KindName(int16_t kind) {
  switch (kind) {
    case BEE_KindFolder: return "folder";
    case BEE_KindComp: return "composition";
    case BEE_KindSolid: return "solid";
    case BEE_KindFootage: return "footage";
    case BEE_KindRenderItem: return "render item";
    default: return "other";
  }
}

Json Effects(BEE_Layer layer) {
  Json list = Json::array();
  Handle parade = nullptr;
  int32_t count = 0;
  if (BEE_InqLayerEffectSeq(layer, &parade, &count) || !parade) return list;
  for (int32_t e = 0; e < count; ++e) {
    FLT_Sequence seq = nullptr;
    int16_t cls = 0;
    char name[32] = {}, match[48] = {};
    uint32_t flags = 0;
    if (FLT_GetParadeSeq(parade, e, &seq) || FLT_SeqInqClass(seq, &cls) || FLT_InqPFInfo(cls, name, match, &flags))
      list.push_back({{"effect", nullptr}});
    else
      list.push_back({{"effect", name}, {"match", match}});
  }
  return list;
}

Json Layer(BEE_Layer layer) {
  BEE_LayerInfo li{};
  BEE_GetLayerInfo(layer, &li);
  BEE_TransferSettings t{};
  BEE_GetLayerTransfer(layer, &t);
  int32_t masks = 0;
  BEE_GetLayerNumMasks(layer, &masks);
  // In and out as composition times: where the layer starts and ends
  // showing (the earlier first, also for a layer played backwards).
  Time in{}, out{}, a{}, b{};
  BEE_GetLayerTime(layer, BEE_LayerTimeIn, &in, nullptr);
  BEE_GetLayerTime(layer, BEE_LayerTimeOut, &out, nullptr);
  BEE_LayerToCompTime(layer, in, &a);
  BEE_LayerToCompTime(layer, out, &b);
  if (Seconds(b) < Seconds(a)) std::swap(a, b);
  const char* mattes[] = {"none", "alpha", "alphaInverted", "luma", "lumaInverted"};
  return {{"name", li.name},
          {"source", li.sourceName},
          {"sourceKind", KindName(li.sourceKind)},
          {"in", Seconds(a)},
          {"out", Seconds(b)},
          {"visible", (li.switches & BEE_SwitchVideo) != 0},
          {"motionBlur", (li.switches & BEE_SwitchMotionBlur) != 0},
          {"trackMatte", t.trackMatte < 5 ? mattes[t.trackMatte] : "?"},
          {"masks", masks},
          {"effects", Effects(layer)}};
}

Json Describe() {
  Json root = {{"times", "seconds of composition time"},
               {"items", Json::array()},
               {"compositions", Json::array()},
               {"footage", Json::array()}};
  BEE_Item item = nullptr;
  BEE_Item top = nullptr;
  BEE_QueryProject(&top);
  while (BEE_GetNextItem(item, &item) == 0 && item) {
    if (item == top) continue;
    int16_t kind = 0;
    BEE_GetItemKind(item, &kind);
    char path[512] = {};
    BEE_GetItemPath(item, path, sizeof path);
    root["items"].push_back({{"name", ItemName(item)}, {"kind", KindName(kind)}, {"path", path}});
    if (kind == BEE_KindComp) {
      BEE_CompSettings s{};
      BEE_GetCompSettings(item, &s);
      const FrameGrid g = GridOf(item);
      Json comp = {{"name", s.name},
                   {"width", s.width},
                   {"height", s.height},
                   // The rate of the frames' grid (30000/1001 for 29.97), as
                   // the viewer and the Python module tell it.
                   {"fps", g.frame.value > 0 ? static_cast<double>(g.frame.scale) / g.frame.value
                                             : s.frameRate / 65536.0},
                   {"duration", Seconds(s.duration)},
                   {"frames", g.count},
                   {"layers", Json::array()}};
      int32_t n = 0;
      BEE_GetCompNumLayers(item, &n);
      // Numbered from 1, the top layer (the last a description lists), as
      // `keys -l N` and the Python module's comp[N - 1] take them.
      for (int32_t i = 0; i < n; ++i) {
        BEE_Layer layer = nullptr;
        if (BEE_GetIndLayer(item, i, &layer) != 0) continue;
        Json l = {{"number", i + 1}};
        l.update(Layer(layer));
        comp["layers"].push_back(l);
      }
      root["compositions"].push_back(comp);
    } else if (kind == BEE_KindFootage) {
      BEE_FootageDesc fd{};
      BEE_GetFootageDesc(item, &fd);
      Json f = {{"name", ItemName(item)},
                {"width", fd.width},
                {"height", fd.height},
                {"video", fd.hasVideo != 0},
                {"duration", Seconds(fd.duration)}};
      PIN_SeqSpecH seq = nullptr;
      BEE_GetFootageSeqSpec(item, &seq);
      Boolean32 missing = 0;
      FILE_SpecH file = nullptr;
      char name[FILE_MaxPath] = {};
      if (seq) {
        PIN_IsMissing(seq, &missing);
        if (PIN_GetFile(seq, &file) == 0 && file) FILE_InqName(file, FILE_NameFullPath, name, sizeof name);
        FILE_Dispose(file);
        // Missing footage: where it was when the project was saved.
        if (missing && !name[0]) PINp_GetMissingPath(seq, name, sizeof name);
      }
      f["file"] = name;
      f["status"] = !seq ? "no source" : missing ? "missing" : "ok";
      // How the footage is read: its rate, alpha, fields and pixel aspect.
      PIN_Interpretation interp{};
      if (seq && PIN_GetInterpretation(seq, &interp) == 0) {
        const Fixed rate = interp.conformedRate ? interp.conformedRate : interp.nativeRate;
        if (interp.hasTime && rate > 0) f["fps"] = std::round(rate / 65536.0 * 1000) / 1000;
        static const char* const kAlpha[] = {"straight", "premultiplied", "ignore", "none"};
        f["alpha"] = interp.alpha.type < 4 ? kAlpha[interp.alpha.type] : "none";
        f["fields"] = !interp.field.separate ? "off" : interp.field.dominance ? "lowerFirst" : "upperFirst";
        f["pixelAspect"] = interp.hsfDen ? static_cast<double>(interp.hsfNum) / interp.hsfDen : 1.0;
      }
      root["footage"].push_back(f);
    }
  }
  return root;
}

int Info(const InfoOptions& o, Common common) {
  if (o.project.empty() == !o.memory) Fail("give a PROJECT, or --memory for the memory budget", kExitUsage);
  if (!o.memorySize.empty()) {
    if (!common.memory.empty() && common.memory != o.memorySize)
      Fail("two memory budgets: --memory " + common.memory + " and --memory " + o.memorySize, kExitUsage);
    common.memory = o.memorySize;
  }
  Session session(common);
  session.echo = false;
  if (o.memory) return PrintMemoryInfo(o.json);
  LoadProject(o.project);
  Json root = Describe();
  Json notes = Json::array();
  for (const Report& r : session.TakeReports()) notes.push_back(r.text);
  root["notes"] = notes;
  if (o.json) {
    std::printf("%s\n", root.dump(2).c_str());
    return kExitDone;
  }
  std::printf("%s\n", o.project.c_str());
  for (const Json& c : root["compositions"]) {
    std::printf("composition \"%s\": %d x %d, %g fps, %g s (%s), %s from the top:\n",
                c["name"].get<std::string>().c_str(), c["width"].get<int>(), c["height"].get<int>(),
                c["fps"].get<double>(), c["duration"].get<double>(), Count(c["frames"].get<long long>(), "frame").c_str(),
                Count(static_cast<int64_t>(c["layers"].size()), "layer").c_str());
    for (const Json& l : c["layers"]) {
      std::printf("  %2d %-24s %-11s %s", l["number"].get<int>(), l["name"].get<std::string>().c_str(),
                  l["sourceKind"].get<std::string>().c_str(), l["source"].get<std::string>().c_str());
      if (l["masks"].get<int>()) std::printf(", %s", Count(l["masks"].get<int>(), "mask").c_str());
      if (l["trackMatte"] != "none") std::printf(", matte %s", l["trackMatte"].get<std::string>().c_str());
      if (l["motionBlur"].get<bool>()) std::printf(", motion blur");
      for (const Json& e : l["effects"])
        std::printf(", effect %s", e["effect"].is_null() ? "(unknown)" : e["effect"].get<std::string>().c_str());
      std::printf("\n");
    }
  }
  for (const Json& f : root["footage"]) {
    const std::string size = f["video"].get<bool>()
                                 ? std::to_string(f["width"].get<int>()) + " x " + std::to_string(f["height"].get<int>())
                                 : "sound only";
    // A placeholder made without a file has none to name.
    const std::string file = f["file"].get<std::string>();
    // Pixels that are not square and fields are worth a word.
    std::string read;
    if (f.contains("pixelAspect") && f["pixelAspect"].get<double>() != 1.0) {
      char aspect[48];
      std::snprintf(aspect, sizeof aspect, ", pixel aspect %.4g", f["pixelAspect"].get<double>());
      read += aspect;
    }
    if (f.contains("fields") && f["fields"] != "off") read += ", fields " + f["fields"].get<std::string>();
    std::printf("footage \"%s\": %s%s%s%s (%s)\n", f["name"].get<std::string>().c_str(), size.c_str(), read.c_str(),
                file.empty() ? "" : ", ", file.c_str(), f["status"].get<std::string>().c_str());
  }
  for (const Json& n : notes) std::printf("note: %s\n", n.get<std::string>().c_str());
  return kExitDone;
}

}  // namespace

void AddInfoCommand(CLI::App& app, Dispatch& d) {
  static InfoOptions o;
  auto* sub = app.add_subcommand(
      "info", "list a project's compositions, layers, footage and effects; or with --memory the memory budget");
  sub->add_option("PROJECT", o.project, "project file, or a .json project description");
  sub->add_flag("--json", o.json, "print JSON for scripts");
  // A size after it is the budget to print (as `tavelo --memory SIZE info
  // --memory`), not dropped: `info --memory=2G` once printed the budget in
  // force without a word about the 2G.
  sub->add_option_function<std::string>(
         "--memory",
         [](const std::string& size) {
           o.memory = true;
           o.memorySize = size;
         },
         "print the memory budget, where it comes from, where purging starts and the ceiling; with a SIZE, "
         "the budget that size gives")
      ->expected(0, 1)
      ->option_text("[SIZE]");
  AddCommonOptions(*sub, d.common, true, false);
  sub->callback([&d] { d.run = [&d] { return Info(o, d.common); }; });
}

}  // namespace tavelo
