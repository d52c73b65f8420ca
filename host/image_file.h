// Still images the host writes: a rendered World's pixels as straight
// 8-bit RGBA, and one image file written under a temporary name and renamed
// into place, so a write that fails or is interrupted never leaves a partial
// file under the final name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "BM.h"

namespace tavelo {

// The largest side of an image the host writes (the worlds' coordinates are
// 16-bit).
constexpr int kMaxImageSide = 30000;

struct Image {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> rgba;  // rows packed, straight alpha
};

// The pixels of a 32-bit World (alpha, red, green, blue bytes) as RGBA.
Image ImageFromWorld(BM_World world);

// A colour byte of straight alpha a over an opaque background byte, as the
// engine puts a frame over the composition's background for an output
// without alpha.
inline uint8_t Over(unsigned colour, unsigned alpha, unsigned background) {
  return static_cast<uint8_t>((colour * alpha + background * (255 - alpha) + 127) / 255);
}
// The image over the opaque background colour (0xAARRGGBB), made opaque.
void OverBackground(Image& image, uint32_t background);

// The still formats by file extension (lower case, without the dot).
bool IsStillExtension(const std::string& ext);
bool IsMovieExtension(const std::string& ext);
// The extension of a path in lower case ("" when it has none).
std::string ExtensionOf(const std::string& path);

// Writes the image; throws Failure naming the file and the library's reason.
void WriteImage(const Image& image, const std::string& path);

// Whether the still file at path is whole, as far as its format tells
// without decoding: a PNG ends with its IEND chunk, a JPEG with its end
// marker, a DPX is as long as its header says; other formats (and files
// that cannot be read) count as whole when they are not empty. Frames are
// written under a temporary name and renamed when whole, so a short file
// under a frame's name was cut by something else (an older writer, a copy).
bool StillIsWhole(const std::string& path);

// An FNV-1a digest of the pixels, printed by `frame --digest` and the tests.
uint64_t Digest(const Image& image);

}  // namespace tavelo
