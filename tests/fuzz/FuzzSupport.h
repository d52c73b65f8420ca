// Shared by the fuzz targets: a quiet engine (U born once, no dialogs, no
// reports shown or logged) and the input written to a scratch file for the
// readers that take files.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "Platform.h"
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

// Writes the input to this process's scratch file named for the target and
// returns its path, or an empty string when it cannot be written.
inline std::string WriteInput(const char* target, const uint8_t* data, size_t size) {
  std::string path = "/tmp/tv-" + std::string(target) + "-" + std::to_string(::getpid()) + ".bin";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return std::string();
  bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  ok = std::fclose(f) == 0 && ok;
  return ok ? path : std::string();
}

}  // namespace tv::fuzz
