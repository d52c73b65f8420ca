// The ElectricImage container and pixel codec: file and frame headers,
// locating the frames of a file, the frame rate from the frames' times, and
// the run-length packets (c 0..127: one pixel repeated c + 1 times; c
// 128..255: c - 127 pixels as they are).
#include <cmath>
#include <cstring>

#include "ByteOrder.h"
#include "EI_internal.h"

namespace tv::ei {

FrameHeader ParseFrameHeader(std::span<const uint8_t, D_EI_FrameHeaderSize> bytes) {
  be::Reader r(bytes);
  FrameHeader h{};
  h.time = r.Read<float>();
  auto window = [&r](Window& w) {
    w.top = r.Read<int16_t>();
    w.left = r.Read<int16_t>();
    w.bottom = r.Read<int16_t>();
    w.right = r.Read<int16_t>();
  };
  window(h.window);
  h.bits = r.Read<uint8_t>();
  h.notColour = r.Read<uint8_t>();
  window(h.window2);
  h.compressed = r.Read<uint8_t>();
  h.matteBits = r.Read<uint8_t>();
  h.dataSize = r.Read<uint32_t>();
  h.paletteEntries = r.Read<uint16_t>();
  h.reserved = r.Read<uint16_t>();
  return h;
}

void WriteFrameHeader(const FrameHeader& h, std::span<uint8_t, D_EI_FrameHeaderSize> out) {
  uint8_t* p = out.data();
  auto window = [&p](const Window& w) {
    be::Store<int16_t>(p, w.top);
    be::Store<int16_t>(p + 2, w.left);
    be::Store<int16_t>(p + 4, w.bottom);
    be::Store<int16_t>(p + 6, w.right);
    p += 8;
  };
  be::Store<float>(p, h.time);
  p += 4;
  window(h.window);
  *p++ = h.bits;
  *p++ = h.notColour;
  window(h.window2);
  *p++ = h.compressed;
  *p++ = h.matteBits;
  be::Store<uint32_t>(p, h.dataSize);
  be::Store<uint16_t>(p + 4, h.paletteEntries);
  be::Store<uint16_t>(p + 6, h.reserved);
}

void WriteFileHeader(uint32_t frames, std::span<uint8_t, D_EI_FileHeaderSize> out) {
  be::Store<uint16_t>(out.data(), D_EI_Version);
  be::Store<uint32_t>(out.data() + 2, frames);
}

bool FrameSize(const Window& w, int32_t* width, int32_t* height) {
  *width = int32_t{w.right} - w.left;
  *height = int32_t{w.bottom} - w.top;
  // An empty window is refused too: no World can hold a frame of 0 pixels.
  return w.top >= 0 && w.left >= 0 && w.bottom >= 0 && w.right >= 0 && *width > 0 && *height > 0 &&
         *width <= D_EI_MaxSize && *height <= D_EI_MaxSize;
}

ErrorCode LocateFrames(FILE_SpecH file, int64_t size, FrameList* list, uint32_t site, bool quiet) {
  auto fail = [&](int32_t text) { return quiet ? PIN_ErrCannotImport : kReport.Fail(site, PIN_ErrCannotImport, text); };
  *list = FrameList{};
  if (size < D_EI_FileHeaderSize) return fail(kTextInvalid);
  uint8_t head[D_EI_FileHeaderSize];
  if (ErrorCode err = FILE_SetPos(file, 0)) return err;
  if (ErrorCode err = FILE_NRead(file, D_EI_FileHeaderSize, head)) return err;
  list->version = be::Load<uint16_t>(head);
  list->declared = be::Load<uint32_t>(head + 2);
  if (list->version != D_EI_Version) return fail(kTextVersion);
  // The count is not trusted: frames are taken while they fit in the file,
  // so a count larger than the file holds (or a file cut short) gives the
  // frames that are there, and the list never grows beyond the file.
  int64_t pos = D_EI_FileHeaderSize;
  for (uint32_t i = 0; i < list->declared; ++i) {
    if (size - pos < D_EI_FrameHeaderSize) break;
    uint8_t bytes[D_EI_FrameHeaderSize];
    if (ErrorCode err = FILE_SetPos(file, pos)) return err;
    if (ErrorCode err = FILE_NRead(file, D_EI_FrameHeaderSize, bytes)) return err;
    const FrameHeader h = ParseFrameHeader(std::span<const uint8_t, D_EI_FrameHeaderSize>(bytes));
    if (h.notColour) return fail(kTextNotColour);
    const int64_t need = int64_t{D_EI_FrameHeaderSize} + 3 * int64_t{h.paletteEntries} + int64_t{h.dataSize};
    if (size - pos < need) break;
    if (list->frames.empty()) list->first = h;
    list->frames.push_back(FrameEntry{pos, h.time});
    pos += need;
  }
  // A declared count of 0 (an output that never finished) or a first frame
  // that does not fit leaves nothing to show.
  if (list->frames.empty()) return fail(kTextInvalid);
  return 0;
}

Fixed RateOfTimes(std::span<const FrameEntry> frames) {
  constexpr Fixed kDefault = 30 << 16;
  if (frames.size() < 2) return 0;
  double m = 65536.0;
  for (size_t i = 1; i < frames.size(); ++i) {
    const double a = frames[i - 1].time, b = frames[i].time;
    // Times that are not numbers say nothing about the rate.
    if (!std::isfinite(a) || !std::isfinite(b)) continue;
    m = std::min(m, std::fabs(b - a));
  }
  if (m == 0.0) return kDefault;
  const double n = std::trunc(100.0 / m + 0.5);
  // Footage of several frames always has a rate: steps so long that the
  // rate rounds to 0, or so short that it passes 1000 frames a second (and
  // the 16.16 range), give the default rate instead.
  if (n < 1.0 || n > 100000.0) return kDefault;
  return static_cast<Fixed>((static_cast<int64_t>(n) * 65536 + 50) / 100);
}

int64_t DecodePixels(std::span<const uint8_t> data, bool rle, bool alpha, int64_t pixels, int32_t width,
                     uint8_t* out, ptrdiff_t rowBytes) {
  const size_t bpp = alpha ? 4 : 3;
  const uint8_t* s = data.data();
  const uint8_t* end = s + data.size();
  // Rows without padding are one long row.
  if (rowBytes == ptrdiff_t{4} * width && pixels <= INT32_MAX) width = static_cast<int32_t>(pixels);
  int64_t made = 0;
  int32_t x = 0;
  uint8_t* row = out;
  // The pixel's 4 bytes in memory order: alpha (255 without), red, green, blue.
  auto value = [alpha](const uint8_t* p) {
    uint8_t b[4] = {0xFF, p[0], p[1], p[2]};
    uint32_t v;
    std::memcpy(&v, alpha ? p : b, 4);
    return v;
  };
  auto put = [&](uint32_t v) {
    std::memcpy(row + 4 * static_cast<ptrdiff_t>(x), &v, 4);
    ++made;
    if (++x == width && made < pixels) x = 0, row += rowBytes;
  };
  if (!rle) {
    while (made < pixels && static_cast<size_t>(end - s) >= bpp) put(value(s)), s += bpp;
    return made;
  }
  while (made < pixels && s < end) {
    const uint8_t c = *s++;
    if (c < 128) {
      if (static_cast<size_t>(end - s) < bpp) break;
      const uint32_t v = value(s);
      for (int32_t k = 0; k <= c && made < pixels; ++k) put(v);
      s += bpp;
    } else {
      for (int32_t k = 0; k < c - 127 && made < pixels && static_cast<size_t>(end - s) >= bpp; ++k)
        put(value(s)), s += bpp;
    }
  }
  return made;
}

namespace {

inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

inline uint8_t* PutPixel(uint8_t* o, const uint8_t* p, bool alpha) {
  if (alpha) {
    std::memcpy(o, p, 4);
    return o + 4;
  }
  o[0] = p[1], o[1] = p[2], o[2] = p[3];
  return o + 3;
}

}  // namespace

int64_t EncodeRle(const uint8_t* pixels, int64_t count, bool alpha, uint8_t* out, int64_t limit) {
  const int64_t bpp = alpha ? 4 : 3;
  uint8_t* o = out;
  int64_t i = 0;
  auto px = [pixels](int64_t k) { return Load32(pixels + 4 * k); };
  while (i < count) {
    const uint32_t a = px(i);
    if (i + 1 < count && px(i + 1) == a) {
      // A run: the pixel and up to 127 more equal ones.
      int32_t c = 1;
      while (c < 127 && i + c + 1 < count && px(i + c + 1) == a) ++c;
      if ((o - out) + 1 + bpp > limit) return -1;
      *o++ = static_cast<uint8_t>(c);
      o = PutPixel(o, pixels + 4 * i, alpha);
      i += c + 1;
    } else {
      // Literals up to the next pair of equal neighbours (which starts the
      // next run), 128 pixels or the end.
      int64_t k = 1, j = i + 1;
      while (k < 128 && j < count && !(j + 1 < count && px(j) == px(j + 1))) ++k, ++j;
      if ((o - out) + 1 + k * bpp > limit) return -1;
      *o++ = static_cast<uint8_t>(k + 127);
      for (int64_t t = 0; t < k; ++t) o = PutPixel(o, pixels + 4 * (i + t), alpha);
      i = j;
    }
  }
  return o - out;
}

int64_t EncodeRaw(const uint8_t* pixels, int64_t count, bool alpha, uint8_t* out) {
  if (alpha) {
    std::memcpy(out, pixels, static_cast<size_t>(count) * 4);
    return count * 4;
  }
  uint8_t* o = out;
  for (int64_t i = 0; i < count; ++i) o = PutPixel(o, pixels + 4 * i, false);
  return o - out;
}

int64_t FrameBytesBound(int64_t count) { return D_EI_FrameHeaderSize + 3 + 4 * count; }

int64_t EncodeFrame(const uint8_t* pixels, int32_t width, int32_t height, bool alpha, float time, uint8_t* buffer) {
  const int64_t count = int64_t{width} * height;
  uint8_t* data = buffer + D_EI_FrameHeaderSize + 3;
  // Run-length data is kept only while it is D_EI_RawSlack bytes below 4
  // bytes a pixel. The encoder stops as soon as it would pass that limit, so
  // data that run-length coding enlarges (noise) never outgrows the buffer,
  // and the frame is then written raw without encoding it twice.
  const int64_t limit = 4 * count - D_EI_RawSlack;
  int64_t size = limit >= 0 ? EncodeRle(pixels, count, alpha, data, limit) : -1;
  const bool rle = size >= 0;
  if (!rle) size = EncodeRaw(pixels, count, alpha, data);
  FrameHeader h{};
  h.time = time;
  h.window = h.window2 = Window{0, 0, static_cast<int16_t>(height), static_cast<int16_t>(width)};
  h.bits = 24;
  h.compressed = rle ? 1 : 0;
  h.matteBits = alpha ? 8 : 0;
  h.dataSize = static_cast<uint32_t>(size);
  h.paletteEntries = 1;
  WriteFrameHeader(h, std::span<uint8_t, D_EI_FrameHeaderSize>(buffer, D_EI_FrameHeaderSize));
  std::memset(buffer + D_EI_FrameHeaderSize, 0, 3);
  return D_EI_FrameHeaderSize + 3 + size;
}

}  // namespace tv::ei
