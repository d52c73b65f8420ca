// SND's private parts: the world record, report sites, text indices and the
// helpers shared by the operations.
#pragma once

#include <cstddef>
#include <cstdint>

#include "HandleLock.h"
#include "Memory.h"
#include "Package.h"
#include "SND.h"

namespace tv::snd {

constexpr uint16_t kWorldMagic = 0xD0FA;
constexpr uint16_t kDeadMagic = 0xDEAD;

// The world record (in its handle). Markers first and last.
struct WorldRec {
  uint16_t magic;
  SND_Format format;
  int64_t frames;
  Handle buffer;          // frames x channels x bytes per sample (at least)
  uint32_t ownsRecord;
  Time start;
  int32_t lockCount;
  uint8_t secondsValid;
  double startSeconds;
  double durationSeconds;
  uint16_t tailMagic;
};

constexpr pkg::Magic<WorldRec, uint16_t> kMagic{&WorldRec::magic, kWorldMagic, &WorldRec::tailMagic, kWorldMagic};

// Report sites.
enum Site : uint32_t {
  kSiteBirth = 1, kSiteDeath, kSiteNew, kSiteDispose, kSiteLock, kSiteUnlock, kSiteSizeLock, kSiteStart,
  kSiteExtend, kSiteResize, kSiteClip, kSiteReverse, kSiteStretch, kSiteEnvelope, kSiteSoften, kSiteBlit,
  kSiteUpdate, kSiteTimeToSamp, kSiteSampToTime, kSiteLevels, kSiteWindow, kSiteInfo, kSiteFormat,
  kSiteSource, kSiteProcs,
  // Time remapping and playback.
  kSiteRemap, kSitePlay,
};

enum TextIndex : int32_t {
  kTextDamaged, kTextBadParam, kTextBadSampleSize, kTextOutOfMemory, kTextUnimplemented, kTextReinit,
  kTextSoundWorld, kTextResizing, kTextSoundBuffer, kTextSizeMismatch, kTextRateNotRecognized,
  kTextRateNotPresent, kTextBadArgument, kTextOutOfRange, kTextLeaked, kTextBadFormat, kTextUnlock,
  kTextBadRate, kTextBadMode, kTextBadTime, kTextSameWorld, kTextStretchZero, kTextScratch, kTextSource,
  kTextSourceOpen, kTextSourceRead, kTextSoundTime, kTextNotMonoOrStereo,
  // Time remapping and playback.
  kTextRemapData, kTextNoSupport, kText16Bit, kTextStereo, kTextOutputProblem, kTextNoErrorText,
  kTextPlaySpec, kTextPlayBuffers, kTextNotBound,
  kTextCount
};

extern const pkg::Reporter kReport;

// Installed procedures.
struct Procs {
  SND_ProgressProc progress = nullptr;
  SND_AbortProc abort = nullptr;
};
const Procs& InstalledProcs();
void CountWorld(int delta);

// ---- Formats (SND_format.cpp) ----
bool ValidFormat(const SND_Format& f);
bool ValidRate(double rate);
constexpr int64_t FrameBytes(const SND_Format& f) { return int64_t{f.bytesPerSample} * f.channels; }
// Whether the edit operations handle the format (integer 1/2 bytes, float 4).
bool EditableFormat(const SND_Format& f);
// The silence byte pattern of a sample: fills n samples at dst.
void FillSilence(const SND_Format& f, void* dst, int64_t samples);
// The scale of a world's start Time: the rate truncated (at least 1).
uint32_t ScaleOf(double rate);

// ---- Exact positions (SND_time.cpp) ----
// time * rate, exact for a whole rate (long double otherwise).
long double Position(Time t, double rate);
// ceil(x - 1e-8) for a position.
int64_t FirstSample(long double x);
// A Time for seconds over the rate's scale when that is the nearer, else the
// double-to-ratio conversion; 10 (reported) when none holds it.
ErrorCode TimeFromSeconds(long double seconds, double rate, uint32_t site, Time* t);
// t + frames / rate, exact when t's scale is the whole rate.
ErrorCode AddFrames(Time t, int64_t frames, double rate, uint32_t site, Time* out);
// Whether the seconds as long double of a Time.
inline long double Seconds(Time t) { return static_cast<long double>(t.value) / t.scale; }

// ---- World access (SND_world.cpp) ----
// Checks the markers (2, reported at site, on failure).
ErrorCode Check(SND_World w, uint32_t site);
inline WorldRec& Rec(SND_World w) { return *reinterpret_cast<WorldRec*>(*w); }
// Makes the buffer hold at least bytes bytes; "resizing sound buffer." on failure.
ErrorCode GrowBuffer(WorldRec& r, int64_t bytes, uint32_t site);
// Byte size of frames of the format; false when it does not fit in 62 bits.
bool BytesFor(const SND_Format& f, int64_t frames, int64_t* bytes);
void MarkStale(WorldRec& r);
void UpdateSeconds(WorldRec& r);
// The format test of the edit operations (5, reported, when it fails).
ErrorCode CheckEditable(const WorldRec& r, uint32_t site);
// Reverses frames in place.
void ReverseFrames(uint8_t* p, int64_t frames, int64_t frameBytes);
ErrorCode ResizeRec(SND_World w, int64_t shift, int64_t frames, uint32_t site);
ErrorCode ExtendRec(SND_World w, Time start, long double startPos, long double endPos, uint32_t site);

// ---- Sample conversion (SND_convert.cpp) ----
// One sample format: encoding and size.
struct SampleFormat {
  uint16_t encoding;
  uint16_t bytes;
};
enum class ChannelMap : uint8_t { Same, MonoToStereo, StereoToMono };
// Converts (or mixes) frames from src into dst at equal rates.
// The literal kernel: one sample at a time through the general rules.
void ConvertFramesReference(SampleFormat sf, int srcChannels, const void* src, SampleFormat df, int dstChannels,
                            void* dst, int64_t frames, bool mix);
// The fast kernels: the same results from loops specialised per format pair.
void ConvertFramesFast(SampleFormat sf, int srcChannels, const void* src, SampleFormat df, int dstChannels,
                       void* dst, int64_t frames, bool mix);
// Whether the fast kernels are in use (TAVELO_REFERENCE_KERNELS=1 chooses the literal ones).
bool UseFastKernels();
void UseReferenceKernels(bool on);
// A sample as a double at full scale 1.0 (8-bit values divided by 128, 16-bit by 32768).
double ReadNormalized(SampleFormat f, const uint8_t* p);
// Writes a normalized value (scaled, rounded half up, limited for integers);
// mix adds it to the sample there.
void WriteNormalized(SampleFormat f, uint8_t* p, double v, bool mix);
// Source frames lo .. lo + n - 1 (silence outside 0 .. frames - 1) as
// normalized doubles, mapped from sc to dc channels.
void LoadNormalized(SampleFormat f, int sc, int dc, const uint8_t* src, int64_t frames, int64_t lo, int64_t n,
                    double* out);
// WriteNormalized over n samples.
void StoreNormalized(SampleFormat f, const double* v, uint8_t* dst, int64_t n, bool mix);

// ---- Rate conversion (SND_resample.cpp) ----
// The 29 taps of the down-sampling filter for the ratio c = dst / src.
void DesignFilter(double c, float taps[29]);
struct ResampleJob {
  const uint8_t* src;
  int64_t srcFrames;
  SampleFormat sf;
  int srcChannels;
  uint8_t* dst;  // frame 0 of the written range
  int64_t dstFrames;
  SampleFormat df;
  int dstChannels;
  long double pos0;  // source position of destination frame 0
  long double step;  // source frames per destination frame
  // Whole rates and origins: destination frame j is frame dstFirst + j of
  // the destination rate's grid, and its source position is exactly
  // (dstFirst + j) * srcRate / dstRate - srcOrigin, whatever span is asked
  // (so spans rendered apart join as rendered whole).
  bool exact;
  int64_t dstFirst, srcRate, dstRate, srcOrigin;
  bool best;
  bool filter;
  bool mix;
  void* progress;
};
ErrorCode Resample(const ResampleJob& job, uint32_t site);
// Calls the installed procedures; non-zero to stop.
ErrorCode Poll(void* progress, int64_t done, int64_t total);

}  // namespace tv::snd
