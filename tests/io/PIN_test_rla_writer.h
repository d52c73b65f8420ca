// A small RLA writer for the driver's tests: the 740-byte header, the offset
// table and run-length records, with every field under the test's control so
// that channels, depths and faults the common tools never write can be made.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "ByteOrder.h"

namespace tv::test::rla {

using Bytes = std::vector<uint8_t>;

// Run-length encodes a plane: repeats of 3 or more as runs, the rest as
// literals, each at most 128 bytes.
inline Bytes Encode(std::span<const uint8_t> in) {
  Bytes out;
  size_t i = 0;
  while (i < in.size()) {
    size_t run = 1;
    while (i + run < in.size() && run < 128 && in[i + run] == in[i]) ++run;
    if (run >= 3) {
      out.push_back(static_cast<uint8_t>(run - 1));
      out.push_back(in[i]);
      i += run;
      continue;
    }
    size_t lit = 0;
    while (i + lit < in.size() && lit < 128) {
      if (i + lit + 2 < in.size() && in[i + lit] == in[i + lit + 1] && in[i + lit] == in[i + lit + 2]) break;
      ++lit;
    }
    out.push_back(static_cast<uint8_t>(256 - lit));
    out.insert(out.end(), in.begin() + static_cast<ptrdiff_t>(i), in.begin() + static_cast<ptrdiff_t>(i + lit));
    i += lit;
  }
  return out;
}

struct RlaFile {
  int16_t full[4] = {0, 0, 0, 0};    // left, right, bottom, top
  int16_t active[4] = {0, 0, 0, 0};  // left, right, bottom, top
  int16_t storage = 0, channels = 3, matte = 1, numAux = 0, revision = -2;
  int16_t chanBits = 8, matteType = 0, matteBits = 8, auxType = 0, auxBits = 0;
  std::string program = "tavelo tests";
  // Per active scanline, the lowest first: the payloads of its records
  // (the u16 counts are added when the file is built).
  std::vector<std::vector<Bytes>> rows;
};

// The file's bytes: header, offset table, scanlines in table order.
inline Bytes Build(const RlaFile& f) {
  be::Writer w;
  for (int16_t v : f.full) w.Write<int16_t>(v);
  for (int16_t v : f.active) w.Write<int16_t>(v);
  for (int16_t v : {int16_t{0}, f.storage, f.channels, f.matte, f.numAux, f.revision}) w.Write<int16_t>(v);
  w.WriteFixedString("2.2", 16);
  for (int k = 0; k < 4; ++k) w.WriteZeros(24);
  w.Write<int32_t>(0);
  w.WriteFixedString("name", 128);
  w.WriteFixedString("description", 128);
  w.WriteFixedString(f.program, 64);
  w.WriteZeros(32 + 32 + 20 + 24 + 8);
  w.WriteFixedString("rgb", 32);
  w.Write<int16_t>(0);
  w.WriteZeros(12 + 32);
  for (int16_t v : {f.chanBits, f.matteType, f.matteBits, f.auxType, f.auxBits}) w.Write<int16_t>(v);
  w.WriteZeros(32 + 36);
  w.Write<int32_t>(0);
  size_t pos = w.size() + 4 * f.rows.size();
  for (const auto& row : f.rows) {
    w.Write<uint32_t>(static_cast<uint32_t>(pos));
    for (const Bytes& r : row) pos += 2 + r.size();
  }
  for (const auto& row : f.rows)
    for (const Bytes& r : row) {
      w.Write<uint16_t>(static_cast<uint16_t>(r.size()));
      w.WriteBytes(r);
    }
  return w.take();
}

// An ARGB pixel of a picture, x from the left and y from the top.
using Picture = std::function<uint32_t(int32_t x, int32_t y)>;

// A w x h file (full window = active window) of the picture: red, green,
// blue and, with a matte, alpha records per scanline, the bottom row first.
inline RlaFile Image(int16_t w, int16_t h, bool matte, const Picture& px) {
  RlaFile f;
  f.full[1] = f.active[1] = static_cast<int16_t>(w - 1);
  f.full[3] = f.active[3] = static_cast<int16_t>(h - 1);
  f.matte = matte ? 1 : 0;
  for (int32_t i = 0; i < h; ++i) {
    const int32_t y = h - 1 - i;
    std::vector<Bytes> recs;
    for (int shift : {16, 8, 0, 24}) {
      if (shift == 24 && !matte) break;
      Bytes plane;
      for (int32_t x = 0; x < w; ++x) plane.push_back(static_cast<uint8_t>(px(x, y) >> shift));
      recs.push_back(Encode(plane));
    }
    f.rows.push_back(recs);
  }
  return f;
}

}  // namespace tv::test::rla
