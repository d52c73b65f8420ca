// Numbered still files of an output and their reservation: several renderers
// share one numbered sequence in one folder, each claiming a frame by
// creating its file empty. The creation is exclusive on the file system, so
// exactly one renderer gets each frame, on one machine or many.
#include <sys/stat.h>

#include <string>

#include "AtomicFile.h"
#include "PIN_internal.h"
#include "U.h"

using namespace tv;
using namespace tv::pin;

namespace {

constexpr uint32_t kSite = kSiteReserve;

bool WritesStills(PIN_OutputSpecH out) {
  const Module* m = OutModuleOf(out);
  return m && (m->info.flags & PIN_ModFlag_StillPerFile);
}

}  // namespace

namespace tv::pin {
void UnlistClaim(OutputSpec& o) {
  platform::UnlistTemporary(o.claimSlot - 1);
  o.claimSlot = 0;
}
}  // namespace tv::pin

ErrorCode PIN_LocSpecStillFrameFromOutSpec(PIN_OutputSpecH out, int32_t index, FILE_SpecH* file) {
  if (!file) return kReport.BadParam(kSite, {"PIN_LocSpecStillFrameFromOutSpec"});
  *file = nullptr;
  if (ErrorCode err = CheckOutSpec(out, kSite)) return err;
  return StillFrameRef(out, ResolveIndex(OutRec(out), index), kSite, file);
}

ErrorCode PIN_ReserveFrame(PIN_OutputSpecH out, int32_t index, uint32_t /*flags*/, Boolean32* reserved) {
  if (!reserved) return kReport.BadParam(kSite, {"PIN_ReserveFrame"});
  *reserved = 0;
  if (ErrorCode err = CheckOutSpec(out, kSite)) return err;
  index = ResolveIndex(OutRec(out), index);
  // A movie file is written by one renderer alone: there is nothing to
  // share, and no numbered file to claim.
  if (!WritesStills(out)) {
    *reserved = 1;
    OutRec(out).reservedFrame = 1;
    return 0;
  }
  OwnedRef ref;
  if (ErrorCode err = StillFrameRef(out, index, kSite, &ref.h)) return err;
  UnlistClaim(OutRec(out));
  // The creation's own report is held back: a file that is already there
  // means another renderer has the frame, which is no failure.
  int32_t state[3] = {};
  const bool deferred = U_DeferredReportingStart(0, state) == 0;
  const ErrorCode err = FILE_Create(FILE_CreateFile, 0, 0, ref.h);
  char text[U_MessageBufferSize] = "";
  Severity severity = kSevError;
  LocationCode location = kReport.Loc(kSite);
  if (err && err != FILE_ErrExists) U_GetLastError(text, &severity, &location, nullptr);
  if (deferred) U_DeferredReportingEnd(0, nullptr, state);
  if (err == FILE_ErrExists) {
    OutRec(out).lastIndex = index;
    return 0;
  }
  if (err) {
    // Any other failure (a missing folder, no permission, a full volume)
    // would make every frame look taken and the render end with nothing
    // written; it is reported and returned instead.
    if (deferred) Up_ReportErrString(location, severity, text);
    return err;
  }
  *reserved = 1;
  OutRec(out).reservedFrame = 1;
  // Should the process die of a fatal signal, its claim goes with it (while
  // the name still holds this empty file).
  char path[FILE_MaxPath] = "";
  struct stat st {};
  if (FILE_InqName(ref.h, FILE_NameFullPath, path, sizeof path) == 0 && ::stat(path, &st) == 0)
    OutRec(out).claimSlot = platform::ListTemporary(path, st.st_dev, st.st_ino) + 1;
  return 0;
}

ErrorCode PIN_UnReserveFrame(PIN_OutputSpecH out, int32_t index, uint32_t /*flags*/, Boolean32 quiet) {
  if (ErrorCode err = CheckOutSpec(out, kSite)) return err;
  if (!OutRec(out).reservedFrame) return kReport.Fail(kSite, 1, kTextUnreserveUnreserved);
  UnlistClaim(OutRec(out));
  if (!WritesStills(out)) return 0;
  if (index < 0) index = OutRec(out).lastIndex;
  if (index < 0) index = 0;
  OwnedRef ref;
  if (ErrorCode err = StillFrameRef(out, index, kSite, &ref.h)) return err;
  Boolean32 exists = 0;
  if (ErrorCode err = FILE_InqExist(ref.h, &exists)) return err;
  if (!exists) return quiet ? 0 : kReport.Fail(kSite, 1, kTextUnreserveMissing);
  int64_t size = 0;
  if (ErrorCode err = FILE_InqSize(ref.h, FILE_SizeData, &size)) return err;
  if (size != 0) return quiet ? 0 : kReport.Fail(kSite, 1, kTextUnreserveNonEmpty);
  return FILE_Delete(ref.h);
}

ErrorCode PIN_DoesFileExist(PIN_OutputSpecH out, int32_t index, uint32_t /*flags*/, Boolean32* exists) {
  if (!exists) return kReport.BadParam(kSite, {"PIN_DoesFileExist"});
  *exists = 0;
  if (ErrorCode err = CheckOutSpec(out, kSite)) return err;
  index = ResolveIndex(OutRec(out), index);
  OwnedRef ref;
  if (ErrorCode err = StillFrameRef(out, index, kSite, &ref.h)) return err;
  Boolean32 there = 0;
  if (ErrorCode err = FILE_InqExist(ref.h, &there)) return err;
  if (there) OutRec(out).lastIndex = index;
  *exists = there;
  return 0;
}

ErrorCode PIN_ExtLen(const char* name, int32_t* length) {
  if (!name || !length) return kReport.BadParam(kSite, {"PIN_ExtLen"});
  *length = 0;
  const std::string_view n(name);
  const size_t slash = n.rfind('/');
  const std::string_view last = slash == std::string_view::npos ? n : n.substr(slash + 1);
  const size_t dot = last.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return 0;
  *length = static_cast<int32_t>(last.size() - dot);
  return 0;
}
