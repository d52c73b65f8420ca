// Setting stream values at a time and editing keyframes: every change is
// made on a duplicate of the stream, which one command swaps in, so a
// failure leaves the project as it was and undo restores the old stream.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "BEE_cmd_internal.h"
#include "BEE_units.h"

using namespace tv;
using namespace tv::bee;

namespace tv::bee {

// ---- Commands 23, 24, 48, 49, 52 ----

namespace {

// What a keyframe edit changes: the stream and, by command, the key and its data.
struct KeyEdit {
  int32_t index;
  int32_t key;          // -1: every key (interpolation)
  Time time;            // command 23: where the key is made or the value taken
  Boolean32 vary;       // command 23
  int8_t inInterp, outInterp;
  uint16_t mask, flags;
  double a[4], b[4], c[4], d[4];
};

struct VaryCmd {
  static constexpr int32_t kNumber = BEE_CmdNumInterpolation1;
  static constexpr BEE_CmdOp kOp = &OpStreamVary;
  BEE_Layer layer;
  const KeyEdit* edit;
};
struct KeyInterpCmd {
  static constexpr int32_t kNumber = BEE_CmdNumInterpolation2;
  static constexpr BEE_CmdOp kOp = &OpKeyInterp;
  BEE_Layer layer;
  const KeyEdit* edit;
};
struct KeyEaseCmd {
  static constexpr int32_t kNumber = BEE_CmdNumEaseAdjust;
  static constexpr BEE_CmdOp kOp = &OpKeyEase;
  BEE_Layer layer;
  const KeyEdit* edit;
};
struct KeyTangentCmd {
  static constexpr int32_t kNumber = BEE_CmdNumTangentAdjust;
  static constexpr BEE_CmdOp kOp = &OpKeyTangent;
  BEE_Layer layer;
  const KeyEdit* edit;
};
struct KeyFlagCmd {
  static constexpr int32_t kNumber = BEE_CmdNumKeyframeFlag;
  static constexpr BEE_CmdOp kOp = &OpKeyFlag;
  BEE_Layer layer;
  const KeyEdit* edit;
};

// Owns a duplicate until it is handed on.
struct Duplicate {
  TDB_Stream s = nullptr;
  ~Duplicate() {
    if (s) TDB_DisposeStream(s);
  }
  TDB_Stream release() {
    TDB_Stream r = s;
    s = nullptr;
    return r;
  }
};

ErrorCode DuplicateOf(BEE_Layer layer, int32_t index, Duplicate* dup, TDB_StreamInfo* info) {
  BEE_StreamRef ref{layer, index};
  TDB_Stream st = nullptr;
  if (ErrorCode err = BEE_StreamLookup(&ref, &st)) return err;
  if (!st) return kReport.Report(BEE_SiteStream, kSevError, kErrRange, kTextNoStream, {index});
  if (ErrorCode err = TDB_DuplicateStream(st, &dup->s)) return err;
  return TDB_GetStreamInfo(dup->s, info);
}

// Swaps the edited duplicate in as "Keyframe Change" does; the inverse
// restores the old stream. It carries its own operation so that a later
// "Keyframe Change" of the stream does not collapse into this step.
ErrorCode SwapIn(BEE_Layer layer, int32_t index, Duplicate& dup, BEE_CmdRec* inv) {
  BEE_StreamRef ref{layer, index};
  BEE_CmdRec r{};
  Store(r, KeyframeChangeCmd{&ref, dup.s});
  uint8_t merged = 0;
  if (ErrorCode err = OpKeyframeChange(&r, inv, nullptr, &merged)) return err;
  dup.release();
  inv->operation = &OpRestoreStream;
  return 0;
}

// A key of an animated stream.
ErrorCode CheckKey(TDB_Stream s, const TDB_StreamInfo& info, int32_t key, bool allowAll) {
  if (info.flags & TDB_StreamConstant) return kReport.BadParam(kSiteArgument, {"a constant stream's keys"});
  int32_t n = 0;
  if (ErrorCode err = TDB_GetNumKeys(s, &n)) return err;
  if ((key < 0 || key >= n) && !(allowAll && key == -1))
    return kReport.Report(BEE_SiteStream, kSevError, kErrRange, kTextBadIndex, {key});
  return 0;
}

template <class C, class Edit>
ErrorCode EditOp(BEE_CmdRec* rec, BEE_CmdRec* inv, Edit edit) {
  const auto [layer, e] = Words<C>(*rec);
  if (!e) return kErrBadParam;
  if (ErrorCode err = CheckLayer(layer)) return err;
  Duplicate dup;
  TDB_StreamInfo info{};
  if (ErrorCode err = DuplicateOf(layer, e->index, &dup, &info)) return err;
  if (ErrorCode err = edit(dup.s, info, *e)) return err;
  return SwapIn(layer, e->index, dup, inv);
}

}  // namespace

BEE_OP(OpRestoreStream) {
  if (ErrorCode err = OpKeyframeChange(rec, inv, nullptr, merged)) return err;
  inv->operation = &OpRestoreStream;
  return 0;
}

BEE_OP(OpStreamVary) {
  return EditOp<VaryCmd>(rec, inv, [](TDB_Stream s, const TDB_StreamInfo& info, const KeyEdit& e) -> ErrorCode {
    const bool constant = (info.flags & TDB_StreamConstant) != 0;
    if (constant == !e.vary) return 0;
    return TDB_SetConstant(s, e.vary ? 0 : 1, &e.time, 0);
  });
}

BEE_OP(OpKeyInterp) {
  return EditOp<KeyInterpCmd>(rec, inv, [](TDB_Stream s, const TDB_StreamInfo& info, const KeyEdit& e) {
    if (ErrorCode err = CheckKey(s, info, e.key, true)) return err;
    int32_t n = 0;
    TDB_GetNumKeys(s, &n);
    const int32_t first = e.key == -1 ? 0 : e.key, last = e.key == -1 ? n - 1 : e.key;
    for (int32_t k = first; k <= last; ++k)
      if (ErrorCode err = TDB_SetKeyInterps(s, k, e.inInterp, e.outInterp)) return err;
    return ErrorCode{0};
  });
}

BEE_OP(OpKeyEase) {
  return EditOp<KeyEaseCmd>(rec, inv, [](TDB_Stream s, const TDB_StreamInfo& info, const KeyEdit& e) {
    if (ErrorCode err = CheckKey(s, info, e.key, false)) return err;
    return TDB_SetKeyTangentsF(s, e.key, e.a, e.b, e.c, e.d);
  });
}

BEE_OP(OpKeyTangent) {
  return EditOp<KeyTangentCmd>(rec, inv, [](TDB_Stream s, const TDB_StreamInfo& info, const KeyEdit& e) {
    if (ErrorCode err = CheckKey(s, info, e.key, false)) return err;
    if (!(info.flags & TDB_StreamSpatial)) return kReport.BadParam(kSiteArgument, {"a temporal stream's tangents"});
    return TDB_SetKeySpaceTangents(s, e.key, e.a, e.b);
  });
}

BEE_OP(OpKeyFlag) {
  return EditOp<KeyFlagCmd>(rec, inv, [](TDB_Stream s, const TDB_StreamInfo& info, const KeyEdit& e) {
    if (ErrorCode err = CheckKey(s, info, e.key, false)) return err;
    return TDB_SetKeyFlags(s, e.key, e.mask, e.flags);
  });
}

}  // namespace tv::bee

namespace {

// One undo group around one table command.
template <class C>
ErrorCode WrapEdit(const C& c) {
  if (ErrorCode err = BEE_StartGroup(nullptr, C::kNumber)) return err;
  ErrorCode err = DoCommand(c);
  BEE_EndGroup();
  return err;
}

bool AllFinite(const double* v, int32_t n) {
  for (int32_t i = 0; i < n; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

ErrorCode NotFinite(const char* operation) {
  // Values that are not finite numbers would poison every evaluation of the
  // stream: they are refused, and nothing changes.
  return kReport.BadParam(kSiteArgument, {operation});
}

// ---- Telling an effect that a parameter changed ----

int gNotifyDepth = 0;

struct DepthGuard {
  DepthGuard() { ++gNotifyDepth; }
  ~DepthGuard() { --gNotifyDepth; }
};

// The stream values of a change record's value words for a parameter of type.
int32_t ChangeValues(uint32_t type, const PF_ChangeRecord& c, double* v) {
  const uint32_t* w = c.value;
  switch (type) {
    case PF_Param_Slider: case PF_Param_Checkbox: case PF_Param_Popup:
      v[0] = static_cast<int32_t>(w[PF_Word_Value]);
      return 1;
    case PF_Param_FixedSlider: case PF_Param_Angle:
      v[0] = static_cast<int32_t>(w[PF_Word_Value]) / 65536.0;
      return 1;
    case PF_Param_Point:
      v[0] = static_cast<int32_t>(w[0]) / 65536.0;
      v[1] = static_cast<int32_t>(w[1]) / 65536.0;
      return 2;
    case PF_Param_Colour: {
      uint8_t b[4];
      std::memcpy(b, w, 4);
      for (int i = 0; i < 4; ++i) v[i] = b[i];
      return 4;
    }
    case PF_Param_FloatSlider:
      std::memcpy(v, w, sizeof(double));
      return 1;
    default:
      return 0;
  }
}

ErrorCode TellEffect(BEE_Layer layer, const Unit& u, const Time& t) {
  DepthGuard depth;
  // Changes made in answer to the effect do not call it again.
  if (gNotifyDepth != 1) return 0;
  int32_t count = 0;
  if (ErrorCode err = FLT_SeqInqNumParams(u.seq, &count)) return err;
  std::vector<PF_ChangeRecord> changes(static_cast<size_t>(count));
  // The effect sees its parameters as they are at the time of the change.
  if (ErrorCode err = FLT_SeekParams(u.seq, &t)) return err;
  if (ErrorCode err = FLT_ParamChanged(u.seq, u.param, changes.data(), count)) return err;
  bool any = false;
  for (const PF_ChangeRecord& c : changes) any = any || c.flags != 0;
  if (!any) return 0;
  PF_ParamDef** list = nullptr;
  if (ErrorCode err = FLT_SeqLockParams(u.seq, 0, &list)) return err;
  ErrorCode err = 0;
  const int32_t base = u.index - (u.param - 1);
  for (int32_t i = 1; i < count && !err; ++i) {
    const PF_ChangeRecord& c = changes[static_cast<size_t>(i)];
    if (c.flags & PF_ChangeFlag_CHANGED_VALUE) {
      uint32_t flags = 0, ui = 0, type = 0;
      err = FLT_SeqInqParamInfoPlus(u.seq, i, &flags, &ui, &type);
      if (err) break;
      if (ui & PF_PUI_STD_CONTROL_ONLY) {
        kReport.Note(BEE_SiteStream, kSevWarning, kTextChangedValueStdControl);
      } else {
        BEE_StreamValue v{};
        v.count = ChangeValues(type, c, v.values);
        if (v.count > 0) {
          // The request is in the effect's own terms: back to user units first.
          Unit p{};
          err = ResolveUnit(layer, base + i - 1, &p);
          if (!err) ConvertValues(layer, p, true, v.values);
          if (!err) err = BEE_CmdSetStreamFPV(layer, base + i - 1, nullptr, &t, &v);
        }
      }
    }
    if (c.flags & PF_ChangeFlag_CHANGED_UI) kReport.Note(BEE_SiteStream, kSevWarning, kTextChangedUI);
    if (c.flags & PF_ChangeFlag_SET_TO_VARY) kReport.Note(BEE_SiteStream, kSevWarning, kTextSetToVary);
    if (c.flags & PF_ChangeFlag_SET_TO_CONSTANT) kReport.Note(BEE_SiteStream, kSevWarning, kTextSetToConstant);
  }
  ErrorCode unlock = FLT_SeqUnlockParams(u.seq);
  return err ? err : unlock;
}

// A key's speeds from user units to internal (temporal dimension values).
void SpeedsToInternal(BEE_Layer layer, const Unit& u, const double* in, double* out) {
  const int32_t n = TemporalDimension(u);
  std::memset(out, 0, 4 * sizeof(double));
  if (in) std::memcpy(out, in, sizeof(double) * static_cast<size_t>(n));
  ConvertVelocity(layer, u, false, out);
}

}  // namespace

ErrorCode BEE_CmdSetStreamFPV(BEE_Layer layer, int32_t index, const Time* compTime, const Time* layerTime,
                              const BEE_StreamValue* value) try {
  if (!value) return kReport.BadParam(kSiteArgument, {"BEE_CmdSetStreamFPV"});
  Unit u{};
  if (ErrorCode err = ResolveUnit(layer, index, &u)) return err;
  Time t{};
  if (ErrorCode err = ResolveLayerTime(layer, compTime, layerTime, &t)) return err;
  if (u.kind == UnitKind::Marker) return Unimplemented("Layer markers", BEE_CmdNumTimeMarker);
  double v[BEE_MaxStreamValues] = {};
  if (u.kind != UnitKind::Shape) {
    if (!AllFinite(value->values, u.dimension)) return NotFinite("BEE_CmdSetStreamFPV");
    std::memcpy(v, value->values, sizeof(double) * static_cast<size_t>(u.dimension));
    // User values are limited first: opacity 150 stores 100 %.
    bool changed = false;
    if (ErrorCode err = ValidateValues(u, v, &changed)) return err;
    ConvertValues(layer, u, false, v);
  } else if (!value->shape) {
    return kReport.BadParam(kSiteArgument, {"BEE_CmdSetStreamFPV"});
  }
  if (u.kind == UnitKind::Effect && !u.stream) {
    // A standard control only has no stream: the effect package takes the value.
    if (ErrorCode err = FLT_SeqSetParamFPV(u.seq, u.param, nullptr, &t, v, u.dimension)) return err;
    return TellEffect(layer, u, t);
  }
  Duplicate dup;
  if (ErrorCode err = TDB_DuplicateStream(u.stream, &dup.s)) return err;
  TDB_StreamInfo info{};
  if (ErrorCode err = TDB_GetStreamInfo(dup.s, &info)) return err;
  const bool constant = (info.flags & TDB_StreamConstant) != 0;
  int32_t key = kNotFound;
  int8_t in = TDB_InterpLinear, out = TDB_InterpLinear;
  if (!constant) {
    if (ErrorCode err = TDB_TimeToIndex(dup.s, &t, 0, &key)) return err;
    if (key == kNotFound) {
      // A new key takes its interpolation from its neighbours.
      uint16_t flags = 0;
      uint32_t spatialWord = 0;
      if (ErrorCode err = TDB_ChooseInterps(dup.s, &t, 0, &in, &out, &flags, &spatialWord)) return err;
    }
  }
  ErrorCode err = 0;
  if (u.kind == UnitKind::Shape) {
    err = OM_InsertKeyShape(dup.s, &t, 0, 1, value->shape, in, out);
  } else if (u.kind == UnitKind::Effect) {
    err = FLT_SeqSetParamFPV(u.seq, u.param, reinterpret_cast<Handle>(dup.s), &t, v, u.dimension);
  } else if (constant || key == kNotFound) {
    err = TDB_InsertKeyF(dup.s, &t, 0, 1, v, in, out);
  } else {
    err = TDB_SetKeyF(dup.s, key, v);
  }
  if (err) return err;
  BEE_StreamRef ref{layer, index};
  if (ErrorCode e = DoCommand(KeyframeChangeCmd{&ref, dup.s})) return e;
  dup.release();
  if (u.kind == UnitKind::Effect) return TellEffect(layer, u, t);
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetStreamVary(BEE_Layer layer, int32_t index, const Time* time, Boolean32 vary) try {
  if (ErrorCode err = CheckLayer(layer)) return err;
  BEE_StreamRef ref{layer, index};
  TDB_Stream st = nullptr;
  if (ErrorCode err = BEE_StreamLookup(&ref, &st)) return err;
  if (!st) return kReport.Report(BEE_SiteStream, kSevError, kErrRange, kTextNoStream, {index});
  TDB_StreamInfo info{};
  if (ErrorCode err = TDB_GetStreamInfo(st, &info)) return err;
  if (((info.flags & TDB_StreamConstant) != 0) == (vary == 0)) return 0;
  const bool remapOn = index == BEE_StreamTimeRemap && vary;
  Time duration{};
  if (remapOn) {
    if (ErrorCode err = BEE_GetSourceDuration(layer, &duration)) return err;
    // The last key's value is the duration in seconds: a duration without a
    // scale cannot give one.
    if (duration.scale == 0 || duration.value < 0) return kReport.BadParam(kSiteArgument, {"Time Remap"});
  }
  KeyEdit e{};
  e.index = index;
  e.vary = vary ? 1 : 0;
  if (remapOn)
    e.time = Time{0, 1};
  else if (time)
    e.time = *time;
  else if (ErrorCode err = BEE_GetLayerCurrentTime(layer, &e.time))
    return err;
  if (e.time.scale == 0) return kReport.BadParam(kSiteArgument, {"BEE_CmdSetStreamVary"});
  if (ErrorCode err = BEE_StartGroup(nullptr, BEE_CmdNumInterpolation1)) return err;
  ErrorCode err = DoCommand(VaryCmd{layer, &e});
  if (!err && remapOn) {
    // The layer starts by playing its source unchanged: linear keys from
    // (0 -> 0 s) to (duration -> its length in seconds).
    KeyEdit lin{};
    lin.index = index;
    lin.key = -1;
    lin.inInterp = lin.outInterp = TDB_InterpLinear;
    err = DoCommand(KeyInterpCmd{layer, &lin});
    BEE_StreamValue v{};
    const Time zero{0, duration.scale};
    if (!err) err = BEE_CmdSetStreamFPV(layer, index, nullptr, &zero, &v);
    v.values[0] = static_cast<double>(duration.value) / duration.scale;
    if (!err && duration.value > 0) err = BEE_CmdSetStreamFPV(layer, index, nullptr, &duration, &v);
  }
  BEE_EndGroup();
  return err;
} TV_CATCH(BEE_PackageNumber)

// ---- Keyframe editing ----

ErrorCode BEE_CmdSetKeyInterps(BEE_Layer layer, int32_t index, int32_t key, int8_t inInterp,
                               int8_t outInterp) try {
  KeyEdit e{};
  e.index = index;
  e.key = key;
  e.inInterp = inInterp;
  e.outInterp = outInterp;
  return WrapEdit(KeyInterpCmd{layer, &e});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetKeyEase(BEE_Layer layer, int32_t index, int32_t key, const double* inVelocity,
                            const double* inInfluence, const double* outVelocity, const double* outInfluence) try {
  if (!inVelocity || !inInfluence || !outVelocity || !outInfluence)
    return kReport.BadParam(kSiteArgument, {"BEE_CmdSetKeyEase"});
  Unit u{};
  if (ErrorCode err = ResolveUnit(layer, index, &u)) return err;
  const int32_t n = TemporalDimension(u);
  if (!AllFinite(inVelocity, n) || !AllFinite(inInfluence, n) || !AllFinite(outVelocity, n) ||
      !AllFinite(outInfluence, n))
    return NotFinite("BEE_CmdSetKeyEase");
  KeyEdit e{};
  e.index = index;
  e.key = key;
  SpeedsToInternal(layer, u, inVelocity, e.a);
  SpeedsToInternal(layer, u, outVelocity, e.c);
  std::memcpy(e.b, inInfluence, sizeof(double) * static_cast<size_t>(n));
  std::memcpy(e.d, outInfluence, sizeof(double) * static_cast<size_t>(n));
  return WrapEdit(KeyEaseCmd{layer, &e});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetKeySpaceTangents(BEE_Layer layer, int32_t index, int32_t key, const double* inTangent,
                                     const double* outTangent) try {
  if (!inTangent || !outTangent) return kReport.BadParam(kSiteArgument, {"BEE_CmdSetKeySpaceTangents"});
  Unit u{};
  if (ErrorCode err = ResolveUnit(layer, index, &u)) return err;
  if (!AllFinite(inTangent, u.dimension) || !AllFinite(outTangent, u.dimension))
    return NotFinite("BEE_CmdSetKeySpaceTangents");
  KeyEdit e{};
  e.index = index;
  e.key = key;
  const size_t bytes = sizeof(double) * static_cast<size_t>(u.dimension > 4 ? 4 : u.dimension);
  std::memcpy(e.a, inTangent, bytes);
  std::memcpy(e.b, outTangent, bytes);
  // Tangents are offsets: they scale like values.
  ConvertValues(layer, u, false, e.a);
  ConvertValues(layer, u, false, e.b);
  return WrapEdit(KeyTangentCmd{layer, &e});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetKeyFlags(BEE_Layer layer, int32_t index, int32_t key, uint16_t mask, uint16_t flags) try {
  KeyEdit e{};
  e.index = index;
  e.key = key;
  e.mask = mask;
  e.flags = flags;
  return WrapEdit(KeyFlagCmd{layer, &e});
} TV_CATCH(BEE_PackageNumber)

namespace {

// Edits a duplicate with edit and swaps it in as its own "Keyframe Change"
// step, in a group named name (null: the command's own).
template <class Edit>
ErrorCode ChangeKeys(BEE_Layer layer, int32_t index, const char* name, Edit edit) {
  if (ErrorCode err = CheckLayer(layer)) return err;
  Duplicate dup;
  TDB_StreamInfo info{};
  if (ErrorCode err = DuplicateOf(layer, index, &dup, &info)) return err;
  if (ErrorCode err = edit(dup.s, info)) return err;
  BEE_StreamRef ref{layer, index};
  if (ErrorCode err = BEE_StartGroup(name, BEE_CmdNumKeyframeChange)) return err;
  // A deliberate edit of keys is a step of its own, never folded into the
  // value changes before it.
  BEE_InhibitCollapsingForNextCmd();
  ErrorCode err = DoCommand(KeyframeChangeCmd{&ref, dup.s});
  BEE_EndGroup();
  if (!err) dup.release();
  return err;
}

ErrorCode CheckRange(TDB_Stream s, const TDB_StreamInfo& info, int32_t first, int32_t count) {
  if (count <= 0) return kReport.BadParam(kSiteArgument, {"keyframe count"});
  if (ErrorCode err = CheckKey(s, info, first, false)) return err;
  return CheckKey(s, info, first + count - 1, false);
}

std::string MoveName() { return std::string(kReport.Text(kTextMoveKeyframes)); }

}  // namespace

ErrorCode BEE_CmdMoveKeyframes(BEE_Layer layer, int32_t index, int32_t first, int32_t count, Time delta) try {
  if (delta.scale == 0) return kReport.BadParam(kSiteArgument, {"BEE_CmdMoveKeyframes"});
  const std::string name = MoveName();
  return ChangeKeys(layer, index, name.c_str(), [&](TDB_Stream s, const TDB_StreamInfo& info) -> ErrorCode {
    if (ErrorCode err = CheckRange(s, info, first, count)) return err;
    // Keys move in the order that never lets one pass another of the block.
    const bool later = delta.value > 0;
    for (int32_t j = 0; j < count; ++j) {
      const int32_t k = later ? first + count - 1 - j : first + j;
      Time at{};
      if (ErrorCode err = TDB_IndexToTime(s, k, &at)) return err;
      Time moved{};
      if (ErrorCode err = T_AddTime(at, delta, &moved)) return err;
      if (ErrorCode err = TDB_SetKeyTime(s, k, &moved, 0)) return err;
    }
    return 0;
  });
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdStretchKeyframes(BEE_Layer layer, int32_t index, int32_t first, int32_t count, Ratio factor) try {
  if (factor.num <= 0 || factor.den == 0) return kReport.BadParam(kSiteArgument, {"BEE_CmdStretchKeyframes"});
  const std::string name = MoveName();
  return ChangeKeys(layer, index, name.c_str(), [&](TDB_Stream s, const TDB_StreamInfo& info) -> ErrorCode {
    if (ErrorCode err = CheckRange(s, info, first, count)) return err;
    Time origin{};
    if (ErrorCode err = TDB_IndexToTime(s, first, &origin)) return err;
    const bool longer = static_cast<int64_t>(factor.num) > static_cast<int64_t>(factor.den);
    for (int32_t j = 0; j < count - 1; ++j) {
      const int32_t k = longer ? first + count - 1 - j : first + 1 + j;
      Time at{};
      if (ErrorCode err = TDB_IndexToTime(s, k, &at)) return err;
      int32_t offset = 0, scaled = 0, moved = 0;
      if (ErrorCode err = TDB_SubTime(s, at.value, origin.value, &offset)) return err;
      if (ErrorCode err = TDB_MulTime(s, offset, factor, &scaled)) return err;
      if (ErrorCode err = TDB_AddTime(s, origin.value, scaled, &moved)) return err;
      if (ErrorCode err = TDB_SetKeyTime(s, k, nullptr, moved)) return err;
    }
    return 0;
  });
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdDeleteKeyframe(BEE_Layer layer, int32_t index, int32_t key) try {
  return ChangeKeys(layer, index, nullptr, [&](TDB_Stream s, const TDB_StreamInfo& info) -> ErrorCode {
    if (ErrorCode err = CheckKey(s, info, key, false)) return err;
    int32_t n = 0;
    if (ErrorCode err = TDB_GetNumKeys(s, &n)) return err;
    if (n == 1) {
      // The last key's value becomes the stream's constant value.
      Time at{};
      if (ErrorCode err = TDB_IndexToTime(s, key, &at)) return err;
      return TDB_SetConstant(s, 1, &at, 0);
    }
    return TDB_RemoveKey(s, key);
  });
} TV_CATCH(BEE_PackageNumber)
