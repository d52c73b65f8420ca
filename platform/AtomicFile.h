// Atomic replacement of a file, shared by every writer of whole files
// (preferences, projects, favorites): the new contents go into a temporary
// file in the same folder, which is flushed to the disk and then renamed over
// the old file in one step. A save that fails anywhere removes the temporary
// file and leaves the old file exactly as it was.
#pragma once

#include <functional>
#include <string>

#include "Types.h"

namespace tv::platform {

// Stages of a replacement, for callers that report failures themselves.
enum class AtomicStage { None, CreateTemp, Write, Flush, Rename };

// Replaces the file at path (which need not exist yet). write receives the
// open descriptor of the new empty temporary file (created with the old
// file's permission bits, or 0644) and its path; it may write through either
// and returns 0 or an error, which is returned unchanged. Other failures are
// platform codes; *failed (when given) names the stage that failed.
ErrorCode ReplaceFileAtomically(const std::string& path,
                                const std::function<ErrorCode(int fd, const std::string& tempPath)>& write,
                                AtomicStage* failed = nullptr);

}  // namespace tv::platform
