// The one table that maps the system's errno values to the toolbox's negative
// platform codes. Every package that calls the system maps its errno through
// here; a raw -errno is never passed on.
#pragma once

#include <cerrno>

#include "Types.h"

namespace tv::platform {

// The platform code for an errno value; 0 for 0, -36 (I/O error) for values
// without a closer match.
inline ErrorCode FromErrno(int error) {
  switch (error) {
    case 0: return 0;
    case ENOENT: return kSysFileNotFound;    // -43
    case ENOTDIR: return kSysNoDirectory;    // -120: a folder of the path is missing
    case EACCES:
    case EPERM: return kSysPermission;       // -54
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return kSysDiskFull;         // -34
    case EROFS: return kSysWriteProtected;   // -44
    case EMFILE:
    case ENFILE: return kSysTooManyFiles;    // -42
    case EEXIST: return kSysDuplicate;       // -48
    case EIO: return kSysIO;                 // -36
    case ENOMEM: return kSysMemFull;         // -108
    case ENAMETOOLONG:
    case EILSEQ: return kSysBadName;         // -37
    case EBUSY:
    case ETXTBSY:
    case ENOTEMPTY: return kSysBusy;           // -47
    case EBADF: return kSysBadRefNum;        // -51
    case EINVAL: return kSysParam;           // -50
    default: return kSysIO;
  }
}

}  // namespace tv::platform
