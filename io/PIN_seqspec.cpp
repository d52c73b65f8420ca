// SeqSpecs: creation from a file (by the module that claims it), missing
// footage, disposal, and the queries that go through the owning module.
#include <sys/stat.h>

#include <cstring>

#include "PIN_internal.h"
#include "U.h"

namespace tv::pin {
namespace {

constexpr Fixed kDefaultStillRate = 30 << 16;  // a new still sequence runs at 30 frames a second

// The default pixel aspect of a frame size.
void DefaultAspect(SeqSpec& s) {
  s.hsfNum = s.hsfDen = 1;
  if (s.moduleFlags & PIN_ModFlag_NoDefaultPAR) return;
  const uint32_t w = s.width, h = s.height;
  if (w == 720 && (h == 486 || h == 480)) {
    s.hsfNum = 648, s.hsfDen = 720;
  } else if (w == 720 && h == 576) {
    s.hsfNum = 768, s.hsfDen = 720;
  } else if ((w == 1440 && h == 1024) || (w == 2880 && h == 2048)) {
    s.hsfNum = 128, s.hsfDen = 135;
  }
}


ErrorCode CheckOut(void* out, uint32_t site, const char* op) {
  return out ? 0 : kReport.BadParam(site, {op});
}

}  // namespace

ErrorCode NewSeqSpec(FourCC signature, PIN_SeqSpecH* seq, uint32_t site) {
  *seq = nullptr;
  Handle h = NewHandleClear(static_cast<Size>(sizeof(SeqSpec)));
  if (!h) return kReport.OutOfMemory(site, kTextMemorySeqSpec, sizeof(SeqSpec));
  SeqSpec& s = Rec(h);
  s.magic = s.tailMagic = PIN_SeqSpecMagic;
  s.signature = signature;
  s.field.tag = MakeFourCC("FIEL");
  s.field.version = 1;
  s.hsfNum = s.hsfDen = 1;
  s.duration = Time{0, 1};
  s.start = Time{0, 1};
  s.lastIndex = -1;
  if (const Module* m = FindModule(signature)) s.moduleFlags = m->info.flags;
  *seq = h;
  return 0;
}

void FreeSeqSpec(PIN_SeqSpecH seq) {
  if (!seq) return;
  SeqSpec& s = Rec(seq);
  if (s.file) FILE_Dispose(s.file);
  if (s.alias) FILE_DisposeAliasRec(s.alias);
  if (s.files) LIST_Dispose(s.files, 0);
  if (s.options) DisposeHandle(s.options);
  s.file = nullptr, s.alias = nullptr, s.files = nullptr, s.options = nullptr;
  s.magic = s.tailMagic = kDeadMagic;
  DisposeHandle(seq);
}

const Module* ModuleOf(PIN_SeqSpecH seq) {
  const SeqSpec& s = Rec(seq);
  if (s.missing) return FindModule(kPlaceholderSig);
  return FindModuleOrFallback(s.signature);
}

int32_t NumFiles(const SeqSpec& s) {
  int32_t n = 0;
  if (s.files) LIST_GetNumItems(s.files, &n);
  return n;
}

int32_t FrameIndex(const SeqSpec& s, const Time& t) {
  const int32_t files = NumFiles(s);
  const Fixed rate = s.effectiveRate ? s.effectiveRate : s.nativeRate;
  if (rate <= 0 || t.scale == 0) return 0;
  // index = floor(t / frame), the frame's duration as compositions take it.
  __int128 index = FramesIn(t, rate);
  int64_t last = files > 0 ? files - 1 : INT32_MAX;
  if (files == 0 && s.duration.scale != 0 && s.duration.value > 0) {
    // The footage's whole frames: its duration may come from a rate of its
    // own a hair off the frame grid (a container's rounded timestamps).
    const int64_t frames = FrameCount(s);
    last = frames > 0 ? frames - 1 : 0;
  }
  if (index < 0) return 0;
  // Looping footage plays loop.a times (0 and 1: once); past its last play
  // it holds the last frame.
  if (s.loop.a > 1 && last != INT32_MAX && index > last && index < (static_cast<__int128>(last) + 1) * s.loop.a)
    index %= static_cast<__int128>(last) + 1;
  if (index > last) return static_cast<int32_t>(last);
  return static_cast<int32_t>(index);
}

ErrorCode NthFile(PIN_SeqSpecH seq, int32_t index, FILE_SpecH* file, uint32_t site) {
  *file = nullptr;
  const SeqSpec& s = Rec(seq);
  if (!s.file) return 0;
  if (!s.files) return FILE_Duplicate(s.file, file);
  FileEntry e{};
  if (ErrorCode err = LIST_GetItem(s.files, index, &e)) return err;
  FILE_SpecH parent = nullptr;
  if (ErrorCode err = FILE_ParentDir(Rec(seq).file, 0, &parent)) return err;
  char path[FILE_MaxPath];
  ErrorCode err = FILE_InqName(parent, FILE_NameFullPath, path, sizeof path);
  FILE_Dispose(parent);
  if (err) return err;
  const size_t len = std::strlen(path);
  const size_t nameLen = std::strlen(e.name);
  const bool slash = len > 0 && path[len - 1] == '/';
  if (len + nameLen + 2 > sizeof path) return kReport.BadParam(site, {e.name});
  if (!slash) path[len] = '/';
  std::memcpy(path + len + (slash ? 0 : 1), e.name, nameLen + 1);
  return FILE_New(path, FILE_LocFullPath, file);
}

}  // namespace tv::pin

using namespace tv;
using namespace tv::pin;

namespace {

// Creates a SeqSpec for file through the module that claims it.
// The libraries of the modules open footage by its path and would wait
// forever on a named pipe or a device: what is not a regular file is refused
// before any module sees it.
ErrorCode RefuseSpecialFile(FILE_SpecH file, const char* name, uint32_t site) {
  char path[FILE_MaxPath] = "";
  struct stat st {};
  if (FILE_InqName(file, FILE_NameFullPath, path, sizeof path) != 0 || ::stat(path, &st) != 0 ||
      S_ISREG(st.st_mode))
    return 0;  // a file that is not there is the modules' to report
  const char* why = S_ISFIFO(st.st_mode) ? "it is a named pipe (FIFO), not a file" : "it is not a regular file";
  return kReport.Fail(site, PIN_ErrCannotImport, kTextCannotImport, {name, why});
}

ErrorCode NewFromFile(FILE_SpecH file, uint32_t options, PIN_SeqSpecH* seq) {
  constexpr uint32_t site = kSiteNewSeqSpec;
  FourCC type = 0, creator = 0;
  char name[FILE_MaxName + 1] = "";
  Boolean32 isDir = 0;
  if (ErrorCode err = FILE_InqIsDir(file, &isDir)) return err;
  FILE_SpecH first = nullptr;
  LIST_Handle files = nullptr;
  if (isDir || (options & PIN_Import_Sequence)) {
    if (ErrorCode err = GatherSequence(file, isDir ? (options | PIN_Import_Folder) : options, &files, &first))
      return err;
  } else if (ErrorCode err = FILE_Duplicate(file, &first)) {
    return err;
  }
  ErrorCode err = FILE_InqName(first, FILE_NameOnly, name, sizeof name);
  if (!err) err = RefuseSpecialFile(first, name, site);
  if (!err) err = FILE_InqFileType(first, &type, &creator);
  FourCC sig = PIN_NoSignature;
  if (!err) {
    sig = SigFromType(type, creator, name, true);
    // Files no module claims are offered to the movie module.
    if (sig == PIN_NoSignature && FindModule(kMovieSig)) sig = kMovieSig;
    if (sig == PIN_NoSignature) {
      char typeText[5] = {static_cast<char>(type >> 24), static_cast<char>(type >> 16),
                          static_cast<char>(type >> 8), static_cast<char>(type), 0};
      if (!type) std::memcpy(typeText, "????", 5);
      char why[U_MessageBufferSize];
      fmt::FormatTo(why, kReport.Text(kTextTypeNotSupported), {typeText});
      err = kReport.Fail(site, PIN_ErrCannotImport, kTextCannotImport, {name, why});
    }
  }
  const Module* m = err ? nullptr : FindModule(sig);
  if (!err && files && !(m->info.flags & PIN_ModFlag_StillPerFile)) {
    char typeText[5] = {static_cast<char>(type >> 24), static_cast<char>(type >> 16),
                        static_cast<char>(type >> 8), static_cast<char>(type), 0};
    err = kReport.Fail(site, PIN_ErrBadRequest, kTextNotSequenceType, {typeText});
  }
  if (!err) err = NewSeqSpec(sig, seq, site);
  if (err) {
    FILE_Dispose(first);
    LIST_Dispose(files, 0);
    return err;
  }
  {
    SeqSpec& s = Rec(*seq);
    s.file = first;
    s.files = files;
    s.fileType = type;
    s.creator = creator;
  }
  err = CallSlot(m, PIN_Slot_NewSeqSpecFromFile, &PIN_ModuleProcs::newSeqSpecFromFile, *seq, first, options);
  if (!err) {
    SeqSpec& s = Rec(*seq);
    s.inSynch = 1;
    if (files) {
      FileEntry e{};
      LIST_GetItem(files, 0, &e);
      s.firstNumber = e.number;
      s.numbering.first = static_cast<uint16_t>(e.number);
    }
    ApplyRules(*seq);
  } else {
    // The module had its chance to keep instance data: it gets it back.
    if (Filled(m->procs, PIN_Slot_DisposeSeqSpec)) m->procs.disposeSeqSpec(*seq);
    FreeSeqSpec(*seq);
    *seq = nullptr;
  }
  return err;
}

}  // namespace

ErrorCode PIN_NewSeqSpecFromFile(FILE_SpecH file, PIN_SeqSpecH* seq) {
  return PIN_NewSeqSpecFromFileOptions(file, 0, seq);
}

ErrorCode PIN_NewSeqSpecFromFileOptions(FILE_SpecH file, uint32_t options, PIN_SeqSpecH* seq) try {
  if (ErrorCode err = CheckOut(seq, kSiteNewSeqSpec, "PIN_NewSeqSpecFromFileOptions")) return err;
  *seq = nullptr;
  if (!pkg::Alive(PIN_PackageNumber)) return kReport.Damaged(kSiteNewSeqSpec);
  if (!file) return kReport.BadParam(kSiteNewSeqSpec, {"PIN_NewSeqSpecFromFileOptions"});
  return NewFromFile(file, options, seq);
}
TV_CATCH(PIN_PackageNumber)

ErrorCode PIN_NewSeqSpecInteractive(FourCC signature, PIN_SeqSpecH* seq) {
  if (ErrorCode err = CheckOut(seq, kSiteNewSeqSpec, "PIN_NewSeqSpecInteractive")) return err;
  *seq = nullptr;
  if (!pkg::Alive(PIN_PackageNumber)) return kReport.Damaged(kSiteNewSeqSpec);
  const Module* m = FindModule(signature);
  if (!m) return kReport.Fail(kSiteNewSeqSpec, kErrBadParam, kTextNoModule);
  if (ErrorCode err = NewSeqSpec(signature, seq, kSiteNewSeqSpec)) return err;
  Boolean32 cancelled = 0;
  ErrorCode err =
      CallSlot(m, PIN_Slot_NewSeqSpecInteractive, &PIN_ModuleProcs::newSeqSpecInteractive, *seq, &cancelled);
  // A cancelled choice is no failure: no SeqSpec, nothing reported.
  if (err || cancelled) {
    FreeSeqSpec(*seq);
    *seq = nullptr;
  } else {
    Rec(*seq).inSynch = 1;
  }
  return err;
}

ErrorCode PIN_NewSeqSpecMissing(PIN_SeqSpecH* seq) {
  return PIN_NewSeqSpecMissingPlus(0, 0, nullptr, 0, seq);
}

ErrorCode PIN_NewSeqSpecMissingPlus(int32_t width, int32_t height, const Time* duration, Fixed rate,
                                    PIN_SeqSpecH* seq) {
  if (ErrorCode err = CheckOut(seq, kSiteNewSeqSpec, "PIN_NewSeqSpecMissingPlus")) return err;
  *seq = nullptr;
  if (!pkg::Alive(PIN_PackageNumber)) return kReport.Damaged(kSiteNewSeqSpec);
  if (width < 0 || height < 0 || width > 30000 || height > 30000 || rate < 0 ||
      (duration && (duration->scale == 0 || duration->value < 0)))
    return kReport.BadParam(kSiteNewSeqSpec, {"PIN_NewSeqSpecMissingPlus"});
  if (ErrorCode err = NewSeqSpec(kPlaceholderSig, seq, kSiteNewSeqSpec)) return err;
  SeqSpec& s = Rec(*seq);
  s.missing = 1;
  s.inSynch = 1;
  s.width = static_cast<uint32_t>(width ? width : 640);
  s.height = static_cast<uint32_t>(height ? height : 480);
  s.depth = 32;
  s.nativeRate = s.effectiveRate = rate;
  if (duration) s.duration = *duration;
  DefaultAspect(s);
  return 0;
}

ErrorCode PIN_DisposeSeqSpec(PIN_SeqSpecH seq) {
  if (!seq) return 0;
  if (ErrorCode err = kReport.CheckRecord(seq, kSeqMagic, kSiteDispose)) return err;
  // A SeqSpec outliving the package (its owner died later) is still freed;
  // the modules are gone with the package.
  if (!pkg::Alive(PIN_PackageNumber)) {
    FreeSeqSpec(seq);
    return 0;
  }
  const Module* m = ModuleOf(seq);
  // Modules without a disposal of their own keep no instance data.
  ErrorCode err = 0;
  if (m && Filled(m->procs, PIN_Slot_DisposeSeqSpec)) err = m->procs.disposeSeqSpec(seq);
  FreeSeqSpec(seq);
  return err;
}

ErrorCode PIN_SynchSeqSpec(PIN_SeqSpecH seq) {
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  if (Rec(seq).missing) return 0;
  ErrorCode err = CallSlot(ModuleOf(seq), PIN_Slot_SynchSeqSpec, &PIN_ModuleProcs::synchSeqSpec, seq);
  if (!err) Rec(seq).inSynch = 1;
  return err;
}

// ---- Queries -------------------------------------------------------------------

ErrorCode PIN_GetSeqSpecInfo(PIN_SeqSpecH seq, char* info, int32_t size) {
  if (!info || size < 1) return kReport.BadParam(kSiteQuery, {"PIN_GetSeqSpecInfo"});
  info[0] = 0;
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  return CallSlot(ModuleOf(seq), PIN_Slot_GetSeqSpecInfo, &PIN_ModuleProcs::getSeqSpecInfo, seq, info, size);
}

ErrorCode PIN_GetSeqSpecName(PIN_SeqSpecH seq, char* name, int32_t size) {
  if (!name || size < 1) return kReport.BadParam(kSiteQuery, {"PIN_GetSeqSpecName"});
  name[0] = 0;
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  char fileName[FILE_MaxName + 1] = "";
  const SeqSpec& s = Rec(seq);
  if (s.file) {
    if (ErrorCode err = FILE_InqName(s.file, FILE_NameOnly, fileName, sizeof fileName)) return err;
  } else if (s.alias) {
    FILE_InqAliasRecName(s.alias, fileName, sizeof fileName);
  }
  // Cut to the caller's buffer without splitting a character.
  u::SubString(std::span<char>(name, static_cast<size_t>(size)), "(\"^1\") ^2",
               {ModuleName(ModuleOf(seq)), fileName});
  return 0;
}

ErrorCode PIN_ScaleDimensions(const Ratio* scaleX, const Ratio* scaleY, int32_t* width, int32_t* height) {
  if (!width || !height) return kReport.BadParam(kSiteQuery, {"PIN_ScaleDimensions"});
  auto scale = [](int32_t v, const Ratio* r) -> int64_t {
    if (!r || r->den == 0) return v;
    const int64_t num = static_cast<int64_t>(v) * r->num;
    const int64_t den = r->den;
    // Rounded to nearest, halves away from zero.
    return num >= 0 ? (2 * num + den) / (2 * den) : -((-2 * num + den) / (2 * den));
  };
  const int64_t w = scale(*width, scaleX), h = scale(*height, scaleY);
  if (w < INT32_MIN || w > INT32_MAX || h < INT32_MIN || h > INT32_MAX)
    return kReport.BadParam(kSiteQuery, {"PIN_ScaleDimensions"});
  *width = static_cast<int32_t>(w);
  *height = static_cast<int32_t>(h);
  return 0;
}

ErrorCode PIN_ScaleRect(const Ratio* scaleX, const Ratio* scaleY, LRect* rect) {
  if (!rect) return kReport.BadParam(kSiteQuery, {"PIN_ScaleRect"});
  LRect r = *rect;
  if (ErrorCode err = PIN_ScaleDimensions(scaleX, scaleY, &r.left, &r.top)) return err;
  if (ErrorCode err = PIN_ScaleDimensions(scaleX, scaleY, &r.right, &r.bottom)) return err;
  *rect = r;
  return 0;
}

ErrorCode PIN_GetDimensions(PIN_SeqSpecH seq, const Ratio scale[2], int32_t* width, int32_t* height,
                            LRect* rect) {
  if (!width || !height) return kReport.BadParam(kSiteQuery, {"PIN_GetDimensions"});
  *width = *height = 0;
  if (rect) *rect = LRect{};
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  int32_t w = 0, h = 0;
  ErrorCode err = 0;
  if (Rec(seq).missing) {
    w = static_cast<int32_t>(Rec(seq).width), h = static_cast<int32_t>(Rec(seq).height);
  } else {
    err = CallSlot(ModuleOf(seq), PIN_Slot_GetDimensions, &PIN_ModuleProcs::getDimensions, seq, &w, &h);
  }
  if (!err && scale) err = PIN_ScaleDimensions(&scale[0], &scale[1], &w, &h);
  if (err) return err;
  *width = w, *height = h;
  if (rect) *rect = LRect{0, 0, w, h};
  return 0;
}

ErrorCode PIN_GetDuration(PIN_SeqSpecH seq, Time* duration) {
  if (!duration) return kReport.BadParam(kSiteQuery, {"PIN_GetDuration"});
  *duration = kInvalidTime;
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  if (Rec(seq).missing) {
    *duration = Rec(seq).duration;
    return 0;
  }
  Time t = kInvalidTime;
  ErrorCode err = CallSlot(ModuleOf(seq), PIN_Slot_GetDuration, &PIN_ModuleProcs::getDuration, seq, &t);
  if (!err) *duration = t;
  return err;
}

ErrorCode PIN_GetStartTime(PIN_SeqSpecH seq, Time* start) {
  if (!start) return kReport.BadParam(kSiteQuery, {"PIN_GetStartTime"});
  *start = kInvalidTime;
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  if (Rec(seq).missing) {
    *start = Rec(seq).start;
    return 0;
  }
  Time t = kInvalidTime;
  ErrorCode err = CallSlot(ModuleOf(seq), PIN_Slot_GetTime, &PIN_ModuleProcs::getTime, seq, &t);
  if (!err) *start = t;
  return err;
}

ErrorCode PIN_InqNextFrameTime(PIN_SeqSpecH seq, const Time* time, Time* next) {
  if (!time || !next) return kReport.BadParam(kSiteQuery, {"PIN_InqNextFrameTime"});
  *next = kInvalidTime;
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  Time t = kInvalidTime;
  ErrorCode err =
      CallSlot(ModuleOf(seq), PIN_Slot_InqNextFrameTime, &PIN_ModuleProcs::inqNextFrameTime, seq, time, &t);
  if (!err) *next = t;
  return err;
}

ErrorCode PIN_GetFile(PIN_SeqSpecH seq, FILE_SpecH* file) {
  if (!file) return kReport.BadParam(kSiteQuery, {"PIN_GetFile"});
  *file = nullptr;
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  if (!Rec(seq).file) return 0;
  return FILE_Duplicate(Rec(seq).file, file);
}

ErrorCode PIN_GetFileAtTime(PIN_SeqSpecH seq, const Time* time, FILE_SpecH* file) {
  if (!time || !file) return kReport.BadParam(kSiteQuery, {"PIN_GetFileAtTime"});
  *file = nullptr;
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  if (Rec(seq).missing) return 0;
  FILE_SpecH f = nullptr;
  ErrorCode err = CallSlot(ModuleOf(seq), PIN_Slot_GetFile, &PIN_ModuleProcs::getFile, seq, time, &f);
  if (!err) *file = f;
  return err;
}

ErrorCode PIN_NumFilesPerFrame(PIN_SeqSpecH seq, int32_t* count) {
  if (!count) return kReport.BadParam(kSiteQuery, {"PIN_NumFilesPerFrame"});
  *count = 0;
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  *count = Rec(seq).file ? 1 : 0;
  return 0;
}

ErrorCode PIN_GetNthFileSpecForFrame(PIN_SeqSpecH seq, const Time* time, int32_t n, FILE_SpecH* file) {
  if (!time || !file) return kReport.BadParam(kSiteQuery, {"PIN_GetNthFileSpecForFrame"});
  *file = nullptr;
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  if (n != 0) return kReport.BadParam(kSiteQuery, {"PIN_GetNthFileSpecForFrame"});
  return PIN_GetFileAtTime(seq, time, file);
}

ErrorCode PIN_GetActiveExtent(PIN_SeqSpecH seq, const Time* time, LRect* extent) {
  if (!time || !extent) return kReport.BadParam(kSiteQuery, {"PIN_GetActiveExtent"});
  *extent = LRect{};
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  LRect r{};
  ErrorCode err =
      CallSlot(ModuleOf(seq), PIN_Slot_GetActiveExtent, &PIN_ModuleProcs::getActiveExtent, seq, time, &r);
  if (!err) *extent = r;
  return err;
}

ErrorCode PIN_GetModuleSignature(PIN_SeqSpecH seq, FourCC* signature) {
  if (!signature) return kReport.BadParam(kSiteQuery, {"PIN_GetModuleSignature"});
  *signature = PIN_NoSignature;
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  *signature = Rec(seq).signature;
  return 0;
}

ErrorCode PIN_GetNumFiles(PIN_SeqSpecH seq, int32_t* count) {
  if (!count) return kReport.BadParam(kSiteQuery, {"PIN_GetNumFiles"});
  *count = 0;
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  *count = NumFiles(Rec(seq));
  return 0;
}

ErrorCode PIN_GetNthFile(PIN_SeqSpecH seq, int32_t index, uint64_t* number, char* name, int32_t size) {
  if (!number || (name && size < 1)) return kReport.BadParam(kSiteQuery, {"PIN_GetNthFile"});
  *number = 0;
  if (name) name[0] = 0;
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  const SeqSpec& s = Rec(seq);
  if (index < 0 || index >= NumFiles(s)) return kReport.BadParam(kSiteQuery, {"PIN_GetNthFile"});
  FileEntry e{};
  if (ErrorCode err = LIST_GetItem(s.files, index, &e)) return err;
  if (name && std::strlen(e.name) >= static_cast<size_t>(size))
    return kReport.BadParam(kSiteQuery, {"PIN_GetNthFile"});
  *number = e.number;
  if (name) std::memcpy(name, e.name, std::strlen(e.name) + 1);
  return 0;
}

ErrorCode PIN_IsMissing(PIN_SeqSpecH seq, Boolean32* missing) {
  if (!missing) return kReport.BadParam(kSiteQuery, {"PIN_IsMissing"});
  *missing = 0;
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  *missing = Rec(seq).missing ? 1 : 0;
  return 0;
}

ErrorCode PINp_IsRelinked(PIN_SeqSpecH seq, Boolean32* relinked) {
  if (!relinked) return kReport.BadParam(kSiteQuery, {"PINp_IsRelinked"});
  *relinked = 0;
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  *relinked = Rec(seq).relinked ? 1 : 0;
  return 0;
}

ErrorCode PINp_GetMissingPath(PIN_SeqSpecH seq, char* path, int32_t size) {
  if (!path || size < 1) return kReport.BadParam(kSiteQuery, {"PINp_GetMissingPath"});
  path[0] = 0;
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  const SeqSpec& s = Rec(seq);
  if (!s.missing) return 0;
  char full[FILE_MaxPath] = "";
  if (s.alias)
    FILE_InqAliasRecFullPath(s.alias, full, sizeof full);
  else if (s.file)
    FILE_InqName(s.file, FILE_NameFullPath, full, sizeof full);
  u::SubString(std::span<char>(path, static_cast<size_t>(size)), "^1", {full});
  return 0;
}

ErrorCode PIN_GetInterpretation(PIN_SeqSpecH seq, PIN_Interpretation* interp) {
  if (!interp) return kReport.BadParam(kSiteQuery, {"PIN_GetInterpretation"});
  *interp = PIN_Interpretation{};
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  const SeqSpec& s = Rec(seq);
  interp->field = s.field;
  interp->alpha = s.alpha;
  interp->pulldown = s.pulldown;
  interp->loop = s.loop;
  interp->hsfNum = s.hsfNum;
  interp->hsfDen = s.hsfDen;
  interp->nativeRate = s.nativeRate;
  interp->conformedRate = s.conformedRate;
  interp->depth = static_cast<int16_t>(s.depth);
  interp->hasTime = s.duration.value != 0 ? 1 : 0;
  interp->moduleHasTime = (s.moduleFlags & PIN_ModFlag_NoTime) ? 0 : 1;
  interp->seqFlag0 = (s.seqFlags & 1) ? 1 : 0;
  return 0;
}

// ---- For modules ------------------------------------------------------------------

ErrorCode PIN_SetSourceInfo(PIN_SeqSpecH seq, const PIN_SourceInfo* info) {
  if (!info) return kReport.BadParam(kSiteData, {"PIN_SetSourceInfo"});
  if (ErrorCode err = CheckSeq(seq, kSiteData)) return err;
  const bool depthOk = info->depth == 1 || info->depth == 8 || info->depth == 24 || info->depth == 32;
  if (info->width < 1 || info->height < 1 || info->width > 30000 || info->height > 30000 || !depthOk ||
      info->nativeRate < 0 || info->duration.scale == 0 || info->duration.value < 0 ||
      info->start.scale == 0 || info->alpha.type > PIN_Alpha_None)
    return kReport.BadParam(kSiteData, {"PIN_SetSourceInfo"});
  SeqSpec& s = Rec(seq);
  s.fileType = info->fileType ? info->fileType : s.fileType;
  s.creator = info->creator ? info->creator : s.creator;
  s.width = static_cast<uint32_t>(info->width);
  s.height = static_cast<uint32_t>(info->height);
  s.depth = static_cast<uint16_t>(info->depth);
  s.duration = info->duration;
  s.start = info->start;
  s.nativeRate = info->nativeRate;
  PIN_AlphaInfo native = info->alpha;
  if (info->depth != 32) native.type = PIN_Alpha_None;
  native.marker = PIN_AlphaMarker;
  native.flags = native.type == PIN_Alpha_Premul ? 1u : 0u;
  if (native.type != PIN_Alpha_Premul) native.red = native.green = native.blue = 0;
  // A chosen interpretation (or one read back) stays when the module
  // describes its source again; the first description sets it.
  if (!s.nativeAlphaKnown && s.alpha.marker != PIN_AlphaMarker) s.alpha = native;
  if (info->depth != 32) s.alpha = native;
  s.nativeAlpha = native;
  s.nativeAlphaKnown = 1;
  if (const int32_t files = NumFiles(s); files > 0) {
    // A still sequence runs at its rate, one file a frame.
    if (s.nativeRate <= 0) s.nativeRate = kDefaultStillRate;
    s.duration = FrameStart(files, s.nativeRate);
  }
  if (!s.effectiveRate) s.effectiveRate = s.conformedRate ? s.conformedRate : s.nativeRate;
  DefaultAspect(s);
  return 0;
}

ErrorCode PIN_GetSourceInfo(PIN_SeqSpecH seq, PIN_SourceInfo* info) {
  if (!info) return kReport.BadParam(kSiteData, {"PIN_GetSourceInfo"});
  *info = PIN_SourceInfo{};
  if (ErrorCode err = CheckSeq(seq, kSiteData)) return err;
  const SeqSpec& s = Rec(seq);
  info->fileType = s.fileType;
  info->creator = s.creator;
  info->width = static_cast<int32_t>(s.width);
  info->height = static_cast<int32_t>(s.height);
  info->depth = s.depth;
  info->duration = s.duration;
  info->start = s.start;
  info->nativeRate = s.nativeRate;
  info->alpha = s.alpha;
  return 0;
}

ErrorCode PIN_SetInstanceData(PIN_SeqSpecH seq, Handle data) {
  if (ErrorCode err = CheckSeq(seq, kSiteData)) return err;
  Rec(seq).instance = data;
  return 0;
}

ErrorCode PIN_GetInstanceData(PIN_SeqSpecH seq, Handle* data) {
  if (!data) return kReport.BadParam(kSiteData, {"PIN_GetInstanceData"});
  *data = nullptr;
  if (ErrorCode err = CheckSeq(seq, kSiteData)) return err;
  *data = Rec(seq).instance;
  return 0;
}

ErrorCode PIN_SetOptions(PIN_SeqSpecH seq, Handle options) {
  if (ErrorCode err = CheckSeq(seq, kSiteData)) return err;
  Handle copy = nullptr;
  if (options) {
    copy = options;
    if (HandToHand(&copy) != 0 || !copy)
      return kReport.OutOfMemory(kSiteData, kTextMemorySeqSpec,
                                 static_cast<uint64_t>(GetHandleSize(options)));
  }
  SeqSpec& s = Rec(seq);
  if (s.options) DisposeHandle(s.options);
  s.options = copy;
  return 0;
}

ErrorCode PIN_GetOptions(PIN_SeqSpecH seq, Handle* options) {
  if (!options) return kReport.BadParam(kSiteData, {"PIN_GetOptions"});
  *options = nullptr;
  if (ErrorCode err = CheckSeq(seq, kSiteData)) return err;
  *options = Rec(seq).options;
  return 0;
}

ErrorCode PIN_GetFrameIndex(PIN_SeqSpecH seq, const Time* time, int32_t* index) {
  if (!time || !index) return kReport.BadParam(kSiteData, {"PIN_GetFrameIndex"});
  *index = 0;
  if (ErrorCode err = CheckSeq(seq, kSiteData)) return err;
  *index = FrameIndex(Rec(seq), *time);
  return 0;
}

// ---- Private data --------------------------------------------------------------------

ErrorCode PIN_SetModuleSpecificData(PIN_SeqSpecH seq, int32_t selector, const void* data, int32_t size) {
  if (ErrorCode err = CheckSeq(seq, kSiteData)) return err;
  return CallSlot(ModuleOf(seq), PIN_Slot_SetModuleSpecificData, &PIN_ModuleProcs::setModuleSpecificData,
                  static_cast<Handle>(seq), selector, data, size);
}

ErrorCode PIN_GetModuleSpecificData(PIN_SeqSpecH seq, int32_t selector, void* data, int32_t size) {
  if (ErrorCode err = CheckSeq(seq, kSiteData)) return err;
  return CallSlot(ModuleOf(seq), PIN_Slot_GetModuleSpecificData, &PIN_ModuleProcs::getModuleSpecificData,
                  static_cast<Handle>(seq), selector, data, size);
}

ErrorCode PIN_SetSeqSpecificData(PIN_SeqSpecH seq, int32_t selector, const void* data, int32_t size) {
  if (ErrorCode err = CheckSeq(seq, kSiteData)) return err;
  return CallSlot(ModuleOf(seq), PIN_Slot_SetInSpecificData, &PIN_ModuleProcs::setInSpecificData, seq,
                  selector, data, size);
}

ErrorCode PIN_GetSeqSpecificData(PIN_SeqSpecH seq, int32_t selector, void* data, int32_t size) {
  if (ErrorCode err = CheckSeq(seq, kSiteData)) return err;
  return CallSlot(ModuleOf(seq), PIN_Slot_GetInSpecificData, &PIN_ModuleProcs::getInSpecificData, seq,
                  selector, data, size);
}

// ---- Aux channels and sound ----------------------------------------------------------

ErrorCode PIN_GetNumAuxChannels(PIN_SeqSpecH seq, int32_t* count) {
  if (!count) return kReport.BadParam(kSiteQuery, {"PIN_GetNumAuxChannels"});
  *count = 0;
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  return CallSlot(ModuleOf(seq), PIN_Slot_GetNumAuxChannels, &PIN_ModuleProcs::getNumAuxChannels, seq, count);
}

ErrorCode PIN_GetAuxChannelDesc(PIN_SeqSpecH seq, int32_t index, void* desc, int32_t size) {
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  return CallSlot(ModuleOf(seq), PIN_Slot_GetAuxChannelDesc, &PIN_ModuleProcs::getAuxChannelDesc, seq, index,
                  desc, size);
}

ErrorCode PIN_DrawAuxChannel(PIN_SeqSpecH seq, int32_t index, const PIN_DrawParams* params, Handle* data) {
  if (!data) return kReport.BadParam(kSiteQuery, {"PIN_DrawAuxChannel"});
  *data = nullptr;
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  return CallSlot(ModuleOf(seq), PIN_Slot_DrawAuxChannel, &PIN_ModuleProcs::drawAuxChannel, seq, index,
                  params, data);
}

ErrorCode PIN_FreeAuxChannel(PIN_SeqSpecH seq, Handle data) {
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  return CallSlot(ModuleOf(seq), PIN_Slot_FreeAuxChannel, &PIN_ModuleProcs::freeAuxChannel, seq, data);
}

ErrorCode PIN_GetSound(PIN_SeqSpecH seq, const void* request, Handle soundWorld) {
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  return CallSlot(ModuleOf(seq), PIN_Slot_GetSound, &PIN_ModuleProcs::getSound, seq, request, soundWorld);
}
