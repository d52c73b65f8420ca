// SND: sound worlds. A sound world is a buffer of interleaved sample frames
// with its format and its place in time, kept in a relocatable handle. The
// package creates, locks and edits worlds (extend, resize, clip, reverse,
// stretch, level envelope, edge softening), converts samples between
// encodings, sample sizes, channel counts and rates, mixes worlds into one
// another, and converts between times and sample positions and between level
// ratios and decibels.
//
// What callers may rely on:
// - A format is valid when its rate is finite and above 0, its encoding is
//   unsigned or signed integer with 1 or 2 bytes per sample or floating point
//   with 4, and it has 1 or 2 channels. Worlds hold valid formats only.
// - Samples sit in host byte order, channels interleaved. Silence is 0x80 for
//   unsigned 8-bit samples, 0x8000 for unsigned 16-bit samples and 0 for
//   signed and floating-point samples.
// - Frame counts, sample positions and byte sizes are 64-bit; a world never
//   holds more frames than its buffer has room for.
// - Frame i of a world sits at start + i / rate seconds. A world's start is an
//   exact Time; starts that move by whole frames stay exact (the start of a
//   world whose rate is a whole number keeps the rate as its scale), so long
//   sequences of edits and conversions do not drift.
// - Sample position of a time t: the first frame at or after t is
//   ceil(rate * t - 1e-8). Times and positions are computed exactly when the
//   rate is a whole number (one hour at 48 kHz lands on sample 172800000).
// - Integer samples never wrap: sums and gains that leave the sample range are
//   limited to it. Floating-point samples are not limited.
// - Every operation checks the world's marker words first and answers 2
//   ("Internal structure is damaged.") when they are not intact.
// - Out-parameters hold their invalid value (null, 0, the invalid time, a
//   zeroed record) on failure. Every failure is reported once, here; the
//   interruption code SND_ErrInterrupted is not a failure and is not reported.
// - Single thread: the library thread.
#pragma once

#include "STR.h"
#include "TDB.h"
#include "Types.h"

enum { SND_PackageNumber = 10 };

// A sound world: a handle to the world record.
typedef Handle SND_World;

// Sample encodings.
enum {
  SND_Encoding_Unsigned = 1,
  SND_Encoding_Signed = 2,
  SND_Encoding_Float = 3,
};

// TimeToSamp and SampToTime rounding modes.
enum {
  SND_Round_Nearest = 0,
  SND_Round_Floor = 1,
  SND_Round_Ceiling = 2,
};

// Qualities: 1 is best; every other value is draft.
enum { SND_Quality_Draft = 0, SND_Quality_Best = 1 };

// SND_Blit modes.
enum {
  SND_Blit_Replace = 0,  // the source's samples replace the destination's
  SND_Blit_Mix = 1,      // the source's samples are added to the destination's
};

// Answered (unreported) when the installed abort procedure asks to stop.
enum { SND_ErrInterrupted = 517 };

// A sound format in memory.
typedef struct SND_Format {
  double rate;              // samples per second
  uint16_t encoding;        // SND_Encoding_*
  uint16_t bytesPerSample;  // 1, 2 or 4
  uint16_t channels;        // 1 or 2
  uint16_t reserved;        // 0
} SND_Format;

// The stored form of a format (10 bytes, big-endian): the rate as unsigned
// 16.16 fixed point, then encoding, bytes per sample and channels as u16.
typedef struct SND_StoredFormat {
  uint8_t bytes[10];
} SND_StoredFormat;

// The default format: 11127.272720336914 Hz (0x2B7745D1 / 65536), unsigned,
// 1 byte, mono.
#define SND_DEFAULT_RATE 11127.272720336914

// What SNDp_GetWorldInfo tells of a world.
typedef struct SND_WorldInfo {
  SND_Format format;
  int64_t frames;
  Time start;
  double startSeconds;
  double durationSeconds;  // frames / rate
  int32_t lockCount;
  Boolean32 ownsRecord;    // 1: made by SND_NewWorld; 0: in a record given by the caller
} SND_WorldInfo;

// The description text of a format.
typedef struct SND_InfoText {
  char text[64];
} SND_InfoText;

// Procedures installed by the project engine. The progress procedure is
// called between blocks of long conversions with the caller's progress
// argument and the frames done so far out of total; the abort procedure
// before each block. A non-zero answer of either stops the operation, which
// answers SND_ErrInterrupted without a report and leaves its destination
// world consistent (some frames converted, the rest silence).
typedef ErrorCode (*SND_ProgressProc)(void* progress, int64_t done, int64_t total);
typedef Boolean32 (*SND_AbortProc)(void* progress);

TV_EXPORT STR_Table SNDp_G_STRs;

// ---- Package frame ----------------------------------------------------------------
TV_EXPORT uint32_t SND_PkgObjectVersion(void);
TV_EXPORT ErrorCode SND_CheckVersions(LocationCode location, int32_t expectedMajor);
// Installs the strings. 12 when born already.
TV_EXPORT ErrorCode SND_Birth(void);
// Reports the worlds still alive (warning) and releases the strings. 11 when
// not born.
TV_EXPORT ErrorCode SND_Death(void);
// Either may be null (no procedure).
TV_EXPORT ErrorCode SND_InstallProcs(SND_ProgressProc progress, SND_AbortProc abort);
// Only remembers the setting (SNDp_GetQtUsesNonIntegerRates answers it).
TV_EXPORT ErrorCode SND_SetQtUsesNonIntegerRates(Boolean32 on);
TV_EXPORT Boolean32 SNDp_GetQtUsesNonIntegerRates(void);
// Worlds made since the process started, and worlds alive now.
TV_EXPORT ErrorCode SNDp_GetWorldCounts(int64_t* created, int64_t* alive);
// Sample conversion, levels, time remapping and the reading of footage sound
// run fast kernels unless the environment variable TAVELO_REFERENCE_KERNELS is
// 1 or SNDp_UseReferenceKernels(1) was called: then the literal ones, one
// sample at a time. Both give identical samples.
TV_EXPORT ErrorCode SNDp_UseReferenceKernels(Boolean32 on);
TV_EXPORT Boolean32 SNDp_UsingReferenceKernels(void);

// ---- Formats ------------------------------------------------------------------------
// The stored form into the memory form (no checks: the rate may be 0).
// 3 for a null argument; *format is zeroed on failure.
TV_EXPORT ErrorCode SND_Convert2FormatInfo(const SND_StoredFormat* stored, SND_Format* format);
// The memory form into the stored form; 3 for a null argument or a rate
// outside 0 .. 65535.99998 (no 16.16 form).
TV_EXPORT ErrorCode SNDp_Convert2StoredFormat(const SND_Format* format, SND_StoredFormat* stored);
// "%.3f KHz / %d bit%s / %s": rate in kHz, bits, " U" (unsigned wider than 1
// byte), " S" (signed 1-byte), " F" (floating point) or nothing, "Mono" or
// "Stereo"; "None" for a format without channels. 3 for a null argument
// (text emptied when given).
TV_EXPORT ErrorCode SND_GetInfoString(const SND_Format* format, SND_InfoText* text);
// Whether the format is one a world may hold (see above).
TV_EXPORT Boolean32 SNDp_IsValidFormat(const SND_Format* format);

// ---- Worlds ---------------------------------------------------------------------------
// Exactly one of record and world is given (3 "invalid parameter." otherwise).
// With world: a new handle, *world set. With record: the record handle is
// made a world in place (grown to the record's size; a record still carrying
// the markers is reported as "reinitializing unterminated sound world."
// (warning, the old buffer is not freed) and cleared); it stays the caller's
// and SND_DisposeWorld only frees its buffer. Null format: the default format.
// The world starts empty at time 0 over scale trunc(rate). 3 for an invalid
// format; 4 when memory is short.
TV_EXPORT ErrorCode SND_NewWorld(const SND_Format* format, Handle record, SND_World* world);
// Frees the buffer and, when the package made it, the record; the record's
// markers are changed first. A world whose buffer is locked is disposed all
// the same.
TV_EXPORT ErrorCode SND_DisposeWorld(SND_World world);
TV_EXPORT ErrorCode SNDp_GetWorldInfo(SND_World world, SND_WorldInfo* info);
// Nested locking: the first lock locks the buffer (moving it high first when
// asked), the last unlock unlocks it. *samples (optional) is the address of
// frame 0, null for an empty buffer. 3 for an unlock without a lock.
TV_EXPORT ErrorCode SND_LockBuffer(Boolean32 moveHigh, SND_World world);
TV_EXPORT ErrorCode SND_UnlockBuffer(SND_World world);
TV_EXPORT ErrorCode SNDp_GetBuffer(SND_World world, void** samples);
// Makes the world hold `frames` frames (the buffer grows when it is too
// small and never shrinks; frames beyond the old count hold what the buffer
// held, silence when it grew), locks it and answers frame 0's address.
// 3: negative frames or a buffer already locked; the growth's failure is
// reported as "resizing sound buffer." with the memory code (-108).
TV_EXPORT ErrorCode SND_SizeAndLockBuffer(int64_t frames, Boolean32 moveHigh, SND_World world, void** samples);
// Only when the world holds frames; 3 for the invalid time.
TV_EXPORT ErrorCode SND_SetWorldStartTime(Time start, SND_World world);

// ---- Edits ----------------------------------------------------------------------------
// Grows the world so that it covers start .. start + duration as well as what
// it held (new frames are silence); an empty world moves to start first.
TV_EXPORT ErrorCode SND_Extend(Time start, Time duration, SND_World world);
// Frame i of the result is old frame i + shift when that exists, else
// silence, for i in 0 .. frames - 1; the start moves by shift / rate.
// 3 for negative frames.
TV_EXPORT ErrorCode SND_Resize(int64_t shift, int64_t frames, SND_World world);
// Keeps the part of the world inside start .. start + duration; a world
// outside it becomes empty and starts at start.
TV_EXPORT ErrorCode SND_Clip(Time start, Time duration, SND_World world);
// The four edits below refuse formats they cannot scale with 5
// ("unimplemented function."; every valid format passes) and leave an empty
// world alone.
// Reverses the order of the frames (channels keep their order).
TV_EXPORT ErrorCode SND_Reverse(SND_World world);
// ratio (16.16) r: rate / |r|, duration * |r|, start r * start + offset; a
// negative r then moves the start back by the new duration and reverses the
// frames. 3 for a ratio of 0.
TV_EXPORT ErrorCode SND_Stretch(int32_t quality, Fixed ratio, Time offset, int32_t reserved, SND_World world);
// Applies the levels of dimension min(channel, dimensions - 1) of `levels`
// (a TDB stream in dB, limited to -192 .. +24, times in seconds of the
// world's time line) to `count` frames from frame `first` of the world
// (limited to the frames held).
TV_EXPORT ErrorCode SND_Envelope(int32_t quality, int64_t first, int64_t count, TDB_Stream levels, int32_t reserved,
                                 SND_World world);
// One-millisecond ramps (trunc(rate / 1000) frames, at most the frames held)
// at the start (fadeIn) and end (fadeOut): frame k of a ramp is scaled by
// (k + 1) / (n + 1).
TV_EXPORT ErrorCode SND_SoftenEdges(Boolean32 fadeIn, Boolean32 fadeOut, SND_World world);

// ---- Conversion and mixing ----------------------------------------------------------------
// Copies (or mixes) the part of source inside start .. start + duration (the
// whole source when either is null) into destination, converted to its
// format, rate and channel count. The destination is extended to cover that
// part first (new frames are silence). A world at a whole rate holds the
// samples of the rate's grid from the first at or after its start (as
// SND_Extend places them), so pieces cut from one stream at any times join
// again; a world at another rate (stretched) holds its frame i at
// start + i / rate. Frame j of the destination takes the source at the
// source position of the destination frame's time: at equal
// rates (within 1e-8) the frame floor(position + 1e-8), without
// interpolation; otherwise interpolated (linear at draft quality, cubic at
// best, after a 29-tap low-pass when the source rate is higher). Outside the
// source is silence. Stereo to mono averages, mono to stereo duplicates.
// Integer sizes scale by powers of two, rounded to nearest (halves up);
// floating point is 1.0 for full scale. 3: the same world twice, a bad mode;
// 517 when interrupted.
TV_EXPORT ErrorCode SND_Blit(int32_t quality, SND_World source, const Time* start, const Time* duration,
                             int32_t mode, void* progress, SND_World destination);
// Converts the world into `format` in place: a change of signedness alone
// flips the samples' top bits; anything else goes through SND_Blit into a new
// buffer that takes the old one's place (the world handle stays). 3 for an
// invalid format.
TV_EXPORT ErrorCode SND_UpdateWorld(int32_t quality, const SND_Format* format, void* progress, SND_World world);

// ---- Times, samples and levels ---------------------------------------------------------------
// x = time * rate; sample = x rounded by mode, remainder (optional) =
// x - sample. 3 for a bad mode, the invalid time or a rate that is not finite
// and above 0; 10 when x does not fit in 62 bits.
TV_EXPORT ErrorCode SND_TimeToSamp(int32_t mode, double rate, Time time, int64_t* sample, double* remainder);
// t = sample / rate as a Time, the nearest the Time can hold when mode is
// nearest, at or before t for floor, at or after for ceiling; remainder
// (optional) = t - time in seconds. Exact (remainder 0) when the rate is a
// whole number and the sample fits in 31 bits. Errors as SND_TimeToSamp.
TV_EXPORT ErrorCode SND_SampToTime(int32_t mode, int64_t sample, double rate, Time* time, double* remainder);
// x = 20 log10(x) (0 gives -infinity); d = 10^(d / 20).
TV_EXPORT ErrorCode SND_RatioToDB(double* value);
TV_EXPORT ErrorCode SND_DBtoRatio(double* value);
// The samples callers add on each side of a source range they read for a
// conversion: 0 below best quality or for equal rates, 29 when the source
// rate is higher, 3 when it is lower. Rates as unsigned 16.16 or doubles.
// 3 ("bad audio sample size parameter.") for a null window or a bad rate.
TV_EXPORT ErrorCode SND_GetResampleWindowSize(int32_t quality, uint32_t sourceRate, uint32_t destinationRate,
                                              int32_t* window);
TV_EXPORT ErrorCode SND_GetResampleWindowSizeF(int32_t quality, double sourceRate, double destinationRate,
                                               int32_t* window);

// ---- Sound sources ---------------------------------------------------------------------------
// A source reads sound from a file (WAV, AIFF and the other formats of the
// platform's sound file library).
typedef Handle SND_Source;
typedef struct SND_SourceDesc {
  SND_Format format;  // the file's own format (wider integers read as signed 16-bit, other floats as 4-byte)
  int64_t frames;
} SND_SourceDesc;
// -43 for a missing file; 3 for a file that holds no sound the library reads.
TV_EXPORT ErrorCode SND_NewSource(const char* path, SND_Source* source);
TV_EXPORT ErrorCode SND_DisposeSource(SND_Source source);
TV_EXPORT ErrorCode SND_GetDesc(SND_Source source, SND_SourceDesc* desc);
// Fills world (any valid format) with the source's sound over start ..
// start + duration (the source starts at time 0), converted as SND_Blit does.
TV_EXPORT ErrorCode SND_GetSound(SND_Source source, int32_t quality, Time start, Time duration, SND_World world);

// ---- Time remapping ---------------------------------------------------------------------------
// Samples `remap` (a TDB stream of source seconds over the world's time,
// dimension 0) over output frames firstSample .. firstSample + sampleCount - 1
// at the format's rate, widened by 58 frames on each side (not before time
// 0), within 0.001 s at best quality and 0.003 s otherwise, into *remapData
// (dispose with SND_DisposeTimeRemapData). *firstSource and *sourceCount are
// the source frames the render reads: from floor(t0 * rate + 1e-8) - 29 (not
// below 0) to ceil(t1 * rate - 1e-8) + 29, t0 and t1 the smallest and
// largest remapped times; 0 and 0 for no output frames. 3 for a null
// argument or an invalid format, 5 for a format the edits refuse; *remapData
// null and the counts 0 on failure.
TV_EXPORT ErrorCode SND_SetupTimeRemapSound(int32_t quality, const SND_Format* sourceFormat, int64_t firstSample,
                                            int64_t sampleCount, TDB_Stream remap, Handle* remapData,
                                            int64_t* firstSource, int64_t* sourceCount);
// Replaces *world (the source, any start) by a new world of its format
// holding `count` frames from frame `first` (at the source's rate): frame j
// takes the source at the remapped time of (first + j) / rate: the source
// frame itself when the time falls within a millionth of a frame of it,
// else interpolated (linear at draft quality, cubic at best); silence outside
// the source. The old world is disposed. On failure *world is unchanged.
TV_EXPORT ErrorCode SND_RenderTimeRemapSound(int32_t quality, int64_t first, int64_t count, Handle remapData,
                                             SND_World* world);
TV_EXPORT ErrorCode SND_DisposeTimeRemapData(Handle remapData);

// ---- Playback ---------------------------------------------------------------------------------
// A PlaySpec binds one sound world to the sound output
// (SNDp_SetAudioOutput) and plays it, whole or streamed in buffers of at most
// one second. The record is the caller's; clear it to zeros before the first
// SND_NewPlaySpec, and do not move it while it is bound (the output's
// thread reports to it).
//
// What callers may rely on:
// - The world's samples are never changed: they are handed to the output in
//   the world's own format (the output converts what it must). The world's
//   buffer stays locked while the PlaySpec is bound.
// - A buffer is never refilled while it is queued or playing: only free or
//   done buffers are.
// - The output's thread only changes buffer states. The completion procedure
//   is called on the caller's thread, once per play, by the call that finds
//   every frame played (SND_ResumePlay, SND_Play, SND_ResetPlaySpec,
//   SND_ClearPlaySpec).
// - Failures of the output are reported as "audio output problem.  <reason>"
//   (code SND_ErrOutput); a device that fails while playing ends the play,
//   and the buffers are free again. When no sound device opens the reason
//   says so; the output can then be a WAV file ("file:<path>").
enum {
  SND_ErrNoSupport = 2572,  // the output cannot play 16-bit or stereo sound
  SND_ErrOutput = 2573,     // the output failed
};
#define SND_PlaySpecMarker 0xD0EADEEAu
#define SND_NoBufferMarker 0xBEADEE00u
// Buffer states.
enum {
  SND_Wave_Free = 0,
  SND_Wave_Prepared = 1,
  SND_Wave_Queued = 2,
  SND_Wave_Playing = 3,
  SND_Wave_Done = 4,
};
// PlaySpec flags.
enum {
  SND_Play_Idle = 0x1,
  SND_Play_Converted = 0x2,  // never set here: the world is not converted
};
typedef struct SND_WaveHeader {
  uint32_t marker;  // SND_NoBufferMarker while no frames are attached
  int32_t state;    // SND_Wave_*; changed by the output's thread
  int64_t firstFrame;
  int64_t frames;
} SND_WaveHeader;
typedef struct SND_PlaySpec SND_PlaySpec;
typedef void (*SND_PlayDoneProc)(SND_PlaySpec* spec, intptr_t reference);
struct SND_PlaySpec {
  uint32_t marker;  // SND_PlaySpecMarker while bound
  uint32_t flags;   // SND_Play_*
  SND_World world;
  Boolean32 streaming;
  int32_t playCount;
  void* device;     // the open output
  SND_WaveHeader headers[2];
  int64_t nextFrame;  // the first frame not yet queued
  SND_PlayDoneProc callback;
  intptr_t reference;
};
// Binds world (unsigned or signed integer samples; 5 "unimplemented
// function." for others) to the output: SND_ErrNoSupport ("... playback of
// 16-bit audio." / "... playback of stereo audio.") when the output cannot
// play it, SND_ErrOutput when it does not open, 3 for a spec that is already
// bound. Buffers: one covering every frame, or with streaming the first two
// seconds in two buffers. The PlaySpec is left cleared on failure.
TV_EXPORT ErrorCode SND_NewPlaySpec(SND_World world, SND_PlayDoneProc callback, intptr_t reference,
                                    SND_PlaySpec* spec);
// Plays from the start: a play under way is stopped first (waiting at most
// ten seconds for its buffers); the first buffer plays, with streaming the
// second is queued behind it. 3 for a spec that is not bound.
TV_EXPORT ErrorCode SND_Play(SND_PlaySpec* spec);
// Streaming: refills done buffers with the next second of frames and queues
// them; calls the completion procedure once every frame has played.
TV_EXPORT ErrorCode SND_ResumePlay(SND_PlaySpec* spec);
// Stops the output, binds world instead when given (the callback and
// reference too) and prepares the buffers from frame 0 again.
TV_EXPORT ErrorCode SND_ResetPlaySpec(SND_World world, SND_PlayDoneProc callback, intptr_t reference,
                                      SND_PlaySpec* spec);
// Waits for the play to end (unless immediately; at most the remaining
// play time and ten seconds), closes the output, unlocks the world and clears
// the record. A spec that is not bound is left alone.
TV_EXPORT ErrorCode SND_ClearPlaySpec(SND_PlaySpec* spec, Boolean32 immediately);
// Always yes: the output plays any rate (rounded to a whole number).
TV_EXPORT ErrorCode SND_IsPlayRateSupported(double rate, const SND_Format* format, Boolean32* supported);
// The package setting that chooses streaming for new play specifications.
TV_EXPORT ErrorCode SNDp_SetPlayStreaming(Boolean32 on);
// The sound output: "alsa:<device>", "null", "null:mono", "null:8bit",
// "file:<path of a WAV file>"; null or "" goes back to the environment's
// TAVELO_AUDIO_OUTPUT or "alsa:default".
TV_EXPORT ErrorCode SNDp_SetAudioOutput(const char* name);
