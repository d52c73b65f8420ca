// SeqSpecs in chunked files: a "LIST" of type "Pin " holding the "sspc"
// record (168 bytes, big-endian), the source file's alias ("LIST"/"Alas"),
// the file list of a still sequence ("flst") and the module's options
// ("opti"). Every stored field is checked before it is used; the words whose
// meaning is not ours are kept and written back unchanged.
#include <cstring>

#include "ByteOrder.h"
#include "PIN_internal.h"
#include "Scratch.h"

namespace tv::pin {
namespace {

constexpr FourCC kPin = MakeFourCC("Pin ");
constexpr FourCC kSspc = MakeFourCC("sspc");
constexpr FourCC kFlst = MakeFourCC("flst");
constexpr FourCC kOpti = MakeFourCC("opti");
constexpr FourCC kFiel = MakeFourCC("FIEL");
constexpr uint32_t kMaxFiles = 1u << 20;  // files of one still sequence

}  // namespace

void EncodeSspc(const SeqSpec& s, bool hasFileList, std::span<uint8_t, kSspcSize> out) {
  be::Writer w;
  w.Write<uint32_t>(s.reel.a);
  w.Write<uint16_t>(s.reel.b);
  w.WriteBytes({reinterpret_cast<const uint8_t*>(s.reel.text), sizeof s.reel.text});
  w.WriteFourCC(s.fileType);
  w.WriteFourCC(s.creator);
  w.Write<uint32_t>(s.width);
  w.Write<uint32_t>(s.height);
  w.Write<int32_t>(s.duration.value);
  w.Write<uint32_t>(s.duration.scale);
  w.Write<int32_t>(s.start.value);
  w.Write<uint32_t>(s.start.scale);
  w.Write<uint32_t>(s.reserved54);
  w.Write<int32_t>(s.nativeRate);
  w.Write<uint16_t>(s.depth);
  w.Write<uint16_t>(s.alpha.marker);
  w.Write<uint32_t>(s.alpha.flags);
  w.Write<uint8_t>(s.alpha.red);
  w.Write<uint8_t>(s.alpha.green);
  w.Write<uint8_t>(s.alpha.blue);
  w.Write<uint8_t>(s.alpha.type);
  w.WriteFourCC(s.field.tag);
  w.Write<uint16_t>(s.field.version);
  w.Write<uint32_t>(s.field.separate);
  w.Write<uint32_t>(s.field.dominance);
  w.Write<uint32_t>(s.field.reserved);
  w.Write<uint32_t>(0);
  w.Write<uint16_t>(s.numbering.first);
  w.Write<uint16_t>(s.numbering.digits);
  w.Write<uint16_t>(s.numbering.third);
  w.Write<uint16_t>(0);
  w.Write<int32_t>(s.lastIndex);
  w.Write<uint32_t>(s.numbering.extra);
  w.Write<uint32_t>(s.stateWord);
  w.Write<uint8_t>(hasFileList ? 1 : 0);
  w.Write<uint8_t>(0);
  w.Write<uint32_t>(s.moduleWord);
  w.Write<uint32_t>(kSspcVersion);
  w.Write<uint32_t>(s.loop.a);
  w.Write<uint32_t>(s.loop.b);
  w.Write<uint8_t>(s.file || s.alias ? 0 : 1);
  w.Write<uint8_t>(0);
  w.Write<uint32_t>(s.hsfNum);
  w.Write<uint32_t>(s.hsfDen);
  w.Write<uint32_t>(s.pulldown);
  w.Write<int32_t>(s.conformedRate);
  w.Write<int32_t>(s.effectiveRate);
  w.Write<uint32_t>(s.seqFlags);
  w.Write<double>(s.fpValue);
  std::memcpy(out.data(), w.bytes().data(), kSspcSize);
}

bool DecodeSspc(std::span<const uint8_t> bytes, SeqSpec& s, bool* hasFileList, bool* noFile,
                const char** what) {
  // An older, shorter record reads with its missing fields zero; a longer
  // one (a newer version) with its tail ignored.
  uint8_t full[kSspcSize] = {};
  std::memcpy(full, bytes.data(), bytes.size() < kSspcSize ? bytes.size() : kSspcSize);
  be::Reader r(full);
  auto fail = [&](const char* field) {
    *what = field;
    return false;
  };
  s.reel.a = r.Read<uint32_t>();
  s.reel.b = r.Read<uint16_t>();
  r.ReadBytes({reinterpret_cast<uint8_t*>(s.reel.text), sizeof s.reel.text});
  s.fileType = r.ReadFourCC();
  s.creator = r.ReadFourCC();
  s.width = r.Read<uint32_t>();
  s.height = r.Read<uint32_t>();
  if (s.width > 30000 || s.height > 30000) return fail("frame size");
  s.duration.value = r.Read<int32_t>();
  s.duration.scale = r.Read<uint32_t>();
  s.start.value = r.Read<int32_t>();
  s.start.scale = r.Read<uint32_t>();
  if (s.duration.value < 0 || (s.duration.scale == 0 && s.duration.value != 0)) return fail("duration");
  if (s.start.scale == 0 && s.start.value != 0) return fail("start time");
  if (s.duration.scale == 0) s.duration.scale = 1;
  if (s.start.scale == 0) s.start.scale = 1;
  s.reserved54 = r.Read<uint32_t>();
  s.nativeRate = r.Read<int32_t>();
  s.depth = r.Read<uint16_t>();
  if (s.depth != 0 && s.depth != 1 && s.depth != 8 && s.depth != 24 && s.depth != 32) return fail("depth");
  s.alpha.marker = r.Read<uint16_t>();
  s.alpha.flags = r.Read<uint32_t>();
  s.alpha.red = r.Read<uint8_t>();
  s.alpha.green = r.Read<uint8_t>();
  s.alpha.blue = r.Read<uint8_t>();
  s.alpha.type = r.Read<uint8_t>();
  if (s.alpha.type > PIN_Alpha_None) return fail("alpha type");
  s.field.tag = r.ReadFourCC();
  s.field.version = r.Read<uint16_t>();
  s.field.separate = r.Read<uint32_t>();
  s.field.dominance = r.Read<uint32_t>();
  s.field.reserved = r.Read<uint32_t>();
  if ((s.field.tag != kFiel && s.field.tag != 0) || s.field.separate > 1 || s.field.dominance > 1)
    return fail("field order");
  s.field.tag = kFiel;
  s.field.version = 1;
  s.numbering.zero = r.Read<uint32_t>();
  s.numbering.first = r.Read<uint16_t>();
  s.numbering.digits = r.Read<uint16_t>();
  s.numbering.third = r.Read<uint16_t>();
  r.Read<uint16_t>();
  s.lastIndex = r.Read<int32_t>();
  s.numbering.extra = r.Read<uint32_t>();
  s.stateWord = r.Read<uint32_t>();
  const uint8_t list = r.Read<uint8_t>();
  r.Read<uint8_t>();
  s.moduleWord = r.Read<uint32_t>();
  r.Read<uint32_t>();  // the record's version: every version reads alike
  s.loop.a = r.Read<uint32_t>();
  s.loop.b = r.Read<uint32_t>();
  const uint8_t none = r.Read<uint8_t>();
  r.Read<uint8_t>();
  if (list > 1 || none > 1) return fail("flags");
  s.hsfNum = r.Read<uint32_t>();
  s.hsfDen = r.Read<uint32_t>();
  if (s.hsfNum == 0 && s.hsfDen == 0) s.hsfNum = s.hsfDen = 1;  // never set
  if (s.hsfNum == 0 || s.hsfDen == 0) return fail("pixel aspect ratio");
  s.pulldown = r.Read<uint32_t>();
  if (s.pulldown > 5) return fail("pulldown phase");
  s.conformedRate = r.Read<int32_t>();
  s.effectiveRate = r.Read<int32_t>();
  if (s.nativeRate < 0 || s.conformedRate < 0 || s.effectiveRate < 0) return fail("frame rate");
  s.seqFlags = r.Read<uint32_t>();
  s.fpValue = r.Read<double>();
  *hasFileList = list != 0;
  *noFile = none != 0;
  return r.ok();
}

bool DecodeFileList(std::span<const uint8_t> bytes, LIST_Handle* files, const char** what) {
  *files = nullptr;
  be::Reader r(bytes);
  const uint32_t count = r.Read<uint32_t>();
  // Every entry takes at least two bytes: a count beyond that is a lie.
  if (!r.ok() || count == 0 || count > kMaxFiles || count > r.remaining() / 2) {
    *what = "file list";
    return false;
  }
  LIST_Handle list = nullptr;
  if (LIST_New(0, sizeof(FileEntry), static_cast<int32_t>(count), 1, &list) != 0) {
    *what = "file list";
    return false;
  }
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t length = r.Read<uint8_t>();
    const auto name = r.Take(length);
    FileEntry e{};
    bool ok = r.ok() && length > 0 && name.size() == length;
    for (uint8_t c : name) ok = ok && c != 0 && c != '/';
    if (ok) {
      std::memcpy(e.name, name.data(), length);
      const SequenceName parsed = ParseSequenceName(e.name);
      ok = parsed.valid;
      e.number = parsed.number;
    }
    if (!ok || LIST_Insert(&e, -1, list) != 0) {
      LIST_Dispose(list, 0);
      *what = "file list";
      return false;
    }
  }
  if (r.remaining() != 0) {
    LIST_Dispose(list, 0);
    *what = "file list";
    return false;
  }
  *files = list;
  return true;
}

namespace {

ErrorCode WriteFileList(SLU_FileContext* context, LIST_Handle files) {
  be::Writer w;
  const int32_t n = [&] {
    int32_t c = 0;
    LIST_GetNumItems(files, &c);
    return c;
  }();
  w.Write<uint32_t>(static_cast<uint32_t>(n));
  for (int32_t i = 0; i < n; ++i) {
    FileEntry e{};
    LIST_GetItem(files, i, &e);
    const size_t length = std::strlen(e.name);
    w.Write<uint8_t>(static_cast<uint8_t>(length));
    w.WriteBytes({reinterpret_cast<const uint8_t*>(e.name), length});
  }
  return SLU_WriteAtom(context, kFlst, static_cast<uint32_t>(w.size()), w.bytes().data());
}

// Reads the data of an atom of at most `limit` bytes into a scratch buffer.
ErrorCode ReadSmallAtom(SLU_FileContext* context, const SLU_Chunk* parent, FourCC id, uint32_t limit,
                        ScratchArray<uint8_t>& out, Boolean32* found) {
  SLU_Chunk chunk{};
  if (ErrorCode err = SLU_DescendStable(context, id, 0, parent, &chunk, found)) return err;
  if (!*found) return 0;
  if (chunk.size > limit) {
    SLU_Ascend(context, &chunk);
    return kReport.Fail(kSiteRead, PIN_ErrCannotImport, kTextBadData, {"chunk size"});
  }
  if (!out.Allocate(chunk.size ? chunk.size : 1, true))
    return kReport.OutOfMemory(kSiteRead, kTextMemorySeqSpec, out.failedBytes());
  if (ErrorCode err = SLU_Read(context, &chunk, chunk.size, out.data())) return err;
  return SLU_Ascend(context, &chunk);
}

}  // namespace
}  // namespace tv::pin

using namespace tv;
using namespace tv::pin;

namespace {
// The full path of the project file being read or written; empty without one.
ErrorCode ProjectPath(SLU_FileContext* context, std::string* path) {
  path->clear();
  if (!context->file) return 0;
  char full[FILE_MaxPath] = "";
  if (ErrorCode err = FILE_InqName(context->file, FILE_NameFullPath, full, sizeof full)) return err;
  *path = full;
  return 0;
}
}  // namespace

ErrorCode PIN_WriteSeqSpec(PIN_SeqSpecH seq, SLU_FileContext* context) try {
  if (!context) return kReport.BadParam(kSiteWrite, {"PIN_WriteSeqSpec"});
  if (ErrorCode err = CheckSeq(seq, kSiteWrite)) return err;
  if (ErrorCode err =
          CallSlot(ModuleOf(seq), PIN_Slot_WriteSeqSpec, &PIN_ModuleProcs::writeSeqSpec, seq, context))
    return err;
  // A source that vanished is saved as a placeholder (with its name noted)
  // that keeps where the source was, so that it is found again once the
  // file is back (a disk or a share that was away when the project was
  // saved).
  bool haveFile = Rec(seq).file != nullptr;
  struct AliasOwner {
    FILE_AliasH alias = nullptr;
    ~AliasOwner() { FILE_DisposeAliasRec(alias); }
  } vanished;
  if (haveFile) {
    Boolean32 exists = 0;
    FILE_InqExist(Rec(seq).file, &exists);
    if (!exists) {
      char name[FILE_MaxName + 1] = "";
      FILE_InqName(Rec(seq).file, FILE_NameOnly, name, sizeof name);
      kReport.Note(kSiteWrite, kSevWarning, kTextCannotLocate, {name});
      haveFile = false;
      std::string projectPath;
      if (ErrorCode err = ProjectPath(context, &projectPath)) return err;
      int32_t state[3] = {};
      const bool deferred = U_DeferredReportingStart(0, state) == 0;
      if (tv::file::NewAliasFromPath(PathOf(Rec(seq).file), Rec(seq).fileType, projectPath, &vanished.alias) != 0)
        vanished.alias = nullptr;
      if (deferred) U_DeferredReportingEnd(0, nullptr, state);
    }
  }
  // A missing source's record keeps its relative data leading where it led
  // from the project file it was read with, wherever this one is saved.
  AliasOwner kept;
  if (!haveFile && !vanished.alias && Rec(seq).alias) {
    std::string projectPath;
    if (ErrorCode err = ProjectPath(context, &projectPath)) return err;
    if (ErrorCode err = tv::file::RebasedAlias(Rec(seq).alias, projectPath, &kept.alias)) return err;
  }
  const FILE_AliasH alias = haveFile ? nullptr : vanished.alias ? vanished.alias : kept.alias;
  uint8_t sspc[kSspcSize];
  {
    SeqSpec copy = Rec(seq);
    if (!haveFile) copy.file = nullptr;
    copy.alias = alias;
    EncodeSspc(copy, copy.files != nullptr, sspc);
  }
  SLU_Chunk list{};
  if (ErrorCode err = SLU_BeginChunkWrite(context, slu::kLIST, 0, kPin, &list)) return err;
  if (ErrorCode err = SLU_WriteAtom(context, kSspc, kSspcSize, sspc)) return err;
  if (haveFile) {
    // With the path from the project file to it, so that a project moved
    // with its footage (to another disk, another machine) finds it.
    if (ErrorCode err = SLU_WriteFileSpec(context, Rec(seq).file, context->file)) return err;
  } else if (alias) {
    if (ErrorCode err = SLU_WriteAliasRec(context, alias)) return err;
  }
  if (Rec(seq).files)
    if (ErrorCode err = WriteFileList(context, Rec(seq).files)) return err;
  Handle options = Rec(seq).options;
  if (options && GetHandleSize(options) > 0) {
    if (ErrorCode err = SLU_WriteHandle(context, kOpti, options)) return err;
  } else if (ErrorCode err = SLU_WriteAtom(context, kOpti, 0, nullptr)) {
    return err;
  }
  return SLU_EndChunkWrite(context, &list);
}
TV_CATCH(PIN_PackageNumber)

ErrorCode PIN_ReadSeqSpec(SLU_FileContext* context, const SLU_Chunk* list, PIN_SeqSpecH* seq) try {
  if (!seq) return kReport.BadParam(kSiteRead, {"PIN_ReadSeqSpec"});
  *seq = nullptr;
  if (!context || !list || list->id != slu::kLIST || list->formType != kPin)
    return kReport.BadParam(kSiteRead, {"PIN_ReadSeqSpec"});
  if (!pkg::Alive(PIN_PackageNumber)) return kReport.Damaged(kSiteRead);

  ScratchArray<uint8_t> bytes;
  Boolean32 found = 0;
  if (ErrorCode err = ReadSmallAtom(context, list, kSspc, 4096, bytes, &found)) return err;
  if (!found) return kReport.Fail(kSiteRead, PIN_ErrCannotImport, kTextBadData, {"sspc"});
  SeqSpec fields{};
  bool hasList = false, noFile = false;
  const char* what = "sspc";
  if (!DecodeSspc({bytes.data(), bytes.size()}, fields, &hasList, &noFile, &what))
    return kReport.Fail(kSiteRead, PIN_ErrCannotImport, kTextBadData, {what});

  FILE_AliasH alias = nullptr;
  LIST_Handle files = nullptr;
  Handle options = nullptr;
  auto cleanup = [&] {
    FILE_DisposeAliasRec(alias);
    LIST_Dispose(files, 0);
    if (options) DisposeHandle(options);
  };
  if (!noFile)
    if (ErrorCode err = SLU_ReadAliasRec(context, list, nullptr, &alias)) return err;
  if (hasList) {
    ScratchArray<uint8_t> flst;
    if (ErrorCode err = ReadSmallAtom(context, list, kFlst, 1u << 28, flst, &found)) {
      cleanup();
      return err;
    }
    if (!found || !DecodeFileList({flst.data(), flst.size()}, &files, &what)) {
      cleanup();
      return kReport.Fail(kSiteRead, PIN_ErrCannotImport, kTextBadData, {found ? what : "file list"});
    }
  }
  if (ErrorCode err = SLU_ReadHandle(context, list, kOpti, &options)) {
    cleanup();
    return err;
  }
  if (options && GetHandleSize(options) == 0) {
    DisposeHandle(options);
    options = nullptr;
  }

  // The source, when it is where the alias says, or where the path from
  // the project file to it leads (the project moved with its footage); else
  // missing footage.
  FILE_SpecH file = nullptr;
  bool moved = false;
  if (alias) {
    char path[FILE_MaxPath] = "";
    Boolean32 exists = 0;
    if (FILE_InqAliasRecFullPath(alias, path, sizeof path) == 0 &&
        FILE_InqLocExist(path, FILE_LocFullPath, &exists) == 0 && exists) {
      Boolean32 changed = 0;
      if (ErrorCode err = FILE_ResolveAliasRec(alias, nullptr, 0, &file, &changed)) {
        cleanup();
        return err;
      }
    } else if (context->file) {
      // Not found is no failure here: the footage is then missing, and said
      // so once for the project.
      int32_t state[3] = {};
      const bool deferred = U_DeferredReportingStart(0, state) == 0;
      Boolean32 changed = 0;
      if (FILE_ResolveAliasRec(alias, context->file, 0, &file, &changed) != 0) file = nullptr;
      if (deferred) U_DeferredReportingEnd(0, nullptr, state);
      moved = file != nullptr;
    }
  }
  // Missing footage's relative data counts from this project file.
  std::string projectPath;
  if (!file && alias)
    if (ErrorCode err = ProjectPath(context, &projectPath)) {
      cleanup();
      return err;
    }
  char name[FILE_MaxName + 1] = "";
  if (alias) FILE_InqAliasRecName(alias, name, sizeof name);
  const FourCC sig = SigFromType(fields.fileType, fields.creator, name, true);
  const bool missing = !file || sig == PIN_NoSignature || !FindModule(sig);
  if (ErrorCode err = NewSeqSpec(missing ? kPlaceholderSig : sig, seq, kSiteRead)) {
    FILE_Dispose(file);
    cleanup();
    return err;
  }
  {
    SeqSpec& s = Rec(*seq);
    const SeqSpec made = s;
    s = fields;
    s.magic = made.magic, s.tailMagic = made.tailMagic, s.signature = made.signature;
    s.moduleFlags = made.moduleFlags;
    s.file = file;
    s.alias = file ? nullptr : alias;
    if (!file && alias) tv::file::SetAliasBase(alias, projectPath);
    s.files = files;
    s.options = options;
    s.instance = nullptr;
    s.missing = missing ? 1 : 0;
    s.inSynch = missing ? 1 : 0;
    s.relinked = moved && !missing ? 1 : 0;
    if (files) {
      FileEntry e{};
      LIST_GetItem(files, 0, &e);
      s.firstNumber = e.number;
    }
  }
  if (file) FILE_DisposeAliasRec(alias);
  if (!missing) {
    const Module* m = ModuleOf(*seq);
    if (ErrorCode err =
            CallSlot(m, PIN_Slot_ReadSeqSpec, &PIN_ModuleProcs::readSeqSpec, *seq, context, list)) {
      if (Filled(m->procs, PIN_Slot_DisposeSeqSpec)) m->procs.disposeSeqSpec(*seq);
      FreeSeqSpec(*seq);
      *seq = nullptr;
      return err;
    }
  }
  return 0;
}
TV_CATCH(PIN_PackageNumber)
