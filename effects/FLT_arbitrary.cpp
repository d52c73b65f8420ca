// Arbitrary-data parameters: values the effect defines itself, held in
// handles and worked on by the effect (arbitrary-data command) or, when it
// leaves the work to the host, as plain bytes. Their values are copied per
// Sequence, compared, printed and scanned, and stored in files as an
// "aRbs" container of "aRbp" atoms (u32 parameter index, then the value's
// flattened bytes).
#include <algorithm>
#include <cstring>

#include "ByteOrder.h"
#include "FLT_internal.h"

namespace tv::flt {
namespace {

constexpr FourCC kLIST = MakeFourCC("LIST");
constexpr FourCC kARbs = MakeFourCC("aRbs");
constexpr FourCC kARbp = MakeFourCC("aRbp");
// Text given to scan and flattened values taken from files are bounded.
constexpr uint32_t kMaxArbBytes = 64u << 20;

SeqRec* Rec(Handle seq) { return reinterpret_cast<SeqRec*>(*seq); }

Handle HandleAt(const PF_ParamDef& p, int offset) {
  Handle h = nullptr;
  std::memcpy(&h, p.u.bytes + offset, sizeof h);
  return h;
}
void SetHandleAt(PF_ParamDef& p, int offset, Handle h) { std::memcpy(p.u.bytes + offset, &h, sizeof h); }

// The host's plain-bytes form of an operation the effect left to it.
ErrorCode HostOp(PF_ArbitraryCall& call) {
  switch (call.op) {
    case PF_Arb_New:
      call.result = NewHandleClear(0);
      return call.result ? 0 : kReport.OutOfMemory(kSiteArbitrary, kTextMemory, 0);
    case PF_Arb_Dispose:
      if (call.value) DisposeHandle(call.value);
      return 0;
    case PF_Arb_Copy:
    case PF_Arb_Interpolate: {
      // Bytes cannot be blended: a copy of the nearer value.
      Handle src = call.op == PF_Arb_Interpolate && call.ratio >= 0.5 ? call.other : call.value;
      if (!src) return kReport.BadParam(kSiteArbitrary, {"arbitrary value"});
      Handle h = src;
      if (HandToHand(&h)) return kReport.OutOfMemory(kSiteArbitrary, kTextMemory, GetHandleSize(src));
      call.result = h;
      return 0;
    }
    case PF_Arb_FlatSize:
      call.size = call.value ? static_cast<uint32_t>(GetHandleSize(call.value)) : 0;
      return 0;
    case PF_Arb_Flatten: {
      const auto n = call.value ? static_cast<uint32_t>(GetHandleSize(call.value)) : 0;
      if (n > call.size || (n && !call.bytes)) return kReport.Fail(kSiteArbitrary, 3, kTextBufferSize);
      if (n) std::memcpy(call.bytes, *call.value, n);
      call.size = n;
      return 0;
    }
    case PF_Arb_Unflatten: {
      Handle h = NewHandle(static_cast<Size>(call.size));
      if (!h) return kReport.OutOfMemory(kSiteArbitrary, kTextMemory, call.size);
      if (call.size) std::memcpy(*h, call.bytes, call.size);
      call.result = h;
      return 0;
    }
    case PF_Arb_Compare: {
      const Size a = call.value ? GetHandleSize(call.value) : 0, b = call.other ? GetHandleSize(call.other) : 0;
      int c = a < b ? -1 : a > b ? 1 : 0;
      if (!c && a) c = std::memcmp(*call.value, *call.other, static_cast<size_t>(a));
      call.compare = c < 0 ? -1 : c > 0 ? 1 : 0;
      return 0;
    }
    default:
      return PF_Result_NotHandled;  // printing and scanning have no host form
  }
}

// The arbitrary-data parameter at index of a Sequence of an installed class.
ErrorCode ArbParam(Handle seq, int32_t index, PF_ParamDef** p) {
  *p = nullptr;
  if (ErrorCode err = SeqCheck(seq, kSiteArbitrary)) return err;
  if (Rec(seq)->classIndex == kMissingClass)
    return kReport.Fail(kSiteArbitrary, 3, kTextNotAvailable, {Rec(seq)->effectName});
  if (ErrorCode err = ParamAt(seq, index, kSiteArbitrary, p)) return err;
  if ((*p)->type != PF_Param_Arbitrary) {
    *p = nullptr;
    return kReport.Fail(kSiteArbitrary, 3, kTextArbIndex);
  }
  return 0;
}

int16_t ClassOf(Handle seq) { return static_cast<int16_t>(Rec(seq)->classIndex); }

template <class F>
void ForArbitrary(Handle seq, F&& fn) {
  SeqRec* r = Rec(seq);
  if (!r->paramBlock) return;
  const auto fit = static_cast<uint32_t>(GetHandleSize(r->paramBlock) / static_cast<Size>(sizeof(PF_ParamDef)));
  const uint32_t n = std::min(r->paramCount, fit);
  for (uint32_t i = 0; i < n; ++i) {
    auto* p = reinterpret_cast<PF_ParamDef*>(*Rec(seq)->paramBlock) + i;
    if (p->type == PF_Param_Arbitrary) fn(static_cast<int32_t>(i));
  }
}

PF_ParamDef& BlockParam(Handle seq, int32_t i) { return reinterpret_cast<PF_ParamDef*>(*Rec(seq)->paramBlock)[i]; }

}  // namespace

Handle ArbValue(const PF_ParamDef& p) { return HandleAt(p, 0); }
Handle ArbDefault(const PF_ParamDef& p) { return HandleAt(p, 8); }
void SetArbValue(PF_ParamDef& p, Handle h) { SetHandleAt(p, 0, h); }
void SetArbDefault(PF_ParamDef& p, Handle h) { SetHandleAt(p, 8, h); }

ErrorCode ArbCall(int16_t classIndex, Handle seq, PF_ArbitraryCall& call) {
  PF_InputRecord in{};
  PF_OutputRecord out{};
  EffectRef ref{};
  PrepareInput(in, ref, PF_Cmd_ArbitraryData, classIndex, seq);
  call.result = nullptr;
  ErrorCode err = CallEffect(classIndex, PF_Cmd_ArbitraryData, seq, in, out, nullptr, nullptr, &call);
  if (seq) Rec(seq)->seqData = out.sequenceData;
  if (err == PF_Result_NotHandled) err = HostOp(call);
  return err;
}

ErrorCode ArbCopy(int16_t classIndex, Handle seq, int32_t index, Handle src, Handle* copy) {
  *copy = nullptr;
  if (!src) return 0;
  PF_ArbitraryCall call{};
  call.op = PF_Arb_Copy;
  call.paramIndex = index;
  call.value = src;
  if (ErrorCode err = ArbCall(classIndex, seq, call)) return err;
  // An effect that answers success must give a value.
  if (!call.result) return kReport.Fail(kSiteArbitrary, 3, kTextArbIndex);
  *copy = call.result;
  return 0;
}

void ArbDispose(int16_t classIndex, Handle seq, int32_t index, Handle value) {
  if (!value) return;
  PF_ArbitraryCall call{};
  call.op = PF_Arb_Dispose;
  call.paramIndex = index;
  call.value = value;
  ArbCall(classIndex, seq, call);
}

ErrorCode ArbInitValues(Handle seq) {
  ErrorCode err = 0;
  ForArbitrary(seq, [&](int32_t i) {
    Handle def = ArbDefault(BlockParam(seq, i));
    SetArbValue(BlockParam(seq, i), nullptr);
    SetArbDefault(BlockParam(seq, i), nullptr);  // the default stays the class's
    Handle value = nullptr;
    if (!err) err = ArbCopy(ClassOf(seq), seq, i, def, &value);
    SetArbValue(BlockParam(seq, i), value);
  });
  return err;
}

void ArbDisposeValues(Handle seq) {
  if (Rec(seq)->classIndex == kMissingClass) return;
  ForArbitrary(seq, [&](int32_t i) {
    Handle value = ArbValue(BlockParam(seq, i));
    SetArbValue(BlockParam(seq, i), nullptr);
    ArbDispose(ClassOf(seq), seq, i, value);
  });
}

ErrorCode ArbCopyValues(Handle seq) {
  ErrorCode err = 0;
  ForArbitrary(seq, [&](int32_t i) {
    // The values still belong to the original until replaced by copies.
    Handle shared = ArbValue(BlockParam(seq, i));
    SetArbValue(BlockParam(seq, i), nullptr);
    Handle copy = nullptr;
    if (!err) err = ArbCopy(ClassOf(seq), seq, i, shared, &copy);
    SetArbValue(BlockParam(seq, i), copy);
  });
  return err;
}

ErrorCode ArbWrite(Handle seq, SLU_FileContext* file) {
  bool any = false;
  ForArbitrary(seq, [&](int32_t) { any = true; });
  if (!any) return 0;
  slu::ChunkWriter list(file, kLIST, kARbs);
  if (list.err()) return list.err();
  ErrorCode err = 0;
  ForArbitrary(seq, [&](int32_t i) {
    if (err) return;
    PF_ArbitraryCall size{};
    size.op = PF_Arb_FlatSize;
    size.paramIndex = i;
    size.value = ArbValue(BlockParam(seq, i));
    if ((err = ArbCall(ClassOf(seq), seq, size))) return;
    if (size.size > kMaxArbBytes) {
      err = kReport.Fail(kSiteArbitrary, 3, kTextBufferSize);
      return;
    }
    Handle atom = NewHandleClear(static_cast<Size>(4 + size.size));
    if (!atom) {
      err = kReport.OutOfMemory(kSiteArbitrary, kTextMemory, 4 + size.size);
      return;
    }
    {
      HandleLock<uint8_t> bytes(atom);
      be::Store<uint32_t>(bytes.get(), static_cast<uint32_t>(i));
      PF_ArbitraryCall flat{};
      flat.op = PF_Arb_Flatten;
      flat.paramIndex = i;
      flat.value = ArbValue(BlockParam(seq, i));
      flat.bytes = bytes.get() + 4;
      flat.size = size.size;
      err = ArbCall(ClassOf(seq), seq, flat);
      // The effect may write less than it announced, never more.
      if (!err && flat.size > size.size) err = kReport.Fail(kSiteArbitrary, 3, kTextBufferSize);
      if (!err) size.size = flat.size;
    }
    if (!err) err = SLU_WriteAtom(file, kARbp, 4 + size.size, *atom);
    DisposeHandle(atom);
  });
  if (err) return err;
  return list.End();
}

ErrorCode ArbRead(Handle seq, SLU_FileContext* file, const SLU_Chunk& seqChunk) {
  SLU_Chunk list{};
  Boolean32 found = 0;
  if (ErrorCode err = SLU_DescendStable(file, kLIST, kARbs, &seqChunk, &list, &found)) return err;
  if (!found) return 0;
  for (;;) {
    Handle atom = nullptr;
    SLU_Chunk a{};
    Boolean32 here = 0;
    if (ErrorCode err = SLU_DescendStable(file, kARbp, 0, &list, &a, &here)) return err;
    if (!here) break;
    if (a.size < 4 || a.size - 4 > kMaxArbBytes) return kReport.Fail(kSiteRead, FLT_ErrBadData, kTextCannotParse);
    atom = NewHandle(static_cast<Size>(a.size));
    if (!atom) return kReport.OutOfMemory(kSiteRead, kTextMemory, a.size);
    ErrorCode err = 0;
    {
      HandleLock<uint8_t> bytes(atom);
      err = SLU_Read(file, &a, a.size, bytes.get());
    }
    if (!err) err = SLU_Ascend(file, &a);
    const uint32_t index = err ? 0 : be::Load<uint32_t>(reinterpret_cast<const uint8_t*>(*atom));
    // An index that names no arbitrary-data parameter of this class (the
    // effect changed) is skipped: the parameter keeps its default.
    PF_ParamDef* p = nullptr;
    if (!err && index < Rec(seq)->paramCount && ParamAt(seq, static_cast<int32_t>(index), kSiteRead, &p) == 0 &&
        p->type == PF_Param_Arbitrary) {
      PF_ArbitraryCall call{};
      call.op = PF_Arb_Unflatten;
      call.paramIndex = static_cast<int32_t>(index);
      {
        HandleLock<uint8_t> bytes(atom);
        call.bytes = bytes.get() + 4;
        call.size = a.size - 4;
        err = ArbCall(ClassOf(seq), seq, call);
      }
      if (!err && !call.result) err = kReport.Fail(kSiteRead, FLT_ErrBadData, kTextCannotParse);
      if (!err) {
        ParamAt(seq, static_cast<int32_t>(index), kSiteRead, &p);
        Handle old = ArbValue(*p);
        SetArbValue(*p, call.result);
        ArbDispose(ClassOf(seq), seq, static_cast<int32_t>(index), old);
      }
    } else if (!err) {
      kReport.Note(kSiteRead, kSevWarning, kTextArbIndex);
    }
    DisposeHandle(atom);
    if (err) return err;
  }
  return SLU_Ascend(file, &list);
}

}  // namespace tv::flt

using namespace tv;
using namespace tv::flt;

ErrorCode FLT_AreCustomStreamsEqual(FLT_Sequence seq, int32_t index, Handle a, Handle b, Boolean32* equal) {
  if (equal) *equal = 0;
  if (!equal) return kReport.BadParam(kSiteArbitrary, {"FLT_AreCustomStreamsEqual"});
  PF_ParamDef* p = nullptr;
  if (ErrorCode err = ArbParam(seq, index, &p)) return err;
  PF_ArbitraryCall call{};
  call.op = PF_Arb_Compare;
  call.paramIndex = index;
  call.value = a ? a : ArbValue(*p);
  call.other = b ? b : ArbValue(*p);
  if (ErrorCode err = ArbCall(ClassOf(seq), seq, call)) return err;
  *equal = call.compare == 0;
  return 0;
}

ErrorCode FLT_ArbitraryPrintSize(FLT_Sequence seq, int32_t index, Handle value, int32_t* size) {
  if (size) *size = 0;
  if (!size) return kReport.BadParam(kSiteArbitrary, {"FLT_ArbitraryPrintSize"});
  PF_ParamDef* p = nullptr;
  if (ErrorCode err = ArbParam(seq, index, &p)) return err;
  PF_ArbitraryCall call{};
  call.op = PF_Arb_PrintSize;
  call.paramIndex = index;
  call.value = value ? value : ArbValue(*p);
  if (ErrorCode err = ArbCall(ClassOf(seq), seq, call)) return err;
  if (call.size > kMaxArbBytes) return kReport.Fail(kSiteArbitrary, 3, kTextBufferSize);
  *size = static_cast<int32_t>(call.size);
  return 0;
}

ErrorCode FLT_ArbitraryPrint(FLT_Sequence seq, int32_t index, Handle value, char* text, int32_t size) {
  if (text && size > 0) std::memset(text, 0, static_cast<size_t>(size));
  if (!text || size < 1) return kReport.BadParam(kSiteArbitrary, {"FLT_ArbitraryPrint"});
  PF_ParamDef* p = nullptr;
  if (ErrorCode err = ArbParam(seq, index, &p)) return err;
  PF_ArbitraryCall call{};
  call.op = PF_Arb_Print;
  call.paramIndex = index;
  call.value = value ? value : ArbValue(*p);
  call.bytes = text;
  call.size = static_cast<uint32_t>(size);
  ErrorCode err = ArbCall(ClassOf(seq), seq, call);
  // The text is the effect's: it ends within the caller's room.
  text[size - 1] = 0;
  if (err) std::memset(text, 0, static_cast<size_t>(size));
  return err;
}

ErrorCode FLT_ArbitraryScan(FLT_Sequence seq, int32_t index, const char* text, int32_t length, Handle* value) {
  if (value) *value = nullptr;
  if (!text || length < 0 || !value || static_cast<uint32_t>(length) > kMaxArbBytes)
    return kReport.BadParam(kSiteArbitrary, {"FLT_ArbitraryScan"});
  PF_ParamDef* p = nullptr;
  if (ErrorCode err = ArbParam(seq, index, &p)) return err;
  PF_ArbitraryCall call{};
  call.op = PF_Arb_Scan;
  call.paramIndex = index;
  call.bytes = const_cast<char*>(text);
  call.size = static_cast<uint32_t>(length);
  // An effect that cannot scan answers 518: handed back without a report.
  if (ErrorCode err = ArbCall(ClassOf(seq), seq, call)) return err;
  if (!call.result) return kReport.Fail(kSiteArbitrary, 3, kTextArbIndex);
  *value = call.result;
  return 0;
}

ErrorCode FLTp_SeqSetArbitraryValue(FLT_Sequence seq, int32_t index, Handle value) {
  if (!value) return kReport.BadParam(kSiteArbitrary, {"FLTp_SeqSetArbitraryValue"});
  PF_ParamDef* p = nullptr;
  if (ErrorCode err = ArbParam(seq, index, &p)) return err;
  Handle copy = nullptr;
  if (ErrorCode err = ArbCopy(ClassOf(seq), seq, index, value, &copy)) return err;
  ParamAt(seq, index, kSiteArbitrary, &p);
  Handle old = ArbValue(*p);
  SetArbValue(*p, copy);
  ArbDispose(ClassOf(seq), seq, index, old);
  return 0;
}
