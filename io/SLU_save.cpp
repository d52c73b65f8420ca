// Atomic saving of chunked files through the shared atomic file replacement.
#include <string>

#include "AtomicFile.h"
#include "SLU_internal.h"

namespace tv::slu {

// The entry of every whole-file save: a string that cannot be made ends the
// save with 4 (reported once), the old file untouched.
ErrorCode SaveAtomically(FILE_SpecH target, const std::function<ErrorCode(SLU_FileContext*)>& write) try {
  if (!target || !write) return kReport.BadParam(SLU_SiteParam);
  if (ErrorCode err = kReport.InstallTable()) return err;
  std::string path(FILE_MaxPath, '\0');
  if (ErrorCode err = FILE_InqName(target, FILE_NameFullPath, path.data(), FILE_MaxPath)) return err;
  path.resize(path.find('\0'));

  platform::AtomicStage stage = platform::AtomicStage::None;
  ErrorCode err = platform::ReplaceFileAtomically(
      path,
      [&](int, const std::string& tempPath) -> ErrorCode {
        FILE_SpecH temp = nullptr;
        if (ErrorCode e = FILE_New(tempPath.c_str(), FILE_LocFullPath, &temp)) return e;
        ErrorCode e = FILE_Open(FILE_PermReadWrite, temp);
        SLU_FileContext context{};
        if (!e) e = SLU_InitFile(temp, 0, &context);
        if (!e) e = write(&context);
        ErrorCode closed = FILE_Dispose(temp);  // closes the file
        return e ? e : closed;
      },
      &stage);
  // Failures inside the write were reported where they happened; those of the
  // replacement itself are the platform's and are reported here.
  if (err && stage != platform::AtomicStage::Write)
    return kReport.Platform(SLU_SiteWrite, kSevError, err, kTextWriting);
  return err;
} TV_CATCH(SLU_PackageNumber)

}  // namespace tv::slu
