// SND's package frame: its checked text table and reporter, version
// operations, birth and death, the installed procedures and the world counts.
#include "SND_internal.h"

STR_Table SNDp_G_STRs = {};

namespace tv::snd {
namespace {

constexpr pkg::Text kTexts[] = {
    {kTextDamaged, "Internal structure is damaged."},
    {kTextBadParam, "invalid parameter."},
    {kTextBadSampleSize, "bad audio sample size parameter."},
    {kTextOutOfMemory, "out of memory."},
    {kTextUnimplemented, "unimplemented function."},
    {kTextReinit, "reinitializing unterminated %s."},
    {kTextSoundWorld, "sound world"},
    {kTextResizing, "resizing %s."},
    {kTextSoundBuffer, "sound buffer"},
    {kTextSizeMismatch, "sound buffer size mismatch. Size is %ld, needed is %ld."},
    {kTextRateNotRecognized, "sample rate not recognized. Assuming 11KHz."},
    {kTextRateNotPresent, "sample rate not present. Assuming 11KHz."},
    {kTextBadArgument, "bad argument to %s."},
    {kTextOutOfRange, "%s: the result does not fit."},
    {kTextLeaked, "%ld sound worlds were not disposed."},
    {kTextBadFormat, "invalid sound format (%.3f Hz, encoding %ld, %ld bytes, %ld channels)."},
    {kTextUnlock, "sound buffer unlocked more often than locked."},
    {kTextBadRate, "invalid sample rate (%g)."},
    {kTextBadMode, "invalid rounding mode (%ld)."},
    {kTextBadTime, "invalid time (%ld / %lu)."},
    {kTextSameWorld, "source and destination are the same sound world."},
    {kTextStretchZero, "a stretch ratio of 0."},
    {kTextScratch, "sound conversion scratch memory"},
    {kTextSource, "sound source"},
    {kTextSourceOpen, "can't read sound from \"%s\" (%s)."},
    {kTextSourceRead, "reading sound from \"%s\" failed at frame %ld."},
    {kTextSoundTime, "sound time"},
    {kTextNotMonoOrStereo, "not mono or stereo"},
    {kTextRemapData, "time remapping temporary data"},
    {kTextNoSupport, "Sound Manager doesn't support %s{{*MSWindows*}}This machine's sound capabilities do not include %s"},
    {kText16Bit, "playback of 16-bit audio."},
    {kTextStereo, "playback of stereo audio."},
    {kTextOutputProblem, "audio output problem.  %s"},
    {kTextNoErrorText, "error getting error message"},
    {kTextPlaySpec, "play record"},
    {kTextPlayBuffers, "playback buffers"},
    {kTextNotBound, "the play record is not bound to a sound world."},
};
TV_TEXT_TABLE(kTexts, kTextCount);

constexpr pkg::Lifecycle gLife(SND_PackageNumber);

Procs gProcs;
int64_t gCreated = 0;
int64_t gAlive = 0;
Boolean32 gNonIntegerRates = 0;

}  // namespace

// SND installs its table at birth; before that the compiled texts are used.
constinit const pkg::Reporter kReport{.number = SND_PackageNumber,
                                      .table = &SNDp_G_STRs,
                                      .compiled = pkg::CompiledTexts<kTexts>,
                                      .count = kTextCount,
                                      .damaged = kTextDamaged,
                                      .badParam = kTextBadArgument};

const Procs& InstalledProcs() { return gProcs; }

void CountWorld(int delta) {
  if (delta > 0) gCreated += delta;
  gAlive += delta;
}

ErrorCode Poll(void* progress, int64_t done, int64_t total) {
  if (gProcs.abort && gProcs.abort(progress)) return SND_ErrInterrupted;
  if (gProcs.progress && gProcs.progress(progress, done, total) != 0) return SND_ErrInterrupted;
  return 0;
}

}  // namespace tv::snd

using namespace tv;
using namespace tv::snd;

TV_PACKAGE_VERSION_OPS(SND, SND_PackageNumber)

ErrorCode SND_Birth(void) {
  if (ErrorCode err = gLife.Birth(kSiteBirth)) return err;
  if (ErrorCode err = kReport.InstallTable()) {
    gLife.SetAlive(false);
    return err;
  }
  gProcs = Procs{};
  return 0;
}

ErrorCode SND_Death(void) {
  if (ErrorCode err = gLife.Death(kSiteDeath)) return err;
  if (gAlive > 0) kReport.Note(kSiteDeath, kSevWarning, kTextLeaked, {gAlive});
  gProcs = Procs{};
  gLife.SetAlive(false);
  return 0;
}

ErrorCode SND_InstallProcs(SND_ProgressProc progress, SND_AbortProc abort) {
  gProcs.progress = progress;
  gProcs.abort = abort;
  return 0;
}

ErrorCode SND_SetQtUsesNonIntegerRates(Boolean32 on) {
  gNonIntegerRates = on ? 1 : 0;
  return 0;
}

Boolean32 SNDp_GetQtUsesNonIntegerRates(void) { return gNonIntegerRates; }

ErrorCode SNDp_GetWorldCounts(int64_t* created, int64_t* alive) {
  if (created) *created = 0;
  if (alive) *alive = 0;
  if (!created && !alive) return kReport.BadParam(kSiteNew, {"SNDp_GetWorldCounts"});
  if (created) *created = gCreated;
  if (alive) *alive = gAlive;
  return 0;
}

ErrorCode SNDp_UseReferenceKernels(Boolean32 on) {
  UseReferenceKernels(on != 0);
  return 0;
}

Boolean32 SNDp_UsingReferenceKernels(void) { return UseFastKernels() ? 0 : 1; }
