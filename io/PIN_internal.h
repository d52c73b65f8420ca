// PIN's private records, sites, texts and helpers.
#pragma once

#include <cstdint>
#include <string>
#include <span>
#include <string_view>

#include "LIST.h"
#include "PIN.h"
#include "Package.h"

namespace tv::pin {

// Report sites (location = (39 << 24) | site).
enum Site : uint32_t {
  kSiteBirth = 1,
  kSiteDeath = 2,
  kSiteRegistry = 3,
  kSiteModuleInfo = 4,
  kSiteSigFromType = 5,
  kSiteNewSeqSpec = 6,
  kSiteDispose = 7,
  kSiteQuery = 8,
  kSiteGather = 9,
  kSiteDraw = 10,
  kSitePlaceholder = 11,
  kSiteWrite = 12,
  kSiteRead = 13,
  kSiteFileList = 14,
  kSiteCallbacks = 15,
  kSiteFiles = 16,
  kSiteData = 17,
  kSiteInterp = 18,
  kSiteOutput = 19,
  kSiteBlend = 20,
  kSiteMissing = 21,
  kSiteReserve = 22,
  kSiteContinue = 23,
  kSiteFormatModule = 24,
  // The default of slot n reports at kSiteSlotBase + n.
  kSiteSlotBase = 0x40,
};

enum TextIndex : int32_t {
  kTextDamaged,
  kTextBadArgument,
  kTextNotSupported,
  kTextUnimplemented,
  kTextNoScrapConvert,
  kTextNoScrapDispose,
  kTextCannotImport,
  kTextTypeNotSupported,
  kTextNoModule,
  kTextEmptyFolder,
  kTextFolderFirst,
  kTextNotSequenceType,
  kTextBadSequenceName,
  kTextNoMatches,
  kTextNoSequenceNames,
  kTextFileNotInSequence,
  kTextDuplicates,
  kTextMissingFrames,
  kTextBadParameters,
  kTextBadSampleTime,
  kTextWrongWorld,
  kTextWrongSize,
  kTextNot32Bit,
  kTextPlaceholderMemory,
  kTextCannotLocate,
  kTextBadData,
  kTextInteraction,
  kTextMemoryRegistry,
  kTextMemorySeqSpec,
  kTextMemoryFileList,
  kTextStillInfo,
  kTextPlaceholderTitle,
  // The operations a module may lack, and what they work on.
  kTextPhraseFromFiles,
  kTextPhraseInteractively,
  kTextPhraseDisposal,
  kTextPhraseSaving,
  kTextPhraseLoading,
  kTextPhraseSynch,
  kTextPhraseExtents,
  kTextPhraseInfoReport,
  kTextPhraseDrawing,
  kTextPhraseDrawingPartial,
  kTextPhraseDimensions,
  kTextPhraseDuration,
  kTextPhraseStartTime,
  kTextPhraseSound,
  kTextPhraseFile,
  kTextPhraseFrameTimes,
  kTextPhraseCreation,
  kTextPhraseOptionDialog,
  kTextPhraseInfoSetting,
  kTextPhraseSetFile,
  kTextPhraseAdding,
  kTextPhraseSingleFrames,
  kTextPhraseSizes,
  kTextPhraseFlushing,
  kTextPhraseAddSound,
  kTextPhraseSetData,
  kTextPhraseGetData,
  kTextPhraseIdle,
  kTextPhraseDepths,
  kTextPhraseSuffixes,
  kTextNounInput,
  kTextNounOutput,
  kTextNounOutputOptions,
  kTextNounLabels,
  kTextNounModule,
  kTextNounInputSequence,
  kTextNounOutputSequence,
  // Interpretation.
  kTextFieldOrderFirst,
  kTextNoNativeRate,
  kTextFpsNoTime,
  kTextAlphaGuess,
  kTextRulesTooLarge,
  kTextRulesSyntax,
  // Output.
  kTextNotInstalled,
  kTextUnknownOutputModule,
  kTextImageTooLarge,
  kTextBadFilename,
  kTextMultipleStills,
  kTextMemoryOutput,
  kTextUnknownDestination,
  kTextMemoryBlend,
  // Reservation and continuation.
  kTextNoOutputFile,
  kTextUnreserveUnreserved,
  kTextUnreserveMissing,
  kTextUnreserveNonEmpty,
  kTextOverflowNoRoom,
  kTextOverflowExhausted,
  kTextOverflowExists,
  kTextContinuing,
  kTextReasonVolume,
  kTextReasonFolder,
  kTextReasonFileSize,
  kTextAudioLeft,
  kTextContinuationSuffix,
  kTextCount
};
extern const pkg::Reporter kReport;

inline constexpr FourCC kPlaceholderSig = 0;
inline constexpr FourCC kMovieSig = MakeFourCC("MooV");

// ---- The SeqSpec record -------------------------------------------------------

// One file of a still sequence (an item of the SeqSpec's file list).
struct FileEntry {
  uint64_t number;  // the frame number read from the name
  char name[FILE_MaxName + 1];
};

struct Numbering {
  uint32_t zero;    // stored as 0
  uint16_t first;   // first frame number (low 16 bits on file)
  uint16_t digits;  // digits of the numbers
  uint16_t third;   // kept as read
  uint32_t extra;   // "numbering extra", kept as read
};

struct SeqSpec {
  uint32_t magic;
  FILE_SpecH file;    // the source (a still sequence: its first file), or null
  FILE_AliasH alias;  // the source's alias when the file was not found
  Handle instance;    // the owning module's instance data
  PIN_Reel reel;
  LIST_Handle files;  // FileEntry, one per frame; null when there is none
  FourCC fileType, creator;
  uint32_t width, height;
  Time duration, start;
  Fixed nativeRate;
  uint16_t depth;
  PIN_AlphaInfo alpha;
  PIN_FieldInfo field;
  double fpValue;  // kept as read
  Numbering numbering;
  int32_t lastIndex;
  uint32_t hsfNum, hsfDen;
  uint32_t pulldown;
  Fixed conformedRate, effectiveRate;
  PIN_Loop loop;
  uint32_t seqFlags, moduleFlags;
  Handle options;  // the module's per-sequence options
  // Our own members.
  FourCC signature;     // the owning module
  uint32_t reserved54;  // words stored for the module or not understood: kept as read
  uint32_t stateWord;
  uint32_t moduleWord;
  Boolean32 missing;  // the source was not found (drawn by the placeholder)
  Boolean32 inSynch;
  uint64_t firstNumber;  // the full first frame number of a still sequence
  // Interpretation: the alpha the module draws in (known once the module
  // described its source); the SeqSpec's own alpha is what drawing converts to.
  PIN_AlphaInfo nativeAlpha;
  Boolean32 nativeAlphaKnown;
  // The module's sources were closed (around a save); drawing reopens them.
  Boolean32 sourcesClosed;
  // Read from a project whose footage was found by the path from the
  // project file (the project moved with it), not where it was saved.
  Boolean32 relinked;
  uint32_t tailMagic;
};

inline constexpr pkg::Magic<SeqSpec> kSeqMagic{&SeqSpec::magic, PIN_SeqSpecMagic, &SeqSpec::tailMagic,
                                               PIN_SeqSpecMagic};
inline constexpr uint32_t kDeadMagic = 0xDEAD0539u;

// 0 when seq is an intact SeqSpec; else reported (2).
ErrorCode CheckSeq(PIN_SeqSpecH seq, uint32_t site);
// The record of an intact SeqSpec (its block does not move while the
// caller holds no other handle operations between).
inline SeqSpec& Rec(PIN_SeqSpecH seq) { return *reinterpret_cast<SeqSpec*>(*seq); }

// ---- Registry -------------------------------------------------------------------

// A registered module: its record and its table.
struct Module {
  PIN_ModuleInfo info;
  PIN_ModuleProcs procs;
};

// A driver compiled into the engine, in registration order.
struct Driver {
  const char* name;
  PIN_DriverBirth birth;
};

// The placeholder module's birth (io/drivers/placeholder).
ErrorCode PlaceholderBirth(PIN_ModuleInfo* info, PIN_ModuleProcs* procs);

// The built-in drivers in registration order.
std::span<const Driver> BuiltinDrivers();
// Replaces the built-in list (tests register their own drivers); an empty
// span goes back to the built-in list. Takes effect at the next birth.
void SetDriversForTesting(std::span<const Driver> drivers);

// The module with this signature (exact), or null.
const Module* FindModule(FourCC signature);
// The module with this signature, else the placeholder (signature 0), else null.
const Module* FindModuleOrFallback(FourCC signature);
// Every registered module, sorted by name.
std::span<const Module> Modules();
ErrorCode RegisterModules();
void UnregisterModules();
// Signature of the module that reads a file: extension first (when asked),
// then type, creator, then extension. PIN_NoSignature when none.
FourCC SigFromType(FourCC fileType, FourCC creator, std::string_view name, bool extensionFirst);

// ---- Slots ------------------------------------------------------------------------

// The framework's default table.
const PIN_ModuleProcs& DefaultProcs();
// The behaviour of slot n's default with the module's name: its report (if
// any) and its code.
ErrorCode ApplyDefault(int slot, const char* moduleName);
// Whether the slot of the table holds a driver's own function.
bool Filled(const PIN_ModuleProcs& procs, int slot);
// The module owning seq (seq checked already), never null while born: the
// placeholder stands in for signatures that are not registered.
const Module* ModuleOf(PIN_SeqSpecH seq);
const char* ModuleName(const Module* m);

// Calls slot `slot` of the module that owns seq: the driver's function, or
// the default.
template <class Fn, class... Args>
ErrorCode CallSlot(const Module* m, int slot, Fn PIN_ModuleProcs::*member, Args... args) {
  if (!m) return ApplyDefault(slot, "?");
  Fn fn = m->procs.*member;
  if (!Filled(m->procs, slot)) return ApplyDefault(slot, m->info.name);
  return fn(args...);
}

// ---- SeqSpecs and sequences --------------------------------------------------------------

// A zeroed SeqSpec of the module (file taken over on success).
ErrorCode NewSeqSpec(FourCC signature, PIN_SeqSpecH* seq, uint32_t site);
void FreeSeqSpec(PIN_SeqSpecH seq);

// The frame number and pattern of a file name. valid is false for a name
// whose last digit run is longer than 19 digits or overflows 64 bits.
struct SequenceName {
  bool hasDigits = false;
  bool valid = true;
  uint64_t number = 0;
  size_t runStart = 0, runLength = 0;  // the digit run inside the name
  size_t stemEnd = 0;                  // where the extension starts (name length without one)
};
SequenceName ParseSequenceName(std::string_view name);
// Whether two names share the pattern of `pattern` (same text around the digit run).
bool SamePattern(std::string_view pattern, const SequenceName& p, std::string_view name,
                 const SequenceName& n);

// The still-sequence file list of a SeqSpec.
ErrorCode GatherSequence(FILE_SpecH file, uint32_t options, LIST_Handle* files, FILE_SpecH* first);

// ---- "sspc" --------------------------------------------------------------------

inline constexpr size_t kSspcSize = 168;
inline constexpr uint32_t kSspcVersion = 4;
// Writes the 168 bytes of seq's "sspc".
void EncodeSspc(const SeqSpec& s, bool hasFileList, std::span<uint8_t, kSspcSize> out);
// Reads an "sspc" (shorter records of older versions read with the missing
// fields zero) into s; false when a field is out of its range (what is
// wrong in *what).
bool DecodeSspc(std::span<const uint8_t> bytes, SeqSpec& s, bool* hasFileList, bool* noFile,
                const char** what);
// The file list's bytes: u32 count, then per file u8 length and the name.
bool DecodeFileList(std::span<const uint8_t> bytes, LIST_Handle* files, const char** what);

// ---- Drawing ---------------------------------------------------------------------

// Draws the missing-footage placeholder into a 32-bit World.
ErrorCode DrawPlaceholder(BM_World world, const char* name);

}  // namespace tv::pin

namespace tv::pin {
// The host's progress callback; non-zero aborts.
ErrorCode Progress(int32_t done, int32_t total);
// The frame index of a time in an intact SeqSpec (clamped to the footage).
int32_t FrameIndex(const SeqSpec& s, const Time& t);
// A new reference to file `index` of a still sequence.
ErrorCode NthFile(PIN_SeqSpecH seq, int32_t index, FILE_SpecH* file, uint32_t site);
int32_t NumFiles(const SeqSpec& s);
// Installs the common still-image behaviour.
void InstallStill(PIN_ModuleProcs& p);
// The duration of one frame at a 16.16 rate, as compositions take it: the
// NTSC family exact (29.97 and 30000/1001 both give 1001/30000 s), so
// footage and a composition of one nominal rate keep in step frame for
// frame; 0/1 for a rate of 0 or less.
Time FrameDurationOf(Fixed rate);
// The index of the span of one frame / per holding a time (floor).
int64_t FramesIn(const Time& t, Fixed rate, int64_t per = 1);
// The exact start of frame n at a 16.16 rate (value clamped to 32 bits).
Time FrameStart(int64_t n, Fixed rate);
// The number of frames of a SeqSpec's duration at its effective rate.
int64_t FrameCount(const SeqSpec& s);
// Interpretation rules: appended from a text (first syntax error reported
// with its line; the rules before it stay), applied to a new SeqSpec, and
// dropped at death.
ErrorCode LoadRules(std::string_view text);
void ApplyRules(PIN_SeqSpecH seq);
void ClearRules();
// Loads the rules file the host named, or the default one, at birth.
// Only running out of memory is passed up.
ErrorCode LoadRulesAtBirth();
}  // namespace tv::pin

namespace tv::pin {
// The locked pixels of a 32-bit World (ARGB, byte 0 alpha) for one scope.
class PixelLock {
 public:
  explicit PixelLock(BM_World world);
  ~PixelLock();
  PixelLock(const PixelLock&) = delete;
  PixelLock& operator=(const PixelLock&) = delete;
  bool ok() const { return locked_ && base_; }
  ErrorCode error() const { return error_; }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  int32_t rowBytes() const { return rowBytes_; }
  uint8_t* Row(int32_t y) const { return base_ + static_cast<ptrdiff_t>(y) * rowBytes_; }

 private:
  BM_World world_;
  uint8_t* base_ = nullptr;
  int32_t width_ = 0, height_ = 0, rowBytes_ = 0;
  bool locked_ = false;
  ErrorCode error_ = 0;
};
}  // namespace tv::pin

namespace tv::pin {
// ---- The OutputSpec record -----------------------------------------------------
struct OutputSpec {
  uint32_t magic;
  FourCC signature;
  FILE_SpecH file;  // the output file or the numbered name's template
  Handle options;   // kept for the module (unused by the framework)
  Boolean32 started;
  int32_t frames;
  int32_t bytes;  // capped at 0x7FFFFFFF
  int32_t firstNumber;
  Boolean32 noNumbering;
  Boolean32 reservedFrame;
  int32_t lastIndex;
  // Our own members.
  int32_t width, height;
  PIN_OutputInfo info;
  uint64_t totalBytes;     // bytes of the still files written, in full
  Boolean32 everStarted;   // StartAdding ran once (the frame count is zeroed only then)
  void* instance;
  void (*disposeInstance)(void*);
  // The frame reservation held, listed for removal should the process die
  // of a fatal signal: the list's slot + 1 (0 for none).
  int32_t claimSlot;
  uint32_t tailMagic;
};
// Gives up the listing of the output's frame reservation (not the file).
void UnlistClaim(OutputSpec& o);
inline constexpr pkg::Magic<OutputSpec> kOutMagic{&OutputSpec::magic, PIN_OutputSpecMagic, &OutputSpec::tailMagic,
                                                  PIN_OutputSpecMagic};
inline OutputSpec& OutRec(PIN_OutputSpecH out) { return *reinterpret_cast<OutputSpec*>(*out); }
// 0 when out is an intact OutputSpec of a born package; else reported (2).
ErrorCode CheckOutSpec(PIN_OutputSpecH out, uint32_t site);
// The module an OutputSpec writes through (null when it is not registered).
const Module* OutModuleOf(PIN_OutputSpecH out);
// The name of numbered still `number` from a template name.
bool NumberedName(std::string_view templ, int64_t number, std::string* name);
// The frame index an operation means: index, or (index < 0) the last + 1.
int32_t ResolveIndex(const OutputSpec& o, int32_t index);
// A new reference to the file of still frame `index` (resolved already):
// 3 without an output file, 1 for a name that cannot be made (reported, and
// written to stderr); *ref null on failure.
ErrorCode StillFrameRef(PIN_OutputSpecH out, int32_t index, uint32_t site, FILE_SpecH* ref);
// Whether a path lies under a folder listed in "DontCheckSpaceDrives".
bool SpaceUnchecked(std::string_view path);
// The full path of a reference ("" on failure; drivers/common).
std::string PathOf(FILE_SpecH file);
// Bytes of s that can be kept within n without splitting a UTF-8 sequence.
size_t WholeChars(std::string_view s, size_t n);
// A file reference disposed of with its scope.
struct OwnedRef {
  FILE_SpecH h = nullptr;
  OwnedRef() = default;
  OwnedRef(const OwnedRef&) = delete;
  OwnedRef& operator=(const OwnedRef&) = delete;
  ~OwnedRef() {
    if (h) FILE_Dispose(h);
  }
};
// The name of continuation `count` (0 for the first) of a file or folder name.
bool ContinuationName(std::string_view name, bool hasExtension, int32_t count, std::string* out);
// The host's dialog procedure (8 reported without one).
ErrorCode AskUser(int32_t kind, Handle spec, char* path, int32_t size, Boolean32* cancelled);
void ClearHostProcs();
}  // namespace tv::pin
