// Parameter values at a time, new parameter Streams, and the calls made on
// behalf of the host: params update, the general call, about, and the layer
// behind an effect reference.
#include <cstring>

#include "FLT_internal.h"

namespace tv::flt {
namespace {

SeqRec* Rec(Handle seq) { return reinterpret_cast<SeqRec*>(*seq); }

// A copy of the parameter record (the Sequence locked only for the copy).
ErrorCode ParamCopy(Handle seq, int32_t index, uint32_t site, PF_ParamDef* out) {
  *out = PF_ParamDef{};
  if (ErrorCode err = SeqCheck(seq, site)) return err;
  if (index < 0 || static_cast<uint32_t>(index) >= Rec(seq)->paramCount) return kReport.Fail(site, 3, kTextIndexRange);
  ParamsLock lock(seq);
  if (lock.error()) return lock.error();
  *out = *lock.list()[index];
  return 0;
}

ErrorCode CallWith(Handle seq, int32_t cmd, void* extra, PF_OutputRecord& out) {
  if (Rec(seq)->classIndex == kMissingClass) return kReport.Fail(kSiteGeneral, 3, kTextNotAvailable, {Rec(seq)->effectName});
  PF_InputRecord in{};
  EffectRef ref{};
  const auto cls = static_cast<int16_t>(Rec(seq)->classIndex);
  PrepareInput(in, ref, cmd, cls, seq);
  FillTimes(in, seq);
  ParamsLock lock(seq);
  if (lock.error()) return lock.error();
  ErrorCode err = CallEffect(cls, cmd, seq, in, out, lock.list(), nullptr, extra);
  Rec(seq)->seqData = out.sequenceData;
  return err;
}

}  // namespace
}  // namespace tv::flt

using namespace tv;
using namespace tv::flt;

ErrorCode FLT_SeqInqParamInfo(FLT_Sequence seq, int32_t index, PF_ParamDef* def) {
  if (!def) return kReport.BadParam(kSiteValue, {"FLT_SeqInqParamInfo"});
  return ParamCopy(seq, index, kSiteValue, def);
}

ErrorCode FLT_SeqGetParamFPV(FLT_Sequence seq, int32_t index, const Time* time, double* values, int32_t* count) {
  if (count) *count = 0;
  if (!time || !values || !count) return kReport.BadParam(kSiteValue, {"FLT_SeqGetParamFPV"});
  PF_ParamDef p{};
  if (ErrorCode err = ParamCopy(seq, index, kSiteValue, &p)) return err;
  const int16_t dim = StreamDimension(p.type);
  if (dim == 0) return kReport.BadParam(kSiteValue, {"FLT_SeqGetParamFPV: no value"});
  double v[4] = {};
  if (p.stream) {
    if (ErrorCode err = TDB_GetValueF(static_cast<TDB_Stream>(p.stream), time, 0, 0, v, nullptr)) return err;
  } else {
    StreamValueFromParam(p, false, v);
  }
  std::memcpy(values, v, sizeof(double) * static_cast<size_t>(dim));
  *count = dim;
  return 0;
}

ErrorCode FLT_SeqSetParamFPV(FLT_Sequence seq, int32_t index, Handle stream, const Time* time, const double* values,
                             int32_t count) {
  if (!time || !values) return kReport.BadParam(kSiteValue, {"FLT_SeqSetParamFPV"});
  PF_ParamDef p{};
  if (ErrorCode err = ParamCopy(seq, index, kSiteValue, &p)) return err;
  const int16_t dim = StreamDimension(p.type);
  if (dim == 0 || count != dim) return kReport.BadParam(kSiteValue, {"FLT_SeqSetParamFPV: values"});
  double v[4] = {};
  std::memcpy(v, values, sizeof(double) * static_cast<size_t>(dim));
  if (!stream && !p.stream) {
    // A parameter without a Stream holds its value itself.
    ParamsLock lock(seq);
    if (lock.error()) return lock.error();
    ParamFromStreamValue(*lock.list()[index], v);
    return 0;
  }
  auto s = reinterpret_cast<TDB_Stream>(stream ? stream : static_cast<Handle>(p.stream));
  TDB_StreamInfo info{};
  if (ErrorCode err = TDB_GetStreamInfo(s, &info)) return err;
  if (info.dimension != dim) return kReport.BadParam(kSiteValue, {"FLT_SeqSetParamFPV: stream"});
  if (info.flags & TDB_StreamConstant) return TDB_InsertKeyF(s, nullptr, 0, 1, v, TDB_InterpLinear, TDB_InterpLinear);
  // A keyframe at the time keeps its interpolation and takes the value.
  Boolean32 found = 0;
  int32_t key = 0;
  Time at{};
  if (ErrorCode err = TDB_FindKeyTime(s, time, 0, TDB_FindIncludeExact, &found, &key, &at)) return err;
  if (found && static_cast<int64_t>(at.value) * time->scale == static_cast<int64_t>(time->value) * at.scale)
    return TDB_SetKeyF(s, key, v);
  return TDB_InsertKeyF(s, time, 0, 1, v, TDB_InterpLinear, TDB_InterpLinear);
}

ErrorCode FLT_NewEmptyParamStream(FLT_Sequence seq, int32_t index, Handle* stream) {
  if (stream) *stream = nullptr;
  if (!stream) return kReport.BadParam(kSiteValue, {"FLT_NewEmptyParamStream"});
  PF_ParamDef p{};
  if (ErrorCode err = ParamCopy(seq, index, kSiteValue, &p)) return err;
  const int16_t dim = StreamDimension(p.type);
  if (dim == 0) return kReport.Fail(kSiteValue, 3, kTextNoTimeVary);
  TDB_Stream s = nullptr;
  if (ErrorCode err = NewDefaultStream(p, dim, &s)) return err;
  *stream = reinterpret_cast<Handle>(s);
  return 0;
}

ErrorCode FLT_ParamChanged(FLT_Sequence seq, int32_t index, PF_ChangeRecord* changes, int32_t count) {
  if (ErrorCode err = SeqCheck(seq, kSiteGeneral)) return err;
  if (!changes || count < static_cast<int32_t>(Rec(seq)->paramCount))
    return kReport.BadParam(kSiteGeneral, {"FLT_ParamChanged"});
  if (index < 0 || static_cast<uint32_t>(index) >= Rec(seq)->paramCount)
    return kReport.Fail(kSiteGeneral, 3, kTextIndexRange);
  std::memset(changes, 0, sizeof(PF_ChangeRecord) * static_cast<size_t>(count));
  PF_ParamsUpdate update{index, count, changes};
  PF_OutputRecord out{};
  return CallWith(seq, PF_Cmd_ParamsUpdate, &update, out);
}

ErrorCode FLT_CompletelyGeneralEffectCall(FLT_Sequence seq, void* data, void* extra) {
  if (ErrorCode err = SeqCheck(seq, kSiteGeneral)) return err;
  Globals& g = G();
  if (g.generalDepth > 0) return kReport.Fail(kSiteGeneral, 3, kTextReentrant);
  ++g.generalDepth;
  PF_OutputRecord out{};
  void* args[2] = {data, extra};
  ErrorCode err = CallWith(seq, PF_Cmd_COMPLETELY_GENERAL, args, out);
  --G().generalDepth;
  return err;
}

ErrorCode FLT_DoAbout(int16_t classIndex) {
  if (ErrorCode err = ReadyClass(classIndex, kSiteGeneral)) return err;
  PF_InputRecord in{};
  PF_OutputRecord out{};
  EffectRef ref{};
  PrepareInput(in, ref, PF_Cmd_About, classIndex, nullptr);
  ErrorCode err = CallEffect(classIndex, PF_Cmd_About, nullptr, in, out, nullptr, nullptr, nullptr);
  UnreadyClass(classIndex);
  return err;
}

ErrorCode FLT_GetLayerFromProgPtr(PF_ProgPtr refPtr, uintptr_t* hostRef) {
  if (hostRef) *hostRef = 0;
  if (!hostRef) return kReport.BadParam(kSiteGeneral, {"FLT_GetLayerFromProgPtr"});
  const auto* ref = static_cast<const EffectRef*>(refPtr);
  if (!ActiveRef(ref) || ref->magic != kRefMagic || ref->tailMagic != kRefMagic || !ref->seq ||
      !kSeqMagicDesc.Intact(ref->seq))
    return kReport.Fail(kSiteGeneral, PF_Result_Damaged, kTextBadProgPtr);
  *hostRef = reinterpret_cast<const SeqRec*>(*ref->seq)->hostRef;
  return 0;
}
