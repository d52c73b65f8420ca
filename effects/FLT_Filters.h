/* FLT_Filters: the two foreign filter interfaces whose plug-ins the effect
 * package runs as effects, each through an adapter that translates the
 * effect commands into the filter's own calls.
 *
 * - Image filters (plug-in kind 'Q7FM', files "*.q7f"): one entry called
 *   with a selector and an FF_ImageRecord. Setup once per class (before any
 *   other call), Filter once per rendered frame over the whole image,
 *   Teardown once when the engine closes, About for the filter's text.
 *   Pixels are 8-bit A, R, G, B in memory order, rows rowBytes apart.
 * - Sound filters (plug-in kind 'KFlt', files "*.vqf"): one entry called with
 *   a selector and an FF_SoundRecord: Setup, Process once per run of
 *   interleaved 32-bit float samples in -1..1, Teardown. They process sound
 *   only (their effect classes declare out flags 0x80000020).
 *
 * Property lists of image filters (little-endian, as every property list):
 *   'mode' u16       image modes: bit 0 8-bit ARGB (the only one offered
 *                    here; a filter without it is registered unusable)
 *   'fici' 28 bytes  filter case information (kept for the filter)
 *   'aFLT' 68 bytes  u32 flags (bit 0: "W", the filter wants the whole
 *                    image), then a 64-byte counted description
 *   'aPAR' 100 bytes u32 count (0 to 4), then 4 entries of 24 bytes: a
 *                    16-byte counted name, i16 minimum, maximum, default,
 *                    u16 reserved. Each becomes an integer slider.
 * An image filter's class is named "RZ %s", "RZ+ %s" (with 'aPAR'
 * parameters), "RZW %s" or "RZW+ %s" (with 'aFLT' flag bit 0), and gets
 * three parameters after its own: "Foreground Color", "Background Color"
 * (handed to the filter) and "Blend With Original" (0 to 100 %, mixed in
 * by the host after the filter ran). A sound filter's class is named
 * "VQF %s".
 * Both name their entry symbol in 'pwpc', as effects do.
 */
#pragma once

#include <stdint.h>

enum { FF_Sel_About = 0, FF_Sel_Setup = 1, FF_Sel_Filter = 2, FF_Sel_Teardown = 3 };
enum { FF_Sel_Process = 2 };
enum { FF_MaxParams = 4, FF_MessageBytes = 128 };
enum { FF_Mode_ARGB8 = 0x1 };
enum { FF_Flag_WholeImage = 0x1 };

typedef struct FF_ImageRecord {
  int32_t width, height;
  const uint8_t* src;          /* the input image */
  int32_t srcRowBytes;
  uint8_t* dst;                /* the output image, the same size */
  int32_t dstRowBytes;
  int32_t paramCount;          /* the 'aPAR' parameters */
  int32_t params[FF_MaxParams];
  uint8_t foreground[4];       /* A, R, G, B */
  uint8_t background[4];
  void* data;                  /* the filter's own: set at setup, kept until teardown */
  /* Non-zero when the user stopped the work: the filter returns at once. */
  int32_t (*abort)(void* hostRef);
  void (*progress)(void* hostRef, int32_t done, int32_t total);
  void* hostRef;
  char message[FF_MessageBytes];  /* about: the filter's text, zero-terminated */
} FF_ImageRecord;
/* 0 or the filter's error (handed on to the engine's caller unchanged). */
typedef int32_t (*FF_ImageEntry)(int32_t selector, FF_ImageRecord* record);

typedef struct FF_SoundRecord {
  const float* in;             /* frames x channels samples, interleaved */
  float* out;
  int64_t frames;
  int32_t channels;
  double rate;
  void* data;                  /* the filter's own: set at setup, kept until teardown */
} FF_SoundRecord;
typedef int32_t (*FF_SoundEntry)(int32_t selector, FF_SoundRecord* record);
