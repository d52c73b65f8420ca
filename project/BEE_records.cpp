// The ranges of the project's records, shared by the commands and the
// project file reader.
#include "BEE_records.h"

#include <cmath>
#include <cstdlib>

#include "BEE_units.h"
#include "FLT.h"
#include "OM.h"
#include "PF.h"

namespace tv::bee {

namespace {

// A stretch further from 100 % than this factor, either way, takes the
// layer's times out of the range that time arithmetic keeps. It is the range
// of the older layer records, whose numerators count 65536ths.
constexpr int64_t kMaxStretchFactor = 65536;

Fault Bad(int32_t text, const char* field, fmt::Arg a = int64_t{0}, fmt::Arg b = int64_t{0}) {
  return Fault{text, field, a, b};
}

bool OutOfMemory(ErrorCode err) { return err == kErrOutOfMemory || err == kSysMemFull; }

// What a failed call during a check means: bad data, unless memory ran out.
Fault Failed(ErrorCode err, const Fault& bad) {
  if (!OutOfMemory(err)) return bad;
  Fault f;
  f.error = err;
  return f;
}

bool Finite(const double* v, int32_t n) {
  for (int32_t i = 0; i < n; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

}  // namespace

ErrorCode Refuse(uint32_t site, const Fault& f) {
  if (f.error) return f.error;
  return kReport.Report(site, kSevError, kErrBadParam, f.text, {f.a, f.b});
}

// ---- Compositions ----

Fault CheckCompSettings(const BEE_CompSettings& s) {
  Time fd{};
  if (NormalisedFrameDuration(s.frameRate, &fd) != 0)
    return Bad(kTextBadFrameRate, "frame rate", static_cast<int64_t>(s.frameRate));
  // A resolution factor of 0 would divide by zero when the frame is downsampled.
  if (s.dsfH == 0 || s.dsfV == 0) return Bad(kTextBadResolution, "resolution factors", s.dsfH, s.dsfV);
  if (s.width == 0 || s.height == 0 || s.pixelAspect.den == 0 || s.pixelAspect.num <= 0 ||
      s.duration.scale == 0 || s.duration.value < 0 || s.secondTime.scale == 0)
    return Bad(kTextBadDimensions, "composition settings", s.width, s.height);
  return {};
}

Fault CheckCompRecord(const CompRecord& c) {
  if (Fault f = CheckCompSettings(c.settings)) return f;
  Time fd{};
  NormalisedFrameDuration(c.settings.frameRate, &fd);
  if (c.frameDuration.value != fd.value || c.frameDuration.scale != fd.scale)
    return Bad(kTextBadFrameDuration, "frame duration", c.frameDuration.value,
               static_cast<uint64_t>(c.frameDuration.scale));
  if (c.currentTime.scale == 0 || c.workStart.scale == 0 || (c.workEnd.scale == 0 && c.workEnd.value != -1))
    return Bad(kTextBadCompTimes, "composition times");
  return {};
}

CompRecord CompRecordOf(BEE_Item comp) {
  CompRecord c{};
  BEE_GetCompSettings(comp, &c.settings);
  const BEE_ItemRec& r = R(comp);
  c.frameDuration = r.frameDuration;
  c.currentTime = r.currentTime;
  c.workStart = r.workStart;
  c.workEnd = r.workEnd;
  return c;
}

// ---- Solids and footage ----

Fault CheckSolidSize(uint32_t width, uint32_t height) {
  if (width == 0 || height == 0 || width > UINT16_MAX || height > UINT16_MAX)
    return Bad(kTextBadDimensions, "solid size", width, height);
  return {};
}

Fault CheckFootageDesc(const BEE_FootageDesc& d) {
  if (d.duration.scale == 0 || d.duration.value < 0 || d.pixelAspect.den == 0 || d.pixelAspect.num <= 0)
    return Bad(kTextBadDimensions, "footage description", d.width, d.height);
  return {};
}

// ---- Layers ----

Fault CheckLayerRecord(const LayerRecord& l) {
  if (l.quality < BEE_QualityWireframe || l.quality > BEE_QualityBest)
    return Bad(kTextBadQuality, "quality", l.quality);
  // The modes the compositing package draws.
  if (l.transfer.mode >= PF_Xfer_Count)
    return Bad(kTextBadTransferMode, "transfer mode", static_cast<uint64_t>(l.transfer.mode));
  if (l.transfer.trackMatte > BEE_MatteLumaInverted)
    return Bad(kTextBadMatte, "track matte mode", static_cast<uint64_t>(l.transfer.trackMatte));
  // A stretch of 0 cannot be divided by when composition times become layer times.
  const int64_t num = std::llabs(int64_t{l.stretch.num}), den = l.stretch.den;
  if (num == 0 || den == 0 || num > den * kMaxStretchFactor || den > num * kMaxStretchFactor)
    return Bad(kTextBadStretch, "stretch", l.stretch.num, static_cast<uint64_t>(l.stretch.den));
  const BEE_LayerTimes& t = l.times;
  if (t.offset.scale == 0 || t.inPoint.scale == 0 || t.outPoint.scale == 0 || t::Compare(t.inPoint, t.outPoint) > 0)
    return Bad(kTextBadTimes, "layer times");
  return {};
}

LayerRecord LayerRecordOf(BEE_Layer layer) {
  const BEE_LayerRec& r = R(layer);
  return LayerRecord{r.quality,
                     BEE_TransferSettings{r.transferMode, r.transferFlags, r.trackMatte},
                     r.stretch,
                     BEE_LayerTimes{r.offset, r.inPoint, r.outPoint}};
}

// ---- Masks ----

Fault CheckMaskRecord(const MaskRecord& m) {
  if (m.mode < PF_UnoMode_Add || m.mode > PF_UnoMode_Difference) return Bad(kTextBadArgument, "mask mode", "Mask Mode");
  if (m.invert > 1) return Bad(kTextBadArgument, "mask inversion", "Mask Invert");
  if (m.locked > 1) return Bad(kTextBadArgument, "mask lock", "Mask Lock");
  return {};
}

// ---- Keys ----

Fault CheckStream(BEE_Layer layer, int32_t index, TDB_Stream s) {
  const Fault bad = Bad(kTextBadKeys, "keyframes", index);
  if (!s) return {};
  TDB_StreamInfo info{};
  if (ErrorCode e = TDB_GetStreamInfo(s, &info)) return Failed(e, bad);
  const bool constant = (info.flags & TDB_StreamConstant) != 0;
  const bool shape = info.valueDescription.kind == OM_ValueKind;
  // Markers carry no values to check.
  if (!shape && (info.valueDescription.kind != 0 || info.dimension <= 0)) return {};
  // Every time has a value.
  if (constant ? !info.hasValue : info.keyCount == 0) return bad;
  const int32_t keys = constant ? 1 : info.keyCount;
  Unit u{};
  const bool effect = index >= BEE_StreamFirstEffect;
  if (effect)
    if (ErrorCode err = ResolveUnit(layer, index, &u)) return Failed(err, bad);
  for (int32_t k = 0; k < keys; ++k) {
    if (shape) {
      Time at{0, info.timeScale};
      if (!constant)
        if (ErrorCode e = TDB_IndexToTime(s, k, &at)) return Failed(e, bad);
      OM_Shape value = nullptr;
      if (ErrorCode e = OM_GetShape(s, &at, 0, &value)) return Failed(e, bad);
      int32_t type = 0;
      uint32_t flags = 0;
      const ErrorCode err = OM_GetShapeInfo(value, &type, &flags, nullptr);
      OM_DisposeShape(value);
      // Masks are drawn from absolute rectangles, ovals and paths.
      if (err) return Failed(err, bad);
      if ((flags & OM_FlagRelative) || type < OM_TypeRect || type > OM_TypeOval) return bad;
      continue;
    }
    double v[TDB_MaxDimension] = {};
    if (ErrorCode e = TDB_GetKeyF(s, k, v)) return Failed(e, bad);
    if (!Finite(v, info.dimension)) return bad;
    if (effect && u.seq) {
      Boolean32 changed = 0;
      if (ErrorCode e = FLT_SeqValidateStreamValue(u.seq, u.param, v, &changed)) return Failed(e, bad);
      if (changed) return bad;
    }
    if (constant) continue;
    double vin[TDB_MaxDimension] = {}, iin[TDB_MaxDimension] = {}, vout[TDB_MaxDimension] = {},
           iout[TDB_MaxDimension] = {};
    const int32_t n = (info.flags & TDB_StreamSpatial) ? 1 : info.dimension;
    const ErrorCode te = TDB_GetKeyTangentsF(s, k, vin, iin, vout, iout);
    if (OutOfMemory(te)) return Failed(te, bad);
    if (te == 0 && !(Finite(vin, n) && Finite(iin, n) && Finite(vout, n) && Finite(iout, n))) return bad;
    if (info.flags & TDB_StreamSpatial) {
      double tin[TDB_MaxDimension] = {}, tout[TDB_MaxDimension] = {};
      const ErrorCode se = TDB_GetKeySpaceTangents(s, k, tin, tout);
      if (OutOfMemory(se)) return Failed(se, bad);
      if (se == 0 && !(Finite(tin, info.dimension) && Finite(tout, info.dimension))) return bad;
    }
  }
  return {};
}

Fault CheckLayerStreams(BEE_Layer layer) {
  const BEE_LayerRec& r = R(layer);
  for (int32_t i = 0; i < BEE_StandardStreamCount; ++i)
    if (Fault f = CheckStream(layer, i, r.streams[i])) return f;
  int32_t masks = 0;
  if (r.masks) LIST_GetNumItems(r.masks, &masks);
  for (int32_t m = 0; m < masks; ++m)
    for (int32_t k = 0; k < 3; ++k) {
      const int32_t index = BEE_StreamFirstMask + 3 * m + k;
      TDB_Stream s = nullptr;
      if (ErrorCode e = MaskStream(layer, index, &s)) return Failed(e, Bad(kTextBadKeys, "keyframes", index));
      if (Fault f = CheckStream(layer, index, s)) return f;
    }
  int32_t effects = 0;
  if (r.parade) FLT_InqParadeNumSeqs(r.parade, &effects);
  for (int32_t e = 0; e < effects; ++e) {
    FLT_Sequence seq = nullptr;
    int32_t params = 0;
    Boolean32 missing = 0;
    if (FLT_InqParadeSeqMissing(r.parade, e, &missing) != 0 || missing) continue;
    if (FLT_GetParadeSeq(r.parade, e, &seq) != 0 || FLT_SeqInqNumParams(seq, &params) != 0) continue;
    for (int32_t p = 1; p < params && p <= 128; ++p) {
      uint32_t flags = 0, ui = 0, type = 0;
      if (FLT_SeqInqParamInfoPlus(seq, p, &flags, &ui, &type) != 0 || (flags & PF_ParamFlag_NoStream)) continue;
      Handle h = nullptr;
      if (FLT_SeqInqParamStream(seq, p, &h) != 0 || !h) continue;
      if (Fault f = CheckStream(layer, BEE_StreamFirstEffect + 128 * e + p - 1, reinterpret_cast<TDB_Stream>(h)))
        return f;
    }
  }
  return {};
}

}  // namespace tv::bee
