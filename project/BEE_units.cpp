// Stream values in user units: the one table that says how each stream's
// internal values translate to what a user sees, its limits, and the
// readers built on it.
#include <cmath>
#include <cstring>

#include "BEE_units.h"
#include "FLT.h"
#include "M.h"

using namespace tv;
using namespace tv::bee;

namespace tv::bee {

namespace {

struct Limits {
  Conversion conversion;
  uint32_t flags;
  double minimum, maximum;
};

// Standard streams by index.
constexpr Limits kStandard[BEE_StandardStreamCount] = {
    {Conversion::None, BEE_Limit_NotNumeric, 0, 0},        // Mask Shape
    {Conversion::None, 0x3, 0, 1000},                      // Mask Feather
    {Conversion::Source, 0, 0, 0},                         // Anchor Point
    {Conversion::None, 0, 0, 0},                           // Position
    {Conversion::Percent, 0, 0, 0},                        // Scale
    {Conversion::None, 0, 0, 0},                           // Rotation
    {Conversion::Percent, 0x3, 0, 100},                    // Opacity
    {Conversion::None, 0x3, -192, 24},                     // Audio Levels
    {Conversion::None, BEE_Limit_NotNumeric, 0, 0},        // Marker
    {Conversion::None, 0, 0, 0},                           // Time Remap
};
// Mask streams by k: shape, feather, opacity.
constexpr Limits kMask[3] = {
    {Conversion::None, BEE_Limit_NotNumeric, 0, 0},
    {Conversion::None, 0x3, 0, 1000},
    {Conversion::Percent, 0x3, 0, 100},
};

}  // namespace

ErrorCode ResolveUnit(BEE_Layer layer, int32_t index, Unit* u) {
  *u = Unit{};
  u->index = index;
  if (index >= BEE_StreamFirstEffect) {
    if (ErrorCode err = CheckLayer(layer)) return err;
    const int32_t effect = index / 128 - 4;
    int32_t effects = 0;
    if (R(layer).parade) FLT_InqParadeNumSeqs(R(layer).parade, &effects);
    if (effect >= effects) return kReport.Report(BEE_SiteStream, kSevError, kErrRange, kTextNoStream, {index});
    if (ErrorCode err = FLT_GetParadeSeq(R(layer).parade, effect, &u->seq)) return err;
    u->param = index % 128 + 1;
    int32_t params = 0;
    FLT_SeqInqNumParams(u->seq, &params);
    if (u->param >= params) return kReport.Report(BEE_SiteStream, kSevError, kErrRange, kTextNoStream, {index});
    uint32_t flags = 0;
    if (ErrorCode err = FLT_SeqInqParamInfoPlus(u->seq, u->param, &flags, &u->uiFlags, &u->paramType)) return err;
    u->kind = UnitKind::Effect;
    // A standard control only has no stream: the effect package keeps its value.
    if (u->uiFlags & PF_PUI_STD_CONTROL_ONLY) {
      double v[BEE_MaxStreamValues] = {};
      int32_t n = 0;
      const Time anyTime{0, 1};
      if (ErrorCode err = FLT_SeqGetParamFPV(u->seq, u->param, &anyTime, v, &n)) return err;
      u->dimension = static_cast<int16_t>(n);
      return 0;
    }
  }
  BEE_StreamRef ref{layer, index};
  if (ErrorCode err = BEE_StreamLookup(&ref, &u->stream)) return err;
  Limits lim{};
  if (u->kind != UnitKind::Effect) {
    const bool mask = index >= BEE_StreamFirstMask;
    const int32_t k = mask ? (index - BEE_StreamFirstMask) % 3 : index;
    lim = mask ? kMask[k] : kStandard[k];
    u->kind = (lim.flags & BEE_Limit_NotNumeric) ? (k == BEE_StreamMarker && !mask ? UnitKind::Marker : UnitKind::Shape)
                                                 : UnitKind::Numeric;
    u->conversion = lim.conversion;
    u->flags = lim.flags;
    u->minimum = lim.minimum;
    u->maximum = lim.maximum;
  }
  if (!u->stream) return kReport.Report(BEE_SiteStream, kSevError, kErrRange, kTextNoStream, {index});
  TDB_StreamInfo info{};
  if (ErrorCode err = TDB_GetStreamInfo(u->stream, &info)) return err;
  u->spatial = (info.flags & TDB_StreamSpatial) != 0;
  u->dimension = u->kind == UnitKind::Numeric || u->kind == UnitKind::Effect ? info.dimension : 0;
  // Values travel in buffers of BEE_MaxStreamValues doubles.
  if (u->dimension > BEE_MaxStreamValues) return Strange(BEE_SiteStream, "dimension", u->dimension);
  return 0;
}

ErrorCode ResolveLayerTime(BEE_Layer layer, const Time* compTime, const Time* layerTime, Time* t) {
  *t = kInvalidTime;
  if (compTime) return BEE_CompToLayerTime(layer, *compTime, t);
  if (layerTime) {
    if (layerTime->scale == 0) return kReport.BadParam(kSiteArgument, {"layer time"});
    *t = *layerTime;
    return 0;
  }
  return BEE_GetLayerCurrentTime(layer, t);
}

namespace {

void SourceSize(BEE_Layer layer, double* w, double* h) {
  int32_t iw = 0, ih = 0;
  BEE_GetSourceDimensions(layer, &iw, &ih);
  *w = iw;
  *h = ih;
}

}  // namespace

void ConvertValues(BEE_Layer layer, const Unit& u, bool toUser, double* v) {
  if (u.conversion == Conversion::Source && u.dimension >= 2) {
    // A source without a size (no source, or 0 x 0) leaves that axis alone:
    // dividing by it would store infinities.
    double w = 0, h = 0;
    SourceSize(layer, &w, &h);
    if (w > 0) v[0] = toUser ? v[0] * w : v[0] / w;
    if (h > 0) v[1] = toUser ? v[1] * h : v[1] / h;
  } else if (u.conversion == Conversion::Percent) {
    const double f = toUser ? 100.0 : 0.01;
    for (int32_t i = 0; i < u.dimension; ++i) v[i] *= f;
  }
}

ErrorCode ValidateValues(const Unit& u, double* v, bool* changed) {
  *changed = false;
  if (u.kind == UnitKind::Effect) {
    Boolean32 c = 0;
    ErrorCode err = FLT_SeqValidateStreamValue(u.seq, u.param, v, &c);
    *changed = c != 0;
    return err;
  }
  if (!(u.flags & (BEE_Limit_ClampMin | BEE_Limit_ClampMax | BEE_Limit_Round)) || u.dimension <= 0) return 0;
  for (int32_t i = 0; i < u.dimension; ++i) {
    double x = v[i];
    // A value that is not a number compares false with every limit: it
    // becomes the minimum (or the maximum when only that is enforced)
    // rather than passing into the stream.
    if (std::isnan(x)) {
      if (u.flags & BEE_Limit_ClampMin)
        x = u.minimum;
      else if (u.flags & BEE_Limit_ClampMax)
        x = u.maximum;
    }
    if ((u.flags & BEE_Limit_ClampMin) && x < u.minimum) x = u.minimum;
    if ((u.flags & BEE_Limit_ClampMax) && x > u.maximum) x = u.maximum;
    if ((u.flags & BEE_Limit_Round) && std::isfinite(x)) x = M_RoundDouble(x);
    if (std::memcmp(&x, &v[i], sizeof x) != 0) {
      v[i] = x;
      *changed = true;
    }
  }
  return 0;
}

int32_t TemporalDimension(const Unit& u) {
  if (u.spatial) return 1;
  return u.dimension > 4 ? 4 : u.dimension;
}

void ConvertVelocity(BEE_Layer layer, const Unit& u, bool toUser, double* v) {
  const int32_t n = TemporalDimension(u);
  if (u.conversion == Conversion::Source) {
    double w = 0, h = 0;
    SourceSize(layer, &w, &h);
    // A spatial anchor's speed is one number along the path: it is scaled
    // by the source height. Two separate speeds scale by their own axis.
    const double s0 = n == 1 ? h : w;
    if (s0 > 0) v[0] = toUser ? v[0] * s0 : v[0] / s0;
    if (n >= 2 && h > 0) v[1] = toUser ? v[1] * h : v[1] / h;
  } else if (u.conversion == Conversion::Percent) {
    const double f = toUser ? 100.0 : 0.01;
    for (int32_t i = 0; i < n; ++i) v[i] *= f;
  }
}

}  // namespace tv::bee

// ---- Exported ----

ErrorCode BEE_GetStreamMinMax(BEE_Layer layer, int32_t index, uint32_t* flags, double* minimum,
                              double* maximum) try {
  if (flags) *flags = 0;
  if (minimum) *minimum = 0;
  if (maximum) *maximum = 0;
  if (!flags || !minimum || !maximum) return kReport.BadParam(kSiteArgument, {"BEE_GetStreamMinMax"});
  Unit u{};
  if (index >= BEE_StreamFirstEffect) {
    if (ErrorCode err = ResolveUnit(layer, index, &u)) return err;
    ErrorCode err = FLT_SeqGetStreamMinMax(u.seq, u.param, flags, minimum, maximum);
    if (err) *flags = 0, *minimum = 0, *maximum = 0;
    return err;
  }
  // Limits belong to the index: a layer without markers still names them.
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (ErrorCode err = ValidStreamIndex(index, BEE_SiteStream)) return err;
  if (index >= BEE_StandardStreamCount && index < BEE_StreamFirstMask)
    return Strange(BEE_SiteStream, "stream", index);
  if (index >= BEE_StreamFirstMask) {
    TDB_Stream st = nullptr;
    if (ErrorCode err = MaskStream(layer, index, &st)) return err;
  }
  const Limits& l = index >= BEE_StreamFirstMask ? kMask[(index - BEE_StreamFirstMask) % 3] : kStandard[index];
  *flags = l.flags;
  *minimum = l.minimum;
  *maximum = l.maximum;
  return 0;
} TV_CATCH(BEE_PackageNumber)

namespace {

// The numeric value of a resolved stream at layer time t, in user units.
ErrorCode NumericValue(BEE_Layer layer, const Unit& u, const Time& t, double* out) {
  double v[BEE_MaxStreamValues] = {};
  ErrorCode err = 0;
  if (u.kind == UnitKind::Effect) {
    int32_t n = 0;
    err = FLT_SeqGetParamFPV(u.seq, u.param, &t, v, &n);
    if (!err && n != u.dimension) err = Strange(BEE_SiteStream, "dimension", n);
  } else {
    err = TDB_GetValueF(u.stream, &t, 0, 0, v, nullptr);
  }
  if (err) return err;
  ConvertValues(layer, u, true, v);
  bool changed = false;
  if (ErrorCode e = ValidateValues(u, v, &changed)) return e;
  std::memcpy(out, v, sizeof(double) * static_cast<size_t>(u.dimension));
  return 0;
}

}  // namespace

ErrorCode BEE_GetStreamFPV(BEE_Layer layer, int32_t index, const Time* compTime, const Time* layerTime,
                           BEE_StreamValue* value) try {
  if (value) *value = BEE_StreamValue{};
  if (!value) return kReport.BadParam(kSiteArgument, {"BEE_GetStreamFPV"});
  Unit u{};
  if (ErrorCode err = ResolveUnit(layer, index, &u)) return err;
  Time t{};
  if (ErrorCode err = ResolveLayerTime(layer, compTime, layerTime, &t)) return err;
  if (u.kind == UnitKind::Shape) {
    // Mask paths are kept as absolute paths in layer pixels: the copy is
    // already fitted to the source frame.
    return OM_GetShape(u.stream, &t, 0, &value->shape);
  }
  if (u.kind == UnitKind::Marker) return Unimplemented("Layer markers", BEE_CmdNumTimeMarker);
  if (ErrorCode err = NumericValue(layer, u, t, value->values)) {
    *value = BEE_StreamValue{};
    return err;
  }
  value->count = u.dimension;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_UnGetStreamFPV(BEE_Layer layer, int32_t, BEE_StreamValue* value) try {
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (!value) return kReport.BadParam(kSiteArgument, {"BEE_UnGetStreamFPV"});
  ErrorCode err = value->shape ? OM_DisposeShape(value->shape) : 0;
  *value = BEE_StreamValue{};
  return err;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetStreamValues(BEE_Layer layer, int32_t index, int32_t count, const Time* layerTimes,
                              double* values, int32_t* dimension) try {
  if (dimension) *dimension = 0;
  if (!values || !layerTimes || !dimension || count < 0)
    return kReport.BadParam(kSiteArgument, {"BEE_GetStreamValues"});
  // The stream is resolved once for all the times.
  Unit u{};
  if (ErrorCode err = ResolveUnit(layer, index, &u)) return err;
  if (u.kind != UnitKind::Numeric && u.kind != UnitKind::Effect)
    return kReport.BadParam(kSiteArgument, {"BEE_GetStreamValues"});
  for (int32_t i = 0; i < count; ++i) {
    if (layerTimes[i].scale == 0) return kReport.BadParam(kSiteArgument, {"layer time"});
    double* at = values + static_cast<size_t>(i) * static_cast<size_t>(u.dimension);
    if (ErrorCode err = NumericValue(layer, u, layerTimes[i], at)) return err;
  }
  *dimension = u.dimension;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_ConvertStreamFPV(BEE_Layer layer, int32_t index, int32_t direction, double* values) try {
  if (!values || (direction != 0 && direction != 1))
    return kReport.BadParam(kSiteArgument, {"BEE_ConvertStreamFPV"});
  Unit u{};
  if (ErrorCode err = ResolveUnit(layer, index, &u)) return err;
  ConvertValues(layer, u, direction == 1, values);
  bool changed = false;
  if (direction == 1) return ValidateValues(u, values, &changed);
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_ValidateStreamValue(BEE_Layer layer, int32_t index, double* values, Boolean32* changed) try {
  if (changed) *changed = 0;
  if (!values) return kReport.BadParam(kSiteArgument, {"BEE_ValidateStreamValue"});
  Unit u{};
  if (ErrorCode err = ResolveUnit(layer, index, &u)) return err;
  bool c = false;
  ErrorCode err = ValidateValues(u, values, &c);
  if (changed) *changed = c;
  return err;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetStreamTemporalDimension(TDB_Stream stream, int32_t* count) try {
  if (count) *count = 0;
  if (!count) return kReport.BadParam(kSiteArgument, {"BEE_GetStreamTemporalDimension"});
  TDB_StreamInfo info{};
  if (ErrorCode err = TDB_GetStreamInfo(stream, &info)) return err;
  Unit u{};
  u.spatial = (info.flags & TDB_StreamSpatial) != 0;
  u.dimension = info.dimension;
  *count = TemporalDimension(u);
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetStreamTemporalVelocity(BEE_Layer layer, int32_t index, int32_t count, const Time* layerTimes,
                                        double* velocities) try {
  if (!velocities || !layerTimes || count < 0)
    return kReport.BadParam(kSiteArgument, {"BEE_GetStreamTemporalVelocity"});
  Unit u{};
  if (ErrorCode err = ResolveUnit(layer, index, &u)) return err;
  if (u.kind != UnitKind::Numeric && !(u.kind == UnitKind::Effect && u.stream))
    return kReport.BadParam(kSiteArgument, {"BEE_GetStreamTemporalVelocity"});
  const int32_t n = TemporalDimension(u);
  for (int32_t i = 0; i < count; ++i) {
    double d[BEE_MaxStreamValues] = {};
    if (ErrorCode err = TDB_GetDeriv(u.stream, &layerTimes[i], 0, d)) return err;
    // A spatial stream's speed is the length of its derivative.
    if (u.spatial) {
      double s = 0;
      for (int32_t k = 0; k < u.dimension; ++k) s += d[k] * d[k];
      d[0] = std::sqrt(s);
    }
    ConvertVelocity(layer, u, true, d);
    std::memcpy(velocities + static_cast<size_t>(i) * static_cast<size_t>(n), d, sizeof(double) * static_cast<size_t>(n));
  }
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_ConvertStreamTemporalVelocity(BEE_Layer layer, int32_t index, int32_t direction,
                                            double* velocity) try {
  if (!velocity || (direction != 0 && direction != 1))
    return kReport.BadParam(kSiteArgument, {"BEE_ConvertStreamTemporalVelocity"});
  Unit u{};
  if (ErrorCode err = ResolveUnit(layer, index, &u)) return err;
  ConvertVelocity(layer, u, direction == 1, velocity);
  return 0;
} TV_CATCH(BEE_PackageNumber)
