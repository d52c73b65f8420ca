// Shared inside the FLT package: the records kept in handles, the class
// table, the sites and texts, and the call path to effects.
#pragma once

#include <cstddef>
#include <cstdint>

#include "FLT.h"
#include "LIST.h"
#include "Memory.h"
#include "Package.h"
#include "TDB.h"

namespace tv::flt {

enum TextIndex : int32_t {
  kTextDamaged,          // " %s (...)" forms are built from this one
  kTextBadParam,
  kTextIndexRange,
  kTextNoTimeVary,
  kTextInvalidFilter,
  kTextNotInParade,
  kTextBufferSize,
  kTextMultiple,
  kTextCountMismatch,
  kTextStdControlTypes,
  kTextStdControlSupervise,
  kTextStdControlConstant,
  kTextNoCustomUI,
  kTextCannotUse,
  kTextEffectMessage,
  kTextEffectInfo,
  kTextUnknownError,
  kTextCannotParse,
  kTextControlConversion,
  kTextNotAvailable,
  kTextMemory,
  kTextUnimplemented,
  kTextReentrant,
  kTextBadProgPtr,
  // Plug-in effects (FLT_plugins.cpp)
  kTextMissingProp,
  kTextPiPLMismatch,
  kTextVersionName,
  kTextPlatformName,
  kTextNoAdapter,
  // Arbitrary data, UI contexts and inquiries (FLT_arbitrary.cpp, FLT_context.cpp, FLT_inquire.cpp)
  kTextArbIndex,
  kTextNoContext,
  // The Text effect (FLT_text*.cpp)
  kTextFontMissing,
  kTextFontUnusable,
  kTextUndrawable,
  kTextTextMemory,
  kTextCount
};
extern const pkg::Reporter kReport;

enum Site : uint32_t {
  kSiteBirth = 1, kSiteDeath, kSiteProcs, kSiteRegister, kSiteClass,
  kSiteNewSeq = 0x10, kSiteDisposeSeq, kSiteSeqLock, kSiteSeqParam, kSiteSeqName, kSiteSeqValidate,
  kSiteSeqSeek, kSiteSeqDup, kSiteSeqStream,
  kSiteParade = 0x20, kSiteParadeInsert, kSiteParadeIndex, kSiteParadeDup,
  kSiteFrame = 0x30, kSiteRender, kSiteScratch, kSiteAudio,
  kSiteCall = 0x40, kSiteAddParam, kSiteCallback,
  kSiteWrite = 0x50, kSiteRead,
  kSiteValue = 0x60, kSiteGeneral,
  kSiteArbitrary = 0x70, kSiteContext, kSiteInquire, kSiteCompare,
  kSiteTextFont = 0x80, kSiteTextLayout, kSiteTextGlyph, kSiteTextDraw, kSiteTextEffect,
};

constexpr uint16_t kSeqMagic = 0x2E99;
constexpr uint32_t kParadeMagic = 0x1E990E99;
constexpr uint32_t kFrameMagic = 0x2900D2BE;
constexpr uint16_t kRefMagic = 0x3E99;
constexpr uint16_t kMissingClass = 0xFFFF;  // a Sequence whose effect is not installed

// Class flags.
enum : uint32_t { kClassUnusable = 0x1, kClassGlobalsDone = 0x2, kClassHidden = 0x4, kClassParamsDone = 0x8 };

struct ClassRec {
  char matchName[48];
  char name[32];
  char category[32];
  uint32_t outFlags;
  uint32_t version;
  uint32_t specVersion;
  uint32_t flags;
  int32_t readyCount;
  PF_EntryFunc entry;
  Handle paramIndex;  // template: offsets, then UINTPTR_MAX
  Handle paramBlock;  // template: PF_ParamDef records
  int32_t paramCount;
  Handle globalData;
  // Plug-in effects: the routine whose code is loaded on the class's first
  // use (null for classes built into the process), and the adapter record
  // of a foreign filter kind.
  Handle routine;
  Handle adapter;
  // The custom UI description the effect registered in params setup, and
  // kUI* flags.
  uint32_t customUI[11];
  uint32_t uiFlags;
};
enum : uint32_t { kUIRegistered = 0x1, kUIArbitrary = 0x2 };

// A Sequence. The parameter index holds one uintptr_t per parameter and a
// terminator: byte offsets into the block while unlocked (terminator
// UINTPTR_MAX), addresses while locked (terminator 0).
struct SeqRec {
  uint16_t magic;
  uint16_t lockCount;
  Handle paramIndex;
  Handle paramBlock;
  uint32_t paramCount;
  uint32_t flags;
  uint32_t stamp;
  uint16_t classIndex;
  uintptr_t hostRef;
  char name[48];
  Handle seqData;
  Handle owner;
  Handle raw;        // a missing effect: its "SeqS" chunk contents as read
  char effectName[48];  // a missing effect: the stored display name
  uint64_t serial;      // unique among the Sequences of the process (never written)
  uint16_t tailMagic;
};
// The next Sequence's serial.
uint64_t NextSeqSerial();
constexpr pkg::Magic<SeqRec, uint16_t> kSeqMagicDesc{&SeqRec::magic, kSeqMagic, &SeqRec::tailMagic, kSeqMagic};

struct ParadeItem {
  Handle seq;
  uint32_t flags;
};

struct ParadeRec {
  uint32_t magic;
  uint32_t reserved;
  LIST_Handle items;
  uint32_t reserved2[3];
  FLT_LayerInfoProc proc;
  void* refcon;
  uint32_t tailMagic;
};
constexpr pkg::Magic<ParadeRec> kParadeMagicDesc{&ParadeRec::magic, kParadeMagic, &ParadeRec::tailMagic,
                                                 kParadeMagic};

enum : uint8_t { kCtxSkip = 0x8 };
struct FrameContext {
  Handle seq;
  Handle frameData;
  int32_t inWidth, inHeight;
  int32_t outWidth, outHeight;
  Point origin;
  uint8_t flags;
  Rect request;  // what frame setup was told, in this effect's input
};

struct FrameParadeRec {
  uint32_t magic;
  LIST_Handle contexts;
  Handle parade;
  int32_t quality;
  int32_t width, height;  // the input size
  uint32_t reserved[2];
  uint32_t tailMagic;
  Rect request;  // the caller's request in the layer's input (hasRequest)
  uint32_t hasRequest;
};
constexpr pkg::Magic<FrameParadeRec> kFrameMagicDesc{&FrameParadeRec::magic, kFrameMagic,
                                                     &FrameParadeRec::tailMagic, kFrameMagic};

// The effect reference handed to callbacks.
struct EffectRef {
  uint16_t magic;
  uint16_t reserved;
  int32_t cmd;
  int16_t classIndex;
  Handle seq;
  Handle templateBuild;  // params setup: the class whose template grows
  uint16_t tailMagic;
};

// ---- Package state (FLT_package.cpp) ----
struct Globals {
  LIST_Handle classes;
  uintptr_t hostA, hostB;
  FLT_HostProc procs[20];
  BM_World scratch;
  bool scratchInUse;  // a frame parade renders with it (one inside makes its own)
  // The effect references of the calls running now (innermost last): a
  // reference handed back by an effect is checked against them before it is
  // read.
  void* activeRefs[32];
  int32_t activeCount;
  int32_t generalDepth;
};
bool ActiveRef(const void* ref);
Globals& G();

// ---- Classes (FLT_class.cpp) ----
ErrorCode GetClass(int16_t index, ClassRec& out);
ErrorCode SetClass(int16_t index, const ClassRec& rec);
int32_t ClassCount();
// Global setup and params setup when not done yet; 6401 for an unusable class.
ErrorCode ReadyClass(int16_t index, uint32_t site);
void UnreadyClass(int16_t index);
void SetdownAllClasses();
void RegisterBuiltins();
// ---- Plug-in effects (FLT_plugins.cpp) ----
// Scans the folders (null-terminated absolute paths) for effect plug-ins.
ErrorCode ScanPluginFolders(const char* const* folders, int32_t maxDepth);
// Loads a plug-in class's code (its routine prepared once); releases it at death.
ErrorCode LoadClassCode(ClassRec& c, uint32_t site);
void ReleaseClassCode(ClassRec& c);

// ---- Calls (FLT_call.cpp) ----
// Calls the class's entry with cmd. seq may be null (class-level commands).
// in is prepared here; out is cleared first.
ErrorCode CallEffect(int16_t classIndex, int32_t cmd, Handle seq, PF_InputRecord& in, PF_OutputRecord& out,
                     PF_ParamDef** params, PFWorld* output, void* extra);
// Fills the input record's common fields and the callbacks allowed for cmd.
void PrepareInput(PF_InputRecord& in, EffectRef& ref, int32_t cmd, int16_t classIndex, Handle seq);
void FillTimes(PF_InputRecord& in, Handle seq);

// ---- Further callbacks (FLT_callbacks.cpp) ----
// Installs the UI-registration and audio callbacks the command allows.
void InstallCallbacks(PF_InputRecord& in, int32_t cmd);
// Params setup: forgets, then takes the description registered meanwhile.
void ReleaseOutstandingSounds();
// ---- Request rectangles (FLT_call_request.cpp) ----
// The rectangle frame setup tells the effect, from its out flags, the
// caller's rectangle (or null) and the input size.
Rect RequestRect(uint32_t outFlags, const Rect* caller, int32_t width, int32_t height);

// ---- Sequences (FLT_sequence.cpp) ----
// Locks the parameters while it lives (list() is the address array).
class ParamsLock {
 public:
  explicit ParamsLock(Handle seq);
  ~ParamsLock();
  ParamsLock(const ParamsLock&) = delete;
  ParamsLock& operator=(const ParamsLock&) = delete;
  ErrorCode error() const { return error_; }
  PF_ParamDef** list() const { return list_; }

 private:
  Handle seq_;
  ErrorCode error_;
  PF_ParamDef** list_ = nullptr;
};
// The Stream dimension of a parameter type (0: none).
int16_t StreamDimension(uint32_t type);
ErrorCode StreamValueFromParam(const PF_ParamDef& p, bool useDefault, double* v);
// A new Stream of `dim` values holding the parameter's default as its only
// key (at time 0, linear in and out).
ErrorCode NewDefaultStream(const PF_ParamDef& p, int16_t dim, TDB_Stream* out);
void ParamFromStreamValue(PF_ParamDef& p, const double* v);
ErrorCode SeqCheck(Handle seq, uint32_t site);
ErrorCode SetOwner(Handle seq, Handle owner);
Handle OwnerOf(Handle seq);
ErrorCode NewMissingSequence(Handle raw, const char* effectName, Handle* out);
ErrorCode DisposeSequenceAlways(Handle seq);

// ---- Parades ----
ErrorCode ParadeItems(Handle parade, uint32_t site, LIST_Handle* items);

// ---- Parameter records (FLT_inquire.cpp) ----
// The parameter record at index, the Sequence locked or not (valid until
// the next allocation).
ErrorCode ParamAt(Handle seq, int32_t index, uint32_t site, PF_ParamDef** out);

// ---- Arbitrary data (FLT_arbitrary.cpp) ----
// The value handle of an arbitrary-data parameter (union bytes 0-7) and the
// default the effect gave (bytes 8-15).
Handle ArbValue(const PF_ParamDef& p);
Handle ArbDefault(const PF_ParamDef& p);
void SetArbValue(PF_ParamDef& p, Handle h);
void SetArbDefault(PF_ParamDef& p, Handle h);
// Asks the effect to do call.op; an effect that leaves it to the host
// (518) gets the host's plain-bytes behaviour for new, dispose, copy,
// flatten, unflatten and compare.
ErrorCode ArbCall(int16_t classIndex, Handle seq, PF_ArbitraryCall& call);
ErrorCode ArbCopy(int16_t classIndex, Handle seq, int32_t index, Handle src, Handle* copy);
void ArbDispose(int16_t classIndex, Handle seq, int32_t index, Handle value);
// Gives every arbitrary-data parameter of a new Sequence its own copy of
// the default; disposes the values of a Sequence (before its record goes).
ErrorCode ArbInitValues(Handle seq);
void ArbDisposeValues(Handle seq);
// Replaces the value handles of a duplicated Sequence by copies.
ErrorCode ArbCopyValues(Handle seq);
// The "aRbs" chunk of a Sequence (written only when it has arbitrary data).
ErrorCode ArbWrite(Handle seq, SLU_FileContext* file);
ErrorCode ArbRead(Handle seq, SLU_FileContext* file, const SLU_Chunk& seqChunk);

// ---- UI contexts (FLT_context.cpp) ----
// Closes the contexts of a Sequence that goes away; closes and frees every
// context at death.
void CloseContextsOf(Handle seq);
void DisposeAllContexts();

}  // namespace tv::flt
