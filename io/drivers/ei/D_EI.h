// The ElectricImage driver: a footage module that reads and writes
// ElectricImage image files. One file holds a sequence of frames, each with
// its own 32-byte header, a palette and run-length-encoded or raw 24- or
// 32-bit pixels; a companion file with the extension ".eiz" beside it holds
// a Z-depth channel, offered through the module table's auxiliary-channel
// slots. On the write side the framework's output path calls StartAdding,
// AddFrame and EndAdding.
//
// The driver is compiled into the engine and reached through its module
// table (signature "EIDI"); these entry points are not exported from the
// library.
//
// What callers may rely on:
// - Every integer of the file is stored most significant byte first; frame
//   times are big-endian 32-bit floats.
// - The reader never trusts the file: the frame count, each frame's palette
//   and data size and every run are bounded by the file's size before use.
//   Frames are located once, when the footage is opened; frames that do not
//   fit in the file are not part of the footage. A frame whose data ends
//   early draws what it holds over a cleared frame (alpha 255 without a
//   matte, 0 with one).
// - A depth file that does not match its image (another frame count, frame
//   size or pixel layout, or a header that is not version 5) is reported
//   when its channel is drawn (9987), never read past.
// - Frames draw in ARGB (byte 0 alpha); without matte bits alpha is 255.
// - The writer writes into a partial file beside the final name; only
//   EndAdding (or OutputFrame) puts the finished file under its final name,
//   through the atomic replacement, with its frames in the order of their
//   indices. An output that fails or is never ended leaves nothing there.
// - Reports use package 46 at severity 8: 9987 for a file that is not
//   usable, 9986 for sound, 9988 for frames the output cannot take, 4 out
//   of memory, 3 for a bad argument; other codes come from the file layer.
//   Out-parameters are cleared first.
#pragma once

#include "PIN.h"
#include "drivers/rla/D_RLA.h"  // the auxiliary channel descriptions and buffers

enum { D_EI_PackageNumber = 46 };

#define D_EI_Signature 0x45494449u    // "EIDI"
#define D_EI_FileType 0x45494449u     // "EIDI"
#define D_EI_Creator 0x45494144u      // "EIAD"
#define D_EI_DepthFileType 0x4549445Au  // "EIDZ"

enum {
  D_EI_Version = 5,          // the file header's version
  D_EI_FileHeaderSize = 6,   // u16 version, u32 frames
  D_EI_FrameHeaderSize = 32,
  D_EI_MaxSize = 30000,      // widest and highest frame
  D_EI_LegalDepths = 0xC0,   // 24- and 32-bit output
  D_EI_RawSlack = 516,       // run-length data is kept while it is this much below 4 bytes a pixel
};

// Data type of channels other than Z-depth: "CHR1", one byte.
#define D_AuxType_Char 0x43485231u

#ifdef __cplusplus
extern "C" {
#endif

// Fills the module's record and the slots it has, and maps the extension
// ".EIZ" to the depth file's type; 0 or the file layer's failure.
ErrorCode D_EI_Birth(PIN_ModuleInfo* info, PIN_ModuleProcs* procs);

// ---- Input --------------------------------------------------------------------
// Locates every frame and reads the first one's header: depth (24, or 32
// with matte bits), size and the frame rate from the frames' times (a file
// of one frame is a still); looks for the depth file. 9987 "Invalid EI
// version info.", "This file does not contain color image data.", "EI files
// with less than 24 bits/pixel are not supported.", "invalid IMAGE file.".
ErrorCode D_EI_NewSeqSpecFromFile(PIN_SeqSpecH seq, FILE_SpecH file, uint32_t options);
// Draws the frame at params->time (index = time / frame duration, clamped to
// the frames), scaled to the World. 9987 "EI files with differing frame
// sizes are not supported." for a frame of another size; 4 "No memory for
// EI image chunk".
ErrorCode D_EI_DrawSparseFrame(PIN_SeqSpecH seq, const PIN_DrawParams* params, BM_World world);
// Always 9986 "Unsupported callback.": the format carries no sound.
ErrorCode D_EI_GetSound(PIN_SeqSpecH seq, const void* request, Handle soundWorld);
// 1 when a depth file was found beside the image, else 0.
ErrorCode D_EI_GetNumAuxChannels(PIN_SeqSpecH seq, int32_t* count);
// desc: a D_AuxChannelDesc of `size` bytes: channel 0 is "Z-Depth" ("DPTH",
// FLT4 x 1). 3 "Bad Auxiliary info" for an index outside the channel count.
ErrorCode D_EI_GetAuxChannelDesc(PIN_SeqSpecH seq, int32_t index, void* desc, int32_t size);
// A new channel buffer (D_AuxChannelBuffer, floats in host order) of the
// frame at params->time; the frame's size whatever the scale.
ErrorCode D_EI_DrawAuxChannel(PIN_SeqSpecH seq, int32_t index, const PIN_DrawParams* params, Handle* data);
ErrorCode D_EI_FreeAuxChannel(PIN_SeqSpecH seq, Handle data);

// The per-sequence record ("ElectricImage IMAGE" options, stored with the
// footage): "EIDI", u16 version 1, u32 size, u32 frame count, u32 depth
// frame count, then each frame's file position (u64) of the image and of
// the depth file. Disposing accepts null.
ErrorCode D_EIp_NewOptionsInfo(int32_t frames, const int64_t* positions, int32_t depthFrames,
                               const int64_t* depthPositions, Handle* options);
ErrorCode D_EIp_DisposeOptionsInfo(Handle options);

// ---- Output -------------------------------------------------------------------
// The output's depth and rate come from its information (PIN_SetOutputInfo):
// above 24 bits each pixel carries its alpha (8 matte bits); frame times are
// index / rate seconds (0 without a rate).
ErrorCode D_EI_NewOutputSpec(PIN_OutputSpecH out);
// Writes the file header (version 5, 0 frames) to the partial file.
ErrorCode D_EI_StartAdding(PIN_OutputSpecH out);
// Appends frame `index`: its header, one palette entry of 3 zero bytes and
// its pixels, run-length encoded, or raw when that is not 516 bytes shorter
// than 4 bytes a pixel. A World of another size than the first frame's:
// 9988 "EI files with differing frame sizes are not supported.".
ErrorCode D_EI_AddFrame(PIN_OutputSpecH out, int32_t index, BM_World world);
// Finishes the file: the header counts the frames added, which follow in
// the order of their indices (the last one added of an index wins).
ErrorCode D_EI_EndAdding(PIN_OutputSpecH out);
// Between StartAdding and EndAdding: adds the World after the frames added;
// otherwise writes it as a file of one frame.
ErrorCode D_EI_OutputFrame(PIN_OutputSpecH out, BM_World world);
// D_EI_LegalDepths.
ErrorCode D_EI_GetLegalDepths(PIN_OutputSpecH out, uint32_t* depths);
// Always 9986 "Unsupported callback.".
ErrorCode D_EI_AddSoundChunk(PIN_OutputSpecH out, Handle soundWorld);

#ifdef __cplusplus
}
#endif
