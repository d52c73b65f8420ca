// Sequences: creation from a class's parameter template, the parameter
// lock that turns offsets into addresses, names, duplication and disposal.
#include <atomic>
#include <cstring>

#include "FLT_internal.h"

namespace tv::flt {

uint64_t NextSeqSerial() {
  static std::atomic<uint64_t> next{1};
  return next++;
}

namespace {

SeqRec* Rec(Handle seq) { return reinterpret_cast<SeqRec*>(*seq); }

void DisposeParamStreams(Handle index, Handle block, uint32_t count) {
  if (!block) return;
  (void)index;
  const Size size = GetHandleSize(block);
  for (uint32_t i = 0; i < count && (i + 1) * sizeof(PF_ParamDef) <= static_cast<size_t>(size); ++i) {
    auto* p = reinterpret_cast<PF_ParamDef*>(*block) + i;
    if (p->stream) TDB_DisposeStream(static_cast<TDB_Stream>(p->stream));
    p->stream = nullptr;
  }
}

ErrorCode NewParamStream(const PF_ParamDef& p, TDB_Stream* out) {
  *out = nullptr;
  const int16_t dim = StreamDimension(p.type);
  if (dim == 0 || (p.flags & PF_ParamFlag_NoStream)) return 0;
  return NewDefaultStream(p, dim, out);
}

void FreeRecord(Handle seq) {
  ArbDisposeValues(seq);
  SeqRec* r = Rec(seq);
  DisposeParamStreams(r->paramIndex, r->paramBlock, r->paramCount);
  if (r->paramIndex) DisposeHandle(r->paramIndex);
  if (r->paramBlock) DisposeHandle(r->paramBlock);
  if (r->raw) DisposeHandle(r->raw);
  r->magic = r->tailMagic = 0;
  DisposeHandle(seq);
}

ErrorCode CallSeq(Handle seq, int32_t cmd, PF_OutputRecord& out) {
  PF_InputRecord in{};
  EffectRef ref{};
  const int16_t cls = static_cast<int16_t>(Rec(seq)->classIndex);
  PrepareInput(in, ref, cmd, cls, seq);
  FillTimes(in, seq);
  ParamsLock lock(seq);
  if (lock.error()) return lock.error();
  ErrorCode err = CallEffect(cls, cmd, seq, in, out, lock.list(), nullptr, nullptr);
  if (cmd != PF_Cmd_SequenceSetdown) Rec(seq)->seqData = out.sequenceData;
  return err;
}

}  // namespace

ErrorCode NewDefaultStream(const PF_ParamDef& p, int16_t dim, TDB_Stream* out) {
  *out = nullptr;
  TDB_ValueDesc desc{};
  desc.dataType = 9;  // double
  TDB_Stream s = nullptr;
  if (ErrorCode err = TDB_NewStream(dim, 600, 1, 0, 0x7, 0, &desc, &s)) return err;
  double v[4] = {};
  StreamValueFromParam(p, true, v);
  if (ErrorCode err = TDB_InsertKeyF(s, nullptr, 0, 1, v, TDB_InterpLinear, TDB_InterpLinear)) {
    TDB_DisposeStream(s);
    return err;
  }
  *out = s;
  return 0;
}

int16_t StreamDimension(uint32_t type) {
  switch (type) {
    case PF_Param_Slider: case PF_Param_FixedSlider: case PF_Param_Angle: case PF_Param_Checkbox:
    case PF_Param_Popup: case PF_Param_FloatSlider:
      return 1;
    case PF_Param_Point:
      return 2;
    case PF_Param_Colour:
      return 4;
    default:
      return 0;
  }
}

ErrorCode StreamValueFromParam(const PF_ParamDef& p, bool useDefault, double* v) {
  const uint32_t* w = p.u.words;
  switch (p.type) {
    case PF_Param_Slider: case PF_Param_Checkbox:
      v[0] = static_cast<int32_t>(w[useDefault ? PF_Word_Default : PF_Word_Value]);
      break;
    case PF_Param_FixedSlider: case PF_Param_Angle:
      v[0] = static_cast<int32_t>(w[useDefault ? PF_Word_Default : PF_Word_Value]) / 65536.0;
      break;
    case PF_Param_Popup: {
      int16_t d = 0;
      std::memcpy(&d, p.u.bytes + PF_Byte_ChoiceDefault, sizeof d);
      v[0] = useDefault ? d : static_cast<int32_t>(w[PF_Word_Value]);
      break;
    }
    case PF_Param_Colour: {
      const uint8_t* b = p.u.bytes + 4 * (useDefault ? PF_Word_Default : PF_Word_Value);
      for (int i = 0; i < 4; ++i) v[i] = b[i];
      break;
    }
    case PF_Param_Point: {
      const int base = useDefault ? PF_Word_PointDefault : PF_Word_Value;
      v[0] = static_cast<int32_t>(w[base]) / 65536.0;
      v[1] = static_cast<int32_t>(w[base + 1]) / 65536.0;
      break;
    }
    case PF_Param_FloatSlider:
      std::memcpy(v, p.u.bytes + 4 * (useDefault ? PF_Word_FloatDefault : PF_Word_Value), sizeof(double));
      break;
    default:
      return 3;
  }
  return 0;
}

namespace {
int32_t ToInt(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(v < 0 ? v - 0.5 : v + 0.5);
}
}  // namespace

void ParamFromStreamValue(PF_ParamDef& p, const double* v) {
  uint32_t* w = p.u.words;
  switch (p.type) {
    case PF_Param_Slider: case PF_Param_Checkbox: case PF_Param_Popup:
      w[PF_Word_Value] = static_cast<uint32_t>(ToInt(v[0]));
      break;
    case PF_Param_FixedSlider: case PF_Param_Angle:
      w[PF_Word_Value] = static_cast<uint32_t>(ToInt(v[0] * 65536.0));
      break;
    case PF_Param_Colour:
      for (int i = 0; i < 4; ++i) {
        const int32_t c = ToInt(v[i]);
        p.u.bytes[i] = static_cast<uint8_t>(c < 0 ? 0 : c > 255 ? 255 : c);
      }
      break;
    case PF_Param_Point:
      w[0] = static_cast<uint32_t>(ToInt(v[0] * 65536.0));
      w[1] = static_cast<uint32_t>(ToInt(v[1] * 65536.0));
      break;
    case PF_Param_FloatSlider:
      std::memcpy(p.u.bytes, v, sizeof(double));
      break;
    default:
      break;
  }
}

ErrorCode SeqCheck(Handle seq, uint32_t site) { return kReport.CheckRecord(seq, kSeqMagicDesc, site, {"seq"}); }

ErrorCode SetOwner(Handle seq, Handle owner) {
  if (ErrorCode err = SeqCheck(seq, kSiteParadeInsert)) return err;
  Rec(seq)->owner = owner;
  return 0;
}

Handle OwnerOf(Handle seq) { return kSeqMagicDesc.Intact(seq) ? Rec(seq)->owner : nullptr; }

ParamsLock::ParamsLock(Handle seq) : seq_(seq), error_(0) {
  error_ = FLT_SeqLockParams(seq, 0, &list_);
  if (error_) seq_ = nullptr;
}

ParamsLock::~ParamsLock() {
  if (seq_) FLT_SeqUnlockParams(seq_);
}

ErrorCode NewMissingSequence(Handle raw, const char* effectName, Handle* out) {
  *out = nullptr;
  Handle seq = NewHandleClear(static_cast<Size>(sizeof(SeqRec)));
  if (!seq) return kReport.OutOfMemory(kSiteRead, kTextMemory, sizeof(SeqRec));
  SeqRec* r = Rec(seq);
  r->magic = r->tailMagic = kSeqMagic;
  r->classIndex = kMissingClass;
  r->stamp = 2000;
  r->serial = NextSeqSerial();
  r->raw = raw;
  std::strncpy(r->effectName, effectName, sizeof r->effectName - 1);
  *out = seq;
  return 0;
}

ErrorCode DisposeSequenceAlways(Handle seq) {
  if (ErrorCode err = SeqCheck(seq, kSiteDisposeSeq)) return err;
  ErrorCode err = 0;
  if (Rec(seq)->classIndex != kMissingClass) {
    CloseContextsOf(seq);
    PF_OutputRecord out{};
    err = CallSeq(seq, PF_Cmd_SequenceSetdown, out);
    Rec(seq)->seqData = nullptr;
  }
  FreeRecord(seq);
  return err;
}

}  // namespace tv::flt

using namespace tv;
using namespace tv::flt;

ErrorCode FLT_NewSequence(int16_t classIndex, FLT_Parade owner, uintptr_t hostRef, FLT_LayerInitFunc layerInit,
                          uint32_t* outFlags, FLT_Sequence* seqOut, Boolean32* classFound) {
  if (outFlags) *outFlags = 0;
  if (seqOut) *seqOut = nullptr;
  if (classFound) *classFound = 0;
  if (!seqOut) return kReport.BadParam(kSiteNewSeq, {"FLT_NewSequence"});
  ClassRec c;
  if (ErrorCode err = GetClass(classIndex, c)) return err;
  if (classFound) *classFound = 1;
  if (c.flags & kClassUnusable) {
    if (classFound) *classFound = 0;
    return kReport.Fail(kSiteNewSeq, FLT_ErrInvalidFilter, kTextInvalidFilter);
  }
  if (ErrorCode err = ReadyClass(classIndex, kSiteNewSeq)) {
    if (classFound) *classFound = 0;
    return err;
  }
  GetClass(classIndex, c);
  if (outFlags) *outFlags = c.outFlags;

  Handle seq = NewHandleClear(static_cast<Size>(sizeof(SeqRec)));
  Handle index = c.paramIndex, block = c.paramBlock;
  if (!seq || HandToHand(&index) || HandToHand(&block)) {
    if (seq) DisposeHandle(seq);
    if (index != c.paramIndex) DisposeHandle(index);
    UnreadyClass(classIndex);
    return kReport.OutOfMemory(kSiteNewSeq, kTextMemory, sizeof(SeqRec));
  }
  {
    SeqRec* r = Rec(seq);
    r->magic = r->tailMagic = kSeqMagic;
    r->paramIndex = index;
    r->paramBlock = block;
    r->paramCount = static_cast<uint32_t>(c.paramCount);
    r->stamp = 2000;
    r->serial = NextSeqSerial();
    r->classIndex = static_cast<uint16_t>(classIndex);
    r->hostRef = hostRef;
    r->owner = owner;  // for the calls below only
  }
  ErrorCode err = 0;
  {
    auto* params = reinterpret_cast<PF_ParamDef*>(*block);
    if (c.paramCount > 0) {
      params[0].u.words[4] = params[0].u.words[5] = params[0].u.words[6] = 0;
    }
    for (int32_t i = 0; i < c.paramCount && !err; ++i) {
      TDB_Stream s = nullptr;
      err = NewParamStream(params[i], &s);
      params = reinterpret_cast<PF_ParamDef*>(*block);
      params[i].stream = s;
      params[i].identifier = 0;
      if (!err && params[i].type == PF_Param_Layer && layerInit)
        err = layerInit(i, hostRef, &params[i].u.words[0], &params[i].u.words[1]);
    }
  }
  if (!err) err = ArbInitValues(seq);
  bool setUp = false;
  if (!err) {
    PF_OutputRecord out{};
    err = CallSeq(seq, PF_Cmd_SequenceSetup, out);
    setUp = err == 0;
    if (!err) {
      Time t0{0, 600};
      err = FLT_SeekParams(seq, &t0);
      if (!err && (out.outFlags & PF_OutFlag_DialogAtCreation)) {
        PF_OutputRecord dlg{};
        err = CallSeq(seq, PF_Cmd_DoDialog, dlg);
      }
    }
  }
  if (err) {
    if (setUp) {
      PF_OutputRecord out{};
      CallSeq(seq, PF_Cmd_SequenceSetdown, out);
    }
    FreeRecord(seq);
    UnreadyClass(classIndex);
    return err;
  }
  Rec(seq)->owner = nullptr;
  UnreadyClass(classIndex);
  *seqOut = seq;
  return 0;
}

ErrorCode FLT_DisposeSequence(FLT_Sequence seq) {
  if (!seq) return 0;
  if (ErrorCode err = SeqCheck(seq, kSiteDisposeSeq)) return err;
  if (Rec(seq)->owner) return kReport.BadParam(kSiteDisposeSeq, {"FLT_DisposeSequence: in a parade"});
  return DisposeSequenceAlways(seq);
}

ErrorCode FLT_SeqDoDialog(FLT_Sequence seq) {
  if (ErrorCode err = SeqCheck(seq, kSiteSeqName)) return err;
  if (Rec(seq)->classIndex == kMissingClass) return kReport.Fail(kSiteSeqName, 3, kTextNotAvailable, {Rec(seq)->effectName});
  PF_OutputRecord out{};
  return CallSeq(seq, PF_Cmd_DoDialog, out);
}

ErrorCode FLT_SeqSetName(FLT_Sequence seq, const char* name) {
  if (ErrorCode err = SeqCheck(seq, kSiteSeqName)) return err;
  char* dst = Rec(seq)->name;
  std::memset(dst, 0, 48);
  if (!name) return 0;
  size_t n = strnlen(name, 47);
  while (n > 0 && n < std::strlen(name) && (static_cast<uint8_t>(name[n]) & 0xC0) == 0x80) --n;
  std::memcpy(dst, name, n);
  return 0;
}

ErrorCode FLT_SeqInqName(FLT_Sequence seq, char* name48) {
  if (name48) std::memset(name48, 0, 48);
  if (!name48) return kReport.BadParam(kSiteSeqName, {"FLT_SeqInqName"});
  if (ErrorCode err = SeqCheck(seq, kSiteSeqName)) return err;
  std::memcpy(name48, Rec(seq)->name, 48);
  return 0;
}

ErrorCode FLT_SeqInqClass(FLT_Sequence seq, int16_t* classIndex) {
  if (classIndex) *classIndex = static_cast<int16_t>(0x8000);
  if (!classIndex) return kReport.BadParam(kSiteSeqName, {"FLT_SeqInqClass"});
  if (ErrorCode err = SeqCheck(seq, kSiteSeqName)) return err;
  if (Rec(seq)->classIndex != kMissingClass) *classIndex = static_cast<int16_t>(Rec(seq)->classIndex);
  return 0;
}

ErrorCode FLT_SeqLockParams(FLT_Sequence seq, Boolean32 moveHigh, PF_ParamDef*** index) {
  if (index) *index = nullptr;
  if (ErrorCode err = SeqCheck(seq, kSiteSeqLock)) return err;
  SeqRec* r = Rec(seq);
  if (!r->paramIndex) {
    return 0;  // a missing effect has no parameters
  }
  if (r->lockCount == 0) {
    if (moveHigh) {
      HLockHi(r->paramIndex);
      HLockHi(r->paramBlock);
    } else {
      HLock(r->paramIndex);
      HLock(r->paramBlock);
    }
    auto* idx = reinterpret_cast<uintptr_t*>(*r->paramIndex);
    const auto base = reinterpret_cast<uintptr_t>(*r->paramBlock);
    for (uint32_t i = 0; i < r->paramCount; ++i) idx[i] += base;
    idx[r->paramCount] = 0;
  }
  ++r->lockCount;
  if (index) *index = reinterpret_cast<PF_ParamDef**>(*r->paramIndex);
  return 0;
}

ErrorCode FLT_SeqUnlockParams(FLT_Sequence seq) {
  if (ErrorCode err = SeqCheck(seq, kSiteSeqLock)) return err;
  SeqRec* r = Rec(seq);
  if (!r->paramIndex) return 0;
  if (r->lockCount == 0) return kReport.BadParam(kSiteSeqLock, {"FLT_SeqUnlockParams: not locked"});
  if (--r->lockCount == 0) {
    auto* idx = reinterpret_cast<uintptr_t*>(*r->paramIndex);
    const auto base = reinterpret_cast<uintptr_t>(*r->paramBlock);
    for (uint32_t i = 0; i < r->paramCount; ++i) idx[i] -= base;
    idx[r->paramCount] = UINTPTR_MAX;
    HUnlock(r->paramIndex);
    HUnlock(r->paramBlock);
  }
  return 0;
}

ErrorCode FLT_SeqInqNumParams(FLT_Sequence seq, int32_t* count) {
  if (count) *count = 0;
  if (!count) return kReport.BadParam(kSiteSeqParam, {"FLT_SeqInqNumParams"});
  if (ErrorCode err = SeqCheck(seq, kSiteSeqParam)) return err;
  *count = static_cast<int32_t>(Rec(seq)->paramCount);
  return 0;
}

namespace tv::flt {
namespace {

// A copy of the record, its parameters, streams, arbitrary values and the
// bytes of its data.
ErrorCode DuplicateRecord(Handle seq, FLT_Sequence* copy) {
  Handle dup = seq;
  if (HandToHand(&dup)) return kReport.OutOfMemory(kSiteSeqDup, kTextMemory, sizeof(SeqRec));
  SeqRec* r = Rec(dup);
  r->owner = nullptr;
  r->lockCount = 0;
  r->serial = NextSeqSerial();
  Handle handles[4] = {r->paramIndex, r->paramBlock, r->seqData, r->raw};
  bool ok = true;
  for (Handle& h : handles)
    if (h && HandToHand(&h)) {
      h = nullptr;
      ok = false;
    }
  r = Rec(dup);
  r->paramIndex = handles[0];
  r->paramBlock = handles[1];
  r->seqData = handles[2];
  r->raw = handles[3];
  // The copy's arbitrary values are the original's until copied: they are
  // replaced (or cleared) before any path may free the copy.
  ErrorCode err = r->paramBlock ? ArbCopyValues(dup) : 0;
  r = Rec(dup);
  if (!err && !ok) err = kReport.OutOfMemory(kSiteSeqDup, kTextMemory, sizeof(PF_ParamDef));
  // A locked source hands out addresses: the copy keeps offsets.
  if (!err && r->paramIndex && Rec(seq)->lockCount > 0) {
    auto* idx = reinterpret_cast<uintptr_t*>(*r->paramIndex);
    const auto base = reinterpret_cast<uintptr_t>(*Rec(seq)->paramBlock);
    for (uint32_t i = 0; i < r->paramCount; ++i) idx[i] -= base;
    idx[r->paramCount] = UINTPTR_MAX;
  }
  if (r->paramBlock) {
    auto* params = reinterpret_cast<PF_ParamDef*>(*r->paramBlock);
    for (uint32_t i = 0; i < r->paramCount; ++i) {
      TDB_Stream s = static_cast<TDB_Stream>(params[i].stream);
      params[i].stream = nullptr;
      if (s && !err) {
        TDB_Stream d = nullptr;
        err = TDB_DuplicateStream(s, &d);
        params = reinterpret_cast<PF_ParamDef*>(*Rec(dup)->paramBlock);
        params[i].stream = d;
      }
    }
  }
  if (err) {
    if (Rec(dup)->seqData) DisposeHandle(Rec(dup)->seqData);
    Rec(dup)->seqData = nullptr;
    FreeRecord(dup);
    return err;
  }
  *copy = dup;
  return 0;
}

}  // namespace
}  // namespace tv::flt

ErrorCode FLTp_SeqSerial(FLT_Sequence seq, uint64_t* serial) {
  if (serial) *serial = 0;
  if (!serial) return kReport.BadParam(kSiteSeqDup, {"FLTp_SeqSerial"});
  if (ErrorCode err = SeqCheck(seq, kSiteSeqDup)) return err;
  *serial = Rec(seq)->serial;
  return 0;
}

ErrorCode FLTp_DuplicateSequence(FLT_Sequence seq, FLT_Sequence* copy) {
  if (copy) *copy = nullptr;
  if (!copy) return kReport.BadParam(kSiteSeqDup, {"FLTp_DuplicateSequence"});
  if (ErrorCode err = SeqCheck(seq, kSiteSeqDup)) return err;
  // The effect's own data may hold what the effect allocated (a chunk, a
  // table): a copy of its bytes would share it, and the copy's setdown
  // would free what the original still uses. The data is flattened, copied
  // in that form, and each sequence is set up again from it, as a save and
  // an open would do.
  const bool ownData = Rec(seq)->seqData && Rec(seq)->classIndex != kMissingClass;
  if (ownData) {
    PF_OutputRecord out{};
    if (ErrorCode err = CallSeq(seq, PF_Cmd_SequenceFlatten, out)) return err;
  }
  ErrorCode err = DuplicateRecord(seq, copy);
  if (ownData) {
    PF_OutputRecord out{};
    const ErrorCode back = CallSeq(seq, PF_Cmd_SequenceResetup, out);
    if (!err) {
      err = CallSeq(*copy, PF_Cmd_SequenceResetup, out);
      if (!err) err = back;
      if (err) {
        // A failed setup is set down, as after a failed first setup.
        DisposeSequenceAlways(*copy);
        *copy = nullptr;
      }
    }
  }
  return err;
}

