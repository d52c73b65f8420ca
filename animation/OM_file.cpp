// Shapes and shape streams in files: the shape's byte form (big-endian,
// field by field), the "OMsh" atom, and shape streams through the stream
// layer's chunks with their values in that byte form.
#include <cstring>

#include "ByteOrder.h"
#include "OM_internal.h"

namespace tv::om {
namespace {

constexpr FourCC kShapeAtom = MakeFourCC("OMsh");
constexpr size_t kHead = 24;

ErrorCode Corrupt() { return kReport.Fail(kSiteFile, OM_ErrFileData, kTextCorrupt); }

}  // namespace
}  // namespace tv::om

using namespace tv;
using namespace tv::om;

ErrorCode OM_ShapeByteSize(OM_Shape shape, int32_t* size) {
  if (!size) return BadArg(kSiteFile, "OM_ShapeByteSize");
  *size = 0;
  int32_t n = 0;
  if (ErrorCode err = OM_GetShapeInfo(shape, nullptr, nullptr, &n)) return err;
  if (n > OM_MaxPoints) return kReport.Fail(kSiteFile, OM_ErrPointCount, kTextPointCount, {""});
  *size = static_cast<int32_t>(kHead) + 8 * n;
  return 0;
}

ErrorCode OM_ShapeToBytes(OM_Shape shape, uint8_t* bytes, int32_t capacity, int32_t* size) {
  if (!size || !bytes || capacity < 0) return BadArg(kSiteFile, "OM_ShapeToBytes");
  *size = 0;
  int32_t need = 0;
  if (ErrorCode err = OM_ShapeByteSize(shape, &need)) return err;
  if (need > capacity) return kReport.Fail(kSiteFile, kErrRange, kTextBadArgument, {"OM_ShapeToBytes (buffer too small)"});
  ScratchArray<FixedPoint> pts;
  if (ErrorCode err = LoadPoints(shape, pts, kSiteFile)) return err;
  const ShapeRec r = Rec(shape);
  uint8_t* p = bytes;
  be::Store<uint16_t>(p, OM_Magic);
  p[2] = r.type;
  p[3] = r.flags;
  const int32_t b[4] = {r.bounds.left, r.bounds.top, r.bounds.right, r.bounds.bottom};
  for (int i = 0; i < 4; ++i) be::Store<int32_t>(p + 4 + 4 * i, b[i]);
  be::Store<uint32_t>(p + 20, static_cast<uint32_t>(pts.size()));
  for (size_t i = 0; i < pts.size(); ++i) {
    be::Store<int32_t>(p + kHead + 8 * i, pts[i].h);
    be::Store<int32_t>(p + kHead + 8 * i + 4, pts[i].v);
  }
  *size = need;
  return 0;
}

ErrorCode OM_ShapeFromBytes(const uint8_t* bytes, int32_t size, OM_Shape* shape) {
  if (!shape) return BadArg(kSiteFile, "OM_ShapeFromBytes");
  *shape = nullptr;
  if (!bytes || size < static_cast<int32_t>(kHead)) return Corrupt();
  be::Reader in({bytes, static_cast<size_t>(size)});
  const uint16_t magic = in.Read<uint16_t>();
  const uint8_t type = in.Read<uint8_t>(), flags = in.Read<uint8_t>();
  FixedRect b{};
  b.left = in.Read<int32_t>();
  b.top = in.Read<int32_t>();
  b.right = in.Read<int32_t>();
  b.bottom = in.Read<int32_t>();
  const uint32_t n = in.Read<uint32_t>();
  if (!in.ok() || magic != OM_Magic || type < OM_TypeRect || type > OM_TypeOval || (flags & ~OM_FlagRelative) ||
      b.left > b.right || b.top > b.bottom || n % 3 != 0 || n > static_cast<uint32_t>(OM_MaxPoints) ||
      (type != OM_TypePath && n != 0) || in.remaining() != size_t{8} * n)
    return Corrupt();
  ScratchArray<FixedPoint> pts(n);
  if (!pts.ok()) return kReport.OutOfMemory(kSiteFile, kTextShape, pts.failedBytes());
  for (uint32_t i = 0; i < n; ++i) {
    pts[i].h = in.Read<int32_t>();
    pts[i].v = in.Read<int32_t>();
  }
  LIST_Handle list = nullptr;
  if (type == OM_TypePath)
    if (ErrorCode err = NewPointList({pts.data(), pts.size()}, &list, kSiteFile)) return err;
  return MakeShape(type, flags, b, list, shape, kSiteFile);
}

ErrorCode OM_WriteShape(OM_Shape shape, SLU_FileContext* file) {
  if (!file) return BadArg(kSiteFile, "OM_WriteShape");
  int32_t size = 0;
  if (ErrorCode err = OM_ShapeByteSize(shape, &size)) return err;
  ScratchArray<uint8_t> bytes(static_cast<size_t>(size));
  if (!bytes.ok()) return kReport.OutOfMemory(kSiteFile, kTextShape, bytes.failedBytes());
  if (ErrorCode err = OM_ShapeToBytes(shape, bytes.data(), size, &size)) return err;
  return SLU_WriteAtom(file, kShapeAtom, static_cast<uint32_t>(size), bytes.data());
}

ErrorCode OM_ReadShape(SLU_FileContext* file, const SLU_Chunk* parent, OM_Shape* shape) {
  if (!shape) return BadArg(kSiteFile, "OM_ReadShape");
  *shape = nullptr;
  if (!file) return BadArg(kSiteFile, "OM_ReadShape");
  SLU_Chunk atom{};
  if (ErrorCode err = SLU_Descend(file, kShapeAtom, 0, parent, &atom, nullptr)) return err;
  // The size is checked before anything is allocated for it.
  if (atom.size < kHead || atom.size > kHead + 8u * OM_MaxPoints) {
    SLU_Ascend(file, &atom);
    return Corrupt();
  }
  ScratchArray<uint8_t> bytes(atom.size);
  if (!bytes.ok()) return kReport.OutOfMemory(kSiteFile, kTextShape, bytes.failedBytes());
  if (ErrorCode err = SLU_Read(file, &atom, atom.size, bytes.data())) return err;
  if (ErrorCode err = SLU_Ascend(file, &atom)) return err;
  return OM_ShapeFromBytes(bytes.data(), static_cast<int32_t>(atom.size), shape);
}

ErrorCode OM_WriteStream(TDB_Stream stream, SLU_FileContext* file) {
  TDB_StreamInfo info{};
  if (ErrorCode err = TDB_GetStreamInfo(stream, &info)) return err;
  if (info.valueDescription.kind != OM_ValueKind) return BadArg(kSiteFile, "OM_WriteStream");
  return TDB_WriteStream(stream, file);
}

ErrorCode OM_ReadStream(SLU_FileContext* file, const SLU_Chunk* parent, TDB_Stream* stream) {
  if (!stream) return BadArg(kSiteFile, "OM_ReadStream");
  *stream = nullptr;
  if (ErrorCode err = RegisterShapeKind(true)) return err;
  TDB_Stream s = nullptr;
  if (ErrorCode err = TDB_ReadStream(file, parent, &s)) return err;
  TDB_StreamInfo info{};
  ErrorCode err = TDB_GetStreamInfo(s, &info);
  if (!err && (info.valueDescription.kind != OM_ValueKind || info.dimension != 1 ||
               !(info.flags & TDB_StreamSpatial)))
    err = Corrupt();
  if (err) {
    TDB_DisposeStream(s);
    return err;
  }
  *stream = s;
  return 0;
}
