// The one call path to an effect's entry point, the input record the host
// fills, and the callbacks offered to effects (with refusing stubs for the
// ones a command does not allow).
#include <cstring>

#include "FLT_internal.h"
#include "InFlight.h"
#include "Modal.h"
#include "PLUG.h"
#include "PF.h"

namespace tv::flt {
namespace {

constexpr const char* kCommandNames[] = {
    "about",         "global setup",   "global flatten",     "global setdown", "params setup",
    "sequence setup", "sequence resetup", "sequence flatten", "sequence setdown", "do dialog",
    "frame setup",   "render",         "frame setdown",      "params update",  "params supervise",
    "event",         "interpolate",    "convert parameters", "reserved",
};

EffectRef* CheckRef(PF_ProgPtr p) {
  auto* ref = static_cast<EffectRef*>(p);
  if (!ActiveRef(ref) || ref->magic != kRefMagic || ref->tailMagic != kRefMagic) {
    kReport.Damaged(kSiteCallback, {"effect reference"});
    return nullptr;
  }
  return ref;
}

PF_Result Refuse(PF_ProgPtr p, const char* what) {
  EffectRef* ref = CheckRef(p);
  if (!ref) return PF_Result_Damaged;
  if (ref->cmd >= 0 && ref->cmd < static_cast<int32_t>(std::size(kCommandNames)))
    kReport.Fail(kSiteCallback, PF_Result_BadSelector, kTextCannotUse, {what, kCommandNames[ref->cmd]});
  else
    kReport.Fail(kSiteCallback, PF_Result_BadSelector, kTextUnknownError, {ref->cmd});
  return PF_Result_BadSelector;
}

PF_Result StubCheckout(PF_ProgPtr r, int32_t, int32_t, int32_t, uint32_t, PF_ParamDef*) {
  return Refuse(r, "check out/in parameter");
}
PF_Result StubCheckin(PF_ProgPtr r, PF_ParamDef*) { return Refuse(r, "check out/in parameter"); }
PF_Result StubAddParam(PF_ProgPtr r, int32_t, PF_ParamDef*) { return Refuse(r, "add parameter"); }
PF_Result StubAbort(PF_ProgPtr r) { return Refuse(r, "abort"); }
PF_Result StubProgress(PF_ProgPtr r, int32_t, int32_t) { return Refuse(r, "progress"); }
PF_Result StubRegisterUI(PF_ProgPtr r, const uint32_t*) { return Refuse(r, "register UI"); }
PF_Result StubCheckoutAudio(PF_ProgPtr r, int32_t, int32_t, int32_t, uint32_t, int32_t, int32_t, int32_t,
                            Handle*) {
  return Refuse(r, "checkout audio");
}
PF_Result StubCheckinAudio(PF_ProgPtr r, Handle) { return Refuse(r, "checkin audio"); }
PF_Result StubAudioData(PF_ProgPtr r, Handle, int32_t*, int32_t*, int32_t*, int32_t*) {
  return Refuse(r, "get audio data");
}

// The parameter's value at a time, in a copy the effect owns until checkin.
PF_Result CheckoutParam(PF_ProgPtr p, int32_t index, int32_t time, int32_t step, uint32_t scale,
                        PF_ParamDef* param) {
  EffectRef* ref = CheckRef(p);
  if (!ref) return PF_Result_Damaged;
  if (!param) return kReport.Fail(kSiteCallback, PF_Result_BadCallbackArg, kTextBadParam, {"checkout"});
  std::memset(param, 0, sizeof *param);
  if (scale == 0) {
    return report::Code(kReport.Loc(kSiteCallback), kSevError, PF_Result_BadCallbackArg,
                        "checkout parameter with zero timescale.");
  }
  if (!ref->seq) return Refuse(p, "check out/in parameter");
  ParamsLock lock(ref->seq);
  if (lock.error()) return lock.error();
  int32_t count = 0;
  FLT_SeqInqNumParams(ref->seq, &count);
  if (index < 0 || index >= count) return kReport.Fail(kSiteCallback, PF_Result_BadCallbackArg, kTextIndexRange);
  *param = *lock.list()[index];
  if (param->type == PF_Param_Layer) {
    // Another layer's frame comes from the host (slot 2); the reference and
    // companion stay in the Sequence's record for the checkin.
    if (!G().procs[2]) {
      return report::Code(kReport.Loc(kSiteCallback), kSevError, PF_Result_BadCallbackArg,
                          "callback not initialized.");
    }
    const uint32_t layer = param->u.words[0], companion = param->u.words[1];
    std::memset(&param->u, 0, sizeof param->u);
    auto proc = reinterpret_cast<FLT_LayerCheckoutProc>(G().procs[2]);
    PFWorld world{};
    if (ErrorCode err = proc(layer, companion, time, step, scale, &world)) return err;
    param->u.world = world;
    param->identifier = static_cast<uint32_t>(index);
    return 0;
  }
  if (param->stream) {
    double v[4] = {};
    Time t{time, scale};
    if (ErrorCode err = TDB_GetValueF(static_cast<TDB_Stream>(param->stream), &t, 0, 0, v, nullptr)) return err;
    ParamFromStreamValue(*param, v);
  }
  return 0;
}

PF_Result CheckinParam(PF_ProgPtr p, PF_ParamDef* param) {
  EffectRef* ref = CheckRef(p);
  if (!ref) return PF_Result_Damaged;
  if (!param) return kReport.Fail(kSiteCallback, PF_Result_BadCallbackArg, kTextBadParam, {"checkin"});
  if (param->type != PF_Param_Layer) return 0;
  if (!G().procs[3]) {
    return report::Code(kReport.Loc(kSiteCallback), kSevError, PF_Result_BadCallbackArg,
                        "callback not initialized.");
  }
  // The checked-out copy carries its parameter index; the host is given the
  // reference and companion the Sequence holds for it.
  if (!ref->seq) return Refuse(p, "check out/in parameter");
  ParamsLock lock(ref->seq);
  if (lock.error()) return lock.error();
  int32_t count = 0;
  FLT_SeqInqNumParams(ref->seq, &count);
  const auto index = static_cast<int32_t>(param->identifier);
  if (index < 0 || index >= count || lock.list()[index]->type != PF_Param_Layer)
    return kReport.Fail(kSiteCallback, PF_Result_BadCallbackArg, kTextIndexRange);
  const PF_ParamDef* held = lock.list()[index];
  return reinterpret_cast<FLT_LayerCheckinProc>(G().procs[3])(held->u.words[0], held->u.words[1]);
}

PF_Result Abort(PF_ProgPtr p) {
  if (!CheckRef(p)) return PF_Result_Damaged;
  using AbortProc = ErrorCode (*)(void);
  if (FLT_HostProc proc = G().procs[1]) return reinterpret_cast<AbortProc>(proc)();
  return 0;
}

PF_Result Progress(PF_ProgPtr p, int32_t done, int32_t total) {
  if (!CheckRef(p)) return PF_Result_Damaged;
  using ProgressProc = ErrorCode (*)(int32_t, int32_t);
  if (FLT_HostProc proc = G().procs[0]) return reinterpret_cast<ProgressProc>(proc)(done, total);
  return 0;
}

// The utility callback blocks, one per quality, filled on first use.
const PF_UtilCallbacks* UtilBlock(int32_t quality) {
  static PF_UtilCallbacks blocks[2];
  static bool ready[2] = {false, false};
  const int q = quality ? 1 : 0;
  if (!ready[q]) {
    PF_GetCallbackBlock(q, 0, &blocks[q]);
    ready[q] = true;
  }
  return &blocks[q];
}

}  // namespace

bool ActiveRef(const void* ref) {
  const Globals& g = G();
  for (int32_t i = 0; i < g.activeCount; ++i)
    if (g.activeRefs[i] == ref) return ref != nullptr;
  return false;
}

void PrepareInput(PF_InputRecord& in, EffectRef& ref, int32_t cmd, int16_t classIndex, Handle seq) {
  in = PF_InputRecord{};
  ref = EffectRef{};
  ref.magic = ref.tailMagic = kRefMagic;
  ref.cmd = cmd;
  ref.classIndex = classIndex;
  ref.seq = seq;
  in.checkoutParam = StubCheckout;
  in.checkinParam = StubCheckin;
  in.addParam = StubAddParam;
  in.abort = StubAbort;
  in.progress = StubProgress;
  in.registerUI = StubRegisterUI;
  in.checkoutAudio = StubCheckoutAudio;
  in.checkinAudio = StubCheckinAudio;
  in.audioData = StubAudioData;
  const bool sequenceCall =
      (cmd >= PF_Cmd_SequenceSetup && cmd <= PF_Cmd_ParamsSupervise) || cmd == PF_Cmd_AudioRender;
  if (sequenceCall) {
    in.checkoutParam = CheckoutParam;
    in.checkinParam = CheckinParam;
    in.abort = Abort;
    in.progress = Progress;
  }
  InstallCallbacks(in, cmd);
  in.utilCallbacks = UtilBlock(0);
  in.effectRef = &ref;
  in.hostA = G().hostA;
  in.hostB = G().hostB;
  // The suite system's basic suite (null before the plug-in package is born).
  const PLUG_BasicSuite* basic = nullptr;
  if (pkg::Alive(PLUG_PackageNumber)) PLUG_GetBRBasicSuite(&basic);
  in.basicSuite = basic;
  in.processor = 1;
  in.fpu = 1;
  in.timeScale = 600;
  ClassRec c{};
  if (classIndex >= 0 && classIndex < ClassCount() && LIST_GetItem(G().classes, classIndex, &c) == 0)
    in.globalData = c.globalData;
  if (seq && *seq) in.sequenceData = reinterpret_cast<SeqRec*>(*seq)->seqData;
}

void FillTimes(PF_InputRecord& in, Handle seq) {
  Handle parade = seq ? OwnerOf(seq) : nullptr;
  if (!parade || !*parade) return;
  const auto* p = reinterpret_cast<const ParadeRec*>(*parade);
  if (!p->proc) return;
  FLT_LayerInfo info{};
  if (p->proc(p->refcon, parade, &info) != 0 || info.timeScale == 0) return;
  in.time = info.time;
  in.timeStep = info.timeStep;
  in.duration = info.duration;
  in.timeScale = info.timeScale;
  std::memcpy(in.geometry, info.geometry, sizeof in.geometry);
}

ErrorCode CallEffect(int16_t classIndex, int32_t cmd, Handle seq, PF_InputRecord& in, PF_OutputRecord& out,
                     PF_ParamDef** params, PFWorld* output, void* extra) {
  ClassRec c;
  if (ErrorCode err = GetClass(classIndex, c)) return err;
  in.utilCallbacks = UtilBlock(in.quality);
  out = PF_OutputRecord{};
  out.globalData = in.globalData;
  out.sequenceData = in.sequenceData;
  out.frameData = in.frameData;
  Handle locked[3] = {in.globalData, in.sequenceData, in.frameData};
  SignedByte states[3] = {};
  for (int i = 0; i < 3; ++i)
    if (locked[i]) {
      states[i] = HGetState(locked[i]);
      HLock(locked[i]);
    }
  (void)seq;
  Globals& g = G();
  const bool tracked = g.activeCount < static_cast<int32_t>(std::size(g.activeRefs));
  if (tracked) g.activeRefs[g.activeCount++] = in.effectRef;
  PF_Result err = 0;
  {
    // What a crash report names, should the effect bring the process down.
    char file[FILE_MaxPath] = "";
    FILE_SpecH ref = nullptr;
    if (c.routine && PLUG_GetRoutineFile(c.routine, &ref) == 0 && ref)
      FILE_InqName(ref, FILE_NameFullPath, file, sizeof file);
    const platform::InFlightScope plugin(platform::InFlight::PluginFile, file);
    const std::string_view name = c.name[0] ? std::string_view(c.name, strnlen(c.name, sizeof c.name))
                                            : std::string_view(c.matchName, strnlen(c.matchName, sizeof c.matchName));
    const platform::InFlightScope effect(platform::InFlight::Effect, name);
    platform::ModalScope modal;
    err = c.entry(cmd, &in, &out, params, output, extra);
  }
  if (tracked) --g.activeCount;
  // The effect disposes its data on the setdown commands; a handle it
  // replaced during the call may be gone too, so only a handle the output
  // record still carries is unlocked.
  const Handle after[3] = {out.globalData, out.sequenceData, out.frameData};
  const bool gone[3] = {cmd == PF_Cmd_GlobalSetdown, cmd == PF_Cmd_SequenceSetdown,
                        cmd == PF_Cmd_FrameSetdown || cmd == PF_Cmd_Reserved21};
  for (int i = 0; i < 3; ++i)
    if (locked[i] && !gone[i] && after[i] == locked[i]) HSetState(locked[i], states[i]);
  // A data handle the effect hands back is checked before the host keeps it:
  // anything the memory manager does not know is refused, never locked or
  // flattened later.
  Handle* returned[3] = {&out.globalData, &out.sequenceData, &out.frameData};
  for (int i = 0; i < 3; ++i) {
    Handle h = *returned[i];
    if (!h || h == locked[i]) continue;
    HGetState(h);
    if (MemError() != 0) {
      *returned[i] = nullptr;
      kReport.Damaged(kSiteCall, {"effect data handle"});
      if (!err) err = PF_Result_Damaged;
    }
  }
  if (err == PF_Result_NotHandled && cmd == PF_Cmd_ArbitraryData) return err;
  // The message is the effect's: it is read only up to the end of its field.
  out.message[PF_MessageBytes - 1] = 0;
  size_t n = strnlen(out.message, PF_MessageBytes);
  while (n > 0 && out.message[n - 1] == ' ') out.message[--n] = 0;
  if (n > 0) {
    if (err == 0)
      kReport.Note(kSiteCall, kSevPlain, kTextEffectInfo, {out.message});
    else if (err != PF_Result_Interrupted)
      kReport.Report(kSiteCall, kSevError, err, kTextEffectMessage, {out.message, err});
  } else if (err != 0 && err != PF_Result_Interrupted && (c.outFlags & PF_OutFlag_ErrorTextOnFailure)) {
    kReport.Fail(kSiteCall, err, kTextUnknownError, {err});
  }
  return err;
}

}  // namespace tv::flt
