// The RLA driver: an input-only footage module for the run-length-encoded
// RLA stills written by 3-D renderers (a 740-byte big-endian header, a table
// of scanline offsets, and per scanline one run-length record per channel).
// Besides colour and matte it offers the renderer's auxiliary per-pixel
// channels (depth, object identifiers, normals ...) through the module
// table's auxiliary-channel slots. Numbered RLA stills become sequences
// through the framework.
//
// The driver is compiled into the engine and reached through its module
// table (signature "RLAD"); these entry points are not exported from the
// library.
//
// What callers may rely on:
// - The reader never trusts the file: every offset, count and run is bounded
//   by its record, its row and the file's size. A malformed file fails with
//   one report (package 69, severity 8) and nothing is drawn: the World (or
//   the channel buffer) is left untouched.
// - Codes: 9987 for a file that is not usable, 786 for data that ends early
//   ("RLA: unexpected end of file."), 4 out of memory, 3 for a bad argument
//   or a channel index out of range, 9985 for sound. Out-parameters are
//   cleared first.
// - Frames draw in ARGB (byte 0 alpha). The frame is first filled with
//   transparent white (alpha 0, RGB 255); rows and margins outside the
//   active window keep that fill, and without a matte channel alpha keeps 0
//   (the framework makes such footage opaque). Samples of more than 8 bits
//   keep their most significant byte.
// - A channel buffer (D_RLA_DrawAuxChannel) covers the full window, top row
//   first; pixels outside the active window are 0. Values are in host byte
//   order.
#pragma once

#include "PIN.h"

enum { D_RLA_PackageNumber = 69 };

#define D_RLA_Signature 0x524C4144u  // "RLAD"

// Sizes of the file's fixed parts.
enum {
  D_RLA_HeaderSize = 740,
  D_RLA_OptionsSize = 74,  // "RLA options data": "RLAD", u16 1, u32 74, 64 bytes of header fields
  D_RLA_OptionsVersion = 1,
  D_RLA_MaxSize = 4000,  // widest and highest frame
};

// Data types of auxiliary channel values (four-character codes).
#define D_AuxType_UByte 0x55425431u   // "UBT1": unsigned byte
#define D_AuxType_UShort 0x55535432u  // "UST2": unsigned 16-bit
#define D_AuxType_Float 0x464C5434u   // "FLT4": 4-byte float

// What an auxiliary channel holds (D_RLA_GetAuxChannelDesc).
typedef struct D_AuxChannelDesc {
  FourCC code;      // e.g. "DPTH"
  char name[32];    // e.g. "Z-depth"
  FourCC dataType;  // D_AuxType_*
  int32_t dimension;  // values per pixel
} D_AuxChannelDesc;

// The channel buffer of D_RLA_DrawAuxChannel: this record, then `height`
// rows of `rowBytes` bytes, each row `width` pixels of `dimension` values of
// `dataType` (host byte order).
#define D_AuxBufferMagic 0x41555842u  // "AUXB"
typedef struct D_AuxChannelBuffer {
  uint32_t magic;
  FourCC code, dataType;
  int32_t dimension;
  int32_t width, height;
  int32_t rowBytes;
  int32_t reserved;
} D_AuxChannelBuffer;

#ifdef __cplusplus
extern "C" {
#endif

// Fills the module's record and the slots it has; always 0.
ErrorCode D_RLA_Birth(PIN_ModuleInfo* info, PIN_ModuleProcs* procs);
ErrorCode D_RLA_Death(const PIN_ModuleInfo* info);
// Reads and checks the header, fills the SeqSpec (a still without time,
// depth 32 with a matte, else 24) and its options ("RLA options data").
// 9987 with the header's fault, 786 for a file shorter than its header and
// offset table.
ErrorCode D_RLA_NewSeqSpecFromFile(PIN_SeqSpecH seq, FILE_SpecH file, uint32_t options);
ErrorCode D_RLA_DisposeSeqSpec(PIN_SeqSpecH seq);
ErrorCode D_RLA_GetSeqSpecInfo(PIN_SeqSpecH seq, char* info, int32_t size);
// Draws the frame at params->time, scaled to the World (nearest samples).
// A frame whose size differs from the footage's: 9987 "RLA files with
// differing frame sizes are not supported.".
ErrorCode D_RLA_DrawSparseFrame(PIN_SeqSpecH seq, const PIN_DrawParams* params, BM_World world);
// Always 9985 "RLA: Cannot read sound data.".
ErrorCode D_RLA_GetSound(PIN_SeqSpecH seq, const void* request, Handle soundWorld);
// Disposes the options handle (null is accepted).
ErrorCode D_RLA_DisposeOutputOptions(PIN_OutputSpecH out, Handle options);
ErrorCode D_RLA_Idle(Handle spec);
ErrorCode D_RLA_GetNumAuxChannels(PIN_SeqSpecH seq, int32_t* count);
// desc: a D_AuxChannelDesc of `size` bytes. 3 "Channel index out of range."
ErrorCode D_RLA_GetAuxChannelDesc(PIN_SeqSpecH seq, int32_t index, void* desc, int32_t size);
// A new channel buffer (D_AuxChannelBuffer) of the frame at params->time;
// 9987 "Requested aux data channel is not available." for a channel the
// frame's file lacks. Scales are ignored: the buffer has the frame's size.
ErrorCode D_RLA_DrawAuxChannel(PIN_SeqSpecH seq, int32_t index, const PIN_DrawParams* params, Handle* data);
ErrorCode D_RLA_FreeAuxChannel(PIN_SeqSpecH seq, Handle data);

#ifdef __cplusplus
}
#endif
