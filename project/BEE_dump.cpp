// A text dump of the whole project: every field of every item and layer and
// every key of every stream, so that two states can be compared exactly.
#include <cstring>

#include "BEE_internal.h"

namespace tv::bee {

namespace {

std::string T(Time t) { return fmt::Format("%ld/%lu", {t.value, t.scale}); }
std::string Q(Ratio r) { return fmt::Format("%ld/%lu", {r.num, r.den}); }

// The first failure of a stream read while dumping (reported by the stream
// package); the dump goes on and the failure is answered at the end.
ErrorCode Keep(ErrorCode& first, ErrorCode err) {
  if (err && !first) first = err;
  return err;
}

void DumpStream(std::string& out, int32_t index, TDB_Stream s, ErrorCode& first) {
  out += fmt::Format("    stream %ld: ", {index});
  if (!s) {
    out += "none\n";
    return;
  }
  TDB_StreamInfo info{};
  if (Keep(first, TDB_GetStreamInfo(s, &info)) != 0) {
    out += "unreadable\n";
    return;
  }
  out += fmt::Format("dim %d flags %X scale %lu keys %ld\n",
                     {info.dimension, info.flags, info.timeScale, info.keyCount});
  int32_t n = (info.flags & TDB_StreamConstant) ? (info.hasValue ? 1 : 0) : info.keyCount;
  for (int32_t k = 0; k < n; ++k) {
    double v[TDB_MaxDimension] = {};
    Keep(first, TDB_GetKeyF(s, k, v));
    out += "      ";
    if (!(info.flags & TDB_StreamConstant)) {
      Time kt{};
      Keep(first, TDB_IndexToTime(s, k, &kt));
      int8_t in = 0, o = 0;
      Keep(first, TDB_GetKeyInterps(s, k, &in, &o));
      double iv[TDB_MaxDimension] = {}, ii[TDB_MaxDimension] = {}, ov[TDB_MaxDimension] = {},
             oi[TDB_MaxDimension] = {};
      Keep(first, TDB_GetKeyTangentsF(s, k, iv, ii, ov, oi));
      out += fmt::Format("t %s interp %d/%d ease %.9g %.9g %.9g %.9g ", {T(kt), in, o, iv[0], ii[0], ov[0], oi[0]});
    }
    for (int32_t d = 0; d < info.dimension; ++d) out += fmt::Format("%.12g ", {v[d]});
    out += "\n";
  }
}

void DumpLayer(std::string& out, BEE_Layer l, ErrorCode& first) {
  const BEE_LayerRec& r = R(l);
  out += fmt::Format("  layer #%lu \"%s\" q %d label %d transfer %lu/%lu/%lu stretch %s\n",
                     {r.id, std::string(NameOf(r.name)), r.quality, r.label, r.transferMode, r.transferFlags,
                      r.trackMatte, Q(r.stretch)});
  out += fmt::Format("    times %s %s %s switches %lX origin %g,%g comment \"%s\"\n",
                     {T(r.offset), T(r.inPoint), T(r.outPoint), r.switches, r.origin.h, r.origin.v,
                      std::string(TextOf(r.comment))});
  if (IsLiveItem(r.source)) {
    const BEE_ItemRec& s = R(r.source);
    out += fmt::Format("    source #%lu kind %d", {s.id, s.kind});
    if (s.kind == BEE_KindSolid)
      out += fmt::Format(" solid \"%s\" %lX %ux%u", {std::string(NameOf(s.name)), s.solidColor, s.width, s.height});
    out += "\n";
  }
  for (int32_t i = 0; i < BEE_StandardStreamCount; ++i) DumpStream(out, i, r.streams[i], first);
}

}  // namespace

ErrorCode DumpProject(std::string& out) {
  out.clear();
  ErrorCode first = 0;
  State& g = G();
  if (!g.open) {
    out = "no project\n";
    return 0;
  }
  out += fmt::Format("project sort %ld guides %lX\n", {g.sortMode, g.guideProps});
  for (BEE_Item it : g.order) {
    const BEE_ItemRec& r = R(it);
    uint32_t parentId = IsLiveItem(r.parent) ? R(r.parent).id : 0;
    out += fmt::Format("item #%lu kind %d parent #%lu \"%s\" flags %lX label %d origin %g,%g comment \"%s\"\n",
                       {r.id, r.kind, parentId, std::string(NameOf(r.name)), r.flags, r.label, r.origin.h,
                        r.origin.v, std::string(TextOf(r.comment))});
    if (r.guides) {
      int32_t n = 0;
      LIST_GetNumItems(r.guides, &n);
      for (int32_t i = 0; i < n; ++i) {
        BEE_Guide gd{};
        LIST_GetItem(r.guides, i, &gd);
        out += fmt::Format("  guide %ld %u %u %u\n", {gd.position, gd.settings[0], gd.settings[1], gd.settings[2]});
      }
    }
    if (r.kind != BEE_KindComp) continue;
    out += fmt::Format("  comp %ux%u dur %s second %s rate %lX frame %s hsf %s dsf %u,%u bg %lX switches %lX\n",
                       {r.width, r.height, T(r.duration), T(r.secondTime), r.frameRate, T(r.frameDuration),
                        Q(r.hsf), r.dsfH, r.dsfV, r.bgColor, r.compSwitches});
    out += fmt::Format("  now %s work %s %s\n", {T(r.currentTime), T(r.workStart), T(r.workEnd)});
    int32_t n = LayerCount(it);
    for (int32_t i = 0; i < n; ++i) DumpLayer(out, LayerAt(it, i), first);
  }
  return first;
}

}  // namespace tv::bee
