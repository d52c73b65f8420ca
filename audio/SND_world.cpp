// Sound worlds: creation and disposal, buffer locking and sizing, the start
// time and the seconds derived from it.
#include <cmath>
#include <cstring>

#include "SND_internal.h"

namespace tv::snd {

ErrorCode Check(SND_World w, uint32_t site) { return kReport.CheckRecord(w, kMagic, site); }

bool BytesFor(const SND_Format& f, int64_t frames, int64_t* bytes) {
  const int64_t fb = FrameBytes(f);
  if (frames < 0 || fb <= 0 || frames > (int64_t{1} << 62) / fb) return false;
  *bytes = frames * fb;
  return true;
}

ErrorCode GrowBuffer(WorldRec& r, int64_t bytes, uint32_t site) {
  if (GetHandleSize(r.buffer) >= bytes) return 0;
  SetHandleSize(r.buffer, bytes);
  if (const OSErr err = MemError(); err != 0 || GetHandleSize(r.buffer) < bytes)
    return kReport.Platform(site, kSevError, err ? ErrorCode{err} : ErrorCode{kSysMemFull}, kTextResizing,
                            {kReport.Text(kTextSoundBuffer)});
  return 0;
}

void MarkStale(WorldRec& r) { r.secondsValid = 0; }

void UpdateSeconds(WorldRec& r) {
  if (r.secondsValid) return;
  r.startSeconds = static_cast<double>(Seconds(r.start));
  r.durationSeconds = static_cast<double>(r.frames / static_cast<long double>(r.format.rate));
  r.secondsValid = 1;
}

ErrorCode CheckEditable(const WorldRec& r, uint32_t site) {
  if (EditableFormat(r.format)) return 0;
  return kReport.Fail(site, kErrUnimplemented, kTextUnimplemented);
}

void ReverseFrames(uint8_t* p, int64_t frames, int64_t frameBytes) {
  if (frames < 2) return;
  uint8_t tmp[16];
  for (int64_t i = 0, j = frames - 1; i < j; ++i, --j) {
    uint8_t* a = p + i * frameBytes;
    uint8_t* b = p + j * frameBytes;
    std::memcpy(tmp, a, static_cast<size_t>(frameBytes));
    std::memcpy(a, b, static_cast<size_t>(frameBytes));
    std::memcpy(b, tmp, static_cast<size_t>(frameBytes));
  }
}

}  // namespace tv::snd

using namespace tv;
using namespace tv::snd;

ErrorCode SND_NewWorld(const SND_Format* format, Handle record, SND_World* world) {
  if (world) *world = nullptr;
  if ((record == nullptr) == (world == nullptr)) return kReport.Fail(kSiteNew, kErrBadParam, kTextBadParam);
  SND_Format f{SND_DEFAULT_RATE, SND_Encoding_Unsigned, 1, 1, 0};
  if (format) f = *format;
  f.reserved = 0;
  if (!ValidFormat(f))
    return kReport.Fail(kSiteNew, kErrBadParam, kTextBadFormat,
                        {f.rate, int32_t{f.encoding}, int32_t{f.bytesPerSample}, int32_t{f.channels}});
  Handle buffer = NewHandle(0);
  if (!buffer) return kReport.OutOfMemory(kSiteNew, kTextSoundBuffer, 0);
  Handle h = record;
  if (record) {
    // A record that still carries the markers was never disposed: its
    // buffer is not freed (the record may be a copy of a live world's).
    if (kMagic.Intact(record)) kReport.Note(kSiteNew, kSevWarning, kTextReinit, {kReport.Text(kTextSoundWorld)});
    if (GetHandleSize(record) < static_cast<Size>(sizeof(WorldRec))) {
      SetHandleSize(record, static_cast<Size>(sizeof(WorldRec)));
      if (MemError() != 0 || GetHandleSize(record) < static_cast<Size>(sizeof(WorldRec))) {
        DisposeHandle(buffer);
        return kReport.OutOfMemory(kSiteNew, kTextSoundWorld, sizeof(WorldRec));
      }
    }
  } else {
    h = NewHandleClear(static_cast<Size>(sizeof(WorldRec)));
    if (!h) {
      DisposeHandle(buffer);
      return kReport.OutOfMemory(kSiteNew, kTextSoundWorld, sizeof(WorldRec));
    }
  }
  WorldRec r{};
  r.magic = r.tailMagic = kWorldMagic;
  r.format = f;
  r.frames = 0;
  r.buffer = buffer;
  r.ownsRecord = record ? 0 : 1;
  r.start = Time{0, ScaleOf(f.rate)};
  std::memcpy(*h, &r, sizeof(r));
  CountWorld(1);
  if (world) *world = h;
  return 0;
}

ErrorCode SND_DisposeWorld(SND_World world) {
  if (ErrorCode err = Check(world, kSiteDispose)) return err;
  WorldRec& r = Rec(world);
  Handle buffer = r.buffer;
  const bool owns = r.ownsRecord != 0;
  r.magic = r.tailMagic = kDeadMagic;
  r.buffer = nullptr;
  DisposeHandle(buffer);
  if (owns) DisposeHandle(world);
  CountWorld(-1);
  return 0;
}

ErrorCode SNDp_GetWorldInfo(SND_World world, SND_WorldInfo* info) {
  if (info) *info = SND_WorldInfo{SND_Format{}, 0, kInvalidTime, 0, 0, 0, 0};
  if (!info) return kReport.BadParam(kSiteNew, {"SNDp_GetWorldInfo"});
  if (ErrorCode err = Check(world, kSiteNew)) return err;
  WorldRec& r = Rec(world);
  UpdateSeconds(r);
  *info = SND_WorldInfo{r.format, r.frames, r.start, r.startSeconds, r.durationSeconds, r.lockCount,
                        r.ownsRecord ? 1 : 0};
  return 0;
}

ErrorCode SND_LockBuffer(Boolean32 moveHigh, SND_World world) {
  if (ErrorCode err = Check(world, kSiteLock)) return err;
  WorldRec& r = Rec(world);
  if (r.lockCount++ == 0) {
    if (moveHigh)
      HLockHi(r.buffer);
    else
      HLock(r.buffer);
  }
  return 0;
}

ErrorCode SND_UnlockBuffer(SND_World world) {
  if (ErrorCode err = Check(world, kSiteUnlock)) return err;
  WorldRec& r = Rec(world);
  if (r.lockCount <= 0) return kReport.Fail(kSiteUnlock, kErrBadParam, kTextUnlock);
  if (--r.lockCount == 0) HUnlock(r.buffer);
  return 0;
}

ErrorCode SNDp_GetBuffer(SND_World world, void** samples) {
  if (samples) *samples = nullptr;
  if (!samples) return kReport.BadParam(kSiteLock, {"SNDp_GetBuffer"});
  if (ErrorCode err = Check(world, kSiteLock)) return err;
  *samples = *Rec(world).buffer;
  return 0;
}

ErrorCode SND_SizeAndLockBuffer(int64_t frames, Boolean32 moveHigh, SND_World world, void** samples) {
  if (samples) *samples = nullptr;
  if (!samples) return kReport.BadParam(kSiteSizeLock, {"SND_SizeAndLockBuffer"});
  if (ErrorCode err = Check(world, kSiteSizeLock)) return err;
  WorldRec& r = Rec(world);
  int64_t bytes = 0;
  if (!BytesFor(r.format, frames, &bytes) || r.lockCount > 0)
    return kReport.Fail(kSiteSizeLock, kErrBadParam, kTextBadSampleSize);
  const Size had = GetHandleSize(r.buffer);
  if (ErrorCode err = GrowBuffer(r, bytes, kSiteSizeLock)) return err;
  // A grown buffer holds silence beyond what it had, never stale bytes.
  if (bytes > had) FillSilence(r.format, *r.buffer + had, (bytes - had) / r.format.bytesPerSample);
  r.frames = frames;
  MarkStale(r);
  SND_LockBuffer(moveHigh, world);
  *samples = *Rec(world).buffer;
  return 0;
}

ErrorCode SND_SetWorldStartTime(Time start, SND_World world) {
  if (ErrorCode err = Check(world, kSiteStart)) return err;
  if (start.scale == 0) return kReport.Fail(kSiteStart, kErrBadParam, kTextBadTime, {start.value, start.scale});
  WorldRec& r = Rec(world);
  if (r.frames == 0) return 0;
  r.start = start;
  MarkStale(r);
  return 0;
}
