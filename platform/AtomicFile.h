// The one road by which the engine's bytes reach files, shared by every
// writer (projects, preferences, favorites, stills, movies, sound files):
//
// - Checked writes: every byte goes through WriteFully / WriteFullyAt /
//   CopyFully, which retry short writes and interruptions and say how it
//   went; a failure (a full disk, a file-size limit, an I/O error) is never
//   swallowed. SyncFile and CloseFile report what fsync and close say.
// - Atomic replacement: a file is written under a temporary name in its own
//   folder, flushed to the disk, closed and only then renamed over the final
//   name in one step. A write that fails or is abandoned anywhere removes the
//   temporary file and leaves whatever was under the final name exactly as
//   it was; nothing that has not fully reached the disk takes the final name.
// - Temporary names: ".<name>.<host>.<pid>.<six characters>.partial" beside
//   the final file (the name shortened to fit the folder's limit). Writers
//   that rename into place themselves (frame reservations) use
//   ".<stem>.<done|stale>.<host>.<pid><extension>". The first write of a
//   process into a folder removes the temporaries of both forms there that
//   were left by writers that died: those of this host whose process is gone, and
//   those of other hosts untouched for longer than kStaleTemporarySeconds.
// - While a temporary exists it is listed where a handler of a fatal signal
//   can find it (RemoveTemporariesNow), so a crash leaves no partial file.
#pragma once

#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "Types.h"

namespace tv::platform {

// ---- Checked writes -----------------------------------------------------------
// Each returns 0 or the errno value of the failure (ENOSPC when the system
// accepts no more bytes without saying why). Writes go on after EINTR and
// short writes until every byte is written; *written (when given) counts the
// bytes that reached the file, also after a failure.
int WriteFully(int fd, const void* data, size_t size, size_t* written = nullptr);
int WriteFullyAt(int fd, const void* data, size_t size, int64_t offset, size_t* written = nullptr);
// Copies `length` bytes of `in` from `offset` to out's current position.
int CopyFully(int out, int in, int64_t offset, int64_t length);
int SyncFile(int fd);
// The descriptor is closed whatever the answer (a failed close is not retried).
int CloseFile(int fd);

// ---- Injected write faults (tests) --------------------------------------------
// While a fault is set, the checked writes above fail as a full or broken disk
// would: Write lets `afterBytes` more bytes through (the write that crosses
// the mark is cut short there) and then fails every write with `error`; Sync
// and Close fail every fsync or close with `error` (the descriptor is still
// closed). Shared by all threads.
enum class WriteFaultOp { Write, Sync, Close };
struct WriteFault {
  WriteFaultOp op = WriteFaultOp::Write;
  int error = ENOSPC;
  int64_t afterBytes = 0;
};
void SetWriteFault(const WriteFault& fault);
void ClearWriteFault();
// Bytes the checked writes wrote since the fault was set.
int64_t BytesWrittenSinceFault();

// ---- Atomic replacement --------------------------------------------------------
// Stages of a replacement, for callers that report failures themselves.
enum class AtomicStage { None, CreateTemp, Write, Flush, Rename };

// A temporary file that becomes `path` on Commit. The destructor discards an
// uncommitted one (removes the temporary; the final name is never touched).
class AtomicFile {
 public:
  explicit AtomicFile(std::string path);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the empty temporary (with the final file's permission bits when
  // it exists, else 0644). A platform code; kSysNoDirectory when the folder
  // is missing.
  ErrorCode Create();
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  const std::string& tempPath() const { return temp_; }
  // Writes at the descriptor's position through the checked path; a platform
  // code (kSysDiskFull for a full disk or a file-size limit).
  ErrorCode Write(std::span<const uint8_t> bytes);
  // Flushes the data to the disk, closes, and renames the temporary over the
  // final name (then makes the rename durable). Any failure removes the
  // temporary and returns a platform code; *stage names what failed.
  ErrorCode Commit(AtomicStage* stage = nullptr);
  // Removes the temporary; the final name keeps what it had.
  void Discard();

 private:
  std::string path_, temp_;
  int fd_ = -1;
  int slot_ = -1;
};

// Replaces the file at path (which need not exist yet). write receives the
// open descriptor of the new empty temporary file and its path; it may write
// through either (writes through the path are flushed with the file) and
// returns 0 or an error, which is returned unchanged. Other failures are
// platform codes; *failed (when given) names the stage that failed.
ErrorCode ReplaceFileAtomically(const std::string& path,
                                const std::function<ErrorCode(int fd, const std::string& tempPath)>& write,
                                AtomicStage* failed = nullptr);
// Replaces the file at path with these bytes.
ErrorCode WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes,
                              AtomicStage* failed = nullptr);

// ---- Temporaries ----------------------------------------------------------------
// How long a temporary of another host may go untouched before it counts as
// abandoned (its writer died or lost the storage).
inline constexpr int64_t kStaleTemporarySeconds = 600;

// A new temporary name beside the file at path (not created), of the form above.
std::string TemporaryPathFor(const std::string& path);
// Whether `name` (a file name, no folder) has either form of a temporary; when it
// does, *host and *pid name its writer.
bool ParseTemporaryName(const std::string& name, std::string* host, int64_t* pid);
// Removes the abandoned temporaries in folder `dir` (see above); the count.
int RemoveStaleTemporaries(const std::string& dir, int64_t staleSeconds = kStaleTemporarySeconds);
// The same, once per folder and process (AtomicFile::Create calls it).
void SweepFolderOnce(const std::string& dir);
// This machine's name as temporaries carry it ('.' and '/' become '-').
const std::string& HostTag();

// Lists a file for removal if the process dies of a fatal signal: a slot
// number for Unlist, or -1 when the list is full. With dev and ino given, the
// file is removed only while the name still holds that file and it is empty
// (a frame reservation).
int ListTemporary(const std::string& path, dev_t dev = 0, ino_t ino = 0);
void UnlistTemporary(int slot);
// Async-signal-safe: removes every listed file.
void RemoveTemporariesNow();

}  // namespace tv::platform
