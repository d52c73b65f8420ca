// Inquiries about parameters and classes: names for stream texts, full
// parameter values, stream factors, the registered custom UI, an effect's
// external dependencies, and comparing two Parades.
#include <cstring>

#include "FLT_internal.h"

namespace tv::flt {
namespace {

SeqRec* Rec(Handle seq) { return reinterpret_cast<SeqRec*>(*seq); }

void CopyText(char* dst, size_t size, const char* src) {
  std::memset(dst, 0, size);
  std::memcpy(dst, src, strnlen(src, size - 1));
}

// A copy of a template record of a class (params setup run first).
ErrorCode TemplateParam(int16_t classIndex, int32_t index, PF_ParamDef* def, ClassRec* cls) {
  *def = PF_ParamDef{};
  if (ErrorCode err = ReadyClass(classIndex, kSiteInquire)) return err;
  UnreadyClass(classIndex);
  ClassRec c;
  if (ErrorCode err = GetClass(classIndex, c)) return err;
  if (index < 0 || index >= c.paramCount || !c.paramBlock) return kReport.Fail(kSiteInquire, 3, kTextIndexRange);
  *def = reinterpret_cast<const PF_ParamDef*>(*c.paramBlock)[index];
  if (cls) *cls = c;
  return 0;
}

uint32_t OutFlagsOf(Handle seq) {
  ClassRec c{};
  if (Rec(seq)->classIndex == kMissingClass || LIST_GetItem(G().classes, Rec(seq)->classIndex, &c)) return 0;
  return c.outFlags;
}

bool SameTime(const Time& a, const Time& b) {
  return static_cast<int64_t>(a.value) * b.scale == static_cast<int64_t>(b.value) * a.scale;
}

// Whether two Streams hold the same keys (times, values, interpolations).
ErrorCode SameStreams(TDB_Stream a, TDB_Stream b, bool* same) {
  *same = false;
  TDB_StreamInfo ia{}, ib{};
  if (ErrorCode err = TDB_GetStreamInfo(a, &ia)) return err;
  if (ErrorCode err = TDB_GetStreamInfo(b, &ib)) return err;
  if (ia.dimension != ib.dimension || ia.dimension > 4 || (ia.flags & TDB_StreamConstant) != (ib.flags & TDB_StreamConstant))
    return 0;
  if (ia.flags & TDB_StreamConstant) {
    double va[4] = {}, vb[4] = {};
    if (ErrorCode err = TDB_GetValueF(a, nullptr, 0, 0, va, nullptr)) return err;
    if (ErrorCode err = TDB_GetValueF(b, nullptr, 0, 0, vb, nullptr)) return err;
    *same = std::memcmp(va, vb, sizeof va) == 0;
    return 0;
  }
  int32_t na = 0, nb = 0;
  TDB_GetNumKeys(a, &na);
  TDB_GetNumKeys(b, &nb);
  if (na != nb) return 0;
  for (int32_t k = 0; k < na; ++k) {
    Time ta{}, tb{};
    double va[4] = {}, vb[4] = {};
    int8_t ina = 0, outa = 0, inb = 0, outb = 0;
    if (ErrorCode err = TDB_IndexToTime(a, k, &ta)) return err;
    if (ErrorCode err = TDB_IndexToTime(b, k, &tb)) return err;
    if (ErrorCode err = TDB_GetKeyF(a, k, va)) return err;
    if (ErrorCode err = TDB_GetKeyF(b, k, vb)) return err;
    TDB_GetKeyInterps(a, k, &ina, &outa);
    TDB_GetKeyInterps(b, k, &inb, &outb);
    if (!SameTime(ta, tb) || std::memcmp(va, vb, sizeof va) != 0 || ina != inb || outa != outb) return 0;
  }
  *same = true;
  return 0;
}

// Whether parameter i of two Sequences of one class holds the same value.
ErrorCode SameParam(Handle a, Handle b, int32_t i, const Time* time, bool* same) {
  *same = false;
  PF_ParamDef pa{}, pb{};
  if (ErrorCode err = FLT_GetParamDef(a, i, time, &pa)) return err;
  if (ErrorCode err = FLT_GetParamDef(b, i, time, &pb)) {
    FLT_SeqDisposeParamFPV(a, i, &pa);
    return err;
  }
  ErrorCode err = 0;
  if (pa.type == PF_Param_Arbitrary) {
    PF_ArbitraryCall call{};
    call.op = PF_Arb_Compare;
    call.paramIndex = i;
    call.value = ArbValue(pa);
    call.other = ArbValue(pb);
    err = ArbCall(static_cast<int16_t>(Rec(a)->classIndex), a, call);
    *same = !err && call.compare == 0;
  } else if (!time) {
    PF_ParamDef* ra = nullptr;
    PF_ParamDef* rb = nullptr;
    err = ParamAt(a, i, kSiteCompare, &ra);
    if (!err) err = ParamAt(b, i, kSiteCompare, &rb);
    if (!err && (ra->stream != nullptr) != (rb->stream != nullptr)) {
      *same = false;
    } else if (!err && ra->stream) {
      err = SameStreams(static_cast<TDB_Stream>(ra->stream), static_cast<TDB_Stream>(rb->stream), same);
    } else if (!err) {
      *same = std::memcmp(&pa.u, &pb.u, sizeof pa.u) == 0;
    }
  } else {
    *same = std::memcmp(&pa.u, &pb.u, sizeof pa.u) == 0;
  }
  FLT_SeqDisposeParamFPV(a, i, &pa);
  FLT_SeqDisposeParamFPV(b, i, &pb);
  return err;
}

}  // namespace

ErrorCode ParamAt(Handle seq, int32_t index, uint32_t site, PF_ParamDef** out) {
  *out = nullptr;
  if (ErrorCode err = SeqCheck(seq, site)) return err;
  SeqRec* r = Rec(seq);
  if (index < 0 || static_cast<uint32_t>(index) >= r->paramCount || !r->paramIndex)
    return kReport.Fail(site, 3, kTextIndexRange);
  const uintptr_t entry = reinterpret_cast<const uintptr_t*>(*r->paramIndex)[index];
  *out = r->lockCount ? reinterpret_cast<PF_ParamDef*>(entry)
                      : reinterpret_cast<PF_ParamDef*>(*r->paramBlock + entry);
  return 0;
}

}  // namespace tv::flt

using namespace tv;
using namespace tv::flt;

ErrorCode FLT_GetStreamText(FLT_Sequence seq, int32_t index, char* effectName48, char* paramName32) {
  if (effectName48) std::memset(effectName48, 0, 48);
  if (paramName32) std::memset(paramName32, 0, PF_ParamNameBytes);
  if (ErrorCode err = SeqCheck(seq, kSiteInquire)) return err;
  const SeqRec r = *Rec(seq);
  if (effectName48) {
    if (r.name[0]) {
      CopyText(effectName48, 48, r.name);
    } else if (r.classIndex == kMissingClass) {
      CopyText(effectName48, 48, r.effectName);
    } else {
      ClassRec c;
      if (ErrorCode err = GetClass(static_cast<int16_t>(r.classIndex), c)) return err;
      CopyText(effectName48, 32, c.name);
    }
  }
  PF_ParamDef* p = nullptr;
  if (ErrorCode err = ParamAt(seq, index, kSiteInquire, &p)) {
    if (effectName48) std::memset(effectName48, 0, 48);
    return err;
  }
  if (paramName32) CopyText(paramName32, PF_ParamNameBytes, p->name);
  return 0;
}

ErrorCode FLT_GetGlobalStreamText(int16_t classIndex, int32_t index, char* effectName32, char* paramName32) {
  if (effectName32) std::memset(effectName32, 0, 32);
  if (paramName32) std::memset(paramName32, 0, PF_ParamNameBytes);
  PF_ParamDef def{};
  ClassRec c{};
  if (ErrorCode err = TemplateParam(classIndex, index, &def, &c)) return err;
  if (effectName32) CopyText(effectName32, 32, c.name);
  if (paramName32) CopyText(paramName32, PF_ParamNameBytes, def.name);
  return 0;
}

ErrorCode FLT_GetParamDef(FLT_Sequence seq, int32_t index, const Time* time, PF_ParamDef* def) {
  if (def) *def = PF_ParamDef{};
  if (!def) return kReport.BadParam(kSiteInquire, {"FLT_GetParamDef"});
  if (time && time->scale == 0) return kReport.BadParam(kSiteInquire, {"FLT_GetParamDef: time scale"});
  PF_ParamDef* p = nullptr;
  if (ErrorCode err = ParamAt(seq, index, kSiteInquire, &p)) return err;
  PF_ParamDef copy = *p;
  copy.stream = nullptr;
  if (time && p->stream) {
    double v[4] = {};
    if (ErrorCode err = TDB_GetValueF(static_cast<TDB_Stream>(p->stream), time, 0, 0, v, nullptr)) return err;
    ParamFromStreamValue(copy, v);
  }
  if (copy.type == PF_Param_Arbitrary) {
    // The caller gets its own value; the default stays the Sequence's.
    Handle value = nullptr;
    if (ErrorCode err = ArbCopy(static_cast<int16_t>(Rec(seq)->classIndex), seq, index, ArbValue(copy), &value))
      return err;
    SetArbValue(copy, value);
    SetArbDefault(copy, nullptr);
  }
  *def = copy;
  return 0;
}

ErrorCode FLT_SeqDisposeParamFPV(FLT_Sequence seq, int32_t index, PF_ParamDef* def) {
  if (!def) return kReport.BadParam(kSiteInquire, {"FLT_SeqDisposeParamFPV"});
  if (ErrorCode err = SeqCheck(seq, kSiteInquire)) return err;
  if (def->type == PF_Param_Arbitrary) {
    PF_ParamDef* p = nullptr;
    if (ErrorCode err = ParamAt(seq, index, kSiteInquire, &p)) return err;
    // Never the Sequence's own value.
    if (Handle h = ArbValue(*def); h && h != ArbValue(*p))
      ArbDispose(static_cast<int16_t>(Rec(seq)->classIndex), seq, index, h);
  }
  *def = PF_ParamDef{};
  return 0;
}

ErrorCode FLT_GetGlobalParamDef(int16_t classIndex, int32_t index, PF_ParamDef* def) {
  if (def) *def = PF_ParamDef{};
  if (!def) return kReport.BadParam(kSiteInquire, {"FLT_GetGlobalParamDef"});
  return TemplateParam(classIndex, index, def, nullptr);
}

ErrorCode FLT_GetEffectStreamFactor(FLT_Sequence seq, int32_t index, double* factor) {
  if (factor) *factor = 0;
  if (!factor) return kReport.BadParam(kSiteInquire, {"FLT_GetEffectStreamFactor"});
  PF_ParamDef* p = nullptr;
  if (ErrorCode err = ParamAt(seq, index, kSiteInquire, &p)) return err;
  switch (p->type) {
    case PF_Param_FixedSlider: case PF_Param_Angle: case PF_Param_Point:
      *factor = 65536.0;
      break;
    default:
      *factor = StreamDimension(p->type) > 0 ? 1.0 : 0.0;
      break;
  }
  return 0;
}

ErrorCode FLT_InqPFCustomUIInfo(int16_t classIndex, uint32_t* words11, Boolean32* registered) {
  if (words11) std::memset(words11, 0, 11 * sizeof(uint32_t));
  if (registered) *registered = 0;
  if (!words11 || !registered) return kReport.BadParam(kSiteInquire, {"FLT_InqPFCustomUIInfo"});
  if (ErrorCode err = ReadyClass(classIndex, kSiteInquire)) return err;
  UnreadyClass(classIndex);
  ClassRec c;
  if (ErrorCode err = GetClass(classIndex, c)) return err;
  if (!(c.uiFlags & kUIRegistered)) return 0;
  std::memcpy(words11, c.customUI, sizeof c.customUI);
  *registered = 1;
  return 0;
}

ErrorCode FLT_CheckExternalDependencies(FLT_Sequence seq, char* text, int32_t size, Boolean32* depends) {
  if (depends) *depends = 0;
  if (text && size > 0) std::memset(text, 0, static_cast<size_t>(size));
  if (!text || size < 1 || !depends) return kReport.BadParam(kSiteInquire, {"FLT_CheckExternalDependencies"});
  if (ErrorCode err = SeqCheck(seq, kSiteInquire)) return err;
  if (Rec(seq)->classIndex == kMissingClass) {
    CopyText(text, static_cast<size_t>(size), Rec(seq)->effectName);
    *depends = 1;
    return 0;
  }
  const auto cls = static_cast<int16_t>(Rec(seq)->classIndex);
  PF_Dependencies deps{text, size, 0};
  PF_InputRecord in{};
  PF_OutputRecord out{};
  EffectRef ref{};
  PrepareInput(in, ref, PF_Cmd_Interpolate, cls, seq);
  FillTimes(in, seq);
  ErrorCode err = 0;
  {
    ParamsLock lock(seq);
    if (lock.error()) return lock.error();
    err = CallEffect(cls, PF_Cmd_Interpolate, seq, in, out, lock.list(), nullptr, &deps);
    Rec(seq)->seqData = out.sequenceData;
  }
  // The text is the effect's: read only within its room.
  text[size - 1] = 0;
  if (err) {
    std::memset(text, 0, static_cast<size_t>(size));
    return err;
  }
  *depends = text[0] != 0;
  return 0;
}

ErrorCode FLT_ParadeWillSynthAudio(FLT_Parade parade, Boolean32* willSynth) {
  if (willSynth) *willSynth = 0;
  if (!willSynth) return kReport.BadParam(kSiteParade, {"FLT_ParadeWillSynthAudio"});
  LIST_Handle items = nullptr;
  if (ErrorCode err = ParadeItems(parade, kSiteParade, &items)) return err;
  int32_t n = 0;
  LIST_GetNumItems(items, &n);
  for (int32_t i = 0; i < n; ++i) {
    ParadeItem it{};
    LIST_GetItem(items, i, &it);
    if (!(it.flags & FLT_Item_On) || !(it.flags & (FLT_Item_AudioOnly | FLT_Item_AudioAlso))) continue;
    if (OutFlagsOf(it.seq) & PF_OutFlag_SynthesizesAudio) *willSynth = 1;
  }
  return 0;
}

ErrorCode FLT_ParadeCompareParamStreamValues(FLT_Parade a, FLT_Parade b, const Time* time, Boolean32* same) {
  if (same) *same = 0;
  if (!same) return kReport.BadParam(kSiteCompare, {"FLT_ParadeCompareParamStreamValues"});
  if (time && time->scale == 0) return kReport.BadParam(kSiteCompare, {"time scale"});
  LIST_Handle ia = nullptr, ib = nullptr;
  if (ErrorCode err = ParadeItems(a, kSiteCompare, &ia)) return err;
  if (ErrorCode err = ParadeItems(b, kSiteCompare, &ib)) return err;
  int32_t na = 0, nb = 0;
  LIST_GetNumItems(ia, &na);
  LIST_GetNumItems(ib, &nb);
  if (na != nb) return 0;
  for (int32_t i = 0; i < na; ++i) {
    ParadeItem x{}, y{};
    LIST_GetItem(ia, i, &x);
    LIST_GetItem(ib, i, &y);
    if (x.flags != y.flags) return 0;
    const SeqRec rx = *Rec(x.seq), ry = *Rec(y.seq);
    if (rx.classIndex != ry.classIndex || rx.paramCount != ry.paramCount) return 0;
    if (rx.classIndex == kMissingClass) {
      // Effects that are not installed are the same when their bytes are.
      const Size sx = rx.raw ? GetHandleSize(rx.raw) : 0, sy = ry.raw ? GetHandleSize(ry.raw) : 0;
      if (sx != sy || (sx && std::memcmp(*rx.raw, *ry.raw, static_cast<size_t>(sx)) != 0)) return 0;
      continue;
    }
    // Parameter 0 is the input layer: it is the layer's, not the effect's.
    for (uint32_t p = 1; p < rx.paramCount; ++p) {
      bool equal = false;
      if (ErrorCode err = SameParam(x.seq, y.seq, static_cast<int32_t>(p), time, &equal)) return err;
      if (!equal) return 0;
    }
  }
  *same = 1;
  return 0;
}
