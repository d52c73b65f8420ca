// The module table's defaults: what every slot does until a driver fills it.
// Most slots report that the module lacks the operation and answer 9985; a
// few succeed, answer 9985 silently, or report a text of their own.
#include <cstring>

#include "PIN_internal.h"
#include "U.h"

namespace tv::pin {
namespace {

enum class Kind : uint8_t { Succeed, Report, Silent, Unimplemented, ScrapConvert, ScrapDispose };

constexpr int32_t kNone = -1;
constexpr int32_t kIn = kTextNounInput;
constexpr int32_t kOut = kTextNounOutput;

// What slot n does by default: the operation's phrase and what it works on
// (text indices) complete "the <module> module does not support ...".
struct SlotDefault {
  Kind kind;
  int32_t phrase;
  int32_t noun;
};

constexpr SlotDefault kDefaults[PIN_SlotCount] = {
    {Kind::Succeed, kNone, kNone},                                // 0 Death
    {Kind::Report, kTextPhraseFromFiles, kIn},                    // 1 NewSeqSpecFromFile
    {Kind::Report, kTextPhraseInteractively, kIn},                // 2 NewSeqSpecInteractive
    {Kind::Report, kTextPhraseDisposal, kIn},                     // 3 DisposeSeqSpec
    {Kind::Report, kTextPhraseSaving, kIn},                       // 4 WriteSeqSpec
    {Kind::Report, kTextPhraseLoading, kIn},                      // 5 ReadSeqSpec
    {Kind::Report, kTextPhraseSynch, kIn},                        // 6 SynchSeqSpec
    {Kind::Report, kTextPhraseExtents, kIn},                      // 7 GetActiveExtent
    {Kind::Report, kTextPhraseInfoReport, kIn},                   // 8 GetSeqSpecInfo
    {Kind::Report, kTextPhraseDrawing, kIn},                      // 9 DrawSparseFrame
    {Kind::Report, kTextPhraseDrawingPartial, kIn},               // 10 DrawPartialFrame
    {Kind::Report, kTextPhraseDimensions, kIn},                   // 11 GetDimensions
    {Kind::Report, kTextPhraseDuration, kIn},                     // 12 GetDuration
    {Kind::Report, kTextPhraseStartTime, kIn},                    // 13 GetTime
    {Kind::Report, kTextPhraseSound, kIn},                        // 14 GetSound
    {Kind::Report, kTextPhraseFile, kIn},                         // 15 GetFile
    {Kind::Report, kTextPhraseFrameTimes, kIn},                   // 16 InqNextFrameTime
    {Kind::Report, kTextPhraseCreation, kOut},                    // 17 NewOutputSpec
    {Kind::Report, kTextPhraseExtents, kOut},                     // 18 GetOutputOptions
    {Kind::Report, kTextPhraseDisposal, kTextNounOutputOptions},  // 19 DisposeOutputOptions
    {Kind::Report, kTextPhraseOptionDialog, kOut},                // 20 UserOptionsDialog
    {Kind::Report, kTextPhraseInfoReport, kOut},                  // 21 GetOutputInfo
    {Kind::Report, kTextPhraseInfoSetting, kOut},                 // 22 SetOutputInfo
    {Kind::Report, kTextPhraseSetFile, kOut},                     // 23 SetOutputFile
    {Kind::Report, kTextPhraseAdding, kOut},                      // 24 StartAdding
    {Kind::Report, kTextPhraseAdding, kOut},                      // 25 AddFrame
    {Kind::Report, kTextPhraseAdding, kOut},                      // 26 EndAdding
    {Kind::Report, kTextPhraseSingleFrames, kOut},                // 27 OutputFrame
    {Kind::Report, kTextPhraseCreation, kTextNounLabels},         // 28 WriteLabels
    {Kind::Report, kTextPhraseSizes, kOut},                       // 29 GetSizes
    {Kind::Report, kTextPhraseFlushing, kOut},                    // 30 Flush
    {Kind::Report, kTextPhraseAddSound, kOut},                    // 31 AddSoundChunk
    {Kind::Report, kTextPhraseSetData, kTextNounModule},          // 32 SetModuleSpecificData
    {Kind::Report, kTextPhraseGetData, kTextNounModule},          // 33 GetModuleSpecificData
    {Kind::Report, kTextPhraseSetData, kTextNounInputSequence},   // 34 SetSeqSpecificData (input)
    {Kind::Succeed, kNone, kNone},                                // 35 GetSeqSpecificData (input)
    {Kind::Report, kTextPhraseSetData, kTextNounOutputSequence},  // 36 SetSeqSpecificData (output)
    {Kind::Report, kTextPhraseGetData, kTextNounOutputSequence},  // 37 GetSeqSpecificData (output)
    {Kind::Report, kTextPhraseIdle, kNone},                       // 38 Idle
    {Kind::Report, kTextPhraseDepths, kOut},                      // 39 GetLegalDepths
    {Kind::Report, kTextPhraseSuffixes, kNone},                   // 40 GetOutputSuffix
    {Kind::ScrapConvert, kNone, kNone},                           // 41 ConvertScrap
    {Kind::ScrapDispose, kNone, kNone},                           // 42 CleanupScrap
    {Kind::Unimplemented, kNone, kNone},                          // 43 reserved
    {Kind::Silent, kNone, kNone},                                 // 44 GetNumAuxChannels (0 channels)
    {Kind::Unimplemented, kNone, kNone},                          // 45 GetAuxChannelDesc
    {Kind::Unimplemented, kNone, kNone},                          // 46 DrawAuxChannel
    {Kind::Unimplemented, kNone, kNone},                          // 47 FreeAuxChannel
    {Kind::Silent, kNone, kNone},                                 // 48 reserved
    {Kind::Silent, kNone, kNone},                                 // 49 reserved
    {Kind::Succeed, kNone, kNone},                                // 50 reserved
};

// The module name a default reports with, from its first argument.
const char* NameOf(const PIN_ModuleInfo* info) { return info ? info->name : "?"; }
const char* NameOf(Handle spec) {
  if (spec && kOutMagic.Intact(spec)) return ModuleName(OutModuleOf(spec));
  if (!spec || !kSeqMagic.Intact(spec)) return "?";
  return ModuleName(ModuleOf(spec));
}

template <int N, class Fn>
struct Default;
template <int N, class First, class... Rest>
struct Default<N, ErrorCode (*)(First, Rest...)> {
  static ErrorCode Fn(First first, Rest... rest) {
    if constexpr (N == PIN_Slot_GetNumAuxChannels) {
      auto count = std::get<0>(std::tuple<Rest...>(rest...));
      if (count) *count = 0;
    } else {
      ((void)rest, ...);
    }
    return ApplyDefault(N, NameOf(first));
  }
};

constexpr size_t kSlotBytes = sizeof(ErrorCode(*)(Handle));
static_assert(sizeof(PIN_ModuleProcs) == PIN_SlotCount * kSlotBytes, "one pointer per slot");

#define TV_PIN_DEFAULT(n, member) p.member = &Default<n, decltype(PIN_ModuleProcs::member)>::Fn

PIN_ModuleProcs MakeDefaults() {
  PIN_ModuleProcs p{};
  TV_PIN_DEFAULT(0, death);
  TV_PIN_DEFAULT(1, newSeqSpecFromFile);
  TV_PIN_DEFAULT(2, newSeqSpecInteractive);
  TV_PIN_DEFAULT(3, disposeSeqSpec);
  TV_PIN_DEFAULT(4, writeSeqSpec);
  TV_PIN_DEFAULT(5, readSeqSpec);
  TV_PIN_DEFAULT(6, synchSeqSpec);
  TV_PIN_DEFAULT(7, getActiveExtent);
  TV_PIN_DEFAULT(8, getSeqSpecInfo);
  TV_PIN_DEFAULT(9, drawSparseFrame);
  TV_PIN_DEFAULT(10, drawPartialFrame);
  TV_PIN_DEFAULT(11, getDimensions);
  TV_PIN_DEFAULT(12, getDuration);
  TV_PIN_DEFAULT(13, getTime);
  TV_PIN_DEFAULT(14, getSound);
  TV_PIN_DEFAULT(15, getFile);
  TV_PIN_DEFAULT(16, inqNextFrameTime);
  TV_PIN_DEFAULT(17, newOutputSpec);
  TV_PIN_DEFAULT(18, getOutputOptions);
  TV_PIN_DEFAULT(19, disposeOutputOptions);
  TV_PIN_DEFAULT(20, userOptionsDialog);
  TV_PIN_DEFAULT(21, getOutputInfo);
  TV_PIN_DEFAULT(22, setOutputInfo);
  TV_PIN_DEFAULT(23, setOutputFile);
  TV_PIN_DEFAULT(24, startAdding);
  TV_PIN_DEFAULT(25, addFrame);
  TV_PIN_DEFAULT(26, endAdding);
  TV_PIN_DEFAULT(27, outputFrame);
  TV_PIN_DEFAULT(28, writeLabels);
  TV_PIN_DEFAULT(29, getSizes);
  TV_PIN_DEFAULT(30, flush);
  TV_PIN_DEFAULT(31, addSoundChunk);
  TV_PIN_DEFAULT(32, setModuleSpecificData);
  TV_PIN_DEFAULT(33, getModuleSpecificData);
  TV_PIN_DEFAULT(34, setInSpecificData);
  TV_PIN_DEFAULT(35, getInSpecificData);
  TV_PIN_DEFAULT(36, setOutSpecificData);
  TV_PIN_DEFAULT(37, getOutSpecificData);
  TV_PIN_DEFAULT(38, idle);
  TV_PIN_DEFAULT(39, getLegalDepths);
  TV_PIN_DEFAULT(40, getOutputSuffix);
  TV_PIN_DEFAULT(41, convertScrap);
  TV_PIN_DEFAULT(42, cleanupScrap);
  TV_PIN_DEFAULT(43, reserved43);
  TV_PIN_DEFAULT(44, getNumAuxChannels);
  TV_PIN_DEFAULT(45, getAuxChannelDesc);
  TV_PIN_DEFAULT(46, drawAuxChannel);
  TV_PIN_DEFAULT(47, freeAuxChannel);
  TV_PIN_DEFAULT(48, reserved48);
  TV_PIN_DEFAULT(49, reserved49);
  TV_PIN_DEFAULT(50, reserved50);
  return p;
}
#undef TV_PIN_DEFAULT

const PIN_ModuleProcs kDefaultProcs = MakeDefaults();

// The bits of slot n's pointer.
uintptr_t SlotBits(const PIN_ModuleProcs& procs, int n) {
  uintptr_t bits = 0;
  std::memcpy(&bits, reinterpret_cast<const char*>(&procs) + static_cast<size_t>(n) * kSlotBytes, kSlotBytes);
  return bits;
}

}  // namespace

const PIN_ModuleProcs& DefaultProcs() { return kDefaultProcs; }

bool Filled(const PIN_ModuleProcs& procs, int slot) {
  if (slot < 0 || slot >= PIN_SlotCount) return false;
  const uintptr_t bits = SlotBits(procs, slot);
  return bits != 0 && bits != SlotBits(kDefaultProcs, slot);
}

ErrorCode ApplyDefault(int slot, const char* moduleName) {
  if (slot < 0 || slot >= PIN_SlotCount) return PIN_ErrUnsupported;
  const SlotDefault& d = kDefaults[slot];
  const uint32_t site = kSiteSlotBase + static_cast<uint32_t>(slot);
  switch (d.kind) {
    case Kind::Succeed:
      return 0;
    case Kind::Silent:
      return PIN_ErrUnsupported;
    case Kind::Unimplemented:
      return kReport.Fail(site, PIN_ErrUnsupported, kTextUnimplemented);
    case Kind::ScrapConvert:
      return kReport.Fail(site, PIN_ErrUnsupported, kTextNoScrapConvert);
    case Kind::ScrapDispose:
      return kReport.Fail(site, PIN_ErrUnsupported, kTextNoScrapDispose);
    case Kind::Report:
      break;
  }
  char operation[U_MessageBufferSize];
  fmt::FormatTo(operation, kReport.Text(d.phrase), {d.noun == kNone ? "" : kReport.Text(d.noun)});
  char message[U_MessageBufferSize];
  u::SubString(message, kReport.Text(kTextNotSupported), {moduleName ? moduleName : "?", operation});
  return kReport.Message(site, kSevError, PIN_ErrUnsupported, message);
}

const char* ModuleName(const Module* m) { return m ? m->info.name : "?"; }

}  // namespace tv::pin

using namespace tv;
using namespace tv::pin;

ErrorCode PIN_GetDefaultProcs(PIN_ModuleProcs* procs) {
  if (!procs) return kReport.BadParam(kSiteRegistry, {"PIN_GetDefaultProcs"});
  *procs = kDefaultProcs;
  return 0;
}
