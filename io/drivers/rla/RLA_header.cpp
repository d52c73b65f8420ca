// The RLA header: reading its fields, the checks that make a file usable,
// the auxiliary channel list named in the program field, and the channel
// descriptions.
#include <cstring>

#include "ByteOrder.h"
#include "RLA_internal.h"

namespace tv::rla {

Header ParseHeader(std::span<const uint8_t, D_RLA_HeaderSize> bytes) {
  Header h{};
  be::Reader r(bytes);
  auto window = [&r](Window& w) {
    w.left = r.Read<int16_t>();
    w.right = r.Read<int16_t>();
    w.bottom = r.Read<int16_t>();
    w.top = r.Read<int16_t>();
  };
  window(h.full);
  window(h.active);
  h.frame = r.Read<int16_t>();
  h.storageType = r.Read<int16_t>();
  h.numChannels = r.Read<int16_t>();
  h.numMatte = r.Read<int16_t>();
  h.numAux = r.Read<int16_t>();
  h.revision = r.Read<int16_t>();
  r.Seek(140);
  h.job = r.Read<int32_t>();
  std::memcpy(h.program, bytes.data() + 400, 64);
  h.program[64] = 0;
  r.Seek(612);
  h.field = r.Read<int16_t>();
  r.Seek(658);
  h.chanBits = r.Read<int16_t>();
  h.matteType = r.Read<int16_t>();
  h.matteBits = r.Read<int16_t>();
  h.auxType = r.Read<int16_t>();
  h.auxBits = r.Read<int16_t>();
  r.Seek(736);
  h.next = r.Read<int32_t>();
  return h;
}

ErrorCode CheckHeader(const Header& h, uint64_t fileSize, Layout* layout, uint32_t site) {
  // Storage type 0 holds bytes. Files whose 9- to 16-bit samples are stored
  // as words say so with type 1; their records are laid out the same way
  // (most significant byte plane first), so they are read too.
  const bool words = h.storageType == 1 && h.chanBits > 8 && h.chanBits <= 16;
  if (h.storageType != 0 && !words) return kReport.Fail(site, PIN_ErrCannotImport, kTextStorageType);
  if (h.numChannels != 3) return kReport.Fail(site, PIN_ErrCannotImport, kTextChannels);
  // A negative matte count is refused like a count above 1.
  if (h.numMatte < 0 || h.numMatte > 1) return kReport.Fail(site, PIN_ErrCannotImport, kTextMatte);
  // Samples below 8 bits would read as bytes of the wrong scale, and the
  // planes of samples beyond 32 bits are not addressed: both are refused.
  if (h.chanBits < 8) return kReport.Fail(site, PIN_ErrCannotImport, kTextBelow24Bits);
  if (h.chanBits > 32) return kReport.Fail(site, PIN_ErrCannotImport, kTextChannelBits, {h.chanBits});
  if (h.numMatte == 1 && (h.matteBits < 1 || h.matteBits > 32))
    return kReport.Fail(site, PIN_ErrCannotImport, kTextChannelBits, {h.matteBits});

  // The active window must lie inside the full window: a margin that is
  // negative on one side and compensated on the other would otherwise place
  // pixels outside their row, and an empty or inverted active window would
  // make the offset table's length meaningless.
  const Window& f = h.full;
  const Window& a = h.active;
  const int32_t width = int32_t{f.right} - f.left + 1;
  const int32_t height = int32_t{f.top} - f.bottom + 1;
  if (f.left < 0 || f.bottom < 0 || f.left > f.right || f.bottom > f.top || width > D_RLA_MaxSize ||
      height > D_RLA_MaxSize || a.left < f.left || a.right > f.right || a.left > a.right ||
      a.bottom < f.bottom || a.top > f.top || a.bottom > a.top)
    return kReport.Fail(site, PIN_ErrCannotImport, kTextSizeMismatch);

  // A negative auxiliary count is refused like bits other than 31.
  if (h.numAux < 0 || (h.numAux != 0 && h.auxBits != 31))
    return kReport.Fail(site, PIN_ErrCannotImport, kTextAuxUnavailable);

  Layout l{};
  l.width = width;
  l.height = height;
  l.activeWidth = int32_t{a.right} - a.left + 1;
  l.activeRows = int32_t{a.top} - a.bottom + 1;
  l.leftMargin = int32_t{a.left} - f.left;
  l.topRow = int32_t{f.top} - a.top;
  l.colourRecords = 3 + h.numMatte;
  l.depth = h.numMatte ? 32 : 24;
  l.tableEnd = D_RLA_HeaderSize + 4 * static_cast<size_t>(l.activeRows);
  // The offset table must be in the file.
  if (l.tableEnd > fileSize) return kReport.Fail(site, FILE_ErrEOF, kTextEOF);
  *layout = l;
  return 0;
}

namespace {

struct KindInfo {
  char letter;
  AuxKind kind;
  int32_t planes;
  FourCC code;
  const char* name;
  FourCC type;
  int32_t dimension;
};

constexpr KindInfo kKinds[] = {
    {'Z', AuxKind::Depth, 4, MakeFourCC("DPTH"), "Z-depth", D_AuxType_Float, 1},
    {'E', AuxKind::Material, 1, MakeFourCC("MATR"), "Material Effects", D_AuxType_UByte, 1},
    {'O', AuxKind::ObjectId, 2, MakeFourCC("OBID"), "Object ID", D_AuxType_UShort, 1},
    {'U', AuxKind::UV, 8, MakeFourCC("TEXR"), "UV-coordinates", D_AuxType_Float, 2},
    {'N', AuxKind::Normal, 4, MakeFourCC("NRML"), "Normal Vector", D_AuxType_Float, 3},
    {'R', AuxKind::Unclamped, 4, MakeFourCC("UNCP"), "Non Clamped RGB", D_AuxType_UByte, 4},
    {'C', AuxKind::Coverage, 1, MakeFourCC("COVR"), "Z coverage", D_AuxType_Float, 1},
    {'B', AuxKind::Background, 3, MakeFourCC("BKCR"), "Background color", D_AuxType_UByte, 3},
};

const KindInfo* InfoOf(AuxKind k) {
  if (k == AuxKind::ClassicDepth) k = AuxKind::Depth;
  for (const KindInfo& i : kKinds)
    if (i.kind == k) return &i;
  return nullptr;
}

}  // namespace

AuxList ParseAuxList(const Header& h) {
  AuxList list{};
  if (h.numAux != 0) {
    list.count = 1;
    list.ch[0] = AuxChannel{AuxKind::ClassicDepth, 'Z', (h.auxBits + 7) / 8};
    return list;
  }
  const char* open = std::strchr(h.program, '(');
  if (!open) return list;
  const char* close = std::strchr(open, ')');
  if (!close) return list;
  for (const char* p = open + 1; p < close && list.count < kMaxAux; ++p)
    for (const KindInfo& i : kKinds)
      if (*p == i.letter) list.ch[list.count++] = AuxChannel{i.kind, i.letter, i.planes};
  return list;
}

D_AuxChannelDesc Describe(const AuxChannel& c) {
  D_AuxChannelDesc d{};
  const KindInfo* i = InfoOf(c.kind);
  d.code = i->code;
  std::strcpy(d.name, i->name);
  d.dataType = i->type;
  d.dimension = i->dimension;
  return d;
}

int32_t ValueBytes(const D_AuxChannelDesc& d) {
  return d.dimension * (d.dataType == D_AuxType_UByte ? 1 : d.dataType == D_AuxType_UShort ? 2 : 4);
}

}  // namespace tv::rla
