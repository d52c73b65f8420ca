// The ElectricImage driver's private records: its sites and texts, the file
// and frame headers, the frame list, the pixel codec and the frame rate.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "D_EI.h"
#include "Package.h"

namespace tv::ei {

enum Site : uint32_t {
  kSiteBirth = 1,
  kSiteOpen = 2,
  kSiteDraw = 3,
  kSiteAux = 4,
  kSiteSound = 5,
  kSiteWrite = 6,
  kSiteOptions = 7,
  kSiteQuery = 8,
};

enum TextIndex : int32_t {
  kTextDamaged,
  kTextBadArgument,
  kTextVersion,
  kTextNotColour,
  kTextBelow24Bits,
  kTextInvalid,
  kTextDifferingSizes,
  kTextNoMemoryChunk,
  kTextUnsupported,
  kTextBadAux,
  kTextDepthMismatch,
  kTextMemWriting,
  kTextMemOptions,
  kTextCannotWrite,
  kTextNoLabels,
  kTextInfo,
  kTextCount
};
extern const pkg::Reporter kReport;

inline constexpr FourCC kDefaultExtension = MakeFourCC(".img");
inline constexpr FourCC kOtherExtension = 0x2E656900u;  // ".ei"
inline constexpr FourCC kDepthCode = MakeFourCC("DPTH");

// ---- Headers ----------------------------------------------------------------------

struct Window {
  int16_t top, left, bottom, right;
};

struct FrameHeader {
  float time;
  Window window, window2;
  uint8_t bits;       // bits per pixel of colour
  uint8_t notColour;  // must be 0
  uint8_t compressed; // 1 run-length, 0 raw
  uint8_t matteBits;  // 8 or 0
  uint32_t dataSize;
  uint16_t paletteEntries;
  uint16_t reserved;
};

FrameHeader ParseFrameHeader(std::span<const uint8_t, D_EI_FrameHeaderSize> bytes);
void WriteFrameHeader(const FrameHeader& h, std::span<uint8_t, D_EI_FrameHeaderSize> out);
void WriteFileHeader(uint32_t frames, std::span<uint8_t, D_EI_FileHeaderSize> out);

// The frame size of a window: false for a window the format does not allow
// (a negative value, top above bottom or left after right, an empty frame,
// a side above 30000).
bool FrameSize(const Window& w, int32_t* width, int32_t* height);

// ---- The frames of a file ------------------------------------------------------------

// Where a frame is and what its header says.
struct FrameEntry {
  int64_t position;  // of its header
  float time;
};

// The frames of an opened file: every frame whose header, palette and data
// lie inside the file, in file order.
struct FrameList {
  uint16_t version = 0;
  uint32_t declared = 0;  // the header's frame count
  std::vector<FrameEntry> frames;
  FrameHeader first{};
};

// Reads the file header and locates the frames of a file opened for reading
// of `size` bytes: at most the declared count, stopping at the first frame
// that does not fit. 9987 "Invalid EI version info." for a version other
// than 5, "invalid IMAGE file." when no frame fits, "This file does not
// contain color image data." for a frame that holds none; file layer codes.
// Reported at `site` unless quiet (the depth file's faults are told when
// its channel is drawn).
ErrorCode LocateFrames(FILE_SpecH file, int64_t size, FrameList* list, uint32_t site, bool quiet);

// The frame rate of a list of frame times, as 16.16: the smallest step m
// between consecutive times (from 65536); n = trunc(100 / m + 0.5) and the
// rate n / 100. A single frame gives 0 (a still); equal times 30 frames a
// second.
Fixed RateOfTimes(std::span<const FrameEntry> frames);

// ---- Pixels ------------------------------------------------------------------------------

// Decodes `data` (run-length packets when rle, else raw pixels) into
// `pixels` pixels of 4 bytes ARGB, written row after row of `width` pixels
// at out, rows `rowBytes` apart. Pixels carry alpha when alpha is set
// (otherwise alpha is 255). Stops after the pixels or where the data ends
// (a pixel cut short by the end is dropped); returns the pixels made.
int64_t DecodePixels(std::span<const uint8_t> data, bool rle, bool alpha, int64_t pixels, int32_t width,
                     uint8_t* out, ptrdiff_t rowBytes);

// Encodes `count` packed ARGB pixels as run-length packets into out while
// the result stays within `limit` bytes; returns the bytes written, or -1
// when the packets would pass the limit. Pixels are compared on all four
// bytes; alpha is written only when asked.
int64_t EncodeRle(const uint8_t* pixels, int64_t count, bool alpha, uint8_t* out, int64_t limit);

// Writes `count` packed ARGB pixels raw (with or without alpha); the bytes.
int64_t EncodeRaw(const uint8_t* pixels, int64_t count, bool alpha, uint8_t* out);

// One frame as the writer stores it: the 32-byte header, a palette entry of
// 3 zero bytes, and the pixels, run-length encoded unless raw is no longer
// than the run-length data plus D_EI_RawSlack. buffer: at least
// FrameBytesBound(count) bytes; the bytes written.
int64_t FrameBytesBound(int64_t count);
int64_t EncodeFrame(const uint8_t* pixels, int32_t width, int32_t height, bool alpha, float time, uint8_t* buffer);

}  // namespace tv::ei
