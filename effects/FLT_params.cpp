// Parameters of a Sequence: inquiries, Streams, limits and validation,
// seeking the values to a time and resolving layer parameters.
#include <cmath>
#include <cstring>

#include "FLT_internal.h"

namespace tv::flt {
namespace {

SeqRec* Rec(Handle seq) { return reinterpret_cast<SeqRec*>(*seq); }

// The parameter record at index (the Sequence locked or not).
ErrorCode Param(Handle seq, int32_t index, uint32_t site, PF_ParamDef** out) {
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

ErrorCode StreamParam(Handle seq, int32_t index, PF_ParamDef** out) {
  if (ErrorCode err = Param(seq, index, kSiteSeqStream, out)) return err;
  if ((*out)->flags & PF_ParamFlag_NoStream) {
    *out = nullptr;
    return kReport.Fail(kSiteSeqStream, 3, kTextNoTimeVary);
  }
  return 0;
}

}  // namespace
}  // namespace tv::flt

using namespace tv;
using namespace tv::flt;

ErrorCode FLT_SeqInqParamStream(FLT_Sequence seq, int32_t index, Handle* stream) {
  if (stream) *stream = nullptr;
  if (!stream) return kReport.BadParam(kSiteSeqStream, {"FLT_SeqInqParamStream"});
  PF_ParamDef* p = nullptr;
  if (ErrorCode err = StreamParam(seq, index, &p)) return err;
  *stream = static_cast<Handle>(p->stream);
  return 0;
}

ErrorCode FLT_SeqSetParamStream(FLT_Sequence seq, int32_t index, Handle stream, Handle* old) {
  if (old) *old = nullptr;
  PF_ParamDef* p = nullptr;
  if (ErrorCode err = StreamParam(seq, index, &p)) return err;
  TDB_StreamInfo info{};
  if (!stream) return kReport.BadParam(kSiteSeqStream, {"FLT_SeqSetParamStream"});
  if (ErrorCode err = TDB_GetStreamInfo(reinterpret_cast<TDB_Stream>(stream), &info)) return err;
  if (info.dimension != StreamDimension(p->type))
    return kReport.BadParam(kSiteSeqStream, {"FLT_SeqSetParamStream: dimension"});
  Handle previous = static_cast<Handle>(p->stream);
  p->stream = stream;
  if (old)
    *old = previous;
  else if (previous && previous != stream)
    TDB_DisposeStream(reinterpret_cast<TDB_Stream>(previous));
  return 0;
}

ErrorCode FLT_SeqInqParamInfoPlus(FLT_Sequence seq, int32_t index, uint32_t* flags, uint32_t* uiWord,
                                  uint32_t* type) {
  if (flags) *flags = 0;
  if (uiWord) *uiWord = 0;
  if (type) *type = 0;
  PF_ParamDef* p = nullptr;
  if (ErrorCode err = Param(seq, index, kSiteSeqParam, &p)) return err;
  if (flags) *flags = p->flags;
  if (uiWord) *uiWord = p->uiFlags;
  if (type) *type = p->type;
  return 0;
}

ErrorCode FLT_SeqInqParamUnion(FLT_Sequence seq, int32_t index, uint32_t* words) {
  if (words) std::memset(words, 0, 4 * PF_ParamUnionWords);
  if (!words) return kReport.BadParam(kSiteSeqParam, {"FLT_SeqInqParamUnion"});
  PF_ParamDef* p = nullptr;
  if (ErrorCode err = Param(seq, index, kSiteSeqParam, &p)) return err;
  std::memcpy(words, p->u.words, 4 * PF_ParamUnionWords);
  return 0;
}

ErrorCode FLT_SeqInqParamName(FLT_Sequence seq, int32_t index, char* name32) {
  if (name32) std::memset(name32, 0, PF_ParamNameBytes);
  if (!name32) return kReport.BadParam(kSiteSeqParam, {"FLT_SeqInqParamName"});
  PF_ParamDef* p = nullptr;
  if (ErrorCode err = Param(seq, index, kSiteSeqParam, &p)) return err;
  std::memcpy(name32, p->name, PF_ParamNameBytes);
  name32[PF_ParamNameBytes - 1] = 0;
  return 0;
}

ErrorCode FLT_SeqInqParamDefault(FLT_Sequence seq, int32_t index, double* values, int32_t* count) {
  if (count) *count = 0;
  if (!values || !count) return kReport.BadParam(kSiteSeqParam, {"FLT_SeqInqParamDefault"});
  PF_ParamDef* p = nullptr;
  if (ErrorCode err = StreamParam(seq, index, &p)) return err;
  double v[4] = {};
  StreamValueFromParam(*p, true, v);
  *count = StreamDimension(p->type);
  std::memcpy(values, v, sizeof(double) * static_cast<size_t>(*count));
  return 0;
}

ErrorCode FLT_SeqGetStreamMinMax(FLT_Sequence seq, int32_t index, uint32_t* flags, double* minimum,
                                 double* maximum) {
  if (flags) *flags = 0;
  if (minimum) *minimum = 0;
  if (maximum) *maximum = 0;
  if (!flags || !minimum || !maximum) return kReport.BadParam(kSiteSeqValidate, {"FLT_SeqGetStreamMinMax"});
  PF_ParamDef* p = nullptr;
  if (ErrorCode err = Param(seq, index, kSiteSeqValidate, &p)) return err;
  const uint32_t* w = p->u.words;
  switch (p->type) {
    case PF_Param_Slider:
      *flags = 7;
      *minimum = static_cast<int32_t>(w[PF_Word_Min]);
      *maximum = static_cast<int32_t>(w[PF_Word_Max]);
      break;
    case PF_Param_FixedSlider:
      *flags = 3;
      *minimum = static_cast<int32_t>(w[PF_Word_Min]) / 65536.0;
      *maximum = static_cast<int32_t>(w[PF_Word_Max]) / 65536.0;
      break;
    case PF_Param_Checkbox:
      *flags = 7;
      *maximum = 1;
      break;
    case PF_Param_Colour:
      *flags = 3;
      *maximum = 255;
      break;
    case PF_Param_Popup: {
      int16_t n = 0;
      std::memcpy(&n, p->u.bytes + PF_Byte_ChoiceCount, sizeof n);
      *flags = 7;
      *minimum = 1;
      *maximum = n;
      break;
    }
    case PF_Param_FloatSlider: {
      float lo = 0, hi = 0;
      std::memcpy(&lo, &w[PF_Word_FloatMin], sizeof lo);
      std::memcpy(&hi, &w[PF_Word_FloatMax], sizeof hi);
      *flags = 3;
      *minimum = lo;
      *maximum = hi;
      break;
    }
    default:
      break;
  }
  return 0;
}

ErrorCode FLT_SeqValidateStreamValue(FLT_Sequence seq, int32_t index, double* values, Boolean32* changed) {
  if (changed) *changed = 0;
  if (!values || !changed) return kReport.BadParam(kSiteSeqValidate, {"FLT_SeqValidateStreamValue"});
  uint32_t flags = 0;
  double lo = 0, hi = 0;
  if (ErrorCode err = FLT_SeqGetStreamMinMax(seq, index, &flags, &lo, &hi)) return err;
  PF_ParamDef* p = nullptr;
  Param(seq, index, kSiteSeqValidate, &p);
  int32_t dims = 0;
  if (p->stream) {
    TDB_StreamInfo info{};
    if (ErrorCode err = TDB_GetStreamInfo(static_cast<TDB_Stream>(p->stream), &info)) return err;
    dims = info.dimension;
  }
  for (int32_t i = 0; i < dims; ++i) {
    double v = values[i];
    if (flags & FLT_Valid_Round) v = std::floor(v + 0.5);
    // A value that does not compare at least the minimum (a NaN among them)
    // becomes the minimum.
    if ((flags & FLT_Valid_ClampMin) && !(v >= lo)) v = lo;
    if ((flags & FLT_Valid_ClampMax) && v > hi) v = hi;
    if (!(v == values[i])) {
      values[i] = v;
      *changed = 1;
    }
  }
  return 0;
}

ErrorCode FLT_SeekParams(FLT_Sequence seq, const Time* time) {
  if (!time) return kReport.BadParam(kSiteSeqSeek, {"FLT_SeekParams"});
  if (ErrorCode err = SeqCheck(seq, kSiteSeqSeek)) return err;
  const uint32_t count = reinterpret_cast<SeqRec*>(*seq)->paramCount;
  for (uint32_t i = 0; i < count; ++i) {
    PF_ParamDef* p = nullptr;
    if (ErrorCode err = Param(seq, static_cast<int32_t>(i), kSiteSeqSeek, &p)) return err;
    if (!p->stream) continue;
    double v[4] = {};
    if (ErrorCode err = TDB_GetValueF(static_cast<TDB_Stream>(p->stream), time, 0, 0, v, nullptr)) return err;
    ParamFromStreamValue(*p, v);
  }
  return 0;
}

namespace {

ErrorCode LayerParam(FLT_Sequence seq, int32_t index, const char* operation, PF_ParamDef** p) {
  if (ErrorCode err = SeqCheck(seq, kSiteSeqParam)) return err;
  if (index < 1) return kReport.BadParam(kSiteSeqParam, {operation});
  if (ErrorCode err = Param(seq, index, kSiteSeqParam, p)) return err;
  if ((*p)->type != PF_Param_Layer) return kReport.BadParam(kSiteSeqParam, {operation});
  return 0;
}

}  // namespace

ErrorCode FLTp_SeqGetLayerRef(FLT_Sequence seq, int32_t index, uint32_t* layerRef, uint32_t* companion) {
  if (layerRef) *layerRef = 0;
  if (companion) *companion = 0;
  if (!layerRef || !companion) return kReport.BadParam(kSiteSeqParam, {"FLTp_SeqGetLayerRef"});
  PF_ParamDef* p = nullptr;
  if (ErrorCode err = LayerParam(seq, index, "FLTp_SeqGetLayerRef", &p)) return err;
  *layerRef = p->u.words[0];
  *companion = p->u.words[1];
  return 0;
}

ErrorCode FLTp_SeqSetLayerRef(FLT_Sequence seq, int32_t index, uint32_t layerRef, uint32_t companion) {
  PF_ParamDef* p = nullptr;
  if (ErrorCode err = LayerParam(seq, index, "FLTp_SeqSetLayerRef", &p)) return err;
  p->u.words[0] = layerRef;
  p->u.words[1] = companion;
  return 0;
}

ErrorCode FLT_ResolveLayers(FLT_Sequence seq, FLT_ResolveFunc fn, void* refcon) {
  if (!fn) return kReport.BadParam(kSiteSeqParam, {"FLT_ResolveLayers"});
  if (ErrorCode err = SeqCheck(seq, kSiteSeqParam)) return err;
  const uint32_t count = reinterpret_cast<SeqRec*>(*seq)->paramCount;
  ErrorCode running = 0;
  for (uint32_t i = 0; i < count && !running; ++i) {
    PF_ParamDef* p = nullptr;
    if (ErrorCode err = Param(seq, static_cast<int32_t>(i), kSiteSeqParam, &p)) return err;
    if (p->type != PF_Param_Layer) continue;
    // The callback may allocate: it works on copies written back after.
    uint32_t layer = p->u.words[0], companion = p->u.words[1];
    running = fn(running, seq, refcon, &layer, &companion);
    Param(seq, static_cast<int32_t>(i), kSiteSeqParam, &p);
    p->u.words[0] = layer;
    p->u.words[1] = companion;
  }
  return running;
}
