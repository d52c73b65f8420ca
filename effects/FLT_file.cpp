// Parades in chunked files. A Parade is a "LIST"/"Par8" container: the item
// list (8-byte items on file: a word written as 0, then the flags), then one
// "LIST"/"SeqS" container per item holding
//   "sspc"  130 bytes: match name (48) at 0, display name (31 characters) at
//           48, u16 1 when the Sequence has an instance name at 80, u16
//           parameter count at 82, flags at 88, stamp at 92, u16 3 at 112,
//           u16 1 at 114, every other byte 0
//   "enam"  48 bytes: the instance name (only when there is one)
//   "sdat"  the effect's flattened sequence data (only when there is some)
//   "parL"  16 bytes per parameter: the class template's first word, 9 for
//           parameters without a control (else 0), two words of the host's
//           (a layer parameter's layer reference and companion, read back)
//   "LIST"/"Tsts" one Stream per parameter. A parameter without a Stream is
//           written as a constant Stream of its current value (one dimension
//           of 0 when its type has no value), so positions stay aligned and
//           constant values survive.
//   "LIST"/"aRbs" the values of arbitrary-data parameters (FLT_arbitrary.cpp),
//           only when the class has some.
// A Sequence whose effect is not installed keeps the bytes of its "SeqS"
// container and writes them back unchanged.
#include <algorithm>
#include <cstring>
#include <vector>

#include "ByteOrder.h"
#include "FLT_internal.h"
#include "LIST_file.h"

namespace tv::flt {
namespace {

constexpr FourCC kLIST = MakeFourCC("LIST");
constexpr FourCC kPar8 = MakeFourCC("Par8");
constexpr FourCC kSeqS = MakeFourCC("SeqS");
constexpr FourCC kSspc = MakeFourCC("sspc");
constexpr FourCC kEnam = MakeFourCC("enam");
constexpr FourCC kSdat = MakeFourCC("sdat");
constexpr FourCC kParL = MakeFourCC("parL");
constexpr FourCC kTsts = MakeFourCC("Tsts");
constexpr uint32_t kSspcBytes = 130;

SeqRec* Rec(Handle seq) { return reinterpret_cast<SeqRec*>(*seq); }

ErrorCode BadData(uint32_t site) { return kReport.Fail(site, FLT_ErrBadData, kTextCannotParse); }

ErrorCode EncodeItem(intptr_t, LIST_Handle, int32_t, const void* item, uint8_t* fileItem) {
  const auto* it = static_cast<const ParadeItem*>(item);
  be::Store<uint32_t>(fileItem, 0);
  be::Store<uint32_t>(fileItem + 4, it->flags);
  return 0;
}

ErrorCode DecodeItem(intptr_t, LIST_Handle, int32_t, const uint8_t* fileItem, void* item) {
  auto* it = static_cast<ParadeItem*>(item);
  it->seq = nullptr;
  it->flags = be::Load<uint32_t>(fileItem + 4);
  return 0;
}

// A constant Stream of one parameter's current value, for parameters without
// their own Stream.
ErrorCode PlaceholderStream(const PF_ParamDef& p, TDB_Stream* out) {
  *out = nullptr;
  int16_t dim = StreamDimension(p.type);
  double v[4] = {};
  if (dim > 0)
    StreamValueFromParam(p, false, v);
  else
    dim = 1;
  TDB_ValueDesc desc{};
  desc.dataType = 9;
  TDB_Stream s = nullptr;
  if (ErrorCode err = TDB_NewStream(dim, 600, 1, 0, 0x7, 0, &desc, &s)) return err;
  if (ErrorCode err = TDB_InsertKeyF(s, nullptr, 0, 1, v, 1, 1)) {
    TDB_DisposeStream(s);
    return err;
  }
  *out = s;
  return 0;
}

ErrorCode CallFlatten(Handle seq, int32_t cmd) {
  PF_InputRecord in{};
  PF_OutputRecord out{};
  EffectRef ref{};
  const auto cls = static_cast<int16_t>(Rec(seq)->classIndex);
  PrepareInput(in, ref, cmd, cls, seq);
  ParamsLock lock(seq);
  if (lock.error()) return lock.error();
  ErrorCode err = CallEffect(cls, cmd, seq, in, out, lock.list(), nullptr, nullptr);
  Rec(seq)->seqData = out.sequenceData;
  return err;
}

ErrorCode WriteSequence(Handle seq, FLT_ParamWriterFunc writer, void* refcon, SLU_FileContext* file) {
  slu::ChunkWriter chunk(file, kLIST, kSeqS);
  if (chunk.err()) return chunk.err();
  if (Rec(seq)->classIndex == kMissingClass) {
    // Written back exactly as it was read.
    Handle raw = Rec(seq)->raw;
    HandleLock<uint8_t> bytes(raw);
    const auto n = static_cast<size_t>(GetHandleSize(raw));
    if (ErrorCode err = slu::WriteBytes(file, std::span<const uint8_t>(bytes.get(), n))) return err;
    return chunk.End();
  }
  ClassRec c{};
  if (ErrorCode err = GetClass(static_cast<int16_t>(Rec(seq)->classIndex), c)) return err;
  const SeqRec r = *Rec(seq);
  uint8_t sspc[kSspcBytes] = {};
  std::memcpy(sspc, c.matchName, 47);
  std::memcpy(sspc + 48, c.name, 31);
  be::Store<uint16_t>(sspc + 80, r.name[0] ? 1 : 0);
  be::Store<uint16_t>(sspc + 82, static_cast<uint16_t>(r.paramCount));
  be::Store<uint32_t>(sspc + 88, r.flags);
  be::Store<uint32_t>(sspc + 92, r.stamp);
  be::Store<uint16_t>(sspc + 112, 3);
  be::Store<uint16_t>(sspc + 114, 1);
  if (ErrorCode err = SLU_WriteAtom(file, kSspc, kSspcBytes, sspc)) return err;
  if (r.name[0]) {
    char name[48] = {};
    std::memcpy(name, r.name, 47);
    if (ErrorCode err = SLU_WriteAtom(file, kEnam, 48, name)) return err;
  }
  if (r.seqData) {
    if (ErrorCode err = CallFlatten(seq, PF_Cmd_SequenceFlatten)) return err;
    Handle data = Rec(seq)->seqData;
    ErrorCode err = data && GetHandleSize(data) > 0 ? SLU_WriteHandle(file, kSdat, data) : 0;
    if (ErrorCode e2 = CallFlatten(seq, PF_Cmd_SequenceResetup); !err) err = e2;
    if (err) return err;
  }
  // parL.
  const uint32_t count = r.paramCount;
  Handle parL = NewHandleClear(static_cast<Size>(16 * count));
  if (!parL && count) return kReport.OutOfMemory(kSiteWrite, kTextMemory, 16 * count);
  ErrorCode err = 0;
  for (uint32_t i = 0; i < count && !err; ++i) {
    const PF_ParamDef tmpl = reinterpret_cast<const PF_ParamDef*>(*c.paramBlock)[i];
    uint32_t words[4] = {tmpl.identifier, 0, 0, 0};
    const PF_ParamDef* p = nullptr;
    {
      ParamsLock lock(seq);
      if ((err = lock.error())) break;
      p = lock.list()[i];
      const uint32_t t = p->type;
      if (t == 9 || t == 13 || t == 14 || (p->uiFlags & PF_PUI_STD_CONTROL_ONLY)) words[1] = 9;
      // A layer parameter keeps the layer it names: its reference and
      // companion (the writer may give others).
      if (t == PF_Param_Layer) words[2] = p->u.words[0], words[3] = p->u.words[1];
    }
    if (words[1] == 0 && writer) err = writer(1, seq, refcon, &words[2], &words[3]);
    for (int w = 0; w < 4; ++w) be::Store<uint32_t>(reinterpret_cast<uint8_t*>(*parL) + 16 * i + 4 * w, words[w]);
  }
  if (!err && count) err = SLU_WriteHandle(file, kParL, parL);
  if (parL) DisposeHandle(parL);
  if (err) return err;
  // Tsts.
  slu::ChunkWriter tsts(file, kLIST, kTsts);
  if (tsts.err()) return tsts.err();
  for (uint32_t i = 0; i < count; ++i) {
    PF_ParamDef p{};
    {
      ParamsLock lock(seq);
      if (lock.error()) return lock.error();
      p = *lock.list()[i];
    }
    if (p.stream) {
      if ((err = TDB_WriteStream(static_cast<TDB_Stream>(p.stream), file))) return err;
      continue;
    }
    TDB_Stream s = nullptr;
    if ((err = PlaceholderStream(p, &s))) return err;
    err = TDB_WriteStream(s, file);
    TDB_DisposeStream(s);
    if (err) return err;
  }
  if ((err = tsts.End())) return err;
  if ((err = ArbWrite(seq, file))) return err;
  return chunk.End();
}

void AppendMissing(char* names, const char* name) {
  if (!names) return;
  const size_t have = strnlen(names, 255);
  const size_t sep = have ? 2 : 0;
  const size_t add = strnlen(name, 47);
  // The text stays under 255 characters.
  if (have + sep + add >= 255) return;
  if (sep) std::memcpy(names + have, ", ", 2);
  std::memcpy(names + have + sep, name, add);
  names[have + sep + add] = 0;
}

// Layer parameters take back the reference and companion their "parL"
// words keep (16 bytes a parameter, the third and fourth words).
ErrorCode ReadLayerRefs(Handle seq, const std::vector<uint8_t>& words) {
  ParamsLock lock(seq);
  if (ErrorCode err = lock.error()) return err;
  int32_t count = 0;
  FLT_SeqInqNumParams(seq, &count);
  const size_t n = std::min(static_cast<size_t>(std::max(count, 0)), words.size() / 16);
  for (size_t i = 0; i < n; ++i) {
    PF_ParamDef* p = lock.list()[i];
    if (p->type != PF_Param_Layer) continue;
    p->u.words[0] = be::Load<uint32_t>(words.data() + 16 * i + 8);
    p->u.words[1] = be::Load<uint32_t>(words.data() + 16 * i + 12);
  }
  return 0;
}

// Reads the Tsts streams into the new Sequence's parameters.
ErrorCode ReadStreams(SLU_FileContext* file, const SLU_Chunk& seqChunk, Handle seq, uint32_t fileCount,
                      const char* effectName) {
  SLU_Chunk tsts{};
  if (ErrorCode err = SLU_Descend(file, kLIST, kTsts, &seqChunk, &tsts, nullptr)) return err;
  const uint32_t count = Rec(seq)->paramCount;
  // Effects add parameters at the end: a file with fewer leaves the new ones
  // at their defaults and resets nothing. One with more loses the extra ones.
  bool converted = fileCount > count;
  for (uint32_t i = 0; i < fileCount; ++i) {
    TDB_Stream s = nullptr;
    if (ErrorCode err = TDB_ReadStream(file, &tsts, &s)) return err;
    if (i >= count) {
      TDB_DisposeStream(s);
      continue;
    }
    TDB_StreamInfo info{};
    TDB_GetStreamInfo(s, &info);
    ParamsLock lock(seq);
    if (lock.error()) {
      TDB_DisposeStream(s);
      return lock.error();
    }
    PF_ParamDef* p = lock.list()[i];
    const int16_t dim = StreamDimension(p->type);
    if (p->stream && info.dimension == dim && info.valueDescription.kind == 0) {
      TDB_DisposeStream(static_cast<TDB_Stream>(p->stream));
      p->stream = s;
      continue;
    }
    if (!p->stream && dim > 0 && info.dimension == dim && info.valueDescription.kind == 0) {
      double v[4] = {};
      if (TDB_GetValueF(s, nullptr, 0, 0, v, nullptr) == 0) ParamFromStreamValue(*p, v);
    } else if (!p->stream && dim == 0) {
      // nothing to keep
    } else {
      converted = true;
    }
    TDB_DisposeStream(s);
  }
  if (converted) kReport.Note(kSiteRead, kSevWarning, kTextControlConversion, {effectName});
  return SLU_Ascend(file, &tsts);
}

ErrorCode ReadRaw(SLU_FileContext* file, const SLU_Chunk& seqChunk, Handle* raw) {
  *raw = nullptr;
  if (seqChunk.size < 4) return BadData(kSiteRead);
  const uint32_t n = seqChunk.size - 4;
  Handle h = NewHandle(static_cast<Size>(n));
  if (!h) return kReport.OutOfMemory(kSiteRead, kTextMemory, n);
  ErrorCode err = FILE_SetPos(file->file, seqChunk.dataStart + 4);
  if (!err) {
    HandleLock<uint8_t> bytes(h);
    err = SLU_Read(file, &seqChunk, n, bytes.get());
  }
  if (err) {
    DisposeHandle(h);
    return err;
  }
  *raw = h;
  return 0;
}

struct ReadContext {
  int32_t fileVersion;
  char* missingNames;
  int32_t* missingCount;
};

ErrorCode ReadSequence(SLU_FileContext* file, const SLU_Chunk& seqChunk, const ReadContext& rc, Handle* out) {
  *out = nullptr;
  SLU_Chunk atom{};
  if (ErrorCode err = SLU_Descend(file, kSspc, 0, &seqChunk, &atom, nullptr)) return err;
  if (atom.size != kSspcBytes) return BadData(kSiteRead);
  uint8_t sspc[kSspcBytes] = {};
  if (ErrorCode err = SLU_Read(file, &atom, kSspcBytes, sspc)) return err;
  if (ErrorCode err = SLU_Ascend(file, &atom)) return err;
  char match[48] = {}, display[32] = {};
  std::memcpy(match, sspc, 47);  // terminated whatever the file holds
  std::memcpy(display, sspc + 48, 31);
  const bool hasName = be::Load<uint16_t>(sspc + 80) != 0;
  const uint32_t fileCount = be::Load<uint16_t>(sspc + 82);
  const uint32_t flags = be::Load<uint32_t>(sspc + 88);
  const uint32_t stamp = be::Load<uint32_t>(sspc + 92);
  char obsoleteName[48] = {};
  if (std::strcmp(match, "KVRN Horz/Vert Text") == 0) {
    std::strcpy(match, "KVRN Basic Text2");
  } else if (std::strcmp(match, "KVRN Glow") == 0) {
    if (rc.fileVersion >= 12) {
      std::strcpy(match, "KVRN Glo2");
    } else {
      const char* base = display[0] ? display : match;
      const size_t n = std::min<size_t>(std::strlen(base), 47 - 11);
      std::memcpy(obsoleteName, base, n);
      std::memcpy(obsoleteName + n, " (Obsolete)", 11);
    }
  }
  int16_t cls = 0;
  Boolean32 found = 0;
  FLTp_FindClass(match, &cls, &found);
  const char* effectName = display[0] ? display : match;
  if (!found) {
    Handle raw = nullptr;
    if (ErrorCode err = ReadRaw(file, seqChunk, &raw)) return err;
    if (ErrorCode err = NewMissingSequence(raw, effectName, out)) {
      DisposeHandle(raw);
      return err;
    }
    AppendMissing(rc.missingNames, effectName);
    if (rc.missingCount) ++*rc.missingCount;
    return 0;
  }
  // The atoms in file order: the instance name, the sequence data, the
  // parameter words (checked against the stored count); then the Streams.
  char name[48] = {};
  if (hasName) {
    if (ErrorCode err = SLU_ReadAtom(file, kEnam, &seqChunk, sizeof name, name)) return err;
    name[47] = 0;
  }
  Handle data = nullptr;
  if (ErrorCode err = SLU_ReadHandle(file, &seqChunk, kSdat, &data)) return err;
  Boolean32 present = 0;
  std::vector<uint8_t> words;
  ErrorCode err = SLU_DescendStable(file, kParL, 0, &seqChunk, &atom, &present);
  if (!err && present) {
    if (atom.size != 16 * fileCount) {
      err = BadData(kSiteRead);
    } else {
      words.resize(atom.size);
      err = SLU_Read(file, &atom, atom.size, words.data());
      if (!err) err = SLU_Ascend(file, &atom);
    }
  } else if (!err && fileCount) {
    err = BadData(kSiteRead);
  }
  Handle seq = nullptr;
  uint32_t outFlags = 0;
  if (!err) err = FLT_NewSequence(cls, nullptr, 0, nullptr, &outFlags, &seq, &found);
  if (err) {
    if (data) DisposeHandle(data);
    return err;
  }
  Rec(seq)->flags = flags;
  Rec(seq)->stamp = stamp;
  // An obsolete effect kept under its class says so in its instance name.
  if (obsoleteName[0])
    FLT_SeqSetName(seq, obsoleteName);
  else if (name[0])
    FLT_SeqSetName(seq, name);
  if (data) {
    if (Rec(seq)->seqData) DisposeHandle(Rec(seq)->seqData);
    Rec(seq)->seqData = data;
    err = CallFlatten(seq, PF_Cmd_SequenceResetup);
  }
  if (!err) err = ReadLayerRefs(seq, words);
  if (!err) err = ReadStreams(file, seqChunk, seq, fileCount, effectName);
  if (!err) err = ArbRead(seq, file, seqChunk);
  if (err) {
    DisposeSequenceAlways(seq);
    return err;
  }
  *out = seq;
  return 0;
}

}  // namespace
}  // namespace tv::flt

using namespace tv;
using namespace tv::flt;

ErrorCode FLT_WriteParade(FLT_Parade parade, FLT_ParamWriterFunc writer, void* refcon, SLU_FileContext* file) {
  if (!file) return kReport.BadParam(kSiteWrite, {"FLT_WriteParade"});
  LIST_Handle items = nullptr;
  if (ErrorCode err = ParadeItems(parade, kSiteWrite, &items)) return err;
  slu::ChunkWriter par8(file, kLIST, kPar8);
  if (par8.err()) return par8.err();
  if (ErrorCode err = LIST_WriteEncoded(items, 8, EncodeItem, 0, file)) return err;
  int32_t n = 0;
  LIST_GetNumItems(items, &n);
  for (int32_t i = 0; i < n; ++i) {
    ParadeItem it{};
    LIST_GetItem(items, i, &it);
    if (ErrorCode err = WriteSequence(it.seq, writer, refcon, file)) return err;
  }
  return par8.End();
}

ErrorCode FLT_ReadParade(SLU_FileContext* file, FLT_LayerInfoProc proc, int32_t fileVersion, void* refcon,
                         const SLU_Chunk* parentChunk, const SLU_Chunk* entered, char* missingNames,
                         int32_t* missingCount, FLT_Parade* parade) {
  if (parade) *parade = nullptr;
  if (!file || !parade) return kReport.BadParam(kSiteRead, {"FLT_ReadParade"});
  SLU_Chunk own{};
  const SLU_Chunk* par8 = entered;
  if (!par8) {
    if (ErrorCode err = SLU_Descend(file, kLIST, kPar8, parentChunk, &own, nullptr)) return err;
    par8 = &own;
  }
  LIST_Handle items = nullptr;
  if (ErrorCode err = LIST_ReadDecoded(file, par8, static_cast<int32_t>(sizeof(ParadeItem)), 8, DecodeItem, 0, &items))
    return err;
  FLT_Parade p = nullptr;
  ErrorCode err = FLT_NewParade(proc, refcon, &p);
  if (err) {
    LIST_Dispose(items, 0);
    return err;
  }
  const ReadContext rc{fileVersion, missingNames, missingCount};
  int32_t n = 0;
  LIST_GetNumItems(items, &n);
  for (int32_t i = 0; i < n && !err; ++i) {
    ParadeItem it{};
    LIST_GetItem(items, i, &it);
    SLU_Chunk seqChunk{};
    Boolean32 found = 0;
    if ((err = SLU_Descend(file, kLIST, kSeqS, par8, &seqChunk, &found))) break;
    // Items beyond the Sequences the file holds are dropped.
    if (!found) break;
    Handle seq = nullptr;
    if ((err = ReadSequence(file, seqChunk, rc, &seq))) break;
    it.seq = seq;
    if ((err = LIST_Insert(&it, -1, reinterpret_cast<ParadeRec*>(*p)->items))) {
      DisposeSequenceAlways(seq);
      break;
    }
    SetOwner(seq, p);
    err = SLU_Ascend(file, &seqChunk);
  }
  LIST_Dispose(items, 0);
  if (!err && !entered) err = SLU_Ascend(file, &own);
  if (err) {
    FLT_DisposeParade(p);
    return err;
  }
  *parade = p;
  return 0;
}
