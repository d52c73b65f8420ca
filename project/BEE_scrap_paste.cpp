// Pasting scraps: keyframes into a layer's streams, layers into a
// composition (command 9).
#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

#include <vector>

#include "BEE_cmd_internal.h"
#include "BEE_scrap_internal.h"
#include "FLT.h"
#include "OM.h"

using namespace tv;
using namespace tv::bee;

namespace tv::bee {

namespace {

// Effect parameters go to the same parameter of the n-th effect of the same
// class on the target, n counting the copied effects of that class.
ErrorCode MapEffects(const BEE_ScrapRec& scrap, BEE_Layer layer, std::vector<int32_t>* targets) {
  targets->assign(scrap.streams.size(), -1);
  Handle parade = nullptr;
  int32_t effects = 0;
  BEE_InqLayerEffectSeq(layer, &parade, &effects);
  std::vector<std::string> classes;
  for (int32_t e = 0; e < effects; ++e) {
    FLT_Sequence seq = nullptr;
    int16_t cls = 0;
    char match[48] = {};
    if (FLT_GetParadeSeq(parade, e, &seq) == 0 && FLT_SeqInqClass(seq, &cls) == 0) FLT_InqPFInfo(cls, nullptr, match, nullptr);
    classes.emplace_back(match);
  }
  std::map<int32_t, int32_t> groupTarget;       // scrap effect group -> target effect position
  std::map<std::string, int32_t> seen;          // match name -> groups met so far
  for (size_t i = 0; i < scrap.streams.size(); ++i) {
    const ScrapStream& s = scrap.streams[i];
    if (s.index < BEE_StreamFirstEffect) {
      (*targets)[i] = s.index;
      continue;
    }
    const int32_t group = (s.index - BEE_StreamFirstEffect) / 128;
    auto g = groupTarget.find(group);
    if (g == groupTarget.end()) {
      int32_t n = seen[s.matchName]++;
      int32_t found = -1;
      for (int32_t e = 0; e < effects && found < 0; ++e)
        if (classes[static_cast<size_t>(e)] == s.matchName && n-- == 0) found = e;
      if (found < 0)
        return kReport.Report(kSitePaste, kSevError, kErrRange, kTextNoStream, {static_cast<int64_t>(s.index)});
      g = groupTarget.emplace(group, found).first;
    }
    (*targets)[i] = BEE_StreamFirstEffect + 128 * g->second + s.param - 1;
  }
  return 0;
}

ErrorCode PasteFault(int32_t text) { return kReport.Report(kSitePaste, kSevError, kErrBadParam, text); }

// Whether the copied stream fits the target's stream.
ErrorCode CheckFit(const ScrapStream& s, const Unit& u) {
  TDB_StreamInfo info{};
  if (u.stream)
    if (ErrorCode err = TDB_GetStreamInfo(u.stream, &info)) return err;
  const bool targetCustom = info.valueDescription.kind != 0;
  if (s.custom && targetCustom && s.customKind != info.valueDescription.kind) return PasteFault(kTextCoerceCustom);
  if (s.custom && !targetCustom) return PasteFault(kTextFromCustom);
  if (!s.custom && targetCustom) return PasteFault(kTextToCustom);
  if (s.spatial && !u.spatial) return PasteFault(kTextSpatialToTemporal);
  if (!s.spatial && u.spatial) return PasteFault(kTextTemporalToSpatial);
  // Only equal dimension counts convert.
  if (!s.custom && s.dimension != u.dimension) {
    std::string msg = u::SubString(kReport.Text(kTextPasteDims), {s.dimension, u.dimension});
    return kReport.Message(kSitePaste, kSevError, kErrBadParam, msg);
  }
  return 0;
}

bool IsConstant(TDB_Stream s) {
  TDB_StreamInfo info{};
  TDB_GetStreamInfo(s, &info);
  return (info.flags & TDB_StreamConstant) != 0;
}

double Seconds(Time t) { return t.scale ? static_cast<double>(t.value) / t.scale : 0.0; }

// The earliest key time of the scrap's keyed streams (0 when none is keyed).
double FirstKeySeconds(const BEE_ScrapRec& scrap) {
  double first = 0;
  bool any = false;
  for (const ScrapStream& s : scrap.streams) {
    if (IsConstant(s.stream)) continue;
    Time t = kInvalidTime;
    if (TDB_IndexToTime(s.stream, 0, &t) != 0) continue;
    if (!any || Seconds(t) < first) first = Seconds(t);
    any = true;
  }
  return first;
}

struct Owned {
  TDB_Stream s = nullptr;
  ~Owned() {
    if (s) TDB_DisposeStream(s);
  }
};

// Puts one value of the copied stream (key k, or the constant value with k
// -1) into target at the time value tv.
ErrorCode PutValue(const BEE_ScrapRec& scrap, const ScrapStream& s, BEE_Layer layer, const Unit& u, int32_t k,
                   int32_t tv, TDB_Stream target) {
  int8_t in = TDB_InterpLinear, out = TDB_InterpLinear;
  if (k >= 0) TDB_GetKeyInterps(s.stream, k, &in, &out);
  if (s.custom) {
    Time at = kInvalidTime;
    if (k >= 0) {
      if (ErrorCode err = TDB_IndexToTime(s.stream, k, &at)) return err;
    } else {
      at = Time{0, 1};
    }
    OM_Shape shape = nullptr;
    if (ErrorCode err = OM_GetShape(s.stream, &at, 0, &shape)) return err;
    ErrorCode err = OM_InsertKeyShape(target, nullptr, tv, 1, shape, in, out);
    OM_DisposeShape(shape);
    return err;
  }
  double v[BEE_MaxStreamValues] = {};
  if (ErrorCode err = TDB_GetKeyF(s.stream, k >= 0 ? k : 0, v)) return err;
  ScrapToUser(scrap, s, v);
  bool changed = false;
  if (ErrorCode err = ValidateValues(u, v, &changed)) return err;
  ConvertValues(layer, u, false, v);
  return TDB_InsertKeyF(target, nullptr, tv, 1, v, in, out);
}

// The target's new stream: a copy of its stream with the copied keys in it.
ErrorCode BuildStream(const BEE_ScrapRec& scrap, const ScrapStream& s, BEE_Layer layer, const Unit& u, double base,
                      double first, TDB_Stream* out) {
  *out = nullptr;
  Owned d;
  if (ErrorCode err = TDB_DuplicateStream(u.stream, &d.s)) return err;
  TDB_StreamInfo info{};
  if (ErrorCode err = TDB_GetStreamInfo(d.s, &info)) return err;
  const double scale = info.timeScale;
  auto timeValue = [&](double seconds, int32_t* tv) -> ErrorCode {
    const double x = std::nearbyint(seconds * scale);
    if (!(x >= -2147483647.0 && x <= 2147483647.0)) return Strange(kSitePaste, "time", 0);
    *tv = static_cast<int32_t>(x);
    return 0;
  };
  int32_t baseValue = 0;
  if (ErrorCode err = timeValue(base, &baseValue)) return err;
  if (IsConstant(s.stream)) {
    if (ErrorCode err = PutValue(scrap, s, layer, u, -1, baseValue, d.s)) return err;
  } else {
    int32_t keys = 0;
    if (ErrorCode err = TDB_GetNumKeys(s.stream, &keys)) return err;
    std::vector<int32_t> times(static_cast<size_t>(keys));
    for (int32_t k = 0; k < keys; ++k) {
      Time t = kInvalidTime;
      if (ErrorCode err = TDB_IndexToTime(s.stream, k, &t)) return err;
      if (ErrorCode err = timeValue(base + Seconds(t) - first, &times[static_cast<size_t>(k)])) return err;
    }
    // A target that was not animated becomes animated by the pasted keys
    // alone: its first key takes the place of the one that making it vary
    // leaves (the old value, which would else stay at the paste time).
    if ((info.flags & TDB_StreamConstant) && keys > 0)
      if (ErrorCode err = TDB_SetConstant(d.s, 0, nullptr, times[0])) return err;
    for (int32_t k = 0; k < keys; ++k)
      if (ErrorCode err = PutValue(scrap, s, layer, u, k, times[static_cast<size_t>(k)], d.s)) return err;
  }
  *out = d.s;
  d.s = nullptr;
  return 0;
}

// A red solid owned by layer replacing its source, named by text.
ErrorCode SubstituteSolid(BEE_Layer layer, BEE_Item comp, int32_t text) {
  int32_t w = 0, h = 0;
  BEE_GetSourceDimensions(layer, &w, &h);
  if (w <= 0 || h <= 0 || w > 30000 || h > 30000) {
    w = R(comp).width;
    h = R(comp).height;
  }
  BEE_Item solid = nullptr;
  if (ErrorCode err = NewItem(BEE_KindSolid, kReport.Text(text), &solid)) return err;
  R(solid).solidColor = 0xFFFF0000;
  R(solid).width = static_cast<uint16_t>(w);
  R(solid).height = static_cast<uint16_t>(h);
  R(solid).solidLayer = layer;
  R(layer).source = solid;
  return 0;
}

}  // namespace

BEE_OP(OpPasteLayer) {
  const auto [comp, layer] = Words<PasteLayerCmd>(*rec);
  if (ErrorCode err = CheckComp(comp)) return err;
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (IndexOfLayer(layer) != kNotFound) return kReport.BadParam(kSiteArgument, {"Paste Layer"});
  if (ErrorCode err = InsertLayer(comp, layer, 0)) return err;
  SetInverse(inv, ClearLayerCmd{layer, {}});
  return 0;
}

}  // namespace tv::bee

namespace {

// Pastes the scrap's streams onto the target indices.
ErrorCode Paste(BEE_Layer layer, BEE_Scrap scrap, const std::vector<int32_t>& targets) {
  // Every stream is checked and built before anything changes.
  std::vector<Unit> units(scrap->streams.size());
  for (size_t i = 0; i < scrap->streams.size(); ++i) {
    if (ErrorCode err = ResolveUnit(layer, targets[i], &units[i])) return err;
    if (!units[i].stream)
      return kReport.Report(kSitePaste, kSevError, kErrRange, kTextNoStream, {static_cast<int64_t>(targets[i])});
    if (ErrorCode err = CheckFit(scrap->streams[i], units[i])) return err;
  }
  Time now = kInvalidTime;
  if (ErrorCode err = BEE_GetLayerCurrentTime(layer, &now)) return err;
  const double base = Seconds(now), first = FirstKeySeconds(*scrap);
  std::vector<TDB_Stream> built;
  ErrorCode err = 0;
  for (size_t i = 0; i < scrap->streams.size() && !err; ++i) {
    TDB_Stream s = nullptr;
    err = BuildStream(*scrap, scrap->streams[i], layer, units[i], base, first, &s);
    if (!err) built.push_back(s);
  }
  if (err) {
    for (TDB_Stream s : built) TDB_DisposeStream(s);
    return err;
  }
  if ((err = BEE_StartGroup(kReport.Text(kTextPasteKeyframes), 0))) {
    for (TDB_Stream s : built) TDB_DisposeStream(s);
    return err;
  }
  size_t done = 0;
  for (; done < built.size() && !err;) {
    BEE_StreamRef ref{layer, targets[done]};
    BEE_InhibitCollapsingForNextCmd();
    err = DoCommand(KeyframeChangeCmd{&ref, built[done]});
    if (err) TDB_DisposeStream(built[done]);
    ++done;
  }
  for (; done < built.size(); ++done) TDB_DisposeStream(built[done]);
  BEE_EndGroup();
  // A paste that failed halfway is taken back whole.
  if (err && done > 1) BEE_Undo();
  return err;
}

ErrorCode CheckKeyScrap(BEE_Layer layer, BEE_Scrap scrap, const char* op) {
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (!scrap) return kReport.BadParam(kSiteArgument, {op});
  if (scrap->kind != BEE_ScrapKeyframes)
    return kReport.Report(kSiteScrap, kSevError, kErrBadParam, kTextScrapKind, {scrap->kind});
  return 0;
}

}  // namespace

ErrorCode BEE_CmdPasteKeyframesIntoLayer(BEE_Layer layer, BEE_Scrap scrap) try {
  if (ErrorCode err = CheckKeyScrap(layer, scrap, "BEE_CmdPasteKeyframesIntoLayer")) return err;
  std::vector<int32_t> targets;
  if (ErrorCode err = MapEffects(*scrap, layer, &targets)) return err;
  return Paste(layer, scrap, targets);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdPasteKeyframesIntoStream(BEE_Layer layer, int32_t index, BEE_Scrap scrap) try {
  if (ErrorCode err = CheckKeyScrap(layer, scrap, "BEE_CmdPasteKeyframesIntoStream")) return err;
  if (scrap->streams.size() != 1)
    return kReport.Report(kSiteScrap, kSevError, kErrBadParam, kTextScrapKind, {scrap->kind});
  return Paste(layer, scrap, {index});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdPasteLayersIntoComp(BEE_Item comp, BEE_Scrap scrap) try {
  if (ErrorCode err = CheckComp(comp)) return err;
  if (!scrap) return kReport.BadParam(kSiteArgument, {"BEE_CmdPasteLayersIntoComp"});
  if (scrap->kind != BEE_ScrapLayers)
    return kReport.Report(kSiteScrap, kSevError, kErrBadParam, kTextScrapKind, {scrap->kind});
  // Fresh copies, so the scrap can be pasted again; sources fixed first.
  std::vector<BEE_Layer> copies;
  auto cleanup = [&] {
    for (BEE_Layer l : copies) DisposeLayer(l);
  };
  bool warned = false;
  for (BEE_Layer l : scrap->layers) {
    BEE_Layer c = nullptr;
    if (ErrorCode err = DuplicateLayerRec(l, &c)) {
      cleanup();
      return err;
    }
    copies.push_back(c);
    BEE_Item src = R(c).source;
    const bool ownSolid = IsLiveItem(src) && R(src).kind == BEE_KindSolid && R(src).solidLayer == c;
    ErrorCode err = 0;
    if (src && !ownSolid && !IsInProject(src)) {
      err = SubstituteSolid(c, comp, kTextSourceDeleted);
    } else if (src && !ownSolid && !SourceAllowed(comp, src)) {
      err = SubstituteSolid(c, comp, kTextCircularSolid);
      if (!err && !warned) {
        kReport.Note(kSitePaste, kSevWarning, kTextCircularPaste);
        warned = true;
      }
    } else if (src && !ownSolid) {
      err = CheckNesting(comp, src, kSitePaste);
    }
    if (err) {
      cleanup();
      return err;
    }
  }
  // Effects of the copies read the copies of the layers they read when
  // those came along; else the layers themselves, pasted back where they
  // were copied from, and none elsewhere.
  std::unordered_map<uint32_t, uint32_t> ids;
  for (size_t k = 0; k < copies.size() && k < scrap->origins.size(); ++k)
    ids[scrap->origins[k].id] = R(copies[k]).id;
  for (size_t k = 0; k < copies.size(); ++k) {
    const bool home = k < scrap->origins.size() && scrap->origins[k].comp == comp &&
                      scrap->origins[k].generation == G().generation;
    FollowLayerChoices(copies[k], ids, home);
  }
  BEE_SelectionRec* sel = new BEE_SelectionRec;
  std::unique_ptr<BEE_SelectionRec> selOwned(sel);
  ErrorCode err = BEE_StartGroup(kReport.Text(copies.size() == 1 ? kTextPasteLayer : kTextPasteLayers), 0);
  if (err) {
    cleanup();
    return err;
  }
  // The first copied layer ends on top.
  size_t i = copies.size();
  bool any = false;
  while (i > 0 && !err) {
    --i;
    err = DoCommand(PasteLayerCmd{comp, copies[i]});
    if (!err) {
      BEE_Layer pasted = copies[i];
      copies.erase(copies.begin() + static_cast<std::ptrdiff_t>(i));
      BEE_SelectLayer(sel, pasted, 1, nullptr);
      any = true;
    }
  }
  if (!err) err = BEE_CmdSetCompSelection(comp, sel);
  BEE_EndGroup();
  cleanup();
  if (err && any) BEE_Undo();
  return err;
} TV_CATCH(BEE_PackageNumber)
