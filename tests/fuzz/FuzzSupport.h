// Shared by the fuzz targets: a quiet engine (U born once, no dialogs, no
// reports shown or logged), the input written to a scratch file for the
// readers that take files, and chunked files opened for reading and writing.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "FILE.h"
#include "Platform.h"
#include "SLU.h"
#include "U.h"

namespace tv::fuzz {

// Births U once for the whole run.
inline void QuietEngine() {
  static bool born = [] {
    platform::SetDialogSink([](const platform::Dialog&) { return ErrorCode{0}; });
    U_Birth("fuzz", 0);
    Up_SetInteract(0);
    return true;
  }();
  (void)born;
}

// This process's scratch file named for the target, ending in `ext`.
inline std::string ScratchPath(const char* target, const char* ext) {
  return "/tmp/tv-" + std::string(target) + "-" + std::to_string(::getpid()) + ext;
}

// Writes the input to the target's scratch file (the extension picks the
// reader where the name decides) and returns its path, or an empty string
// when it cannot be written.
inline std::string WriteInput(const char* target, const uint8_t* data, size_t size,
                              const char* ext = ".bin") {
  std::string path = ScratchPath(target, ext);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return std::string();
  bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  ok = std::fclose(f) == 0 && ok;
  return ok ? path : std::string();
}

// Runs read(context) over the file at `path` opened as a chunked file.
template <class F>
void ReadChunked(const std::string& path, F read) {
  FILE_SpecH ref = nullptr;
  if (FILE_New(path.c_str(), FILE_LocFullPath, &ref) != 0) return;
  SLU_FileContext c{};
  if (FILE_Open(FILE_PermRead, ref) == 0 && SLU_InitFile(ref, 0, &c) == 0) read(&c);
  FILE_Dispose(ref);
}

// Writes the input to the target's scratch file, runs read(context) over it
// as a chunked file and removes it.
template <class F>
void ReadInputChunked(const char* target, const uint8_t* data, size_t size, F read) {
  const std::string path = WriteInput(target, data, size);
  if (path.empty()) return;
  ReadChunked(path, read);
  std::remove(path.c_str());
}

// Runs write(context) over a new chunked scratch file of the target (".out"),
// removed after.
template <class F>
void WriteChunked(const char* target, F write) {
  const std::string path = ScratchPath(target, ".out");
  FILE_SpecH ref = nullptr;
  if (FILE_New(path.c_str(), FILE_LocFullPath, &ref) != 0) return;
  SLU_FileContext c{};
  if (FILE_Create(FILE_CreateFile, 0, FILE_CreateReplace, ref) == 0 &&
      FILE_Open(FILE_PermReadWrite, ref) == 0 && SLU_InitFile(ref, 0, &c) == 0)
    write(&c);
  FILE_Dispose(ref);
  std::remove(path.c_str());
}

}  // namespace tv::fuzz
