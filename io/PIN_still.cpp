// The common still-image behaviour that drivers of still formats install in
// their tables: one frame per file, sizes and times from the SeqSpec, the
// frame's file taken from the still sequence's file list.
#include "PIN_internal.h"

namespace tv::pin {
namespace {

ErrorCode StillGetDimensions(PIN_SeqSpecH seq, int32_t* width, int32_t* height) {
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  *width = static_cast<int32_t>(Rec(seq).width);
  *height = static_cast<int32_t>(Rec(seq).height);
  return 0;
}

ErrorCode StillGetDuration(PIN_SeqSpecH seq, Time* duration) {
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  *duration = Rec(seq).duration;
  return 0;
}

ErrorCode StillGetTime(PIN_SeqSpecH seq, Time* start) {
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  *start = Rec(seq).start;
  return 0;
}

ErrorCode StillGetFile(PIN_SeqSpecH seq, const Time* time, FILE_SpecH* file) {
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  return NthFile(seq, FrameIndex(Rec(seq), *time), file, kSiteQuery);
}

ErrorCode StillGetActiveExtent(PIN_SeqSpecH seq, const Time*, LRect* extent) {
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  *extent = LRect{0, 0, static_cast<int32_t>(Rec(seq).width), static_cast<int32_t>(Rec(seq).height)};
  return 0;
}

// The start of the frame after the one at time; the invalid time when there
// is none (a single still, the last file).
ErrorCode StillInqNextFrameTime(PIN_SeqSpecH seq, const Time* time, Time* next) {
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  *next = kInvalidTime;
  const SeqSpec& s = Rec(seq);
  const int32_t files = NumFiles(s);
  const Fixed rate = s.effectiveRate ? s.effectiveRate : s.nativeRate;
  if (files < 2 || rate <= 0 || time->scale == 0) return 0;
  const int32_t index = FrameIndex(s, *time);
  if (index + 1 >= files) return 0;
  // Frame k starts k frames in (as long as the time can say it exactly).
  const int64_t k = index + 1;
  const Time start = FrameStart(k, rate);
  if (start.value < INT32_MAX) *next = start;
  return 0;
}

ErrorCode StillSynch(PIN_SeqSpecH seq) { return CheckSeq(seq, kSiteQuery); }

ErrorCode StillInfo(PIN_SeqSpecH seq, char* info, int32_t size) {
  if (ErrorCode err = CheckSeq(seq, kSiteQuery)) return err;
  const SeqSpec& s = Rec(seq);
  fmt::FormatTo(
      std::span<char>(info, static_cast<size_t>(size)), kReport.Text(kTextStillInfo),
      {static_cast<int32_t>(s.width), static_cast<int32_t>(s.height), NumFiles(s) ? NumFiles(s) : 1});
  return 0;
}

ErrorCode StillDispose(PIN_SeqSpecH seq) { return CheckSeq(seq, kSiteDispose); }
ErrorCode StillWrite(PIN_SeqSpecH seq, SLU_FileContext*) { return CheckSeq(seq, kSiteWrite); }
ErrorCode StillRead(PIN_SeqSpecH seq, SLU_FileContext*, const SLU_Chunk*) { return CheckSeq(seq, kSiteRead); }

}  // namespace

void InstallStill(PIN_ModuleProcs& p) {
  p.getDimensions = StillGetDimensions;
  p.getDuration = StillGetDuration;
  p.getTime = StillGetTime;
  p.getFile = StillGetFile;
  p.getActiveExtent = StillGetActiveExtent;
  p.inqNextFrameTime = StillInqNextFrameTime;
  p.synchSeqSpec = StillSynch;
  p.getSeqSpecInfo = StillInfo;
  p.disposeSeqSpec = StillDispose;
  p.writeSeqSpec = StillWrite;
  p.readSeqSpec = StillRead;
}

}  // namespace tv::pin

ErrorCode PIN_InstallStillProcs(PIN_ModuleProcs* procs) {
  if (!procs) return tv::pin::kReport.BadParam(tv::pin::kSiteData, {"PIN_InstallStillProcs"});
  tv::pin::InstallStill(*procs);
  return 0;
}
