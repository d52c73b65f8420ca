// The RLA driver's private records: the parsed header, the auxiliary channel
// list, the run-length decoder and the frame layout, its sites and texts.
#pragma once

#include <cstdint>
#include <span>

#include "D_RLA.h"
#include "Package.h"

namespace tv::rla {

enum Site : uint32_t {
  kSiteOpen = 1,
  kSiteHeader = 2,
  kSiteDraw = 3,
  kSiteDecode = 4,
  kSiteAux = 5,
  kSiteSound = 6,
  kSiteQuery = 7,
};

enum TextIndex : int32_t {
  kTextDamaged,
  kTextBadArgument,
  kTextStorageType,
  kTextChannels,
  kTextMatte,
  kTextSizeMismatch,
  kTextAuxUnavailable,
  kTextEOF,
  kTextNoSound,
  kTextChannelRange,
  kTextDifferingSizes,
  kTextBelow24Bits,
  kTextChannelBits,
  kTextBadOffset,
  kTextInfo,
  kTextMemOffsets,
  kTextMemCompressed,
  kTextMemUncompressed,
  kTextMemBuffer,
  kTextMemOptions,
  kTextCount
};
extern const pkg::Reporter kReport;

inline constexpr FourCC kFileType = MakeFourCC("RLA ");
inline constexpr FourCC kExtension = MakeFourCC(".rla");

// ---- Header -----------------------------------------------------------------------

struct Window {
  int16_t left, right, bottom, top;
};

// The header's integer fields in host order, and the program text.
struct Header {
  Window full, active;
  int16_t frame, storageType, numChannels, numMatte, numAux, revision;
  int32_t job;
  int16_t field;
  int16_t chanBits, matteType, matteBits, auxType, auxBits;
  int32_t next;
  char program[65];  // terminated
};

// Reads the 740 header bytes (never fails: the span has them).
Header ParseHeader(std::span<const uint8_t, D_RLA_HeaderSize> bytes);

// What the frame's drawing needs, derived from a checked header.
struct Layout {
  int32_t width, height;              // the full window
  int32_t activeWidth, activeRows;    // the active window
  int32_t leftMargin;                 // active left - left
  int32_t topRow;                     // the World row of the active window's top scanline
  int32_t colourRecords;              // 3, or 4 with a matte
  int32_t depth;                      // 24, or 32 with a matte
  size_t tableEnd;                    // the first byte after the offset table
};

// Checks a header against the format's rules and the file's size; fills the
// layout. One report on failure (9987, or 786 when the offset table does
// not fit in the file).
ErrorCode CheckHeader(const Header& h, uint64_t fileSize, Layout* layout, uint32_t site);

// ---- Auxiliary channels ----------------------------------------------------------------

enum class AuxKind : uint8_t { Depth, ClassicDepth, Material, ObjectId, UV, Normal, Unclamped, Coverage, Background };

struct AuxChannel {
  AuxKind kind;
  char letter;
  int32_t planes;  // bytes per pixel in the file
};

inline constexpr int32_t kMaxAux = 8;
struct AuxList {
  int32_t count;
  AuxChannel ch[kMaxAux];
};

// The channels of a checked header: Z alone when its auxiliary count is
// not 0, else the letters B C E N O R U Z between the first "(" of the
// program field and the ")" after it, in their order (at most 8).
AuxList ParseAuxList(const Header& h);

// The description of a channel.
D_AuxChannelDesc Describe(const AuxChannel& c);

// ---- Decoding ------------------------------------------------------------------------

// Result of one run-length stream.
enum class Rle : uint8_t { Ok, Short, Overrun };

// Decodes one run-length stream from rec into `need` bytes written at
// out[0], out[stride], ... (out null: only checks). Stops as soon as `need`
// bytes are made; a run that crosses that point is cut there. *used gets the
// record bytes taken. Short: the record ended before `need` bytes; Overrun:
// a run asks for bytes beyond the record.
Rle Decode(std::span<const uint8_t> rec, int32_t need, uint8_t* out, int32_t stride, size_t* used);

// A file read whole, with its checked header.
struct Frame {
  std::span<const uint8_t> bytes;
  Header header;
  Layout layout;
  std::span<const uint32_t> offsets;  // one per active scanline, the lowest first
};

// Reads the offset table into `offsets` and checks every scanline's records
// (colour, matte and, with aux, every auxiliary plane): offsets past the
// table and inside the file, counts inside the file, runs inside their
// records and rows made whole. One report on failure.
ErrorCode CheckScanlines(Frame& f, std::span<uint32_t> offsets, const AuxList* aux, uint32_t site);

// Draws the checked frame into 32-bit ARGB pixels of its size.
void DrawPixels(const Frame& f, uint8_t* base, ptrdiff_t rowBytes);

// Decodes auxiliary channel `index` of the checked frame into the buffer's
// rows (the buffer cleared first).
void DrawAux(const Frame& f, const AuxList& aux, int32_t index, uint8_t* rows, int32_t rowBytes,
             uint8_t* scratch);

// Bytes per pixel of a channel's values.
int32_t ValueBytes(const D_AuxChannelDesc& d);

}  // namespace tv::rla
