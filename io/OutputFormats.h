// The outputs the engine writes, by the names users give them: still image
// formats, sound files, and movie containers with the codecs each holds.
// This one table is the vocabulary of the image and movie output modules,
// the `tavelo` command line (render, farm, formats) and the Python module.
// Header-only data (C++): nothing here crosses the library's boundary.
#pragma once

#include <cstdint>
#include <numeric>
#include <string>
#include <string_view>

#include "Types.h"

namespace tv::outputs {

// A still format by its file extension (lower case, no dot).
struct StillFormat {
  std::string_view ext;
  std::string_view alias;  // another extension of the same format, or ""
  std::string_view description;
  bool alpha;  // keeps the frame's alpha (otherwise the background shows)
};

inline constexpr StillFormat kStills[] = {
    {"png", "", "PNG, 8-bit", true},
    {"tif", "tiff", "TIFF, 8-bit", true},
    {"exr", "", "OpenEXR, half floats", true},
    {"jpg", "jpeg", "JPEG, quality 95, 4:4:4", false},
    {"dpx", "", "DPX, 8-bit", true},
};

// A sound file the `audio` command writes.
struct SoundFile {
  std::string_view ext, alias, description;
};
inline constexpr SoundFile kSoundFiles[] = {
    {"wav", "", "WAV, 16- or 24-bit integers or 32-bit floats"},
    {"aif", "aiff", "AIFF, 16- or 24-bit integers or 32-bit floats"},
};

// A movie codec. Its name is what users type; its four-character code (as
// text, trailing spaces optional: "avc1", "apch", "rle") names it too.
struct Codec {
  std::string_view name;
  FourCC fourcc;
  std::string_view description;
  bool alpha;
  bool evenSize;  // 4:2:0 chroma: the width and height must be even
};

inline constexpr FourCC kH264 = MakeFourCC("avc1"), kProRes = MakeFourCC("apch"),
                        kProRes4444 = MakeFourCC("ap4h"), kPng = MakeFourCC("png "),
                        kAnimation = MakeFourCC("rle ");

inline constexpr Codec kCodecs[] = {
    {"h264", kH264, "H.264, 4:2:0, CRF 18", false, true},
    {"prores", kProRes, "ProRes 422 HQ, 10-bit", false, false},
    {"prores4444", kProRes4444, "ProRes 4444 with alpha, 10-bit", true, false},
    {"png", kPng, "PNG, lossless", true, false},
    {"animation", kAnimation, "Animation (QuickTime RLE), lossless", true, false},
};

// Whether the codec can code frames of w x h, whole or of two fields (each
// field's height even as well).
constexpr bool FitsFrame(const Codec& c, int w, int h, bool fields = false) {
  return !c.evenSize || (w % 2 == 0 && h % (fields ? 4 : 2) == 0);
}

enum class SoundCodec { Aac, Pcm16 };

// A movie container by its file extension; codecs[0] is its default codec.
struct Container {
  std::string_view ext;
  std::string_view description;
  std::string_view muxer;  // the container's name in FFmpeg
  FourCC codecs[5];        // 0 ends the list
  SoundCodec sound;
};

inline constexpr Container kContainers[] = {
    {"mp4", "MPEG-4", "mp4", {kH264}, SoundCodec::Aac},
    {"mov", "QuickTime", "mov", {kProRes, kProRes4444, kH264, kPng, kAnimation}, SoundCodec::Pcm16},
    {"mkv", "Matroska", "matroska", {kH264, kProRes, kProRes4444, kPng}, SoundCodec::Pcm16},
    {"avi", "AVI", "avi", {kH264, kPng}, SoundCodec::Pcm16},
};

constexpr std::string_view SoundCodecName(SoundCodec s) {
  return s == SoundCodec::Aac ? "AAC" : "PCM 16-bit";
}

// The four-character code as text without trailing spaces ("rle ": "rle").
struct FourCCText {
  char text[5] = {};
  constexpr explicit FourCCText(FourCC c) {
    for (int i = 0; i < 4; ++i) text[i] = static_cast<char>((c >> (24 - 8 * i)) & 0xFF);
    for (int i = 3; i >= 0 && text[i] == ' '; --i) text[i] = 0;
  }
  constexpr std::string_view view() const { return std::string_view(text); }
};

// The codec named name (its name or its four-character code); null when none.
constexpr const Codec* FindCodec(std::string_view name) {
  std::string_view trimmed = name;
  while (!trimmed.empty() && trimmed.back() == ' ') trimmed.remove_suffix(1);
  for (const Codec& c : kCodecs)
    if (c.name == name || FourCCText(c.fourcc).view() == trimmed) return &c;
  return nullptr;
}

constexpr const Codec* CodecOf(FourCC fourcc) {
  for (const Codec& c : kCodecs)
    if (c.fourcc == fourcc) return &c;
  return nullptr;
}

// The container of a lower-case extension without the dot; null when none.
constexpr const Container* FindContainer(std::string_view ext) {
  for (const Container& c : kContainers)
    if (c.ext == ext) return &c;
  return nullptr;
}

constexpr bool Holds(const Container& container, FourCC codec) {
  for (FourCC c : container.codecs)
    if (c != 0 && c == codec) return true;
  return false;
}

constexpr const StillFormat* FindStill(std::string_view ext) {
  for (const StillFormat& s : kStills)
    if (s.ext == ext || (!s.alias.empty() && s.alias == ext)) return &s;
  return nullptr;
}

// The name under which the image module's table knows a still file: a name
// ending in an alias extension (".tiff", ".jpeg", any case) with its
// primary one (".tif", ".jpg"); any other name as it is.
inline std::string StillLookupName(std::string name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return name;
  std::string ext = name.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  const StillFormat* s = FindStill(ext);
  return s && s->ext != ext ? name.substr(0, dot + 1) + std::string(s->ext) : name;
}

constexpr const SoundFile* FindSoundFile(std::string_view ext) {
  for (const SoundFile& s : kSoundFiles)
    if (s.ext == ext || (!s.alias.empty() && s.alias == ext)) return &s;
  return nullptr;
}

// A movie's frames are BT.709 from this size up (HD), BT.601 below (SD).
constexpr bool IsHD(int width, int height) { return width >= 1280 || height >= 720; }

// A pixel aspect (width over height of a pixel) as outputs carry it.
struct PixelAspect {
  uint32_t num = 1, den = 1;
};

// The simplest fraction (terms up to 100000) within 0.002 % of a pixel
// aspect stored as a number (0.9 gives 9/10, 0.90909 gives 10/11); 1/1 for
// none or a meaningless one.
constexpr PixelAspect PixelAspectOf(double value) {
  if (!(value >= 1e-5 && value <= 1e5)) return {};
  // Continued fraction convergents h/k of the value (in lowest terms).
  int64_t h0 = 0, h1 = 1, k0 = 1, k1 = 0;
  double x = value;
  for (int i = 0; i < 40; ++i) {
    const auto a = static_cast<int64_t>(x);
    const int64_t h = a * h1 + h0, k = a * k1 + k0;
    if (h > 100000 || k > 100000) break;
    h0 = h1, h1 = h, k0 = k1, k1 = k;
    const double diff = static_cast<double>(h) / static_cast<double>(k) - value;
    if ((diff < 0 ? -diff : diff) <= 2e-5 * value || x == static_cast<double>(a)) break;
    x = 1 / (x - static_cast<double>(a));
  }
  if (k1 <= 0 || h1 <= 0) return {};
  return {static_cast<uint32_t>(h1), static_cast<uint32_t>(k1)};
}

// A pixel aspect num/den in lowest terms, each term 1 to 100000 (else the
// simplest fraction near it); 1/1 for none or a meaningless one.
constexpr PixelAspect OutputPixelAspect(int64_t num, int64_t den) {
  if (num <= 0 || den <= 0) return {};
  const int64_t g = std::gcd(num, den);
  num /= g, den /= g;
  if (num <= 100000 && den <= 100000) return {static_cast<uint32_t>(num), static_cast<uint32_t>(den)};
  return PixelAspectOf(static_cast<double>(num) / static_cast<double>(den));
}

}  // namespace tv::outputs
