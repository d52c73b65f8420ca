// The effect class table: registration, inquiries, lazy global and params
// setup (with the checks on every parameter an effect adds), and global
// setdown at death.
#include <cstring>

#include "FLT_internal.h"

namespace tv::flt {
namespace {

// The template being built by a params setup.
struct Build {
  Handle index = nullptr;
  Handle block = nullptr;
  int32_t count = 0;
  uint32_t outFlags = 0;
  const char* name = "";
  int16_t classIndex = 0;
  uint32_t ui[11] = {};
  uint32_t uiFlags = 0;
};
Build* gBuild = nullptr;

// The defaults of the arbitrary-data parameters of a template block.
void DisposeTemplateDefaults(int16_t classIndex, Handle block, int32_t count) {
  if (!block) return;
  const auto fit = static_cast<int32_t>(GetHandleSize(block) / static_cast<Size>(sizeof(PF_ParamDef)));
  for (int32_t i = 0; i < count && i < fit; ++i) {
    PF_ParamDef& p = reinterpret_cast<PF_ParamDef*>(*block)[i];
    if (p.type != PF_Param_Arbitrary) continue;
    Handle def = ArbDefault(p);
    SetArbDefault(p, nullptr);
    ArbDispose(classIndex, nullptr, i, def);
  }
}

// The custom-UI registration callback (params setup only).
PF_Result RegisterUI(PF_ProgPtr refPtr, const uint32_t* description) {
  auto* ref = static_cast<EffectRef*>(refPtr);
  if (!ActiveRef(ref) || ref->magic != kRefMagic || ref->tailMagic != kRefMagic || !gBuild) {
    kReport.Damaged(kSiteAddParam, {"effect reference"});
    return PF_Result_Damaged;
  }
  if (!description) return kReport.Fail(kSiteAddParam, PF_Result_BadCallbackArg, kTextBadParam, {"register UI"});
  std::memcpy(gBuild->ui, description, sizeof gBuild->ui);
  gBuild->uiFlags |= kUIRegistered;
  return 0;
}

void CopyName(char* dst, size_t size, const char* src) {
  std::memset(dst, 0, size);
  if (!src) return;
  size_t n = strnlen(src, size - 1);
  // Never cut inside a UTF-8 sequence.
  while (n > 0 && n < std::strlen(src) && (static_cast<uint8_t>(src[n]) & 0xC0) == 0x80) --n;
  std::memcpy(dst, src, n);
}

ErrorCode AppendParam(Build& b, const PF_ParamDef& def) {
  const Size oldBlock = GetHandleSize(b.block);
  SetHandleSize(b.block, oldBlock + static_cast<Size>(sizeof(PF_ParamDef)));
  if (MemError()) return kReport.OutOfMemory(kSiteAddParam, kTextMemory, oldBlock + sizeof(PF_ParamDef));
  SetHandleSize(b.index, static_cast<Size>(sizeof(uintptr_t)) * (b.count + 2));
  if (MemError()) {
    SetHandleSize(b.block, oldBlock);
    return kReport.OutOfMemory(kSiteAddParam, kTextMemory, sizeof(uintptr_t) * (b.count + 2));
  }
  std::memcpy(*b.block + oldBlock, &def, sizeof def);
  auto* idx = reinterpret_cast<uintptr_t*>(*b.index);
  idx[b.count] = static_cast<uintptr_t>(oldBlock);
  idx[b.count + 1] = UINTPTR_MAX;
  ++b.count;
  return 0;
}

// The add-parameter callback (params setup only).
PF_Result AddParam(PF_ProgPtr refPtr, int32_t /*index*/, PF_ParamDef* in) {
  auto* ref = static_cast<EffectRef*>(refPtr);
  if (!ActiveRef(ref) || ref->magic != kRefMagic || ref->tailMagic != kRefMagic || !gBuild)
  {
    kReport.Damaged(kSiteAddParam, {"effect reference"});
    return PF_Result_Damaged;
  }
  if (!in) return kReport.Fail(kSiteAddParam, PF_Result_BadCallbackArg, kTextBadParam, {"add parameter"});
  Build& b = *gBuild;
  // Stream indices address at most 128 parameters after the input layer.
  if (b.count >= 129) return kReport.Fail(kSiteAddParam, 3, kTextIndexRange);
  PF_ParamDef def = *in;
  def.flags &= ~(PF_ParamFlag_Reserved0 | PF_ParamFlag_NoStream | PF_ParamFlag_Reserved4);
  if (!(b.outFlags & PF_OutFlag_CustomUI) &&
      ((def.uiFlags & (PF_PUI_TOPIC | PF_PUI_CONTROL)) || def.uiWidth || def.uiHeight)) {
    kReport.Note(kSiteAddParam, kSevWarning, kTextNoCustomUI);
    def.uiFlags &= ~(PF_PUI_TOPIC | PF_PUI_CONTROL);
    def.uiWidth = def.uiHeight = 0;
  }
  if (def.identifier == 0) def.identifier = static_cast<uint32_t>(b.count);
  def.name[PF_ParamNameBytes - 1] = 0;
  def.stream = nullptr;
  switch (def.type) {
    case PF_Param_Layer:
      std::memset(&def.u, 0, sizeof def.u);
      def.flags |= PF_ParamFlag_CANNOT_TIME_VARY | PF_ParamFlag_NoStream;
      break;
    case PF_Param_Checkbox:
    case PF_Param_Popup: {
      // The label or choice text is copied into the record, cut to its room
      // and always terminated, so the effect may free its own string.
      const char* text = nullptr;
      std::memcpy(&text, def.u.bytes + PF_Byte_Text, sizeof text);
      char copy[PF_ParamTextBytes] = {};
      if (text) CopyName(copy, sizeof copy, text);
      std::memcpy(def.u.bytes + PF_Byte_Text, copy, sizeof copy);
      if (def.type == PF_Param_Popup) {
        int16_t count = 0;
        std::memcpy(&count, def.u.bytes + PF_Byte_ChoiceCount, sizeof count);
        int32_t items = 1;
        for (char c : copy)
          if (c == '|') ++items;
        if (count < 1 || count > items) return kReport.Fail(kSiteAddParam, 3, kTextIndexRange);
      }
      break;
    }
    case PF_Param_Type9:
    case PF_Param_Type13:
      def.flags |= PF_ParamFlag_CANNOT_TIME_VARY | PF_ParamFlag_NoStream;
      break;
    case PF_Param_Type12:
      def.flags |= PF_ParamFlag_CANNOT_TIME_VARY | PF_ParamFlag_NoStream;
      def.u.words[0] = 0;
      break;
    case PF_Param_Type14:
      def.uiFlags |= PF_PUI_NoControl;
      def.flags |= PF_ParamFlag_CANNOT_TIME_VARY | PF_ParamFlag_NoStream;
      break;
    case PF_Param_Arbitrary: {
      // The class keeps its own copy of the effect's default; a Sequence
      // gets its value from it. Arbitrary values do not vary over time.
      if (def.uiFlags & PF_PUI_STD_CONTROL_ONLY) return kReport.Fail(kSiteAddParam, 3, kTextStdControlTypes);
      b.uiFlags |= kUIArbitrary;
      def.flags |= PF_ParamFlag_CANNOT_TIME_VARY | PF_ParamFlag_NoStream;
      Handle given = ArbDefault(def);
      std::memset(&def.u, 0, sizeof def.u);
      Handle copy = nullptr;
      if (!given) return kReport.Fail(kSiteAddParam, PF_Result_BadCallbackArg, kTextArbIndex);
      if (ErrorCode err = ArbCopy(b.classIndex, nullptr, b.count, given, &copy)) return err;
      SetArbDefault(def, copy);
      if (ErrorCode err = AppendParam(b, def)) {
        ArbDispose(b.classIndex, nullptr, b.count, copy);
        return err;
      }
      return 0;
    }
    default:
      if (def.type >= PF_Param_TypeCount) return kReport.Fail(kSiteAddParam, 3, kTextBadParam, {"parameter type"});
      break;
  }
  if (def.uiFlags & PF_PUI_STD_CONTROL_ONLY) {
    const uint32_t t = def.type;
    if (t == 0 || t == 8 || t == 9 || t == 11 || t == 12) return kReport.Fail(kSiteAddParam, 3, kTextStdControlTypes);
    if (!(def.flags & PF_ParamFlag_SUPERVISE)) return kReport.Fail(kSiteAddParam, 3, kTextStdControlSupervise);
    if (!(def.flags & PF_ParamFlag_CANNOT_TIME_VARY)) return kReport.Fail(kSiteAddParam, 3, kTextStdControlConstant);
    def.flags |= PF_ParamFlag_NoStream;
  }
  // A parameter the effect declares constant has no Stream either.
  if (def.flags & PF_ParamFlag_CANNOT_TIME_VARY) def.flags |= PF_ParamFlag_NoStream;
  return AppendParam(b, def);
}

// A plug-in's code should answer the version and out flags its property
// list declares; a difference is worth a warning (the declared flags stay in
// force). Classes built into the process have no property list to differ from.
void WarnMismatches(const ClassRec& c, const PF_OutputRecord& out) {
  if (!c.routine) return;
  if (out.version != c.version) {
    report::Text(kReport.Loc(kSiteClass), kSevWarning,
                 "effect \"%s\" has version mismatch. Code version is %ld.%ld and PiPL version is %ld.%ld.",
                 {c.name, static_cast<long>(out.version >> 19), static_cast<long>((out.version >> 15) & 0xF),
                  static_cast<long>(c.version >> 19), static_cast<long>((c.version >> 15) & 0xF)});
  }
  if (!(c.outFlags & PF_OutFlag_FlagsMayDiffer) && out.outFlags != c.outFlags) {
    report::Text(kReport.Loc(kSiteClass), kSevWarning,
                 "effect \"%s\" has global outflags mismatch. Code flags are %lX and PiPL flags are %lX.",
                 {c.name, static_cast<unsigned long>(out.outFlags), static_cast<unsigned long>(c.outFlags)});
  }
}

ErrorCode ParamsSetup(int16_t index, ClassRec& c) {
  Build b;
  b.outFlags = c.outFlags;
  b.name = c.name;
  b.classIndex = index;
  b.index = NewHandleClear(static_cast<Size>(sizeof(uintptr_t)));
  b.block = NewHandle(0);
  if (!b.index || !b.block) {
    if (b.index) DisposeHandle(b.index);
    if (b.block) DisposeHandle(b.block);
    return kReport.OutOfMemory(kSiteClass, kTextMemory, sizeof(PF_ParamDef));
  }
  reinterpret_cast<uintptr_t*>(*b.index)[0] = UINTPTR_MAX;
  // Parameter 0: the input layer.
  PF_ParamDef input{};
  input.type = PF_Param_Layer;
  input.flags = PF_ParamFlag_CANNOT_TIME_VARY | PF_ParamFlag_NoStream;
  ErrorCode err = AppendParam(b, input);
  if (!err) {
    gBuild = &b;
    PF_InputRecord in{};
    PF_OutputRecord out{};
    EffectRef ref{};
    PrepareInput(in, ref, PF_Cmd_ParamsSetup, index, nullptr);
    in.addParam = AddParam;
    in.registerUI = RegisterUI;
    ref.templateBuild = b.block;
    err = CallEffect(index, PF_Cmd_ParamsSetup, nullptr, in, out, nullptr, nullptr, nullptr);
    gBuild = nullptr;
    if (!err && out.paramCount != b.count)
      err = kReport.Fail(kSiteClass, 3, kTextCountMismatch, {c.name});
  }
  if (err) {
    DisposeTemplateDefaults(index, b.block, b.count);
    DisposeHandle(b.index);
    DisposeHandle(b.block);
    return err;
  }
  std::memcpy(c.customUI, b.ui, sizeof c.customUI);
  c.uiFlags = b.uiFlags;
  c.paramIndex = b.index;
  c.paramBlock = b.block;
  c.paramCount = b.count;
  return 0;
}

}  // namespace

int32_t ClassCount() {
  int32_t n = 0;
  if (G().classes) LIST_GetNumItems(G().classes, &n);
  return n;
}

ErrorCode GetClass(int16_t index, ClassRec& out) {
  out = ClassRec{};
  // The table lives from birth to the end of death (global setdown runs in it).
  if (!G().classes) return kReport.Damaged(kSiteClass, {"package not born"});
  if (index < 0 || index >= ClassCount()) return kReport.BadParam(kSiteClass, {"class index"});
  return LIST_GetItem(G().classes, index, &out);
}

ErrorCode SetClass(int16_t index, const ClassRec& rec) {
  return LIST_SetItem(&rec, index, G().classes, 0, nullptr);
}

ErrorCode ReadyClass(int16_t index, uint32_t site) {
  ClassRec c;
  if (ErrorCode err = GetClass(index, c)) return err;
  if (c.flags & kClassUnusable) return kReport.Fail(site, FLT_ErrInvalidFilter, kTextInvalidFilter);
  if (ErrorCode err = LoadClassCode(c, site)) return err;
  SetClass(index, c);  // the entry is read from the table by the calls below
  ++c.readyCount;
  if (!(c.flags & kClassGlobalsDone)) {
    PF_InputRecord in{};
    PF_OutputRecord out{};
    EffectRef ref{};
    PrepareInput(in, ref, PF_Cmd_GlobalSetup, index, nullptr);
    if (G().procs[18]) G().procs[18]();
    ErrorCode err = CallEffect(index, PF_Cmd_GlobalSetup, nullptr, in, out, nullptr, nullptr, nullptr);
    if (err) {
      // A class whose global setup failed is never called again.
      c.flags |= kClassUnusable;
      --c.readyCount;
      SetClass(index, c);
      return err;
    }
    if (G().procs[19]) G().procs[19]();
    c.flags |= kClassGlobalsDone;
    WarnMismatches(c, out);
    c.globalData = out.globalData;
    SetClass(index, c);
  }
  if (!(c.flags & kClassParamsDone)) {
    // A class without a valid parameter template cannot make Sequences: it
    // is marked unusable like one whose global setup failed, so its params
    // setup is not retried on every use.
    if (ErrorCode err = ParamsSetup(index, c)) {
      c.flags |= kClassUnusable;
      --c.readyCount;
      SetClass(index, c);
      return err;
    }
    c.flags |= kClassParamsDone;
  }
  return SetClass(index, c);
}

void UnreadyClass(int16_t index) {
  ClassRec c;
  if (GetClass(index, c) == 0 && c.readyCount > 0) {
    --c.readyCount;
    SetClass(index, c);
  }
}

void SetdownAllClasses() {
  const int32_t n = ClassCount();
  for (int16_t i = 0; i < n; ++i) {
    ClassRec c{};
    if (LIST_GetItem(G().classes, i, &c)) continue;
    // The defaults go while the effect's globals still live.
    DisposeTemplateDefaults(i, c.paramBlock, c.paramCount);
    if (c.flags & kClassGlobalsDone) {
      PF_InputRecord in{};
      PF_OutputRecord out{};
      EffectRef ref{};
      PrepareInput(in, ref, PF_Cmd_GlobalSetdown, i, nullptr);
      CallEffect(i, PF_Cmd_GlobalSetdown, nullptr, in, out, nullptr, nullptr, nullptr);
    }
    if (c.paramIndex) DisposeHandle(c.paramIndex);
    if (c.paramBlock) DisposeHandle(c.paramBlock);
    ReleaseClassCode(c);
  }
}

}  // namespace tv::flt

using namespace tv;
using namespace tv::flt;

ErrorCode FLTp_RegisterStaticClass(const FLT_StaticClass* info, int16_t* classIndex) {
  if (classIndex) *classIndex = static_cast<int16_t>(0x8000);
  if (!classIndex || !info || !info->matchName || !*info->matchName || !info->entry)
    return kReport.BadParam(kSiteRegister, {"FLTp_RegisterStaticClass"});
  if (!pkg::Alive(FLT_PackageNumber)) return kReport.Damaged(kSiteRegister, {"package not born"});
  int16_t existing = 0;
  Boolean32 found = 0;
  FLTp_FindClass(info->matchName, &existing, &found);
  if (found) {
    // The first class of a match name stays; the second is not registered.
    kReport.Note(kSiteRegister, kSevWarning, kTextMultiple, {info->matchName});
    return 3;
  }
  if (ClassCount() >= 0x7FFF) return kReport.BadParam(kSiteRegister, {"class table full"});
  ClassRec c{};
  CopyName(c.matchName, sizeof c.matchName, info->matchName);
  CopyName(c.name, sizeof c.name, info->name && *info->name ? info->name : info->matchName);
  CopyName(c.category, sizeof c.category, info->category);
  c.outFlags = info->outFlags;
  c.version = info->version;
  c.specVersion = info->specVersion;
  c.entry = info->entry;
  const uint32_t major = info->specVersion >> 16;
  if (major != 11 && major != 12) c.flags |= kClassUnusable;
  if (c.outFlags & PF_OutFlag_Obsolete) c.flags |= kClassHidden;
  if (ErrorCode err = LIST_Insert(&c, -1, G().classes)) return err;
  *classIndex = static_cast<int16_t>(ClassCount() - 1);
  return 0;
}

ErrorCode FLT_InqNumPF(int32_t* count) {
  if (count) *count = 0;
  if (!count) return kReport.BadParam(kSiteClass, {"FLT_InqNumPF"});
  *count = ClassCount();
  return 0;
}

ErrorCode FLT_InqPFInfo(int16_t classIndex, char* name, char* matchName, uint32_t* classFlags) {
  if (name) std::memset(name, 0, 32);
  if (matchName) std::memset(matchName, 0, 48);
  if (classFlags) *classFlags = 0;
  ClassRec c;
  if (ErrorCode err = GetClass(classIndex, c)) return err;
  if (name) std::memcpy(name, c.name, 32);
  if (matchName) std::memcpy(matchName, c.matchName, 48);
  if (classFlags) *classFlags = c.flags;
  return 0;
}

ErrorCode FLT_InqPFOutFlags(int16_t classIndex, uint32_t* outFlags) {
  if (outFlags) *outFlags = 0;
  if (!outFlags) return kReport.BadParam(kSiteClass, {"FLT_InqPFOutFlags"});
  ClassRec c;
  if (ErrorCode err = GetClass(classIndex, c)) return err;
  *outFlags = c.outFlags;
  return 0;
}

ErrorCode FLTp_FindClass(const char* matchName, int16_t* classIndex, Boolean32* found) {
  if (classIndex) *classIndex = static_cast<int16_t>(0x8000);
  if (found) *found = 0;
  if (!matchName || !classIndex || !found) return kReport.BadParam(kSiteClass, {"FLTp_FindClass"});
  const int32_t n = ClassCount();
  for (int16_t i = 0; i < n; ++i) {
    ClassRec c{};
    if (LIST_GetItem(G().classes, i, &c)) continue;
    if (strncmp(c.matchName, matchName, sizeof c.matchName) == 0) {
      *classIndex = i;
      *found = 1;
      return 0;
    }
  }
  return 0;
}

ErrorCode FLT_InqParamInfo(int16_t classIndex, int32_t* paramCount) {
  if (paramCount) *paramCount = 0;
  if (!paramCount) return kReport.BadParam(kSiteClass, {"FLT_InqParamInfo"});
  ClassRec c;
  if (ErrorCode err = GetClass(classIndex, c)) return err;
  *paramCount = c.paramCount;
  return 0;
}
