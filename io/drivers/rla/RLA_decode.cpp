// Decoding RLA scanlines: the run-length streams, the checks of the offset
// table and of every record before anything is drawn, the colour and matte
// channels into ARGB rows, and the auxiliary channels into value rows.
#include <bit>
#include <cstring>

#include "ByteOrder.h"
#include "RLA_internal.h"

namespace tv::rla {

namespace {

// The run-length loop; Stride 0 takes the stride given at run time.
template <int Stride>
Rle DecodeImpl(std::span<const uint8_t> rec, int32_t need, uint8_t* out, int32_t stride, size_t* used) {
  const int32_t s = Stride ? Stride : stride;
  const uint8_t* in = rec.data();
  const size_t n = rec.size();
  size_t p = 0;
  int32_t made = 0;
  while (made < need) {
    if (p >= n) {
      *used = p;
      return Rle::Short;
    }
    const uint8_t c = in[p++];
    if (c < 128) {
      // c + 1 copies of the next byte.
      if (p >= n) return Rle::Overrun;
      const uint8_t v = in[p++];
      int32_t run = c + 1;
      if (run > need - made) run = need - made;
      if (out) {
        uint8_t* o = out + static_cast<ptrdiff_t>(made) * s;
        for (int32_t k = 0; k < run; ++k) o[static_cast<ptrdiff_t>(k) * s] = v;
      }
      made += run;
    } else {
      // 256 - c bytes as they are.
      const size_t run = 256u - c;
      if (run > n - p) return Rle::Overrun;
      int32_t take = static_cast<int32_t>(run);
      if (take > need - made) take = need - made;
      if (out) {
        uint8_t* o = out + static_cast<ptrdiff_t>(made) * s;
        if (s == 1)
          std::memcpy(o, in + p, static_cast<size_t>(take));
        else
          for (int32_t k = 0; k < take; ++k) o[static_cast<ptrdiff_t>(k) * s] = in[p + static_cast<size_t>(k)];
      }
      p += run;
      made += take;
    }
  }
  *used = p;
  return Rle::Ok;
}

// One channel record (u16 count and its bytes) at *pos, inside the file.
bool TakeRecord(std::span<const uint8_t> file, size_t* pos, std::span<const uint8_t>* rec) {
  if (*pos > file.size() || file.size() - *pos < 2) return false;
  const size_t count = be::Load<uint16_t>(file.data() + *pos);
  *pos += 2;
  if (count > file.size() - *pos) return false;
  *rec = file.subspan(*pos, count);
  *pos += count;
  return true;
}

// The records of one scanline, read in order; the frame was checked, so
// every record is there.
std::span<const uint8_t> NextRecord(std::span<const uint8_t> file, size_t* pos) {
  std::span<const uint8_t> rec;
  TakeRecord(file, pos, &rec);
  return rec;
}

// Skips the records of one auxiliary channel.
void SkipAux(std::span<const uint8_t> file, size_t* pos, const AuxChannel& c) {
  const int32_t records = c.kind == AuxKind::ClassicDepth ? 1 : c.planes;
  for (int32_t k = 0; k < records; ++k) NextRecord(file, pos);
}

// Decodes the byte planes of one auxiliary channel into planes-interleaved
// pixels (the most significant byte first).
void DecodeAux(std::span<const uint8_t> file, size_t* pos, const AuxChannel& c, int32_t width,
               uint8_t* scratch) {
  size_t used = 0;
  if (c.kind == AuxKind::ClassicDepth) {
    // The classic depth channel's planes are streams that follow each other
    // in one record.
    std::span<const uint8_t> rec = NextRecord(file, pos);
    for (int32_t p = 0; p < c.planes; ++p) {
      DecodeImpl<0>(rec, width, scratch + p, c.planes, &used);
      rec = rec.subspan(used);
    }
    return;
  }
  for (int32_t p = 0; p < c.planes; ++p) DecodeImpl<0>(NextRecord(file, pos), width, scratch + p, c.planes, &used);
}

uint32_t U32(const uint8_t* b) { return be::Load<uint32_t>(b); }

// Converts one pixel of a channel's stored bytes to its values.
void Convert(AuxKind kind, const uint8_t* in, uint8_t* out) {
  switch (kind) {
    case AuxKind::Depth:
    case AuxKind::UV:
    case AuxKind::Normal:
    case AuxKind::ClassicDepth:
      break;
    case AuxKind::Material:
    case AuxKind::Unclamped:
    case AuxKind::Background:
      std::memcpy(out, in, kind == AuxKind::Material ? 1 : kind == AuxKind::Unclamped ? 4 : 3);
      return;
    case AuxKind::ObjectId: {
      const uint16_t v = be::Load<uint16_t>(in);
      std::memcpy(out, &v, 2);
      return;
    }
    case AuxKind::Coverage: {
      const float v = static_cast<float>(in[0]) / 255.0f;
      std::memcpy(out, &v, 4);
      return;
    }
  }
  float v[3];
  int n = 1;
  if (kind == AuxKind::Depth) {
    v[0] = std::bit_cast<float>(U32(in));
  } else if (kind == AuxKind::ClassicDepth) {
    v[0] = static_cast<float>(static_cast<double>(U32(in)) * 0x1p-31);
  } else if (kind == AuxKind::UV) {
    v[0] = std::bit_cast<float>(U32(in));
    v[1] = std::bit_cast<float>(U32(in + 4));
    n = 2;
  } else {
    const uint32_t w = U32(in);
    const uint32_t fields[3] = {(w >> 20) & 1023u, (w >> 10) & 1023u, w & 1023u};
    for (int k = 0; k < 3; ++k) v[k] = static_cast<float>(2.0 * fields[k] / 1023.0 - 1.0);
    n = 3;
  }
  std::memcpy(out, v, sizeof(float) * static_cast<size_t>(n));
}

}  // namespace

Rle Decode(std::span<const uint8_t> rec, int32_t need, uint8_t* out, int32_t stride, size_t* used) {
  *used = 0;
  return DecodeImpl<0>(rec, need, out, stride, used);
}

ErrorCode CheckScanlines(Frame& f, std::span<uint32_t> offsets, const AuxList* aux, uint32_t site) {
  const Layout& l = f.layout;
  const std::span<const uint8_t> file = f.bytes;
  for (int32_t i = 0; i < l.activeRows; ++i)
    offsets[static_cast<size_t>(i)] = be::Load<uint32_t>(file.data() + D_RLA_HeaderSize + 4 * static_cast<size_t>(i));
  f.offsets = offsets;

  // Checks one record (or, for the classic depth channel, its `streams`
  // streams) against the row: 786 when it leaves the file or a run leaves
  // the record, 9987 when it does not fill the row.
  auto check = [&](size_t* pos, int32_t streams) -> ErrorCode {
    std::span<const uint8_t> rec;
    if (!TakeRecord(file, pos, &rec)) return kReport.Fail(site, FILE_ErrEOF, kTextEOF);
    for (int32_t s = 0; s < streams; ++s) {
      size_t used = 0;
      const Rle r = DecodeImpl<0>(rec, l.activeWidth, nullptr, 1, &used);
      if (r == Rle::Overrun) return kReport.Fail(site, FILE_ErrEOF, kTextEOF);
      if (r == Rle::Short) return kReport.Fail(site, PIN_ErrCannotImport, kTextSizeMismatch);
      rec = rec.subspan(used);
    }
    return 0;
  };

  for (int32_t i = 0; i < l.activeRows; ++i) {
    const uint32_t off = offsets[static_cast<size_t>(i)];
    // A scanline inside the header or the offset table is refused: its data
    // would be the file's own bookkeeping.
    if (off < l.tableEnd) return kReport.Fail(site, PIN_ErrCannotImport, kTextBadOffset, {i, off});
    size_t pos = off;
    for (int32_t c = 0; c < l.colourRecords; ++c)
      if (ErrorCode err = check(&pos, 1)) return err;
    if (!aux) continue;
    for (int32_t a = 0; a < aux->count; ++a) {
      const AuxChannel& ch = aux->ch[a];
      if (ch.kind == AuxKind::ClassicDepth) {
        if (ErrorCode err = check(&pos, ch.planes)) return err;
      } else {
        for (int32_t p = 0; p < ch.planes; ++p)
          if (ErrorCode err = check(&pos, 1)) return err;
      }
    }
  }
  return 0;
}

void DrawPixels(const Frame& f, uint8_t* base, ptrdiff_t rowBytes) {
  const Layout& l = f.layout;
  // Transparent white: alpha 0, red, green and blue 255.
  for (int32_t y = 0; y < l.height; ++y) {
    uint8_t* p = base + y * rowBytes;
    for (int32_t x = 0; x < l.width; ++x, p += 4) p[0] = 0, p[1] = p[2] = p[3] = 255;
  }
  // Red, green, blue, then the matte into alpha.
  static constexpr int kByte[4] = {1, 2, 3, 0};
  for (int32_t i = 0; i < l.activeRows; ++i) {
    uint8_t* row = base + (l.topRow + l.activeRows - 1 - i) * rowBytes + 4 * static_cast<ptrdiff_t>(l.leftMargin);
    size_t pos = f.offsets[static_cast<size_t>(i)];
    for (int32_t c = 0; c < l.colourRecords; ++c) {
      size_t used = 0;
      DecodeImpl<4>(NextRecord(f.bytes, &pos), l.activeWidth, row + kByte[c], 4, &used);
    }
  }
}

void DrawAux(const Frame& f, const AuxList& aux, int32_t index, uint8_t* rows, int32_t rowBytes,
             uint8_t* scratch) {
  const Layout& l = f.layout;
  const AuxChannel& c = aux.ch[index];
  const int32_t valueBytes = ValueBytes(Describe(c));
  std::memset(rows, 0, static_cast<size_t>(rowBytes) * static_cast<size_t>(l.height));
  for (int32_t i = 0; i < l.activeRows; ++i) {
    size_t pos = f.offsets[static_cast<size_t>(i)];
    for (int32_t k = 0; k < l.colourRecords; ++k) NextRecord(f.bytes, &pos);
    for (int32_t a = 0; a < index; ++a) SkipAux(f.bytes, &pos, aux.ch[a]);
    DecodeAux(f.bytes, &pos, c, l.activeWidth, scratch);
    uint8_t* out = rows + static_cast<ptrdiff_t>(l.topRow + l.activeRows - 1 - i) * rowBytes +
                   static_cast<ptrdiff_t>(l.leftMargin) * valueBytes;
    for (int32_t x = 0; x < l.activeWidth; ++x)
      Convert(c.kind, scratch + static_cast<ptrdiff_t>(x) * c.planes, out + static_cast<ptrdiff_t>(x) * valueBytes);
  }
}

}  // namespace tv::rla
