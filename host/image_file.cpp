// Still image files through OpenImageIO. The engine's image module writes
// its output from inside the output framework; until that framework's write
// path is exported to hosts, the host writes a frame here the same way (8-bit
// samples, straight alpha, half floats for OpenEXR).
#include "image_file.h"

#include <OpenImageIO/imageio.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "cli.h"

namespace tavelo {
namespace OIIO = OIIO_NAMESPACE;

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

bool IsStillExtension(const std::string& ext) {
  return ext == "png" || ext == "exr" || ext == "tif" || ext == "tiff" || ext == "jpg" || ext == "jpeg" ||
         ext == "dpx";
}

bool IsMovieExtension(const std::string& ext) {
  return ext == "mp4" || ext == "mov" || ext == "mkv" || ext == "avi" || ext == "webm";
}

void WriteImage(const Image& image, const std::string& path) {
  namespace fs = std::filesystem;
  const fs::path final(path);
  const std::string ext = ExtensionOf(path);
  if (!IsStillExtension(ext)) Fail("cannot write \"" + path + "\": unknown image format \"" + ext + "\"");
  fs::path dir = final.parent_path();
  if (dir.empty()) dir = ".";
  const fs::path temp = dir / ("." + final.stem().string() + ".part" + std::to_string(::getpid()) + "." + ext);
  auto out = OIIO::ImageOutput::create(temp.string());
  if (!out) Fail("cannot write \"" + path + "\": " + OIIO::geterror());
  const bool jpeg = ext == "jpg" || ext == "jpeg";
  const int channels = jpeg ? 3 : 4;
  OIIO::ImageSpec spec(image.width, image.height, channels, ext == "exr" ? OIIO::TypeDesc::HALF : OIIO::TypeDesc::UINT8);
  if (channels == 4) spec.alpha_channel = 3;
  if (jpeg) spec.attribute("CompressionQuality", 95);
  bool ok = out->open(temp.string(), spec);
  if (ok) {
    const auto stride = static_cast<OIIO::stride_t>(4);
    ok = out->write_image(OIIO::TypeDesc::UINT8, image.rgba.data(), stride);
  }
  std::string why = ok ? std::string() : out->geterror();
  if (!out->close() && ok) {
    ok = false;
    why = out->geterror();
  }
  out.reset();
  std::error_code ec;
  if (ok) {
    fs::rename(temp, final, ec);
    if (ec) {
      ok = false;
      why = ec.message();
    }
  }
  if (!ok) {
    fs::remove(temp, ec);
    Fail("cannot write \"" + path + "\": " + (why.empty() ? "unknown reason" : why));
  }
}

uint64_t Digest(const Image& image) {
  uint64_t h = 1469598103934665603ull;
  for (uint8_t b : image.rgba) h = (h ^ b) * 1099511628211ull;
  return h;
}

}  // namespace tavelo
