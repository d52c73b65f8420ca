// Streams in chunked files: the "LIST"/"tdbs" container with the "tdb4"
// header, the constant value ("cdat") or the key list, all big-endian.
// Records are converted field by field into scratch buffers; the live stream
// is never byte-swapped.
#include <cmath>
#include <vector>

#include "ByteOrder.h"
#include "LIST_file.h"
#include "Scratch.h"
#include "TDB_internal.h"

namespace tv::tdb {
namespace {

constexpr FourCC kLIST = MakeFourCC("LIST");
constexpr FourCC kForm = MakeFourCC("tdbs");
constexpr FourCC kHeader4 = MakeFourCC("tdb4");
constexpr FourCC kHeader3 = MakeFourCC("tdb3");
constexpr FourCC kHeader2 = MakeFourCC("tdb2");
constexpr FourCC kHeaderH = MakeFourCC("tdbh");
constexpr FourCC kConstant = MakeFourCC("cdat");
constexpr FourCC kCustomForm = MakeFourCC("cval");
constexpr FourCC kCustomAtom = MakeFourCC("cval");
constexpr size_t kHeaderBytes = 116;

// What the per-key conversion needs to know about the stream.
struct Layout {
  int16_t dimension;
  bool spatial;
  bool custom;
  int32_t keySize;
  int32_t valueOffset;
  int32_t dataSize;
};

Layout LayoutOf(const Header& h) {
  return Layout{h.dimension, IsSpatial(h), IsCustom(h), h.keySize, h.valueOffset, h.dataSize};
}

// Key record -> file form (keySize bytes).
void EncodeKey(const Layout& l, const uint8_t* k, uint8_t* f) {
  std::memset(f, 0, static_cast<size_t>(l.keySize));
  be::Store<int32_t>(f, KTime(k));
  f[4] = k[4];
  f[5] = k[5];
  be::Store<uint16_t>(f + 6, KFlags(k));
  if (l.spatial) {
    be::Store<uint32_t>(f + kSpWordOffset, Get<uint32_t>(k, kSpWordOffset));
    // Offset 12 holds the arc-spline slot, which means nothing in a file.
    for (int32_t off = kPathLengthOffset; off <= kSpOutInflOffset; off += 8)
      be::Store<double>(f + off, KD(k, static_cast<size_t>(off)));
  }
  if (l.custom) return;  // the value bytes are written through the kind's traits
  for (int32_t off = l.valueOffset; off + 8 <= l.keySize; off += 8)
    be::Store<double>(f + off, KD(k, static_cast<size_t>(off)));
}

void DecodeKey(const Layout& l, const uint8_t* f, uint8_t* k) {
  std::memset(k, 0, static_cast<size_t>(l.keySize));
  Put<int32_t>(k, 0, be::Load<int32_t>(f));
  k[4] = f[4];
  k[5] = f[5];
  Put<uint16_t>(k, 6, be::Load<uint16_t>(f + 6));
  if (l.spatial) {
    Put<uint32_t>(k, kSpWordOffset, be::Load<uint32_t>(f + kSpWordOffset));
    for (int32_t off = kPathLengthOffset; off <= kSpOutInflOffset; off += 8)
      SetKD(k, static_cast<size_t>(off), be::Load<double>(f + off));
  }
  if (l.custom) return;
  for (int32_t off = l.valueOffset; off + 8 <= l.keySize; off += 8)
    SetKD(k, static_cast<size_t>(off), be::Load<double>(f + off));
}

ErrorCode Encode(intptr_t data, LIST_Handle, int32_t, const void* item, uint8_t* fileItem) {
  EncodeKey(*reinterpret_cast<const Layout*>(data), static_cast<const uint8_t*>(item), fileItem);
  return 0;
}

ErrorCode Decode(intptr_t data, LIST_Handle, int32_t, const uint8_t* fileItem, void* item) {
  const Layout& l = *reinterpret_cast<const Layout*>(data);
  auto* k = static_cast<uint8_t*>(item);
  DecodeKey(l, fileItem, k);
  // The layout bit of every key must match the stream's.
  if (((KFlags(k) & TDB_KeySpatial) != 0) != l.spatial) return FileData(kStrKeyList);
  return 0;
}

std::vector<uint8_t> HeaderRecord(const Header& h, const uint8_t* work) {
  be::Writer w;
  w.Write<uint16_t>(TDB_Magic);
  w.Write<int16_t>(h.dimension);
  w.Write<uint16_t>(h.flags);
  w.Write<int16_t>(h.spatialInterp);
  w.Write<uint16_t>(h.spatialMask);
  w.Write<uint16_t>(h.interpMask);
  w.Write<uint32_t>(h.timeScale);
  w.Write<double>(h.accuracy);
  for (double m : h.multipliers) w.Write<double>(m);
  w.Write<int16_t>(h.desc.kind);
  w.Write<int16_t>(h.desc.second);
  w.Write<uint8_t>(h.desc.dataType);
  w.Write<uint8_t>(h.desc.scalarSize);
  w.WriteZeros(6);  // unused bytes and the routine slot
  w.Write<uint8_t>(IsConstant(h) ? 0 : 1);
  w.WriteZeros(3);
  if (IsConstant(h)) {
    w.Write<int32_t>(KTime(work));
    w.Write<int8_t>(KIn(work));
    w.Write<int8_t>(KOut(work));
    w.Write<uint16_t>(KFlags(work));
    if (IsSpatial(h)) {
      w.Write<uint32_t>(Get<uint32_t>(work, kSpWordOffset));
      for (int32_t off = kPathLengthOffset; off < kSpOutInflOffset; off += 8) w.Write<double>(KD(work, off));
    } else {
      w.WriteZeros(36);
    }
  } else {
    w.Write<int32_t>(kClean);
    w.WriteZeros(40);
  }
  return w.take();
}

// Writes the custom values of the keys (or the constant) through the traits.
ErrorCode WriteCustomValues(const Header& h, const uint8_t* work, SLU_FileContext* file) {
  const TDB_ValueTraits* t = TraitsOf(h.desc.kind);
  if (!t || !t->write) return FailText(kSiteWrite, kErrUnsupported, kStrCustomKind);
  // The values are copied out of the keys first, so that the key list need
  // not stay locked while the traits run.
  ScratchArray<uint8_t> copies;
  size_t count = 0;
  if (IsConstant(h)) {
    count = KTime(work) != kClean ? 1 : 0;
    if (!copies.Allocate(count * static_cast<size_t>(h.dataSize))) return OutOfMemory(kSiteWrite, copies.failedBytes());
    if (count) std::memcpy(copies.data(), work + h.valueOffset, static_cast<size_t>(h.dataSize));
  } else {
    Keys keys(h);
    count = static_cast<size_t>(keys.count());
    if (!copies.Allocate(count * static_cast<size_t>(h.dataSize))) return OutOfMemory(kSiteWrite, copies.failedBytes());
    for (int32_t i = 0; i < keys.count(); ++i) {
      std::memcpy(copies.data() + static_cast<size_t>(i) * h.dataSize, keys.at(i) + h.valueOffset,
                  static_cast<size_t>(h.dataSize));
    }
  }
  slu::ChunkWriter box(file, kLIST, kCustomForm);
  if (box.err()) return box.err();
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* v = copies.data() + i * static_cast<size_t>(h.dataSize);
    int32_t size = 0;
    if (ErrorCode err = t->write(t->data, v, nullptr, 0, &size)) return err;
    if (size < 0) return FailText(kSiteWrite, kErrBadParam, kStrCustomKind);
    ScratchArray<uint8_t> bytes(static_cast<size_t>(size));
    if (!bytes.ok()) return OutOfMemory(kSiteWrite, bytes.failedBytes());
    if (ErrorCode err = t->write(t->data, v, bytes.data(), size, &size)) return err;
    if (ErrorCode err = SLU_WriteAtom(file, kCustomAtom, static_cast<uint32_t>(bytes.size()), bytes.data()))
      return err;
  }
  return box.End();
}

ErrorCode ReadCustomValues(Header& h, uint8_t* work, SLU_FileContext* file, const SLU_Chunk* container) {
  const TDB_ValueTraits* t = TraitsOf(h.desc.kind);
  if (!t || !t->read) return FailText(kSiteRead, kErrUnsupported, kStrCustomKind);
  SLU_Chunk box{};
  if (ErrorCode err = SLU_Descend(file, kLIST, kCustomForm, container, &box, nullptr)) return err;
  ScratchArray<uint8_t*> slots;
  bool constant = IsConstant(h);
  Keys keys(h);
  if (!slots.Allocate(constant ? (KTime(work) != kClean ? 1 : 0) : static_cast<size_t>(keys.count())))
    return OutOfMemory(kSiteRead, slots.failedBytes());
  if (constant && slots.size() == 1) slots[0] = work + h.valueOffset;
  if (!constant)
    for (int32_t i = 0; i < keys.count(); ++i) slots[static_cast<size_t>(i)] = keys.at(i) + h.valueOffset;
  size_t done = 0;
  ErrorCode err = 0;
  for (; done < slots.size(); ++done) {
    SLU_Chunk atom{};
    if ((err = SLU_Descend(file, kCustomAtom, 0, &box, &atom, nullptr)) != 0) break;
    if (atom.size > (64u << 20)) {
      err = FileData(kStrCustomKind);
      break;
    }
    ScratchArray<uint8_t> bytes(atom.size);
    if (!bytes.ok()) {
      err = OutOfMemory(kSiteRead, bytes.failedBytes());
      break;
    }
    if ((err = SLU_Read(file, &atom, atom.size, bytes.data())) != 0) break;
    if ((err = t->read(t->data, bytes.data(), static_cast<int32_t>(bytes.size()), slots[done])) != 0) break;
    if ((err = SLU_Ascend(file, &atom)) != 0) {
      ++done;
      break;
    }
  }
  if (!err) err = SLU_Ascend(file, &box);
  if (err) {
    // Values read so far are released; the others are still zero.
    for (size_t i = 0; i < done && i < slots.size(); ++i) {
      if (t->dispose) t->dispose(t->data, slots[i]);
      std::memset(slots[i], 0, static_cast<size_t>(h.dataSize));
    }
  }
  return err;
}

}  // namespace
}  // namespace tv::tdb

using namespace tv;
using namespace tv::tdb;

ErrorCode TDB_WriteStream(TDB_Stream stream, SLU_FileContext* file) try {
  if (!file) return kReport.BadParam(kSiteArgument, {"TDB_WriteStream"});
  Locked l(stream, kSiteWrite, kVerbWrite);
  if (!l.ok()) return l.err();
  Header& h = l.h();
  FlushCache(stream);
  // Derived data (path lengths, floating key times) are current in the file.
  if (IsSpatial(h) && !IsConstant(h) && h.change[0] != kClean) {
    if (ErrorCode err = UpdateStream(stream)) return err;
  }
  std::vector<uint8_t> header = HeaderRecord(h, l.work());
  slu::ChunkWriter container(file, kLIST, kForm);
  if (container.err()) return container.err();
  if (ErrorCode err = SLU_WriteAtom(file, kHeader4, static_cast<uint32_t>(header.size()), header.data())) return err;
  if (IsConstant(h)) {
    ScratchArray<uint8_t> data(static_cast<size_t>(h.dataSize), true);
    if (!data.ok()) return OutOfMemory(kSiteWrite, data.failedBytes());
    if (!IsCustom(h))
      for (int32_t off = 0; off + 8 <= h.dataSize; off += 8)
        be::Store<double>(data.data() + off, KD(l.work(), static_cast<size_t>(h.valueOffset + off)));
    if (ErrorCode err = SLU_WriteAtom(file, kConstant, static_cast<uint32_t>(data.size()), data.data())) return err;
  } else {
    Layout layout = LayoutOf(h);
    if (ErrorCode err = LIST_WriteEncoded(h.keys, h.keySize, Encode, reinterpret_cast<intptr_t>(&layout), file))
      return err;
  }
  if (IsCustom(h)) {
    if (ErrorCode err = WriteCustomValues(h, l.work(), file)) return err;
  }
  return container.End();
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_ReadStream(SLU_FileContext* file, const SLU_Chunk* parentChunk, TDB_Stream* stream) try {
  return TDB_ReadStreamPlus(file, parentChunk, nullptr, stream);
} TV_CATCH(TDB_PackageNumber)

namespace {

struct ParsedHeader {
  uint16_t magic;
  int16_t dimension;
  uint16_t flags;
  int16_t spatialInterp;
  uint16_t spatialMask;
  uint16_t interpMask;
  uint32_t timeScale;
  double accuracy;
  double multipliers[4];
  TDB_ValueDesc desc;
  uint8_t hasList;
  uint8_t work[48];  // bytes 0..47 of the constant key
};

ErrorCode ParseHeader(std::span<const uint8_t> bytes, ParsedHeader* p) {
  be::Reader r(bytes);
  p->magic = r.Read<uint16_t>();
  p->dimension = r.Read<int16_t>();
  p->flags = r.Read<uint16_t>();
  p->spatialInterp = r.Read<int16_t>();
  p->spatialMask = r.Read<uint16_t>();
  p->interpMask = r.Read<uint16_t>();
  p->timeScale = r.Read<uint32_t>();
  p->accuracy = r.Read<double>();
  for (double& m : p->multipliers) m = r.Read<double>();
  p->desc = TDB_ValueDesc{};
  p->desc.kind = r.Read<int16_t>();
  p->desc.second = r.Read<int16_t>();
  p->desc.dataType = r.Read<uint8_t>();
  r.Skip(7);  // the size byte, unused bytes and the routine slot are derived again
  p->hasList = r.Read<uint8_t>();
  r.Skip(3);
  std::memset(p->work, 0, sizeof p->work);
  Put<int32_t>(p->work, 0, r.Read<int32_t>());
  p->work[4] = r.Read<uint8_t>();
  p->work[5] = r.Read<uint8_t>();
  Put<uint16_t>(p->work, 6, r.Read<uint16_t>());
  Put<uint32_t>(p->work, kSpWordOffset, r.Read<uint32_t>());
  for (int32_t off = kPathLengthOffset; off < kSpOutInflOffset; off += 8) SetKD(p->work, off, r.Read<double>());
  if (!r.ok()) return FileData(kDetailHeaderLength);
  // Everything the stream's layout depends on is checked before a stream exists.
  if (p->magic != TDB_Magic) return FileData(kStrHeaderWhat);
  if (p->dimension < 1 || p->dimension > TDB_MaxDimension) return FileData(kDetailDimension);
  bool spatial = p->flags & TDB_StreamSpatial;
  if ((p->flags & ~0xFu) || (!spatial && (p->flags & (TDB_StreamSParametrize | TDB_StreamNonDecreasing))))
    return FileData(kDetailFlags);
  if (p->timeScale == 0) return Fail(kSiteRead, TDB_ErrTimeScale, kStrTimeStream);
  if (!std::isfinite(p->accuracy) || p->accuracy < 0) return FileData(kStrHeaderWhat);
  for (double m : p->multipliers)
    if (!std::isfinite(m)) return FileData(kStrHeaderWhat);
  if (p->desc.kind == 0 && p->desc.dataType >= 10) return FileData(kDetailValueDesc);
  if (p->desc.kind != 0 && !TraitsOf(p->desc.kind)) return FileData(kStrCustomKind);
  bool constant = p->flags & TDB_StreamConstant;
  if (p->hasList != (constant ? 0 : 1)) return FileData(kStrHeaderWhat);
  return 0;
}

// A key's method is one the stream allows, or a built-in one (linear, Bezier,
// hold), which a stream keeps when its mask is narrowed later. Any other
// method could not have been set by an edit, and no value between such keys
// could be computed.
bool Readable(const Header& h, int8_t method) {
  return MethodAllowed(h, method) || (method >= TDB_InterpLinear && method <= TDB_InterpHold);
}

ErrorCode ReadBody(SLU_FileContext* file, const SLU_Chunk* container, const ParsedHeader& p, TDB_Stream* out) {
  TDB_Stream s = nullptr;
  bool constant = p.flags & TDB_StreamConstant;
  bool spatial = p.flags & TDB_StreamSpatial;
  if (ErrorCode err = TDB_NewStream(p.dimension, p.timeScale, constant, spatial, p.interpMask, p.spatialMask,
                                    &p.desc, &s))
    return err;
  // The stream goes again on every failure, an exception included; it is
  // unlocked before that.
  struct Owner {
    TDB_Stream s;
    ~Owner() {
      if (s) TDB_DisposeStream(s);
    }
  } owner{s};
  HandleLock<> lock(reinterpret_cast<Handle>(s));
  auto fail = [](ErrorCode err) { return err; };
  Header& h = *H(s);
  h.flags = p.flags;
  h.accuracy = p.accuracy;
  h.spatialInterp = p.spatialInterp;
  for (int i = 0; i < 4; ++i) h.multipliers[i] = p.multipliers[i];
  uint8_t* w = Work(s);
  if (constant) {
    std::memcpy(w, p.work, 8);
    if (spatial) std::memcpy(w + 8, p.work + 8, 40);
    Put<uint32_t>(w, kSplineSlotOffset, 0);
    SLU_Chunk atom{};
    if (ErrorCode err = SLU_Descend(file, kConstant, 0, container, &atom, nullptr)) return fail(err);
    // A shorter value would leave part of it stale, a longer one is not ours.
    if (atom.size != static_cast<uint32_t>(h.dataSize)) return fail(FileData(kDetailConstantSize));
    ScratchArray<uint8_t> data(atom.size);
    if (!data.ok()) return fail(OutOfMemory(kSiteRead, data.failedBytes()));
    if (ErrorCode err = SLU_Read(file, &atom, atom.size, data.data())) return fail(err);
    if (ErrorCode err = SLU_Ascend(file, &atom)) return fail(err);
    if (!IsCustom(h))
      for (int32_t off = 0; off + 8 <= h.dataSize; off += 8)
        SetKD(w, static_cast<size_t>(h.valueOffset + off), be::Load<double>(data.data() + off));
  } else {
    Layout layout = LayoutOf(h);
    LIST_Handle keys = nullptr;
    if (ErrorCode err = LIST_ReadDecoded(file, container, h.keySize, h.keySize, Decode,
                                         reinterpret_cast<intptr_t>(&layout), &keys))
      return fail(err);
    LIST_Dispose(h.keys, 0);
    h.keys = keys;
    bool ordered = true, methods = true;
    {
      Keys k(h);
      for (int32_t i = 0; i < k.count(); ++i) {
        if (k.time(i) == kClean || (i > 0 && k.time(i) <= k.time(i - 1))) ordered = false;
        if (!Readable(h, KIn(k.at(i))) || !Readable(h, KOut(k.at(i)))) methods = false;
      }
    }
    if (!ordered) return fail(FileData(kDetailKeyOrder));
    if (!methods) return fail(FileData(kStrKeyList));
  }
  if (IsCustom(h)) {
    if (ErrorCode err = ReadCustomValues(h, w, file, container)) return fail(err);
  }
  FixEnds(h);
  MarkAll(h);  // path lengths and arc splines are derived again on first use
  if (!constant) Put<int32_t>(w, 0, kClean);
  lock.reset();
  owner.s = nullptr;
  *out = s;
  return 0;
}

}  // namespace

ErrorCode TDB_ReadStreamPlus(SLU_FileContext* file, const SLU_Chunk* parentChunk, SLU_Chunk* entered,
                             TDB_Stream* stream) try {
  if (!stream) return kReport.BadParam(kSiteArgument, {"TDB_ReadStreamPlus"});
  *stream = nullptr;
  if (!file) return kReport.BadParam(kSiteArgument, {"TDB_ReadStreamPlus"});
  if (kReport.InstallTable() != 0) return STRp_ForgotInit(TDB_PackageNumber);
  SLU_Chunk own{};
  SLU_Chunk* container = entered;
  if (!container) {
    if (ErrorCode err = SLU_Descend(file, kLIST, kForm, parentChunk, &own, nullptr)) return err;
    container = &own;
  } else if (container->id != kLIST || container->formType != kForm) {
    return FileData(kDetailChunkId);
  }
  SLU_Chunk atom{};
  if (ErrorCode err = SLU_Descend(file, 0, 0, container, &atom, nullptr)) return err;
  if (atom.id == kHeader3 || atom.id == kHeader2 || atom.id == kHeaderH) {
    // The older header forms have no known layout here: refused rather than guessed.
    return FailText(kSiteRead, kErrUnsupported, kStrOldForms);
  }
  if (atom.id != kHeader4) return FileData(kDetailChunkId);
  if (atom.size < kHeaderBytes) return FileData(kDetailHeaderLength);
  uint8_t bytes[kHeaderBytes];
  uint32_t got = 0;
  if (ErrorCode err = slu::ReadUpTo(file, &atom, bytes, &got)) return err;
  if (got != kHeaderBytes) return FileData(kDetailHeaderLength);
  // A longer atom is read as far as the known bytes; the rest is skipped.
  if (ErrorCode err = SLU_Ascend(file, &atom)) return err;
  ParsedHeader p{};
  if (ErrorCode err = ParseHeader(bytes, &p)) return err;
  TDB_Stream s = nullptr;
  if (ErrorCode err = ReadBody(file, container, p, &s)) return err;
  if (!entered) {
    if (ErrorCode err = SLU_Ascend(file, &own)) {
      TDB_DisposeStream(s);
      return err;
    }
  }
  *stream = s;
  return 0;
} TV_CATCH(TDB_PackageNumber)
