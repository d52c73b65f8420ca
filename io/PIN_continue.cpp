// Output continuation: before each frame the render loop asks whether an
// output must go on in a new file, folder or volume because its volume is
// full, its folder holds as many files as allowed, or its file reached the
// size limit. The new file or folder is named after the current one with
// " (n)" added; a full volume moves the output to the next overflow folder
// with room.
#include <algorithm>
#include <string>
#include <string_view>

#include "PIN_internal.h"
#include "U.h"

using namespace tv;
using namespace tv::pin;

namespace {

constexpr uint32_t kSite = kSiteContinue;

enum class Reason { kVolume, kFolder, kFileSize };

// "dir/name" split at the last slash; the folder without its trailing slash
// ("/" for the root).
void Split(const std::string& path, std::string* folder, std::string* name) {
  const size_t slash = path.rfind('/');
  *name = slash == std::string::npos ? path : path.substr(slash + 1);
  *folder = slash == std::string::npos ? std::string() : path.substr(0, slash);
  if (folder->empty() && slash == 0) *folder = "/";
}

std::string Join(const std::string& folder, std::string_view name) {
  return folder == "/" ? "/" + std::string(name) : folder + "/" + std::string(name);
}

// The free KB of the volume holding path (a folder that need not exist yet:
// its parent's volume then).
ErrorCode FreeKB(const std::string& path, uint64_t* kb) {
  *kb = 0;
  OwnedRef ref;
  if (ErrorCode err = FILE_New(path.c_str(), FILE_LocFullPath, &ref.h)) return err;
  uint64_t bytes = 0;
  if (ErrorCode err = FILE_InqVolSpaceAvailable(ref.h, &bytes)) return err;
  *kb = bytes / 1024;
  return 0;
}

// The same, with any report held back: an overflow folder that cannot be
// asked counts as one without room (the note tells which one it was).
uint64_t FreeKBQuiet(const std::string& path) {
  int32_t state[3] = {};
  const bool deferred = U_DeferredReportingStart(0, state) == 0;
  uint64_t kb = 0;
  if (FreeKB(path, &kb) != 0) kb = 0;
  if (deferred) U_DeferredReportingEnd(0, nullptr, state);
  return kb;
}

// The bytes of a movie-like output so far: the module's answer, or the size
// of its file on disk (0 before it exists). Kept in 64 bits: a file over
// 4 GB is exactly when the size limit matters.
ErrorCode FileBytes(PIN_OutputSpecH out, const Module* m, uint64_t* bytes) {
  *bytes = 0;
  if (Filled(m->procs, PIN_Slot_GetSizes)) {
    int64_t space = 0, size = 0;
    const ErrorCode err = m->procs.getSizes(out, &space, &size);
    if (err == 0) {
      *bytes = size > 0 ? static_cast<uint64_t>(size) : 0;
      return 0;
    }
    if (err != PIN_ErrNoSizes) return err;
  }
  FILE_SpecH file = OutRec(out).file;
  Boolean32 exists = 0;
  if (ErrorCode err = FILE_InqExist(file, &exists)) return err;
  if (!exists) return 0;
  int64_t size = 0;
  if (ErrorCode err = FILE_InqSize(file, FILE_SizeData, &size)) return err;
  *bytes = size > 0 ? static_cast<uint64_t>(size) : 0;
  return 0;
}

}  // namespace

namespace tv::pin {

// The name of continuation `count` (0 for the first) of `name`: the stem
// (an earlier " (n)" taken off at its last space after the first
// continuation), " (count + 2)", then the extension. Only the stem is
// shortened, so the number and the extension survive in a name of at most
// 255 bytes. False when even an empty stem does not fit.
bool ContinuationName(std::string_view name, bool hasExtension, int32_t count, std::string* out) {
  size_t dot = hasExtension ? name.rfind('.') : std::string_view::npos;
  if (dot == 0) dot = std::string_view::npos;
  std::string_view stem = dot == std::string_view::npos ? name : name.substr(0, dot);
  const std::string_view ext = dot == std::string_view::npos ? std::string_view() : name.substr(dot);
  if (count > 0) {
    const size_t space = stem.rfind(' ');
    if (space != std::string_view::npos) stem = stem.substr(0, space);
  }
  const std::string suffix = fmt::Format(kReport.Text(kTextContinuationSuffix), {static_cast<int64_t>(count) + 2});
  if (suffix.size() + ext.size() > FILE_MaxName) return false;
  const size_t room = FILE_MaxName - suffix.size() - ext.size();
  stem = stem.substr(0, WholeChars(stem, room));
  *out = std::string(stem) + suffix + std::string(ext);
  return true;
}

}  // namespace tv::pin

ErrorCode PIN_ContinueOutput(PIN_OutputSpecH out, PIN_ContinuationSettings* settings, uint32_t estimateKB,
                             double soundSecondsLeft, Boolean32* continued) try {
  if (!settings || !continued) return kReport.BadParam(kSite, {"PIN_ContinueOutput"});
  *continued = 0;
  if (ErrorCode err = CheckOutSpec(out, kSite)) return err;
  const Module* m = OutModuleOf(out);
  if (!m || !(m->info.flags & PIN_ModFlag_Files)) return 0;
  if (!OutRec(out).file) return kReport.Fail(kSite, kErrBadParam, kTextNoOutputFile);
  const bool still = (m->info.flags & PIN_ModFlag_StillPerFile) != 0;
  std::string folder, fileName;
  Split(PathOf(OutRec(out).file), &folder, &fileName);

  // Which limit, if any, was reached. Sums are 64-bit: nothing wraps.
  const uint64_t margin = settings->marginKB, estimate = estimateKB;
  uint64_t freeKB = 0;
  if (ErrorCode err = FreeKB(folder, &freeKB)) return err;
  Reason reason;
  if (freeKB <= margin + estimate) {
    // With overflow off the output stays where it is; its writes fail by
    // themselves when the volume is really full.
    if (!settings->overflow) return 0;
    reason = Reason::kVolume;
  } else if (still && settings->folderFileLimit > 0) {
    OwnedRef dir;
    if (ErrorCode err = FILE_New(folder.c_str(), FILE_LocFullPath, &dir.h)) return err;
    int32_t count = 0;
    if (ErrorCode err = FILE_DirFileCount(dir.h, &count)) return err;
    if (static_cast<uint32_t>(count) < settings->folderFileLimit) return 0;
    reason = Reason::kFolder;
  } else if (!still && settings->fileSizeLimitKB > 0) {
    uint64_t bytes = 0;
    if (ErrorCode err = FileBytes(out, m, &bytes)) return err;
    if (bytes / 1024 + (bytes % 1024 != 0) + estimate < settings->fileSizeLimitKB) return 0;
    reason = Reason::kFileSize;
  } else {
    return 0;
  }

  // Where the continuation goes: beside the current file (a still
  // sequence: beside its folder), or into an overflow folder.
  std::string base = fileName, place = folder;
  if (still) Split(folder, &place, &base);
  if (reason == Reason::kVolume) {
    const uint64_t wanted = margin + 2 * estimate + 1;
    int32_t slot = settings->overflowSlot;
    std::string chosen;
    for (int k = 0; k < PIN_MaxOverflowVolumes && chosen.empty(); ++k) {
      slot = ((slot % PIN_MaxOverflowVolumes) + PIN_MaxOverflowVolumes) % PIN_MaxOverflowVolumes;
      const int32_t tried = slot++;
      const char* candidate = settings->overflowFolders[tried];
      if (!candidate || !candidate[0]) continue;
      const uint64_t available = FreeKBQuiet(candidate);
      if (available < wanted) {
        const std::string note =
            u::SubString(kReport.Text(kTextOverflowNoRoom),
                         {candidate, static_cast<int64_t>(std::min<uint64_t>(available, INT32_MAX)),
                          static_cast<int64_t>(std::min<uint64_t>(wanted, INT32_MAX))});
        Up_ReportErrString(kReport.Loc(kSite), kSevIndented, note.c_str());
        continue;
      }
      chosen = candidate;
      // The next overflow starts with the slot after this one.
      settings->overflowSlot = slot % PIN_MaxOverflowVolumes;
    }
    if (chosen.empty()) return kReport.Fail(kSite, PIN_ErrNoOverflowSpace, kTextOverflowExhausted);
    while (chosen.size() > 1 && chosen.back() == '/') chosen.pop_back();
    OwnedRef dir;
    if (ErrorCode err = FILE_New(chosen.c_str(), FILE_LocFullPath, &dir.h)) return err;
    Boolean32 exists = 0;
    if (ErrorCode err = FILE_InqExist(dir.h, &exists)) return err;
    if (!exists)
      if (ErrorCode err = FILE_Create(FILE_CreateFolder, 0, 0, dir.h)) return err;
    place = chosen;
  }

  std::string newName;
  if (!ContinuationName(base, !still, settings->continuations, &newName))
    return kReport.Fail(kSite, 1, kTextBadFilename, {base.c_str()});
  const std::string target = Join(place, newName);
  OwnedRef next;
  if (ErrorCode err = FILE_New(target.c_str(), FILE_LocFullPath, &next.h)) return err;
  Boolean32 exists = 0;
  if (ErrorCode err = FILE_InqExist(next.h, &exists)) return err;
  if (exists) return kReport.Fail(kSite, FILE_ErrExists, kTextOverflowExists, {target.c_str()});
  OwnedRef file;
  if (still) {
    // The numbered files go on in a new folder under the template's name.
    if (ErrorCode err = FILE_Create(FILE_CreateFolder, 0, 0, next.h)) return err;
    if (ErrorCode err = FILE_New(Join(target, fileName).c_str(), FILE_LocFullPath, &file.h)) return err;
  } else {
    std::swap(file.h, next.h);
  }

  ++settings->continuations;
  *continued = 1;
  if (ErrorCode err = PIN_EndAdding(out)) return err;
  if (ErrorCode err = PIN_SetOutputFile(out, file.h)) return err;
  if (ErrorCode err = PIN_StartAdding(out)) return err;
  const int32_t why = reason == Reason::kVolume   ? kTextReasonVolume
                      : reason == Reason::kFolder ? kTextReasonFolder
                                                  : kTextReasonFileSize;
  kReport.Note(kSite, kSevIndented, kTextContinuing, {kReport.Text(why), target.c_str()});
  if (OutRec(out).info.soundChannels > 0 && soundSecondsLeft > 0)
    kReport.Note(kSite, kSevWarning, kTextAudioLeft, {soundSecondsLeft});
  return 0;
}
TV_CATCH(PIN_PackageNumber)
