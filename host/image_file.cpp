// Still images of the host: a rendered World's pixels as RGBA bytes, and
// RGBA bytes written as a still file through the image output module.
#include "image_file.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "OutputFormats.h"
#include "cli.h"
#include "output_module.h"

namespace tavelo {
Image ImageFromWorld(BM_World world) {
  Image img;
  int32_t depth = 0, rowBytes = 0;
  if (BM_GetWorldInfo(world, &img.width, &img.height, &depth, &rowBytes) || depth != 32)
    Fail("the rendered frame is not a 32-bit image");
  Boolean32 failed = 0;
  if (BM_LockPixels(0, world, &failed) || failed) Fail("the rendered frame's pixels are not in memory");
  const auto* base = reinterpret_cast<const uint8_t*>(BMp_GetPixBaseAddr(world));
  img.rgba.resize(static_cast<size_t>(img.width) * static_cast<size_t>(img.height) * 4);
  for (int32_t y = 0; y < img.height; ++y) {
    const uint8_t* src = base + static_cast<size_t>(y) * static_cast<size_t>(rowBytes);
    uint8_t* dst = img.rgba.data() + static_cast<size_t>(y) * static_cast<size_t>(img.width) * 4;
    for (int32_t x = 0; x < img.width; ++x, src += 4, dst += 4) {
      dst[0] = src[1];
      dst[1] = src[2];
      dst[2] = src[3];
      dst[3] = src[0];
    }
  }
  BM_UnlockPixels(world);
  return img;
}

std::string ExtensionOf(const std::string& path) {
  const std::string name = std::filesystem::path(path).filename().string();
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return {};
  std::string ext = name.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

bool IsStillExtension(const std::string& ext) { return tv::outputs::FindStill(ext) != nullptr; }

bool IsMovieExtension(const std::string& ext) { return tv::outputs::FindContainer(ext) != nullptr; }

void OverBackground(Image& image, uint32_t background) {
  const uint8_t bg[3] = {static_cast<uint8_t>(background >> 16), static_cast<uint8_t>(background >> 8),
                         static_cast<uint8_t>(background)};
  for (size_t i = 0; i + 4 <= image.rgba.size(); i += 4) {
    uint8_t* p = &image.rgba[i];
    for (int c = 0; c < 3; ++c) p[c] = Over(p[c], p[3], bg[c]);
    p[3] = 255;
  }
}

void WriteImage(const Image& image, const std::string& path) {
  const std::string ext = ExtensionOf(path);
  if (!IsStillExtension(ext)) Fail("cannot write \"" + path + "\": unknown image format \"" + ext + "\"");
  if (image.width <= 0 || image.height <= 0 || image.width > kMaxImageSide || image.height > kMaxImageSide)
    Fail("cannot write \"" + path + "\": the image is empty or too large");
  const Rect bounds{0, 0, static_cast<int16_t>(image.height), static_cast<int16_t>(image.width)};
  BM_World world = nullptr;
  if (BM_NewWorld(nullptr, 0, &bounds, 32, 0, nullptr, &world)) Fail("out of memory for a " + path);
  struct Dispose {
    BM_World w;
    ~Dispose() { BM_DisposeWorld(w); }
  } owner{world};
  int32_t w = 0, h = 0, depth = 0, rowBytes = 0;
  Boolean32 failed = 0;
  if (BM_GetWorldInfo(world, &w, &h, &depth, &rowBytes) || BM_LockPixels(0, world, &failed) || failed)
    Fail("the pixels of \"" + path + "\" are not in memory");
  auto* base = reinterpret_cast<uint8_t*>(BMp_GetPixBaseAddr(world));
  for (int32_t y = 0; y < image.height; ++y) {
    const uint8_t* src = image.rgba.data() + static_cast<size_t>(y) * static_cast<size_t>(image.width) * 4;
    uint8_t* dst = base + static_cast<size_t>(y) * static_cast<size_t>(rowBytes);
    for (int32_t x = 0; x < image.width; ++x, src += 4, dst += 4) {
      dst[0] = src[3];
      dst[1] = src[0];
      dst[2] = src[1];
      dst[3] = src[2];
    }
  }
  BM_UnlockPixels(world);
  WriteWorld(world, path);
}

bool StillIsWhole(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  uint8_t head[20] = {}, tail[12] = {};
  const size_t got = std::fread(head, 1, sizeof head, f);
  std::fseek(f, 0, SEEK_END);
  const long size = std::ftell(f);
  bool whole = size > 0;
  const std::string ext = ExtensionOf(path);
  if (size >= 12 && (ext == "png" || ext == "jpg" || ext == "jpeg")) {
    std::fseek(f, size - 12, SEEK_SET);
    whole = std::fread(tail, 1, sizeof tail, f) == sizeof tail &&
            (ext == "png" ? std::memcmp(tail + 4, "IEND\xAE\x42\x60\x82", 8) == 0
                          : tail[10] == 0xFF && tail[11] == 0xD9);
  } else if (ext == "png" || ext == "jpg" || ext == "jpeg") {
    whole = false;
  } else if (ext == "dpx") {
    // The header's file size, in the byte order its magic word shows.
    const bool big = std::memcmp(head, "SDPX", 4) == 0;
    const uint32_t stated = big ? (uint32_t{head[16]} << 24 | uint32_t{head[17]} << 16 | uint32_t{head[18]} << 8 | head[19])
                                : (uint32_t{head[19]} << 24 | uint32_t{head[18]} << 16 | uint32_t{head[17]} << 8 | head[16]);
    whole = got == sizeof head && stated == static_cast<uint64_t>(size);
  }
  std::fclose(f);
  return whole;
}

uint64_t Digest(const Image& image) {
  uint64_t h = 1469598103934665603ull;
  for (uint8_t b : image.rgba) h = (h ^ b) * 1099511628211ull;
  return h;
}

}  // namespace tavelo
