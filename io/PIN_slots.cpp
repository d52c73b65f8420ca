// The module table's defaults: what every slot does until a driver fills it.
// Most slots report that the module lacks the operation and answer 9985; a
// few succeed, answer 9985 silently, or report a text of their own.
#include <cstring>

#include "PIN_internal.h"
#include "U.h"

namespace tv::pin {
namespace {

// The phrases the defaults complete "the <module> module does not support".
enum Phrase : uint8_t {
  kNone, kFromFiles, kInteractively, kDisposal, kSaving, kLoading, kSynch, kExtents, kInfoReport, kDrawing,
  kDrawingPartial, kDimensions, kDuration, kStartTime, kSound, kFile, kFrameTimes, kCreation, kOptionDialog,
  kInfoSetting, kSetFile, kAdding, kSingleFrames, kSizes, kFlushing, kAddSound, kSetData, kGetData, kIdle,
  kDepths, kSuffixes,
};
constexpr const char* kPhrases[] = {
    "",
    "creation of new %s from files.",
    "creation of new %s interactively.",
    "disposal of %s.",
    "saving of %s.",
    "loading of %s.",
    "synchronization of %s.",
    "reporting of active extents from %s.",
    "reporting of %s information.",
    "drawing frames from %s.",
    "drawing partial frames from %s",
    "retrieving the dimensions of %s.",
    "retrieving the duration of %s.",
    "retrieving the starting time of %s.",
    "retrieving sound from %s.",
    "retrieving file from %s.",
    "inquiring frame times from %s.",
    "creation of %s.",
    "displaying option dialog for %s",
    "setting of %s information.",
    "setting file for %s",
    "adding to %s",
    "outputting single frames as %s",
    "size reporting of %s",
    "flushing of %s",
    "adding sound to %s",
    "setting %s-specific data",
    "retrieving %s-specific data",
    "idle functions",
    "getting legal color depths of %s",
    "getting output suffixes",
};

enum class Kind : uint8_t { Succeed, Report, Silent, Unimplemented, ScrapConvert, ScrapDispose };

constexpr const char* kIn = "input sequences";
constexpr const char* kOut = "output sequences";

struct SlotDefault {
  Kind kind;
  Phrase phrase;
  const char* noun;
};

constexpr SlotDefault kDefaults[PIN_SlotCount] = {
    {Kind::Succeed, kNone, nullptr},                 // 0 Death
    {Kind::Report, kFromFiles, kIn},                 // 1 NewSeqSpecFromFile
    {Kind::Report, kInteractively, kIn},             // 2 NewSeqSpecInteractive
    {Kind::Report, kDisposal, kIn},                  // 3 DisposeSeqSpec
    {Kind::Report, kSaving, kIn},                    // 4 WriteSeqSpec
    {Kind::Report, kLoading, kIn},                   // 5 ReadSeqSpec
    {Kind::Report, kSynch, kIn},                     // 6 SynchSeqSpec
    {Kind::Report, kExtents, kIn},                   // 7 GetActiveExtent
    {Kind::Report, kInfoReport, kIn},                // 8 GetSeqSpecInfo
    {Kind::Report, kDrawing, kIn},                   // 9 DrawSparseFrame
    {Kind::Report, kDrawingPartial, kIn},            // 10 DrawPartialFrame
    {Kind::Report, kDimensions, kIn},                // 11 GetDimensions
    {Kind::Report, kDuration, kIn},                  // 12 GetDuration
    {Kind::Report, kStartTime, kIn},                 // 13 GetTime
    {Kind::Report, kSound, kIn},                     // 14 GetSound
    {Kind::Report, kFile, kIn},                      // 15 GetFile
    {Kind::Report, kFrameTimes, kIn},                // 16 InqNextFrameTime
    {Kind::Report, kCreation, kOut},                 // 17 NewOutputSpec
    {Kind::Report, kExtents, kOut},                  // 18 GetOutputOptions
    {Kind::Report, kDisposal, "output options"},     // 19 DisposeOutputOptions
    {Kind::Report, kOptionDialog, kOut},             // 20 UserOptionsDialog
    {Kind::Report, kInfoReport, kOut},               // 21 GetOutputInfo
    {Kind::Report, kInfoSetting, kOut},              // 22 SetOutputInfo
    {Kind::Report, kSetFile, kOut},                  // 23 SetOutputFile
    {Kind::Report, kAdding, kOut},                   // 24 StartAdding
    {Kind::Report, kAdding, kOut},                   // 25 AddFrame
    {Kind::Report, kAdding, kOut},                   // 26 EndAdding
    {Kind::Report, kSingleFrames, kOut},             // 27 OutputFrame
    {Kind::Report, kCreation, "labels"},             // 28 WriteLabels
    {Kind::Report, kSizes, kOut},                    // 29 GetSizes
    {Kind::Report, kFlushing, kOut},                 // 30 Flush
    {Kind::Report, kAddSound, kOut},                 // 31 AddSoundChunk
    {Kind::Report, kSetData, "module"},              // 32 SetModuleSpecificData
    {Kind::Report, kGetData, "module"},              // 33 GetModuleSpecificData
    {Kind::Report, kSetData, "input sequence"},      // 34 SetSeqSpecificData (input)
    {Kind::Succeed, kNone, nullptr},                 // 35 GetSeqSpecificData (input)
    {Kind::Report, kSetData, "output sequence"},     // 36 SetSeqSpecificData (output)
    {Kind::Report, kGetData, "output sequence"},     // 37 GetSeqSpecificData (output)
    {Kind::Report, kIdle, nullptr},                  // 38 Idle
    {Kind::Report, kDepths, kOut},                   // 39 GetLegalDepths
    {Kind::Report, kSuffixes, nullptr},              // 40 GetOutputSuffix
    {Kind::ScrapConvert, kNone, nullptr},            // 41 ConvertScrap
    {Kind::ScrapDispose, kNone, nullptr},            // 42 CleanupScrap
    {Kind::Unimplemented, kNone, nullptr},           // 43 reserved
    {Kind::Silent, kNone, nullptr},                  // 44 GetNumAuxChannels (0 channels)
    {Kind::Unimplemented, kNone, nullptr},           // 45 GetAuxChannelDesc
    {Kind::Unimplemented, kNone, nullptr},           // 46 DrawAuxChannel
    {Kind::Unimplemented, kNone, nullptr},           // 47 FreeAuxChannel
    {Kind::Silent, kNone, nullptr},                  // 48 reserved
    {Kind::Silent, kNone, nullptr},                  // 49 reserved
    {Kind::Succeed, kNone, nullptr},                 // 50 reserved
};

// The module name a default reports with, from its first argument.
const char* NameOf(const PIN_ModuleInfo* info) { return info ? info->name : "?"; }
const char* NameOf(Handle spec) {
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

constexpr size_t kSlotBytes = sizeof(ErrorCode (*)(Handle));
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
  fmt::FormatTo(operation, kPhrases[d.phrase], {d.noun ? d.noun : ""});
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
